#pragma once

#include "project/project.h"
#include "project/publish.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class FtpConnection;

// What a publish run reads of the project, taken on the thread that owns the
// project before the run starts: later edits in the window do not reach it.
struct PublishSource {
    struct File {
        QString path;        // full local path, as the entry names it
        bool publish = true; // false when the entry is locked from publishing
    };
    QList<File> files;
    // The project file's path; its folder is the local root of the mirror.
    // Empty for a project never saved.
    QString projectFile;
    FtpSettings ftp;

    static PublishSource of(const Project &project);
};

// Where a run reports. Called on the run's threads, one call at a time.
struct PublishEvents {
    std::function<void(const QString &line)> log;
    std::function<void(int percent)> progress;
    // Publish Changes with a record: asked, before anything is sent, about
    // the files to send whose copy on the host no longer matches what was
    // published there ("path: why" each); false ends the run with nothing
    // sent. Unset, the host is not looked at.
    std::function<bool(const QStringList &changedOnHost)> confirmOverwrite;
};

// The publish engine: mirrors the source's files below the project folder
// into the FTP folder of the host, every step logged. A file goes up under a
// temporary name and replaces the host's copy only once it arrived whole, so
// a broken transfer never leaves a truncated page behind.
//
// A run may use several sessions at once: the connection it is given and up
// to `extraConnections` more from the factory, each on a thread of its own
// (most of a small file's time is waiting for the server's replies). The
// log still reads as one file after the other: each file's lines are held
// until those of the files before it are out.
class PublishEngine {
public:
    using ConnectionFactory = std::function<std::unique_ptr<FtpConnection>()>;

    PublishEngine(PublishSource source, PublishEvents events);
    ~PublishEngine();
    PublishEngine(const PublishEngine &) = delete;
    PublishEngine &operator=(const PublishEngine &) = delete;

    // What a run would do with each entry (all, or entry `index`), in list
    // order, without any network: the run decides each file the same way (a
    // full run as each file's turn comes, from the one read it sends). Reads the
    // files for their markers (and content, when a record is given or only
    // changes are asked for) on all cores; in changes mode a file whose size
    // and modification time are those recorded is not read. Throws AppError
    // for an index out of range or an invalid exclusion pattern; a file that
    // cannot be read is a step of its own.
    QList<PublishStep> plan(int index, const PublishOptions &options) const;
    // True when entry `index` must not be uploaded: locked, or marked in its text.
    bool isHostSpecific(int index) const;

    // Up to `count` sessions beside the one given to publish(), opened by
    // `factory` on their own threads; 0 (the default) sends one file after
    // the other. A session that cannot be opened leaves its share to the others.
    void setExtraConnections(int count, ConnectionFactory factory);

    // Uploads every file (index -1) or entry `index`; returns when the run
    // is over. Errors it does not handle end the run and propagate; a run
    // that left files out throws PublishIncomplete at its end. The record
    // of `options` is saved however the run ends.
    void publish(FtpConnection &connection, int index, const PublishOptions &options = {});

    // Asks a running publish to stop, from any thread: files being sent are
    // finished and renamed, no further file is started, and the log lists
    // what was not sent.
    void cancel() { m_cancelled.store(true); }
    bool cancelled() const { return m_cancelled.load(); }

private:
    class Run;

    // The plan's steps before any file is read: the files to read are left
    // with `read` false.
    QList<PublishStep> outline(int index, const PublishOptions &options) const;
    // A step of the outline completed by reading its file. The bytes of a
    // file to send of up to `keepUpTo` bytes go to `content`, so that what
    // is sent is what was hashed.
    PublishStep readStep(PublishStep step, const PublishOptions &options, qint64 keepUpTo = -1,
                         std::optional<QByteArray> *content = nullptr) const;

    PublishSource m_source;
    PublishEvents m_events;
    int m_extraConnections = 0;
    ConnectionFactory m_factory;
    std::atomic<bool> m_cancelled{false};
};

// The project's own run: a snapshot of `project`, its log and progress
// notifications raised on the calling thread, one session.
void PublishFiles(Project &project, FtpConnection &connection, int index,
                  const PublishOptions &options = {});
QList<PublishStep> PlanPublish(const Project &project, int index, const PublishOptions &options);
bool IsHostSpecific(const Project &project, int index);
