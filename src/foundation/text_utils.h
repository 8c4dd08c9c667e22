#pragma once

#include <QString>
#include <QStringList>

// Cuts `text` at every occurrence of `separator` into `list`, which is emptied
// first. Empty parts are kept ("a/b/" gives "a", "b", ""); an empty text gives
// an empty list. An empty separator is refused with AppError.
void SplitByDelimiter(const QString &text, const QString &separator, QStringList &list);
