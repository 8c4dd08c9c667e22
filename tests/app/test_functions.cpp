#include "app_fixture.h"
#include "editor/code_editor.h"
#include "forms/file_functions_dialog.h"
#include "forms/project_functions_dialog.h"

#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace {
class Functions : public AppTest {
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
    ProjectFunctionsDialog *list() const { return windows().projectFunctionsDialog; }
    // Answers the next Functions... showing: filter, pick the visible row, OK.
    void choose(const QString &filter, int row)
    {
        dialogs.onModal = [this, filter, row](QWidget *window) {
            EXPECT_EQ(window, list());
            list()->search_edit->setText(filter);
            list()->setCurrentRow(row);
            return int(QDialog::Accepted);
        };
    }
    QStringList explorerRows() const
    {
        QStringList rows;
        for (int row = 0; row < form()->ui().CodeGrid->rowCount(); ++row) {
            const QTableWidgetItem *cell = form()->ui().CodeGrid->item(row, 0);
            rows << (cell ? cell->text() : QString("<none>"));
        }
        return rows;
    }
    // One beat of the explorer's one-second timer.
    void tick() const { QMetaObject::invokeMethod(form()->ui().CodeExplorerRefresh, "timeout"); }
    int selectionLine() const
    {
        int line = -1, index = -1, lineTo = -1, indexTo = -1;
        form()->ui().re->getSelection(&line, &index, &lineTo, &indexTo);
        return line + 1;
    }
};
} // namespace

TEST_F(Functions, ProjectListJumpsToTheFirstOccurrenceInTheRightFile)
{
    const QString a = write(
        "a.php", "<?php\n// FUNCTION DUP() {} is here\nfunction dup() {}\nfunction dup() {}\n");
    const QString b = write("b.php", "<?php\n\n\nfunction dup() {}\n  function helper($x)\n");
    const QString other = write("other.php", "x\n");
    for (const QString &path : {a, b})
        addToProject(path);
    form()->documents().OpenFileAtLine(other, true);

    MemoryTraceSink sink;
    ScopedProgramTrace trace(&sink);
    // Rows sorted: "  function helper", then dup (a), dup (a), dup (b) in the sort's order.
    choose("dup", 0);
    form()->item("Allfunctionlist1")->trigger();
    ASSERT_TRUE(dialogs.errors.empty()) << dialogs.errors.front().toStdString();
    EXPECT_EQ(form()->project().FunctionLines.size(), 4);
    const QString file = list()->filterCell(1, list()->currentRow());
    EXPECT_EQ(form()->project().OpenedFile, file);
    EXPECT_EQ(form()->ui().re->selectedText().toLower(), "function dup() {}");
    // The first case-insensitive occurrence: the comment line in a.php.
    EXPECT_EQ(selectionLine(), file == a ? 2 : 4);
    ASSERT_GE(sink.lines.size(), 2u);
    const auto traced = [&](const QString &text) {
        return std::any_of(sink.lines.begin(), sink.lines.end(),
                           [&](const QString &line) { return line.endsWith(": " + text); });
    };
    EXPECT_TRUE(traced(file));
    EXPECT_TRUE(traced("function dup() {}"));

    // Identical lines in two files: each row opens its own file.
    QStringList opened;
    for (int row = 0; row < 3; ++row) {
        choose("dup", row);
        form()->handle(QStringLiteral("Allfunctionlist1Click"));
        opened << form()->project().OpenedFile;
    }
    opened.sort();
    EXPECT_EQ(opened, QStringList({a, a, b}));

    // The indented declaration sorts first; the jump finds it with its indentation.
    choose("", 0);
    form()->handle(QStringLiteral("Allfunctionlist1Click"));
    EXPECT_EQ(form()->project().OpenedFile, b);
    EXPECT_EQ(form()->ui().re->selectedText(), "  function helper($x)");
    EXPECT_EQ(selectionLine(), 5);
}

