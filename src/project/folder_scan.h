#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// The files of a folder, recursively, as a project takes them in: what
// `.gitignore` files in the tree ignore (with '!' taking back, the deeper
// file deciding first, as git does), what the project's exclusion patterns
// exclude, and version-control folders (.git, .svn, .hg) are left out.
// Symbolic links are followed, but never into a folder already walked, so a
// link back up the tree ends nowhere. Binary files stay in: images are part of
// a site and are published too.
struct FolderScanResult {
    QStringList files;    // full paths; a folder's files first, then its folders, by name
    QStringList folders;  // the folders walked, the scanned one first
    int leftOut = 0;      // files and folders ignored or excluded
    int linksSkipped = 0; // links to folders walked already (loops among them)
    bool cancelled = false;
};

class FolderScan {
public:
    // `exclusions` are gitignore-style patterns relative to `projectFolder`
    // (PublishExclusions); `projectFile`, when inside the folder, is left out.
    // Throws AppError for a folder that does not exist or an invalid pattern.
    FolderScan(const QString &folder, const QString &projectFolder, const QStringList &exclusions,
               const QString &projectFile = QString());

    // Walks the folder. `cancel`, when set, ends the walk at the next folder
    // with what was found so far; `progress` hears the count of files found
    // now and then. Safe to run on a worker thread.
    FolderScanResult run(const std::atomic<bool> *cancel = nullptr,
                         const std::function<void(int files)> &progress = {}) const;

    const QString &folder() const { return m_folder; }

private:
    QString m_folder;
    QString m_projectFolder;
    QStringList m_exclusions;
    QString m_projectFile;
};
