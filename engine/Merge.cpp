// SPDX-License-Identifier: GPL-3.0-or-later
// MergeFile: list file -> pieces, checked against the set's checksum list where it has one
// -> temporary file -> renamed over the output name.
#include <algorithm>
#include <limits>
#include <span>

#include "Access.h"
#include "FileChecks.h"
#include "FileIo.h"
#include "Formats.h"
#include "Messages.h"
#include "NewFiles.h"
#include "Paths.h"
#include "SetNames.h"
#include "Sha256.h"
#include "Text.h"
#include "Workers.h"

namespace Module1 {
namespace {

constexpr std::size_t kLargestListRecord = kListFixedSize + 0xFFFF;
// Two workers, a piece each; on a rotational disk one stream spares the head from seeking
// between the places they read and write.
constexpr int kWorkers = 2;

struct ListFile {
    ListRecord record;
    io::FileInfo info;
    io::File file;  // kept open, so that the file checked is the file read
};

// The list file of a set whose piece this file at path is, judged by its name (ending in a piece
// number) and its first bytes (a piece's buffer descriptor that fits the file); empty otherwise.
std::optional<std::string> ListFileOfPiece(const std::string& path,
                                           std::span<const std::uint8_t> bytes, std::int64_t size) {
    const std::size_t dot = path.find_last_of('.');
    const std::string number = dot == std::string::npos ? "" : path.substr(dot + 1);
    if (number.empty() || number.find_first_not_of("-0123456789") != std::string::npos ||
        io::NameOf(path).size() <= number.size() + 1 ||
        bytes.size() < static_cast<std::size_t>(kDescriptorSize)) {
        return std::nullopt;
    }
    const BufferDescriptor descriptor = DecodeDescriptor(bytes);
    if (descriptor.DimensionCount != 1 || descriptor.LowerBound != 1 ||
        size < kDescriptorSize + descriptor.ElementCount + kTrailerSize) {
        return std::nullopt;
    }
    return path.substr(0, dot) + ".FLF";
}

// What a split writes: a record a reader can take whole, at least one piece, a length that is
// not negative and a source path of text, which no path holds NUL in and which a split stores in
// code page 936 whole (a character it cannot hold becomes "?"). Stale bytes after the record
// prove nothing: a list file written over a longer one keeps them.
bool LooksLikeAListRecord(const ListRecord& list) {
    return list.PieceCount >= 1 && list.SourceLength >= 0 &&
           std::none_of(list.SourcePath.begin(), list.SourcePath.end(),
                        [](char16_t c) { return c == 0 || c == 0xFFFD; });
}

// Refuses a file that is no list file, saying what to pick instead: a piece's own list file, or
// the list file beside a file that was split.
[[noreturn]] void ThrowNotAListFile(const std::string& path, std::span<const std::uint8_t> bytes,
                                    std::int64_t size) {
    Fault fault{Failure::NotAListFile, {{Role::Named, path, 0}}, {}, 0, Failure::Unexpected};
    if (const std::optional<std::string> list = ListFileOfPiece(path, bytes, size)) {
        fault.files.push_back({Role::ListOfPiece, *list, 0});
    } else if (const std::string beside = text::ToUtf8(ListFileName(text::FromUtf8(path)));
               io::StatIfPresent(beside)) {
        fault.files.push_back({Role::ListBeside, beside, 0});
    }
    Throw(fault);
}

ListFile ReadListFile(const std::string& path) {
    io::File file = io::OpenForReading(path);
    const io::FileInfo info = io::Stat(file);
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min<std::int64_t>(info.size, kLargestListRecord)));
    io::ReadAt(file, bytes.data(), bytes.size(), 0);
    if (ListFileOfPiece(path, bytes, info.size)) {
        ThrowNotAListFile(path, bytes, info.size);
    }
    ListRecord record;
    try {
        record = DecodeListRecord(bytes, path);
    } catch (const EngineError&) {
        ThrowNotAListFile(path, bytes, info.size);
    }
    if (!LooksLikeAListRecord(record)) {
        ThrowNotAListFile(path, bytes, info.size);
    }
    return {record, info, std::move(file)};
}

// A piece file checked against its own header: which file it is, its size and last change, and
// the data length the header gives.
struct PieceExtent {
    io::FileId id;
    std::int64_t fileSize = 0;
    std::int64_t modifiedNs = 0;
    std::uint32_t dataLength = 0;
    std::uint8_t header[kDescriptorSize] = {};
};

