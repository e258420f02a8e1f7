// SPDX-License-Identifier: GPL-3.0-or-later
// korvel, the command line: what it does with its arguments, apart from the system's console and
// signals (main.cpp), so that tests drive it as a shell would.
//   korvel split FILE SIZE            SIZE in M, read as the window reads its size box
//   korvel merge [--force] FILE [OUTPUT]
//   korvel verify FILE
//   korvel --help | --version
// Exit status: 0 on success, 1 on failure (the engine's message on standard error), 2 on a
// usage error.
#pragma once

#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsageError = 2;

// Where korvel writes: text in UTF-16, lines ended by line feeds.
class Console {
  public:
    virtual ~Console() = default;
    virtual void Out(std::u16string_view text) = 0;
    virtual void Err(std::u16string_view text) = 0;
    // Whether standard error is a terminal, where progress is shown.
    virtual bool ErrIsTerminal() const = 0;
};

// Runs korvel with its arguments (without the program's name); a stop request (Ctrl+C) stops a
// split or merge as a stop in the window does, leaving nothing of it.
int Run(const std::vector<std::u16string>& arguments, Console& console, std::stop_token stop);

}  // namespace korvel
