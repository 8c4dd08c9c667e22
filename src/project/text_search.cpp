#include "project/text_search.h"

#include "project/source_text.h"

#include <QHash>
#include <QMutex>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// --- what the locale's lowering does outside ASCII -------------------------------------

// A character whose small form differs from it, with the small forms it takes
// alone and after a letter (Greek capital sigma lowers to a final sigma there).
struct Lowering {
    char32_t code;
    QString forms;
};

// Cased letters end in the first supplementary plane; the planes above hold none.
constexpr char32_t LastCasedCode = 0x1FFFF;

// The small forms of one character, alone and after a letter.
Lowering loweringOf(const QLocale &locale, char32_t code)
{
    const QString one = QString::fromUcs4(&code, 1);
    return {code, locale.toLower(one) + locale.toLower(QLatin1Char('a') + one).mid(1)};
}

std::vector<Lowering> computeLowerings(const QLocale &locale)
{
    std::vector<Lowering> changes;
    constexpr char32_t Block = 256;
    // A control character apart each character: it is no letter, so each
    // character is lowered as if alone, or after the letter put before it.
    const QChar apart(u'\x01');
    for (char32_t first = 0x80; first <= LastCasedCode; first += Block) {
        std::vector<char32_t> codes;
        for (char32_t code = first; code < first + Block; ++code) {
            if (code < 0xD800 || code > 0xDFFF)
                codes.push_back(code);
        }
        const QString block = QString::fromUcs4(codes.data(), qsizetype(codes.size()));
        // Whole blocks of uncased characters are passed over in one call.
        if (locale.toLower(block) == block)
            continue;
        QString alone(apart);
        QString afterLetter(apart);
        for (const char32_t code : codes) {
            const QString one = QString::fromUcs4(&code, 1);
            alone += one + apart;
            afterLetter += QLatin1Char('a') + one + apart;
        }
        const QStringList aloneForms = locale.toLower(alone).split(apart);
        const QStringList afterForms = locale.toLower(afterLetter).split(apart);
        const bool split = aloneForms.size() == qsizetype(codes.size()) + 2 &&
                           afterForms.size() == aloneForms.size();
        for (size_t k = 0; k < codes.size(); ++k) {
            const QString one = QString::fromUcs4(&codes[k], 1);
            if (!split || !afterForms.at(qsizetype(k) + 1).startsWith(QLatin1Char('a'))) {
                Lowering change = loweringOf(locale, codes[k]);
                if (change.forms != one + one)
                    changes.push_back(std::move(change));
                continue;
            }
            const QString &aloneForm = aloneForms.at(qsizetype(k) + 1);
            const QString afterForm = afterForms.at(qsizetype(k) + 1).mid(1);
            if (aloneForm != one || afterForm != one)
                changes.push_back({codes[k], aloneForm + afterForm});
        }
    }
    return changes;
}

// Computed once per locale and kept: a few milliseconds on first use.
const std::vector<Lowering> &lowerings(const QLocale &locale)
{
    static QMutex mutex;
    static QHash<QString, std::vector<Lowering>> cache;
    const QMutexLocker lock(&mutex);
    const QString key = locale.name();
    auto found = cache.find(key);
    if (found == cache.end())
        found = cache.insert(key, computeLowerings(locale));
    return *found;
}

bool asciiLowersPlainly(const QLocale &locale)
{
    QString all;
    QString plain;
    for (int c = 1; c < 128; ++c) {
        all.append(QChar(c));
        plain.append(QChar(c >= 'A' && c <= 'Z' ? c + 32 : c));
    }
    return locale.toLower(all) == plain;
}

bool lowersByContext(const QLocale &locale)
{
    const QLocale::Language language = locale.language();
    return language == QLocale::Turkish || language == QLocale::Azerbaijani ||
           language == QLocale::Lithuanian;
}

// --- byte searches ----------------------------------------------------------------------

constexpr std::array<unsigned char, 256> makeAsciiLower()
{
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[size_t(c)] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return table;
}
constexpr std::array<unsigned char, 256> AsciiLower = makeAsciiLower();

// How common a byte is in source code, most common first; bytes not listed
// are taken as rare. Letters count for both cases.
int commonness(unsigned char c)
{
    static const char Common[] = " etaoinsrlcdp\n$u;mh()f>=-_g'\"b.,y\t/kv*w:x{}[]0123456789";
    const char *at = std::strchr(Common, AsciiLower[c]);
    return c != 0 && at ? int(sizeof Common) - int(at - Common) : 0;
}

