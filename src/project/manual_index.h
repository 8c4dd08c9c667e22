#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The local PHP manual: a folder "phpmanual" beside the program with one page
// per function, named "function." + the name with "_" written as "-" + ".htm".
// Completion offers the names its pages give and the advice window shows the
// pages; both read the folder through these functions.

// One row of the manual index: the name a page's file gives, and the file name.
struct ManualEntry {
    QString name;
    QString fileName;
};

// The manual folder in use: "phpmanual" in the program's folder unless a test
// pointed it elsewhere.
QString ManualFolder();
// Points ManualFolder at another folder (tests, benchmarks); nullopt restores
// the folder beside the program.
void SetManualFolderOverride(std::optional<QString> folder);

// The name a page's file name gives: the text from the tenth character up to
// the first ".htm" from there on, with "-" written as "_"; empty when the rule
// yields nothing. The "function." prefix is not checked, so any file gives a name.
QString ManualNameFromFileName(const QString &fileName);

// The folder's ordinary files (no folders, hidden or system entries) sorted by
// name without regard to letter case, by the system locale's rule. Throws
// AppError naming the folder when it is missing or cannot be read.
QStringList ListManualFolder(const QString &folder);

// One entry per listed file, in listing order. Throws as ListManualFolder.
QList<ManualEntry> ReadManualIndex(const QString &folder);

// The signature a page shows in its synopsis ("abs(int|float $num): int|float"),
// as plain text; empty when the page cannot be read or has none.
QString ManualSynopsis(const QString &pagePath);
