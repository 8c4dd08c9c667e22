// The project commands and the project tree: the tree mirrors the file list,
// opens what the user selects, and carries the lock, remove and rename commands.
#include "app/project_tree_controller.h"

#include "app/document_controller.h"
#include "components/recent_files.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/project_files_dialog.h"
#include "foundation/errors.h"
#include "foundation/handler_guard.h"
#include "foundation/settings.h"
#include "foundation/switches.h"
#include "foundation/user_dialogs.h"
#include "project/folder_scan.h"
#include "project/project.h"
#include "project/project_paths.h"
#include "project/project_prefetch.h"

#include <QAction>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaObject>
#include <QPainter>
#include <QScopeGuard>
#include <QSplitter>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <exception>
#include <memory>

namespace {
const QString ProjectOpenFilter = QStringLiteral("Wendlor Project file |*.wdx|Any file|*.*");
const QString ProjectSaveFilter = QStringLiteral("Wendlor Project |*.wdx");
constexpr int NodeRole = FolderTree::NodeRole;
const QString TreeWidthSetting = QStringLiteral("ProjectTreeWidth");

QString filesText(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

// A path relative to the project folder as the project file stores it, shown
// with the native separator; the full path for an unsaved project.
QString relativeForDisplay(const QString &fullPath, const QString &projectFile)
{
    if (projectFile.isEmpty())
        return fullPath;
    const ProjectPathEncoder encoder(ProjectFolderOf(projectFile));
    QString stored = encoder.Encode(fullPath);
    if (stored != fullPath)
        stored.replace(u'\\', u'/');
    return stored;
}
} // namespace

ProjectTreeController::ProjectTreeController(Project &project, Controls controls, MenuItems items,
                                             DocumentController &documents,
                                             ProjectFilesDialog *const &projectFiles)
    : m_project(project), m_controls(controls), m_items(items), m_documents(documents),
      m_projectFiles(projectFiles), m_folderTree(controls.tree)
{
    // The tree's width is the user's: kept from one run to the next.
    if (auto *splitter = qobject_cast<QSplitter *>(m_controls.panel->parentWidget()))
        connect(splitter, &QSplitter::splitterMoved, this, [this, splitter] {
            if (m_controls.panel->isVisible())
                WriteSetting(TreeWidthSetting, QString::number(splitter->sizes().value(
                                                   splitter->indexOf(m_controls.panel))));
        });
    // Typing in the filter box rebuilds the tree once the keys pause.
    auto *filterPause = new QTimer(this);
    filterPause->setSingleShot(true);
    filterPause->setInterval(150);
    connect(m_controls.filter, &QLineEdit::textChanged, filterPause, qOverload<>(&QTimer::start));
    connect(filterPause, &QTimer::timeout, this,
            [this] { RunGuarded([this] { PrFilterChange(m_controls.filter->text()); }); });
    connect(&m_watch, &FolderWatch::changed, this, [this] { refreshInBackground(); });
    connect(&m_instance, &ProjectInstance::raiseRequested, this, [this] {
        QWidget &window = *m_controls.window;
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    QTreeWidget *tree = m_controls.tree;
    connect(tree, &QTreeWidget::itemSelectionChanged, this,
            [this, tree] { RunGuarded([this, tree] { PrTreeDblClick(tree); }); });
    connect(tree, &QTreeWidget::itemDoubleClicked, this,
            [this, tree] { RunGuarded([this, tree] { PrTreeDblClick(tree); }); });
    connect(tree, &QWidget::customContextMenuRequested, this, &ProjectTreeController::showPopup);
    // The popup hides what does not fit the clicked node, but a hidden item's
    // shortcut is dead: Del must keep removing files once the popup is gone.
    connect(m_controls.popup, &QMenu::aboutToHide, this,
            [this] { m_items.item(QStringLiteral("removefromproj"))->setVisible(true); });
    // A file opened with the mouse is there to be edited: the keys go to
    // the editor. Arrow keys leave the focus in the tree to walk on.
    connect(tree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *node) {
        if (node && node->isSelected() && node->data(0, NodeRole).toInt() >= 0)
            m_controls.editor->takeFocus();
    });
}

void ProjectTreeController::showPopup(const QPoint &at)
{
    // A right click selects the clicked row first.
    if (QTreeWidgetItem *node = m_controls.tree->itemAt(at))
        m_controls.tree->setCurrentItem(node);
    RunGuarded([this] { ProjPopupPopup(m_controls.popup); });
    m_controls.popup->popup(m_controls.tree->viewport()->mapToGlobal(at));
}

ProjectTreeController::~ProjectTreeController()
{
    if (m_reader.joinable())
        m_reader.join();
    if (m_refreshThread) {
        *m_refreshCancel = true;
        m_refreshThread->wait();
    }
    if (m_checkThread) {
        *m_checkCancel = true;
        m_checkThread->wait();
    }
}

void ProjectTreeController::OnLoadedExecute()
{
    startWatching();
    emit projectLoaded();
    m_instance.hold(m_project.FileName);
    m_controls.recentProjects->NotifyOpen(m_project.FileName);
    m_controls.preview->setUrlText(m_project.RunAddress);
}

int ProjectTreeController::SelectedNode() const
{
    const QTreeWidgetItem *node = m_controls.tree->currentItem();
    if (!node || !node->isSelected())
        return NoNode;
    return node->data(0, NodeRole).toInt();
}

QList<int> ProjectTreeController::SelectedEntries() const
{
    const int node = SelectedNode();
    if (node != FolderTree::FolderNode && (node < 0 || node >= m_project.Files.Count()))
        return {};
    return FolderTree::entriesBelow(m_controls.tree->currentItem());
}

bool ProjectTreeController::mayOpenHere(const QString &path)
{
    // Two windows on one project would write over each other's changes.
    if (m_instance.held() == path || !ProjectInstance::heldElsewhere(path))
        return true;
    const int answer = Dialogs().askChoice(
        QStringLiteral("Project already open"),
        QStringLiteral("The project %1 is already open in another Quillstone window.\n\n"
                       "Open it here as well, or bring that window to the front?")
            .arg(path),
        {QStringLiteral("Open &here as well"), QStringLiteral("&Bring it to the front")});
    if (answer == 0)
        return true;
    // That window may have closed while the question was up: leaving now
    // would leave the user with no window at all.
    if (!ProjectInstance::raiseOther(path))
        return true;
    m_gaveWay = true;
    return false;
}

void ProjectTreeController::OpenProject(const QString &path)
{
    ++m_opens;
    if (!QFileInfo(path).isFile()) {
        // Only the message: reloading the document from disk now would
        // throw away the editor's unsaved text.
        m_project.LoadFromFile(path);
        return;
    }
    if (!mayOpenHere(path))
        return;
    // The open documents are about to give way to the project's.
    if (!m_documents.SettleAll())
        return;
    takeIn(path, ProjectPrefetch::atStart().take(path));
}

void ProjectTreeController::OpenProjectInBackground(const QString &path, std::function<void()> then)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() < BackgroundBytes || m_reader.joinable()) {
        OpenProject(path);
        then();
        return;
    }
    const int opens = ++m_opens;
    if (!mayOpenHere(path)) {
        then();
        return;
    }
    m_controls.status->setText(QStringLiteral("Reading %1 ...").arg(info.fileName()));
    struct Outcome {
        ProjectPrefetch::Read read;
        std::exception_ptr failure;
    };
    auto outcome = std::make_shared<Outcome>();
    // The destructor waits for the thread, so `this` outlives it, and a
    // call still queued when this object goes is dropped with it.
    m_reader = std::thread([this, path, outcome, opens, then = std::move(then)] {
        try {
            outcome->read = ProjectPrefetch::atStart().take(path);
        } catch (...) {
            outcome->failure = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this,
            [this, path, outcome, opens, then] {
                m_reader.join();
                m_controls.status->clear();
                if (opens == m_opens) {
                    RunGuarded([&] {
                        if (outcome->failure)
                            std::rethrow_exception(outcome->failure);
                        if (m_documents.SettleAll())
                            takeIn(path, outcome->read);
                    });
                }
                RunGuarded(then);
            },
            Qt::QueuedConnection);
    });
}