TEST_F(Functions, ProjectListPreselectsAndSeesOnlySavedText)
{
    const QString a = write("a.php", "function one()\nfunction two()\n");
    addToProject(a);
    choose("", 1);
    form()->handle(QStringLiteral("Allfunctionlist1Click"));
    EXPECT_EQ(form()->ui().re->selectedText(), "function two()");

    // Unsaved declarations are not listed; the previous choice is current again.
    form()->ui().re->setCursorPosition(0, 0);
    form()->ui().re->insert("function zero()\n");
    QString current;
    QStringList shown;
    dialogs.onModal = [&](QWidget *) {
        current = list()->filterCell(0, list()->currentRow());
        for (int row = 0; row < list()->filterRowCount(); ++row)
            shown << list()->filterCell(0, row);
        return int(QDialog::Rejected);
    };
    form()->handle(QStringLiteral("Allfunctionlist1Click"));
    EXPECT_EQ(current, "function two()");
    EXPECT_EQ(shown, QStringList({"function one()", "function two()"}));
    // Cancel changed nothing in the editor.
    EXPECT_EQ(form()->ui().re->lineText(0), "function zero()");
}

TEST_F(Functions, EmptyProjectsAndUnreadableFiles)
{
    // No files: one empty row, and OK opens nothing.
    dialogs.onModal = [](QWidget *) { return int(QDialog::Accepted); };
    form()->handle(QStringLiteral("Allfunctionlist1Click"));
    ASSERT_EQ(dialogs.modalWindows.size(), 1u);
    EXPECT_EQ(list()->filterRowCount(), 1);
    EXPECT_EQ(list()->filterCell(0, 0), "");
    EXPECT_EQ(form()->project().OpenedFile, "");

    // A missing file: a row says so and the files after it are scanned.
    const QString a = write("a.php", "function a()\n");
    const QString gone = dir.filePath("gone.php");
    const QString b = write("b.php", "function b()\n");
    addToProject(a);
    addToProject(gone);
    addToProject(b);
    QStringList shown;
    dialogs.onModal = [&](QWidget *) {
        for (int row = 0; row < list()->filterRowCount(); ++row)
            shown << list()->filterCell(0, row) + '|' + list()->filterCell(1, row);
        return int(QDialog::Rejected);
    };
    form()->item("Allfunctionlist1")->trigger();
    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_EQ(dialogs.modalWindows.size(), 2u);
    EXPECT_EQ(form()->project().FunctionLines, QStringList({"function a()", "function b()"}));
    EXPECT_EQ(shown.size(), 3);
    EXPECT_TRUE(shown.contains("Skipped: File not found: \"" + gone + "\"|"))
        << qPrintable(shown.join('\n'));
}

TEST_F(Functions, AllfunctionsSwitchShowsTheListAtStart)
{
    const QString a = write("a.php", "function a()\n");
    start({"allfunctions"});
    addToProject(a);
    form()->AppEventsActivate();
    ASSERT_EQ(dialogs.modalWindows.size(), 1u);
    EXPECT_EQ(dialogs.modalWindows.front(), windows().projectFunctionsDialog);
    EXPECT_EQ(list()->filterCell(0, 0), "function a()");
}

TEST_F(Functions, CurrentFileListUsesTheEditorText)
{
    form()->ui().re->setWholeText(
        "<?php\n$f = function ($x) {};\nFunction Foo()\n  public function bar()\n"
        "// see function baz\n\tPUBLIC FUNCTION BAR()\n");
    FileFunctionsDialog *list = windows().fileFunctionsDialog;
    dialogs.onModal = [&](QWidget *window) {
        EXPECT_EQ(window, list);
        return int(QDialog::Accepted);
    };
    // OK without a selection does nothing.
    form()->ui().re->setCursorPosition(0, 1);
    form()->item("FunctionList2")->trigger();
    EXPECT_EQ(list->lines(), QStringList({"$f = function ($x) {};", "  public function bar()",
                                          "// see function baz"}));
    EXPECT_EQ(form()->ui().re->selectedText(), "");

    dialogs.onModal = [&](QWidget *) {
        list->selectRow(1);
        return int(QDialog::Accepted);
    };
    form()->handle(QStringLiteral("FunctionList1Click"));
    EXPECT_EQ(form()->ui().re->selectedText(), "  public function bar()");
    EXPECT_EQ(selectionLine(), 4);
}

