// The editor contract on a real control: lines, caret, selection, search,
// undo around replaceLine, key events and colouring.
#include "editor/code_editor.h"
#include "foundation/errors.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <Qsci/qscilexerhtml.h>

#include <cstdlib>
#include <vector>

namespace {

using Sci = QsciScintillaBase;

class Editor : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_editor.resize(400, 300);
        m_editor.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_editor));
    }
    void setText(const char *utf8)
    {
        m_editor.clearAll();
        m_editor.setWholeText(QString::fromUtf8(utf8));
        m_editor.SendScintilla(Sci::SCI_GOTOPOS, 0UL);
    }
    // A loaded file starts with an empty undo history, as a user's document does.
    void loadText(const QByteArray &bytes)
    {
        WriteFileBytes(m_dir.filePath("doc.txt"), bytes);
        m_editor.loadFromFile(m_dir.filePath("doc.txt"));
    }
    long caret() const { return m_editor.SendScintilla(Sci::SCI_GETCURRENTPOS); }
    void putCaret(long position) { m_editor.SendScintilla(Sci::SCI_GOTOPOS, position); }

    QTemporaryDir m_dir;
    CodeEditor m_editor;
};

TEST_F(Editor, LinesAreZeroBasedAndWithoutTheirLineEnds)
{
    setText("<?php\r\n\techo 1;\nend");
    EXPECT_EQ(m_editor.lineCount(), 3);
    EXPECT_EQ(m_editor.lineText(0), "<?php");
    EXPECT_EQ(m_editor.lineText(1), "\techo 1;");
    EXPECT_EQ(m_editor.lineText(2), "end");
    EXPECT_EQ(m_editor.lineText(3), QString());
    EXPECT_EQ(m_editor.wholeText(), "<?php\r\n\techo 1;\nend");
}

TEST_F(Editor, CaretLineClampsKeepsColumnAndCollapsesSelection)
{
    setText("abcdef\nabcdefgh\nab\n\tx\nlast");
    putCaret(3); // line 1, column 4
    m_editor.setCaretLine(2);
    EXPECT_EQ(m_editor.caretLine(), 2);
    EXPECT_EQ(m_editor.caretColumn(), 4);

    m_editor.setCaretLine(3); // shorter line: caret stops at its end
    EXPECT_EQ(m_editor.caretLine(), 3);
    EXPECT_EQ(m_editor.caretColumn(), 3);

    m_editor.SendScintilla(Sci::SCI_SETSEL, 0UL, 5L);
    m_editor.setCaretLine(100);
    EXPECT_EQ(m_editor.caretLine(), 5);
    EXPECT_FALSE(m_editor.hasSelectedText());
    m_editor.setCaretLine(-3);
    EXPECT_EQ(m_editor.caretLine(), 1);
}

TEST_F(Editor, CaretColumnsCountCharactersAndExpandTabs)
{
    m_editor.setTabWidth(8);
    setText("\t\xC3\xA9x");
    putCaret(m_editor.SendScintilla(Sci::SCI_GETLINEENDPOSITION, 0UL) - 0); // after x
    EXPECT_EQ(m_editor.caretColumn(), 4);         // tab, e-acute, x: three characters
    EXPECT_EQ(m_editor.caretDisplayColumn(), 11); // tab to 8, then two more
}

TEST_F(Editor, SettingTheCaretLineScrollsItIntoView)
{
    QString text;
    for (int i = 1; i <= 400; ++i)
        text += QStringLiteral("line %1\n").arg(i);
    m_editor.setWholeText(text);
    m_editor.setCaretLine(250);
    const int first = m_editor.firstVisibleLine();
    const int shown = int(m_editor.SendScintilla(Sci::SCI_LINESONSCREEN));
    ASSERT_GT(shown, 0);
    EXPECT_LE(first, 249);
    EXPECT_GT(first + shown, 249);
    m_editor.setCaretLine(1);
    EXPECT_EQ(m_editor.firstVisibleLine(), 0);
}

