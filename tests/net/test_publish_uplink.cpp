// Publishing over a slow uplink, against the real pure-ftpd and its own
// throttle: the server keeps acknowledging into its buffers and drains them
// slowly, so the final reply of a large file comes long after the client
// handed over its last byte.

#include "foundation/errors.h"
#include "net/ftp_client.h"
#include "project/project.h"
#include "project/publish.h"
#include "project/publish_engine.h"
#include "project/publish_record.h"
#include "support/ftp_server.h"
#include "support/pure_ftpd_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

namespace {

struct UplinkCase {
    const char *name;
    int kilobytesPerSecond; // the server's throttle; 0 for none
    qint64 bigBytes;
    // Longer than the throttled server's own pauses, when nothing moves on
    // either connection (it reads 256 KB, then sleeps: up to 6.4 s at 60 KB/s,
    // 19 s at 20 KB/s), and shorter than the whole transfer.
    int silenceMs;
    // Small files beside the large one, 1 to 4: the throttled server pauses
    // after each file as after 256 KB.
    int smallFiles;
    bool tls; // TLS on the session and the data connections
    bool serverStopsReading;
};

void PrintTo(const UplinkCase &row, std::ostream *out)
{
    *out << row.name;
}

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : bytes)
        c = static_cast<char>(generator.bounded(256));
    return bytes;
}

QStringList temporaryUploadsBelow(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (QFileInfo(path).fileName().startsWith(QStringLiteral(".qs-upload-")))
            found << QDir(root).relativeFilePath(path);
    }
    return found;
}

class PublishUplinkTest : public ::testing::TestWithParam<UplinkCase> {
protected:
    void SetUp() override
    {
        const QString reason = PureFtpdTestServer::unavailableReason();
        if (!reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
        ASSERT_TRUE(m_work.isValid());
        m_home = m_work.filePath(QStringLiteral("root/home"));
        m_site = m_work.filePath(QStringLiteral("site"));
        m_project.FileName = m_site + QStringLiteral("/site.wdx");
        m_project.Ftp.User = QStringLiteral("tester");
        m_project.Ftp.Pass = QStringLiteral("secret");
        m_project.Ftp.Folder = QStringLiteral("/public_html");
        m_project.OnWorkspaceLog.bind([this](QObject *) { m_log << m_project.LogText; });
        // The large file after one small file and before the others.
        const QStringList small{QStringLiteral("index.php"), QStringLiteral("media/a.css"),
                                QStringLiteral("about.php"), QStringLiteral("media/b.js")};
        for (int i = 0; i < GetParam().smallFiles; ++i) {
            addFile(small.at(i), randomBytes(900 + 1000 * i, quint32(i)));
            if (i == 0)
                addFile(QStringLiteral("media/big.bin"), randomBytes(GetParam().bigBytes, 99));
        }
    }

    void addFile(const QString &name, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(m_site + u'/' + name).absolutePath());
        WriteFileBytes(m_site + u'/' + name, bytes);
        m_project.AddFiles({m_site + u'/' + name});
        m_files.emplace_back(name, bytes);
    }

    void startServer(int kilobytesPerSecond, bool tls)
    {
        TestCertificate certificate;
        if (tls)
            certificate = MakeSelfSignedCertificate(m_work.path(), QStringLiteral("pure"));
        m_server = std::make_unique<PureFtpdTestServer>(
            m_home, m_work.path(), certificate.certificate, certificate.key, kilobytesPerSecond);
        m_project.Ftp.Host = m_server->hostAndPort();
        m_client.setTls(tls ? FtpTls::Required : FtpTls::Off);
        if (tls)
            m_client.setTrustedFingerprints(QStringList{certificate.fingerprint});
    }

    QString published(const QString &name) const
    {
        return m_home + QStringLiteral("/public_html/") + name;
    }

