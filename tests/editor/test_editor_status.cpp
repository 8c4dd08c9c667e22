// What the window shows about the document: line numbers, the current line,
// the status line's facts (line ends, encoding, overwrite) and the colours
// for light and dark palettes.
#include "editor/code_editor.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <Qsci/qscilexerhtml.h>

namespace {

using Sci = QsciScintillaBase;

QColor fromBgr(long bgr)
{
    return QColor(bgr & 0xff, (bgr >> 8) & 0xff, (bgr >> 16) & 0xff);
}

// The document's line ends, counted from scratch.
CodeEditor::LineEnds countedLineEnds(const QString &text)
{
    bool crLf = false, lf = false, cr = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            crLf = true;
            ++i;
        } else if (text[i] == u'\r') {
            cr = true;
        } else if (text[i] == u'\n') {
            lf = true;
        }
    }
    if (int(crLf) + int(lf) + int(cr) > 1)
        return CodeEditor::LineEnds::Mixed;
    return crLf ? CodeEditor::LineEnds::CrLf
           : lf ? CodeEditor::LineEnds::Lf
           : cr ? CodeEditor::LineEnds::Cr
                : CodeEditor::LineEnds::None;
}

class EditorStatus : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_editor.resize(500, 300);
        m_editor.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_editor));
    }
    void load(const QByteArray &bytes)
    {
        WriteFileBytes(m_dir.filePath("doc.php"), bytes);
        m_editor.loadFromFile(m_dir.filePath("doc.php"));
    }

    QTemporaryDir m_dir;
    CodeEditor m_editor;
};

TEST_F(EditorStatus, LineNumberMarginFitsTheLineCountAndCanBeHidden)
{
    m_editor.applyDocumentSettings();
    EXPECT_FALSE(m_editor.lineNumbersVisible());
    EXPECT_EQ(m_editor.marginWidth(0), 0);
    m_editor.setLineNumbersVisible(true);
    load("<?php\necho 1;\n");
    const int small = m_editor.marginWidth(0);
    EXPECT_GT(small, 0);
    EXPECT_EQ(m_editor.SendScintilla(Sci::SCI_GETMARGINTYPEN, 0UL), long(Sci::SC_MARGIN_NUMBER));
    load(QByteArray("x\n").repeated(120000));
    const int large = m_editor.marginWidth(0);
    EXPECT_GT(large, small);
    // Wide enough for the last line's number in the numbers' own font.
    const long needed =
        m_editor.SendScintilla(Sci::SCI_TEXTWIDTH, long(Sci::STYLE_LINENUMBER), "120001");
    EXPECT_GE(large, needed);

    m_editor.setLineNumbersVisible(false);
    EXPECT_EQ(m_editor.marginWidth(0), 0);
    m_editor.setLineNumbersVisible(true);
    EXPECT_EQ(m_editor.marginWidth(0), large);
    EXPECT_TRUE(m_editor.SendScintilla(Sci::SCI_GETCARETLINEVISIBLE));
}

TEST_F(EditorStatus, StatusFactsFollowTheDocument)
{
    QSignalSpy status(&m_editor, &CodeEditor::statusChanged);
    load("a\r\nb\r\n");
    EXPECT_EQ(m_editor.lineEnds(), CodeEditor::LineEnds::CrLf);
    EXPECT_EQ(m_editor.lineEndsName(), "CRLF");
    EXPECT_EQ(m_editor.encodingName(), "UTF-8");
    QTest::keyClick(&m_editor, Qt::Key_Return); // a new line takes the file's kind
    EXPECT_EQ(m_editor.lineEndsName(), "CRLF");
    m_editor.SendScintilla(Sci::SCI_INSERTTEXT, 0UL, "\n");
    EXPECT_EQ(m_editor.lineEndsName(), "mixed");
    m_editor.undo();
    EXPECT_EQ(m_editor.lineEndsName(), "CRLF");

    load("one line");
    EXPECT_EQ(m_editor.lineEnds(), CodeEditor::LineEnds::None);
    EXPECT_EQ(m_editor.lineEndsName(), "LF"); // what a new line would be
    load("a\rb\r");
    EXPECT_EQ(m_editor.lineEndsName(), "CR");

    status.clear();
    EXPECT_FALSE(m_editor.isOverwriting());
    QTest::keyClick(&m_editor, Qt::Key_Insert);
    EXPECT_TRUE(m_editor.isOverwriting());
    QCoreApplication::processEvents();
    EXPECT_FALSE(status.isEmpty());
    QTest::keyClick(&m_editor, Qt::Key_Insert);
    EXPECT_FALSE(m_editor.isOverwriting());

    status.clear();
    QTest::keyClick(&m_editor, Qt::Key_Right);
    QCoreApplication::processEvents();
    EXPECT_FALSE(status.isEmpty());
    EXPECT_EQ(m_editor.caretColumn(), 2);
}

