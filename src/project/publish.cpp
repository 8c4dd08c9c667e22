// The publish engine: mirrors the project's files below its folder into the
// FTP folder of the host, one stateful FTP session per run, every step logged.
// A file goes up under a temporary name and replaces the host's copy only once
// it arrived whole, so a broken transfer never leaves a truncated page behind.

#include "project/publish.h"

#include "foundation/errors.h"
#include "foundation/ftp_connection.h"
#include "foundation/sha256.h"
#include "foundation/switches.h"
#include "foundation/text_utils.h"
#include "project/parallel_read.h"
#include "project/project.h"
#include "project/project_paths.h"
#include "project/publish_exclusions.h"
#include "project/publish_record.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Connections that a run is using now. The window processes its events while
// a run logs, so a second publish command could otherwise interleave its
// commands with the running one on the same session.
QSet<const FtpConnection *> &busyConnections()
{
    static QSet<const FtpConnection *> busy;
    return busy;
}

class RunGuard {
public:
    explicit RunGuard(const FtpConnection &connection) : m_connection(&connection)
    {
        if (busyConnections().contains(m_connection))
            throw AppError(QStringLiteral("Publishing is already running; wait until it ends"));
        busyConnections().insert(m_connection);
    }
    ~RunGuard() { busyConnections().remove(m_connection); }
    RunGuard(const RunGuard &) = delete;
    RunGuard &operator=(const RunGuard &) = delete;

private:
    const FtpConnection *m_connection;
};

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Finds either publish marker, ignoring ASCII letter case, in one pass over a
// block: by their blank in binary data, otherwise by Horspool's skip search
// over a window as long as the shorter marker, which looks at about one byte
// in twelve of ordinary text. Either way the skip test costs little beside
// the upload itself.
class MarkerSearch {
public:
    static constexpr const char *First = "host specific";   // 13 characters
    static constexpr const char *Second = "//dont publish"; // 14 characters
    static constexpr qsizetype Window = 13;
    // Bytes of the previous block kept in front of the next, so that a marker
    // split by a block boundary is still seen whole.
    static constexpr qsizetype Overlap = 14 - 1;

    MarkerSearch()
    {
        m_skip.fill(static_cast<int>(Window));
        addSkips(First);
        addSkips(Second + 1); // its last 13 characters
    }

    bool foundIn(const char *text, qsizetype length) const
    {
        // Both markers hold a blank, which has no letter case: memchr finds
        // blanks many bytes per cycle, which suits binary files. Text dense
        // with blanks goes to the skip search instead.
        const qsizetype denseAfter = 16 + length / 64;
        qsizetype blanks = 0;
        const char *const end = text + length;
        for (const char *at = text;
             (at = static_cast<const char *>(std::memchr(at, ' ', end - at))) != nullptr; ++at) {
            const qsizetype blank = at - text;
            if (blank >= 4 && blank + 9 <= length && matches(at - 4, First))
                return true;
            if (blank >= 6 && blank + 8 <= length && matches(at - 6, Second))
                return true;
            if (++blanks > denseAfter)
                return skipSearch(text, length);
        }
        return false;
    }

    bool skipSearch(const char *text, qsizetype length) const
    {
        for (qsizetype end = Window - 1; end < length;) {
            const char last = lowerAscii(text[end]);
            if (last == 'c' && matches(text + end - 12, First))
                return true;
            if (last == 'h' && end >= 13 && matches(text + end - 13, Second))
                return true;
            end += m_skip[static_cast<unsigned char>(text[end])];
        }
        return false;
    }

private:
    void addSkips(const char *marker)
    {
        for (qsizetype i = 0; i < Window - 1; ++i) {
            const auto c = static_cast<unsigned char>(marker[i]);
            const int skip = static_cast<int>(Window - 1 - i);
            for (const unsigned char variant : {c, static_cast<unsigned char>(std::toupper(c))})
                m_skip[variant] = std::min(m_skip[variant], skip);
        }
    }

