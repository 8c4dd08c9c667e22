// Open Folder as Project and Quick Open on the real main window (offscreen).
//
// Open Folder, per tree (Debian's WordPress; the PHP corpus copied seven
// times with hard links, about 80,000 files): the time starts at the call of
// OpenFolderAsProject (the command after its folder dialog) and ends when
// the window has handled every event the command left (the tree built and
// painted, the first file open). Beside it, in the same run and on the same
// tree, `find DIR -type f | wc -l` from its start to its exit. Memory: the
// program's resident size before and after, and its peak. The engine-only
// folder walk (FolderScan) is a second figure.
//
// Quick Open: the time of each key typed into its field (a key event sent
// to it, which returns when the field, the match and the list are done) on
// the 50,000-entry project; median and worst.
//
// Usage: bench_app_folder [PHP_CORPUS]   (default bench/corpus/php)
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/project_tree_controller.h"
#include "app/quick_open.h"
#include "app/window_set.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "project/folder_scan.h"
#include "support/test_support.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Kilobytes of a line of /proc/self/status ("VmRSS", "VmHWM").
long statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key)) + 1).trimmed().split(' ').value(0).toLong();
    return -1;
}

double findMs(const QString &folder, int *count)
{
    QElapsedTimer timer;
    timer.start();
    QProcess find;
    find.start(QStringLiteral("sh"), {"-c", "find \"$0\" -type f | wc -l", folder});
    find.waitForFinished(-1);
    const double ms = timer.nsecsElapsed() / 1e6;
    *count = find.readAllStandardOutput().trimmed().toInt();
    return ms;
}

void openFolder(const char *label, const QString &folder, int runs)
{
    std::vector<double> ours, peer, engine;
    int found = 0;
    long rssBefore = 0, rssAfter = 0;
    int entries = 0, nodes = 0;
    for (int run = 0; run < runs; ++run) {
        QFile::remove(QDir(folder).filePath(QDir(folder).dirName() + ".wdx"));
        peer.push_back(findMs(folder, &found));
        {
            QElapsedTimer timer;
            timer.start();
            const FolderScanResult walked = FolderScan(folder, folder, {}).run();
            engine.push_back(timer.nsecsElapsed() / 1e6);
            entries = int(walked.files.size());
        }
        WindowSet windows;
        MainWindow *form = windows.mainWindow();
        form->show();
        QApplication::processEvents();
        rssBefore = statusKb("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        form->projectTree().OpenFolderAsProject(folder);
        QApplication::processEvents();
        ours.push_back(timer.nsecsElapsed() / 1e6);
        rssAfter = statusKb("VmRSS:");
        nodes = 0;
        for (QTreeWidgetItemIterator it(form->ui().PrTree); *it; ++it)
            ++nodes;
        if (form->project().Files.Count() != entries)
            std::fprintf(stderr, "%s: %d entries, the walk found %d\n", label,
                         form->project().Files.Count(), entries);
        form->project().FileName.clear(); // nothing written back at the end
    }
    std::printf("%-10s files %6d (find: %6d)  tree nodes %6d\n", label, entries, found, nodes);
    std::printf("%-10s open folder to tree shown %8.1f ms | find | wc -l %7.1f ms | ratio %.2f\n",
                label, median(ours), median(peer), median(ours) / median(peer));
    std::printf("%-10s folder walk alone         %8.1f ms\n", label, median(engine));
    std::printf("%-10s resident before %ld KB, after %ld KB (+%ld KB), peak %ld KB\n", label,
                rssBefore, rssAfter, rssAfter - rssBefore, statusKb("VmHWM:"));
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    qputenv("XDG_STATE_HOME", dir.filePath("state").toUtf8());
    SetUserSettings(std::make_unique<IniSettingsStore>(dir.filePath("config/settings.ini")));
    ScriptedDialogs dialogs;
    SetApplicationTitle("Quillstone");
    const QString corpus = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QStringLiteral(QS_SOURCE_DIR "/bench/corpus/php");

    // WordPress as Debian ships it.
    const QString unpacked = dir.filePath("wp");
    if (const QString error = UnpackDebianPackage("wordpress", unpacked); !error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString wordpress = dir.filePath("wordpress");
    QDir().rename(unpacked + "/usr/share/wordpress", wordpress);
    openFolder("wordpress", wordpress, 5);

    // The corpus seven times over.
    if (!QFileInfo(corpus).isDir()) {
        std::fprintf(stderr, "no corpus at %s (bench/make-php-corpus.sh makes it)\n",
                     qPrintable(corpus));
        return 1;
    }
    const QString big = dir.filePath("x7");
    for (int copy = 0; copy < 7; ++copy) {
        QDir().mkpath(big);
        const QString to = big + QStringLiteral("/copy%1").arg(copy);
        // Hard links where the file system allows, copies elsewhere.
        if (QProcess::execute("cp", {"-al", corpus, to}) != 0)
            QProcess::execute("cp", {"-a", corpus, to});
    }
    openFolder("x7 corpus", big, 3);

    // Quick Open on that project: each key of a path typed in.
    WindowSet windows;
    MainWindow *form = windows.mainWindow();
    form->show();
    form->projectTree().OpenFolderAsProject(big);
    QApplication::processEvents();
    auto *quick = form->findChild<QuickOpen *>("QuickOpenPopup");
    std::vector<double> perKey;
    QElapsedTimer popTimer;
    popTimer.start();
    form->item("QuickOpen1")->trigger();
    const double popUpMs = popTimer.nsecsElapsed() / 1e6;
    for (const char *typed :
         {"copy3 symfony console command", "wpincludesclassquery", "laravelcollectionphp"}) {
        quick->field()->clear();
        for (const char *c = typed; *c; ++c) {
            QElapsedTimer timer;
            timer.start();
            // A key as the window system delivers it, handled to the end.
            const QString text(QChar::fromLatin1(*c));
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, text);
            QApplication::sendEvent(quick->field(), &press);
            QApplication::sendEvent(quick->field(), &release);
            perKey.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::printf("quick open \"%s\": %d rows, first %s\n", typed, quick->list()->count(),
                    quick->list()->count() ? qPrintable(quick->list()->item(0)->text()) : "-");
    }
    std::printf("quick open on %d entries: shown in %.1f ms; per key median %.2f ms, worst %.2f "
                "ms (%zu keys)\n",
                form->project().Files.Count(), popUpMs, median(perKey),
                *std::max_element(perKey.begin(), perKey.end()), perKey.size());
    form->project().FileName.clear();
    return 0;
}
