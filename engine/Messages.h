// SPDX-License-Identifier: GPL-3.0-or-later
// The one catalogue of what the engine tells the user. Every failure it can report is a named
// value here with its Chinese text, and so is every system error number it meets; the rest of
// the engine throws these values and never spells a message itself.
#pragma once

#include <cstdint>
#include <string>

namespace Module1 {

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
    ListPieceCountBroken,  // followed by the count it holds
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
    NotEnoughSpace,  // followed by what is needed and what is free
    SourceChanged,
    SetIncomplete,
    // Merging.
    BadOutputName,
    OutputInSet,
    PieceChangedDuringMerge,
    SetLengthMismatch,  // followed by the two lengths
    // Checking a set against its checksum list.
    PieceMismatch,
    ListFileMismatch,
    PieceNotCovered,
    PieceListedTwice,
    ChecksumListUnreadable,
    // The caller asked the operation to stop; no box shows it.
    Stopped,
    // Anything the engine did not foresee; followed by what the library said.
    Unexpected,
};

// The Chinese text of a failure, in UTF-8.
std::string Text(Failure failure);

// The Chinese text of a system error number, e.g. ENOENT -> "文件未找到".
std::string SystemErrorText(int error);

// The set-length failure with the two lengths that disagree.
std::string SetLengthMismatchText(std::int64_t pieces, std::int64_t recorded);

// The free-space refusal of a split: what it needs, what is free, and whether removing the
// older set at the same names would make room.
std::string NotEnoughSpaceText(std::int64_t needed, std::int64_t available, bool olderSetThere);

// "<failure>：<file>（校验文件：<checksum list>）" followed by what the user can do about it.
std::string ChecksumFailureText(Failure failure, const std::string& file,
                                const std::string& checksumList);

// Throws EngineError with "text：path", or the text alone when path is empty.
[[noreturn]] void Throw(Failure failure, const std::string& path = {});
[[noreturn]] void ThrowText(const std::string& text, const std::string& path = {});

}  // namespace Module1
