// SPDX-License-Identifier: GPL-3.0-or-later
// korvel-peek.exe: reads what a running korvel-splitter.exe shows, for the tests that drive its
// window with xdotool, which can type and click but cannot read an edit's text.
//   korvel-peek text NAME...  each named control's text (WM_GETTEXT), one a line
//   korvel-peek visible NAME  1 when the control shows (its panel too), else 0
//   korvel-peek focus         the name of the control that has the keyboard focus
//   korvel-peek box           the open message box or file dialog: its title on the first line,
//                             a message box's text below
//   korvel-peek boxrect       where the open message box is on the screen, as WxH+X+Y
// Names are the layout's ("txtFileName", "Combo1", "Frame2"). Prints UTF-8, and takes no
// Chinese on its command line (wine converts it with the machine's locale, which may lack
// it); exits 1 when the window, the control or the box is not there, 2 on a wrong command line.
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "Form1.h"
#include "Layout.h"

namespace {

using windowlogic::Control;

void Print(std::wstring_view text) {
    std::string bytes(text.size() * 3 + 1, '\0');
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                            static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(length));
    bytes.push_back('\n');
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

std::wstring TextOf(HWND hwnd) {
    const auto length = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied =
        SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

Control ControlNamed(std::wstring_view name) {
    for (const windowlogic::ControlLayout& entry : windowlogic::Layout()) {
        if (std::wstring(entry.name.begin(), entry.name.end()) == name) {
            return entry.id;
        }
    }
    return Control::None;
}

std::wstring NameOf(Control control) {
    if (control == Control::None) {
        return L"None";
    }
    const std::string_view name = windowlogic::LayoutOf(control).name;
    return std::wstring(name.begin(), name.end());
}

int IdOf(Control control) {
    return win32::Form1::kFirstId + static_cast<int>(control);
}

struct Search {
    int id = 0;
    HWND found = nullptr;
};

HWND Find(HWND window, Control control) {
    Search search{IdOf(control), nullptr};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            if (GetDlgCtrlID(child) == search->id) {
                search->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

Control ControlOf(HWND hwnd) {
    // The combo box's own line has an identifier of the combo box's choosing.
    wchar_t parentClass[32] = {};
    if (hwnd && GetClassNameW(GetParent(hwnd), parentClass, 32) &&
        std::wstring_view(parentClass) == L"ComboBox") {
        hwnd = GetParent(hwnd);
    }
    for (; hwnd; hwnd = GetParent(hwnd)) {
        const int id = GetDlgCtrlID(hwnd) - win32::Form1::kFirstId;
        if (id > 0 && id < windowlogic::kControlCount) {
            return static_cast<Control>(id);
        }
        if (!(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD)) {
            break;
        }
    }
    return Control::None;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc < 2) {
        return 2;
    }
    const std::wstring_view command = argv[1];
    HWND window = FindWindowW(win32::Form1::kClassName, nullptr);
    if (!window) {
        return 1;
    }
    if (command == L"box" || command == L"boxrect") {
        // A message box is a dialog of the window's thread.
        struct Boxes {
            DWORD thread;
            HWND found = nullptr;
        } boxes{GetWindowThreadProcessId(window, nullptr)};
        EnumThreadWindows(
            boxes.thread,
            [](HWND each, LPARAM data) -> BOOL {
                wchar_t name[16] = {};
                GetClassNameW(each, name, 16);
                if (IsWindowVisible(each) && std::wstring_view(name) == L"#32770") {
                    reinterpret_cast<Boxes*>(data)->found = each;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&boxes));
        if (!boxes.found) {
            return 1;
        }
        if (command == L"boxrect") {
            RECT place{};
            GetWindowRect(boxes.found, &place);
            Print(std::to_wstring(place.right - place.left) + L"x" +
                  std::to_wstring(place.bottom - place.top) + L"+" + std::to_wstring(place.left) +
                  L"+" + std::to_wstring(place.top));
            return 0;
        }
        Print(TextOf(boxes.found));
        // A message box's prompt; a file dialog has none.
        if (HWND text = GetDlgItem(boxes.found, 0xFFFF)) {
            Print(TextOf(text));
        }
        return 0;
    }
    if (command == L"focus") {
        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread)) {
            return 1;
        }
        Print(NameOf(ControlOf(thread.hwndFocus)));
        return 0;
    }
    if (command == L"visible" && argc == 3) {
        HWND control = Find(window, ControlNamed(argv[2]));
        if (!control) {
            return 1;
        }
        Print(IsWindowVisible(control) ? L"1" : L"0");
        return 0;
    }
    if (command == L"text" && argc >= 3) {
        for (int i = 2; i < argc; ++i) {
            HWND control = Find(window, ControlNamed(argv[i]));
            if (!control) {
                return 1;
            }
            Print(TextOf(control));
        }
        return 0;
    }
    return 2;
}
