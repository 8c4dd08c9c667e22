// Function navigation: the project functions list, the current file's list
// and the code explorer docked at the left of the editor.
#include "app/function_list_controller.h"

#include "app/symbol_controller.h"
#include "editor/code_editor.h"
#include "forms/file_functions_dialog.h"
#include "forms/project_functions_dialog.h"
#include "foundation/handler_guard.h"
#include "foundation/trace.h"
#include "foundation/user_dialogs.h"
#include "project/function_scan.h"
#include "project/php_symbols.h"
#include "project/project.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <utility>

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

// A document larger than this gets its outline from the symbol index, whose
// reader parses such documents on a worker.
constexpr qsizetype OutlineFromIndexBytes = 1024 * 1024;

void setCell(QTableWidget *grid, int row, int column, const QString &text)
{
    QTableWidgetItem *cell = grid->item(row, column);
    if (!cell)
        grid->setItem(row, column, new QTableWidgetItem(text));
    else if (cell->text() != text)
        cell->setText(text);
}
} // namespace

FunctionListController::FunctionListController(Project &project, CodeEditor *editor,
                                               Explorer explorer,
                                               ProjectFunctionsDialog *const &projectFunctions,
                                               FileFunctionsDialog *const &fileFunctions,
                                               OpenFile openFile)
    : m_project(project), m_editor(editor), m_explorer(explorer),
      m_projectFunctions(projectFunctions), m_fileFunctions(fileFunctions),
      m_openFile(std::move(openFile))
{
    // The explorer's look: the desktop's font, compact rows, wide columns.
    m_explorer.grid->setFont(QApplication::font());
    m_explorer.grid->verticalHeader()->setMinimumSectionSize(1);
    m_explorer.grid->verticalHeader()->setDefaultSectionSize(
        m_explorer.grid->fontMetrics().height() + 2);
    m_explorer.grid->horizontalHeader()->setDefaultSectionSize(1000);
    m_explorer.grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_explorer.grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_explorer.grid->setRowCount(1);
    setCell(m_explorer.grid, 0, 0, QString());
    setCell(m_explorer.grid, 0, 1, QString());
    m_explorer.splitter->hide();

    // Any change of the document, typed, loaded or re-indented, marks the
    // explorer's rows out of date; an unchanged text needs no rebuild.
    connect(m_editor, &CodeEditor::documentChanged, this, [this] { m_explorerStale = true; });
    connect(m_explorer.refresh, &QTimer::timeout, this,
            [this] { RunGuarded([this] { CodeExplorerRefreshTimer(m_explorer.refresh); }); });
    connect(m_explorer.grid, &QTableWidget::cellDoubleClicked, this,
            [this] { RunGuarded([this] { CodeGridDblClick(m_explorer.grid); }); });
    // An outline row jumps on a single click; the caret's place is shown as it moves.
    connect(m_explorer.grid, &QTableWidget::cellClicked, this, [this] {
        if (!m_outline.empty())
            RunGuarded([this] { CodeGridDblClick(m_explorer.grid); });
    });
    connect(m_editor, &QsciScintilla::cursorPositionChanged, this, [this] {
        if (m_explorer.grid->isVisible())
            RunGuarded([this] { followCaret(); });
    });
    new EventHook(m_explorer.grid, this, [this](QEvent *event) {
        if (event->type() == QEvent::FocusIn) {
            RunGuarded([this] { CodeGridEnter(m_explorer.grid); });
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
    if (!m_editor->searchWholeDocument(text))
        return;
    // The declaration in the upper third of the view, with what follows it
    // below, rather than on the last line the editor scrolled to.
    CodeEditor *re = m_editor;
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
    ProjectFunctionsDialog *form = m_projectFunctions;
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
    m_openFile(file);
    selectFirstOccurrence(line);
}

void FunctionListController::FunctionList1Click(QObject *)
{
    FileFunctionsDialog *form = m_fileFunctions;
    form->setLines(FileFunctionLines(m_editor->wholeText()));
    if (Dialogs().showModal(form) != QDialog::Accepted || !form->hasSelection())
        return;
    selectFirstOccurrence(form->selectedText());
}

void FunctionListController::CodeExplorerClick(QObject *)
{
    const bool shown = m_explorer.item->isChecked();
    m_explorer.grid->setVisible(shown);
    m_explorer.splitter->setVisible(shown);
    if (shown)
        CodeGridEnter(nullptr);
}

void FunctionListController::useSymbols(SymbolController *symbols)
{
    m_symbols = symbols;
    connect(symbols, &SymbolController::documentIndexed, this, [this](const QString &path) {
        if (QDir::cleanPath(QFileInfo(m_explorerPath).absoluteFilePath()) != path)
            return;
        m_explorerStale = true;
        if (m_explorer.grid->isVisible())
            RunGuarded([this] { rebuildCodeGrid(); });
    });
}

void FunctionListController::rebuildCodeGrid()
{
    if (m_editor->filePath() != m_explorerPath)
        m_explorerStale = true;
    if (!m_explorerStale)
        return;
    m_explorerStale = false;
    const bool otherDocument = m_editor->filePath() != m_explorerPath;
    m_explorerPath = m_editor->filePath();
    const bool php = SymbolController::isPhpPath(m_explorerPath);
    // A large document's declarations come from the index, read on a worker:
    // parsing it here would hold the window. Until they are in, the rows of
    // its earlier text stay.
    const bool large = php && m_symbols && m_editor->documentLength() > OutlineFromIndexBytes;
    PhpFileSymbols parsed;
    const PhpFileSymbols *symbols = &parsed;
    if (large) {
        // The text typed since is read after the typing pause, as the index
        // does anyway; documentIndexed brings it here.
        const QString path = QDir::cleanPath(QFileInfo(m_explorerPath).absoluteFilePath());
        const IndexedFile *indexed = m_symbols->indexAsItStands().file(path);
        if (!indexed && !m_symbols->isReadingDocument())
            m_symbols->index(); // not read yet: the worker starts now
        if (m_symbols->isReadingDocument() || !indexed) {
            m_explorerStale = true; // rebuilt when the worker's read is in
            if (otherDocument) {
                // Another document's rows would jump to wrong places.
                m_outline.clear();
                m_explorer.grid->setRowCount(1);
                setCell(m_explorer.grid, 0, 0, QString());
            }
            return;
        }
        symbols = &indexed->symbols;
    } else if (php) {
        parsed = ExtractPhpSymbols(
            std::string_view(m_editor->documentBytes(), size_t(m_editor->documentLength())));
    }
    QStringList lines;
    m_outline.clear();
    if (php) {
        const PhpFileSymbols &file = *symbols;
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
    if (m_outline.empty() && !large)
        lines = FileFunctionLines(m_editor->wholeText());
    ++m_explorerRebuilds;
    const int rows = qMax(1, int(lines.size()));
    if (m_explorer.grid->rowCount() != rows)
        m_explorer.grid->setRowCount(rows); // the current row stays while it exists
    // Only changed cells are written, so a rebuild after typing costs little.
    for (int row = 0; row < rows; ++row) {
        setCell(m_explorer.grid, row, 0, row < lines.size() ? lines.at(row) : QString());
        setCell(m_explorer.grid, row, 1, QString());
    }
    followCaret();
}

int FunctionListController::outlineRowAtCaret() const
{
    const int line = m_editor->caretLine();
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
    if (m_outline.empty() || m_explorer.grid->hasFocus())
        return;
    const int row = outlineRowAtCaret();
    if (row >= 0 && row != m_explorer.grid->currentRow())
        m_explorer.grid->setCurrentCell(row, 0);
    else if (row < 0)
        m_explorer.grid->clearSelection();
}

void FunctionListController::CodeGridEnter(QObject *)
{
    rebuildCodeGrid();
}

void FunctionListController::CodeGridDblClick(QObject *)
{
    const int current = m_explorer.grid->currentRow();
    if (current >= 0 && current < int(m_outline.size())) {
        // The declaration's name selected at its place; the focus stays.
        const OutlineRow &o = m_outline[size_t(current)];
        const long lines = m_editor->SendScintilla(QsciScintilla::SCI_GETLINECOUNT);
        const long line = std::clamp<long>(o.line - 1, 0, lines - 1);
        const long start = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, line);
        const long end = m_editor->SendScintilla(QsciScintilla::SCI_GETLINEENDPOSITION, line);
        const long from = std::min(start + o.column, end);
        m_editor->SendScintilla(QsciScintilla::SCI_SETSEL, std::min(from + o.nameSize, end), from);
        m_editor->SendScintilla(QsciScintilla::SCI_SCROLLCARET);
        return;
    }
    const QTableWidgetItem *cell = m_explorer.grid->item(m_explorer.grid->currentRow(), 0);
    if (cell && !cell->text().isEmpty())
        selectFirstOccurrence(cell->text());
}

void FunctionListController::CodeGridKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        CodeGridDblClick(m_explorer.grid);
}

void FunctionListController::CodeExplorerRefreshTimer(QObject *)
{
    if (m_explorer.grid->isVisible())
        rebuildCodeGrid();
}
