// SPDX-License-Identifier: GPL-3.0-or-later
// The window's layout: every control placed where the classic form put it, in twips, with the
// Song face the form was drawn in (or the nearest one installed).
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "Form1.h"
#include "StatusLine.h"

namespace {

// Converts twips to pixels at the screen's logical resolution (15 twips a pixel at 96 dpi).
class Twips {
  public:
    explicit Twips(double dotsPerInch) : scale_(dotsPerInch / 1440.0) {}
    int operator()(int twips) const { return static_cast<int>(std::lround(twips * scale_)); }
    QRect Rect(int left, int top, int width, int height) const {
        return {(*this)(left), (*this)(top), (*this)(width), (*this)(height)};
    }

  private:
    double scale_;
};

QFont SongFont(bool bold = false) {
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
                      QStringLiteral("Noto Serif CJK SC")});
    font.setPointSizeF(9);
    font.setBold(bold);
    return font;
}

QFont KaiFont() {
    QFont font;
    font.setFamilies({QStringLiteral("楷体_GB2312"), QStringLiteral("KaiTi"),
                      QStringLiteral("KaiTi_GB2312"), QStringLiteral("AR PL UKai CN"),
                      QStringLiteral("AR PL UKai TW")});
    font.setPointSizeF(21.75);
    font.setBold(true);
    return font;
}

}  // namespace

// The resources live in a static library; make sure the linker keeps them.
static void InitResources() {
    Q_INIT_RESOURCE(resources);
}

