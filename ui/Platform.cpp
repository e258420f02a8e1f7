// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform.h"

#include <sys/stat.h>

#include <QAccessible>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>
#include <QTextEdit>
#include <QTranslator>
#include <QTreeView>
#include <algorithm>
#include <cmath>

#include "Accessibility.h"
#include "Input.h"

namespace platform {

namespace {

using windowlogic::texts::vbCritical;
using windowlogic::texts::vbDefaultButton2;
using windowlogic::texts::vbExclamation;
using windowlogic::texts::vbNo;
using windowlogic::texts::vbOK;
using windowlogic::texts::vbQuestion;
using windowlogic::texts::vbYes;
using windowlogic::texts::vbYesNo;

// A modal box: an icon, the prompt and its buttons. The prompt is selectable text that wraps
// at word boundaries where it can and anywhere else where it must, so that a long path with
// no break point makes a taller box, never one wider than the screen.
class MessageBox : public QDialog {
  public:
    MessageBox(QWidget* parent, const QString& prompt, int style, const QString& title)
        : QDialog(parent), question_((style & 7) == vbYesNo) {
        // A screen reader announces the box as an alert described by its prompt, and reads the
        // prompt as the label it is, not as a field to edit. Set first: a reading is made once.
        setProperty(accessibility::kRole, QAccessible::AlertMessage);
        setWindowTitle(title);
        setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        if (parent) {
            setFont(parent->font());  // the window's own face, not the desktop's
        }

        auto* icon = new QLabel(this);
        const int iconSize =
            this->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        icon->setPixmap(this->style()->standardIcon(IconOf(style), nullptr, this).pixmap(iconSize));
        icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

        text_ = new QTextEdit(this);
        text_->setProperty(accessibility::kRole, QAccessible::StaticText);
        text_->setObjectName(QStringLiteral("prompt"));
        text_->setReadOnly(true);
        text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        text_->setFrameShape(QFrame::NoFrame);
        text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        text_->setLineWrapMode(QTextEdit::WidgetWidth);
        text_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        text_->setTabChangesFocus(true);
        text_->viewport()->setAutoFillBackground(false);
        text_->setAttribute(Qt::WA_TranslucentBackground);
        text_->setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));
        // A carriage return alone separates the prompt's lines.
        const QString shown = QString(prompt).replace(QChar(u'\r'), QChar(u'\n'));
        text_->setPlainText(shown);
        FitText();
        setAccessibleDescription(shown);
        text_->setAccessibleName(shown);

        auto* buttons = new QDialogButtonBox(this);
        if (question_) {
            QPushButton* yes = buttons->addButton(QDialogButtonBox::Yes);
            QPushButton* no = buttons->addButton(QDialogButtonBox::No);
            connect(yes, &QPushButton::clicked, this, [this] { done(vbYes); });
            connect(no, &QPushButton::clicked, this, [this] { done(vbNo); });
            default_ = (style & vbDefaultButton2) ? no : yes;
        } else {
            default_ = buttons->addButton(QDialogButtonBox::Ok);
            connect(default_, &QPushButton::clicked, this, [this] { done(vbOK); });
        }
        default_->setDefault(true);

        auto* layout = new QGridLayout(this);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        layout->addWidget(icon, 0, 0);
        layout->addWidget(text_, 0, 1);
        layout->addWidget(buttons, 1, 0, 1, 2);
        layout->setHorizontalSpacing(12);
    }

    // The button pressed; Escape or the title bar's close button answers No to a question.
    int Run() {
        default_->setFocus();
        const int result = exec();
        return result == QDialog::Rejected ? (question_ ? vbNo : vbOK) : result;
    }

  protected:
    void showEvent(QShowEvent* event) override {
        QDialog::showEvent(event);
        QAccessibleEvent alert(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }

  private:
    static QStyle::StandardPixmap IconOf(int style) {
        switch (style & 0x70) {
            case vbCritical: return QStyle::SP_MessageBoxCritical;
            case vbQuestion: return QStyle::SP_MessageBoxQuestion;
            case vbExclamation: return QStyle::SP_MessageBoxWarning;
            default: return QStyle::SP_MessageBoxInformation;
        }
    }

    // As wide as its longest line, up to what the screen leaves beside the icon and the
    // frame; as tall as the wrapped text.
    void FitText() {
        const QScreen* where = parentWidget() ? parentWidget()->screen() : screen();
        const int screenWidth = where ? where->availableGeometry().width() : 1024;
        const int widest = std::max(200, std::min(560, screenWidth - 160));
        QTextDocument* document = text_->document();
        const QFontMetrics metrics(text_->font());
        int natural = 0;
        for (const QString& line : text_->toPlainText().split(u'\n')) {
            natural = std::max(natural, metrics.horizontalAdvance(line));
        }
        const int margins = static_cast<int>(2 * document->documentMargin()) + 2;
        const int width = std::min(natural + margins, widest);
        document->setTextWidth(width);
        text_->setFixedSize(width, static_cast<int>(std::ceil(document->size().height())));
    }

    bool question_;
    QTextEdit* text_ = nullptr;
    QPushButton* default_ = nullptr;
};

}  // namespace

int DesktopPlatform::MsgBox(QWidget* parent, const QString& prompt, int style,
                            const QString& title) {
    MessageBox box(parent, prompt, style, title);
    return box.Run();
}

