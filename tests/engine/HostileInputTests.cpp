// SPDX-License-Identifier: GPL-3.0-or-later
// What a hostile user or a broken system can throw at the engine: invisible NULs in names,
// FIFOs and devices where files belong, other owners, file-size limits, links and long
// paths. Every case ends quickly with a message and leaves the user's files as they were.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>

#include "Module1.h"
#include "SetWithOutput.h"
#include "TestFiles.h"

using namespace testing_files;
namespace fs = std::filesystem;

namespace {

// Kills the test with SIGALRM instead of letting a blocked open hang the suite.
class Deadline {
  public:
    explicit Deadline(unsigned seconds) { ::alarm(seconds); }
    ~Deadline() { ::alarm(0); }
};

std::u16string WithNul(const fs::path& before, const std::string& after) {
    std::u16string path = U16(before);
    path.push_back(u'\0');
    return path + U16(after);
}

using HostileSet = SetWithOutput;

}  // namespace

TEST(NulInPath, a_split_refuses_it_and_leaves_the_file_before_the_nul_untouched) {
    TempDir dir;
    const Bytes photo = RandomBytes(5000, 83);
    WriteFile(dir / "photo.jpg", photo);
    std::u16string message;
    EXPECT_FALSE(Module1::SplitFile(WithNul(dir / "photo.jpg", " (copy)"), 0, message, 1000));
    EXPECT_EQ(Utf8(message).rfind("文件名中含有空字符", 0), 0u) << Utf8(message);
    EXPECT_EQ(ReadFile(dir / "photo.jpg"), photo);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"photo.jpg"});
}

TEST_F(HostileSet, a_merge_refuses_a_nul_in_the_list_path_or_the_output_name) {
    for (const auto& [list, output] :
         {std::pair{WithNul(dir / "a.rar.FLF", "x"), U16(dir / "new")},
          std::pair{U16(dir / "a.rar.FLF"), WithNul(dir / "out", ".bak")}}) {
        try {
            Module1::MergeFile(list, output);
            ADD_FAILURE() << "merge succeeded";
        } catch (const Module1::EngineError& error) {
            EXPECT_EQ(std::string(error.what()).rfind("文件名中含有空字符", 0), 0u) << error.what();
        }
    }
    EXPECT_FALSE(Module1::NamesFileOfSet(U16(dir / "a.rar.FLF"), WithNul(dir / "out", "")));
    EXPECT_EQ(ReadFile(dir / "out"), previous);
    EXPECT_EQ(dir.List(), before);
}

TEST_F(HostileSet, a_fifo_as_list_file_or_piece_fails_at_once_instead_of_waiting_for_a_writer) {
    const Deadline deadline(10);
    ASSERT_EQ(::mkfifo((dir / "pipe.FLF").c_str(), 0644), 0);
    EXPECT_EQ(MergeError(dir / "pipe.FLF", dir / "out"),
              "不是普通文件（管道、设备或套接字不能分割或合并）：" + (dir / "pipe.FLF").string());
    fs::remove(dir / "a.rar.001");
    ASSERT_EQ(::mkfifo((dir / "a.rar.001").c_str(), 0644), 0);
    EXPECT_EQ(MergeError(dir / "a.rar.FLF", dir / "out"),
              "不是普通文件（管道、设备或套接字不能分割或合并）：" + (dir / "a.rar.001").string());
    EXPECT_EQ(ReadFile(dir / "out"), previous);
}

TEST(SpecialFiles, a_split_refuses_a_fifo_source_or_a_fifo_or_link_to_one_where_it_would_write) {
    const Deadline deadline(10);
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "source").c_str(), 0644), 0);
    std::u16string message;
    EXPECT_FALSE(Module1::SplitFile(U16(dir / "source"), 0, message, 1000));
    EXPECT_EQ(Utf8(message).rfind("不是普通文件", 0), 0u) << Utf8(message);

    const Bytes source = RandomBytes(2500, 84);
    for (const std::string taken : {"s.001", "s.FLF"}) {
        SCOPED_TRACE(taken);
        TempDir set;
        WriteFile(set / "s", source);
        ASSERT_EQ(::mkfifo((set / "fifo").c_str(), 0644), 0);
        fs::create_symlink(set / "fifo", set / taken);
        const std::vector<std::string> before = set.List();
        EXPECT_FALSE(Module1::SplitFile(U16(set / "s"), 0, message, 1000));
        EXPECT_EQ(Utf8(message),
                  "不是普通文件（管道、设备或套接字不能分割或合并）：" + (set / taken).string());
        EXPECT_EQ(set.List(), before) << "nothing written before the refusal";
        EXPECT_EQ(ReadFile(set / "s"), source);
    }
}

