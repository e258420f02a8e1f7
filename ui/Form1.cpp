// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <optional>

#include "Accessibility.h"
#include "EventHook.h"
#include "Form1View.h"
#include "Texts.h"
#include "WindowLogic.h"

using windowlogic::Control;
using windowlogic::Key;

const QString Form1::kIdleText =
    QString::fromStdU16String(std::u16string(windowlogic::texts::kIdle));

Form1::Form1(platform::Platform& platform, QWidget* parent)
    : Form1(
          platform,
          [](windowlogic::View& view, windowlogic::PlatformSeam& seam) {
              return std::make_unique<windowlogic::WindowLogic>(view, seam);
          },
          parent) {}

Form1::Form1(platform::Platform& platform, const LogicMaker& makeLogic, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      CMD(platform, this),
      platform_(platform) {
    accessibility::Install();
    BuildControls();
    // The focus shows from the start, not from the first key that moves it.
    setAttribute(Qt::WA_KeyboardFocusChange);
    adapter_ = std::make_unique<Adapter>(*this, platform_);
    logic_ = makeLogic(*adapter_, *adapter_);
    ConnectEvents();
    Form_Load();
}

Form1::~Form1() {
    logic_.reset();  // stops and waits for a split or merge still running
}

QWidget* Form1::Widget(Control control) const {
    return widgets_[static_cast<std::size_t>(control)];
}

namespace {

// The key as the window's logic knows it, if it knows it at all.
std::optional<Key> LogicKey(const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    if (key.key() == Qt::Key_Up && modifiers == Qt::NoModifier) {
        return Key::Up;
    }
    if (key.key() == Qt::Key_Down && modifiers == Qt::NoModifier) {
        return Key::Down;
    }
    if (key.key() == Qt::Key_F4 && modifiers == Qt::NoModifier) {
        return Key::F4;
    }
    if (key.key() == Qt::Key_O && modifiers == Qt::ControlModifier) {
        return Key::CtrlO;
    }
    return std::nullopt;
}

// The character of Alt with a key, without Ctrl (AltGr, as Windows reports it) or the Meta key,
// which a field would otherwise type.
std::optional<char16_t> AccessKeyOf(const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers();
    if (!(modifiers & Qt::AltModifier) || (modifiers & (Qt::ControlModifier | Qt::MetaModifier)) ||
        key.text().isEmpty() || !key.text().at(0).isPrint() || key.text().at(0).isSpace()) {
        return std::nullopt;
    }
    return key.text().at(0).unicode();
}

}  // namespace

void Form1::ConnectEvents() {
    // The selected mode button is the group's one tab stop.
    connect(modeGroup_, &QButtonGroup::buttonToggled, this, [](QAbstractButton* mode, bool on) {
        mode->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
    });
    // Clicked also when Left or Right moves the selection along the group.
    connect(Option1, &QPushButton::clicked, this, &Form1::Option1_Click);
    connect(Option2, &QPushButton::clicked, this, &Form1::Option2_Click);
    connect(Option3, &QPushButton::clicked, this, &Form1::Option3_Click);

    auto hook = [this](QWidget* widget, Control control) {
        EventHook* events = Hook(widget);
        events->keyDown = [this, control](const QKeyEvent& key) {
            if (const std::optional<char16_t> access = AccessKeyOf(key)) {
                logic_->AccessKey(*access);
                return true;
            }
            const std::optional<Key> known = LogicKey(key);
            return known && logic_->KeyDown(control, *known);
        };
        events->refusesInput = [this] { return logic_->Busy(); };
        return events;
    };
    EventHook* fileName = hook(txtFileName, Control::txtFileName);
    fileName->gotFocus = [this] { txtFileName_GotFocus(); };
    fileName->keyPress = [this](std::int16_t& key) { txtFileName_KeyPress(key); };
    for (QWidget* part :
         {static_cast<QWidget*>(Combo1), static_cast<QWidget*>(Combo1->lineEdit())}) {
        EventHook* combo = hook(part, Control::Combo1);
        combo->gotFocus = [this] { Combo1_GotFocus(); };
        combo->keyPress = [this](std::int16_t& key) { Combo1_KeyPress(key); };
    }
    EventHook* templateName = hook(txtTemplateName, Control::txtTemplateName);
    templateName->gotFocus = [this] { txtTemplateName_GotFocus(); };
    templateName->keyPress = [this](std::int16_t& key) { txtTemplateName_KeyPress(key); };
    EventHook* outputFile = hook(txtOutputFile, Control::txtOutputFile);
    outputFile->gotFocus = [this] { txtOutputFile_GotFocus(); };
    outputFile->keyPress = [this](std::int16_t& key) { txtOutputFile_KeyPress(key); };
    hook(Option1, Control::Option1);
    hook(Option2, Control::Option2);
    hook(Option3, Control::Option3);

    Hook(Label4)->click = [this] { Label4_Click(); };
    Hook(Label3)->click = [this] { Label3_Click(); };
    Hook(Label5)->click = [this] { Label5_Click(); };

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(cmdSplit, &QPushButton::clicked, this, &Form1::cmdSplit_Click);
    connect(cmdUnsplit, &QPushButton::clicked, this, &Form1::cmdUnsplit_Click);
}

// Each handler hands its event to the window's logic.
void Form1::Form_Load() {
    logic_->Load();
}
void Form1::Option1_Click() {
    logic_->Click(Control::Option1);
}
void Form1::Option2_Click() {
    logic_->Click(Control::Option2);
}
void Form1::Option3_Click() {
    logic_->Click(Control::Option3);
}
void Form1::txtFileName_GotFocus() {
    logic_->GotFocus(Control::txtFileName);
}
void Form1::Combo1_GotFocus() {
    logic_->GotFocus(Control::Combo1);
}
void Form1::txtTemplateName_GotFocus() {
    logic_->GotFocus(Control::txtTemplateName);
}
void Form1::txtOutputFile_GotFocus() {
    logic_->GotFocus(Control::txtOutputFile);
}
void Form1::txtFileName_KeyPress(std::int16_t& KeyAscii) {
    logic_->KeyPress(Control::txtFileName, KeyAscii);
}
void Form1::Combo1_KeyPress(std::int16_t& KeyAscii) {
    logic_->KeyPress(Control::Combo1, KeyAscii);
}
void Form1::txtTemplateName_KeyPress(std::int16_t& KeyAscii) {
    logic_->KeyPress(Control::txtTemplateName, KeyAscii);
}
void Form1::txtOutputFile_KeyPress(std::int16_t& KeyAscii) {
    logic_->KeyPress(Control::txtOutputFile, KeyAscii);
}
void Form1::Command1_Click() {
    logic_->Click(Control::Command1);
}
void Form1::cmdSplit_Click() {
    logic_->Click(Control::cmdSplit);
}
void Form1::cmdUnsplit_Click() {
    logic_->Click(Control::cmdUnsplit);
}
void Form1::Label4_Click() {
    logic_->Click(Control::Label4);
}
void Form1::Label3_Click() {
    logic_->Click(Control::Label3);
}
void Form1::Label5_Click() {
    logic_->Click(Control::Label5);
}
bool Form1::Form_QueryUnload() {
    return logic_->CloseRequest();
}
void Form1::Form_DropFile(const QString& path) {
    logic_->DropFile(path.toStdU16String());
}
void Form1::Form_OpenFile(const QString& path) {
    logic_->OpenFile(path.toStdU16String());
}

void Form1::Form_OpenFileToSplit(const QString& path) {
    logic_->OpenFileToSplit(path.toStdU16String());
}
void Form1::Form_Terminate() {
    logic_->Terminate();
}

void Form1::closeEvent(QCloseEvent* event) {
    event->setAccepted(Form_QueryUnload());
}

QString Form1::DroppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1 ||
        !mime->urls().first().isLocalFile()) {
        return {};
    }
    return mime->urls().first().toLocalFile();
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (!path.isEmpty() && logic_->CanDrop(path.toStdU16String())) {
        event->acceptProposedAction();
    }
}

void Form1::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty() || !logic_->CanDrop(path.toStdU16String())) {
        return;
    }
    event->acceptProposedAction();
    Form_DropFile(path);
}

bool Form1::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Show && !shownOnce_) {
        shownOnce_ = true;
        sinceShown_.start();
        CentreFrame();
    } else if (event->type() == QEvent::Move && !frameCentred_ && sinceShown_.isValid() &&
               sinceShown_.elapsed() < 2000 && frameGeometry() != geometry()) {
        // A window manager has put its frame around the window: centre the frame, title bar
        // included, once. Later moves are the user's.
        frameCentred_ = true;
        CentreFrame();
    }
    return handled;
}

void Form1::CentreFrame() {
    if (const QScreen* where = screen()) {
        const QRect frame = frameGeometry();  // the window alone until a frame is known
        move(where->availableGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
}
