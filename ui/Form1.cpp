// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <algorithm>
#include <array>
#include <cmath>

#include "BusyRunner.h"
#include "EventHook.h"
#include "Module1.h"
#include "StatusLine.h"

using platform::vbCritical;
using platform::vbExclamation;
using platform::vbYes;
using platform::vbYesNoQuestion;

const QString Form1::kIdleText = QStringLiteral(" 系统空闲！！！");

namespace {

const QString kSplitFailedTitle = QStringLiteral("文件分割失败");
const QString kMergeFailedTitle = QStringLiteral("文件合并失败");
const QChar kCr = u'\r';

}  // namespace

Form1::Form1(platform::Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      CMD(platform, this),
      platform_(platform) {
    BuildControls();
    busy_ = std::make_unique<BusyRunner>(*Text1);
    ConnectEvents();
    Form_Load();
}

Form1::~Form1() = default;

void Form1::ConnectEvents() {
    connect(modeGroup_, &QButtonGroup::buttonToggled, this, [this](QAbstractButton* mode, bool on) {
        mode->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
        if (!on) {
            return;
        }
        if (mode == Option1) {
            Option1_Click();
        } else if (mode == Option2) {
            Option2_Click();
        } else {
            Option3_Click();
        }
    });
    Option1->setFocusPolicy(Qt::StrongFocus);
    Option2->setFocusPolicy(Qt::ClickFocus);
    Option3->setFocusPolicy(Qt::ClickFocus);

    EventHook* fileName = Hook(txtFileName);
    fileName->gotFocus = [this] { txtFileName_GotFocus(); };
    fileName->keyPress = [this](std::int16_t& key) { txtFileName_KeyPress(key); };
    for (QWidget* part :
         {static_cast<QWidget*>(Combo1), static_cast<QWidget*>(Combo1->lineEdit())}) {
        EventHook* combo = Hook(part);
        combo->gotFocus = [this] { Combo1_GotFocus(); };
        combo->keyPress = [this](std::int16_t& key) { Combo1_KeyPress(key); };
    }
    EventHook* templateName = Hook(txtTemplateName);
    templateName->gotFocus = [this] { txtTemplateName_GotFocus(); };
    templateName->keyPress = [this](std::int16_t& key) { txtTemplateName_KeyPress(key); };
    EventHook* outputFile = Hook(txtOutputFile);
    outputFile->gotFocus = [this] { txtOutputFile_GotFocus(); };
    outputFile->keyPress = [this](std::int16_t& key) { txtOutputFile_KeyPress(key); };

    for (QPushButton* mode : {Option1, Option2, Option3}) {
        Hook(mode)->keyDown = [this, mode](int key) { return ModeButton_KeyDown(mode, key); };
    }

    Hook(Label4)->click = [this] { Label4_Click(); };
    Hook(Label3)->click = [this] { Label3_Click(); };
    Hook(Label5)->click = [this] { Label5_Click(); };

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(cmdSplit, &QPushButton::clicked, this, &Form1::cmdSplit_Click);
    connect(cmdUnsplit, &QPushButton::clicked, this, &Form1::cmdUnsplit_Click);
}

void Form1::Form_Load() {
    const QString shown = Combo1->currentText();
    Combo1->addItems({QStringLiteral("1"), QStringLiteral("16"), QStringLiteral("32"),
                      QStringLiteral("128"), QStringLiteral("256"), QStringLiteral("512")});
    Combo1->setCurrentIndex(Combo1->findText(shown));  // adding items must not change the text
    Combo1->setEditText(shown);
    Text1->setText(kIdleText);
}

void Form1::Option1_Click() {
    Frame1->show();
    Frame2->hide();
    Frame4->hide();
}

void Form1::Option2_Click() {
    Frame2->show();
    Frame1->hide();
    Frame4->hide();
}

void Form1::Option3_Click() {
    Frame4->show();
    Frame1->hide();
    Frame2->hide();
}

void Form1::SelectAll(QLineEdit* field) {
    field->setSelection(0, field->text().size());
}

void Form1::txtFileName_GotFocus() {
    SelectAll(txtFileName);
}
void Form1::Combo1_GotFocus() {
    SelectAll(Combo1->lineEdit());
}
void Form1::txtTemplateName_GotFocus() {
    SelectAll(txtTemplateName);
}
void Form1::txtOutputFile_GotFocus() {
    SelectAll(txtOutputFile);
}

// Enter in a field moves the focus on instead of typing; every other key types as usual.
void Form1::EnterMovesFocusTo(std::int16_t& KeyAscii, QWidget* next) {
    if (KeyAscii == 13) {
        KeyAscii = 0;
        next->setFocus(Qt::OtherFocusReason);
    }
}

void Form1::txtFileName_KeyPress(std::int16_t& KeyAscii) {
    EnterMovesFocusTo(KeyAscii, Combo1);
}
void Form1::Combo1_KeyPress(std::int16_t& KeyAscii) {
    EnterMovesFocusTo(KeyAscii, cmdSplit);
}
void Form1::txtTemplateName_KeyPress(std::int16_t& KeyAscii) {
    EnterMovesFocusTo(KeyAscii, txtOutputFile);
}
void Form1::txtOutputFile_KeyPress(std::int16_t& KeyAscii) {
    EnterMovesFocusTo(KeyAscii, cmdUnsplit);
}

// Up and Down step along the mode buttons as Left and Right do: the next button is chosen and
// takes the focus; at either end nothing happens.
bool Form1::ModeButton_KeyDown(QPushButton* mode, int key) {
    if (key != Qt::Key_Up && key != Qt::Key_Down) {
        return false;
    }
    const std::array<QPushButton*, 3> modes{Option1, Option2, Option3};
    const auto next = std::find(modes.begin(), modes.end(), mode) + (key == Qt::Key_Down ? 1 : -1);
    if (next >= modes.begin() && next < modes.end()) {
        (*next)->click();
        (*next)->setFocus(key == Qt::Key_Down ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    }
    return true;
}

void Form1::Command1_Click() {
    // Closing hides the window and, as it is the last one, ends the program.
    close();
}

int Form1::MsgBox(const QString& prompt, int style, const QString& title) {
    return platform_.MsgBox(this, prompt, style, title);
}

std::optional<std::int32_t> Form1::PieceSizeMegabytes(const QString& text) {
    // Full-width digits typed through an input method count as the plain ones.
    bool ok = false;
    const double value = text.normalized(QString::NormalizationForm_KC).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    const double megabytes = std::nearbyint(value);  // a half goes to the even neighbour
    // Below 1 the engine cannot split; above 2047 the byte count no longer fits 32 bits.
    if (megabytes < 1 || megabytes > 2047) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(megabytes);
}

void Form1::cmdSplit_Click() {
    if (platform::IsBlank(Combo1->currentText())) {
        MsgBox(QStringLiteral("没有指定分割后每份的大小！") + kCr +
                   QStringLiteral("请输入或选取分割后每份的大小！！！"),
               vbCritical, kSplitFailedTitle);
        Combo1->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (platform::IsBlank(txtFileName->text())) {
        MsgBox(QStringLiteral("没有指定需要被分割的文件！") + kCr +
                   QStringLiteral("请输入需要被分割的文件！！！"),
               vbCritical, kSplitFailedTitle);
        txtFileName->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (!platform::FileExists(platform::TrimSpaces(txtFileName->text()))) {
        MsgBox(QStringLiteral("需要被分割的文件不存在！") + kCr +
                   QStringLiteral("请重新输入需要被分割的文件！！！"),
               vbCritical, kSplitFailedTitle);
        txtFileName->setFocus(Qt::OtherFocusReason);
        return;
    }

    Text1->setText(QStringLiteral(" 正在分割文件......"));
    const std::u16string sourcePath = txtFileName->text().toStdU16String();
    const std::optional<std::int32_t> megabytes = PieceSizeMegabytes(Combo1->currentText());
    if (!megabytes) {
        MsgBox(QStringLiteral("分割后每份的大小不正确！") + kCr +
                   QStringLiteral("请输入 1 到 2047 之间的数字！！！"),
               vbCritical, kSplitFailedTitle);
        Text1->setText(kIdleText);
        Combo1->setFocus(Qt::OtherFocusReason);
        return;
    }
    std::u16string message;
    bool split = false;
    busy_->Run([&](const Module1::Progress& progress) {
        split = Module1::SplitFile(sourcePath, 0, message, *megabytes * 1024 * 1024, progress);
    });
    if (split) {
        MsgBox(QStringLiteral("文件分割完成！！！"), vbExclamation, QStringLiteral("文件分割成功"));
    } else {
        MsgBox(QString::fromStdU16String(message), vbCritical, kSplitFailedTitle);
    }
    Text1->setText(kIdleText);
}

void Form1::cmdUnsplit_Click() {
    if (platform::IsBlank(txtTemplateName->text())) {
        MsgBox(QStringLiteral("未指定被分割的首个文件！！！"), vbCritical, kMergeFailedTitle);
        txtTemplateName->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (!platform::FileExists(txtTemplateName->text())) {
        MsgBox(QStringLiteral("指定的被分割的首个文件不存在！！！"), vbCritical, kMergeFailedTitle);
        txtTemplateName->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (platform::IsBlank(txtOutputFile->text())) {
        MsgBox(QStringLiteral("未指定合并后的文件名！！！"), vbCritical, kMergeFailedTitle);
        txtOutputFile->setFocus(Qt::OtherFocusReason);
        return;
    }
    // A merge must never write over its own input; a pattern names no one file, and the
    // system would read a name holding NUL only up to it, as another file's name.
    const QString output = txtOutputFile->text();
    if (output.contains(u'*') || output.contains(u'?') || output.contains(QChar(u'\0')) ||
        Module1::NamesFileOfSet(txtTemplateName->text().toStdU16String(),
                                output.toStdU16String())) {
        MsgBox(QStringLiteral("合并后的文件名不能是被分割后的首个文件、它的校验文件"
                              "或任何一份分割文件，也不能含有 * 或 ?！") +
                   kCr + QStringLiteral("请重新指定合并后的文件名！！！"),
               vbCritical, kMergeFailedTitle);
        txtOutputFile->setFocus(Qt::OtherFocusReason);
        return;
    }
    // On Yes the old file stays until the merged one is complete: the merge replaces it then.
    if (platform::FileExists(txtOutputFile->text()) &&
        MsgBox(
            QStringLiteral("指定合并后的文件已经存在！") + kCr + QStringLiteral("是否覆盖？？？"),
            vbYesNoQuestion, QStringLiteral("提示信息")) != vbYes) {
        txtOutputFile->setFocus(Qt::OtherFocusReason);
        return;
    }

    Text1->setText(QStringLiteral(" 正在合并文件......"));
    const std::u16string listPath = txtTemplateName->text().toStdU16String();
    const std::u16string outputName = txtOutputFile->text().toStdU16String();
    try {
        busy_->Run([&](const Module1::Progress& progress) {
            Module1::MergeFile(listPath, outputName, progress);
        });
    } catch (...) {
        MsgBox(QString::fromStdU16String(Module1::FailureText(std::current_exception())),
               vbCritical, kMergeFailedTitle);
        Text1->setText(kIdleText);
        return;
    }
    MsgBox(QStringLiteral("文件合并完成！！！"), vbExclamation, QStringLiteral("文件合并成功"));
    Text1->setText(kIdleText);
}

// Sets up the shared dialog afresh, shows it and returns the chosen path, empty on cancel.
QString Form1::ChooseFile(int kind, const QString& title, const QString& filter) {
    CMD.FileName = QString();
    CMD.DialogTitle = title;
    CMD.Filter = filter;
    CMD.FilterIndex = 1;
    CMD.SetAction(kind);
    return CMD.FileName;
}

void Form1::Label4_Click() {
    const QString chosen =
        ChooseFile(1, QStringLiteral("打开需要被分割的文件"), QStringLiteral("所有文件(*.*)|*.*"));
    if (!chosen.isEmpty()) {
        txtFileName->setText(chosen);
    }
}

void Form1::Label3_Click() {
    const QString chosen = ChooseFile(1, QStringLiteral("打开要合并的文件的首个文件"),
                                      QStringLiteral("(*.FLF)|*.FLF|所有文件(*.*)|*.*"));
    if (!chosen.isEmpty()) {
        FillListFile(chosen);
    }
}

void Form1::FillListFile(const QString& path) {
    txtTemplateName->setText(path);
    const QString chosen = txtTemplateName->text();
    // The list file is named after its source plus ".FLF": drop the last four characters.
    txtOutputFile->setText(chosen.left(std::max<qsizetype>(0, chosen.size() - 4)));
}

void Form1::Label5_Click() {
    const QString chosen =
        ChooseFile(2, QStringLiteral("合并文件为..."), QStringLiteral("所有文件(*.*)|*.*"));
    if (!chosen.isEmpty()) {
        txtOutputFile->setText(chosen);
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    if (busy_->IsRunning()) {
        event->ignore();  // a split or merge runs: the window closes only once it is done
        return;
    }
    QWidget::closeEvent(event);
}

QString Form1::DroppedFile(const QMimeData* mime) const {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1 ||
        !mime->urls().first().isLocalFile() || Frame4->isVisible()) {
        return {};
    }
    const QString path = mime->urls().first().toLocalFile();
    return QFileInfo(path).isDir() ? QString() : path;
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void Form1::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    Form_DropFile(path);
}

void Form1::Form_DropFile(const QString& path) {
    if (Frame1->isVisible()) {
        txtFileName->setText(path);
    } else if (Frame2->isVisible()) {
        FillListFile(path);
    }
}
