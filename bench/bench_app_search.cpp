// Find in Files and Functions... over a large PHP code base made into a
// project, against grep over the same files in the same run, and the idle
// cost of the code explorer on a 100,000-line document.
// Usage: bench_app_search [TEXT]   corpus from $PHP_CORPUS (default bench/corpus/php
// of the source tree, made by bench/make-php-corpus.sh), idle period from
// $IDLE_SECONDS (default 20).

#include "app/document_controller.h"
#include "app/function_list_controller.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/messages_controller.h"
#include "app/messages_grid.h"
#include "app/window_set.h"
#include "editor/code_editor.h"
#include "forms/find_in_files_dialog.h"
#include "forms/project_functions_dialog.h"
#include "foundation/settings_store.h"
#include "foundation/user_dialogs.h"
#include "support/recording_browser_view.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Answers every prompt with the search text and closes every modal window at once.
class BenchDialogs final : public UserDialogs {
public:
    void showMessage(const QString &text) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    void showError(const QString &text) override
    {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
    bool askYesNo(const QString &, const QString &) override { return false; }
    std::optional<QString> prompt(const QString &, const QString &, const QString &) override
    {
        return answer;
    }
    QStringList openFiles(const QString &, const QString &, const QString &, bool) override
    {
        return {};
    }
    QString saveFile(const QString &, const QString &, const QString &, const QString &) override
    {
        return {};
    }
    // The harmless answer, as Escape would give.
    int askChoice(const QString &, const QString &, const QStringList &answers) override
    {
        return int(answers.size()) - 1;
    }
    int showModal(QWidget *window) override
    {
        // Find in Files asks through its dialog: the text, no options.
        if (auto *find = qobject_cast<FindInFilesDialog *>(window)) {
            find->setText(answer);
            find->setOptions({});
            return QDialog::Accepted;
        }
        return 0;
    }
    QString answer;
};

// Runs grep over the corpus's .php files; returns its matching lines.
qsizetype grepLines(const QString &corpus, const QString &text, const char *locale, double &ms)
{
    QProcess grep;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (locale)
        environment.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(locale));
    grep.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    grep.start(QStringLiteral("grep"), {"-rFinI", "--include=*.php", text, corpus});
    grep.waitForFinished(-1);
    const QByteArray out = grep.readAllStandardOutput();
    ms = timer.nsecsElapsed() / 1e6;
    return out.count('\n');
}

