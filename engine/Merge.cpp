// MergeFile: list file -> pieces -> temporary file -> renamed over the output name.
#include <sys/stat.h>

#include <filesystem>

#include "FileIo.h"
#include "Formats.h"
#include "Messages.h"
#include "Text.h"

namespace Module1 {
namespace {

constexpr std::size_t kLargestListRecord = kListFixedSize + 0xFFFF;

ListRecord ReadListFile(const std::string& path) {
    const io::File file = io::OpenForReading(path);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(
        std::min<std::int64_t>(io::Stat(file).st_size, kLargestListRecord)));
    io::ReadAt(file, bytes.data(), bytes.size(), 0);
    return DecodeListRecord(bytes, path);
}

// Checks a piece file against its own header before anything is copied from it and returns
// its data length.
std::uint32_t CheckPiece(const io::File& piece) {
    const std::int64_t size = io::Stat(piece).st_size;
    std::uint8_t header[kDescriptorSize] = {};
    if (size >= kDescriptorSize) {
        io::ReadAt(piece, header, sizeof header, 0);
    }
    return CheckPieceHeader(header, size, piece.path());
}

// Where the merged file finally goes: a symbolic link is followed, so the file it points to
// is replaced and the link stays. A link to nothing is refused rather than guessed at.
std::string ResolveTarget(const std::string& output) {
    const std::optional<struct stat> link = io::LinkStat(output);
    if (!link || !S_ISLNK(link->st_mode)) {
        return output;
    }
    if (!io::StatIfPresent(output)) {
        Throw(Failure::DanglingLink, output);
    }
    return io::Resolve(output);
}

// The path with its folder resolved and its last element as given: the file the name makes,
// even where that element is itself a symbolic link (as a split source may be).
std::string WithResolvedFolder(const std::string& path) {
    const std::string folder = io::FolderOf(path);
    try {
        return io::Resolve(folder) + "/" + io::NameOf(path);
    } catch (const EngineError&) {
        std::error_code error;  // a folder that does not exist yet: compare the words
        return (std::filesystem::absolute(folder, error).lexically_normal() / io::NameOf(path))
            .string();
    }
}

bool SameFile(const struct stat& a, const std::string& path) {
    try {
        const std::optional<struct stat> b = io::StatIfPresent(path);
        return b && a.st_dev == b->st_dev && a.st_ino == b->st_ino;
    } catch (const EngineError&) {
        return false;
    }
}

// True when the name's last element is the base's plus "." and a piece number of the set.
bool NamesPiece(const std::string& name, const std::string& base, const ListRecord& list) {
    const std::string prefix = base + ".";
    if (name.rfind(prefix, 0) != 0) {
        return false;
    }
    const std::string suffix = name.substr(prefix.size());
    if (suffix.empty() || suffix.size() > 11 ||
        suffix.find_first_not_of("-0123456789") != std::string::npos) {
        return false;
    }
    const std::int64_t number = std::stoll(suffix);
    return number >= list.FirstNumber &&
           number < std::int64_t{list.FirstNumber} + list.PieceCount &&
           text::ToUtf8(FormatPieceNumber(static_cast<std::int32_t>(number))) == suffix;
}

}  // namespace

bool NamesFileOfSet(const std::u16string& listPath, const std::u16string& name) {
    try {
        const std::string listFile = io::PathOf(listPath);
        const std::string candidate = WithResolvedFolder(io::PathOf(name));
        if (candidate == WithResolvedFolder(listFile)) {
            return true;
        }
        const ListRecord list = ReadListFile(listFile);
        const std::u16string base = PieceBase(listPath);
        const std::string resolvedBase = WithResolvedFolder(text::ToUtf8(base));
        if (NamesPiece(candidate, resolvedBase, list)) {
            return true;
        }
        // A name that reaches one of the set's files another way: a link or a hard link.
        const std::optional<struct stat> target = io::StatIfPresent(text::ToUtf8(name));
        if (!target) {
            return false;
        }
        if (SameFile(*target, listFile)) {
            return true;
        }
        for (std::int32_t k = 1; k <= list.PieceCount; ++k) {
            if (SameFile(*target, text::ToUtf8(PieceName(base, list.FirstNumber, k)))) {
                return true;
            }
        }
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

bool MergeFile(const std::u16string& listPath, const std::u16string& outputName) {
    return MergeFile(listPath, outputName, Progress{});
}

bool MergeFile(const std::u16string& listPath, const std::u16string& outputName,
               const Progress& progress) {
    const io::FileSizeSignalGuard fileSizeLimitFailsTheWrite;
    const std::string output = io::PathOf(outputName);
    const ListRecord list = ReadListFile(io::PathOf(listPath));
    const std::u16string base = PieceBase(listPath);
    auto pieceName = [&](std::int32_t k) {
        return text::ToUtf8(PieceName(base, list.FirstNumber, k));
    };

    // Every piece is checked before the output is touched.
    std::vector<std::uint32_t> lengths;
    lengths.reserve(static_cast<std::size_t>(list.PieceCount));
    std::int64_t total = 0;
    for (std::int32_t k = 1; k <= list.PieceCount; ++k) {
        lengths.push_back(CheckPiece(io::OpenForReading(pieceName(k))));
        total += lengths.back();
    }

    if (output.empty() || output.back() == '/') {
        Throw(Failure::BadOutputName, output);
    }
    const std::string target = ResolveTarget(output);
    io::CheckRegularOrAbsent(target);

    io::Replacement replacement(target, output);
    const io::File& temporary = replacement.file();
    // Writing back while copying overlaps the disk's work with ours, so the final flush waits
    // for little more than the last chunk.
    std::int64_t written = 0;
    auto report = [&](std::int64_t bytes) {
        io::StartWriteback(temporary, written, bytes);
        written += bytes;
        if (progress) {
            progress(written, total);
        }
    };
    io::Copier copier(io::Copier::Misaligned::InKernel);
    std::int64_t offset = 0;
    for (std::int32_t k = 1; k <= list.PieceCount; ++k) {
        const io::File piece = io::OpenForReading(pieceName(k));
        const std::uint32_t length = lengths[static_cast<std::size_t>(k - 1)];
        if (CheckPiece(piece) != length) {
            Throw(Failure::PieceChangedDuringMerge, piece.path());
        }
        copier.Copy(piece, kDescriptorSize, temporary, offset, length, report);
        offset += length;
    }
    replacement.Commit();
    return true;
}

}  // namespace Module1
