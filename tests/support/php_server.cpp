#include "support/php_server.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

int FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw std::runtime_error("no socket for a free port");
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("no free loopback port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

bool LoopbackPortAccepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const sockaddr_in address = loopback(port);
    const bool accepted =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return accepted;
}

PhpServer::PhpServer(const QString &root)
{
    if (!m_log.open())
        throw std::runtime_error("no log file for php -S");
    // A port picked free can be taken before PHP binds it: try a few.
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = FreeLoopbackPort();
        // PHP logs every request; a pipe nobody reads would fill and stall it.
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardOutputFile(m_log.fileName());
        m_process.start(QStringLiteral("php"),
                        {QStringLiteral("-d"), QStringLiteral("display_errors=1"),
                         QStringLiteral("-d"), QStringLiteral("html_errors=1"),
                         QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(m_port),
                         QStringLiteral("-t"), root});
        if (!m_process.waitForStarted(5000))
            throw std::runtime_error("php could not be started: " +
                                     m_process.errorString().toStdString());
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            if (LoopbackPortAccepts(m_port))
                return;
            QThread::msleep(20);
        }
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    throw std::runtime_error("php -S did not accept connections: " + output().toStdString());
}

PhpServer::~PhpServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString PhpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_port) + path;
}

QString PhpServer::output()
{
    QFile log(m_log.fileName());
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}
