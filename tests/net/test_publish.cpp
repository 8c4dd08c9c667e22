// The publish engine: against a real FTP server for what reaches the host, and
// against a scripted connection for the limits a real server cannot provoke.

#include "foundation/errors.h"
#include "foundation/ftp_connection.h"
#include "net/ftp_client.h"
#include "project/project.h"
#include "project/publish.h"
#include "support/ftp_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace
{

QString errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const AppError &error) {
        return error.message();
    }
    return QStringLiteral("<no error>");
}

// Every file below `root`, by '/' path relative to it, with its bytes.
QMap<QString, QByteArray> treeOf(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree.insert(QDir(root).relativeFilePath(path), ReadFileBytes(path));
    }
    return tree;
}

// What the log promises: each remote path of a "Putting" line whose file then
// ended with "Done." and no error line, with the local file's bytes.
QMap<QString, QByteArray> promisedByLog(const std::vector<QString> &log, const QString &prefix)
{
    static const QRegularExpression putting(
        QStringLiteral("^\\d+% \\d+ file of \\d+ Putting (.*) -> (.*)$"));
    QMap<QString, QByteArray> promised;
    QString local;
    QString remote;
    bool failed = false;
    for (const QString &line : log) {
        const QRegularExpressionMatch match = putting.match(line);
        if (match.hasMatch()) {
            local = match.captured(1);
            remote = match.captured(2);
            failed = false;
        } else if (line.startsWith(QStringLiteral("!!!"))) {
            failed = true;
        } else if (line == QStringLiteral("Done.") && !remote.isEmpty()) {
            if (!failed)
                promised.insert(prefix + remote, ReadFileBytes(local));
            remote.clear();
        }
    }
    return promised;
}

class PublishTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid() && m_local.isValid());
        m_site = m_local.filePath(QStringLiteral("site")) + u'/';
        m_project.FileName = m_site + QStringLiteral("site.wdx");
        m_project.OnWorkspaceLog.bind([this](QObject *) {
            m_log.push_back(m_project.LogText);
            if (onLog)
                onLog(m_project.LogText);
        });
        m_project.OnPublishProgress.bind(
            [this](QObject *) { m_progress.push_back(m_project.Ftp.Progress); });
        startServer({});
        m_client.setTimeoutMs(10000);
    }

    void startServer(const FtpTestServer::Options &options)
    {
        m_server.reset();
        m_server = std::make_unique<FtpTestServer>(m_home.path(), options);
        m_project.Ftp.Host = m_server->hostAndPort();
        m_project.Ftp.User = options.user;
        m_project.Ftp.Pass = options.password;
        m_project.Ftp.Folder = QStringLiteral("/www/site");
    }

    // Adds a file below the project folder (or at an absolute path) to the list.
    QString addFile(const QString &name, const QByteArray &bytes, bool publish = true)
    {
        const QString path = name.startsWith(u'/') ? name : m_site + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteFileBytes(path, bytes);
        m_project.Files.AddNew();
        m_project.Files.Last()->Name = path;
        m_project.Files.Last()->Publish = publish;
        return path;
    }

    QString home(const QString &relative = {}) const { return m_home.filePath(relative); }

    std::vector<QString> connectionLines() const
    {
        return {"Publishing",      "FTP Publishing",           "Connecting", "Done",
                "Changing folder", "Change dir to ftp folder", "Done"};
    }

    QTemporaryDir m_home;
    QTemporaryDir m_local;
    QString m_site;
    Project m_project;
    std::unique_ptr<FtpTestServer> m_server;
    FtpClient m_client;
    std::vector<QString> m_log;
    std::vector<int> m_progress;
    std::function<void(const QString &)> onLog;
};

// Readable failure output: gtest prints std::string, not QString.
std::vector<std::string> str(const std::vector<QString> &lines)
{
    std::vector<std::string> out;
    for (const QString &line : lines)
        out.push_back(line.toStdString());
    return out;
}
std::vector<std::string> str(const QStringList &lines)
{
    return str(std::vector<QString>(lines.begin(), lines.end()));
}
std::string str(const QString &text)
{
    return text.toStdString();
}

