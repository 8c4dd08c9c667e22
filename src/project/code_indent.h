#pragma once

#include <QStringList>

// Re-indents source lines by counting curly braces, four blanks a level. It
// knows no syntax: braces in strings and comments count too, a line moves the
// level by at most one each way, a closing line is written one level out and
// the level never goes below none. Every line loses its old indentation and
// trailing blanks; running it on its own result changes nothing.
QStringList IndentLines(const QStringList &lines);
