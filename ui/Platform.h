// SPDX-License-Identifier: GPL-3.0-or-later
// The window's one seam to the desktop: message boxes, file dialogs and the file-exists test.
// The window talks to a Platform; tests hand it one that answers from a script.
#pragma once

#include <QString>
#include <QStringList>

#include "Texts.h"

class QApplication;
class QWidget;

namespace platform {

// What a file dialog is asked to show.
struct FileDialogRequest {
    int kind = 1;  // 1 Open, 2 Save As
    QString title;
    QString filter;       // "description|pattern|description|pattern..."
    int filterIndex = 1;  // the entry selected when the dialog opens, counting from 1
    QString fileName;
    QString folder;  // where the dialog starts; empty: the dialog's own choice
};

class Platform {
  public:
    virtual ~Platform() = default;
    // Shows a modal box with a style of windowlogic::texts (buttons, icon, default button
    // added up); a carriage return in the prompt starts a new line. Returns vbOK, vbYes or vbNo;
    // closing a question without an answer is No.
    virtual int MsgBox(QWidget* parent, const QString& prompt, int style, const QString& title) = 0;
    // Shows a modal file dialog; returns the chosen full path, or an empty text on cancel.
    virtual QString ShowFileDialog(QWidget* parent, const FileDialogRequest& request) = 0;
};

// The real boxes and dialogs of Qt. A box's text wraps at the screen's edge, inside a long
// path too, without a character added to what the user copies out of it.
class DesktopPlatform : public Platform {
  public:
    int MsgBox(QWidget* parent, const QString& prompt, int style, const QString& title) override;
    QString ShowFileDialog(QWidget* parent, const FileDialogRequest& request) override;
};

// The common dialog the choosers share: set its properties, then SetAction shows it and
// leaves the chosen path (or an empty text) in FileName.
class CommonDialog {
  public:
    explicit CommonDialog(Platform& platform, QWidget* parent)
        : platform_(platform), parent_(parent) {}
    QString FileName;
    QString DialogTitle;
    QString Filter;
    int FilterIndex = 1;
    QString InitDir;  // the folder the dialog starts in
    void SetAction(int kind);

  private:
    Platform& platform_;
    QWidget* parent_;
};

// True when the path names a regular file (a symbolic link counts by its target). "*" and "?"
// in the last path element match as wildcards, and "*.*" also matches names without a dot;
// a file whose name holds them literally matches itself. A text holding NUL names no file.
bool FileExists(const QString& path);

// True when the path names a regular file by that very name ("*" and "?" are no wildcards; a
// symbolic link counts by its target). A text holding NUL names no file.
bool IsFile(const QString& path);

// True when the path names a folder (a symbolic link counts by its target).
bool IsFolder(const QString& path);
// The folder a path names, or the one it lies in, when that folder exists; empty otherwise.
QString FolderOf(const QString& path);

// True when nothing is left of the text once its leading and trailing spaces are removed.
bool IsBlank(const QString& text);
// The text without its leading and trailing spaces (U+0020 only).
QString TrimSpaces(const QString& text);

// Names the program for the desktop (so the taskbar finds its entry and icon), installs Qt's
// own Simplified Chinese texts for the buttons of boxes and dialogs, and a style that draws a
// clear focus rectangle on every control.
void SetUpApplication(QApplication& app);

// Qt name filters for a "description|pattern|..." filter; each shows as its description.
QStringList QtNameFilters(const QString& filter);

}  // namespace platform
