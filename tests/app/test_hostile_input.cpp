// Odd and hostile input through the real window set: each case ends within
// a bounded wait with a clear message, and nothing the user had is lost.
#include "app_fixture.h"
#include "components/recent_files.h"
#include "forms/browser_frame.h"
#include "forms/project_options_dialog.h"
#include "forms/run_window.h"
#include "foundation/settings_store.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>

#include <sys/stat.h>

namespace {
class HostileInput : public AppTest {
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteFileBytes(path, bytes);
        return path;
    }
};

QString longAddress(int length)
{
    QString address = QStringLiteral("http://127.0.0.1/page.php?q=");
    while (address.size() < length)
        address += QStringLiteral("0123456789");
    return address.left(length);
}
} // namespace

TEST_F(HostileInput, ARecentCountOfTwoBillionStillLetsTheWindowAppear)
{
    // The count the issue was found with, over two entries: the window is
    // built at once and lists the two.
    const QString root = RecentFiles::defaultKeyRoot();
    UserSettings().writeValue(root + "\\RecentFiles\\Count", "String", "2147483647");
    UserSettings().writeValue(root + "\\RecentFiles\\File0", "String", "/p/a.wdx");
    UserSettings().writeValue(root + "\\RecentFiles\\File1", "String", "/p/b.wdx");
    {
        const ScopedDeadline deadline(10000);
        start();
        form()->show();
    }
    EXPECT_EQ(form()->ui().recentFiles->files(), (QStringList{"/p/a.wdx", "/p/b.wdx"}));
    EXPECT_EQ(form()->item("Reopen1")->menu()->actions().size(), 2);
}

TEST_F(HostileInput, AHostileProjectFileLeavesTheOpenProjectAsItWas)
{
    start();
    const QString good =
        write("site/good.wdx", "<WENDLOR_Project><file path=\"a.php\"/>"
                               "<address address=\"http://good/\"/></WENDLOR_Project>");
    write("site/a.php", "<?php\n");
    form()->projectTree().OpenProject(good);
    ASSERT_EQ(form()->project().FileName, good);
    const QByteArray goodBytes = ReadFileBytes(good);

    ASSERT_TRUE(QFile::link("/dev/zero", dir.filePath("zero.wdx")));
    QByteArray deep = "<WENDLOR_Project>";
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    write("deep.wdx", deep);
    write("bad.wdx", "<WENDLOR_Project>\n\n  <file path=\"caf\xE9.php\"/>\n</WENDLOR_Project>\n");
    // 20 MB in one address: refused before any box or request sees it.
    write("long.wdx", "<WENDLOR_Project>\n<address address=\"" + QByteArray(20 << 20, 'a') +
                          "\"/></WENDLOR_Project>");
    const struct {
        const char *name;
        const char *reason;
    } cases[] = {{"zero.wdx", "not a regular file"},
                 {"deep.wdx", "deeper than 256 levels"},
                 {"bad.wdx", "(line 3, column 18): a byte that is not UTF-8"},
                 {"long.wdx", "(line 2, column 19): an attribute value longer than 65536 bytes"}};
    for (const auto &c : cases) {
        const QString path = dir.filePath(c.name);
        const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::System);
        dialogs.errors.clear();
        dialogs.openAnswers.push_back({path});
        {
            const ScopedDeadline deadline(10000);
            form()->item("Open2")->trigger();
        }
        ASSERT_EQ(dialogs.errors.size(), 1u) << c.name;
        EXPECT_TRUE(dialogs.errors[0].contains(path) && dialogs.errors[0].contains(c.reason))
            << dialogs.errors[0].toStdString();
        EXPECT_EQ(form()->project().FileName, good);
        EXPECT_EQ(form()->project().RunAddress, "http://good/");
        EXPECT_EQ(form()->project().Files.Count(), 1);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System), before);
        EXPECT_EQ(ReadFileBytes(good), goodBytes);
    }
}

TEST_F(HostileInput, LongStoredTextsAreKeptWhole)
{
    // Past the 32,767 characters an address box keeps by default.
    start();
    const QString address = longAddress(40000);
    const QString host = QStringLiteral("h") + longAddress(39999);
    const QString project = write("long/long.wdx", "<WENDLOR_Project><address address=\"" +
                                                       address.toUtf8() + "\"/></WENDLOR_Project>");
    form()->projectTree().OpenProject(project);
    // Sizes first, so a cut shows as two numbers.
    EXPECT_EQ(form()->project().RunAddress.size(),
              address.size()); // through the preview's address box
    EXPECT_TRUE(form()->project().RunAddress == address);

    // Through the Run window's box, and through the Project Options dialog.
    form()->handle(QStringLiteral("RunwithoutDebuging1Click"));
    EXPECT_EQ(form()->project().RunAddress.size(), address.size());
    dialogs.onModal = [&](QWidget *window) {
        if (auto *options = qobject_cast<ProjectOptionsDialog *>(window))
            options->findChild<QLineEdit *>(QStringLiteral("hostedit"))->setText(host);
        return int(QDialog::Accepted);
    };
    form()->item("Publish1")->trigger();
    EXPECT_EQ(form()->project().Ftp.Host.size(), host.size());

    form()->handle(QStringLiteral("SavePrjClick"));
    const QByteArray saved = ReadFileBytes(project);
    EXPECT_TRUE(saved.contains("address=\"" + address.toUtf8() + "\""));
    EXPECT_TRUE(saved.contains("host=\"" + host.toUtf8() + "\""));
}
