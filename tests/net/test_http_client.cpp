// The HTTP client against a real PHP built-in server on loopback, and the
// error capture on the pages that server returns for real PHP faults.

#include "foundation/version.h"
#include "net/curl_http_client.h"
#include "project/php_error.h"
#include "support/php_server.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>

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
    EXPECT_EQ(client.get(url("agent.php")),
              QStringLiteral("Quillstone/" QUILLSTONE_VERSION "\ntext/html, */*"));
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
    EXPECT_EQ(client.get(url("agent.php")),
              QStringLiteral("Quillstone/" QUILLSTONE_VERSION "\ntext/html, */*"));
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
         " Uncaught RuntimeException: Something <broke> & \"failed\" in " + SiteRoot +
             "/exception.php:4"},
        {"warning_then_error.php", 4,
         " Uncaught Error: Call to undefined function undefined_function() in " + SiteRoot +
             "/warning_then_error.php:4"},
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
    // Script, local files and inline documents are refused by name, before
    // anything is sent; web addresses in any letter case pass.
    for (const char *address :
         {"javascript:alert(1)", "file:///etc/passwd", "data:text/html,<b>x</b>",
          "JavaScript:alert(1)", "view-source:http://127.0.0.1/"}) {
        const QString problem = WebAddressProblem(QLatin1String(address));
        EXPECT_TRUE(problem.contains(QStringLiteral("was not opened"))) << problem.toStdString();
        EXPECT_TRUE(problem.contains(QLatin1String(address))) << problem.toStdString();
        EXPECT_TRUE(problem.contains(QStringLiteral("only web addresses")))
            << problem.toStdString();
    }
    EXPECT_TRUE(WebAddressProblem("127.0.0.1/index.php").contains("must begin with http://"));
    EXPECT_TRUE(WebAddressProblem("http://").contains("not a valid web address"));
    EXPECT_EQ(WebAddressProblem("HTTPS://example.org/"), QString());
    EXPECT_EQ(WebAddressProblem(" http://127.0.0.1:8000/a b.php "), QString());
}

TEST(HttpClientFailures, RequestAddressesAreEncodedOnlyWhereNeeded)
{
    EXPECT_EQ(RequestAddress("http://127.0.0.1:8000/my page.php?q=a b"),
              "http://127.0.0.1:8000/my%20page.php?q=a%20b");
    EXPECT_EQ(RequestAddress(QStringLiteral(u"http://127.0.0.1/caf\u00e9/cr\u00e8me.php")),
              "http://127.0.0.1/caf%C3%A9/cr%C3%A8me.php");
    // What is already encoded stays as it is.
    EXPECT_EQ(RequestAddress("http://127.0.0.1/a%20b.php?x=%C3%A9&y=1"),
              "http://127.0.0.1/a%20b.php?x=%C3%A9&y=1");
    EXPECT_EQ(RequestAddress(QStringLiteral(u"http://b\u00fccher.example/")),
              "http://xn--bcher-kva.example/");
}

TEST(HttpClientPages, AddressesWithSpacesAndAccentsReachTheirPages)
{
    // Folder and file names as a user writes them, served by real PHP.
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral(u"caf\u00e9 pages"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile page(folder + QStringLiteral(u"/cr\u00e8me br\u00fbl\u00e9e.php"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<?php echo basename(__FILE__), ' ', $_GET['q'];\n");
    page.close();
    PhpServer server(root.path());
    CurlHttpClient client;
    const QString typed =
        server.url(QStringLiteral(u"caf\u00e9 pages/cr\u00e8me br\u00fbl\u00e9e.php?q=two words"));
    EXPECT_EQ(client.get(typed), QStringLiteral(u"cr\u00e8me br\u00fbl\u00e9e.php two words"));
}

TEST(HttpClientPages, ALatin1PageNamesItsFailingUtf8FileCorrectly)
{
    // One byte of the page is Latin-1, so the page is taken as Latin-1; the
    // path of the failing file is UTF-8 all the same.
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral(u"\u00e9t\u00e9"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral(u"/cr\u00e8me.php");
    QFile page(file);
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<?php\necho \"caf\\xE9\\n\";\n$a = [];\necho $a['missing'];\n");
    page.close();
    PhpServer server(root.path());
    CurlHttpClient client;
    const QString text = client.get(server.url(QStringLiteral(u"\u00e9t\u00e9/cr\u00e8me.php")));
    ASSERT_TRUE(text.contains(QChar(0xE9))) << text.toStdString();
    const PhpErrorCapture capture = CapturePhpError(text);
    EXPECT_EQ(capture.file, QFileInfo(file).canonicalFilePath());
    EXPECT_EQ(capture.lineNumber(), 4);
    EXPECT_TRUE(QFileInfo(capture.file).isFile());
}
