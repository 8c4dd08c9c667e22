#include "project/php_lexer.h"

#include <cstring>

namespace {

inline bool isIdentStart(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
}
inline bool isIdentChar(unsigned char c)
{
    return isIdentStart(c) || (c >= '0' && c <= '9');
}
inline char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

class Lexer {
public:
    Lexer(std::string_view s, std::vector<PhpToken> &out) : m_s(s), m_n(s.size()), m_tokens(out)
    {
        m_tokens.clear();
    }

    void run()
    {
        m_tokens.reserve(m_n / 8 + 16);
        while (m_i < m_n) {
            html();
            if (m_i < m_n)
                code(false);
        }
    }

private:
    void emit(PhpTok kind, size_t start)
    {
        if (m_skipDepth > 0)
            return;
        // Lines are counted lazily up to each token's start.
        const char *p = m_s.data();
        while (m_counted < start) {
            const void *nl = std::memchr(p + m_counted, '\n', start - m_counted);
            if (!nl) {
                m_counted = start;
                break;
            }
            ++m_line;
            m_counted = size_t(static_cast<const char *>(nl) - p) + 1;
        }
        m_tokens.push_back({kind, std::uint32_t(start), std::uint32_t(m_i - start), m_line});
    }

    char at(size_t i) const { return i < m_n ? m_s[i] : '\0'; }

    bool startsWithNoCase(size_t i, const char *word) const
    {
        for (size_t k = 0; word[k]; ++k)
            if (lower(at(i + k)) != word[k])
                return false;
        return true;
    }

    // Inline HTML up to an opening tag; the tag is emitted too.
    void html()
    {
        const size_t start = m_i;
        while (m_i < m_n) {
            const void *lt = std::memchr(m_s.data() + m_i, '<', m_n - m_i);
            if (!lt) {
                m_i = m_n;
                break;
            }
            size_t p = size_t(static_cast<const char *>(lt) - m_s.data());
            if (at(p + 1) == '?') {
                size_t tagEnd = 0;
                if (at(p + 2) == '=')
                    tagEnd = p + 3;
                else if (startsWithNoCase(p + 2, "php")) {
                    const char after = at(p + 5);
                    if (after == ' ' || after == '\t' || after == '\n' || after == '\r' ||
                        p + 5 >= m_n)
                        tagEnd = p + 5 + (after == '\r' && at(p + 6) == '\n' ? 2 : 1);
                    if (tagEnd > m_n)
                        tagEnd = m_n;
                }
                if (tagEnd) {
                    if (p > start) {
                        m_i = p;
                        emit(PhpTok::InlineHtml, start);
                    }
                    m_i = tagEnd;
                    emit(PhpTok::OpenTag, p);
                    return;
                }
            }
            m_i = p + 1;
        }
        if (m_i > start)
            emit(PhpTok::InlineHtml, start);
    }

