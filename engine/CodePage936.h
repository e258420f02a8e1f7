// SPDX-License-Identifier: GPL-3.0-or-later
// One character at a time between UTF-16 and code page 936, through the system's own tables:
// iconv on POSIX (posix/CodePage936.cpp), the code page functions on Windows
// (win32/CodePage936.cpp). The rules around a character (ASCII, surrogate pairs, what stands in
// for what cannot be converted) live once in Text.cpp; a twin answers only whether one
// character or one byte sequence has a counterpart. Both twins give the same answer for every
// code, the user-defined areas included (see the POSIX twin).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Module1::text {

class CodePage936 {
  public:
    CodePage936();
    ~CodePage936();
    CodePage936(const CodePage936&) = delete;
    CodePage936& operator=(const CodePage936&) = delete;

    // Appends the one or two bytes of a character of the Basic Multilingual Plane (not ASCII,
    // not a surrogate) and returns true; returns false and appends nothing when the code page
    // has no bytes for it that read back as the same character.
    bool Encode(char16_t character, std::string& out);
    // The character that bytes stand for: 0x80 alone, or a lead byte 0x81 to 0xFE and a trail
    // byte. Empty when they are not a character of the code page.
    std::optional<char16_t> Decode(std::string_view bytes);

  private:
    struct State;  // the twin's own (iconv's descriptors on POSIX)
    std::unique_ptr<State> state_;
};

}  // namespace Module1::text
