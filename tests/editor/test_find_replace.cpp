// Find and Replace on a real editor: the options, regular expressions over
// every kind of line end, files that keep their encoding and line ends, one
// undo step for Replace All; and the bar driven by real keys and clicks.
#include "editor/code_editor.h"
#include "editor/find_replace_bar.h"
#include "editor/text_finder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {

using Sci = QsciScintillaBase;

class FindReplace : public ::testing::Test {
protected:
    void load(const QByteArray &bytes)
    {
        WriteFileBytes(path(), bytes);
        m_editor.loadFromFile(path());
    }
    QString path() const { return m_dir.filePath("page.php"); }
    QByteArray saved()
    {
        m_editor.saveToFile(path());
        return ReadFileBytes(path());
    }
    // Every selection findNext makes, until it comes back round.
    QStringList allFound(const QString &text, FindOptions options)
    {
        m_editor.SendScintilla(Sci::SCI_GOTOPOS, 0UL);
        options.wrap = false;
        m_finder.setPattern(text, options);
        QStringList found;
        while (m_finder.findNext() && found.size() < 100)
            found.append(m_editor.selectedText());
        return found;
    }

    QTemporaryDir m_dir;
    CodeEditor m_editor;
    TextFinder m_finder{m_editor};
};

TEST_F(FindReplace, OptionsNarrowWhatIsFound)
{
    load("Echo echo ECHO echoes $echo\n");
    FindOptions options;
    EXPECT_EQ(allFound("echo", options), QStringList({"Echo", "echo", "ECHO", "echo", "echo"}));
    options.wholeWord = true;
    EXPECT_EQ(allFound("echo", options), QStringList({"Echo", "echo", "ECHO", "echo"}));
    options.matchCase = true;
    EXPECT_EQ(allFound("echo", options), QStringList({"echo", "echo"}));
    // Plain text is taken literally, not as an expression.
    options = {};
    EXPECT_TRUE(allFound("e.h", options).isEmpty());
    options.regularExpression = true;
    EXPECT_EQ(allFound("e.h", options).size(), 5);
}

TEST_F(FindReplace, NextAndPreviousWrapOnlyWhenAsked)
{
    load("one two one two\n");
    FindOptions options;
    options.wrap = false;
    m_finder.setPattern("one", options);
    m_editor.SendScintilla(Sci::SCI_GOTOPOS, 5UL);
    ASSERT_TRUE(m_finder.findNext());
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETSELECTIONSTART), 8);
    EXPECT_FALSE(m_finder.findNext()); // nothing after, and no wrapping
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETSELECTIONSTART), 8);
    ASSERT_TRUE(m_finder.findPrevious());
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETSELECTIONSTART), 0);
    EXPECT_FALSE(m_finder.findPrevious());

    options.wrap = true;
    m_finder.setPattern("two", options);
    m_editor.SendScintilla(Sci::SCI_GOTOPOS, 14UL);
    ASSERT_TRUE(m_finder.findNext());
    EXPECT_TRUE(m_finder.wrapped());
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETSELECTIONSTART), 4);
    ASSERT_TRUE(m_finder.findPrevious());
    EXPECT_TRUE(m_finder.wrapped());
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETSELECTIONSTART), 12);
}

