// The Run, text and phpMyAdmin windows as the run commands use them, with a
// recording browser in place of the engine.
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/database_admin_window.h"
#include "forms/run_text_window.h"
#include "forms/run_window.h"
#include "support/recording_browser_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>

namespace {

void showActive(QWidget &window)
{
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Runs `window` modally the way the program does and plays the user inside
// the modal loop; returns once the window closed.
int execWhile(QDialog &window, const std::function<void()> &user)
{
    QTimer::singleShot(0, &window, [&] {
        window.activateWindow();
        if (QTest::qWaitForWindowActive(&window))
            user();
        // Whatever the user did, never leave the loop running.
        if (window.isVisible())
            window.done(99);
    });
    return window.exec();
}

} // namespace

TEST(RunWindow, SilentBrowserFillingTheWindowWithItsMenuEverywhere)
{
    ScopedRecordingBrowsers recording;
    RunWindow form;
    RecordingBrowserView *browser = ScopedRecordingBrowsers::of(form.browser()->browserView());
    EXPECT_TRUE(browser->isSilent());
    EXPECT_EQ(form.browser()->parentWidget(), &form);
    EXPECT_EQ(form.browser()->shortcutScope(), BrowserFrame::ShortcutScope::Window);

    showActive(form);
    EXPECT_EQ(form.browser()->geometry(), form.rect());
    // Activation leaves the focus in the browser.
    EXPECT_GE(browser->focusRequests, 1);
    EXPECT_TRUE(browser->hasFocus());

    // The window's own context menu is the frame's.
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                form.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&form, &menuEvent);
    EXPECT_TRUE(form.browser()->PopupMenu1->isVisible());
    form.browser()->PopupMenu1->close();
}

TEST(RunWindow, KeysWorkAnywhereWhileShownModally)
{
    ScopedRecordingBrowsers recording;
    RunWindow form;
    RecordingBrowserView *browser = ScopedRecordingBrowsers::of(form.browser()->browserView());
    form.browser()->setUrlText(QStringLiteral("http://127.0.0.1/index.php"));

    bool urlFocusedByCtrlL = false;
    const int result = execWhile(form, [&] {
        QLineEdit *url = form.browser()->URL;
        QTest::keyClick(browser, Qt::Key_L, Qt::ControlModifier);
        urlFocusedByCtrlL = url->hasFocus();
        QTest::keyClick(url, Qt::Key_F5);
        QTest::keyClick(url, Qt::Key_R, Qt::AltModifier);
        QTest::keyClick(url, Qt::Key_Escape);
    });
    EXPECT_TRUE(urlFocusedByCtrlL);
    EXPECT_EQ(browser->reloads, 2);
    EXPECT_EQ(result, QDialog::Rejected); // closed by Esc, not by the safety net
    EXPECT_FALSE(form.isVisible());

    // Shown again it keeps the page and the address it had, and F9 closes it.
    const int again = execWhile(form, [&] { QTest::keyClick(browser, Qt::Key_F9); });
    EXPECT_EQ(again, QDialog::Rejected);
    EXPECT_EQ(form.browser()->urlText(), "http://127.0.0.1/index.php");
    EXPECT_TRUE(browser->navigations.isEmpty());
}

