// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up, the panels, the focus and the keys.
#include "FakeWindow.h"
#include "Layout.h"
#include "Texts.h"

using namespace windowlogic;
using namespace windowlogic::texts;
using enum windowlogic::Control;

class Startup : public LogicTest {};

TEST_F(Startup, load_fills_the_size_list_in_order_and_shows_the_idle_text) {
    Start();
    EXPECT_EQ(view.items,
              (std::vector<std::u16string>{u"1", u"16", u"32", u"128", u"256", u"512"}));
    EXPECT_EQ(view.Text(Combo1), u"128");
    EXPECT_EQ(view.Text(Text1), u" 系统空闲！！！");
    EXPECT_FALSE(logic->Busy());
}

class Panels : public LogicTest {
  protected:
    void SetUp() override {
        LogicTest::SetUp();
        Start();
        view.log.clear();
    }
};

TEST_F(Panels, each_mode_button_shows_its_panel_first_then_hides_the_other_two) {
    logic->Click(Option2);
    logic->Click(Option3);
    logic->Click(Option1);
    EXPECT_EQ(view.log, (std::vector<std::string>{"show Frame2", "hide Frame1", "hide Frame4",
                                                  "show Frame4", "hide Frame1", "hide Frame2",
                                                  "show Frame1", "hide Frame2", "hide Frame4"}));
    EXPECT_EQ(view.checked, Option1);
}

TEST_F(Panels, the_selected_mode_button_clicked_again_keeps_its_panel_and_the_fields_keep_text) {
    Type(txtFileName, u"/a/b");
    Type(Combo1, u"16");
    logic->Click(Option3);
    logic->Click(Option3);
    EXPECT_TRUE(view.Shows(Label6));
    EXPECT_FALSE(view.Shows(txtFileName));
    EXPECT_EQ(view.checked, Option3);
    logic->Click(Option1);
    EXPECT_EQ(view.Text(txtFileName), u"/a/b");
    EXPECT_EQ(view.Text(Combo1), u"16");
    EXPECT_EQ(view.Text(Text1), kIdle);
}

class Keys : public LogicTest {
  protected:
    void SetUp() override {
        LogicTest::SetUp();
        Start();
    }
};

TEST_F(Keys, a_field_selects_its_whole_text_when_it_gets_the_focus_and_a_button_selects_nothing) {
    logic->Click(Option2);
    Type(txtTemplateName, u"/a/b.FLF");
    Type(txtOutputFile, u"");
    view.SetFocus(txtTemplateName);
    EXPECT_EQ(view.selection[txtTemplateName].length, 8);
    view.SetFocus(txtOutputFile);
    EXPECT_EQ(view.selection[txtOutputFile].length, 0);
    view.SetFocus(cmdUnsplit);
    EXPECT_FALSE(view.selection.contains(cmdUnsplit));
    logic->Click(Option1);
    Type(Combo1, u"2047");
    view.SetFocus(Combo1);
    EXPECT_EQ(view.selection[Combo1].start, 0);
    EXPECT_EQ(view.selection[Combo1].length, 4);
}

TEST_F(Keys, enter_moves_the_focus_along_each_panel_without_typing_and_selects_the_next_field) {
    struct Row {
        Control mode, field, next;
    };
    for (const Row& row :
         {Row{Option1, txtFileName, Combo1}, Row{Option1, Combo1, cmdSplit},
          Row{Option2, txtTemplateName, txtOutputFile}, Row{Option2, txtOutputFile, cmdUnsplit}}) {
        logic->Click(row.mode);
        view.SetFocus(row.field);
        std::int16_t key = 13;
        logic->KeyPress(row.field, key);
        EXPECT_EQ(key, 0) << LayoutOf(row.field).name;
        EXPECT_EQ(view.focus, row.next) << LayoutOf(row.field).name;
    }
    EXPECT_EQ(view.selection[Combo1].length, 3);  // "128", selected as Enter moved there
    ExpectNoBox();                                // Enter on a button's way does not press it
}

