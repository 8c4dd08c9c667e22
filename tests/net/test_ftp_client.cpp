// The FTP connection against a real pyftpdlib server on loopback, and against
// two tiny stand-ins for servers that misbehave in ways a real one will not.

#include "foundation/errors.h"
#include "net/ftp_client.h"
#include "net/remote_endpoint.h"
#include "support/ftp_server.h"
#include "support/loopback_stand_in.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>

#include <atomic>
#include <string>
#include <sys/socket.h>

namespace {

class FtpClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid() && m_local.isValid());
        m_server = std::make_unique<FtpTestServer>(m_home.path(), serverOptions());
        m_client.setHost(m_server->hostAndPort());
        m_client.setUser(m_server->options().user);
        m_client.setPassword(m_server->options().password);
        m_client.setTimeoutMs(10000);
    }

    virtual FtpTestServer::Options serverOptions() const { return {}; }

    QString home(const QString &relative = {}) const { return m_home.filePath(relative); }
    QString local(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_local.filePath(name);
        WriteFileBytes(path, bytes);
        return path;
    }

    QTemporaryDir m_home;
    QTemporaryDir m_local;
    std::unique_ptr<FtpTestServer> m_server;
    FtpClient m_client;
};

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(1234);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(generator.bounded(256));
    return bytes;
}

QString errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const AppError &error) {
        return error.message();
    }
    return QStringLiteral("<no error>");
}

} // namespace

TEST_F(FtpClientTest, LogsInWorksAndQuitsAndCanLogInAgain)
{
    EXPECT_FALSE(m_client.isConnected());
    m_client.connect();
    EXPECT_TRUE(m_client.isConnected());
    m_client.disconnect();
    EXPECT_FALSE(m_client.isConnected());
    m_client.disconnect(); // a closed connection stays closed quietly

    m_client.connect();
    m_client.connect(); // an open session is dropped, a new one opened
    m_client.makeDir(QStringLiteral("again"));
    EXPECT_TRUE(QDir(home(QStringLiteral("again"))).exists());
}

TEST_F(FtpClientTest, RefusedLoginCarriesTheServerReplyAndLeavesNoSession)
{
    m_client.setPassword(QStringLiteral("wrong"));
    const QString message = errorOf([&] { m_client.connect(); });
    EXPECT_TRUE(message.contains(QStringLiteral("530"))) << message.toStdString();
    EXPECT_TRUE(message.contains(m_server->options().user)) << message.toStdString();
    EXPECT_FALSE(message.contains(QStringLiteral("wrong"))) << "password echoed";
    EXPECT_FALSE(m_client.isConnected());
    EXPECT_TRUE(errorOf([&] {
                    m_client.changeDir(QStringLiteral("/"));
                }).contains(QStringLiteral("not connected")));

    m_client.setPassword(m_server->options().password);
    m_client.connect();
    EXPECT_TRUE(m_client.isConnected());
}

TEST_F(FtpClientTest, BadHostSettingsAreClearErrors)
{
    FtpClient client;
    EXPECT_TRUE(errorOf([&] { client.connect(); }).contains(QStringLiteral("No FTP host")));
    for (const char *host :
         {"127.0.0.1:", "127.0.0.1:http", "127.0.0.1:70000", "127.0.0.1:0", "[::1", "[::1]x"}) {
        client.setHost(QString::fromLatin1(host));
        EXPECT_TRUE(errorOf([&] { client.connect(); }).contains(QStringLiteral("Bad FTP"))) << host;
    }
    // Nothing listens on the stopped server's port.
    const QString address = m_server->hostAndPort();
    m_server->stop();
    client.setHost(address);
    EXPECT_TRUE(errorOf([&] { client.connect(); }).contains(QStringLiteral("Cannot connect")));
    EXPECT_FALSE(client.isConnected());
}

