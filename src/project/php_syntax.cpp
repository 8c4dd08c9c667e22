#include "project/php_syntax.h"

#include "project/php_lexer.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

bool isCode(const PhpToken &t)
{
    return t.kind != PhpTok::Comment && t.kind != PhpTok::DocComment &&
           t.kind != PhpTok::InlineHtml;
}

size_t lineStart(std::string_view s, size_t pos)
{
    const size_t nl = pos == 0 ? std::string_view::npos : s.rfind('\n', pos - 1);
    return nl == std::string_view::npos ? 0 : nl + 1;
}

size_t lineEnd(std::string_view s, size_t pos)
{
    size_t end = std::min(s.find('\n', pos), s.size());
    if (end > pos && s[end - 1] == '\r')
        --end;
    return end;
}

// The byte offset where 1-based `line` starts; npos beyond the text.
size_t offsetOfLine(std::string_view s, int line)
{
    size_t at = 0;
    for (int k = 1; k < line; ++k) {
        const size_t nl = s.find('\n', at);
        if (nl == std::string_view::npos)
            return std::string_view::npos;
        at = nl + 1;
    }
    return at;
}

// A problem over `length` bytes from `pos`, cut at its line's end.
PhpSyntaxProblem problemAt(std::string_view s, size_t pos, size_t length, std::uint32_t line,
                           std::string message)
{
    const size_t start = lineStart(s, pos);
    const size_t end = lineEnd(s, pos);
    PhpSyntaxProblem p;
    p.line = line;
    p.column = std::uint32_t(pos - start);
    p.length = std::uint32_t(std::max<size_t>(std::min(length, end - pos), end > pos ? 1 : 0));
    p.message = std::move(message);
    return p;
}

char closerOf(char open)
{
    return open == '(' ? ')' : open == '[' ? ']' : '}';
}

// A string, comment or heredoc that runs to the end of the text without its end.
const char *unterminated(std::string_view s, const PhpToken &t)
{
    if (size_t(t.pos) + t.len < s.size())
        return nullptr;
    const std::string_view text = TokenText(s, t);
    switch (t.kind) {
    case PhpTok::Comment:
    case PhpTok::DocComment:
        if (text.starts_with("/*") && (text.size() < 4 || !text.ends_with("*/")))
            return "Unterminated comment";
        return nullptr;
    case PhpTok::String:
        if (text.size() < 2 || text.back() != text.front())
            return "Unterminated string";
        return nullptr;
    case PhpTok::Heredoc: {
        size_t p = 3;
        while (p < text.size() &&
               (text[p] == ' ' || text[p] == '\t' || text[p] == '"' || text[p] == '\''))
            ++p;
        size_t q = p;
        while (q < text.size() && (std::isalnum(static_cast<unsigned char>(text[q])) ||
                                   text[q] == '_' || static_cast<unsigned char>(text[q]) >= 0x80))
            ++q;
        const std::string_view label = text.substr(p, q - p);
        if (text.size() <= q || !text.ends_with(label))
            return "Unterminated heredoc";
        return nullptr;
    }
    default:
        return nullptr;
    }
}

// The text between the first pair of double quotes after `after` in `message`.
std::string quotedAfter(const std::string &message, std::string_view after)
{
    const size_t at = message.find(after);
    if (at == std::string::npos)
        return {};
    const size_t open = message.find('"', at + after.size());
    const size_t close = open == std::string::npos ? open : message.find('"', open + 1);
    if (open == std::string::npos || close == std::string::npos || close <= open + 1)
        return {};
    return message.substr(open + 1, close - open - 1);
}

// The bracket and line of "Unclosed '{' on line 2" or "Unmatched '}'".
bool namedBracket(const std::string &message, std::string_view word, char &bracket, int &line)
{
    const size_t at = message.find(word);
    if (at == std::string::npos || at + word.size() + 2 >= message.size() ||
        message[at + word.size()] != '\'')
        return false;
    bracket = message[at + word.size() + 1];
    line = 0;
    const size_t on = message.find(" on line ", at);
    if (on != std::string::npos)
        line = std::atoi(message.c_str() + on + 9);
    return true;
}

} // namespace

