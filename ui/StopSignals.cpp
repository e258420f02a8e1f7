// SPDX-License-Identifier: GPL-3.0-or-later
#include "StopSignals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

// The handler may only write a byte; the window's thread reads it through the notifier. The
// pair is never closed, so the handler, which outlives the notifier, never writes to a
// descriptor reused for something else.
int pipeEnds[2] = {-1, -1};
constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};
// Counted across threads: any thread, the engine's too, may take a signal.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a signal-safe count");

extern "C" void OnStopSignal(int signal) {
    const int count = received.fetch_add(1) + 1;
    if (count >= 3) {
        // Whoever sends a third means it: end now, as the signal would have without us.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    if (count == 1) {
        const int savedErrno = errno;  // the interrupted code may be about to read it
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
        errno = savedErrno;
    }
}

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeEnds) != 0) {
        return;  // no way to hear them: the signals keep their default effect
    }
    auto* notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(pipeEnds[0], &byte, 1) == 1) {
            emit StopRequested();
        }
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    // One handler at a time per thread, whichever of the signals came.
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}