// Sessions to a server on this machine only share its processors; a remote
// one gets what the setting asks for. Nothing is resolved.
TEST(RemoteEndpointTest, AServerOnThisMachineGetsAtMostOneSessionPerProcessor)
{
    struct Case {
        const char *host;
        int wanted;
        int processors;
        int sessions;
    };
    const Case cases[] = {
        {"127.0.0.1", 4, 2, 2},         {"localhost:2121", 4, 2, 2}, {"LocalHost", 4, 8, 4},
        {"[::1]:21", 4, 1, 1},          {"127.7.0.1", 1, 8, 1},      {"127.0.0.1", 4, 0, 1},
        {"example.com", 4, 2, 4},       {"10.0.0.1:21", 4, 1, 4},    {"[2001:db8::1]", 4, 2, 4},
        {"localhost.example", 4, 2, 4},
    };
    for (const Case &c : cases) {
        const RemoteEndpoint endpoint =
            ParseRemoteHost(QString::fromLatin1(c.host), 21, QStringLiteral("FTP"));
        EXPECT_EQ(SessionsFor(endpoint, c.wanted, c.processors), c.sessions) << c.host;
    }
}

TEST_F(FtpClientTest, ChangesFolderAbsoluteAndRelative)
{
    ASSERT_TRUE(QDir(home()).mkpath(QStringLiteral("a/b")));
    const QString file = local(QStringLiteral("f.txt"), "where am I");
    m_client.connect();

    m_client.changeDir(QStringLiteral("a"));
    m_client.changeDir(QStringLiteral("b"));
    m_client.store(file, QStringLiteral("1.txt"));
    m_client.changeDir(QStringLiteral("/"));
    m_client.changeDir(QStringLiteral("a/b"));
    m_client.store(file, QStringLiteral("2.txt"));
    m_client.changeDir(QStringLiteral("/a"));
    m_client.store(file, QStringLiteral("3.txt"));
    m_client.store(file, QStringLiteral("b/4.txt")); // remote paths are relative too

    EXPECT_EQ(ReadFileBytes(home(QStringLiteral("a/b/1.txt"))), "where am I");
    EXPECT_TRUE(QFile::exists(home(QStringLiteral("a/b/2.txt"))));
    EXPECT_TRUE(QFile::exists(home(QStringLiteral("a/3.txt"))));
    EXPECT_TRUE(QFile::exists(home(QStringLiteral("a/b/4.txt"))));

    const QString message = errorOf([&] { m_client.changeDir(QStringLiteral("missing")); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("CWD missing: 550"))) << message.toStdString();
    EXPECT_TRUE(m_client.isConnected()) << "a refusal keeps the session";
    m_client.changeDir(QStringLiteral("b"));
}

TEST_F(FtpClientTest, MakesFoldersAndReportsRefusals)
{
    m_client.connect();
    m_client.makeDir(QStringLiteral("new"));
    EXPECT_TRUE(QDir(home(QStringLiteral("new"))).exists());
    const QString message = errorOf([&] { m_client.makeDir(QStringLiteral("new")); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("MKD new: 550"))) << message.toStdString();
    EXPECT_TRUE(m_client.isConnected());
    m_client.changeDir(QStringLiteral("new"));
}

class FtpClientNoMkdTest : public FtpClientTest {
    FtpTestServer::Options serverOptions() const override
    {
        FtpTestServer::Options options;
        options.permissions = QStringLiteral("elrw"); // no 'm': MKD is not allowed
        return options;
    }
};

TEST_F(FtpClientNoMkdTest, MakeDirWithoutPermissionIsRefused)
{
    m_client.connect();
    const QString message = errorOf([&] { m_client.makeDir(QStringLiteral("x")); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("MKD x: 550"))) << message.toStdString();
    EXPECT_FALSE(QDir(home(QStringLiteral("x"))).exists());
    EXPECT_TRUE(m_client.isConnected());
}

