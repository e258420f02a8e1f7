// SPDX-License-Identifier: GPL-3.0-or-later
// The window's routing: every system message to the window and its panels becomes one call into
// the logic, or a piece of drawing in Form1Layout.cpp.
#include "Form1.h"

#include <oleacc.h>
#include <shellapi.h>

#include "Platform.h"
#include "WindowLogic.h"

namespace win32 {

using windowlogic::Control;
using windowlogic::ControlLayout;
using windowlogic::Kind;

namespace {

Form1* FormOf(HWND hwnd) {
    return reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace

Form1::Form1(HINSTANCE instance)
    : instance_(instance), logic_(std::make_unique<windowlogic::WindowLogic>(*this, *this)) {}

Form1::~Form1() {
    logic_.reset();  // stops and waits for a split or merge still running
    if (window_) {
        DestroyWindow(window_);
    }
    for (HFONT font : fonts_) {
        DeleteObject(font);
    }
    for (HICON icon : {picture_, bigIcon_, smallIcon_}) {
        if (icon) {
            DestroyIcon(icon);
        }
    }
    if (hand_) {
        DestroyCursor(hand_);
    }
    DeleteObject(white_);
    if (accessibility_) {
        accessibility_->Release();
    }
}

namespace {

// A path from the command line made full, as a drop hands it over.
std::u16string FullPath(const std::u16string& path) {
    std::wstring full(32768, L'\0');  // the longest path a wide call takes, and its end
    const DWORD length =
        GetFullPathNameW(W(path).c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) {
        return path;
    }
    full.resize(length);
    return U(full);
}

}  // namespace

void Form1::OpenFile(const std::u16string& path) {
    logic_->OpenFile(FullPath(path));
}

void Form1::OpenFileToSplit(const std::u16string& path) {
    logic_->OpenFileToSplit(FullPath(path));
}

void Form1::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    // Access keys underlined and the focus marked from the start, as the layout shows them.
    SendMessageW(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL | UISF_HIDEFOCUS),
                 0);
    UpdateWindow(window_);
}

LRESULT CALLBACK Form1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        form->window_ = window;
    }
    Form1* form = FormOf(window);
    if (!form || !form->window_) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return form->OnMessage(message, wParam, lParam);
}

LRESULT Form1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnChildMessage(message, wParam, lParam, result)) {
        return result;
    }
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window_, &paint);
            PaintBand(dc);
            EndPaint(window_, &paint);
            return 0;
        }
        case WM_ACTIVATE:
            // The focus leaves with the window and comes back to the same control, as in a
            // dialog; the first time, to the first tab stop (the selected mode button).
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focused = GetFocus();
                if (focused && IsChild(window_, focused)) {
                    focusBeforeDeactivation_ = focused;
                }
            } else if (!HIWORD(wParam)) {
                HWND target = focusBeforeDeactivation_;
                if (!target || !IsWindow(target) || !IsWindowVisible(target) ||
                    !IsWindowEnabled(target)) {
                    target = GetNextDlgTabItem(window_, nullptr, FALSE);
                }
                if (target) {
                    ::SetFocus(target);
                }
            }
            return 0;
        case WM_CLOSE:
            // The title bar's close button, Alt+F4 or the system menu.
            if (logic_->CloseRequest()) {
                DestroyWindow(window_);
            }
            return 0;
        case WM_QUERYENDSESSION: return TRUE;
        case WM_ENDSESSION:
            // The session ends: a running split or merge stops without a question.
            if (wParam) {
                logic_->Terminate();
            }
            return 0;
        case WM_DROPFILES: OnDropFiles(reinterpret_cast<HDROP>(wParam)); return 0;
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            ApplyDpi(HIWORD(wParam));
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_SYSCOLORCHANGE: status_.Repaint(); break;
        case kRunPosted: RunPosted(); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        case WM_NCDESTROY:
            StopPosting();
            window_ = nullptr;
            return 0;
        default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

