#pragma once

#include "foundation/ftp_connection.h"
#include "net/remote_endpoint.h"

#include <QByteArray>
#include <QDate>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSslCertificate>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class HostTrust;
class QIODevice;
class QSslConfiguration;
class QSslSocket;
class QTcpSocket;

// How a session asks for TLS (explicit, "AUTH TLS" after the greeting).
enum class FtpTls {
    Off,         // plain FTP
    WhenOffered, // TLS when the server offers it, plain FTP otherwise (said in the note)
    Required,    // no TLS, no login: the password is never sent in the clear
};

// The project's texts "required", "when offered", "off" and "" (off), read
// without regard to case or surrounding blanks; nullopt for any other text.
std::optional<FtpTls> FtpTlsFromText(const QString &text);

// The real FTP connection: one control connection over a blocking QTcpSocket
// for a whole publish run, binary type, passive data connections (EPSV, then
// PASV when the server refuses it) and files streamed from disk in blocks.
// A rename also asks for the next passive port in the same exchange, since a
// publish run stores its next file right after it.
// The time-out measures silence: a transfer fails only when no byte has moved
// for that long, however slow the link, and a reply fails when it is not
// complete that long after it was awaited (also one that goes on line after
// line). The final reply to a store is awaited for as long as the server is
// still taking the file: the system's buffers for it drain, or its window
// grows as it reads what it acknowledged. After a time-out or a lost
// connection the session is dropped, since its state on the server is unknown.
class FtpClient final : public FtpConnection {
public:
    static constexpr int DefaultTimeoutMs = 30000;
    static constexpr quint16 DefaultPort = 21;

    FtpClient();
    ~FtpClient() override;
    FtpClient(const FtpClient &) = delete;
    FtpClient &operator=(const FtpClient &) = delete;

    void setUser(const QString &user) override { m_user = user; }
    void setHost(const QString &host) override { m_host = host; }
    void setPassword(const QString &password) override { m_password = password; }
    void setWorkHandler(WorkHandler handler) override { m_onWork = std::move(handler); }
    const WorkHandler &workHandler() const override { return m_onWork; }

    void connect() override;
    void changeDir(const QString &path) override;
    void makeDir(const QString &name) override;
    void store(const QString &localPath, const QString &remotePath) override;
    void storeData(const QByteArray &content, const QString &localPath,
                   const QString &remotePath) override;
    void rename(const QString &from, const QString &to) override;
    void removeFile(const QString &path) override;
    // MLSD, or LIST where the server does not know it.
    QList<RemoteEntry> listFolder(const QString &path) override;
    // One line of an MLSD listing; nullopt for a line that names no file
    // or folder ("." and ".." included).
    static std::optional<RemoteEntry> parseMlsdLine(const QByteArray &line);
    // One line of a LIST listing in the Unix or the DOS layout; a year-less
    // Unix date is the latest such date not after `today`.
    static std::optional<RemoteEntry> parseListLine(const QByteArray &line, const QDate &today);
    void setMode(const QString &path, int mode) override;
    // MFMT; a server that does not know it (500, 502) is not asked again
    // in this session.
    bool setModifiedTime(const QString &path, qint64 msSinceEpoch) override;
    void disconnect() override;
    bool isConnected() const override;

    // Longest silence of a connect or a transfer, and longest wait for a
    // whole reply, in milliseconds.
    void setTimeoutMs(int milliseconds) { m_timeoutMs = milliseconds; }
    int timeoutMs() const { return m_timeoutMs; }
    // Least milliseconds between two work notifications during a transfer.
    void setWorkIntervalMs(int milliseconds) { m_workIntervalMs = milliseconds; }

    // Takes effect at the next connect; Off by default.
    void setTls(FtpTls mode) { m_tls = mode; }
    FtpTls tls() const { return m_tls; }
    // Asked about a certificate the system does not verify; not owned. Without
    // one such a certificate ends the connect.
    void setHostTrust(HostTrust *trust) { m_hostTrust = trust; }
    // SHA-256 fingerprints (colon-separated hex, any case) trusted without
    // asking, e.g. those the user accepted before for this host. One accepted
    // through the HostTrust joins this list for the client's later connects.
    void setTrustedFingerprints(const QStringList &fingerprints);
    QStringList trustedFingerprints() const { return m_trustedFingerprints; }
    // Certificate authorities trusted beside the system's store.
    void setExtraCaCertificates(const QList<QSslCertificate> &certificates)
    {
        m_extraCas = certificates;
    }
    // "Encrypted with TLS 1.3; certificate verified", "...; certificate
    // accepted by you", or why the session is not encrypted; empty for plain
    // FTP that was asked for.
    QString connectionNote() const override { return m_note; }

