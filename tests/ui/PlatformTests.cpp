// SPDX-License-Identifier: GPL-3.0-or-later
// The platform layer: the file-exists test, blank texts, dialog filters, the Save As dialog and
// the message boxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <map>
#include <vector>

#include "Platform.h"
#include "TestFiles.h"

using namespace testing_files;
namespace fs = std::filesystem;
using platform::FileExists;

namespace {
QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}
}  // namespace

TEST(FileExists, matches_regular_files_and_links_to_them_only) {
    TempDir dir;
    WriteFile(dir / "plain", {1});
    WriteFile(dir / ".hidden", {1});
    fs::create_directory(dir / "folder");
    fs::create_symlink(dir / "plain", dir / "link");
    fs::create_symlink(dir / "gone", dir / "dangling");
    EXPECT_TRUE(FileExists(Q(dir / "plain")));
    EXPECT_TRUE(FileExists(Q(dir / ".hidden")));
    EXPECT_TRUE(FileExists(Q(dir / "link")));
    EXPECT_FALSE(FileExists(Q(dir / "folder")));
    EXPECT_FALSE(FileExists(Q(dir / "dangling")));
    EXPECT_FALSE(FileExists(Q(dir / "none")));
    EXPECT_FALSE(FileExists("/dev/null"));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_FALSE(FileExists(Q(dir / "plain") + " "));
}

TEST(FileExists, treats_star_and_question_mark_in_the_last_element_as_wildcards) {
    TempDir dir;
    WriteFile(dir / "a.rar.FLF", {1});
    WriteFile(dir / "README", {1});
    fs::create_directory(dir / "sub.d");
    EXPECT_TRUE(FileExists(Q(dir / "*.FLF")));
    EXPECT_TRUE(FileExists(Q(dir / "a.ra?.FLF")));
    EXPECT_FALSE(FileExists(Q(dir / "*.flf")));
    EXPECT_FALSE(FileExists(Q(dir / "*.d")));  // only a folder matches
    EXPECT_FALSE(FileExists(Q(dir / "R?")));
    TempDir bare;
    WriteFile(bare / "README", {1});
    EXPECT_TRUE(FileExists(Q(bare / "*.*")));  // names without a dot too
}

TEST(IsFile, takes_the_name_literally_so_a_pattern_names_no_file) {
    TempDir dir;
    WriteFile(dir / "a.rar.FLF", {1});
    WriteFile(dir / "odd*name", {1});
    EXPECT_FALSE(platform::IsFile(Q(dir / "*.FLF")));
    EXPECT_TRUE(platform::IsFile(Q(dir / "a.rar.FLF")));
    EXPECT_TRUE(platform::IsFile(Q(dir / "odd*name")));
    EXPECT_FALSE(platform::IsFile(Q(dir.path())));
}

TEST(FileExists, a_name_holding_a_star_literally_matches_itself) {
    TempDir dir;
    WriteFile(dir / "odd*name?", {1});
    EXPECT_TRUE(FileExists(Q(dir / "odd*name?")));
}

TEST(FileExists, a_text_holding_nul_names_no_file_even_when_its_start_does) {
    TempDir dir;
    WriteFile(dir / "plain", {1});
    EXPECT_FALSE(FileExists(Q(dir / "plain") + QChar(u'\0')));
    EXPECT_FALSE(FileExists(Q(dir / "plain") + QChar(u'\0') + QStringLiteral(" (copy)")));
    EXPECT_FALSE(FileExists(Q(dir / "pl") + QChar(u'\0') + QStringLiteral("*")));
}

TEST(BlankText, only_spaces_count_as_blank_and_trimming_keeps_other_whitespace) {
    EXPECT_TRUE(platform::IsBlank(""));
    EXPECT_TRUE(platform::IsBlank("    "));
    EXPECT_FALSE(platform::IsBlank(" a "));
    EXPECT_EQ(platform::TrimSpaces("  a b  "), QStringLiteral("a b"));
    EXPECT_EQ(platform::TrimSpaces("\ta\t"), QStringLiteral("\ta\t"));
}

TEST(DialogFilters, keep_the_descriptions_and_let_star_dot_star_match_every_file) {
    EXPECT_EQ(platform::QtNameFilters(QStringLiteral("(*.FLF)|*.FLF|所有文件(*.*)|*.*")),
              (QStringList{QStringLiteral("(*.FLF) (*.FLF *.flf)"),
                           QStringLiteral("所有文件(*.*) (*)")}));
}

TEST(DesktopPlatform, save_as_returns_an_existing_file_without_a_question_of_its_own) {
    TempDir dir;
    WriteFile(dir / "old", {1});
    std::vector<QString> questions;
    int tries = 0;
    // Plays the user: presses Save on the dialog, which offers the existing file, and says No
    // to any box. Gives up on the dialog once a box has been seen, or after a few tries.
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            questions.push_back(box->text());
            box->reject();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (!questions.empty() || ++tries > 10) {
                dialog->reject();
                return;
            }
            // Queued, so that this timer is free to answer a box that Save may bring up.
            QMetaObject::invokeMethod(
                dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); },
                Qt::QueuedConnection);
        }
    });
    user.start(20);
    platform::DesktopPlatform desktop;
    const QString chosen = desktop.ShowFileDialog(
        nullptr, {2, QStringLiteral("合并文件为..."), QStringLiteral("所有文件(*.*)|*.*"), 1,
                  Q(dir / "old"), QString()});
    user.stop();
    EXPECT_TRUE(questions.empty()) << questions.front().toStdString();
    EXPECT_EQ(chosen, Q(dir / "old"));
}

