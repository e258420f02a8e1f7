// SPDX-License-Identifier: GPL-3.0-or-later
// Routes a widget's focus, key and click events to the window's handlers, so each handler is a
// plain member function named after its control and event.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>

class QKeyEvent;
class QWidget;

class EventHook : public QObject {
  public:
    // The widget received the focus, however it came.
    std::function<void()> gotFocus;
    // A key went down; answering true uses it up, before any character it types.
    std::function<bool(const QKeyEvent& key)> keyDown;
    // A character was typed, 13 for Enter; setting the code to 0 discards the key.
    std::function<void(std::int16_t& keyAscii)> keyPress;
    // The left button was pressed and released over the widget.
    std::function<void()> click;
    // While this answers true the widget takes no keys and no text from an input method.
    std::function<bool()> refusesInput;

    explicit EventHook(QObject* parent) : QObject(parent) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Installs a new hook on the widget; the widget owns it.
EventHook* Hook(QWidget* widget);