TEST_F(FtpClientTest, StoresBytesUnchangedFromEmptyToSeveralMegabytes)
{
    QByteArray everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte.append(static_cast<char>(i));
    everyByte += "\r\n\n\r\x1a\r\n";
    const QByteArray big = randomBytes(3 * 1024 * 1024 + 17);

    std::vector<qint64> work;
    m_client.setWorkHandler([&](qint64 bytes) { work.push_back(bytes); });
    m_client.setWorkIntervalMs(0);
    m_client.connect();
    m_client.store(local(QStringLiteral("every"), everyByte), QStringLiteral("every.bin"));
    m_client.store(local(QStringLiteral("empty"), QByteArray()), QStringLiteral("empty.bin"));
    ASSERT_FALSE(work.empty());
    EXPECT_EQ(work.back(), 0) << "an empty file reports its zero bytes";
    work.clear();
    m_client.store(local(QStringLiteral("big"), big), QStringLiteral("big.bin"));

    EXPECT_EQ(ReadFileBytes(home(QStringLiteral("every.bin"))), everyByte);
    EXPECT_TRUE(QFile::exists(home(QStringLiteral("empty.bin"))));
    EXPECT_EQ(QFileInfo(home(QStringLiteral("empty.bin"))).size(), 0);
    EXPECT_EQ(ReadFileBytes(home(QStringLiteral("big.bin"))), big);

    // Counts along the way depend on the link (a slow one is covered by the
    // publish tests); they only grow, and the last is the whole file.
    ASSERT_FALSE(work.empty());
    EXPECT_TRUE(std::is_sorted(work.begin(), work.end()));
    EXPECT_EQ(work.back(), big.size());

    // Either side of the size up to which a file goes out with its command.
    for (const qsizetype size : {32 * 1024, 32 * 1024 + 1}) {
        const QByteArray bytes = randomBytes(size);
        m_client.store(local(QStringLiteral("edge"), bytes), QStringLiteral("edge.bin"));
        EXPECT_EQ(ReadFileBytes(home(QStringLiteral("edge.bin"))), bytes) << size;
    }
}

TEST_F(FtpClientTest, StoreReplacesAnExistingFileInsteadOfAppending)
{
    WriteFileBytes(home(QStringLiteral("page.php")), QByteArray(5000, 'o'));
    m_client.connect();
    m_client.store(local(QStringLiteral("new"), "short"), QStringLiteral("page.php"));
    EXPECT_EQ(ReadFileBytes(home(QStringLiteral("page.php"))), "short");
}