std::vector<QString> operator+(std::vector<QString> a, const std::vector<QString> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST_F(PublishTest, MirrorsTheProjectSkipsLockedMarkedAndOutsideFiles)
{
    QByteArray binary;
    for (int i = 0; i < 256; ++i)
        binary.append(static_cast<char>(255 - i));
    binary += "\r\n\x00\r";
    const QString index = addFile("index.php", "<?php echo 'home'; ?>\r\n");
    const QString page = addFile("sub/page.php", "<?php // page\n");
    const QString locked = addFile("locked.php", "<?php // fine, but locked\n", false);
    const QString host = addFile("config.php", "<?php // THIS IS HOST SPECIFIC\n");
    const QString dont = addFile("dev.php", "<?php //DONT PUBLISH\n");
    const QString outside = addFile(m_local.filePath("other/x.php"), "<?php\n");
    const QString logo = addFile("img/logo.bin", binary);
    const QString deep = addFile("deep/er/new.txt", "two new folders");

    m_project.PublishFiles(m_client, -1);

    const std::vector<QString> expected = std::vector<QString>{
        "Publishing",
        "FTP Publishing",
        "Connecting",
        "Done",
        "Changing folder",
        "Change dir to ftp folder",
        "Create ftp folder path",
        "Change dir to ftp folder",
        "Done",
        "File:" + index,
        "12% 1 file of 8 Putting " + index + " -> index.php",
        "Done.",
        "File:" + page,
        "25% 2 file of 8 Putting " + page + " -> sub/page.php",
        "Trying to create path folders",
        "back to root",
        "Done",
        "25% 2 file of 8 Putting " + page + " -> sub/page.php",
        "Done.",
        "File:" + locked,
        "Host specific, no updating, skipped.",
        "File:" + host,
        "Host specific, no updating, skipped.",
        "File:" + dont,
        "Host specific, no updating, skipped.",
        "File:" + outside,
        "File isn't in project folder, don't know where to upload, skipping...",
        "File:" + logo,
        "87% 7 file of 8 Putting " + logo + " -> img/logo.bin",
        "Trying to create path folders",
        "back to root",
        "Done",
        "87% 7 file of 8 Putting " + logo + " -> img/logo.bin",
        "Done.",
        "File:" + deep,
        "100% 8 file of 8 Putting " + deep + " -> deep/er/new.txt",
        "Trying to create path folders",
        "back to root",
        "Done",
        "100% 8 file of 8 Putting " + deep + " -> deep/er/new.txt",
        "Done.",
        "Disconnecting.",
        "Done. Published to: " + m_server->hostAndPort() + "/www/site"};
    EXPECT_EQ(str(m_log), str(expected));
    EXPECT_EQ(m_progress, (std::vector<int>{0, 0, 0, 12, 12, 75, 75, 87, 87}));
    EXPECT_EQ(m_project.LogText, expected.back());

    const QMap<QString, QByteArray> tree = treeOf(home());
    EXPECT_EQ(tree, promisedByLog(m_log, QStringLiteral("www/site/")));
    EXPECT_EQ(tree.keys(), (QStringList{"www/site/deep/er/new.txt", "www/site/img/logo.bin",
                                        "www/site/index.php", "www/site/sub/page.php"}));
    EXPECT_EQ(tree.value("www/site/img/logo.bin"), binary);
    EXPECT_FALSE(m_client.isConnected());

    // A second run replaces what is there and needs no folder any more.
    WriteFileBytes(index, "new");
    m_log.clear();
    m_project.PublishFiles(m_client, -1);
    EXPECT_EQ(
        std::count(m_log.begin(), m_log.end(), QStringLiteral("Trying to create path folders")), 0);
    EXPECT_EQ(ReadFileBytes(home("www/site/index.php")), "new");
}

TEST_F(PublishTest, ProgressRunsOneFileAheadInTheTextAndCountsAllFilesForOne)
{
    for (const char *name : {"a.php", "b.php", "c.php", "d.php"})
        addFile(QString::fromLatin1(name), name);
    ASSERT_TRUE(QDir(home()).mkpath("www/site"));

    m_project.PublishFiles(m_client, -1);
    EXPECT_EQ(m_progress, (std::vector<int>{0, 0, 0, 25, 50, 75}));
    QStringList texts;
    for (const QString &line : m_log) {
        if (line.contains(" Putting "))
            texts << line.section(u' ', 0, 4);
    }
    EXPECT_EQ(texts, (QStringList{"25% 1 file of 4", "50% 2 file of 4", "75% 3 file of 4",
                                  "100% 4 file of 4"}));

    // Publishing one file: the third of four.
    QDir(home("www/site")).removeRecursively();
    QDir(home()).mkpath("www/site");
    m_log.clear();
    m_progress.clear();
    m_project.PublishFiles(m_client, 2);
    const std::vector<QString> expected =
        connectionLines() +
        std::vector<QString>{"File:" + m_site + "c.php",
                             "75% 3 file of 4 Putting " + m_site + "c.php -> c.php", "Done.",
                             "Disconnecting.",
                             "Done. Published to: " + m_server->hostAndPort() + "/www/site"};
    EXPECT_EQ(str(m_log), str(expected));
    EXPECT_EQ(m_progress, (std::vector<int>{0, 0, 50}));
    EXPECT_EQ(str(treeOf(home()).keys()), str(QStringList{"www/site/c.php"}));
}

TEST_F(PublishTest, EmptyProjectConnectsAndReports)
{
    m_project.Ftp.Folder = "/www";
    m_project.PublishFiles(m_client, -1);
    EXPECT_EQ(str(m_log),
              str(std::vector<QString>{"Publishing", "FTP Publishing", "Connecting", "Done",
                                       "Changing folder", "Change dir to ftp folder",
                                       "Create ftp folder path", "Change dir to ftp folder", "Done",
                                       "Disconnecting.",
                                       "Done. Published to: " + m_server->hostAndPort() + "/www"}));
    EXPECT_TRUE(QDir(home("www")).exists());
    EXPECT_TRUE(treeOf(home()).isEmpty());
}

TEST_F(PublishTest, RelativeFtpFolderResolvesFromTheRootEveryTime)
{
    m_project.Ftp.Folder = "www/site";
    addFile("a/b/c.php", "nested");
    addFile("top.php", "top");
    m_project.PublishFiles(m_client, -1);
    EXPECT_EQ(str(treeOf(home()).keys()),
              str(QStringList{"www/site/a/b/c.php", "www/site/top.php"}));
    EXPECT_EQ(str(m_log.back()),
              str("Done. Published to: " + m_server->hostAndPort() + "www/site"));
}

TEST_F(PublishTest, EmptyFtpFolderPublishesIntoTheRoot)
{
    m_project.Ftp.Folder.clear();
    addFile("sub/x.php", "x");
    m_project.PublishFiles(m_client, -1);
    EXPECT_EQ(str(treeOf(home()).keys()), str(QStringList{"sub/x.php"}));
}

TEST_F(PublishTest, UnsavedProjectStoresFullPathsBelowTheFtpFolder)
{
    m_project.FileName.clear();
    const QString file = addFile(m_local.filePath("loose/x.php"), "loose");
    m_project.PublishFiles(m_client, -1);
    const QString remote = file.mid(1); // the path without its leading '/'
    EXPECT_TRUE(std::find(m_log.begin(), m_log.end(),
                          "100% 1 file of 1 Putting " + file + " -> " + remote) != m_log.end());
    EXPECT_EQ(str(treeOf(home()).keys()), str(QStringList{"www/site/" + remote}));
}

TEST_F(PublishTest, ProjectFolderIsComparedWithoutLetterCase)
{
    // The file list may name the folder in another case than the project file.
    m_project.FileName = m_local.filePath("SITE/site.wdx");
    addFile("page.php", "p"); // below .../site/
    m_project.PublishFiles(m_client, -1);
    EXPECT_EQ(str(treeOf(home()).keys()), str(QStringList{"www/site/page.php"}));
}

TEST_F(PublishTest, WrongPasswordEndsTheRunKeepsTheLogAndTheNextRunConnects)
{
    addFile("index.php", "i");
    m_project.Ftp.Pass = "wrong";
    const QString message = errorOf([&] { m_project.PublishFiles(m_client, -1); });
    EXPECT_TRUE(message.contains("530")) << message.toStdString();
    EXPECT_EQ(str(m_log), str(std::vector<QString>{"Publishing", "FTP Publishing", "Connecting"}));
    EXPECT_FALSE(m_client.isConnected());

    m_project.Ftp.Pass = m_server->options().password;
    m_project.PublishFiles(m_client, -1);
    EXPECT_EQ(str(treeOf(home()).keys()), str(QStringList{"www/site/index.php"}));
}

TEST_F(PublishTest, ServerStoppingMidRunEndsTheRunWithAnError)
{
    addFile("a.php", "a");
    const QString second = addFile("b.php", "b");
    addFile("c.php", "c");
    onLog = [&](const QString &line) {
        if (line == "File:" + second)
            m_server->stop();
    };
    const QString message = errorOf([&] { m_project.PublishFiles(m_client, -1); });
    EXPECT_TRUE(message.contains("closed the connection")) << message.toStdString();
    EXPECT_EQ(str(m_log.back()), str("66% 2 file of 3 Putting " + second + " -> b.php"));
    EXPECT_FALSE(m_client.isConnected());

    onLog = nullptr;
    startServer({});
    m_project.PublishFiles(m_client, -1);
    EXPECT_EQ(str(treeOf(home()).keys()),
              str(QStringList{"www/site/a.php", "www/site/b.php", "www/site/c.php"}));
}

TEST_F(PublishTest, RefusedFolderCreationLeavesTheFileOutAndTheNextFileInPlace)
{
    FtpTestServer::Options noMkd;
    noMkd.permissions = "elrw";
    startServer(noMkd);
    ASSERT_TRUE(QDir(home()).mkpath("www/site/a"));
    const QString deep = addFile("a/b/deep.php", "deep");
    const QString top = addFile("top.php", "top");
    m_project.PublishFiles(m_client, -1);

    const std::vector<QString> expected =
        connectionLines() +
        std::vector<QString>{"File:" + deep,
                             "50% 1 file of 2 Putting " + deep + " -> a/b/deep.php",
                             "Trying to create path folders",
                             "!!!Error creating path: a/b",
                             "back to root",
                             "Done",
                             "Done.",
                             "File:" + top,
                             "100% 2 file of 2 Putting " + top + " -> top.php",
                             "Done.",
                             "Disconnecting.",
                             "Done. Published to: " + m_server->hostAndPort() + "/www/site"};
    EXPECT_EQ(str(m_log), str(expected));
    // The session had entered "a" before "b" was refused; top.php must not land there.
    EXPECT_EQ(str(treeOf(home()).keys()), str(QStringList{"www/site/top.php"}));
    EXPECT_EQ(treeOf(home()), promisedByLog(m_log, "www/site/"));
}

TEST_F(PublishTest, FtpFolderThatCannotBeCreatedEndsTheRunAndClosesTheSession)
{
    FtpTestServer::Options noMkd;
    noMkd.permissions = "elrw";
    startServer(noMkd);
    addFile("index.php", "i");
    const QString message = errorOf([&] { m_project.PublishFiles(m_client, -1); });
    EXPECT_EQ(message, "Cant change to just created folder");
    EXPECT_EQ(str(m_log.back()), str("Create ftp folder path"));
    EXPECT_FALSE(m_client.isConnected());

    ASSERT_TRUE(QDir(home()).mkpath("www/site"));
    m_project.PublishFiles(m_client, -1);
    EXPECT_EQ(str(treeOf(home()).keys()), str(QStringList{"www/site/index.php"}));
}

TEST_F(PublishTest, StoreRefusedInAnExistingFolderIsTriedABoundedNumberOfTimes)
{
    FtpTestServer::Options readOnly;
    readOnly.permissions = "elm";
    startServer(readOnly);
    ASSERT_TRUE(QDir(home()).mkpath("www/site"));
    const QString file = addFile("index.php", "i");
    addFile("other.php", "o");
    m_project.PublishFiles(m_client, -1);

    const QString putting = "50% 1 file of 2 Putting " + file + " -> index.php";
    EXPECT_EQ(std::count(m_log.begin(), m_log.end(), putting), PublishFolderCreations + 1);
    const auto failure = std::find_if(m_log.begin(), m_log.end(), [](const QString &line) {
        return line.startsWith("!!!Error putting file: STOR index.php: 550");
    });
    ASSERT_NE(failure, m_log.end());
    EXPECT_EQ(*(failure + 1), "Done.");
    EXPECT_EQ(str(m_log.back()),
              str("Done. Published to: " + m_server->hostAndPort() + "/www/site"));
    EXPECT_TRUE(treeOf(home()).isEmpty());
}

TEST_F(PublishTest, UnreadableFileEndsTheRunAndOutOfRangeIndexIsRefused)
{
    addFile("a.php", "a");
    const QString gone = addFile("gone.php", "g");
    QFile::remove(gone);
    const QString message = errorOf([&] { m_project.PublishFiles(m_client, -1); });
    EXPECT_TRUE(message.startsWith("Cannot read file " + gone)) << message.toStdString();
    EXPECT_EQ(str(m_log.back()), str("File:" + gone));
    EXPECT_FALSE(m_client.isConnected());

    m_log.clear();
    EXPECT_TRUE(errorOf([&] { m_project.PublishFiles(m_client, 2); }).contains("number 2"));
    EXPECT_TRUE(errorOf([&] { m_project.PublishFiles(m_client, -2); }).contains("number -2"));
    EXPECT_TRUE(m_log.empty());
}

TEST_F(PublishTest, HostSpecificTestReadsUnlockedFilesOnly)
{
    addFile("plain.php", "<?php echo 'host'; // specific\n");
    addFile(m_site + "missing-but-locked.php", "", false);
    QFile::remove(m_site + "missing-but-locked.php");
    // A marker that straddles the 1 MB read block is still found.
    QByteArray straddling(1024 * 1024 - 6, 'x');
    straddling += "Host Specific";
    addFile("big.php", straddling);
    addFile("tail.php", QByteArray(3 * 1024 * 1024, 'y') + "//Dont Publish");
    addFile("gone.php", "");
    QFile::remove(m_site + "gone.php");

    EXPECT_FALSE(m_project.IsHostSpecific(0));
    EXPECT_TRUE(m_project.IsHostSpecific(1)) << "locked files are not read";
    EXPECT_TRUE(m_project.IsHostSpecific(2));
    EXPECT_TRUE(m_project.IsHostSpecific(3));
    EXPECT_THROW(m_project.IsHostSpecific(4), AppError);
}

TEST(PublishMarker, FoundInAnyCaseAtEveryPositionAroundTheReadBlocks)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f.php");
    constexpr qsizetype block = 1024 * 1024;
    // Text full of the markers' letters, blanks and near misses; and binary
    // bytes with few blanks. The two take different search paths.
    QByteArray text;
    while (text.size() < block + 64)
        text += "the sphinx checks each specific host; / dont publish hosts pecific ";
    QByteArray binary(block + 64, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char &c : binary)
        c = static_cast<char>(generator.bounded(256));
    for (const QByteArray &filler : {text, binary}) {
        for (const QByteArray marker :
             {QByteArray("host specific"), QByteArray("HoSt SpEcIfIc"),
              QByteArray("//dont publish"), QByteArray("//DONT PUBLISH")}) {
            for (const qsizetype at :
                 {qsizetype(0), block - 16, block - 14, block - 13, block - 7, block - 1, block,
                  block + 1, filler.size() - 1, filler.size()}) {
                QByteArray bytes = filler;
                bytes.insert(at, marker);
                WriteFileBytes(path, bytes);
                EXPECT_TRUE(FileHasPublishMarker(path)) << marker.constData() << " at " << at;
            }
        }
        for (const QByteArray nearMiss :
             {QByteArray("host  specific"), QByteArray("host specifi"), QByteArray("/dont publish"),
              QByteArray("// dont publish")}) {
            QByteArray bytes = filler;
            bytes.insert(block - 5, nearMiss);
            WriteFileBytes(path, bytes);
            EXPECT_FALSE(FileHasPublishMarker(path)) << nearMiss.constData();
        }
    }
    WriteFileBytes(path, QByteArray());
    EXPECT_FALSE(FileHasPublishMarker(path));
    WriteFileBytes(path, "HOST SPECIFIC");
    EXPECT_TRUE(FileHasPublishMarker(path)) << "a file that is only the marker";
}

