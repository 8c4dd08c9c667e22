// Publishing only what changed, exclusions and the dry run: against a real FTP
// server for what reaches the host, and against a scripted connection for the
// moments a real server cannot be caught in.

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

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

std::vector<std::string> str(const QStringList &lines)
{
    std::vector<std::string> out;
    for (const QString &line : lines)
        out.push_back(line.toStdString());
    return out;
}

// Every file below `root`, by '/' path relative to it.
QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

// The remote paths of the log's "Putting" lines, in order; the new line of a
// file tried again after its folders were made counts once.
QStringList putLines(const QStringList &log)
{
    static const QRegularExpression putting(
        QStringLiteral("^\\d+% \\d+ file of \\d+ Putting .* -> (.*)$"));
    QStringList remote;
    for (const QString &line : log) {
        const QRegularExpressionMatch match = putting.match(line);
        if (match.hasMatch() && (remote.isEmpty() || remote.back() != match.captured(1)))
            remote << match.captured(1);
    }
    return remote;
}

// What the log says happened to each file: the "File:" path with the word
// for the line that follows it.
QStringList fateInLog(const QStringList &log)
{
    QStringList fates;
    for (qsizetype i = 0; i + 1 < log.size(); ++i) {
        if (!log[i].startsWith(QStringLiteral("File:")))
            continue;
        const QString next = log[i + 1];
        const QString fate = next == "Host specific, no updating, skipped."    ? "host specific"
                             : next.startsWith("File isn't in project folder") ? "outside"
                             : next.startsWith("Excluded by ")                 ? "excluded"
                             : next.startsWith("Unchanged since")              ? "unchanged"
                             : next.startsWith("Not published before")         ? "new"
                             : next.startsWith("Changed since")                ? "changed"
                             : next.contains(" Putting ")                      ? "send"
                                                                               : "?" + next;
        fates << log[i].mid(5) + " " + fate;
    }
    return fates;
}

QString fateOf(const PublishStep &step)
{
    switch (step.action) {
    case PublishStep::Action::SkipLocked:
    case PublishStep::Action::SkipMarker:
        return "host specific";
    case PublishStep::Action::SkipOutside:
        return "outside";
    case PublishStep::Action::SkipExcluded:
        return "excluded";
    case PublishStep::Action::SkipUnchanged:
        return "unchanged";
    case PublishStep::Action::SendNew:
        return "new";
    case PublishStep::Action::SendChanged:
        return "changed";
    case PublishStep::Action::Send:
        return "send";
    case PublishStep::Action::Unreadable:
        return "unreadable";
    case PublishStep::Action::SkipGone:
        return "gone";
    }
    return {};
}

QStringList fatesInPlan(const QList<PublishStep> &plan)
{
    QStringList fates;
    for (const PublishStep &step : plan)
        fates << step.localPath + " " + fateOf(step);
    return fates;
}

class PublishChangesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid() && m_local.isValid());
        m_site = m_local.filePath("site") + u'/';
        m_project.FileName = m_site + "site.wdx";
        m_project.OnWorkspaceLog.bind([this](QObject *) { m_log << m_project.LogText; });
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
        m_project.Ftp.Folder = "/www/site";
    }

    QString addFile(const QString &name, const QByteArray &bytes, bool publish = true)
    {
        const QString path = name.startsWith(u'/') ? name : m_site + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteFileBytes(path, bytes);
        m_project.AddFiles({path});
        m_project.Files.Last()->Publish = publish;
        return path;
    }

    // The record as the app keeps it: loaded from its file before each run.
    // The record as the app keeps it: loaded from its file before each run.
    // The key is fixed, as a restarted test server comes back on a new port.
    std::unique_ptr<PublishRecord> loadRecord()
    {
        const QString key = QStringLiteral("test site");
        auto record = std::make_unique<PublishRecord>(
            key, PublishRecord::fileNameFor(m_local.filePath("config/published"), key));
        record->load();
        return record;
    }

    // One run with a freshly loaded record; the log of that run only.
    QStringList publish(bool changesOnly, int index = -1)
    {
        m_log.clear();
        const std::unique_ptr<PublishRecord> record = loadRecord();
        PublishFiles(m_project, m_client, index, {changesOnly, record.get()});
        return m_log;
    }

    QString remote(const QString &relative) const
    {
        return m_home.filePath("www/site/" + relative);
    }

    static void touch(const QString &path, qint64 secondsLater)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QDateTime was = file.fileTime(QFileDevice::FileModificationTime);
        ASSERT_TRUE(file.setFileTime(was.addSecs(secondsLater), QFileDevice::FileModificationTime));
    }

    QTemporaryDir m_home;
    QTemporaryDir m_local;
    QString m_site;
    Project m_project;
    std::unique_ptr<FtpTestServer> m_server;
    FtpClient m_client;
    QStringList m_log;
};

} // namespace

