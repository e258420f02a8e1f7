// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeWindow.h"

#include <filesystem>
#include <thread>

#include "Layout.h"
#include "Texts.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using windowlogic::Kind;
using windowlogic::Layout;
using windowlogic::LayoutOf;

namespace fakes {

FakeView::FakeView() {
    for (const windowlogic::ControlLayout& entry : Layout()) {
        visible[entry.id] = entry.kind != Kind::Panel || entry.id == windowlogic::kStartPanel;
        if (entry.kind == Kind::TextBox || entry.kind == Kind::ComboBox ||
            entry.kind == Kind::StatusLine) {
            texts[entry.id] = entry.caption;
        }
    }
}

std::u16string FakeView::Text(Control control) const {
    const auto found = texts.find(control);
    return found == texts.end() ? std::u16string() : found->second;
}

void FakeView::SetText(Control control, const std::u16string& text) {
    texts[control] = text;
    selection[control] = {};
}

void FakeView::AddItem(Control list, const std::u16string& item) {
    EXPECT_EQ(list, Control::Combo1);
    items.push_back(item);
}

void FakeView::SetSelection(Control field, int start, int length) {
    selection[field] = {start, length};
}

bool FakeView::Enabled(Control control) const {
    const auto found = enabled.find(control);
    const bool own = found == enabled.end() || found->second;
    const Control panel = LayoutOf(control).panel;
    return own && (panel == Control::None || Enabled(panel));
}

bool FakeView::Shows(Control control) const {
    const Control panel = LayoutOf(control).panel;
    return visible.at(control) && (panel == Control::None || visible.at(panel));
}

void FakeView::SetFocus(Control control) {
    // A window cannot give the focus to a control that is hidden or takes no input.
    EXPECT_TRUE(Shows(control) && Enabled(control) && TakesFocus(LayoutOf(control).kind))
        << "focus to " << LayoutOf(control).name;
    focus = control;
    log.push_back("focus " + std::string(LayoutOf(control).name));
    if (events) {
        events->GotFocus(control);
    }
}

void FakeView::SetVisible(Control control, bool shown) {
    visible[control] = shown;
    log.push_back((shown ? "show " : "hide ") + std::string(LayoutOf(control).name));
}

int FakePlatform::MsgBox(const std::u16string& prompt, int style, const std::u16string& title) {
    const ShownBox box{prompt, style, title, view ? view->Text(Control::Text1) : u""};
    boxes.push_back(box);
    if (view) {
        view->focus = Control::None;  // the box has it, and the window gets it back from no one
    }
    if (whileOpen) {
        whileOpen(box);
    }
    if ((style & 7) != windowlogic::texts::vbYesNo) {
        return windowlogic::texts::vbOK;
    }
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << Utf8(prompt);
        return windowlogic::texts::vbNo;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

std::u16string FakePlatform::ShowFileDialog(const windowlogic::FileDialogRequest& request) {
    dialogs.push_back(request);
    if (dialogAnswers.empty()) {
        ADD_FAILURE() << "unexpected file dialog: " << Utf8(request.title);
        return {};
    }
    std::u16string answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    return answer;
}

namespace {

// The path as the system would take it, or nothing for a text holding NUL.
std::optional<fs::path> SystemPath(const std::u16string& path) {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) {
        return std::nullopt;
    }
    return fs::path(Utf8(path));
}

// A name against a pattern of "*" (any run of characters) and "?" (any one character).
bool Matches(std::u16string_view pattern, std::u16string_view name) {
    if (pattern.empty()) {
        return name.empty();
    }
    if (pattern.front() == u'*') {
        for (std::size_t skip = 0; skip <= name.size(); ++skip) {
            if (Matches(pattern.substr(1), name.substr(skip))) {
                return true;
            }
        }
        return false;
    }
    return !name.empty() && (pattern.front() == u'?' || pattern.front() == name.front()) &&
           Matches(pattern.substr(1), name.substr(1));
}

}  // namespace

// As the real test does: "*" and "?" in the last element match any plain file's name.
bool FakePlatform::FileExists(const std::u16string& path) {
    const auto system = SystemPath(path);
    if (!system) {
        return false;
    }
    std::error_code error;
    const std::u16string last = system->filename().u16string();
    if (last.find_first_of(u"*?") == std::u16string::npos) {
        return fs::is_regular_file(*system, error);
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(system->parent_path(), error)) {
        if (entry.is_regular_file(error) && Matches(last, entry.path().filename().u16string())) {
            return true;
        }
    }
    return false;
}

bool FakePlatform::IsFile(const std::u16string& path) {
    const auto system = SystemPath(path);
    std::error_code error;
    return system && fs::is_regular_file(*system, error);
}

bool FakePlatform::IsFolder(const std::u16string& path) {
    const auto system = SystemPath(path);
    std::error_code error;
    return system && fs::is_directory(*system, error);
}

std::u16string FakePlatform::FolderOf(const std::u16string& path) {
    const auto system = SystemPath(path);
    std::error_code error;
    if (!system) {
        return {};
    }
    if (fs::is_directory(*system, error)) {
        return path;
    }
    const fs::path parent = system->parent_path();
    return !parent.empty() && fs::is_directory(parent, error) ? testing_files::U16(parent)
                                                              : std::u16string();
}

void FakePlatform::Post(windowlogic::LifetimeToken owner, std::function<void()> call) {
    const std::lock_guard lock(mutex_);
    posted_.push_back({std::move(owner), std::move(call)});
    ++posts;
}

void FakePlatform::RunPosted() {
    for (;;) {
        Posted next;
        {
            const std::lock_guard lock(mutex_);
            if (posted_.empty()) {
                return;
            }
            next = std::move(posted_.front());
            posted_.pop_front();
        }
        if (next.owner.expired()) {
            ++dropped;
        } else {
            next.call();
        }
    }
}

bool FakePlatform::RunPostedUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 10000; ++i) {
        RunPosted();
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

windowlogic::Engine HeldEngine::Engine() {
    return {[this](const std::u16string& source, std::int32_t pieceSize,
                   const Module1::Progress& progress, std::stop_token stop) {
                {
                    const std::lock_guard lock(mutex_);
                    ++calls;
                    this->source = source;
                    this->pieceSize = pieceSize;
                }
                if (!Hold(progress, stop)) {
                    return windowlogic::Outcome{false, u"已停止"};
                }
                const std::lock_guard lock(mutex_);
                return windowlogic::Outcome{ok_, message_};
            },
            [this](const std::u16string& list, const std::u16string& output,
                   const Module1::Progress& progress, std::stop_token stop) {
                {
                    const std::lock_guard lock(mutex_);
                    ++calls;
                    this->list = list;
                    this->output = output;
                }
                if (!Hold(progress, stop)) {
                    return windowlogic::Outcome{false, u"已停止"};
                }
                const std::lock_guard lock(mutex_);
                return windowlogic::Outcome{ok_, ok_ ? std::u16string() : message_};
            }};
}

bool HeldEngine::Hold(const Module1::Progress& progress, std::stop_token stop) {
    progress(1, 4);
    std::unique_lock lock(mutex_);
    started_ = true;
    changed_.notify_all();
    if (!changed_.wait(lock, stop, [this] { return released; })) {
        sawStop = true;
        return false;
    }
    return true;
}

void HeldEngine::Release(bool ok, std::u16string message) {
    const std::lock_guard lock(mutex_);
    released = true;
    ok_ = ok;
    message_ = std::move(message);
    changed_.notify_all();
}

bool HeldEngine::WaitUntilStarted() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [this] { return started_; });
}

}  // namespace fakes