PieceExtent CheckPiece(const io::File& piece) {
    PieceExtent extent;
    const io::FileInfo info = io::Stat(piece);
    extent.id = info.id;
    extent.fileSize = info.size;
    extent.modifiedNs = info.modifiedNs;
    if (extent.fileSize >= kDescriptorSize) {
        io::ReadAt(piece, extent.header, sizeof extent.header, 0);
    }
    extent.dataLength = CheckPieceHeader(extent.header, extent.fileSize, piece.path());
    return extent;
}

struct MergePlan {
    std::vector<std::string> pieces;
    std::vector<PieceExtent> extents;   // the pieces as they were when the plan was made
    std::vector<std::int64_t> offsets;  // where each piece's data goes in the output
    std::int64_t total = 0;
};

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

// Names every piece of the set that is not there at all, before any is read, and says what to do.
void CheckNoPieceMissing(const SetNames& names) {
    Fault fault{Failure::PiecesMissing, {}, {names.PieceCount(), 0}, 0, Failure::Unexpected};
    for (std::int32_t k = 1; k <= names.PieceCount(); ++k) {
        if (const std::string piece = names.Piece(k); !io::StatIfPresent(piece)) {
            fault.files.push_back({Role::MissingPiece, piece, k});
        }
    }
    if (!fault.files.empty()) {
        fault.numbers[1] = static_cast<std::int64_t>(fault.files.size());
        Throw(fault);
    }
}

// Every split cuts pieces of one size and a last one of at least a byte and at most that.
bool HasTheShapeOfASplit(const MergePlan& plan) {
    const std::uint32_t size = plan.extents.front().dataLength;
    return std::all_of(plan.extents.begin(), plan.extents.end() - 1,
                       [&](const PieceExtent& piece) { return piece.dataLength == size; }) &&
           plan.extents.back().dataLength >= 1 && plan.extents.back().dataLength <= size;
}

// The pieces' data must add up to the source's length as the list file records it: pieces of
// another split, or a split that failed halfway, would otherwise merge into a wrong file. A
// source of 2 GiB and more records the largest value the field holds; then the pieces must
// hold at least that much and have the shape of one split.
void CheckSetLength(const ListRecord& list, const MergePlan& plan, const std::string& listFile) {
    constexpr std::int32_t kSaturated = std::numeric_limits<std::int32_t>::max();
    if (list.SourceLength < kSaturated ? plan.total != list.SourceLength
                                       : plan.total < kSaturated || !HasTheShapeOfASplit(plan)) {
        Throw(Fault{Failure::SetLengthMismatch,
                    {{Role::Named, listFile, 0}},
                    {plan.total, list.SourceLength},
                    0,
                    Failure::Unexpected});
    }
}

// A piece or list file that its set's checksum list does not vouch for.
[[noreturn]] void ThrowChecksumFailure(Failure failure, const std::string& file,
                                       const std::string& checksumList) {
    Throw(Fault{failure,
                {{Role::Named, file, 0}, {Role::ChecksumList, checksumList, 0}},
                {},
                0,
                Failure::Unexpected});
}

// What a set's checksum list says: a digest for each piece, in order, and for the list file.
struct Checksums {
    std::string path;
    std::vector<Digest> pieces;
    Digest listFile{};
};

// The name a checksum list gives, without the folders before it ("./" included).
std::string_view LastElement(std::string_view name, std::string_view separators) {
    const std::size_t end = name.find_last_of(separators);
    return end == std::string_view::npos ? name : name.substr(end + 1);
}

SetNames::Member MemberOf(const SetNames& names, std::string_view name) {
    const SetNames::Member member = names.MemberOf(LastElement(name, "/"));
    // A list made on Windows may separate folders with backslashes.
    return member.index != 0 ? member : names.MemberOf(LastElement(name, "/\\"));
}

// What a checksum list says of one file of the set: its lines with the file's exact name, and
// with the same name but for case.
struct Found {
    int exact = 0;
    int loose = 0;
    Digest exactDigest{};
    Digest looseDigest{};
};

// A line as matching by position needs it: its digest and the end of its name's last element.
struct PositionalLine {
    Digest digest{};
    std::string end;  // the last 16 bytes at most, which hold any piece number
};

