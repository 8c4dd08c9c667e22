#include "foundation/file_read.h"

#include "foundation/errors.h"
#include "foundation/safe_write.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

QString QuotedPath(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

QByteArray ReadWholeFile(const QString &path, qint64 maxBytes, const QString &purpose)
{
    return ReadWholeFile(path, maxBytes, purpose, nullptr);
}

QByteArray ReadWholeFile(const QString &path, qint64 maxBytes, const QString &purpose,
                         const std::function<void(qint64, qint64)> &progress)
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
    QByteArray bytes;
    if (!progress) {
        bytes = file.readAll();
    } else {
        // Blocks into a buffer sized once; a file that grew is read on to its end.
        constexpr qint64 Block = 8 * 1024 * 1024;
        const qint64 expected = info.size();
        bytes.resize(expected);
        qint64 done = 0;
        while (done < expected) {
            const qint64 got = file.read(bytes.data() + done, std::min(Block, expected - done));
            if (got <= 0)
                break;
            done += got;
            progress(done, expected);
        }
        bytes.resize(done);
        if (done == expected && file.error() == QFileDevice::NoError)
            bytes += file.readAll();
    }
    if (file.error() != QFileDevice::NoError)
        throw AppError(
            QStringLiteral("Cannot read %1: %2").arg(QuotedPath(path), file.errorString()));
    // The file may have grown since it was measured.
    if (bytes.size() > maxBytes)
        throw AppError(QStringLiteral("%1 is too large to %2.").arg(QuotedPath(path), purpose));
    return bytes;
}
