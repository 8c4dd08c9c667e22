// The project commands and the project tree: the tree mirrors the file list,
// opens what the user selects, and carries the lock, remove and rename commands.
#include "app/project_tree_controller.h"

#include "app/document_controller.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/server_controller.h"
#include "app/window_set.h"
#include "components/recent_files.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/project_files_dialog.h"
#include "foundation/errors.h"
#include "foundation/handler_guard.h"
#include "foundation/switches.h"
#include "foundation/user_dialogs.h"
#include "project/project_paths.h"

#include <QAction>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QTreeWidget>

namespace {
const QString ProjectOpenFilter = QStringLiteral("Wendlor Project file |*.wdx|Any file|*.*");
const QString ProjectSaveFilter = QStringLiteral("Wendlor Project |*.wdx");
constexpr int NodeRole = Qt::UserRole;

enum ProjectImage { ImageFile = 0, ImageLocked = 1, ImageMissing = 2, ImageProject = 3 };

QIcon projectImage(int index)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (index == ImageLocked) {
        painter.fillRect(QRect(3, 7, 10, 2), QColor(40, 40, 40));
    } else if (index == ImageMissing) {
        painter.setBrush(QColor(200, 0, 0));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QRect(1, 1, 14, 14));
        painter.setBrush(Qt::white);
        painter.drawRect(QRect(7, 3, 2, 7));
        painter.drawRect(QRect(7, 11, 2, 2));
    }
    painter.end();
    return QIcon(pixmap);
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

ProjectTreeController::ProjectTreeController(MainWindow &window, Project &project,
                                             const MainWindowUi &ui,
                                             const SecondaryWindows &windows)
    : Controller(window, project, ui, windows)
{
    connect(&m_instance, &ProjectInstance::raiseRequested, this, [this] {
        QWidget &window = m_window;
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    QTreeWidget *tree = m_ui.PrTree;
    connect(tree, &QTreeWidget::itemSelectionChanged, this,
            [this, tree] { RunGuarded([this, tree] { PrTreeDblClick(tree); }); });
    connect(tree, &QTreeWidget::itemDoubleClicked, this,
            [this, tree] { RunGuarded([this, tree] { PrTreeDblClick(tree); }); });
    connect(tree, &QWidget::customContextMenuRequested, this, &ProjectTreeController::showPopup);
    // The popup hides what does not fit the clicked node, but a hidden item's
    // shortcut is dead: Del must keep removing files once the popup is gone.
    connect(m_ui.ProjPopup, &QMenu::aboutToHide, this,
            [this] { m_window.item(QStringLiteral("removefromproj"))->setVisible(true); });
    // A file opened with the mouse is there to be edited: the keys go to
    // the editor. Arrow keys leave the focus in the tree to walk on.
    connect(tree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *node) {
        if (node && node->isSelected() && node->data(0, NodeRole).toInt() >= 0)
            m_ui.re->takeFocus();
    });
}

void ProjectTreeController::showPopup(const QPoint &at)
{
    // A right click selects the clicked row first.
    if (QTreeWidgetItem *node = m_ui.PrTree->itemAt(at))
        m_ui.PrTree->setCurrentItem(node);
    RunGuarded([this] { ProjPopupPopup(m_ui.ProjPopup); });
    m_ui.ProjPopup->popup(m_ui.PrTree->viewport()->mapToGlobal(at));
}

void ProjectTreeController::OnLoadedExecute()
{
    m_window.server().ProjectLoaded();
    m_instance.hold(m_project.FileName);
    m_ui.recentFiles->NotifyOpen(m_project.FileName);
    m_ui.WebPanel->setUrlText(m_project.RunAddress);
}

int ProjectTreeController::SelectedNode() const
{
    const QTreeWidgetItem *node = m_ui.PrTree->currentItem();
    if (!node || !node->isSelected())
        return NoNode;
    return node->data(0, NodeRole).toInt();
}

void ProjectTreeController::OpenProject(const QString &path)
{
    const bool exists = QFileInfo(path).isFile();
    // Two windows on one project would write over each other's changes.
    if (exists && m_instance.held() != path && ProjectInstance::heldElsewhere(path)) {
        const int answer = Dialogs().askChoice(
            QStringLiteral("Project already open"),
            QStringLiteral("The project %1 is already open in another Quillstone window.\n\n"
                           "Open it here as well, or bring that window to the front?")
                .arg(path),
            {QStringLiteral("Open &here as well"), QStringLiteral("&Bring it to the front")});
        if (answer != 0) {
            ProjectInstance::raiseOther(path);
            m_gaveWay = true;
            return;
        }
    }
    // The editor's text is about to give way to the project's document.
    if (exists && !m_window.documents().AskToSaveChanges())
        return;
    if (exists) {
        // A file that cannot be loaded says so here and changes nothing;
        // only one that can makes the open project give way to it.
        Project{}.LoadFromFile(path);
        if (!SettleProject())
            return;
    }
    m_project.LoadFromFile(path);
    // Nothing was loaded: reloading the document from disk now would throw
    // away the editor's unsaved text.
    if (!exists)
        return;
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
    if (chosen.isEmpty()) {
        m_ui.re->clearAll();
        m_window.documents().UpdateCaption();
    } else {
        m_window.documents().OpenFileAtLine(chosen, false);
    }
    // The document chosen here is the program's doing, not the user's: a
    // project only looked at is not written back.
    m_project.MarkStored();
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
    if (!m_window.documents().AskToSaveChanges() || !SettleProject())
        return;
    // The own PHP server served the project that goes now.
    m_window.server().StopServer();
    m_project.Clear();
    m_instance.hold(QString());
    m_window.documents().UpdateCaption();
    m_ui.re->clearAll();
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
    m_ui.PrTree->setVisible(m_window.item(QStringLiteral("pmitem"))->isChecked());
}

void ProjectTreeController::OnProjectUpdateExecute()
{
    QString remembered;
    if (const QTreeWidgetItem *selected = m_ui.PrTree->currentItem();
        selected && selected->isSelected())
        remembered = selected->text(0);

    // Selections made here are the program's own and open nothing.
    const QSignalBlocker block(m_ui.PrTree);
    m_ui.PrTree->clear();
    auto *root = new QTreeWidgetItem(m_ui.PrTree);
    root->setText(0, m_project.FileName.isEmpty() ? QString()
                                                  : QFileInfo(m_project.FileName).fileName());
    root->setData(0, NodeRole, -1);
    root->setIcon(0, projectImage(ImageProject));
    const QIcon file = projectImage(ImageFile);
    const QIcon locked = projectImage(ImageLocked);
    const QIcon missing = projectImage(ImageMissing);
    for (int i = 0; i < m_project.Files.Count(); ++i) {
        const ProjectEntry *entry = m_project.Files.Get(i);
        // Letter case kept: B.php and b.php are two files here.
        const QString text = relativeForDisplay(entry->Name, m_project.FileName);
        auto *node = new QTreeWidgetItem(root);
        node->setText(0, text);
        node->setData(0, NodeRole, i);
        node->setIcon(0, !QFileInfo(entry->Name).isFile() ? missing
                         : entry->Publish                 ? file
                                                          : locked);
    }
    m_ui.PrTree->expandAll();
    m_ui.PrTree->setCurrentItem(nullptr);
    m_ui.PrTree->clearSelection();
    if (!remembered.isEmpty()) {
        for (QTreeWidgetItemIterator it(m_ui.PrTree); *it; ++it) {
            if ((*it)->text(0) == remembered) {
                m_ui.PrTree->setCurrentItem(*it);
                break;
            }
        }
    }
}

void ProjectTreeController::PrTreeDblClick(QObject *)
{
    const int node = SelectedNode();
    if (node < 0)
        return;
    if (node < m_project.Files.Count())
        m_window.documents().OpenFileAtLine(m_project.Files.Get(node)->Name, true);
}

void ProjectTreeController::PrTreeKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    PrTreeDblClick(nullptr);
    m_ui.re->takeFocus();
}

