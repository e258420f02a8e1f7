// SPDX-License-Identifier: GPL-3.0-or-later
// The layout table: complete, consistent, and carrying what keyboard and screen-reader users
// need. What each control shows is checked where a window draws it (tests/ui).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "Layout.h"
#include "Texts.h"
#include "WindowTestHelpers.h"

using namespace windowlogic;

namespace {

using window_tests::Utf8;

char AccessKey(std::u16string_view caption) {
    const std::size_t amp = caption.find(u'&');
    return amp == std::u16string_view::npos || amp + 1 >= caption.size()
               ? '\0'
               : static_cast<char>(caption[amp + 1]);
}

}  // namespace

TEST(LayoutData, holds_every_control_once_under_its_own_name) {
    std::set<Control> ids;
    std::set<std::string_view> names;
    for (const ControlLayout& entry : Layout()) {
        EXPECT_TRUE(ids.insert(entry.id).second) << entry.name;
        EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
        EXPECT_EQ(&LayoutOf(entry.id), &entry);
    }
    EXPECT_EQ(static_cast<int>(ids.size()), kControlCount - 1);
    EXPECT_FALSE(ids.contains(Control::None));
}

TEST(LayoutData, lists_a_panel_before_the_controls_it_holds) {
    std::set<Control> seen;
    for (const ControlLayout& entry : Layout()) {
        if (entry.panel != Control::None) {
            EXPECT_TRUE(seen.contains(entry.panel)) << entry.name;
            EXPECT_EQ(LayoutOf(entry.panel).kind, Kind::Panel) << entry.name;
        }
        seen.insert(entry.id);
    }
}

TEST(LayoutData, tab_order_runs_modes_split_fields_merge_fields_close_then_status_line) {
    std::set<int> indexes;
    for (const ControlLayout& entry : Layout()) {
        if (entry.tabIndex >= 0) {
            EXPECT_TRUE(indexes.insert(entry.tabIndex).second) << entry.name;
        }
        if (TakesFocus(entry.kind)) {
            EXPECT_GE(entry.tabIndex, 0) << entry.name;
        }
    }
    const std::span<const Control> order = TabOrder();
    using enum Control;
    EXPECT_EQ(std::vector<Control>(order.begin(), order.end()),
              (std::vector<Control>{Option1, Option2, Option3, txtFileName, Combo1, cmdSplit,
                                    txtTemplateName, txtOutputFile, cmdUnsplit, Command1, Text1}));
}

TEST(LayoutData, panels_share_one_rectangle_and_hold_their_controls_inside_it) {
    const TwipsRect panel = LayoutOf(Control::Frame1).rect;
    for (const PanelMode& each : kPanels) {
        const TwipsRect rect = LayoutOf(each.panel).rect;
        EXPECT_EQ(std::tie(rect.left, rect.top, rect.width, rect.height),
                  std::tie(panel.left, panel.top, panel.width, panel.height));
    }
    for (const ControlLayout& entry : Layout()) {
        const TwipsRect r = entry.rect;
        const int width = entry.panel == Control::None ? kClientWidth : panel.width;
        const int height = entry.panel == Control::None ? kClientHeight : panel.height;
        EXPECT_GE(r.left, 0) << entry.name;
        EXPECT_GE(r.top, 0) << entry.name;
        // Shape1 and the status line run 15 twips past the client area; the window clips them.
        EXPECT_LE(r.left + r.width, width + 15) << entry.name;
        EXPECT_LE(r.top + r.height, height) << entry.name;
    }
}

TEST(LayoutData, access_keys_differ_among_buttons_and_each_button_has_one) {
    std::set<char> keys;
    for (const ControlLayout& entry : Layout()) {
        if (entry.kind == Kind::Button) {
            const char key = AccessKey(entry.caption);
            EXPECT_NE(key, '\0') << entry.name;
            EXPECT_TRUE(keys.insert(key).second) << entry.name;
        }
    }
}

TEST(LayoutData, the_title_label_shows_the_windows_caption) {
    EXPECT_EQ(LayoutOf(Control::Label2).caption, kWindowCaption);
}

TEST(LayoutData, every_link_names_its_keys_and_has_a_name_for_screen_readers) {
    int links = 0;
    for (const ControlLayout& entry : Layout()) {
        if (entry.kind == Kind::Link) {
            ++links;
            EXPECT_NE(entry.toolTip.find(u"Ctrl+O"), std::u16string_view::npos) << entry.name;
            EXPECT_NE(entry.toolTip.find(u"F4"), std::u16string_view::npos) << entry.name;
            EXPECT_FALSE(entry.accessibleName.empty()) << entry.name;
        }
    }
    EXPECT_EQ(links, 3);
}

TEST(LayoutData, the_list_file_field_explains_both_words_for_the_set) {
    for (Control control : {Control::Label1_3, Control::txtTemplateName}) {
        const std::u16string_view tip = LayoutOf(control).toolTip;
        EXPECT_NE(tip.find(u"列表文件（.FLF）"), std::u16string_view::npos) << Utf8(tip);
        EXPECT_NE(tip.find(u"分割出的文件"), std::u16string_view::npos) << Utf8(tip);
    }
}

// The window's own texts, beyond the captions and messages that are fixed, say "列表文件（.FLF）"
// for the list file and "分割出的文件" for the pieces, and nothing else for either.
constexpr std::u16string_view kListFile = u"列表文件（.FLF）";

TEST(LayoutData, the_windows_own_texts_use_one_word_for_the_list_file_and_one_for_the_pieces) {
    std::vector<std::u16string_view> own = {texts::kOutputInSet, texts::kBadSize, texts::kStopSplit,
                                            texts::kStopMerge};
    for (const ControlLayout& entry : Layout()) {
        own.push_back(entry.toolTip);
        own.push_back(entry.accessibleName);
    }
    for (std::u16string_view text : own) {
        std::u16string rest(text);
        for (std::size_t at; (at = rest.find(kListFile)) != std::u16string::npos;) {
            rest.erase(at, kListFile.size());
        }
        EXPECT_EQ(rest.find(u"列表文件"), std::u16string::npos) << Utf8(text);
        // The pieces counted or named by another word ("分割文件" alone is the verb phrase of
        // the mode button and the status line).
        for (std::u16string_view other :
             {u"份分割文件", u"个分割文件", u"各分割文件", u"些分割文件", u"分割后的文件"}) {
            EXPECT_EQ(rest.find(other), std::u16string::npos) << Utf8(text);
        }
    }
}
