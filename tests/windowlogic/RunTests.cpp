// SPDX-License-Identifier: GPL-3.0-or-later
// A split or merge under way: what the window still takes, the close request and its question,
// the end of the session, and an outcome that comes while a box is open.
#include <chrono>
#include <filesystem>

#include "FakeWindow.h"
#include "Layout.h"
#include "Texts.h"

using namespace windowlogic::texts;
using namespace testing_files;
using enum windowlogic::Control;
using windowlogic::Key;
namespace fs = std::filesystem;

class Run : public LogicTest {
  protected:
    void SetUp() override {
        LogicTest::SetUp();
        WriteFile(dir / "a.bin", {1, 2, 3});
        Start(engine.Engine());
    }
    // Starts a held split of a.bin from the split button, which keeps the focus meanwhile.
    void StartSplit() {
        Type(txtFileName, Path("a.bin"));
        view.SetFocus(cmdSplit);
        logic->Click(cmdSplit);
        ASSERT_TRUE(engine.WaitUntilStarted());
    }
    void StartMerge() {
        WriteFile(dir / "a.bin.FLF", {1});
        logic->Click(Option2);
        Type(txtTemplateName, Path("a.bin.FLF"));
        Type(txtOutputFile, Path("merged"));
        logic->Click(cmdUnsplit);
        ASSERT_TRUE(engine.WaitUntilStarted());
    }
    // Runs posted calls until the run has been dealt with.
    void Settle() {
        ASSERT_TRUE(platform.RunPostedUntil([&] { return !logic->Busy(); }));
    }
    void ExpectStopQuestion(std::u16string_view prompt) {
        const fakes::ShownBox box = TakeBox();
        EXPECT_EQ(Utf8(box.prompt), Utf8(prompt));
        EXPECT_EQ(box.style, 4 + 32 + 256);  // Yes and No, question icon, No the default
        EXPECT_EQ(Utf8(box.title), "Korvel文件分割器");
    }

    fakes::HeldEngine engine;
};

TEST_F(Run, a_running_split_takes_nothing_but_the_close_request) {
    StartSplit();
    EXPECT_TRUE(logic->Busy());
    EXPECT_EQ(view.Text(Text1), kSplitting);
    EXPECT_TRUE(view.busyCursor);
    EXPECT_EQ(view.focus, Text1);
    for (Control each : {Option1, Option2, Option3, txtFileName, Combo1, cmdSplit, Label4}) {
        EXPECT_FALSE(view.Enabled(each)) << windowlogic::LayoutOf(each).name;
    }
    EXPECT_TRUE(view.Enabled(Command1));
    EXPECT_TRUE(view.Enabled(Text1));

    logic->Click(cmdSplit);  // a second Alt+S, or a click still pending from before
    logic->Click(Option2);
    logic->Click(Label4);
    EXPECT_FALSE(logic->CanDrop(Path("a.bin")));
    logic->DropFile(Path("other.FLF"));
    logic->OpenFile(Path("a.bin"));
    std::int16_t typed = u'x';
    logic->KeyPress(txtFileName, typed);
    EXPECT_EQ(typed, 0);
    EXPECT_TRUE(logic->KeyDown(Option1, Key::Down));
    logic->KeyDown(txtFileName, Key::F4);
    EXPECT_EQ(view.checked, Option1);
    EXPECT_TRUE(view.Shows(txtFileName));
    EXPECT_EQ(view.Text(txtTemplateName), u"");
    EXPECT_TRUE(platform.dialogs.empty());
    ExpectNoBox();

    engine.Release(true);
    Settle();
    EXPECT_EQ(engine.calls, 1);
    ExpectBox(kSplitDone, vbExclamation, kSplitDoneTitle);
    EXPECT_FALSE(view.busyCursor);
    EXPECT_TRUE(view.Enabled(cmdSplit));
    EXPECT_TRUE(view.Enabled(Option2));
    EXPECT_EQ(view.focus, cmdSplit);  // where it was before the run
    EXPECT_EQ(view.Text(Text1), kIdle);
}

TEST_F(Run, the_status_line_fills_as_the_work_goes_and_empties_at_the_end) {
    StartSplit();
    ASSERT_TRUE(platform.RunPostedUntil([&] { return !view.progress.empty(); }));
    EXPECT_EQ(view.progress.front(), 0.25);  // the held engine reports a quarter done
    engine.Release(true);
    Settle();
    TakeBox();
    EXPECT_LT(view.progress.back(), 0);
}

