// The dry run: what a publish would do with each entry, without a network.

#include "foundation/errors.h"
#include "project/project.h"
#include "project/publish.h"
#include "project/publish_engine.h"
#include "project/publish_record.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

using Action = PublishStep::Action;

class PublishPlanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_site = m_dir.filePath("site") + u'/';
        m_project.FileName = m_site + "site.wdx";
    }

    QString add(const QString &name, const QByteArray &bytes, bool publish = true)
    {
        const QString path = name.startsWith(u'/') ? name : m_site + name;
        if (!bytes.isNull()) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            WriteFileBytes(path, bytes);
        }
        m_project.AddFiles({path});
        m_project.Files.Last()->Publish = publish;
        return path;
    }

    static QByteArray sha(const QByteArray &bytes)
    {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    }

    QTemporaryDir m_dir;
    QString m_site;
    Project m_project;
};

} // namespace

TEST_F(PublishPlanTest, EveryEntryInOrderWithItsReasonPathsAndSize)
{
    m_project.Ftp.Exclude = {"*.wdx", "node_modules/"};
    add("index.php", "<?php echo 1;");
    add("locked.php", "<?php // fine but locked", false);
    add("config.php", "<?php // Host Specific settings");
    add(m_dir.filePath("elsewhere/x.php"), "<?php");
    add("site.wdx", "<project/>");
    // Not there at all: excluded files are never opened.
    add("node_modules/lib/gone.js", QByteArray());
    add("same.php", "same");
    add("changed.php", "new text");

    PublishRecord record("k", QString());
    record.set("same.php", {4, 1, sha("same")});
    record.set("changed.php", {8, 1, sha("old text")});

    const QList<PublishStep> full = PlanPublish(m_project, -1, {false, &record});
    const QList<PublishStep> changes = PlanPublish(m_project, -1, {true, &record});
    const std::vector<Action> fullActions{
        Action::Send,         Action::SkipLocked,   Action::SkipMarker, Action::SkipOutside,
        Action::SkipExcluded, Action::SkipExcluded, Action::Send,       Action::Send};
    const std::vector<Action> changeActions{
        Action::SendNew,      Action::SkipLocked,   Action::SkipMarker,    Action::SkipOutside,
        Action::SkipExcluded, Action::SkipExcluded, Action::SkipUnchanged, Action::SendChanged};
    ASSERT_EQ(full.size(), 8);
    ASSERT_EQ(changes.size(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(full[i].action, fullActions[size_t(i)]) << i << full[i].describe().toStdString();
        EXPECT_EQ(changes[i].action, changeActions[size_t(i)])
            << i << changes[i].describe().toStdString();
        EXPECT_EQ(full[i].index, i);
        EXPECT_EQ(full[i].localPath, m_project.Files.Get(i)->Name);
        EXPECT_EQ(full[i].remotePath, changes[i].remotePath);
    }
    EXPECT_EQ(changes[0].remotePath, "index.php");
    EXPECT_EQ(changes[0].size, 13);
    EXPECT_EQ(changes[0].sha256, sha("<?php echo 1;"));
    EXPECT_EQ(changes[1].size, 24); // locked: measured, not read
    EXPECT_TRUE(changes[1].sha256.isEmpty());
    EXPECT_TRUE(changes[3].remotePath.isEmpty());
    EXPECT_EQ(changes[4].pattern, "*.wdx");
    EXPECT_EQ(changes[5].pattern, "node_modules/");
    EXPECT_EQ(changes[5].remotePath, "node_modules/lib/gone.js");
    EXPECT_EQ(changes[5].size, -1);
    EXPECT_EQ(changes[5].describe(), "skip (excluded by \"node_modules/\")");
    EXPECT_EQ(changes[7].describe(), "send (changed since the last publish)");

    // The dry run changes nothing: the record is as it was.
    EXPECT_EQ(record.size(), 2);
    EXPECT_EQ(record.find("same.php")->modifiedMs, 1);

    // Without a record, changes mode finds every readable file new; a full
    // publish without a record does not hash at all.
    const QList<PublishStep> noRecord = PlanPublish(m_project, -1, {true, nullptr});
    EXPECT_EQ(noRecord[6].action, Action::SendNew);
    EXPECT_TRUE(PlanPublish(m_project, -1, {})[0].sha256.isEmpty());
}

TEST_F(PublishPlanTest, OneEntryUnreadableFilesAndRefusals)
{
    add("a.php", "a");
    const QString missing = add("missing.php", QByteArray());
    add("c.php", "c");

    const QList<PublishStep> one = PlanPublish(m_project, 2, {true, nullptr});
    ASSERT_EQ(one.size(), 1);
    EXPECT_EQ(one[0].index, 2);
    EXPECT_EQ(one[0].remotePath, "c.php");

    const QList<PublishStep> all = PlanPublish(m_project, -1, {});
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[1].action, Action::Unreadable);
    EXPECT_TRUE(all[1].error.contains(missing)) << all[1].error.toStdString();
    EXPECT_FALSE(all[1].sends());
    EXPECT_EQ(all[2].action, Action::Send); // the plan goes on; the run stops there

    EXPECT_THROW(PlanPublish(m_project, 3, {}), AppError);
    EXPECT_THROW(PlanPublish(m_project, -2, {}), AppError);

#ifdef Q_OS_UNIX
    // A pipe would hold the run until something wrote to it; neither it nor
    // a folder is a page to send.
    const QString pipe = m_site + "pipe.php";
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString folder = m_site + "folder.php";
    ASSERT_TRUE(QDir().mkpath(folder));
    m_project.AddFiles({pipe, folder});
    ASSERT_EQ(m_project.Files.Count(), 5);
    const QList<PublishStep> odd = PlanPublish(m_project, -1, {});
    for (const qsizetype i : {3, 4}) {
        EXPECT_EQ(odd[i].action, Action::Unreadable) << odd[i].localPath.toStdString();
        EXPECT_TRUE(odd[i].error.endsWith("not a regular file")) << odd[i].error.toStdString();
    }
#endif
    m_project.Ftp.Exclude = {"[oops"};
    try {
        PlanPublish(m_project, -1, {});
        ADD_FAILURE() << "planned with an invalid pattern";
    } catch (const AppError &error) {
        EXPECT_TRUE(error.message().contains("\"[oops\"")) << error.message().toStdString();
    }
}

