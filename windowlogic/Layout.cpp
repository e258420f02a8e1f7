// SPDX-License-Identifier: GPL-3.0-or-later
#include "Layout.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace windowlogic {
namespace {

using enum Control;

constexpr Rgb kNavy{0x00, 0x00, 0x80};
constexpr Rgb kBlue{0x00, 0x00, 0xFF};
constexpr Rgb kWhite{0xFF, 0xFF, 0xFF};

// "宋体" where it is installed; elsewhere a Song face that has a bold of its own (Noto Serif CJK
// SC, from Debian's fonts-noto-cjk), else AR PL UMing, whose bold is only drawn thicker.
constexpr std::array<std::u16string_view, 7> kSongFaces = {
    u"宋体",           u"SimSun",        u"NSimSun", u"Noto Serif CJK SC", u"Source Han Serif SC",
    u"AR PL UMing CN", u"AR PL UMing TW"};
// "楷体_GB2312", else "楷体" (KaiTi, which newer Windows installs as an optional font), else a
// free Kai face; a window with none of them draws the title in its Song face.
constexpr std::array<std::u16string_view, 6> kKaiFaces = {
    u"楷体_GB2312", u"楷体", u"KaiTi", u"KaiTi_GB2312", u"AR PL UKai CN", u"AR PL UKai TW"};

constexpr std::array<FontChoice, 4> kFonts = {
    FontChoice{kSongFaces, 9, false, false},     // Song
    FontChoice{kSongFaces, 9, true, false},      // SongBold
    FontChoice{kSongFaces, 9, false, true},      // SongLink
    FontChoice{kKaiFaces, 21.75, true, false}};  // KaiTitle

constexpr std::u16string_view kListWords =
    u"被分割后的首个文件就是列表文件（.FLF）：分割时与分割出的文件（.00、.001、.002……）"
    u"一起写在需要被分割的文件旁边，记录共有几份。合并时选它，程序据此找到每一个分割出的文件。";

// One maker a kind, so that each row below says only what sets its control apart.
constexpr ControlLayout Make(Control id, std::string_view name, Kind kind, Control panel,
                             std::u16string_view caption, TwipsRect rect, FontRole font,
                             std::optional<Rgb> colour, Background background, int tabIndex,
                             std::u16string_view toolTip = {},
                             std::u16string_view accessibleName = {}) {
    return {id,   name,   kind,       panel,    caption, rect,
            font, colour, background, tabIndex, toolTip, accessibleName};
}
constexpr ControlLayout LabelAt(Control id, std::string_view name, Control panel,
                                std::u16string_view caption, TwipsRect rect, int tabIndex,
                                FontRole font = FontRole::Song, std::optional<Rgb> colour = {},
                                std::u16string_view toolTip = {}) {
    return Make(id, name, Kind::Label, panel, caption, rect, font, colour, Background::Transparent,
                tabIndex, toolTip);
}
constexpr ControlLayout LinkAt(Control id, std::string_view name, Control panel,
                               std::u16string_view caption, TwipsRect rect, int tabIndex,
                               std::u16string_view toolTip, std::u16string_view accessibleName) {
    return Make(id, name, Kind::Link, panel, caption, rect, FontRole::SongLink, kBlue,
                Background::Transparent, tabIndex, toolTip, accessibleName);
}
constexpr ControlLayout ButtonAt(Control id, std::string_view name, Kind kind, Control panel,
                                 std::u16string_view caption, TwipsRect rect, int tabIndex,
                                 std::u16string_view toolTip = {}) {
    return Make(id, name, kind, panel, caption, rect, FontRole::SongBold, {}, Background::Default,
                tabIndex, toolTip);
}
constexpr ControlLayout PanelAt(Control id, std::string_view name, std::u16string_view caption,
                                int tabIndex) {
    return Make(id, name, Kind::Panel, None, caption, {120, 1560, 8655, 1935}, FontRole::SongBold,
                {}, Background::ButtonFace, tabIndex);
}
constexpr ControlLayout FieldAt(Control id, std::string_view name, Kind kind, Control panel,
                                std::u16string_view text, TwipsRect rect, int tabIndex,
                                std::u16string_view toolTip, std::u16string_view accessibleName) {
    return Make(id, name, kind, panel, text, rect, FontRole::Song, {}, Background::Default,
                tabIndex, toolTip, accessibleName);
}

// clang-format off
constexpr std::array<ControlLayout, kControlCount - 1> kLayout = {
    // The title band: a white rectangle under the picture, the title and the build line.
    Make(Shape1, "Shape1", Kind::Shape, None, u"", {0, 0, 8895, 975}, FontRole::Song, kWhite,
         Background::White, -1),
    Make(Image1, "Image1", Kind::Image, None, u"", {840, 240, 480, 480}, FontRole::Song, {},
         Background::Transparent, -1),
    LabelAt(Label2, "Label2", None, kWindowCaption, {1800, 240, 0, 0}, 28, FontRole::KaiTitle,
            kNavy),
    LabelAt(Label30, "Label30", None, u"2008版 Build 2008.3.18", {6720, 600, 1980, 180}, 27,
            FontRole::Song, kBlue),

    ButtonAt(Option1, "Option1", Kind::ModeButton, None, u"分割文件", {120, 1080, 1095, 420}, 0),
    ButtonAt(Option2, "Option2", Kind::ModeButton, None, u"合并文件", {1200, 1080, 1095, 420}, 1),
    ButtonAt(Option3, "Option3", Kind::ModeButton, None, u"获取帮助", {2280, 1080, 1095, 420}, 2),
    PanelAt(Frame1, "Frame1", u"分割文件", 10),
    PanelAt(Frame2, "Frame2", u"合并文件", 13),
    PanelAt(Frame4, "Frame4", u"获得帮助", 18),

    LabelAt(Label1_0, "Label1(0)", Frame1, u"需要被分割的文件", {240, 240, 1440, 180}, 11),
    LinkAt(Label4, "Label4", Frame1, u"浏览...", {1800, 240, 630, 180}, 17,
           u"选择需要被分割的文件（Ctrl+O 或 F4）", u"浏览：选择需要被分割的文件"),
    FieldAt(txtFileName, "txtFileName", Kind::TextBox, Frame1, u"", {240, 480, 8295, 285}, 3,
            u"", u"需要被分割的文件"),
    LabelAt(Label1_1, "Label1(1)", Frame1, u"每一份大小(单位：M)", {240, 960, 1710, 180}, 12),
    FieldAt(Combo1, "Combo1", Kind::ComboBox, Frame1, u"128", {2040, 960, 1335, 300}, 4, u"",
            u"每一份大小(单位：M)"),
    ButtonAt(cmdSplit, "cmdSplit", Kind::Button, Frame1, u"分 割(&S)", {7320, 1440, 1215, 375}, 5,
             u"把文件分割成若干个分割出的文件（.00、.001、.002……），并写出列表文件（.FLF）"),

    LabelAt(Label1_3, "Label1(3)", Frame2, u"被分割后的首个文件(文件扩展名为 .FLF )",
            {240, 240, 3420, 180}, 14, FontRole::Song, {}, kListWords),
    LinkAt(Label3, "Label3", Frame2, u"浏览...", {3720, 240, 630, 180}, 16,
           u"选择列表文件（.FLF），并据此填入合并后的文件名（Ctrl+O 或 F4）",
           u"浏览：选择列表文件（.FLF）"),
    FieldAt(txtTemplateName, "txtTemplateName", Kind::TextBox, Frame2, u"",
            {240, 480, 8295, 285}, 6, kListWords, u"列表文件（.FLF）"),
    LabelAt(Label1_2, "Label1(2)", Frame2, u"合并后的文件名", {240, 840, 1260, 180}, 15),
    LinkAt(Label5, "Label5", Frame2, u"另存为...", {1560, 840, 810, 180}, 19,
           u"选择合并后的文件名（Ctrl+O 或 F4）", u"另存为：选择合并后的文件名"),
    FieldAt(txtOutputFile, "txtOutputFile", Kind::TextBox, Frame2, u"", {240, 1080, 8295, 285},
            7, u"", u"合并后的文件名"),
    ButtonAt(cmdUnsplit, "cmdUnsplit", Kind::Button, Frame2, u"合 并(&U)",
             {7320, 1440, 1215, 375}, 8,
             u"按列表文件（.FLF）读出每一个分割出的文件，依次写入合并后的文件"),

    LabelAt(Label6, "Label6", Frame4, u"联系：", {2520, 600, 585, 180}, 20, FontRole::SongBold),
    LabelAt(Label7, "Label7", Frame4, u"Korvel 软件工作室", {3120, 600, 0, 0}, 21),
    LabelAt(Label8, "Label8", Frame4, u"ＱＱ：", {2520, 960, 585, 180}, 22, FontRole::SongBold),
    LabelAt(Label9, "Label9", Frame4, u"800012345", {3120, 960, 0, 0}, 23),
    LabelAt(Label10, "Label10", Frame4, u"邮箱：", {2520, 1320, 585, 180}, 24, FontRole::SongBold),
    LabelAt(Label11, "Label11", Frame4, u"support@korvel.example", {3120, 1320, 0, 0}, 25),

    ButtonAt(Command1, "Command1", Kind::Button, None, u"关 闭(&C)", {3960, 3720, 1095, 375}, 9),
    // 15 twips wider than the client area, like Shape1: the window clips it.
    Make(Text1, "Text1", Kind::StatusLine, None, u" 系统空闲！！！", {0, 4200, 8895, 270},
         FontRole::Song, {}, Background::ButtonFace, 26, u"", u"状态"),
};
// clang-format on

}  // namespace

