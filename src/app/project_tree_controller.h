#pragma once

#include "app/controller.h"
#include "app/project_instance.h"

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

    // Opens the project file; when another window has it open, asks first
    // whether to open it here as well or bring that window to the front.
    void OpenProject(const QString &path);
    // The user chose to bring another window to the front instead of opening here.
    bool gaveWay() const { return m_gaveWay; }
    // Before the project gives way to another: a saved project is written
    // when it changed, as at exit (a failed write asks whether to go on); a
    // never-saved project with files or settings asks to be saved. False
    // when the user chose to stay.
    bool SettleProject();
    // Writes the project; onto its own file only after merging what another
    // program wrote there meanwhile (or with the user's word when both
    // changed the same setting). Keeping the file as it is writes nothing.
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
    // Shows the tree with the node of the entry for `path` selected.
    void RevealFile(const QString &path);

private:
    // False when the user chose to keep the file as another program left it.
    bool mergeOutsideChanges();

    void showPopup(const QPoint &at);

    ProjectInstance m_instance;
    bool m_gaveWay = false;
};
