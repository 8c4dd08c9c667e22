// The browser frame's rules and commands, driven through its real controls and
// keys with a recording browser in place of the engine.
#include "forms/browser_frame.h"
#include "foundation/errors.h"
#include "support/recording_browser_view.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

// A top-level window holding a frame directly, as every host does.
struct Host {
    explicit Host(BrowserFrame::ShortcutScope scope = BrowserFrame::ShortcutScope::Browser)
    {
        window.resize(640, 480);
        frame = new BrowserFrame(&window);
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(frame);
        frame->setShortcutScope(scope);
        browser = ScopedRecordingBrowsers::of(frame->browserView());
    }

    // Shown and active, so that shortcuts and focus behave as for the user.
    void showActive()
    {
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    ScopedRecordingBrowsers recording;
    QWidget window;
    BrowserFrame *frame = nullptr;
    RecordingBrowserView *browser = nullptr;
};

// A browser whose engine refuses everything, to see that the frame's guard holds.
class FailingBrowserView final : public BrowserView {
public:
    using BrowserView::BrowserView;
    void navigate(const QString &url) override { throw AppError("cannot go to " + url); }
    void reload() override { throw AppError(QStringLiteral("cannot reload")); }
    void setSilent(bool) override {}
    bool isSilent() const override { return false; }
    void focusBrowser() override {}
    void showPage(const QString &, const QString &) override
    {
        throw AppError(QStringLiteral("cannot show"));
    }
    QString ownPageFor() const override { return {}; }
};

} // namespace

TEST(BrowserFrame, ControlsMenuAndAddressBar)
{
    Host host;
    BrowserFrame &frame = *host.frame;
    struct Item {
        QAction *action;
        const char *name;
        const char *caption;
        QKeySequence key;
    };
    const Item items[] = {
        {frame.Close1, "Close1", "Close", QKeySequence(Qt::Key_F9)},
        {frame.Close2, "Close2", "Close", QKeySequence(Qt::Key_Escape)},
        {frame.Engerlink1, "Engerlink1", "Enter link", QKeySequence(Qt::CTRL | Qt::Key_L)},
        {frame.Refresh1, "Refresh1", "Refresh", QKeySequence(Qt::ALT | Qt::Key_R)},
        {frame.Refrehs1, "Refrehs1", "Refresh", QKeySequence(Qt::Key_F5)},
    };
    ASSERT_EQ(frame.PopupMenu1->actions().size(), 5);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(items[i].name);
        EXPECT_EQ(frame.PopupMenu1->actions().at(i), items[i].action);
        EXPECT_EQ(items[i].action->objectName(), items[i].name);
        EXPECT_EQ(items[i].action->text(), items[i].caption);
        EXPECT_EQ(items[i].action->shortcut(), items[i].key);
    }

    host.showActive();
    EXPECT_EQ(frame.Panel1->height(), 18);
    EXPECT_EQ(frame.Panel1->y(), 0);
    EXPECT_EQ(frame.Button1->text(), "Refresh");
    EXPECT_EQ(frame.Button1->width(), 75);
    EXPECT_EQ(frame.Button1->geometry().right(), frame.Panel1->width() - 1);
    EXPECT_EQ(frame.URL->x(), 0);
    EXPECT_EQ(frame.URL->geometry().right() + 1, frame.Button1->x());
    EXPECT_EQ(frame.browserView()->y(), 18);
    EXPECT_EQ(frame.browserView()->height(), frame.height() - 18);

    // A host may hide the address bar; the browser then takes the whole frame.
    frame.setAddressBarVisible(false);
    EXPECT_FALSE(frame.isAddressBarVisible());
    QTRY_COMPARE(frame.browserView()->height(), frame.height());
    frame.setAddressBarVisible(true);
    EXPECT_TRUE(frame.Panel1->isVisible());

    // A right click in the page opens the frame's menu.
    host.browser->fireContextMenu(host.window.mapToGlobal(QPoint(100, 100)));
    EXPECT_TRUE(frame.PopupMenu1->isVisible());
    frame.PopupMenu1->close();
}

