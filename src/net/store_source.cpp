#include "net/store_source.h"

#include "foundation/errors.h"

#include <QBuffer>
#include <QFile>

std::unique_ptr<QIODevice> StoreSourceFile(const QString &localPath)
{
    auto file = std::make_unique<QFile>(localPath);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw AppError(
            QStringLiteral("Cannot read file %1: %2").arg(localPath, file->errorString()));
    return file;
}

std::unique_ptr<QIODevice> StoreSourceBytes(const QByteArray &content)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(content);
    buffer->open(QIODevice::ReadOnly);
    return buffer;
}
