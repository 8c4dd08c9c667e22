#pragma once

#include <QList>
#include <QString>

#include <functional>

class FtpConnection;
class Project;
class PublishRecord;

// A file on the host that mirroring deletions removes: one the record says
// this program published there and that the project no longer sends.
struct HostDeletion {
    QString remotePath; // below the FTP folder, '/' separated, as the record keeps it
    QString reason;     // "no longer in the project" or "no longer on disk"
    bool operator==(const HostDeletion &) const = default;
};

// The files to delete from the host, in path order: every path the record
// holds that no project entry maps to any more (removed or renamed entries),
// or whose entry's file is gone from disk. A file the record does not name
// is never among them, so nothing the program did not publish is touched.
QList<HostDeletion> PlanHostDeletions(const Project &project, const PublishRecord &record);

// Deletes the planned files through `connection`, which stands in the FTP
// folder, logging each through `log`. A deleted file leaves the record; one
// the server refused stays in it and goes to `refused` with the server's
// reply. A lost connection ends it with the error.
void DeleteOnHost(FtpConnection &connection, const QList<HostDeletion> &deletions,
                  PublishRecord *record, const std::function<void(const QString &)> &log,
                  const std::function<void(const QString &, const QString &)> &refused);
