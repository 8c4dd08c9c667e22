#include "net/ftp_client.h"

#include "foundation/errors.h"
#include "foundation/host_trust.h"
#include "net/send_progress.h"
#include "net/store_source.h"

#include <QBuffer>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimeZone>

#include <algorithm>
#include <cctype>
#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

constexpr qint64 BlockSize = 256 * 1024;   // read from disk at a time
constexpr qint64 HighWater = 1024 * 1024;  // socket buffer before we wait
constexpr qint64 MaxReplyLine = 64 * 1024; // a longer line is not FTP
constexpr qint64 MaxReplySize = 1024 * 1024;
constexpr int SliceMs = 100;                 // longest blind wait while a transfer is followed
constexpr qint64 SmallFileBytes = 32 * 1024; // sent right behind its STOR

QString seconds(int milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'g', 3);
}

// Ends the sending direction only; false where that is not possible.
bool halfClose(QTcpSocket &socket);

// A second descriptor of a socket, closed with this object.
class KeptDescriptor {
public:
    KeptDescriptor() = default;
    KeptDescriptor(const KeptDescriptor &) = delete;
    KeptDescriptor &operator=(const KeptDescriptor &) = delete;
    ~KeptDescriptor()
    {
#ifdef Q_OS_UNIX
        if (m_descriptor >= 0)
            ::close(m_descriptor);
#endif
    }
    void take(qintptr descriptor)
    {
#ifdef Q_OS_UNIX
        if (descriptor >= 0)
            m_descriptor = ::dup(static_cast<int>(descriptor));
#else
        Q_UNUSED(descriptor);
#endif
    }
    bool valid() const
    {
        return m_descriptor >= 0;
    }
    qintptr descriptor() const
    {
        return m_descriptor;
    }
    // Ends the sending direction once the socket has let go of its own
    // descriptor, that is once everything it held, the alert last, is out.
    void endSendingOnceClosed(QTcpSocket &socket)
    {
#ifdef Q_OS_UNIX
        if (m_descriptor >= 0 && !m_ended && socket.state() == QAbstractSocket::UnconnectedState)
            m_ended = ::shutdown(m_descriptor, SHUT_WR) == 0;
#else
        Q_UNUSED(socket);
#endif
    }

private:
    int m_descriptor = -1;
    bool m_ended = false;
};

bool halfClose(QTcpSocket &socket)
{
#ifdef Q_OS_UNIX
    const qintptr descriptor = socket.socketDescriptor();
    return descriptor >= 0 && ::shutdown(static_cast<int>(descriptor), SHUT_WR) == 0;
#else
    Q_UNUSED(socket);
    return false;
#endif
}

// Bytes given to the socket and not handed to the system yet; for a TLS
// socket both the plain text waiting to be encrypted and the records
// waiting to be sent.
qint64 pendingWrite(QTcpSocket &socket)
{
    if (auto *tls = qobject_cast<QSslSocket *>(&socket))
        return tls->bytesToWrite() + tls->encryptedBytesToWrite();
    return socket.bytesToWrite();
}

void abortSocket(QTcpSocket &socket)
{
    if (auto *tls = qobject_cast<QSslSocket *>(&socket))
        tls->abort(); // drops the encrypted layer's buffers as well
    else
        socket.abort();
}

QString protocolName(QSsl::SslProtocol protocol)
{
    switch (protocol) {
    case QSsl::TlsV1_3:
        return QStringLiteral("TLS 1.3");
    case QSsl::TlsV1_2:
        return QStringLiteral("TLS 1.2");
    default:
        return QStringLiteral("TLS");
    }
}

} // namespace

std::optional<FtpTls> FtpTlsFromText(const QString &text)
{
    const QString word = text.trimmed().toLower();
    if (word.isEmpty() || word == QLatin1String("off"))
        return FtpTls::Off;
    if (word == QLatin1String("when offered"))
        return FtpTls::WhenOffered;
    if (word == QLatin1String("required"))
        return FtpTls::Required;
    return std::nullopt;
}

FtpClient::FtpClient() = default;

FtpClient::~FtpClient()
{
    closeControl();
}

QString FtpClient::serverName() const
{
    return m_endpoint.name();
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
    m_controlTls = nullptr;
    if (m_control) {
        abortSocket(*m_control);
        m_control.reset();
    }
}

void FtpClient::setTrustedFingerprints(const QStringList &fingerprints)
{
    m_trustedFingerprints.clear();
    for (const QString &fingerprint : fingerprints)
        m_trustedFingerprints << fingerprint.trimmed().toUpper();
}

QString FtpClient::fingerprintOf(const QSslCertificate &certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QSslConfiguration FtpClient::tlsConfiguration() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    // Keeps the session so that data connections can resume it.
    configuration.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    if (!m_extraCas.isEmpty())
        configuration.addCaCertificates(m_extraCas);
    return configuration;
}

