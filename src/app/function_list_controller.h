#pragma once

#include "app/controller.h"

#include <QString>

// Function navigation: the project functions list, the current file's list
// and the code explorer docked at the left of the editor, which keeps the
// document's declaration lines while shown. Owns whether the explorer's rows
// are out of date.
class FunctionListController final : public Controller {
    Q_OBJECT

public:
    FunctionListController(MainWindow &window, Project &project, const MainWindowUi &ui,
                           const SecondaryWindows &windows);

    // The project's functions (scanned from disk) and the current document's.
    void Allfunctionlist1Click(QObject *Sender);
    void FunctionList1Click(QObject *Sender);
    void CodeExplorerClick(QObject *Sender);
    void CodeGridEnter(QObject *Sender);
    void CodeGridDblClick(QObject *Sender);
    void CodeGridKeyDown(int key, Qt::KeyboardModifiers shift);
    void CodeExplorerRefreshTimer(QObject *Sender);
    // How many times the explorer's rows were really rebuilt (unchanged text is skipped).
    int codeExplorerRebuilds() const { return m_explorerRebuilds; }

private:
    void rebuildCodeGrid();
    void selectFirstOccurrence(const QString &text);

    bool m_explorerStale = true;
    int m_explorerRebuilds = 0;
};
