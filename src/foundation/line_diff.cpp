#include "foundation/line_diff.h"

#include <algorithm>
#include <vector>

namespace {

enum class Kind { Same, Removed, Added };
struct Step {
    Kind kind;
    int first;  // line in the first text (Same, Removed)
    int second; // line in the second text (Same, Added)
};

// Matching lines are found by longest common subsequence over the middle
// that differs; beyond this many cells the middle is shown whole.
constexpr qint64 MaxCells = 4'000'000;

std::vector<Step> steps(const QStringList &a, const QStringList &b)
{
    int head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    int tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    const int n = int(a.size()) - head - tail;
    const int m = int(b.size()) - head - tail;

    std::vector<Step> out;
    for (int i = 0; i < head; ++i)
        out.push_back({Kind::Same, i, i});
    if (qint64(n + 1) * (m + 1) <= MaxCells) {
        // lengths[i][j]: common lines of a[head+i..] and b[head+j..].
        std::vector<int> lengths(size_t(n + 1) * (m + 1), 0);
        auto at = [&](int i, int j) -> int & { return lengths[size_t(i) * (m + 1) + j]; };
        for (int i = n - 1; i >= 0; --i)
            for (int j = m - 1; j >= 0; --j)
                at(i, j) = a[head + i] == b[head + j] ? at(i + 1, j + 1) + 1
                                                      : std::max(at(i + 1, j), at(i, j + 1));
        int i = 0, j = 0;
        while (i < n || j < m) {
            if (i < n && j < m && a[head + i] == b[head + j]) {
                out.push_back({Kind::Same, head + i++, head + j++});
            } else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1))) {
                out.push_back({Kind::Removed, head + i++, head + j}); // removals first
            } else {
                out.push_back({Kind::Added, head + i, head + j++});
            }
        }
    } else {
        for (int i = 0; i < n; ++i)
            out.push_back({Kind::Removed, head + i, head});
        for (int j = 0; j < m; ++j)
            out.push_back({Kind::Added, head + n, head + j});
    }
    for (int i = 0; i < tail; ++i)
        out.push_back({Kind::Same, head + n + i, head + m + i});
    return out;
}

} // namespace

QString UnifiedLineDiff(const QStringList &first, const QStringList &second, int context)
{
    const std::vector<Step> all = steps(first, second);
    QString out;
    const int count = int(all.size());
    int i = 0;
    while (i < count) {
        if (all[size_t(i)].kind == Kind::Same) {
            ++i;
            continue;
        }
        // A hunk: from `context` lines before this change to `context`
        // after the last change that lies within twice that of the next.
        const int start = std::max(0, i - context);
        int end = i;
        int lastChange = i;
        while (end < count) {
            if (all[size_t(end)].kind != Kind::Same)
                lastChange = end;
            else if (end - lastChange > 2 * context)
                break;
            ++end;
        }
        end = std::min(count, lastChange + 1 + context);
        out += QStringLiteral("@@ -%1 +%2 @@\n")
                   .arg(all[size_t(start)].first + 1)
                   .arg(all[size_t(start)].second + 1);
        for (int k = start; k < end; ++k) {
            const Step &step = all[size_t(k)];
            switch (step.kind) {
            case Kind::Same:
                out += u' ' + first[step.first] + u'\n';
                break;
            case Kind::Removed:
                out += u'-' + first[step.first] + u'\n';
                break;
            case Kind::Added:
                out += u'+' + second[step.second] + u'\n';
                break;
            }
        }
        i = end;
    }
    return out;
}