void LogicTest::SetUp() {
    platform.view = &view;
}

void LogicTest::Start(windowlogic::Engine engine) {
    logic = std::make_unique<windowlogic::WindowLogic>(view, platform, std::move(engine));
    view.events = logic.get();
    logic->Load();
}

void LogicTest::TearDown() {
    for (const fakes::ShownBox& box : platform.boxes) {
        ADD_FAILURE() << "box not checked by the test: " << Utf8(box.prompt);
    }
    EXPECT_TRUE(platform.answers.empty()) << "scripted answers left over";
    EXPECT_TRUE(platform.dialogAnswers.empty()) << "scripted dialog answers left over";
    view.events = nullptr;
    logic.reset();
}

fakes::ShownBox LogicTest::TakeBox() {
    if (platform.boxes.empty()) {
        ADD_FAILURE() << "no box was shown";
        return {};
    }
    fakes::ShownBox box = platform.boxes.front();
    platform.boxes.erase(platform.boxes.begin());
    return box;
}

void LogicTest::ExpectBox(std::u16string_view prompt, int style, std::u16string_view title) {
    const fakes::ShownBox box = TakeBox();
    EXPECT_EQ(Utf8(box.prompt), Utf8(prompt));
    EXPECT_EQ(box.style, style);
    EXPECT_EQ(Utf8(box.title), Utf8(title));
}

void LogicTest::Type(Control field, const std::u16string& text) {
    view.texts[field] = text;
}
