#include "project/find_in_files.h"

#include "foundation/errors.h"
#include "project/source_text.h"
#include "project/text_search.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace {

qsizetype leadingControls(const QString &line)
{
    qsizetype lead = 0;
    while (lead < line.size() && line.at(lead).unicode() <= 32)
        ++lead;
    return lead;
}

QString trimmedControls(const QString &line)
{
    qsizetype end = line.size();
    while (end > 0 && line.at(end - 1).unicode() <= 32)
        --end;
    const qsizetype lead = std::min(leadingControls(line), end);
    return line.mid(lead, end - lead);
}

// Where the plain rule's match lies in a hit's text: found again the way the
// rule compares (locale lower case) when that keeps the text's length, else
// ignoring case the simple way; unknown when neither finds it.
void placePlainMatch(FoundLine &hit, const QString &lowered, const QLocale &locale)
{
    const QString line = locale.toLower(hit.text);
    qsizetype at = line.size() == hit.text.size() ? line.indexOf(lowered) : -1;
    if (at < 0)
        at = hit.text.indexOf(lowered, 0, Qt::CaseInsensitive);
    if (at >= 0) {
        hit.column = int(at);
        hit.length = int(std::min(lowered.size(), hit.text.size() - at));
    }
}

} // namespace

bool FileSearchOptions::fitsMask(const QString &path) const
{
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    const QStringList patterns = fileMask.split(separators, Qt::SkipEmptyParts);
    if (patterns.isEmpty())
        return true;
    const QString name = QFileInfo(path).fileName();
    return std::any_of(patterns.cbegin(), patterns.cend(), [&](const QString &pattern) {
        const QRegularExpression wildcard(QRegularExpression::wildcardToRegularExpression(pattern),
                                          QRegularExpression::CaseInsensitiveOption);
        return wildcard.match(name).hasMatch();
    });
}

QRegularExpression FileSearchOptions::pattern(const QString &text) const
{
    QString source = regularExpression ? text : QRegularExpression::escape(text);
    if (wholeWord)
        source = QStringLiteral("(?<!\\w)(?:") + source + QStringLiteral(")(?!\\w)");
    QRegularExpression::PatternOptions flags = QRegularExpression::UseUnicodePropertiesOption;
    if (!matchCase)
        flags |= QRegularExpression::CaseInsensitiveOption;
    QRegularExpression expression(source, flags);
    if (!expression.isValid())
        throw AppError(QStringLiteral("The regular expression \"%1\" is not valid: %2.")
                           .arg(text, expression.errorString()));
    return expression;
}

FindInFilesResult FindInFiles(const QStringList &names, const QString &text, int workers)
{
    return FindInFiles(names, text, FileSearchOptions(), workers);
}

FindInFilesResult FindInFiles(const QStringList &allNames, const QString &text,
                              const FileSearchOptions &options, int workers,
                              const std::atomic<bool> *cancel)
{
    FindInFilesResult result;
    const bool plain = options.isPlain();
    const LineNeedle needle(text);
    if (text.isEmpty() || (plain && needle.matchesNothing()))
        return result;
    const QRegularExpression expression = plain ? QRegularExpression() : options.pattern(text);
    if (!plain)
        expression.optimize();

    // The files the mask lets through, by their index among all names.
    QStringList names;
    std::vector<int> indexOf;
    for (qsizetype i = 0; i < allNames.size(); ++i) {
        if (options.fitsMask(allNames.at(i))) {
            names << allNames.at(i);
            indexOf.push_back(int(i));
        }
    }

    // Each file's hits go to its own slot; each worker searches with its own
    // copy of the needle.
    const qsizetype count = names.size();
    std::vector<std::vector<LineHit>> hits(static_cast<size_t>(count));
    std::vector<std::vector<FoundLine>> found(static_cast<size_t>(count));
    std::vector<char> binary(static_cast<size_t>(count), 0);
    std::vector<LineNeedle> needles(static_cast<size_t>(std::max(workers, 1)), needle);
    result.skipped = ReadFilesInParallelSkipping(
        names,
        [&](qsizetype index, const char *data, qsizetype size, int worker) {
            if (cancel && cancel->load())
                return;
            if (LooksBinary(data, size)) {
                binary[size_t(index)] = 1;
                return;
            }
            if (plain) {
                FindMatchingLines(data, size, needles[size_t(worker)], hits[size_t(index)],
                                  LineText::Trimmed);
                return;
            }
            ForEachLine(data, size, [&](int line, const QString &lineText) {
                const QRegularExpressionMatch match = expression.match(lineText);
                if (!match.hasMatch())
                    return;
                FoundLine hit{int(index), line, trimmedControls(lineText)};
                const qsizetype lead = leadingControls(lineText);
                const qsizetype start = std::max<qsizetype>(match.capturedStart() - lead, 0);
                if (start <= hit.text.size()) {
                    hit.column = int(start);
                    hit.length = int(std::min(match.capturedLength(), hit.text.size() - start));
                }
                found[size_t(index)].push_back(std::move(hit));
            });
        },
        workers);

    const qsizetype end = count;
    size_t total = 0;
    for (qsizetype index = 0; index < end; ++index)
        total += hits[size_t(index)].size() + found[size_t(index)].size();
    result.lines.reserve(total);
    const QLocale locale = QLocale::system();
    for (qsizetype index = 0; index < end; ++index) {
        result.binaryFiles += binary[size_t(index)];
        const int file = indexOf[size_t(index)];
        for (LineHit &hit : hits[size_t(index)]) {
            result.lines.push_back({file, hit.line, std::move(hit.text)});
            placePlainMatch(result.lines.back(), needle.lowered(), locale);
        }
        for (FoundLine &hit : found[size_t(index)]) {
            hit.file = file;
            result.lines.push_back(std::move(hit));
        }
    }
    for (FileReadFailure &skipped : result.skipped)
        skipped.index = indexOf[size_t(skipped.index)];
    return result;
}

QString BinaryFilesNote(int count)
{
    return count == 1 ? QStringLiteral("1 file left out as binary")
                      : QStringLiteral("%1 files left out as binary").arg(count);
}

QString MatchCountText(qsizetype matches, qsizetype files)
{
    return QStringLiteral("%1 %2 in %3 %4")
        .arg(matches)
        .arg(matches == 1 ? QStringLiteral("match") : QStringLiteral("matches"))
        .arg(files)
        .arg(files == 1 ? QStringLiteral("file") : QStringLiteral("files"));
}