TEST_F(PublishChangesTest, ThreeChangedOneTouchedSendsExactlyThreeAndNoRecordSendsAll)
{
    const QString a = addFile("a.php", "<?php echo 'a';");
    const QString b = addFile("b.php", "<?php echo 'b';");
    const QString c = addFile("sub/c.php", "<?php echo 'c';");
    addFile("sub/d.css", "body { color: red }");
    const QString e = addFile("js/e.js", "let e = 1;");

    QStringList log = publish(false);
    EXPECT_EQ(str(putLines(log)), str({"a.php", "b.php", "sub/c.php", "sub/d.css", "js/e.js"}));
    EXPECT_EQ(log.back(), "Done. Published to: " + m_server->hostAndPort() + "/www/site");
    EXPECT_EQ(loadRecord()->size(), 5);

    // What the host holds now stands in for copies nobody must overwrite.
    for (const char *kept : {"b.php", "sub/d.css"})
        WriteFileBytes(remote(kept), "host copy");
    WriteFileBytes(a, "<?php echo 'A';"); // same size, other content
    WriteFileBytes(c, "<?php echo 'c, longer';");
    WriteFileBytes(e, "let e = 2;");
    touch(b, 120); // saved again without a change
    const qint64 bTime = QFileInfo(b).lastModified().toMSecsSinceEpoch();

    log = publish(true);
    EXPECT_EQ(str(putLines(log)), str({"a.php", "sub/c.php", "js/e.js"}));
    EXPECT_EQ(str(fateInLog(log)), str({a + " changed", b + " unchanged", c + " changed",
                                        m_site + "sub/d.css unchanged", e + " changed"}));
    EXPECT_TRUE(log.contains("Sending only what changed since the last publish"));
    EXPECT_EQ(ReadFileBytes(remote("a.php")), "<?php echo 'A';");
    EXPECT_EQ(ReadFileBytes(remote("sub/c.php")), "<?php echo 'c, longer';");
    EXPECT_EQ(ReadFileBytes(remote("js/e.js")), "let e = 2;");
    EXPECT_EQ(ReadFileBytes(remote("b.php")), "host copy");
    EXPECT_EQ(ReadFileBytes(remote("sub/d.css")), "host copy");
    // The touched file keeps its entry under its new time: still unchanged.
    EXPECT_EQ(loadRecord()->find("b.php")->modifiedMs, bTime);
    EXPECT_TRUE(putLines(publish(true)).isEmpty());

    // Without the record every file counts as new again.
    ASSERT_TRUE(QFile::remove(loadRecord()->filePath()));
    log = publish(true);
    EXPECT_EQ(str(putLines(log)), str({"a.php", "b.php", "sub/c.php", "sub/d.css", "js/e.js"}));
    EXPECT_EQ(log.count("Not published before, sending."), 5);
    EXPECT_EQ(ReadFileBytes(remote("b.php")), "<?php echo 'b';");
    EXPECT_EQ(ReadFileBytes(remote("sub/d.css")), "body { color: red }");
}

