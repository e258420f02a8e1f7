// SPDX-License-Identifier: GPL-3.0-or-later
#include "Input.h"

#include <charconv>
#include <cmath>
#include <string>

#include "Module1.h"

namespace windowlogic {

std::u16string TrimSpaces(std::u16string_view text) {
    const std::size_t start = text.find_first_not_of(u' ');
    if (start == std::u16string_view::npos) {
        return {};
    }
    return std::u16string(text.substr(start, text.find_last_not_of(u' ') - start + 1));
}

bool IsBlank(std::u16string_view text) {
    return text.find_first_not_of(u' ') == std::u16string_view::npos;
}

namespace {

bool IsWhiteSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r') || c == u'\u00A0' || c == u'\u3000';
}

// Full-width forms typed through an input method (digits, point, signs) as the plain ones.
char16_t Narrow(char16_t c) {
    return c >= u'\uFF01' && c <= u'\uFF5E' ? static_cast<char16_t>(c - 0xFEE0) : c;
}

}  // namespace

std::optional<std::int32_t> PieceSizeMegabytes(std::u16string_view text) {
    std::size_t start = 0, end = text.size();
    while (start < end && IsWhiteSpace(text[start])) {
        ++start;
    }
    while (end > start && IsWhiteSpace(text[end - 1])) {
        --end;
    }
    std::string ascii;
    for (char16_t c : text.substr(start, end - start)) {
        c = Narrow(c);
        if (c > 0x7F) {
            return std::nullopt;
        }
        ascii += static_cast<char>(c);
    }
    // A plus sign is allowed, as in "+16"; from_chars takes only a minus.
    std::string_view number = ascii;
    if (number.size() > 1 && number[0] == '+' && number[1] != '-' && number[1] != '+') {
        number.remove_prefix(1);
    }
    double value = 0;
    const auto [rest, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || error != std::errc() || rest != number.data() + number.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    const double megabytes = std::nearbyint(value);  // a half goes to the even neighbour
    if (megabytes < 1 || megabytes > 2047) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(megabytes);
}

std::u16string OutputForList(std::u16string_view listPath) {
    return std::u16string(listPath.substr(0, listPath.size() < 4 ? 0 : listPath.size() - 4));
}

bool IsListFileName(std::u16string_view path) {
    return path.size() > 4 && path.ends_with(u".FLF");
}

std::optional<std::u16string> ListFileOfPiece(std::u16string_view path) {
    const std::size_t dot = path.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0) {
        return std::nullopt;
    }
    const std::u16string_view suffix = path.substr(dot + 1);
    // "00", "001", "1000", "-005": at most a sign and ten digits, as the pattern "00#" writes
    // a 32-bit number.
    const bool negative = !suffix.empty() && suffix[0] == u'-';
    const std::u16string_view digits = suffix.substr(negative ? 1 : 0);
    if (digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of(u"0123456789") != std::u16string_view::npos) {
        return std::nullopt;
    }
    std::int64_t number = 0;
    for (char16_t digit : digits) {
        number = number * 10 + (digit - u'0');
    }
    number = negative ? -number : number;
    if (number < INT32_MIN || number > INT32_MAX ||
        Module1::FormatPieceNumber(static_cast<std::int32_t>(number)) != suffix) {
        return std::nullopt;
    }
    return Module1::ListFileName(std::u16string(path.substr(0, dot)));
}

}  // namespace windowlogic