    static bool matches(const char *text, const char *marker)
    {
        for (; *marker; ++text, ++marker) {
            if (lowerAscii(*text) != *marker)
                return false;
        }
        return true;
    }

    std::array<int, 256> m_skip{};
};

// One publish run over a snapshot of the settings, so edits made in the window
// while the run goes on do not mix two configurations.
class PublishRun {
public:
    PublishRun(Project &project, FtpConnection &connection, int index,
               const PublishOptions &options)
        : m_project(project), m_connection(connection), m_index(index), m_options(options),
          m_record(options.record), m_host(project.Ftp.Host), m_user(project.Ftp.User),
          m_pass(project.Ftp.Pass), m_folder(project.Ftp.Folder), m_count(project.Files.Count()),
          m_fileMode(project.Ftp.FileMode), m_folderMode(project.Ftp.FolderMode),
          m_keepTimes(project.Ftp.KeepTimes)
    {
    }

    void run()
    {
        setProgress(0);
        log("Publishing");
        log("FTP Publishing");
        if (m_options.changesOnly)
            log("Sending only what changed since the last publish");
        if (m_record && !m_record->problem().isEmpty())
            m_project.Log(m_record->problem() + QStringLiteral(" Every file counts as new."));
        const QList<PublishStep> plan = m_project.PlanPublish(m_index, m_options);
        m_connection.setUser(m_user);
        m_connection.setHost(m_host);
        m_connection.setPassword(m_pass);
        log("Connecting");
        m_connection.connect();
        log("Done");
        const QString note = m_connection.connectionNote();
        if (!note.isEmpty())
            m_project.Log(note);
        log("Changing folder");
        m_connection.changeDir(m_connection.rootFolder());
        enterFtpFolder();
        removeLeftovers();

        setProgress(0);
        for (const PublishStep &step : plan) {
            m_project.Log(QStringLiteral("File:") + step.localPath);
            switch (step.action) {
            case PublishStep::Action::SkipLocked:
            case PublishStep::Action::SkipMarker:
                log("Host specific, no updating, skipped.");
                continue;
            case PublishStep::Action::SkipOutside:
                log("File isn't in project folder, don't know where to upload, skipping...");
                continue;
            case PublishStep::Action::SkipExcluded:
                m_project.Log(QStringLiteral("Excluded by \"%1\", skipped.").arg(step.pattern));
                continue;
            case PublishStep::Action::SkipUnchanged:
                log("Unchanged since the last publish, skipped.");
                keepNewTime(step);
                continue;
            case PublishStep::Action::SkipGone:
                m_project.Log(QStringLiteral("No longer on disk, skipped."));
                continue;
            case PublishStep::Action::Unreadable:
                throw AppError(step.error);
            case PublishStep::Action::SendNew:
                log("Not published before, sending.");
                break;
            case PublishStep::Action::SendChanged:
                log("Changed since the last publish, sending.");
                break;
            case PublishStep::Action::Send:
                break;
            }
            const qsizetype cut = step.remotePath.lastIndexOf(u'/');
            const QString relativeFolder = cut < 0 ? QString() : step.remotePath.left(cut);
            // Forgotten while it is sent: a run that breaks off here may have
            // left the host's copy neither old nor new.
            if (m_record)
                m_record->remove(step.remotePath);
            const bool sent =
                publishFile(step.index, step.localPath, relativeFolder, step.remotePath);
            if (m_record)
                remember(step, sent);
            log("Done.");
        }
        // After the uploads, so a renamed page is on the host under its new
        // name before the old one goes.
        DeleteOnHost(
            m_connection, m_options.deletions, m_record,
            [this](const QString &line) { m_project.Log(line); },
            [this](const QString &remote, const QString &reply) { leftOut(remote, reply); });
        log("Disconnecting.");
        m_connection.disconnect();
        if (m_failed == 0) {
            m_project.Log(QStringLiteral("Done. Published to: ") + m_host + m_folder);
            return;
        }
        m_project.Log((m_failed == 1
                           ? QStringLiteral("Published with 1 error to: ")
                           : QStringLiteral("Published with %1 errors to: ").arg(m_failed)) +
                      m_host + m_folder);
        throw PublishIncomplete(m_failed, m_replies, m_host + m_folder);
    }

private:
    void log(const char *text) { m_project.Log(QString::fromLatin1(text)); }