    // PHP code until `?>` (or, inside an interpolation, the unmatched `}`).
    void code(bool untilBrace)
    {
        int braces = 0;
        while (m_i < m_n) {
            const unsigned char c = static_cast<unsigned char>(m_s[m_i]);
            const size_t start = m_i;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++m_i;
                continue;
            }
            if (isIdentStart(c) ||
                (c == '\\' && isIdentStart(static_cast<unsigned char>(at(m_i + 1))))) {
                name();
                emit(PhpTok::Name, start);
                continue;
            }
            if (c == '$' && isIdentStart(static_cast<unsigned char>(at(m_i + 1)))) {
                ++m_i;
                while (m_i < m_n && isIdentChar(static_cast<unsigned char>(m_s[m_i])))
                    ++m_i;
                emit(PhpTok::Variable, start);
                continue;
            }
            if (c >= '0' && c <= '9') {
                while (m_i < m_n &&
                       (isIdentChar(static_cast<unsigned char>(m_s[m_i])) ||
                        (m_s[m_i] == '.' && at(m_i + 1) >= '0' && at(m_i + 1) <= '9') ||
                        ((m_s[m_i] == '+' || m_s[m_i] == '-') && (lower(m_s[m_i - 1]) == 'e') &&
                         at(m_i + 1) >= '0' && at(m_i + 1) <= '9')))
                    ++m_i;
                emit(PhpTok::Number, start);
                continue;
            }
            switch (c) {
            case '?':
                if (at(m_i + 1) == '>') {
                    if (untilBrace) { // `?>` inside an interpolation is not a tag
                        m_i += 2;
                        emit(PhpTok::Op, start);
                        continue;
                    }
                    m_i += 2;
                    emit(PhpTok::CloseTag, start);
                    return;
                }
                if (at(m_i + 1) == '-' && at(m_i + 2) == '>') {
                    m_i += 3;
                    emit(PhpTok::Op, start);
                    continue;
                }
                break;
            case '#':
                if (at(m_i + 1) == '[') {
                    m_i += 2;
                    emit(PhpTok::Op, start);
                    continue;
                }
                lineComment();
                emit(PhpTok::Comment, start);
                continue;
            case '/':
                if (at(m_i + 1) == '/') {
                    lineComment();
                    emit(PhpTok::Comment, start);
                    continue;
                }
                if (at(m_i + 1) == '*') {
                    const bool doc = at(m_i + 2) == '*' && at(m_i + 3) != '/';
                    const char *end = nullptr;
                    if (m_i + 2 < m_n) {
                        // memmem is not standard; search for "*/" by hand.
                        for (size_t k = m_i + 2; k + 1 < m_n; ++k) {
                            const void *star = std::memchr(m_s.data() + k, '*', m_n - k - 1);
                            if (!star)
                                break;
                            k = size_t(static_cast<const char *>(star) - m_s.data());
                            if (m_s[k + 1] == '/') {
                                end = m_s.data() + k + 2;
                                break;
                            }
                        }
                    }
                    m_i = end ? size_t(end - m_s.data()) : m_n;
                    emit(doc ? PhpTok::DocComment : PhpTok::Comment, start);
                    continue;
                }
                break;
            case '\'':
                singleQuoted();
                emit(PhpTok::String, start);
                continue;
            case '"':
            case '`':
                ++m_i;
                interpolated(char(c));
                emit(PhpTok::String, start);
                continue;
            case '<':
                if (at(m_i + 1) == '<' && at(m_i + 2) == '<' && heredoc()) {
                    emit(PhpTok::Heredoc, start);
                    continue;
                }
                break;
            case '-':
            case ':':
            case '=':
                // The two-character operators the declaration reader looks at: -> :: =>
                if (at(m_i + 1) == (c == ':' ? ':' : '>')) {
                    m_i += 2;
                    emit(PhpTok::Op, start);
                    continue;
                }
                break;
            case '.':
                if (at(m_i + 1) == '.' && at(m_i + 2) == '.') {
                    m_i += 3;
                    emit(PhpTok::Op, start);
                    continue;
                }
                if (at(m_i + 1) >= '0' && at(m_i + 1) <= '9') {
                    ++m_i;
                    while (m_i < m_n && isIdentChar(static_cast<unsigned char>(m_s[m_i])))
                        ++m_i;
                    emit(PhpTok::Number, start);
                    continue;
                }
                break;
            case '{':
                ++braces;
                break;
            case '}':
                if (untilBrace && braces == 0) {
                    ++m_i;
                    return;
                }
                --braces;
                break;
            default:
                break;
            }
            ++m_i;
            emit(PhpTok::Op, start);
        }
    }

    void name()
    {
        if (m_s[m_i] == '\\')
            ++m_i;
        for (;;) {
            while (m_i < m_n && isIdentChar(static_cast<unsigned char>(m_s[m_i])))
                ++m_i;
            if (at(m_i) == '\\' && isIdentStart(static_cast<unsigned char>(at(m_i + 1))))
                ++m_i;
            else
                break;
        }
    }

    void lineComment()
    {
        while (m_i < m_n) {
            const char c = m_s[m_i];
            if (c == '\n' || c == '\r')
                return;
            if (c == '?' && at(m_i + 1) == '>')
                return;
            ++m_i;
        }
    }

    void singleQuoted()
    {
        ++m_i;
        while (m_i < m_n) {
            const char c = m_s[m_i];
            if (c == '\\') {
                m_i += 2;
                continue;
            }
            ++m_i;
            if (c == '\'')
                return;
        }
        m_i = m_n;
    }

    // Skips PHP code of an interpolation up to its closing brace.
    void nestedCode()
    {
        ++m_skipDepth;
        code(true);
        --m_skipDepth;
    }