TEST_F(FtpClientTest, StoreFailuresNameWhatFailedAndKeepTheSession)
{
    m_client.connect();
    QString message = errorOf(
        [&] { m_client.store(m_local.filePath(QStringLiteral("absent")), QStringLiteral("x")); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Cannot read file"))) << message.toStdString();

    const QString file = local(QStringLiteral("f"), "data");
    message = errorOf([&] { m_client.store(file, QStringLiteral("no/such/folder.txt")); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("STOR no/such/folder.txt: 550")))
        << message.toStdString();

    // A remote name with a line break must not reach the server as two commands.
    message = errorOf([&] { m_client.store(file, QStringLiteral("a.txt\r\nDELE b.txt")); });
    EXPECT_TRUE(message.contains(QStringLiteral("line break"))) << message.toStdString();
    message = errorOf([&] { m_client.changeDir(QStringLiteral("x\nMKD evil")); });
    EXPECT_TRUE(message.contains(QStringLiteral("line break"))) << message.toStdString();
    EXPECT_FALSE(QDir(home(QStringLiteral("evil"))).exists());

    EXPECT_TRUE(m_client.isConnected());
    m_client.store(file, QStringLiteral("after.txt"));
    EXPECT_EQ(ReadFileBytes(home(QStringLiteral("after.txt"))), "data");
    EXPECT_EQ(QDir(home()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("after.txt")});
}

TEST_F(FtpClientTest, RenamesOverAnExistingFileAndDeletes)
{
    WriteFileBytes(home(QStringLiteral("page.php")), "old");
    m_client.connect();
    m_client.store(local(QStringLiteral("new"), "new"), QStringLiteral(".part"));
    m_client.rename(QStringLiteral(".part"), QStringLiteral("page.php"));
    EXPECT_EQ(ReadFileBytes(home(QStringLiteral("page.php"))), "new");
    EXPECT_FALSE(QFile::exists(home(QStringLiteral(".part"))));

    QString message =
        errorOf([&] { m_client.rename(QStringLiteral("gone"), QStringLiteral("x")); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("RNFR gone: 550"))) << message.toStdString();
    m_client.removeFile(QStringLiteral("page.php"));
    EXPECT_FALSE(QFile::exists(home(QStringLiteral("page.php"))));
    message = errorOf([&] { m_client.removeFile(QStringLiteral("page.php")); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("DELE page.php: 550"))) << message.toStdString();
    // A line break in the second name stops the rename before the first is sent.
    message = errorOf([&] { m_client.rename(QStringLiteral("a"), QStringLiteral("b\r\nDELE c")); });
    EXPECT_TRUE(message.contains(QStringLiteral("line break"))) << message.toStdString();
    EXPECT_TRUE(m_client.isConnected());
    m_client.makeDir(QStringLiteral("still-in-step"));
    EXPECT_TRUE(QDir(home(QStringLiteral("still-in-step"))).exists());
    // Making a folder also asked for the next store's port: no reply is left unread.
    m_client.store(local(QStringLiteral("s"), "s"), QStringLiteral("still-in-step/s.txt"));
    EXPECT_EQ(ReadFileBytes(home(QStringLiteral("still-in-step/s.txt"))), "s");
    message = errorOf([&] { m_client.makeDir(QStringLiteral("still-in-step")); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("MKD still-in-step: 550")))
        << message.toStdString();
    m_client.removeFile(QStringLiteral("still-in-step/s.txt"));
    EXPECT_FALSE(QFile::exists(home(QStringLiteral("still-in-step/s.txt"))));
}

class FtpClientPasvTest : public FtpClientTest {
    FtpTestServer::Options serverOptions() const override
    {
        FtpTestServer::Options options;
        options.refuseEpsv = true;
        return options;
    }
};

TEST_F(FtpClientPasvTest, FallsBackToPasvWhenEpsvIsRefused)
{
    const QByteArray bytes = randomBytes(300000);
    m_client.connect();
    m_client.store(local(QStringLiteral("one"), bytes), QStringLiteral("one.bin"));
    m_client.store(local(QStringLiteral("two"), "2"), QStringLiteral("two.bin"));
    EXPECT_EQ(ReadFileBytes(home(QStringLiteral("one.bin"))), bytes);
    EXPECT_EQ(ReadFileBytes(home(QStringLiteral("two.bin"))), "2");
}

TEST_F(FtpClientTest, ServerStoppedMidSessionIsAnErrorAndTheNextSessionWorks)
{
    const QString file = local(QStringLiteral("f"), "data");
    m_client.connect();
    m_client.store(file, QStringLiteral("before.txt"));
    m_server->stop();

    const QString message = errorOf([&] { m_client.store(file, QStringLiteral("after.txt")); });
    EXPECT_TRUE(message.contains(QStringLiteral("closed the connection"))) << message.toStdString();
    EXPECT_FALSE(m_client.isConnected());
    EXPECT_FALSE(QFile::exists(home(QStringLiteral("after.txt"))));

    m_server = std::make_unique<FtpTestServer>(m_home.path());
    m_client.setHost(m_server->hostAndPort());
    m_client.connect();
    m_client.store(file, QStringLiteral("after.txt"));
    EXPECT_TRUE(QFile::exists(home(QStringLiteral("after.txt"))));
}

TEST_F(FtpClientTest, ServerKilledDuringATransferIsAnErrorNotASignal)
{
    // The transfer breaks off half way: a clear error naming the file, the
    // session dropped, and the test process still alive.
    const QString file = local(QStringLiteral("big"), randomBytes(64 * 1024 * 1024));
    m_client.setWorkIntervalMs(0);
    m_client.setWorkHandler([&](qint64) { m_server->stop(); });
    m_client.connect();
    const QString message = errorOf([&] { m_client.store(file, QStringLiteral("big.bin")); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("STOR big.bin: "))) << message.toStdString();
    EXPECT_FALSE(m_client.isConnected());
}

TEST(FtpClientSilentServer, AServerThatNeverAnswersTimesOut)
{
    // The listen backlog completes the connection; nobody ever writes a greeting.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    FtpClient client;
    client.setHost(QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()));
    client.setUser(QStringLiteral("u"));
    client.setPassword(QStringLiteral("p"));
    client.setTimeoutMs(300);
    const QString message = errorOf([&] { client.connect(); });
    EXPECT_TRUE(message.contains(QStringLiteral("did not answer within 0.3 s")))
        << message.toStdString();
    EXPECT_FALSE(client.isConnected());
}

namespace {

// A scripted server on a plain socket in its own thread: it answers each
// command line with the next canned reply, so replies spread over several
// lines can be tested exactly.
class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::string> replies)
        : m_replies(std::move(replies)), m_stand([this](int peer) { serve(peer); })
    {
    }
    quint16 port() const { return m_stand.port(); }
    std::vector<std::string> commands() const { return m_commands; } // after the client quit

private:
    void serve(int peer)
    {
        std::string pending;
        for (size_t next = 0; next < m_replies.size(); ++next) {
            if (next > 0) { // the first reply is the greeting
                size_t end;
                while ((end = pending.find("\r\n")) == std::string::npos) {
                    char buffer[512];
                    const ssize_t count = ::recv(peer, buffer, sizeof buffer, 0);
                    if (count <= 0)
                        return;
                    pending.append(buffer, static_cast<size_t>(count));
                }
                m_commands.push_back(pending.substr(0, end));
                pending.erase(0, end + 2);
            }
            const std::string &reply = m_replies[next];
            ::send(peer, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
        char buffer[64];
        while (::recv(peer, buffer, sizeof buffer, 0) > 0) {
        }
    }

    std::vector<std::string> m_replies;
    std::vector<std::string> m_commands;
    LoopbackStandIn m_stand; // last: its thread uses the members above
};

} // namespace

TEST(FtpClientReplies, MultiLineRepliesAreReadWholeAndQuoted)
{
    ScriptedServer server({"220-Welcome\r\n220-to the\r\n220 test server\r\n",
                           "331-User ok\r\n more text\r\n331 send the password\r\n", "230 in\r\n",
                           "200 binary\r\n", "550-No such folder\r\n550-really\r\n550 none\r\n",
                           "250 ok\r\n", "221 bye\r\n"});
    FtpClient client;
    client.setTimeoutMs(5000);
    client.setHost(QStringLiteral("127.0.0.1:%1").arg(server.port()));
    client.setUser(QStringLiteral("me"));
    client.setPassword(QStringLiteral("pw"));
    client.connect();
    const QString message = errorOf([&] { client.changeDir(QStringLiteral("gone")); });
    EXPECT_EQ(message, QStringLiteral("CWD gone: 550-No such folder\n550-really\n550 none"));
    client.changeDir(QStringLiteral("here"));
    client.disconnect();
    EXPECT_EQ(server.commands(), (std::vector<std::string>{"USER me", "PASS pw", "TYPE I",
                                                           "CWD gone", "CWD here", "QUIT"}));
}

TEST(FtpClientReplies, GarbageInsteadOfAReplyDropsTheSession)
{
    ScriptedServer server({"hello there\r\n"});
    FtpClient client;
    client.setTimeoutMs(5000);
    client.setHost(QStringLiteral("127.0.0.1:%1").arg(server.port()));
    const QString message = errorOf([&] { client.connect(); });
    EXPECT_TRUE(message.contains(QStringLiteral("unreadable reply: hello there")))
        << message.toStdString();
    EXPECT_FALSE(client.isConnected());
}