void ProjectTreeController::takeIn(const QString &path, const ProjectPrefetch::Read &read)
{
    if (!SettleProject())
        return;
    m_project.LoadContent(*read.content, read.identity, path, /*storedLater=*/true);
    // The document chosen below is the program's doing, not the user's: a
    // project only looked at is not written back.
    const auto markStored = qScopeGuard([this] { m_project.MarkStored(); });
    // The stored document counts only when it is one of the project's own
    // entries and still there: a copied or moved project must not edit the
    // original's files, nor start an empty document under a missing name.
    const QString stored = m_project.OpenedFile;
    QString chosen;
    if (m_project.IndexOf(stored) >= 0 && QFileInfo(stored).isFile()) {
        chosen = stored;
    } else {
        for (int i = 0; i < m_project.Files.Count() && chosen.isEmpty(); ++i) {
            const QString &name = m_project.Files.Get(i)->Name;
            if (QFileInfo(name).suffix().compare(QLatin1String("php"), Qt::CaseInsensitive) == 0 &&
                QFileInfo(name).isFile())
                chosen = name;
        }
    }
    // The editor's text was settled above: nothing of it goes into the
    // loaded project's files.
    m_project.SetOpenedFile(QString());
    m_documents.OpenProjectDocuments(chosen);
}

