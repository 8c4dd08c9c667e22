// The FTP connection with explicit TLS against real servers on loopback:
// pyftpdlib's TLS handler (certificates made by openssl for each test),
// pure-ftpd and proftpd with TLS required; and two stand-ins for servers whose
// handshake goes wrong.

#include "foundation/errors.h"
#include "foundation/host_trust.h"
#include "net/ftp_client.h"
#include "project/project.h"
#include "project/publish_engine.h"
#include "support/ftp_server.h"
#include "support/loopback_stand_in.h"
#include "support/proftpd_server.h"
#include "support/pure_ftpd_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QTemporaryDir>

#include <string>
#include <sys/socket.h>

namespace {

// Answers certificate questions from a script and records them.
class ScriptedTrust : public HostTrust {
public:
    struct Question {
        QString host;
        QString fingerprint;
        QString problem;
    };

    bool trustCertificate(const QString &host, const QString &fingerprint,
                          const QString &problem) override
    {
        questions.push_back({host, fingerprint, problem});
        return answer;
    }
    bool trustHostKey(const QString &, const QString &, const QString &) override
    {
        ADD_FAILURE() << "an FTP session asked about an SSH host key";
        return false;
    }

    bool answer = false;
    std::vector<Question> questions;
};

QString errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const AppError &error) {
        return error.message();
    }
    return QStringLiteral("<no error>");
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(generator.bounded(256));
    return bytes;
}

QStringList commandsIn(const QString &log)
{
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

bool sentLogin(const QStringList &commands)
{
    for (const QString &command : commands)
        if (command.startsWith(QStringLiteral("USER")) || command == QStringLiteral("PASS"))
            return true;
    return false;
}

class FtpTlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid() && m_local.isValid() && m_certs.isValid());
        m_certificate = MakeSelfSignedCertificate(m_certs.path(), QStringLiteral("server"));
        m_log = m_certs.filePath(QStringLiteral("commands.log"));
        m_client.setTimeoutMs(10000);
        m_client.setTls(FtpTls::Required);
        m_client.setUser(QStringLiteral("tester"));
        m_client.setPassword(QStringLiteral("secret"));
    }

    FtpTestServer::Options tlsOptions(const TestCertificate &certificate) const
    {
        FtpTestServer::Options options;
        options.tlsCertificate = certificate.certificate;
        options.tlsKey = certificate.key;
        options.tlsControlRequired = true;
        options.tlsDataRequired = true;
        options.commandLog = m_log;
        return options;
    }

    void startServer(const FtpTestServer::Options &options)
    {
        m_server.reset();
        m_server = std::make_unique<FtpTestServer>(m_home.path(), options);
        m_client.setHost(m_server->hostAndPort());
    }

    QString local(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_local.filePath(name);
        WriteFileBytes(path, bytes);
        return path;
    }

    QTemporaryDir m_home;
    QTemporaryDir m_local;
    QTemporaryDir m_certs;
    TestCertificate m_certificate;
    QString m_log;
    std::unique_ptr<FtpTestServer> m_server;
    ScriptedTrust m_trust;
    FtpClient m_client;
};

} // namespace

TEST(FtpTlsMode, ProjectTextsMapToModesAndOthersAreRejected)
{
    EXPECT_EQ(FtpTlsFromText(QString()), FtpTls::Off);
    EXPECT_EQ(FtpTlsFromText(QStringLiteral("off")), FtpTls::Off);
    EXPECT_EQ(FtpTlsFromText(QStringLiteral("required")), FtpTls::Required);
    EXPECT_EQ(FtpTlsFromText(QStringLiteral(" When Offered ")), FtpTls::WhenOffered);
    EXPECT_EQ(FtpTlsFromText(QStringLiteral("REQUIRED")), FtpTls::Required);
    EXPECT_FALSE(FtpTlsFromText(QStringLiteral("yes")).has_value());
    EXPECT_FALSE(FtpTlsFromText(QStringLiteral("when-offered")).has_value());
}

