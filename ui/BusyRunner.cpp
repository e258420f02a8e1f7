// SPDX-License-Identifier: GPL-3.0-or-later
#include "BusyRunner.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

#include "StatusLine.h"

namespace {

// Swallows the user's input to every window while it lives; painting and timers go on.
class InputBlocker : public QObject {
  public:
    InputBlocker() { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
            case QEvent::ContextMenu: return true;
            default: return false;
        }
    }
};

}  // namespace

void BusyRunner::Run(const std::function<void(const Module1::Progress&)>& work) {
    running_ = true;
    InputBlocker blocker;
    QEventLoop loop;
    std::exception_ptr failure;
    // The bar moves in thousandths, so the window thread gets at most a thousand updates.
    std::atomic<int> shownPermille{-1};
    const Module1::Progress progress = [&](std::int64_t done, std::int64_t total) {
        const int permille = total > 0 ? static_cast<int>(done * 1000 / total) : 1000;
        if (shownPermille.exchange(permille) != permille) {
            QMetaObject::invokeMethod(
                &status_, [this, permille] { status_.SetProgress(permille / 1000.0); },
                Qt::QueuedConnection);
        }
    };
    auto run = [&] {
        try {
            work(progress);
        } catch (...) {
            failure = std::current_exception();
        }
    };
    try {
        std::thread worker([&] {
            run();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        worker.join();
    } catch (const std::system_error&) {
        run();  // no thread to be had: do the work here, as the window always could
    }
    status_.SetProgress(-1);
    running_ = false;
    if (failure) {
        std::rethrow_exception(failure);
    }
}
