// SPDX-License-Identifier: GPL-3.0-or-later
// Every set carries a checksum list that sha256sum checks, and no merge reports success over
// pieces that do not belong together: flipped bytes, patched headers, a split that failed
// halfway over an older set, or two splits of one file at once.
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
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

void FlipByte(const fs::path& file, std::size_t offset) {
    Bytes bytes = ReadFile(file);
    bytes.at(offset) ^= 0x20;
    WriteFile(file, bytes);
}

// How a merge refuses a piece its checksum list does not vouch for.
std::string Mismatch(const fs::path& piece) {
    return Opening("分割出的文件已损坏或不属于同一次分割", Utf8(piece));
}

}  // namespace

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
    const std::string checksumList = Utf8(dir / "a.rar.FLF.sha256");
    for (const char* piece : {"a.rar.00", "a.rar.001", "a.rar.002"}) {
        const std::size_t size = fs::file_size(dir / piece);
        for (std::size_t offset : {std::size_t{0}, std::size_t{10}, size / 2, size - 5, size - 1}) {
            SCOPED_TRACE(std::string(piece) + " at " + std::to_string(offset));
            FlipByte(dir / piece, offset);
            ExpectRefused(offset == 0 ? "文件格式错误，不是有效的分割出的文件："  // its own check
                                      : Mismatch(dir / piece) + "\r校验文件：\r“" + checksumList +
                                            "”\r请重新获取这份文件，或者重新分割源文件。");
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
    ExpectRefused(
        Opening("列表文件（.FLF）已损坏或不属于这组分割出的文件", Utf8(dir / "a.rar.FLF")));
    WriteFile(dir / "a.rar.FLF", list);

    const std::string text(checksums.begin(), checksums.end());
    const std::string twoLines = text.substr(0, 2 * (64 + 2 + 9));  // the first two pieces only
    WriteFile(dir / "a.rar.FLF.sha256", Bytes(twoLines.begin(), twoLines.end()));
    ExpectRefused(Opening("校验文件没有列出这份文件", Utf8(dir / "a.rar.002")));
    WriteFile(dir / "a.rar.FLF.sha256", Bytes{'n', 'o', 'n', 's', 'e', 'n', 's', 'e', '\n'});
    ExpectRefused(Opening("校验文件无法读取或格式不对", Utf8(dir / "a.rar.FLF.sha256")));
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

// Mixed sets, with the checksum list an earlier split left and without one: each must fail its
// merge and keep the old output, unless the older set was left whole.
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
    EXPECT_SAYS(MergeError(dir / "s.FLF", dir / "out"),
                "分割出的文件不完整或不属于同一次分割（分割出的文件共 3 字节，列表文件（.FLF）记录 "
                "2147483647 字节）",
                Utf8(dir / "s.FLF"));
    // A set whose trailing Length disagrees with the element count still merges:
    // the element count decides.
    WriteFile(dir / "t.FLF", Module1::EncodeListRecord({3, u"t", 2, 0}));
    WriteFile(dir / "t.00", Module1::EncodePieceRecord({{'a', 'b'}, 7}));
    WriteFile(dir / "t.001", Module1::EncodePieceRecord({{'c'}, 0}));
    Module1::MergeFile(U16(dir / "t.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), (Bytes{'a', 'b', 'c'}));
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

// Checksum lists that sha256sum and other tools accept, made or changed by a user.
TEST_F(CheckedSet, a_checksum_list_saved_with_windows_line_ends_checks) {
    const Bytes lf = ReadFile(dir / "a.rar.FLF.sha256");
    Bytes crlf;
    for (const std::uint8_t byte : lf) {
        if (byte == '\n') {
            crlf.push_back('\r');
        }
        crlf.push_back(byte);
    }
    WriteFile(dir / "a.rar.FLF.sha256", crlf);
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

namespace {

// Renames the named files in from over those in to, as a split that brings its new set in does.
void BringIn(const fs::path& from, const fs::path& to, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        fs::rename(from / name, to / name);
    }
}

// How many files a clean merge of the list opens, counted on a copy of its folder.
int OpensOfAMerge(const fs::path& folder) {
    TempDir copy;
    for (const auto& entry : fs::directory_iterator(folder)) {
        fs::copy_file(entry.path(), copy.path() / entry.path().filename());
    }
    InjectedFault count(BeforeNthStep(Step::Open, 1000, [] {}));
    Module1::MergeFile(U16(copy / "a.rar.FLF"), U16(copy / "out"));
    return count.Steps();
}

}  // namespace

TEST(SplitDuringMerge, pieces_another_split_renames_in_while_copying_fail_a_set_without_checksums) {
    TempDir dir;
    TempDir newer;
    WriteFile(dir / "a.rar", RandomBytes(25, 110));
    SplitOrFail(dir / "a.rar", 10);
    fs::remove(dir / "a.rar.FLF.sha256");
    WriteFile(newer / "a.rar", RandomBytes(25, 111));  // pieces of the same lengths
    SplitOrFail(newer / "a.rar", 10);
    fs::remove(newer / "a.rar.FLF.sha256");
    // The last three opens copy the three pieces; the new set comes in after the first.
    const int firstCopy = OpensOfAMerge(dir.path()) - 2;
    {
        InjectedFault resplit(BeforeNthStep(Step::Open, firstCopy + 1, [&] {
            BringIn(newer.path(), dir.path(), {"a.rar.00", "a.rar.001", "a.rar.002"});
        }));
        EXPECT_EQ(MergeFails(dir / "a.rar.FLF", dir / "out").failure,
                  Module1::Failure::PieceChangedDuringMerge);
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
}

#if !defined(_WIN32)
// What needs sha256sum, locks, links, fork, renames over open files and file times as POSIX
// systems give them.

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

}  // namespace

// On Windows the merge holds its list file open, and no rename replaces it meanwhile.
TEST(SplitDuringMerge,
     a_set_another_split_renames_in_after_the_list_file_was_read_fails_the_merge) {
    TempDir dir;
    TempDir newer;
    WriteFile(dir / "a.rar", RandomBytes(30, 112));  // three pieces of 10
    SplitOrFail(dir / "a.rar", 10);
    WriteFile(newer / "a.rar", RandomBytes(50, 113));  // five, the first three as long
    SplitOrFail(newer / "a.rar", 10);
    {
        // The list file is the first file opened, the checksum list the second.
        InjectedFault resplit(BeforeNthStep(Step::Open, 2, [&] {
            BringIn(newer.path(), dir.path(),
                    {"a.rar.00", "a.rar.001", "a.rar.002", "a.rar.003", "a.rar.004",
                     "a.rar.FLF.sha256", "a.rar.FLF"});
        }));
        EXPECT_EQ(MergeError(dir / "a.rar.FLF", dir / "out").rfind("列表文件（.FLF）", 0), 0u);
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
}

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

TEST(TwoSplits, a_second_split_of_a_file_being_split_is_refused_and_writes_nothing) {
    TempDir dir;
    WriteFile(dir / "s", RandomBytes(2500, 100));
    const int held = ::open((dir / "s").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);  // as a running split holds it
    std::u16string message;
    EXPECT_FALSE(Module1::SplitFile(U16(dir / "s"), 0, message, 1000));
    EXPECT_SAYS(Utf8(message), "这个文件正在被另一次分割使用", Utf8(dir / "s"));
    EXPECT_EQ(dir.List(), std::vector<std::string>{"s"});
    ::close(held);
    SplitOrFail(dir / "s", 1000);
}

namespace {

// A piece file of the given data length that takes no disk space: descriptor, a hole, Length.
void MakeSparsePiece(const fs::path& path, std::uint32_t length) {
    MakeSparseFile(path, 14 + std::int64_t{length});
    const Bytes descriptor = Module1::EncodeDescriptor(length);
    const Bytes trailer = Le32(length);
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, descriptor.data(), descriptor.size(), 0), 10);
    ASSERT_EQ(::pwrite(fd, trailer.data(), 4, 10 + std::int64_t{length}), 4);
    ::close(fd);
}

}  // namespace

TEST(SetLength, a_set_of_2_gib_or_more_needs_the_shape_of_one_split_as_well) {
    // What a re-split at another size, killed halfway over an older set without a checksum
    // list, used to leave: pieces of two sizes under a list file that records 2147483647.
    constexpr std::uint32_t kGiB = 1u << 30;
    for (const std::vector<std::uint32_t>& lengths :
         {std::vector<std::uint32_t>{kGiB, kGiB / 2, kGiB}, {kGiB, kGiB, kGiB + 1}}) {
        TempDir dir;
        WriteFile(dir / "s.FLF",
                  Module1::EncodeListRecord({2147483647, u"s", static_cast<std::int16_t>(3), 0}));
        for (std::int32_t k = 1; k <= 3; ++k) {
            MakeSparsePiece(dir / Utf8(Module1::PieceName(u"s", 0, k)),
                            lengths[static_cast<std::size_t>(k - 1)]);
        }
        EXPECT_EQ(MergeFails(dir / "s.FLF", dir / "out").failure,
                  Module1::Failure::SetLengthMismatch);
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
}

TEST(SplitWhileWritten, a_source_rewritten_in_place_fails_the_split_and_keeps_the_older_set) {
    TempDir dir;
    const Bytes older = RandomBytes(3000, 103);
    WriteFile(dir / "s", older);
    SplitOrFail(dir / "s", 1000);
    WriteFile(dir / "s", RandomBytes(3000, 104));
    const timespec lastYear[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "s").c_str(), lastYear, 0), 0);
    const std::vector<std::string> before = dir.List();
    std::u16string message;
    {
        // Another program writes over the start and the end of the file, as `dd conv=notrunc`
        // does, once the split has read its first chunk.
        InjectedFault rewrite(BeforeNthStep(Step::Read, 2, [&] {
            const int fd = ::open((dir / "s").c_str(), O_WRONLY);
            const Bytes patch(16, 0xAB);
            EXPECT_EQ(::pwrite(fd, patch.data(), patch.size(), 0), 16);
            EXPECT_EQ(::pwrite(fd, patch.data(), patch.size(), 3000 - 16), 16);
            ::close(fd);
        }));
        EXPECT_FALSE(Module1::SplitFile(U16(dir / "s"), 0, message, 500));
    }
    EXPECT_EQ(Utf8(message).rfind("源文件在分割过程中被修改", 0), 0u) << Utf8(message);
    EXPECT_NE(Utf8(message).find((dir / "s").string()), std::string::npos);
    EXPECT_EQ(dir.List(), before);
    Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), older);
}

