// The project's own PHP server against real PHP and a real web server already
// on the port.

#include "net/curl_http_client.h"
#include "net/local_php_server.h"
#include "net/run_guidance.h"
#include "project/php_error.h"
#include "support/php_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>

using namespace std::chrono_literals;

namespace {

bool processAlive(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

QString commandLineOf(qint64 pid)
{
    QByteArray line = ReadFileBytes(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return QString::fromLocal8Bit(line.replace('\0', ' ')).trimmed();
}

class OwnServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        site = dir.filePath("site");
        QDir().mkpath(site);
        WriteFileBytes(site + "/warn.php", "<?php\n$a = [];\necho $a['missing'];\n");
        WriteFileBytes(site + "/index.php", "<?php echo 'index of ', basename(__DIR__);\n");
        options.logPath = dir.filePath("state/php-server.log");
        address = QStringLiteral("http://127.0.0.1:%1/warn.php").arg(FreeLoopbackPort());
    }
    QString log() const { return QString::fromUtf8(ReadFileBytes(options.logPath)); }

    QTemporaryDir dir;
    QString site;
    QString address;
    LocalPhpServer::Options options;
};

} // namespace

TEST(LoopbackAddress, OnlyHttpOnThisMachinesLoopbackIsOurs)
{
    const LoopbackAddress plain = LoopbackHttpAddress("http://127.0.0.1:8000/a b.php?x=1");
    EXPECT_TRUE(plain.valid);
    EXPECT_EQ(plain.hostAndPort(), "127.0.0.1:8000");
    EXPECT_EQ(LoopbackHttpAddress("HTTP://LocalHost/").hostAndPort(), "localhost:80");
    EXPECT_EQ(LoopbackHttpAddress("http://[::1]:8080/").hostAndPort(), "[::1]:8080");
    for (const char *other :
         {"https://127.0.0.1:8443/", "http://192.168.1.2:8000/", "http://example.org/",
          "ftp://127.0.0.1/", "javascript:alert(1)", "", "http://127.0.0.1:99999/"})
        EXPECT_FALSE(LoopbackHttpAddress(QLatin1String(other)).valid) << other;
}

TEST_F(OwnServer, StartsForTheFolderShowsErrorsAsHtmlLogsAndStops)
{
    LocalPhpServer server(options);
    const LocalPhpServer::Outcome first = server.prepare(address, site + '/', true);
    ASSERT_TRUE(first.served) << first.problem.toStdString();
    EXPECT_TRUE(first.startedNow);
    const qint64 pid = server.processId();
    ASSERT_TRUE(processAlive(pid));
    EXPECT_TRUE(LoopbackPortAccepts(quint16(server.port())));
    const QString command = commandLineOf(pid);
    EXPECT_TRUE(command.contains("-S 127.0.0.1:" + QString::number(server.port()) + " -t " + site +
                                 " -d display_errors=1 -d html_errors=1 -d error_reporting=E_ALL"))
        << command.toStdString();

    // PHP's errors reach the page as HTML, whatever the installed php.ini says.
    CurlHttpClient client;
    const PhpErrorCapture capture = CapturePhpError(client.get(address));
    EXPECT_EQ(capture.messageRow(), site + "/warn.php(3): Undefined array key \"missing\"");
    EXPECT_TRUE(log().contains("GET /warn.php")) << log().toStdString();
    EXPECT_TRUE(log().contains("PHP Warning:  Undefined array key")) << log().toStdString();

    // Asked again for the same folder: the same server.
    const LocalPhpServer::Outcome again = server.prepare(address, site, true);
    EXPECT_TRUE(again.served);
    EXPECT_FALSE(again.startedNow);
    EXPECT_EQ(server.processId(), pid);

    // Another folder on the same port: a new server, the log kept and added to.
    const QString other = dir.filePath("other");
    QDir().mkpath(other);
    WriteFileBytes(other + "/index.php", "<?php echo 'other';\n");
    const QString otherIndex = QString(address).replace("warn.php", "index.php");
    ASSERT_TRUE(server.prepare(otherIndex, other, true).startedNow);
    EXPECT_FALSE(processAlive(pid));
    EXPECT_EQ(client.get(otherIndex), "other");
    EXPECT_TRUE(log().contains("GET /warn.php"));
    EXPECT_EQ(log().count("--- "), 2);

    const qint64 second = server.processId();
    server.stop();
    EXPECT_FALSE(server.isRunning());
    EXPECT_FALSE(processAlive(second));
    EXPECT_FALSE(LoopbackPortAccepts(quint16(LoopbackHttpAddress(address).port)));

    // Started without waiting: the next prepare waits for the rest of that start.
    ASSERT_TRUE(server.prepareWithoutWaiting(address, site, true).startedNow);
    const qint64 early = server.processId();
    EXPECT_TRUE(server.prepare(address, site, true).served);
    EXPECT_EQ(server.processId(), early);
    EXPECT_TRUE(LoopbackPortAccepts(quint16(server.port())));
    server.stop();

    // A new run of the program starts its log afresh.
    LocalPhpServer nextRun(options);
    ASSERT_TRUE(nextRun.prepare(address, site, true).startedNow);
    EXPECT_EQ(log().count("--- "), 1);
}

