// The publish engine over several sessions at once, one suite run against
// each real server and protocol: pyftpdlib, pure-ftpd and proftpd plain and
// with TLS required, OpenSSH's SFTP.

#include "foundation/errors.h"
#include "foundation/host_trust.h"
#include "net/ftp_client.h"
#include "net/sftp_client.h"
#include "project/project.h"
#include "project/publish.h"
#include "project/publish_engine.h"
#include "project/publish_record.h"
#include "support/ftp_server.h"
#include "support/proftpd_server.h"
#include "support/pure_ftpd_server.h"
#include "support/ssh_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <atomic>

namespace {

enum class Peer { Pyftpdlib, PureFtpd, PureFtpdTls, Proftpd, ProftpdTls, OpenSsh };

struct Case {
    const char *name;
    Peer peer;
};

class TrustAll final : public HostTrust {
public:
    bool trustCertificate(const QString &, const QString &, const QString &) override
    {
        return true;
    }
    bool trustHostKey(const QString &, const QString &, const QString &) override { return true; }
};

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(generator.bounded(256));
    return bytes;
}

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

class PublishSessions : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_work.isValid());
        m_site = m_work.filePath(QStringLiteral("site"));
        m_project.FileName = m_site + QStringLiteral("/site.wdx");
        m_project.Ftp.User = QStringLiteral("tester");
        m_project.Ftp.Pass = QStringLiteral("secret");
        const QString home = m_work.filePath(QStringLiteral("root/home"));
        switch (GetParam().peer) {
        case Peer::Pyftpdlib:
            QDir().mkpath(home);
            m_ftpd = std::make_unique<FtpTestServer>(home);
            m_project.Ftp.Host = m_ftpd->hostAndPort();
            m_project.Ftp.Folder = QStringLiteral("/www/site");
            m_remote = home + QStringLiteral("/www/site");
            break;
        case Peer::PureFtpd:
        case Peer::PureFtpdTls:
        case Peer::Proftpd:
        case Peer::ProftpdTls: {
            const Peer peer = GetParam().peer;
            const bool pure = peer == Peer::PureFtpd || peer == Peer::PureFtpdTls;
            const QString reason = pure ? PureFtpdTestServer::unavailableReason()
                                        : ProftpdTestServer::unavailableReason();
            if (!reason.isEmpty())
                GTEST_SKIP() << reason.toStdString();
            m_tls = peer == Peer::PureFtpdTls || peer == Peer::ProftpdTls;
            TestCertificate certificate;
            if (m_tls)
                certificate = MakeSelfSignedCertificate(m_work.path(), QStringLiteral("server"));
            if (pure)
                m_real = std::make_unique<PureFtpdTestServer>(
                    home, m_work.path(), certificate.certificate, certificate.key);
            else
                m_real = std::make_unique<ProftpdTestServer>(
                    home, m_work.path(), certificate.certificate, certificate.key);
            m_project.Ftp.Host = m_real->hostAndPort();
            m_project.Ftp.Folder = QStringLiteral("/public_html");
            m_remote = home + QStringLiteral("/public_html");
            break;
        }
        case Peer::OpenSsh:
            qunsetenv("SSH_AUTH_SOCK");
            m_ssh = std::make_unique<SshTestServer>();
            m_knownHosts = m_work.filePath(QStringLiteral("known_hosts"));
            WriteFileBytes(m_knownHosts, m_ssh->knownHostsLine().toUtf8() + '\n');
            m_project.Ftp.Host = m_ssh->hostAndPort();
            m_project.Ftp.User = SshTestServer::userName();
            m_project.Ftp.Pass.clear();
            m_remote = m_work.filePath(QStringLiteral("remote/www/site"));
            m_project.Ftp.Folder = m_remote;
            break;
        }
        m_record = std::make_unique<PublishRecord>(QStringLiteral("sessions"),
                                                   m_work.filePath(QStringLiteral("record.xml")));
    }

    std::unique_ptr<FtpConnection> connection()
    {
        ++m_opened;
        if (m_ssh) {
            auto client = std::make_unique<SftpClient>();
            client->setKnownHostsFile(m_knownHosts);
            client->setSshFolder(m_ssh->clientKeyFolder());
            client->setTimeoutMs(10000);
            return client;
        }
        auto client = std::make_unique<FtpClient>();
        client->setTimeoutMs(10000);
        if (m_tls) {
            client->setTls(FtpTls::Required);
            client->setHostTrust(&m_trust);
        }
        return client;
    }

    // A site of many small files and a few large ones in nested folders,
    // one locked file among them.
    void makeSite(int files)
    {
        for (int i = 0; i < files; ++i) {
            const QString name = QStringLiteral("d%1/s%2/f%3.php").arg(i % 3).arg(i % 5).arg(i);
            const qsizetype size = i % 9 == 0 ? 150 * 1024 + i : 100 + i * 37;
            addFile(name, randomBytes(size, quint32(i + 1)), i != 7);
        }
        addFile(QStringLiteral("index.php"), "<?php echo 'home';\n", true);
    }

    void addFile(const QString &name, const QByteArray &bytes, bool publish)
    {
        const QString path = m_site + u'/' + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteFileBytes(path, bytes);
        m_project.AddFiles({path});
        m_project.Files.Last()->Publish = publish;
        if (publish)
            m_expected.insert(name, bytes);
    }

    // One run with three sessions beside the first; `onLine` sees each line
    // with the engine, as it is logged.
    QStringList publish(bool changesOnly,
                        const std::function<void(PublishEngine &, const QString &)> &onLine = {})
    {
        QStringList lines;
        PublishEngine *running = nullptr;
        PublishEvents events;
        events.log = [&](const QString &line) {
            lines << line;
            if (onLine)
                onLine(*running, line);
        };
        PublishEngine engine(PublishSource::of(m_project), events);
        running = &engine;
        engine.setExtraConnections(3, [this] { return connection(); });
        std::unique_ptr<FtpConnection> first = connection();
        PublishOptions options;
        options.changesOnly = changesOnly;
        options.record = m_record.get();
        engine.publish(*first, -1, options);
        EXPECT_FALSE(first->isConnected());
        return lines;
    }

    QTemporaryDir m_work;
    QString m_site;
    QString m_remote;
    QString m_knownHosts;
    bool m_tls = false;
    Project m_project;
    std::unique_ptr<FtpTestServer> m_ftpd;
    std::unique_ptr<RealFtpTestServer> m_real;
    std::unique_ptr<SshTestServer> m_ssh;
    std::unique_ptr<PublishRecord> m_record;
    TrustAll m_trust;
    std::atomic<int> m_opened{0};
    QMap<QString, QByteArray> m_expected;
};

