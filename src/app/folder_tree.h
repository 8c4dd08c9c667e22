#pragma once

#include <QHash>
#include <QIcon>
#include <QSet>
#include <QString>

class Project;
class QTreeWidget;
class QTreeWidgetItem;

// The project tree's content: the project node, under it the entries grouped
// by folder (relative to the project folder; files outside it under a node
// naming their folder), folders before files, each sorted by name. Every node
// carries an integer (NodeRole): -1 the project node, the entry's index for a
// file, FolderNode for a folder; and a path (PathRole): the file's or the
// folder's full path. A filter keeps the files whose shown path holds it.
// Files known to be missing show the warning image; the tree itself never
// looks at the disk, so a large project builds without a call per file.
class FolderTree {
public:
    static constexpr int NodeRole = Qt::UserRole;
    static constexpr int PathRole = Qt::UserRole + 1;
    static constexpr int FolderNode = -3;

    explicit FolderTree(QTreeWidget *tree);

    // Rebuilds the nodes; the folders open and the node selected before stay
    // so when they are still there. Emits nothing (signals are blocked).
    void rebuild(const Project &project, const QString &filter, const QSet<QString> &missing = {});
    // The warning image on the files of `missing` and off the others.
    void showMissing(const Project &project, const QSet<QString> &missing);
    // The file node of `path`, or nullptr (not an entry, or filtered out).
    QTreeWidgetItem *fileNode(const QString &path) const { return m_files.value(path); }
    // Selects the file node of `path`, opening its folders and scrolling to
    // it, without telling anybody; false when it has no node.
    bool reveal(const QString &path);
    // The entry indices of the files below a node, in tree order.
    static QList<int> entriesBelow(const QTreeWidgetItem *node);
    int fileCount() const { return int(m_files.size()); }

private:
    QTreeWidget *m_tree;
    QIcon fileIcon(bool missing, bool publish) const;

    QHash<QString, QTreeWidgetItem *> m_files;
    QSet<QString> m_missing;
    QIcon m_icons[4];
    QIcon m_folder;
};
