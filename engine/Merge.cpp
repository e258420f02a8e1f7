// MergeFile: list file -> pieces -> temporary file -> renamed over the output name.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
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
    const struct stat info = io::Stat(file);
    if (!S_ISREG(info.st_mode)) {
        Throw(Failure::PathAccess, path);
    }
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min<std::int64_t>(info.st_size, kLargestListRecord)));
    io::ReadAt(file, bytes.data(), bytes.size(), 0);
    return DecodeListRecord(bytes, path);
}

// Checks a piece file against its own header before anything is copied from it and returns
// its data length.
std::uint32_t CheckPiece(const io::File& piece) {
    const struct stat info = io::Stat(piece);
    if (!S_ISREG(info.st_mode)) {
        Throw(Failure::PathAccess, piece.path());
    }
    std::uint8_t header[kDescriptorSize] = {};
    if (info.st_size >= kDescriptorSize) {
        io::ReadAt(piece, header, sizeof header, 0);
    }
    return CheckPieceHeader(header, info.st_size, piece.path());
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where the merged file finally goes: a symbolic link is followed, so the file it points to
// is replaced and the link stays.
std::string ResolveTarget(const std::string& outputName) {
    const std::optional<struct stat> info = io::LinkStat(outputName);
    return info && S_ISLNK(info->st_mode) ? io::Resolve(outputName) : outputName;
}

// A new file beside the target, named ".<target name>.<random>.part" so a user can tell what
// a leftover is. Returns the file, whose errors name the output, and its real path.
std::pair<io::File, std::string> CreateTemporary(const std::string& target,
                                                 const std::string& output) {
    const std::string folder = io::FolderOf(target);
    const std::string name = NameOf(target).substr(0, NAME_MAX - 32);
    auto seed = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^
        (static_cast<unsigned long long>(::getpid()) << 16));
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        char suffix[9];
        std::snprintf(suffix, sizeof suffix, "%08llx", (seed >> 24) & 0xFFFFFFFFULL);
        std::string path = (folder == "/" ? "" : folder) + "/." + name + "." + suffix + ".part";
        if (std::optional<io::File> file = io::CreateNew(path, 0666, output)) {
            return {std::move(*file), std::move(path)};
        }
    }
    Throw(Failure::FileExists, output);
}

std::filesystem::path Canonical(const std::u16string& path) {
    std::error_code error;
    const std::filesystem::path given(text::ToUtf8(path));
    std::filesystem::path resolved = std::filesystem::weakly_canonical(given, error);
    return error ? std::filesystem::absolute(given, error).lexically_normal() : resolved;
}

}  // namespace

bool NamesFileOfSet(const std::u16string& listPath, const std::u16string& name) {
    const std::filesystem::path candidate = Canonical(name);
    if (candidate == Canonical(listPath)) {
        return true;
    }
    try {
        const ListRecord list = ReadListFile(text::ToUtf8(listPath));
        const std::filesystem::path base = Canonical(PieceBase(listPath));
        const std::string prefix = base.filename().string() + ".";
        const std::string candidateName = candidate.filename().string();
        if (candidate.parent_path() != base.parent_path() || candidateName.rfind(prefix, 0) != 0) {
            return false;
        }
        const std::string suffix = candidateName.substr(prefix.size());
        if (suffix.empty() || suffix.size() > 11 ||
            suffix.find_first_not_of("-0123456789") != std::string::npos) {
            return false;
        }
        const std::int64_t number = std::stoll(suffix);
        return number >= list.FirstNumber &&
               number < std::int64_t{list.FirstNumber} + list.PieceCount &&
               text::ToUtf8(FormatPieceNumber(static_cast<std::int32_t>(number))) == suffix;
    } catch (const std::exception&) {
        return false;
    }
}

bool MergeFile(const std::u16string& listPath, const std::u16string& outputName) {
    return MergeFile(listPath, outputName, Progress{});
}

bool MergeFile(const std::u16string& listPath, const std::u16string& outputName,
               const Progress& progress) {
    const ListRecord list = ReadListFile(text::ToUtf8(listPath));
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

    const std::string output = text::ToUtf8(outputName);
    if (output.empty() || output.back() == '/') {
        Throw(Failure::BadOutputName, output);
    }
    const std::string target = ResolveTarget(output);
    const std::optional<struct stat> existing = io::LinkStat(target);
    const bool replacing = existing.has_value();
    if (replacing && S_ISDIR(existing->st_mode)) {
        Throw(Failure::PathAccess, output);
    }

    auto created = CreateTemporary(target, output);
    io::File temporary = std::move(created.first);
    const std::string temporaryPath = std::move(created.second);
    try {
        if (replacing && S_ISREG(existing->st_mode)) {
            io::Chmod(temporary, existing->st_mode & 07777);
        }
        // Writing back while copying overlaps the disk's work with ours, so the final flush
        // waits for little more than the last chunk.
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
            if (CheckPiece(piece) != lengths[static_cast<std::size_t>(k - 1)]) {
                Throw(Failure::PieceChangedDuringMerge, piece.path());
            }
            const std::uint32_t length = lengths[static_cast<std::size_t>(k - 1)];
            copier.Copy(piece, kDescriptorSize, temporary, offset, length, report);
            offset += length;
        }
        io::Flush(temporary);
        temporary.Close();
        io::Rename(temporaryPath, target);
    } catch (...) {
        temporary = io::File();
        io::RemoveQuietly(temporaryPath);
        throw;
    }
    io::FlushFolder(io::FolderOf(target));
    return true;
}

}  // namespace Module1
