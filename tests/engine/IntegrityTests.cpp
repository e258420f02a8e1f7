// SPDX-License-Identifier: GPL-3.0-or-later
// Every set carries a checksum list that sha256sum checks, and no merge reports success over
// pieces that do not belong together: flipped bytes, patched headers, a split that failed
// halfway over an older set, or two splits of one file at once.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <thread>

#include "FaultInjection.h"
#include "Formats.h"
#include "Module1.h"
#include "SetWithOutput.h"
#include "TestFiles.h"

using namespace testing_files;
namespace fs = std::filesystem;

namespace {

// Runs a shell command and returns what it printed, with its exit status.
std::pair<std::string, int> RunShell(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (std::size_t got; pipe && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, got);
    }
    const int status = pipe ? ::pclose(pipe) : -1;
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::string Quoted(const fs::path& path) {
    std::string quoted = "'";
    for (const char c : path.string()) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

void FlipByte(const fs::path& file, std::size_t offset) {
    Bytes bytes = ReadFile(file);
    bytes.at(offset) ^= 0x20;
    WriteFile(file, bytes);
}

const std::string kMismatch = "分割文件已损坏或不属于同一次分割：";

}  // namespace

TEST(ChecksumList, sha256sum_checks_every_piece_and_the_list_file_in_the_sets_folder) {
    TempDir dir;
    WriteFile(dir / "a.rar", RandomBytes(2500, 91));
    SplitOrFail(dir / "a.rar", 1000);
    const auto [output, status] =
        RunShell("cd " + Quoted(dir.path()) + " && sha256sum -c a.rar.FLF.sha256");
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output, "a.rar.00: OK\na.rar.001: OK\na.rar.002: OK\na.rar.FLF: OK\n");
}

TEST(ChecksumList, names_with_a_backslash_or_line_feed_are_escaped_as_sha256sum_reads_them) {
    TempDir dir;
    const std::string name = "a\\b\nc.bin";
    WriteFile(dir / name, RandomBytes(2500, 92));
    SplitOrFail(dir / name, 1000);
    const auto [output, status] =
        RunShell("cd " + Quoted(dir.path()) + " && sha256sum -c " + Quoted(name + ".FLF.sha256"));
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("a\\\\b\\nc.bin.002: OK"), std::string::npos) << output;
    Module1::MergeFile(U16(dir / (name + ".FLF")), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), ReadFile(dir / name));
}

TEST(ChecksumList, covers_an_older_longer_piece_as_it_lies_on_disk_with_its_stale_tail) {
    TempDir dir;
    WriteFile(dir / "s", RandomBytes(5000, 93));
    SplitOrFail(dir / "s", 2000);
    WriteFile(dir / "s", RandomBytes(2500, 94));
    SplitOrFail(dir / "s", 1000);  // rewrites longer pieces and a longer list file in place
    const auto [output, status] =
        RunShell("cd " + Quoted(dir.path()) + " && sha256sum -c s.FLF.sha256");
    EXPECT_EQ(status, 0) << output;
    Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), ReadFile(dir / "s"));
}

TEST(ChecksumList, the_codec_reads_what_it_writes_and_refuses_other_lines) {
    const std::vector<Module1::ChecksumLine> lines = {{{1, 2, 3}, "a.00"}, {{0xFF}, "x\\y\nz\r"}};
    const std::optional<std::vector<Module1::ChecksumLine>> again =
        Module1::DecodeChecksumList(Module1::EncodeChecksumList(lines));
    ASSERT_TRUE(again);
    ASSERT_EQ(again->size(), 2u);
    EXPECT_EQ((*again)[1].name, "x\\y\nz\r");
    EXPECT_EQ((*again)[1].digest, lines[1].digest);
    const std::string hex(64, 'a');
    EXPECT_TRUE(Module1::DecodeChecksumList(hex + " *binary.00\n"));
    EXPECT_FALSE(Module1::DecodeChecksumList(hex + " one-space.00\n"));
    EXPECT_FALSE(Module1::DecodeChecksumList(std::string(63, 'a') + "g  x\n"));
    EXPECT_FALSE(Module1::DecodeChecksumList("\\" + hex + "  bad\\escape\n"));
}

