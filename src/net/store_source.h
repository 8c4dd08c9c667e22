#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QIODevice;

// What a store reads from: the local file, opened unbuffered, or the bytes
// of it already read, shared rather than copied. Opening the file throws
// AppError ("Cannot read file ...").
std::unique_ptr<QIODevice> StoreSourceFile(const QString &localPath);
std::unique_ptr<QIODevice> StoreSourceBytes(const QByteArray &content);
