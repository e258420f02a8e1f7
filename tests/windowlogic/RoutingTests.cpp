// SPDX-License-Identifier: GPL-3.0-or-later
// Where a file named on the command line or dropped on the window goes.
#include <filesystem>

#include "FakeWindow.h"
#include "Texts.h"

using namespace windowlogic::texts;
using namespace testing_files;
using enum windowlogic::Control;
namespace fs = std::filesystem;

class Routing : public LogicTest {
  protected:
    void SetUp() override {
        LogicTest::SetUp();
        WriteFile(dir / "a.rar", RandomBytes(3 << 20, 61));
        std::u16string message;
        ASSERT_TRUE(Module1::SplitFile(Path("a.rar"), 0, message, window_tests::kMiB));
        Start();
    }
    void ExpectMergePanelWith(const std::u16string& list) {
        EXPECT_TRUE(view.Shows(txtTemplateName));
        EXPECT_FALSE(view.Shows(txtFileName));
        EXPECT_EQ(view.checked, Option2);
        EXPECT_EQ(view.Text(txtTemplateName), list);
        EXPECT_EQ(view.Text(txtOutputFile), list.substr(0, list.size() - 4));
    }
    void ExpectStartState() {
        EXPECT_TRUE(view.Shows(txtFileName));
        EXPECT_EQ(view.checked, Option1);
        EXPECT_EQ(view.Text(txtFileName), u"");
        EXPECT_EQ(view.Text(txtTemplateName), u"");
        EXPECT_EQ(view.Text(txtOutputFile), u"");
    }
};

TEST_F(Routing, a_list_file_argument_opens_the_merge_panel_with_the_output_proposed) {
    logic->OpenFile(Path("a.rar.FLF"));
    ExpectMergePanelWith(Path("a.rar.FLF"));
    EXPECT_EQ(view.Text(txtFileName), u"");
}

TEST_F(Routing, a_piece_argument_opens_the_merge_panel_with_the_list_file_of_its_set) {
    logic->OpenFile(Path("a.rar.001"));
    ExpectMergePanelWith(Path("a.rar.FLF"));
}

TEST_F(Routing, a_set_without_list_file_opens_the_merge_panel_any_other_file_the_split_panel) {
    fs::remove(dir / "a.rar.FLF");
    WriteFile(dir / "t.7z.001", RandomBytes(100, 62));  // another splitter's raw pieces
    WriteFile(dir / "t.7z.002", RandomBytes(100, 63));
    struct Row {
        const char* name;
        const char* output;  // empty: the split panel
    };
    for (const Row row : {Row{"a.rar.002", "a.rar"}, Row{"t.7z.001", "t.7z"}, Row{"t.7z.002", ""},
                          Row{"a.rar", ""}}) {
        SCOPED_TRACE(row.name);
        logic->Click(Option1);
        logic->OpenFile(Path(row.name));
        if (*row.output) {
            EXPECT_TRUE(view.Shows(txtTemplateName));
            EXPECT_EQ(view.Text(txtTemplateName), Path(row.name));
            EXPECT_EQ(view.Text(txtOutputFile), Path(row.output));
        } else {
            EXPECT_TRUE(view.Shows(txtFileName));
            EXPECT_EQ(view.Text(txtFileName), Path(row.name));
        }
    }
}

TEST_F(Routing, split_asks_for_the_split_panel_with_the_file_whatever_it_is) {
    logic->Click(Option2);
    logic->OpenFileToSplit(Path("a.rar.FLF"));
    EXPECT_TRUE(view.Shows(txtFileName));
    EXPECT_EQ(view.checked, Option1);
    EXPECT_EQ(view.Text(txtFileName), Path("a.rar.FLF"));
}

TEST_F(Routing, a_name_that_is_no_file_starts_the_window_as_usual) {
    fs::create_directory(dir / "folder");
    for (const std::u16string& path : {Path("none.FLF"), Path("folder"), std::u16string()}) {
        logic->OpenFile(path);
        ExpectStartState();
    }
    ExpectNoBox();
}

TEST_F(Routing, a_list_file_dropped_on_the_split_panel_goes_to_the_merge_panel) {
    logic->DropFile(Path("a.rar.FLF"));
    ExpectMergePanelWith(Path("a.rar.FLF"));
}

TEST_F(Routing, another_file_dropped_fills_the_open_panels_first_field_as_its_chooser_would) {
    logic->DropFile(Path("movie.avi"));  // dropped names need not exist yet
    EXPECT_EQ(view.Text(txtFileName), Path("movie.avi"));
    logic->Click(Option2);
    logic->DropFile(Path("notes.txt"));
    EXPECT_EQ(view.Text(txtTemplateName), Path("notes.txt"));
    EXPECT_EQ(view.Text(txtOutputFile), Path("notes"));
    EXPECT_EQ(view.Text(txtFileName), Path("movie.avi"));
}

TEST_F(Routing, a_drop_leaves_the_focus_on_the_first_empty_field_of_the_panel_else_its_button) {
    struct Row {
        Control mode;
        const char16_t* size;
        const char* dropped;
        Control focus;
    };
    for (const Row& row :
         {Row{Option1, u"128", "a.rar.FLF", cmdUnsplit},
          Row{Option1, u"128", "movie.avi", cmdSplit}, Row{Option1, u"", "movie.avi", Combo1},
          Row{Option2, u"128", "notes.txt", cmdUnsplit}}) {
        SCOPED_TRACE(row.dropped);
        logic->Click(row.mode);
        view.SetFocus(row.mode);
        Type(Combo1, row.size);
        logic->DropFile(Path(row.dropped));
        EXPECT_EQ(view.focus, row.focus);
    }
}

TEST_F(Routing, a_lower_case_list_file_is_one_on_windows_only_and_a_pattern_is_no_file) {
    fs::rename(dir / "a.rar.FLF", dir / "a.rar.flf");
    logic->OpenFile(Path("*.flf"));
    ExpectStartState();
    logic->OpenFile(Path("a.rar.flf"));
#if defined(_WIN32)
    ExpectMergePanelWith(Path("a.rar.flf"));
#else
    EXPECT_EQ(view.Text(txtFileName), Path("a.rar.flf"));
#endif
}

TEST_F(Routing, the_help_panel_and_folders_take_no_drop) {
    fs::create_directory(dir / "folder");
    EXPECT_FALSE(logic->CanDrop(Path("folder")));
    logic->DropFile(Path("folder"));
    EXPECT_TRUE(logic->CanDrop(Path("a.rar")));
    logic->Click(Option3);
    EXPECT_FALSE(logic->CanDrop(Path("a.rar")));
    logic->DropFile(Path("a.rar.FLF"));
    EXPECT_TRUE(view.Shows(Label6));
    EXPECT_EQ(view.Text(txtFileName), u"");
    EXPECT_EQ(view.Text(txtTemplateName), u"");
}
