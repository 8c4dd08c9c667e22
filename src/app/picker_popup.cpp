#include "app/picker_popup.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

PickerPopup::PickerPopup(QWidget *parent, const QString &name, const QString &fieldName,
                         const QString &listName, const QString &placeholder)
    : QFrame(parent, Qt::Popup), m_field(new QLineEdit(this)), m_list(new QListWidget(this))
{
    setObjectName(name);
    setFrameShape(QFrame::StyledPanel);
    m_field->setObjectName(fieldName);
    m_field->setPlaceholderText(placeholder);
    m_list->setObjectName(listName);
    m_list->setUniformItemSizes(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(m_field);
    layout->addWidget(m_list);
    m_field->installEventFilter(this);
    connect(m_field, &QLineEdit::textChanged, this, [this] { refilter(); });
    connect(m_list, &QListWidget::itemActivated, this, &PickerPopup::choose);
    connect(m_list, &QListWidget::itemClicked, this, &PickerPopup::choose);
}

void PickerPopup::showOver(QWidget *over, int minWidth, int minHeight)
{
    const int width = std::max(minWidth, over->width() * 2 / 3);
    const QPoint at = over->mapToGlobal(QPoint((over->width() - width) / 2, 0));
    setGeometry(at.x(), at.y(), width, std::max(minHeight, over->height() / 2));
    m_field->clear();
    refilter();
    show();
    raise();
    activateWindow();
    m_field->setFocus();
}

void PickerPopup::choose()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    const QListWidgetItem chosen = *item; // the list may be refilled by whoever acts on it
    hide();
    chooseItem(chosen);
}

bool PickerPopup::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
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
