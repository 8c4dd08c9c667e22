#include "app/document_tabs.h"

#include <QContextMenuEvent>
#include <QMouseEvent>

DocumentTabs::DocumentTabs(QWidget *parent) : QTabBar(parent)
{
    setObjectName(QStringLiteral("DocumentTabs"));
    setTabsClosable(true);
    setMovable(true);
    setDocumentMode(true);
    setExpanding(false);
    setUsesScrollButtons(true);
    setElideMode(Qt::ElideNone);
    // The editor keeps the keys; tabs change by mouse or by the window's keys.
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QTabBar::tabCloseRequested, this, &DocumentTabs::closeRequested);
}

void DocumentTabs::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::MiddleButton) {
        const int index = tabAt(event->position().toPoint());
        if (index >= 0) {
            emit closeRequested(index);
            event->accept();
            return;
        }
    }
    QTabBar::mouseReleaseEvent(event);
}

void DocumentTabs::contextMenuEvent(QContextMenuEvent *event)
{
    const int index = tabAt(event->pos());
    if (index >= 0)
        emit menuRequested(index, event->globalPos());
    event->accept();
}
