#include "app/quick_open.h"

#include "project/project.h"
#include "project/project_paths.h"

#include <QLineEdit>
#include <QListWidget>

QuickOpen::QuickOpen(const Project &project, QWidget *parent)
    : PickerPopup(parent, QStringLiteral("QuickOpenPopup"), QStringLiteral("QuickOpenField"),
                  QStringLiteral("QuickOpenList"),
                  QStringLiteral("Open a project file: type parts of its path")),
      m_project(project)
{
}

void QuickOpen::popUp(QWidget *over)
{
    m_paths.clear();
    m_project.ListFileNames(m_paths);
    // Matched as shown: relative to the project folder, where there is one.
    const QString folder =
        m_project.FileName.isEmpty() ? QString() : ProjectFolderOf(m_project.FileName);
    QStringList shown;
    shown.reserve(m_paths.size());
    for (const QString &path : m_paths)
        shown << (!folder.isEmpty() && path.startsWith(folder) ? path.mid(folder.size()) : path);
    m_index.reset(shown);

    showOver(over, 480, 260);
}

void QuickOpen::refilter()
{
    const std::vector<int> best = m_index.find(field()->text(), MaxRows);
    list()->clear();
    const QString folder =
        m_project.FileName.isEmpty() ? QString() : ProjectFolderOf(m_project.FileName);
    for (const int i : best) {
        const QString &path = m_paths.at(i);
        const qsizetype slash = path.lastIndexOf(u'/');
        QString where = path.left(slash);
        if (!folder.isEmpty() && (where + u'/').startsWith(folder))
            where = where.mid(folder.size());
        auto *item = new QListWidgetItem(path.mid(slash + 1) + QStringLiteral("    ") + where);
        item->setData(Qt::UserRole, path);
        item->setToolTip(path);
        list()->addItem(item);
    }
    if (list()->count() > 0)
        list()->setCurrentRow(0);
}

void QuickOpen::chooseItem(const QListWidgetItem &item)
{
    emit chosen(item.data(Qt::UserRole).toString());
}
