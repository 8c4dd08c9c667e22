// The SFTP connection against a real OpenSSH server on loopback: folders,
// stores, renames, host keys and logins, each as the publish engine relies on.

#include "foundation/errors.h"
#include "foundation/host_trust.h"
#include "net/sftp_client.h"
#include "support/ssh_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <deque>
#include <sys/stat.h>

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

// Answers host key questions from a queue (unqueued: no) and records them.
class ScriptedTrust final : public HostTrust {
public:
    bool trustCertificate(const QString &, const QString &, const QString &) override
    {
        return false;
    }
    bool trustHostKey(const QString &host, const QString &fingerprint,
                      const QString &problem) override
    {
        asked.push_back({host, fingerprint, problem});
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    struct Question {
        QString host, fingerprint, problem;
    };
    std::vector<Question> asked;
    std::deque<bool> answers;
};

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    auto *generator = QRandomGenerator::global();
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(generator->bounded(256));
    return bytes;
}

} // namespace

class SftpClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The user's own agent must not log the tests in.
        qunsetenv("SSH_AUTH_SOCK");
        ASSERT_TRUE(m_remote.isValid() && m_local.isValid() && m_ssh.isValid());
        m_server = std::make_unique<SshTestServer>();
        m_knownHosts = m_ssh.filePath(QStringLiteral("known_hosts"));
        WriteFileBytes(m_knownHosts, m_server->knownHostsLine().toUtf8() + '\n');
        configure(m_client);
    }

    void configure(SftpClient &client)
    {
        client.setHost(m_server->hostAndPort());
        client.setUser(SshTestServer::userName());
        client.setSshFolder(m_server->clientKeyFolder());
        client.setKnownHostsFile(m_knownHosts);
        client.setTimeoutMs(10000);
    }

    QString remote(const QString &relative = {}) const { return m_remote.filePath(relative); }
    QString local(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_local.filePath(name);
        WriteFileBytes(path, bytes);
        return path;
    }

    QTemporaryDir m_remote; // what the server writes into
    QTemporaryDir m_local;
    QTemporaryDir m_ssh; // the client's known_hosts
    QString m_knownHosts;
    std::unique_ptr<SshTestServer> m_server;
    SftpClient m_client;
};

