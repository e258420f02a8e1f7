// SPDX-License-Identifier: GPL-3.0-or-later
// The window itself: start-up state, panels, focus, keys, the file choosers and how the links,
// the size field and the picture are drawn.
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "WindowFixture.h"

using platform::vbCritical;

TEST_F(WindowTest, starts_idle_with_the_split_panel_and_128_shown) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Korvel文件分割器"));
    EXPECT_EQ(form->Text1->text(), QStringLiteral(" 系统空闲！！！"));
    EXPECT_EQ(form->Text1->text().size(), 8);
    EXPECT_EQ(form->Combo1->currentText(), QStringLiteral("128"));
    QStringList items;
    for (int i = 0; i < form->Combo1->count(); ++i) {
        items << form->Combo1->itemText(i);
    }
    EXPECT_EQ(items, (QStringList{"1", "16", "32", "128", "256", "512"}));
    EXPECT_TRUE(form->Frame1->isVisible());
    EXPECT_FALSE(form->Frame2->isVisible());
    EXPECT_FALSE(form->Frame4->isVisible());
    EXPECT_TRUE(form->Option1->isChecked());
    EXPECT_EQ(Focused(), form->Option1);
    EXPECT_TRUE(form->txtFileName->text().isEmpty());
    EXPECT_TRUE(form->txtTemplateName->text().isEmpty());
    EXPECT_TRUE(form->txtOutputFile->text().isEmpty());
    EXPECT_TRUE(form->Text1->isReadOnly());
}

TEST_F(WindowTest, has_a_fixed_client_area_of_8880_by_4485_twips_and_no_maximise_button) {
    const double pixelsPerTwip = form->logicalDpiX() / 1440.0;
    EXPECT_EQ(form->width(), qRound(8880 * pixelsPerTwip));
    EXPECT_EQ(form->height(), qRound(4485 * pixelsPerTwip));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->cmdSplit->geometry(),
              QRect(qRound(7320 * pixelsPerTwip), qRound(1440 * pixelsPerTwip),
                    qRound(1215 * pixelsPerTwip), qRound(375 * pixelsPerTwip)));
}

TEST_F(WindowTest, captions_are_exact) {
    EXPECT_EQ(form->Option1->text(), QStringLiteral("分割文件"));
    EXPECT_EQ(form->Option2->text(), QStringLiteral("合并文件"));
    EXPECT_EQ(form->Option3->text(), QStringLiteral("获取帮助"));
    EXPECT_EQ(form->Frame4->title(), QStringLiteral("获得帮助"));
    EXPECT_EQ(form->cmdSplit->text(), QStringLiteral("分 割(&S)"));
    EXPECT_EQ(form->cmdUnsplit->text(), QStringLiteral("合 并(&U)"));
    EXPECT_EQ(form->Command1->text(), QStringLiteral("关 闭(&C)"));
    EXPECT_EQ(form->Label1[1]->text(), QStringLiteral("每一份大小(单位：M)"));
    EXPECT_EQ(form->Label1[3]->text(), QStringLiteral("被分割后的首个文件(文件扩展名为 .FLF )"));
    EXPECT_EQ(form->Label6->text(), QStringLiteral("联系："));
    EXPECT_EQ(form->Label8->text(), QStringLiteral("ＱＱ："));
    EXPECT_EQ(form->Label10->text(), QStringLiteral("邮箱："));
    EXPECT_FALSE(form->Label7->text().isEmpty());
    EXPECT_EQ(form->Label30->text(), QStringLiteral("2008版 Build 2008.3.18"));
}

