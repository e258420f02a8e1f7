// SPDX-License-Identifier: GPL-3.0-or-later
// Code page 936 through glibc's iconv, with Windows' mapping of the user-defined areas added.
#include "CodePage936.h"

#include <iconv.h>

#include <array>
#include <cstdint>

namespace Module1::text {
namespace {

// Windows gives the codes that GBK leaves to its users (and the unassigned cells of GB2312's
// symbol rows) the private-use characters U+E000 to U+E864, area after area in the order below
// and row by row within an area; glibc's CP936 knows none of them. List files written on
// Windows carry these characters, so this build maps them as Windows does. Found by converting
// every double-byte code under wine and comparing with iconv: these 2,149 codes were the only
// ones the two read differently.
//
// An area is the rectangle of lead bytes firstLead..lastLead by trail bytes
// firstTrail..lastTrail, without the trail byte 0x7F, which GBK never uses.
struct UserArea {
    std::uint8_t firstLead, lastLead, firstTrail, lastTrail;
    char16_t first;  // the character of (firstLead, firstTrail)
};

constexpr std::array<UserArea, 29> kUserAreas = {{
    {0xAA, 0xAF, 0xA1, 0xFE, 0xE000},  // user-defined area 1
    {0xF8, 0xFE, 0xA1, 0xFE, 0xE234},  // user-defined area 2
    {0xA1, 0xA7, 0x40, 0xA0, 0xE4C6},  // user-defined area 3
    // Cells GB2312 leaves empty in its symbol rows.
    {0xA2, 0xA2, 0xAB, 0xB0, 0xE766},
    {0xA2, 0xA2, 0xE3, 0xE4, 0xE76C},
    {0xA2, 0xA2, 0xEF, 0xF0, 0xE76E},
    {0xA2, 0xA2, 0xFD, 0xFE, 0xE770},
    {0xA4, 0xA4, 0xF4, 0xFE, 0xE772},
    {0xA5, 0xA5, 0xF7, 0xFE, 0xE77D},
    {0xA6, 0xA6, 0xB9, 0xC0, 0xE785},
    {0xA6, 0xA6, 0xD9, 0xDF, 0xE78D},
    {0xA6, 0xA6, 0xEC, 0xED, 0xE794},
    {0xA6, 0xA6, 0xF3, 0xF3, 0xE796},
    {0xA6, 0xA6, 0xF6, 0xFE, 0xE797},
    {0xA7, 0xA7, 0xC2, 0xD0, 0xE7A0},
    {0xA7, 0xA7, 0xF2, 0xFE, 0xE7AF},
    {0xA8, 0xA8, 0x96, 0xA0, 0xE7BC},
    {0xA8, 0xA8, 0xBC, 0xBC, 0xE7C7},
    {0xA8, 0xA8, 0xBF, 0xBF, 0xE7C8},
    {0xA8, 0xA8, 0xC1, 0xC4, 0xE7C9},
    {0xA8, 0xA8, 0xEA, 0xFE, 0xE7CD},
    {0xA9, 0xA9, 0x58, 0x58, 0xE7E2},
    {0xA9, 0xA9, 0x5B, 0x5B, 0xE7E3},
    {0xA9, 0xA9, 0x5D, 0x5F, 0xE7E4},
    {0xA9, 0xA9, 0x89, 0x95, 0xE7E7},
    {0xA9, 0xA9, 0x97, 0xA3, 0xE7F4},
    {0xA9, 0xA9, 0xF0, 0xFE, 0xE801},
    {0xD7, 0xD7, 0xFA, 0xFE, 0xE810},  // after the last character of GB2312
    {0xFE, 0xFE, 0x50, 0xA0, 0xE815},
}};

// A trail byte's place in its area's row, the unused 0x7F skipped.
constexpr int Column(const UserArea& area, int trail) {
    return trail - area.firstTrail - (area.firstTrail < 0x7F && trail > 0x7F ? 1 : 0);
}

constexpr int RowLength(const UserArea& area) {
    return Column(area, area.lastTrail) + 1;
}

constexpr int Size(const UserArea& area) {
    return (area.lastLead - area.firstLead + 1) * RowLength(area);
}

// Each area takes up the characters right after the one before it, ending at U+E864.
constexpr bool AreasFollowOneAnother() {
    char32_t next = 0xE000;
    for (const UserArea& area : kUserAreas) {
        if (area.first != next) {
            return false;
        }
        next += Size(area);
    }
    return next == 0xE865;
}
static_assert(AreasFollowOneAnother());

std::optional<char16_t> DecodeUserArea(int lead, int trail) {
    for (const UserArea& area : kUserAreas) {
        if (lead >= area.firstLead && lead <= area.lastLead && trail >= area.firstTrail &&
            trail <= area.lastTrail && trail != 0x7F) {
            return static_cast<char16_t>(area.first + (lead - area.firstLead) * RowLength(area) +
                                         Column(area, trail));
        }
    }
    return std::nullopt;
}

bool EncodeUserArea(char16_t character, std::string& out) {
    for (const UserArea& area : kUserAreas) {
        const int offset = character - area.first;
        if (offset >= 0 && offset < Size(area)) {
            const int column = offset % RowLength(area);
            int trail = area.firstTrail + column;
            if (area.firstTrail < 0x7F && trail >= 0x7F) {
                ++trail;
            }
            out.push_back(static_cast<char>(area.firstLead + offset / RowLength(area)));
            out.push_back(static_cast<char>(trail));
            return true;
        }
    }
    return false;
}

// Converts bytes with cd; false when iconv cannot.
bool Convert(iconv_t cd, std::string_view bytes, char* buffer, std::size_t& size) {
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* outPtr = buffer;
    std::size_t outLeft = size;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == std::size_t(-1) || inLeft != 0) {
        return false;
    }
    size = static_cast<std::size_t>(outPtr - buffer);
    return true;
}

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

}  // namespace