TEST_F(PublishChangesTest, ExcludedFilesNeverReachTheHostInAnyMode)
{
    m_project.Ftp.Exclude = {".git/", "node_modules/", "*.wdx", ".env", "!public/.env"};
    const QString index = addFile("index.php", "<?php");
    const QString git = addFile(".git/config", "[core]");
    const QString module = addFile("js/node_modules/lib/x.js", "x");
    const QString wdx = addFile("site.wdx", "<WENDLOR_Project/>");
    const QString env = addFile("config/.env", "DB_PASSWORD=secret");
    addFile("public/.env", "PUBLIC=1");
    // An excluded entry is not even opened: a missing one ends no run.
    m_project.AddFiles({m_site + "node_modules/gone.js"});

    for (const bool changesOnly : {false, true}) {
        const QStringList log = publish(changesOnly);
        EXPECT_EQ(filesBelow(m_home.path()),
                  QStringList({"www/site/index.php", "www/site/public/.env"}));
        for (const auto &[file, pattern] : std::vector<std::pair<QString, QString>>{
                 {git, ".git/"},
                 {module, "node_modules/"},
                 {wdx, "*.wdx"},
                 {env, ".env"},
                 {m_site + "node_modules/gone.js", "node_modules/"}}) {
            const qsizetype at = log.indexOf("File:" + file);
            ASSERT_GE(at, 0) << file.toStdString();
            EXPECT_EQ(log.value(at + 1), "Excluded by \"" + pattern + "\", skipped.");
        }
        EXPECT_EQ(log.back(), "Done. Published to: " + m_server->hostAndPort() + "/www/site");
    }
    // Nor do they enter the record.
    EXPECT_EQ(loadRecord()->entries().keys().size(), 2);
    EXPECT_NE(loadRecord()->find("public/.env"), nullptr);
    EXPECT_EQ(index, m_project.Files.Get(0)->Name);
}

TEST_F(PublishChangesTest, DryRunRowsAreWhatTheRunDoes)
{
    m_project.Ftp.Exclude = {"*.bak"};
    addFile("index.php", "<?php");
    addFile("locked.php", "<?php", false);
    addFile("conf.php", "<?php // host SPECIFIC");
    addFile(m_local.filePath("outside/o.php"), "<?php");
    addFile("old.bak", "old");
    const QString same = addFile("same.php", "same");
    const QString changed = addFile("sub/changed.php", "one");
    publish(false);
    WriteFileBytes(changed, "two");
    addFile("sub/new.php", "new");
    touch(same, 60);

    for (const bool changesOnly : {true, false}) {
        const std::unique_ptr<PublishRecord> record = loadRecord();
        const QList<PublishStep> plan = PlanPublish(m_project, -1, {changesOnly, record.get()});
        QStringList planned;
        for (const PublishStep &step : plan) {
            if (step.sends())
                planned << step.remotePath;
        }
        ASSERT_TRUE(QDir(m_home.filePath("www")).removeRecursively());
        const QStringList log = publish(changesOnly);
        EXPECT_EQ(str(fateInLog(log)), str(fatesInPlan(plan))) << changesOnly;
        EXPECT_EQ(str(putLines(log)), str(planned)) << changesOnly;
        QStringList onHost;
        for (const QString &file : filesBelow(m_home.path()))
            onHost << file.mid(QStringLiteral("www/site/").size());
        planned.sort();
        EXPECT_EQ(str(onHost), str(planned)) << changesOnly;
    }
    // The full run with the record left nothing for the next changes run.
    EXPECT_EQ(fatesInPlan(PlanPublish(m_project, -1, {true, loadRecord().get()}))
                  .filter(QRegularExpression(" (new|changed|send)$"))
                  .size(),
              0);
}

TEST_F(PublishChangesTest, RefusedStoreStaysOutOfTheRecordAndGoesAgainNextTime)
{
    addFile("index.php", "<?php");
    addFile("ro/page.php", "<?php // page");
    ASSERT_TRUE(QDir().mkpath(m_home.filePath("www/site/ro")));
    FtpTestServer::Options readOnly;
    readOnly.readOnly = {"www/site/ro"};
    startServer(readOnly);
    EXPECT_THROW(publish(true), PublishIncomplete);
    {
        const std::unique_ptr<PublishRecord> record = loadRecord();
        EXPECT_NE(record->find("index.php"), nullptr);
        EXPECT_EQ(record->find("ro/page.php"), nullptr);
    }
    startServer({});
    const QStringList log = publish(true);
    EXPECT_EQ(str(putLines(log)), str({"ro/page.php"}));
    EXPECT_EQ(ReadFileBytes(remote("ro/page.php")), "<?php // page");
}

