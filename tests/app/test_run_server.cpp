// Run, the preview and saves with the project's own PHP server and php -l:
// real PHP started by the program, a real server of the test's on the port, a
// real FTP server holding the port, an empty PATH, a linked project folder.
#include "app/messages_controller.h"
#include "app/messages_grid.h"
#include "app/project_tree_controller.h"
#include "app/server_controller.h"
#include "app_fixture.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/environment_options_dialog.h"
#include "forms/run_text_window.h"
#include "forms/run_window.h"
#include "foundation/settings.h"
#include "net/local_php_server.h"
#include "net/php_lint.h"
#include "support/ftp_server.h"
#include "support/php_server.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>

namespace {

bool processAlive(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const QByteArray &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_saved(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_saved);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_saved;
};

class RunServer : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        m_state =
            std::make_unique<ScopedEnv>("XDG_STATE_HOME", dir.filePath("state").toLocal8Bit());
        site = dir.filePath("site");
        QDir().mkpath(site);
        QString filler;
        for (int i = 1; i <= 40; ++i)
            filler += QStringLiteral("// filler %1\n").arg(i);
        page("warn.php", "<?php\n$a = [];\necho $a['missing'];\n" + filler);
        page("ok.php", "<?php echo 'all fine';\n");
        port = FreeLoopbackPort();
        start();
        form()->show();
        dialogs.onModal = [this](QWidget *w) {
            shown << w->objectName();
            if (w == windows().runTextWindow)
                textShown = windows().runTextWindow->text();
            return 0;
        };
    }
    void TearDown() override
    {
        AppTest::TearDown();
        m_state.reset();
    }
    void page(const QString &name, const QString &text)
    {
        WriteFileBytes(site + '/' + name, text.toUtf8());
    }
    QString address(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1/").arg(port) + path;
    }
    // A project saved in `folder`, opened as the user opens one.
    void openProject(const QString &folder)
    {
        form()->project().RunAddress = address("warn.php");
        form()->projectTree().SaveProjectTo(folder + "/shop.wdx");
        form()->projectTree().OpenProject(folder + "/shop.wdx");
    }
    RecordingBrowserView *runBrowser() const
    {
        return ScopedRecordingBrowsers::of(windows().runWindow->browser()->browserView());
    }
    RecordingBrowserView *preview() const
    {
        return ScopedRecordingBrowsers::of(form()->ui().WebPanel->browserView());
    }

    QString site;
    int port = 0;
    QStringList shown;
    QString textShown;

private:
    std::unique_ptr<ScopedEnv> m_state;
};

} // namespace

TEST_F(RunServer, RunStartsTheOwnServerLandsOnTheWarningAndTheServerGoesWithTheProgram)
{
    openProject(site);
    form()->project().RunAddress = address("warn.php");
    form()->item("Run2")->trigger();

    // Found by its port: PHP's server, started for the project's folder.
    ASSERT_TRUE(LoopbackPortAccepts(port));
    const qint64 pid = form()->server().PhpServer().processId();
    ASSERT_TRUE(processAlive(pid));
    EXPECT_EQ(form()->server().PhpServer().folder(), site);
    // Errors are shown by that server, so Run lands on the warning.
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(form()->messagePanel().MessageCell(0, 0),
              site + "/warn.php(3): Undefined array key \"missing\"");
    EXPECT_EQ(form()->project().OpenedFile, site + "/warn.php");
    EXPECT_EQ(form()->ui().re->caretLine(), 3);
    EXPECT_EQ(runBrowser()->navigations, QStringList{address("warn.php")});

    // The clean page shows in the Run window, from the same server.
    form()->project().RunAddress = address("ok.php");
    form()->item("Run2")->trigger();
    EXPECT_EQ(shown, QStringList{"form_run"});
    EXPECT_EQ(form()->server().PhpServer().processId(), pid);

    // Its log, requests and PHP's messages, opens in the text window.
    form()->item("ServerLog1")->trigger();
    EXPECT_EQ(shown.last(), "form_run_text");
    EXPECT_TRUE(textShown.contains("GET /warn.php")) << textShown.toStdString();
    EXPECT_TRUE(textShown.contains("PHP Warning:  Undefined array key")) << textShown.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("state/quillstone/php-server.log")));

    // The program ends: no php is left.
    start();
    EXPECT_FALSE(processAlive(pid));
    EXPECT_FALSE(LoopbackPortAccepts(port));
}

