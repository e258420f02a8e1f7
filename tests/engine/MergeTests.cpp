// SPDX-License-Identifier: GPL-3.0-or-later
// MergeFile: round trips, sets that moved, and every fault leaving the output as it was.
#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <climits>

#include "FaultInjection.h"
#include "Formats.h"
#include "Module1.h"
#include "SetWithOutput.h"
#include "TestFiles.h"

using namespace testing_files;
namespace fs = std::filesystem;
using Module1::EngineError;

struct RoundTripRow {
    std::size_t length;
    std::int32_t pieceSize;
    friend void PrintTo(const RoundTripRow& row, std::ostream* out) {
        *out << "L=" << row.length << " S=" << row.pieceSize;
    }
};

class RoundTrip : public ::testing::TestWithParam<RoundTripRow> {};

TEST_P(RoundTrip, split_then_merge_reproduces_the_source_byte_for_byte) {
    TempDir dir;
    const Bytes source =
        RandomBytes(GetParam().length, static_cast<std::uint32_t>(GetParam().length));
    WriteFile(dir / "data.bin", source);
    SplitOrFail(dir / "data.bin", GetParam().pieceSize);
    EXPECT_TRUE(Module1::MergeFile(U16(dir / "data.bin.FLF"), U16(dir / "merged")));
    EXPECT_EQ(ReadFile(dir / "merged"), source);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip,
                         ::testing::Values(RoundTripRow{3, 1}, RoundTripRow{1002, 1000},
                                           RoundTripRow{2000, 1000}, RoundTripRow{65537, 4096},
                                           RoundTripRow{3 * 1048576 + 1, 1048576},
                                           RoundTripRow{5000000, 1 << 21},
                                           // pieces of several chunks, the last one partial
                                           RoundTripRow{23 * 1048576 + 3, 9 * 1048576 + 5}));

TEST(Merge, a_set_moved_and_renamed_with_its_list_file_merges_from_its_new_place) {
    TempDir dir;
    const Bytes source = RandomBytes(25, 13);
    WriteFile(dir / "a.rar", source);
    SplitOrFail(dir / "a.rar", 10);
    fs::create_directory(dir / "moved");
    for (const char* ext : {".00", ".001", ".002", ".FLF"}) {
        fs::rename(dir / (std::string("a.rar") + ext),
                   dir / "moved" / (std::string("b.rar") + ext));
    }
    fs::remove(dir / "a.rar");
    // SourcePath still names a.rar, which is gone: the pieces come from the list file's name.
    Module1::MergeFile(U16(dir / "moved" / "b.rar.FLF"), U16(dir / "moved" / "b.rar"));
    EXPECT_EQ(ReadFile(dir / "moved" / "b.rar"), source);
}

TEST(Merge, a_list_path_of_four_characters_finds_pieces_named_from_an_empty_base) {
    TempDir dir;
    const fs::path home = fs::current_path();
    fs::current_path(dir.path());
    WriteFile("LIST", Module1::EncodeListRecord({3, u"whatever", 2, 0}));
    WriteFile(".00", Module1::EncodePieceRecord({{'x', 'y'}, 2}));
    WriteFile(".001", Module1::EncodePieceRecord({{'z'}, 1}));
    Module1::MergeFile(u"LIST", u"out");
    EXPECT_EQ(ReadFile("out"), (Bytes{'x', 'y', 'z'}));

    WriteFile("a.F", Module1::EncodeListRecord({3, u"whatever", 2, 0}));
    EXPECT_THROW(Module1::MergeFile(u"a.F", u"out2"), EngineError);
    EXPECT_FALSE(fs::exists("out2"));
    fs::current_path(home);
}

