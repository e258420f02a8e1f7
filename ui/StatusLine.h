// SPDX-License-Identifier: GPL-3.0-or-later
// The status line: a locked one-line text box whose background fills from the left with the
// work done while a long split or merge runs. The text itself is untouched. It takes the focus
// in its turn, but selects nothing when it does. A screen reader hears the work done as its
// value and description (ui/Accessibility.h), a few times a second.
#pragma once

#include <QLineEdit>

#include "Drawing.h"

class StatusLine : public QLineEdit {
  public:
    explicit StatusLine(QWidget* parent);
    // Fraction of the work done, 0 to 1; a negative value hides the bar.
    void SetProgress(double fraction);
    double Progress() const { return progress_; }
    // The percent of the work done last told to a screen reader; -1 while nothing runs.
    int ToldPercent() const { return toldPercent_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    double progress_ = -1;
    windowlogic::ProgressReading reading_;
    int toldPercent_ = -1;
};
