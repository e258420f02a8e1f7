// SPDX-License-Identifier: GPL-3.0-or-later
// SplitFile: piece counts, names, refusals and what a split leaves on disk.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <climits>

#include "Formats.h"
#include "Module1.h"
#include "TestFiles.h"

using namespace testing_files;
namespace fs = std::filesystem;

namespace {

// The data bytes of a piece file, read by the layout: descriptor, data, trailing length.
Bytes PieceData(const fs::path& piece) {
    const Bytes bytes = ReadFile(piece);
    EXPECT_GE(bytes.size(), 14u);
    const Module1::BufferDescriptor descriptor = Module1::DecodeDescriptor(bytes);
    EXPECT_EQ(descriptor.DimensionCount, 1);
    EXPECT_EQ(descriptor.LowerBound, 1);
    const std::size_t count = descriptor.ElementCount;
    EXPECT_EQ(bytes.size(), 14 + count);
    EXPECT_EQ(Bytes(bytes.end() - 4, bytes.end()), Le32(static_cast<std::int64_t>(count)));
    return Bytes(bytes.begin() + 10, bytes.begin() + 10 + static_cast<long>(count));
}

struct SplitOutcome {
    bool ok;
    std::u16string message;
};

SplitOutcome Split(const fs::path& source, std::int32_t pieceSize, std::int32_t firstNumber = 0) {
    std::u16string message = u"unchanged";
    const bool ok = Module1::SplitFile(U16(source), firstNumber, message, pieceSize);
    return {ok, message};
}

}  // namespace

struct CountRow {
    std::int64_t length;
    std::size_t pieces;
    std::size_t lastLength;
    friend void PrintTo(const CountRow& row, std::ostream* out) { *out << "L=" << row.length; }
};

class SplitCounts : public ::testing::TestWithParam<CountRow> {};

TEST_P(SplitCounts, pieces_hold_the_source_in_order_with_the_rest_in_the_last) {
    constexpr std::int32_t kPiece = 10;
    TempDir dir;
    const Bytes source = RandomBytes(static_cast<std::size_t>(GetParam().length), 7);
    WriteFile(dir / "a.rar", source);

    const SplitOutcome outcome = Split(dir / "a.rar", kPiece);
    ASSERT_TRUE(outcome.ok) << Utf8(outcome.message);
    EXPECT_EQ(outcome.message, u"unchanged");

    Bytes joined;
    for (std::size_t k = 1; k <= GetParam().pieces; ++k) {
        const fs::path piece = dir / Utf8(Module1::PieceName(u"a.rar", 0, static_cast<int>(k)));
        const Bytes data = PieceData(piece);
        EXPECT_EQ(data.size(), k < GetParam().pieces ? kPiece : GetParam().lastLength) << k;
        joined.insert(joined.end(), data.begin(), data.end());
    }
    EXPECT_EQ(joined, source);
    EXPECT_FALSE(fs::exists(
        dir / Utf8(Module1::PieceName(u"a.rar", 0, static_cast<int>(GetParam().pieces) + 1))));

    const Module1::ListRecord list =
        Module1::DecodeListRecord(ReadFile(dir / "a.rar.FLF"), "a.rar.FLF");
    EXPECT_EQ(list.PieceCount, static_cast<std::int16_t>(GetParam().pieces));
    EXPECT_EQ(list.FirstNumber, 0);
    EXPECT_EQ(list.SourceLength, GetParam().length);
    EXPECT_EQ(list.SourcePath, U16(dir / "a.rar"));
}

INSTANTIATE_TEST_SUITE_P(Table, SplitCounts,
                         ::testing::Values(CountRow{12, 2, 2},   // S + 2
                                           CountRow{20, 2, 10},  // 2 S
                                           CountRow{21, 3, 1},   // 2 S + 1
                                           CountRow{51, 6, 1},   // 5 S + 1
                                           CountRow{1234, 124, 4}));

TEST(Split, names_pieces_00_001_002_and_the_list_file_flf) {
    TempDir dir;
    WriteFile(dir / "a.rar", RandomBytes(25, 1));
    ASSERT_TRUE(Split(dir / "a.rar", 10).ok);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.rar", "a.rar.00", "a.rar.001", "a.rar.002",
                                                    "a.rar.FLF", "a.rar.FLF.sha256"}));
}

TEST(Split, numbers_past_999_and_a_first_number_other_than_zero) {
    TempDir dir;
    WriteFile(dir / "s", RandomBytes(35, 2));
    ASSERT_TRUE(Split(dir / "s", 10, 998).ok);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"s", "s.1000", "s.1001", "s.998", "s.999",
                                                    "s.FLF", "s.FLF.sha256"}));
    EXPECT_EQ(Module1::DecodeListRecord(ReadFile(dir / "s.FLF"), "s.FLF").FirstNumber, 998);
}