TEST_F(RunServer, ThePreviewStartsItTooAndAnotherProjectStopsIt)
{
    openProject(site);
    form()->ui().WebPanel->setUrlText(address("ok.php"));
    form()->documents().OpenFileAtLine(site + "/ok.php", true);
    form()->item("Save1")->trigger();
    EXPECT_TRUE(LoopbackPortAccepts(port));
    EXPECT_EQ(preview()->navigations, QStringList{address("ok.php")});
    const qint64 pid = form()->server().PhpServer().processId();
    ASSERT_TRUE(processAlive(pid));

    const QString other = dir.filePath("other");
    QDir().mkpath(other);
    openProject(other);
    EXPECT_FALSE(processAlive(pid));
    EXPECT_FALSE(form()->server().PhpServer().isRunning());
}

TEST_F(RunServer, AServerOfTheUsersOnThePortIsUsedInstead)
{
    const QString theirs = dir.filePath("theirs");
    QDir().mkpath(theirs);
    WriteFileBytes(theirs + "/warn.php", "<?php\n\necho $undefinedHere;\n");
    PhpServer server(theirs);
    port = server.port();
    openProject(site);
    form()->project().RunAddress = server.url("warn.php");
    form()->item("Run2")->trigger();
    EXPECT_FALSE(form()->server().PhpServer().isRunning());
    EXPECT_EQ(form()->messagePanel().MessageCell(0, 0),
              theirs + "/warn.php(3): Undefined variable $undefinedHere");
    EXPECT_TRUE(server.output().contains("GET /warn.php"));
}

TEST_F(RunServer, APortTakenByAnotherKindOfProgramIsToldNotHung)
{
    FtpTestServer ftp(dir.path());
    port = ftp.port();
    openProject(site);
    form()->project().RunAddress = address("warn.php");
    form()->item("Run2")->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].contains(QStringLiteral("uses port %1").arg(port)))
        << dialogs.messages[0].toStdString();
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_FALSE(form()->server().PhpServer().isRunning());

    // Without the user's command (Run Without Debugging) the Run window says it.
    form()->item("RunwithoutDebuging1")->trigger();
    EXPECT_EQ(shown, QStringList{"form_run"});
    EXPECT_TRUE(runBrowser()->navigations.isEmpty());
    ASSERT_EQ(runBrowser()->pages.size(), 1);
    EXPECT_TRUE(runBrowser()->pages[0].contains("not a web server"));
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(RunServer, WithoutPhpRunSaysSoAndSavesCheckNothing)
{
    openProject(site);
    page("broken.php", "<?php\nfunction (\n");
    form()->documents().OpenFileAtLine(site + "/broken.php", true);
    QTemporaryDir empty;
    const ScopedEnv noPhp("PATH", empty.path().toLocal8Bit());

    form()->item("Run2")->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].contains("no program \"php\" was found on the PATH"));
    form()->item("RunText1")->trigger();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(shown.isEmpty());

    form()->item("Save1")->trigger();
    EXPECT_EQ(form()->server().Lint().running(), 0);
    EXPECT_FALSE(form()->ui().messages->isVisible());
}

