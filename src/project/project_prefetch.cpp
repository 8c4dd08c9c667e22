#include "project/project_prefetch.h"

#include "project/project.h"

#include <system_error>

ProjectPrefetch::~ProjectPrefetch()
{
    wait();
}

ProjectPrefetch::Read ProjectPrefetch::read(const QString &path)
{
    const XmlStorage::Parsed parsed = XmlStorage::ParseFile(path);
    // A file whose content cannot be taken in says so here and changes
    // nothing; only one that can makes the open project give way to it.
    return {parsed.identity, Project::ReadContent(parsed.document, path)};
}

void ProjectPrefetch::start(const QString &path)
{
    const std::lock_guard guard(m_lock);
    if (m_parsed.valid())
        return;
    m_path = path;
    try {
        m_parsed = std::async(std::launch::async, [path] { return read(path); });
    } catch (const std::system_error &) {
        // No thread to spare: the open reads the file when it comes.
    }
}

void ProjectPrefetch::wait()
{
    const std::lock_guard guard(m_lock);
    if (m_parsed.valid())
        m_parsed.wait();
}

ProjectPrefetch::Read ProjectPrefetch::take(const QString &path)
{
    std::future<Read> parsed;
    {
        const std::lock_guard guard(m_lock);
        if (m_parsed.valid() && m_path == path)
            parsed = std::move(m_parsed);
    }
    if (parsed.valid()) {
        try {
            Read earlier = parsed.get();
            // The read began with the file's identity: a write since (a pull,
            // another window's save) is read again below.
            if (FileStamp::of(path) == earlier.identity)
                return earlier;
        } catch (...) {
            // Read again: the file may have been put right since, and if not,
            // the error is the one of reading it now.
        }
    }
    return read(path);
}

ProjectPrefetch &ProjectPrefetch::atStart()
{
    // Left to the end of the process, which waits for a read still running.
    static ProjectPrefetch prefetch;
    return prefetch;
}
