#pragma once

#include <QMetaType>
#include <QObject>

#include <functional>

// Every entry from Qt into the program (a menu item, a button, a timer, a key,
// an activation, a signal) runs its handler through RunGuarded, so no
// exception crosses the event loop: what a handler throws is shown in the
// standard error box and the program goes on. Every window and dialog uses
// this one guard.
void RunGuarded(const std::function<void()> &handler);

// The click handler of a menu item or button, kept on the component so the UI
// test driver can call it directly, as a click would, with the component as sender.
using ClickFunction = std::function<void(QObject *sender)>;

struct ClickHandler {
    ClickFunction function;
};
Q_DECLARE_METATYPE(ClickHandler)

// Stores the handler on the component and connects the component's own click
// (an action's triggered, a button's clicked) to it through the guard.
void SetClickHandler(QObject *component, ClickFunction handler);
// The stored handler, or an empty function when the component has none.
ClickFunction ClickHandlerOf(const QObject *component);