TEST_F(FindReplace, RegularExpressionReplaceAllOnCrLfKeepsLineEndsAndUndoesInOneStep)
{
    const QByteArray original("<?php\r\n$a = 1;\r\n$bb = 22;\r\n\r\n$ccc = 333;\r\n");
    load(original);
    QTest::keyClicks(&m_editor, "// "); // an earlier edit, which must survive the undo
    FindOptions options;
    options.regularExpression = true;
    m_finder.setPattern("^\\$(\\w+) = (\\d+);$", options);
    EXPECT_EQ(m_finder.replaceAll("$\\1 = \\2 + \\2;"), 3);
    EXPECT_EQ(m_editor.wholeText(),
              "// <?php\r\n$a = 1 + 1;\r\n$bb = 22 + 22;\r\n\r\n$ccc = 333 + 333;\r\n");
    // `.` stops at a line end and `$` sits before the CR of CR LF.
    m_finder.setPattern("^(.+)$", options);
    EXPECT_EQ(m_finder.replaceAll("[\\1]"), 4);
    EXPECT_EQ(saved(), QByteArray("[// <?php]\r\n[$a = 1 + 1;]\r\n[$bb = 22 + 22;]\r\n\r\n"
                                  "[$ccc = 333 + 333;]\r\n"));
    // Empty matches move on: every line start gets a mark, the end after the last break none.
    m_finder.setPattern("^", options);
    EXPECT_EQ(m_finder.replaceAll("#"), 5);
    EXPECT_EQ(m_editor.lineText(3), "#");
    // \n in the replacement is the document's own line end.
    m_finder.setPattern(" \\+ ", options);
    EXPECT_EQ(m_finder.replaceAll("\\n+ "), 3);
    EXPECT_EQ(m_editor.lineText(1), "#[$a = 1");
    EXPECT_EQ(m_editor.lineText(2), "+ 1;]");
    EXPECT_EQ(m_editor.lineEnds(), CodeEditor::LineEnds::CrLf);

    // Each Replace All is one step back.
    m_editor.undo();
    m_editor.undo();
    m_editor.undo();
    EXPECT_EQ(m_editor.wholeText(),
              "// <?php\r\n$a = 1 + 1;\r\n$bb = 22 + 22;\r\n\r\n$ccc = 333 + 333;\r\n");
    m_editor.undo();
    EXPECT_EQ(m_editor.wholeText(), "// " + QString::fromLatin1(original));
}

TEST_F(FindReplace, ReplaceAllKeepsAWindows1252FileInItsEncoding)
{
    const QByteArray original(
        "<?php // \x93Hello\x94 caf\xE9\r\necho \x93World\x94; // \x80 5\r\n");
    load(original);
    ASSERT_EQ(m_editor.encoding(), DocumentEncoding::Windows1252);
    FindOptions options;
    options.regularExpression = true;
    m_finder.setPattern(QString::fromUtf8("\xE2\x80\x9C(\\w+)\xE2\x80\x9D"), options);
    EXPECT_EQ(m_finder.replaceAll(QString::fromUtf8("\xE2\x80\x98\\1\xE2\x80\x99")), 2);
    m_finder.setPattern(QString::fromUtf8("\xE2\x82\xAC (\\d)"), options);
    EXPECT_EQ(m_finder.replaceAll(QString::fromUtf8("\\1 \xE2\x82\xAC")), 1);
    EXPECT_EQ(saved(),
              QByteArray("<?php // \x91Hello\x92 caf\xE9\r\necho \x91World\x92; // 5 \x80\r\n"));
    EXPECT_EQ(m_editor.encoding(), DocumentEncoding::Windows1252);
    m_editor.undo();
    m_editor.undo();
    EXPECT_EQ(saved(), original);
}

TEST_F(FindReplace, ReplaceChangesOnlyASelectedMatchThenMovesOn)
{
    load("foo bar foo FOO\n");
    FindOptions options;
    options.matchCase = true;
    m_finder.setPattern("foo", options);
    m_editor.SendScintilla(Sci::SCI_SETSEL, 4UL, 7L); // "bar": not a match
    EXPECT_FALSE(m_finder.replaceCurrent("baz"));
    EXPECT_EQ(m_editor.wholeText(), "foo bar foo FOO\n");
    EXPECT_EQ(m_editor.selectedText(), "foo");
    EXPECT_TRUE(m_finder.replaceCurrent("baz"));
    EXPECT_EQ(m_editor.wholeText(), "foo bar baz FOO\n");
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETSELECTIONSTART), 0); // wrapped to the first
    EXPECT_TRUE(m_finder.replaceCurrent("baz"));
    EXPECT_EQ(m_editor.wholeText(), "baz bar baz FOO\n");
    EXPECT_FALSE(m_editor.hasSelectedText()); // nothing left to find
}

TEST_F(FindReplace, PositionsHoldAcrossCharactersOfEverySize)
{
    // One, two, three and four bytes in the control; one or two UTF-16 units in the matcher.
    load("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80x \xF0\x9F\x98\x80y\n");
    FindOptions options;
    m_finder.setPattern("y", options);
    ASSERT_TRUE(m_finder.findNext());
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETSELECTIONSTART), 16);
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETSELECTIONEND), 17);
    m_finder.setPattern("x", options);
    ASSERT_TRUE(m_finder.findPrevious());
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETSELECTIONSTART), 10);
    m_finder.setPattern(QString::fromUtf8("\xF0\x9F\x98\x80"), options);
    EXPECT_EQ(m_finder.replaceAll("-"), 2);
    EXPECT_EQ(m_editor.wholeText(), QString::fromUtf8("a\xC3\xA9\xE2\x82\xAC-x -y\n"));
    // Letters beyond ASCII are word characters.
    options.wholeWord = true;
    m_finder.setPattern("a", options);
    EXPECT_FALSE(m_finder.findNext());
    m_finder.setPattern("x", options);
    ASSERT_TRUE(m_finder.findNext());
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETSELECTIONSTART), 7);
}

