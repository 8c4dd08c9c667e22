#pragma once

#include <QList>
#include <QString>

#include <functional>

class QObject;
class QWidget;

// Drives the program from its command line: "click NAME" runs the click
// handler of every button and menu item of that name, "timer NAME" starts
// every timer of that name. Keywords are exact; names ignore case. Commands
// run in command-line order over `windows` in turn, the main window first and
// then the secondary windows; an empty list means the main window alone.
// An error in one command is shown in the standard error box and the next
// command still runs. While `busy` says work a command started in the
// background goes on, the next command waits for it, processing events.
int RunTestCommands(const QList<QWidget *> &windows = {}, const std::function<bool()> &busy = {});

// Calls the click handler of every button and menu item owned by `owner`
// whose name equals `name` ignoring case; one without a handler is reported.
void ClickByName(QObject *owner, const QString &name);
