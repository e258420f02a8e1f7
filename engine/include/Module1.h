// SPDX-License-Identifier: GPL-3.0-or-later
// The file splitting engine.
//
//   split:  source P (locked)  ->  pieces P.00, P.001, P.002, ..., checksum list P.FLF.sha256
//           and list file P.FLF, each written under a temporary name beside its own  ->  renamed
//           in together once all are written, the list file last
//   merge:  list file Q  ->  pieces (Q less its last four characters) + ".00", ...,
//           checked against Q.sha256 where it exists  ->  temporary file beside the output
//           ->  renamed over the output name; or, without a list file, any piece of ours, or
//           any file of a numbered set another splitter wrote (X.001, X.002, …)  ->  the
//           pieces its name and the files beside it lead to  ->  the same
//
// Both operations stream: piece data goes from file to file through the kernel's copy or a few
// chunks of 4 MiB per worker, so memory does not grow with the file. Paths are UTF-16 in memory and
// UTF-8 to the file system seam; the only text stored in a file is the list file's source path,
// in code page 936.
//
// This header is what callers use. The byte layouts live in Formats.h, the file system seam in
// FileIo.h (with a POSIX and a Win32 twin), the staging of new files in NewFiles.h and the
// user-facing texts in Messages.h, all private to the engine and its tests.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

namespace Module1 {

// Every failure the engine reports, by what it means to the user; Messages.cpp holds the Chinese
// text of each.
enum class Failure {
    // The system's errors, by what they mean to the user.
    FileNotFound,
    PathNotFound,
    AccessDenied,
    WriteProtected,
    DiskFull,
    FileTooLarge,
    OutOfMemory,
    PathAccess,
    NameTooLong,
    FileExists,
    TooManyOpenFiles,
    FileInUse,
    Interrupted,
    Overflow,
    DeviceIo,
    // What Windows says of its own.
    FileInUseByOther,
    ReadOnlyFile,
    PathTooLong,
    InvalidName,
    // Names and kinds of files.
    NulInName,
    ReservedName,
    NotRegularFile,
    DanglingLink,
    FolderNotWritable,
    // The file formats.
    PastEndOfFile,
    NotAPiece,
    PieceNumberOutOfRange,
    ListNameTooShort,
    SourcePathTooLong,
    ListPieceCountBroken,  // with the count it holds
    NotAListFile,
    PiecesMissing,
    // Splitting.
    SourceTooSmall,
    PieceSizeZero,
    TooManyPieces,
    PieceSizeNotPositive,
    PieceSizeOutOfRange,
    // Splitting while another split of the same file runs.
    SourceBeingSplit,
    // What stands at the names a split is to write, and what the split finds meanwhile.
    SetNameIsSource,
    OtherUsersFile,
    NotEnoughSpace,  // with what is needed and what is free
    SourceChanged,
    SetIncomplete,
    // Merging.
    BadOutputName,
    OutputIsFolder,
    TooLargeForFileSystem,
    OutputInSet,
    OtherUsersLinkAsOutput,
    OtherUsersOutput,
    PieceChangedDuringMerge,
    SetLengthMismatch,  // with the two lengths
    // Checking a set against its checksum list.
    PieceMismatch,
    ListFileMismatch,
    PieceNotCovered,
    PieceListedTwice,
    ChecksumListUnreadable,
    // The caller asked the operation to stop; no box shows it.
    Stopped,
    // A system error the catalogue has no words for, with its number.
    SystemError,
    // Anything the engine did not foresee, with what the library said.
    Unexpected,
    // Sets found without a list file, and checking a set without merging it.
    NotOneSplit,
    NothingToCheck,
};

// A failure of the engine, in parts: what failed, the files it concerns (UTF-8, as the caller
// named them), words that belong to the description (numbers, the system's reason), and what the
// user can do. what() is the text the user sees, in UTF-8, as FailureText gives it.
class EngineError : public std::runtime_error {
  public:
    // A path may have a label, a line of its own above it ("校验文件："); labels may be empty.
    struct File {
        std::string label;
        std::string path;
    };
    EngineError(Failure failure, std::vector<File> files, std::string detail, std::string advice);

    Failure failure() const noexcept { return failure_; }
    std::vector<std::string> paths() const;
    const std::vector<File>& files() const noexcept { return files_; }
    const std::string& detail() const noexcept { return detail_; }
    const std::string& advice() const noexcept { return advice_; }