TEST(BrowserFrame, EnterGoesToTheTypedAddress)
{
    Host host;
    host.showActive();
    struct Case {
        const char *typed;
        const char *expected;
    } cases[] = {
        {"example.org/x", "http://example.org/x"},
        {"127.0.0.1:8080/index.php?a=1", "http://127.0.0.1:8080/index.php?a=1"},
        {"HTTPS://example.org/", "HTTPS://example.org/"},
        {"Http://example.org/", "Http://example.org/"},
        {"https://example.org/p", "https://example.org/p"},
        {"", "http://"},
        {"ftp://example.org/", "http://ftp://example.org/"},
    };
    int expectedNavigations = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        host.frame->URL->setFocus();
        host.frame->URL->clear();
        QTest::keyClicks(host.frame->URL, QString::fromUtf8(c.typed));
        EXPECT_EQ(host.browser->navigations.size(), expectedNavigations);
        QTest::keyClick(host.frame->URL, Qt::Key_Return);
        ++expectedNavigations;
        EXPECT_EQ(host.frame->urlText(), c.expected);
        ASSERT_EQ(host.browser->navigations.size(), expectedNavigations);
        EXPECT_EQ(host.browser->navigations.last(), c.expected);
    }
    // The keypad's Enter too; neither Enter presses the Refresh button.
    host.frame->setUrlText(QStringLiteral("localhost/pa/"));
    QTest::keyClick(host.frame->URL, Qt::Key_Enter);
    EXPECT_EQ(host.browser->navigations.last(), "http://localhost/pa/");
    EXPECT_EQ(host.browser->reloads, 0);

    // Setting the box never navigates by itself.
    host.frame->setUrlText(QStringLiteral("elsewhere.org"));
    EXPECT_EQ(host.browser->navigations.size(), expectedNavigations + 1);
}

TEST(BrowserFrame, BeforeNavigateShowsTheRewrittenAddressOnly)
{
    Host host;
    struct Case {
        const char *reported;
        const char *shown;
    } cases[] = {
        {"http://127.0.0.1/index.php?a=1&b=2", "http://127.0.0.1/index.php/?a=1&b=2"},
        {"index.php?a=1&b=2", "index.php/?a=1&b=2"},
        {"http://127.0.0.1/pa/?db=x", "http://127.0.0.1/pa/?db=x"},
        {"http://h/a.php?x=1&next=b.php?y=2", "http://h/a.php/?x=1&next=b.php/?y=2"},
        // One "/?" anywhere leaves every other "?" as it is.
        {"http://h/a/?x=1&next=b.php?y=2", "http://h/a/?x=1&next=b.php?y=2"},
        {"http://h/plain.html", "http://h/plain.html"},
        {"about:blank", "about:blank"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reported);
        host.browser->fireBeforeNavigate(QString::fromUtf8(c.reported));
        EXPECT_EQ(host.frame->urlText(), c.shown);
    }
    // The navigation goes on as the browser reported it: the frame sends the
    // browser nowhere else.
    EXPECT_TRUE(host.browser->navigations.isEmpty());
    EXPECT_EQ(host.browser->reloads, 0);
}

TEST(BrowserFrame, UrlChangedOnEveryChangeOfTheBox)
{
    Host host;
    host.showActive();
    QSignalSpy spy(host.frame, &BrowserFrame::urlChanged);

    host.frame->URL->setFocus();
    QTest::keyClicks(host.frame->URL, QStringLiteral("ab"));
    ASSERT_EQ(spy.size(), 2);
    EXPECT_EQ(spy.at(1).at(0).toString(), "ab");

    host.frame->setUrlText(QStringLiteral("http://h/x"));
    ASSERT_EQ(spy.size(), 3);
    EXPECT_EQ(spy.last().at(0).toString(), "http://h/x");

    host.browser->fireBeforeNavigate(QStringLiteral("http://h/i.php?q=1"));
    ASSERT_EQ(spy.size(), 4);
    EXPECT_EQ(spy.last().at(0).toString(), "http://h/i.php/?q=1");

    host.frame->setUrlText(QStringLiteral("ab.org"));
    QTest::keyClick(host.frame->URL, Qt::Key_Return);
    EXPECT_EQ(spy.last().at(0).toString(), "http://ab.org");

    // The same text again is no change.
    const qsizetype before = spy.size();
    host.browser->fireBeforeNavigate(QStringLiteral("http://ab.org"));
    EXPECT_EQ(spy.size(), before);
}