// Lines that name the set's own files are matched by name, in any order; lines naming other
// files (the source, say) are ignored. Each file needs exactly one line: an exact name wins over
// one that differs only in case.
Checksums MatchByName(const SetNames& names, const std::vector<Found>& found,
                      const std::string& path) {
    Checksums checksums{path, {}, {}};
    for (std::size_t file = 0; file < found.size(); ++file) {
        const Found& f = found[file];
        const int count = f.exact > 0 ? f.exact : f.loose;
        const std::string name = file + 1 < found.size()
                                     ? names.Piece(static_cast<std::int32_t>(file + 1))
                                     : names.List();
        if (count != 1) {
            ThrowChecksumFailure(count == 0 ? Failure::PieceNotCovered : Failure::PieceListedTwice,
                                 name, path);
        }
        const Digest& digest = f.exact > 0 ? f.exactDigest : f.looseDigest;
        if (file + 1 < found.size()) {
            checksums.pieces.push_back(digest);
        } else {
            checksums.listFile = digest;
        }
    }
    return checksums;
}

// A set renamed as a whole keeps lines under its old names: they are matched by position, the
// pieces in order by their numbers, then the list file. lines holds the list's first lines, of
// lineCount in all.
Checksums MatchByPosition(const SetNames& names, const std::vector<PositionalLine>& lines,
                          std::size_t lineCount, const std::string& path) {
    Checksums checksums{path, {}, {}};
    for (std::int32_t k = 1; k <= names.PieceCount(); ++k) {
        const std::string piece = names.Piece(k);
        const auto line = static_cast<std::size_t>(k - 1);
        if (line >= lines.size() ||
            !lines[line].end.ends_with(piece.substr(piece.find_last_of('.')))) {
            ThrowChecksumFailure(Failure::PieceNotCovered, piece, path);
        }
        checksums.pieces.push_back(lines[line].digest);
    }
    const std::string_view last =
        lineCount == checksums.pieces.size() + 1 ? std::string_view(lines.back().end) : "";
    if (last.size() < 4 || !io::SameNameIgnoringCase(last.substr(last.size() - 4), ".FLF")) {
        ThrowChecksumFailure(Failure::PieceNotCovered, names.List(), path);
    }
    checksums.listFile = lines.back().digest;
    return checksums;
}

// Reads the checksum list beside the list file; empty when there is none, as with sets written
// without one. A link standing there that leads nowhere is no absent list: the merge fails. The
// list is read as a stream, so a list of any length, extra lines included, takes little memory.
std::optional<Checksums> ReadChecksums(const SetNames& names) {
    const std::string& path = names.ChecksumList();
    const std::optional<io::FileInfo> there = io::LinkStat(path);
    if (!there) {
        return std::nullopt;
    }
    if (there->kind == io::Kind::Link && !io::StatIfPresent(path)) {
        Throw(Failure::ChecksumListUnreadable, path);
    }
    const io::File file = io::OpenForReading(path);
    const auto files = static_cast<std::size_t>(names.PieceCount()) + 1;
    std::vector<Found> found(files);
    std::vector<PositionalLine> firstLines;
    std::size_t lineCount = 0;
    bool namesTheSet = false;
    ChecksumListReader reader([&](ChecksumLine&& line) {
        ++lineCount;
        const SetNames::Member member = MemberOf(names, line.name);
        if (member.index != 0) {
            namesTheSet = true;
            Found& f = found[static_cast<std::size_t>(member.index - 1)];
            (member.exact ? f.exactDigest : f.looseDigest) = line.digest;
            ++(member.exact ? f.exact : f.loose);
        }
        if (firstLines.size() <= files) {
            const std::string_view element = LastElement(line.name, "/\\");
            firstLines.push_back(
                {line.digest, std::string(element.substr(
                                  element.size() - std::min<std::size_t>(element.size(), 16)))});
        }
    });
    std::vector<std::uint8_t> buffer(64 << 10);
    io::ReadRange(file, 0, io::Stat(file).size, buffer,
                  [&](const std::uint8_t* bytes, std::size_t size) {
                      if (!reader.Feed({reinterpret_cast<const char*>(bytes), size})) {
                          Throw(Failure::ChecksumListUnreadable, path);
                      }
                  });
    if (!reader.Finish()) {
        Throw(Failure::ChecksumListUnreadable, path);
    }
    return namesTheSet ? MatchByName(names, found, path)
                       : MatchByPosition(names, firstLines, lineCount, path);
}