TEST(Split, refuses_a_file_not_longer_than_one_piece_plus_one_byte_and_writes_nothing) {
    TempDir dir;
    for (std::size_t length : {0, 1, 10, 11}) {
        WriteFile(dir / "small", RandomBytes(length, 3));
        const SplitOutcome outcome = Split(dir / "small", 10);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.message, u"指定的文件比需要分割的小，不需要分割！！！") << length;
        EXPECT_EQ(dir.List(), std::vector<std::string>{"small"});
    }
}

struct RefusalRow {
    std::int64_t length;
    std::int32_t pieceSize;
    Module1::Failure failure;
    friend void PrintTo(const RefusalRow& row, std::ostream* out) {
        *out << "L=" << row.length << " S=" << row.pieceSize;
    }
};

class SplitFailures : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(SplitFailures, fail_as_their_kind_and_leave_no_file) {
    TempDir dir;
    MakeSparseFile(dir / "src", GetParam().length);
    EXPECT_EQ(SplitFails(dir / "src", GetParam().pieceSize).failure, GetParam().failure);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"src"});
}

using enum Module1::Failure;
INSTANTIATE_TEST_SUITE_P(
    Table, SplitFailures,
    ::testing::Values(RefusalRow{32768, 1, TooManyPieces},
                      RefusalRow{100000, 3, TooManyPieces},         // rounding itself overflows
                      RefusalRow{5, INT_MAX, PieceSizeOutOfRange},  // S + 1 overflows
                      RefusalRow{5, 0, PieceSizeZero}, RefusalRow{5, -1, PieceSizeNotPositive},
                      RefusalRow{5, -1048576, PieceSizeNotPositive},
                      RefusalRow{4000000, -1, TooManyPieces}));  // count rounds below -32768

TEST(Split, a_piece_number_that_would_overflow_fails_before_any_piece_is_written) {
    TempDir dir;
    WriteFile(dir / "s", RandomBytes(25, 4));
    const SplitOutcome outcome = Split(dir / "s", 10, INT_MAX - 1);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(Utf8(outcome.message).rfind("溢出", 0), 0u);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"s"});
}

TEST(Split, missing_source_or_folder_is_named_in_the_message_and_nothing_is_created) {
    TempDir dir;
    const fs::path missing = dir / "nope.bin";
    EXPECT_SAYS(Utf8(Split(missing, 10).message), "文件未找到", Utf8(missing));
    const fs::path noFolder = dir / "gone" / "a.bin";
    EXPECT_SAYS(Utf8(Split(noFolder, 10).message), "路径未找到", Utf8(noFolder));
    fs::create_directory(dir / "folder");
    EXPECT_FALSE(Split(dir / "folder", 10).ok);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"folder"});
}

TEST(Split, a_second_split_overwrites_from_the_first_byte_and_leaves_surplus_pieces) {
    TempDir dir;
    const Bytes source = RandomBytes(50, 6);
    WriteFile(dir / "s", source);
    ASSERT_TRUE(Split(dir / "s", 10).ok);  // five pieces of 24 bytes on disk
    ASSERT_TRUE(Split(dir / "s", 20).ok);  // three pieces: 20, 20, 10

    // Piece 3 holds exactly its new record; pieces 4 and 5 of the first split stay.
    const Bytes third = ReadFile(dir / "s.002");
    const Bytes newRecord =
        Module1::EncodePieceRecord({Bytes(source.begin() + 40, source.end()), 10});
    ASSERT_EQ(third.size(), 24u);
    EXPECT_EQ(Bytes(third.begin(), third.begin() + 24), newRecord);
    // The first piece grew past the old one and holds exactly the new record.
    EXPECT_EQ(ReadFile(dir / "s.00").size(), 34u);
    EXPECT_TRUE(fs::exists(dir / "s.003"));
    EXPECT_TRUE(fs::exists(dir / "s.004"));
    EXPECT_EQ(Module1::DecodeListRecord(ReadFile(dir / "s.FLF"), "s.FLF").PieceCount, 3);
}

TEST(Split, over_a_longer_old_piece_leaves_each_piece_exactly_its_record) {
    TempDir dir;
    const Bytes source = RandomBytes(30, 8);
    WriteFile(dir / "s", source);
    WriteFile(dir / "s.00", Bytes(100, 0xEE));
    ASSERT_TRUE(Split(dir / "s", 10).ok);
    EXPECT_EQ(ReadFile(dir / "s.00"),
              Module1::EncodePieceRecord({Bytes(source.begin(), source.begin() + 10), 10}));
}

TEST(Split, chinese_names_are_split_and_the_list_holds_the_path_in_gbk) {
    TempDir dir;
    const fs::path source = dir / "文件 a.rar";
    WriteFile(source, RandomBytes(25, 9));
    ASSERT_TRUE(Split(source, 10).ok);
    EXPECT_TRUE(fs::exists(dir / "文件 a.rar.002"));
    const Bytes list = ReadFile(dir / "文件 a.rar.FLF");
    // The folder's path is ASCII, the same in GBK as in UTF-8.
    const std::string gbkPath = Utf8(dir.path()) +
                                static_cast<char>(fs::path::preferred_separator) +
                                "\xCE\xC4\xBC\xFE a.rar";
    EXPECT_EQ(list, Concat({Le32(25), Le16(static_cast<int>(gbkPath.size())),
                            Bytes(gbkPath.begin(), gbkPath.end()), Le16(3), Le32(0)}));
}

