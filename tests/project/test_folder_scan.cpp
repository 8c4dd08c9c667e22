#include "foundation/errors.h"
#include "project/folder_scan.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

namespace {
class FolderScanTest : public ::testing::Test {
protected:
    void SetUp() override { root = QDir(dir.path()).canonicalPath() + "/site"; }

    void write(const QString &relative, const QByteArray &bytes = "x")
    {
        const QString path = root + u'/' + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteFileBytes(path, bytes);
    }
    void link(const QString &target, const QString &relative)
    {
        ASSERT_TRUE(QFile::link(target, root + u'/' + relative)) << relative.toStdString();
    }
    QStringList relative(const QStringList &files) const
    {
        QStringList names;
        for (const QString &file : files)
            names << file.mid(root.size() + 1);
        return names;
    }

    QTemporaryDir dir;
    QString root;
};
} // namespace

TEST_F(FolderScanTest, LeavesOutWhatGitAndTheProjectIgnoreAndNeverLoops)
{
    write(".gitignore", "# built\n*.log\nbuild/\n!keep.log\ncache/*\n!cache/README\n/top.txt\n");
    write("index.php");
    write("top.txt");
    write("a/top.txt"); // "/top.txt" is anchored at its .gitignore's folder
    write("a/other.php");
    write("error.log");
    write("keep.log");
    write("build/out.php");
    write("build/keep.log"); // a '!' cannot bring back what an ignored folder holds
    write("cache/x.tmp");
    write("cache/README");
    write("img/logo.png", QByteArray("\x89PNG\r\n\x1a\n\0\0\0", 12)); // binary stays in
    write("lib/.gitignore", "!debug.log\nsecret.php\n");
    write("lib/debug.log"); // the deeper file decides first
    write("lib/secret.php");
    write("lib/util.php");
    write("lib/deep/secret.php");
    write(".git/config");
    write("vendor/pkg/.svn/entries");
    write("vendor/pkg/.hg/store");
    write("vendor/pkg/pkg.php");
    write("node_modules/x/index.js");
    write("config/.env");
    write("site.wdx");
    write("other.wdx");
    // A loop back up the tree, a link to a folder outside it, a dangling link.
    link(root, "lib/loop");
    link(root + "/lib", "lib/deep/again");
    QDir().mkpath(dir.path() + "/shared");
    WriteFileBytes(dir.path() + "/shared/common.php", "<?php");
    link(dir.path() + "/shared", "shared");
    link(root + "/nowhere", "dangling");
    link(root + "/index.php", "alias.php");

    const FolderScan scan(root, root, {"node_modules/", ".env"}, root + "/site.wdx");
    const FolderScanResult result = scan.run();
    EXPECT_EQ(
        relative(result.files),
        (QStringList{".gitignore", "alias.php", "index.php", "keep.log", "other.wdx", "a/other.php",
                     "a/top.txt", "cache/README", "img/logo.png", "lib/.gitignore", "lib/debug.log",
                     "lib/util.php", "shared/common.php", "vendor/pkg/pkg.php"}));
    EXPECT_EQ(result.linksSkipped, 2);
    EXPECT_FALSE(result.cancelled);
    // .git .svn .hg, the ignored and the excluded, and the project file.
    EXPECT_EQ(result.leftOut, 12);

    // Project patterns that take back cannot prune whole folders.
    const FolderScanResult taken = FolderScan(root, root, {"vendor/", "!vendor/pkg/pkg.php"}).run();
    EXPECT_TRUE(relative(taken.files).contains("vendor/pkg/pkg.php"));
    EXPECT_TRUE(relative(taken.files).contains("node_modules/x/index.js"));

    // Patterns relative to a project folder above the scanned one.
    const FolderScanResult below = FolderScan(root + "/a", root, {"a/top.txt"}).run();
    EXPECT_EQ(relative(below.files), QStringList{"a/other.php"});
}

TEST_F(FolderScanTest, RefusesBadInputAndStopsWhenCancelled)
{
    write("a.php");
    for (int i = 0; i < 30; ++i)
        write(QStringLiteral("d%1/f.php").arg(i));
    EXPECT_THROW(FolderScan(root + "/missing", root, {}), AppError);
    EXPECT_THROW(FolderScan(root, root, {"[a-"}), AppError);
    EXPECT_THROW(FolderScan(root + "/a.php", root, {}), AppError);

    std::atomic<bool> cancel{true};
    const FolderScanResult cancelled = FolderScan(root, root, {}).run(&cancel);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_TRUE(cancelled.files.isEmpty());

    // A bad line in somebody's .gitignore costs that line only.
    write(".gitignore", "[a-\nd1*\n");
    std::vector<int> heard;
    const FolderScanResult result =
        FolderScan(root, root, {}).run(nullptr, [&](int files) { heard.push_back(files); });
    EXPECT_EQ(result.files.size(), 1 + 1 + 30 - 11); // .gitignore, a.php, d0 d2..d9 d20..d29
    EXPECT_TRUE(heard.empty());                      // fewer files than a progress step
}

TEST_F(FolderScanTest, TakesInARealSiteAsFindSeesIt)
{
    const QString unpacked = dir.path() + "/deb";
    const QString error = UnpackDebianPackage("wordpress", unpacked);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const QString site = unpacked + "/usr/share/wordpress";
    // What find -L sees as files: links followed, dangling ones (many here:
    // their targets are in other packages) not files.
    QStringList expected;
    QDirIterator it(site, QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext())
        expected << it.next();
    const FolderScanResult result = FolderScan(site, site, {}).run();
    const QSet<QString> found(result.files.begin(), result.files.end());
    const QSet<QString> seen(expected.begin(), expected.end());
    EXPECT_GT(found.size(), 1500);
    EXPECT_EQ(QStringList((found - seen).values()).join(' ').toStdString(), "");
    EXPECT_EQ(QStringList((seen - found).values()).join(' ').toStdString(), "");
}
