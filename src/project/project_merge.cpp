// Another program wrote the project file while we had it open: what it
// changed comes in, what we changed stays, and what both changed is named.

#include "project/project.h"

#include <QHash>

#include <algorithm>

namespace {

// Takes their value where ours is still the one both started from; names
// the setting when both sides changed it differently.
template <typename T>
void mergeValue(T &ours, const T &base, const T &theirs, const QString &name,
                QStringList &conflicts)
{
    if (theirs == base || theirs == ours)
        return;
    if (ours == base)
        ours = theirs;
    else
        conflicts << name;
}

QHash<QString, const ProjectEntry *> byName(const OwningList<ProjectEntry> &files)
{
    QHash<QString, const ProjectEntry *> entries;
    for (int i = 0; i < files.Count(); ++i)
        entries.insert(files.Get(i)->Name, files.Get(i));
    return entries;
}

} // namespace

QStringList Project::MergeFrom(const Project &base, const Project &theirs)
{
    QStringList conflicts;
    const auto baseEntries = byName(base.Files);
    const auto theirEntries = byName(theirs.Files);

    // Entries they removed go; for the others a line or lock they changed
    // and we did not comes in (our line wins: it is where the user was).
    for (int i = Files.Count() - 1; i >= 0; --i) {
        ProjectEntry *entry = Files.Get(i);
        const ProjectEntry *was = baseEntries.value(entry->Name);
        const ProjectEntry *now = theirEntries.value(entry->Name);
        if (was && !now) {
            Files.Delete(i);
            continue;
        }
        if (was && now) {
            if (entry->Line == was->Line)
                entry->Line = now->Line;
            mergeValue(entry->Publish, was->Publish, now->Publish,
                       QStringLiteral("the publishing lock of %1").arg(entry->Name), conflicts);
        }
    }
    // Entries they added come after ours, in their order.
    for (int i = 0; i < theirs.Files.Count(); ++i) {
        const ProjectEntry *added = theirs.Files.Get(i);
        if (baseEntries.contains(added->Name) || IndexOf(added->Name) >= 0)
            continue;
        Files.AddNew();
        *Files.Last() = *added;
    }

    // The remembered document is the one this window shows: it stays ours.
    mergeValue(RunAddress, base.RunAddress, theirs.RunAddress, QStringLiteral("the run address"),
               conflicts);
    mergeValue(DatabaseAddress, base.DatabaseAddress, theirs.DatabaseAddress,
               QStringLiteral("the database address"), conflicts);
    // With the same target chosen on all three sides, it merges setting by
    // setting below and the others merge as one list; otherwise all of them
    // merge as one list, with the choice.
    if (ChosenTarget() != base.ChosenTarget() || ChosenTarget() != theirs.ChosenTarget()) {
        QList<FtpSettings> targets = PublishTargets();
        int chosen = ChosenTarget();
        mergeValue(targets, base.PublishTargets(), theirs.PublishTargets(),
                   QStringLiteral("the publish targets"), conflicts);
        mergeValue(chosen, base.ChosenTarget(), theirs.ChosenTarget(),
                   QStringLiteral("the chosen publish target"), conflicts);
        SetPublishTargets(targets, chosen < targets.size() ? chosen : 0);
        return conflicts;
    }
    const auto others = [](const Project &project) {
        QList<FtpSettings> targets = project.PublishTargets();
        targets.removeAt(project.ChosenTarget());
        return targets;
    };
    QList<FtpSettings> targets = others(*this);
    mergeValue(targets, others(base), others(theirs), QStringLiteral("the other publish targets"),
               conflicts);
    const int chosen = std::min(ChosenTarget(), int(targets.size()));
    targets.insert(chosen, Ftp);
    SetPublishTargets(targets, chosen);
    mergeValue(Ftp.Name, base.Ftp.Name, theirs.Ftp.Name, QStringLiteral("the target's name"),
               conflicts);
    mergeValue(Ftp.MirrorDeletions, base.Ftp.MirrorDeletions, theirs.Ftp.MirrorDeletions,
               QStringLiteral("the mirroring of deletions"), conflicts);
    mergeValue(Ftp.Host, base.Ftp.Host, theirs.Ftp.Host, QStringLiteral("the FTP host"), conflicts);
    mergeValue(Ftp.User, base.Ftp.User, theirs.Ftp.User, QStringLiteral("the FTP user"), conflicts);
    mergeValue(Ftp.Folder, base.Ftp.Folder, theirs.Ftp.Folder, QStringLiteral("the FTP folder"),
               conflicts);
    mergeValue(Ftp.Protocol, base.Ftp.Protocol, theirs.Ftp.Protocol, QStringLiteral("the protocol"),
               conflicts);
    mergeValue(Ftp.Tls, base.Ftp.Tls, theirs.Ftp.Tls, QStringLiteral("the TLS setting"), conflicts);
    mergeValue(Ftp.Exclude, base.Ftp.Exclude, theirs.Ftp.Exclude,
               QStringLiteral("the exclusion patterns"), conflicts);
    // A password kept in the keyring is not in either file: nothing to merge.
    if (!Ftp.PasswordInKeyring && !theirs.Ftp.PasswordInKeyring)
        mergeValue(Ftp.Pass, base.Ftp.Pass, theirs.Ftp.Pass, QStringLiteral("the FTP password"),
                   conflicts);
    mergeValue(Ftp.PasswordInKeyring, base.Ftp.PasswordInKeyring, theirs.Ftp.PasswordInKeyring,
               QStringLiteral("the keyring setting"), conflicts);
    return conflicts;
}
