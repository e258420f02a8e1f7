// SPDX-License-Identifier: GPL-3.0-or-later
// The three file choosers: what they ask the dialog, what they fill in, and where the dialog
// starts.
#include <filesystem>

#include "FakeWindow.h"
#include "Texts.h"

using namespace windowlogic::texts;
using namespace testing_files;
using enum windowlogic::Control;
namespace fs = std::filesystem;

class Choosers : public LogicTest {
  protected:
    void SetUp() override {
        LogicTest::SetUp();
        Start();
    }
};

TEST_F(Choosers, the_file_to_split_fills_its_path_and_cancel_changes_nothing) {
    platform.dialogAnswers = {u"/d/movie.avi", u""};
    logic->Click(Label4);
    ASSERT_EQ(platform.dialogs.size(), 1u);
    const windowlogic::FileDialogRequest& request = platform.dialogs[0];
    EXPECT_EQ(request.kind, 1);
    EXPECT_EQ(Utf8(request.title), "打开需要被分割的文件");
    EXPECT_EQ(Utf8(request.filter), "所有文件(*.*)|*.*");
    EXPECT_EQ(request.filterIndex, 1);
    EXPECT_TRUE(request.fileName.empty());
    EXPECT_EQ(view.Text(txtFileName), u"/d/movie.avi");

    logic->Click(Label4);  // cancelled
    EXPECT_EQ(view.Text(txtFileName), u"/d/movie.avi");
    EXPECT_EQ(view.Text(Combo1), u"128");
    EXPECT_EQ(view.Text(Text1), kIdle);
    EXPECT_EQ(view.focus, Option1);
    EXPECT_TRUE(view.Shows(txtFileName));
}

TEST_F(Choosers, the_list_file_proposes_the_output_without_its_last_four_characters) {
    logic->Click(Option2);
    Type(txtOutputFile, u"typed by the user");
    platform.dialogAnswers = {u"/d/a/movie.avi.FLF", u"/d/a/notes.txt", u"C:\\a", u""};
    logic->Click(Label3);
    EXPECT_EQ(platform.dialogs[0].kind, 1);
    EXPECT_EQ(Utf8(platform.dialogs[0].title), "打开要合并的文件的首个文件");
    EXPECT_EQ(Utf8(platform.dialogs[0].filter), "(*.FLF)|*.FLF|所有文件(*.*)|*.*");
    EXPECT_EQ(view.Text(txtTemplateName), u"/d/a/movie.avi.FLF");
    EXPECT_EQ(view.Text(txtOutputFile), u"/d/a/movie.avi");
    logic->Click(Label3);
    EXPECT_EQ(view.Text(txtOutputFile), u"/d/a/notes");
    logic->Click(Label3);
    EXPECT_EQ(view.Text(txtOutputFile), u"");
    logic->Click(Label3);  // cancelled
    EXPECT_EQ(view.Text(txtTemplateName), u"C:\\a");
}

TEST_F(Choosers, save_as_replaces_the_proposed_output_name) {
    logic->Click(Option2);
    platform.dialogAnswers = {u"/d/a.rar.FLF", u"/e/merged.rar"};
    logic->Click(Label3);
    logic->Click(Label5);
    EXPECT_EQ(platform.dialogs[1].kind, 2);
    EXPECT_EQ(Utf8(platform.dialogs[1].title), "合并文件为...");
    EXPECT_EQ(Utf8(platform.dialogs[1].filter), "所有文件(*.*)|*.*");
    EXPECT_EQ(view.Text(txtOutputFile), u"/e/merged.rar");
    EXPECT_EQ(view.Text(txtTemplateName), u"/d/a.rar.FLF");
}

TEST_F(Choosers, a_dialog_starts_in_the_folder_of_its_fields_path_else_where_the_last_choice_was) {
    fs::create_directories(dir / "films");
    fs::create_directories(dir / "sets");
    WriteFile(dir / "films" / "a.avi", {1});
    platform.dialogAnswers = {u"", Path("films/a.avi"), u"", u""};
    logic->Click(Label4);  // empty field, nothing chosen yet: wherever the desktop likes
    EXPECT_EQ(platform.dialogs[0].folder, u"");
    logic->Click(Label4);
    logic->Click(Option2);
    logic->Click(Label3);  // the list field is empty: the last folder used
    EXPECT_EQ(platform.dialogs[2].folder, Path("films"));
    Type(txtOutputFile, u" " + Path("sets/new.rar") + u" ");
    logic->Click(Label5);  // a path whose folder exists, spaces around it
    EXPECT_EQ(platform.dialogs[3].folder, Path("sets"));
}
