// Syntax errors marked while typing, with the real php and a real editor.

#include "app/syntax_check_controller.h"
#include "editor/code_editor.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

namespace {

class SyntaxCheck : public ::testing::Test {
protected:
    void SetUp() override { make(QStringLiteral("php")); }
    void make(const QString &php)
    {
        check.reset();
        check = std::make_unique<SyntaxCheckController>(&editor, &status, nullptr, php);
    }
    QString write(const char *name, const QByteArray &text)
    {
        const QString path = dir.filePath(QLatin1String(name));
        WriteFileBytes(path, text);
        return path;
    }
    // Types `text` in place of the whole document and waits for the check.
    bool typeAndWait(const QString &text)
    {
        QSignalSpy spy(check.get(), &SyntaxCheckController::checked);
        editor.setWholeText(text);
        return QTest::qWaitFor([&] { return !spy.isEmpty() && !check->isPending(); }, 20000);
    }
    // The error's place as "line:column:length", from the editor's own marks.
    QString marked() const
    {
        QStringList places;
        const long length = editor.documentLength();
        for (long pos = 0; pos < length; ++pos) {
            const long end =
                editor.SendScintilla(QsciScintilla::SCI_INDICATOREND,
                                     static_cast<unsigned long>(check->indicator()), pos);
            if (editor.SendScintilla(QsciScintilla::SCI_INDICATORVALUEAT,
                                     static_cast<unsigned long>(check->indicator()), pos) != 0) {
                int line = 0, index = 0;
                editor.lineIndexFromPosition(int(pos), &line, &index);
                places << QStringLiteral("%1:%2:%3").arg(line + 1).arg(index).arg(end - pos);
            }
            if (end <= pos)
                break;
            pos = end - 1;
        }
        QStringList markers;
        for (int line = 0; line < editor.lines(); ++line)
            if (editor.markersAtLine(line) & (1u << SyntaxCheckController::ErrorMarker))
                markers << QString::number(line + 1);
        return places.join(' ') + " @" + markers.join(' ');
    }

    QTemporaryDir dir;
    CodeEditor editor;
    QLabel status;
    std::unique_ptr<SyntaxCheckController> check;
};

} // namespace

TEST_F(SyntaxCheck, AnErrorTypedIsMarkedSaidAndShownOnHoverAndGoesWhenMended)
{
    editor.loadFromFile(write("page.php", "<?php\necho 1;\n"));
    ASSERT_TRUE(typeAndWait("<?php\n$total = 1\necho $total;\n"));
    EXPECT_EQ(marked(), "3:0:4 @3");
    const QString message = "Parse error: syntax error, unexpected token \"echo\"";
    EXPECT_EQ(status.text(), "Line 3: " + message);
    EXPECT_EQ(check->messageAt(editor.positionFromLineIndex(2, 1), -1), message);
    EXPECT_EQ(check->messageAt(editor.positionFromLineIndex(1, 1), -1), "");
    // In the margins, the line counts.
    EXPECT_EQ(check->messageAt(-1, 2), message);
    EXPECT_EQ(check->messageAt(-1, 1), "");
    // The mouse resting on the squiggle shows the whole message.
    editor.resize(400, 300);
    editor.show();
    const long pos = editor.positionFromLineIndex(2, 1);
    const int x = int(editor.SendScintilla(QsciScintilla::SCI_POINTXFROMPOSITION, 0UL, pos));
    const int y = int(editor.SendScintilla(QsciScintilla::SCI_POINTYFROMPOSITION, 0UL, pos));
    emit editor.SCN_DWELLSTART(int(pos), x, y);
    EXPECT_EQ(QToolTip::text(), message);
    QToolTip::hideText();
    emit editor.SCN_DWELLSTART(-1, 2, y);
    EXPECT_EQ(QToolTip::text(), message);

    // Mended: no marks, and the status line's words go.
    ASSERT_TRUE(typeAndWait("<?php\n$total = 1;\necho $total;\n"));
    EXPECT_EQ(marked(), " @");
    EXPECT_FALSE(check->error().has_value());
    EXPECT_EQ(status.text(), "");
}

