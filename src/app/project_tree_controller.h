#pragma once

#include "app/controller.h"

#include <QString>

class QPoint;

// The project commands and the project tree: the tree mirrors the project's
// file list, opens what the user selects and carries the lock, remove and
// rename commands of its popup.
class ProjectTreeController final : public Controller {
    Q_OBJECT

public:
    ProjectTreeController(MainWindow &window, Project &project, const MainWindowUi &ui,
                          const SecondaryWindows &windows);

    void OpenProject(const QString &path);
    // Before the project gives way to another: a saved project is written
    // when it changed, as at exit (a failed write asks whether to go on); a
    // never-saved project with files or settings asks to be saved. False
    // when the user chose to stay.
    bool SettleProject();
    void SaveProjectTo(const QString &path);
    void SavePrjClick(QObject *Sender);
    void Saveas1Click(QObject *Sender);
    void New1Click(QObject *Sender);
    void Open2Click(QObject *Sender);
    void Files1Click(QObject *Sender);
    void ProjectAddClick(QObject *Sender);
    void pmitemClick(QObject *Sender);
    // The project was loaded: the recent list and the preview's address follow.
    void OnLoadedExecute();

    // The selected node's integer: -1 the project node, else the entry index;
    // NoNode without a selection.
    static constexpr int NoNode = -2;
    int SelectedNode() const;
    // Rebuilt on every project update.
    void OnProjectUpdateExecute();
    void PrTreeDblClick(QObject *Sender);
    void PrTreeKeyDown(int key, Qt::KeyboardModifiers shift);
    void ProjPopupPopup(QObject *Sender);
    void dontpublishClick(QObject *Sender);
    void removefromprojClick(QObject *Sender);
    void Rename1Click(QObject *Sender);

private:
    void showPopup(const QPoint &at);
};