namespace {

// Shows a box from the desktop platform and hands it, open, to look(); returns the answer.
int ShowBox(const QString& prompt, int style, const std::function<void(QDialog&)>& look) {
    bool looked = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no box is open";
            return;
        }
        looked = true;
        // A failed assertion in look() must not leave the box waiting for an answer.
        QTimer::singleShot(2000, box, [box] { box->reject(); });
        box->activateWindow();  // access keys reach the active window
        EXPECT_TRUE(QTest::qWaitForWindowActive(box));
        look(*box);
    });
    platform::DesktopPlatform desktop;
    const int answer = desktop.MsgBox(nullptr, prompt, style, QStringLiteral("Korvel文件分割器"));
    EXPECT_TRUE(looked);
    return answer;
}

}  // namespace

TEST(DesktopPlatform, a_long_path_wraps_inside_the_screen_with_nothing_added_to_its_text) {
    const QString path =
        QStringLiteral("/var/tmp/") + QString(300, u'长') + QStringLiteral(".bin.001");
    const QString prompt = QStringLiteral("第一行：") + QChar(u'\r') + QStringLiteral("“") + path +
                           QStringLiteral("”") + QChar(u'\r') + QStringLiteral("最后一行");
    ShowBox(prompt, windowlogic::texts::vbCritical, [&](QDialog& box) {
        const int screenWidth = box.screen()->availableGeometry().width();
        EXPECT_LE(box.frameGeometry().width(), screenWidth);
        auto* text = box.findChild<QTextEdit*>(QStringLiteral("prompt"));
        ASSERT_NE(text, nullptr);
        // What the user selects and copies: the prompt with its lines, and not a character more.
        EXPECT_EQ(text->toPlainText(), QString(prompt).replace(u'\r', u'\n'));
        const QTextBlock pathLine = text->document()->findBlockByNumber(1);
        ASSERT_TRUE(pathLine.layout());
        EXPECT_GT(pathLine.layout()->lineCount(), 2) << "the path was not wrapped";
        // Every line of it shows: the box is as tall as the wrapped text.
        EXPECT_GE(text->height(), static_cast<int>(text->document()->size().height()));
        box.accept();
    });
}

TEST(DesktopPlatform, a_short_prompt_makes_a_box_no_wider_than_it_needs) {
    ShowBox(QStringLiteral("文件分割完成！！！"), windowlogic::texts::vbExclamation,
            [&](QDialog& box) {
                auto* text = box.findChild<QTextEdit*>(QStringLiteral("prompt"));
                ASSERT_NE(text, nullptr);
                EXPECT_EQ(text->document()->findBlockByNumber(0).layout()->lineCount(), 1);
                EXPECT_LT(text->width(), 300);
                box.accept();
            });
}

TEST(DesktopPlatform, the_stop_question_offers_yes_and_no_with_access_keys_and_no_as_default) {
    const int style = windowlogic::texts::vbYesNo | windowlogic::texts::vbQuestion |
                      windowlogic::texts::vbDefaultButton2;
    auto buttonsOf = [](QDialog& box) {
        std::map<QString, QPushButton*> buttons;
        for (QPushButton* button : box.findChildren<QPushButton*>()) {
            buttons[button->text()] = button;
        }
        return buttons;
    };
    // Enter takes the default: No.
    EXPECT_EQ(ShowBox(QStringLiteral("正在分割文件，要停止并关闭窗口吗？"), style,
                      [&](QDialog& box) {
                          auto buttons = buttonsOf(box);
                          ASSERT_EQ(buttons.size(), 2u);
                          ASSERT_TRUE(buttons.contains(QStringLiteral("是(&Y)")));
                          ASSERT_TRUE(buttons.contains(QStringLiteral("否(&N)")));
                          EXPECT_TRUE(buttons[QStringLiteral("否(&N)")]->isDefault());
                          EXPECT_EQ(box.windowTitle(), QStringLiteral("Korvel文件分割器"));
                          QTest::keyClick(&box, Qt::Key_Return);
                      }),
              windowlogic::texts::vbNo);
    // Alt+Y answers Yes; Escape answers No; the merge's question (36) has Yes as its default.
    EXPECT_EQ(ShowBox(QStringLiteral("？"), style,
                      [&](QDialog& box) {
                          QTest::keyClick(&box, Qt::Key_Y, Qt::AltModifier);
                          QTest::qWait(300);  // the button's click animation
                      }),
              windowlogic::texts::vbYes);
    EXPECT_EQ(ShowBox(QStringLiteral("？"), style,
                      [&](QDialog& box) { QTest::keyClick(&box, Qt::Key_Escape); }),
              windowlogic::texts::vbNo);
    EXPECT_EQ(ShowBox(QStringLiteral("？"), windowlogic::texts::vbYesNoQuestion,
                      [&](QDialog& box) {
                          EXPECT_TRUE(buttonsOf(box)[QStringLiteral("是(&Y)")]->isDefault());
                          QTest::keyClick(&box, Qt::Key_Return);
                      }),
              windowlogic::texts::vbYes);
}
