// Debugging through the main window: breakpoints in the editor and the
// project, and a session with real Xdebug in the program's own PHP server.
// The preview is a recording one, so the test asks for the page itself, as
// the browser would.
#include "app/debugger_controller.h"
#include "app/project_tree_controller.h"
#include "app/server_controller.h"
#include "app_fixture.h"
#include "editor/code_editor.h"
#include "forms/debug_panels.h"
#include "net/local_php_server.h"
#include "support/php_server.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTcpSocket>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>

namespace {

class Debugger : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        qputenv("XDG_STATE_HOME", dir.filePath("state").toLocal8Bit());
        site = QDir(dir.filePath("site")).absolutePath();
        QDir().mkpath(site);
        WriteFileBytes(site + "/index.php", "<?php\n"
                                            "require __DIR__ . '/lib.php';\n"
                                            "$total = 0;\n"
                                            "for ($i = 0; $i < 3; $i++) {\n"
                                            "    $total += add($i, 2);\n"
                                            "}\n"
                                            "$big = range(1, 100000);\n"
                                            "echo \"total $total\\n\";\n");
        WriteFileBytes(site + "/lib.php", "<?php\n"
                                          "function add($a, $b)\n"
                                          "{\n"
                                          "    $sum = $a + $b;\n"
                                          "    return $sum;\n"
                                          "}\n");
        port = FreeLoopbackPort();
        start();
        form()->show();
        form()->project().RunAddress = QStringLiteral("http://127.0.0.1:%1/index.php").arg(port);
        form()->projectTree().SaveProjectTo(site + "/site.wdx");
        form()->projectTree().OpenProject(site + "/site.wdx");
    }
    void TearDown() override
    {
        form()->item("StopDebug1")->trigger();
        AppTest::TearDown();
    }
    void open(const char *name, int line)
    {
        form()->documents().OpenFileAtLine(site + '/' + name, true);
        form()->ui().re->setCaretLine(line);
        QCoreApplication::processEvents();
    }
    QList<int> breakpointLines() const
    {
        QList<int> lines;
        for (const auto &bp : form()->project().Debug.Breakpoints)
            lines << bp.line;
        return lines;
    }
    DebugPanels *panels() const { return form()->findChild<DebugPanels *>("DebugPanel"); }
    QString variable(const QString &name) const
    {
        const auto found = panels()->Variables->findItems(name, Qt::MatchExactly);
        return found.isEmpty() ? QStringLiteral("<none>") : found.first()->text(1);
    }
    bool stoppedAt(const char *file, int line)
    {
        return QTest::qWaitFor(
            [&] {
                return form()->debugger().isStopped() &&
                       form()->project().OpenedFile == site + '/' + file &&
                       form()->ui().re->caretLine() == line &&
                       panels()->Variables->topLevelItemCount() > 0;
            },
            10000);
    }

    QString site;
    int port = 0;
};

} // namespace

