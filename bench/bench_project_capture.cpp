// Times the capture of the first PHP error on a 20 MB returned page: with the
// error near the end (the whole page is searched), with no marker at all
// (both markers are searched through the whole page), with only a warning
// near the end (the same two searches, then the cuts) and with the error at
// the start. Prints the median of several runs of each.

#include "project/php_error.h"

#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Markup of about `bytes` characters made of one repeated row.
QString filler(qsizetype bytes, const QString &row)
{
    QString page;
    page.reserve(bytes + 1024);
    while (page.size() < bytes)
        page += row;
    return page;
}

const QString ErrorLine = QStringLiteral(
    "<br />\n<b>Warning</b>:  Undefined variable $total in <b>/var/www/site/report.php</b> "
    "on line <b>812</b><br />\n<br />\n<b>Fatal error</b>:  Uncaught Error: Call to "
    "undefined function finish() in /var/www/site/report.php:820\nStack trace:\n#0 {main}\n"
    "  thrown in <b>/var/www/site/report.php</b> on line <b>820</b><br />\n");

void measure(const char *name, const QString &page, const char *expectedRow)
{
    constexpr int Runs = 15;
    std::vector<double> times;
    PhpErrorCapture capture;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        capture = CapturePhpError(page);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    const QString row = capture.found ? capture.messageRow() : QStringLiteral("(none)");
    std::printf("%-22s %8.1f MB %10.2f ms %10.2f ms  %s%s\n", name, page.size() / 1e6,
                median(times), *std::min_element(times.begin(), times.end()),
                qPrintable(row.left(60)), row == QLatin1String(expectedRow) ? "" : "  WRONG ROW");
}

} // namespace

// Plain paragraphs; bold labels with colons, styles and links (a colon every
// 20 characters, a "</b>:" in every row); and nothing but colons, the worst
// case of the colon-driven search.
const QString PlainRow = QStringLiteral(
    "<p>Lorem <b>ipsum</b> dolor sit amet, <i>consectetur</i> adipiscing elit.<br />\n");
const QString ColonRow = QStringLiteral("<li style=\"color: red; margin: 0\"><b>Price</b>: 12:30 "
                                        "<a href=\"https://x.test/a\">a</a></li>\n");

int main()
{
    const QString body = filler(20'000'000, PlainRow);
    std::printf("%-22s %11s %13s %13s  %s\n", "page", "size", "median", "fastest", "row");
    measure("error near the end", body + ErrorLine + QStringLiteral("<p>tail</p>\n"),
            "/var/www/site/report.php(820): Uncaught Error: Call to undefined function "
            "finish() in /var/www/site/report.php:820");
    measure("warning near the end",
            body + ErrorLine.first(ErrorLine.indexOf(QStringLiteral("<br />\n<b>Fatal"))),
            "/var/www/site/report.php(812): Undefined variable $total");
    measure("no marker", body, "(none)");
    measure("error at the start", ErrorLine + body,
            "/var/www/site/report.php(820): Uncaught Error: Call to undefined function "
            "finish() in /var/www/site/report.php:820");
    const QString expected = QStringLiteral("/var/www/site/report.php(820): Uncaught Error: Call "
                                            "to undefined function finish() in "
                                            "/var/www/site/report.php:820");
    measure("colon-rich, error end", filler(20'000'000, ColonRow) + ErrorLine,
            qPrintable(expected));
    measure("only colons, error end", QString(20'000'000, u':') + ErrorLine, qPrintable(expected));
    return 0;
}
