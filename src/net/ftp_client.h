#pragma once

#include "foundation/ftp_connection.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <memory>

class QTcpSocket;

// The real FTP connection: one control connection over a blocking QTcpSocket
// for a whole publish run, binary type, passive data connections (EPSV, then
// PASV when the server refuses it) and files streamed from disk in blocks.
// A rename also asks for the next passive port in the same exchange, since a
// publish run stores its next file right after it.
// The time-out measures silence: a transfer fails only when no byte has moved
// for that long, however slow the link, and a reply fails when it is not
// complete that long after it was awaited (also one that goes on line after
// line). After a time-out or a lost connection the session is dropped, since
// its state on the server is unknown.
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
    void rename(const QString &from, const QString &to) override;
    void removeFile(const QString &path) override;
    void disconnect() override;
    bool isConnected() const override;

    // Longest silence of a connect or a transfer, and longest wait for a
    // whole reply, in milliseconds.
    void setTimeoutMs(int milliseconds) { m_timeoutMs = milliseconds; }
    int timeoutMs() const { return m_timeoutMs; }
    // Least milliseconds between two work notifications during a transfer.
    void setWorkIntervalMs(int milliseconds) { m_workIntervalMs = milliseconds; }

private:
    struct Reply {
        int code = 0;
        QString text; // every line of the reply, joined by '\n'
    };
    struct Endpoint {
        QString host;
        quint16 port = DefaultPort;
    };

    static Endpoint parseHost(const QString &host);
    QString serverName() const;
    void requireConnected(const QString &what) const;
    void closeControl();
    [[noreturn]] void failNetwork(QTcpSocket &socket, const QString &what);
    void send(const QString &command);
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
    // Connects to the server's passive port: the one opened ahead by the
    // last rename when it is fresh (telling so through `usedPortAhead`),
    // otherwise one asked for now.
    std::unique_ptr<QTcpSocket> openDataConnection(bool *usedPortAhead);
    // Sends the rest of the file after `queuedBefore` bytes already given to
    // the socket (`ended` when its sending side is closed too) and takes the
    // final reply.
    void sendFile(QTcpSocket &data, class QFile &file, const QString &what, qint64 queuedBefore,
                  bool ended);

    QString m_user;
    QString m_host;
    QString m_password;
    WorkHandler m_onWork;
    std::unique_ptr<QTcpSocket> m_control;
    Endpoint m_endpoint;
    bool m_loggedIn = false;
    bool m_epsvRefused = false;
    quint16 m_portAhead = 0; // opened with the last rename, not used yet
    QElapsedTimer m_portAheadAge;
    int m_timeoutMs = DefaultTimeoutMs;
    int m_workIntervalMs = 100;
};
