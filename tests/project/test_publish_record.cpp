#include "foundation/errors.h"
#include "project/project.h"
#include "project/publish_record.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

PublishRecord::Entry entryFor(const QByteArray &bytes, qint64 modified)
{
    return {bytes.size(), modified, QCryptographicHash::hash(bytes, QCryptographicHash::Sha256)};
}

class PublishRecordTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString path() const { return m_dir.filePath(QStringLiteral("published/record.json")); }

    QTemporaryDir m_dir;
    const QString m_key = QStringLiteral("/p/site.wdx\nftp\nhost:21\nuser\n/www");
};

} // namespace

TEST_F(PublishRecordTest, SavedEntriesLoadBackForTheSameKeyOnly)
{
    PublishRecord record(m_key, path());
    record.set("index.php", entryFor("<?php echo 1;", 1700000000123));
    record.set("sub/a b/ü.css", entryFor("body{}", 1600000000000));
    record.set("gone.php", entryFor("x", 1));
    record.remove("gone.php");
    record.save();
    EXPECT_EQ(QFileInfo(path()).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);

    PublishRecord again(m_key, path());
    ASSERT_TRUE(again.load()) << again.problem().toStdString();
    EXPECT_TRUE(again.problem().isEmpty());
    EXPECT_EQ(again.size(), 2);
    ASSERT_NE(again.find("sub/a b/ü.css"), nullptr);
    EXPECT_EQ(*again.find("index.php"), entryFor("<?php echo 1;", 1700000000123));
    EXPECT_EQ(*again.find("sub/a b/ü.css"), entryFor("body{}", 1600000000000));
    EXPECT_EQ(again.find("gone.php"), nullptr);

    // Another project's or host's record in the same file is not used.
    PublishRecord other(m_key + QStringLiteral("x"), path());
    EXPECT_FALSE(other.load());
    EXPECT_EQ(other.size(), 0);
    EXPECT_TRUE(other.problem().contains("another project")) << other.problem().toStdString();
}

TEST_F(PublishRecordTest, LeftoverUploadsLoadBackAndOnlyTheProgramsOwnNames)
{
    const struct {
        const char *path;
        bool kept;
    } rows[] = {
        {"media/.qs-upload-big.bin", true},
        {".qs-upload-a.php", true},
        {"index.php", false},
        {"../up/.qs-upload-a.php", false},
        {"/etc/.qs-upload-a", false},
        {".qs-upload-", false},
        {"sub/.qs-uploadx.php", false},
        {"sub/.qs-upload-a.php/x", false},
    };
    PublishRecord record(m_key, path());
    QStringList kept;
    for (const auto &row : rows) {
        record.addLeftover(row.path);
        if (row.kept)
            kept << row.path;
    }
    record.addLeftover(".qs-upload-a.php"); // once only
    record.save();
    PublishRecord again(m_key, path());
    ASSERT_TRUE(again.load()) << again.problem().toStdString();
    EXPECT_EQ(again.leftovers(), kept);
    again.removeLeftover(".qs-upload-a.php");
    EXPECT_EQ(again.leftovers(), QStringList{"media/.qs-upload-big.bin"});
}

TEST_F(PublishRecordTest, MissingFileIsAnEmptyRecordWithoutComplaint)
{
    PublishRecord record(m_key, path());
    record.set("stale.php", entryFor("x", 1));
    EXPECT_TRUE(record.load());
    EXPECT_EQ(record.size(), 0);
    EXPECT_TRUE(record.problem().isEmpty());
}

TEST_F(PublishRecordTest, UnusableFilesAreExplainedAndKeptAsideOnTheNextSave)
{
    const QByteArray good = [&] {
        PublishRecord record(m_key, path());
        record.set("a.php", entryFor("a", 5));
        record.save();
        return ReadFileBytes(path());
    }();
    QByteArray badEntry = good;
    badEntry.replace(QCryptographicHash::hash("a", QCryptographicHash::Sha256).toHex(), "abcd");
    ASSERT_NE(badEntry, good);
    const std::vector<std::pair<QByteArray, const char *>> damaged{
        {"{\"format\": \"quillstone publish rec", "damaged"},
        {QByteArray("\x00\xff\xfe garbage", 12), "damaged"},
        {"[1, 2, 3]", "not a publish record"},
        {"{\"format\": \"something else\", \"files\": {}}", "not a publish record"},
        {QByteArray(good).replace("\"version\":1", "\"version\":7"), "another layout"},
        {badEntry, "entry for \"a.php\" is damaged"},
        {QJsonDocument(QJsonObject{{"format", "quillstone publish record"},
                                   {"version", 1},
                                   {"key", m_key},
                                   {"files", QJsonArray{}}})
             .toJson(),
         "lists no files"},
    };
    for (const auto &[bytes, why] : damaged) {
        WriteFileBytes(path(), bytes);
        PublishRecord record(m_key, path());
        record.set("left.php", entryFor("x", 1));
        EXPECT_FALSE(record.load()) << why;
        EXPECT_EQ(record.size(), 0) << why;
        EXPECT_TRUE(record.problem().contains(why)) << record.problem().toStdString();
        EXPECT_TRUE(record.problem().contains(path())) << record.problem().toStdString();

        // Nothing lost: the unusable file moves aside, the new one is whole.
        record.set("b.php", entryFor("b", 2));
        record.save();
        EXPECT_EQ(ReadFileBytes(path() + ".damaged"), bytes) << why;
        PublishRecord reread(m_key, path());
        ASSERT_TRUE(reread.load()) << reread.problem().toStdString();
        EXPECT_EQ(reread.entries().keys(), QStringList{"b.php"});
        QFile::remove(path() + ".damaged");
    }
}

