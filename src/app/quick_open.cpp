#include "app/quick_open.h"

#include "project/project.h"
#include "project/project_paths.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

QuickOpen::QuickOpen(const Project &project, QWidget *parent)
    : QFrame(parent, Qt::Popup), m_project(project), m_field(new QLineEdit(this)),
      m_list(new QListWidget(this))
{
    setObjectName(QStringLiteral("QuickOpenPopup"));
    setFrameShape(QFrame::StyledPanel);
    m_field->setObjectName(QStringLiteral("QuickOpenField"));
    m_field->setPlaceholderText(QStringLiteral("Open a project file: type parts of its path"));
    m_list->setObjectName(QStringLiteral("QuickOpenList"));
    m_list->setUniformItemSizes(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(m_field);
    layout->addWidget(m_list);
    m_field->installEventFilter(this);
    connect(m_field, &QLineEdit::textChanged, this, &QuickOpen::refilter);
    connect(m_list, &QListWidget::itemActivated, this, &QuickOpen::choose);
    connect(m_list, &QListWidget::itemClicked, this, &QuickOpen::choose);
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

    const int width = std::max(480, over->width() * 2 / 3);
    const QPoint at = over->mapToGlobal(QPoint((over->width() - width) / 2, 0));
    setGeometry(at.x(), at.y(), width, std::max(260, over->height() / 2));
    m_field->clear();
    refilter();
    show();
    raise();
    activateWindow();
    m_field->setFocus();
}

void QuickOpen::refilter()
{
    const std::vector<int> best = m_index.find(m_field->text(), MaxRows);
    m_list->clear();
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
        m_list->addItem(item);
    }
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
}

void QuickOpen::choose()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    const QString path = item->data(Qt::UserRole).toString();
    hide();
    emit chosen(path);
}

bool QuickOpen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Down:
        case Qt::Key_Up:
        case Qt::Key_PageDown:
        case Qt::Key_PageUp:
            QCoreApplication::sendEvent(m_list, event);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            choose();
            return true;
        case Qt::Key_Escape:
            hide();
            return true;
        default:
            break;
        }
    }
    return QFrame::eventFilter(watched, event);
}
