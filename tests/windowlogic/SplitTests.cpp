// SPDX-License-Identifier: GPL-3.0-or-later
// The split command: its checks in order, the piece size, the run and its outcome.
#include <filesystem>
#include <limits>

#include "FakeWindow.h"
#include "Texts.h"

using namespace windowlogic::texts;
using namespace testing_files;
using enum windowlogic::Control;
namespace fs = std::filesystem;
using window_tests::kMiB;

class SplitChecks : public LogicTest {
  protected:
    void SetUp() override {
        LogicTest::SetUp();
        Start(engine.Engine());
    }
    void TearDown() override {
        LogicTest::TearDown();
        EXPECT_EQ(engine.calls, 0) << "the engine was called";
    }
    // The check's box, the focus it leaves and a status line it never touched.
    void ExpectRefused(std::u16string_view prompt, Control focus) {
        const fakes::ShownBox box = TakeBox();
        EXPECT_EQ(Utf8(box.prompt), Utf8(prompt));
        EXPECT_EQ(box.style, vbCritical);
        EXPECT_EQ(Utf8(box.title), Utf8(kSplitFailedTitle));
        EXPECT_EQ(view.focus, focus);
        EXPECT_EQ(view.Text(Text1), kIdle);
        EXPECT_FALSE(logic->Busy());
    }

    fakes::HeldEngine engine;
};

TEST_F(SplitChecks, test_the_size_first_then_the_path_then_that_the_file_exists) {
    Type(Combo1, u"");
    Type(txtFileName, u"");
    logic->Click(cmdSplit);
    ExpectRefused(u"没有指定分割后每份的大小！\r请输入或选取分割后每份的大小！！！", Combo1);

    Type(Combo1, u"   ");  // spaces alone are blank too
    logic->Click(cmdSplit);
    ExpectRefused(kNoSize, Combo1);

    Type(Combo1, u"1");
    Type(txtFileName, u"  ");
    logic->Click(cmdSplit);
    ExpectRefused(u"没有指定需要被分割的文件！\r请输入需要被分割的文件！！！", txtFileName);

    fs::create_directory(dir / "folder");
    for (const std::u16string& path : {Path("missing"), Path("folder")}) {
        Type(txtFileName, path);
        view.SetFocus(Combo1);
        logic->Click(cmdSplit);
        ExpectRefused(u"需要被分割的文件不存在！\r请重新输入需要被分割的文件！！！", txtFileName);
        EXPECT_EQ(view.selection[txtFileName].length, static_cast<int>(path.size()));
    }
}

TEST_F(SplitChecks, a_size_that_is_no_number_or_past_32_bits_is_refused_while_the_busy_text_shows) {
    WriteFile(dir / "a.bin", {1, 2, 3});
    Type(txtFileName, Path("a.bin"));
    for (const char16_t* size : {u"abc", u"2048", u"-2049", u"1e9"}) {
        Type(Combo1, size);
        view.SetFocus(txtFileName);
        logic->Click(cmdSplit);
        const fakes::ShownBox box = TakeBox();
        EXPECT_EQ(Utf8(box.prompt), Utf8(kBadSize));
        EXPECT_EQ(box.style, vbCritical);
        EXPECT_EQ(box.title, kSplitFailedTitle);
        EXPECT_EQ(box.status, kSplitting);
        EXPECT_EQ(view.focus, Combo1);
        EXPECT_EQ(view.Text(Text1), kIdle);
    }
}

class SplitRun : public LogicTest {
  protected:
    void SetUp() override {
        LogicTest::SetUp();
        WriteFile(dir / "a.bin", {1, 2, 3});
    }
    // Starts a split of a.bin with the held engine and lets it end with the given result.
    void RunHeld(bool ok, const std::u16string& message = {}) {
        logic->Click(cmdSplit);
        ASSERT_TRUE(engine.WaitUntilStarted());
        engine.Release(ok, message);
        ASSERT_TRUE(platform.RunPostedUntil([&] { return !logic->Busy(); }));
    }

    fakes::HeldEngine engine;
};

TEST_F(SplitRun, the_engine_gets_the_path_as_typed_though_the_existence_test_trims_it) {
    Start(engine.Engine());
    Type(txtFileName, u"  " + Path("a.bin") + u" ");
    Type(Combo1, u"1");
    RunHeld(true);
    TakeBox();
    EXPECT_EQ(engine.source, u"  " + Path("a.bin") + u" ");
}

