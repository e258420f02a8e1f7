// SPDX-License-Identifier: GPL-3.0-or-later
// What only Windows has: device names no file may bear, files other programs hold open, the
// read-only attribute, hard and symbolic links made its way, paths past 260 characters, drive
// letters, UNC paths, names counted in UTF-16 units. Each suite's name ends in "OnWindows".
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "FaultInjection.h"
#include "FileChecks.h"
#include "FileIo.h"
#include "Module1.h"
#include "SetWithOutput.h"
#include "TestFiles.h"

using namespace testing_files;
namespace fs = std::filesystem;

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// Opens a file as another program would, sharing it as asked.
Handle Hold(const fs::path& path, DWORD access, DWORD sharing) {
    HANDLE handle =
        ::CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE) << Utf8(path);
    return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

struct SplitSourceOnWindows : ::testing::Test {
    void SetUp() override { WriteFile(dir / "s", source); }

    // The split is refused with a message that starts with start and names path, and nothing
    // changes.
    void ExpectRefusedNaming(const std::u16string& sourcePath, const fs::path& path,
                             const std::string& start) {
        const std::vector<std::string> before = dir.List();
        std::u16string message;
        EXPECT_FALSE(Module1::SplitFile(sourcePath, 0, message, 1000));
        EXPECT_EQ(Utf8(message).rfind(start, 0), 0u) << Utf8(message);
        EXPECT_NE(Utf8(message).find(Utf8(path)), std::string::npos) << Utf8(message);
        EXPECT_EQ(dir.List(), before) << "nothing written, no temporary left";
    }

    TempDir dir;
    const Bytes source = RandomBytes(2500, 201);
};

using SetOnWindows = SetWithOutput;

const std::string kReserved = "这个名字是 Windows 保留的设备名";
const std::string kInUse = "文件正在被其他程序使用";
const std::string kInSet = "合并后的文件不能是";

// Whether renames on the folder's volume replace a file others hold open with delete sharing
// (GetVolumeInformation's FILE_SUPPORTS_POSIX_UNLINK_RENAME: NTFS on current Windows; not
// wine's drives).
bool RenamesReplaceHeldFiles(const fs::path& folder) {
    DWORD flags = 0;
    return ::GetVolumeInformationW(folder.root_path().c_str(), nullptr, 0, nullptr, nullptr, &flags,
                                   nullptr, 0) &&
           (flags & 0x00000400) != 0;
}

// Stands for another program that never lets go of a file.
void NeverLetGo(std::chrono::milliseconds) {}

// The engine's pauses between retries, for as long as it lives.
struct RetryPauses {
    explicit RetryPauses(void (*pause)(std::chrono::milliseconds)) {
        Module1::io::SetRetryPause(pause);
    }
    ~RetryPauses() { Module1::io::SetRetryPause(nullptr); }
};

}  // namespace

TEST_F(SetOnWindows, a_device_name_as_output_is_refused_whatever_its_case_or_extension) {
    for (const char* name :
         {"CON", "nul.txt", "Com1", "LPT9.log", "COM\u00B9", "conin$", "AUX .a.b", "prn"}) {
        SCOPED_TRACE(name);
        before = dir.List();
        const std::string message = MergeError(dir / "a.rar.FLF", dir / name);
        EXPECT_EQ(message.rfind(kReserved, 0), 0u) << message;
        EXPECT_NE(message.find(Utf8(dir / name)), std::string::npos) << message;
        ExpectOutputUntouched();
    }
    for (const char* allowed : {"CONSOLE", "nul_", "COM10", "LPT", "con-tents.txt"}) {
        Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / allowed));
        EXPECT_EQ(ReadFile(dir / allowed), source) << allowed;
    }
}

