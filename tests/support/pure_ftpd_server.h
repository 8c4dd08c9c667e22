#pragma once

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
    // nobody to pass); `work` holds the user database.
    PureFtpdTestServer(const QString &home, const QString &work, const QString &certificate,
                       const QString &key);
    ~PureFtpdTestServer();
    PureFtpdTestServer(const PureFtpdTestServer &) = delete;
    PureFtpdTestServer &operator=(const PureFtpdTestServer &) = delete;

    QString hostAndPort() const;
    void stop();

private:
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
};
