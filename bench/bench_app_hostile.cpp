// Odd and hostile input through the window set (offscreen), each case beside
// the same work on sound input: how long until the clear error, or the
// result, is there. Medians of 7.
//   - the window set built with a recent-files count of 2,147,483,647 in
//     settings.ini, against an ordinary list;
//   - Open Project of a link to /dev/zero, of a file nested 100,000 deep, of a
//     10,000-entry project with a bad byte in its last line, of a project
//     whose address is 20 MB long, against the 10,000-entry project sound;
//   - Find in Files and Functions... over 2,000 files of which 500 hold a
//     stray NUL, against the same files without;
//   - a project with a 40,000-character run address loaded and saved.
// Usage: bench_app_hostile

#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/messages_controller.h"
#include "app/messages_grid.h"
#include "app/project_tree_controller.h"
#include "app/window_set.h"
#include "components/recent_files.h"
#include "forms/find_in_files_dialog.h"
#include "foundation/settings_store.h"
#include "foundation/user_dialogs.h"
#include "support/recording_browser_view.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

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

double medianMs(const std::function<void()> &work, int runs = 7)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return median(times);
}

// Answers every file dialog from a queue, keeps the last error, closes modal windows at once.
class BenchDialogs final : public UserDialogs {
public:
    void showMessage(const QString &text) override { last = text; }
    void showError(const QString &text) override { last = text; }
    bool askYesNo(const QString &, const QString &) override { return false; }
    std::optional<QString> prompt(const QString &, const QString &, const QString &) override
    {
        return answer;
    }
    QStringList openFiles(const QString &, const QString &, const QString &, bool) override
    {
        return {open};
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
    QString open;
    QString last;
};

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

QByteArray projectOf(const QString &folder, int entries, const QByteArray &last)
{
    QByteArray text = "<WENDLOR_Project>\r\n";
    for (int i = 0; i < entries; ++i)
        text += "   <file path=\"" + folder.toUtf8() + "/f" + QByteArray::number(i) +
                ".php\" line=\"0\" publish=\"True\"/>\r\n";
    return text + last + "</WENDLOR_Project>\r\n";
}

void row(const char *what, double ms, const char *peerWhat, double peerMs, const QString &result)
{
    std::printf("| %s | %.1f | %s | %.1f | %s |\n", what, ms, peerWhat, peerMs,
                qPrintable(result.left(110)));
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("config/settings.ini"));
    SetUserSettings(std::make_unique<IniSettingsStore>(ini));
    BenchDialogs dialogs;
    SetDialogs(&dialogs);
    ScopedRecordingBrowsers browsers;
    std::printf("| input | ms | sound input | ms | result |\n|---|--:|---|--:|---|\n");

    // The recent-files list: a count of 2^31 - 1 over two entries, against two entries.
    const QString root = RecentFiles::defaultKeyRoot();
    const auto settings = [&](const QString &count) {
        QFile::remove(ini);
        UserSettings().writeValue(root + QStringLiteral("\\RecentFiles\\Count"),
                                  QStringLiteral("String"), count);
        UserSettings().writeValue(root + QStringLiteral("\\RecentFiles\\File0"),
                                  QStringLiteral("String"), QStringLiteral("/p/a.wdx"));
        UserSettings().writeValue(root + QStringLiteral("\\RecentFiles\\File1"),
                                  QStringLiteral("String"), QStringLiteral("/p/b.wdx"));
    };
    qsizetype listed = 0;
    const auto build = [&] {
        WindowSet windows;
        listed = windows.mainWindow()->ui().recentFiles->files().size();
    };
    settings(QStringLiteral("2147483647"));
    const double huge = medianMs([&] {
        settings(QStringLiteral("2147483647"));
        build();
    });
    const qsizetype hugeListed = listed;
    const double sound = medianMs([&] {
        settings(QStringLiteral("2"));
        build();
    });
    row("window set, recent count 2,147,483,647", huge, "count 2", sound,
        QStringLiteral("%1 entries listed").arg(hugeListed));

