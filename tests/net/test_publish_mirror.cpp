// What a publish does beyond sending files, against real servers, one run of
// the same suite per server: mirrored deletions, permissions and times, and
// the comparison of the project with the host.

#include "net/ftp_client.h"
#include "net/sftp_client.h"
#include "project/host_compare.h"
#include "project/project.h"
#include "project/publish_deletions.h"
#include "project/publish_engine.h"
#include "project/publish_record.h"
#include "support/ftp_server.h"
#include "support/proftpd_server.h"
#include "support/ssh_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

enum class Protocol { Ftp, Proftpd, Sftp };

// One server of the protocol on loopback, with the client that reaches it
// and the local folder that the project's FTP folder is on the host.
struct Host {
    virtual ~Host() = default;
    virtual FtpConnection &client() = 0;
    virtual QString folderSetting() const = 0; // the FTP folder as the project sets it
    // One more session like client(), for a run over several.
    virtual std::unique_ptr<FtpConnection> another() const = 0;
    QString folder; // the same folder on this machine
    QString host;
    QString user;
    QString pass;
};

// A server reached by FtpClient sessions; its arguments follow the home.
template <typename Server>
struct FtpServerHost : Host {
    template <typename... Args>
    explicit FtpServerHost(const QString &home, const Args &...args) : server(home, args...)
    {
        folder = home + QStringLiteral("/www/site");
        host = server.hostAndPort();
        user = QStringLiteral("tester");
        pass = QStringLiteral("secret");
        connection.setTimeoutMs(10000);
    }
    FtpConnection &client() override { return connection; }
    QString folderSetting() const override { return QStringLiteral("/www/site"); }
    std::unique_ptr<FtpConnection> another() const override
    {
        auto session = std::make_unique<FtpClient>();
        session->setTimeoutMs(10000);
        return session;
    }
    Server server;
    FtpClient connection;
};
using FtpHost = FtpServerHost<FtpTestServer>;

// proftpd locks the session into the home as nobody, who owns only what it
// made: the site's folder is made and given to nobody first, as a hosting
// account comes.
struct ProftpdHost final : FtpServerHost<ProftpdTestServer> {
    ProftpdHost(const QString &home, const QString &work)
        : FtpServerHost(home, work, QString(), QString())
    {
        QDir().mkpath(folder);
        const passwd *nobody = ::getpwnam("nobody");
        for (const QString &path : {home + QStringLiteral("/www"), folder})
            EXPECT_EQ(::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid),
                      0);
    }
};

struct SftpHost final : Host {
    SftpHost(const QString &home, const QString &sshFolder)
    {
        qunsetenv("SSH_AUTH_SOCK");
        folder = home + QStringLiteral("/www/site");
        host = server.hostAndPort();
        user = SshTestServer::userName();
        knownHosts = sshFolder + QStringLiteral("/known_hosts");
        WriteFileBytes(knownHosts, server.knownHostsLine().toUtf8() + '\n');
        setUp(connection, knownHosts);
    }
    void setUp(SftpClient &session, const QString &knownHosts) const
    {
        session.setKnownHostsFile(knownHosts);
        session.setSshFolder(server.clientKeyFolder());
        session.setTimeoutMs(10000);
    }
    FtpConnection &client() override { return connection; }
    QString folderSetting() const override { return folder; }
    std::unique_ptr<FtpConnection> another() const override
    {
        auto session = std::make_unique<SftpClient>();
        setUp(*session, knownHosts);
        return session;
    }
    SshTestServer server;
    SftpClient connection;
    QString knownHosts;
};

