#include "foundation/errors.h"
#include "project/project.h"
#include "project/project_prefetch.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>
#include <sys/stat.h>
#include <utility>

namespace {
const QString Fixtures = QStringLiteral(QS_FIXTURES "/project");

void addFile(Project &project, const QString &name, int line = 0, bool publish = true)
{
    // Filling the project is the test's setup, not an update it watches.
    const Notification update = std::exchange(project.OnProjectUpdate, Notification());
    project.AddFiles({name});
    project.OnProjectUpdate = update;
    project.Files.Last()->Line = line;
    project.Files.Last()->Publish = publish;
}

// Everything a load may change, as one comparable text.
QString snapshot(const Project &project)
{
    QStringList parts{project.FileName,
                      project.OpenedFile,
                      QString::number(project.OpenedStamp),
                      project.RunAddress,
                      project.DatabaseAddress,
                      project.Ftp.Host,
                      project.Ftp.User,
                      project.Ftp.Pass,
                      project.Ftp.Folder,
                      QString::number(project.Ftp.Progress)};
    for (int i = 0; i < project.Files.Count(); ++i) {
        const ProjectEntry *f = project.Files.Get(i);
        parts << f->Name << QString::number(f->Line) << (f->Publish ? "T" : "F");
    }
    return parts.join(u'|');
}

QString errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const AppError &e) {
        return e.message();
    }
    return QString();
}

class ProjectFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = QDir(dir.path()).canonicalPath();
        QDir(root).mkpath("web/shop/inc");
        project.OnProjectUpdate.bind([this](QObject *) { events << "update"; });
        project.OnLoaded.bind([this](QObject *) { events << "loaded:" + project.FileName; });
        project.OnBeforeSave.bind([this](QObject *) { events << "before-save"; });
        project.OnWorkspaceLog.bind([this](QObject *) { events << "log:" + project.LogText; });
    }

    QString at(const QString &relative) const { return root + u'/' + relative; }

    // A project that was loaded from somewhere: every member holds a value.
    void fillOldProject()
    {
        addFile(project, at("old/one.php"), 7, false);
        project.FileName = at("old/old.wdx");
        project.OpenedFile = at("old/one.php");
        project.OpenedStamp = 0x12345678;
        project.RunAddress = "http://127.0.0.1/old";
        project.DatabaseAddress = "http://127.0.0.1/olddb/";
        project.Ftp = {"oldhost", "olduser", "oldpass", "/old", 30};
    }

    // Loads `bytes` from a file and expects a clear error and no change at all.
    void expectRejected(const char *name, const QByteArray &bytes, const QString &errorPart)
    {
        fillOldProject();
        const QString before = snapshot(project);
        WriteFileBytes(at(name), bytes);
        events.clear();
        const QString error = errorOf([&] { project.LoadFromFile(at(name)); });
        EXPECT_TRUE(error.contains(errorPart)) << name << ": " << error.toStdString();
        EXPECT_EQ(snapshot(project), before) << name;
        EXPECT_TRUE(events.isEmpty()) << name << ": " << events.join(", ").toStdString();
        project.Clear();
    }

    QTemporaryDir dir;
    QString root;
    ScriptedDialogs dialogs;
    Project project;
    QStringList events;
};
} // namespace

TEST_F(ProjectFileTest, SaveWritesTheExactBytes)
{
    addFile(project, at("web/shop/index.php"), 12, true);
    addFile(project, at("web/shop/inc/db.php"), 0, false);
    project.OpenedFile = at("web/shop/Index.php");
    project.SaveToFile(at("web/shop/shop.wdx"));

    const QByteArray expected = "<WENDLOR_Project>\r\n"
                                "   <file path=\"index.php\" line=\"12\" publish=\"True\"/>\r\n"
                                "   <file path=\"inc\\db.php\" line=\"0\" publish=\"False\"/>\r\n"
                                "   <ftp host=\"\" user=\"\" pass=\"\" folder=\"\"/>\r\n"
                                "   <address address=\"http://127.0.0.1\"/>\r\n"
                                "   <DatabaseAddress address=\"http://127.0.0.1/pa/\"/>\r\n"
                                "   <opened path=\"" +
                                at("web/shop/Index.php").toUtf8() +
                                "\"/>\r\n"
                                "</WENDLOR_Project>\r\n";
    EXPECT_EQ(ReadFileBytes(at("web/shop/shop.wdx")), expected);
    EXPECT_EQ(project.FileName, at("web/shop/shop.wdx"));
    EXPECT_EQ(events, (QStringList{"before-save", "log:Project saved"}));
}

