#include "net/ftp_client.h"

#include "foundation/errors.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>
#include <cctype>

namespace
{

constexpr qint64 BlockSize = 256 * 1024;   // read from disk at a time
constexpr qint64 HighWater = 1024 * 1024;  // socket buffer before we wait
constexpr qint64 MaxReplyLine = 64 * 1024; // a longer line is not FTP

QString seconds(int milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'g', 3);
}

} // namespace

FtpClient::FtpClient() = default;

FtpClient::~FtpClient()
{
    closeControl();
}

FtpClient::Endpoint FtpClient::parseHost(const QString &host)
{
    Endpoint endpoint;
    QString name = host;
    QString port;
    if (name.startsWith(u'[')) { // "[::1]" or "[::1]:2121"
        const qsizetype close = name.indexOf(u']');
        const QString rest = close < 0 ? QString() : name.mid(close + 1);
        if (close < 0 || (!rest.isEmpty() && (!rest.startsWith(u':') || rest.size() == 1)))
            throw AppError(QStringLiteral("Bad FTP host \"%1\"").arg(host));
        port = rest.mid(1);
        name = name.mid(1, close - 1);
    } else if (name.count(u':') == 1) {
        const qsizetype colon = name.indexOf(u':');
        port = name.mid(colon + 1);
        name = name.left(colon);
        if (port.isEmpty())
            throw AppError(QStringLiteral("Bad FTP port in \"%1\"").arg(host));
    }
    if (name.isEmpty())
        throw AppError(QStringLiteral("No FTP host is set"));
    endpoint.host = name;
    if (!port.isEmpty()) {
        bool ok = false;
        const uint value = port.toUInt(&ok);
        if (!ok || value == 0 || value > 65535)
            throw AppError(QStringLiteral("Bad FTP port in \"%1\"").arg(host));
        endpoint.port = static_cast<quint16>(value);
    }
    return endpoint;
}

QString FtpClient::serverName() const
{
    return QStringLiteral("%1:%2").arg(m_endpoint.host).arg(m_endpoint.port);
}

bool FtpClient::isConnected() const
{
    return m_loggedIn && m_control && m_control->state() == QAbstractSocket::ConnectedState;
}

void FtpClient::requireConnected(const QString &what) const
{
    if (!isConnected())
        throw AppError(QStringLiteral("%1: not connected to an FTP server").arg(what));
}

void FtpClient::closeControl()
{
    m_loggedIn = false;
    if (m_control) {
        m_control->abort();
        m_control.reset();
    }
}

void FtpClient::failNetwork(QTcpSocket &socket, const QString &what)
{
    QString message;
    if (socket.error() == QAbstractSocket::SocketTimeoutError)
        message = QStringLiteral("%1: the FTP server %2 did not answer within %3 s")
                      .arg(what, serverName(), seconds(m_timeoutMs));
    else if (socket.error() == QAbstractSocket::RemoteHostClosedError ||
             socket.state() == QAbstractSocket::UnconnectedState)
        message =
            QStringLiteral("%1: the FTP server %2 closed the connection").arg(what, serverName());
    else
        message = QStringLiteral("%1: %2").arg(what, socket.errorString());
    // The server's idea of the session is unknown now; start afresh next time.
    closeControl();
    throw AppError(message);
}

void FtpClient::send(const QString &command)
{
    // A line break would let a file name smuggle in a command of its own.
    if (command.contains(u'\r') || command.contains(u'\n'))
        throw AppError(QStringLiteral("FTP command refused: \"%1\" contains a line break")
                           .arg(QString(command).replace(u'\r', u' ').replace(u'\n', u' ')));
    const QByteArray line = command.toUtf8() + "\r\n";
    if (m_control->write(line) != line.size())
        failNetwork(*m_control, command.section(u' ', 0, 0));
    while (m_control->bytesToWrite() > 0) {
        if (!m_control->waitForBytesWritten(m_timeoutMs))
            failNetwork(*m_control, command.section(u' ', 0, 0));
    }
}

