#pragma once

#include "foundation/errors.h"
#include "foundation/file_stamp.h"
#include "project/publish_deletions.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class FtpConnection;
class PublishRecord;

// A file's modification time as the publish record keeps it: ms since the
// epoch. Taken from a stamp (one look at the disk, in UTC): a local time
// costs two more looks, at the zone file, for every file of a run.
qint64 ModifiedMs(const FileStamp &stamp);

// How a publish run chooses its files.
struct PublishOptions {
    // Send only files that are new or whose content differs from `record`;
    // without a record every file counts as new.
    bool changesOnly = false;
    // Compared with in changes mode; in every mode it takes each file the
    // server acknowledged (and the new time of a file touched without a
    // change) and is saved when the run ends, also when it ends with an error.
    PublishRecord *record = nullptr;
    // The project mirrors deletions: an entry whose file is gone is passed
    // over (its host copy is among `deletions`) instead of ending the run.
    bool mirrorDeletions = false;
    // Deleted from the host after the files were sent (PlanHostDeletions).
    QList<HostDeletion> deletions;
};

// What a publish would do with one project entry, as PlanPublish tells it
// without any network, and as the run itself then does.
struct PublishStep {
    enum class Action {
        SendNew,       // changes mode: not in the record
        SendChanged,   // changes mode: content differs from the record
        Send,          // full publish: always sent
        SkipLocked,    // the entry is locked from publishing
        SkipMarker,    // its text holds a publish marker ("host specific")
        SkipOutside,   // not below the project folder
        SkipExcluded,  // an exclusion pattern names it (`pattern`)
        SkipUnchanged, // changes mode: same content as recorded
        Unreadable,    // cannot be read: the run ends with `error` there
        SkipGone,      // mirroring deletions: the file is no longer on disk
    };

    int index = -1;     // in the project's file list
    QString localPath;  // full local path, as the entry names it
    QString remotePath; // below the FTP folder, '/' separated; empty when outside
    // Bytes of the local file; -1 when it could not be looked at.
    qint64 size = -1;
    Action action = Action::Send;
    QString pattern; // the exclusion pattern, for SkipExcluded
    QString error;   // why it could not be read, for Unreadable

    // The file's content as read for the plan (SHA-256, empty when not
    // hashed) and its modification time then, ms since the epoch.
    QByteArray sha256;
    qint64 modifiedMs = 0;
    // False while the file is still to be read: a full run reads each file
    // when its turn comes, and decides the action then, from what it read.
    bool read = true;

    bool sends() const
    {
        return action == Action::SendNew || action == Action::SendChanged || action == Action::Send;
    }
    // The action in a few words for a list shown to the user: "send (new)",
    // "skip (excluded by *.wdx)" and so on.
    QString describe() const;
};

// How many times the publish engine creates folders and tries again, both for
// the FTP folder and for one file, before it gives up on it.
constexpr int PublishFolderCreations = 2;
// How many of the server's replies about files left out a failed run quotes.
constexpr int PublishRepliesQuoted = 3;

// A run that went through every file but left some out. Its log and status
// line end with "Published with N errors to: " and the host and folder; this
// error tells the user how many files are missing and what the server said
// about the first of them.
class PublishIncomplete : public AppError {
public:
    PublishIncomplete(int failedFiles, const QStringList &replies, const QString &target);
    int failedFiles() const { return m_failedFiles; }
    // "remote path: reply" of the first files left out.
    const QStringList &replies() const { return m_replies; }

private:
    int m_failedFiles;
    QStringList m_replies;
};

// CreateFtpPath's error: the fixed message, with the server's reply kept aside.
class FtpPathError : public AppError {
public:
    explicit FtpPathError(const QString &reply)
        : AppError(QStringLiteral("Cant change to just created folder")), m_reply(reply)
    {
    }
    const QString &reply() const { return m_reply; }

private:
    QString m_reply;
};

// Makes and enters, one after the other, the folders of `path` ('\' separated
// when it holds a '\', '/' otherwise) on the server, ignoring refused makes of
// folders that may exist. A path that begins with a separator starts at the
// server's root; other empty parts are skipped. Throws FtpPathError ("Cant
// change to just created folder") when a folder cannot be entered; the
// connection is then left in the last folder it reached.
// `made`, when given, is told the name of each folder made, while the
// session still stands in the folder holding it, and its path from where the
// walk began.
void CreateFtpPath(FtpConnection &connection, const QString &path,
                   const std::function<void(const QString &name, const QString &path)> &made = {});

// The name a file is uploaded under before it is renamed over `remotePath`:
// in the same folder, hidden, and ending like the file, so a web server never
// shows a half-sent page as text. Empty when the name would grow too long.
QString UploadTemporaryName(const QString &remotePath);
// True for a file name (no folder part) that UploadTemporaryName gives.
bool IsUploadTemporaryName(const QString &name);

// The FTP log's line for a transfer's byte count so far.
inline QString TransferCountLine(qint64 bytesSoFar)
{
    return QString::number(bytesSoFar) + QStringLiteral(" bytes");
}

// True when the file's text holds "host specific" or "//dont publish" in any
// letter case. Reads in blocks, so big files cost no memory; throws AppError
// when the file cannot be read.
bool FileHasPublishMarker(const QString &path);