TEST_F(ProjectFileTest, EmptyProjectWritesTheFourFixedElements)
{
    project.Ftp = {" h ", "u", "p&<>\"", " f ", 80};
    project.SaveToFile(at("empty.wdx"));
    EXPECT_EQ(
        ReadFileBytes(at("empty.wdx")),
        QByteArray(
            "<WENDLOR_Project>\r\n"
            "   <ftp host=\" h \" user=\"u\" pass=\"p&amp;&lt;&gt;&quot;\" folder=\" f \"/>\r\n"
            "   <address address=\"http://127.0.0.1\"/>\r\n"
            "   <DatabaseAddress address=\"http://127.0.0.1/pa/\"/>\r\n"
            "   <opened path=\"\"/>\r\n"
            "</WENDLOR_Project>\r\n"));
    Project other;
    other.LoadFromFile(at("empty.wdx"));
    EXPECT_EQ(other.Ftp.Host, " h ");
    EXPECT_EQ(other.Ftp.Pass, "p&<>\"");
    EXPECT_EQ(other.Ftp.Folder, " f ");
    EXPECT_EQ(other.Ftp.Progress, 0);
}

TEST_F(ProjectFileTest, HandWrittenFileLoadsToFullPaths)
{
    const QString file = Fixtures + "/shop_handwritten.wdx";
    const QString folder = QFileInfo(file).absolutePath();
    const QString parent = QFileInfo(folder).absolutePath();
    project.LoadFromFile(file);

    ASSERT_EQ(project.Files.Count(), 4);
    EXPECT_EQ(project.Files.Get(0)->Name, folder + "/index.php");
    EXPECT_EQ(project.Files.Get(0)->Line, 12);
    EXPECT_TRUE(project.Files.Get(0)->Publish);
    EXPECT_EQ(project.Files.Get(1)->Name, folder + "/inc/db.php");
    EXPECT_FALSE(project.Files.Get(1)->Publish);
    EXPECT_EQ(project.Files.Get(2)->Name, parent + "/lib/util.php");
    EXPECT_EQ(project.Files.Get(2)->Line, 41);
    EXPECT_EQ(project.Files.Get(3)->Name, folder + "/css/site.css");
    EXPECT_TRUE(project.Files.Get(3)->Publish);
    EXPECT_EQ(project.Ftp.Host, "ftp.example.org");
    EXPECT_EQ(project.Ftp.Pass, " s3cret & \"more\" ");
    EXPECT_EQ(project.Ftp.Folder, "/htdocs/shop");
    EXPECT_EQ(project.RunAddress, "http://127.0.0.1/shop/index.php");
    EXPECT_EQ(project.DatabaseAddress, "http://127.0.0.1/phpmyadmin/");
    EXPECT_EQ(project.OpenedFile, "C:\\web\\shop\\index.php");
    EXPECT_EQ(project.OpenedStamp, 0u);
    EXPECT_EQ(project.FileName, file);
    EXPECT_EQ(events, (QStringList{"loaded:" + file, "log:Loaded", "update"}));
}

TEST_F(ProjectFileTest, ReaderToleratesOrderDuplicatesCommentsAndUnknowns)
{
    fillOldProject();
    const QString file = Fixtures + "/tolerant_latin1.wdx";
    const QString folder = QFileInfo(file).absolutePath();
    project.LoadFromFile(file);

    ASSERT_EQ(project.Files.Count(), 3);
    EXPECT_EQ(project.Files.Get(0)->Name, folder + QStringLiteral("/café.php"));
    EXPECT_EQ(project.Files.Get(0)->Line, 0); // "seven"
    EXPECT_FALSE(project.Files.Get(0)->Publish);
    EXPECT_EQ(project.Files.Get(1)->Name, folder); // no "path": the folder itself
    EXPECT_EQ(project.Files.Get(1)->Line, 2);
    EXPECT_FALSE(project.Files.Get(1)->Publish); // no "publish": locked
    EXPECT_EQ(project.Files.Get(2)->Name, folder + QStringLiteral("/café.php"));
    EXPECT_EQ(project.Files.Get(2)->Line, 5);
    EXPECT_TRUE(project.Files.Get(2)->Publish);
    EXPECT_EQ(project.RunAddress, "http://second");
    EXPECT_EQ(project.OpenedFile, "/second/opened.php");
    // Elements the file lacks keep what the previous project had.
    EXPECT_EQ(project.DatabaseAddress, "http://127.0.0.1/olddb/");
    EXPECT_EQ(project.Ftp.Host, "oldhost");
    EXPECT_EQ(project.Ftp.Pass, "oldpass");
    EXPECT_EQ(project.FileName, file);
}

