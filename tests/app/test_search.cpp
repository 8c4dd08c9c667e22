#include "app_fixture.h"
#include "editor/code_editor.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTest>

namespace {
class Search : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        start();
        form()->show();
    }
    QString write(const QString &name, const QByteArray &text)
    {
        const QString path = dir.filePath(name);
        WriteFileBytes(path, text);
        return path;
    }
    void addToProject(const QString &path)
    {
        form()->project().Files.AddNew();
        form()->project().Files.Last()->Name = path;
    }
    QString selection() const { return form()->ui().re->selectedText(); }
    // The messages grid as "text|file|line" rows.
    QStringList rows() const
    {
        QStringList rows;
        for (int row = 0; row < form()->ui().messages->rowCount(); ++row)
            rows << form()->messagePanel().MessageCell(0, row) + '|' +
                        form()->messagePanel().MessageCell(1, row) + '|' +
                        form()->messagePanel().MessageCell(2, row);
        return rows;
    }
    void findInFiles(const QString &text)
    {
        dialogs.promptAnswers.push_back(text);
        form()->item("Findinfiles1")->trigger();
    }
};
} // namespace

TEST_F(Search, FindAndSearchAgainGoForwardWithoutWrapping)
{
    form()->ui().re->setWholeText("one alpha\ntwo\nthree ALPHA four\nend");
    form()->ui().re->setCursorPosition(0, 0);
    // Search Again before any Find does nothing.
    form()->item("Searchagain1")->trigger();
    EXPECT_EQ(selection(), "");
    EXPECT_EQ(form()->ui().re->caretLine(), 1);

    dialogs.promptAnswers.push_back("Alpha");
    form()->item("Find1")->trigger();
    EXPECT_EQ(dialogs.prompts.back(), "Search for|Search for");
    EXPECT_EQ(selection(), "alpha");
    EXPECT_EQ(form()->ui().re->caretLine(), 1);
    form()->item("Searchagain1")->trigger();
    EXPECT_EQ(selection(), "ALPHA");
    EXPECT_EQ(form()->ui().re->caretLine(), 3);
    // A third search finds nothing after the caret and changes nothing.
    form()->item("Searchagain1")->trigger();
    EXPECT_EQ(selection(), "ALPHA");
    EXPECT_EQ(form()->ui().re->caretLine(), 3);
    EXPECT_TRUE(dialogs.messages.empty());

    // No wrap: from the last line the matches above are not found; Cancel
    // keeps the find text.
    form()->ui().re->setCursorPosition(3, 0);
    form()->item("Find1")->trigger();
    EXPECT_EQ(form()->ui().re->caretLine(), 4);
    EXPECT_EQ(selection(), "");
    form()->ui().re->setCursorPosition(0, 0);
    form()->Searchagain1Click(nullptr);
    EXPECT_EQ(selection(), "alpha");
    EXPECT_EQ(dialogs.prompts.size(), 2u);
}

TEST_F(Search, GotoLineClampsAndKeepsTheColumn)
{
    QString text;
    for (int i = 1; i <= 30; ++i)
        text += QStringLiteral("line %1 text\n").arg(i);
    form()->ui().re->setWholeText(text + "last");
    form()->ui().re->setCursorPosition(4, 3);
    const auto go = [&](const QString &answer) {
        dialogs.promptAnswers.push_back(answer);
        form()->item("GotoLine1")->trigger();
        return form()->ui().re->caretLine();
    };
    EXPECT_EQ(go("12"), 12);
    EXPECT_EQ(dialogs.prompts.back(), "Goto Line|Line Number");
    EXPECT_EQ(form()->ui().re->caretColumn(), 4);
    EXPECT_EQ(go("0"), 1);
    EXPECT_EQ(go("-7"), 1);
    EXPECT_EQ(go("twelve"), 1);
    EXPECT_EQ(go("20"), 20);
    EXPECT_EQ(go("9999"), 31);
    EXPECT_EQ(go("99999999999999"), 31);
    // Cancel leaves the caret.
    form()->item("GotoLine1")->trigger();
    EXPECT_EQ(form()->ui().re->caretLine(), 31);
}

TEST_F(Search, FindInFilesListsOneRowPerMatchingLine)
{
    const QString a =
        write("a.php", "<?php\n  echo 'x'; ECHO 'y'; Echo 'z';  \r\n$b = 1;\r\necho\t\n");
    const QString b = write("Sub.PHP", "nothing here\rcall_echo();\r");
    const QString c = write("c.txt", "no hit");
    for (const QString &path : {a, b, c})
        addToProject(path);
    findInFiles("ECHO");
    EXPECT_EQ(dialogs.prompts.back(), "Search in files|Search for");
    EXPECT_EQ(rows(), QStringList({"echo 'x'; ECHO 'y'; Echo 'z';|" + a + "|2", "echo|" + a + "|4",
                                   "call_echo();|" + b + "|2"}));
    EXPECT_TRUE(form()->ui().messages->isVisible());
    EXPECT_EQ(form()->ui().messages->columnWidth(0), 500);
    EXPECT_EQ(form()->focusWidget(), form()->ui().messages);
    // The document in the editor was not touched.
    EXPECT_EQ(form()->ui().re->wholeText(), "");

    // A double-click on a row opens the file at the line.
    form()->ui().messages->setCurrentCell(2, 0);
    form()->messagesDblClick(nullptr);
    EXPECT_EQ(form()->project().OpenedFile, b);
    EXPECT_EQ(form()->ui().re->caretLine(), 2);

    // Without a sender the kept text is searched again, without a prompt.
    form()->ClearMessages();
    form()->Findinfiles1Click(nullptr);
    EXPECT_EQ(rows().size(), 3);
    EXPECT_EQ(dialogs.prompts.size(), 1u);
}