    // SHA-256 of a certificate as colon-separated upper-case hex, as
    // `openssl x509 -fingerprint -sha256` prints it.
    static QString fingerprintOf(const QSslCertificate &certificate);

private:
    struct Reply {
        int code = 0;
        QString text; // every line of the reply, joined by '\n'
    };
    QString serverName() const;
    void requireConnected(const QString &what) const;
    void closeControl();
    // The text a listing command sends over its own data connection.
    QByteArray retrieveListing(const QString &what);
    [[noreturn]] void failNetwork(QTcpSocket &socket, const QString &what);
    void send(const QString &command);
    // Several commands in one write, their replies read afterwards in turn.
    void send(const QStringList &commands);
    // Tells whether a transfer made progress while a reply is awaited; each
    // progress gives the reply the whole time-out again.
    using Progress = std::function<bool()>;
    [[noreturn]] void replyTimedOut(bool partial);
    QByteArray readLine(QDeadlineTimer &deadline, bool partial, const Progress &progress);
    Reply readReply(const Progress &progress = {});
    Reply command(const QString &command);
    [[noreturn]] void refuse(const QString &what, const Reply &reply);
    // Port of a 229 or 227 reply; 0 for any other reply.
    quint16 passivePort(const Reply &reply);
    quint16 requestPassivePort();
    QString passiveCommand() const;
    // Keeps the port of a passive request sent behind another command.
    void takePortAhead(const Reply &passive);
    // Connects to the server's passive port: the one opened ahead by the
    // last rename when it is fresh (telling so through `usedPortAhead`),
    // otherwise one asked for now.
    std::unique_ptr<QTcpSocket> openDataConnection(bool *usedPortAhead);
    // AUTH TLS and the handshake on the control connection; false when the
    // server declines and plain FTP is acceptable.
    bool startControlTls();
    // Verifies the control connection's certificate or has it trusted.
    void checkCertificate();
    // Completes the handshake of a data connection after its command was
    // accepted, and checks it shows the control connection's certificate.
    void finishDataTls(QSslSocket &data, const QString &what);
    [[noreturn]] void failDataTls(QSslSocket &data, const QString &what, const QString &why);
    QSslConfiguration tlsConfiguration() const;
    // A data connection with `what` given on it, a port opened ahead that the
    // server gave up asked for again; `body` (a store's small file) goes right
    // behind the command. Null when the server refused: `reply` says why.
    std::unique_ptr<QTcpSocket> startTransfer(const QString &what, const QByteArray *body,
                                              bool *ended, Reply *reply);
    // The parts of a store after startTransfer, in order: the rest of the
    // file, the end of the data, the server's final reply.
    struct Upload;
    void storeFrom(QIODevice &source, const QString &localPath, const QString &remotePath);
    void streamBody(Upload &upload);
    void endBody(Upload &upload);
    void takeFinalReply(Upload &upload);
    // Takes the count of bytes that reached the server; true when anything
    // moved, which gives the transfer the whole time-out again.
    bool measure(Upload &upload);
    // The data connection failed: the server's reply says why, if it still talks.
    [[noreturn]] void dataFailed(Upload &upload);
    QString stalled(const Upload &upload) const;

    QString m_user;
    QString m_host;
    QString m_password;
    WorkHandler m_onWork;
    std::unique_ptr<QTcpSocket> m_control;
    QSslSocket *m_controlTls = nullptr; // m_control when it is one, else null
    RemoteEndpoint m_endpoint{QString(), DefaultPort};
    bool m_loggedIn = false;
    bool m_epsvRefused = false;
    bool m_noMlsd = false;   // the server does not know MLSD
    bool m_noMfmt = false;   // the server does not know MFMT
    quint16 m_portAhead = 0; // opened with the last rename, not used yet
    QElapsedTimer m_portAheadAge;
    int m_timeoutMs = DefaultTimeoutMs;
    int m_workIntervalMs = 100;
    FtpTls m_tls = FtpTls::Off;
    HostTrust *m_hostTrust = nullptr;
    QStringList m_trustedFingerprints;
    QList<QSslCertificate> m_extraCas;
    bool m_protectData = false; // PROT P is in force
    // Set by a TLS login. A certificate object starts the TLS library, which
    // a plain FTP session never needs.
    std::optional<QSslCertificate> m_serverCertificate;
    QString m_note;
};
