// SPDX-License-Identifier: GPL-3.0-or-later
// Turns the signals that ask a program to end (SIGTERM, SIGINT, SIGHUP) into a call on the
// window's thread, so that a running split or merge stops as on a close request and the
// program ends once the engine has stopped, instead of dying in the middle of a write.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

class StopSignals : public QObject {
  public:
    // Only one may live at a time.
    StopSignals(std::function<void()> onStop, QObject* parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    std::function<void()> onStop_;
    QSocketNotifier* notifier_ = nullptr;
};
