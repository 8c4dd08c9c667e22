// The unchanged publish engine over SFTP to a real OpenSSH server: what
// arrives on the host, what the log says, and how failures end a run.

#include "foundation/errors.h"
#include "net/sftp_client.h"
#include "project/project.h"
#include "project/publish.h"
#include "project/publish_engine.h"
#include "support/ssh_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

namespace {

// Every file below `root`, hidden ones too, by '/' path relative to it.
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

std::string str(const QStringList &list)
{
    return list.join(QStringLiteral(" | ")).toStdString();
}

} // namespace

class SftpPublishTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qunsetenv("SSH_AUTH_SOCK");
        ASSERT_TRUE(m_remote.isValid() && m_local.isValid() && m_ssh.isValid());
        m_site = m_local.filePath(QStringLiteral("site")) + u'/';
        m_project.FileName = m_site + QStringLiteral("site.wdx");
        m_project.OnWorkspaceLog.bind([this](QObject *) {
            m_log << m_project.LogText;
            if (onLog)
                onLog(m_project.LogText);
        });
        startServer({});
    }

    void startServer(const SshTestServer::Options &options)
    {
        m_server = std::make_unique<SshTestServer>(options);
        const QString knownHosts = m_ssh.filePath(QStringLiteral("known_hosts"));
        WriteFileBytes(knownHosts, m_server->knownHostsLine().toUtf8() + '\n');
        m_client.setKnownHostsFile(knownHosts);
        m_client.setSshFolder(m_server->clientKeyFolder());
        m_client.setTimeoutMs(10000);
        m_project.Ftp.Host = m_server->hostAndPort();
        m_project.Ftp.User = SshTestServer::userName();
        m_project.Ftp.Pass.clear();
        m_project.Ftp.Folder = m_remote.filePath(QStringLiteral("www/site"));
    }

    QString addFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_site + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteFileBytes(path, bytes);
        m_project.AddFiles({path});
        return path;
    }

    QString target() const { return m_remote.filePath(QStringLiteral("www/site")); }

    QTemporaryDir m_remote;
    QTemporaryDir m_local;
    QTemporaryDir m_ssh;
    QString m_site;
    Project m_project;
    QStringList m_log;
    std::function<void(const QString &)> onLog;
    std::unique_ptr<SshTestServer> m_server;
    SftpClient m_client;
};

TEST_F(SftpPublishTest, FullPublishMirrorsTheProjectAndASecondRunReplacesIt)
{
    QByteArray binary(300 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>((i * 7919) >> 3);
    const QString index = addFile(QStringLiteral("index.php"), "<?php echo 'home';\r\n");
    addFile(QStringLiteral("inc/db.php"), "<?php // db\n");
    addFile(QStringLiteral("img/logo/big.bin"), binary);
    addFile(QStringLiteral("local.php"), "<?php // HOST SPECIFIC\n");

    PublishFiles(m_project, m_client, -1);
    const QMap<QString, QByteArray> first = treeOf(target());
    EXPECT_EQ(str(first.keys()), str({"img/logo/big.bin", "inc/db.php", "index.php"}));
    EXPECT_EQ(first.value(QStringLiteral("img/logo/big.bin")), binary);
    EXPECT_EQ(first.value(QStringLiteral("index.php")), QByteArray("<?php echo 'home';\r\n"));
    EXPECT_EQ(m_log.value(0), QStringLiteral("Publishing"));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Create ftp folder path")));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Trying to create path folders")));
    EXPECT_TRUE(m_log.contains(QStringLiteral("25% 1 file of 4 Putting ") + index +
                               QStringLiteral(" -> index.php")));
    EXPECT_EQ(m_log.filter(QStringLiteral("!!!")).size(), 0) << str(m_log);
    EXPECT_EQ(m_log.back(),
              QStringLiteral("Done. Published to: ") + m_server->hostAndPort() + target());
    EXPECT_FALSE(m_client.isConnected());

    // The second run finds every folder and renames over every file.
    WriteFileBytes(index, "<?php echo 'new home';\n");
    m_log.clear();
    PublishFiles(m_project, m_client, -1);
    const QMap<QString, QByteArray> second = treeOf(target());
    EXPECT_EQ(str(second.keys()), str(first.keys())); // no temporary names left behind
    EXPECT_EQ(second.value(QStringLiteral("index.php")), QByteArray("<?php echo 'new home';\n"));
    EXPECT_EQ(second.value(QStringLiteral("img/logo/big.bin")), binary);
    EXPECT_FALSE(m_log.contains(QStringLiteral("Create ftp folder path")));
    EXPECT_FALSE(m_log.contains(QStringLiteral("Trying to create path folders")));
    EXPECT_EQ(m_log.filter(QStringLiteral("The server")).size(), 0) << str(m_log);
    EXPECT_EQ(m_log.filter(QStringLiteral("!!!")).size(), 0) << str(m_log);
}