class PublishMirrorTest : public ::testing::TestWithParam<Protocol> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid() && m_local.isValid() && m_serverFiles.isValid());
        switch (GetParam()) {
        case Protocol::Ftp:
            m_host = std::make_unique<FtpHost>(m_home.path());
            break;
        case Protocol::Proftpd:
            if (const QString reason = ProftpdTestServer::unavailableReason(); !reason.isEmpty())
                GTEST_SKIP() << reason.toStdString();
            m_host = std::make_unique<ProftpdHost>(m_home.filePath(QStringLiteral("ftp/home")),
                                                   m_serverFiles.path());
            break;
        case Protocol::Sftp:
            m_host = std::make_unique<SftpHost>(m_home.path(), m_serverFiles.path());
            break;
        }
        m_site = m_local.filePath(QStringLiteral("site")) + u'/';
        m_project.FileName = m_site + QStringLiteral("site.wdx");
        m_project.Ftp.Host = m_host->host;
        m_project.Ftp.User = m_host->user;
        m_project.Ftp.Pass = m_host->pass;
        m_project.Ftp.Folder = m_host->folderSetting();
        m_project.Ftp.MirrorDeletions = true;
        m_project.OnWorkspaceLog.bind([this](QObject *) { m_log << m_project.LogText; });
    }

    void addFile(const QString &name, bool publish = true)
    {
        const QString path = m_site + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteFileBytes(path, "<?php // " + name.toUtf8() + "\n");
        m_project.Files.AddNew();
        m_project.Files.Last()->Name = path;
        m_project.Files.Last()->Publish = publish;
    }

    int entry(const QString &name) const { return m_project.IndexOf(m_site + name); }

    // Publish Changes as the window runs it, over three sessions; returns
    // what it planned to delete.
    QList<HostDeletion>
    publishChanges(std::function<bool(const QStringList &)> confirmOverwrite = {})
    {
        const QString key = QStringLiteral("mirror test");
        PublishRecord record(key, PublishRecord::fileNameFor(m_local.filePath("published"), key));
        record.load();
        PublishOptions options;
        options.changesOnly = true;
        options.record = &record;
        options.mirrorDeletions = true;
        options.deletions = PlanHostDeletions(m_project, record);
        m_log.clear();
        PublishEvents events{
            [this](const QString &line) { m_log << line; }, {}, std::move(confirmOverwrite)};
        PublishEngine engine(PublishSource::of(m_project), std::move(events));
        engine.setExtraConnections(2, [this] { return m_host->another(); });
        engine.publish(m_host->client(), -1, options);
        return options.deletions;
    }

    QStringList recorded()
    {
        const QString key = QStringLiteral("mirror test");
        PublishRecord record(key, PublishRecord::fileNameFor(m_local.filePath("published"), key));
        record.load();
        QStringList paths = record.entries().keys();
        paths.sort();
        return paths;
    }

    QTemporaryDir m_home;
    QTemporaryDir m_local;
    QTemporaryDir m_serverFiles; // the SSH keys or the server configuration
    std::unique_ptr<Host> m_host;
    QString m_site;
    Project m_project;
    QStringList m_log;
};

} // namespace

TEST_P(PublishMirrorTest, RemovedRenamedAndGoneFilesLeaveTheHostAndNothingElseDoes)
{
    for (const char *name : {"index.php", "old.php", "sub/page.php", "gone.php"})
        addFile(name);
    addFile("locked.php", false);
    // Someone else's file on the host: never the program's to delete.
    QDir().mkpath(m_host->folder);
    WriteFileBytes(m_host->folder + QStringLiteral("/theirs.txt"), "not ours");

    // Without a record there is nothing to delete.
    EXPECT_TRUE(publishChanges().isEmpty());
    EXPECT_EQ(filesBelow(m_host->folder),
              (QStringList{"gone.php", "index.php", "old.php", "sub/page.php", "theirs.txt"}));

    // Renamed, removed from the project (kept on disk), deleted from disk
    // (kept in the project), and locked after it was published.
    ASSERT_TRUE(QFile::rename(m_site + "old.php", m_site + "new.php"));
    m_project.Files.Get(entry("old.php"))->Name = m_site + "new.php";
    m_project.RemoveFile(entry("sub/page.php"));
    ASSERT_TRUE(QFile::remove(m_site + "gone.php"));
    m_project.Files.Get(entry("index.php"))->Publish = false;

    const QList<HostDeletion> deleted = publishChanges();
    EXPECT_EQ(deleted, (QList<HostDeletion>{{"gone.php", "no longer on disk"},
                                            {"old.php", "no longer in the project"},
                                            {"sub/page.php", "no longer in the project"}}));
    EXPECT_EQ(filesBelow(m_host->folder), (QStringList{"index.php", "new.php", "theirs.txt"}));
    EXPECT_EQ(recorded(), (QStringList{"index.php", "new.php"}));
    // The renamed file went up before its old name went.
    const qsizetype put = m_log.indexOf(QRegularExpression(".* Putting .*new\\.php -> new\\.php"));
    const qsizetype removed = m_log.indexOf("Deleting on host: old.php (no longer in the project)");
    ASSERT_GE(put, 0) << m_log.join('\n').toStdString();
    EXPECT_GT(removed, put);
    EXPECT_TRUE(m_log.contains("No longer on disk, skipped."));

    // Done once: the next run has nothing left to delete.
    EXPECT_TRUE(publishChanges().isEmpty());
    EXPECT_EQ(filesBelow(m_host->folder), (QStringList{"index.php", "new.php", "theirs.txt"}));
}

TEST_P(PublishMirrorTest, PermissionsAndTimesAreSetWhereAsked)
{
    m_project.Ftp.MirrorDeletions = false;
    m_project.Ftp.FileMode = 0640;
    m_project.Ftp.FolderMode = 0750;
    m_project.Ftp.KeepTimes = true;
    addFile("index.php");
    addFile("sub/deeper/page.php");
    const QDateTime then(QDate(2001, 2, 3), QTime(4, 5, 6), QTimeZone::utc());
    for (const char *name : {"index.php", "sub/deeper/page.php"}) {
        QFile file(m_site + name);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(then, QFileDevice::FileModificationTime));
    }
    publishChanges();
    EXPECT_TRUE(m_log.filter("!!!").isEmpty()) << m_log.join('\n').toStdString();
    const auto mode = [](const QString &path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777)
                                                                       : -1;
    };
    for (const char *name : {"index.php", "sub/deeper/page.php"}) {
        SCOPED_TRACE(name);
        const QString onHost = m_host->folder + u'/' + name;
        EXPECT_EQ(mode(onHost), 0640);
        EXPECT_EQ(QFileInfo(onHost).lastModified().toSecsSinceEpoch(), then.toSecsSinceEpoch());
    }
    for (const char *folder : {"sub", "sub/deeper"})
        EXPECT_EQ(mode(m_host->folder + u'/' + folder), 0750) << folder;
}