TEST_F(ProjectFileTest, SaveElsewhereAndReadBackGivesTheSamePaths)
{
    const QStringList names = {
        at("web/shop/index.php"),
        at("web/shop/inc/db.php"),
        at("web/lib/util.php"),
        at("Web/Shop/index.php"), // other folders on a case-sensitive system
        "/usr/share/doc/readme.txt",
        "C:\\web\\other\\x.php", // written on another system, kept whole
        at("web/shop/odd\\name.php"),
        at(QStringLiteral("web/shop/Grüße/東京/файл €.php")),
        at("web/shop/" + QString(60, u'd') + "/" + QStringLiteral("long/").repeated(150) +
           "end.php"),
    };
    for (int i = 0; i < names.size(); ++i)
        addFile(project, names[i], i * 10, i % 2 == 0);
    project.OpenedFile = names[7];
    project.Ftp = {"h", "u", "p", "f", 0};

    project.SaveToFile(at("web/shop/shop.wdx"));
    const QByteArray first = ReadFileBytes(at("web/shop/shop.wdx"));
    EXPECT_TRUE(first.contains("path=\"..\\..\\Web\\Shop\\index.php\""));
    EXPECT_TRUE(first.contains("path=\"..\\lib\\util.php\""));
    EXPECT_TRUE(first.contains("path=\"C:\\web\\other\\x.php\""));

    QDir(root).mkpath("elsewhere/deeper");
    project.SaveToFile(at("elsewhere/deeper/copy.wdx"));
    const QByteArray second = ReadFileBytes(at("elsewhere/deeper/copy.wdx"));
    EXPECT_TRUE(second.contains("path=\"..\\..\\web\\shop\\index.php\""));
    EXPECT_TRUE(second.contains("path=\"..\\..\\web\\lib\\util.php\""));

    for (const QString &file : {at("web/shop/shop.wdx"), at("elsewhere/deeper/copy.wdx")}) {
        Project loaded;
        loaded.LoadFromFile(file);
        QStringList read;
        loaded.ListFileNames(read);
        EXPECT_EQ(read, names) << file.toStdString();
        for (int i = 0; i < names.size(); ++i) {
            EXPECT_EQ(loaded.Files.Get(i)->Line, i * 10);
            EXPECT_EQ(loaded.Files.Get(i)->Publish, i % 2 == 0);
        }
        EXPECT_EQ(loaded.OpenedFile, names[7]);
    }
}

TEST_F(ProjectFileTest, BadInputRaisesAndChangesNothing)
{
    QByteArray binary("\x89PNG\r\n\x1a\n", 8);
    for (int i = 0; i < 200; ++i)
        binary.append(static_cast<char>((i * 53 + 7) & 0xff));
    const QByteArray good = "<WENDLOR_Project>\r\n   <file path=\"a.php\" line=\"1\"/>\r\n";

    expectRejected("malformed.wdx",
                   "<WENDLOR_Project>\r\n   <file path=\"a.php\">\r\n</WENDLOR_Project>",
                   "is not a well-formed XML file (line 3");
    expectRejected("truncated.wdx", good.left(good.size() - 9), "is not a well-formed XML file");
    expectRejected("binary.wdx", binary, "is not a well-formed XML file");
    expectRejected("empty.wdx", "", "is not a well-formed XML file");
    expectRejected("wrongroot.wdx", "<Project><file path=\"a.php\"/></Project>",
                   "XML parse - wrong format");
    expectRejected("wrongcase.wdx", "<wendlor_project><file path=\"a.php\"/></wendlor_project>",
                   "XML parse - wrong format");
    expectRejected(
        "badpublish.wdx",
        "<WENDLOR_Project><file path=\"a.php\" publish=\"True\"/>"
        "<address address=\"http://new\"/>"
        "<file path=\"b.php\" publish=\"maybe\"/><opened path=\"/x\"/></WENDLOR_Project>",
        "\"maybe\"");
    // The conversion error names the attribute, the file and the line.
    WriteFileBytes(at("badpublish2.wdx"),
                   "<WENDLOR_Project>\n<file path=\"b.php\" publish=\"\"/>\n</WENDLOR_Project>");
    const QString error = errorOf([&] { project.LoadFromFile(at("badpublish2.wdx")); });
    EXPECT_TRUE(error.contains("\"publish\"") && error.contains(at("badpublish2.wdx")) &&
                error.contains("line 2"))
        << error.toStdString();
}

TEST_F(ProjectFileTest, WrongRootReportsTheExactMessage)
{
    WriteFileBytes(at("r.wdx"), "<other/>");
    EXPECT_EQ(errorOf([&] { project.LoadFromFile(at("r.wdx")); }), "XML parse - wrong format");
}

