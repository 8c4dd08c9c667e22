#include "app/folder_tree.h"

#include "project/project.h"
#include "project/project_paths.h"

#include <QFileInfo>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace {
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

// Names in the order a file manager shows them: letter case second.
bool byName(const QString &a, const QString &b)
{
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

struct Group {
    QString path; // full path of the folder
    std::map<QString, std::unique_ptr<Group>, decltype(&byName)> folders{&byName};
    std::vector<std::pair<QString, int>> files; // name, entry index
};
} // namespace

FolderTree::FolderTree(QTreeWidget *tree) : m_tree(tree)
{
    for (int i = 0; i < 4; ++i)
        m_icons[i] = projectImage(i);
    m_folder = tree->style()->standardIcon(QStyle::SP_DirIcon);
}

QIcon FolderTree::fileIcon(bool missing, bool publish) const
{
    return missing ? m_icons[ImageMissing] : publish ? m_icons[ImageFile] : m_icons[ImageLocked];
}

void FolderTree::rebuild(const Project &project, const QString &filter,
                         const QSet<QString> &missing)
{
    m_missing = missing;
    // What the user had open and selected survives the rebuild.
    QSet<QString> open;
    QString selected;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if ((*it)->data(0, NodeRole).toInt() == FolderNode && (*it)->isExpanded())
            open.insert((*it)->data(0, PathRole).toString());
    }
    if (const QTreeWidgetItem *current = m_tree->currentItem(); current && current->isSelected())
        selected = current->data(0, PathRole).toString();

    const QString projectFolder =
        project.FileName.isEmpty() ? QString() : ProjectFolderOf(project.FileName);
    const QString base = projectFolder.endsWith(u'/') ? projectFolder : projectFolder + u'/';
    Group root;
    root.path = projectFolder.isEmpty() ? QString() : QFileInfo(project.FileName).absolutePath();
    // Outside the project folder (or without one) files nest by their full
    // paths, under one node naming the folder they all share.
    Group outside;
    for (int i = 0; i < project.Files.Count(); ++i) {
        const QString &name = project.Files.Get(i)->Name;
        const bool inside = !projectFolder.isEmpty() && name.startsWith(base);
        const QString shown = inside ? name.mid(base.size()) : name;
        if (!filter.isEmpty() && !shown.contains(filter, Qt::CaseInsensitive))
            continue;
        const qsizetype slash = shown.lastIndexOf(u'/');
        Group *group = inside ? &root : &outside;
        const QString prefix = inside ? base : QString();
        qsizetype start = !inside && shown.startsWith(u'/') ? 1 : 0;
        while (start < slash) {
            const qsizetype next = shown.indexOf(u'/', start);
            const QString part = shown.mid(start, next - start);
            auto &slot = group->folders[part];
            if (!slot) {
                slot = std::make_unique<Group>();
                slot->path = prefix + shown.left(next);
            }
            group = slot.get();
            start = next + 1;
        }
        group->files.emplace_back(slash >= 0 ? shown.mid(slash + 1) : shown, i);
    }

    if (!outside.folders.empty() || !outside.files.empty()) {
        // The folders all outside files share make one node's text.
        Group *top = &outside;
        QString text;
        while (top->files.empty() && top->folders.size() == 1) {
            text += u'/' + top->folders.begin()->first;
            top = top->folders.begin()->second.get();
        }
        auto shared = std::make_unique<Group>();
        std::swap(shared->folders, top->folders);
        std::swap(shared->files, top->files);
        shared->path = text.isEmpty() ? QStringLiteral("/") : top->path;
        root.folders[text.isEmpty() ? QStringLiteral("/") : text] = std::move(shared);
    }

    const QSignalBlocker block(m_tree);
    m_tree->clear();
    m_files.clear();
    auto *projectNode = new QTreeWidgetItem;
    projectNode->setText(0, project.FileName.isEmpty() ? QString()
                                                       : QFileInfo(project.FileName).fileName());
    projectNode->setData(0, NodeRole, -1);
    projectNode->setData(0, PathRole, root.path);
    projectNode->setIcon(0, m_icons[ImageProject]);

    const bool openAll = !filter.isEmpty();
    std::vector<QTreeWidgetItem *> toOpen;
    const std::function<void(const Group &, QTreeWidgetItem *)> fill =
        [&](const Group &group, QTreeWidgetItem *parent) {
            QList<QTreeWidgetItem *> children;
            children.reserve(qsizetype(group.folders.size() + group.files.size()));
            for (const auto &[name, folder] : group.folders) {
                auto *node = new QTreeWidgetItem;
                node->setText(0, name);
                node->setData(0, NodeRole, FolderNode);
                node->setData(0, PathRole, folder->path);
                node->setIcon(0, m_folder);
                fill(*folder, node);
                children.append(node);
                if (openAll || open.contains(folder->path))
                    toOpen.push_back(node);
            }
            auto files = group.files;
            std::sort(files.begin(), files.end(),
                      [](const auto &a, const auto &b) { return byName(a.first, b.first); });
            for (const auto &[name, index] : files) {
                const ProjectEntry *entry = project.Files.Get(index);
                auto *node = new QTreeWidgetItem;
                node->setText(0, name);
                node->setToolTip(0, entry->Name);
                node->setData(0, NodeRole, index);
                node->setData(0, PathRole, entry->Name);
                node->setIcon(0, fileIcon(m_missing.contains(entry->Name), entry->Publish));
                m_files.insert(entry->Name, node);
                children.append(node);
            }
            parent->addChildren(children);
        };
    fill(root, projectNode);
    m_tree->addTopLevelItem(projectNode);
    projectNode->setExpanded(true);
    for (QTreeWidgetItem *node : toOpen)
        node->setExpanded(true);

    m_tree->setCurrentItem(nullptr);
    m_tree->clearSelection();
    if (!selected.isEmpty()) {
        QTreeWidgetItem *again = m_files.value(selected);
        for (QTreeWidgetItemIterator it(m_tree); !again && *it; ++it)
            if ((*it)->data(0, PathRole).toString() == selected)
                again = *it;
        if (again)
            m_tree->setCurrentItem(again);
    }
}

void FolderTree::showMissing(const Project &project, const QSet<QString> &missing)
{
    // Only the nodes whose state changed are touched.
    QSet<QString> changed = missing;
    changed.unite(m_missing);
    for (const QString &path : std::as_const(m_missing))
        if (missing.contains(path))
            changed.remove(path);
    m_missing = missing;
    const QSignalBlocker block(m_tree);
    for (const QString &path : std::as_const(changed)) {
        QTreeWidgetItem *node = m_files.value(path);
        if (!node)
            continue;
        const int index = node->data(0, NodeRole).toInt();
        if (index >= 0 && index < project.Files.Count())
            node->setIcon(0, fileIcon(missing.contains(path), project.Files.Get(index)->Publish));
    }
}

bool FolderTree::reveal(const QString &path)
{
    QTreeWidgetItem *node = m_files.value(path);
    if (!node)
        return false;
    const QSignalBlocker block(m_tree);
    for (QTreeWidgetItem *up = node->parent(); up; up = up->parent())
        up->setExpanded(true);
    m_tree->setCurrentItem(node);
    m_tree->scrollToItem(node);
    return true;
}

QList<int> FolderTree::entriesBelow(const QTreeWidgetItem *node)
{
    QList<int> entries;
    if (!node)
        return entries;
    const int own = node->data(0, NodeRole).toInt();
    if (own >= 0)
        entries.append(own);
    for (int i = 0; i < node->childCount(); ++i)
        entries += entriesBelow(node->child(i));
    return entries;
}
