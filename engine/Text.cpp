// SPDX-License-Identifier: GPL-3.0-or-later
#include "Text.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

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

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return nullptr;
    }
    return IconvHandle(cd);
}

// Converts one unit (a code point's bytes) with cd; returns false when it cannot be held.
bool ConvertUnit(void* cd, const char* in, std::size_t inSize, std::string& out) {
    char buffer[16];
    char* inPtr = const_cast<char*>(in);
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(static_cast<iconv_t>(cd), nullptr, nullptr, nullptr, nullptr);
    if (iconv(static_cast<iconv_t>(cd), &inPtr, &inSize, &outPtr, &outLeft) == std::size_t(-1)) {
        return false;
    }
    out.append(buffer, outPtr);
    return true;
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
    IconvHandle cd = OpenIconv("CP936", "UTF-32LE");
    std::string out;
    ForEachCodePoint(text, [&](char32_t cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            return;
        }
        const char unit[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF),
                              static_cast<char>((cp >> 16) & 0xFF), 0};
        if (!cd || !ConvertUnit(cd.get(), unit, 4, out)) {
            out.push_back('?');
        }
    });
    return out;
}

std::u16string FromCodePage936(const std::string& bytes) {
    IconvHandle cd = OpenIconv("UTF-16LE", "CP936");
    std::u16string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        // 0x80 stands alone (the euro sign); 0x81 to 0xFE lead a two-byte character.
        const std::size_t width = lead == 0x80 ? 1 : 2;
        std::string converted;
        std::size_t used = 0;
        if (cd && i + width <= bytes.size() && ConvertUnit(cd.get(), &bytes[i], width, converted)) {
            used = width;
        }
        if (used == 0 || converted.size() % 2 != 0) {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        for (std::size_t k = 0; k < converted.size(); k += 2) {
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(converted[k]) |
                                                static_cast<unsigned char>(converted[k + 1]) << 8));
        }
        i += used;
    }
    return out;
}

}  // namespace Module1::text
