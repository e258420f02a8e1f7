// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the window from its layout (windowlogic/Layout.h): each control made as a Qt widget of
// its kind, placed from twips at the screen's resolution, with the font of its role.
#include <QAccessible>
#include <QButtonGroup>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <optional>
#include <span>

#include "Accessibility.h"
#include "Drawing.h"
#include "Form1.h"
#include "Layout.h"
#include "StatusLine.h"

using namespace windowlogic;

namespace {

// Converts twips to pixels at the screen's logical resolution.
class Twips {
  public:
    explicit Twips(double dotsPerInch) : dotsPerInch_(dotsPerInch) {}
    int operator()(int twips) const { return TwipsToPixels(twips, dotsPerInch_); }
    QRect Rect(const TwipsRect& rect) const {
        return {(*this)(rect.left), (*this)(rect.top), (*this)(rect.width), (*this)(rect.height)};
    }

  private:
    double dotsPerInch_;
};

QString Q(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

bool HasOwnBold(std::u16string_view face) {
    const QString family = Q(face);
    const QStringList styles = QFontDatabase::styles(family);
    return std::any_of(styles.begin(), styles.end(), [&](const QString& style) {
        return QFontDatabase::weight(family, style) >= QFont::Bold;
    });
}

// The Song face preferred where one is installed (a bold drawn thicker by the toolkit barely
// shows in a Song face at this size); the Kai title leaves the choice to Qt's own fallback.
QString SongFace() {
    const QStringList installed = QFontDatabase::families();
    const std::optional<std::u16string_view> face = PreferredFace(
        Font(FontRole::Song).faces,
        [&](std::u16string_view each) { return installed.contains(Q(each)); }, HasOwnBold);
    return face ? Q(*face) : QString();
}

QFont FontOf(FontRole role) {
    const FontChoice& entry = Font(role);
    static const QString song = SongFace();
    QStringList families;
    if (role != FontRole::KaiTitle && !song.isEmpty()) {
        families << song;
    }
    for (std::u16string_view face : entry.faces) {
        families << Q(face);
    }
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(entry.points);
    font.setBold(entry.bold);
    font.setUnderline(entry.underline);
    return font;
}

QColor ColourOf(const Rgb& rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

// The colour while the control takes input; a disabled one greys as every other does.
void SetTextColour(QWidget* widget, const Rgb& rgb) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, QPalette::WindowText, ColourOf(rgb));
    palette.setColor(QPalette::Inactive, QPalette::WindowText, ColourOf(rgb));
    widget->setPalette(palette);
}

// A label as tall as the layout says, which is the em of its font and less than its line (Noto
// Serif CJK's is 17 pixels at 9 points, where the layout gives 12): the text and a link's
// underline drawn inside it by the rule both windows share, so nothing reaches the field below.
class LayoutLabel : public QLabel {
  public:
    explicit LayoutLabel(QWidget* parent) : QLabel(parent) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QPalette::ColorGroup group = !isEnabled()       ? QPalette::Disabled
                                           : isActiveWindow() ? QPalette::Active
                                                              : QPalette::Inactive;
        const QColor ink = palette().color(group, foregroundRole());
        const QFontMetrics metrics(font());
        const LabelLines lines =
            LabelLinesFor(height(), metrics.underlinePos(), metrics.lineWidth());
        QFont plain = font();
        plain.setUnderline(false);
        painter.setFont(plain);
        painter.setPen(ink);
        painter.drawText(QPoint(0, lines.baseline), text());
        if (font().underline()) {
            painter.fillRect(0, lines.underline, metrics.horizontalAdvance(text()),
                             metrics.lineWidth(), ink);
        }
    }
};

// Measured here: Noto Serif CJK's line (17 pixels at 9 points) is taller than the text area of
// the size box (16) and barely fits the others; centred, it loses the descenders at the
// bottom. Set at the bottom, it keeps all its ink, for the space it leaves is above the
// Chinese characters.
constexpr Qt::Alignment kFieldText = Qt::AlignLeft | Qt::AlignBottom;

}  // namespace

// The resources live in a static library; make sure the linker keeps them.
static void InitResources() {
    Q_INIT_RESOURCE(resources);
}