bool FtpClient::startControlTls()
{
    const Reply reply = command(QStringLiteral("AUTH TLS"));
    if (reply.code != 234) {
        if (m_tls == FtpTls::Required)
            throw AppError(QStringLiteral("%1 does not offer TLS, which this project requires; "
                                          "the password was not sent. Its answer: %2")
                               .arg(serverName(), reply.text));
        m_note = QStringLiteral("Not encrypted: %1 does not offer TLS (%2)")
                     .arg(serverName(), reply.text);
        return false;
    }
    QSslSocket &socket = *m_controlTls;
    if (socket.bytesAvailable() > 0)
        throw AppError(QStringLiteral("The FTP server %1 sent more than its answer to AUTH TLS; "
                                      "the TLS handshake was not started")
                           .arg(serverName()));
    socket.setSslConfiguration(tlsConfiguration());
    socket.setPeerVerifyName(m_endpoint.host);
    // The certificate is judged once the handshake is through, where the
    // user can be asked without a half-done handshake waiting.
    socket.ignoreSslErrors();
    QElapsedTimer elapsed;
    elapsed.start();
    socket.startClientEncryption();
    if (!socket.waitForEncrypted(m_timeoutMs)) {
        const QString why = elapsed.elapsed() >= m_timeoutMs ||
                                    socket.error() == QAbstractSocket::SocketTimeoutError
                                ? QStringLiteral("no answer within %1 s").arg(seconds(m_timeoutMs))
                                : socket.errorString();
        throw AppError(
            QStringLiteral("The TLS handshake with %1 failed: %2").arg(serverName(), why));
    }
    checkCertificate();
    return true;
}

void FtpClient::checkCertificate()
{
    QSslSocket &socket = *m_controlTls;
    const QSslCertificate certificate = socket.peerCertificate();
    if (certificate.isNull())
        throw AppError(QStringLiteral("%1 showed no TLS certificate").arg(serverName()));
    m_serverCertificate = certificate;
    const QString protocol = protocolName(socket.sessionProtocol());
    QStringList problems;
    for (const QSslError &error : socket.sslHandshakeErrors())
        problems << error.errorString();
    problems.removeDuplicates();
    if (problems.isEmpty()) {
        m_note = QStringLiteral("Encrypted with %1; certificate verified").arg(protocol);
        return;
    }
    const QString fingerprint = fingerprintOf(certificate);
    const QString problem = problems.join(QStringLiteral("; "));
    bool trusted = m_trustedFingerprints.contains(fingerprint);
    if (!trusted && m_hostTrust) {
        trusted = m_hostTrust->trustCertificate(m_endpoint.host, fingerprint, problem);
        if (trusted)
            m_trustedFingerprints << fingerprint;
    }
    if (!trusted)
        throw AppError(QStringLiteral("The TLS certificate of %1 is not trusted (%2; SHA-256 "
                                      "fingerprint %3); the password was not sent")
                           .arg(serverName(), problem, fingerprint));
    m_note = QStringLiteral("Encrypted with %1; certificate accepted by you").arg(protocol);
}

void FtpClient::failDataTls(QSslSocket &data, const QString &what, const QString &why)
{
    abortSocket(data);
    // The server waits on a data connection that will never carry the file.
    closeControl();
    throw AppError(QStringLiteral("%1: TLS on the data connection failed: %2").arg(what, why));
}

void FtpClient::finishDataTls(QSslSocket &data, const QString &what)
{
    QElapsedTimer elapsed;
    elapsed.start();
    if (!data.isEncrypted() && !data.waitForEncrypted(m_timeoutMs)) {
        failDataTls(data, what,
                    elapsed.elapsed() >= m_timeoutMs ||
                            data.error() == QAbstractSocket::SocketTimeoutError
                        ? QStringLiteral("no answer within %1 s").arg(seconds(m_timeoutMs))
                        : data.errorString());
    }
    // Only the certificate checked on the control connection will do: another
    // one means someone else answered the data connection.
    if (!m_serverCertificate || data.peerCertificate() != *m_serverCertificate)
        failDataTls(data, what,
                    QStringLiteral("the server showed a different certificate (SHA-256 %1)")
                        .arg(fingerprintOf(data.peerCertificate())));
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
    send(QStringList{command});
}

void FtpClient::send(const QStringList &commands)
{
    QByteArray lines;
    for (const QString &command : commands) {
        // A line break would let a file name smuggle in a command of its own.
        if (command.contains(u'\r') || command.contains(u'\n'))
            throw AppError(QStringLiteral("FTP command refused: \"%1\" contains a line break")
                               .arg(QString(command).replace(u'\r', u' ').replace(u'\n', u' ')));
        lines += command.toUtf8() + "\r\n";
    }
    const QString what = commands.value(0).section(u' ', 0, 0);
    if (m_control->write(lines) != lines.size())
        failNetwork(*m_control, what);
    // Handed to the system at once; a wait only when it would not take it all.
    m_control->flush();
    while (m_control->bytesToWrite() > 0) {
        if (!m_control->waitForBytesWritten(m_timeoutMs))
            failNetwork(*m_control, what);
    }
}

