#include "project/project.h"

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

void Project::LoadParsed(const Parsed &parsed, const QString &fileName)
{
    XmlStorage::LoadParsed(parsed, fileName);
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
    OnProjectUpdate.raise();
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