TEST_F(WindowTest, mode_buttons_show_one_panel_and_keep_the_fields) {
    form->txtFileName->setText("/a/b");
    form->Combo1->setEditText("16");
    QTest::mouseClick(form->Option2, Qt::LeftButton);
    EXPECT_TRUE(form->Frame2->isVisible());
    EXPECT_FALSE(form->Frame1->isVisible());
    QTest::mouseClick(form->Option3, Qt::LeftButton);
    EXPECT_TRUE(form->Frame4->isVisible());
    EXPECT_FALSE(form->Frame2->isVisible());
    QTest::mouseClick(form->Option3, Qt::LeftButton);  // already selected: stays
    EXPECT_TRUE(form->Frame4->isVisible());
    EXPECT_TRUE(form->Option3->isChecked());
    QTest::mouseClick(form->Option1, Qt::LeftButton);
    EXPECT_TRUE(form->Frame1->isVisible());
    EXPECT_FALSE(form->Frame4->isVisible());
    EXPECT_FALSE(form->Option2->isChecked());
    EXPECT_EQ(form->txtFileName->text(), QStringLiteral("/a/b"));
    EXPECT_EQ(form->Combo1->currentText(), QStringLiteral("16"));
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
}

TEST_F(WindowTest, tab_follows_the_order_and_skips_hidden_panels_and_unselected_modes) {
    std::vector<QWidget*> seen;
    for (int i = 0; i < 6; ++i) {
        PressKey(Focused(), Qt::Key_Tab);
        seen.push_back(Focused());
    }
    EXPECT_EQ(seen, (std::vector<QWidget*>{form->txtFileName, form->Combo1, form->cmdSplit,
                                           form->Command1, form->Text1, form->Option1}));
    QTest::mouseClick(form->Option2, Qt::LeftButton);
    form->Option2->setFocus();
    PressKey(Focused(), Qt::Key_Tab);
    EXPECT_EQ(Focused(), form->txtTemplateName);
    PressKey(Focused(), Qt::Key_Tab);
    EXPECT_EQ(Focused(), form->txtOutputFile);
    PressKey(Focused(), Qt::Key_Tab);
    EXPECT_EQ(Focused(), form->cmdUnsplit);
}

TEST_F(WindowTest, focus_by_tab_or_enter_or_click_selects_the_whole_text) {
    form->txtFileName->setText("/some/file");
    PressKey(Focused(), Qt::Key_Tab);
    EXPECT_EQ(form->txtFileName->selectedText(), QStringLiteral("/some/file"));
    QTest::keyClicks(form->txtFileName, "x");  // typing replaces the selection
    EXPECT_EQ(form->txtFileName->text(), QStringLiteral("x"));

    form->Combo1->setFocus();
    form->txtFileName->setFocus(Qt::OtherFocusReason);
    form->txtFileName->setText("/again");
    form->Combo1->setFocus(Qt::OtherFocusReason);
    QTest::mouseClick(form->txtFileName, Qt::LeftButton, {}, QPoint(3, 3));
    QCoreApplication::processEvents();
    EXPECT_EQ(form->txtFileName->selectedText(), QStringLiteral("/again"));
}

TEST_F(WindowTest, enter_moves_along_the_split_fields_without_inserting_or_splitting) {
    form->txtFileName->setFocus(Qt::OtherFocusReason);
    PressKey(form->txtFileName, Qt::Key_Return);
    EXPECT_EQ(Focused(), form->Combo1);
    EXPECT_EQ(form->Combo1->lineEdit()->selectedText(), QStringLiteral("128"));
    EXPECT_TRUE(form->txtFileName->text().isEmpty());
    PressKey(Focused(), Qt::Key_Enter);
    EXPECT_EQ(Focused(), form->cmdSplit);
    EXPECT_EQ(form->Combo1->currentText(), QStringLiteral("128"));
    ExpectNoBox();  // the split did not run
}

TEST_F(WindowTest, enter_moves_along_the_merge_fields_and_other_keys_type) {
    QTest::mouseClick(form->Option2, Qt::LeftButton);
    form->txtTemplateName->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(form->txtTemplateName, "a b");
    EXPECT_EQ(form->txtTemplateName->text(), QStringLiteral("a b"));
    form->txtOutputFile->setText("out");
    PressKey(form->txtTemplateName, Qt::Key_Return);
    EXPECT_EQ(Focused(), form->txtOutputFile);
    EXPECT_EQ(form->txtOutputFile->selectedText(), QStringLiteral("out"));
    PressKey(form->txtOutputFile, Qt::Key_Return);
    EXPECT_EQ(Focused(), form->cmdUnsplit);
    ExpectNoBox();
}