TEST(TextWindow, ShowsTheTextPlainAndClosesOnEsc)
{
    RunTextWindow form;
    auto *editor = form.findChild<CodeEditor *>(QStringLiteral("editor"));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->parentWidget(), &form);
    EXPECT_EQ(editor->colouring(), CodeEditor::Colouring::None);
    EXPECT_EQ(editor->lexer(), nullptr);
    EXPECT_EQ(editor->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(editor->wrapMode(), QsciScintilla::WrapWord);
    EXPECT_EQ(editor->edgeColumn(), 1000);
    EXPECT_EQ(editor->edgeColor(), QColor(Qt::gray));
    // Fixed-pitch and readable in points (QScintilla reads nothing else),
    // whichever fonts the machine has.
    EXPECT_GE(editor->font().pointSizeF(), 8);
    EXPECT_TRUE(QFontInfo(editor->font()).fixedPitch()) << editor->font().family().toStdString();
    EXPECT_TRUE(editor->isReadOnly());
    EXPECT_FALSE(form.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(editor->color(), QColor(Qt::black));
    EXPECT_EQ(editor->marginWidth(1), 4);
    EXPECT_EQ(editor->marginWidth(0) + editor->marginWidth(2), 0);
    EXPECT_EQ(editor->SendScintilla(QsciScintilla::SCI_GETHSCROLLBAR), 0);
    EXPECT_EQ(editor->SendScintilla(QsciScintilla::SCI_GETVSCROLLBAR), 1);

    const QString page = QStringLiteral("<html>\r\n<b>Warning</b>: größer ? x\r\n</html>");
    form.setText(QStringLiteral("previous run\nlonger text"));
    form.setText(page);
    EXPECT_EQ(form.text(), page);
    EXPECT_EQ(editor->caretLine(), 1);
    EXPECT_EQ(editor->caretColumn(), 1); // 1-based

    QString typed;
    QList<int> zooms;
    const int result = execWhile(form, [&] {
        editor->setFocus();
        QTest::keyClicks(editor, QStringLiteral("ok"));
        // Ctrl+'+' arrives with Shift on most keyboards; neither form types.
        QTest::keyClick(editor, Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(editor, Qt::Key_Equal, Qt::ControlModifier);
        zooms << int(editor->SendScintilla(QsciScintilla::SCI_GETZOOM));
        QTest::keyClick(editor, Qt::Key_Minus, Qt::ControlModifier);
        zooms << int(editor->SendScintilla(QsciScintilla::SCI_GETZOOM));
        QTest::keyClick(editor, Qt::Key_0, Qt::ControlModifier);
        zooms << int(editor->SendScintilla(QsciScintilla::SCI_GETZOOM));
        typed = form.text();
        QTest::keyClick(editor, Qt::Key_Escape);
    });
    // The text is read-only and zooms; Esc is the window's.
    EXPECT_EQ(typed, page);
    EXPECT_EQ(zooms, (QList<int>{2, 1, 0}));
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_FALSE(form.isVisible());

    form.setText(QString());
    EXPECT_EQ(form.text(), QString());
}

TEST(DatabaseAdminWindow, KeepsItsPageAndClosesOnlyFromTheBrowser)
{
    ScopedRecordingBrowsers recording;
    DatabaseAdminWindow form;
    BrowserFrame *frame = form.browser();
    RecordingBrowserView *browser = ScopedRecordingBrowsers::of(frame->browserView());
    EXPECT_FALSE(browser->isSilent());
    EXPECT_EQ(frame->shortcutScope(), BrowserFrame::ShortcutScope::Browser);

    // First showing: the user goes to the page; the window itself never navigates.
    frame->setUrlText(QStringLiteral("127.0.0.1/pa/"));
    bool stillOpenAfterEscInUrl = false;
    const int first = execWhile(form, [&] {
        EXPECT_EQ(frame->geometry(), form.rect());
        frame->focusUrl();
        QTest::keyClick(frame->URL, Qt::Key_Return);
        browser->fireBeforeNavigate(QStringLiteral("http://127.0.0.1/pa/index.php?db=shop"));
        QTest::keyClick(frame->URL, Qt::Key_Escape);
        stillOpenAfterEscInUrl = form.isVisible();
        frame->focusBrowser();
        QTest::keyClick(browser, Qt::Key_Escape);
    });
    EXPECT_TRUE(stillOpenAfterEscInUrl);
    EXPECT_EQ(first, QDialog::Rejected);
    EXPECT_EQ(browser->navigations, QStringList{"http://127.0.0.1/pa/"});
    EXPECT_EQ(frame->urlText(), "http://127.0.0.1/pa/index.php/?db=shop");

    // Second showing with the address put back: same page, no navigation, no reload.
    frame->setUrlText(QStringLiteral("http://127.0.0.1/pa/"));
    const int second = execWhile(form, [&] {
        frame->focusBrowser();
        QTest::keyClick(browser, Qt::Key_F9);
    });
    EXPECT_EQ(second, QDialog::Rejected);
    EXPECT_EQ(browser->navigations.size(), 1);
    EXPECT_EQ(browser->reloads, 0);
}