void runEventLoop(int seconds)
{
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const QString corpus = qEnvironmentVariable(
        "PHP_CORPUS", QStringLiteral(QS_SOURCE_DIR) + QStringLiteral("/bench/corpus/php"));
    const QString text = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("cookie");
    const int idleSeconds = qEnvironmentVariableIntValue("IDLE_SECONDS") > 0
                                ? qEnvironmentVariableIntValue("IDLE_SECONDS")
                                : 20;

    QTemporaryDir home;
    SetUserSettings(
        std::make_unique<IniSettingsStore>(home.filePath(QStringLiteral("settings.ini"))));
    BenchDialogs dialogs;
    dialogs.answer = text;
    SetDialogs(&dialogs);
    ScopedRecordingBrowsers browsers;
    WindowSet windows;
    MainWindow *form = windows.mainWindow();

    QStringList files;
    for (QDirIterator it(corpus, {QStringLiteral("*.php")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        files << it.next();
    files.sort();
    if (files.isEmpty()) {
        std::fprintf(stderr, "no .php files under %s\n", qPrintable(corpus));
        return 1;
    }
    for (const QString &name : files) {
        form->project().Files.AddNew();
        form->project().Files.Last()->Name = name;
    }
    std::printf("project: %lld .php files under %s\n", qlonglong(files.size()), qPrintable(corpus));

    // Find in Files, alternating with grep so both see the same cache state.
    std::vector<double> ours, grepC, grepDefault;
    qsizetype rows = 0, grepCount = 0, grepDefaultCount = 0;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer timer;
        timer.start();
        form->handle(QStringLiteral("Findinfiles1Click"),
                     form->item(QStringLiteral("Findinfiles1")));
        // A long search goes on in the background: timed to its last row.
        while (form->ui().messages->isCancellable())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        ours.push_back(timer.nsecsElapsed() / 1e6);
        // Rows with a file; the last may count the files left out as binary.
        rows = 0;
        for (int row = 0; row < form->ui().messages->rowCount(); ++row)
            rows += form->messagePanel().MessageCell(1, row).isEmpty() ? 0 : 1;
        double ms = 0;
        grepCount = grepLines(corpus, text, "C", ms);
        grepC.push_back(ms);
        grepDefaultCount = grepLines(corpus, text, nullptr, ms);
        grepDefault.push_back(ms);
    }
    std::printf("Find in Files \"%s\": %lld rows, median %.0f ms (7 runs)\n", qPrintable(text),
                qlonglong(rows), median(ours));
    std::printf("grep -rFinI (LC_ALL=C): %lld lines, median %.0f ms; ratio %.2f\n",
                qlonglong(grepCount), median(grepC), median(ours) / median(grepC));
    std::printf("grep -rFinI (locale %s): %lld lines, median %.0f ms; ratio %.2f\n",
                qgetenv("LANG").isEmpty() ? "unset" : qgetenv("LANG").constData(),
                qlonglong(grepDefaultCount), median(grepDefault),
                median(ours) / median(grepDefault));
    std::printf("same hits as grep: %s\n", rows == grepCount ? "yes" : "NO");

    // Functions...: scan, sort and filter fill, the dialog closed at once.
    std::vector<double> functions;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer timer;
        timer.start();
        form->handle(QStringLiteral("Allfunctionlist1Click"));
        functions.push_back(timer.nsecsElapsed() / 1e6);
    }
    ProjectFunctionsDialog *list = windows.windows().projectFunctionsDialog;
    std::printf("Functions...: %d rows, median %.0f ms (scan, sort, filter fill)\n",
                list->filterRowCount(), median(functions));
    std::vector<double> typing;
    for (const char *filter : {"g", "ge", "get", "get_", "get", "ge", "g", ""}) {
        QElapsedTimer timer;
        timer.start();
        list->search_edit->setText(QString::fromLatin1(filter));
        typing.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("filter keystroke: median %.2f ms\n", median(typing));

    // The code explorer on a 100,000-line document: idle CPU with it shown,
    // against the same window with it hidden.
    QString document;
    for (int line = 0; line < 100000; ++line)
        document += line % 10 == 0 ? QStringLiteral("function f%1($a, $b) {\n").arg(line)
                                   : QStringLiteral("    $x = $a + %1; // some code\n").arg(line);
    const QString path = home.filePath(QStringLiteral("big.php"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(document.toUtf8());
    file.close();
    form->show();
    QApplication::processEvents();
    form->documents().OpenFileAtLine(path, false);
    form->item(QStringLiteral("CodeExplorer"))->trigger();
    std::printf("explorer rows: %d\n", form->ui().CodeGrid->rowCount());
    form->ui().re->setCursorPosition(5, 0);
    form->ui().re->insert(QStringLiteral("function typed() {}\n"));
    QElapsedTimer rebuild;
    rebuild.start();
    form->functions().CodeExplorerRefreshTimer(nullptr);
    std::printf("one rebuild after a change: %.1f ms\n", rebuild.nsecsElapsed() / 1e6);

    runEventLoop(2);
    const int before = form->functions().codeExplorerRebuilds();
    double start = cpuSeconds();
    runEventLoop(idleSeconds);
    const double shown = cpuSeconds() - start;
    std::printf("idle %d s, explorer shown: CPU %.3f s = %.2f%% of a core (%d rebuilds)\n",
                idleSeconds, shown, 100 * shown / idleSeconds,
                form->functions().codeExplorerRebuilds() - before);
    form->item(QStringLiteral("CodeExplorer"))->trigger();
    start = cpuSeconds();
    runEventLoop(idleSeconds);
    const double hidden = cpuSeconds() - start;
    std::printf("idle %d s, explorer hidden: CPU %.3f s = %.2f%% of a core\n", idleSeconds, hidden,
                100 * hidden / idleSeconds);
    form->project().SetOpenedFile(QString());
    SetDialogs(nullptr);
    return 0;
}
