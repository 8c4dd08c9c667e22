// The publish engine: against a real FTP server for what reaches the host, and
// against a scripted connection for the limits a real server cannot provoke.

#include "foundation/errors.h"
#include "foundation/ftp_connection.h"
#include "net/ftp_client.h"
#include "project/project.h"
#include "project/publish.h"
#include "project/publish_engine.h"
#include "project/publish_record.h"
#include "support/ftp_server.h"
#include "support/scripted_connection.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <mutex>

namespace {

QString errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const AppError &error) {
        return error.message();
    }
    return QStringLiteral("<no error>");
}

// What a run that left files out told its caller; `thrown` is false when the
// run ended otherwise.
struct Incomplete {
    bool thrown = false;
    int failed = 0;
    QStringList replies;
    QString message;
};

Incomplete incompleteOf(const std::function<void()> &action)
{
    Incomplete result;
    try {
        action();
    } catch (const PublishIncomplete &error) {
        result = {true, error.failedFiles(), error.replies(), error.message()};
    }
    return result;
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

class PublishTest : public ::testing::Test {
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
        m_project.AddFiles({path});
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

    PublishFiles(m_project, m_client, -1);

    const std::vector<QString> expected = std::vector<QString>{
        "Publishing", "FTP Publishing", "Connecting", "Done", "Changing folder",
        "Change dir to ftp folder", "Create ftp folder path", "Change dir to ftp folder", "Done",
        "File:" + index, "12% 1 file of 8 Putting " + index + " -> index.php", "Done.",
        // The run made the FTP folder: a folder inside it is made at once...
        "File:" + page, "25% 2 file of 8 Putting " + page + " -> sub/page.php", "Done.",
        "File:" + locked, "Host specific, no updating, skipped.", "File:" + host,
        "Host specific, no updating, skipped.", "File:" + dont,
        "Host specific, no updating, skipped.", "File:" + outside,
        "File isn't in project folder, don't know where to upload, skipping...", "File:" + logo,
        "87% 7 file of 8 Putting " + logo + " -> img/logo.bin", "Done.",
        // ...but one whose parent the run has not made is probed first.
        "File:" + deep, "100% 8 file of 8 Putting " + deep + " -> deep/er/new.txt",
        "Trying to create path folders", "back to root", "Done",
        "100% 8 file of 8 Putting " + deep + " -> deep/er/new.txt", "Done.", "Disconnecting.",
        "Done. Published to: " + m_server->hostAndPort() + "/www/site"};
    EXPECT_EQ(str(m_log), str(expected));
    EXPECT_EQ(m_progress, (std::vector<int>{0, 0, 0, 12, 75, 87, 87}));
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
    PublishFiles(m_project, m_client, -1);
    EXPECT_EQ(
        std::count(m_log.begin(), m_log.end(), QStringLiteral("Trying to create path folders")), 0);
    EXPECT_EQ(ReadFileBytes(home("www/site/index.php")), "new");
}

TEST_F(PublishTest, ProgressRunsOneFileAheadInTheTextAndCountsAllFilesForOne)
{
    for (const char *name : {"a.php", "b.php", "c.php", "d.php"})
        addFile(QString::fromLatin1(name), name);
    ASSERT_TRUE(QDir(home()).mkpath("www/site"));

    PublishFiles(m_project, m_client, -1);
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
    PublishFiles(m_project, m_client, 2);
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
    PublishFiles(m_project, m_client, -1);
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
    PublishFiles(m_project, m_client, -1);
    EXPECT_EQ(str(treeOf(home()).keys()),
              str(QStringList{"www/site/a/b/c.php", "www/site/top.php"}));
    EXPECT_EQ(str(m_log.back()),
              str("Done. Published to: " + m_server->hostAndPort() + "www/site"));
}

TEST_F(PublishTest, EmptyFtpFolderPublishesIntoTheRoot)
{
    m_project.Ftp.Folder.clear();
    addFile("sub/x.php", "x");
    PublishFiles(m_project, m_client, -1);
    EXPECT_EQ(str(treeOf(home()).keys()), str(QStringList{"sub/x.php"}));
}

TEST_F(PublishTest, UnsavedProjectStoresFullPathsBelowTheFtpFolder)
{
    m_project.FileName.clear();
    const QString file = addFile(m_local.filePath("loose/x.php"), "loose");
    PublishFiles(m_project, m_client, -1);
    const QString remote = file.mid(1); // the path without its leading '/'
    EXPECT_TRUE(std::find(m_log.begin(), m_log.end(),
                          "100% 1 file of 1 Putting " + file + " -> " + remote) != m_log.end());
    EXPECT_EQ(str(treeOf(home()).keys()), str(QStringList{"www/site/" + remote}));
}

TEST_F(PublishTest, ProjectFolderIsComparedWithLetterCase)
{
    // SITE/ and site/ are two folders here: a file of the other one has no
    // place below the project's remote folder.
    m_project.FileName = m_local.filePath("SITE/site.wdx");
    addFile("page.php", "p"); // below .../site/
    PublishFiles(m_project, m_client, -1);
    EXPECT_TRUE(
        std::find(m_log.begin(), m_log.end(),
                  "File isn't in project folder, don't know where to upload, skipping...") !=
        m_log.end());
    EXPECT_TRUE(treeOf(home()).isEmpty());
}

TEST_F(PublishTest, WrongPasswordEndsTheRunKeepsTheLogAndTheNextRunConnects)
{
    addFile("index.php", "i");
    m_project.Ftp.Pass = "wrong";
    const QString message = errorOf([&] { PublishFiles(m_project, m_client, -1); });
    EXPECT_TRUE(message.contains("530")) << message.toStdString();
    EXPECT_EQ(str(m_log), str(std::vector<QString>{"Publishing", "FTP Publishing", "Connecting"}));
    EXPECT_FALSE(m_client.isConnected());

    m_project.Ftp.Pass = m_server->options().password;
    PublishFiles(m_project, m_client, -1);
    EXPECT_EQ(str(treeOf(home()).keys()), str(QStringList{"www/site/index.php"}));
}

// What a lost session says about the file it was sending depends on where
// that file was going: a temporary name beside the host's copy, or its own
// name in a folder the run made.
struct StopCase {
    const char *name;
    bool folderThere;
    const char *lastLine;
};

class PublishStopTest : public PublishTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(PublishStopTest, ServerStoppingMidRunEndsTheRunWithAnError)
{
    if (GetParam().folderThere)
        ASSERT_TRUE(QDir(home()).mkpath("www/site"));
    addFile("a.php", "a");
    const QString second = addFile("b.php", "b");
    addFile("c.php", "c");
    onLog = [&](const QString &line) {
        if (line == "File:" + second)
            m_server->stop();
    };
    const QString message = errorOf([&] { PublishFiles(m_project, m_client, -1); });
    EXPECT_TRUE(message.contains("closed the connection")) << message.toStdString();
    ASSERT_GE(m_log.size(), 2u);
    EXPECT_EQ(str(m_log[m_log.size() - 2]), str("66% 2 file of 3 Putting " + second + " -> b.php"));
    EXPECT_EQ(str(m_log.back()), std::string(GetParam().lastLine));
    EXPECT_FALSE(m_client.isConnected());

    onLog = nullptr;
    startServer({});
    PublishFiles(m_project, m_client, -1);
    EXPECT_EQ(str(treeOf(home()).keys()),
              str(QStringList{"www/site/a.php", "www/site/b.php", "www/site/c.php"}));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PublishStopTest,
    ::testing::Values(StopCase{"There", true,
                               "The connection is gone: the temporary upload .qs-upload-b.php "
                               "may stay on the host"},
                      StopCase{"MadeByTheRun", false,
                               "The connection is gone: part of b.php may stay on the host until "
                               "the next publish sends it again"}),
    [](const ::testing::TestParamInfo<StopCase> &info) { return std::string(info.param.name); });

TEST_F(PublishTest, RefusedFolderCreationLeavesTheFileOutAndTheNextFileInPlace)
{
    FtpTestServer::Options noMkd;
    noMkd.permissions = "elrwfd";
    startServer(noMkd);
    ASSERT_TRUE(QDir(home()).mkpath("www/site/a"));
    const QString deep = addFile("a/b/deep.php", "deep");
    const QString top = addFile("top.php", "top");
    const Incomplete result = incompleteOf([&] { PublishFiles(m_project, m_client, -1); });

    const QString target = m_server->hostAndPort() + "/www/site";
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
                             "Published with 1 error to: " + target};
    EXPECT_EQ(str(m_log), str(expected));
    ASSERT_TRUE(result.thrown);
    EXPECT_EQ(result.failed, 1);
    ASSERT_EQ(result.replies.size(), 1);
    EXPECT_TRUE(result.replies[0].startsWith("a/b/deep.php: CWD b: 550")) << str(result.replies[0]);
    EXPECT_TRUE(result.message.startsWith("1 file was not published to " + target))
        << str(result.message);
    // The session had entered "a" before "b" was refused; top.php must not land there.
    EXPECT_EQ(str(treeOf(home()).keys()), str(QStringList{"www/site/top.php"}));
    EXPECT_EQ(treeOf(home()), promisedByLog(m_log, "www/site/"));
}

