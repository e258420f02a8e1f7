// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a split or merge on a thread of its own, so that the window keeps painting while the
// work goes on. Meanwhile every input to every window is swallowed, and the status line's bar
// shows how much of the work is done.
#pragma once

#include <functional>

#include "Module1.h"

class StatusLine;

class BusyRunner {
  public:
    explicit BusyRunner(StatusLine& status) : status_(status) {}

    // Returns once the work has ended, with the bar hidden again; rethrows whatever it threw.
    void Run(const std::function<void(const Module1::Progress&)>& work);
    bool IsRunning() const { return running_; }

  private:
    StatusLine& status_;
    bool running_ = false;
};
