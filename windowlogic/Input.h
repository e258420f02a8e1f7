// SPDX-License-Identifier: GPL-3.0-or-later
// What the window reads out of the texts the user types: blank texts, the piece size, the names
// of a set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace windowlogic {

// The text without its leading and trailing spaces (U+0020 only).
std::u16string TrimSpaces(std::u16string_view text);
// True when nothing is left of the text once its leading and trailing spaces are removed.
bool IsBlank(std::u16string_view text);

// The number of megabytes a text gives, read as the size field reads it: spaces around it
// ignored, full-width digits read as the plain ones, a fraction rounded to the nearest integer
// with a half going to the even neighbour. Empty when it is no number.
std::optional<std::int64_t> MegabytesOf(std::u16string_view text);
// The piece size in megabytes typed into the size field, read as MegabytesOf reads it. Empty
// when it is no number or lies outside -2048 to 2047, where the byte count no longer fits 32
// bits; 0 and less are the engine's to refuse, with its own message.
std::optional<std::int32_t> PieceSizeMegabytes(std::u16string_view text);

// The output name proposed for a list file: its path without the last four characters, what
// ".FLF" adds to the source's name. Whatever they are; empty when the path is shorter.
std::u16string OutputForList(std::u16string_view listPath);

// Whether the name ends in the number another splitter gives a set's first file: .000 or
// .001, or in four digits .0000 or .0001.
bool IsFirstOfANumberedSet(std::u16string_view path);

// How a system spells paths: Windows takes "\" as well as "/" between names and drops a
// name's trailing dots and spaces.
enum class PathStyle { Posix, Windows };
#if defined(_WIN32)
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

// True when a name, by its words alone, is the list file, its checksum list, or a name one of
// its pieces could bear: the pieces' base (PieceBase), a dot and any piece number, for the
// count and the first number are in the list file, which this does not read. Words compare as
// the engine compares names, ASCII letters in either case; repeated separators and "." folders
// do not count. Nothing is looked up on the disk: a link, a ".." or a relative spelling that
// reaches the set is the engine's to find.
bool NamesFileOfSetByName(std::u16string_view listPath, std::u16string_view name,
                          PathStyle style = kNativePathStyle);

}  // namespace windowlogic
