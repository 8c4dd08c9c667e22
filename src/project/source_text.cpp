#include "project/source_text.h"

#include "foundation/file_read.h"
#include "foundation/text_encoding.h"

#include <algorithm>
#include <cstring>

QByteArray ReadSourceFile(const QString &path)
{
    return ReadWholeFile(path, MaxSourceBytes, QStringLiteral("read"));
}

bool LooksBinary(const char *data, qsizetype size)
{
    return std::memchr(data, 0, size_t(std::min(size, BinaryProbeBytes))) != nullptr;
}

SourceEncoding DetectSourceEncoding(const char *data, qsizetype size)
{
    const auto *s = reinterpret_cast<const unsigned char *>(data);
    const bool bom = size >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF;
    const qsizetype start = bom ? 3 : 0;
    if (text_encoding::isValidUtf8(data + start, size - start))
        return {start, true};
    return {0, false};
}

SourceEncoding DetectSourceEncoding(const QByteArray &bytes)
{
    return DetectSourceEncoding(bytes.constData(), bytes.size());
}

QString DecodeSource(const char *data, qsizetype size, const SourceEncoding &encoding)
{
    return encoding.utf8 ? QString::fromUtf8(data, size) : QString::fromLatin1(data, size);
}

QString TrimControls(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= 32)
        ++first;
    while (last > first && text.at(last - 1).unicode() <= 32)
        --last;
    return first == 0 && last == text.size() ? text : text.mid(first, last - first);
}
