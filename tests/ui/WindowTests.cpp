// SPDX-License-Identifier: GPL-3.0-or-later
// The window itself: start-up state, panels, focus, keys, the file choosers and how the links,
// the size field and the picture are drawn.
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "Layout.h"
#include "WindowFixture.h"

using windowlogic::texts::vbCritical;

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

namespace {

QString Q(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// What a widget of each kind shows as its caption.
QString CaptionOf(QWidget* widget) {
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        return combo->currentText();
    }
    if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        return line->text();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* panel = qobject_cast<QGroupBox*>(widget)) {
        return panel->title();
    }
    return {};
}

}  // namespace

TEST_F(WindowTest, every_control_stands_where_the_layout_puts_it_and_the_window_cannot_grow) {
    const double pixelsPerTwip = form->logicalDpiX() / 1440.0;
    auto px = [&](int twips) { return qRound(twips * pixelsPerTwip); };
    EXPECT_EQ(form->size(), QSize(px(windowlogic::kClientWidth), px(windowlogic::kClientHeight)));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    for (const windowlogic::ControlLayout& entry : windowlogic::Layout()) {
        QWidget* widget = form->Widget(entry.id);
        ASSERT_NE(widget, nullptr) << entry.name;
        const QWidget* parent =
            entry.panel == windowlogic::Control::None ? form.get() : form->Widget(entry.panel);
        EXPECT_EQ(widget->parentWidget(), parent) << entry.name;
        const windowlogic::TwipsRect r = entry.rect;
        if (entry.kind == windowlogic::Kind::Label || entry.kind == windowlogic::Kind::Link) {
            // Sized to its caption, but no taller than the layout says where it says.
            EXPECT_EQ(widget->pos(), QPoint(px(r.left), px(r.top))) << entry.name;
            EXPECT_TRUE(r.height == 0 || widget->height() == px(r.height)) << entry.name;
        } else {
            EXPECT_EQ(widget->geometry(), QRect(px(r.left), px(r.top), px(r.width), px(r.height)))
                << entry.name;
        }
    }
}

TEST_F(WindowTest, every_control_shows_the_caption_font_colour_and_tips_of_its_layout_entry) {
    for (const windowlogic::ControlLayout& entry : windowlogic::Layout()) {
        QWidget* widget = form->Widget(entry.id);
        if (entry.id != windowlogic::Control::Text1) {  // the status line shows its state
            EXPECT_EQ(CaptionOf(widget), Q(entry.caption)) << entry.name;
        }
        const windowlogic::FontChoice& font = windowlogic::Font(entry.font);
        EXPECT_EQ(widget->font().bold(), font.bold) << entry.name;
        EXPECT_EQ(widget->font().underline(), font.underline) << entry.name;
        EXPECT_EQ(widget->font().pointSizeF(), font.points) << entry.name;
        if (entry.colour && entry.kind != windowlogic::Kind::Shape) {
            const windowlogic::Rgb c = *entry.colour;
            EXPECT_EQ(widget->palette().color(QPalette::WindowText), QColor(c.red, c.green, c.blue))
                << entry.name;
        }
        EXPECT_EQ(widget->toolTip(), Q(entry.toolTip)) << entry.name;
        EXPECT_EQ(widget->accessibleName(), Q(entry.accessibleName)) << entry.name;
    }
    EXPECT_EQ(form->windowTitle(), Q(windowlogic::kWindowCaption));
    EXPECT_EQ(form->Shape1->palette().color(QPalette::Window), QColor(Qt::white));
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

TEST_F(WindowTest, f4_and_ctrl_o_in_a_path_field_open_its_dialog_in_the_folder_of_its_path) {
    QTest::mouseClick(form->Option2, Qt::LeftButton);
    form->txtTemplateName->setText(Path("a.rar.FLF"));
    script.dialogAnswers = {QString(), QString(), QString()};
    form->txtTemplateName->setFocus();
    PressKey(form->txtTemplateName, Qt::Key_F4);
    PressKey(form->txtTemplateName, Qt::Key_O, Qt::ControlModifier);
    form->txtOutputFile->setFocus();
    PressKey(form->txtOutputFile, Qt::Key_F4);
    ASSERT_EQ(script.dialogs.size(), 3u);
    EXPECT_EQ(script.dialogs[0].title, QStringLiteral("打开要合并的文件的首个文件"));
    EXPECT_EQ(script.dialogs[0].folder, QString::fromStdString(dir.path().string()));
    EXPECT_EQ(script.dialogs[1].title, script.dialogs[0].title);
    EXPECT_EQ(script.dialogs[2].title, QStringLiteral("合并文件为..."));
    EXPECT_EQ(form->txtTemplateName->text(), Path("a.rar.FLF"));  // cancelled: unchanged
    PressKey(form->txtTemplateName, Qt::Key_F5);                  // no other key opens one
    EXPECT_EQ(script.dialogs.size(), 3u);
}

TEST_F(WindowTest, the_status_line_takes_the_focus_in_its_turn_but_selects_nothing) {
    form->Command1->setFocus();
    PressKey(form->Command1, Qt::Key_Tab);
    EXPECT_EQ(Focused(), form->Text1);
    EXPECT_FALSE(form->Text1->hasSelectedText());
    PressKey(form->Text1, Qt::Key_A);  // locked: nothing is typed
    EXPECT_EQ(form->Text1->text(), Form1::kIdleText);
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

namespace {

// The widget drawn at the given scale, as on a screen scaled that much.
QImage Drawn(QWidget* widget, double scale) {
    QImage image(widget->size() * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    widget->render(&image);
    return image;
}

// Pixels darker than mid-grey: the ink of black text on a light ground.
int DarkPixels(const QImage& image) {
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            dark += qGray(image.pixel(x, y)) < 100;
        }
    }
    return dark;
}

int Darkest(const QImage& image) {
    int darkest = 255;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            darkest = std::min(darkest, qGray(image.pixel(x, y)));
        }
    }
    return darkest;
}

