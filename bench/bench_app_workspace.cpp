// Workspace figures on the real main window (offscreen): switching between two
// 5 MB files, rebuilding the tree of a 10,000-file project, filtering the
// files dialog, filling the messages panel and reading a 10,000-entry recent
// list. Prints medians in milliseconds.
#include "app/document_controller.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/messages_controller.h"
#include "app/window_set.h"
#include "components/recent_files.h"
#include "editor/code_editor.h"
#include "forms/project_files_dialog.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "support/test_support.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void writePhp(const QString &path, qint64 bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    const QByteArray block = "<?php\nfunction item_$n($a, $b = null)\n{\n    // a comment\n"
                             "    return strlen($a) + count((array)$b) . \"text\";\n}\n";
    for (qint64 written = 0; written < bytes; written += block.size())
        f.write(block);
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    SetUserSettings(std::make_unique<IniSettingsStore>(dir.filePath("config/settings.ini")));
    // Answers nothing (No, Cancel, the harmless choice): the benchmark runs unattended.
    ScriptedDialogs dialogs;
    SetApplicationTitle("Quillstone");

    // A recent list of 10,000 entries written by hand, read at start-up.
    {
        QList<QPair<QString, QString>> values{{"bench_app_workspace\\RecentFiles\\Count", "10000"}};
        for (int i = 0; i < 10000; ++i)
            values.append({QStringLiteral("bench_app_workspace\\RecentFiles\\File%1").arg(i),
                           QStringLiteral("/projects/site%1/site.wdx").arg(i)});
        UserSettings().writeValues(values, "String");
    }
    double recentRead = medianMs(5, [] { RecentFiles recent(nullptr, "bench_app_workspace"); });

    WindowSet windows;
    MainWindow *form = windows.mainWindow();
    form->show();

    const QString a = dir.filePath("a.php"), b = dir.filePath("b.php");
    writePhp(a, 5 << 20);
    writePhp(b, 5 << 20);
    form->documents().OpenFileAtLine(a, true);
    form->documents().OpenFileAtLine(b, true);
    bool toA = true;
    const double switchMs = medianMs(9, [&] {
        form->documents().OpenFileAtLine(toA ? a : b, true);
        QApplication::processEvents();
        toA = !toA;
    });

    // A project of 10,000 files on disk, in 100 folders.
    const QString site = dir.filePath("site");
    for (int i = 0; i < 10000; ++i) {
        const QString folder = site + QStringLiteral("/dir%1").arg(i / 100);
        if (i % 100 == 0)
            QDir().mkpath(folder);
        QFile f(folder + QStringLiteral("/file%1.php").arg(i));
        f.open(QIODevice::WriteOnly);
        form->project().Files.AddNew();
        form->project().Files.Last()->Name = f.fileName();
    }
    form->project().FileName = site + "/site.wdx";
    const double treeMs = medianMs(9, [&] { form->OnProjectUpdateExecute(); });

    ProjectFilesDialog *files = windows.windows().projectFilesDialog;
    const double filesFillMs = medianMs(9, [&] { form->handle(QStringLiteral("Files1Click")); });
    int keystroke = 0;
    const char *typed[] = {"d",     "di",     "dir",        "dir9",
                           "dir99", "dir99/", "dir99/file", "dir99/file9999"};
    const double filterMs =
        medianMs(8, [&] { files->Edit1->setText(QString::fromLatin1(typed[keystroke++ % 8])); });

    const double messagesMs = medianMs(5, [&] {
        form->messagePanel().ClearMessages();
        for (int i = 0; i < 10000; ++i)
            form->messagePanel().AddMessage(QStringLiteral("hit %1").arg(i));
    });
    const double clearMs = medianMs(5, [&] {
        for (int i = 0; i < 10000; ++i)
            form->messagePanel().AddMessage(QStringLiteral("hit %1").arg(i));
        form->messagePanel().ClearMessages();
    });

    std::printf("OpenFileAtLine switch between two 5 MB files: %.1f ms\n", switchMs);
    std::printf("project tree rebuild, 10,000 files:           %.1f ms\n", treeMs);
    std::printf("files dialog fill, 10,000 files:              %.1f ms\n", filesFillMs);
    std::printf("files dialog filter, per keystroke:           %.2f ms\n", filterMs);
    std::printf("messages panel, 10,000 rows added:            %.1f ms\n", messagesMs);
    std::printf("messages panel, 10,000 rows added + cleared:  %.1f ms\n", clearMs);
    std::printf("recent list of 10,000 read:                   %.1f ms\n", recentRead);
    // Errors would spoil the figures; they are shown, not answered.
    for (const QString &e : dialogs.errors)
        std::fprintf(stderr, "error: %s\n", qPrintable(e));
    return 0;
}