TEST_F(FtpTlsTest, RefusedCertificateEndsBeforeTheLoginWithTheHostAndTheProblem)
{
    startServer(tlsOptions(m_certificate));
    m_client.setHostTrust(&m_trust);
    m_trust.answer = false;
    const QString message = errorOf([&] { m_client.connect(); });

    ASSERT_EQ(m_trust.questions.size(), 1u);
    const ScriptedTrust::Question &asked = m_trust.questions.front();
    EXPECT_EQ(asked.host, QStringLiteral("127.0.0.1"));
    // Exactly what the user can compare with openssl's own output.
    EXPECT_EQ(asked.fingerprint, m_certificate.fingerprint);
    EXPECT_TRUE(asked.problem.contains(QStringLiteral("self signed"), Qt::CaseInsensitive) ||
                asked.problem.contains(QStringLiteral("self-signed"), Qt::CaseInsensitive))
        << asked.problem.toStdString();
    EXPECT_TRUE(message.contains(m_server->hostAndPort())) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("not trusted"))) << message.toStdString();
    EXPECT_TRUE(message.contains(asked.problem)) << message.toStdString();
    EXPECT_FALSE(m_client.isConnected());
    const QStringList commands = commandsIn(m_log);
    EXPECT_TRUE(commands.contains(QStringLiteral("AUTH TLS"))) << commands.join(u',').toStdString();
    EXPECT_FALSE(sentLogin(commands)) << commands.join(u',').toStdString();

    // With nobody to ask, the certificate is refused the same way.
    m_client.setHostTrust(nullptr);
    const QString unasked = errorOf([&] { m_client.connect(); });
    EXPECT_TRUE(unasked.contains(QStringLiteral("not trusted"))) << unasked.toStdString();
    EXPECT_FALSE(sentLogin(commandsIn(m_log)));
}

TEST_F(FtpTlsTest, AcceptedCertificateCarriesSmallAndLargeFilesAndIsNotAskedAgain)
{
    startServer(tlsOptions(m_certificate));
    m_client.setHostTrust(&m_trust);
    m_trust.answer = true;
    m_client.connect();
    ASSERT_TRUE(m_client.isConnected());
    EXPECT_TRUE(m_client.connectionNote().startsWith(QStringLiteral("Encrypted with TLS 1.")))
        << m_client.connectionNote().toStdString();
    EXPECT_TRUE(m_client.connectionNote().endsWith(QStringLiteral("certificate accepted by you")))
        << m_client.connectionNote().toStdString();

    // Below and above the size sent right behind its command, and an empty one.
    const QByteArray small = randomBytes(5000, 1);
    const QByteArray large = randomBytes(3 * 1024 * 1024 + 17, 2);
    std::vector<qint64> work;
    m_client.setWorkHandler([&](qint64 bytes) { work.push_back(bytes); });
    m_client.store(local(QStringLiteral("small.bin"), small), QStringLiteral("small.bin"));
    m_client.store(local(QStringLiteral("large.bin"), large), QStringLiteral("large.bin"));
    m_client.store(local(QStringLiteral("empty.txt"), {}), QStringLiteral("empty.txt"));
    m_client.rename(QStringLiteral("small.bin"), QStringLiteral("renamed.bin"));
    // The store right after a rename uses the port opened ahead, over TLS too.
    m_client.store(local(QStringLiteral("after.txt"), "after"), QStringLiteral("after.txt"));
    m_client.disconnect();

    EXPECT_EQ(ReadFileBytes(m_home.filePath(QStringLiteral("renamed.bin"))), small);
    EXPECT_EQ(ReadFileBytes(m_home.filePath(QStringLiteral("large.bin"))), large);
    EXPECT_TRUE(QFileInfo::exists(m_home.filePath(QStringLiteral("empty.txt"))));
    EXPECT_EQ(QFileInfo(m_home.filePath(QStringLiteral("empty.txt"))).size(), 0);
    EXPECT_EQ(ReadFileBytes(m_home.filePath(QStringLiteral("after.txt"))), "after");
    ASSERT_FALSE(work.empty());
    EXPECT_TRUE(std::find(work.begin(), work.end(), large.size()) != work.end());

    const QStringList commands = commandsIn(m_log);
    for (const char *expected : {"AUTH TLS", "PBSZ 0", "PROT P"})
        EXPECT_TRUE(commands.contains(QLatin1String(expected))) << expected;
    EXPECT_LT(commands.indexOf(QStringLiteral("AUTH TLS")),
              commands.indexOf(QStringLiteral("USER tester")));

    // The accepted fingerprint is kept: the next connect does not ask.
    EXPECT_EQ(m_client.trustedFingerprints(), QStringList{m_certificate.fingerprint});
    m_client.connect();
    EXPECT_EQ(m_trust.questions.size(), 1u);
    m_client.disconnect();
}