std::span<const ControlLayout> Layout() {
    return kLayout;
}

const ControlLayout& LayoutOf(Control control) {
    const auto found =
        std::find_if(kLayout.begin(), kLayout.end(),
                     [control](const ControlLayout& entry) { return entry.id == control; });
    if (found == kLayout.end()) {
        throw std::out_of_range("no such control in the layout");
    }
    return *found;
}

const FontChoice& Font(FontRole role) {
    return kFonts[static_cast<std::size_t>(role)];
}

bool TakesFocus(Kind kind) {
    switch (kind) {
        case Kind::ModeButton:
        case Kind::Button:
        case Kind::TextBox:
        case Kind::ComboBox:
        case Kind::StatusLine: return true;
        default: return false;
    }
}

bool IsField(Control control) {
    return control != None &&
           (LayoutOf(control).kind == Kind::TextBox || LayoutOf(control).kind == Kind::ComboBox);
}

char16_t AccessKeyOf(std::u16string_view caption) {
    const std::size_t amp = caption.find(u'&');
    if (amp == std::u16string_view::npos || amp + 1 >= caption.size()) {
        return 0;
    }
    const char16_t key = caption[amp + 1];
    return key >= u'a' && key <= u'z' ? static_cast<char16_t>(key - u'a' + u'A') : key;
}

