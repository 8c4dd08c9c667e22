#include "app/server_controller.h"
#include "app_fixture.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/run_text_window.h"
#include "forms/run_window.h"
#include "foundation/settings.h"
#include "support/loopback_stand_in.h"
#include "support/php_server.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>

namespace {
// A site served by a real PHP server, with the window running against it.
class Run : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        site = dir.filePath("site");
        QDir().mkpath(site);
        QString lines;
        for (int i = 1; i <= 60; ++i)
            lines += QStringLiteral("// filler %1\n").arg(i);
        page("ok.php", "<?php echo 'all fine';\n");
        page("warn.php", "<?php\n$a = [];\necho $a['missing'];\n" + lines);
        page("both.php",
             "<?php\necho $undefinedVariable;\necho 'x';\nundefined_function();\n" + lines);
        page("notice.php",
             "<?php\nerror_reporting(E_ALL);\n$s = 'abc';\n$x = $s[1.5] ?? 1;\necho 'done';\n");
        server = std::make_unique<PhpServer>(site);
        start();
        form()->show();
        dialogs.onModal = [this](QWidget *w) {
            shownWindows << w->objectName();
            if (w == windows().runWindow) // the user follows a link, then closes
                windows().runWindow->browser()->setUrlText(followedTo);
            return 0;
        };
    }
    void page(const char *name, const QString &text)
    {
        WriteFileBytes(site + '/' + name, text.toUtf8());
    }
    RecordingBrowserView *runBrowser() const
    {
        return ScopedRecordingBrowsers::of(windows().runWindow->browser()->browserView());
    }

    QString site;
    std::unique_ptr<PhpServer> server;
    QStringList shownWindows;
    QString followedTo;
};
} // namespace

TEST_F(Run, AWarningLandsInTheMessagesPanelAndTheFileOpensAtItsLine)
{
    form()->project().RunAddress = server->url("warn.php");
    form()->item("Run2")->trigger();
    EXPECT_TRUE(shownWindows.isEmpty());
    EXPECT_TRUE(form()->ui().messages->isVisible());
    const QString row = form()->messagePanel().MessageCell(0, 0);
    // One character after the marker's colon is skipped: PHP puts two blanks there.
    EXPECT_EQ(row, site + "/warn.php(3): Undefined array key \"missing\"");
    EXPECT_EQ(form()->project().OpenedFile, site + "/warn.php");
    EXPECT_EQ(form()->ui().re->caretLine(), 3);
}

TEST_F(Run, TheErrorWinsOverAnEarlierWarning)
{
    form()->project().RunAddress = server->url("both.php");
    form()->handle(QStringLiteral("Run2Click"), form()->item("Run2"));
    EXPECT_EQ(form()->ui().messages->rowCount(), 1);
    EXPECT_TRUE(form()->messagePanel().MessageCell(0, 0).startsWith(
        site + "/both.php(4): Uncaught Error: Call to undefined function"))
        << qPrintable(form()->messagePanel().MessageCell(0, 0));
    EXPECT_EQ(form()->ui().re->caretLine(), 4);
}

TEST_F(Run, ACleanPageShowsTheRunWindowAndTheAddressFollowsIt)
{
    form()->project().RunAddress = server->url("ok.php");
    followedTo = server->url("notice.php");
    form()->item("Run2")->trigger();
    EXPECT_EQ(shownWindows, QStringList{"form_run"});
    EXPECT_FALSE(form()->ui().messages->isVisible());
    EXPECT_EQ(form()->project().RunAddress, followedTo);
    EXPECT_EQ(form()->ui().WebPanel->urlText(), followedTo);
    EXPECT_EQ(runBrowser()->navigations.value(0), server->url("ok.php"));

    // The same address again reloads instead of navigating first; a notice
    // is not captured.
    form()->item("Run2")->trigger(); // notice.php differs from ok.php: navigates
    EXPECT_EQ(runBrowser()->reloads, 0);
    const int navigations = runBrowser()->navigations.size();
    form()->item("Run2")->trigger(); // notice.php again
    EXPECT_EQ(runBrowser()->reloads, 1);
    EXPECT_EQ(runBrowser()->navigations.size(), navigations + 1); // only the showing's navigation
    EXPECT_EQ(shownWindows.size(), 3);
    EXPECT_FALSE(form()->ui().messages->isVisible());
}