TEST(BrowserFrame, ShortcutsWhileTheBrowserHasTheFocus)
{
    Host host(BrowserFrame::ShortcutScope::Browser);
    // The holding window's own shortcut on a key the frame uses as well.
    auto *windowRun = new QAction(&host.window);
    windowRun->setShortcut(QKeySequence(Qt::ALT | Qt::Key_R));
    windowRun->setShortcutContext(Qt::WindowShortcut);
    host.window.addAction(windowRun);
    QSignalSpy windowRuns(windowRun, &QAction::triggered);
    host.showActive();

    host.frame->focusBrowser();
    ASSERT_TRUE(host.browser->hasBrowserFocus());
    QTest::keyClick(host.browser, Qt::Key_F5);
    QTest::keyClick(host.browser, Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(host.browser->reloads, 2);
    EXPECT_EQ(windowRuns.size(), 0); // the frame's key wins inside the browser

    QTest::keyClick(host.browser, Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(host.frame->URL->hasFocus());

    // Outside the browser the frame's keys are not the frame's.
    QTest::keyClick(host.frame->URL, Qt::Key_F5);
    QTest::keyClick(host.frame->URL, Qt::Key_R, Qt::AltModifier);
    QTest::keyClick(host.frame->URL, Qt::Key_Escape);
    EXPECT_EQ(host.browser->reloads, 2);
    EXPECT_EQ(windowRuns.size(), 1);
    EXPECT_TRUE(host.window.isVisible());

    // The Refresh button works wherever the focus is.
    QTest::mouseClick(host.frame->Button1, Qt::LeftButton);
    EXPECT_EQ(host.browser->reloads, 3);

    host.frame->focusBrowser();
    QTest::keyClick(host.browser, Qt::Key_Escape);
    EXPECT_FALSE(host.window.isVisible());

    host.showActive();
    host.frame->focusBrowser();
    QTest::keyClick(host.browser, Qt::Key_F9);
    EXPECT_FALSE(host.window.isVisible());
}

TEST(BrowserFrame, ShortcutsAnywhereInTheWindow)
{
    Host host(BrowserFrame::ShortcutScope::Window);
    host.showActive();

    host.frame->URL->setFocus();
    QTest::keyClick(host.frame->URL, Qt::Key_F5);
    QTest::keyClick(host.frame->URL, Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(host.browser->reloads, 2);

    host.frame->focusBrowser();
    QTest::keyClick(host.browser, Qt::Key_F5);
    EXPECT_EQ(host.browser->reloads, 3);
    QTest::keyClick(host.browser, Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(host.frame->URL->hasFocus());

    QTest::keyClick(host.frame->URL, Qt::Key_Escape);
    EXPECT_FALSE(host.window.isVisible());
    host.showActive();
    QTest::keyClick(&host.window, Qt::Key_F9);
    EXPECT_FALSE(host.window.isVisible());

    // Back to the browser-only scope: the URL box no longer reloads.
    host.frame->setShortcutScope(BrowserFrame::ShortcutScope::Browser);
    host.showActive();
    host.frame->URL->setFocus();
    QTest::keyClick(host.frame->URL, Qt::Key_F5);
    EXPECT_EQ(host.browser->reloads, 3);
}

TEST(BrowserFrame, FailuresOfTheBrowserReachTheErrorBoxNotTheEventLoop)
{
    ScriptedDialogs dialogs;
    QWidget window;
    auto *frame =
        new BrowserFrame(&window, [](QWidget *parent) { return new FailingBrowserView(parent); });
    window.show();
    frame->setUrlText(QStringLiteral("h/x"));
    QTest::keyClick(frame->URL, Qt::Key_Return);
    frame->Refrehs1->trigger();
    QTest::mouseClick(frame->Button1, Qt::LeftButton);
    ASSERT_EQ(dialogs.errors.size(), 3u);
    EXPECT_EQ(dialogs.errors[0], "cannot go to http://h/x");
    EXPECT_EQ(dialogs.errors[1], "cannot reload");
    // The box keeps what was typed, with its scheme.
    EXPECT_EQ(frame->urlText(), "http://h/x");
}

TEST(BrowserFrame, TheGateDecidesEveryNavigationAndEveryRetryOfAnOwnPage)
{
    Host host;
    QStringList asked;
    bool open = false;
    host.frame->setNavigationGate([&](const QString &url) {
        asked << url;
        if (!open)
            host.frame->showPage("<p>start a server</p>", url);
        return open;
    });

    // Refused: the browser is not sent anywhere; the gate's page stands in.
    host.frame->setUrlText("127.0.0.1:8000/a.php");
    QTest::keyClick(host.frame->URL, Qt::Key_Return);
    EXPECT_FALSE(host.frame->navigate("http://127.0.0.1:8000/b.php"));
    EXPECT_EQ(asked, (QStringList{"http://127.0.0.1:8000/a.php", "http://127.0.0.1:8000/b.php"}));
    EXPECT_TRUE(host.browser->navigations.isEmpty());
    EXPECT_EQ(host.browser->pagesFor, asked);

    // Refresh over the page of our own asks again, for the address it stands in for.
    host.frame->Refrehs1->trigger();
    EXPECT_EQ(asked.last(), "http://127.0.0.1:8000/b.php");
    EXPECT_EQ(host.browser->reloads, 0);
    open = true;
    QTest::mouseClick(host.frame->Button1, Qt::LeftButton);
    EXPECT_EQ(host.browser->reloads, 1);
    EXPECT_EQ(asked.size(), 4);

    // An ordinary page reloads without asking.
    EXPECT_TRUE(host.frame->navigate("http://127.0.0.1:8000/c.php"));
    host.frame->Refresh1->trigger();
    EXPECT_EQ(host.browser->reloads, 2);
    EXPECT_EQ(asked.size(), 5);
    EXPECT_EQ(host.browser->navigations, QStringList{"http://127.0.0.1:8000/c.php"});
}
