// SPDX-License-Identifier: GPL-3.0-or-later
// The byte layouts and naming rule of piece files and list files.
#include <gtest/gtest.h>

#include "Formats.h"
#include "Module1.h"
#include "TestFiles.h"
#include "Text.h"

using namespace testing_files;
using Module1::EngineError;

TEST(PieceFormat, five_bytes_are_stored_as_nineteen_with_descriptor_and_trailing_length) {
    const Module1::PieceRecord piece{{'a', 'b', 'c', 'd', 'e'}, 5};
    const Bytes expected = {0x01, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                            0x61, 0x62, 0x63, 0x64, 0x65, 0x05, 0x00, 0x00, 0x00};
    EXPECT_EQ(Module1::EncodePieceRecord(piece), expected);
}

TEST(PieceFormat, descriptor_decodes_what_it_encodes) {
    const Bytes bytes = Module1::EncodeDescriptor(0xFFFFFFF0u);
    const Module1::BufferDescriptor descriptor = Module1::DecodeDescriptor(bytes);
    EXPECT_EQ(descriptor.DimensionCount, 1);
    EXPECT_EQ(descriptor.ElementCount, 0xFFFFFFF0u);
    EXPECT_EQ(descriptor.LowerBound, 1);
}

TEST(ListFormat, record_for_a_four_piece_split_is_twenty_bytes_without_padding) {
    const Module1::ListRecord list{3 * 1048576 + 1, u"C:\\a.bin", 4, 0};
    const Bytes expected = {0x01, 0x00, 0x30, 0x00, 0x08, 0x00, 0x43, 0x3A, 0x5C, 0x61,
                            0x2E, 0x62, 0x69, 0x6E, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Module1::EncodeListRecord(list), expected);
}

TEST(ListFormat, chinese_path_is_stored_in_gbk_with_a_byte_count) {
    const Module1::ListRecord list{10, u"D:\\文件.rar", 2, 7};
    const Bytes encoded = Module1::EncodeListRecord(list);
    const Bytes expected = Concat({Le32(10),
                                   Le16(11),
                                   {'D', ':', '\\', 0xCE, 0xC4, 0xBC, 0xFE, '.', 'r', 'a', 'r'},
                                   Le16(2),
                                   Le32(7)});
    EXPECT_EQ(encoded, expected);

    const Module1::ListRecord decoded = Module1::DecodeListRecord(encoded, "x.FLF");
    EXPECT_EQ(decoded.SourcePath, u"D:\\文件.rar");
    EXPECT_EQ(decoded.SourceLength, 10);
    EXPECT_EQ(decoded.PieceCount, 2);
    EXPECT_EQ(decoded.FirstNumber, 7);
}

TEST(ListFormat, characters_gbk_cannot_hold_are_stored_as_question_marks) {
    // Hangul and U+1F600 are not in code page 936; the euro sign is its single byte 0x80.
    EXPECT_EQ(Module1::text::ToCodePage936(u"a\uD55Cb\U0001F600€é"),
              std::string("a?b?\x80\xA8\xA6"));
    EXPECT_EQ(Module1::text::FromCodePage936("\x80\xCE\xC4z"), u"€文z");
    EXPECT_EQ(Module1::text::FromCodePage936("\xFFz"), u"\uFFFDz");
}

TEST(ListFormat, reader_ignores_stale_bytes_after_the_record) {
    Bytes bytes = Module1::EncodeListRecord({5, u"p", 3, 0});
    bytes.insert(bytes.end(), {9, 9, 9, 9, 9});
    const Module1::ListRecord decoded = Module1::DecodeListRecord(bytes, "p.FLF");
    EXPECT_EQ(decoded.PieceCount, 3);
    EXPECT_EQ(decoded.SourcePath, u"p");
}

