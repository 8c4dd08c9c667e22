#pragma once

#include <QString>
#include <QStringList>

// The differences between two versions of a text, line by line, in the
// unified form ("-" only in the first, "+" only in the second, " " in both,
// with up to `context` unchanged lines around each change and "@@" lines
// giving where a hunk starts). Texts with too many differing lines to match
// up in reasonable time show their differing middle as removed, then added.
QString UnifiedLineDiff(const QStringList &first, const QStringList &second, int context = 3);