    WindowSet windows;
    MainWindow *form = windows.mainWindow();
    const QString site = dir.filePath(QStringLiteral("site"));
    for (int i = 0; i < 2000; ++i) {
        QByteArray text = "<?php\n// file " + QByteArray::number(i) + "\nfunction f" +
                          QByteArray::number(i) + "($cookie) {\n    return $cookie;\n}\n";
        text = text.repeated(20);
        write(site + QStringLiteral("/f%1.php").arg(i), text);
    }
    const QString good = site + QStringLiteral("/good.wdx");
    write(good, projectOf(site, 10000, ""));
    const double goodMs = medianMs([&] {
        dialogs.open = good;
        form->item(QStringLiteral("Open2"))->trigger();
    });
    const auto opened = [&](const char *what, const QString &path) {
        const double ms = medianMs([&] {
            dialogs.last.clear();
            dialogs.open = path;
            form->item(QStringLiteral("Open2"))->trigger();
        });
        row(what, ms, "the 10,000-entry project sound", goodMs, dialogs.last);
    };
    QFile::link(QStringLiteral("/dev/zero"), dir.filePath(QStringLiteral("zero.wdx")));
    opened("Open Project, link to /dev/zero", dir.filePath(QStringLiteral("zero.wdx")));
    QByteArray deep = "<WENDLOR_Project>";
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    for (int i = 0; i < 100000; ++i)
        deep += "</a>";
    write(dir.filePath(QStringLiteral("deep.wdx")), deep + "</WENDLOR_Project>");
    opened("Open Project, nested 100,000 deep", dir.filePath(QStringLiteral("deep.wdx")));
    write(dir.filePath(QStringLiteral("bad.wdx")),
          projectOf(site, 10000, "   <file path=\"caf\xE9.php\"/>\r\n"));
    opened("Open Project, 10,000 entries, bad byte last", dir.filePath(QStringLiteral("bad.wdx")));
    write(dir.filePath(QStringLiteral("long.wdx")),
          "<WENDLOR_Project>\n<address address=\"http://" + QByteArray(20 << 20, 'a') +
              "\"/></WENDLOR_Project>\n");
    opened("Open Project, a 20 MB address", dir.filePath(QStringLiteral("long.wdx")));

    // Find in Files and Functions... over 2,000 files, 500 with a stray NUL.
    form->project().Files.Clear();
    for (int i = 0; i < 2000; ++i) {
        form->project().Files.AddNew();
        form->project().Files.Last()->Name = site + QStringLiteral("/f%1.php").arg(i);
    }
    dialogs.answer = QStringLiteral("COOKIE");
    const auto search = [&] {
        form->item(QStringLiteral("Findinfiles1"))->trigger();
        while (form->ui().messages->isCancellable())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    };
    const QByteArray padding(100000, ' ');
    const auto scan = [&] { form->project().ScanFunctions(); };
    // The sound run's files carry the same 100 KB of blanks as the text files below.
    std::vector<qint64> sizes;
    for (int i = 4; i < 2000; i += 8) {
        QFile file(site + QStringLiteral("/f%1.php").arg(i));
        sizes.push_back(file.size());
        file.open(QIODevice::Append);
        file.write(padding);
    }
    const double searchSound = medianMs(search);
    const double scanSound = medianMs(scan);
    for (int i = 4, k = 0; i < 2000; i += 8, ++k)
        QFile::resize(site + QStringLiteral("/f%1.php").arg(i), sizes[size_t(k)]);
    // Half of them near the start (they look binary), half 100 KB in (text
    // with a stray NUL, the same 100 KB added to those files in the sound run).
    for (int i = 0; i < 2000; i += 4) {
        QFile file(site + QStringLiteral("/f%1.php").arg(i));
        file.open(QIODevice::ReadWrite);
        file.seek(i % 8 == 0 ? 3 : file.size());
        file.write(i % 8 == 0 ? QByteArray(1, '\0')
                              : padding + QByteArray(1, '\0') + "\nfunction stray() {}\n");
    }
    const double searchNul = medianMs(search);
    row("Find in Files, 2,000 files, 500 with a NUL", searchNul, "no NUL", searchSound,
        QStringLiteral("%1 rows; last: %2")
            .arg(form->ui().messages->rowCount())
            .arg(form->messagePanel().MessageCell(0, form->ui().messages->rowCount() - 1)));
    const double scanNul = medianMs(scan);
    row("Functions... scan, the same files", scanNul, "no NUL", scanSound,
        QStringLiteral("%1 declarations").arg(form->project().FunctionLines.size()));

    // A run address past what a line edit keeps by default, loaded and saved.
    QString address = QStringLiteral("http://127.0.0.1/page.php?q=");
    while (address.size() < 40000)
        address += QStringLiteral("0123456789");
    const QString longProject = dir.filePath(QStringLiteral("long/long.wdx"));
    write(longProject,
          "<WENDLOR_Project><address address=\"" + address.toUtf8() + "\"/></WENDLOR_Project>");
    const double longMs = medianMs([&] {
        form->projectTree().OpenProject(longProject);
        form->handle(QStringLiteral("SavePrjClick"));
    });
    row("40,000-character run address, load and save", longMs, "-", 0,
        form->project().RunAddress.size() == address.size() ? QStringLiteral("kept whole")
                                                            : QStringLiteral("CUT"));
    SetDialogs(nullptr);
    return 0;
}
