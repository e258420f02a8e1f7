// SPDX-License-Identifier: GPL-3.0-or-later
// Hands the keys and clicks of the fields and the mode buttons to the window's logic before the
// controls act on them: Enter and typed characters in a field, Alt with a key, the arrows on the
// mode buttons, F4 and Ctrl+O in a path field, and the click after which a field selects its
// text. The Qt window's EventHook is its twin.
#pragma once

#include <windows.h>

#include "Controls.h"

namespace windowlogic {
class Events;
}

namespace win32 {

class EventHook {
  public:
    // Hooks a field (for Combo1, the edit it types into) or a mode button; its events go to
    // logic, which must outlive the control.
    void Install(HWND hwnd, windowlogic::Control control, windowlogic::Events& logic);

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR hook);
    LRESULT OnMessage(HWND hwnd, windowlogic::Control control, UINT message, WPARAM wParam,
                      LPARAM lParam);

    windowlogic::Events* logic_ = nullptr;
    windowlogic::Control selectOnRelease_ = windowlogic::Control::None;
};

}  // namespace win32
