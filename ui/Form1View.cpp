// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1View.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>

using windowlogic::Control;

namespace {

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

// The line a field types into: the combo box's own for Combo1.
QLineEdit* LineOf(QWidget* widget) {
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        return combo->lineEdit();
    }
    return qobject_cast<QLineEdit*>(widget);
}

}  // namespace

std::u16string Form1::Adapter::Text(Control control) const {
    QWidget* widget = form_.Widget(control);
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        return combo->currentText().toStdU16String();
    }
    if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        return line->text().toStdU16String();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text().toStdU16String();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text().toStdU16String();
    }
    if (auto* panel = qobject_cast<QGroupBox*>(widget)) {
        return panel->title().toStdU16String();
    }
    return {};
}

void Form1::Adapter::SetText(Control control, const std::u16string& text) {
    QWidget* widget = form_.Widget(control);
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setEditText(Q(text));
    } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        line->setText(Q(text));
    }
}

void Form1::Adapter::AddItem(Control list, const std::u16string& item) {
    auto* combo = qobject_cast<QComboBox*>(form_.Widget(list));
    // Adding to an empty list would show the new item: the text stays as it was, and the item
    // that matches it is the current one.
    const QString shown = combo->currentText();
    combo->addItem(Q(item));
    combo->setCurrentIndex(combo->findText(shown));
    combo->setEditText(shown);
}

void Form1::Adapter::SetSelection(Control field, int start, int length) {
    if (QLineEdit* line = LineOf(form_.Widget(field))) {
        line->setSelection(start, length);
    }
}

void Form1::Adapter::SetFocus(Control control) {
    form_.Widget(control)->setFocus(Qt::OtherFocusReason);
}

Control Form1::Adapter::Focused() const {
    // The window's own focus, which it keeps while a box or another program has the desktop's.
    const QWidget* focused = form_.focusWidget();
    for (int i = 1; i < windowlogic::kControlCount; ++i) {
        const auto control = static_cast<Control>(i);
        QWidget* widget = form_.Widget(control);
        if (widget && (widget == focused || widget->focusProxy() == focused ||
                       (LineOf(widget) && LineOf(widget) == focused))) {
            return control;
        }
    }
    return Control::None;
}

void Form1::Adapter::SetVisible(Control control, bool visible) {
    form_.Widget(control)->setVisible(visible);
}

void Form1::Adapter::SetChecked(Control mode) {
    static_cast<QAbstractButton*>(form_.Widget(mode))->setChecked(true);
}

void Form1::Adapter::SetEnabled(Control control, bool enabled) {
    form_.Widget(control)->setEnabled(enabled);
}

void Form1::Adapter::SetBusyCursor(bool busy) {
    // Over every control of the window and its links, which have a pointer of their own;
    // the arrow stays, for the close button is still live.
    if (busy && !busyCursor_) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
    } else if (!busy && busyCursor_) {
        QApplication::restoreOverrideCursor();
    }
    busyCursor_ = busy;
}

void Form1::Adapter::SetProgress(double fraction) {
    form_.Text1->SetProgress(fraction);
}

void Form1::Adapter::Close() {
    // Boxes of the window close with it: a box left open would keep the program running.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != &form_ && window->isVisible() && window->parentWidget() == &form_) {
            window->close();
        }
    }
    form_.close();
}

int Form1::Adapter::MsgBox(const std::u16string& prompt, int style, const std::u16string& title) {
    return platform_.MsgBox(&form_, Q(prompt), style, Q(title));
}

std::u16string Form1::Adapter::ShowFileDialog(const windowlogic::FileDialogRequest& request) {
    platform::CommonDialog& dialog = form_.CMD;
    dialog.FileName = Q(request.fileName);
    dialog.DialogTitle = Q(request.title);
    dialog.Filter = Q(request.filter);
    dialog.FilterIndex = request.filterIndex;
    dialog.InitDir = Q(request.folder);
    dialog.SetAction(request.kind);
    return dialog.FileName.toStdU16String();
}

bool Form1::Adapter::FileExists(const std::u16string& path) {
    return platform::FileExists(Q(path));
}

bool Form1::Adapter::IsFile(const std::u16string& path) {
    return platform::IsFile(Q(path));
}

bool Form1::Adapter::IsFolder(const std::u16string& path) {
    return platform::IsFolder(Q(path));
}

std::u16string Form1::Adapter::FolderOf(const std::u16string& path) {
    return platform::FolderOf(Q(path)).toStdU16String();
}

void Form1::Adapter::Post(windowlogic::LifetimeToken owner, std::function<void()> call) {
    // Queued on the window's thread; dropped if the window or the call's owner has gone by then.
    QMetaObject::invokeMethod(
        &form_,
        [owner = std::move(owner), call = std::move(call)] {
            if (!owner.expired()) {
                call();
            }
        },
        Qt::QueuedConnection);
}
