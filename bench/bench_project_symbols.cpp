// The PHP symbol index over real code. Modes:
//   index ROOT...            lists the .php files under the ROOTs and builds the
//                            index on all cores; prints files, symbols, the
//                            time from the listing's start to the index ready,
//                            and the memory the index holds (resident growth)
//   dump                     declarations of the files named on stdin, in the
//                            oracle's format (bench/php-declarations.php)
//   definitions ROOT SITES   Go to Definition at the oracle's call sites
//                            (bench/php-call-sites.php): right / wrong / not found
//   latency ROOT...          Go to Definition and completion time per query on
//                            the index of the ROOTs, at sites of SITES=file
// The whole-program comparison with ctags is bench/symbols-vs-ctags.sh.

#include "project/parallel_read.h"
#include "project/php_resolve.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <malloc.h>
#include <map>
#include <string>

namespace {
// The .php files under the roots, as a project lists them (no stat per entry).
QStringList phpFiles(const QStringList &roots)
{
    namespace fs = std::filesystem;
    QStringList files;
    for (const QString &root : roots) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(root.toStdString(),
                                                 fs::directory_options::follow_directory_symlink |
                                                     fs::directory_options::skip_permission_denied,
                                                 ec),
             end;
             it != end; it.increment(ec)) {
            const std::string &p = it->path().native();
            if (p.size() > 4 && p.compare(p.size() - 4, 4, ".php") == 0 && it->is_regular_file(ec))
                files << QString::fromStdString(p);
        }
    }
    return files;
}

long residentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

size_t offsetOf(const QByteArray &bytes, int line, int column)
{
    int l = 1;
    qsizetype p = 0;
    while (l < line && p < bytes.size()) {
        const qsizetype nl = bytes.indexOf('\n', p);
        if (nl < 0)
            break;
        p = nl + 1;
        ++l;
    }
    return size_t(p + column);
}

struct Site {
    QString path;
    int line = 0, column = 0;
    std::string kind;
    QString expectedPath;
    int expectedLine = 0;
};

std::vector<Site> readSites(const QString &file)
{
    std::vector<Site> sites;
    const QByteArray all = readAll(file);
    for (const QByteArray &row : all.split('\n')) {
        const QList<QByteArray> f = row.split('\t');
        if (f.size() < 6)
            continue;
        sites.push_back({QString::fromUtf8(f[0]), f[1].toInt(), f[2].toInt(), f[3].toStdString(),
                         QString::fromUtf8(f[4]), f[5].toInt()});
    }
    return sites;
}

int indexMode(const QStringList &roots)
{
    const long before = residentKb();
    const size_t heapBefore = mallinfo2().uordblks;
    QElapsedTimer timer;
    timer.start();
    const QStringList files = phpFiles(roots);
    const double listed = timer.nsecsElapsed() / 1e6;
    auto index = SymbolIndex::Build(files, DefaultWorkerCount());
    const double built = timer.nsecsElapsed() / 1e6;
    std::printf("files %lld, symbols %zu, workers %d\n", qlonglong(index->fileCount()),
                index->symbolCount(), DefaultWorkerCount());
    std::printf("listing %.0f ms, index ready %.0f ms\n", listed, built);
    std::printf("index memory: heap in use %.1f MB, resident growth %.1f MB\n",
                double(mallinfo2().uordblks - heapBefore) / 1048576.0,
                (residentKb() - before) / 1024.0);
    return 0;
}

int dumpMode()
{
    std::string path;
    while (std::getline(std::cin, path)) {
        const QByteArray bytes = readAll(QString::fromStdString(path));
        const PhpFileSymbols syms =
            ExtractPhpSymbols(std::string_view(bytes.constData(), size_t(bytes.size())));
        for (const PhpSymbol &s : syms.symbols)
            std::printf("%s\t%s\t%s\t%u\n", path.c_str(), PhpSymbolKindName(s.kind), s.name.c_str(),
                        s.line);
    }
    return 0;
}