// Finds an ASCII text in bytes, ignoring ASCII case: sixteen positions at a
// time are tested on two of the text's rarest bytes, and only where both
// agree is the whole text compared.
class AnchorSearch {
public:
    explicit AnchorSearch(const QByteArray &anchor) : m_text(anchor)
    {
        const auto *text = reinterpret_cast<const unsigned char *>(m_text.constData());
        const qsizetype size = m_text.size();
        if (size == 0)
            return;
        std::vector<int> order(static_cast<size_t>(size));
        for (int k = 0; k < int(size); ++k)
            order[size_t(k)] = k;
        std::stable_sort(order.begin(), order.end(), [text](int a, int b) {
            return commonness(text[a]) < commonness(text[b]);
        });
        m_first = order[0];
        m_second = size > 1 ? order[1] : order[0];
        if (m_first > m_second)
            std::swap(m_first, m_second);
        m_byte1 = text[m_first];
        m_byte2 = text[m_second];
        // For a letter, setting bit 5 maps exactly its two cases onto the small one.
        m_fold1 = m_byte1 >= 'a' && m_byte1 <= 'z' ? 0x20 : 0;
        m_fold2 = m_byte2 >= 'a' && m_byte2 <= 'z' ? 0x20 : 0;
    }

    // Start of the next occurrence at or after `from`; `size` when there is none.
    qsizetype next(const char *data, qsizetype size, qsizetype from) const
    {
        const qsizetype length = m_text.size();
        if (length == 0 || from > size - length)
            return size;
        const auto *bytes = reinterpret_cast<const unsigned char *>(data);
        const qsizetype last = size - length;
        qsizetype p = from;
#ifdef __SSE2__
        const __m128i want1 = _mm_set1_epi8(char(m_byte1));
        const __m128i want2 = _mm_set1_epi8(char(m_byte2));
        const __m128i fold1 = _mm_set1_epi8(char(m_fold1));
        const __m128i fold2 = _mm_set1_epi8(char(m_fold2));
        for (; p + m_second + 16 <= size; p += 16) {
            const __m128i a =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + p + m_first));
            const __m128i b =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + p + m_second));
            unsigned mask = unsigned(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, fold1), want1),
                                                _mm_cmpeq_epi8(_mm_or_si128(b, fold2), want2))));
            while (mask) {
                const qsizetype start = p + __builtin_ctz(mask);
                if (start > last)
                    return size;
                if (equalAt(bytes + start))
                    return start;
                mask &= mask - 1;
            }
        }
#endif
        for (; p <= last; ++p) {
            if ((bytes[p + m_first] | m_fold1) == m_byte1 && equalAt(bytes + p))
                return p;
        }
        return size;
    }

private:
    bool equalAt(const unsigned char *at) const
    {
        const auto *text = reinterpret_cast<const unsigned char *>(m_text.constData());
        for (qsizetype k = 0; k < m_text.size(); ++k) {
            if (AsciiLower[at[k]] != text[k])
                return false;
        }
        return true;
    }

    QByteArray m_text;
    int m_first = 0;
    int m_second = 0;
    unsigned char m_byte1 = 0;
    unsigned char m_byte2 = 0;
    unsigned char m_fold1 = 0;
    unsigned char m_fold2 = 0;
};

// Finds the next place where any of a few byte sequences begins, all of which
// begin with a byte from 0x80 up: their first bytes are looked for sixteen at
// a time (or, with many different first bytes, any byte from 0x80 up).
class MarkerSearch {
public:
    explicit MarkerSearch(const std::vector<QByteArray> &markers) : m_markers(markers)
    {
        for (const QByteArray &marker : m_markers) {
            const auto lead = static_cast<unsigned char>(marker.at(0));
            if (std::find(m_leads.begin(), m_leads.begin() + m_leadCount, lead) !=
                m_leads.begin() + m_leadCount)
                continue;
            if (m_leadCount == int(m_leads.size())) {
                m_anyHigh = true;
                break;
            }
            m_leads[size_t(m_leadCount++)] = lead;
        }
        // Unused slots repeat the first lead, so they find nothing new.
        for (int k = m_leadCount; k < int(m_leads.size()) && m_leadCount > 0; ++k)
            m_leads[size_t(k)] = m_leads[0];
    }

    qsizetype next(const char *data, qsizetype size, qsizetype from) const
    {
        if (m_markers.empty())
            return size;
        const auto *bytes = reinterpret_cast<const unsigned char *>(data);
        qsizetype p = from;
#ifdef __SSE2__
        const __m128i l0 = _mm_set1_epi8(char(m_leads[0]));
        const __m128i l1 = _mm_set1_epi8(char(m_leads[1]));
        const __m128i l2 = _mm_set1_epi8(char(m_leads[2]));
        const __m128i l3 = _mm_set1_epi8(char(m_leads[3]));
        for (; p + 16 <= size; p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + p));
            unsigned mask;
            if (m_anyHigh) {
                mask = unsigned(_mm_movemask_epi8(v));
            } else {
                const __m128i any =
                    _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, l0), _mm_cmpeq_epi8(v, l1)),
                                 _mm_or_si128(_mm_cmpeq_epi8(v, l2), _mm_cmpeq_epi8(v, l3)));
                mask = unsigned(_mm_movemask_epi8(any));
            }
            while (mask) {
                const qsizetype at = p + __builtin_ctz(mask);
                if (startsMarker(bytes, size, at))
                    return at;
                mask &= mask - 1;
            }
        }