    // The record keeps what the server acknowledged, and only when the bytes
    // sent are those that were hashed: a file saved again during the run, or
    // one that did not arrive, is left out so the next run sends it.
    void remember(const PublishStep &step, bool sent)
    {
        const QFileInfo now(step.localPath);
        if (sent && !step.sha256.isEmpty() && now.size() == step.size &&
            now.lastModified().toMSecsSinceEpoch() == step.modifiedMs)
            m_record->set(step.remotePath, {step.size, step.modifiedMs, step.sha256});
    }

    // A file saved without a change keeps its entry, with its new time.
    void keepNewTime(const PublishStep &step)
    {
        if (!m_record)
            return;
        if (const PublishRecord::Entry *entry = m_record->find(step.remotePath)) {
            if (entry->modifiedMs != step.modifiedMs)
                m_record->set(step.remotePath, {entry->size, step.modifiedMs, entry->sha256});
        }
    }

    void setProgress(int value)
    {
        m_project.Ftp.Progress = value;
        m_project.OnPublishProgress.raise();
    }

    // Changes to the FTP folder as configured; an empty one means the root.
    void changeToFolder()
    {
        if (!m_folder.isEmpty())
            m_connection.changeDir(m_folder);
    }

    // From the root every time, so a folder not beginning with "/" resolves to
    // the same place however deep the session went.
    void backToRoot()
    {
        log("back to root");
        m_connection.changeDir(m_connection.rootFolder());
        changeToFolder();
        log("Done");
    }

    void enterFtpFolder()
    {
        for (int created = 0;; ++created) {
            log("Change dir to ftp folder");
            try {
                changeToFolder();
                break;
            } catch (const AppError &error) {
                if (!m_connection.isConnected())
                    throw;
                if (created == PublishFolderCreations)
                    throw AppError(QStringLiteral("Cannot change to the FTP folder \"%1\" "
                                                  "after creating it: %2")
                                       .arg(m_folder, error.message()));
            }
            log("Create ftp folder path");
            CreateFtpPath(m_connection, m_folder, folderMade());
            m_connection.changeDir(m_connection.rootFolder());
        }
        log("Done");
    }

    // True when the server acknowledged the whole file.
    bool publishFile(int i, const QString &localPath, const QString &relativeFolder,
                     const QString &remote)
    {
        QString lastError;
        for (int created = 0;; ++created) {
            setProgress(i * 100 / m_count);
            const QString progress =
                QString::asprintf("%d%% %d file of %d", (i + 1) * 100 / m_count, i + 1, m_count);
            m_project.Log(progress + QStringLiteral(" Putting ") + localPath +
                          QStringLiteral(" -> ") + remote);
            try {
                storeFile(i, localPath, remote);
                finishFile(localPath, remote);
                return true;
            } catch (const AppError &error) {
                // A lost session is not a missing folder: end the run.
                if (!m_connection.isConnected())
                    throw;
                lastError = error.message();
                if (created == PublishFolderCreations) {
                    if (dynamic_cast<const FtpStoreRefused *>(&error) &&
                        storeDirectlyInstead(i, localPath, remote, lastError))
                        return true;
                    m_project.Log(QStringLiteral("!!!Error putting file: ") + lastError);
                    leftOut(remote, lastError);
                    return false;
                }
            }
            log("Trying to create path folders");
            try {
                CreateFtpPath(m_connection, relativeFolder, folderMade());
            } catch (const AppError &error) {
                if (!m_connection.isConnected())
                    throw;
                m_project.Log(QStringLiteral("!!!Error creating path: ") + relativeFolder);
                const auto *path = dynamic_cast<const FtpPathError *>(&error);
                leftOut(remote, path && !path->reply().isEmpty() ? path->reply() : lastError);
                // The session may stand in a half-made folder; the next file
                // must not land there.
                backToRoot();
                return false;
            }
            backToRoot();
        }
    }

