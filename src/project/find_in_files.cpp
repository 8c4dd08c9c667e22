#include "project/find_in_files.h"

#include "project/source_text.h"
#include "project/text_search.h"

#include <algorithm>

FindInFilesResult FindInFiles(const QStringList &names, const QString &text, int workers)
{
    FindInFilesResult result;
    const LineNeedle needle(text);
    if (needle.matchesNothing())
        return result;

    // Each file's hits go to its own slot; each worker searches with its own
    // copy of the needle.
    const qsizetype count = names.size();
    std::vector<std::vector<LineHit>> hits(static_cast<size_t>(count));
    std::vector<char> binary(static_cast<size_t>(count), 0);
    std::vector<LineNeedle> needles(static_cast<size_t>(std::max(workers, 1)), needle);
    result.skipped = ReadFilesInParallelSkipping(
        names,
        [&](qsizetype index, const char *data, qsizetype size, int worker) {
            if (LooksBinary(data, size)) {
                binary[size_t(index)] = 1;
                return;
            }
            FindMatchingLines(data, size, needles[size_t(worker)], hits[size_t(index)],
                              LineText::Trimmed);
        },
        workers);

    const qsizetype end = count;
    size_t total = 0;
    for (qsizetype index = 0; index < end; ++index)
        total += hits[size_t(index)].size();
    result.lines.reserve(total);
    for (qsizetype index = 0; index < end; ++index) {
        result.binaryFiles += binary[size_t(index)];
        for (LineHit &hit : hits[size_t(index)])
            result.lines.push_back({int(index), hit.line, std::move(hit.text)});
    }
    return result;
}

QString BinaryFilesNote(int count)
{
    return count == 1 ? QStringLiteral("1 file left out as binary")
                      : QStringLiteral("%1 files left out as binary").arg(count);
}
