#include "app/background_search.h"
#include "app/messages_grid.h"
#include "app_fixture.h"
#include "editor/code_editor.h"
#include "forms/find_in_files_dialog.h"
#include "foundation/settings.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTableWidget>
#include <QTemporaryDir>
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
    // Fills the Find in Files dialog and confirms it; a long search is
    // waited for to its end.
    void findInFiles(const QString &text, const FileSearchOptions &options = {})
    {
        dialogs.onModal = [=](QWidget *window) {
            auto *dialog = qobject_cast<FindInFilesDialog *>(window);
            if (!dialog)
                return int(QDialog::Rejected);
            dialog->setText(text);
            dialog->setOptions(options);
            return int(QDialog::Accepted);
        };
        form()->item("Findinfiles1")->trigger();
        dialogs.onModal = nullptr;
        EXPECT_TRUE(
            QTest::qWaitFor([this] { return !form()->ui().messages->isCancellable(); }, 20000));
    }
    QString lastModal() const
    {
        return dialogs.modalWindows.empty() ? QString()
                                            : dialogs.modalWindows.back()->objectName() + '|' +
                                                  dialogs.modalWindows.back()->windowTitle();
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
    form()->handle(QStringLiteral("Searchagain1Click"));
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
    EXPECT_EQ(lastModal(), "form_find_in_files|Find in Files");
    EXPECT_EQ(rows(), QStringList({"echo 'x'; ECHO 'y'; Echo 'z';|" + a + "|2", "echo|" + a + "|4",
                                   "call_echo();|" + b + "|2"}));
    EXPECT_TRUE(form()->ui().messages->isVisible());
    EXPECT_GE(form()->ui().messages->columnWidth(0), 500);
    EXPECT_EQ(form()->focusWidget(), form()->ui().messages);
    // The document in the editor was not touched.
    EXPECT_EQ(form()->ui().re->wholeText(), "");

    // A double-click on a row opens the file at the line.
    form()->ui().messages->setCurrentCell(2, 0);
    form()->messagePanel().messagesDblClick(nullptr);
    EXPECT_EQ(form()->project().OpenedFile, b);
    EXPECT_EQ(form()->ui().re->caretLine(), 2);

    // Without a sender the kept text is searched again, without a prompt.
    form()->messagePanel().ClearMessages();
    form()->handle(QStringLiteral("Findinfiles1Click"));
    EXPECT_EQ(rows().size(), 3);
    EXPECT_EQ(dialogs.modalWindows.size(), 1u);
}

TEST_F(Search, FindInFilesSeesFilesAsSavedAndKeepsThePanelOnNoHit)
{
    const QString a = write("a.php", "first line\nsecond line\n");
    addToProject(a);
    form()->documents().OpenFileAtLine(a, true);
    form()->ui().re->setCursorPosition(1, 0);
    form()->ui().re->insert("unsaved marker ");

    // No hit: the panel is cleared and stays as it was (hidden here).
    findInFiles("marker");
    EXPECT_EQ(rows(), QStringList({"||"}));
    EXPECT_FALSE(form()->ui().messages->isVisible());
    // An empty text matches nothing, also with the panel shown.
    form()->messagePanel().ShowMessages();
    form()->messagePanel().AddMessage("old row");
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
    form()->handle(QStringLiteral("IndentCode1Click"));
    EXPECT_EQ(form()->ui().re->wholeText(), once);
    // The whole re-indent is one step back, however many lines it changed.
    form()->ui().re->undo();
    EXPECT_EQ(form()->ui().re->wholeText(), original);
    form()->ui().re->redo();
    EXPECT_EQ(form()->ui().re->wholeText(), once);
}

