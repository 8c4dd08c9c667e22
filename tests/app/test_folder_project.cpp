#include "app/quick_open.h"
#include "app_fixture.h"
#include "editor/code_editor.h"
#include "foundation/settings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTest>
#include <QTreeWidget>

namespace {
constexpr int FolderNode = -3;

class FolderProject : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        site = QDir(dir.path()).canonicalPath() + "/shop";
        for (const char *name :
             {"index.php", "about.php", "admin/users.php", "admin/lib/db.php", "css/site.css",
              "img/logo.png", "vendor/x/y/z/deep_file.php", "inc/users/helper.php"})
            write(name, QByteArray("<?php // ") + name + "\n");
        write(".gitignore", "*.tmp\ncache/\n");
        write("cache/page.html");
        write("notes.tmp");
        write(".git/HEAD");
        QFile::link(site, site + "/admin/loop");
    }
    void write(const QString &relative, const QByteArray &bytes = "x\n")
    {
        QDir().mkpath(QFileInfo(site + '/' + relative).absolutePath());
        WriteFileBytes(site + '/' + relative, bytes);
    }
    QStringList entries() const
    {
        QStringList names;
        form()->project().ListFileNames(names);
        for (QString &name : names)
            name = name.mid(site.size() + 1);
        names.sort();
        return names;
    }
    // The tree as "text" lines, indented two blanks a level.
    QStringList tree() const
    {
        QStringList lines;
        for (QTreeWidgetItemIterator it(form()->ui().PrTree); *it; ++it) {
            int depth = 0;
            for (QTreeWidgetItem *up = (*it)->parent(); up; up = up->parent())
                ++depth;
            lines << QString(depth * 2, u' ') + (*it)->text(0);
        }
        return lines;
    }
    QTreeWidgetItem *nodeOf(const QString &path) const
    {
        for (QTreeWidgetItemIterator it(form()->ui().PrTree); *it; ++it)
            if ((*it)->data(0, Qt::UserRole + 1).toString() == path)
                return *it;
        return nullptr;
    }
    // Waits for the program's own refresh to settle on `done`.
    static bool waitFor(const std::function<bool()> &done)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < 10000)
            QTest::qWait(20);
        return done();
    }

    QString site;
};
} // namespace

TEST_F(FolderProject, OpenFolderWritesItsProjectAndGroupsTheTree)
{
    start();
    form()->show();
    dialogs.folderAnswers.push_back(site);
    form()->item("OpenFolder1")->trigger();
    EXPECT_EQ(dialogs.fileDialogs.back(), "folder|Open Folder as Project");

    const QStringList expected{
        ".gitignore",           "about.php",    "admin/lib/db.php",
        "admin/users.php",      "css/site.css", "img/logo.png",
        "inc/users/helper.php", "index.php",    "vendor/x/y/z/deep_file.php"};
    EXPECT_EQ(entries(), expected);
    EXPECT_EQ(form()->project().FileName, site + "/shop.wdx");
    EXPECT_TRUE(QFileInfo(site + "/shop.wdx").isFile());
    EXPECT_TRUE(form()->project().WatchFolder);
    // The first PHP file is the document, and its node is the selected one.
    EXPECT_EQ(form()->project().OpenedFile, site + "/about.php");
    ASSERT_NE(form()->ui().PrTree->currentItem(), nullptr);
    EXPECT_EQ(form()->ui().PrTree->currentItem()->text(0), "about.php");

    // Folders first, by name; every level collapsible.
    EXPECT_EQ(tree(), (QStringList{"shop.wdx",
                                   "  admin",
                                   "    lib",
                                   "      db.php",
                                   "    users.php",
                                   "  css",
                                   "    site.css",
                                   "  img",
                                   "    logo.png",
                                   "  inc",
                                   "    users",
                                   "      helper.php",
                                   "  vendor",
                                   "    x",
                                   "      y",
                                   "        z",
                                   "          deep_file.php",
                                   "  .gitignore",
                                   "  about.php",
                                   "  index.php"}));
    QTreeWidgetItem *admin = nodeOf(site + "/admin");
    ASSERT_NE(admin, nullptr);
    EXPECT_EQ(admin->data(0, Qt::UserRole).toInt(), FolderNode);
    EXPECT_FALSE(admin->isExpanded());

    // Opening a file deep down opens its folders and selects its node.
    form()->documents().OpenFileAtLine(site + "/admin/lib/db.php", true);
    EXPECT_TRUE(admin->isExpanded());
    EXPECT_EQ(form()->ui().PrTree->currentItem(), nodeOf(site + "/admin/lib/db.php"));
    // Selecting a file node opens that entry, as before.
    form()->ui().PrTree->setCurrentItem(nodeOf(site + "/index.php"));
    EXPECT_EQ(form()->project().OpenedFile, site + "/index.php");

    // The project already in the folder is opened, never replaced.
    form()->item("New1")->trigger(); // writes what changed, as ever
    const QByteArray stored = ReadFileBytes(site + "/shop.wdx");
    form()->projectTree().OpenFolderAsProject(site + "/");
    EXPECT_EQ(form()->project().FileName, site + "/shop.wdx");
    EXPECT_EQ(ReadFileBytes(site + "/shop.wdx"), stored);
}

