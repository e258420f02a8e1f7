// SPDX-License-Identifier: GPL-3.0-or-later
// The window is an adapter: every handler is one call into the window's logic, real widget
// events arrive there as those calls, and the window changes nothing on its own.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <string>
#include <vector>

#include "Form1.h"
#include "Layout.h"
#include "WindowFixture.h"
#include "WindowLogic.h"
#include "WindowTestHelpers.h"

using windowlogic::Control;
using windowlogic::Key;

namespace {

std::string Name(Control control) {
    return std::string(windowlogic::LayoutOf(control).name);
}

using window_tests::Utf8;

// A logic that only writes down what it was handed.
class RecordingLogic : public windowlogic::Events {
  public:
    explicit RecordingLogic(std::vector<std::string>& calls) : calls_(calls) {}

    void Load() override { calls_.push_back("Load"); }
    void Click(Control control) override { calls_.push_back("Click " + Name(control)); }
    void GotFocus(Control field) override { calls_.push_back("GotFocus " + Name(field)); }
    void KeyPress(Control field, std::int16_t& keyAscii) override {
        calls_.push_back("KeyPress " + Name(field) + " " + std::to_string(keyAscii));
    }
    bool KeyDown(Control control, Key key) override {
        const char* names[] = {"Up", "Down", "F4", "CtrlO"};
        calls_.push_back("KeyDown " + Name(control) + " " + names[static_cast<int>(key)]);
        return key == Key::F4 || key == Key::CtrlO;  // used up: nothing is typed
    }
    void AccessKey(char16_t key) override {
        calls_.push_back("AccessKey " + Utf8(std::u16string(1, key)));
    }
    bool CloseRequest() override {
        calls_.push_back("CloseRequest");
        return false;
    }
    bool CanDrop(const std::u16string& path) override {
        calls_.push_back("CanDrop " + Utf8(path));
        return true;
    }
    void DropFile(const std::u16string& path) override {
        calls_.push_back("DropFile " + Utf8(path));
    }
    void OpenFileToSplit(const std::u16string& path) override {
        calls_.push_back("OpenFileToSplit " + Utf8(path));
    }
    void OpenFile(const std::u16string& path) override {
        calls_.push_back("OpenFile " + Utf8(path));
    }
    void Terminate() override { calls_.push_back("Terminate"); }
    bool Busy() const override { return false; }

  private:
    std::vector<std::string>& calls_;
};

class Adapter : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<Form1>(
            script, [this](windowlogic::View&, windowlogic::PlatformSeam& platform) {
                seam = &platform;
                return std::make_unique<RecordingLogic>(calls);
            });
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        calls.clear();
    }
    void TearDown() override {
        EXPECT_TRUE(script.boxes.empty());
        EXPECT_TRUE(script.dialogs.empty());
        form.reset();
    }
    // The calls made since the last look, forgotten.
    std::vector<std::string> Take() { return std::exchange(calls, {}); }

    std::vector<std::string> calls;
    windowlogic::PlatformSeam* seam = nullptr;
    ScriptedPlatform script;
    std::unique_ptr<Form1> form;
};

}  // namespace

