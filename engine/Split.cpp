// SPDX-License-Identifier: GPL-3.0-or-later
// SplitFile: source -> pieces -> checksum list -> list file.
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <new>

#include "FileIo.h"
#include "Formats.h"
#include "Messages.h"
#include "Sha256.h"
#include "Text.h"
#include "Workers.h"

namespace Module1 {
namespace {

// Two workers, each writing and hashing a piece of its own; on a rotational disk one stream
// spares the head from seeking between two places of the source.
constexpr int kWorkers = 2;

// n = ceil(L / S) in the form older copies compute it: the double quotient rounded to a
// 16-bit integer (ties to even), plus one when the quotient lies above the rounded value.
std::int16_t CountPieces(std::int64_t sourceLength, std::int32_t pieceSize) {
    if (pieceSize == 0) {
        Throw(Failure::PieceSizeZero);
    }
    const double quotient = static_cast<double>(sourceLength) / pieceSize;
    if (!(quotient < 32767.5) || quotient < -32768.5) {
        Throw(Failure::TooManyPieces);
    }
    double rounded = std::nearbyint(quotient);
    if (quotient > rounded) {
        if (rounded == 32767) {
            Throw(Failure::TooManyPieces);
        }
        rounded += 1;
    }
    if (rounded < 1) {
        Throw(Failure::PieceSizeNotPositive);
    }
    return static_cast<std::int16_t>(rounded);
}

struct SplitPlan {
    std::u16string sourcePath;
    std::int32_t firstNumber;
    std::int32_t pieceSize;
    std::int64_t sourceLength;
    std::int16_t pieceCount;
};

// Hashes what lies in file from offset to its end: bytes an older, longer file leaves past the
// new record, so that the checksum covers the file exactly as it lies on disk.
void HashTail(const std::string& path, std::int64_t offset, std::int64_t oldSize, Sha256& hash,
              std::vector<std::uint8_t>& buffer) {
    if (oldSize > offset) {
        io::ReadRange(
            io::OpenForReading(path), offset, oldSize - offset, buffer,
            [&](const std::uint8_t* bytes, std::size_t size) { hash.Update(bytes, size); });
    }
}

// Writes piece k: descriptor, data read from the source, trailing Length; returns the digest
// of the whole file. The file is written from its first byte and not truncated.
Digest WritePiece(const SplitPlan& plan, const io::File& source, std::int32_t k, Worker& worker) {
    const std::int64_t offset = std::int64_t{k - 1} * plan.pieceSize;
    const auto count = static_cast<std::int32_t>(k < plan.pieceCount ? plan.pieceSize
                                                                     : plan.sourceLength - offset);
    const std::string name = text::ToUtf8(PieceName(plan.sourcePath, plan.firstNumber, k));
    io::File piece = io::OpenForWriting(name);
    const ChunkWriter::Settled noWriteOutlivesThePiece(worker.writer);
    const std::int64_t oldSize = io::Stat(piece).st_size;
    Sha256 hash;
    const std::vector<std::uint8_t> descriptor =
        EncodeDescriptor(static_cast<std::uint32_t>(count));
    io::WriteAt(piece, descriptor.data(), descriptor.size(), 0);
    hash.Update(descriptor);
    for (std::int64_t done = 0; done < count;) {
        worker.CheckGoOn();
        Chunk& chunk = worker.writer.Take();
        chunk.size = static_cast<std::size_t>(std::min<std::int64_t>(count - done, kChunkSize));
        io::ReadAt(source, chunk.bytes.data(), chunk.size, offset + done);
        hash.Update(chunk.bytes.data(), chunk.size);
        chunk.file = &piece;
        chunk.offset = kDescriptorSize + done;
        worker.writer.Submit(chunk);
        done += static_cast<std::int64_t>(chunk.size);
    }
    const std::int64_t dataEnd = kDescriptorSize + std::int64_t{count};
    const std::vector<std::uint8_t> trailer = EncodeTrailer(count);
    io::WriteAt(piece, trailer.data(), trailer.size(), dataEnd);
    hash.Update(trailer);
    worker.writer.Drain();
    piece.Close();
    HashTail(name, dataEnd + kTrailerSize, oldSize, hash, worker.buffer);
    return hash.Finish();
}

// Writes every piece, two at a time where the disk allows; returns the digests in order.
std::vector<Digest> WriteAllPieces(const SplitPlan& plan, const io::File& source,
                                   ProgressCounter& counter, std::stop_token stop) {
    std::vector<Digest> digests(static_cast<std::size_t>(plan.pieceCount));
    ForEachPiece(
        plan.pieceCount, io::OnRotationalDisk(source) ? 1 : kWorkers,
        [&](const io::File&, std::int64_t, std::int64_t size) { counter.Add(size); },
        [&](std::int32_t k, Worker& worker) {
            digests[static_cast<std::size_t>(k - 1)] = WritePiece(plan, source, k, worker);
        },
        stop);
    return digests;
}

// Every name the split will write must be free for a regular file and fit the folder, and the
// list record must encode, before the first piece is written: a run bound to fail on a name
// leaves nothing behind.
struct SetNames {
    std::string list;
    std::string checksumList;
};

void CheckNames(const SplitPlan& plan, const SetNames& names) {
    const long nameLimit = io::NameLimit(io::FolderOf(names.list));
    auto check = [&](const std::string& path) {
        io::CheckNameFits(path, nameLimit);
        io::CheckRegularOrAbsent(path);
    };
    for (std::int32_t k = 1; k <= plan.pieceCount; ++k) {
        check(text::ToUtf8(PieceName(plan.sourcePath, plan.firstNumber, k)));
    }
    check(names.list);
    check(names.checksumList);
    EncodeListRecord({0, plan.sourcePath, plan.pieceCount, plan.firstNumber});
}

// Replaces the checksum list as a whole: one line per piece in order, then the list file's
// line, whose digest is that of the list file as it will lie once the record is written over
// its first bytes.
void WriteChecksumList(const SplitPlan& plan, const SetNames& names,
                       const std::vector<Digest>& pieces, const std::vector<std::uint8_t>& record) {
    std::vector<ChecksumLine> lines;
    for (std::int32_t k = 1; k <= plan.pieceCount; ++k) {
        lines.push_back(
            {pieces[static_cast<std::size_t>(k - 1)],
             io::NameOf(text::ToUtf8(PieceName(plan.sourcePath, plan.firstNumber, k)))});
    }
    Sha256 listHash;
    listHash.Update(record);
    if (const std::optional<struct stat> old = io::StatIfPresent(names.list)) {
        std::vector<std::uint8_t> buffer(64 << 10);
        HashTail(names.list, static_cast<std::int64_t>(record.size()), old->st_size, listHash,
                 buffer);
    }
    lines.push_back({listHash.Finish(), io::NameOf(names.list)});

    const std::string text = EncodeChecksumList(lines);
    io::Replacement checksumList(names.checksumList, names.checksumList);
    io::WriteAt(checksumList.file(), text.data(), text.size(), 0);
    checksumList.Commit();
}

void Split(const SplitPlan& plan, const io::File& source, const Progress& progress,
           std::stop_token stop) {
    const std::u16string listPath = ListFileName(plan.sourcePath);
    const SetNames names{text::ToUtf8(listPath), text::ToUtf8(ChecksumListName(listPath))};
    CheckNames(plan, names);

    ProgressCounter counter(progress, plan.sourceLength);
    const std::vector<Digest> digests = WriteAllPieces(plan, source, counter, stop);
    if (stop.stop_requested()) {
        Throw(Failure::Stopped);  // the last chunks may have been written after the last check
    }

    // Sources of 2 GiB and more store the largest value SourceLength holds.
    const ListRecord list{static_cast<std::int32_t>(std::min<std::int64_t>(
                              plan.sourceLength, std::numeric_limits<std::int32_t>::max())),
                          plan.sourcePath, plan.pieceCount, plan.firstNumber};
    const std::vector<std::uint8_t> record = EncodeListRecord(list);
    // The checksum list goes first: an earlier split's list must never stand beside this set.
    WriteChecksumList(plan, names, digests, record);
    const bool listExisted = io::LinkStat(names.list).has_value();
    try {
        io::File listFile = io::OpenForWriting(names.list);
        io::WriteAt(listFile, record.data(), record.size(), 0);
        listFile.Close();
    } catch (...) {
        if (!listExisted) {
            io::RemoveQuietly(names.list);  // a half-written new list file must not look valid
        }
        throw;
    }
}

}  // namespace

bool SplitFile(const std::u16string& sourcePath, std::int32_t firstNumber, std::u16string& message,
               std::int32_t pieceSize) {
    return SplitFile(sourcePath, firstNumber, message, pieceSize, Progress{});
}

bool SplitFile(const std::u16string& sourcePath, std::int32_t firstNumber, std::u16string& message,
               std::int32_t pieceSize, const Progress& progress) {
    return SplitFile(sourcePath, firstNumber, message, pieceSize, progress, {});
}

bool SplitFile(const std::u16string& sourcePath, std::int32_t firstNumber, std::u16string& message,
               std::int32_t pieceSize, const Progress& progress, std::stop_token stop) {
    try {
        const io::FileSizeSignalGuard fileSizeLimitFailsTheWrite;
        const std::string sourceName = io::PathOf(sourcePath);
        const io::File source = io::OpenForReading(sourceName);
        // Held until the split returns, so a second split of the same file cannot mix its
        // pieces with ours.
        if (!io::TryLock(source)) {
            Throw(Failure::SourceBeingSplit, sourceName);
        }
        if (pieceSize == std::numeric_limits<std::int32_t>::max()) {
            Throw(Failure::PieceSizeOutOfRange);
        }
        const std::int64_t sourceLength = io::Stat(source).st_size;
        if (sourceLength <= std::int64_t{pieceSize} + 1) {
            message = text::FromUtf8(Text(Failure::SourceTooSmall));
            return false;
        }
        const SplitPlan plan{sourcePath, firstNumber, pieceSize, sourceLength,
                             CountPieces(sourceLength, pieceSize)};
        Split(plan, source, progress, stop);
        return true;
    } catch (...) {
        message = FailureText(std::current_exception());
    }
    return false;
}

}  // namespace Module1
