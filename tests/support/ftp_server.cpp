#include "support/ftp_server.h"

#include <QDeadlineTimer>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

bool LoopbackPortAccepts(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool accepted =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return accepted;
}

QString FtpTestServer::scriptPath()
{
    return QStringLiteral(QS_SOURCE_DIR "/tests/support/ftp_server.py");
}

FtpTestServer::FtpTestServer(const QString &homeFolder) : FtpTestServer(homeFolder, Options{})
{
}

FtpTestServer::FtpTestServer(const QString &homeFolder, const Options &options)
    : m_options(options), m_process(std::make_unique<QProcess>())
{
    QStringList arguments{scriptPath(),       QStringLiteral("--home"),
                          homeFolder,         QStringLiteral("--user"),
                          options.user,       QStringLiteral("--password"),
                          options.password,   QStringLiteral("--perm"),
                          options.permissions};
    if (options.refuseEpsv)
        arguments << QStringLiteral("--no-epsv");
    for (const QString &folder : options.readOnly)
        arguments << QStringLiteral("--read-only") << folder;
    if (!options.fault.isEmpty())
        arguments << QStringLiteral("--fault") << options.fault << QStringLiteral("--after")
                  << QString::number(options.faultAfterBytes);
    if (options.throttleBytesPerSecond > 0)
        arguments << QStringLiteral("--throttle")
                  << QString::number(options.throttleBytesPerSecond);
    m_process->start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!m_process->waitForStarted(10000))
        throw std::runtime_error("cannot start /usr/bin/python3 for the FTP server");

    // The launcher prints its port once it listens.
    const QDeadlineTimer deadline(15000);
    while (!m_process->canReadLine()) {
        if (deadline.hasExpired() || m_process->state() == QProcess::NotRunning ||
            !m_process->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            const QByteArray errors = m_process->readAllStandardError();
            stop();
            throw std::runtime_error("FTP server did not start: " + errors.toStdString());
        }
    }
    m_port = static_cast<quint16>(m_process->readLine().trimmed().toUInt());
    while (m_port == 0 || !LoopbackPortAccepts(m_port)) {
        if (deadline.hasExpired()) {
            stop();
            throw std::runtime_error("FTP server does not accept connections");
        }
        QThread::msleep(20);
    }
}

FtpTestServer::~FtpTestServer()
{
    stop();
}

QString FtpTestServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

void FtpTestServer::stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}