void ProjectTreeController::ProjPopupPopup(QObject *)
{
    const int node = SelectedNode();
    const bool file = node >= 0 && node < m_project.Files.Count();
    m_window.item(QStringLiteral("PManProjectAdd"))->setVisible(!file);
    for (const char *name : {"removefromproj", "dontpublish", "publishnow", "Rename1"})
        m_window.item(QString::fromLatin1(name))->setVisible(file);
    QAction *lock = m_window.item(QStringLiteral("dontpublish"));
    lock->setCheckable(true);
    lock->setChecked(file && !m_project.Files.Get(node)->Publish);
}

void ProjectTreeController::dontpublishClick(QObject *)
{
    const int node = SelectedNode();
    if (node < 0 || node >= m_project.Files.Count())
        return;
    ProjectEntry *entry = m_project.Files.Get(node);
    entry->Publish = !entry->Publish;
    m_window.item(QStringLiteral("dontpublish"))->setChecked(!entry->Publish);
    OnProjectUpdateExecute();
}

void ProjectTreeController::removefromprojClick(QObject *)
{
    const int node = SelectedNode();
    if (node < 0 || node >= m_project.Files.Count())
        return;
    {
        const QSignalBlocker block(m_ui.PrTree);
        QTreeWidgetItem *following = m_ui.PrTree->itemBelow(m_ui.PrTree->currentItem());
        m_ui.PrTree->setCurrentItem(following);
        if (!following)
            m_ui.PrTree->clearSelection();
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
    if (m_project.OpenedFile == old)
        m_project.SetOpenedFile(newName);
    m_window.documents().UpdateCaption();
    m_project.OnProjectUpdate.raise(nullptr);
}

void ProjectTreeController::ProjectAddClick(QObject *)
{
    QString &folder = m_window.documents().odFolder;
    if (folder.isEmpty() && !m_project.FileName.isEmpty())
        folder = QFileInfo(m_project.FileName).absolutePath();
    const QStringList chosen = Dialogs().openFiles(QStringLiteral("Add to Project"), folder,
                                                   QStringLiteral("Any file|*.*"), true);
    if (!chosen.isEmpty()) {
        m_window.documents().odFiles = chosen;
        for (const QString &path : chosen)
            m_window.documents().OpenFileAtLine(path, true);
    }
    m_project.OnProjectUpdate.raise(nullptr);
}

void ProjectTreeController::Files1Click(QObject *)
{
    ProjectFilesDialog *form = m_windows.projectFilesDialog;
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
    m_window.documents().OpenFileAtLine(chosen, true);
    m_ui.re->takeFocus();
}
