// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled with the window's include paths by the boundary test, which passes only when this
// fails to compile: the window may use the engine's public header and nothing behind it.
#include "FileIo.h"
#include "Text.h"
