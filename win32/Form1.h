// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one window on Windows, drawn with the system's own controls (CreateWindowExW)
// from the layout in windowlogic/Layout.h: a white title band with the picture and the title,
// three mode buttons switching the split, merge and help panels, the close button and the
// status line. The window decides nothing itself: each event of a control is one call into the
// window's logic (windowlogic::WindowLogic), which answers through this class as its View and
// PlatformSeam: controls, message boxes, file dialogs and calls posted back to the window's
// thread with PostMessageW.
//
//   system message -> WindowProc / PanelProc (Form1.cpp) or EventHook -> Events (the logic)
//   -> View / PlatformSeam (Form1View.cpp)
//
// Form1Layout.cpp makes the window and its controls from the layout and lays them out at the
// window's DPI, anew when it moves to a screen of another DPI; StatusLine paints the fill.
#pragma once

#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "Controls.h"
#include "Drawing.h"
#include "EventHook.h"
#include "Layout.h"
#include "PlatformSeam.h"
#include "StatusLine.h"
#include "View.h"

struct IAccPropServices;

namespace windowlogic {
class Events;
}

namespace win32 {

class Form1 final : public windowlogic::View, public windowlogic::PlatformSeam {
  public:
    explicit Form1(HINSTANCE instance);
    ~Form1() override;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // Creates the window and its controls, hidden, centred on the screen; Form_Load runs.
    // False when the system refused a window.
    bool Create();
    // The file named on the command line, before the window shows.
    void OpenFile(const std::u16string& path);
    void OpenFileToSplit(const std::u16string& path);
    void Show(int showCommand);
    // The top-level window, or null once it is gone.
    HWND Handle() const { return window_; }

    // The window's class name, by which a test helper finds it.
    static constexpr const wchar_t* kClassName = L"KorvelSplitterWindow";
    // A control's identifier: kFirstId plus its place in windowlogic::Control, clear of IDOK
    // and IDCANCEL, which the dialog manager sends for Enter and Escape.
    static constexpr int kFirstId = 1000;
    // Asks the window to run the calls PlatformSeam::Post has queued.
    static constexpr UINT kRunPosted = WM_APP + 1;

    // View
    std::u16string Text(windowlogic::Control control) const override;
    void SetText(windowlogic::Control control, const std::u16string& text) override;
    void AddItem(windowlogic::Control list, const std::u16string& item) override;
    void SetSelection(windowlogic::Control field, int start, int length) override;
    void SetFocus(windowlogic::Control control) override;
    windowlogic::Control Focused() const override;
    void SetVisible(windowlogic::Control control, bool visible) override;
    void SetChecked(windowlogic::Control mode) override;
    void SetEnabled(windowlogic::Control control, bool enabled) override;
    void SetBusyCursor(bool busy) override;
    void SetProgress(double fraction) override;
    void Close() override;

    // PlatformSeam
    int MsgBox(const std::u16string& prompt, int style, const std::u16string& title) override;
    std::u16string ShowFileDialog(const windowlogic::FileDialogRequest& request) override;
    bool FileExists(const std::u16string& path) override;
    bool IsFile(const std::u16string& path) override;
    bool IsFolder(const std::u16string& path) override;
    std::u16string FolderOf(const std::u16string& path) override;
    void Post(windowlogic::LifetimeToken owner, std::function<void()> call) override;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK LabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR form);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // What the panels hand up: notifications, colours and the pointer.
    bool OnChildMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void OnCommand(HWND from, int id, int code);
    bool OnSetCursor(HWND under, int hit);
    void OnDropFiles(HDROP drop);
    HWND Hwnd(windowlogic::Control control) const;
    windowlogic::Control ControlOf(HWND hwnd) const;

    // Form1Layout.cpp
    void CreateControls();
    // Fonts, pictures and every control's place for a DPI.
    void ApplyDpi(UINT dpi);
    int Px(int twips) const;
    RECT PxRect(const windowlogic::TwipsRect& rect) const;
    HFONT FontOf(windowlogic::FontRole role) const;
    // What a screen reader reads of a control where its kind and label do not say it, through
    // IAccPropServices; an empty text takes the control's own back.
    void SetAccessibleText(HWND hwnd, const GUID& property, std::u16string_view text);
    void SetAccessibleRole(HWND hwnd, int role);
    void PaintBand(HDC dc);
    void PaintPanel(HWND panel, HDC dc);
    void PaintLabel(HWND label, HDC dc);

    // Form1View.cpp: the calls PlatformSeam::Post queues, taken while the window lives.
    void StartPosting();
    void StopPosting();
    void RunPosted();

    // The longest text a path field takes: the longest path the wide file functions take.
    static constexpr int kLongestPath = 32767;

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND comboEdit_ = nullptr;  // the line Combo1 types into
    std::array<HWND, windowlogic::kControlCount> hwnds_{};
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    std::array<HFONT, 4> fonts_{};
    HICON picture_ = nullptr;  // Image1, at its size for the DPI
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    HCURSOR hand_ = nullptr;
    HBRUSH white_ = nullptr;
    StatusLine status_;
    windowlogic::ProgressReading progressReading_;
    EventHook hook_;
    HWND focusBeforeDeactivation_ = nullptr;
    bool busy_ = false;
    IAccPropServices* accessibility_ = nullptr;

    struct Posted {
        windowlogic::LifetimeToken owner;
        std::function<void()> call;
    };
    std::mutex postedLock_;
    std::deque<Posted> posted_;
    HWND postTo_ = nullptr;  // the window while it takes posted calls

    // Last, so that it goes first: its worker is stopped and joined while the window's state
    // is all still there.
    std::unique_ptr<windowlogic::Events> logic_;
};

}  // namespace win32