TEST(ChecksumList, one_regenerated_in_the_shells_order_over_1100_pieces_checks_every_piece) {
    TempDir dir;
    const Bytes source = RandomBytes(10999, 105);  // 1100 pieces
    WriteFile(dir / "a.rar", source);
    SplitOrFail(dir / "a.rar", 10);
    const auto [output, status] =
        RunShell("cd " + Quoted(dir.path()) +
                 " && LC_ALL=C sha256sum a.rar.[0-9]* a.rar.FLF > a.rar.FLF.sha256"
                 " && sed -n 3,4p a.rar.FLF.sha256");
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find("a.rar.002\n"), std::string::npos) << "listed in the shell's order";
    EXPECT_NE(output.find("a.rar.003\n"), std::string::npos) << output;
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
    FlipByte(dir / "a.rar.1005", 12);
    EXPECT_EQ(MergeError(dir / "a.rar.FLF", dir / "out2").rfind(Mismatch(dir / "a.rar.1005"), 0),
              0u);
}

TEST_F(CheckedSet, the_forms_other_tools_write_are_read_and_still_checked) {
    const std::string inFolder = "cd " + Quoted(dir.path()) + " && ";
    const std::string files = "a.rar.00 a.rar.001 a.rar.002 a.rar.FLF";
    for (const std::string& command : std::vector<std::string>{
             "sha256sum --tag " + files,             // SHA256 (name) = hex
             "sha256sum -b ./a.rar.0* ./a.rar.FLF",  // " *" and a "./" prefix
             "sha256sum " + files + " a.rar",        // with the source's line too
             "printf '\\357\\273\\277# made by hand\\n\\n'; sha256sum " + files}) {  // BOM, comment
        SCOPED_TRACE(command);
        const auto [output, status] = RunShell(inFolder + "(" + command + ") > a.rar.FLF.sha256");
        ASSERT_EQ(status, 0) << output;
        Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "merged"));
        EXPECT_EQ(ReadFile(dir / "merged"), source);
        fs::remove(dir / "merged");
        FlipByte(dir / "a.rar.001", 500);
        ExpectRefused(Mismatch(dir / "a.rar.001"));
        FlipByte(dir / "a.rar.001", 500);
    }
}

