#pragma once

#include <QStringList>

#include <optional>

// Command-line switches: bare parameters equal to a word, ignoring letter case,
// with no prefix character; a switch's value is the parameter after it.
// Parameter 0 is the program itself and is never a switch.

// The program's parameters: the real command line, unless a test replaced it.
QStringList ProgramParameters();

// Replaces the parameters seen by the functions below (tests only); nullopt
// restores the real command line.
void SetProgramParametersOverride(std::optional<QStringList> parameters);

bool HasSwitch(const QString &word);
QString SwitchValue(const QString &word);
int SwitchInt(const QString &word, int defaultValue);

// The same rules over an explicit parameter list (element 0 is the program).
bool HasSwitch(const QStringList &parameters, const QString &word);
QString SwitchValue(const QStringList &parameters, const QString &word);
int SwitchInt(const QStringList &parameters, const QString &word, int defaultValue);

// Lower-casing as the system's locale does it; file names and switch words are
// compared through it.
QString LocaleLower(const QString &text);