void ProjectTreeController::SaveProjectTo(const QString &path)
{
    if (path == m_project.FileName && m_project.FileChangedOnDisk() && !mergeOutsideChanges())
        return;
    m_project.SaveToFile(path);
}

bool ProjectTreeController::mergeOutsideChanges()
{
    const QString path = m_project.FileName;
    // Another program (a second window, a script, a pull) wrote the file
    // since we read it: what it changed is merged in, never written over
    // unasked.
    Project theirs;
    Project base;
    QString problem;
    try {
        theirs.LoadFromFile(path);
        QDomDocument stored;
        if (!stored.setContent(m_project.StoredBytes()))
            throw AppError(QStringLiteral("the version read before is gone"));
        base.ReadXML(stored, path);
    } catch (...) {
        problem = exceptionMessage(std::current_exception());
    }
    QStringList conflicts;
    if (problem.isEmpty()) {
        const int entries = m_project.Files.Count();
        conflicts = m_project.MergeFrom(base, theirs);
        if (m_project.Files.Count() != entries || !conflicts.isEmpty() ||
            theirs.Files.Count() != base.Files.Count())
            m_project.OnProjectUpdate.raise();
        if (conflicts.isEmpty())
            return true;
    }
    const QString what =
        problem.isEmpty()
            ? QStringLiteral("Both changed %1.").arg(conflicts.join(QStringLiteral(", ")))
            : QStringLiteral("It cannot be read now: %1").arg(problem);
    const int answer = Dialogs().askChoice(
        QStringLiteral("Project changed on disk"),
        QStringLiteral("The project file %1 was changed by another program since it was read. "
                       "%2\n\nWrite this window's project over it, or keep the file as it is?")
            .arg(path, what),
        {QStringLiteral("&Write over it"), QStringLiteral("&Keep the file")});
    return answer == 0;
}

void ProjectTreeController::SavePrjClick(QObject *Sender)
{
    if (Sender && !QFileInfo(m_project.FileName).isFile())
        Saveas1Click(nullptr);
    else if (!m_project.FileName.isEmpty() && (Sender || m_project.ChangedSinceStored()))
        // The program's own saves write only a changed project: an unchanged
        // one is already on disk, and may be read-only or gone.
        SaveProjectTo(m_project.FileName);
}

