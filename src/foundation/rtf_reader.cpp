#include "foundation/rtf_reader.h"

#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <array>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five unassigned
// bytes keep their Latin-1 meaning so nothing is lost.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decodeCodePage(const QByteArray &bytes, int codePage)
{
    if (codePage == 1252) {
        QString out;
        out.reserve(bytes.size());
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            out.append(b >= 0x80 && b <= 0x9F ? QChar(Cp1252High[b - 0x80]) : QChar(b));
        }
        return out;
    }
    if (codePage == 65001)
        return QString::fromUtf8(bytes);
    if (codePage != 28591 && codePage > 0) {
        // Other code pages through the converters Qt was built with.
        const QByteArray names[] = {"windows-" + QByteArray::number(codePage),
                                    "CP" + QByteArray::number(codePage)};
        for (const QByteArray &name : names) {
            QStringDecoder decoder(name.constData());
            if (decoder.isValid())
                return decoder.decode(bytes);
        }
    }
    return QString::fromLatin1(bytes);
}

bool isDestinationToSkip(const QByteArray &word)
{
    static const char *const skipped[] = {"fonttbl",
                                          "colortbl",
                                          "stylesheet",
                                          "info",
                                          "pict",
                                          "object",
                                          "header",
                                          "headerl",
                                          "headerr",
                                          "headerf",
                                          "footer",
                                          "footerl",
                                          "footerr",
                                          "footerf",
                                          "footnote",
                                          "listtable",
                                          "listoverridetable",
                                          "rsidtbl",
                                          "generator",
                                          "xmlnstbl",
                                          "themedata",
                                          "colorschememapping",
                                          "latentstyles",
                                          "datastore",
                                          "filetbl",
                                          "revtbl",
                                          "fldinst",
                                          "annotation",
                                          "atnid",
                                          "atnauthor",
                                          "bkmkstart",
                                          "bkmkend",
                                          "nonshppict",
                                          "shppict"};
    return std::any_of(std::begin(skipped), std::end(skipped),
                       [&](const char *name) { return word == name; });
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

struct GroupState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 0;
    int unicodeFallback = 1; // characters that follow a \u as its fallback
    bool skip = false;       // inside a destination that holds no body text
};

class Reader {
public:
    explicit Reader(const QByteArray &in) : m_in(in) {}

