// The publish engine: mirrors the project's files below its folder into the
// FTP folder of the host, one stateful FTP session per run, every step logged.

#include "project/publish.h"

#include "foundation/errors.h"
#include "foundation/ftp_connection.h"
#include "foundation/switches.h"
#include "foundation/text_utils.h"
#include "project/project.h"
#include "project/project_paths.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <vector>

namespace
{

// Connections that a run is using now. The window processes its events while
// a run logs, so a second publish command could otherwise interleave its
// commands with the running one on the same session.
QSet<const FtpConnection *> &busyConnections()
{
    static QSet<const FtpConnection *> busy;
    return busy;
}

class RunGuard
{
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
class MarkerSearch
{
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
class PublishRun
{
  public:
    PublishRun(Project &project, FtpConnection &connection, int index)
        : m_project(project), m_connection(connection), m_index(index), m_host(project.Ftp.Host),
          m_user(project.Ftp.User), m_pass(project.Ftp.Pass), m_folder(project.Ftp.Folder),
          m_count(project.Files.Count())
    {
    }

    void run()
    {
        setProgress(0);
        log("Publishing");
        log("FTP Publishing");
        m_connection.setUser(m_user);
        m_connection.setHost(m_host);
        m_connection.setPassword(m_pass);
        log("Connecting");
        m_connection.connect();
        log("Done");
        log("Changing folder");
        m_connection.changeDir(QStringLiteral("/"));
        enterFtpFolder();

        const QString projectFolder =
            m_project.FileName.isEmpty() ? QString() : ProjectFolderOf(m_project.FileName);
        const QString projectFolderLower = LocaleLower(projectFolder);
        setProgress(0);
        for (int i = 0; i < m_count; ++i) {
            if (m_index != -1 && i != m_index)
                continue;
            // The window may edit the list while a run logs: work on a copy.
            if (i >= m_project.Files.Count())
                break;
            const ProjectEntry entry = *m_project.Files.Get(i);
            m_project.Log(QStringLiteral("File:") + entry.Name);
            if (!entry.Publish || FileHasPublishMarker(entry.Name)) {
                log("Host specific, no updating, skipped.");
                continue;
            }
            if (LocaleLower(entry.Name.left(projectFolder.size())) != projectFolderLower) {
                log("File isn't in project folder, don't know where to upload, skipping...");
                continue;
            }
            // Without a project folder the whole absolute path is the relative
            // one; its leading '/' would leave the FTP folder for the root.
            QString relative = entry.Name.mid(projectFolder.size());
            while (relative.startsWith(QDir::separator()))
                relative.remove(0, 1);
            const qsizetype cut = relative.lastIndexOf(QDir::separator());
            const QString relativeFolder = cut < 0 ? QString() : relative.left(cut);
            const QString remote = QDir::fromNativeSeparators(relative);
            publishFile(i, entry.Name, relativeFolder, remote);
            log("Done.");
        }
        log("Disconnecting.");
        m_connection.disconnect();
        m_project.Log(QStringLiteral("Done. Published to: ") + m_host + m_folder);
    }

  private:
    void log(const char *text) { m_project.Log(QString::fromLatin1(text)); }

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
        m_connection.changeDir(QStringLiteral("/"));
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
            CreateFtpPath(m_connection, m_folder);
            m_connection.changeDir(QStringLiteral("/"));
        }
        log("Done");
    }

    void publishFile(int i, const QString &localPath, const QString &relativeFolder,
                     const QString &remote)
    {
        for (int created = 0;; ++created) {
            setProgress(i * 100 / m_count);
            const QString progress =
                QString::asprintf("%d%% %d file of %d", (i + 1) * 100 / m_count, i + 1, m_count);
            m_project.Log(progress + QStringLiteral(" Putting ") + localPath +
                          QStringLiteral(" -> ") + remote);
            try {
                m_connection.store(localPath, remote);
                return;
            } catch (const AppError &error) {
                // A lost session is not a missing folder: end the run.
                if (!m_connection.isConnected())
                    throw;
                if (created == PublishFolderCreations) {
                    m_project.Log(QStringLiteral("!!!Error putting file: ") + error.message());
                    return;
                }
            }
            log("Trying to create path folders");
            try {
                CreateFtpPath(m_connection, relativeFolder);
            } catch (const AppError &) {
                if (!m_connection.isConnected())
                    throw;
                m_project.Log(QStringLiteral("!!!Error creating path: ") + relativeFolder);
                // The session may stand in a half-made folder; the next file
                // must not land there.
                backToRoot();
                return;
            }
            backToRoot();
        }
    }

    Project &m_project;
    FtpConnection &m_connection;
    const int m_index;
    const QString m_host;
    const QString m_user;
    const QString m_pass;
    const QString m_folder;
    const int m_count;
};

} // namespace

void CreateFtpPath(FtpConnection &connection, const QString &path)
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
            } catch (const AppError &) {
                // The folder may exist already; entering it tells.
            }
        }
        try {
            connection.changeDir(target);
        } catch (const AppError &) {
            if (!connection.isConnected())
                throw;
            throw AppError(QStringLiteral("Cant change to just created folder"));
        }
    }
}

bool FileHasPublishMarker(const QString &path)
{
    static const MarkerSearch search;
    constexpr qsizetype overlap = MarkerSearch::Overlap;
    constexpr qsizetype block = 1024 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw AppError(QStringLiteral("Cannot read file %1: %2").arg(path, file.errorString()));
    std::vector<char> buffer(overlap + block);
    qsizetype carried = 0; // tail of the previous block, kept in front
    for (;;) {
        const qint64 count = file.read(buffer.data() + carried, block);
        if (count < 0)
            throw AppError(QStringLiteral("Cannot read file %1: %2").arg(path, file.errorString()));
        if (count == 0)
            return false;
        const qsizetype length = carried + count;
        if (search.foundIn(buffer.data(), length))
            return true;
        carried = std::min(overlap, length);
        std::memmove(buffer.data(), buffer.data() + length - carried, carried);
    }
}

bool Project::IsHostSpecific(int index)
{
    const ProjectEntry *entry = Files.Get(index);
    return !entry->Publish || FileHasPublishMarker(entry->Name);
}

void Project::PublishFiles(FtpConnection &connection, int index)
{
    if (index < -1 || index >= Files.Count())
        throw AppError(QStringLiteral("Cannot publish file number %1: the project has %2 files")
                           .arg(index)
                           .arg(Files.Count()));
    RunGuard guard(connection);
    try {
        PublishRun(*this, connection, index).run();
    } catch (...) {
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
