// SPDX-License-Identifier: GPL-3.0-or-later
// Files dropped on the Windows window, in this process under wine: the window reads the drop
// (WM_DROPFILES) the way Explorer hands it over and routes it through the window's logic.
#include <gtest/gtest.h>
#include <windows.h>

#include <shlobj.h>  // DROPFILES; after windows.h, which it needs

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Form1.h"
#include "Platform.h"
#include "TestFiles.h"

namespace {

using windowlogic::Control;

// What Explorer sends: a DROPFILES header, then the wide paths, each ended by a NUL, and one
// more NUL. The window frees it with DragFinish.
HDROP DropOf(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& path : paths) {
        list += path;
        list.push_back(L'\0');
    }
    list.push_back(L'\0');
    const std::size_t bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), list.data(),
                list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

void Drop(win32::Form1& form, const std::vector<std::wstring>& paths) {
    SendMessageW(form.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(paths)), 0);
}

// The panel's own visibility: the window itself is never shown here.
bool Shows(const win32::Form1& form, Control panel) {
    HWND hwnd = GetDlgItem(form.Handle(), win32::Form1::kFirstId + static_cast<int>(panel));
    return hwnd && (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE);
}

void Click(const win32::Form1& form, Control mode) {
    SendMessageW(GetDlgItem(form.Handle(), win32::Form1::kFirstId + static_cast<int>(mode)),
                 BM_CLICK, 0, 0);
}

std::u16string P(const std::filesystem::path& path) {
    return win32::U(path.wstring());
}

// One window per process: the window's class is registered once.
TEST(DropsOnWindows, one_file_is_routed_as_a_chooser_would_fill_it_and_anything_else_is_refused) {
    testing_files::TempDir dir;
    const auto source = dir.path() / L"数据.bin";
    const auto list = dir.path() / L"数据.bin.FLF";
    testing_files::WriteFile(source, {1, 2, 3});
    testing_files::WriteFile(list, {4, 5, 6});
    // Deeper than MAX_PATH: the drop carries it whole.
    std::wstring deep = L"\\\\?\\" + dir.path().wstring();
    for (int level = 0; level < 4; ++level) {
        deep += L"\\" + std::wstring(100, static_cast<wchar_t>(L'a' + level));
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << GetLastError();
    }
    const std::wstring deepFile = deep.substr(4) + L"\\远.bin";
    testing_files::WriteFile(L"\\\\?\\" + deepFile, {7});
    ASSERT_GT(deepFile.size(), static_cast<std::size_t>(MAX_PATH));

    win32::Form1 form(GetModuleHandleW(nullptr));
    ASSERT_TRUE(form.Create()) << GetLastError();
    ASSERT_TRUE(Shows(form, Control::Frame1));

    Drop(form, {source.wstring()});
    EXPECT_EQ(form.Text(Control::txtFileName), P(source));

    // Several files at once, or a folder, change nothing.
    Drop(form, {deepFile, list.wstring()});
    Drop(form, {dir.path().wstring()});
    EXPECT_EQ(form.Text(Control::txtFileName), P(source));
    EXPECT_TRUE(Shows(form, Control::Frame1));

    // A list file goes to the merge panel, with the output proposed beside it.
    Drop(form, {list.wstring()});
    EXPECT_TRUE(Shows(form, Control::Frame2));
    EXPECT_FALSE(Shows(form, Control::Frame1));
    EXPECT_EQ(form.Text(Control::txtTemplateName), P(list));
    EXPECT_EQ(form.Text(Control::txtOutputFile), P(source));

    // Another file on the merge panel fills its first field, however long its path.
    Drop(form, {deepFile});
    EXPECT_EQ(form.Text(Control::txtTemplateName), win32::U(deepFile));

    // The help panel takes no drop.
    Click(form, Control::Option3);
    ASSERT_TRUE(Shows(form, Control::Frame4));
    Drop(form, {source.wstring()});
    EXPECT_TRUE(Shows(form, Control::Frame4));
    EXPECT_EQ(form.Text(Control::txtTemplateName), win32::U(deepFile));
    EXPECT_EQ(form.Text(Control::txtFileName), P(source));
}

}  // namespace
