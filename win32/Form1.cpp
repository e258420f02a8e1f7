// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.h"

#include <commctrl.h>
#include <initguid.h>  // defines the accessibility GUIDs oleacc.h declares
#include <oleacc.h>
#include <shellapi.h>

#include <algorithm>
#include <climits>
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
// The longest text a path field takes: the longest path the wide file functions take.
constexpr int kLongestPath = 32767;

Form1* FormOf(HWND hwnd) {
    return reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

std::wstring Caption(const ControlLayout& entry) {
    return W(entry.caption);
}

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
// its first field; labels, which never take the focus, come after everything that does.
std::vector<const ControlLayout*> CreationOrder() {
    auto key = [](const ControlLayout& entry) {
        if (entry.kind == Kind::Panel) {
            for (Control stop : windowlogic::TabOrder()) {
                if (windowlogic::LayoutOf(stop).panel == entry.id) {
                    return windowlogic::LayoutOf(stop).tabIndex;
                }
            }
            return entry.tabIndex;
        }
        return windowlogic::TakesFocus(entry.kind) ? entry.tabIndex : 1000 + entry.tabIndex;
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

windowlogic::Rgb SystemColour(int index) {
    const COLORREF colour = GetSysColor(index);
    return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

COLORREF ProgressColour() {
    const windowlogic::Rgb fill =
        windowlogic::ProgressFill(SystemColour(COLOR_BTNFACE), SystemColour(COLOR_HIGHLIGHT));
    return RGB(fill.red, fill.green, fill.blue);
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
    DeleteObject(progressBrush_);
    if (accessibility_) {
        accessibility_->Release();
    }
}

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
    {
        const std::lock_guard lock(postedLock_);
        postTo_ = window_;
    }
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

void Form1::OpenFile(const std::u16string& path) {
    std::wstring full(kLongestPath + 1, L'\0');
    const DWORD length =
        GetFullPathNameW(W(path).c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) {
        logic_->OpenFile(path);
        return;
    }
    full.resize(length);
    logic_->OpenFile(U(full));
}

void Form1::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    // Access keys underlined and the focus marked from the start, as the layout shows them.
    SendMessageW(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL | UISF_HIDEFOCUS),
                 0);
    UpdateWindow(window_);
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
                SetWindowSubclass(comboEdit_, ControlProc, static_cast<UINT_PTR>(entry.id),
                                  reinterpret_cast<DWORD_PTR>(this));
            }
        }
        if (entry.kind == Kind::TextBox || entry.kind == Kind::ModeButton ||
            entry.kind == Kind::StatusLine) {
            SetWindowSubclass(hwnd, ControlProc, static_cast<UINT_PTR>(entry.id),
                              reinterpret_cast<DWORD_PTR>(this));
        }
        if (!entry.accessibleName.empty()) {
            SetAccessibleName(hwnd, entry.accessibleName);
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

void Form1::SetAccessibleName(HWND hwnd, std::u16string_view name) {
    if (accessibility_) {
        const std::wstring text = W(name);
        accessibility_->SetHwndPropStr(hwnd, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME,
                                       text.c_str());
    }
}

int Form1::Px(int twips) const {
    return windowlogic::TwipsToPixels(twips, dpi_);
}

RECT Form1::PxRect(const windowlogic::TwipsRect& rect) const {
    const int left = Px(rect.left);
    const int top = Px(rect.top);
    return {left, top, left + Px(rect.width), top + Px(rect.height)};
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
            place.bottom = place.top + std::max<int>(size.cy, metrics.tmHeight) +
                           (entry.kind == Kind::Link ? 1 : 0);
        }
        int height = place.bottom - place.top;
        if (entry.kind == Kind::ComboBox) {
            // The text field as high as the layout says, the list below it for all six sizes.
            RECT shown{};
            GetWindowRect(hwnd, &shown);
            const auto field = static_cast<int>(SendMessageW(hwnd, CB_GETITEMHEIGHT, -1, 0));
            const int wanted = field + height - (shown.bottom - shown.top);
            if (wanted > 0) {
                SendMessageW(hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), wanted);
            }
            const auto item = static_cast<int>(SendMessageW(hwnd, CB_GETITEMHEIGHT, 0, 0));
            height += item * static_cast<int>(windowlogic::kPieceSizes.size()) + Px(60);
        }
        SetWindowPos(hwnd, nullptr, place.left, place.top, place.right - place.left, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    MakeProgressBrush();

    RECT frame{0, 0, Px(windowlogic::kClientWidth), Px(windowlogic::kClientHeight)};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)),
                             FALSE, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)),
                             dpi);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, MulDiv(400, static_cast<int>(dpi), 96));
    InvalidateRect(window_, nullptr, TRUE);
}