QByteArray FtpClient::readLine()
{
    QTcpSocket &socket = *m_control;
    const QDeadlineTimer deadline(m_timeoutMs);
    while (!socket.canReadLine()) {
        if (socket.bytesAvailable() > MaxReplyLine) {
            closeControl();
            throw AppError(QStringLiteral("The FTP server %1 sent a reply line that is too long")
                               .arg(serverName()));
        }
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            failNetwork(socket, QStringLiteral("Waiting for the reply"));
    }
    QByteArray line = socket.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

FtpClient::Reply FtpClient::readReply()
{
    const auto isCode = [](const QByteArray &line) {
        return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
               std::isdigit(static_cast<unsigned char>(line[1])) &&
               std::isdigit(static_cast<unsigned char>(line[2]));
    };
    const QByteArray first = readLine();
    if (!isCode(first)) {
        closeControl();
        throw AppError(QStringLiteral("The FTP server %1 sent an unreadable reply: %2")
                           .arg(serverName(), QString::fromUtf8(first.left(200))));
    }
    Reply reply;
    reply.code = first.left(3).toInt();
    QStringList lines{QString::fromUtf8(first)};
    if (first.size() > 3 && first[3] == '-') {
        // A multi-line reply ends with the same code followed by a blank.
        const QByteArray end = first.left(3);
        for (;;) {
            const QByteArray line = readLine();
            lines.append(QString::fromUtf8(line));
            if (line.startsWith(end) && (line.size() == 3 || line[3] == ' '))
                break;
        }
    }
    reply.text = lines.join(u'\n');
    return reply;
}

FtpClient::Reply FtpClient::command(const QString &command)
{
    send(command);
    return readReply();
}

void FtpClient::refuse(const QString &what, const Reply &reply)
{
    throw AppError(QStringLiteral("%1: %2").arg(what, reply.text));
}

void FtpClient::connect()
{
    closeControl();
    m_epsvRefused = false;
    m_endpoint = parseHost(m_host);
    m_control = std::make_unique<QTcpSocket>();
    try {
        m_control->connectToHost(m_endpoint.host, m_endpoint.port);
        if (!m_control->waitForConnected(m_timeoutMs)) {
            const QString why =
                m_control->error() == QAbstractSocket::SocketTimeoutError
                    ? QStringLiteral("no answer within %1 s").arg(seconds(m_timeoutMs))
                    : m_control->errorString();
            throw AppError(
                QStringLiteral("Cannot connect to the FTP server %1: %2").arg(serverName(), why));
        }
        m_control->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        Reply reply = readReply();
        for (int wait = 0; wait < 5 && reply.code / 100 == 1; ++wait)
            reply = readReply(); // "120 ready in a moment"
        if (reply.code != 220)
            refuse(QStringLiteral("Connecting to %1").arg(serverName()), reply);
        const QString login = QStringLiteral("Login as \"%1\" on %2").arg(m_user, serverName());
        reply = command(QStringLiteral("USER ") + m_user);
        if (reply.code == 331)
            reply = command(QStringLiteral("PASS ") + m_password);
        if (reply.code != 230 && reply.code != 202)
            refuse(login, reply);
        reply = command(QStringLiteral("TYPE I"));
        if (reply.code / 100 != 2)
            refuse(QStringLiteral("TYPE I"), reply);
        m_loggedIn = true;
    } catch (...) {
        closeControl();
        throw;
    }
}

void FtpClient::changeDir(const QString &path)
{
    const QString what = QStringLiteral("CWD ") + path;
    requireConnected(what);
    if (path.isEmpty())
        throw AppError(QStringLiteral("CWD: no folder name given"));
    const Reply reply = command(what);
    if (reply.code / 100 != 2)
        refuse(what, reply);
}

void FtpClient::makeDir(const QString &name)
{
    const QString what = QStringLiteral("MKD ") + name;
    requireConnected(what);
    if (name.isEmpty())
        throw AppError(QStringLiteral("MKD: no folder name given"));
    const Reply reply = command(what);
    if (reply.code / 100 != 2)
        refuse(what, reply);
}

std::unique_ptr<QTcpSocket> FtpClient::openDataConnection()
{
    quint16 port = 0;
    if (!m_epsvRefused) {
        const Reply reply = command(QStringLiteral("EPSV"));
        if (reply.code == 229) {
            static const QRegularExpression pattern(QStringLiteral("\\(([!-~])\\1\\1(\\d+)\\1\\)"));
            const QRegularExpressionMatch match = pattern.match(reply.text);
            const uint value = match.hasMatch() ? match.captured(2).toUInt() : 0;
            if (value == 0 || value > 65535)
                refuse(QStringLiteral("EPSV (unreadable port)"), reply);
            port = static_cast<quint16>(value);
        } else if (reply.code / 100 == 5) {
            m_epsvRefused = true; // older servers know only PASV
        } else {
            refuse(QStringLiteral("EPSV"), reply);
        }
    }
    if (port == 0) {
        const Reply reply = command(QStringLiteral("PASV"));
        if (reply.code != 227)
            refuse(QStringLiteral("PASV"), reply);
        static const QRegularExpression pattern(
            QStringLiteral("(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+)"));
        const QRegularExpressionMatch match = pattern.match(reply.text);
        const uint high = match.hasMatch() ? match.captured(5).toUInt() : 0;
        const uint low = match.hasMatch() ? match.captured(6).toUInt() : 0;
        const uint value = high * 256 + low;
        if (high > 255 || low > 255 || value == 0)
            refuse(QStringLiteral("PASV (unreadable port)"), reply);
        port = static_cast<quint16>(value);
    }
    // The data connection goes to the host we are talking to, never to an
    // address the server names: that keeps a hostile reply from aiming us
    // elsewhere and works behind address translation.
    auto data = std::make_unique<QTcpSocket>();
    data->connectToHost(m_control->peerAddress(), port);
    if (!data->waitForConnected(m_timeoutMs))
        throw AppError(QStringLiteral("Cannot open the data connection to %1 port %2: %3")
                           .arg(m_endpoint.host)
                           .arg(port)
                           .arg(data->errorString()));
    return data;
}

void FtpClient::store(const QString &localPath, const QString &remotePath)
{
    const QString what = QStringLiteral("STOR ") + remotePath;
    requireConnected(what);
    if (remotePath.isEmpty())
        throw AppError(QStringLiteral("STOR: no remote file name given for %1").arg(localPath));
    if (remotePath.contains(u'\r') || remotePath.contains(u'\n'))
        throw AppError(
            QStringLiteral("FTP command refused: remote name of %1 contains a line break")
                .arg(localPath));
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw AppError(
            QStringLiteral("Cannot read file %1: %2").arg(localPath, file.errorString()));

    std::unique_ptr<QTcpSocket> data = openDataConnection();
    const Reply reply = command(what);
    if (reply.code / 100 != 1) {
        data->abort();
        refuse(what, reply);
    }
    sendFile(*data, file, remotePath);
}

void FtpClient::sendFile(QTcpSocket &data, QFile &file, const QString &remotePath)
{
    const QString what = QStringLiteral("STOR ") + remotePath;
    // The data connection failed: the server's reply says why, if it still talks.
    const auto dataFailed = [&](bool timedOut, const QString &why) {
        if (timedOut) {
            closeControl();
            throw AppError(QStringLiteral("%1: the FTP server %2 took no data within %3 s")
                               .arg(what, serverName(), seconds(m_timeoutMs)));
        }
        data.abort();
        Reply final;
        try {
            final = readReply();
        } catch (const AppError &error) {
            throw AppError(QStringLiteral("%1: the data connection failed (%2); %3")
                               .arg(what, why, error.message()));
        }
        if (final.code / 100 != 2)
            refuse(what, final);
        throw AppError(QStringLiteral("%1: the data connection failed: %2").arg(what, why));
    };
    const auto socketFailed = [&]() {
        dataFailed(data.error() == QAbstractSocket::SocketTimeoutError, data.errorString());
    };
    const auto readFailed = [&]() {
        // The server holds a half file and waits for more: drop the session.
        closeControl();
        throw AppError(
            QStringLiteral("Cannot read file %1: %2").arg(file.fileName(), file.errorString()));
    };

    qint64 sent = 0;
    QElapsedTimer sinceWork;
    sinceWork.start();
    const auto progressed = [&](qint64 total) {
        sent = total;
        if (m_onWork && sinceWork.elapsed() >= m_workIntervalMs) {
            m_onWork(sent);
            sinceWork.restart();
        }
    };

    QByteArray block(BlockSize, Qt::Uninitialized);
    for (;;) {
        const qint64 count = file.read(block.data(), block.size());
        if (count < 0)
            readFailed();
        if (count == 0)
            break;
        if (data.write(block.constData(), count) != count)
            socketFailed();
        while (data.bytesToWrite() > HighWater) {
            if (!data.waitForBytesWritten(m_timeoutMs))
                socketFailed();
        }
        progressed(sent + count);
    }
    while (data.bytesToWrite() > 0) {
        if (!data.waitForBytesWritten(m_timeoutMs))
            socketFailed();
    }
    // End of file is the close of the data connection; the server then answers.
    data.disconnectFromHost();
    if (data.state() != QAbstractSocket::UnconnectedState && !data.waitForDisconnected(m_timeoutMs))
        socketFailed();
    const Reply final = readReply();
    if (final.code / 100 != 2)
        refuse(what, final);
    if (m_onWork)
        m_onWork(sent);
}

void FtpClient::disconnect()
{
    if (!m_control)
        return;
    if (!isConnected()) {
        closeControl();
        return;
    }
    Reply reply;
    try {
        reply = command(QStringLiteral("QUIT"));
    } catch (...) {
        closeControl();
        throw;
    }
    closeControl();
    if (reply.code / 100 != 2)
        refuse(QStringLiteral("QUIT"), reply);
}