TEST(Merge, stale_bytes_after_a_piece_record_are_not_copied) {
    TempDir dir;
    Bytes piece = Module1::EncodePieceRecord({{'a', 'b'}, 2});
    piece.insert(piece.end(), {'!', '!', '!'});
    WriteFile(dir / "s.00", piece);
    WriteFile(dir / "s.001", Module1::EncodePieceRecord({{'c'}, 1}));
    WriteFile(dir / "s.FLF", Module1::EncodeListRecord({3, u"s", 2, 0}));
    Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), (Bytes{'a', 'b', 'c'}));
}

TEST(Merge, piece_numbers_past_the_32_bit_limit_are_an_error) {
    TempDir dir;
    WriteFile(dir / "s.2147483647", Module1::EncodePieceRecord({{'a'}, 1}));
    WriteFile(dir / "s.FLF", Module1::EncodeListRecord({2, u"s", 2, INT_MAX}));
    EXPECT_EQ(MergeError(dir / "s.FLF", dir / "out").rfind("溢出", 0), 0u);
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST_F(SetWithOutput, merge_leaves_existing_output_untouched_when_a_piece_is_missing) {
    fs::remove(dir / "a.rar.001");
    before = dir.List();
    const std::string message = MergeError(dir / "a.rar.FLF", dir / "out");
    EXPECT_EQ(message.rfind("这组分割出的文件不全（共 3 份，缺少 1 份）：\r第 2 份：\r“" +
                                Utf8(dir / "a.rar.001") + "”\r请把缺少的分割出的文件放回",
                            0),
              0u)
        << message;
    ExpectOutputUntouched();  // and no empty piece file was created
}

TEST_F(SetWithOutput, a_short_piece_is_an_error_naming_it) {
    Bytes piece = ReadFile(dir / "a.rar.002");
    piece.resize(piece.size() - 1);  // loses the trailing Length
    WriteFile(dir / "a.rar.002", piece);
    EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / "out"), PastEndOfFile,
                 Utf8(dir / "a.rar.002"));
    ExpectOutputUntouched();
}

TEST_F(SetWithOutput, an_empty_piece_is_an_error) {
    WriteFile(dir / "a.rar.00", {});
    EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / "out"), PastEndOfFile, Utf8(dir / "a.rar.00"));
    ExpectOutputUntouched();
}

TEST_F(SetWithOutput, a_wrong_dimension_count_or_lower_bound_is_an_error) {
    const Bytes good = ReadFile(dir / "a.rar.001");
    for (std::size_t offset : {0u, 6u}) {
        Bytes bad = good;
        bad[offset] = 2;
        WriteFile(dir / "a.rar.001", bad);
        EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / "out"), NotAPiece,
                     Utf8(dir / "a.rar.001"));
        ExpectOutputUntouched();
    }
}

TEST_F(SetWithOutput, a_header_claiming_4_gb_fails_at_once_without_allocating) {
    WriteFile(dir / "a.rar.001", Concat({Le16(1), Le32(0xFFFFFFFF), Le32(1), Bytes(10, 0)}));
    EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / "out"), PastEndOfFile,
                 Utf8(dir / "a.rar.001"));
    ExpectOutputUntouched();
}

TEST_F(SetWithOutput, a_missing_list_file_is_an_error_and_creates_nothing) {
    EXPECT_FAILS(MergeFails(dir / "none.FLF", dir / "out"), FileNotFound, Utf8(dir / "none.FLF"));
    ExpectOutputUntouched();
}

TEST_F(SetWithOutput, a_short_list_file_or_a_piece_count_below_one_is_an_error) {
    const Bytes list = ReadFile(dir / "a.rar.FLF");
    WriteFile(dir / "a.rar.FLF", Bytes(list.begin(), list.end() - 1));
    EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / "out"), NotAListFile, Utf8(dir / "a.rar.FLF"));
    WriteFile(dir / "a.rar.FLF", Module1::EncodeListRecord({25, u"a.rar", 0, 0}));
    EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / "out"), NotAListFile, Utf8(dir / "a.rar.FLF"));
    ExpectOutputUntouched();
}