TEST_F(Editor, ExtendSelectionCountsEveryLineBreakAsTwo)
{
    setText("ab\r\ncd\r\nef");
    m_editor.extendSelection(6);
    EXPECT_EQ(m_editor.selectedText(), "ab\r\ncd");
    EXPECT_EQ(caret(), 6); // caret at the far end

    setText("ab\ncd\nef");
    m_editor.extendSelection(6);
    EXPECT_EQ(m_editor.selectedText(), "ab\ncd");

    setText("ab\r\ncd");
    m_editor.extendSelection(3); // would end inside the break: stop before it
    EXPECT_EQ(m_editor.selectedText(), "ab");

    setText("x\xC3\xA9y\r\nz");
    putCaret(1);
    m_editor.extendSelection(100); // runs out at the end of the text
    EXPECT_EQ(m_editor.selectedText(), QString::fromUtf8("\xC3\xA9y\r\nz"));
}

TEST_F(Editor, WordAtCaretUsesWordCharacters)
{
    setText("echo $value_1 + strlen(x);  ");
    putCaret(8); // inside value_1
    EXPECT_EQ(m_editor.wordAtCaret(), "value_1");
    putCaret(22); // right after strlen
    EXPECT_EQ(m_editor.wordAtCaret(), "strlen");
    putCaret(27); // between the two trailing spaces
    EXPECT_EQ(m_editor.wordAtCaret(), QString());
}

TEST_F(Editor, SearchForwardIgnoresCaseFindsInsideWordsAndDoesNotWrap)
{
    setText("Hello world, hello WORLD");
    EXPECT_TRUE(m_editor.searchForward("world"));
    EXPECT_EQ(m_editor.selectedText(), "world");
    EXPECT_EQ(caret(), 11);
    EXPECT_TRUE(m_editor.searchForward("WoRlD"));
    EXPECT_EQ(m_editor.selectedText(), "WORLD");
    EXPECT_EQ(caret(), 24);
    EXPECT_FALSE(m_editor.searchForward("hello")); // only before the caret
    EXPECT_EQ(m_editor.selectedText(), "WORLD");   // failure leaves the selection

    putCaret(2);
    EXPECT_TRUE(m_editor.searchForward("ELL")); // inside a word, after the caret
    EXPECT_EQ(caret(), 17);
    EXPECT_FALSE(m_editor.searchForward(QString()));
}

TEST_F(Editor, WholeDocumentSearchStartsAtTheTop)
{
    setText("first Target\nsecond target");
    putCaret(m_editor.SendScintilla(Sci::SCI_GETLENGTH));
    EXPECT_TRUE(m_editor.searchWholeDocument("TARGET"));
    EXPECT_EQ(m_editor.selectedText(), "Target");
    EXPECT_EQ(caret(), 12);
    EXPECT_FALSE(m_editor.searchWholeDocument("absent"));
    EXPECT_FALSE(m_editor.searchWholeDocument(QString()));
}

TEST_F(Editor, ReplaceLineIsNotUndoneWhileEarlierEditsStillAre)
{
    loadText("a\r\nb\r\nc\r\n");
    QTest::keyClicks(&m_editor, "X"); // typed at the start of line 1
    m_editor.replaceLine(2, "C");
    EXPECT_EQ(m_editor.wholeText(), "Xa\r\nb\r\nC\r\n");
    ASSERT_TRUE(m_editor.isUndoAvailable());
    m_editor.undo();
    EXPECT_EQ(m_editor.wholeText(), "a\r\nb\r\nC\r\n");
    EXPECT_FALSE(m_editor.isUndoAvailable());
    m_editor.redo();
    EXPECT_EQ(m_editor.wholeText(), "Xa\r\nb\r\nC\r\n");
}

TEST_F(Editor, ReplaceLineBeforeAnUndoableEditDropsHistoryRatherThanCorruptIt)
{
    loadText("one\ntwo\nthree\n");
    putCaret(m_editor.SendScintilla(Sci::SCI_POSITIONFROMLINE, 2UL));
    QTest::keyClicks(&m_editor, "3");
    m_editor.replaceLine(0, "ONE, LONGER");
    EXPECT_EQ(m_editor.wholeText(), "ONE, LONGER\ntwo\n3three\n");
    m_editor.undo(); // undoing the typed "3" at its old place would cut into "two"
    EXPECT_EQ(m_editor.wholeText(), "ONE, LONGER\ntwo\n3three\n");
    EXPECT_TRUE(m_editor.isDocumentModified());
}