TEST(ListFormat, short_records_and_piece_counts_below_one_are_errors) {
    const Bytes whole = Module1::EncodeListRecord({5, u"abc", 3, 0});
    for (std::size_t size = 0; size < whole.size(); ++size) {
        const Bytes shortened(whole.begin(), whole.begin() + static_cast<long>(size));
        try {
            Module1::DecodeListRecord(shortened, "/x/a.FLF");
            ADD_FAILURE() << "accepted " << size << " bytes";
        } catch (const EngineError& error) {
            EXPECT_EQ(error.failure(), Module1::Failure::PastEndOfFile);
            EXPECT_EQ(error.paths(), std::vector<std::string>{"/x/a.FLF"});
        }
    }
    for (std::int16_t count : {0, -1, -32768}) {
        const Bytes bytes = Module1::EncodeListRecord({5, u"abc", count, 0});
        EXPECT_THROW(Module1::DecodeListRecord(bytes, "a.FLF"), EngineError) << count;
    }
}

struct NumberRow {
    std::int32_t number;
    const char16_t* formatted;
    friend void PrintTo(const NumberRow& row, std::ostream* out) { *out << row.number; }
};

class PieceNumbers : public ::testing::TestWithParam<NumberRow> {};

TEST_P(PieceNumbers, follow_the_00hash_pattern) {
    EXPECT_EQ(Module1::FormatPieceNumber(GetParam().number), GetParam().formatted);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PieceNumbers,
    ::testing::Values(NumberRow{0, u"00"}, NumberRow{1, u"001"}, NumberRow{2, u"002"},
                      NumberRow{10, u"010"}, NumberRow{12, u"012"}, NumberRow{100, u"100"},
                      NumberRow{999, u"999"}, NumberRow{1000, u"1000"}, NumberRow{32766, u"32766"},
                      NumberRow{2147483647, u"2147483647"}, NumberRow{-5, u"-005"},
                      NumberRow{-2147483647 - 1, u"-2147483648"}));

TEST(PieceNames, are_the_source_path_a_dot_and_the_number_from_the_first_number) {
    EXPECT_EQ(Module1::PieceName(u"D:\\a.rar", 0, 1), u"D:\\a.rar.00");
    EXPECT_EQ(Module1::PieceName(u"D:\\a.rar", 0, 3), u"D:\\a.rar.002");
    EXPECT_EQ(Module1::PieceName(u"D:\\a.rar", 998, 3), u"D:\\a.rar.1000");
    EXPECT_EQ(Module1::PieceName(u"/t/x", 2147483646, 2), u"/t/x.2147483647");
    EXPECT_EQ(Module1::ListFileName(u"D:\\a.rar"), u"D:\\a.rar.FLF");
}

TEST(PieceNames, overflow_of_the_number_is_an_error_never_a_wrapped_name) {
    EXPECT_THROW(Module1::PieceName(u"/t/x", 2147483647, 2), EngineError);
    EXPECT_THROW(Module1::PieceName(u"/t/x", 2147483600, 32767), EngineError);
}

TEST(PieceNames, base_drops_the_last_four_utf16_units_whatever_they_are) {
    EXPECT_EQ(Module1::PieceBase(u"D:\\a.rar.FLF"), u"D:\\a.rar");
    EXPECT_EQ(Module1::PieceBase(u"D:\\a\\notes.txt"), u"D:\\a\\notes");
    EXPECT_EQ(Module1::PieceBase(u"C:\\a"), u"");
    EXPECT_EQ(Module1::PieceBase(u"文件.FLF"), u"文件");
    EXPECT_THROW(Module1::PieceBase(u"a.F"), EngineError);
}

TEST(Utf8, round_trips_chinese_and_astral_text_and_replaces_lone_surrogates) {
    const std::u16string text = u"文件 \U0001F600 a";
    EXPECT_EQ(Module1::text::FromUtf8(Module1::text::ToUtf8(text)), text);
    EXPECT_EQ(Module1::text::ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
    EXPECT_EQ(Module1::text::FromUtf8("a\xC0\xAF"
                                      "b"),
              u"a\uFFFD\uFFFDb");
}