// Remote paths of the Putting lines, in log order, each once.
QStringList putPaths(const QStringList &lines)
{
    static const QRegularExpression putting(
        QStringLiteral("^\\d+% (\\d+) file of \\d+ Putting .* -> (.*)$"));
    QStringList paths;
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = putting.match(line);
        if (match.hasMatch() && !paths.contains(match.captured(2)))
            paths << match.captured(2);
    }
    return paths;
}

} // namespace

TEST_P(PublishSessions, EveryFileArrivesWholeAndTheLogReadsInProjectOrder)
{
    makeSite(40);
    const QStringList lines = publish(false);

    EXPECT_EQ(treeOf(m_remote), m_expected); // nothing else, no temporary name
    EXPECT_GE(m_opened.load(), 2);
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("Done. Published to: ")))
        << lines.last().toStdString();
    EXPECT_TRUE(lines.filter(QStringLiteral("!!!")).isEmpty())
        << lines.filter(QStringLiteral("!!!")).join(u'\n').toStdString();
    // Lines are held back until the files before them are out.
    QStringList fileLines;
    for (int i = 0; i < m_project.Files.Count(); ++i)
        fileLines << QStringLiteral("File:") + m_project.Files.Get(i)->Name;
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^File:"))), fileLines);
    const QStringList put = putPaths(lines);
    QStringList expectedOrder;
    for (int i = 0; i < m_project.Files.Count(); ++i) {
        const QString name = QDir(m_site).relativeFilePath(m_project.Files.Get(i)->Name);
        if (m_expected.contains(name))
            expectedOrder << name;
    }
    EXPECT_EQ(put, expectedOrder);
    // Each new folder is made once in the run, not once per session.
    QSet<QString> folders;
    for (const QString &name : m_expected.keys())
        folders.insert(QFileInfo(name).path());
    EXPECT_LE(lines.count(QStringLiteral("Trying to create path folders")), folders.size());

    // The record took every file: nothing is sent again.
    const QStringList again = publish(true);
    EXPECT_TRUE(putPaths(again).isEmpty()) << again.join(u'\n').toStdString();
}

TEST_P(PublishSessions, ACancelledRunTellsWhatWasNotSentAndPublishChangesSendsTheRest)
{
    makeSite(60);
    bool asked = false;
    const QStringList lines = publish(false, [&](PublishEngine &engine, const QString &line) {
        if (!asked && line == QStringLiteral("Done.")) {
            asked = true;
            engine.cancel();
        }
    });
    ASSERT_TRUE(asked);
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("Cancelled. Published in part to: ")))
        << lines.last().toStdString();
    const QStringList summary = lines.filter(QRegularExpression(QStringLiteral("^Cancelled: ")));
    ASSERT_EQ(summary.size(), 1) << lines.join(u'\n').toStdString();
    const QRegularExpressionMatch counts =
        QRegularExpression(QStringLiteral("^Cancelled: (\\d+) of (\\d+) files to send were sent; "
                                          "(\\d+) were not sent:$"))
            .match(summary.first());
    ASSERT_TRUE(counts.hasMatch()) << summary.first().toStdString();
    const int sent = counts.captured(1).toInt();
    const int notSent = counts.captured(3).toInt();
    EXPECT_EQ(counts.captured(2).toInt(), m_expected.size());
    EXPECT_EQ(sent + notSent, m_expected.size());
    EXPECT_GT(notSent, 0);
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^Not sent: "))).size(),
              std::min(notSent, 50));
    // What reached the host is whole, under its own name.
    const QMap<QString, QByteArray> partial = treeOf(m_remote);
    EXPECT_EQ(partial.size(), sent);
    for (auto it = partial.cbegin(); it != partial.cend(); ++it)
        EXPECT_EQ(it.value(), m_expected.value(it.key())) << it.key().toStdString();

    // Publish Changes sends exactly what the cancelled run left.
    const QStringList rest = publish(true);
    EXPECT_EQ(putPaths(rest).size(), notSent) << rest.join(u'\n').toStdString();
    EXPECT_EQ(treeOf(m_remote), m_expected);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, PublishSessions,
    ::testing::Values(Case{"pyftpdlib", Peer::Pyftpdlib}, Case{"pure_ftpd", Peer::PureFtpd},
                      Case{"pure_ftpd_tls", Peer::PureFtpdTls}, Case{"proftpd", Peer::Proftpd},
                      Case{"proftpd_tls", Peer::ProftpdTls}, Case{"openssh", Peer::OpenSsh}),
    [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });
