// SPDX-License-Identifier: GPL-3.0-or-later
#include "Input.h"

#include <algorithm>
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

std::optional<std::int64_t> MegabytesOf(std::u16string_view text) {
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
    // A half goes to the even neighbour; sizes far past any the engine takes keep their sign.
    return static_cast<std::int64_t>(std::clamp(std::nearbyint(value), -1e15, 1e15));
}

std::optional<std::int32_t> PieceSizeMegabytes(std::u16string_view text) {
    const std::optional<std::int64_t> megabytes = MegabytesOf(text);
    if (!megabytes || *megabytes < -2048 || *megabytes > 2047) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*megabytes);
}

std::u16string OutputForList(std::u16string_view listPath) {
    return std::u16string(listPath.substr(0, listPath.size() < 4 ? 0 : listPath.size() - 4));
}

bool IsFirstOfANumberedSet(std::u16string_view path) {
    for (const std::u16string_view first : {u".000", u".001", u".0000", u".0001"}) {
        if (path.ends_with(first)) {
            return true;
        }
    }
    return false;
}

namespace {

// "00", "001", "1000", "-005": what the pattern "00#" writes for a 32-bit number, and no other
// spelling of it.
bool IsPieceNumber(std::u16string_view suffix) {
    const bool negative = !suffix.empty() && suffix[0] == u'-';
    const std::u16string_view digits = suffix.substr(negative ? 1 : 0);
    if (digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of(u"0123456789") != std::u16string_view::npos) {
        return false;
    }
    std::int64_t number = 0;
    for (char16_t digit : digits) {
        number = number * 10 + (digit - u'0');
    }
    number = negative ? -number : number;
    return number >= INT32_MIN && number <= INT32_MAX &&
           Module1::FormatPieceNumber(static_cast<std::int32_t>(number)) == suffix;
}

bool IsSeparator(char16_t c, PathStyle style) {
    return c == u'/' || (style == PathStyle::Windows && c == u'\\');
}

// One spelling of a path for comparing names: "/" between names, no empty or "." name, ASCII
// letters in lower case, and on Windows no trailing dots or spaces. The leading separators
// stay, for "//server" is not "/server".
std::u16string Spelling(std::u16string_view path, PathStyle style) {
    std::u16string spelt;
    std::size_t at = 0;
    for (; at < path.size() && IsSeparator(path[at], style); ++at) {
        spelt += u'/';
    }
    const std::size_t root = spelt.size();
    while (at < path.size()) {
        std::size_t end = at;
        while (end < path.size() && !IsSeparator(path[end], style)) {
            ++end;
        }
        std::u16string_view name = path.substr(at, end - at);
        if (style == PathStyle::Windows && name != u"..") {
            name = name.substr(0, name.find_last_not_of(u". ") + 1);
        }
        if (!name.empty() && name != u".") {
            if (spelt.size() > root) {
                spelt += u'/';
            }
            for (char16_t c : name) {
                spelt += c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
            }
        }
        at = end + 1;
    }
    return spelt;
}

}  // namespace

bool NamesFileOfSetByName(std::u16string_view listPath, std::u16string_view name, PathStyle style) {
    const std::u16string list(listPath);
    const std::u16string spelt = Spelling(name, style);
    if (spelt.empty()) {
        return false;
    }
    if (spelt == Spelling(list, style) ||
        spelt == Spelling(Module1::ChecksumListName(list), style)) {
        return true;
    }
    // A piece in the list's field (a set without its list file, or a numbered set) leads to
    // the pieces named as it is, whatever their number, and to the list file they would have.
    const std::size_t listDot = list.rfind(u'.');
    const bool pieceGiven =
        listDot != std::u16string::npos && listDot + 1 < list.size() &&
        list.find_first_not_of(u"0123456789", listDot + 1) == std::u16string::npos;
    const std::u16string base = pieceGiven        ? list.substr(0, listDot)
                                : list.size() < 4 ? std::u16string()
                                                  : Module1::PieceBase(list);
    if (pieceGiven &&
        (spelt == Spelling(Module1::ListFileName(base), style) ||
         spelt == Spelling(Module1::ChecksumListName(Module1::ListFileName(base)), style))) {
        return true;
    }
    const std::size_t dot = spelt.rfind(u'.');
    const std::size_t slash = spelt.rfind(u'/');
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash) ||
        (!pieceGiven && list.size() < 4)) {
        return false;
    }
    const std::u16string_view number = std::u16string_view(spelt).substr(dot + 1);
    const bool numbered = pieceGiven ? !number.empty() && number.find_first_not_of(u"0123456789") ==
                                                              std::u16string::npos
                                     : IsPieceNumber(number);
    return numbered && Spelling(base + u'.' + std::u16string(number), style) == spelt;
}

}  // namespace windowlogic
