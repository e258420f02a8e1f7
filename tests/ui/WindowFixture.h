// SPDX-License-Identifier: GPL-3.0-or-later
// The window-test fixture: the real Form1 on Qt's offscreen platform, a temporary folder per
// test, and a platform that answers every box and dialog from a script. A box the test did
// not check fails the test. What the window decides is tested in tests/windowlogic; these
// tests are for what only the widgets show and do.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Form1.h"
#include "Platform.h"
#include "TestFiles.h"

struct ShownBox {
    QString prompt;
    int style;
    QString title;
    QString statusWhileShown;  // the status line's text while the box was open
};

class ScriptedPlatform : public platform::Platform {
  public:
    int MsgBox(QWidget* parent, const QString& prompt, int style, const QString& title) override;
    QString ShowFileDialog(QWidget* parent, const platform::FileDialogRequest& request) override;

    std::function<QString()> statusProbe;
    std::deque<int> answers;            // for questions (style 36), in order
    std::deque<QString> dialogAnswers;  // paths, or empty for cancel
    std::vector<ShownBox> boxes;
    std::vector<platform::FileDialogRequest> dialogs;
};

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Checks the one box shown since the last check and forgets it.
    void ExpectBox(const QString& prompt, int style, const QString& title);
    ShownBox TakeBox();
    void ExpectNoBox() { EXPECT_TRUE(script.boxes.empty()); }
    // Lets the window's event loop run until a box has been shown (a split or merge reports
    // its outcome once it has ended); false after thirty seconds.
    bool WaitForBox();

    QString Path(const std::string& name) const;
    QWidget* Focused() const;
    void PressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    testing_files::TempDir dir;
    ScriptedPlatform script;
    std::unique_ptr<Form1> form;
};

inline const QString kCr = QStringLiteral("\r");
