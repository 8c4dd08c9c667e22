#pragma once

#include "project/folder_scan.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

class QFileSystemWatcher;
class QWidget;

// Walks a folder on a worker thread. The window takes no input meanwhile; a
// walk that lasts longer than `showAfterMs` shows a progress box (object name
// `FolderProgress`) whose Cancel ends it with what was found so far
// (`cancelled` set). The walk's errors come back as exceptions.
FolderScanResult RunFolderScan(QWidget *window, const FolderScan &scan, int showAfterMs = 400);

// Tells when files may have come or gone below a folder: a bounded number of
// its folders are watched (the first MaxFolders walked, the top ones), and a
// burst of changes gives one `changed` after a quiet second.
class FolderWatch final : public QObject {
    Q_OBJECT

public:
    static constexpr int MaxFolders = 2000;
    explicit FolderWatch(QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(FolderWatch)

    // Watches these folders (replacing any before); returns how many.
    int watch(const QStringList &folders);
    void stop();
    bool watching() const;
    // For tests: how long a burst must be quiet.
    void setQuietMs(int ms) { m_quiet.setInterval(ms); }

signals:
    void changed();

private:
    QFileSystemWatcher *m_watcher;
    QTimer m_quiet;
};