QStringList QtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
            // "*.*" means every file, names without a dot too.
            patterns << (pattern.trimmed() == u"*.*" ? QStringLiteral("*") : pattern.trimmed());
            // Windows matches names without regard to case; so do we for the patterns we show.
            if (pattern.trimmed().toLower() != pattern.trimmed()) {
                patterns << pattern.trimmed().toLower();
            }
        }
        // With HideNameFilterDetails the dialog shows only the part before " (...)".
        filters << parts[i] + QStringLiteral(" (") + patterns.join(u' ') + QChar(u')');
    }
    return filters;
}

QString DesktopPlatform::ShowFileDialog(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent, request.title);
    // Qt's own dialog, so that it reads in Chinese and behaves the same on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    // The merge command asks before it replaces a file; the dialog must not ask first.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(request.kind == 2 ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.kind == 2 ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = QtNameFilters(request.filter);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size()) {
        dialog.selectNameFilter(filters[request.filterIndex - 1]);
    }
    if (!request.folder.isEmpty()) {
        dialog.setDirectory(request.folder);
    }
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
    // Qt sizes the size and type columns for Latin text ("128.88 GB", "mp3Folder"); in the
    // window's face they cut "30.0 MiB" and "纯文本文档" short. They fit what they hold, and
    // the names take the width left, so that the dates still show.
    if (auto* files = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        files->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column : {1, 2}) {
            files->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

void CommonDialog::SetAction(int kind) {
    FileName = platform_.ShowFileDialog(
        parent_, {kind, DialogTitle, Filter, FilterIndex, FileName, InitDir});
}

namespace {

bool IsRegularFile(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

// Matches "*" (any run) and "?" (one character) only, as the file-exists test's search does.
bool WildcardMatch(QStringView pattern, QStringView name) {
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

bool FileExists(const QString& path) {
    // The system reads a name only up to a NUL, so such a text would find another file.
    if (path.isEmpty() || path.endsWith(u'/') || path.contains(QChar(u'\0'))) {
        return false;
    }
    if (IsRegularFile(path)) {
        return true;  // also a name that holds "*" or "?" literally
    }
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString pattern = path.mid(slash + 1);
    if (!pattern.contains(u'*') && !pattern.contains(u'?')) {
        return false;
    }
    const QString folder = slash < 0    ? QStringLiteral(".")
                           : slash == 0 ? QStringLiteral("/")
                                        : path.left(slash);
    const QDir dir(folder);
    const QStringView withoutDotStar =
        pattern.endsWith(u".*") ? QStringView(pattern).chopped(2) : QStringView();
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if ((WildcardMatch(pattern, name) ||
             (!withoutDotStar.isNull() && WildcardMatch(withoutDotStar, name))) &&
            IsRegularFile(dir.filePath(name))) {
            return true;
        }
    }
    return false;
}

bool IsFile(const QString& path) {
    return !path.isEmpty() && !path.contains(QChar(u'\0')) && IsRegularFile(path);
}

bool IsFolder(const QString& path) {
    return !path.isEmpty() && !path.contains(QChar(u'\0')) && QFileInfo(path).isDir();
}

QString FolderOf(const QString& path) {
    if (path.isEmpty() || path.contains(QChar(u'\0'))) {
        return {};
    }
    const QFileInfo info(path);
    if (info.isDir()) {
        return info.absoluteFilePath();
    }
    const QFileInfo folder(info.absolutePath());
    return folder.isDir() ? folder.absoluteFilePath() : QString();
}

QString TrimSpaces(const QString& text) {
    return QString::fromStdU16String(windowlogic::TrimSpaces(text.toStdU16String()));
}

bool IsBlank(const QString& text) {
    return windowlogic::IsBlank(text.toStdU16String());
}

namespace {

// Fusion marks the focus with a faint outline, and only once a key has moved it; this draws a
// dotted rectangle in the text's colour inside a push button that has the focus, and wherever
// a style asks for a focus rectangle, as Windows does.
class FocusStyle : public QProxyStyle {
  public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        QProxyStyle::drawControl(element, option, painter, widget);
        if (element == CE_PushButton && (option->state & State_HasFocus)) {
            Dotted(subElementRect(SE_PushButtonFocusRect, option, widget), *option, painter);
        }
    }
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element == PE_FrameFocusRect) {
            Dotted(option->rect, *option, painter);
        } else {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
        }
    }

  private:
    static void Dotted(const QRect& rect, const QStyleOption& option, QPainter* painter) {
        painter->save();
        painter->setPen(QPen(option.palette.color(QPalette::WindowText), 0, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

// Qt 6 asks for the file dialog's words for a folder, a drive and a file type in a context its
// Chinese translation lacks; the dialog's own context has them.
class FileTypeWords : public QTranslator {
  public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char*, int) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) {
            return {};
        }
        const QString word = QCoreApplication::translate("QFileDialog", source);
        return word == QLatin1String(source) ? QString() : word;
    }
};

}  // namespace

void SetUpApplication(QApplication& app) {
    QApplication::setStyle(new FocusStyle);
    app.installTranslator(new FileTypeWords(&app));
    QApplication::setApplicationName(QStringLiteral("korvel-splitter"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.korvel.Splitter"));
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_zh_CN", "qt_zh_CN"}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(QString::fromLatin1(name), folder)) {
            app.installTranslator(translator);
        } else {
            delete translator;
        }
    }
}

}  // namespace platform