TEST_F(Keys, every_other_character_passes_through_unchanged) {
    for (std::int16_t typed : {32, 97, 9, 10, 0x4E2D}) {
        std::int16_t key = typed;
        logic->KeyPress(txtFileName, key);
        EXPECT_EQ(key, typed);
    }
    EXPECT_EQ(view.focus, Option1);
}

TEST_F(Keys, up_and_down_step_along_the_mode_buttons_and_stop_at_either_end) {
    EXPECT_TRUE(logic->KeyDown(Option1, Key::Up));
    EXPECT_EQ(view.checked, Option1);
    EXPECT_TRUE(logic->KeyDown(Option1, Key::Down));
    EXPECT_EQ(view.checked, Option2);
    EXPECT_EQ(view.focus, Option2);
    EXPECT_TRUE(view.Shows(txtTemplateName));
    EXPECT_TRUE(logic->KeyDown(Option2, Key::Down));
    EXPECT_TRUE(logic->KeyDown(Option3, Key::Down));
    EXPECT_EQ(view.focus, Option3);
    EXPECT_TRUE(view.Shows(Label6));
    EXPECT_TRUE(logic->KeyDown(Option3, Key::Up));
    EXPECT_EQ(view.checked, Option2);
    EXPECT_FALSE(logic->KeyDown(Combo1, Key::Down));  // the list opens as usual
    EXPECT_FALSE(logic->KeyDown(Option2, Key::F4));
}

TEST_F(Keys, ctrl_o_and_f4_in_a_path_field_open_its_chooser_as_its_link_does) {
    struct Row {
        Control mode, field;
        std::u16string_view title;
    };
    for (const Row& row : {Row{Option1, txtFileName, kSourceChooserTitle},
                           Row{Option2, txtTemplateName, kListChooserTitle},
                           Row{Option2, txtOutputFile, kOutputChooserTitle}}) {
        logic->Click(row.mode);
        for (Key key : {Key::CtrlO, Key::F4}) {
            platform.dialogAnswers = {u""};
            platform.dialogs.clear();
            EXPECT_TRUE(logic->KeyDown(row.field, key));
            ASSERT_EQ(platform.dialogs.size(), 1u);
            EXPECT_EQ(platform.dialogs[0].title, row.title);
        }
    }
    EXPECT_FALSE(logic->KeyDown(Combo1, Key::F4));
    EXPECT_FALSE(logic->KeyDown(cmdSplit, Key::CtrlO));
}

TEST_F(Keys, alt_with_a_letter_presses_a_button_only_while_it_shows) {
    struct Row {
        Control mode;
        char16_t key;
        std::u16string_view box;  // the command's first check; empty: nothing happens
    };
    for (const Row& row :
         {Row{Option2, u's', {}}, Row{Option1, u'U', {}}, Row{Option3, u'S', {}},
          Row{Option1, u'x', {}}, Row{Option1, u's', kNoFile}, Row{Option2, u'U', kNoList}}) {
        logic->Click(row.mode);
        logic->AccessKey(row.key);
        if (row.box.empty()) {
            ExpectNoBox();
        } else {
            EXPECT_EQ(Utf8(TakeBox().prompt), Utf8(row.box));
        }
    }
    // A screen reader presses a hidden panel's controls directly: nothing happens either.
    logic->Click(Option2);
    platform.dialogs.clear();
    for (Control hidden : {cmdSplit, Label4}) {
        logic->Click(hidden);
    }
    ExpectNoBox();
    EXPECT_TRUE(platform.dialogs.empty());
    logic->AccessKey(u'c');
    EXPECT_TRUE(view.closed);
}

TEST_F(Keys, close_while_idle_closes_at_once_without_a_question) {
    EXPECT_TRUE(logic->CloseRequest());
    EXPECT_FALSE(view.closed);
    Type(txtFileName, u"text");
    logic->Click(Command1);
    EXPECT_TRUE(view.closed);
    ExpectNoBox();
}