TEST_F(PublishRecordTest, FoldersPipesAndHugeFilesAreRefusedWithoutReading)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path()).absolutePath()));
    const QString pipe = m_dir.filePath("published/pipe.json");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString huge = m_dir.filePath("published/huge.json");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(PublishRecord::MaxFileBytes + 1)); // sparse: costs no disk
    }
    const QString folder = m_dir.filePath("published/folder.json");
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const auto &[file, why] : std::vector<std::pair<QString, const char *>>{
             {pipe, "not a regular file"}, {huge, "too large"}, {folder, "not a regular file"}}) {
        PublishRecord record(m_key, file);
        bool loaded = true;
        EXPECT_TRUE(FinishesWithin(10000, [&] { loaded = record.load(); })) << why;
        EXPECT_FALSE(loaded) << why;
        EXPECT_TRUE(record.problem().contains(why)) << record.problem().toStdString();
    }
    // A folder in the record's place cannot be replaced: a clear error.
    PublishRecord blocked(m_key, folder);
    blocked.load();
    EXPECT_THROW(blocked.save(), AppError);
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST_F(PublishRecordTest, FailedSaveSaysWhereAndKeepsThePreviousFile)
{
    PublishRecord record(m_key, path());
    record.set("a.php", entryFor("a", 1));
    record.save();
    const QByteArray before = ReadFileBytes(path());

    // A file where the record's folder should be.
    WriteFileBytes(m_dir.filePath("blocker"), "x");
    PublishRecord elsewhere(m_key, m_dir.filePath("blocker/record.json"));
    elsewhere.set("a.php", entryFor("a", 1));
    try {
        elsewhere.save();
        ADD_FAILURE() << "saved below a file";
    } catch (const AppError &error) {
        EXPECT_TRUE(error.message().contains("blocker/record.json"))
            << error.message().toStdString();
    }
    EXPECT_EQ(ReadFileBytes(path()), before);
}

TEST(PublishRecordKey, OnePlacePerProjectProtocolHostUserAndFolderWithSafeNames)
{
    Project project;
    project.FileName = "/home/u/site/site.wdx";
    project.Ftp.Host = "ftp.example.org";
    project.Ftp.User = "u";
    project.Ftp.Folder = "/www";
    const QString key = PublishRecord::keyOf(project);

    // The TLS mode and the password do not move the files on the host.
    project.Ftp.Tls = "required";
    project.Ftp.Pass = "secret";
    project.Ftp.Protocol = "ftp";
    EXPECT_EQ(PublishRecord::keyOf(project), key);
    EXPECT_FALSE(key.contains("secret"));

    QSet<QString> keys{key};
    const auto differs = [&](const std::function<void(Project &)> &change) {
        Project other;
        other.FileName = project.FileName;
        other.Ftp = project.Ftp;
        change(other);
        return !keys.contains(PublishRecord::keyOf(other)) &&
               (keys.insert(PublishRecord::keyOf(other)), true);
    };
    EXPECT_TRUE(differs([](Project &p) { p.FileName = "/home/u/other/site.wdx"; }));
    EXPECT_TRUE(differs([](Project &p) { p.Ftp.Protocol = "sftp"; }));
    EXPECT_TRUE(differs([](Project &p) { p.Ftp.Host = "ftp.example.org:2121"; }));
    EXPECT_TRUE(differs([](Project &p) { p.Ftp.User = "v"; }));
    EXPECT_TRUE(differs([](Project &p) { p.Ftp.Folder = "/www/"; }));

    QSet<QString> names;
    for (const QString &k : keys) {
        const QString name = PublishRecord::fileNameFor("/cfg/published", k);
        EXPECT_EQ(name, PublishRecord::fileNameFor("/cfg/published", k));
        EXPECT_TRUE(name.startsWith("/cfg/published/"));
        EXPECT_TRUE(
            QFileInfo(name).fileName().contains(QRegularExpression("^[0-9a-f]{32}\\.json$")))
            << name.toStdString();
        names.insert(name);
    }
    EXPECT_EQ(names.size(), keys.size());
    const QString hostile = PublishRecord::fileNameFor("/cfg", "../../etc/passwd\n/\\:*?");
    EXPECT_EQ(QFileInfo(hostile).absolutePath(), "/cfg");
}