TEST_F(SetWithOutput, an_output_folder_that_does_not_exist_is_named) {
    EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / "no" / "out"), PathNotFound,
                 Utf8(dir / "no" / "out"));
}

TEST_F(SetWithOutput, an_output_name_too_long_for_its_folder_fails_before_the_first_byte) {
    const fs::path output = dir / std::string(300, 'o');  // 300 bytes, and 300 UTF-16 units
    InjectedFault counted(BeforeNthStep(Step::Write, 1000, [] {}));
    const Failed failed = MergeFails(dir / "a.rar.FLF", output);
    EXPECT_EQ(failed.failure, Module1::Failure::NameTooLong);
    EXPECT_EQ(failed.paths, std::vector<std::string>{Utf8(output)});
    EXPECT_EQ(counted.Steps(), 0) << "nothing was written";
    ExpectOutputUntouched();
}

TEST_F(SetWithOutput, an_output_that_is_a_folder_is_an_error) {
    fs::create_directory(dir / "folder");
    before = dir.List();
    EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / "folder"), OutputIsFolder,
                 Utf8(dir / "folder"));
    ExpectOutputUntouched();
}

TEST_F(SetWithOutput, a_failure_while_writing_flushing_or_renaming_keeps_the_old_output) {
    const std::pair<Step, int> faults[] = {
        {Step::Write, ENOSPC}, {Step::Flush, EIO}, {Step::Rename, EACCES}};
    const char* expected[] = {"磁盘已满：", "设备 I/O 错误：", "没有权限："};
    for (std::size_t i = 0; i < std::size(faults); ++i) {
        std::string message;
        {
            InjectedFault fault(FailEveryStep(faults[i].first, faults[i].second));
            message = MergeError(dir / "a.rar.FLF", dir / "out");
        }
        EXPECT_EQ(message.rfind(expected[i], 0), 0u) << message;
        ExpectOutputUntouched();
    }
}

TEST_F(SetWithOutput, names_of_the_list_file_and_its_pieces_are_recognised_as_part_of_the_set) {
    const std::u16string list = U16(dir / "a.rar.FLF");
    EXPECT_TRUE(Module1::NamesFileOfSet(list, list));
    EXPECT_TRUE(Module1::NamesFileOfSet(list, U16(dir / "a.rar.00")));
    EXPECT_TRUE(Module1::NamesFileOfSet(list, U16(dir / "a.rar.002")));
    EXPECT_TRUE(Module1::NamesFileOfSet(list, U16(dir.path().string() + "/./x/../a.rar.001")));
    EXPECT_FALSE(Module1::NamesFileOfSet(list, U16(dir / "a.rar.003")));  // past the count
    EXPECT_FALSE(Module1::NamesFileOfSet(list, U16(dir / "a.rar.0")));
    EXPECT_FALSE(Module1::NamesFileOfSet(list, U16(dir / "a.rar")));
    EXPECT_FALSE(Module1::NamesFileOfSet(list, U16(dir / "out")));
}

TEST(Merge, progress_rises_to_the_merged_length_and_an_empty_callback_is_fine) {
    TempDir dir;
    WriteFile(dir / "s", RandomBytes(100000, 71));
    SplitOrFail(dir / "s", 30000);
    std::vector<std::int64_t> seen;
    Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"),
                       [&](std::int64_t done, std::int64_t total) {
                           EXPECT_EQ(total, 100000);
                           seen.push_back(done);
                       });
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100000);
    EXPECT_TRUE(Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out2"), Module1::Progress{}));
    EXPECT_EQ(ReadFile(dir / "out2"), ReadFile(dir / "out"));
}

TEST_F(SetWithOutput, a_stop_request_ends_the_merge_and_keeps_the_old_output) {
    std::stop_source stop;
    const auto stopAtFirstChunk = [&](std::int64_t, std::int64_t) { stop.request_stop(); };
    try {
        Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "out"), stopAtFirstChunk,
                           stop.get_token());
        ADD_FAILURE() << "the merge ran to its end";
    } catch (const EngineError& error) {
        EXPECT_STREQ(error.what(), "操作已停止");
    }
    ExpectOutputUntouched();
}

