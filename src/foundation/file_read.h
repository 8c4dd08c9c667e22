#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Reads a whole file for the editor or a search, refusing what would never
// end or not fit: a missing path, a folder, a device or pipe, a file over
// `maxBytes`. Every refusal and read error is an AppError naming the file;
// `purpose` completes "too large to ..." ("open", "read").
QByteArray ReadWholeFile(const QString &path, qint64 maxBytes, const QString &purpose);
// The same, read in blocks with `progress(bytes read, file size)` after each;
// whatever `progress` throws ends the read.
QByteArray ReadWholeFile(const QString &path, qint64 maxBytes, const QString &purpose,
                         const std::function<void(qint64, qint64)> &progress);

// The path in double quotes, as error messages show it.
QString QuotedPath(const QString &path);
