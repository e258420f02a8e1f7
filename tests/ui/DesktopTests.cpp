// SPDX-License-Identifier: GPL-3.0-or-later
// Living on a desktop: a split running behind the window, a close request meanwhile, and files
// dropped on the window.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <chrono>

#include "FaultInjection.h"
#include "Module1.h"
#include "WindowFixture.h"
#include "WindowTestHelpers.h"

using namespace testing_files;
using windowlogic::texts::vbExclamation;
using windowlogic::texts::vbNo;
using windowlogic::texts::vbYes;
namespace fs = std::filesystem;

namespace {

constexpr std::chrono::milliseconds kStepPause{20};  // a fifth of a second a piece, or so
const QString kSplitting = QStringLiteral(" 正在分割文件......");
const QString kStopSplit = QStringLiteral("正在分割文件，要停止并关闭窗口吗？");

// Drops the given URLs on the widget, as a file manager would; Qt hands the drop to the first
// widget up from there that takes drops.
bool Drop(QWidget* target, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

}  // namespace

// A split of 5 MiB in 1 MiB pieces, slowed so that it runs for about a second.
class RunningSplit : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteFile(dir / "big", RandomBytes(5 * window_tests::kMiB, 61));
        form->txtFileName->setText(Path("big"));
        form->Combo1->setEditText("1");
        slow.emplace(PauseEveryStep(kStepPause));
    }
    void TearDown() override {
        form.reset();  // waits for the engine before the pauses go
        slow.reset();
        WindowTest::TearDown();
    }

    std::optional<InjectedFault> slow;
};