TEST_F(FindReplace, AnInvalidExpressionSaysWhyAndChangesNothing)
{
    load("text (here)\n");
    FindOptions options;
    options.regularExpression = true;
    m_finder.setPattern("(here", options);
    EXPECT_FALSE(m_finder.hasPattern());
    EXPECT_FALSE(m_finder.patternError().isEmpty());
    EXPECT_TRUE(m_finder.patternError().contains("at character"))
        << qPrintable(m_finder.patternError());
    EXPECT_FALSE(m_finder.findNext());
    EXPECT_EQ(m_finder.replaceAll("x"), 0);
    EXPECT_EQ(m_editor.wholeText(), "text (here)\n");
    m_finder.setPattern(QString(), options);
    EXPECT_TRUE(m_finder.patternError().isEmpty());
    EXPECT_FALSE(m_finder.findNext());
}

class FindBar : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto *layout = new QVBoxLayout(&m_window);
        m_editor = new CodeEditor;
        m_bar = new FindReplaceBar(m_editor);
        layout->addWidget(m_editor);
        layout->addWidget(m_bar);
        m_window.resize(900, 400);
        m_window.show();
        m_window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
        m_editor->setWholeText("alpha beta\r\nbeta alpha\r\n");
        m_editor->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
        m_editor->setFocus();
    }
    template <class Widget>
    Widget *part(const char *name)
    {
        auto *widget = m_bar->findChild<Widget *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QWidget m_window;
    CodeEditor *m_editor = nullptr;
    FindReplaceBar *m_bar = nullptr;
};

TEST_F(FindBar, KeysAndButtonsFindReplaceAndClose)
{
    EXPECT_FALSE(m_bar->isVisible());
    m_editor->SendScintilla(Sci::SCI_SETSEL, 6UL, 10L); // "beta"
    m_bar->showFind();
    EXPECT_TRUE(m_bar->isVisible());
    EXPECT_FALSE(part<QLineEdit>("replaceText")->isVisible());
    auto *find = part<QLineEdit>("findText");
    EXPECT_EQ(find->text(), "beta");
    EXPECT_EQ(QApplication::focusWidget(), find);

    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(m_editor->SendScintilla(Sci::SCI_GETSELECTIONSTART), 12);
    QTest::keyClick(find, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(m_editor->SendScintilla(Sci::SCI_GETSELECTIONSTART), 6);

    m_bar->showReplace();
    auto *replace = part<QLineEdit>("replaceText");
    EXPECT_TRUE(replace->isVisible());
    find->clear();
    QTest::keyClicks(find, "ALPHA");
    QTest::mouseClick(part<QCheckBox>("wholeWord"), Qt::LeftButton);
    QTest::keyClicks(replace, "gamma");
    QTest::mouseClick(part<QPushButton>("replaceAll"), Qt::LeftButton);
    EXPECT_EQ(m_editor->wholeText(), "gamma beta\r\nbeta gamma\r\n");
    EXPECT_EQ(m_bar->resultText(), "2 replaced");
    QTest::mouseClick(part<QPushButton>("findNext"), Qt::LeftButton);
    EXPECT_EQ(m_bar->resultText(), "Not found");

    // A broken expression is reported in the bar, not as an error box.
    QTest::mouseClick(part<QCheckBox>("regularExpression"), Qt::LeftButton);
    find->setFocus();
    find->setText("[gamma");
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_TRUE(m_bar->resultText().startsWith("Regular expression error"))
        << qPrintable(m_bar->resultText());

    QSignalSpy closed(m_bar, &FindReplaceBar::closed);
    QTest::keyClick(find, Qt::Key_Escape);
    EXPECT_FALSE(m_bar->isVisible());
    EXPECT_EQ(closed.size(), 1);
    EXPECT_EQ(QApplication::focusWidget(), m_editor);
    EXPECT_EQ(m_editor->wholeText(), "gamma beta\r\nbeta gamma\r\n");
}

} // namespace
