// Function navigation: the project functions list, the current file's list
// and the code explorer docked at the left of the editor.
#include "app/main_window.h"

#include "app/window_set.h"
#include "foundation/handler_guard.h"
#include "editor/code_editor.h"
#include "forms/project_functions_dialog.h"
#include "forms/file_functions_dialog.h"
#include "foundation/trace.h"
#include "foundation/user_dialogs.h"
#include "project/function_scan.h"

#include <QAction>
#include <QDialog>
#include <QEvent>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTableWidget>
#include <QTimer>
#include <functional>

namespace {
// Lets a handler see a control's events without subclassing the control.
class EventHook final : public QObject {
public:
    EventHook(QObject *watched, std::function<bool(QEvent *)> handler)
        : QObject(watched), m_handler(std::move(handler))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override { return m_handler(event); }

private:
    std::function<bool(QEvent *)> m_handler;
};

void setCell(QTableWidget *grid, int row, int column, const QString &text)
{
    QTableWidgetItem *cell = grid->item(row, column);
    if (!cell)
        grid->setItem(row, column, new QTableWidgetItem(text));
    else if (cell->text() != text)
        cell->setText(text);
}
} // namespace

void MainWindow::bindNavigation()
{
    // The explorer's look: small proportional font, 15-pixel rows, wide columns.
    QFont font(QStringLiteral("Tahoma"));
    if (!QFontDatabase::families().contains(font.family(), Qt::CaseInsensitive))
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(11);
    CodeGrid->setFont(font);
    CodeGrid->verticalHeader()->setMinimumSectionSize(1);
    CodeGrid->verticalHeader()->setDefaultSectionSize(15);
    CodeGrid->horizontalHeader()->setDefaultSectionSize(1000);
    CodeGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    CodeGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    CodeGrid->setRowCount(1);
    setCell(CodeGrid, 0, 0, QString());
    setCell(CodeGrid, 0, 1, QString());
    CodeSplitter->hide();

    // Any change of the document, typed, loaded or re-indented, marks the
    // explorer's rows out of date; an unchanged text needs no rebuild.
    connect(re, &CodeEditor::documentChanged, this, [this] { m_explorerStale = true; });
    connect(CodeExplorerRefresh, &QTimer::timeout, this,
            [this] { RunGuarded([this] { CodeExplorerRefreshTimer(CodeExplorerRefresh); }); });
    connect(CodeGrid, &QTableWidget::cellDoubleClicked, this,
            [this] { RunGuarded([this] { CodeGridDblClick(CodeGrid); }); });
    new EventHook(CodeGrid, [this](QEvent *event) {
        if (event->type() == QEvent::FocusIn) {
            RunGuarded([this] { CodeGridEnter(CodeGrid); });
        } else if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                RunGuarded([this, key] { CodeGridKeyDown(key->key(), key->modifiers()); });
                return true;
            }
        }
        return false;
    });
}

void MainWindow::selectFirstOccurrence(const QString &text)
{
    // From the start of the document, letter case ignored; not found changes nothing.
    re->searchWholeDocument(text);
}

void MainWindow::Allfunctionlist1Click(QObject *)
{
    ProjectFunctionsDialog *form = m_windows->projectFunctionsDialog;
    const QString previous = form->filterCell(0, form->currentRow());
    form->clearRows();
    m_project.ScanFunctions();
    form->setRows(m_project.FunctionLines, m_project.FunctionFiles);
    if (form->ShowWithSelection(previous) != QDialog::Accepted)
        return;
    const int row = form->currentRow();
    const QString file = form->filterCell(1, row);
    const QString line = form->filterCell(0, row);
    TraceLog(file);
    TraceLog(line);
    if (file.isEmpty())
        return;
    OpenFileAtLine(file, true);
    selectFirstOccurrence(line);
}

void MainWindow::FunctionList1Click(QObject *)
{
    FileFunctionsDialog *form = m_windows->fileFunctionsDialog;
    form->setLines(FileFunctionLines(re->wholeText()));
    if (Dialogs().showModal(form) != QDialog::Accepted || !form->hasSelection())
        return;
    selectFirstOccurrence(form->selectedText());
}

void MainWindow::CodeExplorerClick(QObject *)
{
    const bool shown = item(QStringLiteral("CodeExplorer"))->isChecked();
    CodeGrid->setVisible(shown);
    CodeSplitter->setVisible(shown);
    if (shown)
        CodeGridEnter(nullptr);
}

void MainWindow::rebuildCodeGrid()
{
    if (!m_explorerStale)
        return;
    m_explorerStale = false;
    ++m_explorerRebuilds;
    const QStringList lines = FileFunctionLines(re->wholeText());
    const int rows = qMax(1, int(lines.size()));
    if (CodeGrid->rowCount() != rows)
        CodeGrid->setRowCount(rows); // the current row stays while it exists
    // Only changed cells are written, so a rebuild after typing costs little.
    for (int row = 0; row < rows; ++row) {
        setCell(CodeGrid, row, 0, row < lines.size() ? lines.at(row) : QString());
        setCell(CodeGrid, row, 1, QString());
    }
}

void MainWindow::CodeGridEnter(QObject *)
{
    rebuildCodeGrid();
}

void MainWindow::CodeGridDblClick(QObject *)
{
    const QTableWidgetItem *cell = CodeGrid->item(CodeGrid->currentRow(), 0);
    if (cell && !cell->text().isEmpty())
        selectFirstOccurrence(cell->text());
}

void MainWindow::CodeGridKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        CodeGridDblClick(CodeGrid);
}

void MainWindow::CodeExplorerRefreshTimer(QObject *)
{
    if (CodeGrid->isVisible())
        rebuildCodeGrid();
}
