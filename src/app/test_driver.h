#pragma once

#include <QString>

class QObject;
class QWidget;

// Drives the program from its command line: "click NAME" runs the click
// handler of the window's button or menu item of that name, "timer NAME"
// starts its timer of that name. Keywords are exact; names ignore case.
// Commands run in command-line order. Without a window, the main window.
int RunTestCommands(QWidget *window = nullptr);

// Calls the click handler of every button and menu item owned by `owner`
// whose name equals `name` ignoring case; one without a handler is reported.
void ClickByName(QObject *owner, const QString &name);
