#pragma once

#include <QList>
#include <QString>

class QObject;
class QWidget;

// Drives the program from its command line: "click NAME" runs the click
// handler of every button and menu item of that name, "timer NAME" starts
// every timer of that name. Keywords are exact; names ignore case. Commands
// run in command-line order over `windows` in turn, the main window first and
// then the secondary windows; an empty list means the main window alone.
int RunTestCommands(const QList<QWidget *> &windows = {});

// Calls the click handler of every button and menu item owned by `owner`
// whose name equals `name` ignoring case; one without a handler is reported.
void ClickByName(QObject *owner, const QString &name);
