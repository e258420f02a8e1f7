// SPDX-License-Identifier: GPL-3.0-or-later
// The merge command: its checks in order, the question before an existing output is replaced,
// the run and its outcome.
#include <filesystem>

#include "FakeWindow.h"
#include "Texts.h"

using namespace windowlogic::texts;
using namespace testing_files;
using enum windowlogic::Control;
namespace fs = std::filesystem;
using window_tests::kMiB;

// A set a.rar.00 to a.rar.002 with its list file, split for real, and the merge panel open.
class MergeLogic : public LogicTest {
  protected:
    void SetUp() override {
        LogicTest::SetUp();
        WriteFile(dir / "a.rar", source);
        std::u16string message;
        ASSERT_TRUE(Module1::SplitFile(Path("a.rar"), 0, message, kMiB));
    }
    void Open(windowlogic::Engine with) {
        Start(std::move(with));
        logic->Click(Option2);
    }
    void Fill(const std::u16string& list, const std::u16string& output) {
        Type(txtTemplateName, list);
        Type(txtOutputFile, output);
    }
    void ExpectRefused(std::u16string_view prompt, Control focus) {
        ExpectBox(prompt, vbCritical, kMergeFailedTitle);
        EXPECT_EQ(view.focus, focus);
        EXPECT_EQ(view.Text(Text1), kIdle);
        EXPECT_FALSE(logic->Busy());
    }

    const Bytes source = RandomBytes(2 * kMiB + 3, 51);
    fakes::HeldEngine engine;
};

TEST_F(MergeLogic, tests_the_list_file_before_the_output_name_and_calls_no_engine) {
    Open(engine.Engine());
    Fill(u"", u"");
    logic->Click(cmdUnsplit);
    ExpectRefused(u"未指定被分割的首个文件！！！", txtTemplateName);
    Fill(u"   ", u"");
    logic->Click(cmdUnsplit);
    ExpectRefused(kNoList, txtTemplateName);

    // Tested untrimmed: a leading space names no file; nor does a folder.
    fs::create_directory(dir / "folder");
    for (const std::u16string& list : {Path("none.FLF"), u" " + Path("a.rar.FLF"), Path("folder"),
                                       Path("a.rar.FLF") + u'\0' + u"x"}) {
        Fill(list, u"");
        logic->Click(cmdUnsplit);
        ExpectRefused(u"指定的被分割的首个文件不存在！！！", txtTemplateName);
    }

    Fill(Path("a.rar.FLF"), u"   ");
    logic->Click(cmdUnsplit);
    ExpectRefused(u"未指定合并后的文件名！！！", txtOutputFile);
    EXPECT_EQ(engine.calls, 0);
}

TEST_F(MergeLogic, refuses_a_file_of_the_set_a_pattern_or_nul_as_output_before_asking) {
    Open(engine.Engine());
    for (const std::u16string& output :
         {Path("a.rar.FLF"), Path("a.rar.FLF.sha256"), Path("a.rar.00"), Path("a.rar.002"),
          Path("*.rar"), Path("a.ra?"), Path("a.rar") + u'\0' + u".new"}) {
        Fill(Path("a.rar.FLF"), output);
        logic->Click(cmdUnsplit);
        ExpectRefused(kOutputInSet, txtOutputFile);
    }
    EXPECT_EQ(engine.calls, 0);
    EXPECT_EQ(ReadFile(dir / "a.rar"), source);
}

// Names are the window's check; a link is the engine's, which refuses it with its own text.
TEST_F(MergeLogic, a_link_to_a_piece_as_output_is_asked_about_then_refused_by_the_engine) {
    fs::create_hard_link(dir / "a.rar.001", dir / "link");
    const Bytes piece = ReadFile(dir / "a.rar.001");
    const std::string refused = MergeError(dir / "a.rar.FLF", dir / "link");
    Open(windowlogic::Engine::Real());
    Fill(Path("a.rar.FLF"), Path("link"));
    platform.answers = {vbYes};
    logic->Click(cmdUnsplit);
    ExpectBox(kOverwrite, vbYesNoQuestion, kNoticeTitle);
    ASSERT_TRUE(platform.RunPostedUntil([&] { return !logic->Busy(); }));
    const fakes::ShownBox box = TakeBox();
    EXPECT_EQ(Utf8(box.prompt), refused);
    EXPECT_EQ(box.title, kMergeFailedTitle);
    EXPECT_EQ(ReadFile(dir / "a.rar.001"), piece);
}

