// SPDX-License-Identifier: GPL-3.0-or-later
// MergeFile and MergeSet: the set a file leads to (SetsToMerge.h) -> its pieces, checked against
// its checksum list or file where it has one -> temporary file -> renamed over the output name.
#include <algorithm>
#include <limits>

#include "Access.h"
#include "FileChecks.h"
#include "FileIo.h"
#include "Formats.h"
#include "Messages.h"
#include "NewFiles.h"
#include "Paths.h"
#include "SetNames.h"
#include "SetsToMerge.h"
#include "Text.h"
#include "Workers.h"

namespace Module1 {
namespace {

// Two workers, a piece each; on a rotational disk one stream spares the head from seeking
// between the places they read and write.
constexpr int kWorkers = 2;

struct MergePlan {
    std::vector<std::string> pieces;
    std::vector<PieceExtent> extents;   // the pieces as they were when the plan was made
    std::vector<std::int64_t> offsets;  // where each piece's data goes in the output
    std::int64_t total = 0;
};

// Every piece checked against its header, in order, before the output is touched.
MergePlan Plan(const SetToMerge& set) {
    MergePlan plan;
    for (const std::string& piece : set.pieces) {
        plan.pieces.push_back(piece);
        plan.extents.push_back(CheckPiece(io::OpenForReading(piece), set.kind));
        plan.offsets.push_back(plan.total);
        plan.total += plan.extents.back().dataLength;
    }
    return plan;
}

// Another split may rename a new set in, or a program write into a piece, while the merge reads
// it: the piece must be the file of the plan, unchanged, before its first byte is read and
// after its last, or the output would hold bytes the piece never held at any one moment.
void CheckPieceAsPlanned(const MergePlan& plan, std::size_t i, const io::File& piece) {
    const io::FileInfo now = io::Stat(piece);
    const PieceExtent& planned = plan.extents[i];
    if (!(now.id == planned.id) || now.size != planned.fileSize ||
        now.modifiedNs != planned.modifiedNs) {
        Throw(Failure::PieceChangedDuringMerge, piece.path());
    }
}

// Copies piece i's data to its place in the output, where there is one, and hashes the piece
// whole, as it lies on disk; throws when the digest is not the one its checksums give. Nothing
// is committed before every piece has been checked, so a mismatch found at a piece's last byte
// still keeps the old output.
void CopyAndCheckPiece(const MergePlan& plan, const Checksums& checksums, std::size_t i,
                       const io::File* output, Worker& worker, ProgressCounter& checked) {
    const io::File piece = io::OpenForReading(plan.pieces[i]);
    CheckPieceAsPlanned(plan, i, piece);
    const PieceExtent& extent = plan.extents[i];
    const ChunkWriter::Settled noWriteOutlivesAFailure(worker.writer);
    FileDigest hash(checksums.kind);
    hash.Update(extent.header, static_cast<std::size_t>(extent.dataOffset));
    if (!output) {  // only checked
        io::ReadRange(piece, extent.dataOffset, extent.dataLength, worker.buffer,
                      [&](const std::uint8_t* bytes, std::size_t size) {
                          worker.CheckGoOn();
                          hash.Update(bytes, size);
                          checked.Add(static_cast<std::int64_t>(size));
                      });
    }
    for (std::int64_t done = 0; output && done < extent.dataLength;) {
        worker.CheckGoOn();
        Chunk& chunk = worker.writer.Take();
        chunk.size =
            static_cast<std::size_t>(std::min<std::int64_t>(extent.dataLength - done, kChunkSize));
        io::ReadAt(piece, chunk.bytes.data(), chunk.size, extent.dataOffset + done);
        hash.Update(chunk.bytes.data(), chunk.size);
        chunk.file = output;
        chunk.offset = plan.offsets[i] + done;
        worker.writer.Submit(chunk);
        done += static_cast<std::int64_t>(chunk.size);
    }
    const std::int64_t dataEnd = extent.dataOffset + extent.dataLength;
    io::ReadRange(piece, dataEnd, extent.fileSize - dataEnd, worker.buffer,
                  [&](const std::uint8_t* bytes, std::size_t size) { hash.Update(bytes, size); });
    CheckPieceAsPlanned(plan, i, piece);
    if (hash.Finish() != checksums.pieces[i]) {
        ThrowChecksumFailure(Failure::PieceMismatch, piece.path(), checksums.path);
    }
}

// Where the merged file finally goes: a symbolic link is followed, so the file it points to
// is replaced and the link stays. A link to nothing is refused rather than guessed at.
std::string ResolveTarget(const std::string& output) {
    const std::optional<io::FileInfo> link = io::LinkStat(output);
    if (!link || link->kind != io::Kind::Link) {
        return output;
    }
    // Only a link of the user's own, or of the folder's owner, is followed: in a folder others
    // may write in, a link they plant must not aim the merge at a file of the user's elsewhere.
    if (!io::OwnedByCaller(link->owner)) {
        const std::optional<io::FileInfo> folder = io::StatIfPresent(io::FolderOf(output));
        if (!folder || link->owner != folder->owner) {
            Throw(Failure::OtherUsersLinkAsOutput, output);
        }
    }
    if (!io::StatIfPresent(output)) {
        Throw(Failure::DanglingLink, output);
    }
    return io::Resolve(output);
}

bool SameFile(const io::FileInfo& a, const std::string& path) {
    const std::optional<io::FileInfo> b = io::StatIfPresent(path);
    return b && a.id == b->id;
}

// True when name is one of the files of a list file's set: by its words once its folder is
// resolved, or, where it exists, because it reaches one of them another way (a link or a hard
// link).
bool NamesMember(const SetNames& names, const std::string& name) {
    const std::string candidate = io::WithResolvedFolder(name);
    if (io::SameNameOnDisk(candidate, io::WithResolvedFolder(names.List())) ||
        io::SameNameOnDisk(candidate, io::WithResolvedFolder(names.ChecksumList()))) {
        return true;
    }
    const std::string firstPiece = io::WithResolvedFolder(names.Piece(1));
    if (io::SameNameOnDisk(io::FolderOf(candidate), io::FolderOf(firstPiece)) &&
        names.MemberOf(io::NameOf(candidate)).index != 0) {
        return true;
    }
    const std::optional<io::FileInfo> target = io::StatIfPresent(name);
    if (!target) {
        return false;
    }
    if (SameFile(*target, names.List()) || SameFile(*target, names.ChecksumList())) {
        return true;
    }
    for (std::int32_t k = 1; k <= names.PieceCount(); ++k) {
        if (SameFile(*target, names.Piece(k))) {
            return true;
        }
    }
    return false;
}

// True when name is one of the set's files, as NamesMember says it for a list file's set.
bool NamesFileOf(const SetToMerge& set, const std::string& name) {
    if (set.names) {
        return NamesMember(*set.names, name);
    }
    const std::string candidate = io::WithResolvedFolder(name);
    const std::optional<io::FileInfo> target = io::StatIfPresent(name);
    for (const std::vector<std::string>* files : {&set.ownFiles, &set.pieces}) {
        for (const std::string& file : *files) {
            if (io::SameNameOnDisk(candidate, io::WithResolvedFolder(file)) ||
                (target && SameFile(*target, file))) {
                return true;
            }
        }
    }
    return false;
}

// Reads every piece, hashes it and, where there is an output, writes its data there: by two
// workers, a piece each, where the set has checksums; copied by the kernel where it has none.
void JoinPieces(const MergePlan& plan, const std::optional<Checksums>& checksums,
                const io::File* output, const Progress& progress, std::stop_token stop) {
    ProgressCounter counter(progress, plan.total);
    // Writing back while copying overlaps the disk's work with ours, so the final flush waits
    // for little more than the last chunk.
    auto written = [&](const io::File& file, std::int64_t offset, std::int64_t bytes) {
        io::StartWriteback(file, offset, bytes);
        counter.Add(bytes);
    };
    if (checksums) {
        const int workers = output && io::OnRotationalDisk(*output) ? 1 : kWorkers;
        ForEachPiece(
            static_cast<std::int32_t>(plan.pieces.size()), workers, written,
            [&](std::int32_t k, Worker& worker) {
                CopyAndCheckPiece(plan, *checksums, static_cast<std::size_t>(k - 1), output, worker,
                                  counter);
            },
            stop);
        return;
    }
    io::Copier copier;
    for (std::size_t i = 0; i < plan.pieces.size(); ++i) {
        const io::File piece = io::OpenForReading(plan.pieces[i]);
        CheckPieceAsPlanned(plan, i, piece);
        std::int64_t at = plan.offsets[i];
        copier.Copy(piece, plan.extents[i].dataOffset, *output, at, plan.extents[i].dataLength,
                    [&](std::int64_t bytes) {
                        written(*output, at, bytes);
                        at += bytes;
                        if (stop.stop_requested()) {
                            Throw(Failure::Stopped);
                        }
                    });
        CheckPieceAsPlanned(plan, i, piece);
    }
}

// Whose access a new output takes: the list file's, else the first piece's.
Access AccessOfSet(const SetToMerge& set, const io::FileInfo& like) {
    if (set.list) {
        return Access::Of(like.mode, io::AccessListOf(set.list->file));
    }
    return Access::Of(like.mode, io::AccessListAt(set.pieces.front()));
}

// Finds the set and makes its plan, checking everything that can be checked before a byte is
// read for the output: the pieces there, their checksums, their headers and lengths.
struct ReadySet {
    SetToMerge set;
    std::optional<Checksums> checksums;
    MergePlan plan;
};

ReadySet Ready(SetToMerge set, const std::function<void(const SetToMerge&)>& beforeTheChecksums) {
    beforeTheChecksums(set);
    std::optional<Checksums> checksums = set.checksums;
    if (set.kind == SetToMerge::Kind::ListFile) {
        checksums = ReadListChecksums(set);
        if (checksums) {
            CheckListFile(*set.list, *checksums);
        }
        CheckNoPieceMissing(*set.names);
    }
    MergePlan plan = Plan(set);
    CheckSetLength(set, plan.extents, plan.total, checksums.has_value());
    return {std::move(set), std::move(checksums), std::move(plan)};
}

}  // namespace

bool NamesFileOfSet(const std::u16string& listPathAsGiven, const std::u16string& nameAsGiven) {
    try {
        const std::u16string listPath = io::AsStored(listPathAsGiven);
        const std::string listFile = io::PathOf(listPath);
        const std::string name = io::PathOf(io::AsStored(nameAsGiven));
        const std::string candidate = io::WithResolvedFolder(name);
        // The list file and its checksum list by their words, even when the list is unreadable.
        if (io::SameNameOnDisk(candidate, io::WithResolvedFolder(listFile)) ||
            io::SameNameOnDisk(candidate,
                               io::WithResolvedFolder(text::ToUtf8(ChecksumListName(listPath))))) {
            return true;
        }
        return NamesFileOf(FindSet(listPath), name);
    } catch (const std::exception&) {
        return false;
    }
}

bool MergeFile(const std::u16string& listPath, const std::u16string& outputName) {
    return MergeFile(listPath, outputName, Progress{});
}

bool MergeFile(const std::u16string& listPath, const std::u16string& outputName,
               const Progress& progress) {
    return MergeFile(listPath, outputName, progress, {});
}

bool MergeFile(const std::u16string& listPath, const std::u16string& outputName,
               const Progress& progress, std::stop_token stop) {
    MergeSet(listPath, outputName, progress, stop);
    return true;
}

MergeReport MergeSet(const std::u16string& pathAsGiven, const std::u16string& outputName,
                     const Progress& progress, std::stop_token stop) {
    const io::FileSizeSignalGuard fileSizeLimitFailsTheWrite;
    // The names checked below are the names written.
    const std::u16string path = io::AsStored(pathAsGiven);
    const std::string output = io::PathOf(io::AsStored(outputName));
    io::CheckNameAllowed(output);
    const ReadySet ready = Ready(FindSet(path), [&](const SetToMerge& set) {
        if (output.empty() || io::NameOf(output).empty()) {
            Throw(Failure::BadOutputName, output);
        }
        // Whoever calls, a merge never writes over its own input.
        if (NamesFileOf(set, output)) {
            Throw(Failure::OutputInSet, output);
        }
    });

    const std::string target = ResolveTarget(output);
    const std::optional<io::FileInfo> there = io::StatIfPresent(target);
    if (there && there->kind == io::Kind::Directory) {
        Throw(Failure::OutputIsFolder, output);
    }
    io::CheckRegularOrAbsent(target);
    // Where only owners may remove files, another user's file keeps its owner when replaced:
    // the merged data would become hers.
    if (there && !io::OwnedByCaller(there->owner)) {
        const std::optional<io::FileInfo> folder = io::StatIfPresent(io::FolderOf(target));
        if (folder && (folder->mode & io::kStickyBit) != 0) {
            Throw(Failure::OtherUsersOutput, output);
        }
    }

    // A new output is as private as the list file, or the first piece where there is none.
    const io::FileInfo like =
        ready.set.list ? ready.set.list->info : io::Stat(io::OpenForReading(ready.plan.pieces[0]));
    Replacement replacement(target, output, like, AccessOfSet(ready.set, like));
    replacement.folder().CheckReplaceable(io::NameOf(target));
    if (ready.plan.total > replacement.folder().LargestFile()) {
        Throw(Failure::TooLargeForFileSystem, output);
    }
    JoinPieces(ready.plan, ready.checksums, &replacement.file(), progress, stop);
    if (stop.stop_requested()) {
        Throw(Failure::Stopped);  // the last chunks may have been written after the last check
    }
    replacement.Commit(stop);
    return {static_cast<std::int32_t>(ready.plan.pieces.size()), ready.checksums.has_value()};
}

MergeReport VerifySet(const std::u16string& pathAsGiven, const Progress& progress,
                      std::stop_token stop) {
    const std::u16string path = io::AsStored(pathAsGiven);
    const ReadySet ready = Ready(FindSet(path), [](const SetToMerge&) {});
    if (!ready.checksums) {
        Throw(Failure::NothingToCheck, io::PathOf(path));
    }
    JoinPieces(ready.plan, ready.checksums, nullptr, progress, stop);
    if (stop.stop_requested()) {
        Throw(Failure::Stopped);
    }
    return {static_cast<std::int32_t>(ready.plan.pieces.size()), true};
}

}  // namespace Module1
