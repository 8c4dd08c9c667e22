// The project commands and the project tree: the tree mirrors the file list,
// opens what the user selects, and carries the lock, remove and rename commands.
#include "app/main_form.h"

#include "app/application.h"
#include "editor/code_editor.h"
#include "forms/form_files.h"
#include "foundation/switches.h"
#include "foundation/user_dialogs.h"
#include "net/local_php_server.h"
#include "project/project_paths.h"

#include <QAction>
#include <QDir>
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

int TMainForm::SelectedNode() const
{
    const QTreeWidgetItem *node = PrTree->currentItem();
    if (!node || !node->isSelected())
        return NoNode;
    return node->data(0, NodeRole).toInt();
}

void TMainForm::OpenProject(const QString &path)
{
    const bool exists = QFileInfo(path).isFile();
    Project.LoadFromFile(path);
    // Nothing was loaded: reloading the document from disk now would throw
    // away the editor's unsaved text.
    if (!exists)
        return;
    if (!Project.OpenedFile.isEmpty()) {
        // Forget the name first so the editor's text, which belongs to the
        // document open before the load, is not saved into the loaded one's file.
        const QString opened = Project.OpenedFile;
        Project.SetOpenedFile(QString());
        OpenFileAtLine(opened, true);
    } else if (Project.Files.Count() > 0) {
        OpenFileAtLine(Project.Files.Get(0)->Name, true);
    }
}

void TMainForm::SaveProjectTo(const QString &path)
{
    Project.SaveToFile(path);
}

void TMainForm::SavePrjClick(QObject *Sender)
{
    if (Sender && !QFileInfo(Project.FileName).isFile())
        Saveas1Click(nullptr);
    else if (!Project.FileName.isEmpty())
        SaveProjectTo(Project.FileName);
}

void TMainForm::Saveas1Click(QObject *)
{
    const QString chosen = Dialogs().saveFile(QStringLiteral("Save Project as"), Project.FileName,
                                              ProjectSaveFilter, QStringLiteral("wdx"));
    if (chosen.isEmpty())
        return;
    SaveProjectTo(chosen);
    Project.LoadFromFile(chosen);
}

void TMainForm::New1Click(QObject *)
{
    // The own PHP server served the project that goes now.
    if (m_phpServer)
        m_phpServer->stop();
    Project.Clear();
    UpdateCaption();
    re->clearAll();
}

void TMainForm::Open2Click(QObject *)
{
    const QStringList chosen = Dialogs().openFiles(QStringLiteral("Open Project"),
                                                   QFileInfo(Project.FileName).absolutePath(),
                                                   ProjectOpenFilter, false);
    if (!chosen.isEmpty())
        OpenProject(chosen.constFirst());
}

void TMainForm::pmitemClick(QObject *)
{
    PrTree->setVisible(item(QStringLiteral("pmitem"))->isChecked());
}

void TMainForm::OnProjectUpdateExecute()
{
    QString remembered;
    if (const QTreeWidgetItem *selected = PrTree->currentItem(); selected && selected->isSelected())
        remembered = selected->text(0);

    // Selections made here are the program's own and open nothing.
    const QSignalBlocker block(PrTree);
    PrTree->clear();
    auto *root = new QTreeWidgetItem(PrTree);
    root->setText(0, Project.FileName.isEmpty() ? QString() : QFileInfo(Project.FileName).fileName());
    root->setData(0, NodeRole, -1);
    root->setIcon(0, projectImage(ImageProject));
    const QIcon file = projectImage(ImageFile);
    const QIcon locked = projectImage(ImageLocked);
    const QIcon missing = projectImage(ImageMissing);
    for (int i = 0; i < Project.Files.Count(); ++i) {
        const cProjectFile *entry = Project.Files.Get(i);
        const QString text = LocaleLower(relativeForDisplay(entry->Name, Project.FileName));
        auto *node = new QTreeWidgetItem(root);
        node->setText(0, text);
        node->setData(0, NodeRole, i);
        node->setIcon(0, !QFileInfo(entry->Name).isFile() ? missing : entry->Publish ? file : locked);
    }
    PrTree->expandAll();
    PrTree->setCurrentItem(nullptr);
    PrTree->clearSelection();
    if (!remembered.isEmpty()) {
        for (QTreeWidgetItemIterator it(PrTree); *it; ++it) {
            if ((*it)->text(0) == remembered) {
                PrTree->setCurrentItem(*it);
                break;
            }
        }
    }
}

