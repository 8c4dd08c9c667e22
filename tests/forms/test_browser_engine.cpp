// The frame over the real web engine, offscreen, against a real PHP server on
// a free loopback port.
#include "forms/browser_frame.h"
#include "forms/browser_view.h"
#include "support/php_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QHostAddress>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>

#include <memory>

namespace {

// Pages loading takes a while with a cold engine; only the upper bound is long.
constexpr int PageTimeoutMs = 60000;

// Serves a folder of small pages written by the test.
struct Site {
    Site()
    {
        write("index.php", "<html><body><a id='go' href='next.php?a=1&b=2'>next</a>"
                           "<script>document.getElementById('go').click();</script>"
                           "</body></html>");
        write("next.php", "<html><head><title><?php echo htmlspecialchars("
                          "$_SERVER['REQUEST_URI']); ?></title></head><body>next</body></html>");
        write("ask.php", "<html><body><script>"
                         "alert('hello');"
                         "location.href = confirm('go on?') ? 'yes.php?x=1' : 'no.php?x=1';"
                         "</script></body></html>");
        write("no.php", "<html><head><title>no</title></head></html>");
        write("yes.php", "<html><head><title>yes</title></head></html>");
        server = std::make_unique<PhpServer>(root.path());
    }

    void write(const QString &name, const QByteArray &text)
    {
        WriteFileBytes(QDir(root.path()).filePath(name), text);
    }

    QTemporaryDir root;
    std::unique_ptr<PhpServer> server;
};

struct EngineHost {
    EngineHost()
    {
        window.resize(800, 600);
        frame = new BrowserFrame(&window);
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(frame);
        view = qobject_cast<WebEngineBrowserView *>(frame->browserView());
        window.show();
    }

    QWidget window;
    BrowserFrame *frame = nullptr;
    WebEngineBrowserView *view = nullptr;
};

// A dialog raised by the page would wait for a user forever; close any that
// shows up and count it, so that a failure is reported instead of a hang.
struct DialogWatch {
    DialogWatch()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                ++dialogs;
                modal->close();
            }
        });
        timer.start(100);
    }
    QTimer timer;
    int dialogs = 0;
};

} // namespace

TEST(BrowserEngine, LinkWithQueryShowsRewrittenAddressWhileLoadingTheRealOne)
{
    Site site;
    EngineHost host;
    ASSERT_NE(host.view, nullptr) << "the frame must use the real engine by default";
    // Nothing of the engine exists before the first navigation, even with
    // its libraries loading in the background (as when breakpoints are set).
    PreloadBrowserEngine();
    EXPECT_EQ(host.view->engineView(), nullptr);
    host.frame->focusBrowser();

    QSignalSpy reported(host.view, &BrowserView::beforeNavigate);
    const QString base = QStringLiteral("127.0.0.1:%1/").arg(site.server->port());
    host.frame->setUrlText(base + "index.php");
    QTest::keyClick(host.frame->URL, Qt::Key_Return);
    ASSERT_NE(host.view->engineView(), nullptr);

    const QString next = "http://" + base + "next.php?a=1&b=2";
    QTRY_COMPARE_WITH_TIMEOUT(host.frame->urlText(), "http://" + base + "next.php/?a=1&b=2",
                              PageTimeoutMs);
    // Both navigations were reported, the typed one first.
    ASSERT_GE(reported.size(), 2);
    EXPECT_EQ(reported.at(0).at(0).toString(), "http://" + base + "index.php");
    EXPECT_EQ(reported.last().at(0).toString(), next);
    // The browser went to the address as reported, not to the rewritten one.
    QTRY_COMPARE_WITH_TIMEOUT(host.view->engineView()->title(), "/next.php?a=1&b=2", PageTimeoutMs);
    EXPECT_EQ(host.view->engineView()->url().toString(), next);

    // F5 pressed in the page reloads it: the keys reach the engine's own inner
    // widget, and the frame's menu still gets them first.
    host.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host.window));
    host.frame->focusBrowser();
    QTRY_VERIFY_WITH_TIMEOUT(host.view->hasBrowserFocus(), PageTimeoutMs);
    QWidget *inner = QApplication::focusWidget();
    ASSERT_NE(inner, nullptr);
    QSignalSpy loads(host.view->engineView(), &QWebEngineView::loadFinished);
    QTest::keyClick(inner, Qt::Key_F5);
    QTRY_COMPARE_WITH_TIMEOUT(loads.size(), 1, PageTimeoutMs);
    EXPECT_TRUE(loads.at(0).at(0).toBool());
    EXPECT_EQ(host.view->engineView()->url().toString(), next);
    EXPECT_EQ(host.frame->urlText(), "http://" + base + "next.php/?a=1&b=2");

    // Ctrl+L there goes to the URL box.
    host.frame->focusBrowser();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(host.frame->URL->hasFocus());
}

