// Completion, the advice window and the online lookup in the whole window set:
// keys on the real editor, a manual folder of our own, recording browsers.
#include "app_fixture.h"
#include "editor/code_editor.h"
#include "editor/completion_popup.h"
#include "forms/advice_window.h"
#include "forms/browser_frame.h"
#include "forms/online_manual_window.h"
#include "project/manual_index.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

namespace {

class Completion : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        folder = dir.filePath("phpmanual");
        QDir().mkpath(folder);
        for (const char *name :
             {"function.array-keys.htm", "function.array-map.htm", "function.is-a.htm",
              "function.is-array.htm", "function.strlen.htm", "function.str-replace.htm"})
            WriteFileBytes(folder + '/' + QString::fromLatin1(name), "<html></html>");
        SetManualFolderOverride(folder);
    }
    void TearDown() override
    {
        AppTest::TearDown();
        SetManualFolderOverride(std::nullopt);
    }
    void open(const QStringList &parameters = {})
    {
        start(parameters);
        form()->show();
        form()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
        form()->ui().re->setFocus();
    }
    void type(const char *text)
    {
        form()->ui().re->setWholeText(QString::fromUtf8(text));
        form()->ui().re->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    }
    void ctrlSpace() { QTest::keyClick(form()->ui().re, Qt::Key_Space, Qt::ControlModifier); }
    CompletionPopup *popup() const { return form()->ui().completion; }
    AdviceWindow *advise() const { return windows().adviceWindow; }
    RecordingBrowserView *adviceBrowser() const
    {
        return ScopedRecordingBrowsers::of(advise()->browser()->browserView());
    }
    QString page(const char *file) const
    {
        return QUrl::fromLocalFile(folder + '/' + QString::fromLatin1(file)).toString();
    }

    QString folder;
};

TEST_F(Completion, CtrlSpaceOffersTheManualAndTheAdviceFollowsTheHighlight)
{
    open();
    type("$n = ARR");
    ctrlSpace();
    ASSERT_TRUE(popup()->isOpen());
    EXPECT_EQ(popup()->entries(), QStringList({"array_keys", "array_map", "is_a", "is_array",
                                               "str_replace", "strlen"}));
    EXPECT_EQ(popup()->shownEntries(), QList<int>({0, 1}));

    // The advice window covers the half of the editor away from the caret
    // (the tree and the code explorer stay in sight); the editor keeps the keys.
    const QRect editor(form()->ui().re->mapToGlobal(QPoint()), form()->ui().re->size());
    EXPECT_TRUE(advise()->isVisible());
    EXPECT_EQ(advise()->geometry().top(), editor.top());
    EXPECT_EQ(advise()->geometry().bottom(), editor.bottom());
    EXPECT_EQ(advise()->geometry().right(), editor.right());
    EXPECT_GT(advise()->geometry().left(), editor.left());
    EXPECT_EQ(QApplication::focusWidget(), form()->ui().re);
    // The first highlight's page shows at once.
    EXPECT_EQ(adviceBrowser()->navigations, QStringList({page("function.array-keys.htm")}));

    QTest::keyClick(form()->ui().re, Qt::Key_Down);
    EXPECT_EQ(advise()->searchedText(), "array_map");
    EXPECT_EQ(adviceBrowser()->navigations.last(), page("function.array-map.htm"));

    // Typing narrows and reports the first remaining entry.
    QTest::keyClicks(form()->ui().re, "AY_K");
    EXPECT_EQ(advise()->searchedText(), "array_keys");
    EXPECT_EQ(adviceBrowser()->navigations.last(), page("function.array-keys.htm"));

    // Esc closes the list and hides the advice, and is not the window's Esc.
    QTest::keyClick(form()->ui().re, Qt::Key_Escape);
    EXPECT_FALSE(popup()->isOpen());
    EXPECT_FALSE(advise()->isVisible());
    EXPECT_FALSE(form()->ui().messages->isVisible());
    EXPECT_EQ(form()->ui().re->text(), "$n = ARRAY_K");
}

