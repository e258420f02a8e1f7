// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows window's platform layer, under wine: the file-exists test with its wildcards and
// attributes, the folder a chooser starts in, long paths, and the dialogs' filters.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "Platform.h"
#include "TestFiles.h"

namespace {

using testing_files::TempDir;
using testing_files::U16;
using win32::FileExists;
using win32::FolderOf;
using win32::IsFolder;

void Touch(const std::filesystem::path& path) {
    testing_files::WriteFile(path, {1, 2, 3});
}

void SetAttributes(const std::filesystem::path& path, DWORD attributes) {
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes)) << GetLastError();
}

TEST(FileExistsOnWindows, passes_a_plain_or_read_only_file_and_fails_a_folder_or_nothing) {
    TempDir dir;
    Touch(dir / "a.bin");
    Touch(dir / "only-read.bin");
    SetAttributes(dir / "only-read.bin", FILE_ATTRIBUTE_READONLY);
    std::filesystem::create_directory(dir / "folder");

    EXPECT_TRUE(FileExists(U16(dir / "a.bin")));
    EXPECT_TRUE(FileExists(U16(dir / "only-read.bin")));
    EXPECT_FALSE(FileExists(U16(dir / "folder")));
    EXPECT_FALSE(FileExists(U16(dir / "missing.bin")));
    EXPECT_FALSE(FileExists(u""));
    SetAttributes(dir / "only-read.bin", FILE_ATTRIBUTE_NORMAL);
}

TEST(FileExistsOnWindows,
     passes_hidden_and_system_files_so_that_a_merge_asks_before_replacing_one) {
    TempDir dir;
    Touch(dir / "hidden.bin");
    Touch(dir / "system.bin");
    SetAttributes(dir / "hidden.bin", FILE_ATTRIBUTE_HIDDEN);
    SetAttributes(dir / "system.bin", FILE_ATTRIBUTE_SYSTEM);

    EXPECT_TRUE(FileExists(U16(dir / "hidden.bin")));
    EXPECT_TRUE(FileExists(U16(dir / "system.bin")));
    EXPECT_TRUE(FileExists(U16(dir / "*.bin")))
        << "a pattern that only hidden and system files match";
    SetAttributes(dir / "hidden.bin", FILE_ATTRIBUTE_NORMAL);
    SetAttributes(dir / "system.bin", FILE_ATTRIBUTE_NORMAL);
}

TEST(FileExistsOnWindows, passes_a_pattern_that_a_plain_file_matches_and_no_other) {
    TempDir dir;
    Touch(dir / "影片.avi.FLF");
    std::filesystem::create_directory(dir / "sub.FLF");

    EXPECT_TRUE(FileExists(U16(dir / "*.FLF")));
    EXPECT_TRUE(FileExists(U16(dir / "影片.avi.?LF")));
    EXPECT_FALSE(FileExists(U16(dir / "*.rar")));
    EXPECT_FALSE(FileExists(U16(dir / "sub.*"))) << "a folder matches, no file does";
}

TEST(IsFileOnWindows, takes_the_name_literally_so_a_pattern_names_no_file) {
    TempDir dir;
    Touch(dir / "影片.avi.FLF");
    EXPECT_TRUE(win32::IsFile(U16(dir / "影片.avi.FLF")));
    EXPECT_FALSE(win32::IsFile(U16(dir / "*.FLF")));
    EXPECT_FALSE(win32::IsFile(U16(dir.path())));
}

TEST(FileExistsOnWindows, refuses_a_text_holding_nul_or_ending_in_a_separator) {
    TempDir dir;
    Touch(dir / "a.bin");
    std::u16string withNul = U16(dir / "a.bin");
    withNul += u'\0';
    withNul += u"x";

    EXPECT_FALSE(FileExists(withNul));
    EXPECT_FALSE(FileExists(U16(dir / "a.bin") + u"\\"));
    EXPECT_FALSE(FileExists(U16(dir.path()) + u"\\"));
}

TEST(FileExistsOnWindows, finds_a_file_whose_path_is_longer_than_max_path) {
    TempDir dir;
    std::wstring path = L"\\\\?\\" + dir.path().wstring();
    for (int i = 0; i < 4; ++i) {
        path += L"\\" + std::wstring(100, static_cast<wchar_t>(L'a' + i));
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << GetLastError();
    }
    const std::wstring file = path + L"\\数据.bin";
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(handle);
    const std::u16string plain = win32::U(file.substr(4));  // as a user types it
    ASSERT_GT(plain.size(), static_cast<std::size_t>(MAX_PATH));

    EXPECT_TRUE(FileExists(plain));
    EXPECT_TRUE(IsFolder(win32::U(path.substr(4))));
    EXPECT_EQ(FolderOf(plain), win32::U(path.substr(4)));
    EXPECT_EQ(win32::SystemPath(plain), file);
}

TEST(SystemPathOnWindows, prefixes_long_paths_only_and_long_unc_paths_as_unc) {
    EXPECT_EQ(win32::SystemPath(u"C:\\a\\b.txt"), L"C:\\a\\b.txt");
    EXPECT_EQ(win32::SystemPath(u"C:/a/b.txt"), L"C:\\a\\b.txt");
    const std::u16string name(300, u'n');
    EXPECT_EQ(win32::SystemPath(u"C:\\" + name), L"\\\\?\\C:\\" + win32::W(name));
    EXPECT_EQ(win32::SystemPath(u"\\\\server\\share\\" + name),
              L"\\\\?\\UNC\\server\\share\\" + win32::W(name));
    EXPECT_EQ(win32::SystemPath(std::u16string(u"C:\\a\0b", 6)), L"");
}

TEST(FolderOfOnWindows, gives_the_folder_a_path_names_or_lies_in_when_it_exists) {
    TempDir dir;
    Touch(dir / "a.bin");
    const std::u16string folder = U16(dir.path());

    EXPECT_EQ(FolderOf(U16(dir / "a.bin")), folder);
    EXPECT_EQ(FolderOf(U16(dir / "not-yet.bin")), folder) << "a file to be written";
    EXPECT_EQ(FolderOf(folder), folder);
    EXPECT_EQ(FolderOf(U16(dir / "missing" / "a.bin")), u"");
    EXPECT_EQ(FolderOf(u""), u"");
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_FALSE(IsFolder(U16(dir / "a.bin")));
}

TEST(DialogFilterOnWindows, turns_the_bars_into_the_nuls_the_common_dialog_wants) {
    EXPECT_EQ(win32::DialogFilter(u"(*.FLF)|*.FLF|所有文件(*.*)|*.*"),
              std::wstring(L"(*.FLF)\0*.FLF\0所有文件(*.*)\0*.*\0\0", 29));
}

TEST(DialogStartFolderOnWindows, is_the_folder_below_max_path_and_its_short_form_beyond) {
    TempDir dir;
    EXPECT_EQ(win32::DialogStartFolder(U16(dir.path())), dir.path().wstring());
    std::wstring path = L"\\\\?\\" + dir.path().wstring();
    for (int i = 0; i < 3; ++i) {
        path += L"\\" + std::wstring(100, static_cast<wchar_t>(L'a' + i));
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << GetLastError();
    }
    const std::wstring start = win32::DialogStartFolder(win32::U(path.substr(4)));
    EXPECT_LT(start.size(), static_cast<std::size_t>(MAX_PATH)) << "the dialogs fail on more";
    EXPECT_TRUE(IsFolder(win32::U(start))) << "the same folder, by its short name";
}

}  // namespace
