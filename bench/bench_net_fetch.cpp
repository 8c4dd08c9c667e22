// Times the HTTP client against a local `php -S` serving the test site, next
// to the curl command line fetching the same pages in the same run. The
// client's extra time over curl's own request time is what Run adds before
// the capture (timed by bench_project_capture). Prints medians.

#include "net/curl_http_client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool accepts(int port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    return socket.waitForConnected(200);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int port = freePort();
    QProcess php;
    php.setStandardOutputFile(QProcess::nullDevice());
    php.setStandardErrorFile(QProcess::nullDevice());
    php.start(QStringLiteral("php"),
              {QStringLiteral("-d"), QStringLiteral("display_errors=1"), QStringLiteral("-d"),
               QStringLiteral("html_errors=1"), QStringLiteral("-S"),
               QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("-t"),
               QStringLiteral(QS_SOURCE_DIR "/tests/fixtures/php/site")});
    for (int i = 0; i < 250 && !accepts(port); ++i)
        QThread::msleep(20);
    if (!accepts(port)) {
        std::fprintf(stderr, "php -S did not start\n");
        return 1;
    }

    constexpr int Runs = 9;
    CurlHttpClient client;
    std::printf("%-14s %8s %13s %13s %13s %13s %13s %13s\n", "page", "size MB", "curl total",
                "curl process", "client get", "client extra", "bytes only", "decode only");
    for (const char *page : {"warning.php", "big.php"}) {
        const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(port) + QLatin1String(page);
        std::vector<double> curlTotal, curlProcess, get, bytes, decode;
        qsizetype size = 0;
        for (int run = 0; run < Runs; ++run) {
            QProcess curl;
            QElapsedTimer clock;
            clock.start();
            curl.start(QStringLiteral("curl"),
                       {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                        QStringLiteral("-w"), QStringLiteral("%{time_total}"), url});
            curl.waitForFinished(60000);
            curlProcess.push_back(msSince(clock));
            curlTotal.push_back(curl.readAllStandardOutput().trimmed().toDouble() * 1000.0);

            clock.restart();
            const QString text = client.get(url);
            get.push_back(msSince(clock));
            size = text.size();
            clock.restart();
            const QByteArray raw = client.getBytes(url);
            bytes.push_back(msSince(clock));
            clock.restart();
            const QString decoded = DecodePageText(raw);
            decode.push_back(msSince(clock));
        }
        std::printf("%-14s %8.1f %10.2f ms %10.2f ms %10.2f ms %10.2f ms %10.2f ms %10.2f ms\n",
                    page, size / 1e6, median(curlTotal), median(curlProcess), median(get),
                    median(get) - median(curlTotal), median(bytes), median(decode));
    }
    php.terminate();
    php.waitForFinished(5000);
    return 0;
}