TEST_F(WindowTest, access_keys_work_only_while_their_panel_shows) {
    form->Combo1->setEditText("");
    PressKey(form->Option1, Qt::Key_U, Qt::AltModifier);  // merge panel hidden: nothing
    ExpectNoBox();
    PressKey(form->Option1, Qt::Key_S, Qt::AltModifier);
    QCoreApplication::processEvents();
    QTest::qWait(300);  // the button's click animation
    ExpectBox(QStringLiteral("没有指定分割后每份的大小！") + kCr +
                  QStringLiteral("请输入或选取分割后每份的大小！！！"),
              vbCritical, QStringLiteral("文件分割失败"));
}

TEST_F(WindowTest, escape_does_nothing_and_close_ends_the_window) {
    PressKey(Focused(), Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    form->txtFileName->setText("text");
    QTest::mouseClick(form->Command1, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(WindowTest, file_to_split_chooser_fills_the_path_and_cancel_changes_nothing) {
    script.dialogAnswers = {Path("movie.avi"), QString()};
    QTest::mouseClick(form->Label4, Qt::LeftButton);
    ASSERT_EQ(script.dialogs.size(), 1u);
    const platform::FileDialogRequest& request = script.dialogs[0];
    EXPECT_EQ(request.kind, 1);
    EXPECT_EQ(request.title, QStringLiteral("打开需要被分割的文件"));
    EXPECT_EQ(request.filter, QStringLiteral("所有文件(*.*)|*.*"));
    EXPECT_EQ(request.filterIndex, 1);
    EXPECT_TRUE(request.fileName.isEmpty());
    EXPECT_EQ(form->txtFileName->text(), Path("movie.avi"));

    form->Label4_Click();  // cancelled
    EXPECT_EQ(form->txtFileName->text(), Path("movie.avi"));
    EXPECT_EQ(form->Combo1->currentText(), QStringLiteral("128"));
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
}

TEST_F(WindowTest, list_file_chooser_proposes_the_name_without_its_last_four_characters) {
    QTest::mouseClick(form->Option2, Qt::LeftButton);
    form->txtOutputFile->setText("typed by the user");
    script.dialogAnswers = {"/d/a/movie.avi.FLF", "/d/a/notes.txt", "/abc", QString()};
    form->Label3_Click();
    EXPECT_EQ(script.dialogs[0].title, QStringLiteral("打开要合并的文件的首个文件"));
    EXPECT_EQ(script.dialogs[0].filter, QStringLiteral("(*.FLF)|*.FLF|所有文件(*.*)|*.*"));
    EXPECT_EQ(script.dialogs[0].kind, 1);
    EXPECT_EQ(form->txtTemplateName->text(), QStringLiteral("/d/a/movie.avi.FLF"));
    EXPECT_EQ(form->txtOutputFile->text(), QStringLiteral("/d/a/movie.avi"));
    form->Label3_Click();
    EXPECT_EQ(form->txtOutputFile->text(), QStringLiteral("/d/a/notes"));
    form->Label3_Click();
    EXPECT_EQ(form->txtOutputFile->text(), QString());
    form->Label3_Click();  // cancelled
    EXPECT_EQ(form->txtTemplateName->text(), QStringLiteral("/abc"));
}

TEST_F(WindowTest, save_as_chooser_replaces_the_proposed_output_name) {
    QTest::mouseClick(form->Option2, Qt::LeftButton);
    script.dialogAnswers = {"/d/a.rar.FLF", "/e/merged.rar"};
    form->Label3_Click();
    QTest::mouseClick(form->Label5, Qt::LeftButton);
    EXPECT_EQ(script.dialogs[1].kind, 2);
    EXPECT_EQ(script.dialogs[1].title, QStringLiteral("合并文件为..."));
    EXPECT_EQ(script.dialogs[1].filter, QStringLiteral("所有文件(*.*)|*.*"));
    EXPECT_EQ(form->txtOutputFile->text(), QStringLiteral("/e/merged.rar"));
    EXPECT_EQ(form->txtTemplateName->text(), QStringLiteral("/d/a.rar.FLF"));
}

TEST_F(WindowTest, up_and_down_move_between_the_mode_buttons_as_left_and_right_do) {
    auto expectMode = [&](QPushButton* mode, QGroupBox* panel) {
        EXPECT_TRUE(mode->isChecked());
        EXPECT_EQ(Focused(), mode);
        EXPECT_TRUE(panel->isVisible());
    };
    PressKey(form->Option1, Qt::Key_Down);
    expectMode(form->Option2, form->Frame2);
    PressKey(Focused(), Qt::Key_Down);
    expectMode(form->Option3, form->Frame4);
    PressKey(Focused(), Qt::Key_Down);  // the last one: stays
    expectMode(form->Option3, form->Frame4);
    PressKey(Focused(), Qt::Key_Up);
    expectMode(form->Option2, form->Frame2);
    PressKey(Focused(), Qt::Key_Right);
    expectMode(form->Option3, form->Frame4);
    PressKey(Focused(), Qt::Key_Left);
    PressKey(Focused(), Qt::Key_Up);
    expectMode(form->Option1, form->Frame1);
    PressKey(Focused(), Qt::Key_Up);  // the first one: stays
    expectMode(form->Option1, form->Frame1);
    EXPECT_FALSE(form->Frame2->isVisible());
    EXPECT_FALSE(form->Frame4->isVisible());
}

namespace {

// True when some row of the picture is drawn in the link's blue almost from edge to edge, as
// an underline is and no row of the characters is.
bool HasUnderline(const QImage& picture) {
    for (int y = 0; y < picture.height(); ++y) {
        int blue = 0;
        for (int x = 0; x < picture.width(); ++x) {
            const QColor pixel = picture.pixelColor(x, y);
            blue += pixel.blue() > 200 && pixel.red() < 100 && pixel.green() < 100;
        }
        if (blue >= picture.width() * 9 / 10) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST_F(WindowTest, link_labels_show_their_underline_and_stay_where_they_were_placed) {
    const double pixelsPerTwip = form->logicalDpiX() / 1440.0;
    struct Link {
        QPushButton* mode;
        QLabel* label;
        int left, top;
    };
    for (const Link& link : {Link{form->Option1, form->Label4, 1800, 240},
                             Link{form->Option2, form->Label3, 3720, 240},
                             Link{form->Option2, form->Label5, 1560, 840}}) {
        QTest::mouseClick(link.mode, Qt::LeftButton);
        EXPECT_TRUE(link.label->font().underline());
        EXPECT_EQ(link.label->pos(),
                  QPoint(qRound(link.left * pixelsPerTwip), qRound(link.top * pixelsPerTwip)));
        EXPECT_TRUE(HasUnderline(link.label->grab().toImage())) << link.label->text().toStdString();
    }
}

TEST_F(WindowTest, combo1_types_in_the_same_song_face_as_the_other_fields) {
    EXPECT_EQ(form->Combo1->lineEdit()->font(), form->txtFileName->font());
    EXPECT_EQ(QFontInfo(form->Combo1->lineEdit()->font()).family(),
              QFontInfo(form->txtFileName->font()).family());
}

TEST_F(WindowTest, the_picture_has_a_sharp_version_for_a_screen_scaled_twice) {
    const QSize size = form->Image1->size();
    const QPixmap twice = form->windowIcon().pixmap(size, 2.0);
    EXPECT_EQ(twice.size(), size * 2);
    EXPECT_EQ(twice.devicePixelRatio(), 2.0);
    const QPixmap shown = form->Image1->pixmap();
    EXPECT_EQ(shown.size(), size * form->devicePixelRatioF());
    EXPECT_EQ(shown.devicePixelRatio(), form->devicePixelRatioF());
}
