// SPDX-License-Identifier: GPL-3.0-or-later
// Code page 936 through Windows' own conversion functions.
#include "CodePage936.h"

#include <windows.h>

namespace Module1::text {
namespace {

constexpr UINT kCodePage = 936;

std::optional<char16_t> DecodeStrictly(std::string_view bytes) {
    wchar_t character[2];
    const int count = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                          static_cast<int>(bytes.size()), character, 2);
    if (count != 1) {
        return std::nullopt;
    }
    return static_cast<char16_t>(character[0]);
}

}  // namespace

struct CodePage936::State {};

CodePage936::CodePage936() = default;

CodePage936::~CodePage936() = default;

bool CodePage936::Encode(char16_t character, std::string& out) {
    const wchar_t unit = character;
    char bytes[4];
    BOOL usedDefault = FALSE;
    const int count = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, &unit, 1, bytes,
                                          sizeof bytes, nullptr, &usedDefault);
    if (count <= 0 || usedDefault) {
        return false;
    }
    // Only bytes that read back as the character count, cut as Text.cpp cuts them: 0x80 alone,
    // or a lead byte from 0x81 to 0xFE and its trail byte. Windows writes U+F8F5 as the single
    // byte 0xFF, which such a reader takes for a lead byte and which Windows itself rejects when
    // reading strictly (iconv has no bytes for U+F8F5 at all).
    const auto lead = static_cast<unsigned char>(bytes[0]);
    const bool cutAsRead = count == (lead == 0x80 ? 1 : 2) && lead >= 0x80 && lead <= 0xFE;
    if (!cutAsRead ||
        DecodeStrictly(std::string_view(bytes, static_cast<std::size_t>(count))) != character) {
        return false;
    }
    out.append(bytes, static_cast<std::size_t>(count));
    return true;
}

std::optional<char16_t> CodePage936::Decode(std::string_view bytes) {
    return DecodeStrictly(bytes);
}

}  // namespace Module1::text
