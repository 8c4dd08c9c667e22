#pragma once

#include "foundation/ftp_connection.h"
#include "net/remote_endpoint.h"

#include <QString>
#include <QStringList>

#include <memory>

class HostTrust;
class QIODevice;
struct ssh_session_struct;
struct sftp_session_struct;

// The publish engine's connection over SSH: one SSH session with its SFTP
// channel for a whole run, driven exactly like the FTP client.
//
// - Host "host" or "host:port" ("[v6]:port" too); port 22 when none is written.
// - connect(): the SSH handshake, the host key checked against known_hosts,
//   authentication (the user's SSH agent and keys first, then the password,
//   also answered to keyboard-interactive prompts), and the SFTP subsystem.
//   The session starts in the user's home folder.
// - The current folder is kept here, since SFTP has none: changeDir resolves
//   "..", "." and relative names against it and fails, like CWD, when the
//   folder does not exist; makeDir, store, rename and removeFile take names
//   relative to it or absolute ones.
// - An unknown host key is put to the HostTrust; accepted, it is added to
//   known_hosts so it is asked once. A key that differs from the stored one
//   is refused without a question, as ssh does: the error names the host,
//   both fingerprints and the ssh-keygen -R line that removes the old key.
//   With no HostTrust any key that known_hosts does not hold is refused.
// - The time-out measures silence: an operation fails, and the session is
//   dropped, when the server has not answered one request for that long
//   while nothing of it moved either (a large write on a slow uplink takes
//   as long as it takes).
class SftpClient final : public FtpConnection {
public:
    static constexpr int DefaultTimeoutMs = 30000;
    static constexpr quint16 DefaultPort = 22;
    // Bytes per write request; chosen by measurement (bench/publish-sftp-vs-lftp.sh).
    static constexpr int DefaultBlockSize = 128 * 1024;

    SftpClient();
    ~SftpClient() override;
    SftpClient(const SftpClient &) = delete;
    SftpClient &operator=(const SftpClient &) = delete;

    void setUser(const QString &user) override { m_user = user; }
    void setHost(const QString &host) override { m_host = host; }
    void setPassword(const QString &password) override { m_password = password; }
    void setWorkHandler(WorkHandler handler) override { m_onWork = std::move(handler); }
    const WorkHandler &workHandler() const override { return m_onWork; }

    void connect() override;
    void changeDir(const QString &path) override;
    // mkdir with mode 0755; fails when the folder exists.
    void makeDir(const QString &name) override;
    // Writes the file in blocks, truncating a remote file of that name.
    // Throws FtpStoreRefused when the server will not open it for writing.
    void store(const QString &localPath, const QString &remotePath) override;
    void storeData(const QByteArray &content, const QString &localPath,
                   const QString &remotePath) override;
    // Replaces an existing `to`.
    void rename(const QString &from, const QString &to) override;
    void removeFile(const QString &path) override;
    QList<RemoteEntry> listFolder(const QString &path) override;
    void setMode(const QString &path, int mode) override;
    bool setModifiedTime(const QString &path, qint64 msSinceEpoch) override;
    void disconnect() override;
    bool isConnected() const override;
    // How the session was checked: "SFTP, host key checked against known_hosts" and
    // the like; empty before a connect.
    QString connectionNote() const override { return m_note; }

    // Who is asked about a host key known_hosts does not hold; not owned.
    void setHostTrust(HostTrust *trust) { m_trust = trust; }
    // The known_hosts file read and written; ~/.ssh/known_hosts when empty.
    void setKnownHostsFile(const QString &path) { m_knownHosts = path; }
    // The folder holding the user's keys (id_ed25519, id_rsa ...) and ssh
    // config; ~/.ssh when empty.
    void setSshFolder(const QString &path) { m_sshFolder = path; }
    // Longest wait for one answer of the server, in milliseconds.
    void setTimeoutMs(int milliseconds) { m_timeoutMs = milliseconds; }
    int timeoutMs() const { return m_timeoutMs; }
    // Least milliseconds between two work notifications during a transfer.
    void setWorkIntervalMs(int milliseconds) { m_workIntervalMs = milliseconds; }
    // Bytes sent per write request, at most 255 KB (the common server limit).
    void setBlockSize(int bytes);
    // The absolute remote folder that relative names are resolved against.
    QString currentDir() const { return m_cwd; }
    // The home folder the session started in.
    QString rootFolder() const override { return m_home; }

private:
    class Watchdog;
    void storeFrom(QIODevice &file, const QString &localPath, const QString &remotePath);
    QString serverName() const;
    void requireConnected(const QString &what) const;
    void closeSession();
    void checkHostKey();
    // What the user is told when the server's key differs from the stored one.
    QString changedKeyMessage(const QString &shown, const QString &keyType,
                              const QString &fingerprint) const;
    void authenticate();
    bool authenticateKeyboardInteractive();
    // Absolute path of `path` taken from the current folder, with "." and
    // ".." resolved by name.
    QString resolve(const QString &path) const;
    // The reason of the last failed SFTP request; drops the session when the
    // connection itself failed, so the engine sees a lost session.
    QString failure();
    [[noreturn]] void fail(const QString &what);

    QString m_user;
    QString m_host;
    QString m_password;
    QString m_knownHosts;
    QString m_sshFolder;
    WorkHandler m_onWork;
    HostTrust *m_trust = nullptr;
    RemoteEndpoint m_endpoint{QString(), DefaultPort};
    ssh_session_struct *m_session = nullptr;
    sftp_session_struct *m_sftp = nullptr;
    std::unique_ptr<Watchdog> m_watchdog;
    QString m_cwd;
    QString m_home = QStringLiteral("/");
    QString m_note;
    bool m_timedOut = false; // the watchdog cut the last call short
    int m_timeoutMs = DefaultTimeoutMs;
    int m_workIntervalMs = 100;
    int m_blockSize = DefaultBlockSize;
};
