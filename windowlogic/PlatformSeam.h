// SPDX-License-Identifier: GPL-3.0-or-later
// What the logic asks of the desktop: modal message boxes and file dialogs, three questions
// about the file system, and running a function on the window's thread. A window implements
// it over its toolkit and system; tests answer it from a script.
#pragma once

#include <functional>
#include <string>

namespace windowlogic {

struct FileDialogRequest {
    int kind = 1;  // 1 Open, 2 Save As
    std::u16string title;
    std::u16string filter;  // "description|pattern|description|pattern..."
    int filterIndex = 1;    // the entry selected when the dialog opens, counting from 1
    std::u16string fileName;
    std::u16string folder;  // where the dialog starts; empty: wherever the desktop likes
};

class PlatformSeam {
  public:
    virtual ~PlatformSeam() = default;

    // Shows a modal box and returns the button pressed (texts::vbOK, vbYes or vbNo). A carriage
    // return in the prompt starts a new line. While it is open the window's thread goes on
    // running posted functions.
    virtual int MsgBox(const std::u16string& prompt, int style, const std::u16string& title) = 0;
    // Shows a modal file dialog; returns the chosen full path, or an empty text on cancel.
    virtual std::u16string ShowFileDialog(const FileDialogRequest& request) = 0;

    // The file-exists test: a plain file (or a pattern of "*" and "?" in the last element
    // matching one).
    virtual bool FileExists(const std::u16string& path) = 0;
    virtual bool IsFolder(const std::u16string& path) = 0;
    // The folder a path names or lies in, when that folder exists; empty otherwise.
    virtual std::u16string FolderOf(const std::u16string& path) = 0;

    // Runs call on the window's thread once it is free, in the order posted. Safe to call from
    // any thread.
    virtual void Post(std::function<void()> call) = 0;
};

}  // namespace windowlogic