#if !defined(_WIN32)
// Modes and symbolic links, which only POSIX systems give the engine.

TEST_F(SetWithOutput,
       replacing_an_existing_longer_output_leaves_no_stale_bytes_and_keeps_its_mode) {
    ::chmod((dir / "out").c_str(), 0640);
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
    struct stat info {};
    ::stat((dir / "out").c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.List(), before);
}

TEST_F(SetWithOutput, a_symbolic_link_as_output_replaces_the_file_it_points_to) {
    fs::create_symlink(dir / "out", dir / "link");
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "link"));
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

#endif  // !defined(_WIN32)

TEST_F(SetWithOutput, a_piece_the_source_or_any_other_file_as_list_file_says_what_to_pick) {
    const std::string notAList = "这不是分割时生成的列表文件（.FLF）";
    // A piece, by its name and its buffer descriptor: pick its set's list file.
    EXPECT_EQ(MergeError(dir / "a.rar.00", dir / "out"),
              Opening(notAList, Utf8(dir / "a.rar.00")) +
                  "\r这是一份分割出的文件；请选择这组文件的列表文件（.FLF）：\r“" +
                  Utf8(dir / "a.rar.FLF") + "”");
    // The file that was split: its list file lies beside it.
    EXPECT_EQ(MergeError(dir / "a.rar", dir / "out"),
              Opening(notAList, Utf8(dir / "a.rar")) + "\r它分割时生成的列表文件（.FLF）是：\r“" +
                  Utf8(dir / "a.rar.FLF") + "”");
    // Anything else, short or long, whatever its bytes happen to say.
    WriteFile(dir / "notes.txt", Bytes{'h', 'i'});
    WriteFile(dir / "photo.jpg", RandomBytes(300000, 13));
    for (const char* other : {"notes.txt", "photo.jpg"}) {
        EXPECT_EQ(MergeError(dir / other, dir / "out"),
                  Opening(notAList, Utf8(dir / other)) +
                      "\r请选择分割时生成的、文件名以 .FLF 结尾的列表文件。")
            << other;
    }
    EXPECT_EQ(ReadFile(dir / "out"), previous);
}

TEST_F(SetWithOutput, a_list_file_with_stale_bytes_after_its_record_is_still_a_list_file) {
    Bytes list = ReadFile(dir / "a.rar.FLF");
    list.insert(list.end(), 500, 0xEE);  // what a longer list file written over leaves
    WriteFile(dir / "a.rar.FLF", list);
    fs::remove(dir / "a.rar.FLF.sha256");
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

TEST(Merge, every_missing_piece_is_named_at_once_the_first_ten_in_full) {
    TempDir dir;
    WriteFile(dir / "s", RandomBytes(250, 16));
    SplitOrFail(dir / "s", 10);  // 25 pieces
    for (std::int32_t k : {3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 25}) {
        fs::remove(dir / Utf8(Module1::PieceName(u"s", 0, k)));
    }
    const std::vector<std::string> before = dir.List();
    const std::string message = MergeError(dir / "s.FLF", dir / "out");
    EXPECT_EQ(message.rfind(
                  "这组分割出的文件不全（共 25 份，缺少 12 份，下面是前 10 份）：\r第 3 份：\r“" +
                      Utf8(dir / "s.002") + "”\r第 5 份：",
                  0),
              0u)
        << message;
    EXPECT_NE(message.find("第 13 份：\r“" + Utf8(dir / "s.012") + "”\r请把缺少的分割出的文件放回"),
              std::string::npos)
        << message;
    EXPECT_EQ(message.find("第 14 份"), std::string::npos) << "ten, and no more";
    EXPECT_EQ(dir.List(), before);
}
