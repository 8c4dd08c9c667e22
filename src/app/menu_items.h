#pragma once

#include <QAction>
#include <QHash>
#include <QString>

// The menu items by component name, as the command table built them: what a
// controller needs to read or set a check mark without the window that holds them.
class MenuItems {
public:
    explicit MenuItems(const QHash<QString, QAction *> &items) : m_items(&items) {}
    QAction *item(const QString &name) const { return m_items->value(name.toLower()); }

private:
    const QHash<QString, QAction *> *m_items;
};