TEST_F(RunningSplit, the_window_takes_only_the_close_request_while_it_paints_the_progress) {
    form->cmdSplit->animateClick();  // a press of Alt+S whose click is still to come
    form->cmdSplit->click();
    EXPECT_EQ(form->Text1->text(), kSplitting);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Text1->Progress() > 0; }, 10000));
    EXPECT_LT(form->Text1->Progress(), 1);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    EXPECT_FALSE(form->Frame1->isEnabled());
    EXPECT_FALSE(form->Option2->isEnabled());
    EXPECT_TRUE(form->Command1->isEnabled());
    EXPECT_EQ(Focused(), form->Text1);

    PressKey(form.get(), Qt::Key_S, Qt::AltModifier);  // a second Alt+S
    QTest::mouseClick(form->Option2, Qt::LeftButton);
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("文字"));
    QCoreApplication::sendEvent(form->txtFileName, &composed);
    QTest::keyClicks(form->txtFileName, "x");
    EXPECT_FALSE(Drop(form.get(), {QUrl::fromLocalFile(Path("other"))}));
    QTest::qWait(200);  // the pending click fires meanwhile
    EXPECT_TRUE(form->Frame1->isVisible());
    EXPECT_EQ(form->txtFileName->text(), Path("big"));
    ExpectNoBox();

    ASSERT_TRUE(WaitForBox());
    const ShownBox box = TakeBox();
    EXPECT_EQ(box.prompt, QStringLiteral("文件分割完成！！！"));
    EXPECT_EQ(box.statusWhileShown, kSplitting);
    QTest::qWait(200);
    ExpectNoBox();  // one split, one outcome
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
    EXPECT_LT(form->Text1->Progress(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(form->Frame1->isEnabled());
    EXPECT_TRUE(form->Option2->isEnabled());
}

TEST_F(RunningSplit, no_to_the_close_question_lets_it_finish_and_keeps_the_window) {
    form->cmdSplit->click();
    script.answers = {vbNo};
    EXPECT_FALSE(form->close());
    ExpectBox(kStopSplit,
              windowlogic::texts::vbYesNo | windowlogic::texts::vbQuestion |
                  windowlogic::texts::vbDefaultButton2,
              QStringLiteral("Korvel文件分割器"));
    EXPECT_TRUE(form->isVisible());
    ASSERT_TRUE(WaitForBox());
    ExpectBox(QStringLiteral("文件分割完成！！！"), vbExclamation, QStringLiteral("文件分割成功"));
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(fs::exists(dir / "big.FLF"));
}

TEST_F(RunningSplit, yes_to_the_close_question_closes_at_once_and_the_engine_stops_soon) {
    form->cmdSplit->click();
    script.answers = {vbYes};
    QTest::mouseClick(form->Command1, Qt::LeftButton);
    ExpectBox(kStopSplit, 292, QStringLiteral("Korvel文件分割器"));
    EXPECT_FALSE(form->isVisible());
    QElapsedTimer stopping;
    stopping.start();
    form.reset();  // what ending the program does: the engine is asked to stop and waited for
    EXPECT_LT(stopping.elapsed(), 2000);
    EXPECT_FALSE(fs::exists(dir / "big.FLF"));  // the set was never brought in
    ExpectNoBox();
}

TEST_F(WindowTest, one_dropped_file_fills_the_split_path) {
    EXPECT_TRUE(Drop(form.get(), {QUrl::fromLocalFile(Path("movie.avi"))}));
    EXPECT_EQ(form->txtFileName->text(), Path("movie.avi"));
}

TEST_F(WindowTest, a_dropped_list_file_opens_the_merge_panel_and_proposes_the_output) {
    EXPECT_TRUE(Drop(form.get(), {QUrl::fromLocalFile(Path("movie.avi.FLF"))}));
    EXPECT_TRUE(form->Frame2->isVisible());
    EXPECT_FALSE(form->Frame1->isVisible());
    EXPECT_TRUE(form->Option2->isChecked());
    EXPECT_EQ(form->txtTemplateName->text(), Path("movie.avi.FLF"));
    EXPECT_EQ(form->txtOutputFile->text(), Path("movie.avi"));
    EXPECT_TRUE(form->txtFileName->text().isEmpty());
}

TEST_F(WindowTest, several_files_a_folder_a_remote_file_or_the_help_panel_take_no_drop) {
    fs::create_directory(dir / "folder");
    const QList<QUrl> two = {QUrl::fromLocalFile(Path("a")), QUrl::fromLocalFile(Path("b"))};
    for (QPushButton* mode : {form->Option1, form->Option2}) {
        QTest::mouseClick(mode, Qt::LeftButton);
        EXPECT_FALSE(Drop(form.get(), two));
        EXPECT_FALSE(Drop(form.get(), {QUrl::fromLocalFile(Path("folder"))}));
        EXPECT_FALSE(Drop(form.get(), {QUrl("https://example.com/a.bin")}));
    }
    QTest::mouseClick(form->Option3, Qt::LeftButton);
    EXPECT_FALSE(Drop(form.get(), {QUrl::fromLocalFile(Path("a"))}));
    EXPECT_TRUE(form->txtFileName->text().isEmpty());
    EXPECT_TRUE(form->txtTemplateName->text().isEmpty());
    EXPECT_TRUE(form->txtOutputFile->text().isEmpty());
}

TEST_F(WindowTest, a_file_dropped_on_a_text_box_goes_to_the_window_not_into_the_text) {
    // A text box that took the drop would type the file's URL into itself.
    QTest::mouseClick(form->Option2, Qt::LeftButton);
    form->txtOutputFile->setText(QStringLiteral("typed"));
    EXPECT_TRUE(Drop(form->txtOutputFile, {QUrl::fromLocalFile(Path("notes.txt"))}));
    EXPECT_EQ(form->txtTemplateName->text(), Path("notes.txt"));
    EXPECT_EQ(form->txtOutputFile->text(), Path("notes"));
    QTest::mouseClick(form->Option1, Qt::LeftButton);
    for (QWidget* field :
         {static_cast<QWidget*>(form->txtFileName), static_cast<QWidget*>(form->Combo1->lineEdit()),
          static_cast<QWidget*>(form->Text1)}) {
        EXPECT_TRUE(Drop(field, {QUrl::fromLocalFile(Path("movie.avi"))}));
        EXPECT_EQ(form->txtFileName->text(), Path("movie.avi"));
    }
    EXPECT_EQ(form->Combo1->currentText(), QStringLiteral("128"));
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
}
