// SPDX-License-Identifier: GPL-3.0-or-later
// What the window paints itself rather than leaving to the system's controls: the title band,
// the panels' frames with their captions, and the labels, kept to the layout's height.
#include "Form1.h"
// After windows.h, which Form1.h includes and this builds on.
#include <commctrl.h>

#include <algorithm>

#include "Drawing.h"
#include "Platform.h"

namespace win32 {

using windowlogic::Control;
using windowlogic::ControlLayout;
using windowlogic::FontRole;
using windowlogic::Kind;

LRESULT CALLBACK Form1::LabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR id, DWORD_PTR form) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(label, &paint);
        reinterpret_cast<Form1*>(form)->PaintLabel(label, dc);
        EndPaint(label, &paint);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(label, LabelProc, id);
    }
    return DefSubclassProc(label, message, wParam, lParam);
}

// A label as tall as the layout says, which is its font's em and, under wine's faces, less than
// its line: the text and a link's underline drawn inside it by the rule both windows share, in
// the colours and on the background its parent gives every label.
void Form1::PaintLabel(HWND label, HDC dc) {
    const ControlLayout& entry = windowlogic::LayoutOf(ControlOf(label));
    RECT client{};
    GetClientRect(label, &client);
    auto background = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(label), WM_CTLCOLORSTATIC,
                                                            reinterpret_cast<WPARAM>(dc),
                                                            reinterpret_cast<LPARAM>(label)));
    FillRect(dc, &client, background);
    if (!IsWindowEnabled(label)) {
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    }
    const bool link = entry.kind == Kind::Link;
    HGDIOBJ old = SelectObject(dc, FontOf(link ? FontRole::Song : entry.font));
    const int thickness = std::max(1, Px(15));  // a pixel at 96 dpi
    const windowlogic::LabelLines lines =
        windowlogic::LabelLinesFor(client.bottom, thickness, thickness);
    const std::wstring caption = W(entry.caption);
    SetTextAlign(dc, TA_LEFT | TA_BASELINE);
    TextOutW(dc, 0, lines.baseline, caption.c_str(), static_cast<int>(caption.size()));
    if (link) {
        SIZE size{};
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
        const RECT line{0, lines.underline, size.cx, lines.underline + thickness};
        HBRUSH ink = CreateSolidBrush(GetTextColor(dc));
        FillRect(dc, &line, ink);
        DeleteObject(ink);
    }
    SelectObject(dc, old);
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
    const std::wstring caption = W(entry.caption);
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

}  // namespace win32
