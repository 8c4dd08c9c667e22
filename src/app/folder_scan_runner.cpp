#include "app/folder_scan_runner.h"

#include <QEventLoop>
#include <QFileSystemWatcher>
#include <QProgressDialog>

#include <atomic>
#include <exception>
#include <thread>

FolderScanResult RunFolderScan(QWidget *window, const FolderScan &scan, int showAfterMs)
{
    std::atomic<bool> cancel{false};
    std::atomic<int> found{0};
    FolderScanResult result;
    std::exception_ptr error;
    bool done = false;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            result = scan.run(&cancel, [&](int files) { found = files; });
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(
            &loop,
            [&] {
                done = true;
                loop.quit();
            },
            Qt::QueuedConnection);
    });
    // A short walk passes without a box; keys typed meanwhile wait for it.
    QTimer::singleShot(showAfterMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done) {
        QProgressDialog box(QStringLiteral("Reading %1 ...").arg(scan.folder()),
                            QStringLiteral("Cancel"), 0, 0, window);
        box.setObjectName(QStringLiteral("FolderProgress"));
        box.setWindowTitle(QStringLiteral("Open Folder"));
        box.setWindowModality(Qt::WindowModal);
        box.setMinimumDuration(0);
        QObject::connect(&box, &QProgressDialog::canceled, [&] { cancel = true; });
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            box.setLabelText(
                QStringLiteral("Reading %1 ...\n%2 files").arg(scan.folder()).arg(found.load()));
        });
        tick.start(100);
        box.show();
        while (!done)
            loop.exec();
    }
    worker.join();
    if (error)
        std::rethrow_exception(error);
    return result;
}

FolderWatch::FolderWatch(QObject *parent) : QObject(parent), m_watcher(new QFileSystemWatcher(this))
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(1000);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_quiet.start(); });
    connect(&m_quiet, &QTimer::timeout, this, &FolderWatch::changed);
}

int FolderWatch::watch(const QStringList &folders)
{
    stop();
    const QStringList some = folders.mid(0, MaxFolders);
    if (!some.isEmpty())
        m_watcher->addPaths(some);
    return int(m_watcher->directories().size());
}

void FolderWatch::stop()
{
    m_quiet.stop();
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
}

bool FolderWatch::watching() const
{
    return !m_watcher->directories().isEmpty();
}
