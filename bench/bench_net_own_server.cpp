// The own PHP server on its own: how long prepare() takes to start `php -S`
// on a free loopback port and wait until it accepts, how long it takes when
// the server already runs, and for a server of someone else's on the port
// (first look with the HTTP probe, later looks). Medians in milliseconds.
//
//   bench_net_own_server [RUNS]
#include "net/local_php_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
int freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        qFatal("no free port");
    return probe.serverPort();
}

double ms(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

void report(const char *what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::printf("%-52s median %7.2f ms  min %7.2f  max %7.2f  (%zu runs)\n", what,
                times[times.size() / 2], times.front(), times.back(), times.size());
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QByteArray(argv[1]).toInt() : 20;
    QTemporaryDir dir;
    QFile index(dir.filePath("index.php"));
    if (!index.open(QIODevice::WriteOnly))
        qFatal("cannot write the page");
    index.write("<?php echo 'hello';\n");
    index.close();
    LocalPhpServer::Options options;
    options.logPath = dir.filePath("php-server.log");

    std::vector<double> start, again, theirsFirst, theirsLater;
    for (int i = 0; i < runs; ++i) {
        LocalPhpServer server(options);
        const QString address = QStringLiteral("http://127.0.0.1:%1/").arg(freePort());
        LocalPhpServer::Outcome outcome;
        start.push_back(ms([&] { outcome = server.prepare(address, dir.path(), true); }));
        if (!outcome.startedNow)
            qFatal("not started: %s", qPrintable(outcome.problem));
        again.push_back(ms([&] { server.prepare(address, dir.path(), true); }));
    }

    // Someone else's server on the port.
    const int port = freePort();
    QProcess theirs;
    theirs.setStandardOutputFile(QProcess::nullDevice());
    theirs.setStandardErrorFile(QProcess::nullDevice());
    theirs.start("php", {"-S", QStringLiteral("127.0.0.1:%1").arg(port), "-t", dir.path()});
    theirs.waitForStarted();
    const LoopbackAddress at =
        LoopbackHttpAddress(QStringLiteral("http://127.0.0.1:%1/").arg(port));
    while (ProbeLoopbackPort(at, std::chrono::milliseconds(200), false) == PortState::Free)
        QThread::msleep(10);
    for (int i = 0; i < runs; ++i) {
        LocalPhpServer server(options);
        const QString address = QStringLiteral("http://127.0.0.1:%1/").arg(port);
        theirsFirst.push_back(ms([&] { server.prepare(address, dir.path(), true); }));
        theirsLater.push_back(ms([&] { server.prepare(address, dir.path(), true); }));
    }
    theirs.terminate();
    theirs.waitForFinished();

    report("start php -S and wait until it accepts:", start);
    report("own server already running:", again);
    report("another web server on the port, first look (probe):", theirsFirst);
    report("another web server on the port, later looks:", theirsLater);
    return 0;
}