TEST_F(Completion, TheFirstUseShowsThePageOfRowZeroAtOnce)
{
    open();
    type("x = ");
    ctrlSpace();
    QTest::keyClick(form()->ui().re, Qt::Key_A); // narrows to array_keys, row 0 already current
    EXPECT_EQ(advise()->searchedText(), "array_keys");
    EXPECT_EQ(adviceBrowser()->navigations, QStringList({page("function.array-keys.htm")}));
    QTest::keyClick(form()->ui().re, Qt::Key_Down);
    QTest::keyClick(form()->ui().re, Qt::Key_Up);
    EXPECT_EQ(adviceBrowser()->navigations,
              QStringList({page("function.array-keys.htm"), page("function.array-map.htm"),
                           page("function.array-keys.htm")}));
}

TEST_F(Completion, AcceptingOrClickingAwayHidesTheAdvice)
{
    open();
    type("echo strl");
    ctrlSpace();
    QTest::keyClick(form()->ui().re, Qt::Key_Return);
    EXPECT_EQ(form()->ui().re->text(), "echo strlen");
    EXPECT_FALSE(advise()->isVisible());

    type("echo is");
    ctrlSpace();
    ASSERT_TRUE(advise()->isVisible());
    QTest::mouseClick(form()->ui().WebPanel->URL, Qt::LeftButton);
    EXPECT_FALSE(popup()->isOpen());
    EXPECT_FALSE(advise()->isVisible());
}

TEST_F(Completion, CaretTracePointsFollowTheRequest)
{
    open();
    // After the windows: the trace window attaches itself when it is made.
    MemoryTraceSink sink;
    ScopedProgramTrace attach(&sink);
    type("\tis");
    form()->item("Adviser1")->trigger();
    ASSERT_EQ(sink.lines.size(), 2u);
    EXPECT_TRUE(sink.lines[0].contains("re->DisplayX(completion_controller.cpp):"));
    EXPECT_TRUE(
        sink.lines[0].endsWith(':' + QString::number(form()->ui().re->caretDisplayColumn())));
    EXPECT_TRUE(sink.lines[1].contains("re->CaretX(completion_controller.cpp):"));
    EXPECT_TRUE(sink.lines[1].endsWith(":4"));
    EXPECT_GT(form()->ui().re->caretDisplayColumn(), 4); // the tab is wider than one column
}

TEST_F(Completion, AMissingManualFolderIsReportedOnceAndNothingOpens)
{
    SetManualFolderOverride(dir.filePath("gone"));
    open();
    type("str");
    ctrlSpace();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors[0].contains(dir.filePath("gone")));
    EXPECT_FALSE(popup()->isOpen());
    EXPECT_FALSE(advise()->isVisible());
    // The folder is not read again in this run, even once it exists.
    SetManualFolderOverride(folder);
    ctrlSpace();
    EXPECT_EQ(dialogs.errors.size(), 1u);
    EXPECT_FALSE(popup()->isOpen());
}

TEST_F(Completion, PagesAddedLaterWaitForTheNextRun)
{
    open();
    type("");
    ctrlSpace();
    QTest::keyClick(form()->ui().re, Qt::Key_Escape);
    WriteFileBytes(folder + "/function.abs.htm", "");
    type("ab");
    ctrlSpace();
    EXPECT_FALSE(popup()->isOpen());
}

TEST_F(Completion, F1ShowsTheLocalPageAndFallsBackToTheOnlineManual)
{
    open();
    type("$n = strlen($s); foo();");
    form()->ui().re->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, 7UL);
    OnlineManualWindow *help = windows().onlineManualWindow;
    RecordingBrowserView *online = ScopedRecordingBrowsers::of(help->browser()->browserView());

    // A word the local manual has: its page in the advice window, offline.
    QTest::keyClick(form()->ui().re, Qt::Key_F1);
    ASSERT_EQ(dialogs.modalWindows.size(), 1u);
    EXPECT_EQ(dialogs.modalWindows[0], advise());
    EXPECT_EQ(adviceBrowser()->navigations, QStringList({page("function.strlen.htm")}));
    EXPECT_TRUE(online->navigations.isEmpty());
    // Letter case does not matter, as in PHP; the page already shown stays.
    type("STRLEN");
    QTest::keyClick(form()->ui().re, Qt::Key_F1);
    EXPECT_EQ(dialogs.modalWindows.size(), 2u);
    EXPECT_EQ(adviceBrowser()->navigations.size(), 1);

    // A word without a local page goes to the online manual.
    type("foo");
    QTest::keyClick(form()->ui().re, Qt::Key_F1);
    ASSERT_EQ(dialogs.modalWindows.size(), 3u);
    EXPECT_EQ(dialogs.modalWindows[2], help);
    EXPECT_EQ(online->navigations,
              QStringList({"https://www.php.net/manual-lookup.php?pattern=foo&lang=en"}));
    EXPECT_EQ(form()->item("PHPnethelp1")->shortcut(), QKeySequence(Qt::Key_F1));
}

