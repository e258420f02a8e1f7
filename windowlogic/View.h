// SPDX-License-Identifier: GPL-3.0-or-later
// What the logic asks of a window's controls. A window implements it over its own widgets; the
// logic calls it on the window's thread only.
#pragma once

#include <string>

#include "Controls.h"

namespace windowlogic {

class View {
  public:
    virtual ~View() = default;

    virtual std::u16string Text(Control control) const = 0;
    virtual void SetText(Control control, const std::u16string& text) = 0;
    // Appends an item to a combo box's list; its text stays as it is.
    virtual void AddItem(Control list, const std::u16string& item) = 0;
    // Selects length characters (UTF-16 units) from start in a field.
    virtual void SetSelection(Control field, int start, int length) = 0;
    // Moves the keyboard focus; a field that receives it reports it back through GotFocus.
    virtual void SetFocus(Control control) = 0;
    // The control that has the focus in the window, also while a box or another program has
    // the desktop's focus (the window gives it back to that control); None for none.
    virtual Control Focused() const = 0;
    virtual void SetVisible(Control control, bool visible) = 0;
    // Selects a mode button, which clears the other two; selecting reports no click.
    virtual void SetChecked(Control mode) = 0;
    // A control that is not enabled takes no input and looks so, with everything it holds.
    virtual void SetEnabled(Control control, bool enabled) = 0;
    // The busy pointer over the window while a split or merge runs.
    virtual void SetBusyCursor(bool busy) = 0;
    // How much of the work is done, 0 to 1, as a fill behind the status line's text; a
    // negative value takes the fill away. The text is not touched.
    virtual void SetProgress(double fraction) = 0;
    // Hides the window and unloads it; it is the only window, so the program then ends.
    virtual void Close() = 0;
};

}  // namespace windowlogic