TEST_F(SplitSourceOnWindows, a_source_whose_pieces_would_bear_a_device_name_is_refused) {
    // Only the \\?\ form can make such a file, and reach it.
    const std::wstring prefixed = L"\\\\?\\" + (dir / "nul.bin").wstring();
    HANDLE made = ::CreateFileW(prefixed.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(
        ::WriteFile(made, source.data(), static_cast<DWORD>(source.size()), &written, nullptr));
    ::CloseHandle(made);
    const std::u16string asReached = U16(fs::path(prefixed));
    ExpectRefusedNaming(asReached, fs::path(prefixed + L".00"), kReserved);
    // Without the prefix Windows takes the name for the device itself.
    ExpectRefusedNaming(U16(dir / "nul.bin"), dir / "nul.bin", "不是普通文件");
    EXPECT_TRUE(::DeleteFileW(prefixed.c_str())) << "only the prefixed name reaches the file";
}

TEST_F(SetOnWindows, a_piece_another_program_holds_without_sharing_fails_the_merge_naming_it) {
    const Handle held = Hold(dir / "a.rar.001", GENERIC_READ, 0);
    const std::string message = MergeError(dir / "a.rar.FLF", dir / "out");
    EXPECT_EQ(message.rfind(kInUse, 0), 0u) << message;
    EXPECT_NE(message.find(Utf8(dir / "a.rar.001")), std::string::npos) << message;
    ExpectOutputUntouched();
}

TEST_F(SplitSourceOnWindows,
       an_older_piece_another_program_opens_after_the_checks_stops_the_split_before_its_list_goes) {
    SplitOrFail(dir / "s", 1000);
    const std::vector<std::string> before = dir.List();
    const Bytes older = source;
    WriteFile(dir / "s", RandomBytes(2500, 203));
    Handle held;
    std::u16string message;
    {
        // Opened, sharing reading alone, as the bring-in starts to move older files aside.
        InjectedFault opened(BeforeNthStep(
            Step::Rename, 1, [&] { held = Hold(dir / "s.002", GENERIC_READ, FILE_SHARE_READ); }));
        EXPECT_FALSE(Module1::SplitFile(U16(dir / "s"), 0, message, 1000));
    }
    EXPECT_SAYS(Utf8(message), kInUse, Utf8(dir / "s.002"));
    EXPECT_EQ(dir.List(), before) << "every older file back, no temporary left";
    Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), older);
}

namespace {

// Gives path the owner sid ("S-1-5-18" is SYSTEM), as another account's file has; false where
// the system does not keep it.
bool GiveOwnerSid(const fs::path& path, const wchar_t* sid) {
    PSID owner = nullptr;
    if (!::ConvertStringSidToSidW(sid, &owner)) {
        return false;
    }
    std::wstring name = path.wstring();
    const bool given =
        ::SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner,
                                nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::LocalFree(owner);
    const std::optional<Module1::io::FileInfo> info = Module1::io::StatIfPresent(Utf8(path));
    return given && info && info->owner == Utf8(std::u16string(sid, sid + wcslen(sid)));
}

}  // namespace

// Two leftovers of a split that never finished: copies of its temporaries under other runs.
std::vector<std::string> MakeLeftovers(const TempDir& dir) {
    {
        InjectedFault copied(BeforeNthStep(Step::Rename, 1, [&] {
            for (const std::string& name : dir.List()) {
                if (name.ends_with(".splitting") && name.find(".00.") != std::string::npos) {
                    for (const char* run : {"00000000", "11111111"}) {
                        std::string leftover = name;
                        fs::copy_file(dir / name, dir / leftover.replace(name.size() - 18, 8, run));
                    }
                }
            }
        }));
        SplitOrFail(dir / "s", 1000);
    }
    std::vector<std::string> left;
    for (const std::string& name : dir.List()) {
        if (name.ends_with(".splitting")) {
            left.push_back(name);
        }
    }
    return left;
}

TEST_F(SplitSourceOnWindows, the_users_own_leftovers_are_known_by_their_owners_sid) {
    ASSERT_EQ(MakeLeftovers(dir).size(), 2u);
    EXPECT_TRUE(Module1::io::OwnedByCaller(Module1::io::StatIfPresent(Utf8(dir / "s"))->owner));
    SplitOrFail(dir / "s", 1000);
    for (const std::string& name : dir.List()) {
        EXPECT_FALSE(name.ends_with(".splitting")) << name;
    }
}

TEST_F(SplitSourceOnWindows, another_accounts_file_is_neither_replaced_nor_removed) {
    const std::string others = MakeLeftovers(dir).back();
    if (!GiveOwnerSid(dir / others, L"S-1-5-18")) {
        GTEST_SKIP() << "this system keeps no owner given to a file (wine keeps none)";
    }
    SplitOrFail(dir / "s", 1000);
    EXPECT_TRUE(fs::exists(dir / others)) << "another account's leftover stays";
    ASSERT_TRUE(GiveOwnerSid(dir / "s.001", L"S-1-5-18"));
    ExpectRefusedNaming(U16(dir / "s"), dir / "s.001", "分割要写的这个名字上是另一个用户的文件");
}

TEST_F(SplitSourceOnWindows, a_source_another_program_is_writing_is_refused_as_in_use) {
    const Handle writer = Hold(dir / "s", GENERIC_WRITE, FILE_SHARE_READ);
    ExpectRefusedNaming(U16(dir / "s"), dir / "s", kInUse);
}