TEST_F(SftpClientTest, FoldersResolveLikeAnFtpSession)
{
    m_client.connect();
    EXPECT_TRUE(m_client.isConnected());
    EXPECT_EQ(m_client.connectionNote(),
              QStringLiteral("SFTP, host key checked against known_hosts"));
    // The session starts in the user's home folder.
    EXPECT_EQ(m_client.currentDir(), QDir::homePath());

    m_client.changeDir(remote());
    m_client.makeDir(QStringLiteral("a"));
    EXPECT_TRUE(QFileInfo(remote(QStringLiteral("a"))).isDir());
    struct stat made {};
    ASSERT_EQ(::stat(QFile::encodeName(remote(QStringLiteral("a"))).constData(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0755u);
    // A folder that exists cannot be made again, as with MKD.
    EXPECT_NE(errorOf([&] { m_client.makeDir(QStringLiteral("a")); }),
              QStringLiteral("<no error>"));

    m_client.changeDir(QStringLiteral("a"));
    EXPECT_EQ(m_client.currentDir(), remote(QStringLiteral("a")));
    m_client.makeDir(QStringLiteral("b"));
    m_client.changeDir(QStringLiteral("./b/../b"));
    EXPECT_EQ(m_client.currentDir(), remote(QStringLiteral("a/b")));
    m_client.changeDir(QStringLiteral("../.."));
    EXPECT_EQ(m_client.currentDir(), remote());

    // A missing folder fails and leaves the current one as it was, so the
    // engine knows to create it.
    const QString missing = errorOf([&] { m_client.changeDir(QStringLiteral("nothere")); });
    EXPECT_TRUE(missing.contains(QStringLiteral("nothere"))) << missing.toStdString();
    EXPECT_TRUE(missing.contains(QStringLiteral("No such file"), Qt::CaseInsensitive))
        << missing.toStdString();
    EXPECT_EQ(m_client.currentDir(), remote());
    EXPECT_TRUE(m_client.isConnected());

    // A file is not a folder to change into.
    WriteFileBytes(remote(QStringLiteral("page.php")), "x");
    EXPECT_TRUE(errorOf([&] {
                    m_client.changeDir(QStringLiteral("page.php"));
                }).contains(QStringLiteral("not a folder")));
    m_client.changeDir(QStringLiteral("/"));
    EXPECT_EQ(m_client.currentDir(), QStringLiteral("/"));
    m_client.disconnect();
    EXPECT_FALSE(m_client.isConnected());
    EXPECT_TRUE(errorOf([&] {
                    m_client.changeDir(QStringLiteral("/"));
                }).contains(QStringLiteral("not connected")));
}

TEST_F(SftpClientTest, StoresRenamesAndRemovesByteForByte)
{
    m_client.setBlockSize(4096); // many blocks, so the loop and counts are exercised
    m_client.setWorkIntervalMs(0);
    std::vector<qint64> counts;
    m_client.setWorkHandler([&](qint64 bytes) { counts.push_back(bytes); });
    m_client.connect();
    m_client.changeDir(remote());

    const QByteArray big = randomBytes(300 * 1024 + 17);
    m_client.store(local(QStringLiteral("big.bin"), big), QStringLiteral("big.bin"));
    EXPECT_EQ(ReadFileBytes(remote(QStringLiteral("big.bin"))), big);
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.back(), big.size());
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
    EXPECT_GT(counts.size(), 10u);

    // A shorter file replaces a longer one completely.
    m_client.store(local(QStringLiteral("small.txt"), "short"), QStringLiteral("big.bin"));
    EXPECT_EQ(ReadFileBytes(remote(QStringLiteral("big.bin"))), QByteArray("short"));
    // An empty file arrives empty.
    m_client.store(local(QStringLiteral("empty"), {}), QStringLiteral("empty"));
    EXPECT_TRUE(QFileInfo::exists(remote(QStringLiteral("empty"))));
    EXPECT_EQ(QFileInfo(remote(QStringLiteral("empty"))).size(), 0);

    // Renaming onto an existing file replaces it, which plain SFTP refuses.
    QDir(remote()).mkdir(QStringLiteral("sub"));
    WriteFileBytes(remote(QStringLiteral("sub/page.php")), "old");
    m_client.store(local(QStringLiteral("new"), "new"), QStringLiteral("sub/.page.php.part"));
    m_client.rename(QStringLiteral("sub/.page.php.part"), QStringLiteral("sub/page.php"));
    EXPECT_EQ(ReadFileBytes(remote(QStringLiteral("sub/page.php"))), QByteArray("new"));
    EXPECT_FALSE(QFileInfo::exists(remote(QStringLiteral("sub/.page.php.part"))));
    // And onto a free name.
    m_client.rename(QStringLiteral("sub/page.php"), QStringLiteral("moved.php"));
    EXPECT_EQ(ReadFileBytes(remote(QStringLiteral("moved.php"))), QByteArray("new"));
    // A folder in the way is never removed.
    QDir(remote()).mkpath(QStringLiteral("folder/inside"));
    EXPECT_TRUE(errorOf([&] {
                    m_client.rename(QStringLiteral("moved.php"), QStringLiteral("folder"));
                }).contains(QStringLiteral("is a folder")));
    EXPECT_TRUE(QFileInfo(remote(QStringLiteral("folder/inside"))).isDir());
    EXPECT_TRUE(QFileInfo::exists(remote(QStringLiteral("moved.php"))));
    // A missing source is an error, not a silent success.
    EXPECT_NE(
        errorOf([&] { m_client.rename(QStringLiteral("gone.php"), QStringLiteral("moved.php")); }),
        QStringLiteral("<no error>"));
    EXPECT_EQ(ReadFileBytes(remote(QStringLiteral("moved.php"))), QByteArray("new"));

    m_client.removeFile(QStringLiteral("moved.php"));
    EXPECT_FALSE(QFileInfo::exists(remote(QStringLiteral("moved.php"))));
    EXPECT_NE(errorOf([&] { m_client.removeFile(QStringLiteral("moved.php")); }),
              QStringLiteral("<no error>"));
    EXPECT_TRUE(m_client.isConnected());
}

TEST_F(SftpClientTest, RefusedOpenIsAStoreRefusedAndUnreadableFileAnError)
{
    m_client.connect();
    m_client.changeDir(remote());
    const QString source = local(QStringLiteral("page.php"), "<?php echo 1;");
    // Into a folder that does not exist: refused before anything was written.
    bool refused = false;
    try {
        m_client.store(source, QStringLiteral("nothere/page.php"));
    } catch (const FtpStoreRefused &error) {
        refused = error.message().contains(QStringLiteral("nothere/page.php"));
    }
    EXPECT_TRUE(refused);
    EXPECT_TRUE(m_client.isConnected());

    const QString unreadable = errorOf(
        [&] { m_client.store(m_local.filePath(QStringLiteral("missing")), QStringLiteral("x")); });
    EXPECT_TRUE(unreadable.startsWith(QStringLiteral("Cannot read file")))
        << unreadable.toStdString();
    EXPECT_FALSE(QFileInfo::exists(remote(QStringLiteral("x"))));
}

TEST_F(SftpClientTest, UnknownHostKeyIsAskedOnceAndRemembered)
{
    QFile::remove(m_knownHosts);
    // Without anyone to ask, an unknown key is refused.
    const QString refused = errorOf([&] { m_client.connect(); });
    EXPECT_TRUE(refused.contains(QStringLiteral("not in known_hosts"))) << refused.toStdString();
    EXPECT_TRUE(refused.contains(m_server->hostKeyFingerprint())) << refused.toStdString();
    EXPECT_FALSE(m_client.isConnected());

    // Declined: refused too, and nothing stored.
    ScriptedTrust trust;
    m_client.setHostTrust(&trust);
    trust.answers = {false};
    EXPECT_TRUE(errorOf([&] { m_client.connect(); }).contains(QStringLiteral("not trusted")));
    EXPECT_FALSE(QFileInfo::exists(m_knownHosts) && QFileInfo(m_knownHosts).size() > 0);

    // Accepted: connected, stored, and not asked again.
    trust.answers = {true};
    m_client.connect();
    EXPECT_TRUE(m_client.isConnected());
    ASSERT_EQ(trust.asked.size(), 2u);
    EXPECT_EQ(trust.asked[1].host, m_server->hostAndPort());
    EXPECT_EQ(trust.asked[1].fingerprint, m_server->hostKeyFingerprint());
    EXPECT_TRUE(trust.asked[1].problem.contains(QStringLiteral("not in known_hosts")));
    EXPECT_TRUE(m_client.connectionNote().contains(QStringLiteral("stored in known_hosts")));
    m_client.disconnect();

    SftpClient again;
    configure(again);
    again.setHostTrust(&trust);
    again.connect();
    EXPECT_EQ(trust.asked.size(), 2u);
    EXPECT_EQ(again.connectionNote(), QStringLiteral("SFTP, host key checked against known_hosts"));
}

TEST_F(SftpClientTest, ChangedHostKeyIsRefusedWithoutAQuestion)
{
    const QString oldKey = m_server->hostKeyFingerprint();
    m_server->replaceHostKey();
    const QString newKey = m_server->hostKeyFingerprint();
    ASSERT_NE(oldKey, newKey);
    const QByteArray storedBefore = ReadFileBytes(m_knownHosts);

    // Someone to ask or not: the answer would be yes, and nobody is asked.
    ScriptedTrust trust;
    trust.answers = {true, true};
    for (HostTrust *asked : {static_cast<HostTrust *>(nullptr), static_cast<HostTrust *>(&trust)}) {
        m_client.setHostTrust(asked);
        const QString refused = errorOf([&] { m_client.connect(); });
        EXPECT_FALSE(m_client.isConnected());
        const QString entry = QStringLiteral("[127.0.0.1]:%1").arg(m_server->port());
        for (const QString &part :
             {QStringLiteral("CHANGED"), QStringLiteral("refused"), m_server->hostAndPort(), oldKey,
              newKey, QStringLiteral("line 1"),
              QStringLiteral("ssh-keygen -f \"%1\" -R \"%2\"").arg(m_knownHosts, entry)})
            EXPECT_TRUE(refused.contains(part)) << part.toStdString() << "\n"
                                                << refused.toStdString();
    }
    EXPECT_TRUE(trust.asked.empty());
    EXPECT_EQ(ReadFileBytes(m_knownHosts), storedBefore);

    // The command it names does what it says: the old key goes, the new
    // one is asked for once and stored.
    ASSERT_EQ(QProcess::execute(QStringLiteral("ssh-keygen"),
                                {QStringLiteral("-q"), QStringLiteral("-f"), m_knownHosts,
                                 QStringLiteral("-R"),
                                 QStringLiteral("[127.0.0.1]:%1").arg(m_server->port())}),
              0);
    m_client.connect();
    EXPECT_TRUE(m_client.isConnected());
    ASSERT_EQ(trust.asked.size(), 1u);
    EXPECT_EQ(trust.asked[0].fingerprint, newKey);
    EXPECT_TRUE(trust.asked[0].problem.contains(QStringLiteral("not in known_hosts")));
}

TEST_F(SftpClientTest, WrongKeySaysWhatWasTried)
{
    m_client.setSshFolder(m_server->strangerKeyFolder());
    const QString noPassword = errorOf([&] { m_client.connect(); });
    EXPECT_TRUE(
        noPassword.contains(QStringLiteral("Login as \"%1\"").arg(SshTestServer::userName())))
        << noPassword.toStdString();
    EXPECT_TRUE(noPassword.contains(QStringLiteral("tried the SSH agent and keys")))
        << noPassword.toStdString();
    EXPECT_TRUE(noPassword.contains(QStringLiteral("offers: publickey")))
        << noPassword.toStdString();
    EXPECT_FALSE(m_client.isConnected());

    // A user the server does not know fails the same way, with a password
    // that the server does not even take.
    m_client.setSshFolder(m_server->clientKeyFolder());
    m_client.setUser(QStringLiteral("no-such-user-qs"));
    m_client.setPassword(QStringLiteral("secret"));
    const QString unknownUser = errorOf([&] { m_client.connect(); });
    EXPECT_TRUE(unknownUser.contains(QStringLiteral("no-such-user-qs")))
        << unknownUser.toStdString();
    EXPECT_FALSE(m_client.isConnected());

    // Nothing listening.
    const quint16 port = m_server->port();
    m_server->stop();
    const QString closed = errorOf([&] { m_client.connect(); });
    EXPECT_TRUE(closed.startsWith(
        QStringLiteral("Cannot connect to the SFTP server 127.0.0.1:%1").arg(port)))
        << closed.toStdString();
}

TEST_F(SftpClientTest, PasswordIsTriedAfterTheKeysAndItsRefusalReported)
{
    SshTestServer::Options withPasswords;
    withPasswords.passwordAuthentication = true;
    m_server = std::make_unique<SshTestServer>(withPasswords);
    WriteFileBytes(m_knownHosts, m_server->knownHostsLine().toUtf8() + '\n');
    configure(m_client);
    m_client.setSshFolder(m_server->strangerKeyFolder());
    m_client.setPassword(QStringLiteral("not the password of this account"));
    const QString refused = errorOf([&] { m_client.connect(); });
    EXPECT_TRUE(refused.contains(QStringLiteral("tried the SSH agent and keys, the password")))
        << refused.toStdString();
    EXPECT_TRUE(refused.contains(QStringLiteral("offers: publickey, password")))
        << refused.toStdString();
    EXPECT_FALSE(m_client.isConnected());

    // Without a password the message says that none is set.
    m_client.setPassword(QString());
    const QString none = errorOf([&] { m_client.connect(); });
    EXPECT_TRUE(none.contains(QStringLiteral("no password is set"))) << none.toStdString();
    EXPECT_FALSE(none.contains(QStringLiteral("the password"))) << none.toStdString();

    // The right key still logs in while passwords are offered.
    m_client.setSshFolder(m_server->clientKeyFolder());
    m_client.connect();
    EXPECT_TRUE(m_client.isConnected());
}

TEST_F(SftpClientTest, BadHostSettingsAreClearErrors)
{
    m_client.setHost(QString());
    EXPECT_EQ(errorOf([&] { m_client.connect(); }), QStringLiteral("No SFTP host is set"));
    m_client.setHost(QStringLiteral("127.0.0.1:99999"));
    EXPECT_TRUE(errorOf([&] { m_client.connect(); }).startsWith(QStringLiteral("Bad SFTP port")));
    m_client.setHost(QStringLiteral("127.0.0.1:"));
    EXPECT_TRUE(errorOf([&] { m_client.connect(); }).startsWith(QStringLiteral("Bad SFTP port")));
    m_client.setHost(QStringLiteral("[::1"));
    EXPECT_TRUE(errorOf([&] { m_client.connect(); }).startsWith(QStringLiteral("Bad SFTP host")));
}

TEST_F(SftpClientTest, SilentServerTimesOutAndDropsTheSession)
{
    m_client.setTimeoutMs(1500);
    m_client.connect();
    m_client.changeDir(remote());
    m_server->freezeSessions(true);
    const QString stalled = errorOf([&] { m_client.makeDir(QStringLiteral("late")); });
    m_server->freezeSessions(false);
    EXPECT_TRUE(stalled.contains(QStringLiteral("did not answer within 1.5 s")))
        << stalled.toStdString();
    // The session is gone, so the engine ends the run instead of going on.
    EXPECT_FALSE(m_client.isConnected());
    m_client.connect();
    m_client.changeDir(remote());
    EXPECT_TRUE(m_client.isConnected());

    // A server that stops taking a large file half way: its writes no longer
    // move, so the watchdog fires as for an unanswered request.
    const QString big = local(QStringLiteral("big.bin"), randomBytes(16 * 1024 * 1024));
    m_client.setWorkIntervalMs(0);
    bool frozen = false;
    m_client.setWorkHandler([&](qint64 bytes) {
        if (!frozen && bytes >= 1024 * 1024) {
            m_server->freezeSessions(true);
            frozen = true;
        }
    });
    QElapsedTimer timer;
    timer.start();
    const QString cut = errorOf([&] { m_client.store(big, QStringLiteral("big.bin")); });
    m_server->freezeSessions(false);
    EXPECT_TRUE(frozen);
    EXPECT_TRUE(cut.contains(QStringLiteral("1.5 s"))) << cut.toStdString();
    EXPECT_GE(timer.elapsed(), 1500);
    EXPECT_FALSE(m_client.isConnected());
}
