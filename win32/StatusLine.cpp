// SPDX-License-Identifier: GPL-3.0-or-later
#include "StatusLine.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "Drawing.h"

namespace win32 {

namespace {

windowlogic::Rgb SystemColour(int index) {
    const COLORREF colour = GetSysColor(index);
    return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

COLORREF FillColour() {
    const windowlogic::Rgb fill =
        windowlogic::ProgressFill(SystemColour(COLOR_BTNFACE), SystemColour(COLOR_HIGHLIGHT));
    return RGB(fill.red, fill.green, fill.blue);
}

}  // namespace

StatusLine::~StatusLine() {
    DeleteObject(fill_);
}

void StatusLine::Attach(HWND edit) {
    edit_ = edit;
    SetWindowSubclass(edit, Proc, 0, reinterpret_cast<DWORD_PTR>(this));
}

void StatusLine::SetProgress(double fraction) {
    const double clamped = windowlogic::ClampProgress(fraction);
    if (clamped != progress_) {
        progress_ = clamped;
        Repaint();
    }
}

// The face colour, and the share of the work done filled from the left: a brush one row high
// and as wide as the line tiles it from top to bottom.
void StatusLine::Repaint() {
    RECT client{};
    GetClientRect(edit_, &client);
    const int width = std::max<int>(1, client.right);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP row = CreateCompatibleBitmap(screen, width, 1);
    HGDIOBJ old = SelectObject(dc, row);
    RECT all{0, 0, width, 1};
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    if (progress_ > 0) {
        RECT done{0, 0, static_cast<int>(std::lround(width * progress_)), 1};
        HBRUSH fill = CreateSolidBrush(FillColour());
        FillRect(dc, &done, fill);
        DeleteObject(fill);
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    DeleteObject(fill_);
    fill_ = CreatePatternBrush(row);
    DeleteObject(row);  // the brush keeps its own copy
    InvalidateRect(edit_, nullptr, TRUE);
}

LRESULT StatusLine::Colours(HDC dc) const {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return reinterpret_cast<LRESULT>(fill_);
}

LRESULT CALLBACK StatusLine::Proc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR id, DWORD_PTR line) {
    switch (message) {
        case WM_NCDESTROY: RemoveWindowSubclass(edit, Proc, id); break;
        case WM_GETDLGCODE:
            // Tabbing in selects nothing: it is only read.
            return DefSubclassProc(edit, message, wParam, lParam) & ~DLGC_HASSETSEL;
        case WM_SETFOCUS: {
            const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
            HideCaret(edit);  // only read: no caret blinks in it
            return result;
        }
        case WM_SIZE: {
            const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
            reinterpret_cast<StatusLine*>(line)->Repaint();
            return result;
        }
        default: break;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

}  // namespace win32
