// Several documents in one editor: each keeps its text, history, file,
// encoding, line ends, markers, colouring and view while others are shown.
#include "editor/character_count.h"
#include "editor/code_editor.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace {

using Sci = QsciScintillaBase;

struct Case {
    const char *name;
    QByteArray line; // repeated 300 times
    const char *encoding;
    const char *lineEnds;
    CodeEditor::Colouring colouring;
};

const Case Cases[] = {
    {"page.php", "<?php echo 'caf\xE9'; ?>\r\n", "Windows-1252", "CRLF",
     CodeEditor::Colouring::Php},
    {"index.html", "<p>gr\xC3\xBC\xC3\x9F</p>\n", "UTF-8", "LF", CodeEditor::Colouring::Html},
    {"old.txt", "mac line\r", "UTF-8", "CR", CodeEditor::Colouring::None},
};

QByteArray fileBytes(const Case &c)
{
    QByteArray bytes;
    for (int i = 0; i < 300; ++i)
        bytes += c.line;
    return bytes;
}

// The count from the start as the fast path gives it, the gap moved aside first.
long StartCount(const CodeEditor &editor, long to)
{
    editor.SendScintilla(Sci::SCI_GETRANGEPOINTER, 0UL, to);
    return editor.SendScintilla(Sci::SCI_COUNTCHARACTERS, 0UL, to);
}

TEST(EditorDocuments, EachKeepsItsOwnStateWhileOthersAreShown)
{
    QTemporaryDir dir;
    CodeEditor editor;
    editor.applyDocumentSettings();
    editor.setColouring(CodeEditor::Colouring::Php);
    editor.markerDefine(QsciScintilla::Circle, 1);

    std::vector<std::unique_ptr<EditorDocument>> documents;
    documents.push_back(editor.adoptShownDocument());
    for (size_t i = 1; i < std::size(Cases); ++i)
        documents.push_back(editor.createDocument());

    for (size_t i = 0; i < std::size(Cases); ++i) {
        const Case &c = Cases[i];
        editor.showDocument(*documents[i]);
        WriteFileBytes(dir.filePath(c.name), fileBytes(c));
        editor.loadFromFile(dir.filePath(c.name));
        editor.setColouring(c.colouring);
        editor.markerAdd(int(i) + 1, 1);
        editor.setCaretLine(10 + int(i));
        editor.insert(QStringLiteral("edit%1 ").arg(i));
    }

    // Every order of return finds each document as it was left.
    for (const std::vector<size_t> order : {std::vector<size_t>{0, 1, 2}, {2, 0, 1}, {1, 2, 0}}) {
        for (size_t i : order) {
            const Case &c = Cases[i];
            SCOPED_TRACE(c.name);
            editor.showDocument(*documents[i]);
            EXPECT_TRUE(editor.isShown(*documents[i]));
            EXPECT_EQ(editor.filePath(), dir.filePath(c.name));
            EXPECT_EQ(editor.encodingName(), c.encoding);
            EXPECT_EQ(editor.lineEndsName(), c.lineEnds);
            EXPECT_EQ(editor.colouring(), c.colouring);
            EXPECT_EQ(editor.caretLine(), 10 + int(i));
            EXPECT_TRUE(editor.lineText(9 + int(i)).startsWith(QStringLiteral("edit%1 ").arg(i)));
            EXPECT_EQ(editor.markerFindNext(0, 1 << 1), int(i) + 1);
            EXPECT_TRUE(editor.isDocumentModified());
            for (size_t j = 0; j < documents.size(); ++j)
                EXPECT_TRUE(documents[j]->isModified()) << j;
        }
    }

    // Undo is the document's own: it takes back that document's edit only,
    // and the unsaved state follows it across switches.
    editor.showDocument(*documents[1]);
    editor.undo();
    EXPECT_FALSE(editor.isDocumentModified());
    editor.showDocument(*documents[0]);
    EXPECT_TRUE(editor.lineText(9).startsWith("edit0 "));
    EXPECT_FALSE(documents[1]->isModified());
    editor.undo();
    EXPECT_EQ(editor.lineText(9), QStringLiteral("<?php echo 'caf\u00E9'; ?>"));
    // Saved in its own encoding and line ends.
    editor.redo();
    editor.saveToFile(dir.filePath("page.php"));
    EXPECT_EQ(ReadFileBytes(dir.filePath("page.php")),
              fileBytes(Cases[0]).replace(9 * Cases[0].line.size(), 0, "edit0 "));
    editor.showDocument(*documents[2]);
    EXPECT_FALSE(documents[0]->isModified());
    EXPECT_TRUE(documents[2]->isModified());
}

TEST(EditorDocuments, ANewDocumentIsUtf8WithLfAndCountsItsOwnCharacters)
{
    ASSERT_TRUE(FastCharacterCountAvailable());
    CodeEditor editor;
    auto plain = editor.adoptShownDocument();
    auto accented = editor.createDocument();
    QByteArray ascii;
    QByteArray wide;
    while (ascii.size() < 300 * 1024) {
        ascii += "plain text line\n";
        wide += "\xC3\xA9\xC3\xA9\xC3\xA9 accented\n";
    }
    editor.SendScintilla(Sci::SCI_APPENDTEXT, static_cast<unsigned long>(ascii.size()),
                         ascii.constData());
    const long end = 200 * 1024;
    EXPECT_EQ(StartCount(editor, end), end); // marks made in the plain text

    editor.showDocument(*accented);
    EXPECT_EQ(editor.documentLength(), 0);
    EXPECT_EQ(editor.newLineBytes(), "\n");
    editor.SendScintilla(Sci::SCI_APPENDTEXT, static_cast<unsigned long>(wide.size()),
                         wide.constData());
    EXPECT_EQ(editor.lineText(0), QStringLiteral("\u00E9\u00E9\u00E9 accented"));
    // Counts kept for the other document would give `end` here.
    EXPECT_EQ(StartCount(editor, end), CountUtf8Characters(wide.constData(), wide.size(), end));
    editor.showDocument(*plain);
    EXPECT_EQ(StartCount(editor, end), end);
    EXPECT_EQ(editor.documentLength(), ascii.size());
}

} // namespace
