// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows window made in this process under wine (its null graphics driver needs no
// display): how it opens, files dropped on it the way Explorer hands them over (WM_DROPFILES),
// and a move to a screen of another DPI (WM_DPICHANGED).
#include <gtest/gtest.h>
#include <windows.h>

#include <shlobj.h>  // DROPFILES; after windows.h, which it needs

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Form1.h"
#include "Layout.h"
#include "Platform.h"
#include "TestFiles.h"

namespace {

using testing_files::U16;
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

TEST(StartOnWindows, the_window_opens_on_the_split_panel_with_its_mode_button_selected) {
    win32::Form1 form(GetModuleHandleW(nullptr));
    ASSERT_TRUE(form.Create()) << GetLastError();
    EXPECT_TRUE(Shows(form, Control::Frame1));
    auto checked = [&](Control mode) {
        return SendMessageW(
                   GetDlgItem(form.Handle(), win32::Form1::kFirstId + static_cast<int>(mode)),
                   BM_GETCHECK, 0, 0) == BST_CHECKED;
    };
    EXPECT_TRUE(checked(Control::Option1));
    EXPECT_FALSE(checked(Control::Option2));
    EXPECT_FALSE(checked(Control::Option3));
}

// Windows names a field by the label made just before it; names set otherwise cannot be read
// under wine.
TEST(StartOnWindows, each_field_is_made_right_after_its_label_which_names_it) {
    win32::Form1 form(GetModuleHandleW(nullptr));
    ASSERT_TRUE(form.Create()) << GetLastError();
    int fields = 0;
    for (const windowlogic::ControlLayout& entry : windowlogic::Layout()) {
        if (const Control label = windowlogic::LabelOf(entry.id); label != Control::None) {
            HWND panel =
                GetDlgItem(form.Handle(), win32::Form1::kFirstId + static_cast<int>(entry.panel));
            HWND field = GetDlgItem(panel, win32::Form1::kFirstId + static_cast<int>(entry.id));
            ASSERT_TRUE(field) << entry.name;
            EXPECT_EQ(GetDlgCtrlID(GetWindow(field, GW_HWNDPREV)),
                      win32::Form1::kFirstId + static_cast<int>(label))
                << entry.name;
            ++fields;
        }
    }
    EXPECT_EQ(fields, 4);
}

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
    EXPECT_EQ(form.Text(Control::txtFileName), U16(source));

    // Several files at once, or a folder, change nothing.
    Drop(form, {deepFile, list.wstring()});
    Drop(form, {dir.path().wstring()});
    EXPECT_EQ(form.Text(Control::txtFileName), U16(source));
    EXPECT_TRUE(Shows(form, Control::Frame1));

    // A list file goes to the merge panel, with the output proposed beside it.
    Drop(form, {list.wstring()});
    EXPECT_TRUE(Shows(form, Control::Frame2));
    EXPECT_FALSE(Shows(form, Control::Frame1));
    EXPECT_EQ(form.Text(Control::txtTemplateName), U16(list));
    EXPECT_EQ(form.Text(Control::txtOutputFile), U16(source));

    // Another file on the merge panel fills its first field, however long its path.
    Drop(form, {deepFile});
    EXPECT_EQ(form.Text(Control::txtTemplateName), win32::U(deepFile));

    // The help panel takes no drop.
    Click(form, Control::Option3);
    ASSERT_TRUE(Shows(form, Control::Frame4));
    Drop(form, {source.wstring()});
    EXPECT_TRUE(Shows(form, Control::Frame4));
    EXPECT_EQ(form.Text(Control::txtTemplateName), win32::U(deepFile));
    EXPECT_EQ(form.Text(Control::txtFileName), U16(source));
}

// Where a control is, in its parent's client coordinates.
RECT PlaceOf(HWND hwnd) {
    RECT place{};
    GetWindowRect(hwnd, &place);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

int FontHeightOf(HWND hwnd) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
    return std::abs(font.lfHeight);
}

// Labels and the size box are as high as the layout says: a label's text is drawn inside it.
void ExpectLayoutHeight(const windowlogic::ControlLayout& entry, const RECT& place, int dpi) {
    using windowlogic::Kind;
    if (entry.rect.height > 0 &&
        (entry.kind == Kind::Label || entry.kind == Kind::Link || entry.kind == Kind::ComboBox)) {
        EXPECT_EQ(place.bottom - place.top, windowlogic::TwipsToPixels(entry.rect.height, dpi))
            << entry.name << " at " << dpi << " dpi";
    }
}