TEST_F(RunServer, SwitchedOffNothingIsStartedAndTheRunWindowSaysWhatToDo)
{
    openProject(site);
    dialogs.onModal = [this](QWidget *w) {
        shown << w->objectName();
        if (auto *options = qobject_cast<EnvironmentOptionsDialog *>(w)) {
            EXPECT_TRUE(options->StartPhpServerBox->isChecked());
            options->StartPhpServerBox->setChecked(false);
            return int(QDialog::Accepted);
        }
        return 0;
    };
    // A server runs; switching off stops it.
    form()->project().RunAddress = address("ok.php");
    form()->item("RunText1")->trigger();
    ASSERT_TRUE(form()->server().PhpServer().isRunning());
    form()->item("Options1")->trigger();
    EXPECT_FALSE(ServerController::StartPhpServer().ReadBool());
    EXPECT_FALSE(form()->server().PhpServer().isRunning());

    form()->item("Run2")->trigger();
    EXPECT_EQ(shown, (QStringList{"form_run_text", "OptionsForm", "form_run"}));
    EXPECT_FALSE(LoopbackPortAccepts(port));
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(runBrowser()->pages.size(), 1);
    EXPECT_TRUE(runBrowser()->pages[0].contains("switched off"));
    EXPECT_TRUE(runBrowser()->pages[0].contains("-t " + site));
    EXPECT_TRUE(runBrowser()->pages[0].contains(dir.filePath("state/quillstone/php-server.log")));

    // A page that fails to load before any server answered (a server
    // elsewhere, or one gone meanwhile) gets the same page, with the reason.
    preview()->fireLoadFailure("http://192.0.2.1/", "net::ERR_CONNECTION_TIMED_OUT");
    ASSERT_EQ(preview()->pages.size(), 1);
    EXPECT_TRUE(preview()->pages[0].contains("could not be loaded: net::ERR_CONNECTION_TIMED_OUT"));
    EXPECT_EQ(preview()->ownPageFor(), "http://192.0.2.1/");
}

TEST_F(RunServer, ALinkedProjectFolderLandsOnTheProjectsOwnEntry)
{
    const QString link = dir.filePath("link");
    ASSERT_TRUE(QFile::link(site, link));
    openProject(link);
    form()->documents().OpenFileAtLine(link + "/warn.php", true);
    const int entries = form()->project().Files.Count();
    form()->documents().OpenFileAtLine(link + "/ok.php", true);
    form()->item("Run2")->trigger();
    // PHP names the real folder; the project knows the file through the link.
    EXPECT_EQ(form()->messagePanel().MessageCell(0, 0),
              link + "/warn.php(3): Undefined array key \"missing\"");
    EXPECT_EQ(form()->project().OpenedFile, link + "/warn.php");
    EXPECT_EQ(form()->project().Files.Count(), entries + 1); // ok.php only
    EXPECT_EQ(form()->ui().re->caretLine(), 3);
}

TEST_F(RunServer, Latin1PagesAndAddressesWithSpacesLandOnTheRightFile)
{
    const QString folder = site + QStringLiteral(u"/\u00e9t\u00e9 2");
    QDir().mkpath(folder);
    const QString file = folder + QStringLiteral(u"/cr\u00e8me br\u00fbl\u00e9e.php");
    WriteFileBytes(file, "<?php\necho \"caf\\xE9\\n\";\n$a = [];\necho $a['missing'];\n");
    openProject(site);
    form()->project().RunAddress =
        address(QStringLiteral(u"\u00e9t\u00e9 2/cr\u00e8me br\u00fbl\u00e9e.php"));
    form()->item("Run2")->trigger();
    EXPECT_EQ(form()->project().OpenedFile, file);
    EXPECT_EQ(form()->ui().re->caretLine(), 4);
    EXPECT_EQ(form()->messagePanel().MessageCell(0, 0),
              file + "(4): Undefined array key \"missing\"");
    // What the user typed stays as typed.
    EXPECT_EQ(windows().runWindow->browser()->urlText(), form()->project().RunAddress);
}