TEST_F(MergeLogic, no_to_replacing_the_existing_output_touches_nothing) {
    Open(engine.Engine());
    Fill(Path("a.rar.FLF"), Path("a.rar"));
    platform.answers = {vbNo};
    logic->Click(cmdUnsplit);
    ExpectBox(u"指定合并后的文件已经存在！\r是否覆盖？？？", 36, u"提示信息");
    EXPECT_EQ(view.focus, txtOutputFile);
    EXPECT_EQ(view.Text(Text1), kIdle);
    EXPECT_EQ(engine.calls, 0);
    EXPECT_EQ(ReadFile(dir / "a.rar"), source);
}

TEST_F(MergeLogic, yes_merges_the_texts_as_typed_with_the_busy_text_until_the_box_closes) {
    Open(engine.Engine());
    Fill(Path("a.rar.FLF"), Path("a.rar") + u" ");
    WriteFile(dir / "a.rar ", {1});
    platform.answers = {vbYes};
    logic->Click(cmdUnsplit);
    ExpectBox(kOverwrite, vbYesNoQuestion, kNoticeTitle);
    EXPECT_EQ(view.Text(Text1), kMerging);
    ASSERT_TRUE(engine.WaitUntilStarted());
    engine.Release(true);
    ASSERT_TRUE(platform.RunPostedUntil([&] { return !logic->Busy(); }));
    const fakes::ShownBox box = TakeBox();
    EXPECT_EQ(Utf8(box.prompt), "文件合并完成！！！");
    EXPECT_EQ(box.style, vbExclamation);
    EXPECT_EQ(Utf8(box.title), "文件合并成功");
    EXPECT_EQ(box.status, kMerging);
    EXPECT_EQ(view.Text(Text1), kIdle);
    EXPECT_EQ(engine.list, Path("a.rar.FLF"));
    EXPECT_EQ(engine.output, Path("a.rar") + u" ");
    EXPECT_EQ(view.Text(txtOutputFile), Path("a.rar") + u" ");
}

TEST_F(MergeLogic, after_yes_to_replacing_and_the_outcome_box_the_merge_button_has_the_focus) {
    Open(engine.Engine());
    Fill(Path("a.rar.FLF"), Path("a.rar"));
    view.SetFocus(cmdUnsplit);
    platform.answers = {vbYes};
    logic->Click(cmdUnsplit);
    ExpectBox(kOverwrite, vbYesNoQuestion, kNoticeTitle);
    ASSERT_TRUE(engine.WaitUntilStarted());
    engine.Release(true);
    ASSERT_TRUE(platform.RunPostedUntil([&] { return !logic->Busy(); }));
    ExpectBox(kMergeDone, vbExclamation, kMergeDoneTitle);
    EXPECT_EQ(view.focus, cmdUnsplit);
}

TEST_F(MergeLogic, a_real_merge_writes_the_file_back) {
    Open(windowlogic::Engine::Real());
    Fill(Path("a.rar.FLF"), Path("merged"));
    logic->Click(cmdUnsplit);
    ASSERT_TRUE(platform.RunPostedUntil([&] { return !logic->Busy(); }));
    ExpectBox(kMergeDone, vbExclamation, kMergeDoneTitle);
    EXPECT_EQ(ReadFile(dir / "merged"), source);
}

TEST_F(MergeLogic, a_failed_merge_shows_the_engines_failure_text_and_goes_idle) {
    fs::remove(dir / "a.rar.001");
    std::u16string expected;
    try {
        Module1::MergeFile(Path("a.rar.FLF"), Path("merged"));
        FAIL() << "the merge of an incomplete set succeeded";
    } catch (...) {
        expected = Module1::FailureText(std::current_exception());
    }
    EXPECT_NE(expected.find(Path("a.rar.001")), std::u16string::npos) << Utf8(expected);

    Open(windowlogic::Engine::Real());
    Fill(Path("a.rar.FLF"), Path("merged"));
    logic->Click(cmdUnsplit);
    ASSERT_TRUE(platform.RunPostedUntil([&] { return !logic->Busy(); }));
    const fakes::ShownBox box = TakeBox();
    EXPECT_EQ(Utf8(box.prompt), Utf8(expected));
    EXPECT_EQ(box.style, vbCritical);
    EXPECT_EQ(box.title, kMergeFailedTitle);
    EXPECT_EQ(box.status, kMerging);
    EXPECT_EQ(view.Text(Text1), kIdle);
    EXPECT_FALSE(fs::exists(dir / "merged"));
}
