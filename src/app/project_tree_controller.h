#pragma once

#include "app/folder_scan_runner.h"
#include "app/folder_tree.h"
#include "app/menu_items.h"
#include "app/project_instance.h"
#include "foundation/xml_storage.h"
#include "project/project_prefetch.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

class BrowserFrame;
class CodeEditor;
class DocumentController;
class Project;
class ProjectFilesDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QPoint;
class QThread;
class QTreeWidget;
class QWidget;
class RecentFiles;

// The project commands and the project tree: the tree mirrors the project's
// file list, opens what the user selects and carries the lock, remove and
// rename commands of its popup.
class ProjectTreeController final : public QObject {
    Q_OBJECT

public:
    // The main window's controls the tree works on. `window` is raised when
    // another start hands its project over and parents the folder scans.
    struct Controls {
        QTreeWidget *tree = nullptr;
        QWidget *panel = nullptr; // the tree under its filter box
        QLineEdit *filter = nullptr;
        QMenu *popup = nullptr;
        CodeEditor *editor = nullptr;
        QLabel *status = nullptr;
        BrowserFrame *preview = nullptr;
        RecentFiles *recentProjects = nullptr;
        QWidget *window = nullptr;
    };
    // The Project Files window is made after the main window: read at use.
    ProjectTreeController(Project &project, Controls controls, MenuItems items,
                          DocumentController &documents, ProjectFilesDialog *const &projectFiles);
    ~ProjectTreeController() override;

    // Opens the project file; when another window has it open, asks first
    // whether to open it here as well or bring that window to the front.
    void OpenProject(const QString &path);
    // The same for the project named at start: a large file is read and
    // parsed on a thread of its own while the window answers, then taken in;
    // `then` runs once the project is in, or the open came to nothing. A
    // project opened or made by the user meanwhile wins over the one read.
    void OpenProjectInBackground(const QString &path, std::function<void()> then);
    // Project files from this size on are read in the background at start.
    static constexpr qint64 BackgroundBytes = 1024 * 1024;
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
    // File > Open Folder as Project...: asks for a folder, then OpenFolderAsProject.
    void OpenFolder1Click(QObject *Sender);
    // Makes `folder` the project: its own "<folder name>.wdx" when there is
    // one; otherwise one written there holding the folder's files (as
    // FolderScan takes them in), which then watches the folder.
    void OpenFolderAsProject(const QString &folder);
    // Project > Add Folder... (and on the tree's folder and project nodes):
    // the files of a chosen folder join the project, leaving out what it
    // excludes.
    void AddFolder1Click(QObject *Sender);
    // Project > Refresh from Folder: files that appeared in the project's
    // folder join it; entries whose file is gone show the warning image.
    void RefreshFolder1Click(QObject *Sender);
    // The filter box above the tree: only files whose path holds the text.
    void PrFilterChange(const QString &text);
    // The document shown in the editor: its node is selected and scrolled to.
    void ShowDocument(const QString &path);
    FolderWatch &folderWatch() { return m_watch; }
    void pmitemClick(QObject *Sender);
    // The project was loaded: the recent list and the preview's address follow.
    void OnLoadedExecute();

    // The selected node's integer: -1 the project node, else the entry index;
    // NoNode without a selection.
    static constexpr int NoNode = -2;
    int SelectedNode() const;
    // The entries of the selected node: a file's own, a folder's files.
    QList<int> SelectedEntries() const;
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

signals:
    // The project loaded now replaces the one before.
    void projectLoaded();
    // The project goes (another is made or opened in its place).
    void projectLeaving();

private:
    // Another window has the project: asks, and false when this one gave way.
    bool mayOpenHere(const QString &path);
    // Settles the open project and the document, then takes `read` in.
    void takeIn(const QString &path, const ProjectPrefetch::Read &read);
    // False when the user chose to keep the file as another program left it.
    bool mergeOutsideChanges();

    void showPopup(const QPoint &at);
    // The folder a refresh reads: the project file's.
    QString projectFolder() const;
    // Takes in what a walk of the project folder found; true when the tree changed.
    bool applyRefresh(const FolderScanResult &found);
    // The watched folder changed: walks it again on a worker thread.
    void refreshInBackground();
    void startWatching();
    // Looks on a worker thread which entries' files are missing, then shows
    // the warning image on them: a large tree is built without a file test.
    void checkFilesInBackground();

    Project &m_project;
    Controls m_controls;
    MenuItems m_items;
    DocumentController &m_documents;
    ProjectFilesDialog *const &m_projectFiles;
    ProjectInstance m_instance;
    bool m_gaveWay = false;
    std::thread m_reader;
    // Counts the projects opened or made, so a background read the user
    // overtook is dropped.
    int m_opens = 0;
    FolderTree m_folderTree;
    QString m_filter;
    QSet<QString> m_gone; // entries found missing by the last refresh
    FolderWatch m_watch;
    QThread *m_refreshThread = nullptr;
    bool m_refreshAgain = false;
    std::shared_ptr<std::atomic<bool>> m_refreshCancel;
    // The folders of a walk just made: watched without walking again.
    QStringList m_walkedFolders;
    QSet<QString> m_missing; // entries whose file the last check did not find
    QThread *m_checkThread = nullptr;
    bool m_checkAgain = false;
    std::shared_ptr<std::atomic<bool>> m_checkCancel;
};
