#pragma once

#include "foundation/errors.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>

// One entry of a remote folder, as a listing tells it.
struct RemoteEntry {
    QString name;
    bool folder = false;
    qint64 size = -1;       // -1 when the listing does not tell
    qint64 modifiedMs = -1; // UTC, ms since the epoch; -1 when not told
    bool operator==(const RemoteEntry &) const = default;
};

// The program's side of an FTP session: one stateful control connection that
// the publish engine drives command by command (log in, change folder, make a
// folder, store a file relative to the current folder, quit). The project layer
// sees only this interface, so it never links the network library and tests
// can put a scripted connection in its place. Every operation throws AppError
// carrying the server's reply text when the server refuses it or the
// connection fails.
class FtpConnection {
public:
    // Receives the number of bytes moved so far in the current transfer.
    using WorkHandler = std::function<void(qint64 bytesSoFar)>;

    virtual ~FtpConnection() = default;

    virtual void setUser(const QString &user) = 0;
    // "host" or "host:port"; the standard port 21 when none is written.
    virtual void setHost(const QString &host) = 0;
    virtual void setPassword(const QString &password) = 0;
    // Called during every transfer; an empty handler stops the notifications.
    virtual void setWorkHandler(WorkHandler handler) = 0;
    virtual const WorkHandler &workHandler() const = 0;

    // Opens the control connection and logs in; an open one is dropped first.
    virtual void connect() = 0;
    // CWD to an absolute path or one relative to the current folder.
    virtual void changeDir(const QString &path) = 0;
    // MKD of a folder in the current folder.
    virtual void makeDir(const QString &name) = 0;
    // STOR of a local file under a remote path in binary type, replacing it.
    virtual void store(const QString &localPath, const QString &remotePath) = 0;
    // The same with the file's bytes as already read (`localPath` names them
    // in messages), so what arrives is exactly what was read. A connection
    // without its own way reads the file again.
    virtual void storeData(const QByteArray &content, const QString &localPath,
                           const QString &remotePath)
    {
        Q_UNUSED(content);
        store(localPath, remotePath);
    }
    // RNFR and RNTO: renames a remote file, replacing `to` where the server
    // allows it.
    virtual void rename(const QString &from, const QString &to) = 0;
    // DELE of a remote file.
    virtual void removeFile(const QString &path) = 0;
    // SITE CHMOD (SFTP: setstat) of a remote file or folder to `mode`
    // (0644 ...). Throws AppError when the server refuses or cannot.
    virtual void setMode(const QString &path, int mode)
    {
        Q_UNUSED(mode);
        throw AppError(
            QStringLiteral("Cannot set the permissions of %1 over this connection").arg(path));
    }
    // MFMT (SFTP: setstat) of a remote file's modification time, ms since
    // the epoch. False, with nothing changed, when the server does not
    // support it; throws AppError when it refuses for this file.
    virtual bool setModifiedTime(const QString &path, qint64 msSinceEpoch)
    {
        Q_UNUSED(path);
        Q_UNUSED(msSinceEpoch);
        return false;
    }
    // The files and folders of a remote folder (absolute, or relative to the
    // current one), without "." and "..".
    virtual QList<RemoteEntry> listFolder(const QString &path)
    {
        throw AppError(QStringLiteral("Cannot list %1 over this connection").arg(path));
    }
    // QUIT; the connection is closed afterwards even when the server objects.
    virtual void disconnect() = 0;
    // True while logged in on an open control connection.
    virtual bool isConnected() const = 0;
    // What the user should know about the session just opened (how it is
    // protected, or that it is not although protection was asked for);
    // empty when there is nothing to say. Logged after the connect.
    virtual QString connectionNote() const { return {}; }
    // The folder that the FTP folder is resolved from, entered before it and
    // after each folder creation: the server's root "/" for FTP, where a
    // login usually starts there; the home folder for SFTP, whose "/" is the
    // host's whole file system.
    virtual QString rootFolder() const { return QStringLiteral("/"); }
};

// A store the server refused before it took any of the file: nothing of it
// was written on the host.
class FtpStoreRefused : public AppError {
public:
    using AppError::AppError;
};
