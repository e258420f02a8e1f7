// SPDX-License-Identifier: GPL-3.0-or-later
// The window's layout as data: every control with its kind, caption, rectangle in twips, font
// role, colours, tab index and panel. A window draws itself from this table; nothing else in
// any window repeats a caption or a position.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Controls.h"

namespace windowlogic {

enum class Kind {
    Shape,       // a filled rectangle
    Image,       // the window's picture
    Label,       // sized to its caption
    Link,        // a label that runs a file chooser when clicked, with a pointing hand
    ModeButton,  // one of three push-like option buttons choosing the panel
    Panel,       // a frame with a caption, holding controls
    Button,      // a push button; "&" marks its access key
    TextBox,     // one line of editable text
    ComboBox,    // editable text with a drop-down list
    StatusLine,  // one line of text the user reads but cannot edit; it can take the focus
};

// 1/1440 inch; 15 twips make a pixel at 96 dots per inch.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;  // for a label: the size its caption gives with its own font
    int height = 0;
};

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

enum class FontRole {
    Song,      // the window's default font
    SongBold,  // captions of buttons, panels and the help panel's headings
    SongLink,  // the choosers' links: underlined
    KaiTitle,  // the title in the white band
};

struct FontChoice {
    // Faces in order of preference; a window takes the first one installed, and among the Song
    // faces the first one that has a bold of its own (so that bold captions show).
    std::span<const std::u16string_view> faces;
    double points = 9;
    bool bold = false;
    bool underline = false;
};

enum class Background {
    Default,      // the kind's own: a text box's base, a button's face
    ButtonFace,   // the system colour of a button's face, as the window's own background
    White,        // the title band
    Transparent,  // labels show what lies beneath them
};

struct ControlLayout {
    Control id = Control::None;
    std::string_view name;  // the control's name in the window's code, e.g. "txtFileName"
    Kind kind = Kind::Label;
    Control panel = Control::None;  // the panel holding it; None for the window itself
    std::u16string_view caption;    // caption or initial text
    TwipsRect rect;                 // from the top-left corner of the window's client area
                                    // or of the panel's outer edge
    FontRole font = FontRole::Song;
    std::optional<Rgb> colour;  // the text colour, or a shape's fill; none: the system's
    Background background = Background::Default;
    int tabIndex = -1;  // its place in the tab order; -1 for none
    std::u16string_view toolTip;
    std::u16string_view accessibleName;  // what a screen reader says when no caption does
};

inline constexpr int kClientWidth = 8880;
inline constexpr int kClientHeight = 4485;
inline constexpr std::u16string_view kWindowCaption = u"Korvel文件分割器";
// Combo1's list, in the order Form_Load adds it.
inline constexpr std::array<std::u16string_view, 6> kPieceSizes = {u"1",   u"16",  u"32",
                                                                   u"128", u"256", u"512"};
// The panel showing, and its mode button selected, when the window opens.
inline constexpr Control kStartPanel = Control::Frame1;

// Every control, parents before the controls they hold.
std::span<const ControlLayout> Layout();
const ControlLayout& LayoutOf(Control control);
const FontChoice& Font(FontRole role);

// True for the kinds that can take the keyboard focus.
bool TakesFocus(Kind kind);
// True for the controls the user types into (text boxes and the combo box), which select their
// whole text when they get the focus; false for None.
bool IsField(Control control);
// The controls that take the focus, in the order Tab visits them.
std::span<const Control> TabOrder();

// The key that, with Alt, presses a button: the letter after "&" in its caption, in upper case;
// 0 when the caption has none.
char16_t AccessKeyOf(std::u16string_view caption);
// The link whose file chooser fills a path field (Ctrl+O and F4 in the field open it too); None
// for every other control.
Control ChooserOf(Control field);
// The label in front of a field, which names it as a screen reader reads it; None for every
// other control.
Control LabelOf(Control field);
// What a screen reader says of a control after its name and role: its tooltip, and for a path
// field also how the keyboard opens its chooser (the link's tooltip).
std::u16string AccessibleDescription(Control control);

// The three panels and the mode button that shows each.
struct PanelMode {
    Control mode;
    Control panel;
};
inline constexpr std::array<PanelMode, 3> kPanels = {PanelMode{Control::Option1, Control::Frame1},
                                                     PanelMode{Control::Option2, Control::Frame2},
                                                     PanelMode{Control::Option3, Control::Frame4}};

}  // namespace windowlogic
