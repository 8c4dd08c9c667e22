#include "forms/file_functions_dialog.h"
#include "forms/project_functions_dialog.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTableView>
#include <QTest>

namespace {
QStringList visibleLines(const ProjectFunctionsDialog &form)
{
    QStringList lines;
    for (int row = 0; row < form.filterRowCount(); ++row)
        lines << form.filterCell(0, row) + '@' + form.filterCell(1, row);
    return lines;
}

// Opens the dialog as the active window, so keys and focus behave as for the user.
void openActive(QDialog &dialog)
{
    dialog.open();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
}
} // namespace

TEST(ProjectFunctionsDialog, FileNameCellsPast20CharactersShowTheirEnd)
{
    EXPECT_EQ(ProjectFunctionsDialog::FileNameCellText("abcdefghij0123456789"),
              "abcdefghij0123456789");
    EXPECT_EQ(ProjectFunctionsDialog::FileNameCellText("xabcdefghij0123456789"),
              "...defghij0123456789");
    EXPECT_EQ(ProjectFunctionsDialog::FileNameCellText("xabcdefghij0123456789").size(), 20);
    EXPECT_EQ(ProjectFunctionsDialog::FileNameCellText(""), "");
}

TEST(ProjectFunctionsDialog, SortsAndFiltersOnTheLineOnly)
{
    ScriptedDialogs dialogs;
    ProjectFunctionsDialog form;
    // Empty: one empty row.
    EXPECT_EQ(visibleLines(form), QStringList({"@"}));
    form.setRows(
        {"function b()", "function b()", "function a()", "function Foo()", "  function z()"},
        {"f1", "f2", "f3", "foo.php", "f5"});
    EXPECT_EQ(form.ShowWithSelection(QString()), 0);
    EXPECT_EQ(dialogs.modalWindows.back(), &form);
    EXPECT_EQ(visibleLines(form),
              QStringList({"  function z()@f5", "function Foo()@foo.php", "function a()@f3",
                           "function b()@f2", "function b()@f1"}));
    // Case-sensitive, never in the file name.
    form.search_edit->setText("foo");
    EXPECT_EQ(visibleLines(form), QStringList({"@"}));
    form.search_edit->setText("Foo");
    EXPECT_EQ(visibleLines(form), QStringList({"function Foo()@foo.php"}));
    form.search_edit->setText("b(");
    EXPECT_EQ(visibleLines(form), QStringList({"function b()@f2", "function b()@f1"}));
    form.search_edit->clear();
    EXPECT_EQ(form.filterRowCount(), 5);
    form.clearRows();
    EXPECT_EQ(visibleLines(form), QStringList({"@"}));
}

TEST(ProjectFunctionsDialog, FilterAndPreselectionCarryAcrossShowings)
{
    ScriptedDialogs dialogs;
    ProjectFunctionsDialog form;
    const QStringList lines = {"function c()", "function a()", "function ab()", "function b()"};
    const QStringList files = {"c.php", "a.php", "ab.php", "b.php"};
    form.setRows(lines, files);
    // The user types a filter and moves to the second visible row.
    dialogs.onModal = [&](QWidget *) {
        form.search_edit->setText("a");
        form.setCurrentRow(1);
        return int(QDialog::Accepted);
    };
    EXPECT_EQ(form.ShowWithSelection(QString()), QDialog::Accepted);
    EXPECT_EQ(form.filterCell(0, form.currentRow()), "function ab()");

    // Next time the rows are rebuilt; the filter stays and the previous choice is current.
    const QString previous = form.filterCell(0, form.currentRow());
    form.clearRows();
    form.setRows(lines, files);
    QString seen;
    dialogs.onModal = [&](QWidget *) {
        seen = form.search_edit->text() + '|' + form.filterCell(0, form.currentRow());
        return int(QDialog::Rejected);
    };
    form.ShowWithSelection(previous);
    EXPECT_EQ(seen, "a|function ab()");
    // A line no longer present leaves the first row current.
    form.setRows({"function q()", "function qa()"}, {"q", "qa"});
    form.ShowWithSelection(previous);
    EXPECT_EQ(seen, "a|function qa()");
}

TEST(ProjectFunctionsDialog, KeysOfTheDialog)
{
    ProjectFunctionsDialog form;
    form.setRows({"function a()", "function b()"}, {"a", "b"});
    form.open();
    QTest::keyClick(form.search_edit, Qt::Key_F2);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);

    openActive(form);
    EXPECT_TRUE(form.search_edit->hasFocus());
    QTest::keyClick(form.search_edit, Qt::Key_Down);
    EXPECT_TRUE(form.filter_grid->hasFocus());
    QTest::keyClick(form.filter_grid, Qt::Key_Down);
    EXPECT_EQ(form.currentRow(), 1);
    QTest::keyClick(form.filter_grid, Qt::Key_Return);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);

    form.open();
    QTest::keyClick(form.filter_grid, Qt::Key_Escape);
    EXPECT_EQ(form.result(), QDialog::Rejected);

    openActive(form);
    const QRect cell = form.filter_grid->visualRect(form.filter_grid->model()->index(0, 0));
    QTest::mouseClick(form.filter_grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(form.filter_grid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST(FileFunctionsDialog, ListsWithoutSelectionUntilTheUserPicks)
{
    FileFunctionsDialog form;
    form.setLines({"function a()", "  $f = function ($x)"});
    EXPECT_EQ(form.lines(), QStringList({"function a()", "  $f = function ($x)"}));
    EXPECT_FALSE(form.hasSelection());
    EXPECT_EQ(form.selectedText(), "");
    form.selectRow(1);
    EXPECT_EQ(form.selectedText(), "  $f = function ($x)");
    form.setLines({"function z()"});
    EXPECT_FALSE(form.hasSelection());

    openActive(form);
    const QRect item = form.ListBox1->visualItemRect(form.ListBox1->item(0));
    QTest::mouseClick(form.ListBox1->viewport(), Qt::LeftButton, {}, item.center());
    QTest::mouseDClick(form.ListBox1->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.selectedText(), "function z()");
}
