// Debugging on the real main window (offscreen) with the real preview, the
// program's own PHP server and real Xdebug, over the page of dbgp_site.sh.
// F5 to stopped: from the Debug command (F5's handler) to the window showing
// the stop (the file at the breakpoint's line, the call stack and the
// variables filled); this includes restarting the server with Xdebug and the
// preview's request. The first F5 also starts the browser engine and is
// reported apart. A step: from Step Over (F10's handler) to the caret on the
// next line with the variables filled again. The array's first page: from
// opening the 100,000-element array in the Variables panel to its first 100
// rows shown. Medians in ms; the engine-level figures and the Python peer
// come from dbgp-vs-python.sh.
//
// The first F5 comes IDLE_MS after the project (with breakpoints) is opened;
// 0 shows the first F5 without the browser's libraries loaded beforehand.
//
//   bench_app_debug SITE_FOLDER [ROUNDS] [IDLE_MS]
#include "app/debugger_controller.h"
#include "app/document_controller.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/project_tree_controller.h"
#include "app/window_set.h"
#include "editor/code_editor.h"
#include "forms/browser_view.h"
#include "forms/debug_panels.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "support/php_server.h"
#include "support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool waitFor(const std::function<bool()> &done, int ms = 20000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    PrepareBrowserEngineEnvironment(); // as the program does before its application object
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_app_debug SITE_FOLDER [ROUNDS] [IDLE_MS]\n");
        return 2;
    }
    const QString site = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const int idleMs = argc > 3 ? std::atoi(argv[3]) : 2000;
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    qputenv("XDG_STATE_HOME", dir.filePath("state").toUtf8());
    SetUserSettings(std::make_unique<IniSettingsStore>(dir.filePath("config/settings.ini")));
    ScriptedDialogs dialogs;
    SetApplicationTitle("Quillstone");

    WindowSet windows;
    MainWindow *form = windows.mainWindow();
    form->resize(1024, 768);
    form->show();
    form->project().RunAddress =
        QStringLiteral("http://127.0.0.1:%1/index.php").arg(FreeLoopbackPort());
    form->project().Debug.Breakpoints = {{site + "/lib.php", 4, {}}, {site + "/index.php", 8, {}}};
    form->projectTree().SaveProjectTo(site + "/bench.wdx"); // the server serves its folder
    // As a user starts: the project with its breakpoints opens, and F5 comes
    // IDLE_MS later (the browser's libraries load meanwhile).
    form->OpenProject(site + "/bench.wdx");
    waitFor([] { return false; }, idleMs);
    auto *panels = form->findChild<DebugPanels *>(QStringLiteral("DebugPanel"));
    const auto stoppedAt = [&](const QString &file, int line) {
        return form->debugger().isStopped() && form->project().OpenedFile == file &&
               form->ui().re->caretLine() == line && panels->Variables->topLevelItemCount() > 0 &&
               panels->CallStack->topLevelItemCount() > 0;
    };
    std::vector<double> first, later, step, page;
    for (int r = 0; r < rounds; ++r) {
        form->documents().OpenFileAtLine(site + "/index.php", true);
        QElapsedTimer t;
        t.start();
        form->item("Debug1")->trigger();
        if (!waitFor([&] { return stoppedAt(site + "/lib.php", 4); })) {
            std::fprintf(stderr,
                         "no stop at the breakpoint (round %d): stopped %d, file %s, line %d, "
                         "%d variables, %d frames\n",
                         r, form->debugger().isStopped(), qPrintable(form->project().OpenedFile),
                         form->ui().re->caretLine(), panels->Variables->topLevelItemCount(),
                         panels->CallStack->topLevelItemCount());
            for (const QString &m : dialogs.messages)
                std::fprintf(stderr, "message: %s\n", qPrintable(m));
            for (const QString &m : dialogs.errors)
                std::fprintf(stderr, "error: %s\n", qPrintable(m));
            std::fprintf(stderr, "log: %s\n", qPrintable(panels->DebugLog->toPlainText()));
            return 1;
        }
        (r == 0 ? first : later).push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        form->item("StepOver1")->trigger();
        if (!waitFor([&] { return stoppedAt(site + "/lib.php", 5); }))
            return 1;
        step.push_back(t.nsecsElapsed() / 1e6);
        // On to after the array: the loop's stops first.
        while (!stoppedAt(site + "/index.php", 8)) {
            form->item("Debug1")->trigger();
            if (!waitFor([&] {
                    return form->debugger().isStopped() &&
                           panels->Variables->topLevelItemCount() > 0;
                }))
                return 1;
        }
        const auto big = panels->Variables->findItems(QStringLiteral("$big"), Qt::MatchExactly);
        if (big.isEmpty())
            return 1;
        t.restart();
        big.first()->setExpanded(true);
        if (!waitFor([&] { return big.first()->childCount() == 101; }))
            return 1;
        page.push_back(t.nsecsElapsed() / 1e6);
        form->item("StopDebug1")->trigger();
        waitFor([] { return false; }, 200); // the page is answered
    }
    std::printf(
        "quillstone window: first F5 to stopped %.1f ms (%d ms after the project opened); "
        "later F5 to stopped %.1f ms; step %.1f ms; array page %.1f ms (medians, %d rounds)\n",
        median(first), idleMs, median(later), median(step), median(page), rounds);
    return 0;
}
