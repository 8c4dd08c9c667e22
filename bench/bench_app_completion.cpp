// Completion figures on the real main window (offscreen) over a generated
// manual folder: the first Ctrl+Space of a run (listing, sorting, index,
// entries, opening the list and placing the advice window) and the narrowing
// that follows every typed key (new list, highlight report, advice row and
// page address). Browsers record instead of loading. Prints milliseconds.
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/window_set.h"
#include "editor/code_editor.h"
#include "editor/completion_popup.h"
#include "foundation/settings_store.h"
#include "foundation/switches.h"
#include "project/manual_index.h"
#include "support/recording_browser_view.h"
#include "support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A key as the window system would deliver it to the editor, through the
// application's filters.
void press(QWidget *target, int key, const QString &text = {})
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &up);
}

double elapsedMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// Names shaped like the manual's: a family stem, words, a number.
void writeManual(const QString &folder, int pages)
{
    const char *stems[] = {"array", "str", "mb",   "date", "is",     "mysqli",  "curl", "image",
                           "xml",   "gz",  "preg", "file", "stream", "openssl", "intl", "ctype"};
    const char *words[] = {"map",  "get",   "set",    "replace", "open", "close", "read",  "write",
                           "info", "count", "search", "split",   "pad",  "walk",  "filter"};
    QDir().mkpath(folder);
    for (int i = 0; i < pages; ++i) {
        const QString name = QStringLiteral("function.%1-%2-%3.htm")
                                 .arg(QLatin1String(stems[i % 16]))
                                 .arg(QLatin1String(words[(i / 16) % 15]))
                                 .arg(i);
        QFile file(folder + '/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write("<html><body>page</body></html>\n") < 0)
            qFatal("cannot write %s", qPrintable(file.fileName()));
    }
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int pages = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 9;
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    SetUserSettings(std::make_unique<IniSettingsStore>(dir.filePath("config/settings.ini")));
    // Answers nothing (No, Cancel, the harmless choice): the benchmark runs unattended.
    ScriptedDialogs dialogs;
    SetProgramParametersOverride(QStringList{QCoreApplication::applicationFilePath()});
    ScopedRecordingBrowsers browsers;

    const QString folder = dir.filePath("phpmanual");
    writeManual(folder, pages);
    SetManualFolderOverride(folder);

    std::vector<double> listing;
    for (int i = 0; i < runs; ++i)
        listing.push_back(elapsedMs([&] { ReadManualIndex(folder); }));

    std::vector<double> first;
    std::vector<double> keys;
    std::vector<double> backspaces;
    for (int i = 0; i < runs; ++i) {
        WindowSet windows;
        MainWindow *form = windows.mainWindow();
        form->show();
        QCoreApplication::processEvents();
        form->ui().re->setFocus();
        form->ui().re->setWholeText(QStringLiteral("<?php\n$x = "));
        form->ui().re->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
        QCoreApplication::processEvents();

        // Ctrl+Space is the menu item's shortcut.
        first.push_back(elapsedMs([&] { form->item(QStringLiteral("Adviser1"))->trigger(); }));
        if (!form->ui().completion->isOpen())
            qFatal("the completion list did not open");
        for (const char c : QByteArrayLiteral("array_walk")) {
            if (c)
                keys.push_back(elapsedMs([&] {
                    press(form->ui().re, c == '_' ? Qt::Key_Underscore : Qt::Key_A + (c - 'a'),
                          QString(QChar(c)));
                }));
        }
        // The keys really narrowed: only the "array-walk" pages are left.
        if (i == 0)
            std::printf("entries left after \"array_walk\"     %d of %d\n",
                        int(form->ui().completion->shownEntries().size()),
                        int(form->ui().completion->entries().size()));
        for (int b = 0; b < 5; ++b)
            backspaces.push_back(elapsedMs([&] { press(form->ui().re, Qt::Key_Backspace); }));
        press(form->ui().re, Qt::Key_Escape);
    }

    std::printf("manual pages                          %d\n", pages);
    std::printf("list + sort + names (median)          %.1f ms\n", median(listing));
    std::printf("first Ctrl+Space (median of %d runs)   %.1f ms (max %.1f)\n", runs, median(first),
                *std::max_element(first.begin(), first.end()));
    std::printf("typed key, narrowing (median / max)   %.2f / %.2f ms\n", median(keys),
                *std::max_element(keys.begin(), keys.end()));
    std::printf("backspace, widening (median / max)    %.2f / %.2f ms\n", median(backspaces),
                *std::max_element(backspaces.begin(), backspaces.end()));
    SetManualFolderOverride(std::nullopt);
    // Errors would spoil the figures; they are shown, not answered.
    for (const QString &e : dialogs.errors)
        std::fprintf(stderr, "error: %s\n", qPrintable(e));
    SetUserSettings(nullptr);
    return 0;
}
