#pragma once

#include <QTabBar>

// The tabs of the open documents above the editor (object name
// `DocumentTabs`): one per document, the file name with "*" while it holds
// unsaved text and the path in its tooltip. A middle click or a tab's close
// button asks to close that tab; a right click asks for the tab's menu.
// What happens then is the documents controller's.
class DocumentTabs final : public QTabBar {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DocumentTabs)

public:
    explicit DocumentTabs(QWidget *parent = nullptr);

signals:
    void closeRequested(int index);
    void menuRequested(int index, const QPoint &globalPosition);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
};
