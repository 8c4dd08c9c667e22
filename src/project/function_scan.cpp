#include "project/function_scan.h"

#include "foundation/errors.h"
#include "project/parallel_read.h"
#include "project/project.h"
#include "project/source_text.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <numeric>
#include <string.h>

namespace {

const char Keyword[] = "function ";
constexpr qsizetype KeywordSize = sizeof(Keyword) - 1;

bool isLineBreak(char c)
{
    return c == '\n' || c == '\r';
}
bool isTrimmed(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

// Minimum tree over the rows' ranks: finds the first later row holding a
// smaller rank in logarithmic time.
class MinTree {
public:
    explicit MinTree(const std::vector<int> &values)
    {
        m_leaves = 1;
        while (m_leaves < values.size())
            m_leaves *= 2;
        m_tree.assign(2 * m_leaves, INT_MAX);
        std::copy(values.begin(), values.end(), m_tree.begin() + qsizetype(m_leaves));
        for (size_t node = m_leaves - 1; node >= 1; --node)
            m_tree[node] = std::min(m_tree[2 * node], m_tree[2 * node + 1]);
    }
    void set(size_t position, int value)
    {
        size_t node = position + m_leaves;
        m_tree[node] = value;
        for (node /= 2; node >= 1; node /= 2)
            m_tree[node] = std::min(m_tree[2 * node], m_tree[2 * node + 1]);
    }
    // The first position at or after `from` whose value is below `limit`; -1 if none.
    int firstBelow(size_t from, int limit) const
    {
        if (from >= m_leaves)
            return -1;
        size_t node = from + m_leaves;
        while (m_tree[node] >= limit) {
            // Climb while this is a right child, then step to the right sibling.
            while (node & 1) {
                node /= 2;
                if (node == 0)
                    return -1;
            }
            ++node;
        }
        while (node < m_leaves)
            node = m_tree[2 * node] < limit ? 2 * node : 2 * node + 1;
        return int(node - m_leaves);
    }

private:
    size_t m_leaves;
    std::vector<int> m_tree;
};

} // namespace

bool IsProjectFunctionLine(const QString &line)
{
    return TrimControls(line).startsWith(QLatin1String(Keyword));
}

bool IsFileFunctionLine(const QString &line)
{
    return line.contains(QLatin1String(Keyword));
}

void AppendProjectFunctionLines(const char *bytes, qsizetype size, QStringList &lines)
{
    if (size == 0)
        return;
    // The whole-file UTF-8 check waits for the first declaration found.
    SourceEncoding encoding;
    bool known = false;
    if (size >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
        encoding = DetectSourceEncoding(bytes, size);
        known = true;
    }
    const char *data = bytes + encoding.start;
    const qsizetype n = size - encoding.start;
    qsizetype pos = 0; // the start of a line not yet looked at
    while (pos < n) {
        const void *found = memmem(data + pos, size_t(n - pos), Keyword, KeywordSize);
        if (!found)
            break;
        const qsizetype at = static_cast<const char *>(found) - data;
        qsizetype start = at;
        while (start > pos && !isLineBreak(data[start - 1]))
            --start;
        qsizetype end = at + KeywordSize;
        while (end < n && !isLineBreak(data[end]))
            ++end;
        // Only the line's first occurrence can start its trimmed text, and
        // only when something other than blanks follows the keyword.
        const bool leading = std::all_of(data + start, data + at, isTrimmed);
        const bool followed = !std::all_of(data + at + KeywordSize, data + end, isTrimmed);
        if (leading && followed) {
            if (!known) {
                encoding = DetectSourceEncoding(bytes, size);
                known = true;
            }
            lines.append(DecodeSource(data + start, end - start, encoding));
        }
        pos = end + 1;
        if (end + 1 < n && data[end] == '\r' && data[end + 1] == '\n')
            ++pos;
    }
}

void AppendProjectFunctionLines(const QByteArray &bytes, QStringList &lines)
{
    AppendProjectFunctionLines(bytes.constData(), bytes.size(), lines);
}

QStringList FileFunctionLines(const QString &text)
{
    QStringList lines;
    const QLatin1String keyword(Keyword);
    qsizetype pos = 0;
    while (true) {
        const qsizetype at = text.indexOf(keyword, pos);
        if (at < 0)
            break;
        qsizetype start = at;
        while (start > pos && text.at(start - 1) != u'\n' && text.at(start - 1) != u'\r')
            --start;
        qsizetype end = at + keyword.size();
        while (end < text.size() && text.at(end) != u'\n' && text.at(end) != u'\r')
            ++end;
        lines.append(text.mid(start, end - start));
        pos = end + 1;
        if (end + 1 < text.size() && text.at(end) == u'\r' && text.at(end + 1) == u'\n')
            ++pos;
    }
    return lines;
}

std::vector<int> SortRows(const QStringList &texts)
{
    const int n = int(texts.size());
    // Rank the texts once: UTF-8 bytes compare in code-point order.
    std::vector<QByteArray> keys;
    keys.reserve(size_t(n));
    for (const QString &text : texts)
        keys.push_back(text.toUtf8());
    std::vector<int> byText(static_cast<size_t>(n));
    std::iota(byText.begin(), byText.end(), 0);
    const auto less = [&keys](int a, int b) {
        const QByteArray &x = keys[size_t(a)];
        const QByteArray &y = keys[size_t(b)];
        const int c =
            std::memcmp(x.constData(), y.constData(), size_t(std::min(x.size(), y.size())));
        return c != 0 ? c < 0 : x.size() < y.size();
    };
    std::sort(byText.begin(), byText.end(), less);
    std::vector<int> rank(static_cast<size_t>(n));
    for (int k = 0, r = 0; k < n; ++k) {
        if (k > 0 && less(byText[size_t(k - 1)], byText[size_t(k)]))
            ++r;
        rank[size_t(byText[size_t(k)])] = r;
    }

    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    if (n < 2)
        return order;

    // Pass i of the exchange sort walks the chain of ever smaller ranks after
    // row i and moves each rank one link along it, the last one into row i.
    // The tree finds each link directly; input that makes the chains long
    // (falling runs) goes on with the plain exchange over integers instead.
    MinTree tree(rank);
    const long long budget = 32LL * n + 1024;
    long long steps = 0;
    std::vector<int> chain;
    int i = 0;
    for (; i < n && steps <= budget; ++i) {
        chain.assign(1, i);
        int limit = rank[size_t(i)];
        for (int p; (p = tree.firstBelow(size_t(chain.back()) + 1, limit)) >= 0;) {
            chain.push_back(p);
            limit = rank[size_t(p)];
        }
        steps += qsizetype(chain.size());
        if (chain.size() < 2)
            continue;
        const int lastRank = rank[size_t(chain.back())];
        const int lastRow = order[size_t(chain.back())];
        for (size_t k = chain.size() - 1; k > 0; --k) {
            rank[size_t(chain[k])] = rank[size_t(chain[k - 1])];
            order[size_t(chain[k])] = order[size_t(chain[k - 1])];
            tree.set(size_t(chain[k]), rank[size_t(chain[k])]);
        }
        rank[size_t(i)] = lastRank;
        order[size_t(i)] = lastRow;
        tree.set(size_t(i), lastRank);
    }
    for (; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if (rank[size_t(i)] > rank[size_t(j)]) {
                std::swap(rank[size_t(i)], rank[size_t(j)]);
                std::swap(order[size_t(i)], order[size_t(j)]);
            }
        }
    }
    return order;
}

void Project::ScanFunctions()
{
    FunctionLines.clear();
    FunctionFiles.clear();
    QStringList names;
    ListFileNames(names);
    // Every file is read once, on all cores, into its own list of lines; the
    // lists are joined in project order.
    std::vector<QStringList> found(static_cast<size_t>(names.size()));
    const std::vector<FileReadFailure> skipped = ReadFilesInParallelSkipping(
        names,
        [&found](qsizetype index, const char *data, qsizetype size, int) {
            AppendProjectFunctionLines(data, size, found[size_t(index)]);
        },
        DefaultWorkerCount());
    for (qsizetype index = 0; index < names.size(); ++index) {
        const QStringList &lines = found[size_t(index)];
        FunctionLines.append(lines);
        for (qsizetype k = 0; k < lines.size(); ++k)
            FunctionFiles.append(names.at(index));
    }
    // A file that cannot be read is passed over, and said so.
    ScanSkipped.clear();
    for (const FileReadFailure &failure : skipped)
        ScanSkipped.append(failure.message);
}