TEST_F(PublishTest, FtpFolderThatCannotBeCreatedEndsTheRunAndClosesTheSession)
{
    FtpTestServer::Options noMkd;
    noMkd.permissions = "elrwfd";
    startServer(noMkd);
    addFile("index.php", "i");
    const QString message = errorOf([&] { PublishFiles(m_project, m_client, -1); });
    EXPECT_EQ(message, "Cant change to just created folder");
    EXPECT_EQ(str(m_log.back()), str("Create ftp folder path"));
    EXPECT_FALSE(m_client.isConnected());

    ASSERT_TRUE(QDir(home()).mkpath("www/site"));
    PublishFiles(m_project, m_client, -1);
    EXPECT_EQ(str(treeOf(home()).keys()), str(QStringList{"www/site/index.php"}));
}

// Round trips are what a publish of small files waits for. Into a folder
// that exists, each file costs a store and a rename, which also asks for
// the next file's passive port. A folder the run makes held nothing to
// protect: its files are stored under their own names, and making it also
// asks for the port. Nothing per file is asked twice or asked at all (no
// SIZE, MDTM, TYPE, CWD or PWD).
struct CommandsCase {
    const char *name;
    bool foldersThere;
    QStringList verbs;
};

class PublishCommandsTest : public PublishTest,
                            public ::testing::WithParamInterface<CommandsCase> {};

