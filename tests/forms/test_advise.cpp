// The advice window over a manual folder of our own, and the online manual
// window, with a recording browser in place of the engine.
#include "forms/advice_window.h"
#include "forms/browser_frame.h"
#include "forms/online_manual_window.h"
#include "foundation/errors.h"
#include "project/manual_index.h"
#include "support/recording_browser_view.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

class Advice : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = dir.filePath("phpmanual");
        QDir().mkpath(folder);
        for (const char *name :
             {"function.array-map.htm", "function.date.htm", "function.date-add.htm",
              "function.is-a.htm", "function.is-array.htm", "function.strlen.htm"})
            WriteFileBytes(folder + '/' + QString::fromLatin1(name), "<html></html>");
        SetManualFolderOverride(folder);
        advise = std::make_unique<AdviceWindow>();
        browser = ScopedRecordingBrowsers::of(advise->browser()->browserView());
    }
    void TearDown() override { SetManualFolderOverride(std::nullopt); }
    QString page(const char *file) const
    {
        return QUrl::fromLocalFile(folder + '/' + QString::fromLatin1(file)).toString();
    }
    int rowOf(const char *name) const
    {
        return int(advise->indexNames().indexOf(QString::fromLatin1(name)));
    }

    ScopedRecordingBrowsers browsers;
    QTemporaryDir dir;
    QString folder;
    std::unique_ptr<AdviceWindow> advise;
    RecordingBrowserView *browser = nullptr;
};

TEST_F(Advice, HiddenIndexAndBrowserWithoutAddressBar)
{
    EXPECT_TRUE(advise->grid->isHidden());
    EXPECT_TRUE(advise->findChild<QLineEdit *>(QStringLiteral("searched"))->isHidden());
    EXPECT_FALSE(advise->browser()->isAddressBarVisible());
    EXPECT_FALSE(advise->indexBuilt());

    advise->BuildManualIndex();
    // Locale order whatever the disk's; "-" sorts before ".", so date_add
    // comes before date.
    EXPECT_EQ(advise->indexNames(),
              QStringList({"array_map", "date_add", "date", "is_a", "is_array", "strlen"}));
    EXPECT_EQ(advise->grid->model()->rowCount(), 6);
    EXPECT_EQ(advise->grid->model()->index(0, 1).data().toString(), "function.array-map.htm");
    EXPECT_EQ(advise->fl.size(), 6);
    EXPECT_EQ(advise->currentRow(), 0);
    EXPECT_TRUE(browser->navigations.isEmpty());

    // A second build of the same folder gives the same rows.
    const QStringList first = advise->indexNames();
    advise->BuildManualIndex();
    EXPECT_EQ(advise->indexNames(), first);
}

TEST_F(Advice, SearchedEntryShowsItsPageOnceAndAgainWhenTheRowChanges)
{
    advise->BuildManualIndex();
    // Row 0 is current already: its page is loaded all the same, so the
    // window never shows blank.
    advise->setSearchedText("array_map");
    EXPECT_EQ(browser->navigations, QStringList({page("function.array-map.htm")}));

    advise->setSearchedText("STRLEN");
    EXPECT_EQ(advise->currentRow(), rowOf("strlen"));
    EXPECT_EQ(browser->navigations.last(), page("function.strlen.htm"));
    EXPECT_EQ(advise->browser()->urlText(), page("function.strlen.htm"));
    EXPECT_TRUE(browser->navigations.last().startsWith("file:///"));

    advise->setSearchedText("array_map");
    EXPECT_EQ(browser->navigations.last(), page("function.array-map.htm"));

    // No match leaves the row and the page as they were.
    advise->setSearchedText("nothing_like_it");
    EXPECT_EQ(advise->currentRow(), 0);
    EXPECT_EQ(browser->navigations.size(), 3);
}