    RtfDocument read()
    {
        while (m_pos < m_in.size()) {
            const char c = m_in[m_pos++];
            if (c == '{') {
                flushBytes();
                m_stack.push_back(m_state);
                m_fallbackLeft = 0;
            } else if (c == '}') {
                flushBytes();
                m_fallbackLeft = 0;
                if (m_stack.empty())
                    continue; // a stray closing brace
                m_state = m_stack.back();
                m_stack.pop_back();
                if (m_stack.empty())
                    break; // the document's own group has ended
            } else if (c == '\\') {
                controlSequence();
            } else if (c == '\r' || c == '\n' || c == '\0') {
                // Line ends in the file are not text.
            } else {
                textByte(c);
            }
        }
        flushBytes();
        if (!m_paragraph.plainText().isEmpty())
            endParagraph();
        return std::move(m_document);
    }

private:
    void controlSequence()
    {
        if (m_pos >= m_in.size())
            return;
        const char c = m_in[m_pos];
        if (!isLetter(c)) {
            ++m_pos;
            controlSymbol(c);
            return;
        }
        const qsizetype start = m_pos;
        while (m_pos < m_in.size() && isLetter(m_in[m_pos]))
            ++m_pos;
        const QByteArray word = m_in.mid(start, std::min<qsizetype>(m_pos - start, 32));

        bool hasParam = false;
        bool negative = false;
        long long param = 0;
        if (m_pos < m_in.size() && m_in[m_pos] == '-' && m_pos + 1 < m_in.size() &&
            isDigit(m_in[m_pos + 1])) {
            negative = true;
            ++m_pos;
        }
        while (m_pos < m_in.size() && isDigit(m_in[m_pos])) {
            hasParam = true;
            param = std::min<long long>(param * 10 + (m_in[m_pos] - '0'), 1'000'000'000);
            ++m_pos;
        }
        if (negative)
            param = -param;
        if (m_pos < m_in.size() && m_in[m_pos] == ' ')
            ++m_pos;
        controlWord(word, hasParam, static_cast<int>(param));
    }

    void controlSymbol(char c)
    {
        switch (c) {
        case '\\':
        case '{':
        case '}':
            text(QString(QChar::fromLatin1(c)));
            break;
        case '~':
            text(QString(QChar(0x00A0)));
            break;
        case '_':
            text(QStringLiteral("-"));
            break;
        case '*':
            m_state.skip = true;
            break;
        case '\'': {
            const int high = m_pos < m_in.size() ? hexValue(m_in[m_pos]) : -1;
            const int low = m_pos + 1 < m_in.size() ? hexValue(m_in[m_pos + 1]) : -1;
            if (high < 0 || low < 0)
                break; // not a character: drop the escape
            m_pos += 2;
            textByte(static_cast<char>(high * 16 + low));
            break;
        }
        case '\r':
        case '\n':
            if (!consumedAsFallback())
                paragraphBreak();
            break;
        default:
            consumedAsFallback(); // optional hyphen and the like
            break;
        }
    }

    void controlWord(const QByteArray &word, bool hasParam, int param)
    {
        if (word == "bin") {
            // Binary data: its bytes are not RTF, whatever they look like.
            m_pos += std::clamp<qsizetype>(hasParam ? param : 0, 0, m_in.size() - m_pos);
            consumedAsFallback();
            return;
        }
        if (isDestinationToSkip(word)) {
            m_state.skip = true;
            return;
        }
        if (word == "u") {
            if (!hasParam || m_state.skip || consumedAsFallback())
                return;
            int code = param < 0 ? param + 65536 : param;
            code = std::clamp(code, 0, 0xFFFF);
            if (code != 0)
                text(QString(QChar(char16_t(code))));
            m_fallbackLeft = m_state.unicodeFallback;
            return;
        }
        if (consumedAsFallback())
            return;

        const bool on = !hasParam || param != 0;
        if (word == "par" || word == "sect" || word == "page" || word == "row")
            paragraphBreak();
        else if (word == "line")
            text(QStringLiteral("\n"));
        else if (word == "tab" || word == "cell")
            text(QStringLiteral("\t"));
        else if (word == "emdash")
            text(QString(QChar(0x2014)));
        else if (word == "endash")
            text(QString(QChar(0x2013)));
        else if (word == "bullet")
            text(QString(QChar(0x2022)));
        else if (word == "lquote")
            text(QString(QChar(0x2018)));
        else if (word == "rquote")
            text(QString(QChar(0x2019)));
        else if (word == "ldblquote")
            text(QString(QChar(0x201C)));
        else if (word == "rdblquote")
            text(QString(QChar(0x201D)));
        else if (word == "emspace" || word == "enspace")
            text(QStringLiteral(" "));
        else if (word == "b")
            setFormat([&] { m_state.bold = on; });
        else if (word == "i")
            setFormat([&] { m_state.italic = on; });
        else if (word == "ul" || word == "uld" || word == "uldb" || word == "ulw")
            setFormat([&] { m_state.underline = on; });
        else if (word == "ulnone")
            setFormat([&] { m_state.underline = false; });
        else if (word == "fs")
            setFormat([&] { m_state.halfPoints = hasParam && param > 0 ? param : 0; });
        else if (word == "plain")
            setFormat([&] {
                m_state.bold = m_state.italic = m_state.underline = false;
                m_state.halfPoints = 0;
            });
        else if (word == "uc")
            m_state.unicodeFallback = std::clamp(hasParam ? param : 1, 0, 16);
        else if (word == "ansicpg" && hasParam)
            m_codePage = param;
        else if (word == "ansi")
            m_codePage = 1252;
        else if (word == "pc")
            m_codePage = 437;
        else if (word == "pca")
            m_codePage = 850;
    }

    // After a \u, the next characters are its stand-in for old readers.
    bool consumedAsFallback()
    {
        if (m_fallbackLeft <= 0)
            return false;
        --m_fallbackLeft;
        return true;
    }

    template <typename Change>
    void setFormat(Change change)
    {
        flushBytes();
        change();
    }

    void textByte(char c)
    {
        if (m_state.skip || consumedAsFallback())
            return;
        if (c == '\t') {
            text(QStringLiteral("\t"));
            return;
        }
        m_bytes.append(c);
    }

    void text(const QString &s)
    {
        if (m_state.skip || consumedAsFallback())
            return;
        flushBytes();
        append(s);
    }

    void append(const QString &s)
    {
        auto &runs = m_paragraph.runs;
        RtfRun format;
        format.bold = m_state.bold;
        format.italic = m_state.italic;
        format.underline = m_state.underline;
        format.halfPoints = m_state.halfPoints;
        if (runs.empty() || !runs.back().sameFormat(format))
            runs.push_back(format);
        runs.back().text += s;
    }

    void flushBytes()
    {
        if (m_bytes.isEmpty())
            return;
        const QString decoded = decodeCodePage(m_bytes, m_codePage);
        m_bytes.clear();
        append(decoded);
    }

    void paragraphBreak()
    {
        if (m_state.skip)
            return;
        endParagraph();
    }

    void endParagraph()
    {
        flushBytes();
        m_document.paragraphs.push_back(std::move(m_paragraph));
        m_paragraph = {};
    }

    const QByteArray &m_in;
    qsizetype m_pos = 0;
    std::vector<GroupState> m_stack;
    GroupState m_state;
    int m_fallbackLeft = 0;
    int m_codePage = 1252;
    QByteArray m_bytes; // 8-bit characters waiting to be decoded together
    RtfParagraph m_paragraph;
    RtfDocument m_document;
};

QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += QStringLiteral("&amp;");
            break;
        case u'<':
            out += QStringLiteral("&lt;");
            break;
        case u'>':
            out += QStringLiteral("&gt;");
            break;
        case u'"':
            out += QStringLiteral("&quot;");
            break;
        case u'\n':
            out += QStringLiteral("<br />");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString runHtml(const RtfRun &run)
{
    QString style;
    if (run.bold)
        style += QStringLiteral("font-weight:700;");
    if (run.italic)
        style += QStringLiteral("font-style:italic;");
    if (run.underline)
        style += QStringLiteral("text-decoration:underline;");
    if (run.halfPoints > 0)
        style += QStringLiteral("font-size:%1pt;").arg(run.halfPoints / 2.0);
    if (style.isEmpty())
        return escaped(run.text);
    return QStringLiteral("<span style=\"%1\">%2</span>").arg(style, escaped(run.text));
}

} // namespace