namespace {

struct FieldParts {
    Control field;
    Control label;
    Control chooser;
};
constexpr std::array<FieldParts, 4> kFieldParts = {
    FieldParts{txtFileName, Label1_0, Label4}, FieldParts{Combo1, Label1_1, None},
    FieldParts{txtTemplateName, Label1_3, Label3}, FieldParts{txtOutputFile, Label1_2, Label5}};

const FieldParts* PartsOf(Control field) {
    const auto found =
        std::find_if(kFieldParts.begin(), kFieldParts.end(),
                     [field](const FieldParts& each) { return each.field == field; });
    return found == kFieldParts.end() ? nullptr : &*found;
}

}  // namespace

Control ChooserOf(Control field) {
    const FieldParts* parts = PartsOf(field);
    return parts ? parts->chooser : None;
}

Control LabelOf(Control field) {
    const FieldParts* parts = PartsOf(field);
    return parts ? parts->label : None;
}

std::u16string AccessibleDescription(Control control) {
    std::u16string description(LayoutOf(control).toolTip);
    if (const Control chooser = ChooserOf(control); chooser != None) {
        description += LayoutOf(chooser).toolTip;
    }
    return description;
}

std::span<const Control> TabOrder() {
    static const std::vector<Control> order = [] {
        std::vector<const ControlLayout*> stops;
        for (const ControlLayout& entry : kLayout) {
            if (TakesFocus(entry.kind)) {
                stops.push_back(&entry);
            }
        }
        std::stable_sort(stops.begin(), stops.end(),
                         [](const ControlLayout* a, const ControlLayout* b) {
                             return a->tabIndex < b->tabIndex;
                         });
        std::vector<Control> ids;
        for (const ControlLayout* stop : stops) {
            ids.push_back(stop->id);
        }
        return ids;
    }();
    return order;
}

}  // namespace windowlogic