void CheckListFile(const ListFile& list, const std::string& listFile, const Checksums& checksums) {
    const io::File& file = list.file;
    Sha256 hash;
    std::vector<std::uint8_t> buffer(64 << 10);
    io::ReadRange(file, 0, io::Stat(file).size, buffer,
                  [&](const std::uint8_t* bytes, std::size_t size) { hash.Update(bytes, size); });
    if (hash.Finish() != checksums.listFile) {
        ThrowChecksumFailure(Failure::ListFileMismatch, listFile, checksums.path);
    }
}

// Copies piece i's data to its place in the output and hashes the piece whole, as it lies on
// disk; throws when the digest is not the one in the checksum list. Nothing is committed before
// every piece has been checked, so a mismatch found at a piece's last byte still keeps the
// old output.
void CopyAndCheckPiece(const MergePlan& plan, const Checksums& checksums, std::size_t i,
                       const io::File& output, Worker& worker) {
    const io::File piece = io::OpenForReading(plan.pieces[i]);
    CheckPieceAsPlanned(plan, i, piece);
    const PieceExtent& extent = plan.extents[i];
    const ChunkWriter::Settled noWriteOutlivesAFailure(worker.writer);
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

// True when name is one of the set's files: by its words once its folder is resolved, or,
// where it exists, because it reaches one of them another way (a link or a hard link).
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
        CheckPieceAsPlanned(plan, i, piece);
        std::int64_t at = plan.offsets[i];
        copier.Copy(piece, kDescriptorSize, output, at, plan.extents[i].dataLength,
                    [&](std::int64_t bytes) {
                        written(output, at, bytes);
                        at += bytes;
                        if (stop.stop_requested()) {
                            Throw(Failure::Stopped);
                        }
                    });
        CheckPieceAsPlanned(plan, i, piece);
    }
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
        const ListRecord list = ReadListFile(listFile).record;
        return NamesMember(SetNames(listPath, list.FirstNumber, list.PieceCount), name);
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

bool MergeFile(const std::u16string& listPathAsGiven, const std::u16string& outputName,
               const Progress& progress, std::stop_token stop) {
    const io::FileSizeSignalGuard fileSizeLimitFailsTheWrite;
    // The names checked below are the names written.
    const std::u16string listPath = io::AsStored(listPathAsGiven);
    const std::string output = io::PathOf(io::AsStored(outputName));
    io::CheckNameAllowed(output);
    const std::string listFile = io::PathOf(listPath);
    const ListFile list = ReadListFile(listFile);
    const SetNames names(listPath, list.record.FirstNumber, list.record.PieceCount);
    if (output.empty() || io::NameOf(output).empty()) {
        Throw(Failure::BadOutputName, output);
    }
    // Whoever calls, a merge never writes over its own input.
    if (NamesMember(names, output)) {
        Throw(Failure::OutputInSet, output);
    }
    const std::optional<Checksums> checksums = ReadChecksums(names);
    if (checksums) {
        CheckListFile(list, listFile, *checksums);
    }

    // Every piece is checked before the output is touched.
    CheckNoPieceMissing(names);
    MergePlan plan;
    for (std::int32_t k = 1; k <= names.PieceCount(); ++k) {
        plan.pieces.push_back(names.Piece(k));
        plan.extents.push_back(CheckPiece(io::OpenForReading(plan.pieces.back())));
        plan.offsets.push_back(plan.total);
        plan.total += plan.extents.back().dataLength;
    }
    CheckSetLength(list.record, plan, listFile);

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

    Replacement replacement(target, output, list.info,
                            Access::Of(list.info.mode, io::AccessListOf(list.file)));
    replacement.folder().CheckReplaceable(io::NameOf(target));
    if (plan.total > replacement.folder().LargestFile()) {
        Throw(Failure::TooLargeForFileSystem, output);
    }
    WritePieces(plan, checksums, replacement.file(), progress, stop);
    if (stop.stop_requested()) {
        Throw(Failure::Stopped);  // the last chunks may have been written after the last check
    }
    replacement.Commit(stop);
    return true;
}

}  // namespace Module1
