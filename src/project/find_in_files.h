#pragma once

#include "project/parallel_read.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Find in files over a project's files: every file is read once, on all
// cores, and searched with the needle's plan (text_search.h). Files that look
// binary (LooksBinary) are left out and counted.

struct FoundLine {
    int file;     // index into the searched names
    int line;     // 1-based
    QString text; // the line trimmed of codes up to 32 at both ends
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

FindInFilesResult FindInFiles(const QStringList &names, const QString &text,
                              int workers = DefaultWorkerCount());

// The messages row that ends a search which left files out: "N files left out as binary".
QString BinaryFilesNote(int count);