    // The permissions and time asked for, on a file the host now holds
    // whole. Neither is worth a file: a refusal is logged and the run goes on.
    void finishFile(const QString &localPath, const QString &remote)
    {
        try {
            if (m_fileMode >= 0)
                m_connection.setMode(remote, m_fileMode);
            if (m_keepTimes && !m_timesUnsupported &&
                !m_connection.setModifiedTime(
                    remote, QFileInfo(localPath).lastModified().toMSecsSinceEpoch())) {
                m_timesUnsupported = true;
                log("The server cannot set modification times; files keep the time they "
                    "arrived.");
            }
        } catch (const AppError &error) {
            if (!m_connection.isConnected())
                throw;
            m_project.Log(QStringLiteral("!!!") + error.message());
        }
    }

    // Gives each folder the run makes the permissions asked for.
    std::function<void(const QString &)> folderMade()
    {
        if (m_folderMode < 0)
            return {};
        return [this](const QString &name) {
            try {
                m_connection.setMode(name, m_folderMode);
            } catch (const AppError &error) {
                if (!m_connection.isConnected())
                    throw;
                m_project.Log(QStringLiteral("!!!") + error.message());
            }
        };
    }

    void leftOut(const QString &remote, const QString &reply)
    {
        ++m_failed;
        if (m_replies.size() < PublishRepliesQuoted)
            m_replies << remote + QStringLiteral(": ") + reply;
    }

    // Stores under a temporary name and renames it over the file, so the
    // host's copy is replaced only by a whole one. A server that renames
    // nothing gets the file stored directly, from then on for the whole run.
    void storeFile(int i, const QString &localPath, const QString &remote)
    {
        const TransferProgress progress(*this, i, QFileInfo(localPath).size());
        const QString temporary = m_directStore ? QString() : UploadTemporaryName(remote);
        if (temporary.isEmpty()) {
            m_connection.store(localPath, remote);
            return;
        }
        try {
            m_connection.store(localPath, temporary);
        } catch (const AppError &error) {
            // A refused store wrote nothing; any other may have left part of the file.
            if (dynamic_cast<const FtpStoreRefused *>(&error))
                removeQuietly(temporary);
            else
                removeTemporary(temporary);
            throw;
        }
        try {
            m_connection.rename(temporary, remote);
            return;
        } catch (const AppError &error) {
            if (!m_connection.isConnected()) {
                removeTemporary(temporary);
                throw;
            }
            m_directStore = true;
            QString note = QStringLiteral("The server does not rename files; storing them "
                                          "directly from now on (") +
                           error.message() + u')';
            if (!removeQuietly(temporary))
                note += QStringLiteral("; it would not delete ") + temporary +
                        QStringLiteral(" either");
            m_project.Log(note);
        }
        m_connection.store(localPath, remote);
    }

    // The folder is there by now, yet the temporary name was refused each
    // time before any byte was taken: some hosts forbid names that begin
    // with a dot. If the file itself is taken, every file goes up directly
    // from now on, as for a server that renames nothing, with the old risk
    // of a broken transfer.
    bool storeDirectlyInstead(int i, const QString &localPath, const QString &remote,
                              const QString &refusal)
    {
        if (m_directStore || UploadTemporaryName(remote).isEmpty())
            return false;
        try {
            const TransferProgress progress(*this, i, QFileInfo(localPath).size());
            m_connection.store(localPath, remote);
        } catch (const AppError &) {
            if (!m_connection.isConnected())
                throw;
            return false;
        }
        m_directStore = true;
        m_project.Log(QStringLiteral("The server refuses the temporary name; storing files "
                                     "directly from now on (") +
                      refusal + u')');
        return true;
    }

