// SPDX-License-Identifier: GPL-3.0-or-later
// Makes the window from its layout (windowlogic/Layout.h): each control as a system control of
// its kind, placed from twips at the window's DPI with the font of its role, and drawn anew when
// the window moves to a screen of another DPI.
#include "Form1.h"
// After windows.h, which Form1.h includes and these build on.
#include <commctrl.h>
#include <initguid.h>  // defines the accessibility GUIDs oleacc.h declares
#include <oleacc.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "Drawing.h"
#include "Platform.h"
#include "WindowLogic.h"
#include "resources/Resource.h"

namespace win32 {

using windowlogic::Control;
using windowlogic::ControlLayout;
using windowlogic::FontRole;
using windowlogic::Kind;

namespace {

constexpr const wchar_t* kPanelClass = L"KorvelSplitterPanel";

std::wstring Caption(const ControlLayout& entry) {
    return W(entry.caption);
}

// True when a face of that name, or one the system stands in for it, is installed.
bool Installed(std::u16string_view face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    const std::wstring name = W(face.substr(0, LF_FACESIZE - 1));
    std::copy(name.begin(), name.end(), wanted.lfFaceName);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(
        screen, &wanted,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) -> int {
            *reinterpret_cast<bool*>(found) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// 宋体 for the text, the title's Kai face where one is installed and else 宋体 too. The system
// thickens a bold of 宋体 itself, so no face is preferred for a bold of its own. Chosen once:
// fonts do not come and go while the program runs.
const std::wstring& FaceOf(FontRole role) {
    static const std::wstring song =
        W(windowlogic::PreferredFace(windowlogic::Font(FontRole::Song).faces, Installed)
              .value_or(windowlogic::Font(FontRole::Song).faces.front()));
    static const std::wstring kai = [] {
        const auto face =
            windowlogic::PreferredFace(windowlogic::Font(FontRole::KaiTitle).faces, Installed);
        return face ? W(*face) : song;
    }();
    return role == FontRole::KaiTitle ? kai : song;
}

// The controls of each parent in tab order, parents before the controls they hold: the
// dialog manager tabs along the order in which controls were made. A panel takes the place of
// its first field. A field's label comes just before it, for Windows names a field after the
// label before it; other labels, which never take the focus, come after everything that does.
std::vector<const ControlLayout*> CreationOrder() {
    auto named = [](const ControlLayout& entry) {
        for (const ControlLayout& field : windowlogic::Layout()) {
            if (windowlogic::LabelOf(field.id) == entry.id) {
                return &field;
            }
        }
        return static_cast<const ControlLayout*>(nullptr);
    };
    auto key = [&](const ControlLayout& entry) {
        if (entry.kind == Kind::Panel) {
            for (Control stop : windowlogic::TabOrder()) {
                if (windowlogic::LayoutOf(stop).panel == entry.id) {
                    return 2 * windowlogic::LayoutOf(stop).tabIndex;
                }
            }
            return 2 * entry.tabIndex;
        }
        if (const ControlLayout* field = named(entry)) {
            return 2 * field->tabIndex - 1;
        }
        return windowlogic::TakesFocus(entry.kind) ? 2 * entry.tabIndex : 2000 + entry.tabIndex;
    };
    std::vector<const ControlLayout*> order;
    for (const ControlLayout& entry : windowlogic::Layout()) {
        order.push_back(&entry);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](const ControlLayout* a, const ControlLayout* b) {
                         const bool aInPanel = a->panel != Control::None;
                         const bool bInPanel = b->panel != Control::None;
                         if (aInPanel != bInPanel) {
                             return !aInPanel;
                         }
                         return key(*a) < key(*b);
                     });
    return order;
}

}  // namespace

bool Form1::Create() {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&classes);

