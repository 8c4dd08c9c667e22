// The find-in-files engine and the function scan over the PHP corpus, against
// ripgrep (two threads and one) and grep over the same files in the same run,
// alternating so all see the same cache state; medians of 7. Every search's
// rows are checked against the rule applied line by line, and its lines
// against ripgrep's and grep's.
//
// Usage: bench_project_search [CORPUS_DIR] [WORD...]
//   CORPUS_DIR defaults to $PHP_CORPUS, else bench/corpus/php of the source
//   tree (bench/make-php-corpus.sh makes it); the words default to a common,
//   a rare and a non-ASCII one.

#include "project/find_in_files.h"
#include "project/function_scan.h"
#include "project/project.h"
#include "project/source_text.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLocale>
#include <QProcess>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Tool {
    const char *label;
    QString program;
    QStringList arguments;
};

// Runs a command-line peer; its output lines as "path:line".
QSet<QString> runPeer(const Tool &tool, const QString &corpus, double &ms)
{
    QProcess process;
    process.setWorkingDirectory(corpus);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A UTF-8 locale, so the peers fold the case of the non-ASCII word too.
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(tool.program, tool.arguments);
    process.waitForFinished(-1);
    const QByteArray out = process.readAllStandardOutput();
    ms = timer.nsecsElapsed() / 1e6;
    QSet<QString> lines;
    for (const QByteArray &line : out.split('\n')) {
        const qsizetype first = line.indexOf(':');
        const qsizetype second = first < 0 ? -1 : line.indexOf(':', first + 1);
        if (second > 0) {
            QString path = QString::fromUtf8(line.left(first));
            if (path.startsWith(QLatin1String("./")))
                path = path.mid(2);
            lines.insert(path + u':' +
                         QString::fromLatin1(line.mid(first + 1, second - first - 1)));
        }
    }
    return lines;
}

// The rule as written: every line decoded, lowered and compared.
std::vector<FoundLine> referenceRows(const QStringList &files, const QString &text)
{
    const QLocale locale = QLocale::system();
    const QString lowered = locale.toLower(text);
    std::vector<FoundLine> rows;
    for (int index = 0; index < files.size(); ++index) {
        const QByteArray bytes = ReadSourceFile(files.at(index));
        if (LooksBinary(bytes.constData(), bytes.size()))
            continue;
        const SourceEncoding encoding = DetectSourceEncoding(bytes);
        QString all = DecodeSource(bytes.constData() + encoding.start,
                                   bytes.size() - encoding.start, encoding);
        all.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        const QStringList lines = all.split(u'\n');
        for (int j = 0; j < lines.size(); ++j) {
            if (locale.toLower(lines.at(j)).contains(lowered))
                rows.push_back({index, j + 1, TrimControls(lines.at(j))});
        }
    }
    return rows;
}

