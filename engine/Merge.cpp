// SPDX-License-Identifier: GPL-3.0-or-later
// MergeFile: list file -> pieces, checked against the set's checksum list where it has one
// -> temporary file -> renamed over the output name.
#include <sys/stat.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include "FileIo.h"
#include "Formats.h"
#include "Messages.h"
#include "Sha256.h"
#include "Text.h"

namespace Module1 {
namespace {

constexpr std::size_t kLargestListRecord = kListFixedSize + 0xFFFF;
// 32767 lines of the longest names take about 10 MiB.
constexpr std::int64_t kLargestChecksumList = 16 << 20;
// Chunks in flight between the thread that reads and hashes and the one that writes.
constexpr std::size_t kChunkSize = 4 << 20;
constexpr int kChunks = 3;

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
        const std::string number = "." + text::ToUtf8(piece.substr(piece.find_last_of(u'.') + 1));
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

// A chunk of piece data on its way from the reading thread to the writing one.
struct Chunk {
    std::vector<std::uint8_t> bytes;
    std::size_t size = 0;
    std::int64_t outputOffset = 0;
};

// Hands chunks from the thread that reads and hashes to the thread that writes, and empty ones
// back. Without a writing thread of its own, Deliver writes at once through writeInline.
class Handoff {
  public:
    explicit Handoff(std::function<void(const Chunk&)> writeInline = {})
        : writeInline_(std::move(writeInline)), chunks_(writeInline_ ? 1 : kChunks) {
        for (Chunk& chunk : chunks_) {
            free_.push_back(&chunk);
        }
    }

    // An empty chunk for the reader; null once the writer has given up.
    Chunk* Take() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return aborted_ || !free_.empty(); });
        if (aborted_) {
            return nullptr;
        }
        Chunk* chunk = free_.front();
        free_.pop_front();
        chunk->bytes.resize(kChunkSize);
        return chunk;
    }

    void Deliver(Chunk* chunk) {
        if (writeInline_) {
            writeInline_(*chunk);
            Give(chunk);
            return;
        }
        std::lock_guard lock(mutex_);
        full_.push_back(chunk);
        changed_.notify_all();
    }

    // The next chunk for the writer; null once the reader has finished or failed.
    Chunk* Next() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return finished_ || !full_.empty(); });
        if (full_.empty()) {
            return nullptr;
        }
        Chunk* chunk = full_.front();
        full_.pop_front();
        return chunk;
    }

    void Give(Chunk* chunk) {
        std::lock_guard lock(mutex_);
        free_.push_back(chunk);
        changed_.notify_all();
    }

    void Finish() { Set(finished_); }
    void Abort() { Set(aborted_); }

  private:
    void Set(bool& flag) {
        std::lock_guard lock(mutex_);
        flag = true;
        changed_.notify_all();
    }

    std::function<void(const Chunk&)> writeInline_;
    std::vector<Chunk> chunks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Chunk*> free_;
    std::deque<Chunk*> full_;
    bool finished_ = false;
    bool aborted_ = false;
};

struct MergePlan {
    std::vector<std::string> pieces;
    std::vector<std::uint32_t> lengths;
    std::int64_t total = 0;
};

