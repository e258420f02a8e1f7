// SPDX-License-Identifier: GPL-3.0-or-later
#include "EventHook.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

namespace {

// The character code a key types, 13 for Enter, or 0 when it types nothing.
std::int16_t CharacterCode(const QKeyEvent& key) {
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) {
        return 13;
    }
    return key.text().isEmpty() ? 0 : static_cast<std::int16_t>(key.text().at(0).unicode());
}

}  // namespace

bool EventHook::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::FocusIn:
            if (gotFocus) {
                gotFocus();
                // A click places the caret after the focus arrives; select again after it.
                if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason) {
                    QTimer::singleShot(0, this, [this] { gotFocus(); });
                }
            }
            break;
        case QEvent::InputMethod:
            if (refusesInput && refusesInput()) {
                return true;
            }
            break;
        case QEvent::KeyPress: {
            if (refusesInput && refusesInput()) {
                return true;
            }
            const auto* key = static_cast<QKeyEvent*>(event);
            if (keyDown && keyDown(*key)) {
                return true;
            }
            std::int16_t code = CharacterCode(*key);
            if (keyPress && code != 0) {
                keyPress(code);
                if (code == 0) {
                    return true;  // the handler discarded the key
                }
            }
            break;
        }
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (click && mouse->button() == Qt::LeftButton &&
                static_cast<QWidget*>(watched)->rect().contains(mouse->position().toPoint())) {
                click();
            }
            break;
        }
        default: break;
    }
    return QObject::eventFilter(watched, event);
}

EventHook* Hook(QWidget* widget) {
    auto* hook = new EventHook(widget);
    widget->installEventFilter(hook);
    return hook;
}
