// SPDX-License-Identifier: GPL-3.0-or-later
#include "Accessibility.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <algorithm>

#include "StatusLine.h"

namespace accessibility {

namespace {

// Named by its accessible name or its label, valued by its text, on every system.
class ComboBoxReading : public QAccessibleWidget {
  public:
    explicit ComboBoxReading(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            return static_cast<QComboBox*>(widget())->currentText();
        }
        return QAccessibleWidget::text(t);
    }
};

// A mode button: one of a group of radio buttons, which a reader presses as a click does (Qt's
// own reading toggles it without a click, and the window would not switch panels).
class ModeButtonReading : public QAccessibleWidget {
  public:
    explicit ModeButtonReading(QAbstractButton* button)
        : QAccessibleWidget(button, QAccessible::RadioButton) {}
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? Button()->text() : QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = Button()->isChecked();
        return state;
    }
    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == pressAction()) {
            Button()->click();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }

  private:
    QAbstractButton* Button() const { return static_cast<QAbstractButton*>(widget()); }
};

// A status bar named "状态" whose text is the status line's and whose value is the percent of
// the work done that was last told (StatusLine::ToldPercent), 0 while nothing runs.
class StatusLineReading : public QAccessibleWidget,
                          public QAccessibleTextInterface,
                          public QAccessibleValueInterface {
  public:
    explicit StatusLineReading(StatusLine* line)
        : QAccessibleWidget(line, QAccessible::StatusBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        return state;
    }

    // Text: read only, nothing selected.
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return Line()->cursorPosition(); }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override {
        return Line()->text().mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(Line()->text().size()); }
    QRect characterRect(int offset) const override {
        const QString shown = Line()->text();
        if (offset < 0 || offset >= shown.size()) {
            return {};
        }
        const QFontMetrics metrics(Line()->font());
        const QRect inside = Line()->contentsRect();
        const QPoint at(inside.left() + metrics.horizontalAdvance(shown.left(offset)), 0);
        return {Line()->mapToGlobal(at),
                QSize(metrics.horizontalAdvance(shown.at(offset)), Line()->height())};
    }
    int offsetAtPoint(const QPoint& point) const override {
        return Line()->cursorPositionAt(Line()->mapFromGlobal(point));
    }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

    // Value: the percent of the work done.
    QVariant currentValue() const override {
        return std::max(static_cast<StatusLine*>(widget())->ToldPercent(), 0);
    }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

    using QAccessibleWidget::text;

  private:
    QLineEdit* Line() const { return static_cast<QLineEdit*>(widget()); }
};

QAccessibleInterface* Reading(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) {
        return nullptr;
    }
    if (auto* line = dynamic_cast<StatusLine*>(widget)) {
        return new StatusLineReading(line);
    }
    const QVariant role = widget->property(kRole);
    if (!role.isValid()) {
        return nullptr;
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        return new ComboBoxReading(combo);
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return new ModeButtonReading(button);
    }
    return new QAccessibleWidget(widget, static_cast<QAccessible::Role>(role.toInt()));
}

}  // namespace

void Install() {
    static const bool installed = [] {
        QAccessible::installFactory(Reading);
        return true;
    }();
    (void)installed;
}

}  // namespace accessibility
