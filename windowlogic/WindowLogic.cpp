// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowLogic.h"

#include <algorithm>
#include <array>
#include <exception>
#include <utility>

#include "Input.h"
#include "Layout.h"
#include "Texts.h"

namespace windowlogic {

using namespace texts;
using enum Control;

namespace {

// Whether control lies on a panel other than the one shown.
bool OnHiddenPanel(Control control, Control shown) {
    const std::span<const ControlLayout> layout = Layout();
    const auto entry = std::find_if(layout.begin(), layout.end(),
                                    [control](const ControlLayout& e) { return e.id == control; });
    return entry != layout.end() && entry->panel != None && entry->panel != shown;
}

// What a run takes away from the user: everything but the close button and the status line.
constexpr std::array<Control, 6> kInputWhileIdle = {Option1, Option2, Option3,
                                                    Frame1,  Frame2,  Frame4};

}  // namespace

Engine Engine::Real() {
    return {[](const std::u16string& source, std::int32_t pieceSize,
               const Module1::Progress& progress, std::stop_token stop) {
                Outcome outcome;
                outcome.ok =
                    Module1::SplitFile(source, 0, outcome.message, pieceSize, progress, stop);
                return outcome;
            },
            [](const std::u16string& from, const std::u16string& output,
               const Module1::Progress& progress, std::stop_token stop) {
                try {
                    return Outcome{
                        true, Module1::ReportText(Module1::MergeSet(from, output, progress, stop))};
                } catch (...) {
                    return Outcome{false, Module1::FailureText(std::current_exception())};
                }
            }};
}

WindowLogic::WindowLogic(View& view, PlatformSeam& platform, Engine engine)
    : view_(view), platform_(platform), engine_(std::move(engine)), panel_(kStartPanel) {}

WindowLogic::~WindowLogic() = default;

void WindowLogic::Load() {
    for (std::u16string_view size : kPieceSizes) {
        view_.AddItem(Combo1, std::u16string(size));
    }
    view_.SetText(Text1, std::u16string(kIdle));
}

void WindowLogic::Click(Control control) {
    if (control == Command1) {
        if (CloseRequest()) {
            view_.Close();
        }
        return;
    }
    if (Busy()) {
        return;  // only the close request is live while a split or merge runs
    }
    if (OnHiddenPanel(control, panel_)) {
        return;  // however it is pressed: a key, a screen reader's action
    }
    for (const PanelMode& each : kPanels) {
        if (control == each.mode) {
            ShowPanel(each.panel);
            return;
        }
    }
    switch (control) {
        case cmdSplit: SplitCommand(); break;
        case cmdUnsplit: MergeCommand(); break;
        case Label4:
        case Label3:
        case Label5: Choose(control); break;
        default: break;
    }
}

// The panel shows first, then the other two hide, and its mode button is the selected one.
void WindowLogic::ShowPanel(Control panel) {
    view_.SetVisible(panel, true);
    for (const PanelMode& each : kPanels) {
        if (each.panel != panel) {
            view_.SetVisible(each.panel, false);
        }
    }
    for (const PanelMode& each : kPanels) {
        if (each.panel == panel) {
            view_.SetChecked(each.mode);
        }
    }
    panel_ = panel;
}

void WindowLogic::GotFocus(Control field) {
    if (IsField(field)) {
        view_.SetSelection(field, 0, static_cast<int>(view_.Text(field).size()));
    }
}

void WindowLogic::MoveFocusOnEnter(std::int16_t& keyAscii, Control next) {
    if (keyAscii == 13) {
        keyAscii = 0;  // nothing is typed and nothing beeps
        view_.SetFocus(next);
    }
}

void WindowLogic::KeyPress(Control field, std::int16_t& keyAscii) {
    if (Busy()) {
        keyAscii = 0;
        return;
    }
    switch (field) {
        case txtFileName: MoveFocusOnEnter(keyAscii, Combo1); break;
        case Combo1: MoveFocusOnEnter(keyAscii, cmdSplit); break;
        case txtTemplateName: MoveFocusOnEnter(keyAscii, txtOutputFile); break;
        case txtOutputFile: MoveFocusOnEnter(keyAscii, cmdUnsplit); break;
        default: break;
    }
}

bool WindowLogic::KeyDown(Control control, Key key) {
    if (key == Key::Up || key == Key::Down) {
        // Up and Down step along the mode buttons as Left and Right do; at either end nothing
        // happens.
        const auto mode =
            std::find_if(kPanels.begin(), kPanels.end(),
                         [control](const PanelMode& each) { return each.mode == control; });
        if (mode == kPanels.end()) {
            return false;
        }
        const auto next = mode + (key == Key::Down ? 1 : -1);
        if (!Busy() && next >= kPanels.begin() && next < kPanels.end()) {
            ShowPanel(next->panel);
            view_.SetFocus(next->mode);
        }
        return true;
    }
    // Ctrl+O and F4 in a path field open its file chooser, as its link does.
    const Control link = control == txtFileName       ? Label4
                         : control == txtTemplateName ? Label3
                         : control == txtOutputFile   ? Label5
                                                      : None;
    if (link == None) {
        return false;
    }
    Click(link);
    return true;
}

void WindowLogic::AccessKey(char16_t key) {
    if (key >= u'a' && key <= u'z') {
        key = static_cast<char16_t>(key - u'a' + u'A');
    }
    for (const ControlLayout& entry : Layout()) {
        if (entry.kind == Kind::Button && AccessKeyOf(entry.caption) == key &&
            !OnHiddenPanel(entry.id, panel_)) {  // one key may serve two panels
            Click(entry.id);  // while a run is under way, only the close button is live
            return;
        }
    }
}

int WindowLogic::Box(std::u16string_view prompt, int style, std::u16string_view title,
                     Control focusAfter) {
    const Control before = view_.Focused();
    ++openBoxes_;
    int answer = vbOK;
    try {
        answer = platform_.MsgBox(std::u16string(prompt), style, std::u16string(title));
    } catch (...) {
        --openBoxes_;
        throw;
    }
    --openBoxes_;
    if (openBoxes_ == 0 && pending_) {
        // An outcome came while the box was open; it is shown once this event is over.
        platform_.Post(lifetime_.Token(), [this] { ConcludePending(); });
    }
    if (const Control next = focusAfter != None ? focusAfter : before; next != None && !closing_) {
        view_.SetFocus(next);
    }
    return answer;
}

void WindowLogic::SplitCommand() {
    if (IsBlank(view_.Text(Combo1))) {
        Box(kNoSize, vbCritical, kSplitFailedTitle, Combo1);
        return;
    }
    if (IsBlank(view_.Text(txtFileName))) {
        Box(kNoFile, vbCritical, kSplitFailedTitle, txtFileName);
        return;
    }
    if (!platform_.FileExists(TrimSpaces(view_.Text(txtFileName)))) {
        Box(kFileMissing, vbCritical, kSplitFailedTitle, txtFileName);
        return;
    }

    view_.SetText(Text1, std::u16string(kSplitting));
    // The test above trims; the split gets the path as typed.
    const std::u16string source = view_.Text(txtFileName);
    const std::optional<std::int32_t> megabytes = PieceSizeMegabytes(view_.Text(Combo1));
    if (!megabytes) {
        Box(kBadSize, vbCritical, kSplitFailedTitle, Combo1);
        view_.SetText(Text1, std::u16string(kIdle));
        return;
    }
    const std::int32_t pieceSize = *megabytes * 1024 * 1024;
    Start(Job::Split, [split = engine_.split, source, pieceSize](
                          std::stop_token stop, const Module1::Progress& progress) {
        return split(source, pieceSize, progress, stop);
    });
}

void WindowLogic::MergeCommand() {
    if (IsBlank(view_.Text(txtTemplateName))) {
        Box(kNoList, vbCritical, kMergeFailedTitle, txtTemplateName);
        return;
    }
    if (!platform_.FileExists(view_.Text(txtTemplateName))) {
        Box(kListMissing, vbCritical, kMergeFailedTitle, txtTemplateName);
        return;
    }
    if (IsBlank(view_.Text(txtOutputFile))) {
        Box(kNoOutput, vbCritical, kMergeFailedTitle, txtOutputFile);
        return;
    }
    // A merge must never write over its own input; a pattern names no one file, and the
    // system would read a name holding NUL only up to it, as another file's name. Names only:
    // whether a link or another spelling reaches the set, the engine finds on its own thread.
    const std::u16string output = view_.Text(txtOutputFile);
    if (output.find_first_of(std::u16string_view(u"*?\0", 3)) != std::u16string::npos ||
        NamesFileOfSetByName(view_.Text(txtTemplateName), output)) {
        Box(kOutputInSet, vbCritical, kMergeFailedTitle, txtOutputFile);
        return;
    }
    // On Yes the old file stays until the merged one is complete: the merge replaces it then.
    if (platform_.FileExists(view_.Text(txtOutputFile)) &&
        Box(kOverwrite, vbYesNoQuestion, kNoticeTitle) != vbYes) {
        view_.SetFocus(txtOutputFile);
        return;
    }

    view_.SetText(Text1, std::u16string(kMerging));
    const std::u16string list = view_.Text(txtTemplateName);
    Start(Job::Merge, [merge = engine_.merge, list, output = view_.Text(txtOutputFile)](
                          std::stop_token stop, const Module1::Progress& progress) {
        return merge(list, output, progress, stop);
    });
}

std::optional<std::u16string> WindowLogic::AskForFile(int kind, std::u16string_view title,
                                                      std::u16string_view filter, Control field) {
    FileDialogRequest request;
    request.kind = kind;
    request.title = title;
    request.filter = filter;
    request.filterIndex = 1;
    // Nothing of an earlier choice is offered; the dialog starts in the folder of the path in
    // the field, else in the folder of the last file chosen.
    request.folder = platform_.FolderOf(TrimSpaces(view_.Text(field)));
    if (request.folder.empty()) {
        request.folder = lastFolder_;
    }
    std::u16string chosen = platform_.ShowFileDialog(request);
    if (chosen.empty()) {
        return std::nullopt;  // cancelled: no field changes
    }
    if (std::u16string folder = platform_.FolderOf(chosen); !folder.empty()) {
        lastFolder_ = std::move(folder);
    }
    return chosen;
}

void WindowLogic::Choose(Control link) {
    if (link == Label4) {
        if (auto chosen = AskForFile(1, kSourceChooserTitle, kAllFiles, txtFileName)) {
            view_.SetText(txtFileName, *chosen);
        }
    } else if (link == Label3) {
        if (auto chosen = AskForFile(1, kListChooserTitle, kListFilter, txtTemplateName)) {
            FillListFile(*chosen);
        }
    } else if (link == Label5) {
        if (auto chosen = AskForFile(2, kOutputChooserTitle, kAllFiles, txtOutputFile)) {
            view_.SetText(txtOutputFile, *chosen);
        }
    }
}

// The list file's field, and the output proposed from what the field then holds.
void WindowLogic::FillListFile(const std::u16string& path) {
    view_.SetText(txtTemplateName, path);
    view_.SetText(txtOutputFile, OutputForList(view_.Text(txtTemplateName)));
}

// What leads a merge goes to the merge panel with the output proposed: a list file, a piece
// of a set (through its list file where that is there), and the first file of another
// splitter's numbered set; any other file to the open panel's first field, as that panel's
// chooser would fill it.
void WindowLogic::Route(const std::u16string& path) {
    const Module1::SetFile set = Module1::WhatSetFileIs(path);
    const bool merges = set.kind == Module1::SetFileKind::NumberedFile
                            ? IsFirstOfANumberedSet(path)
                            : set.kind != Module1::SetFileKind::None;
    if (merges) {
        if (panel_ != Frame2) {
            ShowPanel(Frame2);
        }
        view_.SetText(txtTemplateName, set.mergeFrom);
        view_.SetText(txtOutputFile, set.output);
    } else if (panel_ == Frame2) {
        FillListFile(path);
    } else {
        view_.SetText(txtFileName, path);
    }
}

bool WindowLogic::CanDrop(const std::u16string& path) {
    return !Busy() && panel_ != Frame4 && !path.empty() && !platform_.IsFolder(path);
}

void WindowLogic::DropFile(const std::u16string& path) {
    if (CanDrop(path)) {
        Route(path);
        FocusAfterDrop();
    }
}

// The mode button the user last pressed may no longer be the selected one, and Space on it
// would switch back: the focus goes where the next step is, the first empty field of the
// panel shown, else its command button.
void WindowLogic::FocusAfterDrop() {
    for (Control stop : TabOrder()) {
        const ControlLayout& entry = LayoutOf(stop);
        if (entry.panel == panel_ &&
            (entry.kind == Kind::Button || (IsField(stop) && view_.Text(stop).empty()))) {
            view_.SetFocus(stop);
            return;
        }
    }
}

void WindowLogic::OpenFile(const std::u16string& path) {
    // A name that names no file, or a pattern such as *.FLF, leaves the window as it starts.
    if (!Busy() && !path.empty() && platform_.IsFile(path)) {
        Route(path);
    }
}

void WindowLogic::OpenFileToSplit(const std::u16string& path) {
    if (Busy() || path.empty()) {
        return;
    }
    if (panel_ != Frame1) {
        ShowPanel(Frame1);
    }
    view_.SetText(txtFileName, path);
}

bool WindowLogic::CloseRequest() {
    if (closing_ || !Busy()) {
        return true;
    }
    if (asking_) {
        return false;  // the question is already open
    }
    asking_ = true;
    const int answer =
        Box(job_ == Job::Split ? kStopSplit : kStopMerge, kStopStyle, kWindowCaption);
    asking_ = false;
    if (closing_) {
        return true;  // the program was told to end while the question was open
    }
    if (answer != vbYes) {
        return false;  // the work goes on
    }
    closing_ = true;
    // A run that ended while the question was open is not undone: nothing is left to stop.
    worker_.request_stop();
    return true;
}

void WindowLogic::Terminate() {
    closing_ = true;
    worker_.request_stop();
    view_.Close();
}

void WindowLogic::SetPanelsEnabled(bool enabled) {
    for (Control control : kInputWhileIdle) {
        view_.SetEnabled(control, enabled);
    }
}

void WindowLogic::Start(Job job, Work work) {
    job_ = job;
    running_ = true;
    focusBeforeRun_ = view_.Focused();
    // The status line takes the focus from the panels, which take no input until the outcome
    // has been shown; the close button stays live.
    view_.SetFocus(Text1);
    SetPanelsEnabled(false);
    view_.SetBusyCursor(true);
    shownPermille_ = -1;
    // The fill moves in thousandths, so the window's thread gets at most a thousand updates.
    Module1::Progress progress = [this](std::int64_t done, std::int64_t total) {
        const int permille = total > 0 ? static_cast<int>(done * 1000 / total) : 1000;
        if (shownPermille_.exchange(permille) != permille) {
            platform_.Post(lifetime_.Token(), [this, permille] {
                if (running_) {
                    view_.SetProgress(permille / 1000.0);
                }
            });
        }
    };
    try {
        worker_ = std::jthread([this, work = std::move(work), progress](std::stop_token stop) {
            Outcome outcome;
            try {
                outcome = work(stop, progress);
            } catch (...) {
                outcome = {false, Module1::FailureText(std::current_exception())};
            }
            platform_.Post(lifetime_.Token(),
                           [this, outcome = std::move(outcome)] { Finished(outcome); });
        });
    } catch (...) {
        // No thread to be had: the work has not started, and the box says why.
        running_ = false;
        Conclude({false, Module1::FailureText(std::current_exception())});
    }
}

void WindowLogic::Finished(Outcome outcome) {
    running_ = false;
    if (worker_.joinable()) {
        worker_.join();  // it has posted this as its last step
    }
    if (openBoxes_ > 0) {
        pending_ = std::move(outcome);  // shown once the box has closed
        return;
    }
    Conclude(outcome);
}

void WindowLogic::ConcludePending() {
    if (!pending_ || openBoxes_ > 0) {
        return;
    }
    const Outcome outcome = std::move(*pending_);
    pending_.reset();
    Conclude(outcome);
}

void WindowLogic::Conclude(const Outcome& outcome) {
    view_.SetProgress(-1);
    view_.SetBusyCursor(false);
    if (closing_) {
        job_ = Job::None;  // stopped or not, the window is closing: nothing more to show
        return;
    }
    if (job_ == Job::Split) {
        if (outcome.ok) {
            Box(kSplitDone, vbExclamation, kSplitDoneTitle);
        } else {
            Box(outcome.message, vbCritical, kSplitFailedTitle);
        }
    } else if (outcome.ok) {
        // A numbered set that nothing could check says so, and how many pieces were joined.
        const std::u16string done = outcome.message.empty()
                                        ? std::u16string(kMergeDone)
                                        : std::u16string(kMergeDone) + u"\r" + outcome.message;
        Box(done, vbExclamation, kMergeDoneTitle);
    } else {
        Box(outcome.message, vbCritical, kMergeFailedTitle);
    }
    view_.SetText(Text1, std::u16string(kIdle));
    SetPanelsEnabled(true);
    job_ = Job::None;
    if (focusBeforeRun_ != None) {
        view_.SetFocus(focusBeforeRun_);
    }
}

}  // namespace windowlogic
