#pragma once

#include "app/open_file.h"

#include <QObject>
#include <QString>

#include <vector>

class CodeEditor;
class FileFunctionsDialog;
class Project;
class ProjectFunctionsDialog;
class QAction;
class SymbolController;
class QTableWidget;
class QTimer;
class QWidget;

// Function navigation: the project functions list, the current file's list
// and the code explorer docked at the left of the editor, which keeps the
// document's declaration lines while shown. Owns whether the explorer's rows
// are out of date.
class FunctionListController final : public QObject {
    Q_OBJECT

public:
    // The explorer's controls and its menu item; the function dialogs are made
    // after the main window, so their slots are read at use.
    struct Explorer {
        QTableWidget *grid = nullptr;
        QWidget *splitter = nullptr;
        QTimer *refresh = nullptr;
        QAction *item = nullptr;
    };
    FunctionListController(Project &project, CodeEditor *editor, Explorer explorer,
                           ProjectFunctionsDialog *const &projectFunctions,
                           FileFunctionsDialog *const &fileFunctions, OpenFile openFile);

    // The project's functions (scanned from disk) and the current document's.
    void Allfunctionlist1Click(QObject *Sender);
    void FunctionList1Click(QObject *Sender);
    // A large document's outline is taken from this index instead of parsed here.
    void useSymbols(SymbolController *symbols);
    void CodeExplorerClick(QObject *Sender);
    void CodeGridEnter(QObject *Sender);
    void CodeGridDblClick(QObject *Sender);
    void CodeGridKeyDown(int key, Qt::KeyboardModifiers shift);
    void CodeExplorerRefreshTimer(QObject *Sender);
    // How many times the explorer's rows were really rebuilt (unchanged text is skipped).
    int codeExplorerRebuilds() const { return m_explorerRebuilds; }

    // The outline row of the innermost declaration holding the editor's caret; -1: none.
    int outlineRowAtCaret() const;

private:
    void rebuildCodeGrid();
    void followCaret();
    void selectFirstOccurrence(const QString &text);

    // A PHP file's explorer is its outline: one row per namespace, class-like,
    // method and function, indented by nesting; the other documents keep
    // their declaration lines. Empty in that line mode.
    struct OutlineRow {
        int line;     // 1-based
        int endLine;  // last line of the body
        int column;   // byte offset of the name in its line
        int nameSize; // bytes
    };
    Project &m_project;
    CodeEditor *m_editor;
    Explorer m_explorer;
    ProjectFunctionsDialog *const &m_projectFunctions;
    FileFunctionsDialog *const &m_fileFunctions;
    OpenFile m_openFile;
    std::vector<OutlineRow> m_outline;
    SymbolController *m_symbols = nullptr;
    QString m_explorerPath; // the document the rows were built for
    bool m_explorerStale = true;
    int m_explorerRebuilds = 0;
};