// The status line's background: the face colour, and the share of the work done filled from
// the left. A brush one row high and as wide as the line tiles it from top to bottom.
void Form1::MakeProgressBrush() {
    HWND status = Hwnd(Control::Text1);
    RECT client{};
    GetClientRect(status, &client);
    const int width = std::max<int>(1, client.right);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP row = CreateCompatibleBitmap(screen, width, 1);
    HGDIOBJ old = SelectObject(dc, row);
    RECT all{0, 0, width, 1};
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    if (progress_ > 0) {
        RECT done{0, 0, static_cast<int>(std::lround(width * std::min(progress_, 1.0))), 1};
        HBRUSH fill = CreateSolidBrush(ProgressColour());
        FillRect(dc, &done, fill);
        DeleteObject(fill);
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    DeleteObject(progressBrush_);
    progressBrush_ = CreatePatternBrush(row);
    DeleteObject(row);  // the brush keeps its own copy
    InvalidateRect(status, nullptr, TRUE);
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
        case WM_SYSCOLORCHANGE: MakeProgressBrush(); break;
        case kRunPosted: RunPosted(); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        case WM_NCDESTROY: {
            const std::lock_guard lock(postedLock_);
            postTo_ = nullptr;
            posted_.clear();
            window_ = nullptr;
            return 0;
        }
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
                SetBkMode(dc, TRANSPARENT);
                SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                result = reinterpret_cast<LRESULT>(progressBrush_);
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

void Form1::PaintBand(HDC dc) {
    const RECT band = PxRect(windowlogic::LayoutOf(Control::Shape1).rect);
    FillRect(dc, &band, white_);
    const RECT image = PxRect(windowlogic::LayoutOf(Control::Image1).rect);
    DrawIconEx(dc, image.left, image.top, picture_, image.right - image.left,
               image.bottom - image.top, 0, nullptr, DI_NORMAL);
}

// A frame with its caption on the top line, in the panel's bold font.
void Form1::PaintPanel(HWND panel, HDC dc) {
    const ControlLayout& entry = windowlogic::LayoutOf(ControlOf(panel));
    RECT client{};
    GetClientRect(panel, &client);
    HGDIOBJ old = SelectObject(dc, FontOf(entry.font));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    RECT frame = client;
    frame.top = metrics.tmHeight / 2;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    const std::wstring caption = Caption(entry);
    SIZE size{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
    const int left = Px(120);
    const int pad = Px(30);
    RECT behind{left, 0, left + size.cx + 2 * pad, metrics.tmHeight};
    FillRect(dc, &behind, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(IsWindowEnabled(panel) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    TextOutW(dc, left + pad, 0, caption.c_str(), static_cast<int>(caption.size()));
    SelectObject(dc, old);
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

LRESULT CALLBACK Form1::ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR form) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, ControlProc, id);
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
    return reinterpret_cast<Form1*>(form)->OnControlMessage(hwnd, static_cast<Control>(id), message,
                                                            wParam, lParam);
}

LRESULT Form1::OnControlMessage(HWND hwnd, Control control, UINT message, WPARAM wParam,
                                LPARAM lParam) {
    switch (message) {
        case WM_GETDLGCODE: {
            LRESULT code = DefSubclassProc(hwnd, message, wParam, lParam);
            const auto* key = reinterpret_cast<const MSG*>(lParam);
            if (windowlogic::IsField(control) && key && key->message == WM_KEYDOWN &&
                key->wParam == VK_RETURN &&
                !(control == Control::Combo1 &&
                  SendMessageW(Hwnd(Control::Combo1), CB_GETDROPPEDSTATE, 0, 0))) {
                code |= DLGC_WANTALLKEYS;  // Enter is the field's, to move the focus on
            }
            if (IsMode(control)) {
                code |= DLGC_WANTARROWS;  // the arrows step along the mode buttons
            }
            if (control == Control::Text1) {
                code &= ~DLGC_HASSETSEL;  // tabbing in selects nothing: it is only read
            }
            return code;
        }
        case WM_KEYDOWN: {
            const bool plain = !Down(VK_CONTROL) && !Down(VK_MENU) && !Down(VK_SHIFT);
            if (IsMode(control) && plain) {
                if (wParam == VK_UP || wParam == VK_LEFT) {
                    logic_->KeyDown(control, windowlogic::Key::Up);
                    return 0;
                }
                if (wParam == VK_DOWN || wParam == VK_RIGHT) {
                    logic_->KeyDown(control, windowlogic::Key::Down);
                    return 0;
                }
            }
            if (IsPathField(control)) {
                const bool ctrlOnly = Down(VK_CONTROL) && !Down(VK_MENU) && !Down(VK_SHIFT);
                if ((wParam == VK_F4 && plain && logic_->KeyDown(control, windowlogic::Key::F4)) ||
                    (wParam == 'O' && ctrlOnly &&
                     logic_->KeyDown(control, windowlogic::Key::CtrlO))) {
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
                if (wParam == VK_RETURN && control == Control::Combo1 &&
                    SendMessageW(Hwnd(Control::Combo1), CB_GETDROPPEDSTATE, 0, 0)) {
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
        case WM_SETFOCUS:
            if (control == Control::Text1) {
                const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
                HideCaret(hwnd);  // only read: no caret blinks in it
                return result;
            }
            break;
        case WM_SIZE:
            if (control == Control::Text1) {
                const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
                MakeProgressBrush();
                return result;
            }
            break;
        default: break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
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
    const double clamped = windowlogic::ClampProgress(fraction);
    if (clamped != progress_) {
        progress_ = clamped;
        MakeProgressBrush();
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

bool Form1::IsFolder(const std::u16string& path) {
    return win32::IsFolder(path);
}

std::u16string Form1::FolderOf(const std::u16string& path) {
    return win32::FolderOf(path);
}

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

}  // namespace win32