// Twice the pixels, give or take the one that rounding each edge may move.
void ExpectDoubled(long before, long after, const char* what, std::string_view control) {
    EXPECT_NEAR(after, 2 * before, 1) << what << " of " << control;
}

TEST(DpiOnWindows, a_move_to_a_screen_of_twice_the_dpi_doubles_every_control_and_font) {
    win32::Form1 form(GetModuleHandleW(nullptr));
    ASSERT_TRUE(form.Create()) << GetLastError();
    HWND window = form.Handle();
    ASSERT_EQ(GetDpiForWindow(window), 96u);

    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, windowlogic::kClientWidth / 15);
    EXPECT_EQ(client.bottom, windowlogic::kClientHeight / 15);
    struct Seen {
        const windowlogic::ControlLayout* entry;
        HWND hwnd;
        RECT place;
        int fontHeight;
    };
    std::vector<Seen> seen;
    for (const windowlogic::ControlLayout& entry : windowlogic::Layout()) {
        HWND hwnd = GetDlgItem(
            entry.panel == Control::None
                ? window
                : GetDlgItem(window, win32::Form1::kFirstId + static_cast<int>(entry.panel)),
            win32::Form1::kFirstId + static_cast<int>(entry.id));
        if (hwnd) {
            seen.push_back({&entry, hwnd, PlaceOf(hwnd), FontHeightOf(hwnd)});
            ExpectLayoutHeight(entry, seen.back().place, 96);
        }
    }
    ASSERT_GT(seen.size(), 20u);

    RECT suggested{40, 30, 40 + 2 * client.right, 30 + 2 * client.bottom};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));

    // The frame's new size is not checked: wine keeps the title bar at 96 dpi and caps a
    // window at its screen's width.
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.left, suggested.left);
    EXPECT_EQ(frame.top, suggested.top);
    using windowlogic::Kind;
    for (const Seen& before : seen) {
        const std::string_view name = before.entry->name;
        const RECT after = PlaceOf(before.hwnd);
        ExpectLayoutHeight(*before.entry, after, 192);
        ExpectDoubled(before.place.left, after.left, "left", name);
        ExpectDoubled(before.place.top, after.top, "top", name);
        // Labels size themselves to their text and the combo box's height holds its list.
        if (before.entry->kind != Kind::Label && before.entry->kind != Kind::Link &&
            before.entry->kind != Kind::ComboBox) {
            ExpectDoubled(before.place.right, after.right, "right", name);
            ExpectDoubled(before.place.bottom, after.bottom, "bottom", name);
        }
        if (before.entry->kind != Kind::Panel) {
            ExpectDoubled(before.fontHeight, FontHeightOf(before.hwnd), "font height", name);
        }
    }
}

// Dispatches the window's waiting messages, as its message loop would.
void Pump(HWND window) {
    MSG message;
    while (PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
}

TEST(PostedCallsOnWindows, a_call_runs_on_the_window_only_while_its_owner_lives) {
    win32::Form1 form(GetModuleHandleW(nullptr));
    ASSERT_TRUE(form.Create()) << GetLastError();
    std::vector<std::string> ran;
    auto owner = std::make_shared<int>();
    form.Post(owner, [&] { ran.push_back("kept"); });
    auto gone = std::make_shared<int>();
    form.Post(gone, [&] { ran.push_back("gone"); });
    gone.reset();
    Pump(form.Handle());
    EXPECT_EQ(ran, std::vector<std::string>{"kept"});
}

// A PostMessageW that fails (a full message queue) leaves its call waiting with no message to
// run it; the next message runs it.
TEST(PostedCallsOnWindows, a_call_whose_message_never_came_runs_with_the_next_message) {
    win32::Form1 form(GetModuleHandleW(nullptr));
    ASSERT_TRUE(form.Create()) << GetLastError();
    std::vector<std::string> ran;
    auto owner = std::make_shared<int>();
    form.Post(owner, [&] { ran.push_back("first"); });
    form.Post(owner, [&] { ran.push_back("outcome"); });
    MSG lost;
    ASSERT_TRUE(PeekMessageW(&lost, form.Handle(), win32::Form1::kRunPosted,
                             win32::Form1::kRunPosted, PM_REMOVE));
    Pump(form.Handle());
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "outcome"}));
}

}  // namespace
