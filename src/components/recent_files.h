#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QAction;

// The most-recent-first list of project files shown under File > Reopen. It is
// read from the settings store when created and written back when destroyed;
// choosing an entry raises OnOpenFile with its path. Paths compare without
// regard to letter case; 20 are kept and 12 shown. The stored count is
// clamped to the entries the store holds and to MaxReadEntries.
class RecentFiles final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RecentFiles)

public:
    static constexpr int MaxEntries = 20;
    static constexpr int MaxShown = 12;
    // At most this many stored entries are read, whatever count is stored.
    static constexpr int MaxReadEntries = 1000;

    // `keyRoot` is the executable's file name, the first part of every key.
    explicit RecentFiles(QObject *owner, QString keyRoot = defaultKeyRoot());
    // Another list beside the recent projects: its own key below `keyRoot`
    // (`listName` in place of "RecentFiles"), keeping `maxEntries` and
    // showing as many.
    RecentFiles(QObject *owner, QString keyRoot, QString listName, int maxEntries);
    ~RecentFiles() override;

    void SetMenuItem(QAction *item);
    void NotifyOpen(const QString &path);
    void RebuildMenu();
    void OnFileClick(QObject *sender);

    const QStringList &files() const { return m_files; }

    std::function<void(QObject *sender, const QString &fileName)> OnOpenFile;

    static QString defaultKeyRoot();
    // The value "String" of one key; the default when empty or missing.
    static QString Registry_Value_Get(const QString &key, const QString &defaultValue);

private:
    void read();
    void write() const;

    QString listKey() const;

    QString m_keyRoot;
    QString m_listName = QStringLiteral("RecentFiles");
    int m_maxEntries = MaxEntries;
    int m_maxShown = MaxShown;
    QStringList m_files;
    QAction *m_menuItem = nullptr;
};
