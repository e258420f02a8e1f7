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

// The piece size in megabytes typed into the size field: spaces around it ignored, full-width
// digits read as the plain ones, a fraction rounded to the nearest integer with a half going to
// the even neighbour. Empty when it is no number or lies outside 1 to 2047 (below 1 the engine
// cannot split; above 2047 the byte count no longer fits 32 bits).
std::optional<std::int32_t> PieceSizeMegabytes(std::u16string_view text);

// The output name proposed for a list file: its path without the last four characters, what
// ".FLF" adds to the source's name. Whatever they are; empty when the path is shorter.
std::u16string OutputForList(std::u16string_view listPath);

// True when the name ends in ".FLF" (upper case: ".flf" is another program's font file).
bool IsListFileName(std::u16string_view path);

// The list file of the set a piece name belongs to ("a.bin.001" -> "a.bin.FLF"); empty when
// the name does not end in a piece number.
std::optional<std::u16string> ListFileOfPiece(std::u16string_view path);

}  // namespace windowlogic
