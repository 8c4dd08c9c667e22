#include "foundation/errors.h"
#include "project/project.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <utility>

namespace {
void addFile(Project &project, const QString &name, int line = 0, bool publish = true)
{
    // Filling the project is the test's setup, not an update it watches.
    const Notification update = std::exchange(project.OnProjectUpdate, Notification());
    project.AddFiles({name});
    project.OnProjectUpdate = update;
    project.Files.Last()->Line = line;
    project.Files.Last()->Publish = publish;
}

void setModified(const QString &path, const QDateTime &when)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
}
} // namespace

TEST(ProjectModel, NewProjectHasItsInitialValues)
{
    Project project;
    EXPECT_EQ(project.RunAddress, "http://127.0.0.1");
    EXPECT_EQ(project.DatabaseAddress, "http://127.0.0.1/pa/");
    EXPECT_TRUE(project.FileName.isEmpty());
    EXPECT_TRUE(project.OpenedFile.isEmpty());
    EXPECT_EQ(project.OpenedStamp, 0u);
    EXPECT_EQ(project.Files.Count(), 0);
    EXPECT_TRUE(project.Ftp.Host.isEmpty() && project.Ftp.User.isEmpty() &&
                project.Ftp.Pass.isEmpty() && project.Ftp.Folder.isEmpty());
    EXPECT_EQ(project.Ftp.Progress, 0);
    EXPECT_FALSE(project.OnLoaded.isBound() || project.OnBeforeSave.isBound() ||
                 project.OnWorkspaceLog.isBound() || project.OnPublishProgress.isBound() ||
                 project.OnProjectUpdate.isBound());

    ProjectEntry entry;
    EXPECT_EQ(entry.Line, 0);
    EXPECT_TRUE(entry.Publish);
}

// An entry appended as a read project file may hold it: a duplicate, an empty name.
void appendRaw(Project &project, const QString &name)
{
    project.Files.AddNew();
    project.Files.Last()->Name = name;
}

TEST(ProjectModel, AddFilesSkipsWhatIsThereAndNotifiesOnce)
{
    Project project;
    int updates = 0;
    project.OnProjectUpdate.bind([&](QObject *) { ++updates; });
    project.Files.AddNew();
    project.Files.Last()->Name = "/web/a.php";
    project.Files.Last()->Line = 9;

    const struct {
        QStringList paths;
        int added;
        QStringList names; // the whole list afterwards
    } steps[] = {
        // Present ones, repeats within the call and empty names are skipped;
        // letter case makes another file.
        {{"/web/b.php", "/web/a.php", "", "/web/A.php", "/web/b.php"},
         2,
         {"/web/a.php", "/web/b.php", "/web/A.php"}},
        {{"/web/a.php", "/web/A.php"}, 0, {"/web/a.php", "/web/b.php", "/web/A.php"}},
        {{}, 0, {"/web/a.php", "/web/b.php", "/web/A.php"}},
        {{"/web/c/d.php"}, 1, {"/web/a.php", "/web/b.php", "/web/A.php", "/web/c/d.php"}},
    };
    int expectedUpdates = 0;
    for (const auto &step : steps) {
        EXPECT_EQ(project.AddFiles(step.paths), step.added) << step.paths.join(',').toStdString();
        expectedUpdates += step.added > 0 ? 1 : 0;
        EXPECT_EQ(updates, expectedUpdates);
        QStringList names;
        project.ListFileNames(names);
        EXPECT_EQ(names, step.names);
    }
    // An entry already there keeps what it remembers; new ones start fresh.
    EXPECT_EQ(project.Files.Get(0)->Line, 9);
    EXPECT_EQ(project.Files.Get(1)->Line, 0);
    EXPECT_TRUE(project.Files.Get(1)->Publish);

    // A whole site in one call, with every name once.
    QStringList site;
    for (int i = 0; i < 50000; ++i)
        site << QStringLiteral("/site/d%1/f%2.php").arg(i % 500).arg(i);
    EXPECT_EQ(project.AddFiles(site + site), 50000);
    EXPECT_EQ(project.Files.Count(), 50004);
    EXPECT_EQ(project.Files.Last()->Name, site.constLast());
}

TEST(ProjectModel, IndexOfTellsLetterCaseApartAndFindsTheFirst)
{
    Project project;
    addFile(project, "/web/shop/index.php");
    addFile(project, "/web/Shop/Café.PHP");
    addFile(project, "/web/shop/café.php");
    appendRaw(project, "/web/shop/index.php");
    // Linux file names: each spelling is its own file.
    EXPECT_EQ(project.IndexOf("/WEB/SHOP/INDEX.PHP"), -1);
    EXPECT_EQ(project.IndexOf("/web/shop/CAFÉ.php"), -1);
    EXPECT_EQ(project.IndexOf("/web/Shop/Café.PHP"), 1);
    EXPECT_EQ(project.IndexOf("/web/shop/café.php"), 2);
    EXPECT_EQ(project.IndexOf("/web/shop/index.php"), 0);
    EXPECT_EQ(project.IndexOf("/web/shop/other.php"), -1);
    EXPECT_EQ(project.IndexOf(""), -1);
    appendRaw(project, "");
    EXPECT_EQ(project.IndexOf(""), 4);

    QStringList names{"before"};
    project.ListFileNames(names);
    EXPECT_EQ(names, (QStringList{"before", "/web/shop/index.php", "/web/Shop/Café.PHP",
                                  "/web/shop/café.php", "/web/shop/index.php", ""}));
}