std::vector<PhpSyntaxProblem> FindPhpSyntaxProblems(std::string_view source)
{
    std::vector<PhpSyntaxProblem> problems;
    const std::vector<PhpToken> tokens = LexPhp(source);
    std::vector<const PhpToken *> open;
    for (const PhpToken &t : tokens) {
        if (const char *what = unterminated(source, t)) {
            problems.push_back(problemAt(source, t.pos, t.len, t.line, what));
            continue;
        }
        if (t.kind != PhpTok::Op)
            continue;
        const std::string_view text = TokenText(source, t);
        const char c = text == "#[" ? '[' : text.size() == 1 ? text[0] : '\0';
        if (c == '(' || c == '[' || c == '{') {
            open.push_back(&t);
        } else if (c == ')' || c == ']' || c == '}') {
            const auto match = std::find_if(open.rbegin(), open.rend(), [&](const PhpToken *o) {
                return closerOf(source[o->pos + o->len - 1]) == c;
            });
            if (match == open.rend()) {
                problems.push_back(
                    problemAt(source, t.pos, 1, t.line, std::string("Unmatched '") + c + "'"));
                continue;
            }
            // It closes an earlier opener: those opened since stay unclosed.
            for (auto inner = open.rbegin(); inner != match; ++inner) {
                const char o = source[(*inner)->pos + (*inner)->len - 1];
                problems.push_back(problemAt(source, (*inner)->pos, (*inner)->len, (*inner)->line,
                                             std::string("Unclosed '") + o + "'"));
            }
            open.erase(std::prev(match.base()), open.end());
        }
    }
    for (const PhpToken *o : open) {
        const char c = source[o->pos + o->len - 1];
        problems.push_back(
            problemAt(source, o->pos, o->len, o->line, std::string("Unclosed '") + c + "'"));
    }
    std::sort(problems.begin(), problems.end(), [](const auto &a, const auto &b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return problems;
}

PhpSyntaxProblem LocatePhpError(std::string_view source, int line, const std::string &message)
{
    const std::vector<PhpToken> tokens = LexPhp(source);
    char bracket = 0;
    int bracketLine = 0;
    // A bracket PHP names: the one the tokens find unpaired, on its own line.
    if (namedBracket(message, "Unclosed ", bracket, bracketLine) ||
        namedBracket(message, "Unmatched ", bracket, bracketLine)) {
        if (bracketLine == 0)
            bracketLine = line;
        for (const PhpSyntaxProblem &p : FindPhpSyntaxProblems(source)) {
            if (int(p.line) == bracketLine && p.length > 0 &&
                source[offsetOfLine(source, bracketLine) + p.column + p.length - 1] == bracket) {
                PhpSyntaxProblem found = p;
                found.message = message;
                return found;
            }
        }
    }
    // The end of the text: its last token.
    if (message.find("unexpected end of file") != std::string::npos) {
        const auto last = std::find_if(tokens.rbegin(), tokens.rend(), isCode);
        if (last != tokens.rend()) {
            const size_t end = size_t(last->pos) + last->len;
            const size_t from = std::max(lineStart(source, end - 1), size_t(last->pos));
            return problemAt(
                source, from, end - from,
                std::uint32_t(std::count(source.begin(), source.begin() + long(from), '\n') + 1),
                message);
        }
    }
    const size_t start = offsetOfLine(source, line);
    if (start == std::string_view::npos || start > source.size()) {
        PhpSyntaxProblem p;
        p.line = std::uint32_t(std::max(line, 1));
        p.message = message;
        return p;
    }
    // The token the message quotes, first on the line.
    for (std::string_view after :
         {"unexpected token ", "unexpected identifier ", "unexpected variable ",
          "unexpected integer ", "unexpected floating-point number ", "unexpected ",
          "expecting "}) {
        const std::string quoted = quotedAfter(message, after);
        if (quoted.empty())
            continue;
        for (const PhpToken &t : tokens) {
            if (int(t.line) < line || !isCode(t))
                continue;
            if (int(t.line) > line)
                break;
            if (source.substr(t.pos, quoted.size()) == quoted ||
                TokenText(source, t).find(quoted) != std::string_view::npos)
                return problemAt(source, t.pos, std::max<size_t>(t.len, quoted.size()),
                                 std::uint32_t(line), message);
        }
        break;
    }
    // Else the line's text without its indentation.
    const size_t end = lineEnd(source, start);
    size_t from = start;
    while (from < end && (source[from] == ' ' || source[from] == '\t'))
        ++from;
    return problemAt(source, from, end - from, std::uint32_t(line), message);
}
