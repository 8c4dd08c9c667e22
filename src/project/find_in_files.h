#pragma once

#include "project/parallel_read.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>
#include <vector>

// Find in files over a project's files: every file is read once, on all
// cores, and searched with the needle's plan (text_search.h). Files that look
// binary (LooksBinary) are left out and counted.

struct FoundLine {
    int file;     // index into the searched names
    int line;     // 1-based
    QString text; // the line trimmed of codes up to 32 at both ends
    // Where the first match lies in `text` (UTF-16 units); -1 when unknown.
    int column = -1;
    int length = 0;
};

struct FindInFilesResult {
    // In file order, then line order.
    std::vector<FoundLine> lines;
    // Files left out as binary.
    int binaryFiles = 0;
    // Files that could not be read (a pipe, a device, a file gone since it
    // was listed), in order: each is skipped and the search goes on.
    std::vector<FileReadFailure> skipped;
};

// How a search text matches. With none set the text matches as the plain
// rule of text_search.h has it (letter case ignored, anywhere in the line).
struct FileSearchOptions {
    bool matchCase = false;
    bool wholeWord = false;
    bool regularExpression = false;
    // File name patterns ("*.php, *.inc"), by commas, semicolons or blanks;
    // letter case ignored; empty for every file.
    QString fileMask;

    bool isPlain() const { return !matchCase && !wholeWord && !regularExpression; }
    // The names whose file name fits the mask.
    bool fitsMask(const QString &path) const;
    // The expression the options make of `text`; AppError when a regular
    // expression is not valid.
    QRegularExpression pattern(const QString &text) const;
};

FindInFilesResult FindInFiles(const QStringList &names, const QString &text,
                              int workers = DefaultWorkerCount());
// With options; a set `cancel` ends the search early (the rows found so far
// are kept). AppError for an invalid regular expression, before any file is read.
FindInFilesResult FindInFiles(const QStringList &names, const QString &text,
                              const FileSearchOptions &options, int workers = DefaultWorkerCount(),
                              const std::atomic<bool> *cancel = nullptr);

// The messages row that ends a search which left files out: "N files left out as binary".
QString BinaryFilesNote(int count);
// "33 matches in 12 files", "1 match in 1 file".
QString MatchCountText(qsizetype matches, qsizetype files);
