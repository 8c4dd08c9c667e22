#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

// A real FTP server run as a peer: Debian's package, unpacked by
// scripts/install-deps.sh into .peers/ of the repository, on a free loopback
// port. Serves the virtual user "tester" (password "secret") from a home
// folder, mapped to the system user nobody, so it needs root. Stopped by
// stop() or the destructor, sessions included.
class RealFtpTestServer {
public:
    virtual ~RealFtpTestServer();
    RealFtpTestServer(const RealFtpTestServer &) = delete;
    RealFtpTestServer &operator=(const RealFtpTestServer &) = delete;

    QString hostAndPort() const;
    // Stops (SIGSTOP) or resumes every session process: a server that no
    // longer reads anything.
    void freezeSessions(bool frozen);
    void stop();

protected:
    RealFtpTestServer();
    // Why `program` below the peer's folder cannot serve here; empty when it can.
    static QString unavailableReason(const QString &peer, const QString &program);
    static QString peerFolder(const QString &peer);
    // Opens the way to `home` for nobody and gives it to nobody: the session
    // runs as nobody, locked into the home.
    static void giveHomeToNobody(const QString &home);
    // A password hash of "secret" that is quick to check: the packages'
    // default ones cost seconds per login.
    static QString quickPasswordHash();
    static quint16 freeLoopbackPort();
    // Starts the listener on m_port, its output going to the file `output`,
    // and returns once it accepts connections; throws with what it printed
    // when it does not.
    void start(const QString &program, const QStringList &arguments, const QString &output);

    quint16 m_port = 0;

private:
    QList<qint64> sessions() const;

    std::unique_ptr<QProcess> m_process;
};

// pure-ftpd with TLS required on the control and the data connections, or
// plain FTP only.
class PureFtpdTestServer final : public RealFtpTestServer {
public:
    static QString unavailableReason();

    // `home` is made the user's home; `work` holds the user database. Without
    // a certificate the server speaks plain FTP only. `kilobytesPerSecond`
    // throttles each session's transfers as pure-ftpd's own -T does (0: no
    // limit). Throws std::runtime_error when it cannot start.
    PureFtpdTestServer(const QString &home, const QString &work, const QString &certificate,
                       const QString &key, int kilobytesPerSecond = 0);
};
