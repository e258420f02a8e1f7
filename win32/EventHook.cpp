// SPDX-License-Identifier: GPL-3.0-or-later
#include "EventHook.h"

#include <commctrl.h>

#include <cstdint>

#include "Layout.h"
#include "WindowLogic.h"

namespace win32 {

using windowlogic::Control;
using windowlogic::Key;

namespace {

bool IsPathField(Control control) {
    return control == Control::txtFileName || control == Control::txtTemplateName ||
           control == Control::txtOutputFile;
}

bool IsMode(Control control) {
    return control == Control::Option1 || control == Control::Option2 ||
           control == Control::Option3;
}

bool Down(int key) {
    return GetKeyState(key) < 0;
}

// Combo1's list is open: Enter is the list's, to close it.
bool ListOpen(HWND hwnd, Control control) {
    return control == Control::Combo1 && SendMessageW(GetParent(hwnd), CB_GETDROPPEDSTATE, 0, 0);
}

}  // namespace

void EventHook::Install(HWND hwnd, Control control, windowlogic::Events& logic) {
    logic_ = &logic;
    SetWindowSubclass(hwnd, Proc, static_cast<UINT_PTR>(control),
                      reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK EventHook::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR hook) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, Proc, id);
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
    return reinterpret_cast<EventHook*>(hook)->OnMessage(hwnd, static_cast<Control>(id), message,
                                                         wParam, lParam);
}

LRESULT EventHook::OnMessage(HWND hwnd, Control control, UINT message, WPARAM wParam,
                             LPARAM lParam) {
    switch (message) {
        case WM_GETDLGCODE: {
            LRESULT code = DefSubclassProc(hwnd, message, wParam, lParam);
            const auto* key = reinterpret_cast<const MSG*>(lParam);
            if (windowlogic::IsField(control) && key && key->message == WM_KEYDOWN &&
                key->wParam == VK_RETURN && !ListOpen(hwnd, control)) {
                code |= DLGC_WANTALLKEYS;  // Enter is the field's, to move the focus on
            }
            if (IsMode(control)) {
                code |= DLGC_WANTARROWS;  // the arrows step along the mode buttons
            }
            return code;
        }
        case WM_KEYDOWN: {
            const bool plain = !Down(VK_CONTROL) && !Down(VK_MENU) && !Down(VK_SHIFT);
            if (IsMode(control) && plain) {
                if (wParam == VK_UP || wParam == VK_LEFT) {
                    logic_->KeyDown(control, Key::Up);
                    return 0;
                }
                if (wParam == VK_DOWN || wParam == VK_RIGHT) {
                    logic_->KeyDown(control, Key::Down);
                    return 0;
                }
            }
            if (IsPathField(control)) {
                const bool ctrlOnly = Down(VK_CONTROL) && !Down(VK_MENU) && !Down(VK_SHIFT);
                if ((wParam == VK_F4 && plain && logic_->KeyDown(control, Key::F4)) ||
                    (wParam == 'O' && ctrlOnly && logic_->KeyDown(control, Key::CtrlO))) {
                    return 0;
                }
            }
            break;
        }
        case WM_CHAR:
            if (windowlogic::IsField(control)) {
                if (IsPathField(control) && wParam == 0x0F) {
                    return 0;  // Ctrl+O's character: the key has opened the chooser
                }
                if (wParam == VK_RETURN && ListOpen(hwnd, control)) {
                    break;  // Enter closes the open list
                }
                auto code = static_cast<std::int16_t>(wParam);
                logic_->KeyPress(control, code);
                if (code == 0) {
                    return 0;  // discarded: nothing is typed and nothing beeps
                }
                wParam = static_cast<WPARAM>(static_cast<std::uint16_t>(code));
            }
            break;
        case WM_SYSCHAR:
            // Alt with a key the dialog manager found no visible button for: the logic's rule,
            // and no beep. Alt+Space still opens the window's menu.
            if (wParam != VK_SPACE && !Down(VK_CONTROL)) {
                logic_->AccessKey(static_cast<char16_t>(wParam));
                return 0;
            }
            break;
        case WM_LBUTTONDOWN:
            if (windowlogic::IsField(control) && GetFocus() != hwnd) {
                // The click places the caret once the focus has arrived; select after it.
                const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
                selectOnRelease_ = control;
                return result;
            }
            break;
        case WM_LBUTTONUP:
            if (selectOnRelease_ == control) {
                const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
                selectOnRelease_ = Control::None;
                logic_->GotFocus(control);
                return result;
            }
            break;
        default: break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace win32