void ProjectTreeController::Saveas1Click(QObject *)
{
    const QString chosen = Dialogs().saveFile(QStringLiteral("Save Project as"), m_project.FileName,
                                              ProjectSaveFilter, QStringLiteral("wdx"));
    if (chosen.isEmpty())
        return;
    SaveProjectTo(chosen);
    m_project.LoadFromFile(chosen);
}

bool ProjectTreeController::SettleProject()
{
    if (m_project.FileName.isEmpty()) {
        // A never-saved project's list is only the files opened lately; its
        // publishing settings, though, were typed in by hand.
        const FtpSettings &ftp = m_project.Ftp;
        if (ftp.Host.isEmpty() && ftp.User.isEmpty() && ftp.Pass.isEmpty() &&
            ftp.Folder.isEmpty() && ftp.Exclude.isEmpty())
            return true;
        const int answer = Dialogs().askChoice(
            QStringLiteral("Save Project"),
            QStringLiteral("The project was never saved. Save its publishing settings "
                           "and its %1 files?")
                .arg(m_project.Files.Count()),
            {QStringLiteral("&Save..."), QStringLiteral("&Discard"), QStringLiteral("Cancel")});
        if (answer == 1)
            return true;
        if (answer != 0)
            return false;
        Saveas1Click(nullptr);
        return !m_project.FileName.isEmpty();
    }
    try {
        SavePrjClick(nullptr);
    } catch (...) {
        const int answer = Dialogs().askChoice(
            QStringLiteral("Cannot save"),
            QStringLiteral("The project %1 could not be saved:\n%2\n\n"
                           "Go on without saving it, or stay?")
                .arg(m_project.FileName, exceptionMessage(std::current_exception())),
            {QStringLiteral("&Go on without saving"), QStringLiteral("&Stay")});
        return answer == 0;
    }
    return true;
}

void ProjectTreeController::New1Click(QObject *)
{
    ++m_opens;
    if (!m_documents.SettleAll() || !SettleProject())
        return;
    // The own PHP server served the project that goes now.
    emit projectLeaving();
    m_watch.stop();
    m_project.Clear();
    m_instance.hold(QString());
    m_documents.OpenProjectDocuments(QString());
}

void ProjectTreeController::Open2Click(QObject *)
{
    const QStringList chosen =
        Dialogs().openFiles(QStringLiteral("Open Project"),
                            QFileInfo(m_project.FileName).absolutePath(), ProjectOpenFilter, false);
    if (!chosen.isEmpty())
        OpenProject(chosen.constFirst());
}

void ProjectTreeController::pmitemClick(QObject *)
{
    const bool show = m_items.item(QStringLiteral("pmitem"))->isChecked();
    auto *splitter = qobject_cast<QSplitter *>(m_controls.panel->parentWidget());
    if (show && splitter && !m_controls.panel->isVisible()) {
        m_controls.panel->setVisible(true);
        QList<int> sizes = splitter->sizes();
        const int at = splitter->indexOf(m_controls.panel);
        const int width = ReadSetting(TreeWidthSetting, QStringLiteral("200")).toInt();
        if (at > 0 && width > 0 && sizes.size() > at) {
            // The editor gives or takes the difference.
            sizes[at - 1] += sizes[at] - width;
            sizes[at] = width;
            splitter->setSizes(sizes);
        }
    }
    m_controls.panel->setVisible(show);
}