TEST_F(Editor, ReplaceLineMarksTheDocumentModifiedAndChecksTheLine)
{
    loadText("x\ny");
    m_editor.replaceLine(1, "y"); // unchanged: nothing happens
    EXPECT_FALSE(m_editor.isDocumentModified());
    m_editor.replaceLine(1, "z");
    EXPECT_TRUE(m_editor.isDocumentModified());
    EXPECT_FALSE(m_editor.isUndoAvailable());
    EXPECT_THROW(m_editor.replaceLine(2, "no such line"), AppError);
    EXPECT_THROW(m_editor.replaceLine(-1, "no such line"), AppError);
}

TEST_F(Editor, ClearAllEmptiesTextHistoryAndMarkers)
{
    setText("some\ntext");
    QTest::keyClicks(&m_editor, "typed");
    const int marker = m_editor.markerDefine(QsciScintilla::Circle);
    m_editor.markerAdd(1, marker);
    m_editor.clearAll();
    EXPECT_EQ(m_editor.wholeText(), QString());
    EXPECT_FALSE(m_editor.isUndoAvailable());
    EXPECT_EQ(m_editor.markerFindNext(0, ~0u), -1);
    EXPECT_FALSE(m_editor.isDocumentModified());
    EXPECT_EQ(m_editor.caretLine(), 1);
}

TEST_F(Editor, CaretMoveKeysReportTheirCommandNumbers)
{
    QString text;
    for (int i = 0; i < 100; ++i)
        text += QStringLiteral("word another word and more\n");
    m_editor.setWholeText(text);
    m_editor.setCaretLine(50);
    std::vector<int> commands;
    QObject::connect(&m_editor, &CodeEditor::commandProcessed,
                     [&](int command) { commands.push_back(command); });
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int expected;
    } keys[] = {
        {Qt::Key_Left, Qt::NoModifier, 1},      {Qt::Key_Right, Qt::NoModifier, 2},
        {Qt::Key_Up, Qt::NoModifier, 3},        {Qt::Key_Down, Qt::NoModifier, 4},
        {Qt::Key_Left, Qt::ControlModifier, 5}, {Qt::Key_Right, Qt::ControlModifier, 6},
        {Qt::Key_Home, Qt::NoModifier, 7},      {Qt::Key_End, Qt::NoModifier, 8},
        {Qt::Key_PageUp, Qt::NoModifier, 9},    {Qt::Key_PageDown, Qt::NoModifier, 10},
        {Qt::Key_PageUp, Qt::AltModifier, 11},  {Qt::Key_PageDown, Qt::AltModifier, 12},
        {Qt::Key_Right, Qt::ShiftModifier, 2},  {Qt::Key_Down, Qt::ShiftModifier, 4},
    };
    for (const auto &k : keys) {
        commands.clear();
        QTest::keyClick(&m_editor, k.key, k.modifiers);
        ASSERT_EQ(commands.size(), 1u) << "key " << k.key;
        EXPECT_EQ(commands.front(), k.expected) << "key " << k.key;
    }
    commands.clear();
    const int before = m_editor.caretLine();
    QTest::keyClick(&m_editor, Qt::Key_Down);
    EXPECT_EQ(m_editor.caretLine(), before + 1); // the move really happened
    commands.clear();
    QTest::keyClick(&m_editor, Qt::Key_A);
    QTest::keyClick(&m_editor, Qt::Key_Return);
    EXPECT_TRUE(commands.empty());
}

TEST_F(Editor, KeyAndChangeEventsReachListeners)
{
    setText("");
    std::vector<QString> events;
    QObject::connect(&m_editor, &CodeEditor::keyDown, [&](int key, Qt::KeyboardModifiers) {
        events.push_back(QStringLiteral("down %1").arg(key));
    });
    QObject::connect(&m_editor, &CodeEditor::keyPressed,
                     [&](const QString &text) { events.push_back("press " + text); });
    QObject::connect(&m_editor, &CodeEditor::keyUp, [&](int key, Qt::KeyboardModifiers) {
        events.push_back(QStringLiteral("up %1").arg(key));
    });
    QObject::connect(&m_editor, &CodeEditor::documentChanged, [&] { events.push_back("changed"); });
    QTest::keyClick(&m_editor, Qt::Key_Q);
    const std::vector<QString> expected = {QStringLiteral("down %1").arg(int(Qt::Key_Q)), "press q",
                                           "changed", QStringLiteral("up %1").arg(int(Qt::Key_Q))};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(m_editor.wholeText(), "q");
}

