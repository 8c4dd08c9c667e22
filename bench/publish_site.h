#pragma once

#include "project/project.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

// Enters every file below `folder` into `project`, in path order, with the
// project file in that folder, as a user's project of the whole site would
// be. Hidden files (.htaccess) belong to a site as much as the others.
// Returns the bytes of all the files.
inline qint64 FillProjectWithSite(Project &project, const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    std::sort(files.begin(), files.end());
    qint64 bytes = 0;
    for (const QString &file : files) {
        project.Files.AddNew();
        project.Files.Last()->Name = file;
        bytes += QFileInfo(file).size();
    }
    project.FileName = folder + QStringLiteral("/bench.wdx");
    return bytes;
}