TEST_F(OwnServer, AWebServerAlreadyOnThePortIsUsedInstead)
{
    PhpServer theirs(site);
    LocalPhpServer server(options);
    const QString theirAddress = theirs.url("index.php");
    const LocalPhpServer::Outcome outcome = server.prepare(theirAddress, site, true);
    EXPECT_TRUE(outcome.served);
    EXPECT_FALSE(outcome.startedNow);
    EXPECT_FALSE(server.isRunning());
    // The probe asked for a name that runs no script, once.
    EXPECT_TRUE(theirs.output().contains("/.quillstone-probe")) << theirs.output().toStdString();
    EXPECT_TRUE(server.prepare(theirAddress, site, true).served);
    EXPECT_EQ(theirs.output().count("/.quillstone-probe"), 1);
    EXPECT_FALSE(QFile::exists(options.logPath));
}

TEST_F(OwnServer, RefusesWhatItCannotServeWithAClearReason)
{
    LocalPhpServer server(options);

    // PHP stops at once: here its folder does not exist. (A port held by
    // another kind of program and a PATH without php are tried with the
    // whole window.)
    LocalPhpServer::Outcome outcome = server.prepare(address, dir.filePath("missing"), true);
    EXPECT_FALSE(outcome.served);
    EXPECT_TRUE(outcome.problem.contains("stopped at once")) << outcome.problem.toStdString();
    EXPECT_TRUE(outcome.problem.contains(dir.filePath("missing") + " does not exist"))
        << outcome.problem.toStdString();
    EXPECT_FALSE(server.isRunning());
    // Started without waiting, the prepare that waits tells the same.
    EXPECT_TRUE(server.prepareWithoutWaiting(address, dir.filePath("missing"), true).served);
    outcome = server.prepare(address, dir.filePath("missing"), true);
    EXPECT_FALSE(outcome.served);
    EXPECT_TRUE(outcome.problem.contains("stopped at once")) << outcome.problem.toStdString();

    // Switched off, or without a project: nothing is started.
    outcome = server.prepare(address, site, false);
    EXPECT_FALSE(outcome.served);
    EXPECT_TRUE(outcome.problem.isEmpty());
    outcome = server.prepare(address, QString(), true);
    EXPECT_FALSE(outcome.served);
    EXPECT_TRUE(outcome.problem.contains("No project is open"));
    EXPECT_FALSE(server.isRunning());

    // Addresses elsewhere are not ours to judge.
    for (const char *elsewhere : {"https://127.0.0.1:1/", "http://192.0.2.1/"}) {
        outcome = server.prepare(QLatin1String(elsewhere), site, true);
        EXPECT_TRUE(outcome.served) << elsewhere;
        EXPECT_FALSE(outcome.startedNow) << elsewhere;
    }
}

TEST(RunGuidancePage, SaysWhatToDoAndEscapesWhatItQuotes)
{
    RunGuidance guidance;
    guidance.address = "http://127.0.0.1:8123/<b>.php";
    guidance.problem = "PHP's server stopped at once:\nFailed to listen & more";
    guidance.projectFolder = "/home/me/my site/";
    guidance.logPath = "/home/me/.local/state/quillstone/php-server.log";
    const QString page = RunGuidancePage(guidance);
    EXPECT_TRUE(page.contains("Nothing answers at http://127.0.0.1:8123/&lt;b&gt;.php"));
    EXPECT_TRUE(page.contains("stopped at once:<br>Failed to listen &amp; more"));
    EXPECT_TRUE(page.contains(
        "php -S 127.0.0.1:8123 -t '/home/me/my site' -d display_errors=1 -d html_errors=1"));
    EXPECT_TRUE(page.contains("Set the run address"));
    EXPECT_TRUE(page.contains(guidance.logPath));
    EXPECT_FALSE(page.contains("<b>.php"));

    guidance.ownServer = false;
    guidance.address.clear();
    guidance.problem.clear();
    const QString off = RunGuidancePage(guidance);
    EXPECT_TRUE(off.contains("No run address is set"));
    EXPECT_TRUE(off.contains("switched off"));
    EXPECT_FALSE(off.contains("id=\"problem\""));
}