namespace
{

// A connection that records the commands it is given and refuses those a test
// names, for the limits that a real server cannot be made to reach.
class ScriptedConnection final : public FtpConnection
{
  public:
    void setUser(const QString &) override {}
    void setHost(const QString &) override {}
    void setPassword(const QString &) override {}
    void setWorkHandler(WorkHandler) override {}
    void connect() override
    {
        record("connect");
        m_connected = true;
    }
    void changeDir(const QString &path) override { record("CWD " + path); }
    void makeDir(const QString &name) override { record("MKD " + name); }
    void store(const QString &, const QString &remote) override { record("STOR " + remote); }
    void disconnect() override
    {
        record("QUIT");
        m_connected = false;
    }
    bool isConnected() const override { return m_connected; }

    QStringList commands;
    QStringList refused;
    std::function<void()> onCommand;

  private:
    void record(const QString &command)
    {
        commands << command;
        if (onCommand)
            onCommand();
        if (refused.contains(command))
            throw AppError(command + ": 550 refused");
    }

    bool m_connected = false;
};

} // namespace

TEST(CreateFtpPath, MakesAndEntersEachPartStartingAtTheRootForALeadingSeparator)
{
    ScriptedConnection connection;
    CreateFtpPath(connection, "/www//site/");
    EXPECT_EQ(str(connection.commands),
              str(QStringList{"CWD /", "MKD www", "CWD www", "MKD site", "CWD site"}));

    connection.commands.clear();
    CreateFtpPath(connection, "sub\\deeper");
    EXPECT_EQ(str(connection.commands),
              str(QStringList{"MKD sub", "CWD sub", "MKD deeper", "CWD deeper"}));

    connection.commands.clear();
    CreateFtpPath(connection, "");
    EXPECT_TRUE(connection.commands.isEmpty());
}

