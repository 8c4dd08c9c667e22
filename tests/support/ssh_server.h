#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A real OpenSSH server (/usr/sbin/sshd) on a free loopback port, with its own
// host key, configuration and authorized client key in a temporary folder,
// serving SFTP through its internal server. It logs in the user the tests run
// as, by key only. Starts in the constructor and returns once the server
// accepts connections; stopped by stop() or the destructor, which also end
// the sessions it serves. Throws std::runtime_error when it cannot start.
class SshTestServer {
public:
    struct Options {
        // Every SFTP request that would change a file is refused.
        bool readOnly = false;
        // Passwords are checked too (against the system's accounts, so a
        // test can only show a wrong one refused).
        bool passwordAuthentication = false;
        // Where SFTP sessions start instead of the user's home folder.
        QString startFolder;
    };

    SshTestServer();
    explicit SshTestServer(const Options &options);
    ~SshTestServer();
    SshTestServer(const SshTestServer &) = delete;
    SshTestServer &operator=(const SshTestServer &) = delete;

    quint16 port() const { return m_port; }
    // "127.0.0.1:port", the form the host setting takes.
    QString hostAndPort() const;
    // The user the server logs in (the one the tests run as).
    static QString userName();
    // A folder holding only the authorized client key, as id_ed25519.
    QString clientKeyFolder() const;
    // A known_hosts line for the server's current host key.
    QString knownHostsLine() const;
    // The host key's "SHA256:..." fingerprint, as ssh-keygen -l prints it.
    QString hostKeyFingerprint() const;
    // A fresh key pair that the server does not accept, in its own folder.
    QString strangerKeyFolder();

    // Kills the server and every session it serves, as a crash would.
    void stop();
    // Starts it again on the same port.
    void start();
    // Gives the server a new host key and restarts it on the same port.
    void replaceHostKey();
    // Freezes or thaws the processes serving sessions (not the listener).
    void freezeSessions(bool frozen);

    // The folder of the launcher's files, for tools outside the tests.
    QString folder() const { return m_dir.path(); }

private:
    void writeConfig();
    void makeKey(const QString &path);

    Options m_options;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
};
