#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// The two rules that tell a PHP function declaration line, and the order in
// which the project functions list shows its rows. Project::ScanFunctions
// applies the project rule to every project file.

// Project rule: the line, trimmed of characters with codes of 32 or less,
// begins with "function " (case-sensitive).
bool IsProjectFunctionLine(const QString &line);
// Current-file rule: "function " occurs anywhere in the line.
bool IsFileFunctionLine(const QString &line);

// Appends the declaration lines of a file's bytes under the project rule,
// untrimmed and in file order. A NUL is an ordinary character.
void AppendProjectFunctionLines(const char *bytes, qsizetype size, QStringList &lines);
void AppendProjectFunctionLines(const QByteArray &bytes, QStringList &lines);
// The declaration lines of a document's text under the current-file rule.
QStringList FileFunctionLines(const QString &text);

// The order of the list's exchange sort over `texts`: for each row i in turn,
// every later row j whose text is smaller (unsigned code-point order, a prefix
// before its extensions) is exchanged with row i. Element k of the result is
// the index in `texts` of the row that ends at position k. Equal texts end in
// the order that exact procedure leaves them, which is not always their
// original one; the result is the same, only reached in far fewer steps.
std::vector<int> SortRows(const QStringList &texts);