TEST_F(PublishChangesTest, RunEndingInAnErrorKeepsWhatWasAcknowledged)
{
    addFile("a.php", "<?php // a");
    addFile("b.php", "<?php // b");
    QByteArray big(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char &c : big)
        c = static_cast<char>(generator.bounded(256));
    addFile("big.bin", big);
    addFile("z.php", "<?php // after the break");
    FtpTestServer::Options drop;
    drop.fault = "drop";
    startServer(drop);
    EXPECT_THROW(publish(true), AppError);
    QStringList recorded = loadRecord()->entries().keys();
    recorded.sort();
    EXPECT_EQ(str(recorded), str({"a.php", "b.php"}));

    startServer({});
    EXPECT_EQ(str(putLines(publish(true))), str({"big.bin", "z.php"}));
    EXPECT_EQ(ReadFileBytes(remote("big.bin")), big);
}

TEST_F(PublishChangesTest, DamagedRecordIsSaidKeptAsideAndTheRunIsFull)
{
    addFile("a.php", "<?php // a");
    addFile("b.php", "<?php // b");
    publish(false);
    const QString file = loadRecord()->filePath();
    WriteFileBytes(file, "{\"format\": \"quillstone publ");

    const QStringList log = publish(true);
    const QStringList said = log.filter("cannot be used");
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains(file) && said[0].contains("damaged") &&
                said[0].endsWith("Every file counts as new."))
        << said[0].toStdString();
    EXPECT_EQ(str(putLines(log)), str({"a.php", "b.php"}));
    EXPECT_EQ(ReadFileBytes(file + ".damaged"), "{\"format\": \"quillstone publ");
    EXPECT_EQ(loadRecord()->size(), 2);
    EXPECT_TRUE(putLines(publish(true)).isEmpty());
}

TEST_F(PublishChangesTest, OneFileInChangesModeAndAFullRunWithoutARecordAsBefore)
{
    addFile("a.php", "<?php // a");
    addFile("b.php", "<?php // b");
    publish(false);
    EXPECT_TRUE(putLines(publish(true, 1)).isEmpty());
    WriteFileBytes(m_site + "b.php", "<?php // b2");
    EXPECT_EQ(str(putLines(publish(true, 1))), str({"b.php"}));

    // The plain call takes no record and logs only the lines it always did.
    m_log.clear();
    PublishFiles(m_project, m_client, -1);
    EXPECT_EQ(str(putLines(m_log)), str({"a.php", "b.php"}));
    EXPECT_EQ(
        m_log.filter(QRegularExpression("^(Not published|Changed since|Unchanged|Sending only)"))
            .size(),
        0);
}

namespace {

class ScriptedChangesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_site = m_dir.filePath("site") + u'/';
        m_project.FileName = m_site + "site.wdx";
        m_project.OnWorkspaceLog.bind([this](QObject *) { m_log << m_project.LogText; });
        for (const char *name : {"a.php", "b.php"}) {
            QDir().mkpath(m_site);
            WriteFileBytes(m_site + name, QByteArray("<?php // ") + name);
            m_project.AddFiles({m_site + name});
        }
    }

    QTemporaryDir m_dir;
    QString m_site;
    Project m_project;
    QStringList m_log;
    ScriptedConnection m_connection;
    PublishRecord m_record{"k", QString()};
};

} // namespace

TEST_F(ScriptedChangesTest, ConnectionNoteFollowsTheConnect)
{
    m_connection.note = "Encrypted with TLS 1.3; certificate checked";
    PublishFiles(m_project, m_connection, -1, {});
    ASSERT_GE(m_log.size(), 5);
    EXPECT_EQ(str(m_log.mid(2, 3)), str({"Connecting", "Done", m_connection.note}));
    EXPECT_EQ(m_log[5], "Changing folder");

    m_log.clear();
    m_connection.note.clear();
    PublishFiles(m_project, m_connection, -1, {});
    EXPECT_EQ(m_log[4], "Changing folder");
}

