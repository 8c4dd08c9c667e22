// Saving onto real file systems: special files, links, other owners, a full
// disk and a read-only mount. One row per case; each row builds its files,
// saves, and checks what the user would find afterwards.
#include "foundation/safe_write.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QByteArray Old = "old text\n";
const QByteArray New = "new text, longer than the old one\n";

struct stat statOf(const QString &path, bool follow = true)
{
    struct stat info {};
    const QByteArray native = QFile::encodeName(path);
    if ((follow ? ::stat(native.constData(), &info) : ::lstat(native.constData(), &info)) != 0)
        info.st_mode = 0;
    return info;
}

// A folder of its own per case; `mount` names a mount made inside it.
struct Place {
    QString folder;
    QString file; // what the save writes to
    QString mounted;
    ino_t inode = 0; // the file's before the save, where a case needs it
    QString path(const char *name) const { return folder + u'/' + QString::fromLatin1(name); }
};

struct Case {
    const char *name;
    // Builds the files; may call GTEST_SKIP (by returning false with a reason).
    std::function<QString(Place &)> setUp; // empty result: ready; otherwise the skip reason
    QByteArray content;                    // what is saved
    QString refusal;                       // expected text of the error, empty when it succeeds
    std::function<void(const Place &)> check;
    uid_t asUser = 0; // the save runs with the file rights of this user (0: as it is)
};

QString mountTmpfs(Place &place, const char *options)
{
    place.mounted = place.path("mnt");
    QDir().mkpath(place.mounted);
    if (::mount("tmpfs", QFile::encodeName(place.mounted).constData(), "tmpfs", 0, options) != 0) {
        const QString reason = QString::fromLocal8Bit(strerror(errno));
        place.mounted.clear();
        return QStringLiteral("cannot mount a tmpfs here: ") + reason;
    }
    return {};
}

// No file but the named ones in the folder: no temporary or backup copy left.
void expectOnly(const QString &folder, const QStringList &names)
{
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                         QDir::NoDotAndDotDot,
                                     QDir::Name),
              names);
}

const QByteArray Big(100 * 1024, 'x'); // more than the small tmpfs holds