// Messages a control sends its parent, whether the window or a panel.
bool Form1::OnChildMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
            result = 0;
            return true;
        case WM_SETCURSOR:
            if (OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam))) {
                result = TRUE;
                return true;
            }
            return false;
        case WM_CTLCOLORSTATIC: {
            HWND from = reinterpret_cast<HWND>(lParam);
            auto dc = reinterpret_cast<HDC>(wParam);
            const Control control = ControlOf(from);
            if (control == Control::None) {
                return false;
            }
            const ControlLayout& entry = windowlogic::LayoutOf(control);
            if (entry.kind == Kind::StatusLine) {
                result = status_.Colours(dc);
                return true;
            }
            if (entry.kind != Kind::Label && entry.kind != Kind::Link) {
                return false;
            }
            // A transparent label shows what lies beneath it: the title band or the face.
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, entry.colour
                                 ? RGB(entry.colour->red, entry.colour->green, entry.colour->blue)
                                 : GetSysColor(COLOR_WINDOWTEXT));
            const auto& band = windowlogic::LayoutOf(Control::Shape1).rect;
            const bool onBand =
                entry.panel == Control::None && entry.rect.top < band.top + band.height;
            result = reinterpret_cast<LRESULT>(onBand ? white_ : GetSysColorBrush(COLOR_BTNFACE));
            return true;
        }
        default: return false;
    }
}

LRESULT CALLBACK Form1::PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    Form1* form = FormOf(panel);
    if (!form) {
        return DefWindowProcW(panel, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (form->OnChildMessage(message, wParam, lParam, result)) {
        return result;
    }
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(panel, &paint);
        form->PaintPanel(panel, dc);
        EndPaint(panel, &paint);
        return 0;
    }
    if (message == WM_ENABLE) {
        InvalidateRect(panel, nullptr, TRUE);  // the caption greys with the panel
    }
    return DefWindowProcW(panel, message, wParam, lParam);
}

void Form1::OnCommand(HWND from, int id, int code) {
    if (id == IDOK) {
        // Enter where no field takes it: the push button that has the focus is pressed.
        const Control focused = Focused();
        if (focused != Control::None && windowlogic::LayoutOf(focused).kind == Kind::Button) {
            logic_->Click(focused);
        }
        return;
    }
    const Control control = ControlOf(from);
    if (control == Control::None) {
        return;  // Escape (IDCANCEL) does nothing
    }
    switch (windowlogic::LayoutOf(control).kind) {
        case Kind::ModeButton:
        case Kind::Button:
            if (code == BN_CLICKED) {
                logic_->Click(control);
            }
            break;
        case Kind::Link:
            if (code == STN_CLICKED) {
                logic_->Click(control);
            }
            break;
        case Kind::TextBox:
            if (code == EN_SETFOCUS) {
                logic_->GotFocus(control);
            }
            break;
        case Kind::ComboBox:
            if (code == CBN_SETFOCUS) {
                logic_->GotFocus(control);
            }
            break;
        default: break;
    }
}

bool Form1::OnSetCursor(HWND under, int hit) {
    if (busy_) {
        // The arrow with the busy mark: the close button is still live.
        SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
        return true;
    }
    const Control control = ControlOf(under);
    if (hit == HTCLIENT && control != Control::None &&
        windowlogic::LayoutOf(control).kind == Kind::Link) {
        SetCursor(hand_);
        return true;
    }
    return false;
}

void Form1::OnDropFiles(HDROP drop) {
    // One file at a time, as a chooser would give it; several at once are refused.
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
        const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        DragQueryFileW(drop, 0, path.data(), length + 1);
        path.resize(length);
        logic_->DropFile(U(path));
    }
    DragFinish(drop);
}

HWND Form1::Hwnd(Control control) const {
    return hwnds_[static_cast<std::size_t>(control)];
}

Control Form1::ControlOf(HWND hwnd) const {
    if (!hwnd) {
        return Control::None;
    }
    if (hwnd == comboEdit_) {
        return Control::Combo1;
    }
    for (int i = 1; i < windowlogic::kControlCount; ++i) {
        if (hwnds_[static_cast<std::size_t>(i)] == hwnd) {
            return static_cast<Control>(i);
        }
    }
    return Control::None;
}

}  // namespace win32
