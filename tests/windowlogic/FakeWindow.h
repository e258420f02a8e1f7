// SPDX-License-Identifier: GPL-3.0-or-later
// A window without a toolkit for the logic's tests: a view that keeps each control's state in
// memory, a platform that answers boxes and dialogs from a script and queues posted calls until
// the test runs them (the test's thread plays the window's thread), and an engine that the test
// holds and releases. Files are real, in a temporary folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "WindowLogic.h"
#include "WindowTestHelpers.h"

namespace fakes {

using windowlogic::Control;

class FakeView : public windowlogic::View {
  public:
    FakeView();

    std::u16string Text(Control control) const override;
    void SetText(Control control, const std::u16string& text) override;
    void AddItem(Control list, const std::u16string& item) override;
    void SetSelection(Control field, int start, int length) override;
    void SetFocus(Control control) override;
    Control Focused() const override { return focus; }
    void SetVisible(Control control, bool visible) override;
    void SetChecked(Control mode) override { checked = mode; }
    void SetEnabled(Control control, bool enabled) override { this->enabled[control] = enabled; }
    void SetBusyCursor(bool busy) override { busyCursor = busy; }
    void SetProgress(double fraction) override { progress.push_back(fraction); }
    void Close() override { closed = true; }

    // True when the control and the panel holding it show and take input.
    bool Shows(Control control) const;
    bool Enabled(Control control) const;

    windowlogic::Events* events = nullptr;  // told of focus moves, as a window would
    std::map<Control, std::u16string> texts;
    std::map<Control, bool> visible;
    std::map<Control, bool> enabled;
    std::vector<std::u16string> items;
    struct Selection {
        int start = 0;
        int length = 0;
    };
    std::map<Control, Selection> selection;
    Control focus = Control::Option1;
    Control checked = Control::Option1;
    bool busyCursor = false;
    bool closed = false;
    std::vector<double> progress;
    std::vector<std::string> log;  // "show Frame2", "hide Frame1", "focus Combo1", ...
};

struct ShownBox {
    std::u16string prompt;
    int style = 0;
    std::u16string title;
    std::u16string status;  // the status line's text while the box was open
};

class FakePlatform : public windowlogic::PlatformSeam {
  public:
    int MsgBox(const std::u16string& prompt, int style, const std::u16string& title) override;
    std::u16string ShowFileDialog(const windowlogic::FileDialogRequest& request) override;
    bool FileExists(const std::u16string& path) override;
    bool IsFile(const std::u16string& path) override;
    bool IsFolder(const std::u16string& path) override;
    std::u16string FolderOf(const std::u16string& path) override;
    void Post(windowlogic::LifetimeToken owner, std::function<void()> call) override;

    // Runs the calls posted so far, and those they post, on this thread; a call whose owner
    // has gone is dropped.
    void RunPosted();
    // Runs posted calls until done() holds; false after ten seconds.
    bool RunPostedUntil(const std::function<bool()>& done);

    FakeView* view = nullptr;
    std::deque<int> answers;  // for questions, in order
    // Runs while a box is open, as the window's thread goes on with posted calls meanwhile.
    std::function<void(const ShownBox&)> whileOpen;
    std::vector<ShownBox> boxes;
    std::deque<std::u16string> dialogAnswers;  // paths, or empty for cancel
    std::vector<windowlogic::FileDialogRequest> dialogs;
    std::atomic<int> posts{0};  // calls posted so far
    int dropped = 0;            // calls whose owner had gone when their turn came

  private:
    struct Posted {
        windowlogic::LifetimeToken owner;
        std::function<void()> call;
    };
    std::mutex mutex_;
    std::deque<Posted> posted_;
};

// Split and merge calls that wait until the test releases them or the logic asks them to stop.
class HeldEngine {
  public:
    windowlogic::Engine Engine();

    // Lets a held call return with this result (split) or failure text (thrown by the merge).
    void Release(bool ok = true, std::u16string message = {});
    // Waits until a call has started; false after ten seconds.
    bool WaitUntilStarted();

    int calls = 0;  // read after the calls are over
    std::u16string source, list, output;
    std::int32_t pieceSize = 0;
    bool sawStop = false;
    bool released = false;

  private:
    bool Hold(const Module1::Progress& progress, std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any changed_;
    bool started_ = false;
    bool ok_ = true;
    std::u16string message_;
};

}  // namespace fakes

using windowlogic::Control;

// The logic on a fake window; Start() creates it, so a test can script the engine first.
class LogicTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Creates the logic with the given engine and loads the window.
    void Start(windowlogic::Engine engine = windowlogic::Engine::Real());

    // The one box shown since the last check, forgotten once checked.
    fakes::ShownBox TakeBox();
    void ExpectBox(std::u16string_view prompt, int style, std::u16string_view title);
    void ExpectNoBox() { EXPECT_TRUE(platform.boxes.empty()); }
    // A field's text as the user would type it, the focus moved there first.
    void Type(Control field, const std::u16string& text);
    std::u16string Path(const std::string& name) const { return testing_files::U16(dir / name); }

    testing_files::TempDir dir;
    fakes::FakeView view;
    fakes::FakePlatform platform;
    std::unique_ptr<windowlogic::WindowLogic> logic;
};

using window_tests::Utf8;
