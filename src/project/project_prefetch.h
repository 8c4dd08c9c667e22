#pragma once

#include "foundation/file_stamp.h"

#include <QString>

#include <future>
#include <memory>
#include <mutex>

struct ProjectContent;

// A project file read, parsed and checked on a thread of its own ahead of
// its open: the project named at start is read while the window is built,
// and its open only takes in what was read.
// What was read is taken only while the file on disk is still the one read.
class ProjectPrefetch {
public:
    ProjectPrefetch() = default;
    ~ProjectPrefetch(); // waits for a read still running
    ProjectPrefetch(const ProjectPrefetch &) = delete;
    ProjectPrefetch &operator=(const ProjectPrefetch &) = delete;

    // A project file's content as read, with the file's identity then.
    struct Read {
        FileStamp identity;
        std::shared_ptr<ProjectContent> content;
    };
    // Reads, parses and checks a project file without changing anything;
    // raises what loading it would raise. Safe on any thread.
    static Read read(const QString &path);

    // Starts reading `path`, unless a read is waiting to be taken.
    void start(const QString &path);
    // Returns once the read started, if any, is done.
    void wait();
    // The read of `path` while the file is as it was when read; otherwise
    // the file read now. Raises what reading it now raises.
    Read take(const QString &path);

    // The program's own, for the project named at start.
    static ProjectPrefetch &atStart();

private:
    std::mutex m_lock;
    QString m_path;
    std::future<Read> m_parsed;
};
