#pragma once

#include "foundation/xml_storage.h"

#include <QString>

#include <future>
#include <mutex>

// A project file read, parsed and checked on a thread of its own ahead of
// its open: the project named at start is read while the window is built.
// What was read is taken only while the file on disk is still the one read.
class ProjectPrefetch {
public:
    ProjectPrefetch() = default;
    ~ProjectPrefetch(); // waits for a read still running
    ProjectPrefetch(const ProjectPrefetch &) = delete;
    ProjectPrefetch &operator=(const ProjectPrefetch &) = delete;

    // Reads, parses and checks a project file without changing anything;
    // raises what loading it would raise. Safe on any thread.
    static XmlStorage::Parsed read(const QString &path);

    // Starts reading `path`, unless a read is waiting to be taken.
    void start(const QString &path);
    // Returns once the read started, if any, is done.
    void wait();
    // The read of `path` while the file is as it was when read; otherwise
    // the file read now. Raises what reading it now raises.
    XmlStorage::Parsed take(const QString &path);

    // The program's own, for the project named at start.
    static ProjectPrefetch &atStart();

private:
    std::mutex m_lock;
    QString m_path;
    std::future<XmlStorage::Parsed> m_parsed;
};
