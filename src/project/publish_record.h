#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

class Project;

// What the last publishes of one project to one place sent and the server
// acknowledged: for each remote path (relative to the FTP folder, '/'
// separated) the size, modification time and SHA-256 of the bytes sent.
// "Publish changes" compares the project's files with it, so it sends only
// what is new or differs in content.
//
// A record belongs to one key: the project file, the protocol, the host, the
// user and the FTP folder. The file keeps the key, so a file copied from
// elsewhere or a clash of names is seen as foreign and not used.
class PublishRecord {
public:
    struct Entry {
        qint64 size = 0;
        qint64 modifiedMs = 0; // local file's modification, ms since the epoch (UTC)
        QByteArray sha256;     // 32 bytes
        bool operator==(const Entry &) const = default;
    };

    // A record file larger than this is not read.
    static constexpr qint64 MaxFileBytes = 64LL * 1024 * 1024;

    // An empty record for `key`, kept in `filePath` (no file when empty).
    PublishRecord(const QString &key, const QString &filePath);

    // The key of a project's record: its project file and FTP place.
    static QString keyOf(const Project &project);
    // The record's file inside `folder` for `key`: a name made of a hash of
    // the key, so no host or folder text reaches the file system.
    static QString fileNameFor(const QString &folder, const QString &key);

    // Reads the file. A missing file is an empty record. A file that cannot
    // be used (not a regular file, too large, damaged, another key's) leaves
    // the record empty, returns false and says why in problem(); the next
    // save first moves that file aside to the same name + ".damaged", so
    // nothing of it is lost.
    bool load();
    // Writes the file at once whole or not at all. Throws AppError naming the
    // file when it cannot; the previous file then stays as it was.
    void save();

    const QString &key() const { return m_key; }
    const QString &filePath() const { return m_filePath; }
    // Why the last load found no usable record; empty after a good load.
    const QString &problem() const { return m_problem; }

    const Entry *find(const QString &remotePath) const;
    void set(const QString &remotePath, const Entry &entry);
    void remove(const QString &remotePath);
    void clear() { m_entries.clear(); }
    // Temporary uploads (paths like the entries') that a run had to leave
    // on the host because its connection was gone; the next run removes them.
    const QStringList &leftovers() const { return m_leftovers; }
    void addLeftover(const QString &temporaryPath);
    void removeLeftover(const QString &temporaryPath);
    qsizetype size() const { return m_entries.size(); }
    const QHash<QString, Entry> &entries() const { return m_entries; }

private:
    QString m_key;
    QString m_filePath;
    QString m_problem;
    bool m_setAside = false; // the file on disk is damaged and not yet moved
    QHash<QString, Entry> m_entries;
    QStringList m_leftovers;
};
