#pragma once

#include "project/find_in_files.h"

#include <QStringList>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// Find in files on a thread of its own, in runs of files of growing size, so
// the hits of a long search can be shown as they come and the search can be
// cancelled between runs (and within one, where files are left unread). The
// hits come out in file order, each once, through take().
class BackgroundSearch final {
public:
    // What came in since the last take(), and where the search stands.
    struct Progress {
        std::vector<FoundLine> lines; // file indexes into the searched names
        int binaryFiles = 0;
        // Files that could not be read; the search went on past them.
        std::vector<FileReadFailure> skipped;
        // A search that could not go on (its error).
        std::optional<FileReadFailure> failure;
        qsizetype filesDone = 0;
        bool finished = false;
    };

    // Starts at once; AppError for an invalid regular expression.
    BackgroundSearch(QStringList names, const QString &text, const FileSearchOptions &options);
    ~BackgroundSearch();
    BackgroundSearch(const BackgroundSearch &) = delete;
    BackgroundSearch &operator=(const BackgroundSearch &) = delete;

    // Waits up to `milliseconds` for the end; true when it has come.
    bool waitForEnd(int milliseconds);
    Progress take();
    void cancel();
    bool cancelled() const { return m_cancel.load(); }
    const QStringList &names() const { return m_names; }

private:
    void run(const QString &text, const FileSearchOptions &options);

    const QStringList m_names;
    std::atomic<bool> m_cancel{false};
    std::mutex m_lock;
    std::condition_variable m_ended;
    Progress m_pending; // guarded by m_lock
    std::thread m_thread;
};
