#include "Form1.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <exception>
#include <thread>

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

// Routes a widget's focus, key and click events to the window's handlers.
class EventHook : public QObject {
  public:
    std::function<void()> gotFocus;
    std::function<void(std::int16_t&)> keyPress;
    std::function<void()> click;

    explicit EventHook(QObject* parent) : QObject(parent) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::FocusIn:
                if (gotFocus) {
                    gotFocus();
                    // A click places the caret after the focus arrives; select again after it.
                    if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason) {
                        QTimer::singleShot(0, this, [this] { gotFocus(); });
                    }
                }
                break;
            case QEvent::KeyPress:
                if (keyPress) {
                    const auto* key = static_cast<QKeyEvent*>(event);
                    std::int16_t code = 0;
                    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                        code = 13;
                    } else if (!key->text().isEmpty()) {
                        code = static_cast<std::int16_t>(key->text().at(0).unicode());
                    }
                    if (code != 0) {
                        keyPress(code);
                        if (code == 0) {
                            return true;  // the handler discarded the key
                        }
                    }
                }
                break;
            case QEvent::MouseButtonRelease:
                if (click && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
                    static_cast<QWidget*>(watched)->rect().contains(
                        static_cast<QMouseEvent*>(event)->position().toPoint())) {
                    click();
                }
                break;
            default: break;
        }
        return QObject::eventFilter(watched, event);
    }
};

EventHook* Hook(QWidget* widget) {
    auto* hook = new EventHook(widget);
    widget->installEventFilter(hook);
    return hook;
}

}  // namespace

// The resources live in a static library; make sure the linker keeps them.
static void InitResources() {
    Q_INIT_RESOURCE(resources);
}

Form1::Form1(platform::Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      CMD(platform, this),
      platform_(platform) {
    InitResources();
    BuildControls();
    ConnectEvents();
    Form_Load();
}

Form1::~Form1() = default;

void Form1::BuildControls() {
    const Twips tw(screen() ? screen()->logicalDotsPerInch() : 96.0);
    setWindowTitle(QStringLiteral("Korvel文件分割器"));
    const QIcon icon(QStringLiteral(":/korvel/icon.png"));
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
    Image1->setPixmap(icon.pixmap(tw(480), tw(480)));
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

void Form1::txtFileName_KeyPress(std::int16_t& KeyAscii) {
    if (KeyAscii == 13) {
        KeyAscii = 0;
        Combo1->setFocus(Qt::OtherFocusReason);
    }
}

void Form1::Combo1_KeyPress(std::int16_t& KeyAscii) {
    if (KeyAscii == 13) {
        KeyAscii = 0;
        cmdSplit->setFocus(Qt::OtherFocusReason);
    }
}

void Form1::txtTemplateName_KeyPress(std::int16_t& KeyAscii) {
    if (KeyAscii == 13) {
        KeyAscii = 0;
        txtOutputFile->setFocus(Qt::OtherFocusReason);
    }
}

void Form1::txtOutputFile_KeyPress(std::int16_t& KeyAscii) {
    if (KeyAscii == 13) {
        KeyAscii = 0;
        cmdUnsplit->setFocus(Qt::OtherFocusReason);
    }
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
    if (megabytes < -2048 || megabytes > 2047) {
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
                   QStringLiteral("请输入 -2048 到 2047 之间的数字！！！"),
               vbCritical, kSplitFailedTitle);
        Text1->setText(kIdleText);
        Combo1->setFocus(Qt::OtherFocusReason);
        return;
    }
    std::u16string message;
    bool split = false;
    RunBusy([&](const Module1::Progress& progress) {
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
    // A merge must never write over its own input, and a pattern names no one file.
    const QString output = txtOutputFile->text();
    if (output.contains(u'*') || output.contains(u'?') ||
        Module1::NamesFileOfSet(txtTemplateName->text().toStdU16String(),
                                output.toStdU16String())) {
        MsgBox(QStringLiteral("合并后的文件名不能是被分割的文件本身，也不能含有 * 或 ？！") + kCr +
                   QStringLiteral("请重新指定合并后的文件名！！！"),
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
        RunBusy([&](const Module1::Progress& progress) {
            Module1::MergeFile(listPath, outputName, progress);
        });
    } catch (const std::exception& error) {
        const QString reason = dynamic_cast<const std::bad_alloc*>(&error)
                                   ? QStringLiteral("内存溢出")
                                   : QString::fromUtf8(error.what());
        MsgBox(reason, vbCritical, kMergeFailedTitle);
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

namespace {

// Swallows the user's input to every window while it lives; painting and timers go on.
class InputBlocker : public QObject {
  public:
    InputBlocker() { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
            case QEvent::ContextMenu: return true;
            default: return false;
        }
    }
};

}  // namespace

void Form1::RunBusy(const std::function<void(const Module1::Progress&)>& work) {
    busy_ = true;
    InputBlocker blocker;
    QEventLoop loop;
    std::exception_ptr failure;
    std::atomic<int> shownPermille{-1};
    const Module1::Progress progress = [&](std::int64_t done, std::int64_t total) {
        const int permille = total > 0 ? static_cast<int>(done * 1000 / total) : 1000;
        if (shownPermille.exchange(permille) != permille) {
            QMetaObject::invokeMethod(
                Text1, [this, permille] { Text1->SetProgress(permille / 1000.0); },
                Qt::QueuedConnection);
        }
    };
    auto run = [&] {
        try {
            work(progress);
        } catch (...) {
            failure = std::current_exception();
        }
    };
    try {
        std::thread worker([&] {
            run();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        worker.join();
    } catch (const std::system_error&) {
        run();  // no thread to be had: do the work here, as the window always could
    }
    Text1->SetProgress(-1);
    busy_ = false;
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    if (busy_) {
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
