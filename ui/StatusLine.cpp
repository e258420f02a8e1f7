// SPDX-License-Identifier: GPL-3.0-or-later
#include "StatusLine.h"

#include <QPainter>
#include <algorithm>

StatusLine::StatusLine(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    // The box's own base is see-through, so the face colour and the bar painted first show.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    setPalette(palette);
}

void StatusLine::SetProgress(double fraction) {
    const double clamped = fraction < 0 ? -1 : std::min(fraction, 1.0);
    if (clamped != progress_) {
        progress_ = clamped;
        update();
    }
}

void StatusLine::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Button));
        if (progress_ > 0) {
            QColor bar = palette().color(QPalette::Highlight);
            bar.setAlpha(90);
            painter.fillRect(QRect(0, 0, static_cast<int>(width() * progress_), height()), bar);
        }
    }
    QLineEdit::paintEvent(event);
}

void StatusLine::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    deselect();  // a line edit selects all when tabbed into; this one is only read
}