TEST_F(FtpTlsTest, RememberedFingerprintIsTrustedAndAChangedCertificateAsksAgain)
{
    startServer(tlsOptions(m_certificate));
    m_client.setHostTrust(&m_trust);
    m_client.setTrustedFingerprints({m_certificate.fingerprint.toLower()});
    m_client.connect();
    EXPECT_TRUE(m_trust.questions.empty());
    EXPECT_TRUE(m_client.connectionNote().endsWith(QStringLiteral("accepted by you")));
    m_client.disconnect();

    // The host now shows another certificate: the old answer does not cover it.
    const TestCertificate other = MakeSelfSignedCertificate(m_certs.path(), QStringLiteral("new"));
    ASSERT_NE(other.fingerprint, m_certificate.fingerprint);
    startServer(tlsOptions(other));
    m_trust.answer = false;
    const QString message = errorOf([&] { m_client.connect(); });
    ASSERT_EQ(m_trust.questions.size(), 1u);
    EXPECT_EQ(m_trust.questions.front().fingerprint, other.fingerprint);
    EXPECT_TRUE(message.contains(other.fingerprint)) << message.toStdString();
    EXPECT_FALSE(m_client.isConnected());
}

TEST_F(FtpTlsTest, CertificateOfAKnownAuthorityIsVerifiedWithoutAsking)
{
    QString authority;
    const TestCertificate signedOne = MakeAuthoritySignedCertificate(m_certs.path(), &authority);
    startServer(tlsOptions(signedOne));
    m_client.setHostTrust(&m_trust);
    m_client.setExtraCaCertificates(QSslCertificate::fromPath(authority));
    m_client.connect();
    EXPECT_TRUE(m_trust.questions.empty());
    EXPECT_TRUE(m_client.connectionNote().endsWith(QStringLiteral("; certificate verified")))
        << m_client.connectionNote().toStdString();
    m_client.store(local(QStringLiteral("a.txt"), "verified"), QStringLiteral("a.txt"));
    m_client.disconnect();
    EXPECT_EQ(ReadFileBytes(m_home.filePath(QStringLiteral("a.txt"))), "verified");
}