#endif
        for (; p < size; ++p) {
            if (bytes[p] >= 0x80 && startsMarker(bytes, size, p))
                return p;
        }
        return size;
    }

private:
    bool startsMarker(const unsigned char *bytes, qsizetype size, qsizetype at) const
    {
        for (const QByteArray &marker : m_markers) {
            if (marker.size() <= size - at &&
                std::memcmp(bytes + at, marker.constData(), size_t(marker.size())) == 0)
                return true;
        }
        return false;
    }

    const std::vector<QByteArray> &m_markers;
    std::array<unsigned char, 4> m_leads{};
    int m_leadCount = 0;
    bool m_anyHigh = false;
};

// The next CR or LF at or after `from`; `size` when there is none.
qsizetype findLineBreak(const char *data, qsizetype size, qsizetype from)
{
    qsizetype p = from;
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    for (; p + 16 <= size; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + p));
        const unsigned mask =
            unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr))));
        if (mask)
            return p + __builtin_ctz(mask);
    }
#endif
    for (; p < size; ++p) {
        if (data[p] == '\n' || data[p] == '\r')
            return p;
    }
    return size;
}

bool hasHighByte(const char *data, qsizetype size)
{
    return std::any_of(data, data + size, [](char c) { return (c & 0x80) != 0; });
}

// Counts line breaks (CR LF as one) up to positions that only grow.
class LineCounter {
public:
    LineCounter(const char *data, qsizetype size) : m_data(data), m_size(size) {}

    // 0-based number of the line that starts at `lineStart`, a position just
    // after a whole line break (or 0).
    int lineAt(qsizetype lineStart)
    {
        qsizetype p = m_counted;
#ifdef __SSE2__
        const __m128i lf = _mm_set1_epi8('\n');
        const __m128i cr = _mm_set1_epi8('\r');
        // The byte after each CR is looked at too, within the file.
        for (; p + 16 <= lineStart && p + 17 <= m_size; p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(m_data + p));
            m_line += __builtin_popcount(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf))));
            const unsigned crs = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)));
            if (crs) {
                const __m128i after =
                    _mm_loadu_si128(reinterpret_cast<const __m128i *>(m_data + p + 1));
                const unsigned lfsAfter = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(after, lf)));
                m_line += __builtin_popcount(crs & ~lfsAfter);
            }
        }
#endif
        for (; p < lineStart; ++p) {
            if (m_data[p] == '\n' ||
                (m_data[p] == '\r' && (p + 1 >= m_size || m_data[p + 1] != '\n')))
                ++m_line;
        }
        m_counted = lineStart;
        return m_line;
    }

private:
    const char *m_data;
    qsizetype m_size;
    qsizetype m_counted = 0;
    int m_line = 0;
};

// The lines of one file as the editor shows them; whether the bytes are
// UTF-8 is settled on the first line that needs it.
class FileLines {
public:
    FileLines(const char *data, qsizetype size) : m_bytes(data), m_byteCount(size)
    {
        if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0)
            settle();
    }
    const char *text() const { return m_bytes + m_encoding.start; }
    qsizetype size() const { return m_byteCount - m_encoding.start; }

    QString line(qsizetype from, qsizetype to)
    {
        const char *start = text() + from;
        if (!hasHighByte(start, to - from))
            return QString::fromLatin1(start, to - from);
        settle();
        return DecodeSource(start, to - from, m_encoding);
    }

private:
    void settle()
    {
        if (m_settled)
            return;
        m_settled = true;
        m_encoding = DetectSourceEncoding(m_bytes, m_byteCount);
    }

    const char *m_bytes;
    qsizetype m_byteCount;
    SourceEncoding m_encoding;
    bool m_settled = false;
};

qsizetype afterLineBreak(const char *data, qsizetype size, qsizetype end)
{
    return end + (data[end] == '\r' && end + 1 < size && data[end + 1] == '\n' ? 2 : 1);
}

} // namespace