    // After a failed store: the partial upload goes, best effort and said
    // in the log. Without a session the record keeps its name for the next
    // run to remove.
    void removeTemporary(const QString &temporary)
    {
        if (!m_connection.isConnected()) {
            if (m_record)
                m_record->addLeftover(temporary);
            m_project.Log(
                m_record ? QStringLiteral("The connection is gone: the temporary upload %1 stays "
                                          "on the host until the next publish removes it")
                               .arg(temporary)
                         : QStringLiteral("The connection is gone: the temporary upload %1 may "
                                          "stay on the host")
                               .arg(temporary));
            return;
        }
        try {
            m_connection.removeFile(temporary);
            m_project.Log(QStringLiteral("Removed the temporary upload ") + temporary);
        } catch (const AppError &error) {
            m_project.Log(QStringLiteral("Could not remove the temporary upload %1: %2")
                              .arg(temporary, error.message()));
        }
    }

    // Temporary uploads that earlier runs had to leave behind go first, best
    // effort: only names the record kept, which are the program's own.
    void removeLeftovers()
    {
        if (!m_record)
            return;
        const QStringList leftovers = m_record->leftovers();
        for (const QString &path : leftovers) {
            try {
                m_connection.removeFile(path);
                m_project.Log(
                    QStringLiteral("Removed the temporary upload %1 left by an earlier run")
                        .arg(path));
            } catch (const AppError &error) {
                if (!m_connection.isConnected())
                    throw;
                m_project.Log(QStringLiteral("Could not remove the temporary upload %1 left by "
                                             "an earlier run: %2")
                                  .arg(path, error.message()));
            }
            m_record->removeLeftover(path);
        }
    }

    bool removeQuietly(const QString &remote)
    {
        if (!m_connection.isConnected())
            return false;
        try {
            m_connection.removeFile(remote);
            return true;
        } catch (const AppError &) {
            // Nothing may have been created; either way the run goes on.
            return false;
        }
    }

    // Moves the gauge within a file while it is sent, on top of the
    // connection's own work notifications, for as long as it exists.
    class TransferProgress {
    public:
        TransferProgress(PublishRun &run, int i, qint64 size)
            : m_connection(run.m_connection), m_outer(run.m_connection.workHandler())
        {
            const qint64 count = run.m_count;
            m_connection.setWorkHandler([&run, outer = m_outer, i, size, count](qint64 bytes) {
                if (outer)
                    outer(bytes);
                if (size <= 0 || bytes >= size)
                    return;
                const int value = static_cast<int>((i * 100 * size + 100 * bytes) / (count * size));
                if (value != run.m_project.Ftp.Progress)
                    run.setProgress(value);
            });
        }
        ~TransferProgress() { m_connection.setWorkHandler(m_outer); }
        TransferProgress(const TransferProgress &) = delete;
        TransferProgress &operator=(const TransferProgress &) = delete;

    private:
        FtpConnection &m_connection;
        const FtpConnection::WorkHandler m_outer;
    };

    Project &m_project;
    FtpConnection &m_connection;
    const int m_index;
    const PublishOptions m_options;
    PublishRecord *const m_record;
    const QString m_host;
    const QString m_user;
    const QString m_pass;
    const QString m_folder;
    const int m_count;
    int m_failed = 0;      // files left out
    QStringList m_replies; // what the server said about the first of them
    bool m_directStore = false;
    const int m_fileMode;
    const int m_folderMode;
    const bool m_keepTimes;
    bool m_timesUnsupported = false;
};

} // namespace

