// SPDX-License-Identifier: GPL-3.0-or-later
// How every window draws the layout: twips as pixels, the face a font role takes, and the
// status line's fill. A window asks its toolkit what is installed and which colours the system
// uses; the rules that turn those answers into a drawing live here, once.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Layout.h"

namespace windowlogic {

// Pixels for a length in twips at a resolution, rounded to the nearest pixel (a half away from
// zero): 15 twips a pixel at 96 dots per inch.
int TwipsToPixels(int twips, double dotsPerInch);

// Whether a face is installed, or has a bold of its own, as a window's toolkit tells it.
using FaceTest = std::function<bool(std::u16string_view face)>;

// The first installed face of the list, and where the window can tell (ownBold given) the first
// installed one that has a bold of its own before it, so that bold captions show. None when no
// face of the list is installed.
std::optional<std::u16string_view> PreferredFace(std::span<const std::u16string_view> faces,
                                                 const FaceTest& installed,
                                                 const FaceTest& ownBold = {});

// The status line's fill: the selection colour laid over the button face at 90/255.
Rgb ProgressFill(Rgb face, Rgb selection);

// How much of the fill shows for a fraction of the work done: at most the whole line; any
// negative fraction is -1, no fill at all.
double ClampProgress(double fraction);

// Where a label's text sits in the layout's height, which is the font's em (9 points) and less
// than its line: the baseline 88 % of the way down, as an ideograph's em box sits on it, and a
// link's underline on the first rows below the baseline that the label still holds, so that
// nothing of it reaches the field beneath.
struct LabelLines {
    int baseline = 0;
    int underline = 0;  // the underline's top row
};
LabelLines LabelLinesFor(int height, int underlineOffset, int underlineThickness);

// What a screen reader hears of the fill, as the status line's value and description: whole
// percents, told at most four times a second, and at once when the fill comes or goes or is
// full, so that a reader keeps up without being flooded.
class ProgressReading {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kEvery = std::chrono::milliseconds(250);

    // The percent to tell now for a fraction of the work done, -1 when the fill has gone; none
    // when it is what was told last, or too soon after it.
    std::optional<int> Next(double fraction, Clock::time_point now);

  private:
    int told_ = -1;
    Clock::time_point toldAt_{};
};

// The status line's description for a percent told: "已完成 42%"; empty for -1.
std::u16string ProgressWords(int percent);

}  // namespace windowlogic
