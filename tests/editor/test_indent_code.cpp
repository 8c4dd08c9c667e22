// Indent Code in one change gives exactly the text that replacing the
// lines one by one gave, on real PHP files with every kind of line end and
// encoding, and the user can take it back in one undo step.
#include "editor/code_editor.h"
#include "foundation/errors.h"
#include "project/code_indent.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QTemporaryDir>

namespace {

using Sci = QsciScintillaBase;

// The way the command has worked so far: each changed line replaced on its
// own, outside undo, then the caret put back on its line.
void indentLineByLine(CodeEditor &editor)
{
    const QStringList lines = editor.lineTexts();
    const QStringList indented = IndentLines(lines);
    int caretLine = 0;
    int caretIndex = 0;
    editor.getCursorPosition(&caretLine, &caretIndex);
    for (int line = 0; line < lines.size(); ++line) {
        if (indented.at(line) != lines.at(line))
            editor.replaceLine(line, indented.at(line));
    }
    editor.setCursorPosition(caretLine, qMin(caretIndex, int(editor.lineText(caretLine).size())));
}

void indentInOneStep(CodeEditor &editor)
{
    editor.replaceLineTexts(IndentLines(editor.lineTexts()));
}

QStringList realPhpFiles()
{
    QStringList files;
    for (const QString &root :
         {QStringLiteral(QS_FIXTURES "/php"), QStringLiteral(QS_SOURCE_DIR "/data/demo"),
          QStringLiteral(QS_SOURCE_DIR "/scripts")}) {
        QDirIterator it(root, {QStringLiteral("*.php")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
    }
    return files;
}

// The same file with CR LF, and with line ends of every kind in turn.
QByteArray withCrLf(QByteArray bytes)
{
    bytes.replace("\r\n", "\n");
    return bytes.replace("\n", "\r\n");
}

QByteArray withMixedEnds(QByteArray bytes)
{
    bytes.replace("\r\n", "\n");
    const QList<QByteArray> lines = bytes.split('\n');
    const char *ends[] = {"\n", "\r\n", "\r"};
    QByteArray result;
    for (int i = 0; i < lines.size(); ++i) {
        result += lines[i];
        if (i + 1 < lines.size())
            result += ends[i % 3];
    }
    return result;
}

// The same file written flush left, CR LF and LF in turn, as a careless copy leaves it.
QByteArray flushLeft(QByteArray bytes)
{
    bytes.replace("\r\n", "\n");
    QByteArray result;
    int i = 0;
    for (QByteArray line : bytes.split('\n')) {
        while (!line.isEmpty() && (line[0] == ' ' || line[0] == '\t'))
            line.remove(0, 1);
        result += line + (i++ % 2 ? "\r\n" : "\n");
    }
    return result;
}

TEST(IndentCode, OneChangeGivesTheLineByLineTextOnRealFiles)
{
    const QStringList files = realPhpFiles();
    ASSERT_GE(files.size(), 10);
    QTemporaryDir dir;
    const QString path = dir.filePath("page.php");
    CodeEditor before;
    CodeEditor after;
    int changed = 0;
    for (const QString &file : files) {
        const QByteArray original = ReadFileBytes(file);
        for (const QByteArray &bytes :
             {original, withCrLf(original), withMixedEnds(original), flushLeft(original)}) {
            SCOPED_TRACE(file.toStdString());
            WriteFileBytes(path, bytes);
            before.loadFromFile(path);
            after.loadFromFile(path);
            // The caret somewhere in the middle, at a column past some lines' ends.
            const int middle = before.lineCount() / 2;
            before.setCursorPosition(middle, 6);
            after.setCursorPosition(middle, 6);
            const QString loaded = after.wholeText();

            indentLineByLine(before);
            indentInOneStep(after);
            ASSERT_EQ(after.wholeText(), before.wholeText());
            EXPECT_EQ(after.caretLine(), before.caretLine());
            EXPECT_EQ(after.isDocumentModified(), before.isDocumentModified());
            if (after.isDocumentModified()) {
                ++changed;
                after.undo();
                EXPECT_EQ(after.wholeText(), loaded);
                after.redo();
            }
            // Saving keeps the encoding and every line end.
            after.saveToFile(path);
            before.saveToFile(dir.filePath("before.php"));
            EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(dir.filePath("before.php")));
        }
    }
    EXPECT_GE(changed, 15); // the files really needed indenting
}

TEST(IndentCode, OneChangeIsOneUndoStepAfterEarlierEdits)
{
    CodeEditor editor;
    editor.setWholeText("<?php\r\nif ($a) {\r\n  echo 1;\r\n      }\r\n");
    editor.SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
    editor.SendScintilla(Sci::SCI_GOTOPOS, 7UL);
    editor.SendScintilla(Sci::SCI_ADDTEXT, 2UL, "//");
    editor.SendScintilla(Sci::SCI_GOTOPOS, 26UL); // in "echo 1;", line 2
    indentInOneStep(editor);
    EXPECT_EQ(editor.wholeText(), "<?php\r\n//if ($a) {\r\n    echo 1;\r\n}\r\n");
    EXPECT_EQ(editor.caretLine(), 3);
    editor.undo();
    EXPECT_EQ(editor.wholeText(), "<?php\r\n//if ($a) {\r\n  echo 1;\r\n      }\r\n");
    editor.undo(); // the typing before it is still there to take back
    EXPECT_EQ(editor.wholeText(), "<?php\r\nif ($a) {\r\n  echo 1;\r\n      }\r\n");

    // Texts for a different number of lines are refused and change nothing.
    EXPECT_THROW(editor.replaceLineTexts({"one"}), AppError);
    EXPECT_EQ(editor.lineCount(), 5);
}

} // namespace
