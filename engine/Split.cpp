// SPDX-License-Identifier: GPL-3.0-or-later
// SplitFile: source -> pieces, checksum list and list file, each written under a temporary name
// beside its own -> brought in together, the list file last.
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <new>

#include "Access.h"
#include "FileChecks.h"
#include "FileIo.h"
#include "Formats.h"
#include "Messages.h"
#include "NewFiles.h"
#include "Operations.h"
#include "Paths.h"
#include "SetNames.h"
#include "Sha256.h"
#include "Text.h"
#include "Workers.h"

namespace Module1 {
namespace {

// Two workers, each writing and hashing a piece of its own. On a rotational disk one stream
// spares the head from seeking between two places of the source far apart; pieces smaller than
// this keep two readers within a few MiB of each other, and there the work per piece (a new file
// and its inode) bounds the split: measured here on 1 GiB in 1 MiB pieces, 2.0 s with one worker
// and 1.3 s with two, while 8 MiB pieces took 0.9 s and 0.8 s.
constexpr int kWorkers = 2;
constexpr std::int32_t kOneStreamPieceSize = 8 << 20;

// Too many pieces, with the source's length, from which the smallest piece size that gives few
// enough follows.
[[noreturn]] void ThrowTooManyPieces(std::int64_t sourceLength) {
    Throw(Fault{Failure::TooManyPieces, {}, {sourceLength}, 0, Failure::Unexpected});
}

// n = ceil(L / S), formed as the layouts define it: the double quotient rounded to a 16-bit
// integer (ties to even), plus one when the quotient lies above the rounded value.
std::int16_t CountPieces(std::int64_t sourceLength, std::int32_t pieceSize) {
    if (pieceSize == 0) {
        Throw(Failure::PieceSizeZero);
    }
    const double quotient = static_cast<double>(sourceLength) / pieceSize;
    if (!(quotient < 32767.5) || quotient < -32768.5) {
        if (pieceSize > 0) {
            ThrowTooManyPieces(sourceLength);
        }
        Throw(Failure::TooManyPieces);
    }
    double rounded = std::nearbyint(quotient);
    if (quotient > rounded) {
        if (rounded == 32767) {
            ThrowTooManyPieces(sourceLength);
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
    io::FileInfo source;  // as the open source was when the split began
    std::int16_t pieceCount;

    std::int64_t Length() const { return source.size; }
    std::int32_t DataLength(std::int32_t k) const {
        return static_cast<std::int32_t>(
            k < pieceCount ? pieceSize : Length() - std::int64_t{k - 1} * pieceSize);
    }
};

// The members of the staged set, as SetNames::All orders them: the checksum list, piece k at
// k, then the list file.
constexpr std::size_t kChecksumMember = 0;
std::size_t ListMember(const SplitPlan& plan) {
    return static_cast<std::size_t>(plan.pieceCount) + 1;
}

// Writes piece k into its temporary file: descriptor, data read from the source, trailing
// Length; returns the digest of the whole file. The piece's last chunk completes and closes it
// where it is written, so that with a writing thread behind the worker the worker goes on to the
// next piece at once.
Digest WritePiece(const SplitPlan& plan, const SetNames& names, const io::File& source,
                  std::int32_t k, Worker& worker, StagedSet& staged) {
    const std::int64_t offset = std::int64_t{k - 1} * plan.pieceSize;
    const std::int32_t count = plan.DataLength(k);
    const auto piece =
        std::make_shared<io::File>(staged.Create(static_cast<std::size_t>(k), names.Piece(k)));
    const ChunkWriter::Settled noWriteOutlivesAFailure(worker.writer);
    Sha256 hash;
    const std::vector<std::uint8_t> descriptor =
        EncodeDescriptor(static_cast<std::uint32_t>(count));
    io::WriteAt(*piece, descriptor.data(), descriptor.size(), 0);
    hash.Update(descriptor);
    const std::vector<std::uint8_t> trailer = EncodeTrailer(count);
    for (std::int64_t done = 0; done < count;) {
        worker.CheckGoOn();
        Chunk& chunk = worker.writer.Take();
        chunk.size = static_cast<std::size_t>(std::min<std::int64_t>(count - done, kChunkSize));
        io::ReadAt(source, chunk.bytes.data(), chunk.size, offset + done);
        hash.Update(chunk.bytes.data(), chunk.size);
        chunk.file = piece.get();
        chunk.offset = kDescriptorSize + done;
        chunk.keepAlive = piece;
        done += static_cast<std::int64_t>(chunk.size);
        if (done == count) {
            chunk.then = [piece, trailer, &staged, at = kDescriptorSize + std::int64_t{count}] {
                io::WriteAt(*piece, trailer.data(), trailer.size(), at);
                staged.Complete(*piece);
            };
        }
        worker.writer.Submit(chunk);
    }
    hash.Update(trailer);
    return hash.Finish();
}

// Writes every piece, two at a time where the disk allows; returns the digests in order.
std::vector<Digest> WriteAllPieces(const SplitPlan& plan, const SetNames& names,
                                   const io::File& source, StagedSet& staged,
                                   const Progress& progress, std::stop_token stop) {
    ProgressCounter counter(progress, plan.Length());
    // Writing back while copying overlaps the disk's work with ours, so the flush that closes
    // each piece waits for little more than its last chunk.
    auto written = [&](const io::File& file, std::int64_t offset, std::int64_t size) {
        io::StartWriteback(file, offset, size);
        counter.Add(size);
    };
    std::vector<Digest> digests(static_cast<std::size_t>(plan.pieceCount));
    ForEachPiece(
        plan.pieceCount,
        plan.pieceSize >= kOneStreamPieceSize && io::OnRotationalDisk(source) ? 1 : kWorkers,
        written,
        [&](std::int32_t k, Worker& worker) {
            digests[static_cast<std::size_t>(k - 1)] =
                WritePiece(plan, names, source, k, worker, staged);
        },
        stop);
    return digests;
}

// What stands at a name the split is to write must be left alone or be safe to replace: never
// the source itself, reached by a link; never a folder, pipe or device; never another user's
// file, in any folder and whoever splits (only the user's own, or the source owner's when root
// splits her file); and, as the file would be written over, never one the user may not write.
// What may be replaced is recorded, so that the bring-in replaces exactly that.
void CheckSetName(const SplitPlan& plan, const io::Folder& folder, long nameLimit,
                  StagedSet& staged, std::size_t member, const std::string& path) {
    io::CheckNameFits(path, nameLimit);
    const std::string name = io::NameOf(path);
    const std::optional<io::FileInfo> there = folder.LinkStat(name);
    if (!there) {
        return;
    }
    const std::optional<io::FileInfo> reached =
        there->kind == io::Kind::Link ? io::StatIfPresent(path) : there;
    if (reached && reached->id == plan.source.id) {
        Throw(Failure::SetNameIsSource, path);
    }
    io::CheckRegularOrAbsent(path);
    if (!io::OwnedByCaller(there->owner) && there->owner != plan.source.owner) {
        Throw(Failure::OtherUsersFile, path);
    }
    folder.CheckReplaceable(name);
    if (!folder.MayWrite(name)) {
        Throw(Failure::AccessDenied, path);
    }
    staged.RecordOlder(member, *there);
}

std::int64_t RoundedUp(std::int64_t bytes, std::int64_t unit) {
    return (bytes + unit - 1) / unit * unit;
}

// The older set stays until the new one is complete, so the new one must fit beside it.
void CheckFreeSpace(const SplitPlan& plan, const SetNames& names, const io::Folder& folder,
                    std::int64_t listRecordSize) {
    const io::Folder::Space space = folder.FreeSpace();
    std::int64_t needed = 0;
    std::int64_t checksumListSize = 0;
    for (std::int32_t k = 1; k <= plan.pieceCount; ++k) {
        needed += RoundedUp(kDescriptorSize + plan.DataLength(k) + kTrailerSize, space.blockSize);
        checksumListSize += 2 * 64 + 4 + static_cast<std::int64_t>(names.Piece(k).size());
    }
    needed += RoundedUp(listRecordSize, space.blockSize) +
              RoundedUp(checksumListSize + 256, space.blockSize);
    if (needed > space.available) {
        const bool olderSetThere = folder.LinkStat(io::NameOf(names.List())).has_value();
        Throw(Fault{Failure::NotEnoughSpace,
                    {{Role::Named, folder.path(), 0}},
                    {needed, space.available, olderSetThere ? 1 : 0},
                    0,
                    Failure::Unexpected});
    }
}

// The checksum list: one line per piece in order, then the list file's line.
std::string ChecksumListText(const SetNames& names, const std::vector<Digest>& pieces,
                             const std::vector<std::uint8_t>& record) {
    std::vector<ChecksumLine> lines;
    for (std::int32_t k = 1; k <= names.PieceCount(); ++k) {
        lines.push_back({pieces[static_cast<std::size_t>(k - 1)], io::NameOf(names.Piece(k))});
    }
    Sha256 listHash;
    listHash.Update(record);
    lines.push_back({listHash.Finish(), io::NameOf(names.List())});
    return EncodeChecksumList(lines);
}

void WriteMember(StagedSet& staged, std::size_t member, const std::string& path, const void* bytes,
                 std::size_t size) {
    io::File file = staged.Create(member, path);
    io::WriteAt(file, bytes, size, 0);
    staged.Complete(file);
}

// A source written meanwhile would leave a set that merges into bytes it never held together.
// The change time is not compared: backup and sync tools move it by writing attributes.
void CheckSourceUnchanged(const SplitPlan& plan, const io::File& source) {
    const io::FileInfo now = io::Stat(source);
    if (now.size != plan.source.size || now.modifiedNs != plan.source.modifiedNs ||
        now.id != plan.source.id) {
        Throw(Failure::SourceChanged, source.path());
    }
}

void WriteSet(const SplitPlan& plan, const io::File& source, const Progress& progress,
              std::stop_token stop) {
    const SetNames names(ListFileName(plan.sourcePath), plan.firstNumber, plan.pieceCount);
    const std::string sourceName = io::PathOf(plan.sourcePath);
    const io::Folder folder(io::FolderOf(sourceName), sourceName);
    const std::vector<std::string> paths = names.All();
    // Leftovers of killed splits go first: they would count against the free space.
    StagedSet staged(folder, paths, io::NameOf(sourceName), plan.source,
                     Access::Of(plan.source.mode, io::AccessListOf(source)));

    // Everything that can be known to fail is checked before the first byte is written.
    const long nameLimit = folder.NameLimit();
    // The pieces first, in order, then the list file and its checksum list.
    for (std::size_t i = 1; i < paths.size(); ++i) {
        CheckSetName(plan, folder, nameLimit, staged, i, paths[i]);
    }
    CheckSetName(plan, folder, nameLimit, staged, kChecksumMember, paths[kChecksumMember]);
    // Sources of 2 GiB and more store the largest value SourceLength holds.
    const ListRecord list{static_cast<std::int32_t>(std::min<std::int64_t>(
                              plan.Length(), std::numeric_limits<std::int32_t>::max())),
                          plan.sourcePath, plan.pieceCount, plan.firstNumber};
    const std::vector<std::uint8_t> record = EncodeListRecord(list);
    CheckFreeSpace(plan, names, folder, static_cast<std::int64_t>(record.size()));

    const std::vector<Digest> digests = WriteAllPieces(plan, names, source, staged, progress, stop);
    CheckSourceUnchanged(plan, source);
    const std::string checksums = ChecksumListText(names, digests, record);
    WriteMember(staged, kChecksumMember, names.ChecksumList(), checksums.data(), checksums.size());
    WriteMember(staged, ListMember(plan), names.List(), record.data(), record.size());
    if (stop.stop_requested()) {
        Throw(Failure::Stopped);  // the last chunks may have been written after the last check
    }
    staged.BringIn();
}

}  // namespace

void Split(const std::u16string& sourcePathAsGiven, std::int32_t firstNumber,
           std::int32_t pieceSize, const Progress& progress, std::stop_token stop) {
    const io::FileSizeSignalGuard fileSizeLimitFailsTheWrite;
    // The set is named after the file the path reaches.
    const std::u16string sourcePath = io::AsStored(sourcePathAsGiven);
    const std::string sourceName = io::PathOf(sourcePath);
    const io::File source = io::OpenForReading(sourceName);
    // Held until the split returns, so a second split of the same file cannot mix its pieces
    // with ours, nor remove our temporaries as left by a killed run.
    if (!io::TryLock(source)) {
        Throw(Failure::SourceBeingSplit, sourceName);
    }
    if (pieceSize == std::numeric_limits<std::int32_t>::max()) {
        Throw(Failure::PieceSizeOutOfRange);
    }
    const io::FileInfo info = io::Stat(source);
    if (info.size <= std::int64_t{pieceSize} + 1) {
        Throw(Failure::SourceTooSmall);
    }
    const SplitPlan plan{sourcePath, firstNumber, pieceSize, info,
                         CountPieces(info.size, pieceSize)};
    WriteSet(plan, source, progress, stop);
}

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
        Split(sourcePath, firstNumber, pieceSize, progress, stop);
        return true;
    } catch (...) {
        message = FailureText(std::current_exception());
        return false;
    }
}

}  // namespace Module1
