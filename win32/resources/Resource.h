// SPDX-License-Identifier: GPL-3.0-or-later
// Identifiers of the program's resources (korvel-splitter.rc).
#pragma once

// The program's icon, several sizes in one: the window's, the taskbar's, Explorer's and the
// picture in the title band.
#define IDI_KORVEL 1
// The pointing hand over the links, for screens up to 1.5 times and above.
#define IDC_HAND_32 101
#define IDC_HAND_64 102
