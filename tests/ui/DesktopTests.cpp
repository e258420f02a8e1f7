// SPDX-License-Identifier: GPL-3.0-or-later
// Living on a desktop: long work off the window's thread, and files dropped on the panels.
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <thread>

#include "FaultInjection.h"
#include "Module1.h"
#include "WindowFixture.h"

using namespace testing_files;
using platform::vbExclamation;
namespace fs = std::filesystem;

namespace {

constexpr std::chrono::milliseconds kStepPause{20};  // a fifth of a second a piece, or so

// Drops the given URLs on the window, as a file manager would.
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

TEST_F(WindowTest, a_long_split_keeps_painting_shows_progress_and_ignores_the_user) {
    WriteFile(dir / "big", RandomBytes(5 << 20, 61));
    form->txtFileName->setText(Path("big"));
    form->Combo1->setEditText("1");
    std::optional<InjectedFault> slow(std::in_place, PauseEveryStep(kStepPause));

    std::vector<double> progressSeen;
    QString statusSeen;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        progressSeen.push_back(form->Text1->Progress());
        statusSeen = form->Text1->text();
    });
    sampler.start(10);
    QTimer::singleShot(30, [&] {
        QTest::mouseClick(form->Option2, Qt::LeftButton);  // a panel switch, ignored
        form->close();                                     // closing, ignored
    });
    form->cmdSplit->click();
    slow.reset();
    sampler.stop();

    ExpectBox(QStringLiteral("文件分割完成！！！"), vbExclamation, QStringLiteral("文件分割成功"));
    EXPECT_EQ(statusSeen, QStringLiteral(" 正在分割文件......"));
    ASSERT_GE(progressSeen.size(), 3u);
    EXPECT_TRUE(std::any_of(progressSeen.begin(), progressSeen.end(),
                            [](double p) { return p > 0 && p < 1; }));
    EXPECT_TRUE(form->Frame1->isVisible());
    EXPECT_TRUE(form->isVisible());
    EXPECT_LT(form->Text1->Progress(), 0);  // the bar is gone afterwards
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
}

TEST_F(WindowTest, one_dropped_file_fills_the_split_path) {
    EXPECT_TRUE(Drop(form.get(), {QUrl::fromLocalFile(Path("movie.avi"))}));
    EXPECT_EQ(form->txtFileName->text(), Path("movie.avi"));
}

TEST_F(WindowTest, one_dropped_file_on_the_merge_panel_proposes_the_output_as_the_chooser_does) {
    QTest::mouseClick(form->Option2, Qt::LeftButton);
    EXPECT_TRUE(Drop(form.get(), {QUrl::fromLocalFile(Path("movie.avi.FLF"))}));
    EXPECT_EQ(form->txtTemplateName->text(), Path("movie.avi.FLF"));
    EXPECT_EQ(form->txtOutputFile->text(), Path("movie.avi"));
    EXPECT_TRUE(form->txtFileName->text().isEmpty());
}

TEST_F(WindowTest, several_files_a_folder_or_the_help_panel_take_no_drop) {
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

TEST_F(WindowTest, text_boxes_leave_dropped_files_to_the_window) {
    // A file URL dropped on a box would otherwise be typed into it as text.
    for (QWidget* field :
         {static_cast<QWidget*>(form->txtFileName), static_cast<QWidget*>(form->Combo1->lineEdit()),
          static_cast<QWidget*>(form->txtTemplateName),
          static_cast<QWidget*>(form->txtOutputFile)}) {
        EXPECT_FALSE(field->acceptDrops());
    }
    EXPECT_TRUE(form->acceptDrops());
}
