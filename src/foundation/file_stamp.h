#pragma once

#include <QString>
#include <QtGlobal>

// What tells one version of a file from the next: its identity on the disk
// (device and inode, which change when a program replaces the file by a new
// one), its size and its modification time to the nanosecond, so a change
// made a fraction of a second after our own save is still seen.
struct FileStamp {
    bool exists = false;
    // The file exists but could not be examined (a folder on the way that
    // may not be entered): nothing can be said about it.
    bool unknown = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    // The stamp of the file at `path` now; `exists` is false when the path
    // names nothing or no longer a regular file.
    static FileStamp of(const QString &path);
    // The stamp of an open file, by its descriptor.
    static FileStamp ofDescriptor(int descriptor);

    bool operator==(const FileStamp &other) const = default;
};