TEST_P(PublishCommandsTest, EachFileCostsWhatItsFolderNeeds)
{
    const QString commandLog = m_local.filePath(QStringLiteral("commands.log"));
    FtpTestServer::Options logged;
    logged.commandLog = commandLog;
    startServer(logged);
    if (GetParam().foldersThere)
        ASSERT_TRUE(QDir(home()).mkpath("www/site/sub"));
    addFile("index.php", "<?php // index\n");
    addFile("sub/a.php", "<?php // a\n");
    QByteArray big(200 * 1024, 'b'); // streamed after the reply
    big[big.size() / 3] = 'm';
    addFile("sub/big.bin", big);
    // Too big to keep in memory from its read: read again as it is sent.
    QByteArray huge(4 * 1024 * 1024 + 1, 'h');
    huge[huge.size() / 2] = 'm';
    addFile("huge.bin", huge);
    addFile("b.css", "b {}");

    PublishFiles(m_project, m_client, -1);

    QFile file(commandLog);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList verbs;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (!line.isEmpty())
            verbs << QString::fromLatin1(line.split(' ').first());
    EXPECT_EQ(str(verbs), str(GetParam().verbs));
    const auto tree = treeOf(home("www/site"));
    EXPECT_EQ(str(tree.keys()),
              str(QStringList{"b.css", "huge.bin", "index.php", "sub/a.php", "sub/big.bin"}));
    EXPECT_EQ(tree.value("huge.bin"), huge);
    EXPECT_EQ(tree.value("sub/big.bin"), big);
}