    QTemporaryDir m_work;
    QString m_home;
    QString m_site;
    Project m_project;
    QStringList m_log;
    std::vector<std::pair<QString, QByteArray>> m_files;
    std::unique_ptr<PureFtpdTestServer> m_server;
    FtpClient m_client;
};

TEST_P(PublishUplinkTest, SilenceMeansNothingMovesOnEitherConnection)
{
    const UplinkCase &row = GetParam();
    startServer(row.kilobytesPerSecond, row.tls);
    FtpClient &client = m_client;
    client.setTimeoutMs(row.silenceMs);

    if (row.serverStopsReading) {
        // The server stops for good once the large file is under way.
        bool frozen = false;
        client.setWorkHandler([&](qint64 bytes) {
            if (!frozen && bytes > 0 && m_log.last().endsWith(QStringLiteral("media/big.bin"))) {
                m_server->freezeSessions(true);
                frozen = true;
            }
        });
        PublishRecord record(QStringLiteral("key"), m_work.filePath(QStringLiteral("record")));
        PublishOptions options;
        options.record = &record;
        // media/ is on the host from an earlier run, so the large file goes
        // up under a temporary name, as beside a copy it would replace.
        PublishFiles(m_project, client, 2, options);
        QElapsedTimer timer;
        timer.start();
        QString message;
        try {
            PublishFiles(m_project, client, -1, options);
        } catch (const AppError &error) {
            message = error.message();
        }
        EXPECT_TRUE(message.startsWith(QStringLiteral("STOR media/.qs-upload-big.bin: ")))
            << message.toStdString();
        EXPECT_GE(timer.elapsed(), row.silenceMs);
        EXPECT_LT(timer.elapsed(), 4 * row.silenceMs);
        EXPECT_TRUE(m_log.contains(QStringLiteral(
            "The connection is gone: the temporary upload media/.qs-upload-big.bin stays "
            "on the host until the next publish removes it")))
            << m_log.join(u'\n').toStdString();
        m_server->freezeSessions(false);
        // The server keeps what it took of the file under the temporary name.
        ASSERT_TRUE(FinishesWithin(10000, [&] {
            while (temporaryUploadsBelow(m_home).isEmpty())
                QThread::msleep(50);
        }));

        // A good run, here one that sends a single file, takes the leftover away.
        client.setWorkHandler({});
        m_log.clear();
        PublishFiles(m_project, client, 0, options);
        EXPECT_TRUE(m_log.contains(QStringLiteral(
            "Removed the temporary upload media/.qs-upload-big.bin left by an earlier run")))
            << m_log.join(u'\n').toStdString();
        EXPECT_EQ(ReadFileBytes(published(QStringLiteral("index.php"))), m_files[0].second);
        EXPECT_EQ(temporaryUploadsBelow(m_home), QStringList());
        return;
    }

    QElapsedTimer timer;
    timer.start();
    PublishFiles(m_project, client, -1);
    // The transfer took well longer than the silence allowed.
    EXPECT_GT(timer.elapsed(), 3 * row.silenceMs / 2);
    EXPECT_TRUE(m_log.last().startsWith(QStringLiteral("Done. Published to: ")))
        << m_log.join(u'\n').toStdString();
    for (const auto &[name, bytes] : m_files)
        EXPECT_TRUE(ReadFileBytes(published(name)) == bytes) << name.toStdString();
    EXPECT_EQ(temporaryUploadsBelow(m_home), QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    PureFtpd, PublishUplinkTest,
    ::testing::Values(
        UplinkCase{"ThreeMegabytesAt60KBps", 60, 3 * 1024 * 1024, 12000, 4, false, false},
        UplinkCase{"OneMegabyteAt20KBpsOverTls", 20, 1024 * 1024, 28000, 1, true, false},
        UplinkCase{"ServerThatStopsReading", 1000, 3 * 1024 * 1024, 2500, 4, false, true}),
    [](const ::testing::TestParamInfo<UplinkCase> &info) { return std::string(info.param.name); });

} // namespace