TEST_F(SftpPublishTest, ServerKilledMidRunEndsTheRunAndTheNextRunWorks)
{
    addFile(QStringLiteral("a.php"), "a");
    const QString big = addFile(QStringLiteral("big.bin"), QByteArray(8 * 1024 * 1024, 'z'));
    addFile(QStringLiteral("c.php"), "c");
    m_client.setWorkIntervalMs(0);
    bool killed = false;
    m_client.setWorkHandler([&](qint64 bytes) {
        if (!killed && bytes >= 1024 * 1024) {
            killed = true;
            m_server->stop();
        }
    });
    QString message;
    try {
        PublishFiles(m_project, m_client, -1);
        message = QStringLiteral("<no error>");
    } catch (const PublishIncomplete &) {
        message = QStringLiteral("<files left out instead of an ended run>");
    } catch (const AppError &error) {
        message = error.message();
    }
    EXPECT_TRUE(killed);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Storing "))) << message.toStdString();
    EXPECT_FALSE(m_client.isConnected());
    ASSERT_GE(m_log.size(), 2);
    EXPECT_TRUE(m_log[m_log.size() - 2].endsWith(QStringLiteral(" -> big.bin"))) << str(m_log);
    EXPECT_TRUE(m_log.back().startsWith(QStringLiteral("The connection is gone: "))) << str(m_log);
    EXPECT_FALSE(QFileInfo::exists(target() + QStringLiteral("/c.php")));

    m_client.setWorkHandler({});
    m_server->start();
    m_log.clear();
    PublishFiles(m_project, m_client, -1);
    const QMap<QString, QByteArray> tree = treeOf(target());
    // The half file of the killed run may stay under its temporary name;
    // the real names all hold whole files.
    EXPECT_EQ(tree.value(QStringLiteral("big.bin")), ReadFileBytes(big));
    EXPECT_EQ(tree.value(QStringLiteral("a.php")), QByteArray("a"));
    EXPECT_EQ(tree.value(QStringLiteral("c.php")), QByteArray("c"));
}

TEST_F(SftpPublishTest, ReadOnlyServerLeavesEveryFileOutAndSaysSo)
{
    SshTestServer::Options readOnly;
    readOnly.readOnly = true;
    startServer(readOnly);
    ASSERT_TRUE(QDir().mkpath(target()));
    const QString top = addFile(QStringLiteral("top.php"), "top");
    addFile(QStringLiteral("sub/deep.php"), "deep");

    int failed = -1;
    QStringList replies;
    try {
        PublishFiles(m_project, m_client, -1);
    } catch (const PublishIncomplete &error) {
        failed = error.failedFiles();
        replies = error.replies();
    }
    EXPECT_EQ(failed, 2) << str(m_log);
    ASSERT_EQ(replies.size(), 2);
    EXPECT_TRUE(replies[0].startsWith(QStringLiteral("top.php: Storing"))) << str(replies);
    EXPECT_TRUE(replies[0].contains(QStringLiteral("ermission denied"))) << str(replies);
    EXPECT_EQ(m_log.filter(QStringLiteral("!!!Error putting file: ")).size(), 1) << str(m_log);
    EXPECT_TRUE(m_log.contains(QStringLiteral("!!!Error creating path: sub"))) << str(m_log);
    EXPECT_EQ(m_log.back(),
              QStringLiteral("Published with 2 errors to: ") + m_server->hostAndPort() + target());
    EXPECT_TRUE(treeOf(target()).isEmpty());
}

TEST_F(SftpPublishTest, RelativeFolderLandsBelowTheSessionsStartNotTheHostsRoot)
{
    SshTestServer::Options options;
    options.startFolder = m_remote.path();
    startServer(options);
    m_project.Ftp.Folder = QStringLiteral("www/site");
    addFile(QStringLiteral("index.php"), "<?php echo 1;\n");
    addFile(QStringLiteral("inc/db.php"), "<?php // db\n");

    PublishFiles(m_project, m_client, -1);
    EXPECT_EQ(str(treeOf(target()).keys()), str({"inc/db.php", "index.php"})) << str(m_log);
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/www/site")));
    EXPECT_EQ(m_log.filter(QStringLiteral("!!!")).size(), 0) << str(m_log);
}
