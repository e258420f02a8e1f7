// SPDX-License-Identifier: GPL-3.0-or-later
// The busy runner alone: the work runs to its end on a thread of its own, what it throws comes
// back, the user's input is swallowed meanwhile, and the status line's bar follows the work.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>

#include "BusyRunner.h"
#include "StatusLine.h"

namespace {

using namespace std::chrono_literals;

// Waits on the worker thread until the window's thread has set the flag; false after ten
// seconds, so a window loop that does not run fails the test instead of hanging it.
bool WaitFor(const std::atomic<bool>& flag) {
    for (int i = 0; i < 1000 && !flag; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return flag;
}

struct Thrown {
    int code;
};

class BusyRunnerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.resize(300, 100);
        field.setGeometry(0, 0, 300, 25);
        button.setGeometry(0, 30, 100, 25);
        status.setGeometry(0, 70, 300, 25);
        status.setText(QStringLiteral(" 正在分割文件......"));
        QObject::connect(&button, &QPushButton::clicked, [this] { ++clicks; });
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        field.setFocus();
    }

    QWidget window;
    QLineEdit field{&window};
    QPushButton button{QStringLiteral("按钮"), &window};
    StatusLine status{&window};
    BusyRunner runner{status};
    int clicks = 0;
};

}  // namespace

TEST_F(BusyRunnerTest, runs_the_work_to_its_end_on_another_thread_before_returning) {
    std::thread::id workedOn;
    bool finished = false;
    runner.Run([&](const Module1::Progress&) {
        std::this_thread::sleep_for(50ms);
        workedOn = std::this_thread::get_id();
        finished = true;
    });
    EXPECT_TRUE(finished);
    EXPECT_NE(workedOn, std::this_thread::get_id());
    EXPECT_FALSE(runner.IsRunning());
}

TEST_F(BusyRunnerTest, rethrows_what_the_work_threw) {
    try {
        runner.Run([](const Module1::Progress&) { throw std::runtime_error("读取失败"); });
        ADD_FAILURE() << "nothing was thrown";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "读取失败");
    }
    try {
        runner.Run([](const Module1::Progress&) { throw Thrown{7}; });
        ADD_FAILURE() << "nothing was thrown";
    } catch (const Thrown& thrown) {
        EXPECT_EQ(thrown.code, 7);
    }
    EXPECT_THROW(runner.Run([](const Module1::Progress&) { throw std::bad_alloc(); }),
                 std::bad_alloc);
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_LT(status.Progress(), 0);
}

TEST_F(BusyRunnerTest, swallows_the_users_input_while_it_runs_and_not_after) {
    std::atomic<bool> tried{false};
    bool runningWhileTried = false;
    QTimer::singleShot(0, [&] {
        QTest::keyClicks(&field, "abc");
        QTest::mouseClick(&button, Qt::LeftButton);
        runningWhileTried = runner.IsRunning();
        tried = true;
    });
    runner.Run([&](const Module1::Progress&) { EXPECT_TRUE(WaitFor(tried)); });
    EXPECT_TRUE(runningWhileTried);
    EXPECT_EQ(field.text(), QString());
    EXPECT_EQ(clicks, 0);

    QTest::keyClicks(&field, "abc");
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(field.text(), QStringLiteral("abc"));
    EXPECT_EQ(clicks, 1);
}

TEST_F(BusyRunnerTest, shows_the_work_done_in_the_status_line_and_hides_the_bar_at_the_end) {
    std::atomic<bool> quarterShown{false};
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (status.Progress() == 0.25) {
            quarterShown = true;
        }
    });
    watcher.start(5);
    runner.Run([&](const Module1::Progress& progress) {
        progress(1, 4);
        EXPECT_TRUE(WaitFor(quarterShown));
        progress(4, 4);
    });
    watcher.stop();
    EXPECT_TRUE(quarterShown);
    EXPECT_LT(status.Progress(), 0);
    EXPECT_EQ(status.text(), QStringLiteral(" 正在分割文件......"));
}