void Form1::BuildControls() {
    InitResources();
    const Twips tw(screen() ? screen()->logicalDotsPerInch() : 96.0);
    setWindowTitle(Q(kWindowCaption));
    setProperty(accessibility::kRole, QAccessible::Window);
    // The 32-pixel picture is for a screen at 1x; a scaled screen takes the 128-pixel one.
    QIcon icon;
    icon.addFile(QStringLiteral(":/korvel/icon.png"));
    icon.addFile(QStringLiteral(":/korvel/icon-128.png"));
    setWindowIcon(icon);
    setFixedSize(tw(kClientWidth), tw(kClientHeight));
    setFont(FontOf(FontRole::Song));

    // Everything but the title band has the button face as its background.
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);

    const QCursor hand(QPixmap(QStringLiteral(":/korvel/hand.png")), 12, 1);
    for (const ControlLayout& entry : Layout()) {
        QWidget* parent = entry.panel == Control::None ? this : Widget(entry.panel);
        const QFont font = FontOf(entry.font);
        QWidget* widget = nullptr;
        switch (entry.kind) {
            case Kind::Shape: {
                widget = new QWidget(parent);
                QPalette fill = widget->palette();
                fill.setColor(QPalette::Window, ColourOf(entry.colour.value_or(Rgb{})));
                widget->setPalette(fill);
                widget->setAutoFillBackground(true);
                widget->setGeometry(tw.Rect(entry.rect));
                break;
            }
            case Kind::Image: {
                auto* image = new QLabel(parent);
                image->setGeometry(tw.Rect(entry.rect));
                image->setPixmap(icon.pixmap(image->size(), devicePixelRatioF()));
                image->setScaledContents(true);
                widget = image;
                break;
            }
            case Kind::Label:
            case Kind::Link: {
                // Every label sizes itself to its caption; one the layout gives a height keeps
                // that height.
                auto* label = entry.rect.height > 0 ? new LayoutLabel(parent) : new QLabel(parent);
                // Before its text, which a reader hears of: a reading is made once, on first use.
                if (entry.kind == Kind::Link) {
                    label->setProperty(accessibility::kRole, QAccessible::Link);
                }
                label->setText(Q(entry.caption));
                label->setFont(font);
                label->move(tw(entry.rect.left), tw(entry.rect.top));
                label->adjustSize();
                if (entry.rect.height > 0) {
                    label->resize(label->width(), tw(entry.rect.height));
                }
                if (entry.colour) {
                    SetTextColour(label, *entry.colour);
                }
                if (entry.kind == Kind::Link) {
                    label->setCursor(hand);
                }
                widget = label;
                break;
            }
            case Kind::ModeButton:
            case Kind::Button: {
                auto* button = new QPushButton(parent);
                if (entry.kind == Kind::ModeButton) {
                    button->setProperty(accessibility::kRole, QAccessible::RadioButton);
                }
                button->setText(Q(entry.caption));
                button->setFont(font);
                button->setGeometry(tw.Rect(entry.rect));
                // Enter presses the push button that has the focus; a mode button only selects.
                button->setAutoDefault(entry.kind == Kind::Button);
                button->setCheckable(entry.kind == Kind::ModeButton);
                widget = button;
                break;
            }
            case Kind::Panel: {
                auto* panel = new QGroupBox(Q(entry.caption), parent);
                panel->setFont(font);
                // The caption sits on the frame's top line.
                panel->setStyleSheet(
                    QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: "
                                   "2px; margin-top: %1px; }"
                                   "QGroupBox::title { subcontrol-origin: margin; left: %2px; "
                                   "padding: 0 2px; }")
                        .arg(tw(90))
                        .arg(tw(120)));
                panel->setGeometry(tw.Rect(entry.rect));
                panel->setVisible(entry.id == kStartPanel);
                widget = panel;
                break;
            }
            case Kind::TextBox: {
                auto* field = new QLineEdit(Q(entry.caption), parent);
                field->setFont(font);
                field->setAlignment(kFieldText);
                field->setGeometry(tw.Rect(entry.rect));
                field->setAcceptDrops(false);  // files dropped on it go to the window
                widget = field;
                break;
            }
            case Kind::ComboBox: {
                auto* combo = new QComboBox(parent);
                combo->setProperty(accessibility::kRole, QAccessible::ComboBox);
                combo->setFont(font);
                combo->setEditable(true);
                // The panel's style sheet keeps the line edit from inheriting the combo's font.
                combo->lineEdit()->setFont(font);
                combo->lineEdit()->setAlignment(kFieldText);
                combo->lineEdit()->setAcceptDrops(false);
                combo->setAcceptDrops(false);
                combo->setInsertPolicy(QComboBox::NoInsert);
                combo->setGeometry(tw.Rect(entry.rect));
                combo->setEditText(Q(entry.caption));
                combo->lineEdit()->setAccessibleName(Q(entry.accessibleName));
                widget = combo;
                break;
            }
            case Kind::StatusLine: {
                auto* status = new StatusLine(parent);
                status->setFont(font);
                status->setAlignment(kFieldText);
                status->setGeometry(tw.Rect(entry.rect));
                status->setText(Q(entry.caption));
                status->setAcceptDrops(false);
                widget = status;
                break;
            }
        }
        widget->setObjectName(
            QString::fromLatin1(entry.name.data(), static_cast<qsizetype>(entry.name.size())));
        if (!entry.toolTip.empty()) {
            widget->setToolTip(Q(entry.toolTip));
        }
        if (!entry.accessibleName.empty()) {
            widget->setAccessibleName(Q(entry.accessibleName));
        }
        if (IsField(entry.id)) {
            widget->setAccessibleDescription(Q(AccessibleDescription(entry.id)));
        }
        if (!TakesFocus(entry.kind)) {
            widget->setFocusPolicy(Qt::NoFocus);  // labels, panels and pictures never take it
        }
        widgets_[static_cast<std::size_t>(entry.id)] = widget;
    }

    auto label = [this](Control control) { return static_cast<QLabel*>(Widget(control)); };
    auto button = [this](Control control) { return static_cast<QPushButton*>(Widget(control)); };
    auto line = [this](Control control) { return static_cast<QLineEdit*>(Widget(control)); };
    auto panel = [this](Control control) { return static_cast<QGroupBox*>(Widget(control)); };
    Shape1 = Widget(Control::Shape1);
    Image1 = label(Control::Image1);
    Label2 = label(Control::Label2);
    Label30 = label(Control::Label30);
    Option1 = button(Control::Option1);
    Option2 = button(Control::Option2);
    Option3 = button(Control::Option3);
    Frame1 = panel(Control::Frame1);
    Frame2 = panel(Control::Frame2);
    Frame4 = panel(Control::Frame4);
    Label1[0] = label(Control::Label1_0);
    Label1[1] = label(Control::Label1_1);
    Label1[2] = label(Control::Label1_2);
    Label1[3] = label(Control::Label1_3);
    Label4 = label(Control::Label4);
    txtFileName = line(Control::txtFileName);
    Combo1 = static_cast<QComboBox*>(Widget(Control::Combo1));
    cmdSplit = button(Control::cmdSplit);
    Label3 = label(Control::Label3);
    txtTemplateName = line(Control::txtTemplateName);
    Label5 = label(Control::Label5);
    txtOutputFile = line(Control::txtOutputFile);
    cmdUnsplit = button(Control::cmdUnsplit);
    Label6 = label(Control::Label6);
    Label7 = label(Control::Label7);
    Label8 = label(Control::Label8);
    Label9 = label(Control::Label9);
    Label10 = label(Control::Label10);
    Label11 = label(Control::Label11);
    Command1 = button(Control::Command1);
    Text1 = static_cast<StatusLine*>(Widget(Control::Text1));

    for (const ControlLayout& entry : Layout()) {
        if (const Control label = LabelOf(entry.id); label != Control::None) {
            static_cast<QLabel*>(Widget(label))->setBuddy(Widget(entry.id));
        }
    }

    // The mode buttons are one exclusive group and one tab stop, at the selected one.
    modeGroup_ = new QButtonGroup(this);
    for (const PanelMode& each : kPanels) {
        QPushButton* mode = button(each.mode);
        modeGroup_->addButton(mode);
        mode->setChecked(each.panel == kStartPanel);
        mode->setFocusPolicy(each.panel == kStartPanel ? Qt::StrongFocus : Qt::ClickFocus);
    }

    const std::span<const Control> tabOrder = TabOrder();
    for (std::size_t i = 1; i < tabOrder.size(); ++i) {
        QWidget::setTabOrder(Widget(tabOrder[i - 1]), Widget(tabOrder[i]));
    }

    // Files dropped anywhere on the window reach the form, not the text boxes.
    setAcceptDrops(true);
}
