#include "foundation/file_read.h"

#include "foundation/errors.h"
#include "foundation/safe_write.h"

#include <QFile>
#include <QFileInfo>

QString QuotedPath(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

QByteArray ReadWholeFile(const QString &path, qint64 maxBytes, const QString &purpose)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw AppError(QStringLiteral("File not found: %1").arg(QuotedPath(path)));
    // Devices and pipes would never end or would block the window.
    if (!info.isFile())
        throw AppError(QStringLiteral("%1 is %2, not a regular file.")
                           .arg(QuotedPath(path), FileKindName(path)));
    if (info.size() > maxBytes)
        throw AppError(QStringLiteral("%1 is too large to %2 (%3 MB; the limit is %4 MB).")
                           .arg(QuotedPath(path), purpose)
                           .arg(info.size() / (1024 * 1024))
                           .arg(maxBytes / (1024 * 1024)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(
            QStringLiteral("Cannot open %1: %2").arg(QuotedPath(path), file.errorString()));
    // readAll sizes its buffer from the file once; read(max) would reserve
    // the whole limit and then copy the text into a smaller buffer.
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AppError(
            QStringLiteral("Cannot read %1: %2").arg(QuotedPath(path), file.errorString()));
    // The file may have grown since it was measured.
    if (bytes.size() > maxBytes)
        throw AppError(QStringLiteral("%1 is too large to %2.").arg(QuotedPath(path), purpose));
    return bytes;
}