TEST_F(Completion, F1WithoutALocalManualUsesTheOnlineOne)
{
    SetManualFolderOverride(dir.filePath("no-such-folder"));
    open();
    type("strlen");
    OnlineManualWindow *help = windows().onlineManualWindow;
    RecordingBrowserView *online = ScopedRecordingBrowsers::of(help->browser()->browserView());
    QTest::keyClick(form()->ui().re, Qt::Key_F1);
    EXPECT_TRUE(dialogs.errors.empty());
    ASSERT_EQ(dialogs.modalWindows.size(), 1u);
    EXPECT_EQ(dialogs.modalWindows[0], help);
    EXPECT_EQ(online->navigations.size(), 1);
}

TEST_F(Completion, TheOnlineLookupLooksTheWordUpOnceAndShowsTheWindowEachTime)
{
    open();
    type("$n = strlen($s);");
    form()->ui().re->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, 7UL);
    OnlineManualWindow *help = windows().onlineManualWindow;
    RecordingBrowserView *browser = ScopedRecordingBrowsers::of(help->browser()->browserView());

    form()->item("PHPnetOnline1")->trigger();
    const QString address = "https://www.php.net/manual-lookup.php?pattern=strlen&lang=en";
    EXPECT_EQ(browser->navigations, QStringList({address}));
    EXPECT_EQ(help->browser()->urlText(), address);
    ASSERT_EQ(dialogs.modalWindows.size(), 1u);
    EXPECT_EQ(dialogs.modalWindows[0], help);

    // The same word again: shown as the user left it, no reload.
    form()->handle(QStringLiteral("PHPnetOnline1Click"));
    EXPECT_EQ(browser->navigations.size(), 1);
    EXPECT_EQ(browser->reloads, 0);
    EXPECT_EQ(dialogs.modalWindows.size(), 2u);

    // A blank spot looks up an empty pattern, with F1 as well.
    form()->ui().re->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, 3UL);
    form()->handle(QStringLiteral("PHPnethelp1Click"));
    EXPECT_EQ(browser->navigations.last(),
              "https://www.php.net/manual-lookup.php?pattern=&lang=en");
    EXPECT_EQ(form()->item("PHPnetOnline1")->text(), OnlineManualWindow::SiteName());
}

TEST_F(Completion, TheAdviseSwitchShowsTheAdviceWindowModallyOnce)
{
    open({"ADVISE"});
    form()->AppEventsActivate();
    form()->AppEventsActivate();
    ASSERT_EQ(dialogs.modalWindows.size(), 1u);
    EXPECT_EQ(dialogs.modalWindows[0], advise());
}

TEST_F(AppTest, CompletionOffersTheGeneratedManualBesideTheProgram)
{
    // No folder override: the pages the build wrote beside the test binaries.
    start();
    form()->ui().re->setWholeText("echo str");
    form()->ui().re->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    form()->handle(QStringLiteral("Adviser1Click"));
    ASSERT_TRUE(dialogs.errors.empty());
    CompletionPopup *popup = form()->ui().completion;
    ASSERT_TRUE(popup->isOpen());
    QTest::keyClick(form()->ui().re, Qt::Key_L);
    EXPECT_EQ(popup->entries().at(popup->highlighted()), "strlen");
    const QString shown = windows().adviceWindow->browser()->urlText();
    EXPECT_TRUE(shown.endsWith("/phpmanual/function.strlen.htm")) << shown.toStdString();
    EXPECT_TRUE(QFileInfo(QUrl(shown).toLocalFile()).isFile());
}

} // namespace