TEST_F(Run, no_to_the_close_question_lets_the_split_finish_and_the_window_stay) {
    StartSplit();
    platform.answers = {vbNo};
    EXPECT_FALSE(logic->CloseRequest());  // the title bar's close button, or Alt+F4
    ExpectStopQuestion(u"正在分割文件，要停止并关闭窗口吗？");
    platform.answers = {vbNo};
    logic->Click(Command1);  // the close button, or Alt+C
    ExpectStopQuestion(kStopSplit);
    EXPECT_FALSE(view.closed);
    EXPECT_TRUE(logic->Busy());

    engine.Release(true);
    Settle();
    EXPECT_FALSE(engine.sawStop);
    ExpectBox(kSplitDone, vbExclamation, kSplitDoneTitle);
    EXPECT_FALSE(view.closed);
    EXPECT_TRUE(logic->CloseRequest());  // idle again: closing is as always
}

TEST_F(Run, yes_stops_the_split_closes_the_window_and_shows_no_outcome) {
    StartSplit();
    platform.answers = {vbYes};
    logic->Click(Command1);
    ExpectStopQuestion(kStopSplit);
    EXPECT_TRUE(view.closed);
    Settle();  // the engine ends on the stop request, not on a release
    EXPECT_TRUE(engine.sawStop);
    EXPECT_FALSE(engine.released);
    ExpectNoBox();
    EXPECT_TRUE(logic->CloseRequest());
}

TEST_F(Run, yes_from_the_title_bar_lets_that_close_go_through_and_stops_the_merge) {
    StartMerge();
    platform.answers = {vbYes};
    EXPECT_TRUE(logic->CloseRequest());
    ExpectStopQuestion(u"正在合并文件，要停止并关闭窗口吗？");
    Settle();
    EXPECT_TRUE(engine.sawStop);
    ExpectNoBox();
}

TEST_F(Run, the_window_going_away_stops_the_engine_and_waits_for_it) {
    StartSplit();
    logic.reset();
    EXPECT_TRUE(engine.sawStop);
}

TEST_F(Run, calls_posted_for_a_logic_that_has_gone_never_run) {
    StartSplit();   // the engine has reported a quarter done
    logic.reset();  // the stopped worker posts its outcome as it ends
    ASSERT_EQ(platform.posts, 2);
    platform.RunPosted();
    EXPECT_EQ(platform.dropped, 2);
    EXPECT_TRUE(view.progress.empty());
    ExpectNoBox();
}

TEST_F(Run, an_outcome_that_comes_while_the_question_is_open_waits_for_the_answer_no) {
    StartMerge();
    platform.answers = {vbNo};
    // While the question is open the window's thread goes on: the merge ends meanwhile. Its
    // two posts are the held engine's one progress report and the outcome.
    platform.whileOpen = [&](const fakes::ShownBox&) {
        platform.whileOpen = nullptr;
        engine.Release(true);
        ASSERT_TRUE(platform.RunPostedUntil([&] { return platform.posts >= 2; }));
        EXPECT_EQ(platform.boxes.size(), 1u) << "an outcome box opened over the question";
        EXPECT_FALSE(logic->CloseRequest()) << "a second question";
    };
    EXPECT_FALSE(logic->CloseRequest());
    ExpectStopQuestion(kStopMerge);
    Settle();
    const fakes::ShownBox box = TakeBox();
    EXPECT_EQ(box.prompt, kMergeDone);
    EXPECT_EQ(box.status, kMerging);
    EXPECT_EQ(view.Text(Text1), kIdle);
    EXPECT_FALSE(view.closed);
}

TEST_F(Run, a_split_that_ended_while_the_question_was_open_stays_done_on_yes) {
    StartSplit();
    platform.answers = {vbYes};
    platform.whileOpen = [&](const fakes::ShownBox&) {
        platform.whileOpen = nullptr;
        engine.Release(true);
        ASSERT_TRUE(platform.RunPostedUntil([&] { return platform.posts >= 2; }));
    };
    logic->Click(Command1);
    ExpectStopQuestion(kStopSplit);
    EXPECT_TRUE(view.closed);
    Settle();
    EXPECT_FALSE(engine.sawStop);  // it had ended: nothing to stop, nothing undone
    ExpectNoBox();
}

TEST_F(Run, the_end_of_the_session_stops_a_run_without_asking_and_closes) {
    StartSplit();
    logic->Terminate();
    EXPECT_TRUE(view.closed);
    ExpectNoBox();
    Settle();
    EXPECT_TRUE(engine.sawStop);
    ExpectNoBox();
}

TEST_F(Run, the_end_of_the_session_while_idle_closes) {
    logic->Terminate();
    EXPECT_TRUE(view.closed);
    ExpectNoBox();
}

TEST_F(Run, the_end_of_the_session_while_the_question_is_open_closes_whatever_the_answer) {
    StartSplit();
    platform.answers = {vbNo};
    platform.whileOpen = [&](const fakes::ShownBox&) { logic->Terminate(); };
    EXPECT_TRUE(logic->CloseRequest());
    ExpectStopQuestion(kStopSplit);
    Settle();
    EXPECT_TRUE(engine.sawStop);
    ExpectNoBox();
}
