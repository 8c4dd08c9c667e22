// The HTTP client against a real PHP built-in server on loopback, and the
// error capture on the pages that server returns for real PHP faults.

#include "foundation/version.h"
#include "net/curl_http_client.h"
#include "project/php_error.h"
#include "support/php_server.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QHostAddress>
#include <QTcpServer>
#include <memory>

using namespace std::chrono_literals;

namespace {

const QString SiteRoot = QDir(QStringLiteral(QS_FIXTURES "/php/site")).canonicalPath();

class HttpClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = std::make_unique<PhpServer>(SiteRoot); }
    static void TearDownTestSuite() { server.reset(); }

    static QString url(const char *path) { return server->url(QLatin1String(path)); }

    // The message of the AppError that `get` raises; fails the test when
    // nothing is raised.
    static QString failureOf(CurlHttpClient &client, const QString &address)
    {
        try {
            const QString body = client.get(address);
            ADD_FAILURE() << "no error for " << address.toStdString() << ", body "
                          << body.left(200).toStdString();
        } catch (const AppError &error) {
            return error.message();
        }
        return {};
    }

    static std::unique_ptr<PhpServer> server;
};

std::unique_ptr<PhpServer> HttpClientTest::server;

} // namespace

TEST_F(HttpClientTest, ReturnsTheBodyWithOwnHeadersAndFollowsRedirects)
{
    CurlHttpClient client;
    EXPECT_EQ(client.get(url("agent.php")), QStringLiteral("Quillstone/" QUILLSTONE_VERSION "\ntext/html, */*"));
    const QString clean = client.get(url("redirect.php"));
    EXPECT_TRUE(clean.contains(QStringLiteral("<b>Status</b>: all fine"))) << clean.toStdString();
    EXPECT_FALSE(CapturePhpError(clean).found);
}

TEST_F(HttpClientTest, ErrorStatusesRaiseNamingStatusAndAddress)
{
    CurlHttpClient client;
    QString message = failureOf(client, url("no_such_page.php"));
    EXPECT_TRUE(message.contains(QStringLiteral("404"))) << message.toStdString();
    EXPECT_TRUE(message.contains(url("no_such_page.php"))) << message.toStdString();

    message = failureOf(client, url("status500.php"));
    EXPECT_TRUE(message.contains(QStringLiteral("500"))) << message.toStdString();
    EXPECT_TRUE(message.contains(url("status500.php"))) << message.toStdString();

    // The run commands turn any failure into an empty text, and the same
    // client keeps working afterwards.
    EXPECT_EQ(getOrEmpty(client, url("status500.php")), QString());
    EXPECT_TRUE(client.get(url("clean.php")).contains(QStringLiteral("all fine")));
}

TEST_F(HttpClientTest, CookiesLiveForTheRunOfOneClient)
{
    CurlHttpClient client;
    EXPECT_EQ(client.get(url("cookie.php")), QStringLiteral("no cookie"));
    EXPECT_EQ(client.get(url("cookie.php")), QStringLiteral("cookie=first-run"));
    EXPECT_EQ(client.cookies().size(), 1);

    CurlHttpClient nextRun;
    EXPECT_EQ(nextRun.get(url("cookie.php")), QStringLiteral("no cookie"));
}

TEST_F(HttpClientTest, BytesThatAreNotUtf8ComeBackAsLatin1)
{
    CurlHttpClient client;
    const QString body = client.get(url("latin1.php"));
    EXPECT_EQ(body, QString::fromLatin1("caf\xE9 \0\xFF end", 11));
    EXPECT_EQ(DecodePageText(QByteArray("caf\xC3\xA9")), QStringLiteral(u"café"));

    // Characters cut by the client's buffer boundaries come back whole, and
    // a second page does not inherit anything of the first.
    EXPECT_EQ(client.get(url("utf8_big.php")), QString(500'000, QChar(0x20AC)));
    EXPECT_EQ(client.getBytes(url("utf8_big.php")).size(), 1'500'000);
    EXPECT_EQ(client.get(url("agent.php")), QStringLiteral("Quillstone/" QUILLSTONE_VERSION "\ntext/html, */*"));
}

TEST_F(HttpClientTest, TwentyMegabytePageWithAWarningNearTheEnd)
{
    CurlHttpClient client;
    const QString page = client.get(url("big.php"));
    EXPECT_GT(page.size(), 20'000'000);
    const PhpErrorCapture capture = CapturePhpError(page);
    EXPECT_EQ(capture.messageRow(),
              SiteRoot + QStringLiteral("/big.php(7): Undefined variable $missingAtTheEnd"));

    HttpClientOptions small;
    small.maxBodyBytes = 100'000;
    CurlHttpClient limited(small);
    EXPECT_TRUE(failureOf(limited, url("big.php")).contains(QStringLiteral("larger than 100000")));
}

TEST_F(HttpClientTest, CapturesWhatPhpReallyPrints)
{
    struct Case {
        const char *page;
        int line;
        QString message;
    };
    const Case cases[] = {
        {"warning.php", 4, R"( Undefined array key "missing")"},
        {"parse_error.php", 3, R"( syntax error, unexpected token "echo", expecting "," or ";")"},
        {"exception.php", 4,
         " Uncaught RuntimeException: Something <broke> & \"failed\" in " + SiteRoot
             + "/exception.php:4"},
        {"warning_then_error.php", 4,
         " Uncaught Error: Call to undefined function undefined_function() in " + SiteRoot
             + "/warning_then_error.php:4"},
    };
    CurlHttpClient client;
    for (const Case &expected : cases) {
        SCOPED_TRACE(expected.page);
        const PhpErrorCapture capture = CapturePhpError(client.get(url(expected.page)));
        EXPECT_TRUE(capture.found);
        EXPECT_EQ(capture.file, SiteRoot + '/' + QLatin1String(expected.page));
        EXPECT_EQ(capture.lineNumber(), expected.line);
        EXPECT_EQ(capture.message, expected.message);
    }
    const QString notice = client.get(url("notice.php"));
    EXPECT_TRUE(notice.contains(QStringLiteral("<b>Deprecated</b>:")));
    EXPECT_FALSE(CapturePhpError(notice).found);
}

TEST(HttpClientFailures, ServerNotRunningRaises)
{
    CurlHttpClient client;
    const QString address = QStringLiteral("http://127.0.0.1:%1/index.php").arg(FreeLoopbackPort());
    try {
        client.get(address);
        ADD_FAILURE() << "no error";
    } catch (const AppError &error) {
        EXPECT_TRUE(error.message().contains(address)) << error.message().toStdString();
    }
}

TEST(HttpClientFailures, SilentServerTimesOutInsteadOfHanging)
{
    // The kernel completes the connection; nobody ever answers on it.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    HttpClientOptions options;
    options.connectTimeout = 2s;
    options.totalTimeout = 300ms;
    CurlHttpClient client(options);
    try {
        client.get(QStringLiteral("http://127.0.0.1:%1/").arg(silent.serverPort()));
        ADD_FAILURE() << "no error";
    } catch (const AppError &error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("did not answer in time")))
            << error.message().toStdString();
    }
}

TEST(HttpClientFailures, OnlyWebAddressesAreFetched)
{
    CurlHttpClient client;
    for (const QString &address :
         {QString(), QStringLiteral("   "), QStringLiteral("file:///etc/passwd"),
          QStringLiteral("ftp://127.0.0.1/"), QStringLiteral("not a url at all"),
          QString::fromLatin1("http://127.0.0.1:1/\0x", 21)}) {
        EXPECT_THROW(client.get(address), AppError) << address.toStdString();
    }
}
