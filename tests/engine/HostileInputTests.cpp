// SPDX-License-Identifier: GPL-3.0-or-later
// What a hostile user or a broken system can throw at the engine: invisible NULs in names,
// FIFOs and devices where files belong, other owners, file-size limits, links and long
// paths. Every case ends quickly with a message and leaves the user's files as they were.
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "FaultInjection.h"
#include "Module1.h"
#include "SetWithOutput.h"
#include "TestFiles.h"

using namespace testing_files;
namespace fs = std::filesystem;

namespace {

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

TEST_F(HostileSet, a_merge_refuses_to_write_into_its_own_set_whoever_calls_it) {
    std::vector<std::string> names = {"a.rar.FLF", "a.rar.FLF.sha256", "a.rar.00", "a.rar.002",
                                      "hard-link-to-a-piece"};
    fs::create_hard_link(dir / "a.rar.001", dir / "hard-link-to-a-piece");
#if !defined(_WIN32)
    fs::create_symlink(dir / "a.rar.001", dir / "link-to-a-piece");
    names.push_back("link-to-a-piece");
#endif
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        before = dir.List();
        EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / name), OutputInSet, Utf8(dir / name));
        ExpectOutputUntouched();
    }
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

#if !defined(_WIN32)
// FIFOs, devices, sockets, symbolic links, owners and modes, which only POSIX systems give the
// engine; Windows has suites of its own for what it has instead.

namespace {

// Kills the test with SIGALRM instead of letting a blocked open hang the suite.
class Deadline {
  public:
    explicit Deadline(unsigned seconds) { ::alarm(seconds); }
    ~Deadline() { ::alarm(0); }
};

}  // namespace

TEST_F(HostileSet, a_fifo_as_list_file_or_piece_fails_at_once_instead_of_waiting_for_a_writer) {
    const Deadline deadline(10);
    ASSERT_EQ(::mkfifo((dir / "pipe.FLF").c_str(), 0644), 0);
    EXPECT_FAILS(MergeFails(dir / "pipe.FLF", dir / "out"), NotRegularFile, Utf8(dir / "pipe.FLF"));
    fs::remove(dir / "a.rar.001");
    ASSERT_EQ(::mkfifo((dir / "a.rar.001").c_str(), 0644), 0);
    EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / "out"), NotRegularFile,
                 Utf8(dir / "a.rar.001"));
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
        EXPECT_SAYS(Utf8(message), "不是普通文件（管道、设备或套接字不能分割或合并）",
                    Utf8(set / taken));
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
        EXPECT_EQ(MergeFails(dir / "a.rar.FLF", dir / name).failure,
                  Module1::Failure::NotRegularFile);
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
    EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / "dangling"), DanglingLink,
                 Utf8(dir / "dangling"));
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

TEST_F(HostileSet, a_replaced_output_open_to_all_becomes_no_more_open_than_the_sets_list_file) {
    for (const char* name : {"a.rar.FLF", "a.rar.00", "a.rar.001", "a.rar.002"}) {
        ASSERT_EQ(::chmod((dir / name).c_str(), 0600), 0);
    }
    ASSERT_EQ(::chmod((dir / "out").c_str(), 0666), 0);
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "out"));
    struct stat info {};
    ASSERT_EQ(::stat((dir / "out").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

TEST_F(HostileSet,
       another_users_link_or_file_in_a_sticky_folder_as_output_is_refused_even_for_root) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can make a file of another user's here";
    }
    // A link another user planted, aimed at a file of the user's elsewhere.
    fs::create_directories(dir / "shared");
    fs::create_directories(dir / "mine");
    const Bytes mine = RandomBytes(30, 14);
    WriteFile(dir / "mine" / "notes", mine);
    fs::create_symlink(dir / "mine" / "notes", dir / "shared" / "out");
    ASSERT_EQ(::lchown((dir / "shared" / "out").c_str(), kNobody, kNobody), 0);
    EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / "shared" / "out"), OtherUsersLinkAsOutput,
                 Utf8(dir / "shared" / "out"));
    EXPECT_EQ(ReadFile(dir / "mine" / "notes"), mine);
    EXPECT_TRUE(fs::is_symlink(dir / "shared" / "out"));

    // Another user's file where only owners may remove files: replaced, it would keep its owner.
    ASSERT_EQ(::chmod(dir.path().c_str(), 01777), 0);
    ASSERT_EQ(::chown((dir / "out").c_str(), kNobody, kNobody), 0);
    before = dir.List();
    EXPECT_FAILS(MergeFails(dir / "a.rar.FLF", dir / "out"), OtherUsersOutput, Utf8(dir / "out"));
    ExpectOutputUntouched();
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