TEST_F(SyntaxCheck, AResultForTextChangedSinceIsDroppedAndAnotherDocumentStartsClean)
{
    editor.loadFromFile(write("a.php", "<?php\n"));
    ASSERT_TRUE(typeAndWait("<?php\nfunction f() {\n"));
    EXPECT_EQ(marked(), "2:13:1 @2");
    EXPECT_EQ(status.text(), "Line 2: Parse error: Unclosed '{' on line 2");

    // PHP answers for the broken text only after it was mended.
    QSignalSpy spy(check.get(), &SyntaxCheckController::checked);
    editor.setWholeText("<?php\nfunction f() {\n");
    check->documentSwitched(); // sent at once
    editor.setWholeText("<?php\nfunction f() {}\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !spy.isEmpty() && !check->isPending(); }, 20000));
    EXPECT_EQ(spy.size(), 1); // the mended text's answer only
    EXPECT_FALSE(check->error().has_value());

    // Another file loaded: the broken one's marks go before PHP answers.
    ASSERT_TRUE(typeAndWait("<?php\n$a = ;\n"));
    ASSERT_TRUE(check->error().has_value());
    editor.loadFromFile(write("b.php", "<?php\n$a = ;\n"));
    EXPECT_EQ(marked(), " @");
    EXPECT_FALSE(check->error().has_value());
    ASSERT_TRUE(QTest::qWaitFor([&] { return check->error().has_value(); }, 20000));
    EXPECT_EQ(marked(), "2:5:1 @2");

    // Files that are not PHP are not checked.
    editor.loadFromFile(write("notes.txt", "<?php\n$a = ;\n"));
    QTest::qWait(700);
    EXPECT_FALSE(check->isPending());
    EXPECT_EQ(marked(), " @");
}

TEST_F(SyntaxCheck, WithoutPhpTheTokensMarkWhatTheyAreSureOf)
{
    make(QStringLiteral("no-such-php-here"));
    editor.loadFromFile(write("page.php", "<?php\n"));
    ASSERT_TRUE(typeAndWait("<?php\nif ($a) {\n  $b = (1;\n}\n"));
    EXPECT_EQ(marked(), "3:7:1 @3");
    EXPECT_EQ(status.text(), "Line 3: Unclosed '(' (php was not found to check further)");
    // Nothing the tokens can be sure of: nothing marked.
    ASSERT_TRUE(typeAndWait("<?php\n$a = ;\n"));
    EXPECT_EQ(marked(), " @");
}

TEST_F(SyntaxCheck, ATabShownAgainUnchangedGetsItsMarksBackWithoutAskingPhpAgain)
{
    const auto first = editor.adoptShownDocument();
    editor.loadFromFile(write("a.php", "<?php\n$a = ;\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return check->error().has_value(); }, 20000));
    const auto second = editor.createDocument();
    const auto show = [&](EditorDocument &document) {
        editor.showDocument(document);
        return check->isPending();
    };
    show(*second);
    EXPECT_FALSE(check->error().has_value());
    editor.loadFromFile(write("b.php", "<?php\necho 1;\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !check->isPending(); }, 20000));

    // Back to the text php already answered for: marked at once.
    EXPECT_FALSE(show(*first));
    EXPECT_EQ(marked(), "2:5:1 @2");
    EXPECT_FALSE(show(*second));
    EXPECT_EQ(marked(), " @");
    // Text changed since that answer is asked about again.
    EXPECT_FALSE(show(*first));
    editor.setWholeText("<?php\n$a = ;;\n");
    EXPECT_FALSE(show(*second));
    EXPECT_TRUE(show(*first));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !check->isPending(); }, 20000));
    EXPECT_EQ(marked(), "2:5:1 @2");
}

TEST_F(SyntaxCheck, TextWithoutAnOpeningTagIsCleanWithoutAskingPhp)
{
    // A php that never answers: a text sent to it would stay pending.
    const QString silent = write("silent-php", "#!/bin/sh\nexec sleep 60\n");
    QFile::setPermissions(silent, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    make(silent);
    editor.loadFromFile(write("page.php", "<?php\n$a = ;\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return check->isPending(); }, 20000));
    for (const char *text : {"", "<p>Plain page</p>\n", "if ($a) { (\n"}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(typeAndWait(QString::fromLatin1(text)));
        EXPECT_FALSE(check->error().has_value());
        EXPECT_EQ(marked(), " @");
    }
    editor.setWholeText("<p><?= $a; ?></p>");
    EXPECT_TRUE(QTest::qWaitFor([&] { return check->isPending(); }, 20000));
}