    WNDCLASSEXW main{};
    main.cbSize = sizeof main;
    main.lpfnWndProc = WindowProc;
    main.hInstance = instance_;
    main.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(IDI_KORVEL));
    main.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    main.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    main.lpszClassName = kClassName;
    WNDCLASSEXW panel = main;
    panel.lpfnWndProc = PanelProc;
    panel.hIcon = nullptr;
    panel.lpszClassName = kPanelClass;
    // A window made before in this process has registered the classes already.
    for (const WNDCLASSEXW* windowClass : {&main, &panel}) {
        if (!RegisterClassExW(windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            return false;
        }
    }
    white_ = CreateSolidBrush(RGB(0xFF, 0xFF, 0xFF));
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&accessibility_)))) {
        accessibility_ = nullptr;  // the controls keep the names their labels give them
    }

    // A fixed border with no maximise button: the user cannot resize the window.
    window_ = CreateWindowExW(
        WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, kClassName, W(windowlogic::kWindowCaption).c_str(),
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, CW_USEDEFAULT,
        CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance_, this);
    if (!window_) {
        return false;
    }
    StartPosting();
    CreateControls();
    ApplyDpi(GetDpiForWindow(window_));

    // Centred on the work area of the screen it opens on.
    RECT frame{};
    GetWindowRect(window_, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    SetWindowPos(window_, nullptr,
                 area.left + ((area.right - area.left) - (frame.right - frame.left)) / 2,
                 area.top + ((area.bottom - area.top) - (frame.bottom - frame.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    logic_->Load();
    return true;
}

void Form1::CreateControls() {
    for (const ControlLayout* each : CreationOrder()) {
        const ControlLayout& entry = *each;
        HWND parent = entry.panel == Control::None ? window_ : Hwnd(entry.panel);
        const auto id = static_cast<HMENU>(
            reinterpret_cast<void*>(static_cast<INT_PTR>(kFirstId + static_cast<int>(entry.id))));
        const wchar_t* windowClass = nullptr;
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        switch (entry.kind) {
            case Kind::Shape:
            case Kind::Image: continue;  // drawn by the window itself (PaintBand)
            case Kind::Label:
            case Kind::Link:
                windowClass = WC_STATICW;
                // SS_NOTIFY: clicks, the pointer and tooltips reach the label.
                style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
                break;
            case Kind::ModeButton:
                // One group, one tab stop at the selected button; the logic checks them.
                windowClass = WC_BUTTONW;
                style |= BS_RADIOBUTTON | BS_PUSHLIKE;
                if (entry.id == Control::Option1) {
                    style |= WS_GROUP;
                }
                if (entry.id == windowlogic::kPanels[0].mode) {
                    style |= WS_TABSTOP;
                }
                break;
            case Kind::Panel:
                windowClass = kPanelClass;
                style = WS_CHILD | WS_GROUP | WS_CLIPCHILDREN |
                        (entry.id == windowlogic::kStartPanel ? WS_VISIBLE : 0);
                exStyle = WS_EX_CONTROLPARENT;
                break;
            case Kind::Button:
                windowClass = WC_BUTTONW;
                style |= WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON;
                break;
            case Kind::TextBox:
                windowClass = WC_EDITW;
                style |= WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL;
                exStyle = WS_EX_CLIENTEDGE;
                break;
            case Kind::ComboBox:
                windowClass = WC_COMBOBOXW;
                style |= WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
                break;
            case Kind::StatusLine:
                windowClass = WC_EDITW;
                style |= WS_TABSTOP | WS_GROUP | ES_READONLY | ES_AUTOHSCROLL;
                exStyle = WS_EX_CLIENTEDGE;
                break;
        }
        HWND hwnd = CreateWindowExW(exStyle, windowClass, Caption(entry).c_str(), style, 0, 0, 10,
                                    10, parent, id, instance_, nullptr);
        hwnds_[static_cast<std::size_t>(entry.id)] = hwnd;
        if (entry.kind == Kind::Panel) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        }
        if (entry.kind == Kind::TextBox) {
            SendMessageW(hwnd, EM_SETLIMITTEXT, kLongestPath, 0);
        }
        if (entry.kind == Kind::ComboBox) {
            SendMessageW(hwnd, CB_LIMITTEXT, kLongestPath, 0);
            SetWindowTextW(hwnd, Caption(entry).c_str());  // the window name is not its text
            COMBOBOXINFO parts{};
            parts.cbSize = sizeof parts;
            if (GetComboBoxInfo(hwnd, &parts)) {
                comboEdit_ = parts.hwndItem;
                hook_.Install(comboEdit_, entry.id, *logic_);
            }
        }
        if (entry.kind == Kind::TextBox || entry.kind == Kind::ModeButton) {
            hook_.Install(hwnd, entry.id, *logic_);
        }
        if (entry.kind == Kind::StatusLine) {
            status_.Attach(hwnd);
        }
        if (entry.kind == Kind::Label || entry.kind == Kind::Link) {
            if (entry.rect.height > 0) {
                SetWindowSubclass(hwnd, LabelProc, 0, reinterpret_cast<DWORD_PTR>(this));
            }
        }
        SetAccessibleText(hwnd, PROPID_ACC_NAME, entry.accessibleName);
        SetAccessibleText(hwnd, PROPID_ACC_DESCRIPTION,
                          windowlogic::AccessibleDescription(entry.id));
        if (entry.kind == Kind::Link) {
            SetAccessibleRole(hwnd, ROLE_SYSTEM_LINK);
        } else if (entry.kind == Kind::StatusLine) {
            SetAccessibleRole(hwnd, ROLE_SYSTEM_STATUSBAR);
        }
    }

    tooltip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
    for (const ControlLayout& entry : windowlogic::Layout()) {
        HWND hwnd = Hwnd(entry.id);
        if (entry.toolTip.empty() || !hwnd) {
            continue;
        }
        std::wstring text = W(entry.toolTip);
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = GetParent(hwnd);
        tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
        tool.lpszText = text.data();  // the tooltip keeps a copy
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    // The window opens on the split panel, its mode button the selected one.
    SendMessageW(Hwnd(windowlogic::kPanels[0].mode), BM_SETCHECK, BST_CHECKED, 0);
}

void Form1::SetAccessibleText(HWND hwnd, const GUID& property, std::u16string_view text) {
    if (!accessibility_) {
        return;
    }
    if (text.empty()) {
        MSAAPROPID cleared = property;
        accessibility_->ClearHwndProps(hwnd, OBJID_CLIENT, CHILDID_SELF, &cleared, 1);
    } else {
        accessibility_->SetHwndPropStr(hwnd, OBJID_CLIENT, CHILDID_SELF, property, W(text).c_str());
    }
}

void Form1::SetAccessibleRole(HWND hwnd, int role) {
    if (accessibility_) {
        VARIANT value{};
        value.vt = VT_I4;
        value.lVal = role;
        accessibility_->SetHwndProp(hwnd, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_ROLE, value);
    }
}

namespace {

// A drop-down combo box is as high as its field and borders, whatever height it is given: the
// field's height is set, and set again by what is still off, until the box is as high as the
// layout says. Measured, not reckoned: the borders are the theme's, and wine's field comes out
// two pixels higher than set (it was 22 pixels high where the layout says 20).
void FitComboHeight(HWND combo, int wanted) {
    auto field = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, -1, 0));
    for (int tries = 0; tries < 4; ++tries) {
        RECT shown{};
        GetWindowRect(combo, &shown);
        const int off = wanted - (shown.bottom - shown.top);
        if (off == 0 || field + off <= 0) {
            return;
        }
        field += off;
        SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    }
}

}  // namespace

int Form1::Px(int twips) const {
    return windowlogic::TwipsToPixels(twips, dpi_);
}

RECT Form1::PxRect(const windowlogic::TwipsRect& rect) const {
    const int left = Px(rect.left);
    const int top = Px(rect.top);
    return {left, top, left + Px(rect.width), top + Px(rect.height)};
}

HFONT Form1::FontOf(FontRole role) const {
    return fonts_[static_cast<std::size_t>(role)];
}

void Form1::ApplyDpi(UINT dpi) {
    dpi_ = dpi;
    for (HFONT& font : fonts_) {
        DeleteObject(font);
    }
    for (FontRole role :
         {FontRole::Song, FontRole::SongBold, FontRole::SongLink, FontRole::KaiTitle}) {
        const windowlogic::FontChoice& entry = windowlogic::Font(role);
        // Bold 宋体 has no bold face of its own: the system draws it thicker.
        fonts_[static_cast<std::size_t>(role)] =
            CreateFontW(-static_cast<int>(std::lround(entry.points * dpi / 72.0)), 0, 0, 0,
                        entry.bold ? FW_BOLD : FW_NORMAL, FALSE, entry.underline, FALSE,
                        GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, FaceOf(role).c_str());
    }

    for (HICON icon : {picture_, bigIcon_, smallIcon_}) {
        if (icon) {
            DestroyIcon(icon);
        }
    }
    const ControlLayout& image = windowlogic::LayoutOf(Control::Image1);
    auto icon = [this](int width, int height) {
        return static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_KORVEL), IMAGE_ICON,
                                             width, height, LR_DEFAULTCOLOR));
    };
    picture_ = icon(Px(image.rect.width), Px(image.rect.height));
    bigIcon_ = icon(GetSystemMetricsForDpi(SM_CXICON, dpi), GetSystemMetricsForDpi(SM_CYICON, dpi));
    smallIcon_ =
        icon(GetSystemMetricsForDpi(SM_CXSMICON, dpi), GetSystemMetricsForDpi(SM_CYSMICON, dpi));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    if (hand_) {
        DestroyCursor(hand_);
    }
    hand_ = static_cast<HCURSOR>(
        LoadImageW(instance_, MAKEINTRESOURCEW(dpi >= 144 ? IDC_HAND_64 : IDC_HAND_32),
                   IMAGE_CURSOR, 0, 0, LR_DEFAULTCOLOR));

    for (const ControlLayout& entry : windowlogic::Layout()) {
        HWND hwnd = Hwnd(entry.id);
        if (!hwnd) {
            continue;
        }
        HFONT font = FontOf(entry.font);
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        RECT place = PxRect(entry.rect);
        if (entry.kind == Kind::Label || entry.kind == Kind::Link) {
            // Every label sizes itself to its caption; a link leaves room for its underline.
            HDC dc = GetDC(hwnd);
            HGDIOBJ old = SelectObject(dc, font);
            const std::wstring caption = Caption(entry);
            SIZE size{};
            GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
            TEXTMETRICW metrics{};
            GetTextMetricsW(dc, &metrics);
            SelectObject(dc, old);
            ReleaseDC(hwnd, dc);
            place.right = place.left + size.cx;
            place.bottom =
                place.top + (entry.rect.height > 0 ? Px(entry.rect.height)
                                                   : std::max<int>(size.cy, metrics.tmHeight));
        }
        int height = place.bottom - place.top;
        if (entry.kind == Kind::ComboBox) {
            // The list below the field, for all six sizes.
            const auto item = static_cast<int>(SendMessageW(hwnd, CB_GETITEMHEIGHT, 0, 0));
            height += item * static_cast<int>(windowlogic::kPieceSizes.size()) + Px(60);
        }
        SetWindowPos(hwnd, nullptr, place.left, place.top, place.right - place.left, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (entry.kind == Kind::ComboBox) {
            FitComboHeight(hwnd, place.bottom - place.top);
        }
    }
    status_.Repaint();

    RECT frame{0, 0, Px(windowlogic::kClientWidth), Px(windowlogic::kClientHeight)};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)),
                             FALSE, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)),
                             dpi);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, MulDiv(400, static_cast<int>(dpi), 96));
    InvalidateRect(window_, nullptr, TRUE);
}

}  // namespace win32
