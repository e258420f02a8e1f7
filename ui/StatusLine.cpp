// SPDX-License-Identifier: GPL-3.0-or-later
#include "StatusLine.h"

#include <QAccessible>
#include <QPainter>
#include <algorithm>

#include "Drawing.h"

namespace {

windowlogic::Rgb RgbOf(const QColor& colour) {
    return {static_cast<std::uint8_t>(colour.red()), static_cast<std::uint8_t>(colour.green()),
            static_cast<std::uint8_t>(colour.blue())};
}

}  // namespace

StatusLine::StatusLine(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    // The box's own base is see-through, so the face colour and the bar painted first show.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    setPalette(palette);
}

void StatusLine::SetProgress(double fraction) {
    const double clamped = windowlogic::ClampProgress(fraction);
    if (clamped != progress_) {
        progress_ = clamped;
        update();
    }
    if (const std::optional<int> told =
            reading_.Next(fraction, windowlogic::ProgressReading::Clock::now())) {
        toldPercent_ = *told;
        setAccessibleDescription(QString::fromStdU16String(windowlogic::ProgressWords(*told)));
        if (QAccessible::isActive()) {
            QAccessibleValueChangeEvent changed(this, std::max(*told, 0));
            QAccessible::updateAccessibility(&changed);
        }
    }
}

void StatusLine::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Button));
        if (progress_ > 0) {
            const windowlogic::Rgb bar =
                windowlogic::ProgressFill(RgbOf(palette().color(QPalette::Button)),
                                          RgbOf(palette().color(QPalette::Highlight)));
            painter.fillRect(QRect(0, 0, static_cast<int>(width() * progress_), height()),
                             QColor(bar.red, bar.green, bar.blue));
        }
    }
    QLineEdit::paintEvent(event);
}

void StatusLine::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    deselect();  // a line edit selects all when tabbed into; this one is only read
}