bool sameRows(const std::vector<FoundLine> &a, const std::vector<FoundLine> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const FoundLine &x, const FoundLine &y) {
                          return x.file == y.file && x.line == y.line && x.text == y.text;
                      });
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString corpus = qEnvironmentVariable("PHP_CORPUS", QStringLiteral(QS_SOURCE_DIR) +
                                                            QStringLiteral("/bench/corpus/php"));
    if (argc > 1)
        corpus = QString::fromLocal8Bit(argv[1]);
    QStringList words;
    for (int k = 2; k < argc; ++k)
        words << QString::fromLocal8Bit(argv[k]);
    if (words.isEmpty())
        words = {QStringLiteral("cookie"), QStringLiteral("tempnam"),
                 QString::fromUtf8("\xD0\xB2\xD1\x80\xD0\xB5\xD0\xBC\xD1\x8F")}; // "время"

    QStringList relative;
    for (QDirIterator it(corpus, {QStringLiteral("*.php")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        relative << it.next().mid(corpus.size() + 1);
    relative.sort();
    if (relative.isEmpty()) {
        std::fprintf(stderr, "no .php files under %s (bench/make-php-corpus.sh makes them)\n",
                     qPrintable(corpus));
        return 1;
    }
    QStringList files;
    for (const QString &name : relative)
        files << corpus + u'/' + name;
    const int workers = DefaultWorkerCount();
    std::printf("corpus: %lld .php files under %s; %d workers\n", qlonglong(files.size()),
                qPrintable(corpus), workers);

    for (const QString &word : words) {
        const std::vector<Tool> peers = {
            {"rg -j2",
             QStringLiteral("rg"),
             {"-j2", "-Fin", "--no-heading", "-g", "*.php", word, "."}},
            {"rg -j1",
             QStringLiteral("rg"),
             {"-j1", "-Fin", "--no-heading", "-g", "*.php", word, "."}},
            {"grep", QStringLiteral("grep"), {"-rFinI", "--include=*.php", word, "."}},
        };
        std::vector<double> ours;
        std::vector<double> oneWorker;
        std::vector<std::vector<double>> peerMs(peers.size());
        std::vector<QSet<QString>> peerLines(peers.size());
        FindInFilesResult result;
        for (int run = 0; run < 7; ++run) {
            QElapsedTimer timer;
            timer.start();
            result = FindInFiles(files, word, workers);
            ours.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            FindInFiles(files, word, 1);
            oneWorker.push_back(timer.nsecsElapsed() / 1e6);
            for (size_t p = 0; p < peers.size(); ++p) {
                double ms = 0;
                peerLines[p] = runPeer(peers[p], corpus, ms);
                peerMs[p].push_back(ms);
            }
        }
        const bool exact = sameRows(result.lines, referenceRows(files, word));
        QSet<QString> ourLines;
        for (const FoundLine &found : result.lines)
            ourLines.insert(relative.at(found.file) + u':' + QString::number(found.line));

        std::printf("\n\"%s\": %lld rows, %d binary; same rows as the line-by-line rule: %s\n",
                    qPrintable(word), qlonglong(result.lines.size()), result.binaryFiles,
                    exact ? "yes" : "NO");
        std::printf("  %-28s median %7.1f ms\n", "Find in Files engine", median(ours));
        std::printf("  %-28s median %7.1f ms\n", "Find in Files engine, 1 worker",
                    median(oneWorker));
        for (size_t p = 0; p < peers.size(); ++p) {
            std::printf(
                "  %-28s median %7.1f ms  ratio ours/peer %.2f  lines %lld, same as ours: %s\n",
                peers[p].label, median(peerMs[p]), median(ours) / median(peerMs[p]),
                qlonglong(peerLines[p].size()), peerLines[p] == ourLines ? "yes" : "no");
        }
    }

    // Functions...: the scan against a grep (and rg) for function lines.
    Project project;
    project.AddFiles(files);
    const std::vector<Tool> peers = {
        {"grep",
         QStringLiteral("grep"),
         {"-rE", "--include=*.php", "^[[:space:]]*function [^[:space:]]", "."}},
        {"rg -j2",
         QStringLiteral("rg"),
         {"-j2", "--no-heading", "-g", "*.php", "^[[:space:]]*function [^[:space:]]", "."}},
    };
    std::vector<double> scan;
    std::vector<std::vector<double>> peerMs(peers.size());
    std::vector<qsizetype> peerCounts(peers.size());
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer timer;
        timer.start();
        project.ScanFunctions();
        scan.push_back(timer.nsecsElapsed() / 1e6);
        for (size_t p = 0; p < peers.size(); ++p) {
            double ms = 0;
            QProcess process;
            process.setWorkingDirectory(corpus);
            QElapsedTimer peerTimer;
            peerTimer.start();
            process.start(peers[p].program, peers[p].arguments);
            process.waitForFinished(-1);
            peerCounts[p] = process.readAllStandardOutput().count('\n');
            ms = peerTimer.nsecsElapsed() / 1e6;
            peerMs[p].push_back(ms);
        }
    }
    std::printf("\nFunctions... scan: %lld declaration lines, median %.1f ms\n",
                qlonglong(project.FunctionLines.size()), median(scan));
    for (size_t p = 0; p < peers.size(); ++p)
        std::printf("  %-28s median %7.1f ms  ratio ours/peer %.2f  lines %lld\n", peers[p].label,
                    median(peerMs[p]), median(scan) / median(peerMs[p]), qlonglong(peerCounts[p]));
    return 0;
}