TEST_F(ProjectFileTest, MissingFileShowsTheMessageAndStillUpdates)
{
    fillOldProject();
    const QString before = snapshot(project);
    project.LoadFromFile(at("missing.wdx"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "XML Load: file doesn't exist" + at("missing.wdx"));
    EXPECT_EQ(snapshot(project), before);
    EXPECT_EQ(events, QStringList{"update"});
}

TEST_F(ProjectFileTest, FailedSaveKeepsTheOldFileAndStillLogs)
{
    addFile(project, at("web/shop/index.php"));
    project.SaveToFile(at("web/shop/shop.wdx"));
    const QByteArray saved = ReadFileBytes(at("web/shop/shop.wdx"));

    // A folder where the file should go, and a parent that is a regular file.
    QDir(root).mkpath("web/shop/taken.wdx");
    for (const QString &target : {at("web/shop/taken.wdx"), at("web/shop/shop.wdx/x.wdx")}) {
        events.clear();
        const QString error = errorOf([&] { project.SaveToFile(target); });
        EXPECT_TRUE(error.startsWith("XML Save: cannot write \"" + target + "\""))
            << error.toStdString();
        EXPECT_EQ(events, (QStringList{"before-save", "log:Project saved"}));
        EXPECT_EQ(project.FileName, at("web/shop/shop.wdx"));
    }

    // A value the file cannot hold fails before the old file is touched.
    project.Ftp.Pass = QStringLiteral("nul\x01");
    EXPECT_FALSE(errorOf([&] { project.SaveToFile(at("web/shop/shop.wdx")); }).isEmpty());
    EXPECT_EQ(ReadFileBytes(at("web/shop/shop.wdx")), saved);
}

TEST_F(ProjectFileTest, AFileWithAPasswordIsReadableByItsOwnerOnly)
{
    const auto mode = [&](const QString &name) {
        return QFileInfo(at(name)).permissions() &
               (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther |
                QFile::ExeOther);
    };
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    const QFile::Permissions shared = ownerOnly | QFile::ReadGroup | QFile::ReadOther;

    // Without a password the file is shared as any other.
    project.SaveToFile(at("plain.wdx"));
    QFile::setPermissions(at("plain.wdx"), shared);
    project.SaveToFile(at("plain.wdx"));
    EXPECT_EQ(mode("plain.wdx"), shared);

    // A new file with a password, and a shared one that gains one.
    project.Ftp.Pass = "secret";
    project.SaveToFile(at("new.wdx"));
    EXPECT_EQ(mode("new.wdx"), ownerOnly);
    project.SaveToFile(at("plain.wdx"));
    EXPECT_EQ(mode("plain.wdx"), ownerOnly);

    // Stricter than that stays so; the content is still replaced.
    QFile::setPermissions(at("new.wdx"), QFile::ReadOwner);
    project.Ftp.Pass = "changed";
    project.SaveToFile(at("new.wdx"));
    EXPECT_EQ(mode("new.wdx"), QFile::ReadOwner);
    EXPECT_TRUE(ReadFileBytes(at("new.wdx")).contains("pass=\"changed\""));
}

TEST_F(ProjectFileTest, LoggedBeforeTheFileIsWritten)
{
    bool existedAtLog = true;
    project.OnWorkspaceLog.bind([&](QObject *) { existedAtLog = QFile::exists(at("new.wdx")); });
    project.SaveToFile(at("new.wdx"));
    EXPECT_FALSE(existedAtLog);
    EXPECT_TRUE(QFile::exists(at("new.wdx")));
}

TEST_F(ProjectFileTest, LoadTakesTheOpenedFileStamp)
{
    WriteFileBytes(at("web/shop/index.php"), "<?php");
    const QDateTime when(QDate(2022, 2, 2), QTime(2, 2, 2), Qt::LocalTime);
    {
        QFile f(at("web/shop/index.php"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
    }
    project.OpenedFile = at("web/shop/index.php");
    project.SaveToFile(at("web/shop/shop.wdx"));

    Project loaded;
    loaded.LoadFromFile(at("web/shop/shop.wdx"));
    EXPECT_EQ(loaded.OpenedFile, at("web/shop/index.php"));
    EXPECT_EQ(loaded.OpenedStamp, PackDosStamp(when));
}

TEST_F(ProjectFileTest, TracePointsShowTargetAndRelativePaths)
{
    MemoryTraceSink sink;
    ScopedProgramTrace attach(&sink);
    addFile(project, at("web/shop/inc/db.php"));
    project.SaveToFile(at("web/shop/shop.wdx"));
    ASSERT_EQ(sink.lines.size(), 2u);
    const QRegularExpression pattern("^\\d+: (\\w+)\\(project_file\\.cpp\\):\\d+:(.*)$");
    const auto first = pattern.match(sink.lines[0]);
    const auto second = pattern.match(sink.lines[1]);
    ASSERT_TRUE(first.hasMatch() && second.hasMatch()) << sink.lines[0].toStdString();
    EXPECT_EQ(first.captured(1), "filename");
    EXPECT_EQ(first.captured(2), at("web/shop/shop.wdx"));
    EXPECT_EQ(second.captured(1), "fname");
    EXPECT_EQ(second.captured(2), "inc\\db.php");
}

TEST_F(ProjectFileTest, HostileFilesAreRefusedAtOnceNamingFileAndReason)
{
    // Each case must be refused quickly, with the project left as it was and
    // nothing written next to the file.
    const auto refused = [&](const QString &path, const QStringList &parts) {
        fillOldProject();
        const QString before = snapshot(project);
        const QStringList filesBefore = QDir(root).entryList(QDir::AllEntries | QDir::System);
        QString error;
        ASSERT_TRUE(
            FinishesWithin(10000, [&] { error = errorOf([&] { project.LoadFromFile(path); }); }));
        for (const QString &part : parts)
            EXPECT_TRUE(error.contains(part))
                << error.toStdString() << " lacks " << part.toStdString();
        EXPECT_EQ(snapshot(project), before);
        EXPECT_EQ(QDir(root).entryList(QDir::AllEntries | QDir::System), filesBefore);
        project.Clear();
    };

    // A link to an endless device, and a pipe that nobody writes to.
    ASSERT_TRUE(QFile::link("/dev/zero", at("zero.wdx")));
    refused(at("zero.wdx"), {at("zero.wdx"), "not a regular file"});
    ASSERT_EQ(mkfifo(QFile::encodeName(at("pipe.wdx")).constData(), 0600), 0);
    refused(at("pipe.wdx"), {at("pipe.wdx"), "not a regular file"});

    // Larger than the limit: refused before it is read (a sparse file costs no disk).
    {
        QFile big(at("big.wdx"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(XmlStorage::MaxXmlFileBytes + 1));
    }
    refused(at("big.wdx"), {at("big.wdx"), "too large", "256 MB"});

    // Nesting 100,000 deep: the model would take minutes; one level past the
    // limit is enough to refuse, at the element that crosses it.
    QByteArray deep = "<WENDLOR_Project>\n";
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    for (int i = 0; i < 100000; ++i)
        deep += "</a>";
    deep += "\n</WENDLOR_Project>\n";
    WriteFileBytes(at("deep.wdx"), deep);
    refused(at("deep.wdx"), {at("deep.wdx"), "deeper than 256 levels", "line 2, column 768"});
    QByteArray limit = "<WENDLOR_Project>";
    for (int i = 1; i < XmlStorage::MaxXmlDepth; ++i)
        limit += "<a>";
    for (int i = 1; i < XmlStorage::MaxXmlDepth; ++i)
        limit += "</a>";
    limit += "<file path=\"a.php\"/></WENDLOR_Project>";
    WriteFileBytes(at("limit.wdx"), limit);
    project.LoadFromFile(at("limit.wdx"));
    EXPECT_EQ(project.Files.Count(), 1);

    // A byte that is not UTF-8 deep in the file: its own line and column.
    QByteArray bad = "<WENDLOR_Project>\r\n";
    for (int i = 0; i < 5000; ++i)
        bad += "   <file path=\"a.php\" line=\"1\"/>\r\n";
    bad += "   <file path=\"caf\xC3\xA9/caf\xE9.php\"/>\r\n</WENDLOR_Project>\r\n";
    WriteFileBytes(at("bad.wdx"), bad);
    // Columns count characters: "é" before the bad byte is one.
    refused(at("bad.wdx"), {at("bad.wdx"), "line 5002, column 24", "not UTF-8 (0xe9)"});
    // Declared Latin-1, the byte is a letter.
    WriteFileBytes(at("latin1.wdx"),
                   "<?xml version='1.0' encoding='ISO-8859-1'?>\n"
                   "<WENDLOR_Project><file path=\"caf\xE9.php\"/></WENDLOR_Project>");
    project.LoadFromFile(at("latin1.wdx"));
    EXPECT_EQ(project.Files.Last()->Name, at(QString::fromUtf8("caf\xC3\xA9.php")));
}

TEST_F(ProjectFileTest, PublishingSettingsRoundTripAndStayOutOfFilesThatDoNotUseThem)
{
    project.Ftp = {"h", "u", "secret", "/www", 0};
    project.Ftp.Protocol = "sftp";
    project.Ftp.Tls = "when offered";
    project.Ftp.PasswordInKeyring = true;
    project.Ftp.Exclude = QStringList{".git/", "node_modules/", "*.wdx", "!keep.wdx"};
    // Until the keyring is known to hold it, the file keeps the password.
    project.SaveToFile(at("secure.wdx"));
    EXPECT_TRUE(ReadFileBytes(at("secure.wdx")).contains("pass=\"secret\""));
    EXPECT_EQ(QFileInfo(at("secure.wdx")).permissions() & QFileDevice::ReadOther, 0);
    project.Ftp.KeyringHoldsPassword = true;
    project.SaveToFile(at("secure.wdx"));
    const QByteArray bytes = ReadFileBytes(at("secure.wdx"));
    // The keyring holds the password: the file has none and is not private.
    EXPECT_FALSE(bytes.contains("secret"));
    EXPECT_TRUE(bytes.contains("<ftp host=\"h\" user=\"u\" pass=\"\" folder=\"/www\" "
                               "protocol=\"sftp\" tls=\"when offered\" keyring=\"True\"/>"))
        << bytes.toStdString();

    Project other;
    other.LoadFromFile(at("secure.wdx"));
    EXPECT_EQ(other.Ftp.Protocol, "sftp");
    EXPECT_TRUE(other.Ftp.isSftp());
    EXPECT_EQ(other.Ftp.Tls, "when offered");
    EXPECT_TRUE(other.Ftp.PasswordInKeyring);
    EXPECT_EQ(other.Ftp.Pass, "");
    EXPECT_EQ(other.Ftp.Exclude, project.Ftp.Exclude);

    // A password that an earlier version left in the file is still read.
    WriteFileBytes(at("old.wdx"), "<WENDLOR_Project><ftp host=\"h\" user=\"u\" pass=\"kept\" "
                                  "folder=\"\" keyring=\"True\"/></WENDLOR_Project>");
    other.LoadFromFile(at("old.wdx"));
    EXPECT_EQ(other.Ftp.Pass, "kept");
    EXPECT_TRUE(other.Ftp.PasswordInKeyring);
    // Loading a project without exclusions drops the previous project's.
    EXPECT_TRUE(other.Ftp.Exclude.isEmpty());

    // Cleared settings write the bytes of a file that never had them.
    project.Clear();
    project.SaveToFile(at("plain.wdx"));
    EXPECT_FALSE(ReadFileBytes(at("plain.wdx")).contains("protocol"));
    EXPECT_FALSE(ReadFileBytes(at("plain.wdx")).contains("exclude"));
    EXPECT_FALSE(ReadFileBytes(at("plain.wdx")).contains("keyring"));
}

TEST_F(ProjectFileTest, DebugSettingsRoundTripAndBrokenOnesAreSkipped)
{
    project.Debug.Breakpoints = {{at("web/shop/index.php"), 12, ""},
                                 {at("web/shop/inc/db.php"), 3, "$id > 2 && $x < \"y\""}};
    project.Debug.Port = 9100;
    project.Debug.Mappings = {{"/var/www/html", at("web/shop")}};
    project.SaveToFile(at("web/shop/shop.wdx"));
    const QByteArray bytes = ReadFileBytes(at("web/shop/shop.wdx"));
    EXPECT_TRUE(bytes.contains("<breakpoint path=\"inc\\db.php\" line=\"3\" "
                               "condition=\"$id &gt; 2 &amp;&amp; $x &lt; &quot;y&quot;\"/>"));
    EXPECT_TRUE(bytes.contains("<pathmap server=\"/var/www/html\""));
    Project loaded;
    loaded.LoadFromFile(at("web/shop/shop.wdx"));
    EXPECT_EQ(loaded.Debug.Breakpoints, project.Debug.Breakpoints);
    EXPECT_EQ(loaded.Debug.Port, 9100);
    ASSERT_EQ(loaded.Debug.Mappings.size(), 1);
    EXPECT_EQ(QDir::cleanPath(loaded.Debug.Mappings.at(0).local), at("web/shop"));

    // Hand-written: lines that are no lines, a port out of range, a mapping
    // without its server; a file without the elements has none.
    WriteFileBytes(at("hand.wdx"), "<WENDLOR_Project>"
                                   "<breakpoint path=\"a.php\" line=\"x\"/>"
                                   "<breakpoint path=\"a.php\" line=\"0\"/>"
                                   "<breakpoint line=\"4\"/>"
                                   "<breakpoint path=\"b.php\" line=\"4\"/>"
                                   "<debug port=\"70000\"/><pathmap local=\"x\"/>"
                                   "</WENDLOR_Project>");
    loaded.LoadFromFile(at("hand.wdx"));
    ASSERT_EQ(loaded.Debug.Breakpoints.size(), 1);
    EXPECT_EQ(loaded.Debug.Breakpoints.at(0).file, at("b.php"));
    EXPECT_EQ(loaded.Debug.Port, DebugSettings::DefaultPort);
    EXPECT_TRUE(loaded.Debug.Mappings.isEmpty());
    loaded.Debug = {};
    loaded.SaveToFile(at("plain.wdx"));
    EXPECT_FALSE(ReadFileBytes(at("plain.wdx")).contains("breakpoint"));
    EXPECT_FALSE(ReadFileBytes(at("plain.wdx")).contains("debug"));
}

TEST_F(ProjectFileTest, OpenTabsRoundTripOnlyWhenThereAreSeveral)
{
    project.OpenTabs = {at("web/shop/index.php"), at("web/shop/inc/db.php")};
    project.SaveToFile(at("web/shop/shop.wdx"));
    const QByteArray bytes = ReadFileBytes(at("web/shop/shop.wdx"));
    EXPECT_TRUE(bytes.contains("<tab path=\"index.php\"/>\r\n   <tab path=\"inc\\db.php\"/>"))
        << bytes.constData();
    Project loaded;
    loaded.LoadFromFile(at("web/shop/shop.wdx"));
    ASSERT_EQ(loaded.OpenTabs.size(), 2);
    EXPECT_EQ(QDir::cleanPath(loaded.OpenTabs.at(1)), at("web/shop/inc/db.php"));

    // One tab is the opened file alone: nothing written; a file without the
    // elements, or with an empty one, opens none.
    loaded.OpenTabs = {at("web/shop/index.php")};
    loaded.SaveToFile(at("one.wdx"));
    EXPECT_FALSE(ReadFileBytes(at("one.wdx")).contains("<tab"));
    WriteFileBytes(at("hand.wdx"), "<WENDLOR_Project><tab path=\"\"/></WENDLOR_Project>");
    loaded.LoadFromFile(at("hand.wdx"));
    EXPECT_TRUE(loaded.OpenTabs.isEmpty());
}

TEST_F(ProjectFileTest, PublishTargetsAreNewElementsAndOldFilesKeepTheirBytes)
{
    // A file of the one-target kind, as earlier versions wrote it, with every
    // setting they knew: read and saved unchanged, it keeps every byte.
    const QByteArray old = "<WENDLOR_Project>\r\n"
                           "   <file path=\"index.php\" line=\"3\" publish=\"True\"/>\r\n"
                           "   <ftp host=\"h\" user=\"u\" pass=\"p\" folder=\"/www\" "
                           "protocol=\"sftp\" tls=\"required\" keyring=\"True\"/>\r\n"
                           "   <exclude pattern=\".git/\"/>\r\n"
                           "   <exclude pattern=\"*.wdx\"/>\r\n"
                           "   <address address=\"http://127.0.0.1\"/>\r\n"
                           "   <DatabaseAddress address=\"http://127.0.0.1/pa/\"/>\r\n"
                           "   <opened path=\"\"/>\r\n"
                           "</WENDLOR_Project>\r\n";
    WriteFileBytes(at("web/old.wdx"), old);
    project.LoadFromFile(at("web/old.wdx"));
    ASSERT_EQ(project.PublishTargets().size(), 1);
    project.SaveToFile(at("web/old.wdx"));
    EXPECT_EQ(ReadFileBytes(at("web/old.wdx")), old);

    // Two more targets, the third chosen: the first stays the `ftp` element
    // with its exclusions; the others follow with their own.
    QList<FtpSettings> targets = project.PublishTargets();
    targets[0].Name = "staging";
    FtpSettings production;
    production.Name = "production";
    production.Host = "ftp.example.org";
    production.User = "site";
    production.Pass = "s&cret";
    production.Folder = "/public_html";
    production.Tls = "required";
    production.Exclude = QStringList{"drafts/", "*.log"};
    FtpSettings bare;
    bare.Host = "10.0.0.2";
    bare.MirrorDeletions = true;
    bare.FileMode = 0644;
    bare.FolderMode = 0755;
    bare.KeepTimes = true;
    targets << bare << production;
    project.SetPublishTargets(targets, 2);
    EXPECT_EQ(project.Ftp.Host, "ftp.example.org");
    project.SaveToFile(at("web/old.wdx"));
    const QByteArray bytes = ReadFileBytes(at("web/old.wdx"));
    EXPECT_TRUE(bytes.contains("<ftp host=\"h\" user=\"u\" pass=\"p\" folder=\"/www\" "
                               "protocol=\"sftp\" tls=\"required\" keyring=\"True\" "
                               "name=\"staging\"/>\r\n"
                               "   <exclude pattern=\".git/\"/>\r\n"
                               "   <exclude pattern=\"*.wdx\"/>\r\n"
                               "   <target host=\"10.0.0.2\" user=\"\" pass=\"\" folder=\"\" "
                               "mirrordeletions=\"True\" filemode=\"0644\" foldermode=\"0755\" "
                               "keeptimes=\"True\"/>\r\n"
                               "   <target host=\"ftp.example.org\" user=\"site\" "
                               "pass=\"s&amp;cret\" folder=\"/public_html\" tls=\"required\" "
                               "name=\"production\">\r\n"
                               "      <exclude pattern=\"drafts/\"/>\r\n"
                               "      <exclude pattern=\"*.log\"/>\r\n"
                               "   </target>\r\n"
                               "   <publishto target=\"2\"/>\r\n"))
        << bytes.toStdString();

    Project other;
    other.LoadFromFile(at("web/old.wdx"));
    EXPECT_EQ(other.PublishTargets(), project.PublishTargets());
    EXPECT_EQ(other.ChosenTarget(), 2);
    EXPECT_EQ(other.Ftp.Pass, "s&cret");
    EXPECT_EQ(other.Ftp.Exclude, production.Exclude);
    // Choosing another target keeps what was edited in the chosen one.
    other.Ftp.Folder = "/changed";
    other.ChooseTarget(0);
    EXPECT_EQ(other.Ftp.Host, "h");
    EXPECT_EQ(other.Ftp.Exclude, (QStringList{".git/", "*.wdx"}));
    EXPECT_EQ(other.PublishTargets().at(2).Folder, "/changed");
    EXPECT_FALSE(errorOf([&] { other.ChooseTarget(3); }).isEmpty());
    EXPECT_EQ(other.ChosenTarget(), 0);

    // A choice that is not there reads as the first target; back to one
    // target, the file has no trace of the others.
    QByteArray handEdited = bytes;
    handEdited.replace("<publishto target=\"2\"/>", "<publishto target=\"9\"/>");
    handEdited.replace("filemode=\"0644\"", "filemode=\"9z\"");
    WriteFileBytes(at("web/edited.wdx"), handEdited);
    other.LoadFromFile(at("web/edited.wdx"));
    EXPECT_EQ(other.ChosenTarget(), 0);
    EXPECT_EQ(other.Ftp.Name, "staging");
    EXPECT_EQ(other.PublishTargets().at(1).FileMode, -1); // no mode: the server's own
    EXPECT_EQ(other.PublishTargets().at(1).FolderMode, 0755);
    other.SetPublishTargets({other.Ftp}, 0);
    other.SaveToFile(at("web/edited.wdx"));
    EXPECT_FALSE(ReadFileBytes(at("web/edited.wdx")).contains("target"));
}

TEST(ProjectPrefetchTest, WhatWasReadAheadIsTakenOnlyWhileTheFileIsAsItWasRead)
{
    QTemporaryDir dir;
    const auto project = [](const char *name) {
        return QByteArray("<WENDLOR_Project>\r\n   <file path=\"") + name +
               "\" line=\"0\" publish=\"True\"/>\r\n</WENDLOR_Project>\r\n";
    };
    const QByteArray broken = "<WENDLOR_Project><file";
    struct Case {
        const char *name;
        QByteArray readAhead;
        QByteArray later;  // written between the read ahead and the open; empty: none
        const char *entry; // the entry the open finds; null: the open fails
    };
    const Case cases[] = {
        {"same", project("a.php"), {}, "a.php"},
        {"pulled", project("a.php"), project("bb.php"), "bb.php"},
        {"mended", broken, project("c.php"), "c.php"},
        {"broken", broken, {}, nullptr},
        {"emptied", project("a.php"), broken, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QLatin1String(c.name) + ".wdx");
        WriteFileBytes(path, c.readAhead);
        ProjectPrefetch prefetch;
        prefetch.start(path);
        prefetch.wait();
        if (!c.later.isEmpty())
            WriteFileBytes(path, c.later);
        if (!c.entry) {
            EXPECT_THROW(prefetch.take(path), AppError);
            continue;
        }
        Project loaded;
        const ProjectPrefetch::Read read = prefetch.take(path);
        loaded.LoadContent(*read.content, read.identity, path);
        ASSERT_EQ(loaded.Files.Count(), 1);
        EXPECT_EQ(QFileInfo(loaded.Files.Get(0)->Name).fileName(), c.entry);
    }
    // Another file than the one read ahead is read as it is now.
    const QString other = dir.filePath("other.wdx");
    WriteFileBytes(other, project("d.php"));
    ProjectPrefetch prefetch;
    prefetch.start(dir.filePath("same.wdx"));
    Project loaded;
    const ProjectPrefetch::Read read = prefetch.take(other);
    loaded.LoadContent(*read.content, read.identity, other);
    ASSERT_EQ(loaded.Files.Count(), 1);
    EXPECT_EQ(QFileInfo(loaded.Files.Get(0)->Name).fileName(), "d.php");
}
