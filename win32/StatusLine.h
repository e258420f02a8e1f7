// SPDX-License-Identifier: GPL-3.0-or-later
// The status line: a read-only edit whose background fills from the left with the work done
// while a split or merge runs; its text is untouched. It takes the focus in its turn, but
// selects nothing and shows no caret when it does. The Qt window's StatusLine is its twin.
#pragma once

#include <windows.h>

namespace win32 {

class StatusLine {
  public:
    StatusLine() = default;
    ~StatusLine();
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    // Takes over the edit: its focus, its selection and its size.
    void Attach(HWND edit);
    // Fraction of the work done, 0 to 1; a negative value takes the fill away.
    void SetProgress(double fraction);
    // Draws the fill anew, at the line's size and in the system's colours of now.
    void Repaint();
    // What the edit's parent answers WM_CTLCOLORSTATIC with: the fill behind the text.
    LRESULT Colours(HDC dc) const;

  private:
    static LRESULT CALLBACK Proc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR line);

    HWND edit_ = nullptr;
    HBRUSH fill_ = nullptr;
    double progress_ = -1;
};

}  // namespace win32
