#include "editor/document_encoding.h"

#include <cstring>

namespace document_encoding {

namespace {

// Bytes 0x80 to 0x9F; the undefined five stand for the control character
// with their own number.
constexpr char16_t High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr int MaxReported = 8;

inline bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// The byte of a character, or -1 when Windows-1252 has none.
int byteFor(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (int i = 0; i < 32; ++i)
        if (High[i] == c)
            return 0x80 + i;
    return -1;
}

// Decodes one UTF-8 sequence at p; `length` receives its size. Anything that
// is not a whole, valid sequence comes back as U+FFFD, which has no byte.
char32_t decode(const unsigned char *p, const unsigned char *end, int &length)
{
    const unsigned char c = *p;
    length = 1;
    if (c < 0x80)
        return c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : -1;
    if (extra < 0 || c > 0xF4 || end - p <= extra)
        return 0xFFFD;
    char32_t value = c & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        if (!isContinuation(p[i]))
            return 0xFFFD;
        value = (value << 6) | (p[i] & 0x3F);
    }
    length = extra + 1;
    return value;
}

void appendUtf8(char *&out, char32_t c)
{
    if (c < 0x80) {
        *out++ = char(c);
    } else if (c < 0x800) {
        *out++ = char(0xC0 | (c >> 6));
        *out++ = char(0x80 | (c & 0x3F));
    } else {
        *out++ = char(0xE0 | (c >> 12));
        *out++ = char(0x80 | ((c >> 6) & 0x3F));
        *out++ = char(0x80 | (c & 0x3F));
    }
}

int utf8Size(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
}

// Skips plain ASCII eight bytes at a time; most source text is nothing else.
const unsigned char *skipAscii(const unsigned char *p, const unsigned char *end)
{
    while (end - p >= 8) {
        quint64 word;
        std::memcpy(&word, p, sizeof word);
        if (word & 0x8080808080808080ULL)
            break;
        p += 8;
    }
    while (p < end && *p < 0x80)
        ++p;
    return p;
}

} // namespace

QString name(DocumentEncoding encoding)
{
    switch (encoding) {
    case DocumentEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case DocumentEncoding::Utf8WithBom:
        return QStringLiteral("UTF-8 BOM");
    case DocumentEncoding::Windows1252:
        return QStringLiteral("Windows-1252");
    }
    return {};
}

char32_t windows1252Character(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? High[byte - 0x80] : byte;
}

qsizetype windows1252AsUtf8Size(const char *data, qsizetype size)
{
    qsizetype result = 0;
    for (qsizetype i = 0; i < size; ++i)
        result += utf8Size(windows1252Character(static_cast<unsigned char>(data[i])));
    return result;
}

QByteArray windows1252ToUtf8(const char *data, qsizetype size)
{
    QByteArray result(windows1252AsUtf8Size(data, size), Qt::Uninitialized);
    char *out = result.data();
    for (qsizetype i = 0; i < size; ++i)
        appendUtf8(out, windows1252Character(static_cast<unsigned char>(data[i])));
    return result;
}

std::optional<QByteArray> utf8ToWindows1252(const char *data, qsizetype size, QString *unencodable)
{
    QByteArray result(size, Qt::Uninitialized);
    char *out = result.data();
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *end = p + size;
    bool fits = true;
    int reported = 0;
    while (p < end) {
        const auto *ascii = skipAscii(p, end);
        std::memcpy(out, p, size_t(ascii - p));
        out += ascii - p;
        p = ascii;
        if (p >= end)
            break;
        int length = 0;
        const char32_t c = decode(p, end, length);
        const int byte = byteFor(c);
        p += length;
        if (byte >= 0) {
            *out++ = char(byte);
            continue;
        }
        fits = false;
        if (!unencodable)
            return std::nullopt;
        const QString character = QString::fromUcs4(&c, 1);
        if (reported < MaxReported && !unencodable->contains(character)) {
            unencodable->append(character);
            ++reported;
        }
    }
    if (!fits)
        return std::nullopt;
    result.truncate(out - result.data());
    return result;
}

bool fitsWindows1252(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *end = p + size;
    while ((p = skipAscii(p, end)) < end) {
        int length = 0;
        if (byteFor(decode(p, end, length)) < 0)
            return false;
        p += length;
    }
    return true;
}

} // namespace document_encoding