QStringList repeated(const QStringList &verbs, int times)
{
    QStringList all;
    for (int k = 0; k < times; ++k)
        all << verbs;
    return all;
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PublishCommandsTest,
    ::testing::Values(CommandsCase{"There", true,
                                   QStringList{"USER", "PASS", "TYPE", "CWD", "CWD", "EPSV"} +
                                       repeated({"STOR", "RNFR", "RNTO", "EPSV"}, 5) +
                                       QStringList{"QUIT"}},
                      CommandsCase{"MadeByTheRun", false,
                                   // The publish folder is made a step at a time from the top.
                                   QStringList{"USER", "PASS", "TYPE", "CWD", "CWD", "CWD", "MKD",
                                               "EPSV", "CWD", "MKD", "EPSV", "CWD", "CWD", "CWD",
                                               "STOR", "MKD", "EPSV", "STOR"} +
                                       repeated({"EPSV", "STOR"}, 3) + QStringList{"QUIT"}}),
    [](const ::testing::TestParamInfo<CommandsCase> &info) {
        return std::string(info.param.name);
    });

// Faults of real hosts. After each: what the host holds (never a truncated
// file in place of a good one), what the log and the result say, and that
// the next run, to a server without the fault, puts everything in place.
class PublishFaultTest : public PublishTest {
protected:
    void SetUp() override
    {
        PublishTest::SetUp();
        ASSERT_TRUE(QDir(home()).mkpath("www/site/sub"));
        // The host's good copies from an earlier run.
        WriteFileBytes(home("www/site/index.php"), "good index");
        WriteFileBytes(home("www/site/big.bin"), "good big");
        addFile("index.php", "<?php // new index\n");
        addFile("sub/page.php", "<?php // page\n");
        m_big = addFile("big.bin", bigBytes());
    }