TEST_F(Advice, TheEntryItselfWinsOverLongerNamesThenTheFirstPrefixInFolderOrder)
{
    advise->BuildManualIndex();
    advise->setSearchedText("date");
    EXPECT_EQ(advise->currentRow(), rowOf("date"));
    advise->setSearchedText("is_a");
    EXPECT_EQ(advise->currentRow(), rowOf("is_a"));
    advise->setSearchedText("is_arr");
    EXPECT_EQ(advise->currentRow(), rowOf("is_array"));
    advise->setSearchedText("dat");
    EXPECT_EQ(advise->currentRow(), rowOf("date_add"));
}

TEST_F(Advice, ShowingAPageThatIsShownAlreadyDoesNothing)
{
    advise->BuildManualIndex();
    advise->gridDblClick(nullptr);
    advise->gridDblClick(nullptr);
    advise->gridClick(nullptr);
    EXPECT_EQ(browser->navigations, QStringList({page("function.array-map.htm")}));
    EXPECT_EQ(browser->reloads, 0);
}

TEST_F(Advice, PageNamesWithAddressCharactersStillNameTheFile)
{
    WriteFileBytes(folder + "/function.odd#name.htm", "");
    advise->BuildManualIndex();
    advise->setSearchedText("odd#name");
    ASSERT_EQ(browser->navigations.size(), 1);
    const QUrl url(browser->navigations.first());
    EXPECT_EQ(url.toLocalFile(), folder + "/function.odd#name.htm");
}

TEST_F(Advice, FirstShowingBuildsTheIndexOnceAndKeysActBeforeControls)
{
    advise->show();
    EXPECT_TRUE(advise->indexBuilt());
    EXPECT_EQ(advise->indexNames().size(), 6);
    // Pages added later appear only with a new build.
    WriteFileBytes(folder + "/function.zend-version.htm", "");
    advise->hide();
    advise->show();
    EXPECT_EQ(advise->indexNames().size(), 6);

    advise->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(advise.get()));
    QTest::keyClick(advise->browser()->browserView(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(browser->navigations, QStringList({page("function.array-map.htm")}));
    QTest::keyClick(advise->browser()->browserView(), Qt::Key_Escape);
    EXPECT_FALSE(advise->isVisible());
}

TEST_F(Advice, AMissingFolderIsAnErrorAndLeavesTheIndexEmpty)
{
    SetManualFolderOverride(dir.filePath("no-such-folder"));
    EXPECT_THROW(advise->BuildManualIndex(), AppError);
    EXPECT_TRUE(advise->indexNames().isEmpty());
    advise->setSearchedText("strlen");
    advise->gridDblClick(nullptr);
    EXPECT_TRUE(browser->navigations.isEmpty());
}

TEST(OnlineManual, LookupAddressCaptionAndKeys)
{
    EXPECT_EQ(OnlineManualWindow::LookupAddress("strlen"),
              "https://www.php.net/manual-lookup.php?pattern=strlen&lang=en");
    EXPECT_EQ(OnlineManualWindow::LookupAddress(""),
              "https://www.php.net/manual-lookup.php?pattern=&lang=en");
    // Characters with a meaning in addresses stay inside the pattern.
    EXPECT_EQ(OnlineManualWindow::LookupAddress("a&lang=de#x y+"),
              "https://www.php.net/manual-lookup.php?pattern=a%26lang%3Dde%23x%20y%2B&lang=en");

    ScopedRecordingBrowsers browsers;
    OnlineManualWindow help;
    EXPECT_EQ(help.windowTitle(), OnlineManualWindow::SiteName());
    EXPECT_TRUE(help.browser()->isAddressBarVisible());
    EXPECT_EQ(help.browser()->shortcutScope(), BrowserFrame::ShortcutScope::Window);
    RecordingBrowserView *browser = ScopedRecordingBrowsers::of(help.browser()->browserView());
    help.show();
    help.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&help));
    EXPECT_GE(browser->focusRequests, 1);
    // Esc closes the window from anywhere in it.
    QTest::keyClick(help.browser()->URL, Qt::Key_Escape);
    EXPECT_FALSE(help.isVisible());
}

} // namespace