TEST_F(Run, AltRRunsInsteadOfOpeningTheRunMenu)
{
    form()->project().RunAddress = server->url("ok.php");
    followedTo = server->url("ok.php");
    form()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
    form()->ui().re->setFocus();
    QTest::keyClick(form()->ui().re, Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(shownWindows, QStringList{"form_run"});
}

TEST_F(Run, WithoutDebuggingNothingIsFetchedOrCaptured)
{
    form()->project().RunAddress = server->url("warn.php");
    form()->messagePanel().ShowMessages();
    form()->item("RunwithoutDebuging1")->trigger();
    EXPECT_EQ(shownWindows, QStringList{"form_run"});
    EXPECT_FALSE(form()->ui().messages->isVisible());
    EXPECT_EQ(form()->messagePanel().MessageCell(0, 0), "");
}

TEST_F(Run, ADeadServerShowsTheRunWindowWithOurGuidanceInsteadOfAnEnginePage)
{
    // With the own server switched off nothing can serve the address.
    ServerController::StartPhpServer().WriteBool(false);
    const QString dead = QStringLiteral("http://127.0.0.1:%1/x.php").arg(FreeLoopbackPort());
    form()->project().RunAddress = dead;
    form()->item("Run2")->trigger();
    EXPECT_EQ(shownWindows, QStringList{"form_run"});
    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(runBrowser()->navigations.isEmpty());
    ASSERT_EQ(runBrowser()->pagesFor, QStringList{dead});
    EXPECT_TRUE(runBrowser()->pages.at(0).contains("switched off"));
}

TEST_F(Run, TextModeShowsTheRawPageAndSavesFirst)
{
    form()->documents().OpenFileAtLine(site + "/ok.php", true);
    form()->ui().re->setWholeText("<?php echo 'saved before the run';\n");
    form()->project().RunAddress = server->url("ok.php");
    form()->item("RunText1")->trigger();
    EXPECT_EQ(shownWindows, QStringList{"form_run_text"});
    EXPECT_EQ(windows().runTextWindow->text(), "saved before the run");

    ServerController::StartPhpServer().WriteBool(false);
    form()->project().RunAddress = QStringLiteral("http://127.0.0.1:%1/").arg(FreeLoopbackPort());
    form()->item("RunText1")->trigger();
    EXPECT_EQ(shownWindows, (QStringList{"form_run_text", "form_run_text"}));
    EXPECT_EQ(windows().runTextWindow->text(), "");
}

TEST_F(Run, RunSwitchRunsAfterTheAddressSwitch)
{
    followedTo = server->url("warn.php");
    start({"run", "address", server->url("warn.php")});
    form()->show();
    form()->AppEventsActivate();
    // Without a sender nothing is fetched: the Run window shows the page.
    EXPECT_EQ(form()->project().RunAddress, server->url("warn.php"));
    EXPECT_EQ(ScopedRecordingBrowsers::of(windows().runWindow->browser()->browserView())
                  ->navigations.value(0),
              server->url("warn.php"));
}

TEST_F(Run, APageThatNeverComesLeavesTheWindowGoingAndEscapeCancelsIt)
{
    // Accepts and never answers: the fetch would wait for its whole time-out.
    LoopbackStandIn silent([](int peer) {
        char buffer[256];
        while (::recv(peer, buffer, sizeof buffer, 0) > 0) {
        }
    });
    form()->project().RunAddress = QStringLiteral("http://127.0.0.1:%1/").arg(silent.port());
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (++ticks == 20) // the window has gone on for a while: the user presses Escape
            QTest::keyClick(form(), Qt::Key_Escape);
    });
    tick.start(50);
    ScopedDeadline deadline(25000);
    form()->item("Run2")->trigger();
    EXPECT_GE(ticks, 20);
    EXPECT_TRUE(shownWindows.isEmpty());
    EXPECT_EQ(form()->ui().StatusPanel1->text(), "Run cancelled");
}