// What stands at the names a split writes: links to the source, links planted elsewhere, other
// users' files and files the user may not write.
namespace {

// A source of three pieces of 1000, 1000 and 500 bytes.
struct SplitSource : ::testing::Test {
    void SetUp() override { WriteFile(dir / "s", source); }

    // The split is refused as failure, naming path, and nothing changes.
    void ExpectRefusedNaming(const fs::path& path, Module1::Failure failure) {
        const std::vector<std::string> before = dir.List();
        const Failed failed = SplitFails(dir / "s", 1000);
        EXPECT_EQ(failed.failure, failure);
        EXPECT_EQ(failed.paths, std::vector<std::string>{Utf8(path)});
        EXPECT_EQ(dir.List(), before) << "nothing written, no temporary left";
        EXPECT_EQ(ReadFile(dir / "s"), source);
    }

    TempDir dir;
    const Bytes source = RandomBytes(2500, 88);
};

}  // namespace

TEST_F(SplitSource, a_link_to_the_source_at_a_piece_or_list_name_is_refused_and_the_source_kept) {
    const Module1::Failure refused = Module1::Failure::SetNameIsSource;
    fs::create_symlink(dir / "s", dir / "s.001");
    ExpectRefusedNaming(dir / "s.001", refused);
    fs::remove(dir / "s.001");
    fs::create_hard_link(dir / "s", dir / "s.002");
    ExpectRefusedNaming(dir / "s.002", refused);
    fs::remove(dir / "s.002");
    fs::create_symlink("s", dir / "s.FLF");
    ExpectRefusedNaming(dir / "s.FLF", refused);
}

TEST_F(SplitSource, links_planted_at_set_names_are_replaced_and_what_they_reach_is_untouched) {
    TempDir far;
    const Bytes victim = RandomBytes(3000, 89);
    WriteFile(far / "victim", victim);
    WriteFile(far / "victim-list", victim);
    fs::create_symlink(far / "victim", dir / "s.001");
    fs::create_symlink(far / "victim-list", dir / "s.FLF");
    fs::create_symlink(far / "created-through-a-link", dir / "s.002");
    SplitOrFail(dir / "s", 1000);
    EXPECT_EQ(ReadFile(far / "victim"), victim);
    EXPECT_EQ(ReadFile(far / "victim-list"), victim);
    EXPECT_EQ(far.List(), (std::vector<std::string>{"victim", "victim-list"}));
    for (const char* name : {"s.001", "s.002", "s.FLF"}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / name))) << name;
    }
    Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

TEST_F(SplitSource, another_users_file_at_a_set_name_is_refused_in_any_folder_even_for_root) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can make a file of another user's here";
    }
    for (const mode_t folder : {0755, 01777, 02775}) {  // hers, sticky, shared by a group
        SCOPED_TRACE(std::to_string(folder));
        ASSERT_EQ(::chmod(dir.path().c_str(), folder), 0);
        WriteFile(dir / "s.001", Bytes(10, 'x'));
        ASSERT_EQ(::chown((dir / "s.001").c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chmod((dir / "s.001").c_str(), 0666), 0);
        ExpectRefusedNaming(dir / "s.001", Module1::Failure::OtherUsersFile);
        EXPECT_EQ(ReadFile(dir / "s.001"), Bytes(10, 'x'));
        fs::remove(dir / "s.001");
    }
}