TEST(ChecksumList, the_reader_refuses_or_round_trips_any_text_made_of_its_own_characters) {
    std::mt19937 random(102);
    const std::string hexDigits = "0123456789abcdefABCDEFg";  // g: now and then not a digit
    const std::string nameCharacters = "ab.\\nr\r*";
    const std::string separators[] = {"  ", " *", " x", " "};
    int taken = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        for (int line = static_cast<int>(random() % 3); line >= 0; --line) {
            text += random() % 3 == 0 ? "\\" : "";
            for (int n = 0; n < 64; ++n) {
                text +=
                    hexDigits[random() % (random() % 50 ? hexDigits.size() - 1 : hexDigits.size())];
            }
            text += separators[random() % 4 == 0 ? random() % 4 : 0];
            for (int n = static_cast<int>(random() % 12); n > 0; --n) {
                text += nameCharacters[random() % nameCharacters.size()];
            }
            text += random() % 8 ? "\n" : "";
        }
        const auto lines = Module1::DecodeChecksumList(text);
        if (!lines) {
            continue;
        }
        ++taken;
        const auto again = Module1::DecodeChecksumList(Module1::EncodeChecksumList(*lines));
        ASSERT_TRUE(again) << text;
        ASSERT_EQ(again->size(), lines->size()) << text;
        for (std::size_t k = 0; k < lines->size(); ++k) {
            EXPECT_EQ((*again)[k].name, (*lines)[k].name) << text;
            EXPECT_EQ((*again)[k].digest, (*lines)[k].digest) << text;
        }
    }
    EXPECT_GT(taken, 100);
}

// A set of three pieces of 1000, 1000 and 500 bytes beside an older output.
struct CheckedSet : SetWithOutput {
    CheckedSet() : SetWithOutput(2500, 1000) {}
};

TEST_F(CheckedSet, a_byte_flipped_anywhere_in_any_piece_fails_the_merge_naming_that_piece) {
    const std::string checksumList = (dir / "a.rar.FLF.sha256").string();
    for (const char* piece : {"a.rar.00", "a.rar.001", "a.rar.002"}) {
        const std::size_t size = fs::file_size(dir / piece);
        for (std::size_t offset : {std::size_t{0}, std::size_t{10}, size / 2, size - 5, size - 1}) {
            SCOPED_TRACE(std::string(piece) + " at " + std::to_string(offset));
            FlipByte(dir / piece, offset);
            ExpectRefused(offset == 0 ? "文件格式错误，不是有效的分割文件："  // its own check
                                      : kMismatch + (dir / piece).string() + "（校验文件：" +
                                            checksumList + "）。请重新获取这个文件，或者重新分割");
            FlipByte(dir / piece, offset);
        }
    }
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

TEST_F(CheckedSet, a_changed_list_file_a_short_or_garbled_checksum_list_is_refused) {
    const Bytes list = ReadFile(dir / "a.rar.FLF");
    const Bytes checksums = ReadFile(dir / "a.rar.FLF.sha256");
    Bytes longer = list;
    longer.push_back('x');
    WriteFile(dir / "a.rar.FLF", longer);
    ExpectRefused("列表文件已损坏或不属于这组分割文件：" + (dir / "a.rar.FLF").string());
    WriteFile(dir / "a.rar.FLF", list);

    const std::string text(checksums.begin(), checksums.end());
    const std::string twoLines = text.substr(0, 2 * (64 + 2 + 9));  // the first two pieces only
    WriteFile(dir / "a.rar.FLF.sha256", Bytes(twoLines.begin(), twoLines.end()));
    ExpectRefused("校验文件没有列出这个分割文件：" + (dir / "a.rar.002").string());
    WriteFile(dir / "a.rar.FLF.sha256", Bytes{'n', 'o', 'n', 's', 'e', 'n', 's', 'e', '\n'});
    ExpectRefused("校验文件无法读取或格式不对：" + (dir / "a.rar.FLF.sha256").string());
    WriteFile(dir / "a.rar.FLF.sha256", checksums);
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

TEST(ChecksumList, a_set_renamed_and_moved_with_its_checksum_list_still_checks) {
    TempDir dir;
    const Bytes source = RandomBytes(2500, 97);
    WriteFile(dir / "a.rar", source);
    SplitOrFail(dir / "a.rar", 1000);
    fs::create_directory(dir / "moved");
    for (const char* ext : {".00", ".001", ".002", ".FLF", ".FLF.sha256"}) {
        fs::rename(dir / (std::string("a.rar") + ext), dir / "moved" / (std::string("b") + ext));
    }
    Module1::MergeFile(U16(dir / "moved" / "b.FLF"), U16(dir / "moved" / "b"));
    EXPECT_EQ(ReadFile(dir / "moved" / "b"), source);
}

// Mixed sets, with the checksum list an earlier split left and with none (as older copies
// leave): each must fail its merge and keep the old output.
class MixedSet : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        WriteFile(dir / "s", source);
        SplitOrFail(dir / "s", 2100000);  // three pieces
        if (!GetParam()) {
            fs::remove(dir / "s.FLF.sha256");
        }
        WriteFile(dir / "out", previous);
    }

    void ExpectMergeRefused() {
        const std::vector<std::string> before = dir.List();
        const std::string message = MergeError(dir / "s.FLF", dir / "out");
        EXPECT_NE(message.find("不属于同一次分割"), std::string::npos) << message;
        EXPECT_EQ(ReadFile(dir / "out"), previous);
        EXPECT_EQ(dir.List(), before);
    }

    TempDir dir;
    const Bytes source = RandomBytes(6000000, 98);
    const Bytes previous = RandomBytes(100, 99);
};
INSTANTIATE_TEST_SUITE_P(WithAndWithoutChecksumList, MixedSet, ::testing::Bool());

