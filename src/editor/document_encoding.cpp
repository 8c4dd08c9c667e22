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
    case DocumentEncoding::Utf16Le:
        return QStringLiteral("UTF-16LE BOM");
    case DocumentEncoding::Utf16Be:
        return QStringLiteral("UTF-16BE BOM");
    case DocumentEncoding::Utf32Le:
        return QStringLiteral("UTF-32LE BOM");
    case DocumentEncoding::Utf32Be:
        return QStringLiteral("UTF-32BE BOM");
    }
    return {};
}

QByteArray byteOrderMark(DocumentEncoding encoding)
{
    switch (encoding) {
    case DocumentEncoding::Utf8WithBom:
        return QByteArray("\xEF\xBB\xBF", 3);
    case DocumentEncoding::Utf16Le:
        return QByteArray("\xFF\xFE", 2);
    case DocumentEncoding::Utf16Be:
        return QByteArray("\xFE\xFF", 2);
    case DocumentEncoding::Utf32Le:
        return QByteArray("\xFF\xFE\0\0", 4);
    case DocumentEncoding::Utf32Be:
        return QByteArray("\0\0\xFE\xFF", 4);
    case DocumentEncoding::Utf8:
    case DocumentEncoding::Windows1252:
        break;
    }
    return {};
}

bool isWide(DocumentEncoding encoding)
{
    return encoding == DocumentEncoding::Utf16Le || encoding == DocumentEncoding::Utf16Be ||
           encoding == DocumentEncoding::Utf32Le || encoding == DocumentEncoding::Utf32Be;
}

namespace {

quint32 unitAt(const unsigned char *p, int width, bool little)
{
    quint32 value = 0;
    for (int i = 0; i < width; ++i)
        value |= quint32(p[little ? i : width - 1 - i]) << (8 * i);
    return value;
}

void appendUtf8Full(QByteArray &out, char32_t c)
{
    char buffer[4];
    char *end = buffer;
    if (c < 0x10000) {
        appendUtf8(end, c);
    } else {
        *end++ = char(0xF0 | (c >> 18));
        *end++ = char(0x80 | ((c >> 12) & 0x3F));
        *end++ = char(0x80 | ((c >> 6) & 0x3F));
        *end++ = char(0x80 | (c & 0x3F));
    }
    out.append(buffer, end - buffer);
}

std::optional<QByteArray> wideToUtf8(DocumentEncoding encoding, const unsigned char *p,
                                     qsizetype size)
{
    const bool little =
        encoding == DocumentEncoding::Utf16Le || encoding == DocumentEncoding::Utf32Le;
    const int width =
        encoding == DocumentEncoding::Utf16Le || encoding == DocumentEncoding::Utf16Be ? 2 : 4;
    if (size % width != 0)
        return std::nullopt;
    QByteArray out;
    out.reserve(size / width * 3 / 2 + 16);
    for (qsizetype i = 0; i < size; i += width) {
        char32_t c = unitAt(p + i, width, little);
        if (width == 2 && c >= 0xD800 && c <= 0xDBFF) {
            if (i + 2 >= size)
                return std::nullopt;
            const char32_t low = unitAt(p + i + 2, 2, little);
            if (low < 0xDC00 || low > 0xDFFF)
                return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            return std::nullopt;
        }
        appendUtf8Full(out, c);
    }
    return out;
}

void appendUnit(QByteArray &out, quint32 value, int width, bool little)
{
    for (int i = 0; i < width; ++i)
        out.append(char((value >> (8 * (little ? i : width - 1 - i))) & 0xFF));
}

} // namespace

std::optional<WideText> decodeWide(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    // UTF-32LE's mark starts like UTF-16LE's: the longer one is tried first,
    // and UTF-16LE holds when the text after it is not UTF-32.
    for (DocumentEncoding encoding : {DocumentEncoding::Utf32Le, DocumentEncoding::Utf32Be,
                                      DocumentEncoding::Utf16Le, DocumentEncoding::Utf16Be}) {
        const QByteArray mark = byteOrderMark(encoding);
        if (size < mark.size() || std::memcmp(data, mark.constData(), size_t(mark.size())) != 0)
            continue;
        if (auto utf8 = wideToUtf8(encoding, p + mark.size(), size - mark.size()))
            return WideText{encoding, std::move(*utf8)};
    }
    return std::nullopt;
}

QByteArray utf8ToWide(DocumentEncoding encoding, const char *data, qsizetype size)
{
    const bool little =
        encoding == DocumentEncoding::Utf16Le || encoding == DocumentEncoding::Utf32Le;
    const bool utf16 =
        encoding == DocumentEncoding::Utf16Le || encoding == DocumentEncoding::Utf16Be;
    QByteArray out;
    out.reserve(size * (utf16 ? 2 : 4));
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *end = p + size;
    while (p < end) {
        int length = 1;
        char32_t c = *p;
        if (c >= 0x80) {
            // Four-byte sequences as well: the text may hold any character.
            const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : -1;
            c = 0xFFFD;
            if (extra > 0 && *p <= 0xF4 && end - p > extra) {
                char32_t value = *p & (0x3F >> extra);
                bool whole = true;
                for (int i = 1; i <= extra; ++i) {
                    whole = whole && isContinuation(p[i]);
                    value = (value << 6) | (p[i] & 0x3F);
                }
                if (whole) {
                    c = value;
                    length = extra + 1;
                }
            }
        }
        p += length;
        if (!utf16) {
            appendUnit(out, c, 4, little);
        } else if (c >= 0x10000) {
            appendUnit(out, 0xD800 + ((c - 0x10000) >> 10), 2, little);
            appendUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF), 2, little);
        } else {
            appendUnit(out, c, 2, little);
        }
    }
    return out;
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