TEST_F(Editor, PhpColouringAppliesItsAttributes)
{
    m_editor.applyDocumentSettings();
    m_editor.setColouring(CodeEditor::Colouring::Php);
    ASSERT_NE(dynamic_cast<QsciLexerHTML *>(m_editor.lexer()), nullptr);
    auto fore = [&](int style) {
        const long bgr =
            m_editor.SendScintilla(Sci::SCI_STYLEGETFORE, static_cast<unsigned long>(style));
        return QColor(bgr & 0xff, (bgr >> 8) & 0xff, (bgr >> 16) & 0xff);
    };
    // The control stores Qt's weight negated (Qt's scale, not its own).
    auto bold = [&](int style) {
        const long weight =
            m_editor.SendScintilla(Sci::SCI_STYLEGETWEIGHT, static_cast<unsigned long>(style));
        return std::abs(weight) >= QFont::DemiBold;
    };
    auto back = [&](int style) {
        const long bgr =
            m_editor.SendScintilla(Sci::SCI_STYLEGETBACK, static_cast<unsigned long>(style));
        return QColor(bgr & 0xff, (bgr >> 8) & 0xff, (bgr >> 16) & 0xff);
    };
    EXPECT_EQ(fore(QsciLexerHTML::PHPComment), QColor(0, 128, 128));
    EXPECT_EQ(fore(QsciLexerHTML::PHPCommentLine), QColor(0, 128, 128));
    EXPECT_EQ(fore(QsciLexerHTML::PHPKeyword), QColor(Qt::black));
    EXPECT_EQ(back(QsciLexerHTML::PHPKeyword), QColor(Qt::white));
    EXPECT_FALSE(bold(QsciLexerHTML::PHPKeyword));
    EXPECT_TRUE(bold(QsciLexerHTML::PHPDoubleQuotedString));
    EXPECT_TRUE(bold(QsciLexerHTML::PHPSingleQuotedString));
    EXPECT_EQ(fore(QsciLexerHTML::PHPVariable), QColor(Qt::black));
    EXPECT_EQ(fore(QsciLexerHTML::PHPDefault), QColor(Qt::black));
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_STYLEGETSIZE, 0UL), 10);

    // HTML takes the lexer's own colours back; None drops the lexer.
    m_editor.setColouring(CodeEditor::Colouring::Html);
    QsciLexerHTML reference;
    EXPECT_EQ(fore(QsciLexerHTML::PHPComment), reference.defaultColor(QsciLexerHTML::PHPComment));
    m_editor.setColouring(CodeEditor::Colouring::None);
    EXPECT_EQ(m_editor.lexer(), nullptr);
}

TEST_F(Editor, DocumentSettingsShapeTheWindow)
{
    m_editor.applyDocumentSettings();
    EXPECT_EQ(m_editor.frameStyle() & QFrame::Shape_Mask, QFrame::NoFrame);
    EXPECT_EQ(m_editor.marginWidth(0) + m_editor.marginWidth(1) + m_editor.marginWidth(2), 4);
    // Line numbers come beside the 4-pixel gutter when asked for.
    m_editor.setLineNumbersVisible(true);
    EXPECT_EQ(m_editor.marginWidth(1), 4);
    EXPECT_EQ(m_editor.marginWidth(2), 0);
    EXPECT_GT(m_editor.marginWidth(0), 0);
    EXPECT_EQ(m_editor.edgeColumn(), 1000);
    EXPECT_EQ(m_editor.edgeMode(), QsciScintilla::EdgeLine);
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETHSCROLLBAR), 0);
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETVSCROLLBAR), 1);
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_STYLEGETSIZE, long(Sci::STYLE_LINENUMBER)), 8);
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_STYLEGETSIZE, long(Sci::STYLE_DEFAULT)), 10);
}

} // namespace
