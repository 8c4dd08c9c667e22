#include "components/recent_files.h"
#include "foundation/settings_store.h"
#include "support/test_support.h"

#include <QAction>
#include <QMenu>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
class RecentFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUserSettings(std::make_unique<IniSettingsStore>(dir.filePath("settings.ini")));
        item.setMenu(&menu);
    }
    void TearDown() override { SetUserSettings(nullptr); }

    QString stored(const QString &key) { return UserSettings().readValue("quillstone\\RecentFiles\\" + key, "String"); }
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
        UserSettings().writeValue(QStringLiteral("quillstone\\RecentFiles\\File%1").arg(i), "String",
                                  QStringLiteral("/hand/%1.wdx").arg(i));
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
