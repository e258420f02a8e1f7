// SPDX-License-Identifier: GPL-3.0-or-later
// What the window tests (tests/windowlogic, tests/ui, tests/win32) share besides TestFiles.h:
// UTF-8 for the window's UTF-16 texts, so that comparisons print readably.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "TestFiles.h"

namespace window_tests {

using testing_files::kMiB;

inline std::string Utf8(std::u16string_view text) {
    return testing_files::Utf8(std::u16string(text));
}

}  // namespace window_tests
