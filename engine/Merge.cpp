// SPDX-License-Identifier: GPL-3.0-or-later
// MergeFile: list file -> pieces, checked against the set's checksum list where it has one
// -> temporary file -> renamed over the output name.
#include <sys/stat.h>

#include <filesystem>

#include "FileIo.h"
#include "Formats.h"
#include "Messages.h"
#include "Sha256.h"
#include "Text.h"
#include "Workers.h"

namespace Module1 {
namespace {

constexpr std::size_t kLargestListRecord = kListFixedSize + 0xFFFF;
// 32767 lines of the longest names take about 10 MiB.
constexpr std::int64_t kLargestChecksumList = 16 << 20;
// Two workers, a piece each; on a rotational disk one stream spares the head from seeking
// between the places they read and write.
constexpr int kWorkers = 2;

ListRecord ReadListFile(const std::string& path) {
    const io::File file = io::OpenForReading(path);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(
        std::min<std::int64_t>(io::Stat(file).st_size, kLargestListRecord)));
    io::ReadAt(file, bytes.data(), bytes.size(), 0);
    return DecodeListRecord(bytes, path);
}

// A piece file checked against its own header: its size, and the data length the header gives.
struct PieceExtent {
    std::int64_t fileSize = 0;
    std::uint32_t dataLength = 0;
    std::uint8_t header[kDescriptorSize] = {};
};

PieceExtent CheckPiece(const io::File& piece) {
    PieceExtent extent;
    extent.fileSize = io::Stat(piece).st_size;
    if (extent.fileSize >= kDescriptorSize) {
        io::ReadAt(piece, extent.header, sizeof extent.header, 0);
    }
    extent.dataLength = CheckPieceHeader(extent.header, extent.fileSize, piece.path());
    return extent;
}

// The pieces' data must add up to the source's length, as the list file records it (a source
// of 2 GiB and more records the largest value it can hold): pieces of another split, or a
// split that failed halfway, would otherwise merge into a wrong file.
void CheckSetLength(const ListRecord& list, std::int64_t total, const std::string& listFile) {
    constexpr std::int32_t kSaturated = std::numeric_limits<std::int32_t>::max();
    if (list.SourceLength < kSaturated ? total != list.SourceLength : total < kSaturated) {
        ThrowText(SetLengthMismatchText(total, list.SourceLength), listFile);
    }
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// What a set's checksum list says: a digest for each piece, in order, and for the list file.
struct Checksums {
    std::string path;
    std::vector<Digest> pieces;
    Digest listFile{};
};

// Reads the checksum list beside the list file; empty when there is none, as with sets of older
// copies. Lines are matched to pieces by position and piece number, not by the stored name, so
// a set renamed or moved as a whole still checks.
std::optional<Checksums> ReadChecksums(const std::u16string& listPath, const ListRecord& list) {
    const std::string listFile = text::ToUtf8(listPath);
    const std::u16string base = PieceBase(listPath);
    Checksums checksums{text::ToUtf8(ChecksumListName(listPath)), {}, {}};
    if (!io::StatIfPresent(checksums.path)) {
        return std::nullopt;
    }
    const io::File file = io::OpenForReading(checksums.path);
    const std::int64_t size = io::Stat(file).st_size;
    if (size > kLargestChecksumList) {
        Throw(Failure::ChecksumListUnreadable, checksums.path);
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    io::ReadAt(file, text.data(), text.size(), 0);
    const std::optional<std::vector<ChecksumLine>> lines = DecodeChecksumList(text);
    if (!lines || lines->size() > static_cast<std::size_t>(list.PieceCount) + 1) {
        Throw(Failure::ChecksumListUnreadable, checksums.path);
    }
    for (std::int32_t k = 1; k <= list.PieceCount; ++k) {
        const std::u16string piece = PieceName(base, list.FirstNumber, k);
        const auto line = static_cast<std::size_t>(k - 1);
        const std::string number = text::ToUtf8(piece.substr(piece.find_last_of(u'.')));
        if (line >= lines->size() || !EndsWith((*lines)[line].name, number)) {
            ThrowText(
                ChecksumFailureText(Failure::PieceNotCovered, text::ToUtf8(piece), checksums.path));
        }
        checksums.pieces.push_back((*lines)[line].digest);
    }
    const ChecksumLine& last = lines->back();
    if (lines->size() != checksums.pieces.size() + 1 ||
        (!EndsWith(last.name, ".FLF") && !EndsWith(last.name, ".flf"))) {
        ThrowText(ChecksumFailureText(Failure::PieceNotCovered, listFile, checksums.path));
    }
    checksums.listFile = last.digest;
    return checksums;
}

void CheckListFile(const std::string& listFile, const Checksums& checksums) {
    const io::File file = io::OpenForReading(listFile);
    Sha256 hash;
    std::vector<std::uint8_t> buffer(64 << 10);
    io::ReadRange(file, 0, io::Stat(file).st_size, buffer,
                  [&](const std::uint8_t* bytes, std::size_t size) { hash.Update(bytes, size); });
    if (hash.Finish() != checksums.listFile) {
        ThrowText(ChecksumFailureText(Failure::ListFileMismatch, listFile, checksums.path));
    }
}

struct MergePlan {
    std::vector<std::string> pieces;
    std::vector<std::uint32_t> lengths;
    std::vector<std::int64_t> offsets;  // where each piece's data goes in the output
    std::int64_t total = 0;
};

// Copies piece i's data to its place in the output and hashes the piece whole, as it lies on
// disk; throws when the digest is not the one in the checksum list. Nothing is committed before
// every piece has been checked, so a mismatch found at a piece's last byte still keeps the
// old output.
void CopyAndCheckPiece(const MergePlan& plan, const Checksums& checksums, std::size_t i,
                       const io::File& output, Worker& worker) {
    const io::File piece = io::OpenForReading(plan.pieces[i]);
    const PieceExtent extent = CheckPiece(piece);
    if (extent.dataLength != plan.lengths[i]) {
        Throw(Failure::PieceChangedDuringMerge, piece.path());
    }
    Sha256 hash;
    hash.Update(extent.header, sizeof extent.header);
    for (std::int64_t done = 0; done < extent.dataLength;) {
        worker.CheckGoOn();
        Chunk& chunk = worker.writer.Take();
        chunk.size =
            static_cast<std::size_t>(std::min<std::int64_t>(extent.dataLength - done, kChunkSize));
        io::ReadAt(piece, chunk.bytes.data(), chunk.size, kDescriptorSize + done);
        hash.Update(chunk.bytes.data(), chunk.size);
        chunk.file = &output;
        chunk.offset = plan.offsets[i] + done;
        worker.writer.Submit(chunk);
        done += static_cast<std::int64_t>(chunk.size);
    }
    const std::int64_t dataEnd = kDescriptorSize + extent.dataLength;
    io::ReadRange(piece, dataEnd, extent.fileSize - dataEnd, worker.buffer,
                  [&](const std::uint8_t* bytes, std::size_t size) { hash.Update(bytes, size); });
    if (hash.Finish() != checksums.pieces[i]) {
        ThrowText(ChecksumFailureText(Failure::PieceMismatch, piece.path(), checksums.path));
    }
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
        const std::string checksumList = text::ToUtf8(ChecksumListName(listPath));
        if (candidate == WithResolvedFolder(listFile) ||
            candidate == WithResolvedFolder(checksumList)) {
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
        if (SameFile(*target, listFile) || SameFile(*target, checksumList)) {
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

namespace {

// Writes the pieces' data into the temporary file: read, hashed and written by two workers,
// a piece each, where the set has a checksum list; copied by the kernel where it has none.
void WritePieces(const MergePlan& plan, const std::optional<Checksums>& checksums,
                 const io::File& output, const Progress& progress, std::stop_token stop) {
    ProgressCounter counter(progress, plan.total);
    // Writing back while copying overlaps the disk's work with ours, so the final flush waits
    // for little more than the last chunk.
    auto written = [&](const io::File& file, std::int64_t offset, std::int64_t bytes) {
        io::StartWriteback(file, offset, bytes);
        counter.Add(bytes);
    };
    if (checksums) {
        const int workers = io::OnRotationalDisk(output) ? 1 : kWorkers;
        ForEachPiece(
            static_cast<std::int32_t>(plan.pieces.size()), workers, written,
            [&](std::int32_t k, Worker& worker) {
                CopyAndCheckPiece(plan, *checksums, static_cast<std::size_t>(k - 1), output,
                                  worker);
            },
            stop);
        return;
    }
    io::Copier copier;
    for (std::size_t i = 0; i < plan.pieces.size(); ++i) {
        const io::File piece = io::OpenForReading(plan.pieces[i]);
        if (CheckPiece(piece).dataLength != plan.lengths[i]) {
            Throw(Failure::PieceChangedDuringMerge, piece.path());
        }
        std::int64_t at = plan.offsets[i];
        copier.Copy(piece, kDescriptorSize, output, at, plan.lengths[i], [&](std::int64_t bytes) {
            written(output, at, bytes);
            at += bytes;
            if (stop.stop_requested()) {
                Throw(Failure::Stopped);
            }
        });
    }
}

}  // namespace

bool MergeFile(const std::u16string& listPath, const std::u16string& outputName,
               const Progress& progress) {
    return MergeFile(listPath, outputName, progress, {});
}

bool MergeFile(const std::u16string& listPath, const std::u16string& outputName,
               const Progress& progress, std::stop_token stop) {
    const io::FileSizeSignalGuard fileSizeLimitFailsTheWrite;
    const std::string output = io::PathOf(outputName);
    const std::string listFile = io::PathOf(listPath);
    const ListRecord list = ReadListFile(listFile);
    const std::u16string base = PieceBase(listPath);
    const std::optional<Checksums> checksums = ReadChecksums(listPath, list);
    if (checksums) {
        CheckListFile(listFile, *checksums);
    }

    // Every piece is checked before the output is touched.
    MergePlan plan;
    for (std::int32_t k = 1; k <= list.PieceCount; ++k) {
        plan.pieces.push_back(text::ToUtf8(PieceName(base, list.FirstNumber, k)));
        plan.lengths.push_back(CheckPiece(io::OpenForReading(plan.pieces.back())).dataLength);
        plan.offsets.push_back(plan.total);
        plan.total += plan.lengths.back();
    }
    CheckSetLength(list, plan.total, listFile);

    if (output.empty() || output.back() == '/') {
        Throw(Failure::BadOutputName, output);
    }
    const std::string target = ResolveTarget(output);
    io::CheckRegularOrAbsent(target);

    io::Replacement replacement(target, output);
    WritePieces(plan, checksums, replacement.file(), progress, stop);
    if (stop.stop_requested()) {
        Throw(Failure::Stopped);  // the last chunks may have been written after the last check
    }
    replacement.Commit();
    return true;
}

}  // namespace Module1
