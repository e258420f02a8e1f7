// SPDX-License-Identifier: GPL-3.0-or-later
// Code page 936 as both twins give it: the POSIX build (iconv plus the user-defined areas) and
// the Windows build (the system's own conversion) must read and write every code alike.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "Text.h"

namespace {

using Module1::text::FromCodePage936;
using Module1::text::ToCodePage936;

std::string Bytes2(std::uint16_t code) {
    return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

// FNV-1a, 64 bits: a fingerprint of a whole table in one number.
class Fnv1a {
  public:
    void Add(std::uint8_t byte) { hash_ = (hash_ ^ byte) * 0x100000001B3u; }
    std::uint64_t Value() const { return hash_; }

  private:
    std::uint64_t hash_ = 0xCBF29CE484222325u;
};

struct UserCode {
    std::uint16_t code;  // lead byte and trail byte
    char16_t character;
    friend void PrintTo(const UserCode& row, std::ostream* out) {
        *out << std::hex << std::uppercase << row.code << " U+" << std::uint32_t{row.character};
    }
};

class UserDefinedCodes : public ::testing::TestWithParam<UserCode> {};

TEST_P(UserDefinedCodes, read_and_write_as_the_private_use_characters_windows_gives_them) {
    EXPECT_EQ(FromCodePage936(Bytes2(GetParam().code)), std::u16string(1, GetParam().character));
    EXPECT_EQ(ToCodePage936(std::u16string(1, GetParam().character)), Bytes2(GetParam().code));
}

// The first, last and some middle codes of each area, as Windows (wine 8.0) converts them.
INSTANTIATE_TEST_SUITE_P(
    CodePage936, UserDefinedCodes,
    ::testing::Values(
        // user-defined area 1, AAA1 to AFFE
        UserCode{0xAAA1, 0xE000}, UserCode{0xAAFE, 0xE05D}, UserCode{0xABA1, 0xE05E},
        UserCode{0xADD0, 0xE149}, UserCode{0xAFFE, 0xE233},
        // user-defined area 2, F8A1 to FEFE
        UserCode{0xF8A1, 0xE234}, UserCode{0xFBC3, 0xE370}, UserCode{0xFEFE, 0xE4C5},
        // user-defined area 3, A140 to A7A0, whose rows skip the trail byte 7F
        UserCode{0xA140, 0xE4C6}, UserCode{0xA17E, 0xE504}, UserCode{0xA180, 0xE505},
        UserCode{0xA1A0, 0xE525}, UserCode{0xA240, 0xE526}, UserCode{0xA460, 0xE606},
        UserCode{0xA7A0, 0xE765},
        // cells GB2312 leaves empty in its symbol rows A2 to A9
        UserCode{0xA2AB, 0xE766}, UserCode{0xA4F4, 0xE772}, UserCode{0xA6F3, 0xE796},
        UserCode{0xA8BC, 0xE7C7}, UserCode{0xA958, 0xE7E2}, UserCode{0xA9FE, 0xE80F},
        // D7FA to D7FE, after GB2312's last character
        UserCode{0xD7FA, 0xE810}, UserCode{0xD7FC, 0xE812}, UserCode{0xD7FE, 0xE814},
        // FE50 to FEA0
        UserCode{0xFE50, 0xE815}, UserCode{0xFE7E, 0xE843}, UserCode{0xFE80, 0xE844},
        UserCode{0xFEA0, 0xE864}));

TEST(CodePage936, each_user_defined_area_holds_as_many_codes_as_windows_gives_it) {
    struct Span {
        char16_t first, last;
        int count;
    };
    // In the order of the rows above; 2,149 codes in all, U+E000 to U+E864 without a gap.
    Span spans[] = {{0xE000, 0xE233, 564}, {0xE234, 0xE4C5, 658}, {0xE4C6, 0xE765, 672},
                    {0xE766, 0xE80F, 170}, {0xE810, 0xE814, 5},   {0xE815, 0xE864, 80}};
    int counted[std::size(spans)] = {};
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const std::u16string read = FromCodePage936(Bytes2(lead << 8 | trail));
            for (std::size_t k = 0; k < std::size(spans); ++k) {
                if (read.size() == 1 && read[0] >= spans[k].first && read[0] <= spans[k].last) {
                    ++counted[k];
                }
            }
        }
    }
    for (std::size_t k = 0; k < std::size(spans); ++k) {
        EXPECT_EQ(counted[k], spans[k].count) << "U+" << std::hex << std::uint32_t{spans[k].first};
    }
}

