// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the texts the user types: blank texts, the piece size and the names of a set.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <ostream>
#include <string>

#include "Input.h"
#include "WindowTestHelpers.h"

using namespace windowlogic;
using window_tests::Utf8;

TEST(BlankText, only_spaces_count_as_blank_and_trimming_keeps_other_white_space) {
    EXPECT_TRUE(IsBlank(u""));
    EXPECT_TRUE(IsBlank(u"    "));
    EXPECT_FALSE(IsBlank(u" a "));
    EXPECT_FALSE(IsBlank(u"\t"));
    EXPECT_EQ(TrimSpaces(u"  a b  "), u"a b");
    EXPECT_EQ(TrimSpaces(u"\ta\t"), u"\ta\t");
    EXPECT_EQ(TrimSpaces(u"   "), u"");
}

struct SizeRow {
    std::u16string typed;
    std::optional<std::int32_t> megabytes;
};

// Names each row by what was typed (ASCII as is, the rest as \uXXXX) and what it reads as, so
// that ctest shows the same names from run to run.
void PrintTo(const SizeRow& row, std::ostream* out) {
    *out << '"';
    for (char16_t c : row.typed) {
        if (c > u' ' && c < 0x7f) {
            *out << static_cast<char>(c);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(c));
            *out << code;
        }
    }
    *out << "\" -> " << (row.megabytes ? std::to_string(*row.megabytes) : "refused");
}

class PieceSizeText : public ::testing::TestWithParam<SizeRow> {};

TEST_P(PieceSizeText, reads_as_whole_megabytes_or_is_refused) {
    EXPECT_EQ(PieceSizeMegabytes(GetParam().typed), GetParam().megabytes) << Utf8(GetParam().typed);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PieceSizeText,
    ::testing::Values(SizeRow{u"128", 128}, SizeRow{u"1", 1}, SizeRow{u"2047", 2047},
                      SizeRow{u" 16 ", 16}, SizeRow{u"\t32\u3000", 32}, SizeRow{u"+16", 16},
                      SizeRow{u"1.5", 2}, SizeRow{u"2.5", 2}, SizeRow{u"3.5", 4},
                      SizeRow{u"1e3", 1000}, SizeRow{u"１２８", 128}, SizeRow{u"２．５", 2},
                      SizeRow{u"", std::nullopt}, SizeRow{u"abc", std::nullopt},
                      SizeRow{u"12M", std::nullopt}, SizeRow{u"2048", std::nullopt},
                      SizeRow{u"2047.5", std::nullopt}, SizeRow{u"0", 0}, SizeRow{u"0.5", 0},
                      SizeRow{u"-1", -1}, SizeRow{u"-2048", -2048}, SizeRow{u"-2049", std::nullopt},
                      SizeRow{u"1e9", std::nullopt}, SizeRow{u"inf", std::nullopt},
                      SizeRow{u"nan", std::nullopt}, SizeRow{u"0x10", std::nullopt},
                      SizeRow{u"1 6", std::nullopt}, SizeRow{u"++1", std::nullopt},
                      SizeRow{u"百", std::nullopt}));

TEST(SetNames, the_output_proposed_for_a_list_file_drops_its_last_four_characters) {
    EXPECT_EQ(OutputForList(u"/d/a/movie.avi.FLF"), u"/d/a/movie.avi");
    EXPECT_EQ(OutputForList(u"/d/a/notes.txt"), u"/d/a/notes");
    EXPECT_EQ(OutputForList(u"C:\\a"), u"");
    EXPECT_EQ(OutputForList(u"abc"), u"");
}

TEST(SetNames, a_first_file_of_a_numbered_set_ends_in_its_first_number) {
    for (const char16_t* first : {u"/d/a.7z.001", u"/d/a.000", u"/d/a.0001", u"/d/a.0000"}) {
        EXPECT_TRUE(IsFirstOfANumberedSet(first)) << Utf8(first);
    }
    for (const char16_t* other : {u"/d/a.7z.002", u"/d/a.00", u"/d/a.1001", u"/d/a.FLF"}) {
        EXPECT_FALSE(IsFirstOfANumberedSet(other)) << Utf8(other);
    }
}

TEST(SetNames, an_output_is_of_the_set_by_name_as_its_list_file_checksum_list_or_any_piece) {
    struct Row {
        const char16_t* name;
        bool inSet;
    };
    for (const Row& row :
         {Row{u"/d/a.rar.FLF", true}, Row{u"/d/a.rar.FLF.sha256", true}, Row{u"/d/a.rar.00", true},
          Row{u"/d/a.rar.002", true}, Row{u"/d/a.rar.32767", true}, Row{u"/d/a.rar.-005", true},
          Row{u"/d/A.RAR.001", true}, Row{u"/d//./a.rar.001", true}, Row{u"/d/a.rar", false},
          Row{u"/d/a.rar.0", false}, Row{u"/d/a.rar.01", false}, Row{u"/e/a.rar.001", false},
          Row{u"/d/x/../a.rar.001", false}, Row{u"/d\\a.rar.001", false}, Row{u"a.rar.001", false},
          Row{u"", false}}) {
        EXPECT_EQ(NamesFileOfSetByName(u"/d/a.rar.FLF", row.name, PathStyle::Posix), row.inSet)
            << Utf8(row.name);
    }
    for (const Row& row : {Row{u"c:/d/A.rar.001", true}, Row{u"C:\\d\\a.rar.001. ", true},
                           Row{u"C:\\d\\\\a.rar.FLF.SHA256", true},
                           Row{u"C:\\d\\a.rar.001x", false}, Row{u"\\\\d\\a.rar.001", false}}) {
        EXPECT_EQ(NamesFileOfSetByName(u"C:\\d\\a.rar.FLF", row.name, PathStyle::Windows),
                  row.inSet)
            << Utf8(row.name);
    }
    // A piece in the list's field: a set without its list file, or another splitter's.
    for (const Row& row :
         {Row{u"/d/a.7z.0005", true}, Row{u"/d/a.7z.FLF", true}, Row{u"/d/a.7z.FLF.sha256", true},
          Row{u"/d/a.7z", false}, Row{u"/d/a.7z.sfv", false}}) {
        EXPECT_EQ(NamesFileOfSetByName(u"/d/a.7z.001", row.name, PathStyle::Posix), row.inSet)
            << Utf8(row.name);
    }
}