TEST_F(PublishPlanTest, ManyFilesReadInParallelKeepProjectOrderAndTheirOwnHashes)
{
    for (int i = 0; i < 400; ++i) {
        // Every 7th file is marked, each file's bytes differ.
        const QByteArray bytes = QByteArray::number(i).repeated(i % 50 + 1) +
                                 (i % 7 == 0 ? QByteArray(" //DONT publish") : QByteArray());
        add(QStringLiteral("d%1/f%2.php").arg(i % 9).arg(i), bytes);
    }
    const QList<PublishStep> plan = PlanPublish(m_project, -1, {true, nullptr});
    ASSERT_EQ(plan.size(), 400);
    for (int i = 0; i < 400; ++i) {
        const QByteArray bytes = ReadFileBytes(m_project.Files.Get(i)->Name);
        EXPECT_EQ(plan[i].index, i);
        EXPECT_EQ(plan[i].action, i % 7 == 0 ? Action::SkipMarker : Action::SendNew) << i;
        if (i % 7 != 0) {
            EXPECT_EQ(plan[i].sha256, sha(bytes)) << i;
            EXPECT_EQ(plan[i].size, bytes.size()) << i;
        }
    }
}

TEST_F(PublishPlanTest, ChangesModeTrustsRecordedSizeAndTimeAndReadsEverythingElse)
{
    const QString a = add("a.php", "aaaa");
    const QString b = add("b.php", "bbbb");
    const QString c = add("c.php", "cccc");
    const auto timeOf = [](const QString &path) {
        return QFileInfo(path).lastModified().toMSecsSinceEpoch();
    };
    PublishRecord record("k", QString());
    // Size and time as recorded: taken as sent, even though the hash on
    // record is another one (this is what the shortcut trusts).
    record.set("a.php", {4, timeOf(a), sha("AAAA")});
    // Another time: read, and the content decides either way.
    record.set("b.php", {4, timeOf(b) - 5000, sha("bbbb")});
    record.set("c.php", {4, timeOf(c) - 5000, sha("CCCC")});

    const QList<PublishStep> plan = PlanPublish(m_project, -1, {true, &record});
    EXPECT_EQ(plan[0].action, Action::SkipUnchanged);
    EXPECT_EQ(plan[0].sha256, sha("AAAA"));
    EXPECT_EQ(plan[1].action, Action::SkipUnchanged);
    EXPECT_EQ(plan[1].sha256, sha("bbbb"));
    EXPECT_EQ(plan[1].modifiedMs, timeOf(b));
    EXPECT_EQ(plan[2].action, Action::SendChanged);

    // A full publish reads and hashes every file, whatever the record says.
    const QList<PublishStep> full = PlanPublish(m_project, -1, {false, &record});
    EXPECT_EQ(full[0].sha256, sha("aaaa"));
}