TEST_F(SplitRun, the_size_in_megabytes_reaches_the_engine_in_bytes) {
    struct Row {
        std::u16string typed;
        std::int32_t bytes;
    };
    for (const Row& row :
         {Row{u"128", 134217728}, Row{u"1", 1048576}, Row{u"2047", 2146435072},
          Row{u" 2.5 ", 2097152}, Row{u"3.5", 4194304}, Row{u"1.5", 2097152}, Row{u"0", 0},
          Row{u"-1", -1048576}, Row{u"-2048", std::numeric_limits<std::int32_t>::min()}}) {
        fakes::HeldEngine each;
        Start(each.Engine());
        Type(txtFileName, Path("a.bin"));
        Type(Combo1, row.typed);
        logic->Click(cmdSplit);
        ASSERT_TRUE(each.WaitUntilStarted());
        each.Release();
        ASSERT_TRUE(platform.RunPostedUntil([&] { return !logic->Busy(); }));
        TakeBox();
        EXPECT_EQ(each.pieceSize, row.bytes) << Utf8(row.typed);
        logic.reset();
    }
}

TEST_F(SplitRun, shows_the_busy_text_until_the_outcome_box_has_closed_and_keeps_the_fields) {
    Start(engine.Engine());
    Type(txtFileName, Path("a.bin"));
    Type(Combo1, u"16");
    logic->Click(cmdSplit);
    EXPECT_TRUE(logic->Busy());
    EXPECT_EQ(view.Text(Text1), kSplitting);
    ASSERT_TRUE(engine.WaitUntilStarted());
    engine.Release(true);
    ASSERT_TRUE(platform.RunPostedUntil([&] { return !logic->Busy(); }));
    const fakes::ShownBox box = TakeBox();
    EXPECT_EQ(Utf8(box.prompt), "文件分割完成！！！");
    EXPECT_EQ(box.style, vbExclamation);
    EXPECT_EQ(Utf8(box.title), "文件分割成功");
    EXPECT_EQ(box.status, kSplitting);
    EXPECT_EQ(view.Text(Text1), kIdle);
    EXPECT_EQ(view.Text(txtFileName), Path("a.bin"));
    EXPECT_EQ(view.Text(Combo1), u"16");
}

TEST_F(SplitRun, a_failure_shows_the_engines_message_unchanged_then_goes_idle) {
    Start(engine.Engine());
    Type(txtFileName, Path("a.bin"));
    const std::u16string message = u"第一行：\r“" + Path("a.bin") + u"”\r第三行";
    RunHeld(false, message);
    const fakes::ShownBox box = TakeBox();
    EXPECT_EQ(box.prompt, message);
    EXPECT_EQ(box.style, vbCritical);
    EXPECT_EQ(box.title, kSplitFailedTitle);
    EXPECT_EQ(box.status, kSplitting);
    EXPECT_EQ(view.Text(Text1), kIdle);
}

TEST_F(SplitRun, a_real_split_writes_the_set_and_a_real_failure_says_what_the_engine_says) {
    Start();
    WriteFile(dir / "big", RandomBytes(2 * kMiB + 5, 41));
    Type(txtFileName, Path("big"));
    Type(Combo1, u"1");
    logic->Click(cmdSplit);
    ASSERT_TRUE(platform.RunPostedUntil([&] { return !logic->Busy(); }));
    ExpectBox(kSplitDone, vbExclamation, kSplitDoneTitle);
    EXPECT_TRUE(fs::exists(dir / "big.002"));
    EXPECT_TRUE(fs::exists(dir / "big.FLF"));

    // a.bin is too small for 1 MiB pieces, and no file splits into pieces of 0 or -1 MiB: the
    // box says what SplitFile itself says.
    Type(txtFileName, Path("a.bin"));
    for (const auto& [typed, megabytes] : {std::pair{u"1", 1}, {u"0", 0}, {u"-1", -1}}) {
        std::u16string expected;
        ASSERT_FALSE(Module1::SplitFile(Path("a.bin"), 0, expected, megabytes * kMiB));
        Type(Combo1, typed);
        logic->Click(cmdSplit);
        ASSERT_TRUE(platform.RunPostedUntil([&] { return !logic->Busy(); }));
        ExpectBox(expected, vbCritical, kSplitFailedTitle);
    }
}

TEST_F(SplitRun, after_the_outcome_box_the_focus_is_back_on_the_control_that_had_it) {
    for (const auto& [succeeded, focus] : {std::pair{true, Combo1}, {false, txtFileName}}) {
        fakes::HeldEngine each;
        Start(each.Engine());
        Type(txtFileName, Path("a.bin"));
        view.SetFocus(focus);
        logic->Click(cmdSplit);
        ASSERT_TRUE(each.WaitUntilStarted());
        each.Release(succeeded);
        ASSERT_TRUE(platform.RunPostedUntil([&] { return !logic->Busy(); }));
        TakeBox();
        EXPECT_EQ(view.focus, focus) << succeeded;
        logic.reset();
    }
}
