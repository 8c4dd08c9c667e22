// Times the project function scan over a large PHP code base and the list's
// sort: the fast exchange-order sort against the literal exchange it replaces,
// checked to give the same rows. Usage: bench_project_functions [CORPUS_DIR]
// (default $PHP_CORPUS, else bench/corpus/php of the source tree, made by
// bench/make-php-corpus.sh).

#include "project/function_scan.h"
#include "project/project.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

namespace {
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::vector<int> literalExchange(const QStringList &texts)
{
    std::vector<QByteArray> keys;
    for (const QString &t : texts)
        keys.push_back(t.toUtf8());
    std::vector<int> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    for (size_t i = 0; i < keys.size(); ++i)
        for (size_t j = i + 1; j < keys.size(); ++j)
            if (keys[j] < keys[i]) { // QByteArray compares bytes unsigned
                std::swap(keys[i], keys[j]);
                std::swap(order[i], order[j]);
            }
    return order;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString corpus = qEnvironmentVariable("PHP_CORPUS", QStringLiteral(QS_SOURCE_DIR) +
                                                            QStringLiteral("/bench/corpus/php"));
    if (argc > 1)
        corpus = QString::fromLocal8Bit(argv[1]);
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
    Project project;
    project.AddFiles(files);

    std::vector<double> scan;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer timer;
        timer.start();
        project.ScanFunctions();
        scan.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("files %lld, declaration lines %lld\n", qlonglong(files.size()),
                qlonglong(project.FunctionLines.size()));
    std::printf("ScanFunctions: median %.1f ms (7 runs, warm cache)\n", median(scan));

    std::vector<double> sortAll;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer timer;
        timer.start();
        const std::vector<int> order = SortRows(project.FunctionLines);
        sortAll.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("SortRows of the %lld scanned rows: median %.1f ms\n",
                qlonglong(project.FunctionLines.size()), median(sortAll));

    // The scanned rows of a project holding the code base 1, 3, 7 and 14
    // times (copies of a site side by side): the time per row must stay flat.
    for (const int copies : {1, 3, 7, 14}) {
        QStringList rows;
        for (int c = 0; c < copies; ++c)
            rows << project.FunctionLines;
        std::vector<double> times;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer timer;
            timer.start();
            const std::vector<int> order = SortRows(rows);
            times.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::printf("SortRows x%d: %lld rows, median %.1f ms, %.2f us per row\n", copies,
                    qlonglong(rows.size()), median(times), median(times) * 1e3 / rows.size());
    }

    // 20,000 rows drawn from the scanned lines: many duplicates, as in a
    // project that copies its helpers around; then the same rows falling.
    QRandomGenerator random(42);
    QStringList rows;
    for (int k = 0; k < 20000; ++k)
        rows << project.FunctionLines.at(int(random.bounded(qint64(project.FunctionLines.size()))));
    QStringList falling = rows;
    std::sort(falling.begin(), falling.end(),
              [](const QString &a, const QString &b) { return a.toUtf8() > b.toUtf8(); });
    for (const auto &[label, input] :
         {std::pair{"random", &rows}, std::pair{"falling", &falling}}) {
        std::vector<double> fast;
        std::vector<int> order;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer timer;
            timer.start();
            order = SortRows(*input);
            fast.push_back(timer.nsecsElapsed() / 1e6);
        }
        QElapsedTimer timer;
        timer.start();
        const std::vector<int> literal = literalExchange(*input);
        const double slow = timer.nsecsElapsed() / 1e6;
        std::printf(
            "SortRows 20,000 %s rows: median %.1f ms; literal exchange %.0f ms; same order: %s\n",
            label, median(fast), slow, order == literal ? "yes" : "NO");
    }
    return 0;
}