struct CodePage936::State {
    // Left unopened (kNoDescriptor) when glibc lacks the converter: then only the user-defined
    // areas convert and everything else takes its replacement.
    iconv_t encoder = iconv_open("CP936", "UTF-16LE");
    iconv_t decoder = iconv_open("UTF-16LE", "CP936");

    ~State() {
        if (encoder != kNoDescriptor) {
            iconv_close(encoder);
        }
        if (decoder != kNoDescriptor) {
            iconv_close(decoder);
        }
    }
};

CodePage936::CodePage936() : state_(std::make_unique<State>()) {}

CodePage936::~CodePage936() = default;

bool CodePage936::Encode(char16_t character, std::string& out) {
    if (EncodeUserArea(character, out)) {
        return true;
    }
    const char unit[2] = {static_cast<char>(character & 0xFF), static_cast<char>(character >> 8)};
    char buffer[8];
    std::size_t size = sizeof buffer;
    if (state_->encoder == kNoDescriptor ||
        !Convert(state_->encoder, std::string_view(unit, 2), buffer, size)) {
        return false;
    }
    out.append(buffer, size);
    return true;
}

std::optional<char16_t> CodePage936::Decode(std::string_view bytes) {
    if (bytes.size() == 2) {
        if (auto character = DecodeUserArea(static_cast<unsigned char>(bytes[0]),
                                            static_cast<unsigned char>(bytes[1]))) {
            return character;
        }
    }
    char buffer[8];
    std::size_t size = sizeof buffer;
    if (state_->decoder == kNoDescriptor || !Convert(state_->decoder, bytes, buffer, size) ||
        size != 2) {
        return std::nullopt;
    }
    return static_cast<char16_t>(static_cast<unsigned char>(buffer[0]) |
                                 static_cast<unsigned char>(buffer[1]) << 8);
}

}  // namespace Module1::text
