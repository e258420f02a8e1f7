// SPDX-License-Identifier: GPL-3.0-or-later
#include "Drawing.h"

#include <algorithm>
#include <cmath>

#include "Texts.h"

namespace windowlogic {

int TwipsToPixels(int twips, double dotsPerInch) {
    return static_cast<int>(std::lround(twips * dotsPerInch / 1440.0));
}

std::optional<std::u16string_view> PreferredFace(std::span<const std::u16string_view> faces,
                                                 const FaceTest& installed,
                                                 const FaceTest& ownBold) {
    std::optional<std::u16string_view> first;
    for (std::u16string_view face : faces) {
        if (!installed(face)) {
            continue;
        }
        if (!ownBold || ownBold(face)) {
            return face;
        }
        if (!first) {
            first = face;
        }
    }
    return first;
}

Rgb ProgressFill(Rgb face, Rgb selection) {
    // Each share rounded to the nearest level, as Qt's painter blends a colour of alpha 90.
    auto mix = [](int under, int over) {
        return static_cast<std::uint8_t>((over * 90 + 127) / 255 + (under * 165 + 127) / 255);
    };
    return {mix(face.red, selection.red), mix(face.green, selection.green),
            mix(face.blue, selection.blue)};
}

double ClampProgress(double fraction) {
    return fraction < 0 ? -1 : std::min(fraction, 1.0);
}

LabelLines LabelLinesFor(int height, int underlineOffset, int underlineThickness) {
    const int baseline = static_cast<int>(std::lround(height * 0.88));
    return {baseline,
            std::max(0, std::min(baseline + underlineOffset, height - underlineThickness))};
}

std::optional<int> ProgressReading::Next(double fraction, Clock::time_point now) {
    const double shown = ClampProgress(fraction);
    const int percent = shown < 0 ? -1 : static_cast<int>(shown * 100);
    if (percent == told_) {
        return std::nullopt;
    }
    const bool edge = percent == -1 || told_ == -1 || percent == 100;
    if (!edge && now - toldAt_ < kEvery) {
        return std::nullopt;
    }
    told_ = percent;
    toldAt_ = now;
    return percent;
}

std::u16string ProgressWords(int percent) {
    if (percent < 0) {
        return {};
    }
    const std::string digits = std::to_string(percent);
    return std::u16string(texts::kProgressDone) + std::u16string(digits.begin(), digits.end()) +
           u"%";
}

}  // namespace windowlogic