void TMainForm::PrTreeDblClick(QObject *)
{
    const int node = SelectedNode();
    if (node < 0)
        return;
    if (node < Project.Files.Count())
        OpenFileAtLine(Project.Files.Get(node)->Name, true);
}

void TMainForm::PrTreeKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    PrTreeDblClick(nullptr);
    re->takeFocus();
}

void TMainForm::ProjPopupPopup(QObject *)
{
    const int node = SelectedNode();
    const bool file = node >= 0 && node < Project.Files.Count();
    item(QStringLiteral("PManProjectAdd"))->setVisible(!file);
    for (const char *name : {"removefromproj", "dontpublish", "publishnow", "Rename1"})
        item(QString::fromLatin1(name))->setVisible(file);
    QAction *lock = item(QStringLiteral("dontpublish"));
    lock->setCheckable(true);
    lock->setChecked(file && !Project.Files.Get(node)->Publish);
}

void TMainForm::dontpublishClick(QObject *)
{
    const int node = SelectedNode();
    if (node < 0 || node >= Project.Files.Count())
        return;
    cProjectFile *entry = Project.Files.Get(node);
    entry->Publish = !entry->Publish;
    item(QStringLiteral("dontpublish"))->setChecked(!entry->Publish);
    OnProjectUpdateExecute();
}

void TMainForm::removefromprojClick(QObject *)
{
    const int node = SelectedNode();
    if (node < 0 || node >= Project.Files.Count())
        return;
    {
        const QSignalBlocker block(PrTree);
        QTreeWidgetItem *following = PrTree->itemBelow(PrTree->currentItem());
        PrTree->setCurrentItem(following);
        if (!following)
            PrTree->clearSelection();
    }
    Project.RemoveFile(node);
}

void TMainForm::Rename1Click(QObject *)
{
    const int node = SelectedNode();
    if (node < 0 || node >= Project.Files.Count())
        return;
    cProjectFile *entry = Project.Files.Get(node);
    const QString old = entry->Name;
    const QFileInfo info(old);
    const std::optional<QString> answer =
        Dialogs().prompt(QStringLiteral("Rename"), QStringLiteral("New name"), info.fileName());
    if (!answer)
        return;
    const QString newName = info.path() + u'/' + *answer;
    if (answer->isEmpty() || answer->contains(u'/'))
        throw AppError(QStringLiteral("Cannot rename %1: \"%2\" is not a file name").arg(old, *answer));
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
    if (Project.OpenedFile == old)
        Project.SetOpenedFile(newName);
    UpdateCaption();
    Project.OnProjectUpdate.raise(nullptr);
}

void TMainForm::ProjectAddClick(QObject *)
{
    if (odFolder.isEmpty() && !Project.FileName.isEmpty())
        odFolder = QFileInfo(Project.FileName).absolutePath();
    const QStringList chosen = Dialogs().openFiles(QStringLiteral("Add to Project"), odFolder,
                                                   QStringLiteral("Any file|*.*"), true);
    if (!chosen.isEmpty()) {
        odFiles = chosen;
        for (const QString &path : chosen)
            OpenFileAtLine(path, true);
    }
    Project.OnProjectUpdate.raise(nullptr);
}

void TMainForm::Files1Click(QObject *)
{
    Tform_files *form = m_windows->form_files;
    QStringList names;
    Project.ListFileNames(names);
    QList<QPair<QString, QString>> rows;
    int current = -1;
    const QString opened = LocaleLower(Project.OpenedFile);
    for (int i = 0; i < names.size(); ++i) {
        rows.append({relativeForDisplay(names.at(i), Project.FileName), names.at(i)});
        if (!opened.isEmpty() && LocaleLower(names.at(i)) == opened)
            current = i;
    }
    form->setRows(rows, current);
    if (Dialogs().showModal(form) != QDialog::Accepted)
        return;
    const QString chosen = form->chosenPath();
    if (!chosen.isEmpty())
        OpenFileAtLine(chosen, true);
}
