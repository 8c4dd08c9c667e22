#include "foundation/errors.h"
#include "project/manual_index.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {
QString touchFile(const QString &folder, const QString &name)
{
    const QString path = folder + '/' + name;
    WriteFileBytes(path, "<html></html>");
    return path;
}

// Restores the folder beside the program whatever a test did.
struct ManualFolderGuard {
    ~ManualFolderGuard() { SetManualFolderOverride(std::nullopt); }
};
} // namespace

TEST(ManualIndex, NamesFollowThePageNamingRule)
{
    const std::pair<const char *, const char *> cases[] = {
        {"function.array-map.htm", "array_map"},
        {"function.strlen.html", "strlen"}, // ".htm" found inside ".html"
        {"function.is-a.htm", "is_a"},
        // ".htm" is looked for after "function.", which "htm..." names would
        // otherwise end at.
        {"function.htmlspecialchars.htm", "htmlspecialchars"},
        {"function.html-entity-decode.htm", "html_entity_decode"},
        {"function.-.htm", "_"},         // PHP's one-character alias
        {"function.x-y.htm.bak", "x_y"}, // first ".htm" wins
        {"abcdefghiXY.htm", "XY"},       // the prefix is not checked
        {"function..htm", ""},           // zero length
        {"function.htm", ""},            // negative length
        {"index.htm", ""},
        {"readme.txt", ""},          // no ".htm" at all
        {"function.strlen.HTM", ""}, // the rule is case-sensitive
        {"", ""},
    };
    for (const auto &[file, name] : cases) {
        SCOPED_TRACE(file);
        EXPECT_EQ(ManualNameFromFileName(QString::fromLatin1(file)), QString::fromLatin1(name));
    }
}

TEST(ManualIndex, ListsOrdinaryFilesOnlySortedWithoutRegardToCase)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("phpmanual");
    QDir().mkpath(folder + "/function.sub.htm"); // a folder: left out
    touchFile(folder, "function.Zeta.htm");
    touchFile(folder, "function.alpha.htm");
    touchFile(folder, "function.Beta.htm");
    touchFile(folder, "function.beta.htm");
    touchFile(folder, "notes.txt");
    touchFile(folder, ".hidden.htm"); // hidden: left out
    ASSERT_EQ(mkfifo(QFile::encodeName(folder + "/function.pipe.htm").constData(), 0600), 0);
    QFile::link(folder + "/function.sub.htm", folder + "/function.link-to-dir.htm");

    const QStringList files = ListManualFolder(folder);
    EXPECT_EQ(files, QStringList({"function.alpha.htm", "function.Beta.htm", "function.beta.htm",
                                  "function.Zeta.htm", "notes.txt"}));

    const QList<ManualEntry> index = ReadManualIndex(folder);
    ASSERT_EQ(index.size(), 5);
    // Repeated and empty names stay, one row per file.
    EXPECT_EQ(index.at(1).name, "Beta");
    EXPECT_EQ(index.at(2).name, "beta");
    EXPECT_EQ(index.at(4).name, "");
    EXPECT_EQ(index.at(4).fileName, "notes.txt");
}

TEST(ManualIndex, AnEmptyFolderGivesNoRows)
{
    QTemporaryDir dir;
    EXPECT_TRUE(ReadManualIndex(dir.path()).isEmpty());
}

TEST(ManualIndex, AFolderThatCannotBeListedIsAnErrorNamingIt)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("phpmanual");
    try {
        ReadManualIndex(missing);
        FAIL() << "a missing folder must not list as empty";
    } catch (const AppError &error) {
        EXPECT_TRUE(error.message().contains(missing)) << error.message().toStdString();
    }
    const QString file = touchFile(dir.path(), "phpmanual.htm");
    EXPECT_THROW(ListManualFolder(file), AppError);
}

TEST(ManualIndex, FolderBesideTheProgramUnlessOverridden)
{
    ManualFolderGuard guard;
    EXPECT_EQ(ManualFolder(), QCoreApplication::applicationDirPath() + "/phpmanual");
    SetManualFolderOverride(QStringLiteral("/elsewhere/manual"));
    EXPECT_EQ(ManualFolder(), "/elsewhere/manual");
    SetManualFolderOverride(std::nullopt);
    EXPECT_EQ(ManualFolder(), QCoreApplication::applicationDirPath() + "/phpmanual");
}

TEST(ManualIndex, TheGeneratedManualNamesEveryPageAfterItsFunction)
{
    // Written by the build from the installed PHP beside the test binaries.
    const QString folder = QCoreApplication::applicationDirPath() + "/phpmanual";
    const QList<ManualEntry> index = ReadManualIndex(folder);
    ASSERT_GT(index.size(), 500);
    QStringList names;
    for (const ManualEntry &entry : index) {
        EXPECT_FALSE(entry.name.isEmpty()) << entry.fileName.toStdString();
        names << entry.name;
    }
    EXPECT_TRUE(names.contains("array_map"));
    EXPECT_TRUE(names.contains("strlen"));
    const QByteArray page = ReadFileBytes(folder + "/function.str-replace.htm");
    EXPECT_TRUE(page.contains("str_replace("));
    EXPECT_TRUE(page.contains("extension standard"));
}