TEST_F(Functions, CodeExplorerFollowsTheDocumentWhileVisible)
{
    QAction *explorer = form()->item("CodeExplorer");
    EXPECT_FALSE(form()->ui().CodeGrid->isVisible());
    EXPECT_FALSE(form()->ui().CodeSplitter->isVisible());
    form()->ui().re->setWholeText("<?php\nfunction a() {}\n$x = function ($y) {};\n");
    explorer->trigger();
    EXPECT_TRUE(explorer->isChecked());
    EXPECT_TRUE(form()->ui().CodeGrid->isVisible());
    EXPECT_TRUE(form()->ui().CodeSplitter->isVisible());
    EXPECT_EQ(explorerRows(), QStringList({"function a() {}", "$x = function ($y) {};"}));

    // A typed declaration appears at the next tick; an unchanged text costs no rebuild.
    const int rebuilds = form()->functions().codeExplorerRebuilds();
    tick();
    EXPECT_EQ(form()->functions().codeExplorerRebuilds(), rebuilds);
    form()->ui().re->setCursorPosition(3, 0);
    form()->ui().re->insert("function new_one()\n");
    tick();
    EXPECT_EQ(explorerRows(),
              QStringList({"function a() {}", "$x = function ($y) {};", "function new_one()"}));

    // Hidden: no refreshing; shown again: rebuilt at once.
    explorer->trigger();
    EXPECT_FALSE(form()->ui().CodeGrid->isVisible());
    form()->ui().re->setWholeText("no declarations");
    tick();
    EXPECT_EQ(explorerRows().size(), 3);
    explorer->trigger();
    EXPECT_EQ(explorerRows(), QStringList({""}));
    // The empty row activates nothing.
    form()->ui().CodeGrid->setCurrentCell(0, 0);
    form()->functions().CodeGridDblClick(nullptr);
    EXPECT_EQ(form()->ui().re->selectedText(), "");
}

TEST_F(Functions, CodeExplorerActivationFindsTheFirstOccurrence)
{
    form()->ui().re->setWholeText(
        "// FUNCTION TWIN()\nfunction twin()\nfunction twin()\nfunction other()\n");
    form()->item("CodeExplorer")->trigger();
    EXPECT_EQ(explorerRows(),
              QStringList({"function twin()", "function twin()", "function other()"}));
    form()->ui().CodeGrid->setCurrentCell(1, 0);
    form()->ui().CodeGrid->setFocus();
    QTest::keyClick(form()->ui().CodeGrid, Qt::Key_Return);
    EXPECT_EQ(selectionLine(), 1);
    EXPECT_EQ(form()->ui().re->selectedText(), "FUNCTION TWIN()");
    form()->ui().CodeGrid->setCurrentCell(2, 0);
    form()->functions().CodeGridDblClick(nullptr);
    EXPECT_EQ(selectionLine(), 4);

    // Indenting the document changes its lines, and the explorer follows.
    form()->item("IndentCode1")->trigger();
    form()->ui().re->setWholeText("if (1) {\nfunction inner()\n}\n");
    form()->item("IndentCode1")->trigger();
    tick();
    EXPECT_EQ(explorerRows(), QStringList({"    function inner()"}));
}

TEST_F(Functions, AJumpShowsTheDeclarationInTheUpperThirdOfTheView)
{
    QByteArray text = "<?php\n";
    for (int i = 0; i < 300; ++i)
        text += "$line = " + QByteArray::number(i) + ";\n";
    text += "function far_below() {}\n";
    for (int i = 0; i < 300; ++i)
        text += "$tail = 1;\n";
    addToProject(write("long.php", text));
    form()->resize(900, 700);
    QApplication::processEvents();
    choose("far_below", 0);
    form()->item("Allfunctionlist1")->trigger();
    CodeEditor *re = form()->ui().re;
    const long first = re->SendScintilla(QsciScintilla::SCI_GETFIRSTVISIBLELINE);
    const long screen = re->SendScintilla(QsciScintilla::SCI_LINESONSCREEN);
    ASSERT_GT(screen, 6);
    EXPECT_EQ(selectionLine(), 302);
    EXPECT_GE(302 - 1, first);
    EXPECT_LT(302 - 1 - first, screen / 3) << first << " of " << screen;
}
