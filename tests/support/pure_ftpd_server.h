#pragma once

#include <QList>
#include <QProcess>
#include <QString>

#include <memory>

// A real pure-ftpd (Debian's package, unpacked by scripts/install-deps.sh into
// .peers/pure-ftpd of the repository) on a free loopback port, with TLS
// required on the control and the data connections. Serves the virtual user
// "tester" (password "secret") from a home folder, mapped to the system user
// nobody, so it needs root. Starts in the constructor, returns once the server
// accepts connections; stopped by stop() or the destructor. Throws
// std::runtime_error when it cannot start.
class PureFtpdTestServer {
public:
    // Why the server cannot run on this machine; empty when it can.
    static QString unavailableReason();

    // `home` is made the user's home (owned by nobody, its parent opened for
    // nobody to pass); `work` holds the user database. Without a certificate
    // the server speaks plain FTP only. `kilobytesPerSecond` throttles each
    // session's transfers as pure-ftpd's own -T does (0: no limit).
    PureFtpdTestServer(const QString &home, const QString &work, const QString &certificate,
                       const QString &key, int kilobytesPerSecond = 0);
    ~PureFtpdTestServer();
    PureFtpdTestServer(const PureFtpdTestServer &) = delete;
    PureFtpdTestServer &operator=(const PureFtpdTestServer &) = delete;

    QString hostAndPort() const;
    // Stops (SIGSTOP) or resumes every session process: a server that no
    // longer reads anything.
    void freezeSessions(bool frozen);
    void stop();

private:
    QList<qint64> sessions() const;

    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
};
