// SPDX-License-Identifier: GPL-3.0-or-later
#include "Text.h"

#include "CodePage936.h"

namespace Module1::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Calls f on each code point of text; unpaired surrogates are passed as U+FFFD.
template <typename F>
void ForEachCodePoint(const std::u16string& text, F f) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            f(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            f(kReplacement);
        } else {
            f(unit);
        }
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::string ToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t cp) { AppendUtf8(out, cp); });
    return out;
}

std::u16string FromUtf8(const std::string& bytes) {
    std::u16string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        int extra = lead < 0x80           ? 0
                    : (lead >> 5) == 0x6  ? 1
                    : (lead >> 4) == 0xE  ? 2
                    : (lead >> 3) == 0x1E ? 3
                                          : -1;
        char32_t cp = extra == 0   ? lead
                      : extra == 1 ? (lead & 0x1F)
                      : extra == 2 ? (lead & 0x0F)
                                   : (lead & 0x07);
        bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < bytes.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (valid && (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            valid = false;
        }
        if (valid) {
            AppendUtf16(out, cp);
            i += static_cast<std::size_t>(extra) + 1;
        } else {
            AppendUtf16(out, kReplacement);
            ++i;
        }
    }
    return out;
}

std::string ToCodePage936(const std::u16string& text) {
    CodePage936 codePage;
    std::string out;
    ForEachCodePoint(text, [&](char32_t cp) {
        // Nothing beyond the Basic Multilingual Plane is in the code page.
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp >= 0x10000 || !codePage.Encode(static_cast<char16_t>(cp), out)) {
            out.push_back('?');
        }
    });
    return out;
}

std::u16string FromCodePage936(const std::string& bytes) {
    CodePage936 codePage;
    std::u16string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        // 0x80 stands alone (the euro sign); 0x81 to 0xFE lead a two-byte character. A byte
        // that starts nothing valid becomes U+FFFD and the next byte is read afresh.
        const std::size_t width = lead == 0x80 ? 1 : 2;
        const std::optional<char16_t> character =
            i + width <= bytes.size() ? codePage.Decode(std::string_view(bytes).substr(i, width))
                                      : std::nullopt;
        if (character) {
            out.push_back(*character);
            i += width;
        } else {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
        }
    }
    return out;
}

}  // namespace Module1::text