TEST_F(FolderProject, FilesComingAndGoingOnDiskReachTheProject)
{
    start({site});
    form()->show();
    QTest::qWait(0);
    ASSERT_TRUE(waitFor([&] { return form()->project().FileName == site + "/shop.wdx"; }));
    form()->projectTree().folderWatch().setQuietMs(50);
    ASSERT_TRUE(waitFor([&] { return form()->projectTree().folderWatch().watching(); }));

    write("admin/new_page.php");
    EXPECT_TRUE(waitFor([&] { return entries().contains("admin/new_page.php"); }));
    write("fresh/made/later.php"); // a folder made while running
    EXPECT_TRUE(waitFor([&] { return entries().contains("fresh/made/later.php"); }));
    write("fresh/made/skip.tmp"); // still ignored
    QFile::remove(site + "/about.php");
    EXPECT_TRUE(waitFor([&] { return form()->project().LogText.endsWith("1 missing"); }));
    EXPECT_FALSE(entries().contains("fresh/made/skip.tmp"));
    EXPECT_TRUE(entries().contains("about.php")); // marked, not dropped
    EXPECT_EQ(ReadFileBytes(site + "/index.php"), "<?php // index.php\n");

    // Refresh from Folder by hand says so when there is nothing new.
    form()->item("RefreshFolder1")->trigger();
    EXPECT_EQ(form()->project().LogText, "The project has the folder's files");
    // A project never saved has no folder to read.
    form()->item("New1")->trigger();
    EXPECT_FALSE(form()->projectTree().folderWatch().watching());
    form()->item("RefreshFolder1")->trigger();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Refresh from Folder reads the project's folder"));
}

TEST_F(FolderProject, AddFolderAndFolderNodesActOnTheirFiles)
{
    start();
    form()->show();
    // A project one folder up, so its exclusions speak of the site's files.
    const QString other = QDir(dir.path()).canonicalPath();
    QFile::remove(site + "/admin/loop");
    WriteFileBytes(other + "/p.wdx",
                   "<WENDLOR_Project><exclude pattern=\"*.css\"/></WENDLOR_Project>");
    form()->projectTree().OpenProject(other + "/p.wdx");
    int updates = 0;
    const Notification rebuild = form()->project().OnProjectUpdate;
    form()->project().OnProjectUpdate.bind([&](QObject *s) {
        ++updates;
        rebuild.raise(s);
    });
    dialogs.folderAnswers.push_back(site + "/admin");
    form()->item("AddFolder1")->trigger();
    EXPECT_EQ(dialogs.startFolders.back(), other);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(entries().size(), 2);
    dialogs.folderAnswers.push_back(site);
    form()->handle(QStringLiteral("AddFolder1Click"));
    EXPECT_EQ(updates, 2);
    EXPECT_FALSE(entries().contains("css/site.css")); // the project's exclusions hold

    // A folder node: Add Folder starts there, Lock takes all its files.
    QTreeWidgetItem *admin = nodeOf(site + "/admin");
    ASSERT_NE(admin, nullptr);
    form()->ui().PrTree->setCurrentItem(admin);
    form()->projectTree().ProjPopupPopup(nullptr);
    for (const auto &[name, shown] :
         std::vector<std::pair<const char *, bool>>{{"PManAddFolder", true},
                                                    {"dontpublish", true},
                                                    {"publishnow", true},
                                                    {"PManProjectAdd", false},
                                                    {"removefromproj", false},
                                                    {"Rename1", false}})
        EXPECT_EQ(form()->item(name)->isVisible(), shown) << name;
    EXPECT_FALSE(form()->item("dontpublish")->isChecked());
    form()->item("dontpublish")->trigger();
    int locked = 0;
    for (int i = 0; i < form()->project().Files.Count(); ++i) {
        const ProjectEntry *entry = form()->project().Files.Get(i);
        EXPECT_EQ(entry->Publish, !entry->Name.startsWith(site + "/admin/"))
            << entry->Name.toStdString();
        locked += entry->Publish ? 0 : 1;
    }
    EXPECT_EQ(locked, 2);
    form()->ui().PrTree->setCurrentItem(nodeOf(site + "/admin"));
    form()->projectTree().ProjPopupPopup(nullptr);
    EXPECT_TRUE(form()->item("dontpublish")->isChecked());
    dialogs.folderAnswers.push_back(QString());
    form()->item("PManAddFolder")->trigger();
    EXPECT_EQ(dialogs.startFolders.back(), site + "/admin");

    // The filter box keeps the files whose path holds the text.
    form()->ui().PrFilter->setText("USERS");
    ASSERT_TRUE(waitFor([&] { return tree().size() < 8; }));
    EXPECT_EQ(tree(), (QStringList{"p.wdx", "  shop", "    admin", "      users.php", "    inc",
                                   "      users", "        helper.php"}));
    form()->ui().PrFilter->clear();
    EXPECT_TRUE(waitFor([&] { return tree().join(',').contains("deep_file.php"); }));
}

