#include "project/project.h"

#include "foundation/switches.h"

#include <QFileInfo>

cProject::cProject()
    : RunAddress(QString::fromLatin1(DefaultRunAddress)),
      DatabaseAddress(QString::fromLatin1(DefaultDatabaseAddress))
{
}

void cProject::LoadFromFile(const QString &fileName)
{
    cXMLStorage::LoadFromFile(fileName);
    OnProjectUpdate.raise();
}

int cProject::IndexOf(const QString &name) const
{
    const QString wanted = LocaleLower(name);
    for (int i = 0; i < Files.Count(); ++i) {
        if (LocaleLower(Files.Get(i)->Name) == wanted)
            return i;
    }
    return -1;
}

void cProject::SetOpenedFile(const QString &name)
{
    OpenedFile = name;
    RefreshStamp();
}

void cProject::RefreshStamp()
{
    OpenedStamp = DosStampOfFile(OpenedFile).value_or(0);
}

bool cProject::OpenedChangedOnDisk() const
{
    const std::optional<DosStamp> now = DosStampOfFile(OpenedFile);
    return now && *now != OpenedStamp;
}

void cProject::ListFileNames(QStringList &list) const
{
    list.reserve(list.size() + Files.Count());
    for (int i = 0; i < Files.Count(); ++i)
        list.append(Files.Get(i)->Name);
}

void cProject::Clear()
{
    Files.Clear();
    SetOpenedFile(QString());
    FileName.clear();
    Ftp.Host.clear();
    Ftp.User.clear();
    Ftp.Pass.clear();
    Ftp.Folder.clear();
    OnProjectUpdate.raise();
}

void cProject::RemoveFile(int index)
{
    Files.Delete(index);
    OnProjectUpdate.raise();
}

void cProject::Log(const QString &text)
{
    if (!OnWorkspaceLog.isBound())
        return;
    LogText = text;
    OnWorkspaceLog.raise();
}
