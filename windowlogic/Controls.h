// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls by name. The view, the layout and the logic speak of controls by these
// values alone, so no toolkit type crosses between them.
#pragma once

#include <cstdint>

namespace windowlogic {

enum class Control : std::uint8_t {
    None,  // no control of the window, e.g. when the focus is elsewhere
    // The title band.
    Shape1,
    Image1,
    Label2,
    Label30,
    // The mode buttons and their panels.
    Option1,
    Option2,
    Option3,
    Frame1,
    Frame2,
    Frame4,
    // Split panel.
    Label1_0,
    Label4,
    txtFileName,
    Label1_1,
    Combo1,
    cmdSplit,
    // Merge panel.
    Label1_3,
    Label3,
    txtTemplateName,
    Label1_2,
    Label5,
    txtOutputFile,
    cmdUnsplit,
    // Help panel.
    Label6,
    Label7,
    Label8,
    Label9,
    Label10,
    Label11,
    // Bottom.
    Command1,
    Text1,
};

inline constexpr int kControlCount = static_cast<int>(Control::Text1) + 1;

}  // namespace windowlogic
