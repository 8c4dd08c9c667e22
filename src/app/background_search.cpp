#include "app/background_search.h"

#include <chrono>
#include <exception>

BackgroundSearch::BackgroundSearch(QStringList names, const QString &text,
                                   const FileSearchOptions &options)
    : m_names(std::move(names))
{
    if (!options.isPlain())
        options.pattern(text); // an invalid expression is refused here, not on the thread
    m_thread = std::thread([this, text, options] { run(text, options); });
}

BackgroundSearch::~BackgroundSearch()
{
    cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundSearch::cancel()
{
    m_cancel.store(true);
}

bool BackgroundSearch::waitForEnd(int milliseconds)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_ended.wait_for(lock, std::chrono::milliseconds(milliseconds),
                            [this] { return m_pending.finished; });
}

BackgroundSearch::Progress BackgroundSearch::take()
{
    const std::lock_guard<std::mutex> lock(m_lock);
    Progress taken = std::move(m_pending);
    m_pending = Progress();
    // What stays true once reached.
    m_pending.filesDone = taken.filesDone;
    m_pending.finished = taken.finished;
    return taken;
}

void BackgroundSearch::run(const QString &text, const FileSearchOptions &options)
{
    // Small runs first, so the first hits show soon; larger ones later, so
    // a big project costs few runs.
    qsizetype run = 16;
    qsizetype from = 0;
    const qsizetype count = m_names.size();
    bool failed = false;
    while (from < count && !m_cancel.load() && !failed) {
        const qsizetype size = std::min(run, count - from);
        FindInFilesResult result;
        std::optional<FileReadFailure> failure;
        try {
            result = FindInFiles(m_names.mid(from, size), text, options, DefaultWorkerCount(),
                                 &m_cancel);
        } catch (const std::exception &error) {
            failure = FileReadFailure{0, QString::fromUtf8(error.what())};
        }
        for (FoundLine &line : result.lines)
            line.file += int(from);
        for (FileReadFailure &skipped : result.skipped)
            skipped.index += from;
        if (failure) {
            failure->index += from;
            failed = true;
        }
        const std::lock_guard<std::mutex> lock(m_lock);
        // A run cut short by Cancel may have skipped files: its hits are not whole.
        if (m_cancel.load())
            break;
        m_pending.lines.insert(m_pending.lines.end(), std::make_move_iterator(result.lines.begin()),
                               std::make_move_iterator(result.lines.end()));
        m_pending.binaryFiles += result.binaryFiles;
        m_pending.skipped.insert(m_pending.skipped.end(), result.skipped.begin(),
                                 result.skipped.end());
        m_pending.failure = failure;
        m_pending.filesDone = from + size;
        from += size;
        run = std::min<qsizetype>(run * 2, 512);
    }
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_pending.finished = true;
    }
    m_ended.notify_all();
}
