#include "project/publish_engine.h"

#include "foundation/errors.h"
#include "foundation/ftp_connection.h"
#include "project/publish_record.h"

#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QSet>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Connections that a run is using now: a second publish command must not
// interleave its commands with a running one on the same session.
std::mutex busyLock;
QSet<const FtpConnection *> &busyConnections()
{
    static QSet<const FtpConnection *> busy;
    return busy;
}

class RunGuard {
public:
    explicit RunGuard(const FtpConnection &connection) : m_connection(&connection)
    {
        const std::lock_guard lock(busyLock);
        if (busyConnections().contains(m_connection))
            throw AppError(QStringLiteral("Publishing is already running; wait until it ends"));
        busyConnections().insert(m_connection);
    }
    ~RunGuard()
    {
        const std::lock_guard lock(busyLock);
        busyConnections().remove(m_connection);
    }
    RunGuard(const RunGuard &) = delete;
    RunGuard &operator=(const RunGuard &) = delete;

private:
    const FtpConnection *m_connection;
};

// How many files a cancelled run names as not sent before it only counts them.
constexpr int NotSentListed = 50;

// A file to send of up to this size is read once, into memory, and sent as
// read; a bigger one is read for the plan and again as it is sent. Each
// session holds one at most.
constexpr qint64 KeptContentBytes = 4 * 1024 * 1024;

} // namespace

// One run over a snapshot of the settings, so edits made in the window while
// it goes on do not mix two configurations.
class PublishEngine::Run {
public:
    Run(PublishEngine &engine, FtpConnection &connection, int index, const PublishOptions &options)
        : m_engine(engine), m_events(engine.m_events), m_primary(connection), m_index(index),
          m_options(options), m_record(options.record), m_host(engine.m_source.ftp.Host),
          m_user(engine.m_source.ftp.User), m_pass(engine.m_source.ftp.Pass),
          m_folder(engine.m_source.ftp.Folder), m_count(int(engine.m_source.files.size())),
          m_fileMode(engine.m_source.ftp.FileMode), m_folderMode(engine.m_source.ftp.FolderMode),
          m_keepTimes(engine.m_source.ftp.KeepTimes)
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
            log(m_record->problem() + QStringLiteral(" Every file counts as new."));
        // The other sessions are joined whichever way the run ends.
        const auto leave = qScopeGuard([this] { joinHelpers(); });
        // A full publish sends every file it can read: its sessions log in
        // at once (on a distant host each login costs several round trips),
        // and each file is read when its turn comes, once, for its marker,
        // its hash and the bytes sent. The other sessions wait for the
        // first, so a host's key or certificate is asked about once.
        if (!m_options.changesOnly) {
            startHelpers(publishable() - 1);
            m_plan = m_engine.outline(m_index, m_options);
        } else {
            m_plan = m_engine.plan(m_index, m_options);
        }
        m_primary.setUser(m_user);
        m_primary.setHost(m_host);
        m_primary.setPassword(m_pass);
        log("Connecting");
        m_primary.connect();
        letHelpers(Go::LogIn);
        log("Done");
        const QString note = m_primary.connectionNote();
        if (!note.isEmpty())
            log(note);
        log("Changing folder");
        m_primary.changeDir(m_primary.rootFolder());
        enterFtpFolder();
        removeLeftovers();
        if (!hostMayBeOverwritten()) {
            m_engine.cancel(); // ends as a cancelled run: its log stays in view
            log("Stopped: files changed on the host since the last publish; nothing was sent.");
            log("Disconnecting.");
            m_primary.disconnect();
            return;
        }

        setProgress(0);
        sendAll();
        for (const QString &note : std::as_const(m_notes))
            log(note);
        if (m_fatal)
            std::rethrow_exception(m_fatal);
        // After the uploads, so a renamed page is on the host under its new
        // name before the old one goes.
        if (!m_engine.cancelled())
            deleteOnHost();
        if (m_engine.cancelled())
            logNotSent();
        log("Disconnecting.");
        m_primary.disconnect();
        const QString target = m_host + m_folder;
        if (m_engine.cancelled()) {
            log(QStringLiteral("Cancelled. Published in part to: ") + target);
            return;
        }
        if (m_failed == 0) {
            log(QStringLiteral("Done. Published to: ") + target);
            return;
        }
        log((m_failed == 1 ? QStringLiteral("Published with 1 error to: ")
                           : QStringLiteral("Published with %1 errors to: ").arg(m_failed)) +
            target);
        throw PublishIncomplete(m_failed, m_replies, target);
    }

