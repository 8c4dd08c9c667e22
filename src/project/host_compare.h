#pragma once

#include <QList>
#include <QString>

class FtpConnection;
class Project;
class PublishRecord;

// A file on the host as a listing showed it.
struct HostFile {
    QString path;           // below the FTP folder, '/' separated
    qint64 size = -1;       // -1 when the listing did not tell
    qint64 modifiedMs = -1; // UTC; -1 when the listing did not tell
};

// Every file below the FTP folder `folder`, walked through `connection`
// from its root folder as a publish enters it; temporary uploads left out.
QList<HostFile> ListHostFiles(FtpConnection &connection, const QString &folder);

// How one file of the project or of the host compares.
struct HostComparison {
    enum class State { Same, ChangedLocally, ChangedOnHost, ChangedBoth, OnlyLocal, OnlyOnHost };
    QString path;      // below the FTP folder
    QString localPath; // empty for a file only on the host
    State state = State::Same;
    QString why;

    // "same", "changed locally", "changed on the host" ...
    static QString stateText(State state);
};

// The project's publishable files against the host's, by path: with the
// record of the last publish a side "changed" when it no longer matches the
// record (the host by size, the project by content); without one, by size
// and the newer time. Files the project never sends (locked, excluded,
// marked, outside its folder) and host files at their paths are left out.
// Reads the project's files; sorted by path.
QList<HostComparison> CompareWithHost(const Project &project, PublishRecord *record,
                                      const QList<HostFile> &host);
