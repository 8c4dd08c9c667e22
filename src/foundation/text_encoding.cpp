#include "foundation/text_encoding.h"

#include <cstring>

namespace text_encoding {

namespace {

inline bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

} // namespace

bool isValidUtf8(const char *data, qsizetype size)
{
    return invalidUtf8Offset(data, size) < 0;
}

qsizetype invalidUtf8Offset(const char *data, qsizetype size)
{
    const auto *start = reinterpret_cast<const unsigned char *>(data);
    const auto *p = start;
    const auto *end = p + size;
    const auto at = [&] { return qsizetype(p - start); };
    while (p < end) {
        // Plain ASCII is the bulk of source code: skip it eight bytes at a time.
        while (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, sizeof word);
            if (word & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p >= end)
            break;
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        if (c < 0xC2)
            return at(); // stray continuation byte or overlong two-byte form
        if (c < 0xE0) {
            if (end - p < 2 || !isContinuation(p[1]))
                return at();
            p += 2;
            continue;
        }
        if (c < 0xF0) {
            if (end - p < 3 || !isContinuation(p[1]) || !isContinuation(p[2]))
                return at();
            if (c == 0xE0 && p[1] < 0xA0)
                return at(); // overlong
            if (c == 0xED && p[1] >= 0xA0)
                return at(); // surrogate
            p += 3;
            continue;
        }
        if (c < 0xF5) {
            if (end - p < 4 || !isContinuation(p[1]) || !isContinuation(p[2]) ||
                !isContinuation(p[3]))
                return at();
            if (c == 0xF0 && p[1] < 0x90)
                return at(); // overlong
            if (c == 0xF4 && p[1] >= 0x90)
                return at(); // beyond U+10FFFF
            p += 4;
            continue;
        }
        return at();
    }
    return -1;
}

qsizetype latin1AsUtf8Size(const char *data, qsizetype size)
{
    qsizetype result = size;
    for (qsizetype i = 0; i < size; ++i)
        if (static_cast<unsigned char>(data[i]) >= 0x80)
            ++result;
    return result;
}

QByteArray latin1ToUtf8(const char *data, qsizetype size)
{
    QByteArray result(latin1AsUtf8Size(data, size), Qt::Uninitialized);
    char *out = result.data();
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c < 0x80) {
            *out++ = char(c);
        } else {
            *out++ = char(0xC0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3F));
        }
    }
    return result;
}

std::optional<QByteArray> utf8ToLatin1(const char *data, qsizetype size)
{
    QByteArray result(size, Qt::Uninitialized);
    char *out = result.data();
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *end = p + size;
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            *out++ = char(c);
            ++p;
        } else if ((c == 0xC2 || c == 0xC3) && end - p >= 2 && isContinuation(p[1])) {
            *out++ = char(((c & 0x03) << 6) | (p[1] & 0x3F));
            p += 2;
        } else {
            return std::nullopt;
        }
    }
    result.truncate(out - result.data());
    return result;
}

LineEnd firstLineEnd(const char *data, qsizetype size)
{
    const void *cr = std::memchr(data, '\r', size_t(size));
    const void *lf = std::memchr(data, '\n', size_t(size));
    if (!cr && !lf)
        return LineEnd::None;
    if (!cr || (lf && lf < cr))
        return LineEnd::Lf;
    const char *c = static_cast<const char *>(cr);
    if (c + 1 < data + size && c[1] == '\n')
        return LineEnd::CrLf;
    return LineEnd::Cr;
}

} // namespace text_encoding
