#include "project/project.h"

#include "foundation/errors.h"
#include "foundation/switches.h"

#include <QFileInfo>
#include <QSet>

Project::Project()
    : RunAddress(QString::fromLatin1(DefaultRunAddress)),
      DatabaseAddress(QString::fromLatin1(DefaultDatabaseAddress))
{
}

void Project::LoadFromFile(const QString &fileName)
{
    XmlStorage::LoadFromFile(fileName);
    OnProjectUpdate.raise();
}

int Project::IndexOf(const QString &name) const
{
    for (int i = 0; i < Files.Count(); ++i) {
        if (Files.Get(i)->Name == name)
            return i;
    }
    return -1;
}

void Project::SetOpenedFile(const QString &name)
{
    OpenedFile = name;
    RefreshStamp();
}

void Project::RefreshStamp()
{
    OpenedStamp = DosStampOfFile(OpenedFile).value_or(0);
}

bool Project::OpenedChangedOnDisk() const
{
    const std::optional<DosStamp> now = DosStampOfFile(OpenedFile);
    return now && *now != OpenedStamp;
}

int Project::AddFiles(const QStringList &paths)
{
    // One pass over the list however many paths come: folders bring thousands.
    QSet<QString> present;
    present.reserve(Files.Count() + paths.size());
    for (int i = 0; i < Files.Count(); ++i)
        present.insert(Files.Get(i)->Name);
    int added = 0;
    for (const QString &path : paths) {
        if (path.isEmpty() || present.contains(path))
            continue;
        present.insert(path);
        Files.AddNew();
        Files.Last()->Name = path;
        ++added;
    }
    if (added > 0)
        OnProjectUpdate.raise();
    return added;
}

void Project::ListFileNames(QStringList &list) const
{
    list.reserve(list.size() + Files.Count());
    for (int i = 0; i < Files.Count(); ++i)
        list.append(Files.Get(i)->Name);
}

void Project::Clear()
{
    Files.Clear();
    Debug = DebugSettings{};
    WatchFolder = false;
    SetOpenedFile(QString());
    OpenTabs.clear();
    FileName.clear();
    Ftp.Host.clear();
    Ftp.User.clear();
    Ftp.Pass.clear();
    Ftp.Folder.clear();
    Ftp.Protocol.clear();
    Ftp.Tls.clear();
    Ftp.PasswordInKeyring = false;
    Ftp.KeyringHoldsPassword = false;
    Ftp.Exclude.clear();
    Ftp.Name.clear();
    m_targets.clear();
    m_chosenTarget = 0;
    OnProjectUpdate.raise();
}

QList<FtpSettings> Project::PublishTargets() const
{
    if (m_targets.isEmpty())
        return {Ftp};
    QList<FtpSettings> targets = m_targets;
    targets[m_chosenTarget] = Ftp;
    return targets;
}

void Project::SetPublishTargets(const QList<FtpSettings> &targets, int chosen)
{
    if (chosen < 0 || chosen >= targets.size())
        throw AppError(QStringLiteral("There is no publish target number %1 of %2")
                           .arg(chosen + 1)
                           .arg(targets.size()));
    const int progress = Ftp.Progress;
    Ftp = targets.at(chosen);
    Ftp.Progress = progress;
    if (targets.size() == 1) {
        m_targets.clear();
        m_chosenTarget = 0;
    } else {
        m_targets = targets;
        m_chosenTarget = chosen;
    }
}

bool Project::HoldsSecrets() const
{
    for (const FtpSettings &target : PublishTargets()) {
        if (!target.storedPass().isEmpty())
            return true;
    }
    return false;
}

void Project::RemoveFile(int index)
{
    Files.Delete(index);
    OnProjectUpdate.raise();
}

void Project::Log(const QString &text)
{
    if (!OnWorkspaceLog.isBound())
        return;
    LogText = text;
    OnWorkspaceLog.raise();
}