TEST(BrowserEngine, SilentBrowserAnswersScriptDialogsItself)
{
    Site site;
    DialogWatch watch;
    EngineHost host;
    ASSERT_NE(host.view, nullptr);
    host.view->setSilent(true);

    host.frame->navigate(site.server->url(QStringLiteral("ask.php")));
    // The alert passed without a box and the confirm was answered No.
    QTRY_COMPARE_WITH_TIMEOUT(host.frame->urlText(),
                              site.server->url(QStringLiteral("no.php/?x=1")), PageTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(host.view->engineView()->title(), "no", PageTimeoutMs);
    EXPECT_EQ(watch.dialogs, 0);
}

TEST(BrowserEngine, FailuresBeforeAnyServerAnsweredShowTheOwnPageAndReloadTriesAgain)
{
    EngineHost host;
    ASSERT_NE(host.view, nullptr);
    QStringList failures;
    host.view->setFailurePage([&failures](const QString &url, const QString &error) {
        failures << url + " | " + error;
        return QStringLiteral(
                   "<html><head><title>ours %1</title></head><body>start a server</body></html>")
            .arg(failures.size());
    });
    QSignalSpy reported(host.view, &BrowserView::beforeNavigate);
    const auto titleBecomes = [&host](const QString &title) {
        return QTest::qWaitFor([&] { return host.view->engineView()->title() == title; },
                               PageTimeoutMs);
    };

    // Nothing listens: our page instead of the engine's; the address box and
    // the reports are not touched by it.
    const int port = FreeLoopbackPort();
    const QString dead = QStringLiteral("http://127.0.0.1:%1/index.php").arg(port);
    host.frame->setUrlText(dead);
    host.frame->navigate(dead);
    ASSERT_TRUE(titleBecomes("ours 1")) << host.view->engineView()->title().toStdString();
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures.at(0), dead + " | net::ERR_CONNECTION_REFUSED");
    EXPECT_EQ(host.frame->urlText(), dead);
    EXPECT_EQ(reported.size(), 1);
    EXPECT_EQ(host.view->ownPageFor(), dead);

    // A program that is not a web server answers: ours again.
    QTcpServer banner;
    ASSERT_TRUE(banner.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&banner, &QTcpServer::newConnection, [&banner] {
        while (QTcpSocket *peer = banner.nextPendingConnection()) {
            peer->write("220 mail here\r\n");
            peer->disconnectFromHost();
        }
    });
    const QString other = QStringLiteral("http://127.0.0.1:%1/").arg(banner.serverPort());
    host.frame->navigate(other);
    ASSERT_TRUE(titleBecomes("ours 2")) << host.view->engineView()->title().toStdString();
    EXPECT_TRUE(failures.at(1).startsWith(other + " | net::ERR_")) << failures.at(1).toStdString();
    host.frame->navigate(dead);
    ASSERT_TRUE(titleBecomes("ours 3"));

    // A server comes up on the dead port; Refresh goes to the address again,
    // and a page the server sent with an error status is shown as it came.
    QTemporaryDir root;
    WriteFileBytes(root.filePath("index.php"),
                   "<?php http_response_code(500); ?><html><head><title>served</title></head>"
                   "<body>fatal</body></html>");
    QProcess php;
    php.setStandardOutputFile(QProcess::nullDevice());
    php.setStandardErrorFile(QProcess::nullDevice());
    php.start("php", {"-S", QStringLiteral("127.0.0.1:%1").arg(port), "-t", root.path()});
    ASSERT_TRUE(php.waitForStarted(5000));
    EXPECT_TRUE(QTest::qWaitFor([port] { return LoopbackPortAccepts(port); }, 10000));
    host.frame->RefreshClick(nullptr);
    EXPECT_TRUE(titleBecomes("served")) << host.view->engineView()->title().toStdString();
    EXPECT_EQ(failures.size(), 3);
    EXPECT_EQ(host.view->ownPageFor(), QString());
    EXPECT_EQ(host.frame->urlText(), dead);
    php.terminate();
    php.waitForFinished(5000);
}