TEST_F(Search, FindInFilesOptionsMatchAsAskedAndAJumpSelectsTheMatch)
{
    const QString a = write("a.php", "<?php\n    $this->Total = $total;\n\ttotal_sum();\n");
    const QString b = write("b.inc", "$TOTAL = 1;\n");
    const QString c = write("c.txt", "total\n");
    for (const QString &path : {a, b, c})
        addToProject(path);
    struct Case {
        const char *text;
        FileSearchOptions options;
        QStringList rows;  // "file:line"
        QString selection; // after a jump to the first row
        QString heading;
    };
    const auto opts = [](bool matchCase, bool word, bool regex, const char *mask = "") {
        return FileSearchOptions{matchCase, word, regex, QString::fromLatin1(mask)};
    };
    const std::vector<Case> cases = {
        // No option: the plain rule, rows as they always were.
        {"total",
         {},
         {"a.php:2", "a.php:3", "b.inc:1", "c.txt:1"},
         "Total",
         "4 matches in 3 files for \"total\""},
        {"Total",
         opts(true, false, false),
         {"a.php:2"},
         "Total",
         "1 match in 1 file for \"Total\""},
        {"total", opts(false, true, false), {"a.php:2", "b.inc:1", "c.txt:1"}, "Total", ""},
        {"\\$t\\w+", opts(false, false, true), {"a.php:2", "b.inc:1"}, "$this", ""},
        {"total",
         opts(false, false, false, "*.php, *.INC"),
         {"a.php:2", "a.php:3", "b.inc:1"},
         "Total",
         ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        findInFiles(c.text, c.options);
        QStringList found;
        for (int row = 0; row < form()->ui().messages->rowCount(); ++row)
            found << QFileInfo(form()->messagePanel().MessageCell(1, row)).fileName() + ':' +
                         form()->messagePanel().MessageCell(2, row);
        EXPECT_EQ(found, c.rows);
        if (!c.heading.isEmpty()) {
            EXPECT_EQ(form()->ui().messages->heading(), c.heading);
        }
        form()->ui().messages->setCurrentCell(0, 0);
        form()->messagePanel().messagesDblClick(nullptr);
        EXPECT_EQ(selection(), c.selection);
    }
    // The last options come back at the next opening, and in the next run.
    FileSearchOptions shown;
    dialogs.onModal = [&](QWidget *w) {
        shown = static_cast<FindInFilesDialog *>(w)->options();
        return int(QDialog::Rejected);
    };
    form()->item("Findinfiles1")->trigger();
    EXPECT_EQ(shown.fileMask, "*.php, *.INC");
    EXPECT_EQ(ReadSetting("FindInFilesFileMask", ""), "*.php, *.INC");

    // A regular expression that cannot work is refused while the dialog is open.
    int openings = 0;
    dialogs.onModal = [&](QWidget *w) {
        auto *dialog = static_cast<FindInFilesDialog *>(w);
        dialog->setText(++openings == 1 ? "(" : "fine");
        dialog->setOptions(FileSearchOptions{false, false, true, {}});
        return int(QDialog::Accepted);
    };
    form()->item("Findinfiles1")->trigger();
    EXPECT_EQ(openings, 2);
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors[0].contains("\"(\" is not valid"))
        << dialogs.errors[0].toStdString();
}

TEST(BackgroundSearch, GivesTheRowsOfOneSearchInOrderAndStopsWhenCancelled)
{
    QTemporaryDir dir;
    QStringList names;
    for (int f = 0; f < 300; ++f) {
        names << dir.filePath(QStringLiteral("f%1.php").arg(f, 3, 10, QLatin1Char('0')));
        WriteFileBytes(names.back(), f == 250 ? "none\n" : "a hit\nnone\nhit\n");
    }
    names.insert(280, dir.filePath("gone.php"));
    const FindInFilesResult whole = FindInFiles(names, "hit", FileSearchOptions{}, 2);
    {
        BackgroundSearch search(names, "hit", FileSearchOptions{});
        ASSERT_TRUE(search.waitForEnd(20000));
        BackgroundSearch::Progress found = search.take();
        EXPECT_TRUE(found.finished);
        // The missing file is skipped and the files after it are searched.
        EXPECT_FALSE(found.failure);
        ASSERT_EQ(found.skipped.size(), 1u);
        EXPECT_EQ(found.skipped[0].index, 280);
        ASSERT_EQ(found.lines.size(), whole.lines.size());
        for (size_t i = 0; i < found.lines.size(); ++i) {
            EXPECT_EQ(found.lines[i].file, whole.lines[i].file);
            EXPECT_EQ(found.lines[i].line, whole.lines[i].line);
        }
    }
    // Cancelled at once: it ends, and what it gave is a prefix of the whole.
    BackgroundSearch search(names, "hit", FileSearchOptions{});
    search.cancel();
    ASSERT_TRUE(search.waitForEnd(20000));
    const BackgroundSearch::Progress found = search.take();
    EXPECT_LE(found.lines.size(), whole.lines.size());
    EXPECT_LT(found.filesDone, names.size());
}
