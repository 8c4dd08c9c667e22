#include "project/quick_open_index.h"

#include "project/fuzzy_match.h"

#include <algorithm>
#include <string_view>

namespace {
char fold(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// True when every character of `pattern` (folded) appears in `text` in order.
bool subsequence(std::string_view pattern, std::string_view text)
{
    size_t t = 0;
    for (const char p : pattern) {
        const size_t at = text.find(p, t);
        if (at == std::string_view::npos)
            return false;
        t = at + 1;
    }
    return true;
}

// Above any score a path match can reach: file names come first. Patterns
// are cut to MaxPattern characters so the scores stay below it.
constexpr int NameTier = 1 << 30;
constexpr size_t MaxPattern = 200;

// A FuzzyScore made room for the length of the whole path: among equal
// matches the shorter path comes first.
int withPath(int score, size_t pathLength)
{
    return score * 256 + (255 - int(std::min<size_t>(pathLength, 255)));
}
} // namespace

void QuickOpenIndex::reset(const QStringList &paths)
{
    m_items.clear();
    m_items.reserve(size_t(paths.size()));
    for (const QString &path : paths) {
        Item item;
        item.text = path.toStdString();
        item.lower.resize(item.text.size());
        std::transform(item.text.begin(), item.text.end(), item.lower.begin(), fold);
        const size_t slash = item.text.find_last_of('/');
        item.nameAt = slash == std::string::npos ? 0 : uint32_t(slash + 1);
        m_items.push_back(std::move(item));
    }
    m_lastPattern.clear();
    m_lastMatches.clear();
}

std::vector<int> QuickOpenIndex::find(const QString &typed, size_t limit)
{
    std::string pattern = typed.toStdString();
    pattern.erase(std::remove(pattern.begin(), pattern.end(), ' '), pattern.end());
    if (pattern.size() > MaxPattern)
        pattern.resize(MaxPattern);
    std::string folded(pattern.size(), '\0');
    std::transform(pattern.begin(), pattern.end(), folded.begin(), fold);

    if (folded.empty()) {
        // Nothing typed: the project's own order.
        m_lastPattern.clear();
        std::vector<int> first(std::min(limit, m_items.size()));
        for (size_t i = 0; i < first.size(); ++i)
            first[i] = int(i);
        return first;
    }
    const bool narrowing = !m_lastPattern.empty() && folded.starts_with(m_lastPattern);
    std::vector<int> candidates;
    if (!narrowing) {
        candidates.resize(m_items.size());
        for (size_t i = 0; i < m_items.size(); ++i)
            candidates[i] = int(i);
    }
    const std::vector<int> &pool = narrowing ? m_lastMatches : candidates;

    std::vector<std::pair<int, int>> scored; // score, entry
    std::vector<int> matches;
    for (const int i : pool) {
        const Item &item = m_items[size_t(i)];
        if (!subsequence(folded, item.lower))
            continue;
        matches.push_back(i);
        const std::string_view name = std::string_view(item.text).substr(item.nameAt);
        const bool inName = subsequence(folded, std::string_view(item.lower).substr(item.nameAt));
        const int score = inName ? NameTier + withPath(FuzzyScore(pattern, name), item.text.size())
                                 : withPath(FuzzyScore(pattern, item.text), item.text.size());
        scored.emplace_back(score, i);
    }
    m_lastPattern = folded;
    m_lastMatches = std::move(matches);

    const size_t keep = std::min(limit, scored.size());
    std::partial_sort(scored.begin(), scored.begin() + ptrdiff_t(keep), scored.end(),
                      [](const auto &a, const auto &b) {
                          return a.first != b.first ? a.first > b.first : a.second < b.second;
                      });
    std::vector<int> best(keep);
    for (size_t k = 0; k < keep; ++k)
        best[k] = scored[k].second;
    return best;
}