TEST(ProjectModel, DosStampPacksTheSixFields)
{
    const QDateTime when(QDate(2023, 6, 15), QTime(13, 45, 31), Qt::LocalTime);
    EXPECT_EQ(PackDosStamp(when), 0x56cf6dafu);
    EXPECT_EQ(UnpackDosStamp(0x56cf6dafu), when.addSecs(-1));
    EXPECT_EQ(PackDosStamp(when.addSecs(-1)), PackDosStamp(when));
    EXPECT_NE(PackDosStamp(when.addSecs(1)), PackDosStamp(when));
    // Outside what four bytes can hold: clamped, never zero or wrapped.
    EXPECT_EQ(PackDosStamp(QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::LocalTime)),
              PackDosStamp(QDateTime(QDate(1980, 1, 1), QTime(0, 0), Qt::LocalTime)));
    EXPECT_EQ(UnpackDosStamp(PackDosStamp(QDateTime(QDate(2200, 1, 1), QTime(0, 0)))),
              QDateTime(QDate(2107, 12, 31), QTime(23, 59, 58), Qt::LocalTime));
    EXPECT_FALSE(UnpackDosStamp(0).isValid());
}

TEST(ProjectModel, StampFollowsTheOpenedFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("page.php");
    WriteFileBytes(path, "<?php");
    const QDateTime base(QDate(2024, 3, 9), QTime(10, 20, 30), Qt::LocalTime);
    setModified(path, base);

    Project project;
    project.RefreshStamp();
    EXPECT_EQ(project.OpenedStamp, 0u);

    project.SetOpenedFile(path);
    EXPECT_EQ(project.OpenedFile, path);
    EXPECT_EQ(project.OpenedStamp, PackDosStamp(base));
    EXPECT_FALSE(project.OpenedChangedOnDisk());

    setModified(path, base.addSecs(1)); // same two-second step
    EXPECT_FALSE(project.OpenedChangedOnDisk());
    setModified(path, base.addSecs(2));
    EXPECT_TRUE(project.OpenedChangedOnDisk());
    setModified(path, base.addDays(-400));
    EXPECT_TRUE(project.OpenedChangedOnDisk());
    project.RefreshStamp();
    EXPECT_FALSE(project.OpenedChangedOnDisk());

    // Gone or not a file: the stamp is zero and nothing raises.
    QFile::remove(path);
    EXPECT_FALSE(project.OpenedChangedOnDisk());
    project.RefreshStamp();
    EXPECT_EQ(project.OpenedStamp, 0u);
    project.SetOpenedFile(dir.path());
    EXPECT_EQ(project.OpenedStamp, 0u);
    EXPECT_FALSE(project.OpenedChangedOnDisk());
}

TEST(ProjectModel, ClearEmptiesAllButAddressesAndLog)
{
    QTemporaryDir dir;
    WriteFileBytes(dir.filePath("a.php"), "a");
    Project project;
    int updates = 0;
    project.OnProjectUpdate.bind([&](QObject *) { ++updates; });
    project.OnWorkspaceLog.bind([](QObject *) {});
    addFile(project, dir.filePath("a.php"), 4, false);
    project.SetOpenedFile(dir.filePath("a.php"));
    project.FileName = dir.filePath("p.wdx");
    project.Ftp = {"host", "user", "pass", "/folder", 55};
    project.RunAddress = "http://127.0.0.1/run";
    project.DatabaseAddress = "http://127.0.0.1/db/";
    project.FunctionLines = {"function f()"};
    project.FunctionFiles = {dir.filePath("a.php")};
    project.Log("last line");

    project.Clear();
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(project.Files.Count(), 0);
    EXPECT_TRUE(project.OpenedFile.isEmpty());
    EXPECT_EQ(project.OpenedStamp, 0u);
    EXPECT_TRUE(project.FileName.isEmpty());
    EXPECT_TRUE(project.Ftp.Host.isEmpty() && project.Ftp.User.isEmpty() &&
                project.Ftp.Pass.isEmpty() && project.Ftp.Folder.isEmpty());
    EXPECT_EQ(project.Ftp.Progress, 55);
    EXPECT_EQ(project.RunAddress, "http://127.0.0.1/run");
    EXPECT_EQ(project.DatabaseAddress, "http://127.0.0.1/db/");
    EXPECT_EQ(project.LogText, "last line");
    EXPECT_EQ(project.FunctionLines.size(), 1);
    EXPECT_EQ(project.FunctionFiles.size(), 1);
}

TEST(ProjectModel, RemoveFileAlwaysAnnouncesTheUpdate)
{
    Project project;
    int updates = 0;
    project.OnProjectUpdate.bind([&](QObject *) { ++updates; });
    addFile(project, "/a.php");
    addFile(project, "/b.php");

    project.RemoveFile(-1);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(project.Files.Count(), 2);

    project.RemoveFile(0);
    EXPECT_EQ(updates, 2);
    ASSERT_EQ(project.Files.Count(), 1);
    EXPECT_EQ(project.Files.Get(0)->Name, "/b.php");

    EXPECT_THROW(project.RemoveFile(5), AppError);
    EXPECT_EQ(project.Files.Count(), 1);
}

TEST(ProjectModel, LogReachesOnlyABoundReceiver)
{
    Project project;
    project.Log("lost");
    EXPECT_TRUE(project.LogText.isEmpty());

    QStringList shown;
    project.OnWorkspaceLog.bind([&](QObject *) { shown.append(project.LogText); });
    project.Log("one");
    project.Log("two");
    EXPECT_EQ(shown, (QStringList{"one", "two"}));

    project.OnWorkspaceLog.unbind();
    project.Log("three");
    EXPECT_EQ(project.LogText, "two");
}
