// Function navigation: the project functions list, the current file's list
// and the code explorer docked at the left of the editor.
#include "app/function_list_controller.h"

#include "app/document_controller.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/symbol_controller.h"
#include "app/window_set.h"
#include "editor/code_editor.h"
#include "forms/file_functions_dialog.h"
#include "forms/project_functions_dialog.h"
#include "foundation/handler_guard.h"
#include "foundation/trace.h"
#include "foundation/user_dialogs.h"
#include "project/function_scan.h"
#include "project/php_symbols.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {
// Lets a handler see a control's events without subclassing the control.
class EventHook final : public QObject {
public:
    // Ends with `owner`, so no event reaches a handler whose owner is gone.
    EventHook(QObject *watched, QObject *owner, std::function<bool(QEvent *)> handler)
        : QObject(owner), m_handler(std::move(handler))
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

FunctionListController::FunctionListController(MainWindow &window, Project &project,
                                               const MainWindowUi &ui,
                                               const SecondaryWindows &windows)
    : Controller(window, project, ui, windows)
{
    // The explorer's look: the desktop's font, compact rows, wide columns.
    m_ui.CodeGrid->setFont(QApplication::font());
    m_ui.CodeGrid->verticalHeader()->setMinimumSectionSize(1);
    m_ui.CodeGrid->verticalHeader()->setDefaultSectionSize(m_ui.CodeGrid->fontMetrics().height() +
                                                           2);
    m_ui.CodeGrid->horizontalHeader()->setDefaultSectionSize(1000);
    m_ui.CodeGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_ui.CodeGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_ui.CodeGrid->setRowCount(1);
    setCell(m_ui.CodeGrid, 0, 0, QString());
    setCell(m_ui.CodeGrid, 0, 1, QString());
    m_ui.CodeSplitter->hide();

    // Any change of the document, typed, loaded or re-indented, marks the
    // explorer's rows out of date; an unchanged text needs no rebuild.
    connect(m_ui.re, &CodeEditor::documentChanged, this, [this] { m_explorerStale = true; });
    connect(m_ui.CodeExplorerRefresh, &QTimer::timeout, this,
            [this] { RunGuarded([this] { CodeExplorerRefreshTimer(m_ui.CodeExplorerRefresh); }); });
    connect(m_ui.CodeGrid, &QTableWidget::cellDoubleClicked, this,
            [this] { RunGuarded([this] { CodeGridDblClick(m_ui.CodeGrid); }); });
    // An outline row jumps on a single click; the caret's place is shown as it moves.
    connect(m_ui.CodeGrid, &QTableWidget::cellClicked, this, [this] {
        if (!m_outline.empty())
            RunGuarded([this] { CodeGridDblClick(m_ui.CodeGrid); });
    });
    connect(m_ui.re, &QsciScintilla::cursorPositionChanged, this, [this] {
        if (m_ui.CodeGrid->isVisible())
            RunGuarded([this] { followCaret(); });
    });
    new EventHook(m_ui.CodeGrid, this, [this](QEvent *event) {
        if (event->type() == QEvent::FocusIn) {
            RunGuarded([this] { CodeGridEnter(m_ui.CodeGrid); });
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

void FunctionListController::selectFirstOccurrence(const QString &text)
{
    // From the start of the document, letter case ignored; not found changes nothing.
    if (!m_ui.re->searchWholeDocument(text))
        return;
    // The declaration in the upper third of the view, with what follows it
    // below, rather than on the last line the editor scrolled to.
    CodeEditor *re = m_ui.re;
    const long caretLine = re->SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION,
                                             re->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS));
    const long shown = re->SendScintilla(QsciScintilla::SCI_VISIBLEFROMDOCLINE, caretLine);
    const long first = re->SendScintilla(QsciScintilla::SCI_GETFIRSTVISIBLELINE);
    const long screen = std::max(1L, re->SendScintilla(QsciScintilla::SCI_LINESONSCREEN));
    if (shown < first || shown >= first + screen / 3)
        re->SendScintilla(QsciScintilla::SCI_SETFIRSTVISIBLELINE,
                          static_cast<unsigned long>(std::max(0L, shown - screen / 5)));
}

void FunctionListController::Allfunctionlist1Click(QObject *)
{
    ProjectFunctionsDialog *form = m_windows.projectFunctionsDialog;
    const QString previous = form->filterCell(0, form->currentRow());
    form->clearRows();
    m_project.ScanFunctions();
    QStringList lines = m_project.FunctionLines;
    QStringList files = m_project.FunctionFiles;
    for (const QString &skipped : m_project.ScanSkipped) {
        lines.append(QStringLiteral("Skipped: ") + skipped);
        files.append(QString());
    }
    form->setRows(lines, files);
    if (form->ShowWithSelection(previous) != QDialog::Accepted)
        return;
    const int row = form->currentRow();
    const QString file = form->filterCell(1, row);
    const QString line = form->filterCell(0, row);
    TraceLog(file);
    TraceLog(line);
    if (file.isEmpty())
        return;
    m_window.documents().OpenFileAtLine(file, true);
    selectFirstOccurrence(line);
}

void FunctionListController::FunctionList1Click(QObject *)
{
    FileFunctionsDialog *form = m_windows.fileFunctionsDialog;
    form->setLines(FileFunctionLines(m_ui.re->wholeText()));
    if (Dialogs().showModal(form) != QDialog::Accepted || !form->hasSelection())
        return;
    selectFirstOccurrence(form->selectedText());
}

void FunctionListController::CodeExplorerClick(QObject *)
{
    const bool shown = m_window.item(QStringLiteral("CodeExplorer"))->isChecked();
    m_ui.CodeGrid->setVisible(shown);
    m_ui.CodeSplitter->setVisible(shown);
    if (shown)
        CodeGridEnter(nullptr);
}

void FunctionListController::rebuildCodeGrid()
{
    if (m_ui.re->filePath() != m_explorerPath)
        m_explorerStale = true;
    if (!m_explorerStale)
        return;
    m_explorerStale = false;
    m_explorerPath = m_ui.re->filePath();
    ++m_explorerRebuilds;
    QStringList lines;
    m_outline.clear();
    if (SymbolController::isPhpPath(m_explorerPath)) {
        const std::string_view source(m_ui.re->documentBytes(), size_t(m_ui.re->documentLength()));
        const PhpFileSymbols file = ExtractPhpSymbols(source);
        for (const PhpSymbol &s : file.symbols) {
            const bool shown = s.kind == PhpSymbolKind::Namespace || IsClassLike(s.kind) ||
                               s.kind == PhpSymbolKind::Method || s.kind == PhpSymbolKind::Function;
            if (!shown)
                continue;
            int depth = 0;
            for (int c = s.container; c >= 0; c = file.symbols[size_t(c)].container)
                ++depth;
            const size_t cut = s.name.rfind('\\');
            const std::string shortName = s.name.substr(
                cut == std::string::npos || s.kind == PhpSymbolKind::Namespace ? 0 : cut + 1);
            QString text = QString(depth * 4, u' ');
            if (s.kind == PhpSymbolKind::Namespace || IsClassLike(s.kind))
                text += QString::fromLatin1(PhpSymbolKindName(s.kind)) + u' ' +
                        QString::fromStdString(shortName);
            else
                text += QString::fromStdString(s.signature);
            lines << text;
            m_outline.push_back({int(s.line), int(std::max(s.endLine, s.line)), int(s.column),
                                 int(shortName.size())});
        }
    }
    if (m_outline.empty())
        lines = FileFunctionLines(m_ui.re->wholeText());
    const int rows = qMax(1, int(lines.size()));
    if (m_ui.CodeGrid->rowCount() != rows)
        m_ui.CodeGrid->setRowCount(rows); // the current row stays while it exists
    // Only changed cells are written, so a rebuild after typing costs little.
    for (int row = 0; row < rows; ++row) {
        setCell(m_ui.CodeGrid, row, 0, row < lines.size() ? lines.at(row) : QString());
        setCell(m_ui.CodeGrid, row, 1, QString());
    }
    followCaret();
}

int FunctionListController::outlineRowAtCaret() const
{
    const int line = m_ui.re->caretLine();
    int best = -1;
    for (int row = 0; row < int(m_outline.size()); ++row) {
        const OutlineRow &o = m_outline[size_t(row)];
        if (o.line > line)
            break;
        if (line <= o.endLine)
            best = row; // later rows in range are nested deeper
    }
    return best;
}

void FunctionListController::followCaret()
{
    // Not while the user moves through the list itself.
    if (m_outline.empty() || m_ui.CodeGrid->hasFocus())
        return;
    const int row = outlineRowAtCaret();
    if (row >= 0 && row != m_ui.CodeGrid->currentRow())
        m_ui.CodeGrid->setCurrentCell(row, 0);
    else if (row < 0)
        m_ui.CodeGrid->clearSelection();
}

void FunctionListController::CodeGridEnter(QObject *)
{
    rebuildCodeGrid();
}

void FunctionListController::CodeGridDblClick(QObject *)
{
    const int current = m_ui.CodeGrid->currentRow();
    if (current >= 0 && current < int(m_outline.size())) {
        // The declaration's name selected at its place; the focus stays.
        const OutlineRow &o = m_outline[size_t(current)];
        const long lines = m_ui.re->SendScintilla(QsciScintilla::SCI_GETLINECOUNT);
        const long line = std::clamp<long>(o.line - 1, 0, lines - 1);
        const long start = m_ui.re->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, line);
        const long end = m_ui.re->SendScintilla(QsciScintilla::SCI_GETLINEENDPOSITION, line);
        const long from = std::min(start + o.column, end);
        m_ui.re->SendScintilla(QsciScintilla::SCI_SETSEL, std::min(from + o.nameSize, end), from);
        m_ui.re->SendScintilla(QsciScintilla::SCI_SCROLLCARET);
        return;
    }
    const QTableWidgetItem *cell = m_ui.CodeGrid->item(m_ui.CodeGrid->currentRow(), 0);
    if (cell && !cell->text().isEmpty())
        selectFirstOccurrence(cell->text());
}

void FunctionListController::CodeGridKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        CodeGridDblClick(m_ui.CodeGrid);
}

void FunctionListController::CodeExplorerRefreshTimer(QObject *)
{
    if (m_ui.CodeGrid->isVisible())
        rebuildCodeGrid();
}