const Case Cases[] = {
    {"NamedPipeIsRefusedByKind",
     [](Place &p) {
         p.file = p.path("pipe.php");
         return ::mkfifo(QFile::encodeName(p.file).constData(), 0644) == 0 ? QString()
                                                                           : "mkfifo failed";
     },
     New, "it is a named pipe (FIFO), not a regular file",
     [](const Place &p) { EXPECT_TRUE(S_ISFIFO(statOf(p.file).st_mode)); }},
    {"DeviceNodeBehindALinkIsRefusedByKind",
     [](Place &p) {
         // Major 240 is kept for local use: no driver answers to this node.
         const QString node = p.path("node");
         if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0600, makedev(240, 0)) != 0)
             return QStringLiteral("mknod not permitted");
         p.file = p.path("link.php");
         QFile::link(node, p.file);
         return QString();
     },
     New, "it is a character device, not a regular file",
     [](const Place &p) {
         EXPECT_TRUE(S_ISLNK(statOf(p.file, false).st_mode));
         EXPECT_TRUE(S_ISCHR(statOf(p.path("node")).st_mode));
     }},
    {"HardLinkedFileIsWrittenInPlaceForEveryName",
     [](Place &p) {
         p.file = p.path("a.php");
         WriteFileBytes(p.file, Old);
         QFile::setPermissions(p.file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
         ::link(QFile::encodeName(p.file).constData(),
                QFile::encodeName(p.path("b.php")).constData());
         return QString();
     },
     New, "",
     [](const Place &p) {
         EXPECT_EQ(ReadFileBytes(p.path("b.php")), New);
         EXPECT_EQ(statOf(p.file).st_ino, statOf(p.path("b.php")).st_ino);
         EXPECT_EQ(statOf(p.file).st_mode & 0777, 0604u);
         expectOnly(p.folder, {"a.php", "b.php"});
     }},
    {"AnotherUsersFileKeepsItsOwnerGroupAndMode",
     [](Place &p) {
         const passwd *nobody = ::getpwnam("nobody");
         if (!nobody || ::geteuid() != 0)
             return QStringLiteral("needs root and a user nobody");
         p.file = p.path("served.php");
         WriteFileBytes(p.file, Old);
         ::chmod(QFile::encodeName(p.file).constData(), 0640);
         ::chown(QFile::encodeName(p.file).constData(), nobody->pw_uid, nobody->pw_gid);
         return QString();
     },
     New, "",
     [](const Place &p) {
         const passwd *nobody = ::getpwnam("nobody");
         const struct stat info = statOf(p.file);
         EXPECT_EQ(info.st_uid, nobody->pw_uid);
         EXPECT_EQ(info.st_gid, nobody->pw_gid);
         EXPECT_EQ(info.st_mode & 0777, 0640u);
         EXPECT_EQ(ReadFileBytes(p.file), New);
         expectOnly(p.folder, {"served.php"});
     }},
    {"LinkStaysALinkAndItsTargetChanges",
     [](Place &p) {
         WriteFileBytes(p.path("real.php"), Old);
         p.file = p.path("link.php");
         QFile::link(p.path("real.php"), p.file);
         return QString();
     },
     New, "",
     [](const Place &p) {
         EXPECT_TRUE(S_ISLNK(statOf(p.file, false).st_mode));
         EXPECT_EQ(ReadFileBytes(p.path("real.php")), New);
     }},
    {"FullDiskSaysSoAndKeepsTheFile",
     [](Place &p) {
         if (QString skip = mountTmpfs(p, "size=64k"); !skip.isEmpty())
             return skip;
         p.file = p.mounted + "/a.php";
         WriteFileBytes(p.file, Old);
         return QString();
     },
     Big, "No space left on device",
     [](const Place &p) {
         EXPECT_EQ(ReadFileBytes(p.file), Old);
         expectOnly(p.mounted, {"a.php"});
     }},
    {"FullDiskWithAHardLinkChangesNeitherName",
     [](Place &p) {
         if (QString skip = mountTmpfs(p, "size=64k"); !skip.isEmpty())
             return skip;
         p.file = p.mounted + "/a.php";
         WriteFileBytes(p.file, Old);
         ::link(QFile::encodeName(p.file).constData(),
                QFile::encodeName(p.mounted + "/b.php").constData());
         return QString();
     },
     Big, "No space left on device",
     [](const Place &p) {
         EXPECT_EQ(ReadFileBytes(p.mounted + "/b.php"), Old);
         expectOnly(p.mounted, {"a.php", "b.php"});
     }},
    {"ReadOnlyMountSaysSo",
     [](Place &p) {
         const QString source = p.path("source");
         QDir().mkpath(source);
         WriteFileBytes(source + "/a.php", Old);
         p.mounted = p.path("ro");
         QDir().mkpath(p.mounted);
         const QByteArray target = QFile::encodeName(p.mounted);
         if (::mount(QFile::encodeName(source).constData(), target.constData(), nullptr, MS_BIND,
                     nullptr) != 0)
             return QStringLiteral("cannot bind-mount here");
         if (::mount(nullptr, target.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                     nullptr) != 0)
             return QStringLiteral("cannot remount read-only here");
         p.file = p.mounted + "/a.php";
         return QString();
     },
     New, "Read-only file system", [](const Place &p) { EXPECT_EQ(ReadFileBytes(p.file), Old); }},
    {"FolderOfAnotherUserSaysPermissionDenied",
     [](Place &p) {
         if (::geteuid() != 0)
             return QStringLiteral("needs root");
         p.file = p.path("a.php");
         WriteFileBytes(p.file, Old);
         return QString();
     },
     New, "Permission denied", [](const Place &p) { EXPECT_EQ(ReadFileBytes(p.file), Old); },
     65534},
    {"WritableFileWhoseOwnerCannotBeKeptIsWrittenInPlace",
     [](Place &p) {
         const passwd *nobody = ::getpwnam("nobody");
         if (!nobody || ::geteuid() != 0)
             return QStringLiteral("needs root and a user nobody");
         ::chmod(QFile::encodeName(p.folder).constData(), 0777);
         p.file = p.path("shared.php");
         WriteFileBytes(p.file, Old);
         ::chmod(QFile::encodeName(p.file).constData(), 0666);
         ::chown(QFile::encodeName(p.file).constData(), nobody->pw_uid, nobody->pw_gid);
         p.inode = statOf(p.file).st_ino;
         return QString();
     },
     New, "",
     [](const Place &p) {
         EXPECT_EQ(statOf(p.file).st_uid, ::getpwnam("nobody")->pw_uid);
         EXPECT_EQ(statOf(p.file).st_ino, p.inode); // written in place
         expectOnly(p.folder, {"shared.php"});
     },
     12345},
    {"MissingFolderSaysSo",
     [](Place &p) {
         p.file = p.path("gone/a.php");
         return QString();
     },
     New, "No such file or directory", [](const Place &) {}},
};

class SafeWrite : public ::testing::TestWithParam<Case> {
protected:
    void TearDown() override
    {
        if (!place.mounted.isEmpty())
            ::umount2(QFile::encodeName(place.mounted).constData(), MNT_DETACH);
    }
    QTemporaryDir dir;
    Place place;
};

} // namespace

TEST_P(SafeWrite, LeavesTheUserWithWhatTheyExpect)
{
    const Case &c = GetParam();
    place.folder = dir.path();
    if (const QString skip = c.setUp(place); !skip.isEmpty())
        GTEST_SKIP() << qPrintable(skip);
    QString error;
    int code = -1;
    const uid_t previous = c.asUser ? ::setfsuid(c.asUser) : 0;
    try {
        SafeWriteFile(place.file, {c.content.left(4), c.content.mid(4)});
    } catch (const FileWriteError &e) {
        error = e.message();
        code = e.code();
    }
    if (c.asUser)
        ::setfsuid(previous);
    if (c.refusal.isEmpty()) {
        EXPECT_EQ(error, "");
        EXPECT_EQ(ReadFileBytes(place.file), c.content);
    } else {
        EXPECT_EQ(error, "Cannot save \"" + place.file + "\": " + c.refusal);
        EXPECT_EQ(code != 0, !c.refusal.startsWith("it is ")); // errno, or our own refusal
    }
    c.check(place);
}

INSTANTIATE_TEST_SUITE_P(FileSystems, SafeWrite, ::testing::ValuesIn(Cases),
                         [](const auto &info) { return std::string(info.param.name); });