TEST_F(FolderProject, QuickOpenFindsAFileByPartsOfItsPath)
{
    start({site});
    form()->show();
    ASSERT_TRUE(waitFor([&] { return form()->project().FileName == site + "/shop.wdx"; }));
    auto *quick = form()->findChild<QuickOpen *>("QuickOpenPopup");
    ASSERT_NE(quick, nullptr);
    const auto rows = [&] {
        QStringList shown;
        for (int i = 0; i < quick->list()->count(); ++i)
            shown << quick->list()->item(i)->text();
        return shown;
    };
    const struct {
        const char *typed;
        QStringList rows;
    } cases[] = {
        // A file-name match ranks above a match through the folders.
        {"users", {"users.php    admin", "helper.php    inc/users"}},
        {"adb", {"db.php    admin/lib"}},
        {"vxyz deep", {"deep_file.php    vendor/x/y/z"}},
        {"zzz", {}},
    };
    for (const auto &c : cases) {
        form()->item("QuickOpen1")->trigger();
        ASSERT_TRUE(quick->isVisible());
        QTest::keyClicks(quick->field(), c.typed);
        EXPECT_EQ(rows(), c.rows) << c.typed;
        QTest::keyClick(quick->field(), Qt::Key_Escape);
        EXPECT_FALSE(quick->isVisible());
    }
    form()->item("QuickOpen1")->trigger();
    EXPECT_EQ(quick->list()->count(), 9); // nothing typed: every entry
    QTest::keyClicks(quick->field(), "vxyzdeep");
    QTest::keyClick(quick->field(), Qt::Key_Return);
    EXPECT_EQ(form()->project().OpenedFile, site + "/vendor/x/y/z/deep_file.php");
    EXPECT_EQ(form()->ui().PrTree->currentItem(), nodeOf(site + "/vendor/x/y/z/deep_file.php"));
}

TEST_F(FolderProject, TheTreeKeepsTheWidthTheUserGaveIt)
{
    WriteSetting("ProjectTreeWidth", "310");
    start();
    form()->resize(1200, 700);
    form()->show();
    ASSERT_TRUE(waitFor([&] { return form()->ui().PrPanel->isVisible(); }));
    EXPECT_EQ(form()->ui().PrPanel->width(), 310);
    auto *splitter = qobject_cast<QSplitter *>(form()->ui().PrPanel->parentWidget());
    ASSERT_NE(splitter, nullptr);
    // Where the user drags the handle is kept for the next start.
    QList<int> sizes = splitter->sizes();
    sizes[1] += sizes[2] - 250;
    sizes[2] = 250;
    splitter->setSizes(sizes);
    emit splitter->splitterMoved(sizes[0] + sizes[1], 2);
    EXPECT_EQ(ReadSetting("ProjectTreeWidth", ""), "250");
}

TEST_F(FolderProject, TheTreeMarksMissingAndLockedFilesFromAWorkerThread)
{
    start();
    form()->show();
    form()->projectTree().OpenFolderAsProject(site);
    // Taken in as written: nothing for the next save to write.
    EXPECT_FALSE(form()->project().ChangedSinceStored());
    const auto iconOf = [&](const char *name) {
        QTreeWidgetItem *node = nodeOf(site + '/' + name);
        return node ? node->icon(0).cacheKey() : 0;
    };
    Project &project = form()->project();
    project.Files.Get(project.IndexOf(site + "/index.php"))->Publish = false;
    QFile::remove(site + "/about.php");
    project.OnProjectUpdate.raise();
    const qint64 plain = iconOf("admin/users.php");
    // The rebuild itself leaves the disk alone; the check that follows marks.
    EXPECT_TRUE(waitFor([&] { return iconOf("about.php") != plain; }));
    const struct {
        const char *name;
        const char *like; // the node whose image it shares
        bool same;
    } cases[] = {
        {"css/site.css", "admin/users.php", true},
        {"index.php", "admin/users.php", false}, // locked
        {"about.php", "index.php", false},       // missing, not locked
    };
    for (const auto &c : cases)
        EXPECT_EQ(iconOf(c.name) == iconOf(c.like), c.same) << c.name;
    write("about.php");
    project.OnProjectUpdate.raise();
    EXPECT_TRUE(waitFor([&] { return iconOf("about.php") == plain; }));
}