QString RtfParagraph::plainText() const
{
    QString out;
    for (const RtfRun &run : runs)
        out += run.text;
    return out;
}

QString RtfDocument::plainText() const
{
    QStringList lines;
    for (const RtfParagraph &p : paragraphs)
        lines << p.plainText();
    return lines.join(u'\n');
}

RtfDocument ReadRtf(const QByteArray &rtf)
{
    return Reader(rtf).read();
}

QString RtfToHtml(const RtfDocument &document)
{
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\" /></head><body>");
    for (const RtfParagraph &p : document.paragraphs) {
        html +=
            QStringLiteral("<p style=\"margin-top:0; margin-bottom:0; white-space:pre-wrap;\">");
        for (const RtfRun &run : p.runs)
            html += runHtml(run);
        // An empty paragraph is an empty line, which HTML would otherwise drop.
        if (p.plainText().isEmpty())
            html += QStringLiteral("<br />");
        html += QStringLiteral("</p>");
    }
    html += QStringLiteral("</body></html>");
    return html;
}

QString RtfToHtml(const QByteArray &rtf)
{
    return RtfToHtml(ReadRtf(rtf));
}

bool LooksLikeRtf(const QByteArray &bytes)
{
    QByteArray start = bytes.left(16);
    // A byte-order mark or leading blanks do not make it another format.
    if (start.startsWith("\xEF\xBB\xBF"))
        start.remove(0, 3);
    return start.trimmed().startsWith("{\\rtf");
}