LineNeedle::LineNeedle(const QString &text)
    : m_locale(QLocale::system()), m_lowered(m_locale.toLower(text))
{
    m_nothing = m_lowered.isEmpty() || m_lowered.contains(u'\n') || m_lowered.contains(u'\r');
    if (m_nothing)
        return;
    if (!asciiLowersPlainly(m_locale) || lowersByContext(m_locale)) {
        m_everyLine = true;
        return;
    }
    const std::vector<Lowering> &changes = lowerings(m_locale);
    const bool ascii = std::all_of(m_lowered.cbegin(), m_lowered.cend(),
                                   [](QChar c) { return c.unicode() < 128; });
    if (ascii) {
        m_anchor = m_lowered.toLatin1();
        for (const Lowering &change : changes) {
            const bool bringsLetter =
                std::any_of(change.forms.cbegin(), change.forms.cend(), [this](QChar c) {
                    return c.unicode() < 128 && m_anchor.contains(char(c.unicode()));
                });
            if (bringsLetter)
                addMarkers(change.code);
        }
        return;
    }
    // Through the text's character that the fewest characters lower into.
    std::vector<char32_t> best;
    for (const char32_t wanted : m_lowered.toUcs4()) {
        if (wanted < 128)
            continue;
        const QString form = QString::fromUcs4(&wanted, 1);
        std::vector<char32_t> sources{wanted};
        for (const Lowering &change : changes) {
            if (change.code != wanted && change.forms.contains(form))
                sources.push_back(change.code);
        }
        if (best.empty() || sources.size() < best.size())
            best = std::move(sources);
    }
    for (const char32_t code : best)
        addMarkers(code);
}

void LineNeedle::addMarkers(char32_t code)
{
    m_markers.push_back(QString::fromUcs4(&code, 1).toUtf8());
    // In a file that is not UTF-8 the character is one Latin-1 byte.
    if (code >= 0x80 && code <= 0xFF)
        m_markers.push_back(QByteArray(1, char(code)));
}

bool LineNeedle::matchesLine(const QString &line) const
{
    return !m_nothing && m_locale.toLower(line).contains(m_lowered);
}

void FindMatchingLines(const char *data, qsizetype size, const LineNeedle &needle,
                       std::vector<LineHit> &hits, LineText form)
{
    if (needle.matchesNothing() || size == 0)
        return;
    FileLines file(data, size);
    const char *text = file.text();
    const qsizetype n = file.size();
    LineCounter counter(text, n);
    const bool trim = form == LineText::Trimmed;
    // Codes up to 32 are single bytes in UTF-8 and Latin-1 alike, so a line
    // is trimmed as bytes before it is decoded.
    const auto keep = [&](qsizetype start, qsizetype end) {
        if (trim) {
            while (start < end && static_cast<unsigned char>(text[start]) <= 32)
                ++start;
            while (end > start && static_cast<unsigned char>(text[end - 1]) <= 32)
                --end;
        }
        return file.line(start, end);
    };

    if (needle.everyLine()) {
        for (qsizetype pos = 0; pos <= n;) {
            const qsizetype end = findLineBreak(text, n, pos);
            if (needle.matchesLine(file.line(pos, end)))
                hits.push_back({counter.lineAt(pos) + 1, keep(pos, end)});
            if (end >= n)
                break;
            pos = afterLineBreak(text, n, end);
        }
        return;
    }

    const AnchorSearch anchor(needle.anchor());
    const MarkerSearch markers(needle.markers());
    qsizetype pos = 0; // the start of a line not looked at yet
    qsizetype anchorAt = -1;
    qsizetype markerAt = -1;
    while (pos < n) {
        if (anchorAt < pos)
            anchorAt = anchor.next(text, n, pos);
        if (markerAt < pos)
            markerAt = markers.next(text, n, pos);
        const qsizetype at = std::min(anchorAt, markerAt);
        if (at >= n)
            break;
        qsizetype start = at;
        while (start > pos && text[start - 1] != '\n' && text[start - 1] != '\r')
            --start;
        const qsizetype end = findLineBreak(text, n, at);
        // An anchor hit is a match; a marker only makes the line worth comparing.
        if (anchorAt < end || needle.matchesLine(file.line(start, end)))
            hits.push_back({counter.lineAt(start) + 1, keep(start, end)});
        if (end >= n)
            break;
        pos = afterLineBreak(text, n, end);
    }
}

std::vector<LineHit> FindMatchingLines(const QByteArray &bytes, const LineNeedle &needle)
{
    std::vector<LineHit> hits;
    FindMatchingLines(bytes.constData(), bytes.size(), needle, hits);
    return hits;
}

void ForEachLine(const char *data, qsizetype size,
                 const std::function<void(int line, const QString &text)> &visit)
{
    if (size == 0)
        return;
    FileLines file(data, size);
    const char *text = file.text();
    const qsizetype n = file.size();
    int line = 1;
    for (qsizetype pos = 0; pos <= n; ++line) {
        const qsizetype end = findLineBreak(text, n, pos);
        visit(line, file.line(pos, end));
        if (end >= n)
            break;
        pos = afterLineBreak(text, n, end);
    }
}