  private:
    Failure failure_;
    std::vector<File> files_;
    std::string detail_;
    std::string advice_;
};

// The text the user sees for any failure, its lines joined by carriage returns as a message box
// takes them: the description (and its detail), then every path on a line of its own in “ ”
// quotes, so that leading and trailing spaces show, then what the user can do. For running out
// of memory and for anything the engine did not foresee it is a Chinese description too.
std::u16string FailureText(const std::exception_ptr& failure);

// One piece in memory. On disk: a 10-byte buffer descriptor (dimension count 1, element
// count c, lower bound 1), the c data bytes, then Length repeating c.
struct PieceRecord {
    std::vector<std::uint8_t> Data;
    std::int32_t Length = 0;
};

// The list file's record.
struct ListRecord {
    std::int32_t SourceLength = 0;
    std::u16string SourcePath;
    std::int16_t PieceCount = 0;
    std::int32_t FirstNumber = 0;
};

// Formats a piece number with the pattern "00#": 0 -> "00", 1 -> "001", 1000 -> "1000",
// -5 -> "-005".
std::u16string FormatPieceNumber(std::int32_t number);

// Name of piece k (counting from 1) of a set whose first piece bears firstNumber:
// base + "." + FormatPieceNumber(firstNumber + k - 1). Throws EngineError on overflow.
std::u16string PieceName(const std::u16string& base, std::int32_t firstNumber, std::int32_t k);

// Name of the list file of a source: P + ".FLF".
std::u16string ListFileName(const std::u16string& sourcePath);

// Name of the checksum list of a set: the list file's name + ".sha256". It holds the SHA-256
// of every piece and of the list file in GNU sha256sum's format.
std::u16string ChecksumListName(const std::u16string& listPath);

// Base from which a reader finds the pieces: the list path less its last four UTF-16 units.
// Throws EngineError when the path is shorter than four units.
std::u16string PieceBase(const std::u16string& listPath);

// Reports bytes done out of bytes in all while an operation runs; may be empty.
using Progress = std::function<void(std::int64_t done, std::int64_t total)>;

// Cuts the file at sourcePath into pieces of pieceSize bytes and writes the list file.
// Returns false with message set to the reason when it fails; message is untouched on success.
bool SplitFile(const std::u16string& sourcePath, std::int32_t firstNumber, std::u16string& message,
               std::int32_t pieceSize);
bool SplitFile(const std::u16string& sourcePath, std::int32_t firstNumber, std::u16string& message,
               std::int32_t pieceSize, const Progress& progress);
// As above; a stop request ends the split within a chunk, leaving nothing of this run, unless
// the split is already bringing its set in (then it finishes). A stopped split returns false
// with the text of Failure::Stopped, which no caller need show.
bool SplitFile(const std::u16string& sourcePath, std::int32_t firstNumber, std::u16string& message,
               std::int32_t pieceSize, const Progress& progress, std::stop_token stop);

// Joins the pieces named by the list file into outputName. Returns true; every failure is
// thrown as EngineError, and then a file already at outputName is left exactly as it was.
bool MergeFile(const std::u16string& listPath, const std::u16string& outputName);
bool MergeFile(const std::u16string& listPath, const std::u16string& outputName,
               const Progress& progress);
// As above; a stop request ends the merge within a chunk with an EngineError, the old output
// left as it was and no temporary file.
bool MergeFile(const std::u16string& listPath, const std::u16string& outputName,
               const Progress& progress, std::stop_token stop);

// True when name is the list file itself, its checksum list or one of the piece files it
// implies, also by way of a link, so that a merge into it would replace its own input. False
// when the list file cannot be read.
bool NamesFileOfSet(const std::u16string& listPath, const std::u16string& name);

// What a merge did: how many pieces it joined, and whether a checksum list or file checked them
// (a numbered set of another splitter may have none).
struct MergeReport {
    std::int32_t pieces = 0;
    bool checked = false;
};

// As MergeFile, from any file that leads to a set: a list file; any piece of a set of ours
// whose list file is lost (X.00, X.001, …), found with its set by the names beside it and
// checked against X.FLF.sha256 where it survived; or any file of a numbered set another
// splitter wrote (X.001, X.002, … of raw bytes, as 7-Zip's volumes and `split` write them),
// joined in the order of its numbers and checked against X.sfv, X.md5, X.sha256, MD5SUMS or
// SHA256SUMS where one of them names the pieces. A missing number is named.
MergeReport MergeSet(const std::u16string& path, const std::u16string& outputName,
                     const Progress& progress = {}, std::stop_token stop = {});
// Checks the set that path leads to, as MergeSet finds it, against its checksum list or file,
// writing nothing; fails as MergeSet does, and with Failure::NothingToCheck where nothing can
// check the set.
MergeReport VerifySet(const std::u16string& path, const Progress& progress = {},
                      std::stop_token stop = {});

// What a file leads a merge to, judged by its name, its first bytes and the list file beside:
// a list file; a piece of a set whose list file is there (mergeFrom is then that list file); a
// piece of ours whose list file is lost; a file of a numbered set; or none of these. output is
// the name proposed for the merged file: the list file's name less its last four characters,
// or the pieces' name less their number. Never throws.
enum class SetFileKind { None, ListFile, PieceOfSet, PieceWithoutListFile, NumberedFile };
struct SetFile {
    SetFileKind kind = SetFileKind::None;
    std::u16string mergeFrom;
    std::u16string output;
};
SetFile WhatSetFileIs(const std::u16string& path);

// What a merge's outcome adds to saying it is done, as report tells it: that nothing could
// check the pieces, and how many were joined. Empty when every piece was checked.
std::u16string ReportText(const MergeReport& report);

}  // namespace Module1