// Reads every piece whole, hashing it as it lies on disk, and delivers its data in chunks;
// throws when a piece's digest is not the one in the checksum list. The writer commits nothing
// before this has returned, so a mismatch found at a piece's last byte still keeps the output.
void ReadAndCheckPieces(const MergePlan& plan, const Checksums& checksums, Handoff& handoff) {
    std::vector<std::uint8_t> rest(64 << 10);
    std::int64_t outputOffset = 0;
    for (std::size_t i = 0; i < plan.pieces.size(); ++i) {
        const io::File piece = io::OpenForReading(plan.pieces[i]);
        const PieceExtent extent = CheckPiece(piece);
        if (extent.dataLength != plan.lengths[i]) {
            Throw(Failure::PieceChangedDuringMerge, piece.path());
        }
        Sha256 hash;
        hash.Update(extent.header, sizeof extent.header);
        for (std::int64_t done = 0; done < extent.dataLength;) {
            Chunk* chunk = handoff.Take();
            if (!chunk) {
                return;  // the writer failed; its error is the one to report
            }
            chunk->size = static_cast<std::size_t>(
                std::min<std::int64_t>(extent.dataLength - done, kChunkSize));
            io::ReadAt(piece, chunk->bytes.data(), chunk->size, kDescriptorSize + done);
            hash.Update(chunk->bytes.data(), chunk->size);
            chunk->outputOffset = outputOffset + done;
            done += static_cast<std::int64_t>(chunk->size);
            handoff.Deliver(chunk);
        }
        const std::int64_t dataEnd = kDescriptorSize + extent.dataLength;
        io::ReadRange(
            piece, dataEnd, extent.fileSize - dataEnd, rest,
            [&](const std::uint8_t* bytes, std::size_t size) { hash.Update(bytes, size); });
        if (hash.Finish() != checksums.pieces[i]) {
            ThrowText(ChecksumFailureText(Failure::PieceMismatch, piece.path(), checksums.path));
        }
        outputOffset += extent.dataLength;
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

// Writes the pieces' data into the temporary file: read and hashed on a thread of its own and
// written here where the set has a checksum list, copied by the kernel where it has none.
void WritePieces(const MergePlan& plan, const std::optional<Checksums>& checksums,
                 const io::File& output, const Progress& progress) {
    // Writing back while copying overlaps the disk's work with ours, so the final flush waits
    // for little more than the last chunk.
    std::int64_t written = 0;
    auto report = [&](std::int64_t bytes) {
        io::StartWriteback(output, written, bytes);
        written += bytes;
        if (progress) {
            progress(written, plan.total);
        }
    };
    if (!checksums) {
        io::Copier copier;
        for (std::size_t i = 0; i < plan.pieces.size(); ++i) {
            const io::File piece = io::OpenForReading(plan.pieces[i]);
            if (CheckPiece(piece).dataLength != plan.lengths[i]) {
                Throw(Failure::PieceChangedDuringMerge, piece.path());
            }
            copier.Copy(piece, kDescriptorSize, output, written, plan.lengths[i], report);
        }
        return;
    }

    auto write = [&](const Chunk& chunk) {
        io::WriteAt(output, chunk.bytes.data(), chunk.size, chunk.outputOffset);
        report(static_cast<std::int64_t>(chunk.size));
    };
    std::exception_ptr readFailure;
    auto read = [&](Handoff& handoff) {
        try {
            ReadAndCheckPieces(plan, *checksums, handoff);
        } catch (...) {
            readFailure = std::current_exception();
        }
        handoff.Finish();
    };
    Handoff handoff;
    std::jthread reader;
    try {
        reader = std::jthread([&] { read(handoff); });
    } catch (const std::system_error&) {
        Handoff inlineHandoff(write);  // no thread to be had: read, hash and write in turn
        read(inlineHandoff);
    }
    if (reader.joinable()) {
        try {
            while (Chunk* chunk = handoff.Next()) {
                write(*chunk);
                handoff.Give(chunk);
            }
        } catch (...) {
            handoff.Abort();
            throw;  // the reader stops at its next chunk and is joined on the way out
        }
        reader.join();
    }
    if (readFailure) {
        std::rethrow_exception(readFailure);
    }
}

}  // namespace

bool MergeFile(const std::u16string& listPath, const std::u16string& outputName,
               const Progress& progress) {
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
        plan.total += plan.lengths.back();
    }
    CheckSetLength(list, plan.total, listFile);

    if (output.empty() || output.back() == '/') {
        Throw(Failure::BadOutputName, output);
    }
    const std::string target = ResolveTarget(output);
    io::CheckRegularOrAbsent(target);

    io::Replacement replacement(target, output);
    WritePieces(plan, checksums, replacement.file(), progress);
    replacement.Commit();
    return true;
}

}  // namespace Module1