TEST_F(SplitSource, a_read_only_piece_or_list_file_of_an_older_set_fails_before_any_piece) {
    const Bytes older = RandomBytes(5000, 90);
    WriteFile(dir / "s", older);
    SplitOrFail(dir / "s", 1000);  // five pieces and a list file
    WriteFile(dir / "s", source);
    for (const char* readOnly : {"s.003", "s.FLF"}) {
        SCOPED_TRACE(readOnly);
        ASSERT_EQ(::chmod((dir / readOnly).c_str(), 0444), 0);
        const std::string message = AsOrdinaryUser(dir.path(), [&] {
            std::u16string text;
            return Module1::SplitFile(U16(dir / "s"), 0, text, 500) ? std::string() : Utf8(text);
        });
        EXPECT_SAYS(message, "没有权限", Utf8(dir / readOnly));
        ASSERT_EQ(::chmod((dir / readOnly).c_str(), 0644), 0);
        Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "older"));
        EXPECT_EQ(ReadFile(dir / "older"), older) << "the older set still merges";
        fs::remove(dir / "older");
    }
}

// Who may read what a split and a merge write.
namespace {

std::uint32_t ModeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Sets the umask for as long as it lives.
class Umask {
  public:
    explicit Umask(mode_t mask) : old_(::umask(mask)) {}
    ~Umask() { ::umask(old_); }

  private:
    mode_t old_;
};

}  // namespace

TEST_F(SplitSource, every_file_of_the_set_is_as_private_as_the_source) {
    struct Row {
        mode_t source, umask, expected;
    };
    for (const Row row : {Row{0600, 022, 0600}, Row{0640, 022, 0640}, Row{0666, 022, 0644},
                          Row{0644, 077, 0600}, Row{0400, 022, 0600}}) {
        SCOPED_TRACE(std::to_string(row.source) + " under " + std::to_string(row.umask));
        TempDir set;
        WriteFile(set / "s", source);
        ASSERT_EQ(::chmod((set / "s").c_str(), row.source), 0);
        {
            const Umask mask(row.umask);
            SplitOrFail(set / "s", 1000);
        }
        for (const std::string& name : set.List()) {
            if (name != "s") {
                EXPECT_EQ(ModeOf(set / name), row.expected) << name;
            }
        }
    }
}

TEST_F(SplitSource, pieces_are_unreadable_to_others_while_they_are_written) {
    ASSERT_EQ(::chmod((dir / "s").c_str(), 0644), 0);
    struct Seen {
        std::string name;
        std::uint32_t mode;
        std::int64_t size;
    };
    std::vector<Seen> seen;
    {
        // Once a piece holds its first bytes, look at every file in the folder. The other
        // worker goes on meanwhile and may have completed a piece, which then rightly has its
        // final mode; the piece whose write waits here is incomplete.
        InjectedFault look(BeforeNthStep(Step::Write, 2, [&] {
            for (const std::string& name : dir.List()) {
                struct stat info {};
                if (::stat((dir / name).c_str(), &info) == 0) {
                    seen.push_back({name, info.st_mode & 07777u, info.st_size});
                }
            }
        }));
        SplitOrFail(dir / "s", 1000);
    }
    int incomplete = 0;
    for (const Seen& file : seen) {
        if (file.name == "s") {
            continue;
        }
        EXPECT_TRUE(file.name.ends_with(".splitting")) << file.name;
        // ".<name>.<24 hex>.splitting": incomplete while shorter than the file it becomes (the
        // last piece, shorter than the others, may be complete already).
        const std::string final = file.name.substr(1, file.name.size() - 36);
        if (file.name.find(".FLF") == std::string::npos &&
            file.size < static_cast<std::int64_t>(fs::file_size(dir / final))) {
            ++incomplete;
            EXPECT_EQ(file.mode, 0600u) << file.name << " is incomplete";
        }
    }
    EXPECT_GE(incomplete, 1);
    EXPECT_EQ(ModeOf(dir / "s.001"), 0644u) << "readable once complete, as the source is";
}