void ProjectTreeController::RevealFile(const QString &path)
{
    const int index = m_project.IndexOf(path);
    if (index < 0)
        return;
    m_items.item(QStringLiteral("pmitem"))->setChecked(true);
    pmitemClick(nullptr);
    for (QTreeWidgetItemIterator it(m_controls.tree); *it; ++it) {
        if ((*it)->data(0, NodeRole).toInt() == index) {
            const QSignalBlocker block(m_controls.tree);
            m_controls.tree->setCurrentItem(*it);
            m_controls.tree->scrollToItem(*it);
            return;
        }
    }
}

void ProjectTreeController::OnProjectUpdateExecute()
{
    m_folderTree.rebuild(m_project, m_filter, m_missing);
    if (!m_controls.tree->currentItem())
        m_folderTree.reveal(m_project.OpenedFile);
    checkFilesInBackground();
}

void ProjectTreeController::checkFilesInBackground()
{
    if (m_checkThread) {
        m_checkAgain = true;
        return;
    }
    auto names = std::make_shared<QStringList>();
    m_project.ListFileNames(*names);
    auto missing = std::make_shared<QSet<QString>>();
    m_checkCancel = std::make_shared<std::atomic<bool>>(false);
    auto cancel = m_checkCancel;
    m_checkThread = QThread::create([names, missing, cancel] {
        for (const QString &name : std::as_const(*names)) {
            if (*cancel)
                return;
            if (!QFileInfo(name).isFile())
                missing->insert(name);
        }
    });
    connect(m_checkThread, &QThread::finished, this, [this, missing] {
        m_checkThread->deleteLater();
        m_checkThread = nullptr;
        if (std::exchange(m_checkAgain, false)) {
            checkFilesInBackground();
            return;
        }
        m_missing = *missing;
        m_folderTree.showMissing(m_project, m_missing);
    });
    m_checkThread->start();
}

void ProjectTreeController::PrFilterChange(const QString &text)
{
    m_filter = text.trimmed();
    OnProjectUpdateExecute();
}

void ProjectTreeController::ShowDocument(const QString &path)
{
    if (path.isEmpty())
        return;
    // Opened from its own node: the tree stays as the user left it.
    const QTreeWidgetItem *current = m_controls.tree->currentItem();
    if (current && current->data(0, FolderTree::PathRole).toString() == path)
        return;
    m_folderTree.reveal(path);
}

void ProjectTreeController::PrTreeDblClick(QObject *)
{
    const int node = SelectedNode();
    if (node < 0)
        return;
    if (node < m_project.Files.Count())
        m_documents.OpenFileAtLine(m_project.Files.Get(node)->Name, true);
}

void ProjectTreeController::PrTreeKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    PrTreeDblClick(nullptr);
    m_controls.editor->takeFocus();
}

void ProjectTreeController::ProjPopupPopup(QObject *)
{
    const int node = SelectedNode();
    const bool file = node >= 0 && node < m_project.Files.Count();
    const bool folder = node == FolderTree::FolderNode;
    m_items.item(QStringLiteral("PManProjectAdd"))->setVisible(!file && !folder);
    m_items.item(QStringLiteral("PManAddFolder"))->setVisible(!file);
    for (const char *name : {"removefromproj", "Rename1"})
        m_items.item(QString::fromLatin1(name))->setVisible(file);
    // A folder's lock is its files': checked when every one is locked.
    m_items.item(QStringLiteral("dontpublish"))->setVisible(file || folder);
    m_items.item(QStringLiteral("publishnow"))->setVisible(file || folder);
    QAction *lock = m_items.item(QStringLiteral("dontpublish"));
    lock->setCheckable(true);
    bool locked = false;
    if (file || folder) {
        const QList<int> entries = FolderTree::entriesBelow(m_controls.tree->currentItem());
        locked = !entries.isEmpty() && std::all_of(entries.begin(), entries.end(), [this](int i) {
            return !m_project.Files.Get(i)->Publish;
        });
    }
    lock->setChecked(locked);
}

