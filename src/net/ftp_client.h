#pragma once

#include "foundation/ftp_connection.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class QTcpSocket;

// The real FTP connection: one control connection over a blocking QTcpSocket
// for a whole publish run, binary type, passive data connections (EPSV, then
// PASV when the server refuses it) and files streamed from disk in blocks.
// Every wait on the network is bounded by the time-out, so a server that goes
// silent costs the caller at most that long; after a time-out or a lost
// connection the session is dropped, since its state on the server is unknown.
class FtpClient final : public FtpConnection
{
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

    void connect() override;
    void changeDir(const QString &path) override;
    void makeDir(const QString &name) override;
    void store(const QString &localPath, const QString &remotePath) override;
    void disconnect() override;
    bool isConnected() const override;

    // Longest wait for one connect, reply or write, in milliseconds.
    void setTimeoutMs(int milliseconds) { m_timeoutMs = milliseconds; }
    // Milliseconds between two work notifications during a transfer.
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
    QByteArray readLine();
    Reply readReply();
    Reply command(const QString &command);
    [[noreturn]] void refuse(const QString &what, const Reply &reply);
    std::unique_ptr<QTcpSocket> openDataConnection();
    void sendFile(QTcpSocket &data, class QFile &file, const QString &remotePath);

    QString m_user;
    QString m_host;
    QString m_password;
    WorkHandler m_onWork;
    std::unique_ptr<QTcpSocket> m_control;
    Endpoint m_endpoint;
    bool m_loggedIn = false;
    bool m_epsvRefused = false;
    int m_timeoutMs = DefaultTimeoutMs;
    int m_workIntervalMs = 100;
};