TEST_F(RunServer, OnlyWebAddressesAreShownOrFetched)
{
    openProject(site);
    for (const char *refused : {"javascript:alert(document.cookie)", "file:///etc/passwd",
                                "data:text/html,<script>alert(1)</script>"}) {
        SCOPED_TRACE(refused);
        dialogs.messages.clear();
        form()->project().RunAddress = QLatin1String(refused);
        form()->item("Run2")->trigger();
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_TRUE(dialogs.messages[0].contains("was not opened"))
            << dialogs.messages[0].toStdString();
        form()->item("RunText1")->trigger();
        EXPECT_EQ(dialogs.messages.size(), 2u);
        EXPECT_TRUE(shown.isEmpty());
    }
    EXPECT_TRUE(runBrowser()->navigations.isEmpty());

    // From the preview (a project file's address, shown on a save) nothing runs either.
    form()->ui().WebPanel->setUrlText("javascript:alert(1)");
    form()->documents().OpenFileAtLine(site + "/ok.php", true);
    form()->item("Save1")->trigger();
    EXPECT_TRUE(preview()->navigations.isEmpty());
    ASSERT_EQ(preview()->pages.size(), 1);
    EXPECT_TRUE(preview()->pages[0].contains("was not opened"));
    EXPECT_FALSE(form()->server().PhpServer().isRunning());

    // From the command line: the run switch shows the Run window with the reason.
    start({"address", "file:///etc/passwd", "run"});
    form()->show();
    form()->AppEventsActivate();
    EXPECT_EQ(shown, QStringList{"form_run"});
    EXPECT_TRUE(runBrowser()->navigations.isEmpty());
    ASSERT_EQ(runBrowser()->pages.size(), 1);
    EXPECT_TRUE(runBrowser()->pages[0].contains("only web addresses"));
}

TEST_F(RunServer, SavingAPhpFileWithAParseErrorAddsARowThatJumpsAndACleanSaveRemovesIt)
{
    openProject(site);
    QDir(site).mkpath("lib");
    page("lib/broken.php", "<?php\n$total = 1\necho $total;\n");
    form()->documents().OpenFileAtLine(site + "/lib/broken.php", true);
    // Rows an earlier command left go: the new row does not stand under them.
    form()->messagePanel().AddMessageRows({{"old hit", site + "/ok.php", "1"}});
    form()->item("Save1")->trigger();
    // Checked in the background: the save returns before PHP has answered.
    EXPECT_EQ(form()->server().Lint().running(), 1);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return form()->messagePanel().MessageCell(0, 0) != "old hit"; }, 20000));
    // The place as the project shows it, first; the whole path in the tooltip.
    const QString row = "lib/broken.php(3): Parse error: syntax error, unexpected token \"echo\"";
    EXPECT_EQ(form()->ui().messages->rowCount(), 1);
    EXPECT_EQ(form()->messagePanel().MessageCell(0, 0), row);
    EXPECT_EQ(form()->messagePanel().MessageCell(1, 0), site + "/lib/broken.php");
    EXPECT_EQ(form()->messagePanel().MessageCell(2, 0), "3");
    EXPECT_EQ(form()->ui().messages->model()->index(0, 0).data(Qt::ToolTipRole).toString(),
              row + "\n" + site + "/lib/broken.php:3");
    EXPECT_TRUE(form()->ui().messages->isVisible());

    // It jumps like the other rows: Enter on it from another file.
    form()->documents().OpenFileAtLine(site + "/ok.php", true);
    form()->ui().messages->setCurrentCell(0, 0);
    form()->messagePanel().messagesKeyDown(Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(form()->project().OpenedFile, site + "/lib/broken.php");
    EXPECT_EQ(form()->ui().re->caretLine(), 3);
    EXPECT_FALSE(form()->ui().re->hasSelectedText());

    // Other rows stay; a clean save removes only its own.
    form()->messagePanel().AddMessage("another row");
    form()->ui().re->setWholeText("<?php\n$total = 1;\necho $total;\n");
    form()->item("Save1")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form()->ui().messages->rowCount() == 1; }, 20000));
    EXPECT_EQ(form()->messagePanel().MessageCell(0, 0), "another row");
    EXPECT_EQ(form()->server().Lint().running(), 0);

    // Files that are not PHP are not checked.
    page("notes.txt", "<?php\nfunction (\n");
    form()->documents().OpenFileAtLine(site + "/notes.txt", true);
    form()->item("Save1")->trigger();
    EXPECT_EQ(form()->server().Lint().running(), 0);
}
