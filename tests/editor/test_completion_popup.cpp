// The completion pop-up on a real editor: what it offers, when it reports the
// highlight, and how keys and clicks accept or close it.
#include "editor/code_editor.h"
#include "editor/completion_popup.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

namespace {

using Sci = QsciScintillaBase;

TEST(CompletionList, NarrowsByPrefixIgnoringCaseInListOrder)
{
    CompletionList list;
    list.setEntries({"array_map", "Array_Keys", "", "strlen", "array_map", "arsort", "is_a"});
    EXPECT_EQ(list.narrow("ARR"), QList<int>({0, 1, 4}));
    EXPECT_EQ(list.narrow("arr"), QList<int>({0, 1, 4}));
    // Nothing typed offers everything, the empty name and repeats included.
    EXPECT_EQ(list.narrow(""), QList<int>({0, 1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(list.narrow("array_mapx").isEmpty());
    EXPECT_EQ(list.narrow("is_a"), QList<int>({6}));
    list.setEntries({});
    EXPECT_TRUE(list.narrow("").isEmpty());
}

class Completion : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto *layout = new QVBoxLayout(&m_window);
        editor = new CodeEditor(&m_window);
        other = new QLineEdit(&m_window);
        layout->addWidget(editor);
        layout->addWidget(other);
        m_window.resize(500, 400);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
        m_window.activateWindow();
        editor->setFocus();

        popup = new CompletionPopup(editor);
        popup->setEndOfTokenCharacters("()[]. ");
        popup->setTriggerCharacters(".");
        popup->setEntries(
            {"array_map", "array_keys", "arsort", "is_a", "is_array", "strlen", "str_replace"});
        QObject::connect(popup, &CompletionPopup::opened, [this] { events << "open"; });
        QObject::connect(popup, &CompletionPopup::closed, [this] { events << "close"; });
        QObject::connect(popup, &CompletionPopup::highlightChanged,
                         [this](int index) { events << popup->entries().at(index); });
    }
    // Text with the caret at the end.
    void type(const char *text)
    {
        editor->setWholeText(QString::fromUtf8(text));
        editor->SendScintilla(Sci::SCI_DOCUMENTEND);
    }
    QStringList shown() const
    {
        QStringList names;
        for (int i : popup->shownEntries())
            names << popup->entries().at(i);
        return names;
    }

    QStringList events; // outlives the window, which reports while it goes
    QWidget m_window;
    CodeEditor *editor = nullptr;
    QLineEdit *other = nullptr;
    CompletionPopup *popup = nullptr;
};

TEST_F(Completion, TakesTheTextBackToABlankOrTokenEndAsTyped)
{
    const std::pair<const char *, const char *> cases[] = {
        {"$n = str", "str"}, // after a blank
        {"echo(ARR", "ARR"}, // after "(", case kept as typed
        {"$a[is", "is"},
        {"$o.is", "is"},
        {"\tarr", "arr"},      // after a control character
        {"first\narr", "arr"}, // never across the line start
        {"", ""},
        {"x = ", ""}, // nothing typed yet
    };
    for (const auto &[text, typed] : cases) {
        SCOPED_TRACE(text);
        type(text);
        ASSERT_TRUE(popup->openAtCaret());
        EXPECT_EQ(popup->typedText(), QString::fromUtf8(typed));
        popup->cancel();
    }
    type("echo(ARR");
    popup->openAtCaret();
    EXPECT_EQ(shown(), QStringList({"array_map", "array_keys"}));
    EXPECT_TRUE(popup->isVisible());
    // The editor keeps the keyboard focus.
    EXPECT_FALSE(popup->hasFocus());
}

TEST_F(Completion, NothingToOfferShowsNothing)
{
    type("$x = zzz");
    EXPECT_FALSE(popup->openAtCaret());
    EXPECT_FALSE(popup->isOpen());
    EXPECT_FALSE(popup->isVisible());
    EXPECT_TRUE(events.isEmpty());
    popup->setEntries({});
    type("");
    EXPECT_FALSE(popup->openAtCaret());
}

TEST_F(Completion, HighlightIsReportedWhenMovedAndOnEveryNarrowingButNotOnOpening)
{
    type("is");
    ASSERT_TRUE(popup->openAtCaret());
    EXPECT_EQ(events, QStringList({"open"}));
    EXPECT_EQ(popup->highlighted(), 3);

    QTest::keyClick(editor, Qt::Key_Down);
    QTest::keyClick(editor, Qt::Key_Down); // already at the last entry: no move
    QTest::keyClick(editor, Qt::Key_Up);
    EXPECT_EQ(events, QStringList({"open", "is_array", "is_a"}));

    // Typing narrows anew and reports the first entry although it was highlighted.
    events.clear();
    QTest::keyClick(editor, Qt::Key_Underscore);
    EXPECT_EQ(events, QStringList({"is_a"}));
    QTest::keyClick(editor, Qt::Key_A);
    QTest::keyClick(editor, Qt::Key_R);
    EXPECT_EQ(events, QStringList({"is_a", "is_a", "is_array"}));
    EXPECT_EQ(shown(), QStringList({"is_array"}));
    QTest::keyClick(editor, Qt::Key_Backspace);
    EXPECT_EQ(events.last(), "is_a");
    EXPECT_EQ(popup->typedText(), "is_a");
    // Delete leaves the typed text as it was: nothing to report.
    events.clear();
    editor->insert("xyz");
    QTest::keyClick(editor, Qt::Key_Delete);
    EXPECT_TRUE(events.isEmpty());
    EXPECT_TRUE(popup->isOpen());
    EXPECT_EQ(editor->text(), "is_ayz");
}

TEST_F(Completion, TabAndEnterAcceptEscClosesWithoutInserting)
{
    type("x = arr");
    popup->openAtCaret();
    QTest::keyClick(editor, Qt::Key_Down);
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_EQ(editor->text(), "x = array_keys");
    EXPECT_FALSE(popup->isOpen());
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(events, QStringList({"open", "array_keys", "close"}));

    type("x = STRL");
    popup->openAtCaret();
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(editor->text(), "x = strlen");
    EXPECT_EQ(editor->SendScintilla(Sci::SCI_GETCURRENTPOS), 10);

    events.clear();
    type("x = str");
    popup->openAtCaret();
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(editor->text(), "x = str");
    EXPECT_EQ(events, QStringList({"open", "close"}));
    // Keys after closing are the editor's again.
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(editor->lineCount(), 2);
}

TEST_F(Completion, TokenEndAcceptsThenInsertsAndATriggerOpensAgain)
{
    type("echo str");
    popup->openAtCaret();
    QTest::keyClick(editor, '(');
    EXPECT_EQ(editor->text(), "echo strlen(");
    EXPECT_FALSE(popup->isOpen());

    events.clear();
    type("$x = is");
    popup->openAtCaret();
    QTest::keyClick(editor, '.');
    EXPECT_EQ(editor->text(), "$x = is_a.");
    EXPECT_TRUE(popup->isOpen());
    EXPECT_EQ(popup->typedText(), "");
    EXPECT_EQ(shown().size(), 7);
    EXPECT_EQ(events, QStringList({"open", "close", "open"}));
}

TEST_F(Completion, CaretMovesClicksElsewhereAndEmptyNarrowingClose)
{
    type("x = ar");
    popup->openAtCaret();
    QTest::keyClick(editor, Qt::Key_Left);
    EXPECT_FALSE(popup->isOpen());
    EXPECT_EQ(editor->SendScintilla(Sci::SCI_GETCURRENTPOS), 5);

    type("x = ar");
    popup->openAtCaret();
    QTest::mouseClick(other, Qt::LeftButton);
    EXPECT_FALSE(popup->isOpen());
    EXPECT_FALSE(popup->isVisible());

    type("x = ar");
    popup->openAtCaret();
    QTest::keyClick(editor, Qt::Key_Z);
    EXPECT_FALSE(popup->isOpen());
    EXPECT_EQ(editor->text(), "x = arz");

    type("x = a");
    popup->openAtCaret();
    QTest::keyClick(editor, Qt::Key_Backspace);
    EXPECT_TRUE(popup->isOpen()); // back to nothing typed: everything offered
    QTest::keyClick(editor, Qt::Key_Backspace);
    EXPECT_FALSE(popup->isOpen()); // before where the typing began
    EXPECT_EQ(editor->text(), "x =");
}

TEST_F(Completion, ClickingAnEntryReportsItAndDoubleClickAccepts)
{
    type("s");
    popup->openAtCaret();
    events.clear();
    const QRect second = popup->visualRect(popup->model()->index(1, 0));
    QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(events, QStringList({"str_replace"}));
    EXPECT_TRUE(popup->isOpen());
    QTest::mouseDClick(popup->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(editor->text(), "str_replace");
    EXPECT_FALSE(popup->isOpen());
}

TEST_F(Completion, NewEntriesCloseAnOpenList)
{
    type("a");
    popup->openAtCaret();
    popup->setEntries({"abc"});
    EXPECT_FALSE(popup->isOpen());
    EXPECT_EQ(events, QStringList({"open", "close"}));
    ASSERT_TRUE(popup->openAtCaret());
    EXPECT_EQ(shown(), QStringList({"abc"}));
}

} // namespace
