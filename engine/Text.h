// SPDX-License-Identifier: GPL-3.0-or-later
// Conversions between the engine's UTF-16 text and the byte encodings it meets: UTF-8 for
// paths on disk and code page 936 (GBK) for the source path stored in a list file.
#pragma once

#include <string>
#include <vector>

namespace Module1::text {

// Unpaired surrogates become U+FFFD.
std::string ToUtf8(const std::u16string& text);
// Invalid sequences become U+FFFD.
std::u16string FromUtf8(const std::string& bytes);

// A character that code page 936 cannot hold is stored as "?" (0x3F), as Windows does with
// its default character, so the byte count stays what an older reader expects.
std::string ToCodePage936(const std::u16string& text);
// Bytes that are not valid code page 936 become U+FFFD.
std::u16string FromCodePage936(const std::string& bytes);

}  // namespace Module1::text
