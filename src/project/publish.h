#pragma once

#include "foundation/errors.h"

#include <QString>
#include <QStringList>

class FtpConnection;

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
void CreateFtpPath(FtpConnection &connection, const QString &path);

// The name a file is uploaded under before it is renamed over `remotePath`:
// in the same folder, hidden, and ending like the file, so a web server never
// shows a half-sent page as text. Empty when the name would grow too long.
QString UploadTemporaryName(const QString &remotePath);

// True when the file's text holds "host specific" or "//dont publish" in any
// letter case. Reads in blocks, so big files cost no memory; throws AppError
// when the file cannot be read.
bool FileHasPublishMarker(const QString &path);
