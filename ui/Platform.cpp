// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform.h"

#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

namespace platform {

int DesktopPlatform::MsgBox(QWidget* parent, const QString& prompt, int style,
                            const QString& title) {
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(QString(prompt).replace(QChar(u'\r'), QChar(u'\n')));
    box.setTextFormat(Qt::PlainText);
    if (style == vbYesNoQuestion) {
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? vbYes : vbNo;
    }
    box.setIcon(style == vbCritical ? QMessageBox::Critical : QMessageBox::Warning);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return vbOK;
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
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

void CommonDialog::SetAction(int kind) {
    FileName =
        platform_.ShowFileDialog(parent_, {kind, DialogTitle, Filter, FilterIndex, FileName});
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

QString TrimSpaces(const QString& text) {
    qsizetype start = 0, end = text.size();
    while (start < end && text[start] == u' ') {
        ++start;
    }
    while (end > start && text[end - 1] == u' ') {
        --end;
    }
    return text.mid(start, end - start);
}

bool IsBlank(const QString& text) {
    return TrimSpaces(text).isEmpty();
}

void SetUpApplication(QApplication& app) {
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
