// SPDX-License-Identifier: GPL-3.0-or-later
// What the logic asks of the desktop: modal message boxes and file dialogs, three questions
// about the file system, and running a function on the window's thread. A window implements
// it over its toolkit and system; tests answer it from a script.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace windowlogic {

// A weak token of what posted a call; the call runs only while its owner lives.
using LifetimeToken = std::weak_ptr<const void>;

// Held by an object that posts calls to the window's thread, and gone with it: every token it
// gave expires then.
class Lifetime {
  public:
    Lifetime() = default;
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;
    LifetimeToken Token() const { return alive_; }

  private:
    std::shared_ptr<const char> alive_ = std::make_shared<const char>();
};

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
    // True when the path names a plain file by that very name: "*" and "?" match nothing but
    // themselves, for a name on the command line is no pattern.
    virtual bool IsFile(const std::u16string& path) = 0;
    virtual bool IsFolder(const std::u16string& path) = 0;
    // The folder a path names or lies in, when that folder exists; empty otherwise.
    virtual std::u16string FolderOf(const std::u16string& path) = 0;

    // Runs call on the window's thread once it is free, in the order posted, unless owner has
    // expired by then: a call whose owner is gone never runs. Safe to call from any thread. An
    // owner goes on the window's thread only, so a call that starts keeps its owner to the end.
    virtual void Post(LifetimeToken owner, std::function<void()> call) = 0;
};

}  // namespace windowlogic