void ProjectTreeController::dontpublishClick(QObject *)
{
    const int node = SelectedNode();
    if (node != FolderTree::FolderNode && (node < 0 || node >= m_project.Files.Count()))
        return;
    // A folder locks all its files, or unlocks them when all were locked.
    const QList<int> entries = FolderTree::entriesBelow(m_controls.tree->currentItem());
    if (entries.isEmpty())
        return;
    const bool lock = std::any_of(entries.begin(), entries.end(),
                                  [this](int i) { return m_project.Files.Get(i)->Publish; });
    for (const int i : entries)
        m_project.Files.Get(i)->Publish = !lock;
    m_items.item(QStringLiteral("dontpublish"))->setChecked(lock);
    OnProjectUpdateExecute();
}

void ProjectTreeController::removefromprojClick(QObject *)
{
    const int node = SelectedNode();
    if (node < 0 || node >= m_project.Files.Count())
        return;
    {
        const QSignalBlocker block(m_controls.tree);
        QTreeWidgetItem *following = m_controls.tree->itemBelow(m_controls.tree->currentItem());
        m_controls.tree->setCurrentItem(following);
        if (!following)
            m_controls.tree->clearSelection();
    }
    m_project.RemoveFile(node);
}

void ProjectTreeController::Rename1Click(QObject *)
{
    const int node = SelectedNode();
    if (node < 0 || node >= m_project.Files.Count())
        return;
    ProjectEntry *entry = m_project.Files.Get(node);
    const QString old = entry->Name;
    const QFileInfo info(old);
    const std::optional<QString> answer =
        Dialogs().prompt(QStringLiteral("Rename"), QStringLiteral("New name"), info.fileName());
    if (!answer)
        return;
    const QString newName = info.path() + u'/' + *answer;
    if (answer->isEmpty() || answer->contains(u'/'))
        throw AppError(
            QStringLiteral("Cannot rename %1: \"%2\" is not a file name").arg(old, *answer));
    // The entry follows the file only when the file really moved; a refused
    // rename would leave the entry naming a file that does not exist.
    if (newName != old && QFileInfo::exists(old)) {
        if (QFileInfo::exists(newName))
            throw AppError(QStringLiteral("Cannot rename %1: %2 already exists").arg(old, newName));
        if (!QFile::rename(old, newName))
            throw AppError(QStringLiteral("Cannot rename %1 to %2").arg(old, newName));
    }
    entry->Name = newName;
    // The open document moves with its file, or the next save would bring
    // the old name back and leave the renamed file behind.
    m_documents.FileRenamed(old, newName);
    if (m_project.OpenedFile == old)
        m_project.SetOpenedFile(newName);
    m_documents.UpdateCaption();
    m_project.OnProjectUpdate.raise(nullptr);
}

void ProjectTreeController::ProjectAddClick(QObject *)
{
    OpenDialogMemory &memory = m_documents.openDialog();
    const QString projectFolder =
        m_project.FileName.isEmpty() ? QString() : QFileInfo(m_project.FileName).absolutePath();
    const QStringList chosen =
        Dialogs().openFiles(QStringLiteral("Add to Project"), memory.folderOr(projectFolder),
                            QStringLiteral("Any file|*.*"), true);
    if (chosen.isEmpty())
        return;
    memory.remember(chosen);
    // All join the list at once; the last one chosen becomes the document.
    m_project.AddFiles(chosen);
    m_documents.OpenFileAtLine(chosen.constLast(), true);
}

void ProjectTreeController::Files1Click(QObject *)
{
    ProjectFilesDialog *form = m_projectFiles;
    QStringList names;
    m_project.ListFileNames(names);
    QList<QPair<QString, QString>> rows;
    int current = -1;
    const QString &opened = m_project.OpenedFile;
    for (int i = 0; i < names.size(); ++i) {
        rows.append({relativeForDisplay(names.at(i), m_project.FileName), names.at(i)});
        if (current < 0 && !opened.isEmpty() && names.at(i) == opened)
            current = i;
    }
    form->setRows(rows, current);
    if (Dialogs().showModal(form) != QDialog::Accepted)
        return;
    const QString chosen = form->chosenPath();
    if (chosen.isEmpty())
        return;
    m_documents.OpenFileAtLine(chosen, true);
    m_controls.editor->takeFocus();
}

