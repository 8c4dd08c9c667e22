// Keystrokes while php -l checks a saved file, on the real main window
// (offscreen): each keystroke is a key press and release sent to the editor
// plus the event processing that follows it, timed with and without a check
// running in the background; also the user's Save that starts the check, the
// window thread's own share of a check (starting the process), the check's
// time from the Save to its row and, as a control, the same typing while
// another program keeps a core busy as long, which tells the machine's sharing
// of its cores apart from anything the check does to the window. A large page
// (4 MB by default, its parse error on the last line) keeps PHP busy a while.
// The web preview is hidden, so a Save reloads no page.
//
//   bench_app_lint [MEGABYTES] [ROUNDS]
#include "app/document_controller.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/messages_controller.h"
#include "app/project_tree_controller.h"
#include "app/server_controller.h"
#include "app/window_set.h"
#include "editor/code_editor.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "net/php_lint.h"
#include "support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
struct Figures {
    double median = 0, p99 = 0, max = 0;
    size_t count = 0;
};

Figures figures(std::vector<double> times)
{
    Figures f;
    if (times.empty())
        return f;
    std::sort(times.begin(), times.end());
    f.count = times.size();
    f.median = times[times.size() / 2];
    f.p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
    f.max = times.back();
    return f;
}

void print(const char *what, const Figures &f)
{
    std::printf("%-44s %6zu keys  median %6.2f ms  p99 %6.2f ms  max %6.2f ms\n", what, f.count,
                f.median, f.p99, f.max);
}

// One key as the user types it: press, release, and whatever the window does next.
double keystroke(QWidget *editor)
{
    QElapsedTimer timer;
    timer.start();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QCoreApplication::sendEvent(editor, &press);
    QCoreApplication::sendEvent(editor, &release);
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e6;
}

void writeBigPhp(const QString &path, qint64 bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write("<?php\n");
    const QByteArray block = "function item_N($a, $b = null)\n{\n    // a comment\n"
                             "    return strlen($a) + count((array)$b) . \"text\";\n}\n";
    int n = 0;
    for (qint64 written = 0; written < bytes; written += block.size())
        f.write(QByteArray(block).replace("_N", "_" + QByteArray::number(n++)));
    f.write("$broken = 1\necho $broken;\n");
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 4;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 5;
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    qputenv("XDG_STATE_HOME", dir.filePath("state").toUtf8());
    SetUserSettings(std::make_unique<IniSettingsStore>(dir.filePath("config/settings.ini")));
    // Answers nothing (No, Cancel, the harmless choice): the benchmark runs unattended.
    ScriptedDialogs dialogs;
    SetApplicationTitle("Quillstone");

    const QString site = dir.filePath("site");
    QDir().mkpath(site);
    const QString page = site + "/big.php";
    writeBigPhp(page, megabytes * 1024 * 1024);

    WindowSet windows;
    MainWindow *form = windows.mainWindow();
    form->resize(1024, 768);
    form->show();
    // The preview stays out of it: a user Save would also reload the page.
    form->handle(QStringLiteral("WebPanel1Click"));
    form->projectTree().SaveProjectTo(site + "/bench.wdx");
    form->documents().OpenFileAtLine(page, true);
    form->ui().re->setCaretLine(3);
    QWidget *editor = form->ui().re;
    for (int i = 0; i < 20; ++i) // warm-up
        keystroke(editor);

    std::vector<double> quiet;
    for (int i = 0; i < 300; ++i)
        quiet.push_back(keystroke(editor));

    std::vector<double> busy, saves, checks;
    int rows = 0;
    for (int round = 0; round < rounds; ++round) {
        form->messagePanel().ClearMessages();
        QElapsedTimer check;
        check.start();
        QElapsedTimer save;
        save.start();
        form->item("Save1")->trigger();
        saves.push_back(save.nsecsElapsed() / 1e6);
        if (form->server().Lint().running() == 0)
            qFatal("php -l did not start (is php on the PATH?)");
        while (form->server().Lint().running() > 0)
            busy.push_back(keystroke(editor));
        checks.push_back(check.nsecsElapsed() / 1e6);
        if (form->messagePanel().MessageCell(2, 0) != QLatin1String("0") &&
            !form->messagePanel().MessageCell(1, 0).isEmpty())
            ++rows;
    }

    // The window thread's own share of a check: starting the process.
    std::vector<double> starts;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer start;
        start.start();
        form->server().Lint().check(page);
        starts.push_back(start.nsecsElapsed() / 1e6);
        while (form->server().Lint().running() > 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }

    // Control: the same typing while another program keeps a core busy for
    // as long as a check takes, with nothing of ours running.
    std::vector<double> control;
    const double checkMs = figures(checks).median;
    for (int round = 0; round < rounds; ++round) {
        QProcess hog;
        hog.start("php",
                  {"-r", QStringLiteral("$t = microtime(true); while (microtime(true) - $t < %1);")
                             .arg(checkMs / 1000.0)});
        hog.waitForStarted();
        while (hog.state() == QProcess::Running)
            control.push_back(keystroke(editor));
        hog.waitForFinished();
    }

    std::printf("page: %lld MB, %d lines; %d save/check rounds, %d parse-error rows found\n",
                megabytes, form->ui().re->lineCount(), rounds, rows);
    print("keystroke, no check running:", figures(quiet));
    print("keystroke, php -l running in the background:", figures(busy));
    print("keystroke, another program busy as long (control):", figures(control));
    const Figures s = figures(saves);
    const Figures c = figures(checks);
    std::printf("user Save, including starting php -l: median %.2f ms  max %.2f ms\n", s.median,
                s.max);
    const Figures st = figures(starts);
    std::printf("starting php -l alone (the window thread's share): median %.2f ms  max %.2f ms\n",
                st.median, st.max);
    std::printf("php -l from the Save to its row: median %.1f ms  max %.1f ms\n", c.median, c.max);
    // Errors would spoil the figures; they are shown, not answered.
    for (const QString &e : dialogs.errors)
        std::fprintf(stderr, "error: %s\n", qPrintable(e));
    return 0;
}