void CreateFtpPath(FtpConnection &connection, const QString &path,
                   const std::function<void(const QString &)> &made)
{
    QStringList parts;
    SplitByDelimiter(path, path.contains(u'\\') ? QStringLiteral("\\") : QStringLiteral("/"),
                     parts);
    for (int i = 0; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        QString target = part;
        if (part.isEmpty()) {
            // A leading separator names the root; an empty name elsewhere names nothing.
            if (i != 0)
                continue;
            target = QStringLiteral("/");
        } else {
            try {
                connection.makeDir(part);
                if (made)
                    made(part);
            } catch (const AppError &) {
                // The folder may exist already; entering it tells.
            }
        }
        try {
            connection.changeDir(target);
        } catch (const AppError &error) {
            if (!connection.isConnected())
                throw;
            throw FtpPathError(error.message());
        }
    }
}

PublishIncomplete::PublishIncomplete(int failedFiles, const QStringList &replies,
                                     const QString &target)
    : AppError(
          (failedFiles == 1
               ? QStringLiteral("1 file was not published to %1; the FTP log names it.").arg(target)
               : QStringLiteral("%1 files were not published to %2; the FTP log names them.")
                     .arg(failedFiles)
                     .arg(target)) +
          (replies.isEmpty()
               ? QString()
               : QStringLiteral("\n\nThe server's first replies:\n") + replies.join(u'\n'))),
      m_failedFiles(failedFiles), m_replies(replies)
{
}

namespace {
const QString &uploadPrefix()
{
    static const QString prefix = QStringLiteral(".qs-upload-");
    return prefix;
}
} // namespace

bool IsUploadTemporaryName(const QString &name)
{
    return name.size() > uploadPrefix().size() && name.startsWith(uploadPrefix()) &&
           !name.contains(u'/');
}

QString UploadTemporaryName(const QString &remotePath)
{
    const QString &prefix = uploadPrefix();
    const qsizetype slash = remotePath.lastIndexOf(u'/');
    const QString name = remotePath.mid(slash + 1);
    // Most file systems take names of up to 255 bytes.
    if (name.isEmpty() || (prefix + name).toUtf8().size() > 255)
        return {};
    return remotePath.left(slash + 1) + prefix + name;
}

namespace {

// One pass over a file for the plan: its publish marker and, when asked, the
// SHA-256 of its bytes, with its size and time as read.
struct FileScan {
    bool marker = false;
    bool sameAsRecorded = false; // size and time as recorded: not read
    qint64 size = 0;
    qint64 modifiedMs = 0;
    QByteArray sha256;
};

// Reads in blocks, so big files cost no memory; stops at a marker, since a
// marked file is never sent. Throws AppError when the file cannot be read.
FileScan ScanPublishFile(const QString &path, bool hash)
{
    static const MarkerSearch search;
    constexpr qsizetype overlap = MarkerSearch::Overlap;
    constexpr qsizetype block = 1024 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw AppError(QStringLiteral("Cannot read file %1: %2").arg(path, file.errorString()));
    FileScan scan;
    scan.modifiedMs = file.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch();
    std::optional<Sha256> sha;
    if (hash)
        sha.emplace();
    // Sized to the file and left uninitialised: a site is mostly small files,
    // and clearing a whole block for each of them cost more than the search.
    const qsizetype chunk = static_cast<qsizetype>(std::clamp<qint64>(file.size() + 1, 1, block));
    const std::unique_ptr<char[]> buffer(new char[overlap + chunk]);
    qsizetype carried = 0; // tail of the previous block, kept in front
    for (;;) {
        const qint64 count = file.read(buffer.get() + carried, chunk);
        if (count < 0)
            throw AppError(QStringLiteral("Cannot read file %1: %2").arg(path, file.errorString()));
        if (count == 0)
            break;
        scan.size += count;
        if (sha)
            sha->addData(QByteArrayView(buffer.get() + carried, count));
        const qsizetype length = carried + count;
        if (search.foundIn(buffer.get(), length)) {
            scan.marker = true;
            return scan;
        }
        carried = std::min(overlap, length);
        std::memmove(buffer.get(), buffer.get() + length - carried, carried);
    }
    if (sha)
        scan.sha256 = sha->result();
    return scan;
}

// Runs `work(job)` for jobs 0..count-1 on all cores; each job only touches
// its own result.
void InParallel(qsizetype count, const std::function<void(qsizetype)> &work)
{
    std::atomic<qsizetype> next{0};
    const auto run = [&] {
        for (qsizetype job; (job = next.fetch_add(1)) < count;)
            work(job);
    };
    const int workers = int(std::min<qsizetype>(DefaultWorkerCount(), count));
    std::vector<std::thread> helpers;
    for (int worker = 1; worker < workers; ++worker) {
        try {
            helpers.emplace_back(run);
        } catch (const std::system_error &) {
            break; // fewer threads share the files
        }
    }
    run();
    for (std::thread &helper : helpers)
        helper.join();
}

qint64 SizeOrUnknown(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() ? info.size() : -1;
}

} // namespace