private:
    // A line of the log or a move of the gauge, held in its file's place.
    struct Entry {
        QString line;
        int progress = -1;
    };
    // What one file of the plan logged; out once the files before it are.
    struct Slot {
        std::vector<Entry> entries;
        size_t emitted = 0;
        bool started = false;
        bool done = false;
        bool sent = false;
        bool passedOver = false; // read in its turn, and found not to be sent
    };
    // One session and the file it works on now.
    struct Session {
        FtpConnection &connection;
        qsizetype slot = -1;
    };
    enum class Folder { Probing, Known };
    // How far the first session lets the others go, in this order.
    enum class Go { Wait, LogIn, Work, Leave };

    // ---- the log, kept in plan order ------------------------------------

    void deliver(const Entry &entry)
    {
        if (entry.progress >= 0) {
            m_lastProgress = entry.progress;
            if (m_events.progress)
                m_events.progress(entry.progress);
        } else if (m_events.log) {
            m_events.log(entry.line);
        }
    }

    // Outside any file: before the files and after them.
    void log(const QString &text)
    {
        const std::lock_guard lock(m_lock);
        deliver({text});
    }
    void log(const char *text) { log(QString::fromLatin1(text)); }
    void setProgress(int value)
    {
        const std::lock_guard lock(m_lock);
        deliver({{}, value});
    }

    void add(const Session &session, Entry entry)
    {
        const std::lock_guard lock(m_lock);
        m_slots[size_t(session.slot)].entries.push_back(std::move(entry));
        flushHead();
    }
    void log(const Session &session, const QString &text) { add(session, {text}); }
    void log(const Session &session, const char *text)
    {
        add(session, {QString::fromLatin1(text)});
    }

    // Under m_lock: everything of the first file not done yet, and every
    // file before it.
    void flushHead()
    {
        while (m_head < m_slots.size()) {
            Slot &slot = m_slots[m_head];
            for (; slot.emitted < slot.entries.size(); ++slot.emitted)
                deliver(slot.entries[slot.emitted]);
            if (!slot.done)
                return;
            ++m_head;
        }
    }

    void finish(const Session &session)
    {
        const std::lock_guard lock(m_lock);
        m_slots[size_t(session.slot)].done = true;
        flushHead();
    }

    // ---- the files ------------------------------------------------------

    void sendAll()
    {
        qsizetype sending = 0;
        for (const PublishStep &step : std::as_const(m_plan))
            sending += step.sends() ? 1 : 0;
        {
            const std::lock_guard lock(m_lock);
            m_slots.resize(size_t(m_plan.size()));
        }
        if (m_helpers.empty())
            startHelpers(sending - 1);
        // Sessions beyond what there is to send leave without a file.
        letHelpers(Go::Work);
        Session primary{m_primary};
        work(primary);
        joinHelpers();
        const std::lock_guard lock(m_lock);
        for (Slot &slot : m_slots) {
            slot.done = true;
            for (; slot.emitted < slot.entries.size(); ++slot.emitted)
                deliver(slot.entries[slot.emitted]);
        }
        m_head = m_slots.size();
    }

    // Files a full publish may send: every entry not locked, or the one asked for.
    qsizetype publishable() const
    {
        if (m_index != -1)
            return 1;
        qsizetype count = 0;
        for (const PublishSource::File &file : m_engine.m_source.files)
            count += file.publish ? 1 : 0;
        return count;
    }

    // Up to `wanted` more sessions, each logging in on its own thread and
    // then waiting until the first has entered (or made) the FTP folder.
    void startHelpers(qsizetype wanted)
    {
        const int extra =
            int(std::min<qsizetype>(m_engine.m_extraConnections, std::max<qsizetype>(wanted, 0)));
        m_parallel = extra > 0;
        for (int k = 0; k < extra; ++k) {
            try {
                m_helpers.emplace_back([this] { helperSession(); });
            } catch (const std::system_error &) {
                break; // fewer sessions share the files
            }
        }
    }

    // Tells sessions still waiting that the run ended before its files
    // (a failed login, a refused folder, a question answered no), and waits
    // for all of them.
    void joinHelpers()
    {
        {
            const std::lock_guard lock(m_lock);
            if (m_helpersGo != Go::Work)
                m_helpersGo = Go::Leave;
        }
        m_helperTurn.notify_all();
        for (std::thread &helper : m_helpers) {
            if (helper.joinable())
                helper.join();
        }
        m_helpers.clear();
    }

    void letHelpers(Go step)
    {
        {
            const std::lock_guard lock(m_lock);
            m_helpersGo = step;
        }
        m_helperTurn.notify_all();
    }

    // Waits until the first session lets the others go as far as `step`;
    // false when the run ended first.
    bool waitForTurn(Go step)
    {
        std::unique_lock lock(m_lock);
        m_helperTurn.wait(lock, [this, step] {
            return m_helpersGo == Go::Leave || int(m_helpersGo) >= int(step);
        });
        return m_helpersGo != Go::Leave;
    }

    // One more session on its own thread, entering the FTP folder made by
    // the first; one that cannot log in leaves its share to the others.
    void helperSession()
    {
        if (!waitForTurn(Go::LogIn))
            return;
        std::unique_ptr<FtpConnection> connection;
        try {
            connection = m_engine.m_factory();
            connection->setUser(m_user);
            connection->setHost(m_host);
            connection->setPassword(m_pass);
            connection->connect();
            connection->changeDir(connection->rootFolder());
            if (!waitForTurn(Go::Work)) {
                quietlyDisconnect(*connection);
                return;
            }
            if (!m_folder.isEmpty())
                connection->changeDir(m_folder);
        } catch (...) {
            const std::lock_guard lock(m_lock);
            if (m_notes.isEmpty())
                m_notes << QStringLiteral("One more session could not be opened, so fewer "
                                          "were used: ") +
                               exceptionMessage(std::current_exception());
            if (connection && connection->isConnected())
                quietlyDisconnect(*connection);
            return;
        }
        Session session{*connection};
        work(session);
        quietlyDisconnect(*connection);
    }

    static void quietlyDisconnect(FtpConnection &connection)
    {
        try {
            connection.disconnect();
        } catch (...) {
            // Its files are done; what the server says to QUIT changes nothing.
        }
    }

    // Takes the next file of the plan until there is none, the run was
    // cancelled or a session failed past saving.
    void work(Session &session)
    {
        for (;;) {
            {
                const std::lock_guard lock(m_lock);
                if (m_fatal || m_engine.cancelled() || m_next >= m_plan.size())
                    return;
                session.slot = m_next++;
                m_slots[size_t(session.slot)].started = true;
            }
            try {
                const bool sent = step(session, m_plan.at(session.slot));
                const std::lock_guard lock(m_lock);
                m_slots[size_t(session.slot)].sent = sent;
            } catch (...) {
                {
                    const std::lock_guard lock(m_lock);
                    if (!m_fatal || session.slot < m_fatalSlot) {
                        m_fatal = std::current_exception();
                        m_fatalSlot = session.slot;
                    }
                }
                finish(session);
                return;
            }
            finish(session);
        }
    }

    // True when the file was sent.
    bool step(const Session &session, const PublishStep &planned)
    {
        log(session, QStringLiteral("File:") + planned.localPath);
        std::optional<QByteArray> content;
        const PublishStep step = m_engine.readStep(planned, m_options, KeptContentBytes, &content);
        if (!step.sends() && !planned.read) {
            const std::lock_guard lock(m_lock);
            m_slots[size_t(session.slot)].passedOver = true;
        }
        switch (step.action) {
        case PublishStep::Action::SkipLocked:
        case PublishStep::Action::SkipMarker:
            log(session, "Host specific, no updating, skipped.");
            return false;
        case PublishStep::Action::SkipOutside:
            log(session, "File isn't in project folder, don't know where to upload, skipping...");
            return false;
        case PublishStep::Action::SkipExcluded:
            log(session, QStringLiteral("Excluded by \"%1\", skipped.").arg(step.pattern));
            return false;
        case PublishStep::Action::SkipUnchanged:
            log(session, "Unchanged since the last publish, skipped.");
            keepNewTime(step);
            return false;
        case PublishStep::Action::SkipGone:
            log(session, "No longer on disk, skipped.");
            return false;
        case PublishStep::Action::Unreadable:
            throw AppError(step.error);
        case PublishStep::Action::SendNew:
            log(session, "Not published before, sending.");
            break;
        case PublishStep::Action::SendChanged:
            log(session, "Changed since the last publish, sending.");
            break;
        case PublishStep::Action::Send:
            break;
        }
        const qsizetype cut = step.remotePath.lastIndexOf(u'/');
        const QString relativeFolder = cut < 0 ? QString() : step.remotePath.left(cut);
        // Forgotten while it is sent: a run that breaks off here may have
        // left the host's copy neither old nor new.
        if (m_record) {
            const std::lock_guard lock(m_lock);
            m_record->remove(step.remotePath);
        }
        const bool sent = publishFile(session, step, content, relativeFolder);
        if (m_record)
            remember(step, sent, content.has_value());
        log(session, "Done.");
        return sent;
    }

    // The record keeps what the server acknowledged, and only when the bytes
    // sent are those that were hashed: a file read again to be sent and saved
    // in between, or one that did not arrive, is left out so the next run
    // sends it. Bytes sent as read are what was hashed; a later save changes
    // the file's time, so the next run reads it again.
    void remember(const PublishStep &step, bool sent, bool sentAsRead)
    {
        if (!sent || step.sha256.isEmpty())
            return;
        const auto unchanged = [&step] {
            const FileStamp now = FileStamp::of(step.localPath);
            return now.exists && now.size == step.size && ModifiedMs(now) == step.modifiedMs;
        };
        if (sentAsRead || unchanged()) {
            const std::lock_guard lock(m_lock);
            m_record->set(step.remotePath, {step.size, step.modifiedMs, step.sha256});
        }
    }

    // A file saved without a change keeps its entry, with its new time.
    void keepNewTime(const PublishStep &step)
    {
        if (!m_record)
            return;
        const std::lock_guard lock(m_lock);
        if (const PublishRecord::Entry *entry = m_record->find(step.remotePath)) {
            if (entry->modifiedMs != step.modifiedMs)
                m_record->set(step.remotePath, {entry->size, step.modifiedMs, entry->sha256});
        }
    }

    // Changes to the FTP folder as configured; an empty one means the root.
    void changeToFolder(FtpConnection &connection)
    {
        if (!m_folder.isEmpty())
            connection.changeDir(m_folder);
    }

    // From the root every time, so a folder not beginning with "/" resolves to
    // the same place however deep the session went.
    void backToRoot(const Session &session)
    {
        log(session, "back to root");
        session.connection.changeDir(session.connection.rootFolder());
        changeToFolder(session.connection);
        log(session, "Done");
    }

    void enterFtpFolder()
    {
        for (int created = 0;; ++created) {
            log("Change dir to ftp folder");
            try {
                changeToFolder(m_primary);
                break;
            } catch (const AppError &error) {
                if (!m_primary.isConnected())
                    throw;
                if (created == PublishFolderCreations)
                    throw AppError(QStringLiteral("Cannot change to the FTP folder \"%1\" "
                                                  "after creating it: %2")
                                       .arg(m_folder, error.message()));
            }
            log("Create ftp folder path");
            // Made now, the folder is empty: what goes into it needs no probe.
            const QString whole =
                QString(m_folder).replace(u'\\', u'/').split(u'/', Qt::SkipEmptyParts).join(u'/');
            CreateFtpPath(m_primary, m_folder,
                          [this, whole, setMode = folderMade(m_primary)](const QString &name,
                                                                         const QString &path) {
                              if (setMode)
                                  setMode(name, path);
                              if (path == whole)
                                  noteMade(QString());
                          });
            m_primary.changeDir(m_primary.rootFolder());
        }
        log("Done");
    }

    // The first file into a folder finds out whether the folder is there,
    // making it when it is not; files into that folder on other sessions
    // wait for it, so each folder is made once per run.
    class FolderTurn {
    public:
        FolderTurn(Run &run, const QString &folder) : m_run(run), m_folder(folder)
        {
            std::unique_lock lock(m_run.m_lock);
            for (;;) {
                const auto known = m_run.m_folders.constFind(folder);
                if (known == m_run.m_folders.cend()) {
                    m_run.m_folders.insert(folder, Folder::Probing);
                    m_probing = true;
                    return;
                }
                if (*known == Folder::Known)
                    return;
                m_run.m_folderTurn.wait(lock);
            }
        }
        ~FolderTurn()
        {
            if (!m_probing)
                return;
            {
                const std::lock_guard lock(m_run.m_lock);
                m_run.m_folders.insert(m_folder, Folder::Known);
            }
            m_run.m_folderTurn.notify_all();
        }
        // True for the one session that finds out about the folder.
        bool probing() const { return m_probing; }
        FolderTurn(const FolderTurn &) = delete;
        FolderTurn &operator=(const FolderTurn &) = delete;

    private:
        Run &m_run;
        QString m_folder;
        bool m_probing = false;
    };

    // True when the server acknowledged the whole file.
    bool publishFile(const Session &session, const PublishStep &step,
                     const std::optional<QByteArray> &content, const QString &relativeFolder)
    {
        const FolderTurn turn(*this, relativeFolder);
        const int i = step.index;
        FtpConnection &connection = session.connection;
        if (turn.probing())
            makeInNewFolder(session, relativeFolder);
        QString lastError;
        for (int created = 0;; ++created) {
            add(session, {{}, i * 100 / m_count});
            const QString progress =
                QString::asprintf("%d%% %d file of %d", (i + 1) * 100 / m_count, i + 1, m_count);
            log(session, progress + QStringLiteral(" Putting ") + step.localPath +
                             QStringLiteral(" -> ") + step.remotePath);
            const bool intoNewFolder = madeThisRun(relativeFolder);
            try {
                storeFile(session, i, step.size, content, step.localPath, step.remotePath,
                          intoNewFolder);
                finishFile(session, step, step.remotePath);
                return true;
            } catch (const AppError &error) {
                // A lost session is not a missing folder: end the run.
                if (!connection.isConnected())
                    throw;
                lastError = error.message();
                if (created == PublishFolderCreations) {
                    // A refused store under the file's own name says nothing
                    // about temporary names.
                    if (!intoNewFolder && dynamic_cast<const FtpStoreRefused *>(&error) &&
                        storeDirectlyInstead(session, i, step.size, content, step.localPath,
                                             step.remotePath, lastError)) {
                        finishFile(session, step, step.remotePath);
                        return true;
                    }
                    log(session, QStringLiteral("!!!Error putting file: ") + lastError);
                    leftOut(step.remotePath, lastError);
                    return false;
                }
            }
            log(session, "Trying to create path folders");
            try {
                CreateFtpPath(connection, relativeFolder,
                              [this, setMode = folderMade(connection)](const QString &name,
                                                                       const QString &path) {
                                  if (setMode)
                                      setMode(name, path);
                                  noteMade(path);
                              });
            } catch (const AppError &error) {
                if (!connection.isConnected())
                    throw;
                log(session, QStringLiteral("!!!Error creating path: ") + relativeFolder);
                const auto *path = dynamic_cast<const FtpPathError *>(&error);
                leftOut(step.remotePath,
                        path && !path->reply().isEmpty() ? path->reply() : lastError);
                // The session may stand in a half-made folder; the next file
                // must not land there.
                backToRoot(session);
                return false;
            }
            backToRoot(session);
        }
    }

    // A folder inside one this run made cannot be there yet: it is made at
    // once, from the publish folder, instead of after a store that must fail.
    // Anything unexpected leaves it to the probe.
    void makeInNewFolder(const Session &session, const QString &folder)
    {
        if (folder.isEmpty())
            return;
        const qsizetype cut = folder.lastIndexOf(u'/');
        {
            const std::lock_guard lock(m_lock);
            if (!m_made.contains(cut < 0 ? QString() : folder.left(cut)))
                return;
        }
        FtpConnection &connection = session.connection;
        try {
            connection.makeDir(folder);
        } catch (const AppError &) {
            if (!connection.isConnected())
                throw;
            return;
        }
        noteMade(folder);
        if (const auto setMode = folderMade(connection))
            setMode(folder, folder);
    }

    bool madeThisRun(const QString &folder)
    {
        const std::lock_guard lock(m_lock);
        return m_made.contains(folder);
    }

    void noteMade(const QString &folder)
    {
        const std::lock_guard lock(m_lock);
        m_made.insert(folder);
    }

    // The permissions and time asked for, on a file the host now holds
    // whole. Neither is worth a file: a refusal is logged and the run goes on.
    // The time is the one of the bytes read for the upload: a save since
    // would give the host's copy a time newer than its content.
    void finishFile(const Session &session, const PublishStep &step, const QString &remote)
    {
        FtpConnection &connection = session.connection;
        try {
            if (m_fileMode >= 0)
                connection.setMode(remote, m_fileMode);
            if (m_keepTimes && !m_timesUnsupported.load() &&
                !connection.setModifiedTime(remote, step.modifiedMs) &&
                !m_timesUnsupported.exchange(true))
                log(session, "The server cannot set modification times; files keep the time "
                             "they arrived.");
        } catch (const AppError &error) {
            if (!connection.isConnected())
                throw;
            log(session, QStringLiteral("!!!") + error.message());
        }
    }

    // Gives each folder the run makes the permissions asked for.
    std::function<void(const QString &, const QString &)> folderMade(FtpConnection &connection)
    {
        if (m_folderMode < 0)
            return {};
        return [this, &connection](const QString &name, const QString &) {
            try {
                connection.setMode(name, m_folderMode);
            } catch (const AppError &error) {
                if (!connection.isConnected())
                    throw;
                log(QStringLiteral("!!!") + error.message());
            }
        };
    }

    // The files about to replace a copy the record knows, whose copy on the
    // host has another size now: someone else changed them there. Only their
    // folders are listed, so a run that sends little looks at little.
    bool hostMayBeOverwritten()
    {
        if (!m_events.confirmOverwrite || !m_record || !m_options.changesOnly)
            return true;
        QHash<QString, QList<const PublishStep *>> byFolder;
        for (const PublishStep &step : std::as_const(m_plan)) {
            if (step.action == PublishStep::Action::SendChanged &&
                m_record->find(step.remotePath)) {
                const qsizetype cut = step.remotePath.lastIndexOf(u'/');
                byFolder[cut < 0 ? QString() : step.remotePath.left(cut)].append(&step);
            }
        }
        if (byFolder.isEmpty())
            return true;
        log("Looking for files changed on the host");
        QStringList changed;
        for (auto it = byFolder.cbegin(); it != byFolder.cend(); ++it) {
            QHash<QString, qint64> sizes;
            try {
                const QList<RemoteEntry> entries =
                    m_primary.listFolder(it.key().isEmpty() ? QStringLiteral(".") : it.key());
                for (const RemoteEntry &entry : entries)
                    sizes.insert(entry.name, entry.folder ? -1 : entry.size);
            } catch (const AppError &error) {
                if (!m_primary.isConnected())
                    throw;
                continue; // a folder that is not there holds nothing to lose
            }
            for (const PublishStep *step : it.value()) {
                const QString name = step->remotePath.mid(step->remotePath.lastIndexOf(u'/') + 1);
                const qint64 recorded = m_record->find(step->remotePath)->size;
                const auto there = sizes.constFind(name);
                if (there != sizes.cend() && *there >= 0 && *there != recorded)
                    changed << QStringLiteral("%1: %2 bytes on the host, %3 when it was published")
                                   .arg(step->remotePath)
                                   .arg(*there)
                                   .arg(recorded);
            }
        }
        changed.sort();
        return changed.isEmpty() || m_events.confirmOverwrite(changed);
    }

    // Mirrored deletions, on the first session once every file is sent;
    // a cancel stops before the next one.
    void deleteOnHost()
    {
        QList<HostDeletion> pending = m_options.deletions;
        while (!pending.isEmpty() && !m_engine.cancelled()) {
            DeleteOnHost(
                m_primary, {pending.takeFirst()}, m_record,
                [this](const QString &line) { log(line); },
                [this](const QString &remote, const QString &reply) { leftOut(remote, reply); });
        }
        if (!pending.isEmpty())
            log(QStringLiteral("Cancelled: %1 files were not deleted on the host")
                    .arg(pending.size()));
    }

    void leftOut(const QString &remote, const QString &reply)
    {
        const std::lock_guard lock(m_lock);
        ++m_failed;
        if (m_replies.size() < PublishRepliesQuoted)
            m_replies << remote + QStringLiteral(": ") + reply;
    }

    // The bytes read for the plan when it kept them, else the file as it is now.
    static void store(FtpConnection &connection, const std::optional<QByteArray> &content,
                      const QString &localPath, const QString &remote)
    {
        if (content)
            connection.storeData(*content, localPath, remote);
        else
            connection.store(localPath, remote);
    }

    // Stores under a temporary name and renames it over the file, so the
    // host's copy is replaced only by a whole one. A server that renames
    // nothing gets the file stored directly, from then on for the whole run.
    // In a folder this run made the host had no copy to protect: the file
    // goes up under its own name, one exchange with the server less, and a
    // broken upload is removed as a temporary one would be.

    void storeFile(const Session &session, int i, qint64 size,
                   const std::optional<QByteArray> &content, const QString &localPath,
                   const QString &remote, bool intoNewFolder)
    {
        FtpConnection &connection = session.connection;
        const TransferProgress progress(*this, session, i, size);
        const QString temporary = m_directStore ? QString() : UploadTemporaryName(remote);
        if (temporary.isEmpty()) {
            store(connection, content, localPath, remote);
            return;
        }
        const QString target = intoNewFolder ? remote : temporary;
        try {
            store(connection, content, localPath, target);
        } catch (const AppError &error) {
            // A refused store wrote nothing; any other may have left part of the file.
            if (dynamic_cast<const FtpStoreRefused *>(&error))
                removeQuietly(connection, target);
            else
                removeUpload(session, target, !intoNewFolder);
            throw;
        }
        if (intoNewFolder)
            return;
        try {
            connection.rename(temporary, remote);
            return;
        } catch (const AppError &error) {
            if (!connection.isConnected()) {
                removeUpload(session, temporary, true);
                throw;
            }
            m_directStore = true;
            QString note = QStringLiteral("The server does not rename files; storing them "
                                          "directly from now on (") +
                           error.message() + u')';
            if (!removeQuietly(connection, temporary))
                note += QStringLiteral("; it would not delete ") + temporary +
                        QStringLiteral(" either");
            log(session, note);
        }
        store(connection, content, localPath, remote);
    }

    // The folder is there by now, yet the temporary name was refused each
    // time before any byte was taken: some hosts forbid names that begin
    // with a dot. If the file itself is taken, every file goes up directly
    // from now on, as for a server that renames nothing, with the old risk
    // of a broken transfer.
    bool storeDirectlyInstead(const Session &session, int i, qint64 size,
                              const std::optional<QByteArray> &content, const QString &localPath,
                              const QString &remote, const QString &refusal)
    {
        if (m_directStore || UploadTemporaryName(remote).isEmpty())
            return false;
        try {
            const TransferProgress progress(*this, session, i, size);
            store(session.connection, content, localPath, remote);
        } catch (const AppError &) {
            if (!session.connection.isConnected())
                throw;
            return false;
        }
        m_directStore = true;
        log(session, QStringLiteral("The server refuses the temporary name; storing files "
                                    "directly from now on (") +
                         refusal + u')');
        return true;
    }

    // After a failed store: what arrived goes, best effort and said in the
    // log. Without a session a temporary name is kept in the record for the
    // next run to remove. A file's own name in a new folder is not, as by
    // then it may hold someone else's whole file; the record forgot the
    // file before it was sent, so the next run sends it again.
    void removeUpload(const Session &session, const QString &path, bool temporary)
    {
        const QString what =
            temporary ? QStringLiteral("temporary upload") : QStringLiteral("partial upload");
        if (!session.connection.isConnected()) {
            if (!temporary) {
                log(session, QStringLiteral("The connection is gone: part of %1 may stay on the "
                                            "host until the next publish sends it again")
                                 .arg(path));
                return;
            }
            if (m_record) {
                const std::lock_guard lock(m_lock);
                m_record->addLeftover(path);
            }
            log(session,
                m_record ? QStringLiteral("The connection is gone: the temporary upload %1 stays "
                                          "on the host until the next publish removes it")
                               .arg(path)
                         : QStringLiteral("The connection is gone: the temporary upload %1 may "
                                          "stay on the host")
                               .arg(path));
            return;
        }
        try {
            session.connection.removeFile(path);
            log(session, QStringLiteral("Removed the %1 %2").arg(what, path));
        } catch (const AppError &error) {
            log(session,
                QStringLiteral("Could not remove the %1 %2: %3").arg(what, path, error.message()));
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
                m_primary.removeFile(path);
                log(QStringLiteral("Removed the temporary upload %1 left by an earlier run")
                        .arg(path));
            } catch (const AppError &error) {
                if (!m_primary.isConnected())
                    throw;
                log(QStringLiteral("Could not remove the temporary upload %1 left by "
                                   "an earlier run: %2")
                        .arg(path, error.message()));
            }
            m_record->removeLeftover(path);
        }
    }

    static bool removeQuietly(FtpConnection &connection, const QString &remote)
    {
        if (!connection.isConnected())
            return false;
        try {
            connection.removeFile(remote);
            return true;
        } catch (const AppError &) {
            // Nothing may have been created; either way the run goes on.
            return false;
        }
    }

    // What a cancelled run did not send, by name.
    void logNotSent()
    {
        QStringList notSent;
        int sent = 0;
        int toSend = 0;
        for (qsizetype i = 0; i < m_plan.size(); ++i) {
            const PublishStep &step = m_plan.at(i);
            if (!step.sends() || m_slots[size_t(i)].passedOver)
                continue;
            ++toSend;
            if (m_slots[size_t(i)].sent)
                ++sent;
            else if (!m_slots[size_t(i)].started)
                notSent << step.remotePath;
        }
        log(QStringLiteral("Cancelled: %1 of %2 files to send were sent; %3 were not sent:")
                .arg(sent)
                .arg(toSend)
                .arg(notSent.size()));
        for (qsizetype i = 0; i < notSent.size() && i < NotSentListed; ++i)
            log(QStringLiteral("Not sent: ") + notSent.at(i));
        if (notSent.size() > NotSentListed)
            log(QStringLiteral("... and %1 more not sent").arg(notSent.size() - NotSentListed));
    }

    // Moves the gauge within a file while it is sent, and with several
    // sessions keeps the transfer counts among the file's own lines, for as
    // long as it exists.
    class TransferProgress {
    public:
        TransferProgress(Run &run, const Session &session, int i, qint64 size)
            : m_connection(session.connection), m_outer(session.connection.workHandler())
        {
            if (run.m_parallel) {
                if (!m_outer)
                    return;
                m_connection.setWorkHandler([&run, &session](qint64 bytes) {
                    run.add(session, {TransferCountLine(bytes)});
                });
                return;
            }
            const qint64 count = run.m_count;
            m_connection.setWorkHandler([&run, outer = m_outer, i, size, count](qint64 bytes) {
                if (outer)
                    outer(bytes);
                if (size <= 0 || bytes >= size)
                    return;
                const int value = static_cast<int>((i * 100 * size + 100 * bytes) / (count * size));
                if (value != run.m_lastProgress)
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

    PublishEngine &m_engine;
    const PublishEvents &m_events;
    FtpConnection &m_primary;
    const int m_index;
    const PublishOptions m_options;
    PublishRecord *const m_record;
    const QString m_host;
    const QString m_user;
    const QString m_pass;
    const QString m_folder;
    const int m_count;
    QList<PublishStep> m_plan;

    // Shared by the sessions, under m_lock.
    std::mutex m_lock;
    std::vector<Slot> m_slots;
    size_t m_head = 0;     // first file whose lines are not all out
    qsizetype m_next = 0;  // next file of the plan to take
    int m_failed = 0;      // files left out
    QStringList m_replies; // what the server said about the first of them
    QStringList m_notes;   // said after the files
    std::exception_ptr m_fatal;
    qsizetype m_fatalSlot = -1;
    QHash<QString, Folder> m_folders;
    QSet<QString> m_made; // folders this run made, relative to the publish folder ("" is it)
    std::condition_variable m_folderTurn;

    bool m_parallel = false;
    std::atomic<bool> m_directStore{false};
    // The other sessions: started before the files are read in a full
    // publish, they wait for the first to be in the FTP folder.
    std::vector<std::thread> m_helpers;
    Go m_helpersGo = Go::Wait; // under m_lock
    std::condition_variable m_helperTurn;
    const int m_fileMode;
    const int m_folderMode;
    const bool m_keepTimes;
    std::atomic<bool> m_timesUnsupported{false};
    int m_lastProgress = -1; // the gauge as last moved
};

PublishSource PublishSource::of(const Project &project)
{
    PublishSource source;
    source.files.reserve(project.Files.Count());
    for (int i = 0; i < project.Files.Count(); ++i) {
        const ProjectEntry *entry = project.Files.Get(i);
        source.files.append({entry->Name, entry->Publish});
    }
    source.projectFile = project.FileName;
    source.ftp = project.Ftp;
    return source;
}

PublishEngine::PublishEngine(PublishSource source, PublishEvents events)
    : m_source(std::move(source)), m_events(std::move(events))
{
}

PublishEngine::~PublishEngine() = default;

void PublishEngine::setExtraConnections(int count, ConnectionFactory factory)
{
    m_extraConnections = factory ? std::max(count, 0) : 0;
    m_factory = std::move(factory);
}

bool PublishEngine::isHostSpecific(int index) const
{
    const PublishSource::File &file = m_source.files.at(index);
    return !file.publish || FileHasPublishMarker(file.path);
}

void PublishEngine::publish(FtpConnection &connection, int index, const PublishOptions &options)
{
    if (index < -1 || index >= m_source.files.size())
        throw AppError(QStringLiteral("Cannot publish file number %1: the project has %2 files")
                           .arg(index)
                           .arg(m_source.files.size()));
    RunGuard guard(connection);
    // What the server acknowledged counts however the run ends.
    const auto saveRecord = [&] {
        if (!options.record)
            return;
        try {
            options.record->save();
        } catch (const AppError &error) {
            if (m_events.log)
                m_events.log(QStringLiteral("!!!") + error.message());
        }
    };
    try {
        Run(*this, connection, index, options).run();
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

namespace {
PublishEvents eventsOf(Project &project)
{
    PublishEvents events;
    events.log = [&project](const QString &line) { project.Log(line); };
    events.progress = [&project](int percent) {
        project.Ftp.Progress = percent;
        project.OnPublishProgress.raise();
    };
    return events;
}
} // namespace

void PublishFiles(Project &project, FtpConnection &connection, int index,
                  const PublishOptions &options)
{
    PublishEngine(PublishSource::of(project), eventsOf(project))
        .publish(connection, index, options);
}

QList<PublishStep> PlanPublish(const Project &project, int index, const PublishOptions &options)
{
    return PublishEngine(PublishSource::of(project), {}).plan(index, options);
}

bool IsHostSpecific(const Project &project, int index)
{
    const ProjectEntry *entry = project.Files.Get(index);
    return !entry->Publish || FileHasPublishMarker(entry->Name);
}
