#pragma once

#include "project/project.h"

#include <QCoreApplication>
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
    project.AddFiles(files);
    for (const QString &file : files)
        bytes += QFileInfo(file).size();
    project.FileName = folder + QStringLiteral("/bench.wdx");
    return bytes;
}

// Counts a run's log lines and its "!!!" failures, letting the application
// process its events after each line as the window does.
struct PublishLogCount {
    int lines = 0;
    int failures = 0;

    void attach(Project &project)
    {
        project.OnWorkspaceLog.bind([this, &project](QObject *) {
            ++lines;
            if (project.LogText.startsWith(QStringLiteral("!!!")))
                ++failures;
            QCoreApplication::processEvents();
        });
    }
};