TEST_F(SplitSourceOnWindows,
       an_older_file_of_the_set_another_program_holds_fails_before_the_first_byte) {
    SplitOrFail(dir / "s", 1000);
    const Bytes olderPiece = ReadFile(dir / "s.001");
    const Bytes olderList = ReadFile(dir / "s.FLF");
    WriteFile(dir / "s", RandomBytes(2500, 202));
    const RetryPauses noWaiting(NeverLetGo);
    for (const char* name : {"s.001", "s.FLF"}) {
        // A reader that lets the file be deleted stops a rename over it too, except where
        // renames have POSIX semantics.
        for (const DWORD sharing :
             {DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_DELETE}}) {
            SCOPED_TRACE(std::string(name) +
                         (sharing & FILE_SHARE_DELETE ? ", delete shared" : ""));
            if ((sharing & FILE_SHARE_DELETE) && RenamesReplaceHeldFiles(dir.path())) {
                continue;
            }
            const Handle held = Hold(dir / name, GENERIC_READ, sharing);
            ExpectRefusedNaming(U16(dir / "s"), dir / name, kInUse);
        }
    }
    EXPECT_EQ(ReadFile(dir / "s.001"), olderPiece);
    EXPECT_EQ(ReadFile(dir / "s.FLF"), olderList);
}

namespace {

// Stands for another program that holds the output open for a moment: it lets go when the
// engine first pauses to try again.
HANDLE g_heldOutput = nullptr;
void LetGoAtTheFirstPause(std::chrono::milliseconds) {
    if (g_heldOutput != nullptr) {
        ::CloseHandle(std::exchange(g_heldOutput, nullptr));
    }
}

}  // namespace

TEST_F(SetOnWindows, an_output_held_open_for_a_moment_is_replaced_once_it_is_let_go) {
    g_heldOutput = Hold(dir / "out", GENERIC_READ, FILE_SHARE_READ).release();
    Module1::io::SetRetryPause(LetGoAtTheFirstPause);
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "out"));
    Module1::io::SetRetryPause(nullptr);
    EXPECT_EQ(g_heldOutput, nullptr) << "the merge never had to wait";
    EXPECT_EQ(ReadFile(dir / "out"), source);
    EXPECT_EQ(dir.List(), before);
}

TEST_F(SetOnWindows, an_output_held_open_throughout_is_refused_as_in_use_and_keeps_its_bytes) {
    const RetryPauses noWaiting(NeverLetGo);
    for (const DWORD sharing :
         {DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_DELETE}}) {
        SCOPED_TRACE(sharing & FILE_SHARE_DELETE ? "delete shared" : "not delete shared");
        if ((sharing & FILE_SHARE_DELETE) && RenamesReplaceHeldFiles(dir.path())) {
            continue;
        }
        const Handle held = Hold(dir / "out", GENERIC_READ, sharing);
        const std::string message = MergeError(dir / "a.rar.FLF", dir / "out");
        EXPECT_EQ(message.rfind(kInUse, 0), 0u) << message;
        EXPECT_NE(message.find(Utf8(dir / "out")), std::string::npos) << message;
        ExpectOutputUntouched();
    }
}