TEST_F(HostileSet,
       a_merge_into_a_new_name_takes_the_list_files_privacy_and_no_one_reads_the_temporary) {
    for (const mode_t listMode : {mode_t{0600}, mode_t{0640}}) {
        SCOPED_TRACE(std::to_string(listMode));
        ASSERT_EQ(::chmod((dir / "a.rar.FLF").c_str(), listMode), 0);
        std::uint32_t temporaryMode = 0;
        {
            // While the merged bytes are written into the temporary file.
            InjectedFault look(BeforeNthStep(Step::Write, 1, [&] {
                for (const std::string& name : dir.List()) {
                    if (name.ends_with(".part")) {
                        temporaryMode = ModeOf(dir / name);
                    }
                }
            }));
            Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "new"));
        }
        EXPECT_EQ(temporaryMode, 0600u);
        EXPECT_EQ(ModeOf(dir / "new"), listMode);
        EXPECT_EQ(ReadFile(dir / "new"), source);
        fs::remove(dir / "new");
    }
}

namespace {

// Whether the user uid of the one group gid could open path for reading.
bool CanRead(unsigned uid, unsigned gid, const fs::path& path) {
    return AsUser(uid, gid, [&] {
               const int fd = ::open(path.c_str(), O_RDONLY);
               ::close(fd);
               return fd >= 0 ? "yes" : "no";
           }) == "yes";
}

bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// Leaves path with its owner's bits alone, and an access list that lets nobody read it too.
bool LetNobodyRead(const fs::path& path) {
    return Shell("chmod 600 '" + path.string() + "' && setfacl -m u:65534:r '" + path.string() +
                 "'");
}

}  // namespace

TEST(Readers, nobody_reads_a_piece_or_merged_file_who_could_not_read_what_it_came_from) {
    if (::geteuid() != 0 || !Shell("command -v setfacl >/dev/null")) {
        GTEST_SKIP() << "needs root and setfacl (scripts/setup.sh installs acl)";
    }
    constexpr unsigned kUser = 4242, kGroup = 4343, kOtherGroup = 4444, kGroupMember = 4245;
    const Bytes source = RandomBytes(2500, 95);
    {
        SCOPED_TRACE("a private source with an access list that adds one reader");
        TempDir dir;
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        WriteFile(dir / "s", source);
        ASSERT_TRUE(LetNobodyRead(dir / "s"));
        SplitOrFail(dir / "s", 1000);
        for (const char* name : {"s.00", "s.002", "s.FLF"}) {
            EXPECT_TRUE(CanRead(kNobody, kNobody, dir / name)) << name << ": the list's reader";
            EXPECT_FALSE(CanRead(kGroupMember, 0, dir / name)) << name << ": the source's group";
        }
    }
    {
        SCOPED_TRACE("a source whose group the user cannot give, in a folder of another group");
        TempDir dir;
        ASSERT_EQ(::chown(dir.path().c_str(), 0, kGroup), 0);
        ASSERT_EQ(::chmod(dir.path().c_str(), 02775), 0);
        WriteFile(dir / "s", source);
        ASSERT_EQ(::chown((dir / "s").c_str(), kUser, kOtherGroup), 0);
        ASSERT_EQ(::chmod((dir / "s").c_str(), 0640), 0);
        EXPECT_EQ(AsUser(kUser, kGroup,
                         [&] {
                             std::u16string message;
                             return Module1::SplitFile(U16(dir / "s"), 0, message, 1000)
                                        ? ""
                                        : Utf8(message);
                         }),
                  "");
        for (const char* name : {"s.00", "s.002", "s.FLF"}) {
            EXPECT_TRUE(CanRead(kUser, kGroup, dir / name)) << name << ": the user";
            EXPECT_FALSE(CanRead(kGroupMember, kGroup, dir / name))
                << name << ": the folder's group";
        }
    }
    {
        SCOPED_TRACE("a merge over an output with an access list");
        TempDir dir;
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        WriteFile(dir / "s", source);
        ASSERT_EQ(::chmod((dir / "s").c_str(), 0640), 0);
        SplitOrFail(dir / "s", 1000);
        WriteFile(dir / "out", Bytes(5, 'o'));
        ASSERT_EQ(::chown((dir / "out").c_str(), 0, kGroup), 0);
        ASSERT_TRUE(LetNobodyRead(dir / "out"));
        Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
        EXPECT_EQ(ReadFile(dir / "out"), source);
        EXPECT_FALSE(CanRead(kGroupMember, kGroup, dir / "out")) << "the output's group";
        EXPECT_FALSE(CanRead(kNobody, kNobody, dir / "out"))
            << "whom the list file does not let in";
    }
}

