#include "project/source_text.h"

#include "foundation/errors.h"
#include "foundation/file_read.h"
#include "foundation/text_encoding.h"
#include "foundation/switches.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <string.h>

namespace {

constexpr quint64 OnesBytes = 0x0101010101010101ULL;
constexpr quint64 HighBits = 0x8080808080808080ULL;



bool isLineBreak(char c) { return c == '\n' || c == '\r'; }

qsizetype lineEndFrom(const char *data, qsizetype from, qsizetype n)
{
    while (from < n && !isLineBreak(data[from]))
        ++from;
    return from;
}

// Counts line breaks (CR LF as one) up to positions that only grow.
class LineCounter {
public:
    explicit LineCounter(const char *data) : m_data(data) {}
    // 0-based number of the line starting at `lineStart`.
    int lineAt(qsizetype lineStart)
    {
        const char *from = m_data + m_counted;
        const char *to = m_data + lineStart;
        m_line += std::count(from, to, '\n');
        // A lone CR ends a line too; the one before a LF is already counted.
        for (const char *cr = from; (cr = static_cast<const char *>(
                                         std::memchr(cr, '\r', size_t(to - cr))));) {
            if (cr + 1 >= to || cr[1] != '\n')
                ++m_line;
            if (++cr >= to)
                break;
        }
        m_counted = lineStart;
        return int(m_line);
    }

private:
    const char *m_data;
    qsizetype m_counted = 0;
    qsizetype m_line = 0;
};

bool asciiLowersPlainly()
{
    QString all;
    QString plain;
    for (int c = 1; c < 128; ++c) {
        all.append(QChar(c));
        plain.append(QChar(c >= 'A' && c <= 'Z' ? c + 32 : c));
    }
    return LocaleLower(all) == plain;
}

} // namespace

QByteArray ReadSourceFile(const QString &path)
{
    return ReadWholeFile(path, MaxSourceBytes, QStringLiteral("read"));
}

bool IsBinarySource(const QByteArray &bytes)
{
    return std::memchr(bytes.constData(), 0, size_t(bytes.size())) != nullptr;
}

SourceEncoding DetectSourceEncoding(const QByteArray &bytes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    const bool bom = n >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF;
    const qsizetype start = bom ? 3 : 0;
    if (text_encoding::isValidUtf8(reinterpret_cast<const char *>(s + start), n - start))
        return {start, true};
    return {0, false};
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

LineNeedle::LineNeedle(const QString &text) : m_lowered(LocaleLower(text))
{
    m_nothing = m_lowered.isEmpty() || m_lowered.contains(u'\n') || m_lowered.contains(u'\r');
    static const bool plainAscii = asciiLowersPlainly();
    m_asciiFast = plainAscii;
    const bool ascii = std::all_of(m_lowered.cbegin(), m_lowered.cend(),
                                   [](QChar c) { return c.unicode() < 128; });
    if (ascii && m_asciiFast)
        m_ascii = m_lowered.toLatin1();
}

bool LineNeedle::matchesLine(const QString &line) const
{
    return !m_nothing && LocaleLower(line).contains(m_lowered);
}

void FindMatchingLines(const QByteArray &bytes, const LineNeedle &needle,
                       const std::function<void(int line, const QString &text)> &hit)
{
    if (needle.matchesNothing() || bytes.isEmpty() || IsBinarySource(bytes))
        return;
    // Whether the bytes are UTF-8 matters only for lines with other than
    // ASCII in them, so the whole-file check waits until one is looked at;
    // a byte-order mark decides the start at once.
    SourceEncoding encoding;
    bool known = false;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        encoding = DetectSourceEncoding(bytes);
        known = true;
    }
    const auto decode = [&](const char *from, qsizetype size) {
        if (!known) {
            encoding = DetectSourceEncoding(bytes);
            known = true;
        }
        return DecodeSource(from, size, encoding);
    };
    const char *data = bytes.constData() + encoding.start;
    const qsizetype n = bytes.size() - encoding.start;
    LineCounter counter(data);

    if (!needle.asciiLinesFast()) {
        // The locale lowers some ASCII letter its own way: every line the slow way.
        qsizetype pos = 0;
        while (pos <= n) {
            const qsizetype end = lineEndFrom(data, pos, n);
            const QString line = decode(data + pos, end - pos);
            if (needle.matchesLine(line))
                hit(counter.lineAt(pos) + 1, line);
            if (end >= n)
                break;
            pos = end + (data[end] == '\r' && end + 1 < n && data[end + 1] == '\n' ? 2 : 1);
        }
        return;
    }

    // Lines of plain ASCII lower byte by byte, so one search over a lowered
    // copy finds them; a line with any other byte is decoded and lowered by
    // the locale's rule, since such characters may lower into ASCII letters.
    const QByteArray &ascii = needle.asciiBytes();
    QByteArray lowered;
    bool high = false;
    if (!ascii.isEmpty()) {
        lowered.resize(n);
        char *out = lowered.data();
        quint64 any = 0;
        qsizetype i = 0;
        // Eight bytes at a time: a byte below 0x80 from 'A' to 'Z' gains 0x20.
        for (; i + 8 <= n; i += 8) {
            quint64 word;
            std::memcpy(&word, data + i, 8);
            any |= word;
            const quint64 seven = word & ~HighBits;
            const quint64 fromA = seven + (0x80 - 'A') * OnesBytes;
            const quint64 pastZ = seven + (0x80 - 'Z' - 1) * OnesBytes;
            const quint64 upper = fromA & ~pastZ & ~word & HighBits;
            word |= upper >> 2;
            std::memcpy(out + i, &word, 8);
        }
        for (; i < n; ++i) {
            const unsigned char c = static_cast<unsigned char>(data[i]);
            any |= c;
            out[i] = char(c + (static_cast<unsigned char>(c - 'A') < 26u ? 32 : 0));
        }
        high = (any & HighBits) != 0;
    } else {
        high = std::any_of(data, data + n, [](char c) { return (c & 0x80) != 0; });
    }

    const auto nextHit = [&](qsizetype from) -> qsizetype {
        if (ascii.isEmpty() || from >= n)
            return n;
        const void *at = memmem(lowered.constData() + from, size_t(n - from), ascii.constData(),
                                size_t(ascii.size()));
        return at ? static_cast<const char *>(at) - lowered.constData() : n;
    };
    const auto nextHigh = [&](qsizetype from) -> qsizetype {
        if (!high)
            return n;
        while (from < n && !(data[from] & 0x80))
            ++from;
        return from;
    };

    qsizetype pos = 0; // always the start of a line not yet looked at
    qsizetype h = -1;
    qsizetype k = -1;
    while (pos < n) {
        if (h < pos)
            h = nextHit(pos);
        if (k < pos)
            k = nextHigh(pos);
        const qsizetype c = std::min(h, k);
        if (c >= n)
            break;
        qsizetype start = c;
        while (start > pos && !isLineBreak(data[start - 1]))
            --start;
        const qsizetype end = lineEndFrom(data, c, n);
        if (k < end) {
            const QString line = decode(data + start, end - start);
            if (needle.matchesLine(line))
                hit(counter.lineAt(start) + 1, line);
        } else {
            hit(counter.lineAt(start) + 1, QString::fromLatin1(data + start, end - start));
        }
        if (end >= n)
            break;
        pos = end + (data[end] == '\r' && end + 1 < n && data[end + 1] == '\n' ? 2 : 1);
    }
}
