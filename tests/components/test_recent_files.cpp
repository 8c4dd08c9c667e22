#include "components/recent_files.h"
#include "foundation/errors.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTemporaryDir>

namespace {
class RecentFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUserSettings(std::make_unique<IniSettingsStore>(dir.filePath("settings.ini")));
        item.setMenu(&menu);
    }
    void TearDown() override { SetUserSettings(nullptr); }

    QString stored(const QString &key)
    {
        return UserSettings().readValue("quillstone\\RecentFiles\\" + key, "String");
    }
    static QStringList shown(const QMenu &menu)
    {
        QStringList captions;
        for (QAction *a : menu.actions())
            captions << a->text();
        return captions;
    }

    QTemporaryDir dir;
    QMenu menu;
    QAction item{"&Reopen"};
};
} // namespace

TEST_F(RecentFilesTest, FirstRunIsEmptyAndWritesACountOfZero)
{
    {
        RecentFiles recent(nullptr, "quillstone");
        recent.SetMenuItem(&item);
        EXPECT_TRUE(recent.files().isEmpty());
        EXPECT_TRUE(menu.actions().isEmpty());
    }
    EXPECT_EQ(stored("Count"), "0");
}

TEST_F(RecentFilesTest, ReopeningMovesToTheTopWithTheNewLetterCase)
{
    RecentFiles recent(nullptr, "quillstone");
    recent.SetMenuItem(&item);
    recent.NotifyOpen("/web/a.wdx");
    recent.NotifyOpen("/web/b.wdx");
    recent.NotifyOpen("/WEB/A.wdx");
    EXPECT_EQ(recent.files(), (QStringList{"/WEB/A.wdx", "/web/b.wdx"}));
    EXPECT_EQ(shown(menu), (QStringList{"/WEB/A.wdx", "/web/b.wdx"}));
}

TEST_F(RecentFilesTest, KeepsTwentyShowsTwelveAndSurvivesARestart)
{
    {
        RecentFiles recent(nullptr, "quillstone");
        recent.SetMenuItem(&item);
        for (int i = 0; i < 25; ++i)
            recent.NotifyOpen(QStringLiteral("/p/%1.wdx").arg(i));
        ASSERT_EQ(recent.files().size(), 20);
        EXPECT_EQ(recent.files().first(), "/p/24.wdx");
        EXPECT_EQ(recent.files().last(), "/p/5.wdx");
        EXPECT_EQ(menu.actions().size(), 12);
        EXPECT_EQ(menu.actions().last()->text(), "/p/13.wdx");
    }
    EXPECT_EQ(stored("Count"), "20");
    EXPECT_EQ(stored("File0"), "/p/24.wdx");
    RecentFiles again(nullptr, "quillstone");
    EXPECT_EQ(again.files().size(), 20);
    EXPECT_EQ(again.files().at(19), "/p/5.wdx");
}

TEST_F(RecentFilesTest, AHandWrittenListOfThirtyIsReadWhole)
{
    for (int i = 0; i < 30; ++i)
        UserSettings().writeValue(QStringLiteral("quillstone\\RecentFiles\\File%1").arg(i),
                                  "String", QStringLiteral("/hand/%1.wdx").arg(i));
    UserSettings().writeValue("quillstone\\RecentFiles\\Count", "String", "30");
    RecentFiles recent(nullptr, "quillstone");
    ASSERT_EQ(recent.files().size(), 30);
    recent.NotifyOpen("/new.wdx");
    // Only the last entry goes.
    ASSERT_EQ(recent.files().size(), 30);
    EXPECT_EQ(recent.files().first(), "/new.wdx");
    EXPECT_EQ(recent.files().last(), "/hand/28.wdx");
}

TEST_F(RecentFilesTest, BadCountGivesAnEmptyListAndMissingEntriesReadEmpty)
{
    UserSettings().writeValue("quillstone\\RecentFiles\\Count", "String", "lots");
    EXPECT_TRUE(RecentFiles(nullptr, "quillstone").files().isEmpty());
    UserSettings().writeValue("quillstone\\RecentFiles\\Count", "String", "2");
    UserSettings().writeValue("quillstone\\RecentFiles\\File1", "String", "/x.wdx");
    RecentFiles recent(nullptr, "quillstone");
    EXPECT_EQ(recent.files(), (QStringList{"", "/x.wdx"}));
}

TEST_F(RecentFilesTest, ChoosingAnEntryReportsItsPath)
{
    RecentFiles recent(nullptr, "quillstone");
    recent.SetMenuItem(&item);
    recent.NotifyOpen("/web/R&D.wdx");
    recent.NotifyOpen("/web/b.wdx");
    QStringList opened;
    recent.OnOpenFile = [&](QObject *sender, const QString &name) {
        EXPECT_EQ(sender, &recent);
        opened << name;
    };
    menu.actions().at(1)->trigger();
    EXPECT_EQ(opened, QStringList{"/web/R&D.wdx"});
    EXPECT_EQ(menu.actions().at(1)->text(), "/web/R&&D.wdx");
}