TEST_F(HostileSet, an_output_that_is_a_device_fifo_or_socket_or_a_link_to_one_is_left_alone) {
    const Deadline deadline(10);
    std::vector<std::string> outputs = {"fifo", "sock", "link-to-fifo"};
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    fs::create_symlink(dir / "fifo", dir / "link-to-fifo");
    // A device node of our own (the null device's numbers) where root may make one; a broken
    // merge then replaces this node, never the system's /dev/null.
    if (::mknod((dir / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) {
        fs::create_symlink(dir / "null", dir / "link-to-null");
        outputs.insert(outputs.end(), {"null", "link-to-null"});
    }
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (dir / "sock").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    for (const std::string& name : outputs) {
        SCOPED_TRACE(name);
        EXPECT_EQ(MergeError(dir / "a.rar.FLF", dir / name).rfind("不是普通文件", 0), 0u);
    }
    ::close(listening);
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_TRUE(fs::is_socket(dir / "sock"));
    if (outputs.size() > 3) {
        EXPECT_TRUE(fs::is_character_file(dir / "null"));
    }
}

TEST_F(HostileSet, a_dangling_link_as_output_is_refused_and_stays_a_link) {
    fs::create_symlink(dir / "nowhere" / "x", dir / "dangling");
    EXPECT_EQ(MergeError(dir / "a.rar.FLF", dir / "dangling"),
              "符号链接指向的文件不存在，请指定实际的文件：" + (dir / "dangling").string());
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

TEST_F(HostileSet, a_replaced_output_loses_setuid_setgid_and_sticky_and_keeps_its_owner_as_root) {
    ASSERT_EQ(::chmod((dir / "out").c_str(), 07755), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown((dir / "out").c_str(), 65534, 65534), 0);  // nobody:nogroup
        ASSERT_EQ(::chmod((dir / "out").c_str(), 07755), 0);         // chown cleared the bits
    }
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "out"));
    struct stat info {};
    ASSERT_EQ(::stat((dir / "out").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    if (root) {
        EXPECT_EQ(info.st_uid, 65534u);
        EXPECT_EQ(info.st_gid, 65534u);
    }
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

TEST(SetGuard, a_piece_of_a_set_split_through_a_symbolic_link_is_recognised) {
    TempDir dir;
    fs::create_directories(dir / "store");
    fs::create_directories(dir / "work");
    WriteFile(dir / "store" / "data.bin", RandomBytes(2500, 86));
    fs::create_symlink("../store/data.bin", dir / "work" / "data.bin");
    SplitOrFail(dir / "work" / "data.bin", 1000);
    const std::u16string list = U16(dir / "work" / "data.bin.FLF");
    EXPECT_TRUE(Module1::NamesFileOfSet(list, U16(dir / "work" / "data.bin.001")));
    EXPECT_TRUE(Module1::NamesFileOfSet(list, U16(dir / "work" / "data.bin.FLF")));
    EXPECT_FALSE(Module1::NamesFileOfSet(list, U16(dir / "work" / "data.bin")));

    // A name that reaches a piece through a link or a hard link is that piece too.
    fs::create_symlink(dir / "work" / "data.bin.002", dir / "link");
    fs::create_hard_link(dir / "work" / "data.bin.00", dir / "hard");
    EXPECT_TRUE(Module1::NamesFileOfSet(list, U16(dir / "link")));
    EXPECT_TRUE(Module1::NamesFileOfSet(list, U16(dir / "hard")));
}

TEST(LongPaths, a_merge_writes_an_output_whose_path_is_close_to_the_longest_there_is) {
    TempDir dir;
    const Bytes source = RandomBytes(2500, 87);
    WriteFile(dir / "s", source);
    SplitOrFail(dir / "s", 1000);
    // Folders nested until a 60-byte output name makes a path two bytes short of PATH_MAX: the
    // temporary file's name is longer than that, so only a path relative to the folder works.
    const std::size_t target = PATH_MAX - 2 - 61;
    fs::path folder = dir.path();
    while (folder.string().size() < target) {
        const std::size_t left = target - folder.string().size() - 1;
        folder /= std::string(left > 250 ? 200 : left, 'd');
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0) << folder.string().size();
    }
    const fs::path output = folder / std::string(60, 'o');
    ASSERT_EQ(output.string().size(), PATH_MAX - 2u);
    Module1::MergeFile(U16(dir / "s.FLF"), U16(output));
    EXPECT_EQ(ReadFile(output), source);
}