TEST_F(ScriptedChangesTest, FileLostInTransferLeavesTheRecordEvenWhenItsContentWasThere)
{
    PublishFiles(m_project, m_connection, -1, {false, &m_record});
    ASSERT_EQ(m_record.size(), 2);
    // The same bytes go up again; the session breaks during the first: the
    // host's copy may be half a file now, so the record must not vouch for it.
    m_connection.dropAt = "STOR .qs-upload-a.php";
    EXPECT_THROW(PublishFiles(m_project, m_connection, -1, {false, &m_record}), AppError);
    EXPECT_EQ(m_record.find("a.php"), nullptr);
    EXPECT_NE(m_record.find("b.php"), nullptr);
}

// Publish Changes reads a changed file for its hash and again to send it:
// saved in between, it stays out of the record. A full run sends the bytes
// it hashed, and records them. Either way the next run sends the new text,
// and a kept time is never the newer save's.
TEST_F(ScriptedChangesTest, FileSavedWhileTheRunGoesOnIsSentAgainNextTime)
{
    const QByteArray before = "<?php // a.php";
    const QDateTime readTime = QDateTime::fromMSecsSinceEpoch(1'600'000'000'000);
    m_project.Ftp.KeepTimes = true;
    for (const bool changesOnly : {true, false}) {
        SCOPED_TRACE(changesOnly ? "changes" : "full");
        WriteFileBytes(m_site + "a.php", before);
        {
            QFile file(m_site + "a.php");
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.setFileTime(readTime, QFileDevice::FileModificationTime));
        }
        m_record.clear();
        m_connection.sentAsRead.clear();
        m_connection.timesSet.clear();
        m_connection.onCommand = [this](const QString &command) {
            if (command == "STOR .qs-upload-a.php")
                WriteFileBytes(m_site + "a.php", "<?php // a, saved again meanwhile");
        };
        PublishFiles(m_project, m_connection, -1, {changesOnly, &m_record});
        if (changesOnly) {
            EXPECT_EQ(m_record.find("a.php"), nullptr);
        } else {
            EXPECT_EQ(m_connection.sentAsRead.value(".qs-upload-a.php"), before);
            ASSERT_NE(m_record.find("a.php"), nullptr);
            EXPECT_EQ(m_record.find("a.php")->sha256,
                      QCryptographicHash::hash(before, QCryptographicHash::Sha256));
        }
        EXPECT_NE(m_record.find("b.php"), nullptr);
        EXPECT_EQ(m_connection.timesSet.value("a.php"), readTime.toMSecsSinceEpoch());
        m_connection.onCommand = nullptr;
        m_connection.commands.clear();
        PublishFiles(m_project, m_connection, -1, {true, &m_record});
        EXPECT_TRUE(m_connection.commands.contains("STOR .qs-upload-a.php"));
        EXPECT_FALSE(m_connection.commands.contains("STOR .qs-upload-b.php"));
    }
}

TEST_F(ScriptedChangesTest, UnreadableFileEndsTheRunWhereThePlanSaysAndKeepsTheRest)
{
    m_project.AddFiles({m_site + "missing.php"});
    m_project.AddFiles({m_site + "b.php"});
    for (const bool changesOnly : {true, false}) {
        SCOPED_TRACE(changesOnly ? "changes" : "full");
        m_record.clear();
        m_log.clear();
        const QList<PublishStep> plan = PlanPublish(m_project, -1, {changesOnly, &m_record});
        ASSERT_EQ(plan[2].action, PublishStep::Action::Unreadable);
        try {
            PublishFiles(m_project, m_connection, -1, {changesOnly, &m_record});
            ADD_FAILURE() << "went past an unreadable file";
        } catch (const AppError &error) {
            EXPECT_EQ(error.message(), plan[2].error);
        }
        EXPECT_EQ(m_log.back(), "File:" + m_site + "missing.php");
        EXPECT_EQ(m_record.size(), 2);
    }
}