    // After the opening quote; stops after the closing one.
    void interpolated(char quote)
    {
        while (m_i < m_n) {
            const char c = m_s[m_i];
            if (c == '\\') {
                m_i += 2;
                continue;
            }
            if (c == quote) {
                ++m_i;
                return;
            }
            if ((c == '{' && at(m_i + 1) == '$') || (c == '$' && at(m_i + 1) == '{')) {
                m_i += 2;
                nestedCode();
                continue;
            }
            ++m_i;
        }
        m_i = m_n;
    }

    // At `<<<`: consumes the whole heredoc or nowdoc; false when no marker follows.
    bool heredoc()
    {
        size_t p = m_i + 3;
        while (at(p) == ' ' || at(p) == '\t')
            ++p;
        char quote = 0;
        if (at(p) == '"' || at(p) == '\'')
            quote = m_s[p++];
        const size_t idStart = p;
        if (!isIdentStart(static_cast<unsigned char>(at(p))))
            return false;
        while (p < m_n && isIdentChar(static_cast<unsigned char>(m_s[p])))
            ++p;
        const std::string_view id = m_s.substr(idStart, p - idStart);
        if (quote) {
            if (at(p) != quote)
                return false;
            ++p;
        }
        if (at(p) == '\r')
            ++p;
        if (at(p) != '\n')
            return false;
        ++p;
        const bool nowdoc = quote == '\'';
        m_i = p;
        // Body: a line whose first non-blank text is the marker, not followed
        // by an identifier character, ends it.
        bool lineStart = true;
        while (m_i < m_n) {
            if (lineStart) {
                size_t q = m_i;
                while (at(q) == ' ' || at(q) == '\t')
                    ++q;
                if (m_s.compare(q, id.size(), id) == 0 &&
                    !isIdentChar(static_cast<unsigned char>(at(q + id.size())))) {
                    m_i = q + id.size();
                    return true;
                }
                lineStart = false;
            }
            const char c = m_s[m_i];
            if (c == '\n') {
                lineStart = true;
                ++m_i;
                continue;
            }
            if (!nowdoc) {
                if (c == '\\') {
                    m_i += (at(m_i + 1) == '\n') ? 1 : 2;
                    continue;
                }
                if ((c == '{' && at(m_i + 1) == '$') || (c == '$' && at(m_i + 1) == '{')) {
                    m_i += 2;
                    nestedCode();
                    continue;
                }
            }
            ++m_i;
        }
        m_i = m_n;
        return true;
    }

    std::string_view m_s;
    size_t m_n;
    size_t m_i = 0;
    size_t m_counted = 0;
    std::uint32_t m_line = 1;
    int m_skipDepth = 0;
    std::vector<PhpToken> &m_tokens;
};

} // namespace

void LexPhp(std::string_view source, std::vector<PhpToken> &out)
{
    Lexer(source, out).run();
}

std::vector<PhpToken> LexPhp(std::string_view source)
{
    std::vector<PhpToken> out;
    LexPhp(source, out);
    return out;
}

bool IsOp(std::string_view source, const PhpToken &t, std::string_view op)
{
    return t.kind == PhpTok::Op && TokenText(source, t) == op;
}

bool IsKeyword(std::string_view source, const PhpToken &t, std::string_view lowerKeyword)
{
    if (t.kind != PhpTok::Name || t.len != lowerKeyword.size())
        return false;
    for (size_t k = 0; k < lowerKeyword.size(); ++k)
        if (lower(source[t.pos + k]) != lowerKeyword[k])
            return false;
    return true;
}

bool PlainStringValue(std::string_view source, const PhpToken &t, std::string &value)
{
    if (t.kind != PhpTok::String || t.len < 2)
        return false;
    const std::string_view s = TokenText(source, t);
    const char q = s.front();
    if ((q != '\'' && q != '"') || s.back() != q)
        return false;
    value.clear();
    for (size_t k = 1; k + 1 < s.size(); ++k) {
        char c = s[k];
        if (q == '"' && (c == '$' || c == '{'))
            return false;
        if (c == '\\' && k + 2 < s.size()) {
            const char n = s[k + 1];
            if (n == q || n == '\\') {
                c = n;
                ++k;
            } else if (q == '"') {
                return false;
            }
        }
        value.push_back(c);
    }
    return true;
}