TEST(Split, progress_rises_to_the_source_length) {
    TempDir dir;
    WriteFile(dir / "s", RandomBytes(100000, 10));
    std::vector<std::int64_t> seen;
    std::u16string message;
    ASSERT_TRUE(Module1::SplitFile(U16(dir / "s"), 0, message, 30000,
                                   [&](std::int64_t done, std::int64_t total) {
                                       EXPECT_EQ(total, 100000);
                                       seen.push_back(done);
                                   }));
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100000);
}

TEST(OddNames, a_long_deep_path_splits_and_merges) {
    TempDir dir;
    fs::path deep = dir.path();
    while (deep.string().size() < 3000) {
        deep /= std::string(200, 'd');
    }
    fs::create_directories(deep);
    const Bytes source = RandomBytes(2500, 13);
    WriteFile(deep / "src", source);
    std::u16string message;
    ASSERT_TRUE(Module1::SplitFile(U16(deep / "src"), 0, message, 1000)) << Utf8(message);
    Module1::MergeFile(U16(deep / "src.FLF"), U16(deep / "out"));
    EXPECT_EQ(ReadFile(deep / "out"), source);
}

TEST(OddNames, a_piece_name_past_the_longest_file_name_fails_before_writing_any_piece) {
    TempDir dir;
    const std::string name(252, 'n');  // name + ".00" fits in 255 bytes, name + ".001" does not
    WriteFile(dir / name, RandomBytes(2500, 14));
    std::u16string message;
    EXPECT_FALSE(Module1::SplitFile(U16(dir / name), 0, message, 1000));
    EXPECT_SAYS(Utf8(message), "文件名太长", Utf8(dir / (name + ".001")));
    std::error_code tooLong;
    EXPECT_FALSE(fs::exists(dir / (name + ".FLF"), tooLong));
    EXPECT_EQ(dir.List(), std::vector<std::string>{name}) << "not even the piece that fits";
}

TEST(Split, a_stop_request_ends_the_split_without_a_list_file) {
    TempDir dir;
    WriteFile(dir / "s", RandomBytes(100000, 15));
    std::stop_source stop;
    std::u16string message;
    EXPECT_FALSE(Module1::SplitFile(
        U16(dir / "s"), 0, message, 1000, [&](std::int64_t, std::int64_t) { stop.request_stop(); },
        stop.get_token()));
    EXPECT_EQ(Utf8(message), "操作已停止");
    EXPECT_FALSE(fs::exists(dir / "s.FLF"));
}

#if !defined(_WIN32)
// Names Windows does not allow or changes: "*" and "?", and spaces at a name's end, which it
// drops. The Windows suites have their own.

TEST(Split, path_is_used_exactly_as_given_so_surrounding_spaces_name_another_file) {
    TempDir dir;
    WriteFile(dir / "a.bin", RandomBytes(30, 5));
    const SplitOutcome outcome = Split(dir.path().string() + "/a.bin ", 10);
    EXPECT_FALSE(outcome.ok);
    EXPECT_SAYS(Utf8(outcome.message), "文件未找到", Utf8(dir.path()) + "/a.bin ");
}

TEST(OddNames, stars_question_marks_and_surrounding_spaces_are_ordinary_characters) {
    for (const char* name : {"a*b?.bin", " both ends ", "文件 ？.rar"}) {
        TempDir dir;
        const Bytes source = RandomBytes(2500, 12);
        WriteFile(dir / name, source);
        std::u16string message;
        ASSERT_TRUE(Module1::SplitFile(U16(dir / name), 0, message, 1000)) << Utf8(message);
        const fs::path list = dir / (std::string(name) + ".FLF");
        Module1::MergeFile(U16(list), U16(dir / "merged"));
        EXPECT_EQ(ReadFile(dir / "merged"), source) << name;
    }
}

// Sources of 32 GiB and more as sparse files, which only these systems make for certain.
TEST(Split, too_many_pieces_names_the_smallest_piece_size_that_fits) {
    TempDir dir;
    struct Row {
        std::int64_t length;
        const char* advice;
    };
    for (const Row row : {Row{40 * 1024 * kMiB, "请把每份大小设为至少 2（单位：M）。"},
                          Row{32767 * kMiB + 1, "请把每份大小设为至少 2（单位：M）。"},
                          Row{3 * 32767 * kMiB, "请把每份大小设为至少 3（单位：M）。"}}) {
        MakeSparseFile(dir / "big", row.length);
        const SplitOutcome outcome = Split(dir / "big", 1 << 20);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(Utf8(outcome.message),
                  std::string("溢出：分割后的份数超过 32767\r") + row.advice);
        EXPECT_EQ(dir.List(), std::vector<std::string>{"big"});
    }
}

#endif  // !defined(_WIN32)
