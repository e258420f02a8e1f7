// SPDX-License-Identifier: GPL-3.0-or-later
// The drawing rules both windows follow: twips as pixels, the face chosen for a font, the
// status line's fill and what a reader hears of it, and the tab order.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "Drawing.h"
#include "Layout.h"
#include "WindowTestHelpers.h"

using namespace windowlogic;
using window_tests::Utf8;

TEST(LayoutDrawing, twips_become_pixels_at_the_screens_resolution_a_half_rounding_up) {
    struct Row {
        int twips;
        double dpi;
        int pixels;
    };
    for (const Row& row :
         {Row{kClientWidth, 96, 592}, Row{kClientHeight, 96, 299}, Row{7, 96, 0}, Row{8, 96, 1},
          Row{1215, 144, 122}, Row{1200, 120, 100}, Row{1215, 192, 162}}) {
        EXPECT_EQ(TwipsToPixels(row.twips, row.dpi), row.pixels) << row.twips << " at " << row.dpi;
    }
}

TEST(LayoutDrawing, the_preferred_face_is_the_first_installed_one_with_a_bold_of_its_own) {
    constexpr std::array<std::u16string_view, 3> faces = {u"A", u"B", u"C"};
    const std::set<std::u16string_view> installed = {u"B", u"C"};
    auto isInstalled = [&](std::u16string_view face) { return installed.contains(face); };
    auto bold = [](std::u16string_view face) { return face == u"C"; };
    auto none = [](std::u16string_view) { return false; };

    EXPECT_EQ(PreferredFace(faces, isInstalled, bold), u"C");
    EXPECT_EQ(PreferredFace(faces, isInstalled, none), u"B") << "none has a bold of its own";
    EXPECT_EQ(PreferredFace(faces, isInstalled), u"B") << "the window cannot tell";
    EXPECT_EQ(PreferredFace(faces, none, bold), std::nullopt);
}

TEST(LayoutDrawing, the_fill_lays_the_selection_colour_over_the_face_at_90_of_255) {
    // Measured here: Qt's painter laid the offscreen palette's highlight at alpha 90 over its
    // button face as 172, 204, 225.
    EXPECT_EQ(ProgressFill({239, 239, 239}, {48, 140, 198}), (Rgb{172, 204, 225}));
    EXPECT_EQ(ProgressFill({10, 20, 30}, {10, 20, 30}), (Rgb{10, 20, 30}));
    EXPECT_EQ(ProgressFill({0, 0, 0}, {255, 255, 255}), (Rgb{90, 90, 90}));
}

TEST(LayoutDrawing, the_fill_stops_at_the_whole_line_and_any_negative_fraction_takes_it_away) {
    EXPECT_EQ(ClampProgress(0.25), 0.25);
    EXPECT_EQ(ClampProgress(1.5), 1.0);
    EXPECT_EQ(ClampProgress(-0.001), -1.0);
    EXPECT_EQ(ClampProgress(0), 0.0);
}

TEST(LayoutDrawing, fields_are_the_text_boxes_and_the_combo_box) {
    std::vector<Control> fields;
    for (const ControlLayout& entry : Layout()) {
        if (IsField(entry.id)) {
            fields.push_back(entry.id);
        }
    }
    using enum Control;
    EXPECT_EQ(fields, (std::vector<Control>{txtFileName, Combo1, txtTemplateName, txtOutputFile}));
    EXPECT_FALSE(IsField(None));
}

TEST(LayoutDrawing, a_reader_hears_the_fill_in_whole_percents_at_most_four_times_a_second) {
    using namespace std::chrono_literals;
    struct Row {
        double fraction;
        std::chrono::milliseconds at;
        std::optional<int> told;
    };
    ProgressReading reading;
    const auto start = ProgressReading::Clock::time_point{} + 1h;
    for (const Row& row :
         {Row{0.0, 0ms, 0}, Row{0.004, 1ms, std::nullopt}, Row{0.2, 100ms, std::nullopt},
          Row{0.3, 250ms, 30}, Row{0.31, 300ms, std::nullopt}, Row{0.31, 600ms, 31},
          Row{0.5, 610ms, std::nullopt}, Row{1.0, 620ms, 100}, Row{-1, 630ms, -1},
          Row{0.05, 640ms, 5}}) {
        EXPECT_EQ(reading.Next(row.fraction, start + row.at), row.told)
            << row.fraction << " at " << row.at.count() << " ms";
    }
    EXPECT_EQ(Utf8(ProgressWords(42)), "已完成 42%");
    EXPECT_EQ(ProgressWords(-1), u"");
}