TEST_F(FtpTlsTest, DataConnectionShowingAnotherCertificateFailsTheStoreAndDropsTheSession)
{
    const TestCertificate other = MakeSelfSignedCertificate(m_certs.path(), QStringLiteral("data"));
    FtpTestServer::Options options = tlsOptions(m_certificate);
    options.dataCertificate = other.certificate;
    options.dataKey = other.key;
    startServer(options);
    m_client.setTrustedFingerprints({m_certificate.fingerprint});
    m_client.connect();
    const QString message = errorOf(
        [&] { m_client.store(local(QStringLiteral("x.txt"), "x"), QStringLiteral("x.txt")); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("STOR x.txt: TLS on the data connection failed")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(other.fingerprint)) << message.toStdString();
    EXPECT_FALSE(m_client.isConnected());
    // Nothing of the file went to a stranger's data connection.
    EXPECT_EQ(QFileInfo(m_home.filePath(QStringLiteral("x.txt"))).size(), 0);
}

TEST_F(FtpTlsTest, DataConnectionThatNeverAnswersTheHandshakeTimesOut)
{
    FtpTestServer::Options options = tlsOptions(m_certificate);
    options.fault = QStringLiteral("plaindata");
    startServer(options);
    m_client.setTrustedFingerprints({m_certificate.fingerprint});
    m_client.setTimeoutMs(1500);
    m_client.connect();
    const QString message = errorOf(
        [&] { m_client.store(local(QStringLiteral("x.txt"), "x"), QStringLiteral("x.txt")); });
    EXPECT_EQ(
        message,
        QStringLiteral("STOR x.txt: TLS on the data connection failed: no answer within 1.5 s"));
    EXPECT_FALSE(m_client.isConnected());
    // The next connect starts afresh.
    m_client.connect();
    EXPECT_TRUE(m_client.isConnected());
}

TEST_F(FtpTlsTest, PlainOnlyServerStopsARequiredSessionBeforeTheLoginAndServesAnOfferedOne)
{
    FtpTestServer::Options options;
    options.commandLog = m_log;
    startServer(options);
    const QString message = errorOf([&] { m_client.connect(); });
    EXPECT_TRUE(message.startsWith(m_server->hostAndPort() + QStringLiteral(" does not offer TLS")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("the password was not sent")));
    EXPECT_FALSE(m_client.isConnected());
    EXPECT_FALSE(sentLogin(commandsIn(m_log))) << commandsIn(m_log).join(u',').toStdString();

    m_client.setTls(FtpTls::WhenOffered);
    m_client.connect();
    EXPECT_TRUE(m_client.connectionNote().startsWith(QStringLiteral("Not encrypted: ") +
                                                     m_server->hostAndPort() +
                                                     QStringLiteral(" does not offer TLS")))
        << m_client.connectionNote().toStdString();
    m_client.store(local(QStringLiteral("p.txt"), "plain"), QStringLiteral("p.txt"));
    m_client.disconnect();
    EXPECT_EQ(ReadFileBytes(m_home.filePath(QStringLiteral("p.txt"))), "plain");
    EXPECT_FALSE(commandsIn(m_log).contains(QStringLiteral("PROT P")));

    // Plain FTP asked for: no AUTH at all and nothing to say about it.
    QFile::remove(m_log);
    m_client.setTls(FtpTls::Off);
    m_client.connect();
    EXPECT_TRUE(m_client.connectionNote().isEmpty());
    m_client.disconnect();
    EXPECT_FALSE(commandsIn(m_log).contains(QStringLiteral("AUTH TLS")));
}

TEST_F(FtpTlsTest, WholePublishThroughTheEngineArrivesByteForByte)
{
    startServer(tlsOptions(m_certificate));
    m_client.setTrustedFingerprints({m_certificate.fingerprint});
    const QString site = m_local.filePath(QStringLiteral("site"));
    Project project;
    project.FileName = site + QStringLiteral("/site.wdx");
    project.Ftp.Host = m_server->hostAndPort();
    project.Ftp.User = QStringLiteral("tester");
    project.Ftp.Pass = QStringLiteral("secret");
    project.Ftp.Folder = QStringLiteral("/www");
    QStringList log;
    project.OnWorkspaceLog.bind([&](QObject *) { log << project.LogText; });
    const std::vector<std::pair<QString, QByteArray>> files{
        {QStringLiteral("index.php"), "<?php echo 'home';\r\n"},
        {QStringLiteral("wp-includes/js/big.js"), randomBytes(700 * 1024, 3)},
        {QStringLiteral("wp-includes/css/a.css"), "body{}"},
        {QStringLiteral("wp-content/themes/t/functions.php"), randomBytes(40 * 1024, 4)}};
    for (const auto &[name, bytes] : files) {
        QDir().mkpath(QFileInfo(site + u'/' + name).absolutePath());
        WriteFileBytes(site + u'/' + name, bytes);
        project.AddFiles({site + u'/' + name});
    }
    PublishFiles(project, m_client, -1);
    for (const auto &[name, bytes] : files)
        EXPECT_EQ(ReadFileBytes(m_home.filePath(QStringLiteral("www/") + name)), bytes)
            << name.toStdString();
    EXPECT_TRUE(log.last().startsWith(QStringLiteral("Done. Published to: ")))
        << log.join(u'\n').toStdString();
}

namespace {

// A server that accepts AUTH TLS and then either says nothing more (a stall)
// or answers the handshake with bytes that are not TLS.
class BrokenTlsServer {
public:
    explicit BrokenTlsServer(bool garbage)
        : m_garbage(garbage), m_stand([this](int peer) { serve(peer); })
    {
    }
    QString hostAndPort() const { return m_stand.hostAndPort(); }
    std::string received() const { return m_received; } // after the client went

private:
    void serve(int peer)
    {
        const std::string greeting = "220 stand-in\r\n";
        ::send(peer, greeting.data(), greeting.size(), MSG_NOSIGNAL);
        char buffer[4096];
        bool authorised = false;
        ssize_t count;
        while ((count = ::recv(peer, buffer, sizeof buffer, 0)) > 0) {
            m_received.append(buffer, static_cast<size_t>(count));
            if (!authorised && m_received.find("AUTH TLS\r\n") != std::string::npos) {
                authorised = true;
                const std::string go = "234 go ahead\r\n";
                ::send(peer, go.data(), go.size(), MSG_NOSIGNAL);
            } else if (authorised && m_garbage) {
                const std::string junk = "500 this is not TLS at all\r\n";
                ::send(peer, junk.data(), junk.size(), MSG_NOSIGNAL);
                break;
            }
        }
    }

    bool m_garbage;
    std::string m_received;
    LoopbackStandIn m_stand; // last: its thread uses the members above
};

} // namespace

TEST(FtpTlsHandshake, StalledHandshakeIsCutAfterTheTimeOutAndGarbageGivesTheTlsError)
{
    {
        BrokenTlsServer server(false);
        FtpClient client;
        client.setTls(FtpTls::WhenOffered);
        client.setHost(server.hostAndPort());
        client.setUser(QStringLiteral("me"));
        client.setPassword(QStringLiteral("pw"));
        client.setTimeoutMs(1000);
        const QString message = errorOf([&] { client.connect(); });
        EXPECT_EQ(message, QStringLiteral("The TLS handshake with %1 failed: no answer within 1 s")
                               .arg(server.hostAndPort()));
        EXPECT_FALSE(client.isConnected());
    }
    {
        BrokenTlsServer server(true);
        FtpClient client;
        client.setTls(FtpTls::Required);
        client.setHost(server.hostAndPort());
        client.setUser(QStringLiteral("me"));
        client.setPassword(QStringLiteral("pw"));
        client.setTimeoutMs(5000);
        const QString message = errorOf([&] { client.connect(); });
        EXPECT_TRUE(message.startsWith(
            QStringLiteral("The TLS handshake with %1 failed: ").arg(server.hostAndPort())))
            << message.toStdString();
        EXPECT_FALSE(message.endsWith(QStringLiteral("failed: "))) << message.toStdString();
        EXPECT_FALSE(client.isConnected());
        client.disconnect();
        EXPECT_EQ(server.received().find("PASS"), std::string::npos);
    }
}

namespace {

// A real server with TLS required; proftpd also wants each data connection to
// resume the control connection's TLS session.
struct RealTlsServer {
    const char *name;
    QString (*unavailableReason)();
    std::unique_ptr<RealFtpTestServer> (*start)(const QString &home, const QString &work,
                                                const TestCertificate &certificate);
};

class FtpTlsRealServer : public ::testing::TestWithParam<RealTlsServer> {};

template <typename Server>
std::unique_ptr<RealFtpTestServer> startServer(const QString &home, const QString &work,
                                               const TestCertificate &certificate)
{
    return std::make_unique<Server>(home, work, certificate.certificate, certificate.key);
}

} // namespace

TEST_P(FtpTlsRealServer, WholePublishWithTlsRequiredArrivesByteForByte)
{
    const QString reason = GetParam().unavailableReason();
    if (!reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString home = work.filePath(QStringLiteral("root/home"));
    const TestCertificate certificate =
        MakeSelfSignedCertificate(work.path(), QStringLiteral("server"));
    const std::unique_ptr<RealFtpTestServer> running =
        GetParam().start(home, work.path(), certificate);
    RealFtpTestServer &server = *running;

    // This server refuses a session that is not encrypted.
    {
        FtpClient plain;
        plain.setHost(server.hostAndPort());
        plain.setUser(QStringLiteral("tester"));
        plain.setPassword(QStringLiteral("secret"));
        plain.setTimeoutMs(10000);
        EXPECT_NE(errorOf([&] { plain.connect(); }), QStringLiteral("<no error>"));
    }

    const QString site = work.filePath(QStringLiteral("site"));
    Project project;
    project.FileName = site + QStringLiteral("/site.wdx");
    project.Ftp.Host = server.hostAndPort();
    project.Ftp.User = QStringLiteral("tester");
    project.Ftp.Pass = QStringLiteral("secret");
    project.Ftp.Folder = QStringLiteral("/public_html");
    QStringList log;
    project.OnWorkspaceLog.bind([&](QObject *) { log << project.LogText; });
    std::vector<std::pair<QString, QByteArray>> files;
    for (int i = 0; i < 30; ++i)
        files.emplace_back(QStringLiteral("wp-admin/d%1/f%2.php").arg(i % 4).arg(i),
                           randomBytes(200 + i * 997, static_cast<quint32>(10 + i)));
    files.emplace_back(QStringLiteral("wp-content/uploads/photo.jpg"),
                       randomBytes(2 * 1024 * 1024 + 3, 99));
    for (const auto &[name, bytes] : files) {
        QDir().mkpath(QFileInfo(site + u'/' + name).absolutePath());
        WriteFileBytes(site + u'/' + name, bytes);
        project.AddFiles({site + u'/' + name});
    }
    FtpClient client;
    client.setTls(FtpTls::Required);
    client.setTimeoutMs(10000);
    ScriptedTrust trust;
    trust.answer = true;
    client.setHostTrust(&trust);
    PublishFiles(project, client, -1);

    ASSERT_EQ(trust.questions.size(), 1u);
    EXPECT_EQ(trust.questions.front().fingerprint, certificate.fingerprint);
    for (const auto &[name, bytes] : files)
        EXPECT_EQ(ReadFileBytes(home + QStringLiteral("/public_html/") + name), bytes)
            << name.toStdString();
    EXPECT_TRUE(log.last().startsWith(QStringLiteral("Done. Published to: ")))
        << log.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Servers, FtpTlsRealServer,
    ::testing::Values(RealTlsServer{"pure_ftpd", &PureFtpdTestServer::unavailableReason,
                                    &startServer<PureFtpdTestServer>},
                      RealTlsServer{"proftpd", &ProftpdTestServer::unavailableReason,
                                    &startServer<ProftpdTestServer>}),
    [](const ::testing::TestParamInfo<RealTlsServer> &info) {
        return std::string(info.param.name);
    });