TEST(DropBox, a_folder_one_may_write_in_but_not_list_takes_a_split_and_a_merge) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs a folder of another user's, and to act as a user it binds";
    }
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    fs::create_directory(dir / "box");
    ASSERT_EQ(::chmod((dir / "box").c_str(), 01733), 0);  // root's: anyone writes, none lists
    const Bytes mine = RandomBytes(2500, 96);
    WriteFile(dir / "box" / "s", mine);
    ASSERT_EQ(::chown((dir / "box" / "s").c_str(), kNobody, kNobody), 0);
    fs::create_directory(dir / "set");
    const Bytes set = RandomBytes(2500, 97);
    WriteFile(dir / "set" / "a", set);
    SplitOrFail(dir / "set" / "a", 1000);
    EXPECT_EQ(AsUser(kNobody, kNobody,
                     [&] {
                         std::u16string message;
                         if (!Module1::SplitFile(U16(dir / "box" / "s"), 0, message, 1000)) {
                             return Utf8(message);
                         }
                         try {
                             Module1::MergeFile(U16(dir / "set" / "a.FLF"),
                                                U16(dir / "box" / "out"));
                         } catch (const Module1::EngineError& error) {
                             return std::string(error.what());
                         }
                         return std::string();
                     }),
              "");
    EXPECT_EQ(ReadFile(dir / "box" / "out"), set);
    Module1::MergeFile(U16(dir / "box" / "s.FLF"), U16(dir / "box" / "back"));
    EXPECT_EQ(ReadFile(dir / "box" / "back"), mine);
    // A numbered set there is found by probing its names, every one of them.
    const Bytes raw = RandomBytes(2500, 98);
    for (std::size_t k = 0; k < 3; ++k) {
        WriteFile(dir / "box" / ("r.00" + std::to_string(k + 1)),
                  Bytes(raw.begin() + k * 1000,
                        raw.begin() + std::min<std::size_t>(2500, k * 1000 + 1000)));
    }
    EXPECT_EQ(
        AsUser(
            kNobody, kNobody,
            [&] {
                return std::to_string(
                    Module1::MergeSet(U16(dir / "box" / "r.002"), U16(dir / "box" / "r")).pieces);
            }),
        "3");
    EXPECT_EQ(ReadFile(dir / "box" / "r"), raw);
}

TEST_F(HostileSet, an_output_folder_the_user_may_not_write_in_is_named) {
    fs::create_directory(dir / "outdir");
    ASSERT_EQ(::chmod((dir / "outdir").c_str(), 0555), 0);
    const std::string message = AsOrdinaryUser(dir.path(), [&] {
        try {
            Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "outdir" / "out"));
            return std::string("merged");
        } catch (const Module1::EngineError& error) {
            return std::string(error.what());
        }
    });
    EXPECT_SAYS(message, "没有在这个文件夹中写入文件的权限", Utf8(dir / "outdir"));
    EXPECT_TRUE(fs::is_empty(dir / "outdir"));
}

#endif  // !defined(_WIN32)