TEST_F(CheckedSet, a_missing_or_doubled_line_is_named_and_a_listed_piece_is_never_missing) {
    const auto rewrite = [&](const std::string& sedScript) {
        const auto [output, status] = RunShell("cd " + Quoted(dir.path()) +
                                               " && sha256sum a.rar.00 a.rar.001 a.rar.002 "
                                               "a.rar.FLF | sed '" +
                                               sedScript + "' > a.rar.FLF.sha256");
        ASSERT_EQ(status, 0) << output;
    };
    rewrite("/a.rar.001$/d");
    ExpectRefused(Opening("校验文件没有列出这份文件", Utf8(dir / "a.rar.001")));
    rewrite("/a.rar.002$/p");
    ExpectRefused(Opening("校验文件把这份文件列出了不止一次", Utf8(dir / "a.rar.002")));
    rewrite("1!G;h;$!d");  // the lines in reverse order
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

TEST_F(CheckedSet, a_checksum_list_that_is_a_link_to_nothing_fails_the_merge) {
    fs::remove(dir / "a.rar.FLF.sha256");
    fs::create_symlink(dir / "gone.sha256", dir / "a.rar.FLF.sha256");
    FlipByte(dir / "a.rar.002", 100);
    ExpectRefused(Opening("校验文件无法读取或格式不对", Utf8(dir / "a.rar.FLF.sha256")));
}

namespace {

enum class SetOnDisk { Older, Newer, NoListFile, Wrong };

// What the set at s.FLF merges into, read as a reader that knows only the fixed piece and list
// layouts reads it: the list record, then each piece's data by its descriptor.
SetOnDisk ReadLikeALayoutOnlyReader(const fs::path& dir, const Bytes& older, const Bytes& newer) {
    if (!fs::exists(dir / "s.FLF")) {
        return SetOnDisk::NoListFile;
    }
    const Module1::ListRecord list = Module1::DecodeListRecord(ReadFile(dir / "s.FLF"), "s.FLF");
    Bytes joined;
    for (std::int32_t k = 1; k <= list.PieceCount; ++k) {
        const fs::path piece = dir / Utf8(Module1::PieceName(u"s", list.FirstNumber, k));
        if (!fs::exists(piece)) {
            return SetOnDisk::Wrong;
        }
        const Module1::PieceRecord record = Module1::DecodePieceRecord(ReadFile(piece), "piece");
        joined.insert(joined.end(), record.Data.begin(), record.Data.end());
    }
    return joined == older   ? SetOnDisk::Older
           : joined == newer ? SetOnDisk::Newer
                             : SetOnDisk::Wrong;
}

}  // namespace

TEST(BringingIn, a_split_killed_at_any_step_leaves_the_older_set_or_no_list_file_never_a_mix) {
    const Bytes older = RandomBytes(5000, 106);  // five pieces of 1000
    const Bytes newer = RandomBytes(2500, 107);  // three pieces of 1000, 1000 and 500
    auto prepare = [&](const TempDir& dir) {
        WriteFile(dir / "s", older);
        SplitOrFail(dir / "s", 1000);
        WriteFile(dir / "s", newer);
    };
    int total = 0;
    {
        TempDir dir;
        prepare(dir);
        InjectedFault count(FaultPlan{});
        SplitOrFail(dir / "s", 1000);
        total = count.Steps();
    }
    ASSERT_GT(total, 10);
    int withoutListFile = 0;
    for (int step = 1; step <= total; ++step) {
        SCOPED_TRACE("killed before step " + std::to_string(step));
        TempDir dir;
        prepare(dir);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FaultPlan kill;
            kill.failAt = step;
            kill.action = [] { ::_exit(0); };
            InjectedFault killed(kill);
            std::u16string message;
            Module1::SplitFile(U16(dir / "s"), 0, message, 1000);
            ::_exit(1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the split outran the kill";

        const SetOnDisk left = ReadLikeALayoutOnlyReader(dir.path(), older, newer);
        EXPECT_NE(left, SetOnDisk::Wrong);
        withoutListFile += left == SetOnDisk::NoListFile;
        if (left != SetOnDisk::NoListFile) {
            Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
            EXPECT_EQ(ReadFile(dir / "out"), left == SetOnDisk::Older ? older : newer);
            fs::remove(dir / "out");
        }
        // The next split of the same file takes away what the killed one left.
        SplitOrFail(dir / "s", 1000);
        for (const std::string& name : dir.List()) {
            EXPECT_FALSE(name.ends_with(".splitting")) << name;
        }
        EXPECT_EQ(ReadLikeALayoutOnlyReader(dir.path(), older, newer), SetOnDisk::Newer);
    }
    EXPECT_GE(withoutListFile, 1) << "no kill fell between the removal and the last rename";
}

namespace {

// Another user of a shared folder, by ids no account needs.
constexpr unsigned kOtherUser = 4242;
constexpr unsigned kSharedGroup = 4343;

// Puts bytes at path as the other user: a new file, or, with replacing, one renamed over
// whatever stands there, as she may in a folder that is not sticky. Plain system calls only: it
// runs in a child forked from the engine's thread.
void PlantAsOtherUser(const fs::path& path, const Bytes& bytes, bool replacing) {
    AsUser(kOtherUser, kSharedGroup, [&] {
        const fs::path written = replacing ? fs::path(path.string() + ".hers") : path;
        const int fd = ::open(written.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        const bool ok = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) ==
                                       static_cast<ssize_t>(bytes.size());
        ::close(fd);
        return ok && (!replacing || ::rename(written.c_str(), path.c_str()) == 0)
                   ? std::string()
                   : std::string("could not plant ") + path.string();
    });
}

}  // namespace

TEST(BringingIn, a_name_another_user_takes_meanwhile_is_never_replaced_and_the_older_set_stays) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "acting as another user needs root";
    }
    struct Row {
        const char* name;
        mode_t folder;
        bool olderChecksums;  // whether the older set has a checksum list
        bool replacing;       // an older file replaced by hers, or a free name taken
    };
    const Bytes older = RandomBytes(5000, 120);  // s.00 to s.004
    const Bytes newer = RandomBytes(5500, 121);  // s.00 to s.005
    const Bytes hers = RandomBytes(77, 122);
    for (const Row row : {Row{"s.005", 01777, true, false}, Row{"s.005", 02775, true, false},
                          Row{"s.FLF.sha256", 01777, false, false}, Row{"s.002", 02775, true, true},
                          Row{"s.FLF", 02775, true, true}}) {
        SCOPED_TRACE(std::string(row.name) + " in a folder of mode " + std::to_string(row.folder));
        TempDir dir;
        ASSERT_EQ(::chown(dir.path().c_str(), 0, kSharedGroup), 0);
        ASSERT_EQ(::chmod(dir.path().c_str(), row.folder), 0);
        WriteFile(dir / "s", older);
        SplitOrFail(dir / "s", 1000);
        if (!row.olderChecksums) {
            fs::remove(dir / "s.FLF.sha256");
        }
        WriteFile(dir / "s", newer);
        std::vector<std::string> expected = dir.List();
        if (!row.replacing) {
            expected.push_back(row.name);
            std::sort(expected.begin(), expected.end());
        }
        std::u16string message;
        {
            // After every check, just before the bring-in's first rename.
            InjectedFault taken(BeforeNthStep(
                Step::Rename, 1, [&] { PlantAsOtherUser(dir / row.name, hers, row.replacing); }));
            EXPECT_FALSE(Module1::SplitFile(U16(dir / "s"), 0, message, 1000));
        }
        EXPECT_SAYS(Utf8(message), "文件已存在", Utf8(dir / row.name));
        EXPECT_EQ(ReadFile(dir / row.name), hers);
        struct stat info {};
        ASSERT_EQ(::stat((dir / row.name).c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, kOtherUser);
        EXPECT_EQ(dir.List(), expected) << "nothing brought in, no temporary left";
        if (std::string(row.name) == "s.005") {  // elsewhere her file stands in the older set
            Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
            EXPECT_EQ(ReadFile(dir / "out"), older) << "the older set is whole";
        }
    }
}

TEST(SplitDuringMerge, a_piece_rewritten_in_place_while_it_is_copied_fails_the_merge) {
    TempDir dir;
    WriteFile(dir / "a.rar", RandomBytes(30000, 123));
    SplitOrFail(dir / "a.rar", 10000);
    fs::remove(dir / "a.rar.FLF.sha256");  // a set without checksums: nothing else would see it
    {
        // Once the first piece is found as planned, its head and then its tail are written.
        InjectedFault rewrite(BeforeNthStep(Step::Copy, 1, [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // past the clock's tick
            const int fd = ::open((dir / "a.rar.00").c_str(), O_WRONLY);
            const char bytes[4] = {'n', 'e', 'w', '!'};
            EXPECT_EQ(::pwrite(fd, bytes, 4, 10), 4);
            EXPECT_EQ(::pwrite(fd, bytes, 4, 10000), 4);
            ::close(fd);
        }));
        const Failed failed = MergeFails(dir / "a.rar.FLF", dir / "out");
        EXPECT_EQ(failed.failure, Module1::Failure::PieceChangedDuringMerge);
        EXPECT_EQ(failed.paths, std::vector<std::string>{Utf8(dir / "a.rar.00")});
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(ChecksumListLarge, the_longest_the_program_writes_is_read_back_and_sha256sum_agrees) {
    // 32767 pieces of a name of 240 backslashes, each escaped: about 18 MB of checksums.
    TempDir dir;
    const std::string name = std::string(240, '\\') + "s";
    WriteFile(dir / name, RandomBytes(32767, 124));
    SplitOrFail(dir / name, 1);
    EXPECT_GT(fs::file_size(dir / (name + ".FLF.sha256")), std::uintmax_t{16} << 20);
    Module1::MergeFile(U16(dir / (name + ".FLF")), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), ReadFile(dir / name));
    const auto [output, status] = RunShell(
        "cd " + Quoted(dir.path()) + " && sha256sum --quiet -c " + Quoted(name + ".FLF.sha256"));
    EXPECT_EQ(status, 0) << output.substr(0, 500);
}

#endif  // !defined(_WIN32)