TEST_F(SetOnWindows, a_read_only_output_is_refused_and_keeps_its_bytes_and_attribute) {
    ASSERT_TRUE(::SetFileAttributesW((dir / "out").c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string message = MergeError(dir / "a.rar.FLF", dir / "out");
    EXPECT_EQ(message.rfind("文件是只读的", 0), 0u) << message;
    EXPECT_NE(message.find(Utf8(dir / "out")), std::string::npos) << message;
    EXPECT_NE(::GetFileAttributesW((dir / "out").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    ExpectOutputUntouched();
    ::SetFileAttributesW((dir / "out").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SetOnWindows, a_colon_in_the_output_name_is_refused_as_naming_a_stream_of_a_file) {
    for (const char* name : {"out:x", "a.rar.001:x"}) {
        SCOPED_TRACE(name);
        const std::string message = MergeError(dir / "a.rar.FLF", dir / name);
        EXPECT_EQ(message.rfind("文件名、目录名或卷标语法不正确", 0), 0u) << message;
        ExpectOutputUntouched();
    }
}

TEST_F(SetOnWindows,
       a_file_of_the_set_with_trailing_dots_or_spaces_after_the_long_prefix_is_refused) {
    // The engine drops them from every name it writes, as other programs do.
    for (const wchar_t* name : {L"a.rar.001.", L"a.rar.FLF ", L"a.rar.FLF.sha256. ."}) {
        const fs::path output = L"\\\\?\\" + (dir.path() / name).wstring();
        SCOPED_TRACE(Utf8(output));
        EXPECT_EQ(MergeFails(dir / "a.rar.FLF", output).failure, Module1::Failure::OutputInSet);
        ExpectOutputUntouched();
    }
    Module1::MergeFile(U16(dir / "a.rar.FLF"), U16(dir / "back"));
    EXPECT_EQ(ReadFile(dir / "back"), source) << "the set is whole";
}

TEST_F(SplitSourceOnWindows,
       a_read_only_older_piece_is_refused_and_a_read_only_source_is_not_copied) {
    SplitOrFail(dir / "s", 1000);
    ASSERT_TRUE(::SetFileAttributesW((dir / "s.002").c_str(), FILE_ATTRIBUTE_READONLY));
    ExpectRefusedNaming(U16(dir / "s"), dir / "s.002", "文件是只读的");
    ASSERT_TRUE(::SetFileAttributesW((dir / "s.002").c_str(), FILE_ATTRIBUTE_NORMAL));

    ASSERT_TRUE(::SetFileAttributesW((dir / "s").c_str(), FILE_ATTRIBUTE_READONLY));
    SplitOrFail(dir / "s", 500);
    for (const char* piece : {"s.00", "s.004", "s.FLF", "s.FLF.sha256"}) {
        EXPECT_EQ(::GetFileAttributesW((dir / piece).c_str()) & FILE_ATTRIBUTE_READONLY, 0u)
            << piece;
    }
    ::SetFileAttributesW((dir / "s").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SplitSourceOnWindows, a_hard_link_to_the_source_at_a_piece_name_is_refused) {
    ASSERT_TRUE(::CreateHardLinkW((dir / "s.002").c_str(), (dir / "s").c_str(), nullptr));
    ExpectRefusedNaming(U16(dir / "s"), dir / "s.002", "分割要写的这个名字就是被分割的文件本身");
    EXPECT_EQ(ReadFile(dir / "s"), source);
}

TEST_F(SplitSourceOnWindows, a_symbolic_link_at_a_piece_name_is_replaced_and_its_target_kept) {
    TempDir elsewhere;
    const Bytes victim = RandomBytes(3000, 203);
    WriteFile(elsewhere / "victim", victim);
    if (!::CreateSymbolicLinkW((dir / "s.001").c_str(), (elsewhere / "victim").c_str(),
                               SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
        GTEST_SKIP() << "this system lets no one here make a symbolic link (error "
                     << ::GetLastError() << ")";
    }
    SplitOrFail(dir / "s", 1000);
    EXPECT_EQ(ReadFile(elsewhere / "victim"), victim);
    Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

TEST(PathsOnWindows, a_set_past_260_characters_splits_and_merges) {
    TempDir dir;
    fs::path deep = dir.path();
    while (deep.native().size() < 400) {
        deep /= std::wstring(60, L'd');
    }
    ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + dir.path().wstring()).c_str(), nullptr) ||
                ::GetLastError() == ERROR_ALREADY_EXISTS);
    fs::path made = dir.path();
    for (auto part = std::next(deep.begin(), std::distance(dir.path().begin(), dir.path().end()));
         part != deep.end(); ++part) {
        made /= *part;
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + made.wstring()).c_str(), nullptr));
    }
    const Bytes source = RandomBytes(2500, 204);
    const std::wstring sourcePath = L"\\\\?\\" + (deep / L"s").wstring();
    HANDLE file =
        ::CreateFileW(sourcePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, source.data(), static_cast<DWORD>(source.size()), &written, nullptr);
    ::CloseHandle(file);

    // As a user types them: without the prefix.
    std::u16string message;
    ASSERT_TRUE(Module1::SplitFile(U16(deep / "s"), 0, message, 1000)) << Utf8(message);
    Module1::MergeFile(U16(deep / "s.FLF"), U16(deep / "out"));
    const std::wstring out = L"\\\\?\\" + (deep / L"out").wstring();
    EXPECT_EQ(fs::file_size(out), source.size());
}

TEST(PathsOnWindows, slashes_either_way_a_drive_relative_path_and_trailing_dots_name_the_same) {
    TempDir dir;
    const Bytes source = RandomBytes(2500, 205);
    WriteFile(dir / "s", source);
    std::wstring slashes = (dir / "s").wstring();
    std::replace(slashes.begin(), slashes.end(), L'\\', L'/');
    std::u16string message;
    ASSERT_TRUE(Module1::SplitFile(U16(fs::path(slashes)), 0, message, 1000)) << Utf8(message);
    EXPECT_TRUE(fs::exists(dir / "s.002"));
    Module1::MergeFile(U16(fs::path(slashes + L".FLF")), U16(dir / "by-slashes"));
    EXPECT_EQ(ReadFile(dir / "by-slashes"), source);

    // "C:s" is s in the current folder of drive C:, which the temporary folder is on here.
    const fs::path home = fs::current_path();
    fs::current_path(dir.path());
    const std::u16string drive = U16(dir.path().root_name());
    Module1::MergeFile(drive + u"s.FLF", drive + u"by-drive");
    fs::current_path(home);
    EXPECT_EQ(ReadFile(dir / "by-drive"), source);

    // Trailing dots and spaces leave a name, as everywhere on Windows.
    Module1::MergeFile(U16(dir / "s.FLF"), U16(dir / "trailing. ."));
    EXPECT_EQ(ReadFile(dir / "trailing"), source);
}

TEST_F(SplitSourceOnWindows,
       a_source_typed_with_trailing_dots_or_spaces_makes_the_set_of_its_file) {
    std::u16string message;
    ASSERT_TRUE(Module1::SplitFile(U16(dir / "s") + u". .", 0, message, 1000)) << Utf8(message);
    EXPECT_EQ(dir.List(),
              (std::vector<std::string>{"s", "s.00", "s.001", "s.002", "s.FLF", "s.FLF.sha256"}));
    Module1::MergeFile(U16(dir / "s.FLF") + u" ", U16(dir / "back"));
    EXPECT_EQ(ReadFile(dir / "back"), source);
}

TEST(PathsOnWindows, a_set_on_a_unc_path_splits_and_merges) {
    // The test session maps \\localhost\c to drive C: (tests/wine-session.sh); on Windows the
    // administrative share C$ does.
    TempDir dir;
    const Bytes source = RandomBytes(2500, 206);
    WriteFile(dir / "s", source);
    const std::wstring local = dir.path().wstring();  // C:\...
    fs::path unc;
    for (const wchar_t* share : {L"\\\\localhost\\c", L"\\\\localhost\\C$"}) {
        const fs::path candidate = share + local.substr(2);
        if (fs::exists(candidate / "s")) {
            unc = candidate;
            break;
        }
    }
    if (unc.empty()) {
        GTEST_SKIP() << "no share reaches drive C: here";
    }
    SplitOrFail(unc / "s", 1000);
    Module1::MergeFile(U16(unc / "s.FLF"), U16(unc / "out"));
    EXPECT_EQ(ReadFile(dir / "out"), source);
}

TEST(NamesOnWindows, the_longest_name_counts_utf16_units_not_bytes) {
    // Checked at the seam: wine keeps names on a Linux file system, whose limit is in bytes.
    std::string name;
    for (int i = 0; i < 255; ++i) {
        name += "文";  // three bytes in UTF-8, one unit in UTF-16
    }
    EXPECT_NO_THROW(Module1::io::CheckNameFits("C:\\" + name, 255));
    try {
        Module1::io::CheckNameFits("C:\\" + name + "x", 255);
        ADD_FAILURE() << "a name of 256 units fitted";
    } catch (const Module1::EngineError& error) {
        EXPECT_EQ(error.failure(), Module1::Failure::NameTooLong);
        EXPECT_EQ(error.paths(), std::vector<std::string>{"C:\\" + name + "x"});
    }
}

TEST_F(SetOnWindows, a_name_of_the_set_in_another_case_is_the_set_itself) {
    for (const char* name : {"A.RAR.001", "a.rar.flf", "A.rar.FLF.SHA256"}) {
        SCOPED_TRACE(name);
        before = dir.List();
        EXPECT_EQ(MergeFails(dir / "a.rar.FLF", dir / name).failure, Module1::Failure::OutputInSet);
        ExpectOutputUntouched();
    }
}

TEST(NamesOnWindows,
     the_checksum_list_named_in_another_case_beyond_ascii_is_the_set_even_when_absent) {
    TempDir dir;
    WriteFile(dir / "Été.bin", RandomBytes(2500, 207));
    SplitOrFail(dir / "Été.bin", 1000);
    fs::remove(dir / "Été.bin.FLF.sha256");
    const std::string message = MergeError(dir / "Été.bin.FLF", dir / "éTÉ.BIN.FLF.SHA256");
    EXPECT_EQ(message.rfind(kInSet, 0), 0u) << message;
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"Été.bin", "Été.bin.00", "Été.bin.001",
                                                    "Été.bin.002", "Été.bin.FLF"}));
}
