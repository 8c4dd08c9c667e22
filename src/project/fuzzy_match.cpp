#include "project/fuzzy_match.h"

namespace {
char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool wordStart(std::string_view text, size_t i)
{
    if (i == 0)
        return true;
    const char p = text[i - 1];
    const char c = text[i];
    if (p == '\\' || p == '_' || p == ':' || p == '$' || p == ' ' || p == '.' || p == '/' ||
        p == '-')
        return true;
    return c >= 'A' && c <= 'Z' && p >= 'a' && p <= 'z';
}
} // namespace

int FuzzyScore(std::string_view pattern, std::string_view text)
{
    if (pattern.empty())
        return 0;
    int score = 0;
    size_t t = 0;
    bool previousMatched = false;
    for (size_t p = 0; p < pattern.size(); ++p) {
        const char want = lower(pattern[p]);
        // Prefer the next word start that matches when the very next character does not.
        size_t found = std::string_view::npos;
        if (t < text.size() && lower(text[t]) == want)
            found = t;
        else
            for (size_t k = t; k < text.size(); ++k)
                if (lower(text[k]) == want && wordStart(text, k)) {
                    found = k;
                    break;
                }
        if (found == std::string_view::npos)
            for (size_t k = t; k < text.size(); ++k)
                if (lower(text[k]) == want) {
                    found = k;
                    break;
                }
        if (found == std::string_view::npos)
            return -1;
        const bool consecutive = previousMatched && found == t;
        score += 1;
        if (wordStart(text, found))
            score += 8;
        if (consecutive)
            score += 5;
        if (found == 0)
            score += 4;
        if (text[found] == pattern[p])
            score += 1; // same letter case
        previousMatched = true;
        t = found + 1;
    }
    // Shorter texts first among equals; the score keeps room for that.
    const int length = int(text.size() > 200 ? 200 : text.size());
    return score * 256 + (255 - length);
}
