// Mirroring deletions: what the record says went up and the project has no
// more comes off the host, and only that.

#include "project/publish_deletions.h"

#include "foundation/errors.h"
#include "foundation/ftp_connection.h"
#include "project/project.h"
#include "project/project_paths.h"
#include "project/publish_record.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

QList<HostDeletion> PlanHostDeletions(const Project &project, const PublishRecord &record)
{
    // The remote paths the project's entries map to, as the publish plan
    // makes them, and whether each entry's file is still there.
    const QString projectFolder =
        project.FileName.isEmpty() ? QString() : ProjectFolderOf(project.FileName);
    QHash<QString, bool> onDisk;
    for (int i = 0; i < project.Files.Count(); ++i) {
        const QString &name = project.Files.Get(i)->Name;
        if (!name.startsWith(projectFolder))
            continue;
        QString relative = name.mid(projectFolder.size());
        while (relative.startsWith(QDir::separator()))
            relative.remove(0, 1);
        const QString remote = QDir::fromNativeSeparators(relative);
        onDisk[remote] = onDisk.value(remote) || QFileInfo(name).isFile();
    }
    QList<HostDeletion> deletions;
    for (auto it = record.entries().cbegin(); it != record.entries().cend(); ++it) {
        const auto entry = onDisk.constFind(it.key());
        if (entry == onDisk.cend())
            deletions.append({it.key(), QStringLiteral("no longer in the project")});
        else if (!entry.value())
            deletions.append({it.key(), QStringLiteral("no longer on disk")});
    }
    std::sort(deletions.begin(), deletions.end(), [](const HostDeletion &a, const HostDeletion &b) {
        return a.remotePath < b.remotePath;
    });
    return deletions;
}

void DeleteOnHost(FtpConnection &connection, const QList<HostDeletion> &deletions,
                  PublishRecord *record, const std::function<void(const QString &)> &log,
                  const std::function<void(const QString &, const QString &)> &refused)
{
    for (const HostDeletion &deletion : deletions) {
        log(QStringLiteral("Deleting on host: %1 (%2)").arg(deletion.remotePath, deletion.reason));
        try {
            connection.removeFile(deletion.remotePath);
        } catch (const AppError &error) {
            if (!connection.isConnected())
                throw;
            log(QStringLiteral("!!!Error deleting file: ") + error.message());
            refused(deletion.remotePath, error.message());
            continue;
        }
        if (record)
            record->remove(deletion.remotePath);
        log(QStringLiteral("Done."));
    }
}