QString ProjectTreeController::projectFolder() const
{
    return m_project.FileName.isEmpty() ? QString() : QFileInfo(m_project.FileName).absolutePath();
}

void ProjectTreeController::OpenFolder1Click(QObject *)
{
    const QString chosen =
        Dialogs().chooseFolder(QStringLiteral("Open Folder as Project"), projectFolder());
    if (!chosen.isEmpty())
        OpenFolderAsProject(chosen);
}

void ProjectTreeController::OpenFolderAsProject(const QString &chosen)
{
    const QString folder = QDir::cleanPath(QFileInfo(chosen).absoluteFilePath());
    if (!QFileInfo(folder).isDir())
        throw AppError(QStringLiteral("The folder %1 does not exist.").arg(chosen));
    const QString name = QFileInfo(folder).fileName();
    const QString file = QDir(folder).filePath((name.isEmpty() ? QStringLiteral("project") : name) +
                                               QStringLiteral(".wdx"));
    // A project the folder has already is the one the user works in.
    if (QFileInfo::exists(file)) {
        OpenProject(file);
        return;
    }
    if (!m_documents.SettleAll() || !SettleProject())
        return;
    const FolderScanResult found =
        RunFolderScan(m_controls.window, FolderScan(folder, folder, {}, file));
    if (found.cancelled) {
        m_project.Log(QStringLiteral("Open Folder cancelled"));
        return;
    }
    ++m_opens; // a project still being read at start gives way
    // What was settled above goes now, as with New > Project.
    emit projectLeaving();
    m_watch.stop();
    m_project.Clear();
    m_instance.hold(QString());
    m_controls.editor->clearAll();
    m_documents.UpdateCaption();

    // The walk's list is the project: it is written and taken in as it is,
    // not read back from the file just written.
    QString document;
    for (const QString &path : found.files) {
        m_project.Files.AddNew();
        m_project.Files.Last()->Name = path;
        if (document.isEmpty() &&
            QFileInfo(path).suffix().compare(QLatin1String("php"), Qt::CaseInsensitive) == 0)
            document = path;
    }
    m_project.WatchFolder = true;
    // Stored with the document it opens, so opening it changes nothing to save.
    m_project.SetOpenedFile(document);
    QString problem;
    try {
        m_project.SaveToFile(file);
    } catch (...) {
        problem = exceptionMessage(std::current_exception());
    }
    if (!problem.isEmpty()) {
        // A folder the user may not write in: the files are the project all
        // the same, and Save Project as... keeps it elsewhere.
        m_project.WatchFolder = false;
        m_project.SetOpenedFile(QString());
        m_project.OnProjectUpdate.raise();
        Dialogs().showMessage(QStringLiteral("The project file cannot be written in %1:\n%2\n\n"
                                             "The folder's %3 files are in the project; "
                                             "File > Save Project as... keeps it elsewhere.")
                                  .arg(folder, problem)
                                  .arg(found.files.size()));
        return;
    }
    m_walkedFolders = found.folders;
    m_project.OnLoaded.raise();
    m_project.Log(QStringLiteral("Loaded"));
    m_project.OnProjectUpdate.raise();
    m_project.SetOpenedFile(QString());
    m_documents.OpenProjectDocuments(document);
}