TEST(CodePage936, every_private_use_character_up_to_e864_round_trips_through_two_bytes) {
    for (char32_t character = 0xE000; character <= 0xE864; ++character) {
        const std::u16string text(1, static_cast<char16_t>(character));
        const std::string bytes = ToCodePage936(text);
        ASSERT_EQ(bytes.size(), 2u) << std::hex << std::uint32_t{character};
        EXPECT_EQ(FromCodePage936(bytes), text) << std::hex << std::uint32_t{character};
    }
    EXPECT_EQ(ToCodePage936(u"\uE865\uF8FF"), "??");
}

// The whole code page in two numbers, so that both builds are held to the same answer for
// every code. The expected values were computed once from Windows' own answers: a throwaway
// program ran MultiByteToWideChar(936, MB_ERR_INVALID_CHARS) on 0x80 and on every lead byte
// 81 to FE with every trail byte 00 to FF, and WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS)
// on every character U+0080 to U+FFFF but the surrogates, under wine 8.0; a script folded the
// answers as below. The one answer taken against Windows: U+F8F5, which Windows writes as the
// single byte FF but does not read back from it, is "?" here (as in iconv).
TEST(CodePage936, both_builds_read_every_code_as_windows_reads_it) {
    Fnv1a fingerprint;
    int characters = 0;
    auto add = [&](const std::string& bytes) {
        // One character when the bytes are one; none (0000) when they are not valid.
        const std::u16string read = FromCodePage936(bytes);
        const char16_t character = read.size() == 1 ? read[0] : 0;
        characters += character != 0;
        fingerprint.Add(character & 0xFF);
        fingerprint.Add(character >> 8);
    };
    add("\x80");
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x00; trail <= 0xFF; ++trail) {
            add(Bytes2(lead << 8 | trail));
        }
    }
    EXPECT_EQ(characters, 23941);
    EXPECT_EQ(fingerprint.Value(), 0x5FED126BF48125E5u);
}

TEST(CodePage936, both_builds_write_every_character_as_windows_writes_it) {
    Fnv1a fingerprint;
    int held = 0;
    for (char32_t character = 0x80; character <= 0xFFFF; ++character) {
        if (character >= 0xD800 && character <= 0xDFFF) {
            continue;
        }
        // The byte count, then the bytes.
        const std::string bytes =
            ToCodePage936(std::u16string(1, static_cast<char16_t>(character)));
        held += bytes != "?";
        fingerprint.Add(static_cast<std::uint8_t>(bytes.size()));
        for (const char byte : bytes) {
            fingerprint.Add(static_cast<std::uint8_t>(byte));
        }
    }
    EXPECT_EQ(held, 23941);
    EXPECT_EQ(fingerprint.Value(), 0xAA36CA96D52A7B38u);
}

TEST(CodePage936, single_bytes_and_broken_codes_follow_one_rule_on_both_builds) {
    // 0x80 is the euro sign alone; 0xFF leads nothing, so it is U+FFFD and the next byte is read
    // afresh, as is the byte after a lead whose trail is not one (7F, below 40, or missing).
    EXPECT_EQ(FromCodePage936("\x80\xA1\x80"), u"€\uE505");
    EXPECT_EQ(FromCodePage936("\xFF\x41"), u"\uFFFDA");
    EXPECT_EQ(FromCodePage936("\xA1\x7F"), u"\uFFFD\x7F");
    EXPECT_EQ(FromCodePage936("\x81\x30"), u"\uFFFD0");
    EXPECT_EQ(FromCodePage936("a\xAA"), u"a\uFFFD");
    EXPECT_EQ(ToCodePage936(u"€"), "\x80");
    // U+F8F5: Windows would write the lone byte FF, which no reader of the code page takes back.
    EXPECT_EQ(ToCodePage936(u"a\uF8F5b"), "a?b");
    // Nothing beyond the BMP, no lone surrogate and no U+FFFD has bytes in the code page.
    EXPECT_EQ(ToCodePage936(u"\U0002000B\xD800\uFFFD"), "???");
}

}  // namespace