TEST(CreateFtpPath, RefusedMakeIsIgnoredRefusedChangeStops)
{
    ScriptedConnection connection;
    connection.connect();
    connection.commands.clear();
    connection.refused = QStringList{"MKD a", "CWD b"};
    EXPECT_EQ(errorOf([&] { CreateFtpPath(connection, "a/b/c"); }),
              "Cant change to just created folder");
    EXPECT_EQ(str(connection.commands), str(QStringList{"MKD a", "CWD a", "MKD b", "CWD b"}));
}

TEST(PublishLimits, FtpFolderThatStaysUnreachableEndsAfterTheRetryLimit)
{
    Project project;
    std::vector<QString> log;
    project.OnWorkspaceLog.bind([&](QObject *) { log.push_back(project.LogText); });
    project.Ftp.Folder = "/www";
    ScriptedConnection connection;
    connection.refused = QStringList{"CWD /www"};
    const QString message = errorOf([&] { project.PublishFiles(connection, -1); });
    EXPECT_TRUE(message.startsWith("Cannot change to the FTP folder \"/www\" after creating it"))
        << message.toStdString();
    EXPECT_EQ(std::count(log.begin(), log.end(), QStringLiteral("Create ftp folder path")),
              PublishFolderCreations);
    EXPECT_EQ(connection.commands.last(), "QUIT") << "the session is closed after an error";
    EXPECT_FALSE(connection.isConnected());
}

TEST(PublishLimits, ASecondRunOnTheSameConnectionIsRefusedWhileOneIsGoing)
{
    Project project;
    project.Ftp.Folder = "/www";
    ScriptedConnection connection;
    QString nested;
    connection.onCommand = [&] {
        if (connection.commands.size() == 2 && nested.isEmpty())
            nested = errorOf([&] { project.PublishFiles(connection, -1); });
    };
    project.PublishFiles(connection, -1);
    EXPECT_EQ(nested, "Publishing is already running; wait until it ends");
    EXPECT_EQ(str(connection.commands), str(QStringList{"connect", "CWD /", "CWD /www", "QUIT"}));
    project.PublishFiles(connection, -1); // the guard is released at the end
}
