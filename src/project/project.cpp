#include "project/project.h"

#include "foundation/switches.h"

#include <QFileInfo>

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