    static QByteArray bigBytes()
    {
        QByteArray bytes(1024 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(99);
        for (char &c : bytes)
            c = static_cast<char>(generator.bounded(256));
        return bytes;
    }

    std::vector<QString> failures() const
    {
        std::vector<QString> lines;
        std::copy_if(m_log.begin(), m_log.end(), std::back_inserter(lines),
                     [](const QString &line) { return line.startsWith("!!!"); });
        return lines;
    }

    // The host untouched by the failed run: the good copies, nothing else.
    void expectGoodCopiesOnly()
    {
        const QMap<QString, QByteArray> tree = treeOf(home());
        EXPECT_EQ(str(tree.keys()), str(QStringList{"www/site/big.bin", "www/site/index.php"}));
        EXPECT_EQ(tree.value("www/site/index.php"), "good index");
        EXPECT_EQ(tree.value("www/site/big.bin"), "good big");
    }

    // A run against a server without faults publishes every file.
    void expectNextRunWorks()
    {
        startServer({});
        m_log.clear();
        PublishFiles(m_project, m_client, -1);
        EXPECT_EQ(str(m_log.back()),
                  str("Done. Published to: " + m_server->hostAndPort() + "/www/site"));
        const QMap<QString, QByteArray> expected{{"www/site/index.php", "<?php // new index\n"},
                                                 {"www/site/sub/page.php", "<?php // page\n"},
                                                 {"www/site/big.bin", bigBytes()}};
        EXPECT_TRUE(treeOf(home()) == expected) << treeOf(home()).keys().join(u' ').toStdString();
    }

    QString m_big;
};

TEST_F(PublishFaultTest, ReadOnlyTargetFolderLeavesEveryFileOutAndSaysSo)
{
    FtpTestServer::Options options;
    options.readOnly = QStringList{"www/site"};
    startServer(options);
    const Incomplete result = incompleteOf([&] { PublishFiles(m_project, m_client, -1); });

    const QString target = m_server->hostAndPort() + "/www/site";
    ASSERT_TRUE(result.thrown);
    EXPECT_EQ(result.failed, 3);
    EXPECT_EQ(str(m_log.back()), str("Published with 3 errors to: " + target));
    EXPECT_EQ(failures().size(), 3u);
    EXPECT_TRUE(failures()[0].startsWith("!!!Error putting file: STOR .qs-upload-index.php: 550"))
        << str(failures()[0]);
    // Each file is tried a bounded number of times.
    const QString putting = "33% 1 file of 3 Putting " + m_site + "index.php -> index.php";
    EXPECT_EQ(std::count(m_log.begin(), m_log.end(), putting), PublishFolderCreations + 1);
    EXPECT_EQ(result.replies.size(), 3);
    EXPECT_TRUE(result.message.startsWith("3 files were not published to " + target))
        << str(result.message);
    EXPECT_TRUE(result.message.contains("index.php: STOR .qs-upload-index.php: 550"))
        << str(result.message);
    EXPECT_FALSE(m_client.isConnected());
    expectGoodCopiesOnly();
    expectNextRunWorks();
}

TEST_F(PublishFaultTest, ServerRefusingEveryStoreLeavesTheHostsCopiesAlone)
{
    FtpTestServer::Options options;
    options.fault = "stor553";
    startServer(options);
    const Incomplete result = incompleteOf([&] { PublishFiles(m_project, m_client, -1); });
    ASSERT_TRUE(result.thrown);
    EXPECT_EQ(result.failed, 3);
    EXPECT_EQ(result.replies.size(), PublishRepliesQuoted);
    EXPECT_TRUE(result.replies[0].endsWith("553 Could not create file.")) << str(result.replies[0]);
    expectGoodCopiesOnly();
    expectNextRunWorks();
}

TEST_F(PublishFaultTest, DiskFullPartWayKeepsTheGoodCopyAndRemovesTheHalfFile)
{
    FtpTestServer::Options options;
    options.fault = "diskfull";
    options.faultAfterBytes = 300000; // the two pages fit, the big file does not
    startServer(options);
    const Incomplete result = incompleteOf([&] { PublishFiles(m_project, m_client, -1); });
    ASSERT_TRUE(result.thrown);
    EXPECT_EQ(result.failed, 1);
    ASSERT_EQ(failures().size(), 1u);
    EXPECT_TRUE(failures()[0].startsWith("!!!Error putting file: STOR .qs-upload-big.bin: 452"))
        << str(failures()[0]);
    const QMap<QString, QByteArray> tree = treeOf(home());
    EXPECT_EQ(str(tree.keys()),
              str(QStringList{"www/site/big.bin", "www/site/index.php", "www/site/sub/page.php"}));
    EXPECT_EQ(tree.value("www/site/big.bin"), "good big");
    EXPECT_EQ(tree.value("www/site/index.php"), "<?php // new index\n");
    EXPECT_NE(
        std::find(m_log.begin(), m_log.end(), "Removed the temporary upload .qs-upload-big.bin"),
        m_log.end());
    expectNextRunWorks();
}

TEST_F(PublishFaultTest, ConnectionDroppedMidFileEndsTheRunAndKeepsTheGoodCopy)
{
    FtpTestServer::Options options;
    options.fault = "drop";
    options.faultAfterBytes = 300000;
    startServer(options);
    const QString message = errorOf([&] { PublishFiles(m_project, m_client, -1); });
    EXPECT_TRUE(message.startsWith("STOR .qs-upload-big.bin: ")) << str(message);
    ASSERT_GE(m_log.size(), 2u);
    EXPECT_TRUE(m_log[m_log.size() - 2].endsWith(" Putting " + m_big + " -> big.bin"))
        << str(m_log[m_log.size() - 2]);
    EXPECT_FALSE(m_client.isConnected());
    // The half file stays under its temporary name; the good copy is intact.
    const QMap<QString, QByteArray> tree = treeOf(home());
    EXPECT_EQ(tree.value("www/site/big.bin"), "good big");
    EXPECT_LT(tree.value("www/site/.qs-upload-big.bin").size(), bigBytes().size());
    // The next run sends the file under the same temporary name, so nothing is left over.
    expectNextRunWorks();
}

TEST_F(PublishFaultTest, UploadLeftByALostConnectionGoesAtTheNextRunOfAnyPublish)
{
    FtpTestServer::Options options;
    options.fault = "drop";
    options.faultAfterBytes = 300000;
    startServer(options);
    const QString recordFile = m_local.filePath("published/record");
    PublishRecord record("key", recordFile);
    PublishOptions publishOptions;
    publishOptions.record = &record;
    errorOf([&] { PublishFiles(m_project, m_client, -1, publishOptions); });
    EXPECT_EQ(str(m_log.back()), str("The connection is gone: the temporary upload "
                                     ".qs-upload-big.bin stays on the host until the next "
                                     "publish removes it"));
    ASSERT_TRUE(treeOf(home()).contains("www/site/.qs-upload-big.bin"));

    // As after a restart: the record read back, and a run that sends another file.
    startServer({});
    PublishRecord reread("key", recordFile);
    ASSERT_TRUE(reread.load());
    publishOptions.record = &reread;
    m_log.clear();
    PublishFiles(m_project, m_client, 0, publishOptions);
    EXPECT_NE(std::find(m_log.begin(), m_log.end(),
                        "Removed the temporary upload .qs-upload-big.bin left by an earlier run"),
              m_log.end());
    const QMap<QString, QByteArray> expected{{"www/site/index.php", "<?php // new index\n"},
                                             {"www/site/sub/page.php", "<?php // page\n"},
                                             {"www/site/big.bin", "good big"}};
    EXPECT_TRUE(treeOf(home()) == expected) << treeOf(home()).keys().join(u' ').toStdString();
    EXPECT_TRUE(reread.leftovers().isEmpty());
}

// A file broken off in a folder the run made is under its own name: while
// the session lasts it is removed, and the next run sends it whole.
TEST_F(PublishFaultTest, DiskFullInANewFolderRemovesTheHalfFile)
{
    FtpTestServer::Options options;
    options.fault = "diskfull";
    options.faultAfterBytes = 300000;
    startServer(options);
    m_project.Files.Last()->Publish = false; // big.bin, beside its good copy
    addFile("fresh/big.bin", bigBytes());
    const Incomplete result = incompleteOf([&] { PublishFiles(m_project, m_client, -1); });
    ASSERT_EQ(failures().size(), 1u);
    EXPECT_TRUE(failures()[0].startsWith("!!!Error putting file: STOR fresh/big.bin: 452"))
        << str(failures()[0]);
    EXPECT_NE(std::find(m_log.begin(), m_log.end(), "Removed the partial upload fresh/big.bin"),
              m_log.end());
    EXPECT_FALSE(treeOf(home()).contains("www/site/fresh/big.bin"));

    startServer({});
    PublishFiles(m_project, m_client, -1);
    EXPECT_EQ(treeOf(home()).value("www/site/fresh/big.bin"), bigBytes());
}

TEST_F(PublishFaultTest, SlowLinkIsNotCutWhileBytesMoveAndReportsAlongTheWay)
{
    FtpTestServer::Options options;
    options.throttleBytesPerSecond = 400 * 1024;
    startServer(options);
    m_client.setTimeoutMs(1000); // the big file needs about three times as long
    std::vector<qint64> work;
    m_client.setWorkHandler([&](qint64 bytes) { work.push_back(bytes); });
    QElapsedTimer timer;
    timer.start();
    PublishFiles(m_project, m_client, -1);
    EXPECT_GT(timer.elapsed(), m_client.timeoutMs());
    EXPECT_EQ(str(m_log.back()),
              str("Done. Published to: " + m_server->hostAndPort() + "/www/site"));
    EXPECT_EQ(treeOf(home()).value("www/site/big.bin"), bigBytes());
    // The counts of the big file (after one for each page) grow along the
    // way; the gauge moves within it.
    ASSERT_GT(work.size(), 5u);
    const std::vector<qint64> big(work.begin() + 2, work.end());
    EXPECT_EQ(big.back(), 1024 * 1024);
    EXPECT_TRUE(std::adjacent_find(big.begin(), big.end(), std::greater_equal<>()) == big.end());
    EXPECT_GT(m_progress.back(), 66);
}

TEST_F(PublishFaultTest, StalledDataConnectionFailsAfterTheTimeOut)
{
    FtpTestServer::Options options;
    options.fault = "stall";
    options.faultAfterBytes = 300000;
    startServer(options);
    m_client.setTimeoutMs(800);
    const QString message = errorOf([&] { PublishFiles(m_project, m_client, -1); });
    EXPECT_TRUE(message.startsWith("STOR .qs-upload-big.bin: no data moved for 0.8 s"))
        << str(message);
    EXPECT_FALSE(m_client.isConnected());
    // The session is gone with the half file under its temporary name; the
    // good copy is untouched and the next run replaces the half file.
    const QMap<QString, QByteArray> tree = treeOf(home());
    EXPECT_EQ(tree.value("www/site/big.bin"), "good big");
    EXPECT_LT(tree.value("www/site/.qs-upload-big.bin").size(), 1024 * 1024);
    expectNextRunWorks();
}

TEST_F(PublishFaultTest, GreetingThatNeverEndsFailsTheConnectionInsteadOfHanging)
{
    FtpTestServer::Options options;
    options.fault = "banner";
    startServer(options);
    m_client.setTimeoutMs(600);
    const QString message = errorOf([&] { PublishFiles(m_project, m_client, -1); });
    EXPECT_TRUE(message.contains("did not complete its reply within 0.6 s")) << str(message);
    EXPECT_EQ(str(m_log.back()), str("Connecting"));
    EXPECT_FALSE(m_client.isConnected());
    m_client.setTimeoutMs(10000);
    expectNextRunWorks();
}

TEST_F(PublishFaultTest, ServerRefusingRenamesGetsDirectStoresSaidOnce)
{
    FtpTestServer::Options options;
    options.fault = "norename";
    startServer(options);
    PublishFiles(m_project, m_client, -1);
    const auto said = std::count_if(m_log.begin(), m_log.end(), [](const QString &line) {
        return line.startsWith("The server does not rename files; storing them directly");
    });
    EXPECT_EQ(said, 1);
    EXPECT_TRUE(failures().empty());
    EXPECT_EQ(str(m_log.back()),
              str("Done. Published to: " + m_server->hostAndPort() + "/www/site"));
    // The temporary copy was deleted, the files replaced directly.
    EXPECT_EQ(treeOf(home()), promisedByLog(m_log, "www/site/"));
    EXPECT_EQ(treeOf(home()).size(), 3);
}

TEST_F(PublishFaultTest, ServerRefusingHiddenNamesGetsDirectStoresSaidOnce)
{
    FtpTestServer::Options options;
    options.fault = "nodotstore";
    startServer(options);
    PublishFiles(m_project, m_client, -1);
    const auto said = std::count_if(m_log.begin(), m_log.end(), [](const QString &line) {
        return line.startsWith("The server refuses the temporary name; storing files directly "
                               "from now on (STOR .qs-upload-index.php: 553");
    });
    EXPECT_EQ(said, 1);
    EXPECT_TRUE(failures().empty());
    EXPECT_EQ(str(m_log.back()),
              str("Done. Published to: " + m_server->hostAndPort() + "/www/site"));
    EXPECT_EQ(treeOf(home()), promisedByLog(m_log, "www/site/"));
    EXPECT_EQ(treeOf(home()).size(), 3);
}

TEST_F(PublishTest, ServerThatNeitherRenamesNorDeletesSaysWhatItLeftBehind)
{
    FtpTestServer::Options options;
    options.permissions = "elrwm"; // stores and makes folders only
    startServer(options);
    ASSERT_TRUE(QDir(home()).mkpath("www/site"));
    addFile("a.php", "a");
    addFile("b.php", "b");
    PublishFiles(m_project, m_client, -1);
    const auto note = std::find_if(m_log.begin(), m_log.end(), [](const QString &line) {
        return line.startsWith("The server does not rename files");
    });
    ASSERT_NE(note, m_log.end());
    EXPECT_TRUE(note->endsWith("; it would not delete .qs-upload-a.php either")) << str(*note);
    EXPECT_EQ(str(treeOf(home()).keys()),
              str(QStringList{"www/site/.qs-upload-a.php", "www/site/a.php", "www/site/b.php"}));
}

TEST_F(PublishTest, UnreadableFileEndsTheRunAndOutOfRangeIndexIsRefused)
{
    addFile("a.php", "a");
    const QString gone = addFile("gone.php", "g");
    QFile::remove(gone);
    const QString message = errorOf([&] { PublishFiles(m_project, m_client, -1); });
    EXPECT_TRUE(message.startsWith("Cannot read file " + gone)) << message.toStdString();
    EXPECT_EQ(str(m_log.back()), str("File:" + gone));
    EXPECT_FALSE(m_client.isConnected());

    m_log.clear();
    EXPECT_TRUE(errorOf([&] { PublishFiles(m_project, m_client, 2); }).contains("number 2"));
    EXPECT_TRUE(errorOf([&] { PublishFiles(m_project, m_client, -2); }).contains("number -2"));
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

    EXPECT_FALSE(IsHostSpecific(m_project, 0));
    EXPECT_TRUE(IsHostSpecific(m_project, 1)) << "locked files are not read";
    EXPECT_TRUE(IsHostSpecific(m_project, 2));
    EXPECT_TRUE(IsHostSpecific(m_project, 3));
    EXPECT_THROW(IsHostSpecific(m_project, 4), AppError);
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
        for (const QByteArray &marker :
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
        for (const QByteArray &nearMiss :
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
    const QString message = errorOf([&] { PublishFiles(project, connection, -1); });
    EXPECT_TRUE(message.startsWith("Cannot change to the FTP folder \"/www\" after creating it"))
        << message.toStdString();
    EXPECT_EQ(std::count(log.begin(), log.end(), QStringLiteral("Create ftp folder path")),
              PublishFolderCreations);
    EXPECT_EQ(connection.commands.last(), "QUIT") << "the session is closed after an error";
    EXPECT_FALSE(connection.isConnected());
}

// A full publish opens its other sessions while its files are read, yet only
// once the first is in (a host's key or certificate is asked about once), and
// they leave with it when the run ends before its files.
TEST(PublishLimits, OtherSessionsFollowTheFirstInAndOut)
{
    struct Case {
        const char *name;
        QString dropAt;       // on the first session
        QStringList refused;  // on the first session
        int fewestIn, mostIn; // sessions beside the first that logged in; a run
                              // ending early may overtake some before they do
        QString error;        // how the run ends; empty: it sends every file
    };
    const Case cases[] = {
        {"first login fails", "connect", {}, 0, 0, "connect: connection lost"},
        {"folder unreachable", "", {"CWD /www"}, 0, 3, "Cannot change to the FTP folder"},
        {"files sent", "", {}, 3, 3, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir work;
        Project project;
        project.FileName = work.filePath("site.wdx");
        project.Ftp.Folder = "/www";
        for (int i = 0; i < 6; ++i) {
            const QString path = work.filePath(QStringLiteral("f%1.php").arg(i));
            WriteFileBytes(path, "<?php\n");
            project.AddFiles({path});
        }
        std::mutex lock;
        QStringList order; // every session's log-ins and log-outs, as they happen
        const auto watch = [&](ScriptedConnection &connection, const QString &who) {
            connection.onCommand = [&order, &lock, who](const QString &command) {
                if (command == "connect" || command == "QUIT") {
                    const std::lock_guard guard(lock);
                    order << who + u' ' + command;
                }
            };
        };
        ScriptedConnection first;
        first.dropAt = c.dropAt;
        first.refused = c.refused;
        watch(first, "first");
        PublishEngine engine(PublishSource::of(project), {});
        engine.setExtraConnections(3, [&]() -> std::unique_ptr<FtpConnection> {
            auto other = std::make_unique<ScriptedConnection>();
            watch(*other, "other");
            return other;
        });
        const QString error = errorOf([&] { engine.publish(first, -1, {}); });
        EXPECT_TRUE(error.startsWith(c.error)) << error.toStdString();
        const qsizetype in = order.count("other connect");
        EXPECT_GE(in, c.fewestIn) << order.join(u',').toStdString();
        EXPECT_LE(in, c.mostIn) << order.join(u',').toStdString();
        EXPECT_EQ(order.count("other QUIT"), in) << order.join(u',').toStdString();
        if (in > 0) {
            EXPECT_LT(order.indexOf("first connect"), order.indexOf("other connect"))
                << order.join(u',').toStdString();
        }
        EXPECT_FALSE(first.isConnected());
    }
}

TEST(PublishLimits, ASecondRunOnTheSameConnectionIsRefusedWhileOneIsGoing)
{
    Project project;
    project.Ftp.Folder = "/www";
    ScriptedConnection connection;
    QString nested;
    connection.onCommand = [&](const QString &) {
        if (connection.commands.size() == 2 && nested.isEmpty())
            nested = errorOf([&] { PublishFiles(project, connection, -1); });
    };
    PublishFiles(project, connection, -1);
    EXPECT_EQ(nested, "Publishing is already running; wait until it ends");
    EXPECT_EQ(str(connection.commands), str(QStringList{"connect", "CWD /", "CWD /www", "QUIT"}));
    PublishFiles(project, connection, -1); // the guard is released at the end
}