bool HasOwnBold(const QString& family) {
    for (const QString& style : QFontDatabase::styles(family)) {
        if (QFontDatabase::weight(family, style) >= QFont::Bold) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST_F(WindowTest, bold_captions_use_a_song_face_with_a_bold_of_its_own_and_show_at_two_scales) {
    const QString family = QFontInfo(form->cmdSplit->font()).family();
    EXPECT_TRUE(HasOwnBold(family))
        << family.toStdString() << ": scripts/setup.sh installs fonts-noto-cjk";
    EXPECT_EQ(QFontInfo(form->txtFileName->font()).family(), family);
    for (double scale : {1.0, 2.0}) {
        QLabel bold(form->cmdSplit->text(), form.get());
        bold.setFont(form->cmdSplit->font());
        bold.adjustSize();
        QLabel regular(form->cmdSplit->text(), form.get());
        QFont plain = form->cmdSplit->font();
        plain.setBold(false);
        regular.setFont(plain);
        regular.adjustSize();
        const int boldInk = DarkPixels(Drawn(&bold, scale));
        const int regularInk = DarkPixels(Drawn(&regular, scale));
        EXPECT_GT(boldInk, regularInk * 13 / 10)
            << "at " << scale << "x: " << boldInk << " against " << regularInk;
    }
}

TEST_F(WindowTest, latin_digits_draw_dark_at_two_scales) {
    for (double scale : {1.0, 2.0}) {
        const QImage digits = Drawn(form->Combo1->lineEdit(), scale);
        EXPECT_LT(Darkest(digits), 40) << "at " << scale << "x";
        EXPECT_GT(DarkPixels(digits), 15 * scale * scale) << "at " << scale << "x";
    }
}

TEST_F(WindowTest, text_in_the_fields_is_not_clipped_at_two_scales) {
    const QString sample = QStringLiteral("需要被分割的文件(gjpqy)128");
    form->txtFileName->setText(sample);
    form->Combo1->setEditText(sample);
    form->Text1->setText(sample);
    for (QWidget* field :
         {static_cast<QWidget*>(form->txtFileName), static_cast<QWidget*>(form->Combo1),
          static_cast<QWidget*>(form->Text1)}) {
        const QSize size = field->size();
        for (double scale : {1.0, 2.0}) {
            const int shown = DarkPixels(Drawn(field, scale));
            field->resize(size.width(), size.height() * 2);  // room for all of it
            const int whole = DarkPixels(Drawn(field, scale));
            field->resize(size);
            EXPECT_GE(shown, whole * 97 / 100)
                << field->objectName().toStdString() << " at " << scale << "x";
            EXPECT_GT(shown, 0);
        }
    }
}

TEST_F(WindowTest, opens_with_its_frame_centred_on_the_screen) {
    const QPoint centre = form->screen()->availableGeometry().center();
    const QPoint frameCentre = form->frameGeometry().center();
    EXPECT_LE(std::abs(frameCentre.x() - centre.x()), 1);
    EXPECT_LE(std::abs(frameCentre.y() - centre.y()), 1);
}