int definitionsMode(const QString &root, const QString &sitesFile)
{
    auto index = SymbolIndex::Build(phpFiles({root}), DefaultWorkerCount());
    std::map<std::string, std::array<int, 4>> byKind; // right, listed with it, wrong, not found
    int shown = 0;
    for (const Site &site : readSites(sitesFile)) {
        const QByteArray bytes = readAll(site.path);
        const std::string_view source(bytes.constData(), size_t(bytes.size()));
        const PhpCodeContext context(*index, site.path, source);
        const auto found = context.definition(offsetOf(bytes, site.line, site.column));
        const bool hit =
            std::any_of(found.targets.begin(), found.targets.end(), [&](const PhpTarget &t) {
                return t.path == site.expectedPath && t.line == site.expectedLine;
            });
        auto &counts = byKind[site.kind];
        const int slot = found.targets.empty() ? 3 : !hit ? 2 : found.targets.size() == 1 ? 0 : 1;
        ++counts[size_t(slot)];
        if (slot >= 2 && shown++ < 40)
            std::printf("  %s %s:%d:%d expected %s:%d, got %s%s\n", slot == 2 ? "WRONG" : "MISSED",
                        qPrintable(site.path), site.line, site.column,
                        qPrintable(site.expectedPath), site.expectedLine,
                        found.targets.empty()
                            ? "nothing"
                            : qPrintable(found.targets.front().path + QLatin1Char(':') +
                                         QString::number(found.targets.front().line)),
                        (" (" + found.what + ")").c_str());
    }
    std::array<int, 4> total{};
    for (const auto &[kind, c] : byKind) {
        std::printf("%-9s right %d, among several %d, wrong %d, not found %d\n", kind.c_str(), c[0],
                    c[1], c[2], c[3]);
        for (size_t k = 0; k < 4; ++k)
            total[k] += c[k];
    }
    const int all = total[0] + total[1] + total[2] + total[3];
    std::printf(
        "all       right %d, among several %d, wrong %d, not found %d of %d: right %.1f %%\n",
        total[0], total[1], total[2], total[3], all,
        all ? 100.0 * (total[0] + total[1]) / all : 0.0);
    return 0;
}

int latencyMode(const QStringList &roots, const QString &sitesFile)
{
    auto index = SymbolIndex::Build(phpFiles(roots), DefaultWorkerCount());
    std::printf("index: files %lld, symbols %zu\n", qlonglong(index->fileCount()),
                index->symbolCount());
    std::vector<double> definition, completion, qualified;
    for (const Site &site : readSites(sitesFile)) {
        const QByteArray bytes = readAll(site.path);
        const std::string_view source(bytes.constData(), size_t(bytes.size()));
        const size_t offset = offsetOf(bytes, site.line, site.column);
        QElapsedTimer timer;
        timer.start();
        {
            const PhpCodeContext context(*index, site.path, source);
            (void)context.definition(offset);
        }
        definition.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        {
            // What completion does after `->`: the class and all its members.
            const PhpCodeContext context(*index, site.path, source);
            const auto c = context.completionAt(offset);
            if (!c.className.empty())
                (void)index->allMembers(c.className);
        }
        completion.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        {
            // What `\\Namespace\\` offers: the names inside the site's own
            // namespace (the global one for a file without).
            const PhpCodeContext context(*index, site.path, source);
            (void)context.completionAt(offset);
            (void)index->namesWithin(context.namespaceName(), false);
        }
        qualified.push_back(timer.nsecsElapsed() / 1e6);
    }
    // `new ` and Ctrl+Space on a plain name: every short name.
    for (const bool classesOnly : {true, false}) {
        QElapsedTimer timer;
        timer.start();
        const size_t names = index->shortNames(classesOnly).size();
        std::printf("%s: %zu names in %.2f ms\n",
                    classesOnly ? "new (classes)" : "a plain name (all names)", names,
                    timer.nsecsElapsed() / 1e6);
    }
    // `new \\` and `\\` at the top: the global namespace's names.
    for (const bool classesOnly : {true, false}) {
        QElapsedTimer timer;
        timer.start();
        const size_t names = index->namesWithin({}, classesOnly).size();
        std::printf("%s: %zu names in %.2f ms\n",
                    classesOnly ? "new \\ (global classes)" : "\\ (global names)", names,
                    timer.nsecsElapsed() / 1e6);
    }
    for (auto *v : {&definition, &completion, &qualified})
        std::sort(v->begin(), v->end());
    const auto pct = [](const std::vector<double> &v, double p) {
        return v.empty() ? 0.0 : v[std::min(v.size() - 1, size_t(p * double(v.size())))];
    };
    std::printf("Go to Definition: %zu queries, median %.2f ms, 99th %.2f ms, max %.2f ms\n",
                definition.size(), pct(definition, 0.5), pct(definition, 0.99),
                definition.empty() ? 0.0 : definition.back());
    std::printf("completion: %zu queries, median %.2f ms, 99th %.2f ms, max %.2f ms\n",
                completion.size(), pct(completion, 0.5), pct(completion, 0.99),
                completion.empty() ? 0.0 : completion.back());
    std::printf("names in the file's namespace: %zu queries, median %.2f ms, 99th %.2f ms, "
                "max %.2f ms\n",
                qualified.size(), pct(qualified, 0.5), pct(qualified, 0.99),
                qualified.empty() ? 0.0 : qualified.back());
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    if (mode == QLatin1String("index") && args.size() > 1)
        return indexMode(args.mid(1));
    if (mode == QLatin1String("dump"))
        return dumpMode();
    if (mode == QLatin1String("definitions") && args.size() == 3)
        return definitionsMode(args[1], args[2]);
    if (mode == QLatin1String("latency") && args.size() > 2)
        return latencyMode(args.mid(2), args[1]);
    std::fprintf(stderr,
                 "usage: bench_project_symbols index ROOT... | dump | definitions ROOT SITES | "
                 "latency SITES ROOT...\n");
    return 2;
}
