// Compare with Host: what the host holds against what the project would
// send, for a machine without a record or a host someone else edited.

#include "project/host_compare.h"

#include "foundation/ftp_connection.h"
#include "project/project.h"
#include "project/publish_engine.h"
#include "project/publish_record.h"

#include <QHash>
#include <QSet>

#include <algorithm>

QList<HostFile> ListHostFiles(FtpConnection &connection, const QString &folder)
{
    connection.changeDir(connection.rootFolder());
    if (!folder.isEmpty())
        connection.changeDir(folder);
    QList<HostFile> files;
    QStringList pending{QString()};
    while (!pending.isEmpty()) {
        const QString below = pending.takeFirst();
        const QList<RemoteEntry> entries =
            connection.listFolder(below.isEmpty() ? QStringLiteral(".") : below);
        for (const RemoteEntry &entry : entries) {
            const QString path = below.isEmpty() ? entry.name : below + u'/' + entry.name;
            if (entry.folder)
                pending.append(path);
            else if (!IsUploadTemporaryName(entry.name))
                files.append({path, entry.size, entry.modifiedMs});
        }
    }
    return files;
}

QString HostComparison::stateText(State state)
{
    switch (state) {
    case State::Same:
        return QStringLiteral("same");
    case State::ChangedLocally:
        return QStringLiteral("changed locally");
    case State::ChangedOnHost:
        return QStringLiteral("changed on the host");
    case State::ChangedBoth:
        return QStringLiteral("changed locally and on the host");
    case State::OnlyLocal:
        return QStringLiteral("only local");
    case State::OnlyOnHost:
        return QStringLiteral("only on the host");
    }
    return {};
}

QList<HostComparison> CompareWithHost(const Project &project, PublishRecord *record,
                                      const QList<HostFile> &host)
{
    using State = HostComparison::State;
    PublishOptions options;
    options.changesOnly = true;
    options.record = record;
    const QList<PublishStep> plan = PlanPublish(project, -1, options);
    QHash<QString, const HostFile *> onHost;
    for (const HostFile &file : host)
        onHost.insert(file.path, &file);

    QList<HostComparison> rows;
    QSet<QString> seen;
    for (const PublishStep &step : plan) {
        if (step.remotePath.isEmpty())
            continue;
        seen.insert(step.remotePath);
        const bool candidate = step.sends() || step.action == PublishStep::Action::SkipUnchanged;
        if (!candidate)
            continue; // never sent, so nothing to compare
        HostComparison row;
        row.path = step.remotePath;
        row.localPath = step.localPath;
        const HostFile *there = onHost.value(step.remotePath);
        const PublishRecord::Entry *sent = record ? record->find(step.remotePath) : nullptr;
        if (!there) {
            row.state = State::OnlyLocal;
            row.why = sent ? QStringLiteral("published before, missing on the host now")
                           : QStringLiteral("not on the host");
        } else if (sent) {
            const bool local = step.action == PublishStep::Action::SendChanged;
            const bool remote = there->size >= 0 && there->size != sent->size;
            row.state = local && remote ? State::ChangedBoth
                        : local         ? State::ChangedLocally
                        : remote        ? State::ChangedOnHost
                                        : State::Same;
            row.why = remote ? QStringLiteral("%1 bytes on the host, %2 when it was published")
                                   .arg(there->size)
                                   .arg(sent->size)
                      : local ? QStringLiteral("content differs from what was published")
                              : QStringLiteral("as published");
        } else if (there->size == step.size) {
            row.state = State::Same;
            row.why = QStringLiteral("same size (no record of a publish to tell more)");
        } else {
            const bool localNewer = there->modifiedMs < 0 || step.modifiedMs > there->modifiedMs;
            row.state = localNewer ? State::ChangedLocally : State::ChangedOnHost;
            row.why = QStringLiteral("%1 bytes here, %2 on the host; the %3 copy is newer")
                          .arg(step.size)
                          .arg(there->size)
                          .arg(localNewer ? QStringLiteral("local") : QStringLiteral("host's"));
        }
        rows.append(row);
    }
    for (const HostFile &file : host) {
        if (seen.contains(file.path))
            continue;
        HostComparison row;
        row.path = file.path;
        row.state = State::OnlyOnHost;
        row.why = record && record->find(file.path)
                      ? QStringLiteral("published before, no longer in the project")
                      : QStringLiteral("not in the project");
        rows.append(row);
    }
    std::sort(rows.begin(), rows.end(),
              [](const HostComparison &a, const HostComparison &b) { return a.path < b.path; });
    return rows;
}