TEST_F(Adapter, each_handler_is_one_call_into_the_logic) {
    struct Row {
        std::function<void()> handler;
        std::string call;
    };
    std::int16_t key = 13;
    const std::vector<Row> rows = {
        {[&] { form->Form_Load(); }, "Load"},
        {[&] { form->Option1_Click(); }, "Click Option1"},
        {[&] { form->Option2_Click(); }, "Click Option2"},
        {[&] { form->Option3_Click(); }, "Click Option3"},
        {[&] { form->txtFileName_GotFocus(); }, "GotFocus txtFileName"},
        {[&] { form->Combo1_GotFocus(); }, "GotFocus Combo1"},
        {[&] { form->txtTemplateName_GotFocus(); }, "GotFocus txtTemplateName"},
        {[&] { form->txtOutputFile_GotFocus(); }, "GotFocus txtOutputFile"},
        {[&] { form->txtFileName_KeyPress(key); }, "KeyPress txtFileName 13"},
        {[&] { form->Combo1_KeyPress(key); }, "KeyPress Combo1 13"},
        {[&] { form->txtTemplateName_KeyPress(key); }, "KeyPress txtTemplateName 13"},
        {[&] { form->txtOutputFile_KeyPress(key); }, "KeyPress txtOutputFile 13"},
        {[&] { form->Command1_Click(); }, "Click Command1"},
        {[&] { form->cmdSplit_Click(); }, "Click cmdSplit"},
        {[&] { form->cmdUnsplit_Click(); }, "Click cmdUnsplit"},
        {[&] { form->Label4_Click(); }, "Click Label4"},
        {[&] { form->Label3_Click(); }, "Click Label3"},
        {[&] { form->Label5_Click(); }, "Click Label5"},
        {[&] { form->Form_QueryUnload(); }, "CloseRequest"},
        {[&] { form->Form_DropFile(QStringLiteral("/d/a.FLF")); }, "DropFile /d/a.FLF"},
        {[&] { form->Form_OpenFile(QStringLiteral("/d/文件")); }, "OpenFile /d/文件"},
        {[&] { form->Form_OpenFileToSplit(QStringLiteral("/d/a.FLF")); },
         "OpenFileToSplit /d/a.FLF"},
        {[&] { form->Form_Terminate(); }, "Terminate"},
    };
    for (const Row& row : rows) {
        row.handler();
        EXPECT_EQ(Take(), std::vector<std::string>{row.call});
    }
    // The window decided nothing of its own meanwhile.
    EXPECT_TRUE(form->Frame1->isVisible());
    EXPECT_FALSE(form->Frame2->isVisible());
    EXPECT_TRUE(form->Text1->text().isEmpty() || form->Text1->text() == Form1::kIdleText);
    EXPECT_TRUE(form->txtOutputFile->text().isEmpty());
    EXPECT_TRUE(form->isVisible());
}

TEST_F(Adapter, widget_events_arrive_as_those_calls) {
    QTest::mouseClick(form->cmdSplit, Qt::LeftButton);
    EXPECT_EQ(Take(), std::vector<std::string>{"Click cmdSplit"});
    QTest::mouseClick(form->Label4, Qt::LeftButton);
    EXPECT_EQ(Take(), std::vector<std::string>{"Click Label4"});
    QTest::mouseClick(form->Option2, Qt::LeftButton);
    EXPECT_EQ(Take(), std::vector<std::string>{"Click Option2"});
    EXPECT_FALSE(form->Frame2->isVisible());  // the logic shows panels, not the window

    form->txtFileName->setFocus();
    EXPECT_EQ(Take(), std::vector<std::string>{"GotFocus txtFileName"});
    QTest::keyClick(form->txtFileName, Qt::Key_Return);
    QTest::keyClick(form->txtFileName, Qt::Key_F4);
    QTest::keyClick(form->txtFileName, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(Take(), (std::vector<std::string>{"KeyPress txtFileName 13", "KeyDown txtFileName F4",
                                                "KeyDown txtFileName CtrlO"}));
    QTest::keyClick(form->txtFileName, Qt::Key_U, Qt::AltModifier);
    EXPECT_EQ(Take(), std::vector<std::string>{"AccessKey u"});
    EXPECT_EQ(form->txtFileName->text(), QString());  // Alt with a letter types nothing
    QTest::keyClick(form->Option1, Qt::Key_Down);
    EXPECT_EQ(Take(), std::vector<std::string>{"KeyDown Option1 Down"});
    QTest::keyClick(form.get(), Qt::Key_C, Qt::AltModifier);
    QTest::qWait(300);  // the button's click animation
    EXPECT_EQ(Take(), std::vector<std::string>{"Click Command1"});

    EXPECT_FALSE(form->close());
    EXPECT_EQ(Take(), std::vector<std::string>{"CloseRequest"});

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/d/a.bin"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &drop);
    EXPECT_EQ(Take(), (std::vector<std::string>{"CanDrop /d/a.bin", "CanDrop /d/a.bin",
                                                "DropFile /d/a.bin"}));
}

TEST_F(Adapter, a_posted_call_runs_on_the_window_only_while_its_owner_lives) {
    std::vector<std::string> ran;
    auto owner = std::make_shared<int>();
    seam->Post(owner, [&] { ran.push_back("kept"); });
    auto gone = std::make_shared<int>();
    seam->Post(gone, [&] { ran.push_back("gone"); });
    gone.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, std::vector<std::string>{"kept"});
}
