#include "components/recent_files.h"

#include "foundation/handler_guard.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>

#include <algorithm>

namespace {
const QString ValueName = QStringLiteral("String");
}

RecentFiles::RecentFiles(QObject *owner, QString keyRoot)
    : QObject(owner), m_keyRoot(std::move(keyRoot))
{
    setObjectName(QStringLiteral("RecentFiles"));
    read();
}

RecentFiles::RecentFiles(QObject *owner, QString keyRoot, QString listName, int maxEntries)
    : QObject(owner), m_keyRoot(std::move(keyRoot)), m_listName(std::move(listName)),
      m_maxEntries(maxEntries), m_maxShown(maxEntries)
{
    setObjectName(m_listName);
    read();
}

QString RecentFiles::listKey() const
{
    return m_keyRoot + u'\\' + m_listName;
}

RecentFiles::~RecentFiles()
{
    try {
        write();
    } catch (...) {
        // The list simply stays as it was stored; nothing to tell at exit.
    }
}

QString RecentFiles::defaultKeyRoot()
{
    QString exe = QCoreApplication::applicationFilePath();
    if (exe.isEmpty() && !QCoreApplication::arguments().isEmpty())
        exe = QCoreApplication::arguments().constFirst();
    return QFileInfo(exe).fileName();
}

QString RecentFiles::Registry_Value_Get(const QString &key, const QString &defaultValue)
{
    return RegReadString(key, defaultValue);
}

void RecentFiles::read()
{
    try {
        bool ok = false;
        int count = Registry_Value_Get(listKey() + QStringLiteral("\\Count"), QStringLiteral("0"))
                        .trimmed()
                        .toInt(&ok);
        if (!ok || count <= 0)
            return;
        // The stored count decides nothing by itself: entries up to the last
        // one the store holds, and no more than MaxReadEntries, are read.
        int present = 0;
        const QString entryPrefix = QStringLiteral("File");
        for (const QString &name : UserSettings().childKeys(listKey())) {
            if (!name.startsWith(entryPrefix, Qt::CaseInsensitive))
                continue;
            const QString digits = name.mid(entryPrefix.size());
            bool isIndex = false;
            const int index = digits.toInt(&isIndex);
            // Only the form this list writes: "File7", not "File007" or "File+7".
            if (isIndex && index >= 0 && digits == QString::number(index) && index < MaxReadEntries)
                present = std::max(present, index + 1);
        }
        count = std::min(count, present);
        // One pass over the store, however long the list is.
        QStringList keys;
        keys.reserve(count);
        for (int i = 0; i < count; ++i)
            keys << listKey() + QStringLiteral("\\File") + QString::number(i);
        m_files = UserSettings().readValues(keys, ValueName);
    } catch (...) {
        // An unreadable store leaves the list as far as it was read.
    }
}

void RecentFiles::write() const
{
    QList<QPair<QString, QString>> values;
    values.reserve(m_files.size() + 1);
    values.append({listKey() + QStringLiteral("\\Count"), QString::number(m_files.size())});
    for (qsizetype i = 0; i < m_files.size(); ++i)
        values.append({listKey() + QStringLiteral("\\File") + QString::number(i), m_files.at(i)});
    UserSettings().writeValues(values, ValueName);
}

void RecentFiles::SetMenuItem(QAction *item)
{
    m_menuItem = item;
    RebuildMenu();
}

void RecentFiles::NotifyOpen(const QString &path)
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (m_files.at(i).compare(path, Qt::CaseInsensitive) == 0) {
            found = i;
            break;
        }
    }
    if (found >= 0) {
        m_files.removeAt(found);
        m_files.prepend(path);
    } else {
        m_files.prepend(path);
        if (m_files.size() > m_maxEntries)
            m_files.removeLast();
    }
    RebuildMenu();
}

void RecentFiles::RebuildMenu()
{
    if (!m_menuItem)
        return;
    QMenu *menu = m_menuItem->menu();
    if (!menu) {
        menu = new QMenu;
        m_menuItem->setMenu(menu);
    }
    // The entries are owned by the menu, which deletes them here.
    menu->clear();
    for (qsizetype i = 0; i < m_files.size() && i < m_maxShown; ++i) {
        auto *entry = new QAction(m_files.at(i), menu);
        entry->setData(int(i));
        // A path may hold '&'; show it as it is instead of as an access key.
        entry->setText(QString(m_files.at(i)).replace(u'&', QStringLiteral("&&")));
        SetClickHandler(entry, [this](QObject *sender) { OnFileClick(sender); });
        menu->addAction(entry);
    }
}

void RecentFiles::OnFileClick(QObject *sender)
{
    auto *entry = qobject_cast<QAction *>(sender);
    if (!entry)
        return;
    const int i = entry->data().toInt();
    if (OnOpenFile && i >= 0 && i < m_files.size())
        OnOpenFile(this, m_files.at(i));
}