TEST_P(MixedSet, a_smaller_resplit_that_failed_on_a_full_disk_leaves_the_older_set_merging) {
    const std::vector<std::string> before = dir.List();
    std::u16string message;
    {
        // The disk fills as the fourth of six pieces is begun.
        FaultPlan plan = FailEveryStep(Step::Create, ENOSPC);
        plan.failAt = 4;
        InjectedFault diskFull(plan);
        ASSERT_FALSE(Module1::SplitFile(U16(dir / "s"), 0, message, 1 << 20));
    }
    EXPECT_EQ(Utf8(message).rfind("磁盘已满：", 0), 0u) << Utf8(message);
    EXPECT_EQ(dir.List(), before) << "no piece of the failed split and no temporary";
    Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

TEST_P(MixedSet, a_piece_whose_element_count_was_patched_to_zero) {
    Bytes piece = ReadFile(dir / "s.001");
    std::fill(piece.begin() + 2, piece.begin() + 6, 0);
    WriteFile(dir / "s.001", piece);
    ExpectMergeRefused();
}

TEST_P(MixedSet, the_old_list_file_over_pieces_that_a_resplit_rewrote) {
    // What a merge sees while another split rewrites the pieces under it, or after it.
    const Bytes oldList = ReadFile(dir / "s.FLF");
    const bool hadChecksums = fs::exists(dir / "s.FLF.sha256");
    const Bytes oldChecksums = hadChecksums ? ReadFile(dir / "s.FLF.sha256") : Bytes{};
    SplitOrFail(dir / "s", 1 << 20);  // six pieces, of which the old list names three
    WriteFile(dir / "s.FLF", oldList);
    if (hadChecksums) {
        WriteFile(dir / "s.FLF.sha256", oldChecksums);
    } else {
        fs::remove(dir / "s.FLF.sha256");
    }
    ExpectMergeRefused();
}

TEST(SetLength, a_source_of_2_gib_or_more_needs_at_least_that_much_data) {
    TempDir dir;
    WriteFile(dir / "s.FLF", Module1::EncodeListRecord({2147483647, u"s", 2, 0}));
    WriteFile(dir / "s.00", Module1::EncodePieceRecord({{'a', 'b'}, 2}));
    WriteFile(dir / "s.001", Module1::EncodePieceRecord({{'c'}, 1}));
    EXPECT_EQ(MergeError(dir / "s.FLF", dir / "out"),
              "分割文件不完整或不属于同一次分割（分割文件共 3 字节，列表文件记录 2147483647 "
              "字节）：" +
                  (dir / "s.FLF").string());
    // An older copy's set whose trailing Length disagrees with the element count still merges:
    // the element count decides.
    WriteFile(dir / "t.FLF", Module1::EncodeListRecord({3, u"t", 2, 0}));
    WriteFile(dir / "t.00", Module1::EncodePieceRecord({{'a', 'b'}, 7}));
    WriteFile(dir / "t.001", Module1::EncodePieceRecord({{'c'}, 0}));
    Module1::MergeFile(U16(dir / "t.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), (Bytes{'a', 'b', 'c'}));
}

TEST(TwoSplits, a_second_split_of_a_file_being_split_is_refused_and_writes_nothing) {
    TempDir dir;
    WriteFile(dir / "s", RandomBytes(2500, 100));
    const int held = ::open((dir / "s").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);  // as a running split holds it
    std::u16string message;
    EXPECT_FALSE(Module1::SplitFile(U16(dir / "s"), 0, message, 1000));
    EXPECT_EQ(Utf8(message),
              "这个文件正在被另一次分割使用，请等它完成后再试：" + (dir / "s").string());
    EXPECT_EQ(dir.List(), std::vector<std::string>{"s"});
    ::close(held);
    SplitOrFail(dir / "s", 1000);
}

TEST(TwoSplits, run_at_once_on_one_file_only_one_succeeds_and_its_set_merges) {
    TempDir dir;
    const Bytes source = RandomBytes(400000, 101);
    WriteFile(dir / "s", source);
    std::u16string first, second;
    bool firstOk = false, secondOk = false;
    {
        InjectedFault slow(PauseEveryStep(std::chrono::milliseconds(2)));
        std::thread a([&] { firstOk = Module1::SplitFile(U16(dir / "s"), 0, first, 10000); });
        std::thread b([&] { secondOk = Module1::SplitFile(U16(dir / "s"), 0, second, 30000); });
        a.join();
        b.join();
    }
    EXPECT_NE(firstOk, secondOk) << Utf8(first) << " / " << Utf8(second);
    Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
}
