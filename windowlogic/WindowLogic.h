// SPDX-License-Identifier: GPL-3.0-or-later
// The window's logic: every decision the window makes, with no toolkit.
//
//   window events -> Events (this logic) -> View (controls) and PlatformSeam (boxes, dialogs,
//   files, posting) ; split and merge -> engine on a worker thread -> posted back -> outcome box
//
// A window hands each event of its controls to one call here and draws what the View is told.
// A split or merge runs on a thread of the logic's own: the command starts it and returns at
// once; progress and the outcome come back through PlatformSeam::Post. While it runs, the close
// request is the only thing the logic takes; it asks whether to stop, and on Yes stops the
// engine and lets the window close.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "Controls.h"
#include "Module1.h"
#include "PlatformSeam.h"
#include "View.h"

namespace windowlogic {

// The keys the logic acts on before a control types anything.
enum class Key {
    Up,
    Down,
    F4,     // opens the focused path field's file chooser
    CtrlO,  // the same
};

// Every event a window hands to its logic.
class Events {
  public:
    virtual ~Events() = default;

    // The window is being created, before it is first shown (Form_Load).
    virtual void Load() = 0;
    // A mode button, push button or link was clicked (or pressed with its access key).
    virtual void Click(Control control) = 0;
    // A field received the focus, however it came.
    virtual void GotFocus(Control field) = 0;
    // A character was typed in a field, 13 for Enter; setting keyAscii to 0 discards it.
    virtual void KeyPress(Control field, std::int16_t& keyAscii) = 0;
    // A key went down on a control; true when the logic used it up.
    virtual bool KeyDown(Control control, Key key) = 0;
    // Alt with a character key, without Ctrl or AltGr: presses the button whose access key it
    // is while that button shows and takes input. Such a key never types: a window uses it up
    // whatever it pressed.
    virtual void AccessKey(char16_t key) = 0;
    // The window system or the user asks the window to close; true when it may close now.
    virtual bool CloseRequest() = 0;
    // Whether a file dragged over the window would be taken if dropped there.
    virtual bool CanDrop(const std::u16string& path) = 0;
    virtual void DropFile(const std::u16string& path) = 0;
    // The file named on the command line, after Load and before the window shows.
    virtual void OpenFile(const std::u16string& path) = 0;
    // The file named with --split (as the file manager's "split" action passes it): the split
    // panel, filled in, whatever the file is.
    virtual void OpenFileToSplit(const std::u16string& path) = 0;
    // The system asks the program to end (a termination signal, the end of the session): a
    // running split or merge stops without a question, and the window closes.
    virtual void Terminate() = 0;
    // True from the start of a split or merge until its outcome has been shown.
    virtual bool Busy() const = 0;
};

// What a split or merge came to: done, with anything the outcome adds (that nothing could
// check the pieces of a numbered set, say), or failed, with why.
struct Outcome {
    bool ok = false;
    std::u16string message;
};

// The engine's two long operations, as the commands call them, in one form. Real() calls
// Module1.
struct Engine {
    std::function<Outcome(const std::u16string& source, std::int32_t pieceSize,
                          const Module1::Progress&, std::stop_token)>
        split;
    // from: a list file, a piece of a set, or a file of a numbered set (see Module1::MergeSet).
    std::function<Outcome(const std::u16string& from, const std::u16string& output,
                          const Module1::Progress&, std::stop_token)>
        merge;

    static Engine Real();
};

class WindowLogic final : public Events {
  public:
    WindowLogic(View& view, PlatformSeam& platform, Engine engine = Engine::Real());
    // A split or merge still running is asked to stop, and waited for.
    ~WindowLogic() override;
    WindowLogic(const WindowLogic&) = delete;
    WindowLogic& operator=(const WindowLogic&) = delete;

    void Load() override;
    void Click(Control control) override;
    void GotFocus(Control field) override;
    void KeyPress(Control field, std::int16_t& keyAscii) override;
    bool KeyDown(Control control, Key key) override;
    void AccessKey(char16_t key) override;
    bool CloseRequest() override;
    bool CanDrop(const std::u16string& path) override;
    void DropFile(const std::u16string& path) override;
    void OpenFile(const std::u16string& path) override;
    void OpenFileToSplit(const std::u16string& path) override;
    void Terminate() override;
    bool Busy() const override { return job_ != Job::None; }

  private:
    enum class Job { None, Split, Merge };
    using Work = std::function<Outcome(std::stop_token, const Module1::Progress&)>;

    void ShowPanel(Control panel);
    void MoveFocusOnEnter(std::int16_t& keyAscii, Control next);
    // Shows a box; once it has closed, the focus goes to focusAfter (a field then selects its
    // whole text), or else back to the control that had it before: a box takes the focus away,
    // and a window need not give it back by the time the box returns.
    int Box(std::u16string_view prompt, int style, std::u16string_view title,
            Control focusAfter = Control::None);
    void SplitCommand();
    void MergeCommand();
    void Choose(Control link);
    std::optional<std::u16string> AskForFile(int kind, std::u16string_view title,
                                             std::u16string_view filter, Control field);
    void FillListFile(const std::u16string& path);
    void Route(const std::u16string& path);
    void FocusAfterDrop();

    void Start(Job job, Work work);
    void Finished(Outcome outcome);
    void ConcludePending();
    void Conclude(const Outcome& outcome);
    void SetPanelsEnabled(bool enabled);

    View& view_;
    PlatformSeam& platform_;
    Engine engine_;
    Control panel_;
    std::u16string lastFolder_;  // of the last file chosen in a dialog
    Job job_ = Job::None;
    bool running_ = false;  // the worker has not reported yet
    bool asking_ = false;   // the close question is open
    bool closing_ = false;  // the window closes: the work was asked to stop
    int openBoxes_ = 0;
    std::optional<Outcome> pending_;  // an outcome that came while a box was open
    Control focusBeforeRun_ = Control::None;
    std::atomic<int> shownPermille_{-1};
    // Every call the logic posts carries its token: one that comes after the logic has gone
    // finds no logic to run on and is dropped.
    Lifetime lifetime_;
    // Last, so that it is stopped and joined before anything it uses goes away.
    std::jthread worker_;
};

}  // namespace windowlogic
