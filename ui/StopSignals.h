// SPDX-License-Identifier: GPL-3.0-or-later
// Turns the signals that ask a program to end (SIGTERM, SIGINT, SIGHUP) into StopRequested on
// the window's thread, so that a running split or merge stops as on a close request and the
// program ends once the engine has stopped, instead of dying in the middle of a write.
// The first signal asks once; a second changes nothing; a third ends the program at once.
#pragma once

#include <QObject>

class StopSignals : public QObject {
    Q_OBJECT

  public:
    // Make one per process, before the window. The signals stay caught for the rest of the
    // process, so that one coming while the window's logic waits for the engine to stop and
    // remove its temporary files, or while the program ends, cannot cut that short.
    explicit StopSignals(QObject* parent = nullptr);
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  signals:
    void StopRequested();
};
