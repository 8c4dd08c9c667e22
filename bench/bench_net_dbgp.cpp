// The program's DBGp client (DbgpListener and DbgpSession) against real
// Xdebug in PHP's built-in server, over the page written by dbgp_site.sh.
// Per round it times: the page request to the stop at a breakpoint (request
// sent -> break status delivered), one step_over (continueWith -> status
// delivered), and the first page of a 100,000-element array (propertyGet ->
// callback); and, beside them, the same page from a server without Xdebug
// (request sent -> whole answer read). Prints medians in ms. The peer with
// the same steps is dbgp_peer.py; run both through dbgp-vs-python.sh.
// Usage: bench_net_dbgp SITE_FOLDER [ROUNDS]

#include "net/dbgp_client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitFor(const std::function<bool()> &done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

QProcess *startPhp(const QString &site, int port, const QStringList &extra)
{
    auto *php = new QProcess;
    php->start(QStringLiteral("php"),
               QStringList{"-n"} + extra +
                   QStringList{"-S", QStringLiteral("127.0.0.1:%1").arg(port), "-t", site});
    php->waitForStarted();
    waitFor([port] {
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        return s.waitForConnected(100);
    });
    return php;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_net_dbgp SITE_FOLDER [ROUNDS]\n");
        return 2;
    }
    const QString site = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 10;
    DbgpListener listener;
    listener.listen(0);
    const int httpPort = freePort();
    QProcess *php =
        startPhp(site, httpPort,
                 {"-d", "zend_extension=xdebug.so", "-d", "xdebug.mode=debug,develop", "-d",
                  "xdebug.start_with_request=yes", "-d", "xdebug.client_host=127.0.0.1", "-d",
                  QStringLiteral("xdebug.client_port=%1").arg(listener.port())});
    DbgpSession *session = nullptr;
    QObject::connect(&listener, &DbgpListener::sessionStarted,
                     [&](DbgpSession *s) { session = s; });
    const QString lib = DbgpPathMap{}.toUri(site + "/lib.php");
    const QString index = DbgpPathMap{}.toUri(site + "/index.php");
    std::vector<double> stop, step, page, plain;
    for (int r = 0; r < rounds; ++r) {
        session = nullptr;
        QElapsedTimer t;
        t.start();
        QTcpSocket http;
        http.connectToHost(QStringLiteral("127.0.0.1"), quint16(httpPort));
        http.write("GET /index.php HTTP/1.0\r\n\r\n");
        if (!waitFor([&] { return session != nullptr; }))
            return 1;
        std::optional<DbgpStatus> status;
        QObject::connect(session, &DbgpSession::statusChanged,
                         [&](const DbgpStatus &s) { status = s; });
        session->send("feature_set", {"-n", "max_children", "-v", "100"});
        session->send("breakpoint_set", {"-t", "line", "-f", lib, "-n", "4"});
        session->send("breakpoint_set", {"-t", "line", "-f", index, "-n", "8"});
        const auto go = [&](const char *how) {
            status.reset();
            session->continueWith(how);
            return waitFor([&] { return status.has_value(); });
        };
        if (!go("run"))
            return 1;
        stop.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        go("step_over");
        step.push_back(t.nsecsElapsed() / 1e6);
        go("run");
        go("run");
        go("run");
        std::optional<DbgpProperty> big;
        t.restart();
        session->propertyGet("$big", 0, 0, [&](DbgpProperty p, QString) { big = p; });
        waitFor([&] { return big.has_value(); });
        page.push_back(t.nsecsElapsed() / 1e6);
        if (big->childCount != 100000 || big->children.size() != 100)
            return 1;
        session->stop();
        waitFor([&] {
            return http.state() == QTcpSocket::UnconnectedState || !http.isOpen() ||
                   http.waitForDisconnected(1);
        });
    }
    php->terminate();
    php->waitForFinished();

    // The same page from a server without Xdebug.
    const int plainPort = freePort();
    QProcess *plainPhp = startPhp(site, plainPort, {});
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        QTcpSocket http;
        http.connectToHost(QStringLiteral("127.0.0.1"), quint16(plainPort));
        http.write("GET /index.php HTTP/1.0\r\n\r\n");
        while (http.waitForReadyRead(5000))
            http.readAll();
        plain.push_back(t.nsecsElapsed() / 1e6);
    }
    plainPhp->terminate();
    plainPhp->waitForFinished();
    std::printf("quillstone-dbgp request-to-stopped %.2f ms, step %.2f ms, array page %.2f ms; "
                "same page without Xdebug %.2f ms\n",
                median(stop), median(step), median(page), median(plain));
    return 0;
}