TEST_F(EditorStatus, LineEndKindsStayRightThroughRandomEditsUndoAndRedo)
{
    // Edits that join and split CR LF pairs at every place, checked
    // against a count from scratch after each step.
    const char *pieces[] = {"\r", "\n", "\r\n", "x", "\r\ny\r", "\n\r"};
    QRandomGenerator random(20240611);
    load("start\r\nmiddle\r\nend");
    for (int step = 0; step < 400; ++step) {
        const long length = m_editor.SendScintilla(Sci::SCI_GETLENGTH);
        const int action = random.bounded(10);
        if (action < 5) {
            const auto at = static_cast<unsigned long>(random.bounded(int(length) + 1));
            m_editor.SendScintilla(Sci::SCI_INSERTTEXT, at, pieces[random.bounded(6)]);
        } else if (action < 8 && length > 0) {
            const auto at = static_cast<unsigned long>(random.bounded(int(length)));
            const long count = std::min<long>(length - long(at), 1 + random.bounded(3));
            m_editor.SendScintilla(Sci::SCI_DELETERANGE, at, count);
        } else if (action == 8) {
            m_editor.undo();
        } else {
            m_editor.redo();
        }
        ASSERT_EQ(m_editor.lineEnds(), countedLineEnds(m_editor.wholeText())) << "step " << step;
    }
    m_editor.clearAll();
    EXPECT_EQ(m_editor.lineEnds(), CodeEditor::LineEnds::None);
}

TEST_F(EditorStatus, LightColoursAreTheDefaultAndDarkKeepsEveryHue)
{
    m_editor.applyDocumentSettings();
    m_editor.setColouring(CodeEditor::Colouring::Php);
    auto fore = [&](int style) {
        return fromBgr(
            m_editor.SendScintilla(Sci::SCI_STYLEGETFORE, static_cast<unsigned long>(style)));
    };
    auto back = [&](int style) {
        return fromBgr(
            m_editor.SendScintilla(Sci::SCI_STYLEGETBACK, static_cast<unsigned long>(style)));
    };
    ASSERT_GE(QApplication::palette().color(QPalette::Window).lightness(), 128);
    EXPECT_FALSE(m_editor.usesDarkColours());
    EXPECT_EQ(back(QsciLexerHTML::PHPDefault), QColor(Qt::white));
    EXPECT_EQ(fore(QsciLexerHTML::PHPComment), QColor(0, 128, 128));

    m_editor.setColourScheme(CodeEditor::ColourScheme::Dark);
    EXPECT_TRUE(m_editor.usesDarkColours());
    // Every style readable: a dark paper, and text bright to the eye (blue
    // included); the line numbers are dimmer on purpose.
    for (int style = 0; style < 128; ++style) {
        if (style == Sci::STYLE_LINENUMBER)
            continue;
        SCOPED_TRACE(style);
        const QColor text = fore(style);
        EXPECT_LT(back(style).lightness(), 80);
        EXPECT_GE((299 * text.red() + 587 * text.green() + 114 * text.blue()) / 1000, 150);
    }
    EXPECT_EQ(fore(QsciLexerHTML::PHPComment).hslHue(), QColor(0, 128, 128).hslHue());
    EXPECT_LT(fromBgr(m_editor.SendScintilla(Sci::SCI_STYLEGETBACK, long(Sci::STYLE_LINENUMBER)))
                  .lightness(),
              80);

    // The light set comes back exactly as it was.
    m_editor.setColourScheme(CodeEditor::ColourScheme::Light);
    EXPECT_EQ(back(QsciLexerHTML::PHPDefault), QColor(Qt::white));
    EXPECT_EQ(fore(QsciLexerHTML::PHPComment), QColor(0, 128, 128));
    EXPECT_EQ(fore(QsciLexerHTML::PHPKeyword), QColor(Qt::black));

    // Without colouring, the plain text turns dark as well.
    m_editor.setColouring(CodeEditor::Colouring::None);
    m_editor.setColourScheme(CodeEditor::ColourScheme::Dark);
    EXPECT_LT(back(0).lightness(), 80);
    EXPECT_GT(fore(0).lightness(), 128);
}

TEST_F(EditorStatus, AutomaticColoursFollowADarkApplicationPalette)
{
    const QPalette original = QApplication::palette();
    m_editor.setColouring(CodeEditor::Colouring::Php);
    ASSERT_EQ(m_editor.colourScheme(), CodeEditor::ColourScheme::Automatic);
    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_editor.usesDarkColours());
    // An editor made while the palette is dark starts dark.
    CodeEditor later;
    EXPECT_TRUE(later.usesDarkColours());
    QApplication::setPalette(original);
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_editor.usesDarkColours());
}

} // namespace
