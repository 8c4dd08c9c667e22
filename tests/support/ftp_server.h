#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

// A real FTP server (Debian's pyftpdlib under /usr/bin/python3) on a free
// loopback port, serving one user from a home folder that is not "/". Starts in
// the constructor and returns once the server accepts connections; stopped by
// stop() or the destructor. Throws std::runtime_error when it cannot start.
class FtpTestServer {
public:
    struct Options {
        QString user = QStringLiteral("tester");
        QString password = QStringLiteral("secret");
        QString permissions = QStringLiteral("elradfmwMT"); // pyftpdlib's letters
        bool refuseEpsv = false;                            // clients must fall back to PASV
        // Folders below the home that may be listed and read only.
        QStringList readOnly;
        // A fault of the launcher: stor553, nodotstore, diskfull, drop, stall,
        // banner or norename.
        QString fault;
        int faultAfterBytes = 100000; // where diskfull, drop and stall strike
        int throttleBytesPerSecond = 0;
        // Explicit TLS with this certificate and key (PEM files); off when empty.
        QString tlsCertificate;
        QString tlsKey;
        bool tlsControlRequired = false; // no login without AUTH TLS
        bool tlsDataRequired = false;    // no transfer without PROT P
        // Data connections show this other certificate instead.
        QString dataCertificate;
        QString dataKey;
        // Every command received is appended here (PASS without its argument).
        QString commandLog;
    };

    explicit FtpTestServer(const QString &homeFolder);
    FtpTestServer(const QString &homeFolder, const Options &options);
    ~FtpTestServer();
    FtpTestServer(const FtpTestServer &) = delete;
    FtpTestServer &operator=(const FtpTestServer &) = delete;

    quint16 port() const { return m_port; }
    // "127.0.0.1:port", the form the FTP host setting takes.
    QString hostAndPort() const;
    const Options &options() const { return m_options; }
    // Kills the server at once, as a crash or a lost network would.
    void stop();

    // Path of the launcher script, for tools outside the tests.
    static QString scriptPath();

private:
    Options m_options;
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
};

// True when something accepts TCP connections on 127.0.0.1:port.
bool LoopbackPortAccepts(quint16 port);

// A certificate and its key made by openssl for a test, for the name
// "127.0.0.1" (as subject and as IP address).
struct TestCertificate {
    QString certificate; // PEM file
    QString key;         // PEM file
    // SHA-256 fingerprint as `openssl x509 -fingerprint -sha256` prints it.
    QString fingerprint;
};

// A self-signed certificate in `folder`, files named after `name`. Throws
// std::runtime_error when openssl fails.
TestCertificate MakeSelfSignedCertificate(const QString &folder, const QString &name);
// A certificate signed by a test authority, whose own certificate is
// returned in `authority`.
TestCertificate MakeAuthoritySignedCertificate(const QString &folder, QString *authority);
