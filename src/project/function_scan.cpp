#include "project/function_scan.h"

#include "foundation/errors.h"
#include "project/parallel_read.h"
#include "project/project.h"
#include "project/source_text.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
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

// The rows holding texts already ranked, as a Fenwick tree over row
// numbers: how many lie before a row, and the k-th of them, in log time.
class RowSet {
public:
    explicit RowSet(int rows) : m_tree(size_t(rows) + 1, 0)
    {
        m_top = 1;
        while (m_top * 2 <= size_t(rows))
            m_top *= 2;
    }
    void insert(int row)
    {
        for (size_t node = size_t(row) + 1; node < m_tree.size(); node += node & (~node + 1))
            ++m_tree[node];
    }
    // How many rows of the set lie before `row`.
    int countBelow(int row) const
    {
        int count = 0;
        for (size_t node = size_t(row); node > 0; node &= node - 1)
            count += m_tree[node];
        return count;
    }
    // The k-th row of the set in row order, from 0.
    int at(int k) const
    {
        size_t node = 0;
        int left = k + 1;
        for (size_t step = m_top; step > 0; step /= 2) {
            if (node + step < m_tree.size() && m_tree[node + step] < left) {
                node += step;
                left -= m_tree[node];
            }
        }
        return int(node);
    }

private:
    std::vector<int> m_tree;
    size_t m_top;
};

// Turns the queue `turns` times: the front goes to the back each time.
void turnQueue(std::deque<int> &queue, long long turns)
{
    const long long size = qsizetype(queue.size());
    turns %= size;
    if (turns <= size / 2) {
        for (; turns > 0; --turns) {
            queue.push_back(queue.front());
            queue.pop_front();
        }
    } else {
        for (turns = size - turns; turns > 0; --turns) {
            queue.push_front(queue.back());
            queue.pop_back();
        }
    }
}

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
    // Stable, so each run of equal texts lists its rows in row order.
    std::stable_sort(byText.begin(), byText.end(), less);

    // The exchange sort's pass p leaves the smallest remaining text in row p.
    // Seen from one text x, a pass moves at most one of its rows: the first
    // row holding x, when no smaller text stands before it, goes to the row
    // of the first smaller text after it; the others stay where they are.
    // And the rows holding smaller texts lose only their first one per pass.
    // So the order of x's rows follows from the rows of the smaller texts
    // alone, taken from the tree below, in steps that grow with x's rows.
    std::vector<int> order(static_cast<size_t>(n));
    RowSet smaller(n);
    std::deque<int> moved;
    int placed = 0;
    for (int from = 0; from < n;) {
        int to = from + 1;
        while (to < n && !less(byText[size_t(from)], byText[size_t(to)]))
            ++to;
        const int *rows = byText.data() + from;
        const int count = to - from;
        const int passes = placed; // the passes that move smaller texts
        int *out = order.data() + placed;
        // Pass i compares the first remaining row of x with the i-th row of
        // a smaller text; rows of x carried along queue up behind each other.
        int pass = count > 1 ? smaller.countBelow(rows[0]) : passes;
        if (pass >= passes) {
            std::copy(rows, rows + count, out);
        } else {
            moved.assign(1, rows[0]);
            int next = 1;     // the first row of x still where it started
            int front = pass; // moved.front() sits in the front-th smaller row
            ++pass;
            while (pass < passes) {
                if (next < count && rows[next] < smaller.at(front)) {
                    moved.push_back(rows[next++]);
                    ++pass;
                    continue;
                }
                // The queue turns round until a smaller row passes the next
                // unmoved row of x, or the passes run out.
                const int until = next < count ? smaller.countBelow(rows[next]) : INT_MAX;
                const int turns = int(std::min<long long>(until - front, passes - pass));
                turnQueue(moved, turns);
                front += turns;
                pass += turns;
            }
            // Rows of x in row order: the unmoved ones and the queue, which
            // sits in the smaller rows front, front + 1, ...
            int k = 0;
            for (const int row : moved) {
                const int at = smaller.at(front + k++);
                while (next < count && rows[next] < at)
                    *out++ = rows[next++];
                *out++ = row;
            }
            std::copy(rows + next, rows + count, out);
        }
        for (int k = 0; k < count; ++k)
            smaller.insert(rows[k]);
        placed += count;
        from = to;
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
