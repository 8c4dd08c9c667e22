// Times saving and loading project files of growing size. Prints the median
// of several runs per size; the time should grow in step with the entries.

#include "project/project.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A project of `count` entries spread over a few levels of folders, some of
// them outside the project folder, as a real site would be.
void fill(Project &project, const QString &root, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i) {
        if (i % 10 == 9)
            names << QStringLiteral("%1/shared/lib%2/util_%3.php").arg(root).arg(i % 13).arg(i);
        else
            names << QStringLiteral("%1/site/www/module%2/part%3/page_%4.php")
                         .arg(root)
                         .arg(i % 50)
                         .arg(i % 7)
                         .arg(i);
    }
    project.AddFiles(names);
    for (int i = 0; i < count; ++i) {
        ProjectEntry *entry = project.Files.Get(i);
        entry->Line = i % 500;
        entry->Publish = i % 3 != 0;
    }
    project.OpenedFile = project.Files.Get(0)->Name;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString root = dir.path();
    QDir(root).mkpath(QStringLiteral("site/www"));
    const QString file = root + QStringLiteral("/site/www/project.wdx");

    std::printf("%10s %10s %12s %12s %12s\n", "entries", "file KB", "save ms", "load ms", "runs");
    for (const int count : {1000, 10000, 100000}) {
        const int runs = count >= 100000 ? 5 : 9;
        Project project;
        fill(project, root, count);
        std::vector<double> saves;
        std::vector<double> loads;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            project.SaveToFile(file);
            saves.push_back(timer.nsecsElapsed() / 1e6);

            Project loaded;
            timer.restart();
            loaded.LoadFromFile(file);
            loads.push_back(timer.nsecsElapsed() / 1e6);
            if (loaded.Files.Count() != count) {
                std::fprintf(stderr, "read %d entries, wrote %d\n", loaded.Files.Count(), count);
                return 1;
            }
        }
        std::printf("%10d %10lld %12.1f %12.1f %12d\n", count,
                    static_cast<long long>(QFileInfo(file).size() / 1024), median(saves),
                    median(loads), runs);
    }
    return 0;
}