TEST_F(Search, FindInFilesSeesFilesAsSavedAndKeepsThePanelOnNoHit)
{
    const QString a = write("a.php", "first line\nsecond line\n");
    addToProject(a);
    form()->OpenFileAtLine(a, true);
    form()->ui().re->setCursorPosition(1, 0);
    form()->ui().re->insert("unsaved marker ");

    // No hit: the panel is cleared and stays as it was (hidden here).
    findInFiles("marker");
    EXPECT_EQ(rows(), QStringList({"||"}));
    EXPECT_FALSE(form()->ui().messages->isVisible());
    // An empty text matches nothing, also with the panel shown.
    form()->messagePanel().ShowMessages();
    form()->AddMessage("old row");
    findInFiles("");
    EXPECT_EQ(rows(), QStringList({"||"}));
    EXPECT_TRUE(form()->ui().messages->isVisible());

    form()->item("Save1")->trigger();
    findInFiles("MARKER");
    EXPECT_EQ(rows(), QStringList({"unsaved marker second line|" + a + "|2"}));
    // Cancel leaves the last rows and the text.
    form()->item("Findinfiles1")->trigger();
    EXPECT_EQ(rows().size(), 1);
}

TEST_F(Search, AnUnreadableFileGetsARowAndTheSearchGoesOn)
{
    const QString a = write("a.php", "needle one\n");
    const QString gone = dir.filePath("gone.php");
    const QString c = write("c.php", "needle three\n");
    const QString image = dir.filePath("logo.png");
    WriteFileBytes(image, QByteArray("\x89PNG\0\0needle", 14));
    for (const QString &path : {a, image, gone, c})
        addToProject(path);
    findInFiles("needle");
    EXPECT_TRUE(dialogs.errors.empty());
    // The image is no text: it gives no row but is counted; the file after
    // the missing one is searched.
    EXPECT_EQ(rows(), QStringList({"needle one|" + a + "|1", "needle three|" + c + "|1",
                                   "1 file left out as binary||",
                                   "Skipped: File not found: \"" + gone + "\"||"}));
    EXPECT_EQ(form()->project().Files.Count(), 4);
}

TEST_F(Search, FindInFilesSearchesStrayNulsAndCountsWhatLooksBinary)
{
    // A PHP file with a stray NUL late in it is text; one with a NUL near
    // its start looks binary, as grep -I decides, and only that is left out.
    QByteArray stray = "<?php\n" + QByteArray(100000, ' ') + "\n$x = 'needle';\n";
    stray[100003] = '\0';
    const QString a = write("stray.php", stray);
    const QString b = write("data.bin", QByteArray("needle\0\0\0", 9));
    const QString c = write("c.php", QByteArray("x\0y\n", 4));
    for (const QString &path : {a, b, c})
        addToProject(path);
    findInFiles("NEEDLE");
    EXPECT_EQ(rows(), QStringList({"$x = 'needle';|" + a + "|3", "2 files left out as binary||"}));
    EXPECT_TRUE(form()->ui().messages->isVisible());

    // Only binary files: the count alone is shown, in a panel made visible.
    form()->messagePanel().HideMessages();
    form()->project().Files.Delete(0);
    findInFiles("needle");
    EXPECT_EQ(rows(), QStringList({"2 files left out as binary||"}));
    EXPECT_TRUE(form()->ui().messages->isVisible());

    // Functions... reads every file, NULs and all.
    WriteFileBytes(b, QByteArray("\0\0function in_data()\n", 21));
    form()->project().ScanFunctions();
    EXPECT_EQ(form()->project().FunctionLines,
              QStringList({QString::fromLatin1("\0\0function in_data()", 20)}));
}

TEST_F(Search, IndentCodeReindentsInOneUndoStepAndIsIdempotent)
{
    const QString original =
        "<?php\n  if ($a) {\n\t echo $a;   \n      }\n   \nfunction f() {}\nx;";
    form()->ui().re->setWholeText(original);
    form()->ui().re->setCursorPosition(2, 3);
    form()->item("IndentCode1")->trigger();
    const QString once = form()->ui().re->wholeText();
    EXPECT_EQ(once, "<?php\nif ($a) {\n    echo $a;\n}\n\nfunction f() {}\n    x;");
    EXPECT_EQ(form()->ui().re->caretLine(), 3);
    EXPECT_TRUE(form()->ui().re->isDocumentModified());
    form()->IndentCode1Click(nullptr);
    EXPECT_EQ(form()->ui().re->wholeText(), once);
    // The whole re-indent is one step back, however many lines it changed.
    form()->ui().re->undo();
    EXPECT_EQ(form()->ui().re->wholeText(), original);
    form()->ui().re->redo();
    EXPECT_EQ(form()->ui().re->wholeText(), once);
}