void ProjectTreeController::AddFolder1Click(QObject *)
{
    QString start = projectFolder();
    if (const QTreeWidgetItem *node = m_controls.tree->currentItem();
        node && node->isSelected() && node->data(0, NodeRole).toInt() == FolderTree::FolderNode)
        start = node->data(0, FolderTree::PathRole).toString();
    const QString chosen = Dialogs().chooseFolder(QStringLiteral("Add Folder"), start);
    if (chosen.isEmpty())
        return;
    const FolderScanResult found =
        RunFolderScan(m_controls.window, FolderScan(chosen, projectFolder(), m_project.Ftp.Exclude,
                                                    m_project.FileName));
    if (found.cancelled)
        return;
    const int added = m_project.AddFiles(found.files);
    m_project.Log(QStringLiteral("%1 added from %2").arg(filesText(added), chosen));
}

void ProjectTreeController::RefreshFolder1Click(QObject *)
{
    const QString folder = projectFolder();
    if (folder.isEmpty())
        throw AppError(QStringLiteral("Refresh from Folder reads the project's folder: "
                                      "save the project first."));
    const FolderScanResult found = RunFolderScan(
        m_controls.window, FolderScan(folder, folder, m_project.Ftp.Exclude, m_project.FileName));
    if (found.cancelled)
        return;
    if (!applyRefresh(found))
        m_project.Log(QStringLiteral("The project has the folder's files"));
    if (m_project.WatchFolder)
        m_watch.watch(found.folders);
}

bool ProjectTreeController::applyRefresh(const FolderScanResult &found)
{
    const int before = m_project.Files.Count();
    // Gone: entries the walk did not meet and that are not on disk either
    // (the walk leaves ignored files out; those are still there).
    const QSet<QString> met(found.files.begin(), found.files.end());
    QSet<QString> gone;
    for (int i = 0; i < before; ++i) {
        const QString &name = m_project.Files.Get(i)->Name;
        if (!met.contains(name) && !QFileInfo::exists(name))
            gone.insert(name);
    }
    const bool goneChanged = gone != m_gone;
    m_gone = gone;
    const int added = m_project.AddFiles(found.files);
    if (added == 0 && goneChanged)
        m_project.OnProjectUpdate.raise();
    if (added > 0 || goneChanged)
        m_project.Log(QStringLiteral("%1 added from the folder, %2 missing")
                          .arg(filesText(added))
                          .arg(gone.size()));
    return added > 0 || goneChanged;
}

void ProjectTreeController::startWatching()
{
    m_watch.stop();
    m_gone.clear();
    const QStringList walked = std::exchange(m_walkedFolders, {});
    if (!m_project.WatchFolder || m_project.FileName.isEmpty())
        return;
    if (walked.isEmpty())
        refreshInBackground();
    else
        m_watch.watch(walked);
}

void ProjectTreeController::refreshInBackground()
{
    if (m_refreshThread) {
        m_refreshAgain = true;
        return;
    }
    const QString file = m_project.FileName;
    const QString folder = projectFolder();
    if (!m_project.WatchFolder || folder.isEmpty())
        return;
    std::shared_ptr<FolderScan> scan;
    try {
        scan = std::make_shared<FolderScan>(folder, folder, m_project.Ftp.Exclude, file);
    } catch (const AppError &) {
        return; // the folder went, or a pattern is bad: Refresh says which
    }
    auto found = std::make_shared<FolderScanResult>();
    m_refreshCancel = std::make_shared<std::atomic<bool>>(false);
    auto cancel = m_refreshCancel;
    m_refreshThread = QThread::create([scan, found, cancel] {
        try {
            *found = scan->run(cancel.get());
        } catch (...) {
            found->cancelled = true;
        }
    });
    connect(m_refreshThread, &QThread::finished, this, [this, file, found] {
        m_refreshThread->deleteLater();
        m_refreshThread = nullptr;
        // Only for the project it was started for, and only a whole walk.
        if (!found->cancelled && m_project.FileName == file && m_project.WatchFolder) {
            RunGuarded([this, found] { applyRefresh(*found); });
            m_watch.watch(found->folders);
        }
        if (std::exchange(m_refreshAgain, false))
            refreshInBackground();
    });
    m_refreshThread->start();
}