void FtpClient::replyTimedOut(bool partial)
{
    closeControl();
    throw AppError(
        QStringLiteral("Waiting for the reply: the FTP server %1 did not %2 within %3 s")
            .arg(serverName(),
                 partial ? QStringLiteral("complete its reply") : QStringLiteral("answer"),
                 seconds(m_timeoutMs)));
}

QByteArray FtpClient::readLine(QDeadlineTimer &deadline, bool partial, const Progress &progress)
{
    QTcpSocket &socket = *m_control;
    while (!socket.canReadLine()) {
        if (socket.bytesAvailable() > MaxReplyLine) {
            closeControl();
            throw AppError(QStringLiteral("The FTP server %1 sent a reply line that is too long")
                               .arg(serverName()));
        }
        if (deadline.hasExpired())
            replyTimedOut(partial || socket.bytesAvailable() > 0);
        qint64 wait = deadline.remainingTime();
        if (progress)
            wait = std::min<qint64>(wait, SliceMs);
        if (!socket.waitForReadyRead(static_cast<int>(wait))) {
            if (socket.state() != QAbstractSocket::ConnectedState)
                failNetwork(socket, QStringLiteral("Waiting for the reply"));
            if (progress && progress())
                deadline.setRemainingTime(m_timeoutMs);
        }
    }
    QByteArray line = socket.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

FtpClient::Reply FtpClient::readReply(const Progress &progress)
{
    const auto isCode = [](const QByteArray &line) {
        return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
               std::isdigit(static_cast<unsigned char>(line[1])) &&
               std::isdigit(static_cast<unsigned char>(line[2]));
    };
    // One deadline for the whole reply: a server that keeps sending lines
    // without ever ending the reply does not hold the caller for ever.
    QDeadlineTimer deadline(m_timeoutMs);
    const QByteArray first = readLine(deadline, false, progress);
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
        qint64 size = first.size();
        for (;;) {
            const QByteArray line = readLine(deadline, true, progress);
            size += line.size();
            if (size > MaxReplySize) {
                closeControl();
                throw AppError(QStringLiteral("The FTP server %1 sent a reply that is too long")
                                   .arg(serverName()));
            }
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
    m_noMlsd = false;
    m_noMfmt = false;
    m_portAhead = 0;
    m_protectData = false;
    m_serverCertificate.reset();
    m_note.clear();
    m_endpoint = ParseRemoteHost(m_host, DefaultPort, QStringLiteral("FTP"));
    if (m_tls == FtpTls::Off) {
        m_control = std::make_unique<QTcpSocket>();
    } else {
        auto socket = std::make_unique<QSslSocket>();
        m_controlTls = socket.get();
        m_control = std::move(socket);
    }
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
        if (m_controlTls)
            m_controlTls->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        else
            m_control->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        Reply reply = readReply();
        for (int wait = 0; wait < 5 && reply.code / 100 == 1; ++wait)
            reply = readReply(); // "120 ready in a moment"
        if (reply.code != 220)
            refuse(QStringLiteral("Connecting to %1").arg(serverName()), reply);
        const bool encrypted = m_tls != FtpTls::Off && startControlTls();
        const QString login = QStringLiteral("Login as \"%1\" on %2").arg(m_user, serverName());
        reply = command(QStringLiteral("USER ") + m_user);
        if (reply.code == 331)
            reply = command(QStringLiteral("PASS ") + m_password);
        if (reply.code != 230 && reply.code != 202)
            refuse(login, reply);
        if (encrypted) {
            reply = command(QStringLiteral("PBSZ 0"));
            if (reply.code / 100 == 2)
                reply = command(QStringLiteral("PROT P"));
            m_protectData = reply.code / 100 == 2;
            if (!m_protectData && m_tls == FtpTls::Required)
                refuse(QStringLiteral("Encrypting the data connections (PROT P)"), reply);
            if (!m_protectData)
                m_note += QStringLiteral("; file contents not encrypted: the server refused "
                                         "to encrypt the data connections (%1)")
                              .arg(reply.text);
        }
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
    // A folder is made for the file that goes into it next: its passive port
    // comes in the same exchange, as after a rename.
    send({what, passiveCommand()});
    const Reply reply = readReply();
    takePortAhead(readReply());
    if (reply.code / 100 != 2)
        refuse(what, reply);
}

quint16 FtpClient::passivePort(const Reply &reply)
{
    if (reply.code == 229) {
        static const QRegularExpression pattern(QStringLiteral("\\(([!-~])\\1\\1(\\d+)\\1\\)"));
        const QRegularExpressionMatch match = pattern.match(reply.text);
        const uint value = match.hasMatch() ? match.captured(2).toUInt() : 0;
        if (value == 0 || value > 65535)
            refuse(QStringLiteral("EPSV (unreadable port)"), reply);
        return static_cast<quint16>(value);
    }
    if (reply.code == 227) {
        static const QRegularExpression pattern(
            QStringLiteral("(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+)"));
        const QRegularExpressionMatch match = pattern.match(reply.text);
        const uint high = match.hasMatch() ? match.captured(5).toUInt() : 0;
        const uint low = match.hasMatch() ? match.captured(6).toUInt() : 0;
        const uint value = high * 256 + low;
        if (high > 255 || low > 255 || value == 0)
            refuse(QStringLiteral("PASV (unreadable port)"), reply);
        return static_cast<quint16>(value);
    }
    return 0;
}

QString FtpClient::passiveCommand() const
{
    return m_epsvRefused ? QStringLiteral("PASV") : QStringLiteral("EPSV");
}

void FtpClient::takePortAhead(const Reply &passive)
{
    m_portAhead = 0;
    if (passive.code == 229 || passive.code == 227) {
        try {
            m_portAhead = passivePort(passive);
            m_portAheadAge.start();
        } catch (const AppError &) {
            // The store asks again, and says what is wrong with the answer.
        }
    } else if (!m_epsvRefused && passive.code / 100 == 5) {
        m_epsvRefused = true;
    }
}

quint16 FtpClient::requestPassivePort()
{
    if (!m_epsvRefused) {
        const Reply reply = command(QStringLiteral("EPSV"));
        if (reply.code == 229)
            return passivePort(reply);
        if (reply.code / 100 != 5)
            refuse(QStringLiteral("EPSV"), reply);
        m_epsvRefused = true; // older servers know only PASV
    }
    const Reply reply = command(QStringLiteral("PASV"));
    if (reply.code != 227)
        refuse(QStringLiteral("PASV"), reply);
    return passivePort(reply);
}

std::unique_ptr<QTcpSocket> FtpClient::openDataConnection(bool *usedPortAhead)
{
    // A port opened ahead by the last rename, if it is fresh.
    bool ahead = m_portAhead != 0 && m_portAheadAge.isValid() && m_portAheadAge.elapsed() < 5000;
    for (;;) {
        if (usedPortAhead)
            *usedPortAhead = ahead;
        const quint16 port = ahead ? m_portAhead : requestPassivePort();
        m_portAhead = 0;
        // The data connection goes to the host we are talking to, never to an
        // address the server names: that keeps a hostile reply from aiming us
        // elsewhere and works behind address translation.
        std::unique_ptr<QTcpSocket> data;
        QSslSocket *tls = nullptr;
        if (m_protectData) {
            auto socket = std::make_unique<QSslSocket>();
            tls = socket.get();
            // The control connection's configuration carries its session, which
            // the server may require the data connection to resume.
            socket->setSslConfiguration(m_controlTls->sslConfiguration());
            data = std::move(socket);
        } else {
            data = std::make_unique<QTcpSocket>();
        }
        data->connectToHost(m_control->peerAddress(), port);
        if (data->waitForConnected(m_timeoutMs)) {
            if (tls) {
                // The greeting goes out now; servers answer it when they take the
                // command, so the handshake is completed after the reply to it.
                tls->setPeerVerifyName(m_endpoint.host);
                tls->ignoreSslErrors(); // the certificate is compared instead
                tls->startClientEncryption();
            }
            return data;
        }
        if (!ahead)
            throw AppError(QStringLiteral("Cannot open the data connection to %1 port %2: %3")
                               .arg(m_endpoint.host)
                               .arg(port)
                               .arg(data->errorString()));
        ahead = false; // the server gave that port up: ask for a new one
    }
}

// One file's way to the server on its data connection: what was handed to the
// socket, what reached the server as far as this machine can tell, and how
// long nothing moved.
struct FtpClient::Upload {
    Upload(QTcpSocket &socket, QIODevice &source, const QString &sourceName, const QString &command,
           qint64 queuedBefore, bool endedBefore)
        : data(socket), file(source), fileName(sourceName), what(command),
          descriptor(socket.socketDescriptor()), queued(queuedBefore), ended(endedBefore),
          peer(descriptor)
    {
        silence.start();
        sinceWork.start();
    }

    QTcpSocket &data;
    QIODevice &file; // the local file, or its bytes already read
    const QString fileName;
    const QString what;
    // Over TLS the socket's own descriptor goes when its closure is sent;
    // a duplicate keeps the connection (and the count of bytes in flight)
    // until the server's final reply, see endBody().
    KeptDescriptor kept;
    qintptr descriptor;
    qint64 queued;        // handed to the socket
    qint64 moved = 0;     // reached the server, as far as this machine can tell
    qint64 reported = -1; // last count given to the work handler
    bool ended;           // the sending side is closed
    QElapsedTimer silence;
    QElapsedTimer sinceWork;
    // The peer's side of the connection: what it acknowledged and the room
    // it advertises. Once every byte is acknowledged the server may still
    // hold much of the file unread in its buffers, and only its growing
    // window tells that it is reading.
    SendWatch peer;
};

void FtpClient::store(const QString &localPath, const QString &remotePath)
{
    storeFrom(*StoreSourceFile(localPath), localPath, remotePath);
}

void FtpClient::storeData(const QByteArray &content, const QString &localPath,
                          const QString &remotePath)
{
    storeFrom(*StoreSourceBytes(content), localPath, remotePath);
}

void FtpClient::storeFrom(QIODevice &source, const QString &localPath, const QString &remotePath)
{
    const QString what = QStringLiteral("STOR ") + remotePath;
    requireConnected(what);
    if (remotePath.isEmpty())
        throw AppError(QStringLiteral("STOR: no remote file name given for %1").arg(localPath));
    if (remotePath.contains(u'\r') || remotePath.contains(u'\n'))
        throw AppError(
            QStringLiteral("FTP command refused: remote name of %1 contains a line break")
                .arg(localPath));

    // A small file goes out right behind the command, with the end of its
    // data: the server's preliminary and final replies then come back
    // together, one wait per file instead of two. It fits the network
    // buffers of both ends, so a refused store cannot leave it hanging.
    const qint64 size = source.size();
    const bool withCommand = size <= SmallFileBytes;
    QByteArray body;
    if (auto *buffer = qobject_cast<QBuffer *>(&source); withCommand && buffer) {
        body = buffer->data(); // shared, not copied
        buffer->seek(size);
    } else if (withCommand) {
        // Read at the size just looked up, as readAll would, without
        // looking it up again.
        body.resize(size);
        const qint64 count = size > 0 ? source.read(body.data(), size) : 0;
        if (count < 0)
            throw AppError(
                QStringLiteral("Cannot read file %1: %2").arg(localPath, source.errorString()));
        body.resize(count);
    }
    bool ended = false;
    Reply first;
    const std::unique_ptr<QTcpSocket> data =
        startTransfer(what, withCommand ? &body : nullptr, &ended, &first);
    if (!data)
        throw FtpStoreRefused(QStringLiteral("%1: %2").arg(what, first.text));
    // The whole file went out with the command and the server's final reply
    // came with its first: nothing is left to follow.
    if (ended && m_control->canReadLine()) {
        const Reply final = readReply();
        abortSocket(*data);
        if (final.code / 100 != 2)
            refuse(what, final);
        if (m_onWork)
            m_onWork(body.size());
        return;
    }
    Upload upload(*data, source, localPath, what, body.size(), ended);
    streamBody(upload);
    endBody(upload);
    takeFinalReply(upload);
}

std::unique_ptr<QTcpSocket> FtpClient::startTransfer(const QString &what, const QByteArray *body,
                                                     bool *ended, Reply *reply)
{
    bool portAhead = false;
    std::unique_ptr<QTcpSocket> data = openDataConnection(&portAhead);
    for (;;) {
        if (ended)
            *ended = false;
        send(what);
        // Over TLS the body waits for the handshake, and its end is a TLS
        // closure, never a bare half-close.
        if (body && data->write(*body) == body->size()) {
            data->flush();
            *ended = !m_protectData && data->bytesToWrite() == 0 && halfClose(*data);
        }
        *reply = readReply();
        if (reply->code != 425 || !portAhead)
            break;
        // The server no longer counted on the port opened ahead.
        abortSocket(*data);
        data = openDataConnection(nullptr);
        portAhead = false;
    }
    if (reply->code / 100 != 1) {
        abortSocket(*data);
        return nullptr;
    }
    if (auto *tls = qobject_cast<QSslSocket *>(data.get()))
        finishDataTls(*tls, what);
    return data;
}

bool FtpClient::measure(Upload &upload)
{
    QTcpSocket &data = upload.data;
    if (upload.kept.valid()) {
        data.flush(); // the closure alert, if the system did not take it at once
        upload.kept.endSendingOnceClosed(data);
    }
    const bool peerMoved = upload.peer.moved();
    const qint64 now =
        upload.queued - pendingWrite(data) - ReadSendState(upload.descriptor).inFlight;
    if (now <= upload.moved && !peerMoved)
        return false;
    upload.silence.restart();
    if (now <= upload.moved)
        return true;
    upload.moved = now;
    if (m_onWork && upload.sinceWork.elapsed() >= m_workIntervalMs) {
        m_onWork(upload.moved);
        upload.reported = upload.moved;
        upload.sinceWork.restart();
    }
    return true;
}

void FtpClient::dataFailed(Upload &upload)
{
    // The server's reply says why, if it still talks.
    const QString why = upload.data.errorString();
    abortSocket(upload.data);
    Reply final;
    try {
        final = readReply();
    } catch (const AppError &error) {
        throw AppError(QStringLiteral("%1: the data connection failed (%2); %3")
                           .arg(upload.what, why, error.message()));
    }
    if (final.code / 100 != 2)
        refuse(upload.what, final);
    throw AppError(QStringLiteral("%1: the data connection failed: %2").arg(upload.what, why));
}

QString FtpClient::stalled(const Upload &upload) const
{
    return QStringLiteral("%1: no data moved for %2 s; the transfer was given up")
        .arg(upload.what, seconds(m_timeoutMs));
}

void FtpClient::streamBody(Upload &upload)
{
    QTcpSocket &data = upload.data;
    QIODevice &file = upload.file;
    // Bytes already read go to the socket whole: it keeps them shared, where
    // block by block they would be copied twice, into the block and into
    // the socket's buffer, in memory that is new to this session.
    if (auto *buffer = qobject_cast<QBuffer *>(&file); buffer && buffer->pos() == 0) {
        const QByteArray &content = buffer->data();
        if (!content.isEmpty() && data.write(content) != content.size())
            dataFailed(upload);
        upload.queued += content.size();
        buffer->seek(content.size());
        data.flush();
    }
    // Most files are small: a block as large as the file, not a fixed 256 KB
    // that the allocator maps and unmaps for each of them.
    QByteArray block(std::clamp<qint64>(file.size() - file.pos(), 1, BlockSize), Qt::Uninitialized);
    bool atEnd = false;
    while (!atEnd || pendingWrite(data) > 0) {
        if (!atEnd && pendingWrite(data) <= HighWater) {
            const qint64 count = file.read(block.data(), block.size());
            if (count < 0) {
                // The server holds a half file and waits for more: drop the session.
                closeControl();
                throw AppError(QStringLiteral("Cannot read file %1: %2")
                                   .arg(upload.fileName, file.errorString()));
            }
            atEnd = count == 0;
            if (count > 0) {
                if (data.write(block.constData(), count) != count)
                    dataFailed(upload);
                upload.queued += count;
                data.flush();
            }
        } else {
            // A TLS socket encrypts what waits in it only when flushed.
            data.flush();
            if (!data.waitForBytesWritten(SliceMs) &&
                data.state() != QAbstractSocket::ConnectedState)
                dataFailed(upload);
        }
        measure(upload);
        if (upload.silence.elapsed() >= m_timeoutMs) {
            // The server's idea of the transfer is unknown: start afresh.
            closeControl();
            throw AppError(stalled(upload));
        }
    }
}

void FtpClient::endBody(Upload &upload)
{
    // End of file: half-close the data connection so the server sees it.
    // A TLS connection ends with its closure alert; without an event loop
    // the alert leaves, and the socket closes, only when flushed.
    // Closing a socket while the server's bytes (TLS 1.3 session tickets,
    // sent whenever the server gets to it) wait unread, or arrive after it,
    // resets the connection, and a reset makes the server throw away the end
    // of the file it has not read yet. So the connection is held open by a
    // duplicate descriptor, its sending side ended after the alert, until
    // the final reply says the server has it all.
    QTcpSocket &data = upload.data;
    if (!upload.ended && m_protectData) {
        upload.kept.take(upload.descriptor);
        if (upload.kept.valid()) {
            upload.descriptor = upload.kept.descriptor();
            upload.peer.watch(upload.descriptor);
        }
        data.disconnectFromHost();
        data.flush();
        upload.kept.endSendingOnceClosed(data);
    } else if (!upload.ended && !halfClose(data)) {
        data.disconnectFromHost();
    }
}

void FtpClient::takeFinalReply(Upload &upload)
{
    // What this machine still holds for the server is followed while the
    // reply is awaited, so a slow link is not cut while it drains. With
    // nothing left to send the system sends nothing either, so the peer's
    // window would go unreported: probes make it answer.
    ProbeWhenIdle(upload.descriptor);
    Reply final;
    try {
        final = readReply([&] { return measure(upload); });
    } catch (const AppError &error) {
        if (ReadSendState(upload.descriptor).inFlight > 0 &&
            upload.silence.elapsed() >= m_timeoutMs)
            throw AppError(stalled(upload));
        throw AppError(upload.what + QStringLiteral(": ") + error.message());
    }
    abortSocket(upload.data);
    if (final.code / 100 != 2)
        refuse(upload.what, final);
    if (m_onWork && upload.reported != upload.queued)
        m_onWork(upload.queued);
}

void FtpClient::rename(const QString &from, const QString &to)
{
    const QString what = QStringLiteral("RNFR ") + from;
    requireConnected(what);
    if (from.isEmpty() || to.isEmpty())
        throw AppError(QStringLiteral("RNFR: no file name given"));
    const QString whatTo = QStringLiteral("RNTO ") + to;
    // Checked before anything is sent: a refusal half way through the three
    // commands would leave replies unread.
    for (const QString &name : {from, to}) {
        if (name.contains(u'\r') || name.contains(u'\n'))
            throw AppError(QStringLiteral("FTP command refused: \"%1\" contains a line break")
                               .arg(QString(name).replace(u'\r', u' ').replace(u'\n', u' ')));
    }
    // Both halves, and the passive port for the store that usually follows,
    // in one exchange: a publish run renames each file just before it sends
    // the next one, and waiting for every reply in turn doubled its time.
    // A refused RNFR makes the server refuse the RNTO as out of sequence.
    send({what, whatTo, passiveCommand()});
    const Reply fromReply = readReply();
    const Reply toReply = readReply();
    takePortAhead(readReply());
    if (fromReply.code != 350)
        refuse(what, fromReply);
    if (toReply.code / 100 != 2)
        refuse(whatTo, toReply);
}

void FtpClient::removeFile(const QString &path)
{
    const QString what = QStringLiteral("DELE ") + path;
    requireConnected(what);
    if (path.isEmpty())
        throw AppError(QStringLiteral("DELE: no file name given"));
    const Reply reply = command(what);
    if (reply.code / 100 != 2)
        refuse(what, reply);
}

void FtpClient::setMode(const QString &path, int mode)
{
    const QString what =
        QStringLiteral("SITE CHMOD %1 %2").arg(mode, 3, 8, QLatin1Char('0')).arg(path);
    requireConnected(what);
    if (path.isEmpty() || path.contains(u'\r') || path.contains(u'\n'))
        throw AppError(QStringLiteral("SITE CHMOD: no usable file name given"));
    const Reply reply = command(what);
    if (reply.code / 100 != 2)
        refuse(what, reply);
}

bool FtpClient::setModifiedTime(const QString &path, qint64 msSinceEpoch)
{
    if (m_noMfmt)
        return false;
    const QString stamp = QDateTime::fromMSecsSinceEpoch(msSinceEpoch, QTimeZone::utc())
                              .toString(QStringLiteral("yyyyMMddHHmmss"));
    const QString what = QStringLiteral("MFMT %1 %2").arg(stamp, path);
    requireConnected(what);
    if (path.isEmpty() || path.contains(u'\r') || path.contains(u'\n'))
        throw AppError(QStringLiteral("MFMT: no usable file name given"));
    const Reply reply = command(what);
    if (reply.code == 500 || reply.code == 502 || reply.code == 504) {
        m_noMfmt = true;
        return false;
    }
    if (reply.code / 100 != 2)
        refuse(what, reply);
    return true;
}

QByteArray FtpClient::retrieveListing(const QString &what)
{
    Reply reply;
    const std::unique_ptr<QTcpSocket> data = startTransfer(what, nullptr, nullptr, &reply);
    if (!data)
        refuse(what, reply);
    QByteArray bytes;
    // The listing ends when the server closes the data connection.
    while (data->state() == QAbstractSocket::ConnectedState) {
        if (data->bytesAvailable() == 0 && !data->waitForReadyRead(m_timeoutMs)) {
            if (data->state() != QAbstractSocket::ConnectedState)
                break;
            abortSocket(*data);
            closeControl();
            throw AppError(
                QStringLiteral("%1: no listing arrived for %2 s").arg(what, seconds(m_timeoutMs)));
        }
        bytes += data->readAll();
    }
    bytes += data->readAll();
    data->close();
    const Reply final = readReply();
    if (final.code / 100 != 2)
        refuse(what, final);
    return bytes;
}

QList<RemoteEntry> FtpClient::listFolder(const QString &path)
{
    requireConnected(QStringLiteral("MLSD ") + path);
    if (path.contains(u'\r') || path.contains(u'\n'))
        throw AppError(QStringLiteral("FTP command refused: folder name contains a line break"));
    QList<RemoteEntry> entries;
    if (!m_noMlsd) {
        try {
            const QByteArray text = retrieveListing(QStringLiteral("MLSD ") + path);
            for (const QByteArray &line : text.split('\n')) {
                if (const std::optional<RemoteEntry> entry = parseMlsdLine(line))
                    entries.append(*entry);
            }
            return entries;
        } catch (const AppError &error) {
            // 500 and 502: a server from before MLSD.
            if (!isConnected() || !(error.message().contains(QLatin1String(": 500")) ||
                                    error.message().contains(QLatin1String(": 502"))))
                throw;
            m_noMlsd = true;
        }
    }
    const QDate today = QDate::currentDate();
    const QByteArray text = retrieveListing(QStringLiteral("LIST ") + path);
    for (const QByteArray &line : text.split('\n')) {
        if (const std::optional<RemoteEntry> entry = parseListLine(line, today))
            entries.append(*entry);
    }
    return entries;
}

std::optional<RemoteEntry> FtpClient::parseMlsdLine(const QByteArray &rawLine)
{
    const QByteArray line = rawLine.endsWith('\r') ? rawLine.chopped(1) : rawLine;
    // "fact=value;fact=value; name": the name follows the first blank.
    const qsizetype blank = line.indexOf(' ');
    if (blank < 0)
        return std::nullopt;
    RemoteEntry entry;
    entry.name = QString::fromUtf8(line.mid(blank + 1));
    QByteArray type;
    for (const QByteArray &fact : line.left(blank).split(';')) {
        const qsizetype equals = fact.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = fact.left(equals).toLower();
        const QByteArray value = fact.mid(equals + 1);
        if (key == "type") {
            type = value.toLower();
        } else if (key == "size") {
            bool ok = false;
            const qint64 size = value.toLongLong(&ok);
            entry.size = ok ? size : -1;
        } else if (key == "modify") {
            // YYYYMMDDHHMMSS[.sss], always UTC.
            QDateTime time = QDateTime::fromString(QString::fromLatin1(value.left(14)),
                                                   QStringLiteral("yyyyMMddHHmmss"));
            if (time.isValid()) {
                time.setTimeZone(QTimeZone::utc());
                entry.modifiedMs = time.toMSecsSinceEpoch();
                if (value.size() > 15 && value.at(14) == '.')
                    entry.modifiedMs += value.mid(15, 3).leftJustified(3, '0').toInt();
            }
        }
    }
    if (entry.name.isEmpty() || type == "cdir" || type == "pdir" || entry.name == "." ||
        entry.name == "..")
        return std::nullopt;
    if (type == "dir")
        entry.folder = true;
    else if (type != "file")
        return std::nullopt; // links, devices and lines without facts are no files here
    return entry;
}

std::optional<RemoteEntry> FtpClient::parseListLine(const QByteArray &rawLine, const QDate &today)
{
    const QString line = QString::fromUtf8(rawLine).trimmed();
    static const QRegularExpression unixLine(
        QStringLiteral("^([-dl])[-rwxsStTl]{9}\\S*\\s+\\d+\\s+\\S+\\s+\\S+\\s+(\\d+)\\s+"
                       "([A-Za-z]{3})\\s+(\\d{1,2})\\s+(\\d{1,2}:\\d{2}|\\d{4})\\s(.+)$"));
    static const QRegularExpression dosLine(
        QStringLiteral("^(\\d{2})-(\\d{2})-(\\d{2,4})\\s+(\\d{1,2}):(\\d{2})\\s*([AP]M)\\s+(<DIR>|"
                       "\\d+)\\s+(.+)$"));
    RemoteEntry entry;
    if (const QRegularExpressionMatch m = unixLine.match(line); m.hasMatch()) {
        if (m.captured(1) == u"l")
            return std::nullopt;
        entry.folder = m.captured(1) == u"d";
        entry.size = m.captured(2).toLongLong();
        entry.name = m.captured(6);
        static const QStringList months{"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
        const int month = int(months.indexOf(m.captured(3).toLower())) + 1;
        const int day = m.captured(4).toInt();
        const QString yearOrTime = m.captured(5);
        if (month > 0) {
            QDateTime time;
            if (yearOrTime.contains(u':')) {
                // Within the last half year: this year, unless that is ahead of today.
                QDate date(today.year(), month, day);
                if (date > today.addDays(1))
                    date = QDate(today.year() - 1, month, day);
                time = QDateTime(date, QTime::fromString(yearOrTime, QStringLiteral("H:mm")),
                                 QTimeZone::utc());
            } else {
                time =
                    QDateTime(QDate(yearOrTime.toInt(), month, day), QTime(0, 0), QTimeZone::utc());
            }
            if (time.isValid())
                entry.modifiedMs = time.toMSecsSinceEpoch();
        }
    } else if (const QRegularExpressionMatch m = dosLine.match(line); m.hasMatch()) {
        int year = m.captured(3).toInt();
        if (year < 100)
            year += year < 70 ? 2000 : 1900;
        int hour = m.captured(4).toInt() % 12;
        if (m.captured(6) == u"PM")
            hour += 12;
        const QDateTime time(QDate(year, m.captured(1).toInt(), m.captured(2).toInt()),
                             QTime(hour, m.captured(5).toInt()), QTimeZone::utc());
        if (time.isValid())
            entry.modifiedMs = time.toMSecsSinceEpoch();
        entry.folder = m.captured(7) == u"<DIR>";
        entry.size = entry.folder ? -1 : m.captured(7).toLongLong();
        entry.name = m.captured(8);
    } else {
        return std::nullopt;
    }
    if (entry.name == u"." || entry.name == u"..")
        return std::nullopt;
    return entry;
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
