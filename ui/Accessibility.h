// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader reads of the window through Qt's accessibility (AT-SPI on Linux), where
// Qt's own reading would mislead: the size box by its label (on Linux Qt names an editable combo
// box by its text), the mode buttons as radio buttons that a reader presses, the links as links,
// the status line as a status bar whose value is the work done, and a message box as an alert
// described by its prompt, which reads as a label.
#pragma once

class QWidget;

namespace accessibility {

// A widget carrying this property (a QAccessible::Role) is read with that role, its name and
// description as Qt gives them.
inline constexpr char kRole[] = "korvelAccessibleRole";

// Installs the window's reading once; before the first window shows.
void Install();

}  // namespace accessibility
