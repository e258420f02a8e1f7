// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

int ScriptedPlatform::MsgBox(QWidget*, const QString& prompt, int style, const QString& title) {
    boxes.push_back({prompt, style, title, statusProbe ? statusProbe() : QString()});
    if ((style & 7) == windowlogic::texts::vbYesNo) {
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << prompt.toStdString();
            return windowlogic::texts::vbNo;
        }
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return windowlogic::texts::vbOK;
}

QString ScriptedPlatform::ShowFileDialog(QWidget*, const platform::FileDialogRequest& request) {
    dialogs.push_back(request);
    if (dialogAnswers.empty()) {
        ADD_FAILURE() << "unexpected file dialog: " << request.title.toStdString();
        return {};
    }
    const QString answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    return answer;
}

void WindowTest::SetUp() {
    form = std::make_unique<Form1>(script);
    script.statusProbe = [this] { return form->Text1->text(); };
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
}

void WindowTest::TearDown() {
    for (const ShownBox& box : script.boxes) {
        ADD_FAILURE() << "box not checked by the test: " << box.prompt.toStdString();
    }
    EXPECT_TRUE(script.answers.empty()) << "scripted answers left over";
    EXPECT_TRUE(script.dialogAnswers.empty()) << "scripted dialog answers left over";
    form.reset();
}

ShownBox WindowTest::TakeBox() {
    if (script.boxes.empty()) {
        ADD_FAILURE() << "no box was shown";
        return {};
    }
    ShownBox box = script.boxes.front();
    script.boxes.erase(script.boxes.begin());
    return box;
}

bool WindowTest::WaitForBox() {
    return QTest::qWaitFor([&] { return !script.boxes.empty(); }, 30000);
}

void WindowTest::ExpectBox(const QString& prompt, int style, const QString& title) {
    const ShownBox box = TakeBox();
    EXPECT_EQ(box.prompt.toStdString(), prompt.toStdString());
    EXPECT_EQ(box.style, style);
    EXPECT_EQ(box.title.toStdString(), title.toStdString());
}

QString WindowTest::Path(const std::string& name) const {
    return QString::fromStdString((dir / name).string());
}

QWidget* WindowTest::Focused() const {
    return QApplication::focusWidget();
}

void WindowTest::PressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    platform::SetUpApplication(app);  // Qt's Chinese texts for the buttons, as in the program
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
