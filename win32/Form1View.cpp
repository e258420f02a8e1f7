// SPDX-License-Identifier: GPL-3.0-or-later
// What the window's logic sees of the window: its controls as a View, and the system's boxes,
// dialogs and file system (Platform.h) and the window's own queue of posted calls as a
// PlatformSeam.
#include "Form1.h"
// After windows.h, which Form1.h includes and this builds on.
#include <oleacc.h>

#include <optional>
#include <string>

#include "Platform.h"

namespace win32 {

using windowlogic::Control;

// View

std::u16string Form1::Text(Control control) const {
    HWND hwnd = Hwnd(control);
    if (!hwnd) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return U(text);
}

void Form1::SetText(Control control, const std::u16string& text) {
    SetWindowTextW(Hwnd(control), W(text).c_str());
}

void Form1::AddItem(Control list, const std::u16string& item) {
    // The text of a drop-down combo box stays as it is.
    SendMessageW(Hwnd(list), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(item).c_str()));
}

void Form1::SetSelection(Control field, int start, int length) {
    if (field == Control::Combo1) {
        SendMessageW(Hwnd(field), CB_SETEDITSEL, 0, MAKELPARAM(start, start + length));
    } else {
        SendMessageW(Hwnd(field), EM_SETSEL, static_cast<WPARAM>(start), start + length);
    }
}

void Form1::SetFocus(Control control) {
    ::SetFocus(Hwnd(control));
}

Control Form1::Focused() const {
    return ControlOf(GetFocus());
}

void Form1::SetVisible(Control control, bool visible) {
    HWND hwnd = Hwnd(control);
    HWND focused = GetFocus();
    const bool hadFocus = focused && (focused == hwnd || IsChild(hwnd, focused));
    ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
    if (!visible && hadFocus) {
        // The focus moves on along the tab order, as it does when a focused control hides.
        if (HWND next = GetNextDlgTabItem(window_, focused, FALSE)) {
            ::SetFocus(next);
        }
    }
}

void Form1::SetChecked(Control mode) {
    for (const windowlogic::PanelMode& each : windowlogic::kPanels) {
        HWND button = Hwnd(each.mode);
        const bool on = each.mode == mode;
        SendMessageW(button, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
        // The selected button is the group's one tab stop.
        const LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
        SetWindowLongPtrW(button, GWL_STYLE, on ? style | WS_TABSTOP : style & ~WS_TABSTOP);
    }
}

void Form1::SetEnabled(Control control, bool enabled) {
    HWND hwnd = Hwnd(control);
    EnableWindow(hwnd, enabled);
    // A panel takes its controls along, so that they also look it.
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        EnableWindow(child, enabled);
    }
}

void Form1::SetBusyCursor(bool busy) {
    busy_ = busy;
    POINT at{};
    GetCursorPos(&at);
    HWND under = WindowFromPoint(at);
    if (under && (under == window_ || IsChild(window_, under))) {
        if (busy) {
            SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
        } else {
            const auto hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
            SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                         MAKELPARAM(hit, WM_MOUSEMOVE));
        }
    }
}

void Form1::SetProgress(double fraction) {
    status_.SetProgress(fraction);
    // A screen reader hears the work done as the status line's value and description.
    if (const std::optional<int> told =
            progressReading_.Next(fraction, windowlogic::ProgressReading::Clock::now())) {
        HWND line = Hwnd(Control::Text1);
        SetAccessibleText(line, PROPID_ACC_VALUE,
                          *told < 0 ? std::u16string() : U(std::to_wstring(*told) + L"%"));
        SetAccessibleText(line, PROPID_ACC_DESCRIPTION, windowlogic::ProgressWords(*told));
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, line, OBJID_CLIENT, CHILDID_SELF);
    }
}

void Form1::Close() {
    if (window_) {
        DestroyWindow(window_);
    }
}

// PlatformSeam

int Form1::MsgBox(const std::u16string& prompt, int style, const std::u16string& title) {
    return win32::MsgBox(window_, prompt, style, title);
}

std::u16string Form1::ShowFileDialog(const windowlogic::FileDialogRequest& request) {
    return win32::ShowFileDialog(window_, request);
}

bool Form1::FileExists(const std::u16string& path) {
    return win32::FileExists(path);
}

bool Form1::IsFile(const std::u16string& path) {
    return win32::IsFile(path);
}

bool Form1::IsFolder(const std::u16string& path) {
    return win32::IsFolder(path);
}

std::u16string Form1::FolderOf(const std::u16string& path) {
    return win32::FolderOf(path);
}

// PlatformSeam: the calls Post queues, run on the window's thread

void Form1::Post(windowlogic::LifetimeToken owner, std::function<void()> call) {
    // Dropped once the window has gone: nothing is left to run it for.
    const std::lock_guard lock(postedLock_);
    if (!postTo_) {
        return;
    }
    posted_.push_back({std::move(owner), std::move(call)});
    // Should the message not be posted, the next one runs the call.
    PostMessageW(postTo_, kRunPosted, 0, 0);
}

void Form1::StartPosting() {
    const std::lock_guard lock(postedLock_);
    postTo_ = window_;
}

// The window has gone: nothing is left to run a waiting call for.
void Form1::StopPosting() {
    const std::lock_guard lock(postedLock_);
    postTo_ = nullptr;
    posted_.clear();
}

// Every waiting call, not one a message: a call whose PostMessageW failed would otherwise wait
// for good. Taken one at a time, so that a box a call opens runs the rest in order.
void Form1::RunPosted() {
    for (;;) {
        Posted next;
        {
            const std::lock_guard lock(postedLock_);
            if (posted_.empty()) {
                return;
            }
            next = std::move(posted_.front());
            posted_.pop_front();
        }
        if (!next.owner.expired()) {
            next.call();
        }
    }
}

}  // namespace win32