namespace {
// The user's own store, found through XDG_CONFIG_HOME as the program finds
// it, with a settings.ini written by hand.
class HostileSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
        SetUserSettings(nullptr);
        QDir(dir.path()).mkpath("quillstone");
        ini = dir.filePath("quillstone/settings.ini");
        ASSERT_EQ(IniSettingsStore::defaultFilePath(), ini);
    }
    void TearDown() override
    {
        SetUserSettings(nullptr);
        qputenv("XDG_CONFIG_HOME", m_previous);
    }
    // A settings.ini with the given count and entries File<i> = /p/<i>.wdx.
    void writeList(const QString &count, const std::vector<int> &entries)
    {
        QByteArray text = "[quillstone\\RecentFiles\\Count]\nString=" + count.toUtf8() + "\n";
        for (int i : entries)
            text += QStringLiteral("[quillstone\\RecentFiles\\File%1]\nString=/p/%1.wdx\n")
                        .arg(i)
                        .toUtf8();
        WriteFileBytes(ini, text);
    }
    QStringList readList()
    {
        QStringList files;
        EXPECT_TRUE(
            FinishesWithin(5000, [&] { files = RecentFiles(nullptr, "quillstone").files(); }));
        return files;
    }

    QTemporaryDir dir;
    QString ini;

private:
    QByteArray m_previous;
};
} // namespace

TEST_F(HostileSettings, TheStoredCountIsClampedToTheEntriesPresent)
{
    // The largest count there is, over three entries: three are read, and
    // no empty keys are made for the rest.
    writeList("2147483647", {0, 1, 2});
    EXPECT_EQ(readList(), (QStringList{"/p/0.wdx", "/p/1.wdx", "/p/2.wdx"}));
    EXPECT_LT(ReadFileBytes(ini).size(), 1000);
    writeList("2147483647", {});
    EXPECT_TRUE(readList().isEmpty());

    // Entries up to the last one present; a gap reads empty, as before.
    writeList("25", {0, 1, 20, 24, 30});
    const QStringList gap = readList();
    ASSERT_EQ(gap.size(), 25);
    EXPECT_EQ(gap.at(20), "/p/20.wdx");
    EXPECT_EQ(gap.at(2), "");
    // Only the form the list writes counts as an entry.
    WriteFileBytes(ini, "[quillstone\\RecentFiles\\Count]\nString=50\n"
                        "[quillstone\\RecentFiles\\File007]\nString=/odd.wdx\n"
                        "[quillstone\\RecentFiles\\File+9]\nString=/odd.wdx\n"
                        "[quillstone\\RecentFiles\\File1]\nString=/one.wdx\n");
    EXPECT_EQ(readList(), (QStringList{"", "/one.wdx"}));

    // No more than the sane maximum, however many entries are stored.
    std::vector<int> many(1500);
    for (int i = 0; i < 1500; ++i)
        many[size_t(i)] = i;
    writeList("1500", many);
    EXPECT_EQ(readList().size(), RecentFiles::MaxReadEntries);

    // Odd counts mean an empty list.
    for (const char *odd : {"-5", "abc", "1e3", "0x10", "99999999999", ""}) {
        writeList(odd, {0, 1});
        EXPECT_TRUE(readList().isEmpty()) << odd;
    }
}

TEST_F(HostileSettings, ASettingsFileThatIsNoRegularFileOrTooLargeIsNeitherReadNorReplaced)
{
    // A link to an endless device: the list starts empty and the exit write
    // leaves the link alone; a setting read reports the file and the reason.
    ASSERT_TRUE(QFile::link("/dev/zero", ini));
    EXPECT_TRUE(FinishesWithin(5000, [&] {
        RecentFiles recent(nullptr, "quillstone");
        EXPECT_TRUE(recent.files().isEmpty());
        recent.NotifyOpen("/p/new.wdx");
    }));
    EXPECT_EQ(QFileInfo(ini).symLinkTarget(), "/dev/zero");
    try {
        RegReadString("Software\\Quillstone\\ActivateOnReturn", "1");
        ADD_FAILURE() << "no error";
    } catch (const AppError &e) {
        EXPECT_TRUE(e.message().contains(QDir::toNativeSeparators(ini)) &&
                    e.message().contains("not a regular file"))
            << e.message().toStdString();
    }

    // Larger than a settings file can be (sparse: it costs no disk).
    QFile::remove(ini);
    {
        QFile big(ini);
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(IniSettingsStore::MaxFileBytes + 1));
    }
    EXPECT_TRUE(readList().isEmpty());
    EXPECT_EQ(QFileInfo(ini).size(), IniSettingsStore::MaxFileBytes + 1);
    EXPECT_THROW(RegWriteString("Software\\Quillstone\\ActivateOnReturn", "0"), AppError);
    EXPECT_EQ(QFileInfo(ini).size(), IniSettingsStore::MaxFileBytes + 1);
}