void Form1::BuildControls() {
    InitResources();
    const Twips tw(screen() ? screen()->logicalDotsPerInch() : 96.0);
    setWindowTitle(QStringLiteral("Korvel文件分割器"));
    // The 32-pixel picture is for a screen at 1x; a scaled screen takes the 128-pixel one.
    QIcon icon;
    icon.addFile(QStringLiteral(":/korvel/icon.png"));
    icon.addFile(QStringLiteral(":/korvel/icon-128.png"));
    setWindowIcon(icon);
    setFixedSize(tw(8880), tw(4485));
    setFont(SongFont());

    // Everything but the title band has the button face as its background.
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);

    auto label = [&](QWidget* parent, const QString& caption, int left, int top,
                     const QFont& font = SongFont()) {
        auto* result = new QLabel(caption, parent);
        result->setFont(font);
        result->move(tw(left), tw(top));
        result->adjustSize();
        return result;
    };
    auto colour = [](QLabel* target, const QColor& colour) {
        QPalette palette = target->palette();
        palette.setColor(QPalette::WindowText, colour);
        target->setPalette(palette);
    };
    const QCursor hand(QPixmap(QStringLiteral(":/korvel/hand.png")), 12, 1);
    auto link = [&](QWidget* parent, const QString& caption, int left, int top) {
        QFont font = SongFont();
        font.setUnderline(true);
        QLabel* result = label(parent, caption, left, top, font);
        // Sized to its text, the label ends where the underline begins. Make room for the line
        // (and a pixel more, as a scaled screen rounds its place), and keep the text at the
        // top so that it does not move.
        const QFontMetrics metrics(font);
        const int underlineBottom = metrics.ascent() + metrics.underlinePos() + metrics.lineWidth();
        result->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        result->resize(result->width(), std::max(result->height(), underlineBottom + 1));
        colour(result, QColor(0x00, 0x00, 0xFF));
        result->setCursor(hand);
        return result;
    };
    auto button = [&](QWidget* parent, const QString& caption, const QRect& geometry) {
        auto* result = new QPushButton(caption, parent);
        result->setFont(SongFont(true));
        result->setGeometry(geometry);
        result->setAutoDefault(true);  // Enter presses the button that has the focus
        return result;
    };
    auto textBox = [&](QWidget* parent, const QRect& geometry) {
        auto* result = new QLineEdit(parent);
        result->setFont(SongFont());
        result->setGeometry(geometry);
        return result;
    };
    auto frame = [&](const QString& caption) {
        auto* result = new QGroupBox(caption, this);
        result->setFont(SongFont(true));
        // The caption sits on the frame's top line, as on a classic frame.
        result->setStyleSheet(
            QStringLiteral(
                "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: %1px; "
                "}"
                "QGroupBox::title { subcontrol-origin: margin; left: %2px; padding: 0 2px; }")
                .arg(tw(90))
                .arg(tw(120)));
        result->setGeometry(tw.Rect(120, 1560, 8655, 1935));
        return result;
    };

    // Title band: a white rectangle under the picture, the title and the build line.
    Shape1 = new QWidget(this);
    Shape1->setGeometry(tw.Rect(0, 0, 8895, 975));
    QPalette white = Shape1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Shape1->setPalette(white);
    Shape1->setAutoFillBackground(true);
    Image1 = new QLabel(this);
    Image1->setGeometry(tw.Rect(840, 240, 480, 480));
    Image1->setPixmap(icon.pixmap(Image1->size(), devicePixelRatioF()));
    Image1->setScaledContents(true);
    Label2 = label(this, QStringLiteral("Korvel文件分割器"), 1800, 240, KaiFont());
    colour(Label2, QColor(0x00, 0x00, 0x80));
    Label30 = label(this, QStringLiteral("2008版 Build 2008.3.18"), 6720, 600);
    colour(Label30, QColor(0x00, 0x00, 0xFF));

    Option1 = button(this, QStringLiteral("分割文件"), tw.Rect(120, 1080, 1095, 420));
    Option2 = button(this, QStringLiteral("合并文件"), tw.Rect(1200, 1080, 1095, 420));
    Option3 = button(this, QStringLiteral("获取帮助"), tw.Rect(2280, 1080, 1095, 420));
    modeGroup_ = new QButtonGroup(this);
    for (QPushButton* mode : {Option1, Option2, Option3}) {
        mode->setCheckable(true);
        mode->setAutoDefault(false);
        modeGroup_->addButton(mode);
    }
    Option1->setChecked(true);

    Frame1 = frame(QStringLiteral("分割文件"));
    Label1[0] = label(Frame1, QStringLiteral("需要被分割的文件"), 240, 240);
    Label4 = link(Frame1, QStringLiteral("浏览..."), 1800, 240);
    txtFileName = textBox(Frame1, tw.Rect(240, 480, 8295, 285));
    Label1[1] = label(Frame1, QStringLiteral("每一份大小(单位：M)"), 240, 960);
    Combo1 = new QComboBox(Frame1);
    Combo1->setFont(SongFont());
    Combo1->setEditable(true);
    // The frame's style sheet keeps the line edit from inheriting the combo box's font.
    Combo1->lineEdit()->setFont(SongFont());
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setGeometry(tw.Rect(2040, 960, 1335, 300));
    Combo1->setEditText(QStringLiteral("128"));
    cmdSplit = button(Frame1, QStringLiteral("分 割(&S)"), tw.Rect(7320, 1440, 1215, 375));

    Frame2 = frame(QStringLiteral("合并文件"));
    Label1[3] = label(Frame2, QStringLiteral("被分割后的首个文件(文件扩展名为 .FLF )"), 240, 240);
    Label3 = link(Frame2, QStringLiteral("浏览..."), 3720, 240);
    txtTemplateName = textBox(Frame2, tw.Rect(240, 480, 8295, 285));
    Label1[2] = label(Frame2, QStringLiteral("合并后的文件名"), 240, 840);
    Label5 = link(Frame2, QStringLiteral("另存为..."), 1560, 840);
    txtOutputFile = textBox(Frame2, tw.Rect(240, 1080, 8295, 285));
    cmdUnsplit = button(Frame2, QStringLiteral("合 并(&U)"), tw.Rect(7320, 1440, 1215, 375));
    Frame2->hide();

    Frame4 = frame(QStringLiteral("获得帮助"));
    Label6 = label(Frame4, QStringLiteral("联系："), 2520, 600, SongFont(true));
    Label7 = label(Frame4, QStringLiteral("Korvel 软件工作室"), 3120, 600);
    Label8 = label(Frame4, QStringLiteral("ＱＱ："), 2520, 960, SongFont(true));
    Label9 = label(Frame4, QStringLiteral("800012345"), 3120, 960);
    Label10 = label(Frame4, QStringLiteral("邮箱："), 2520, 1320, SongFont(true));
    Label11 = label(Frame4, QStringLiteral("support@korvel.example"), 3120, 1320);
    Frame4->hide();

    Command1 = button(this, QStringLiteral("关 闭(&C)"), tw.Rect(3960, 3720, 1095, 375));
    Text1 = new StatusLine(this);
    Text1->setFont(SongFont());
    Text1->setGeometry(tw.Rect(0, 4200, 8895, 270));

    // Labels and panels never take the focus; the mode buttons are one tab stop, at the
    // selected one, as a group of option buttons is.
    for (QLabel* each : findChildren<QLabel*>()) {
        each->setFocusPolicy(Qt::NoFocus);
    }
    QWidget::setTabOrder(Option1, Option2);
    QWidget::setTabOrder(Option2, Option3);
    QWidget::setTabOrder(Option3, txtFileName);
    QWidget::setTabOrder(txtFileName, Combo1);
    QWidget::setTabOrder(Combo1, cmdSplit);
    QWidget::setTabOrder(cmdSplit, txtTemplateName);
    QWidget::setTabOrder(txtTemplateName, txtOutputFile);
    QWidget::setTabOrder(txtOutputFile, cmdUnsplit);
    QWidget::setTabOrder(cmdUnsplit, Command1);
    QWidget::setTabOrder(Command1, Text1);

    // Files dropped anywhere on the window reach the form, not the text boxes.
    setAcceptDrops(true);
    for (QWidget* field :
         {static_cast<QWidget*>(txtFileName), static_cast<QWidget*>(Combo1),
          static_cast<QWidget*>(Combo1->lineEdit()), static_cast<QWidget*>(txtTemplateName),
          static_cast<QWidget*>(txtOutputFile), static_cast<QWidget*>(Text1)}) {
        field->setAcceptDrops(false);
    }

    if (const QScreen* where = screen()) {
        move(where->availableGeometry().center() - rect().center());
    }
}