TEST_P(PublishMirrorTest, PublishChangesAsksBeforeOverwritingAFileChangedOnTheHost)
{
    m_project.Ftp.MirrorDeletions = false;
    for (const char *name : {"index.php", "sub/page.php", "sub/theirs.php"})
        addFile(name);
    publishChanges();
    WriteFileBytes(m_host->folder + "/sub/theirs.php", "edited on the host");
    for (const char *name : {"index.php", "sub/page.php", "sub/theirs.php"})
        WriteFileBytes(m_site + name, QByteArray("<?php // changed here ") + name);
    const qint64 recorded = QByteArray("<?php // sub/theirs.php\n").size();

    QStringList asked;
    publishChanges([&](const QStringList &changed) {
        asked = changed;
        return false;
    });
    EXPECT_EQ(asked, QStringList{QStringLiteral("sub/theirs.php: 18 bytes on the host, %1 when it "
                                                "was published")
                                     .arg(recorded)});
    EXPECT_EQ(ReadFileBytes(m_host->folder + "/sub/theirs.php"), "edited on the host");
    EXPECT_EQ(ReadFileBytes(m_host->folder + "/index.php"), "<?php // index.php\n");

    asked.clear();
    publishChanges([&](const QStringList &changed) {
        asked = changed;
        return true;
    });
    EXPECT_EQ(asked.size(), 1);
    for (const char *name : {"index.php", "sub/page.php", "sub/theirs.php"})
        EXPECT_EQ(ReadFileBytes(m_host->folder + u'/' + name), ReadFileBytes(m_site + name));
    // Sent from the record's side now: nothing to ask about.
    asked.clear();
    publishChanges([&](const QStringList &changed) {
        asked = changed;
        return true;
    });
    EXPECT_TRUE(asked.isEmpty());
}

TEST_P(PublishMirrorTest, CompareWithHostTellsEachFilesState)
{
    m_project.Ftp.MirrorDeletions = false;
    for (const char *name : {"same.php", "local.php", "host.php", "gone.php"})
        addFile(name);
    addFile("locked.php", false);
    publishChanges();
    WriteFileBytes(m_site + "local.php", "changed here, and longer");
    WriteFileBytes(m_host->folder + "/host.php", "changed there, and longer");
    ASSERT_TRUE(QFile::remove(m_host->folder + "/gone.php"));
    addFile("new.php");
    WriteFileBytes(m_host->folder + "/theirs.txt", "x");
    WriteFileBytes(m_host->folder + "/locked.php", "x"); // never sent: not compared
    QDir().mkpath(m_host->folder + "/deeper");
    WriteFileBytes(m_host->folder + "/deeper/.qs-upload-left.php", "half"); // a temporary upload

    FtpConnection &client = m_host->client();
    client.setHost(m_host->host);
    client.setUser(m_host->user);
    client.setPassword(m_host->pass);
    client.connect();
    const QList<HostFile> files = ListHostFiles(client, m_project.Ftp.Folder);
    client.disconnect();
    const auto states = [&](PublishRecord *record) {
        QStringList texts;
        for (const HostComparison &row : CompareWithHost(m_project, record, files))
            texts << row.path + ": " + HostComparison::stateText(row.state);
        return texts;
    };
    const QString key = QStringLiteral("mirror test");
    PublishRecord record(key, PublishRecord::fileNameFor(m_local.filePath("published"), key));
    record.load();
    EXPECT_EQ(states(&record), (QStringList{"gone.php: only local", "host.php: changed on the host",
                                            "local.php: changed locally", "new.php: only local",
                                            "same.php: same", "theirs.txt: only on the host"}));

    // A machine without the record tells by size and by the newer copy.
    QFile file(m_host->folder + "/host.php");
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTimeUtc().addDays(1),
                                 QFileDevice::FileModificationTime));
    file.close();
    client.connect();
    const QList<HostFile> again = ListHostFiles(client, m_project.Ftp.Folder);
    client.disconnect();
    QStringList texts;
    for (const HostComparison &row : CompareWithHost(m_project, nullptr, again))
        texts << row.path + ": " + HostComparison::stateText(row.state);
    EXPECT_EQ(texts, (QStringList{"gone.php: only local", "host.php: changed on the host",
                                  "local.php: changed locally", "new.php: only local",
                                  "same.php: same", "theirs.txt: only on the host"}));
}

INSTANTIATE_TEST_SUITE_P(Protocols, PublishMirrorTest,
                         ::testing::Values(Protocol::Ftp, Protocol::Proftpd, Protocol::Sftp),
                         [](const ::testing::TestParamInfo<Protocol> &info) {
                             return info.param == Protocol::Ftp       ? "Ftp"
                                    : info.param == Protocol::Proftpd ? "Proftpd"
                                                                      : "Sftp";
                         });