bool FileHasPublishMarker(const QString &path)
{
    return ScanPublishFile(path, false).marker;
}

QString PublishStep::describe() const
{
    switch (action) {
    case Action::SendNew:
        return QStringLiteral("send (not published before)");
    case Action::SendChanged:
        return QStringLiteral("send (changed since the last publish)");
    case Action::Send:
        return QStringLiteral("send");
    case Action::SkipLocked:
        return QStringLiteral("skip (locked)");
    case Action::SkipMarker:
        return QStringLiteral("skip (host specific)");
    case Action::SkipOutside:
        return QStringLiteral("skip (outside the project folder)");
    case Action::SkipExcluded:
        return QStringLiteral("skip (excluded by \"%1\")").arg(pattern);
    case Action::SkipUnchanged:
        return QStringLiteral("skip (unchanged since the last publish)");
    case Action::Unreadable:
        return QStringLiteral("stop (%1)").arg(error);
    case Action::SkipGone:
        return QStringLiteral("skip (no longer on disk)");
    }
    return {};
}

QList<PublishStep> Project::PlanPublish(int index, const PublishOptions &options) const
{
    if (index < -1 || index >= Files.Count())
        throw AppError(QStringLiteral("Cannot publish file number %1: the project has %2 files")
                           .arg(index)
                           .arg(Files.Count()));
    const PublishExclusions exclusions(Ftp.Exclude);
    const QString projectFolder = FileName.isEmpty() ? QString() : ProjectFolderOf(FileName);
    const bool hash = options.changesOnly || options.record != nullptr;

    QList<PublishStep> steps;
    std::vector<qsizetype> toRead; // steps whose file the scan reads
    for (int i = 0; i < Files.Count(); ++i) {
        if (index != -1 && i != index)
            continue;
        const ProjectEntry *entry = Files.Get(i);
        PublishStep step;
        step.index = i;
        step.localPath = entry->Name;
        if (entry->Name.startsWith(projectFolder)) {
            // Without a project folder the whole absolute path is the relative
            // one; its leading '/' would leave the FTP folder for the root.
            QString relative = entry->Name.mid(projectFolder.size());
            while (relative.startsWith(QDir::separator()))
                relative.remove(0, 1);
            step.remotePath = QDir::fromNativeSeparators(relative);
        }
        // Locked and excluded files are not read: the folders people exclude
        // are the big ones.
        if (!entry->Publish) {
            step.action = PublishStep::Action::SkipLocked;
            step.size = SizeOrUnknown(step.localPath);
        } else if (!step.remotePath.isEmpty() &&
                   !(step.pattern = exclusions.excludedBy(step.remotePath)).isEmpty()) {
            step.action = PublishStep::Action::SkipExcluded;
            step.size = SizeOrUnknown(step.localPath);
        } else if (options.mirrorDeletions && !QFileInfo(step.localPath).isFile()) {
            step.action = PublishStep::Action::SkipGone;
        } else {
            toRead.push_back(steps.size());
        }
        steps.append(step);
    }

    std::vector<FileScan> scans(toRead.size());
    std::vector<QString> errors(toRead.size());
    InParallel(qsizetype(toRead.size()), [&](qsizetype job) {
        const PublishStep &step = steps.at(toRead[size_t(job)]);
        try {
            // A file with the size and time it had when it was sent is taken
            // as sent without reading it: hashing a whole site for three
            // changed files cost more than the uploads. Any other file is
            // decided by its content.
            const PublishRecord::Entry *sent = options.changesOnly && options.record
                                                   ? options.record->find(step.remotePath)
                                                   : nullptr;
            if (sent) {
                const QFileInfo info(step.localPath);
                if (info.isFile() && info.size() == sent->size &&
                    info.lastModified().toMSecsSinceEpoch() == sent->modifiedMs) {
                    scans[size_t(job)] = {false, true, sent->size, sent->modifiedMs, sent->sha256};
                    return;
                }
            }
            scans[size_t(job)] =
                ScanPublishFile(step.localPath, hash && !step.remotePath.isEmpty());
        } catch (const AppError &error) {
            errors[size_t(job)] = error.message();
        } catch (...) {
            errors[size_t(job)] =
                QStringLiteral("Cannot read file %1: %2")
                    .arg(step.localPath, exceptionMessage(std::current_exception()));
        }
    });

    for (size_t job = 0; job < toRead.size(); ++job) {
        PublishStep &step = steps[toRead[job]];
        const FileScan &scan = scans[job];
        if (!errors[job].isEmpty()) {
            step.action = PublishStep::Action::Unreadable;
            step.error = errors[job];
            step.size = SizeOrUnknown(step.localPath);
            continue;
        }
        step.size = scan.size;
        step.modifiedMs = scan.modifiedMs;
        step.sha256 = scan.sha256;
        if (scan.sameAsRecorded) {
            step.action = PublishStep::Action::SkipUnchanged;
        } else if (scan.marker) {
            step.action = PublishStep::Action::SkipMarker;
        } else if (step.remotePath.isEmpty()) {
            step.action = PublishStep::Action::SkipOutside;
        } else if (!options.changesOnly) {
            step.action = PublishStep::Action::Send;
        } else {
            const PublishRecord::Entry *sent =
                options.record ? options.record->find(step.remotePath) : nullptr;
            step.action = !sent                         ? PublishStep::Action::SendNew
                          : sent->sha256 != step.sha256 ? PublishStep::Action::SendChanged
                                                        : PublishStep::Action::SkipUnchanged;
        }
    }
    return steps;
}

bool Project::IsHostSpecific(int index)
{
    const ProjectEntry *entry = Files.Get(index);
    return !entry->Publish || FileHasPublishMarker(entry->Name);
}

void Project::PublishFiles(FtpConnection &connection, int index)
{
    PublishFiles(connection, index, PublishOptions());
}

void Project::PublishFiles(FtpConnection &connection, int index, const PublishOptions &options)
{
    if (index < -1 || index >= Files.Count())
        throw AppError(QStringLiteral("Cannot publish file number %1: the project has %2 files")
                           .arg(index)
                           .arg(Files.Count()));
    RunGuard guard(connection);
    // What the server acknowledged counts however the run ends.
    const auto saveRecord = [&] {
        if (!options.record)
            return;
        try {
            options.record->save();
        } catch (const AppError &error) {
            Log(QStringLiteral("!!!") + error.message());
        }
    };
    try {
        PublishRun(*this, connection, index, options).run();
        saveRecord();
    } catch (...) {
        saveRecord();
        // Leave no half-used session behind: the next run logs in afresh.
        if (connection.isConnected()) {
            try {
                connection.disconnect();
            } catch (...) {
            }
        }
        throw;
    }
}