TEST_F(Debugger, BreakpointsFollowTheTextAndStayWithTheProject)
{
    open("lib.php", 4);
    form()->item("ToggleBreakpoint1")->trigger();
    // A click in the margin sets the second one.
    emit form()->ui().re->marginClicked(2, 4, Qt::NoModifier);
    EXPECT_EQ(breakpointLines(), (QList<int>{4, 5}));

    // Two lines typed above move both.
    form()->ui().re->setCaretLine(2);
    QTest::keyClick(form()->ui().re, Qt::Key_Home);
    for (const char *line : {"// a", "// b"}) {
        QTest::keyClicks(form()->ui().re, line);
        QTest::keyClick(form()->ui().re, Qt::Key_Return);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(breakpointLines(), (QList<int>{6, 7}));
    // Other colours keep the margin that shows them.
    form()->handle(QStringLiteral("Colours1Click"), form()->item("ColoursDark1"));
    EXPECT_GT(form()->ui().re->marginWidth(2), 0);

    // Another document and back: the markers come back with the file.
    open("index.php", 1);
    open("lib.php", 7);
    form()->item("ToggleBreakpoint1")->trigger();
    EXPECT_EQ(breakpointLines(), QList<int>{6});

    // Kept in the project file.
    form()->handle(QStringLiteral("SavePrjClick"));
    form()->projectTree().OpenProject(site + "/site.wdx");
    ASSERT_EQ(form()->project().Debug.Breakpoints.size(), 1);
    EXPECT_EQ(form()->project().Debug.Breakpoints.at(0).file, site + "/lib.php");
}

TEST_F(Debugger, F5StopsAtTheBreakpointStepsShowsVariablesAndStops)
{
    // Set on the function's brace: Xdebug places it on the first statement.
    open("lib.php", 3);
    form()->item("ToggleBreakpoint1")->trigger();
    form()->item("Debug1")->trigger();
    ASSERT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().toStdString();
    ASSERT_TRUE(form()->debugger().isDebugging());
    // The own server now runs with Xdebug; the page is asked for as the
    // preview would.
    ASSERT_TRUE(form()->server().PhpServer().isRunning());
    QTcpSocket page;
    page.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    page.write("GET /index.php HTTP/1.0\r\n\r\n");

    open("index.php", 1); // the stop brings lib.php back
    ASSERT_TRUE(stoppedAt("lib.php", 4));
    EXPECT_EQ(breakpointLines(), QList<int>{4});
    EXPECT_TRUE(panels()->isVisible());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return panels()->CallStack->topLevelItemCount() == 2; }, 5000));
    EXPECT_EQ(panels()->CallStack->topLevelItem(1)->text(1), "index.php:5");
    EXPECT_EQ(variable("$a"), "0");

    // F10 steps; the variables follow.
    form()->item("StepOver1")->trigger();
    ASSERT_TRUE(stoppedAt("lib.php", 5));
    EXPECT_EQ(variable("$sum"), "2");

    // Resting the mouse on a variable shows its value.
    CodeEditor *re = form()->ui().re;
    const int at = int(re->positionFromLineIndex(3, re->text(3).indexOf("$sum") + 2));
    emit re->SCN_DWELLSTART(at, 10, 10);
    EXPECT_TRUE(QTest::qWaitFor([] { return QToolTip::text() == "$sum = 2"; }, 5000))
        << QToolTip::text().toStdString();

    // A watch is evaluated at once and at every stop.
    panels()->EvaluateEdit->setText("$sum * 10");
    QTest::keyClick(panels()->EvaluateEdit, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return panels()->Watches->topLevelItemCount() == 1 &&
                   panels()->Watches->topLevelItem(0)->text(1) == "20";
        },
        5000));

    // The caller's frame: its file, line and variables.
    emit panels()->CallStack->itemClicked(panels()->CallStack->topLevelItem(1), 0);
    ASSERT_TRUE(stoppedAt("index.php", 5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return variable("$total") == "0"; }, 5000));

    // The breakpoint moves to after the big array, and F5 goes on to it.
    open("lib.php", 4);
    form()->item("ToggleBreakpoint1")->trigger();
    open("index.php", 8);
    form()->item("ToggleBreakpoint1")->trigger();
    form()->item("Debug1")->trigger();
    ASSERT_TRUE(stoppedAt("index.php", 8));
    const auto big = panels()->Variables->findItems("$big", Qt::MatchExactly);
    ASSERT_EQ(big.size(), 1);
    EXPECT_EQ(big.first()->text(1), "array(100000)");
    big.first()->setExpanded(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return big.first()->childCount() == 101; }, 5000));
    EXPECT_EQ(big.first()->child(0)->text(1), "1");
    EXPECT_TRUE(big.first()->child(100)->text(0).contains("100 of 100000"));

    // Shift+F5: the page is answered, the server goes back to plain PHP.
    form()->item("StopDebug1")->trigger();
    EXPECT_FALSE(form()->debugger().isDebugging());
    EXPECT_TRUE(form()->server().PhpServer().extraArguments().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return page.state() != QTcpSocket::ConnectedState; }, 5000));
}

TEST_F(Debugger, WithoutXdebugOneMessageNamesThePackageAndNothingChanges)
{
    form()->debugger().setPhpProgram(dir.filePath("no-such-php"));
    form()->item("Debug1")->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages.front().contains("php-xdebug"));
    EXPECT_FALSE(form()->debugger().isDebugging());
    EXPECT_TRUE(form()->server().PhpServer().extraArguments().isEmpty());
}

TEST_F(Debugger, AWarningStopsWhereItHappensWithoutABreakpoint)
{
    WriteFileBytes(site + "/warn.php", "<?php\n$a = [];\necho $a['missing'];\necho 'after';\n");
    form()->project().RunAddress = QStringLiteral("http://127.0.0.1:%1/warn.php").arg(port);
    form()->item("Debug1")->trigger();
    QTcpSocket page;
    page.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    page.write("GET /warn.php HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(stoppedAt("warn.php", 3));
    EXPECT_TRUE(panels()->DebugLog->toPlainText().contains(
        "Stopped on Warning: Undefined array key \"missing\""));
}
