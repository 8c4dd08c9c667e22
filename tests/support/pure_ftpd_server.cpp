#include "support/pure_ftpd_server.h"

#include "support/ftp_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QThread>

#include <pwd.h>
#include <signal.h>
#include <stdexcept>
#include <unistd.h>

namespace {

QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        throw std::runtime_error(program.toStdString() +
                                 " failed: " + process.readAllStandardError().toStdString());
    return process.readAllStandardOutput();
}

} // namespace

RealFtpTestServer::RealFtpTestServer() : m_process(std::make_unique<QProcess>())
{
}

RealFtpTestServer::~RealFtpTestServer()
{
    stop();
}

QString RealFtpTestServer::peerFolder(const QString &peer)
{
    return QStringLiteral(QS_SOURCE_DIR "/.peers/") + peer;
}

QString RealFtpTestServer::unavailableReason(const QString &peer, const QString &program)
{
    if (!QFileInfo(peerFolder(peer) + u'/' + program).isExecutable())
        return QStringLiteral("%1 is not unpacked in %2 (scripts/install-deps.sh does it)")
            .arg(peer, peerFolder(peer));
    if (::geteuid() != 0)
        return QStringLiteral("%1 maps its users to system users and needs root").arg(peer);
    if (::getpwnam("nobody") == nullptr)
        return QStringLiteral("there is no system user nobody to serve the files as");
    return {};
}

void RealFtpTestServer::giveHomeToNobody(const QString &home)
{
    const passwd *nobody = ::getpwnam("nobody");
    QDir().mkpath(home);
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                      QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(QFileInfo(home).absolutePath(), open);
    QFile::setPermissions(home, open);
    if (nobody == nullptr ||
        ::chown(QFile::encodeName(home).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
        throw std::runtime_error("cannot give the FTP home to nobody");
}

QString RealFtpTestServer::quickPasswordHash()
{
    return QString::fromLatin1(
        run(QStringLiteral("openssl"),
            {QStringLiteral("passwd"), QStringLiteral("-6"), QStringLiteral("secret")})
            .trimmed());
}

quint16 RealFtpTestServer::freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("no free loopback port");
    return probe.serverPort();
}

void RealFtpTestServer::start(const QString &program, const QStringList &arguments,
                              const QString &output)
{
    // A file, not a pipe: a pipe nobody reads would block the server's log.
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(output);
    m_process->start(program, arguments);
    if (!m_process->waitForStarted(10000))
        throw std::runtime_error("cannot start " + program.toStdString());
    const QDeadlineTimer deadline(15000);
    while (!LoopbackPortAccepts(m_port)) {
        if (deadline.hasExpired() || m_process->state() == QProcess::NotRunning) {
            stop();
            QFile printed(output);
            printed.open(QIODevice::ReadOnly);
            throw std::runtime_error(QFileInfo(program).fileName().toStdString() +
                                     " did not start: " + printed.readAll().toStdString());
        }
        QThread::msleep(20);
    }
}

QString RealFtpTestServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QList<qint64> RealFtpTestServer::sessions() const
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return {};
    // Every descendant of the listening process serves a session.
    QList<qint64> parents{m_process->processId()};
    QList<qint64> sessions;
    for (bool found = true; found;) {
        found = false;
        for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool number = false;
            const qint64 pid = entry.toLongLong(&number);
            if (!number || parents.contains(pid))
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // "pid (name) state ppid ...": the name may hold blanks.
            const QByteArray line = stat.readAll();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && parents.contains(fields.at(1).toLongLong())) {
                parents << pid;
                sessions << pid;
                found = true;
            }
        }
    }
    return sessions;
}

void RealFtpTestServer::freezeSessions(bool frozen)
{
    for (const qint64 pid : sessions())
        ::kill(static_cast<pid_t>(pid), frozen ? SIGSTOP : SIGCONT);
}

void RealFtpTestServer::stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        // Sessions outlive the listener; a frozen one would never end.
        for (const qint64 pid : sessions()) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
            ::kill(static_cast<pid_t>(pid), SIGCONT);
        }
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

QString PureFtpdTestServer::unavailableReason()
{
    return RealFtpTestServer::unavailableReason(QStringLiteral("pure-ftpd"),
                                                QStringLiteral("usr/sbin/pure-ftpd"));
}

PureFtpdTestServer::PureFtpdTestServer(const QString &home, const QString &work,
                                       const QString &certificate, const QString &key,
                                       int kilobytesPerSecond)
{
    const QString reason = unavailableReason();
    if (!reason.isEmpty())
        throw std::runtime_error(reason.toStdString());
    giveHomeToNobody(home);
    const passwd *nobody = ::getpwnam("nobody");
    const QString passwd = QDir(work).filePath(QStringLiteral("pureftpd.passwd"));
    const QString database = QDir(work).filePath(QStringLiteral("pureftpd.pdb"));
    QFile file(passwd);
    // "/./" ends the part of the path that the session is locked into.
    const QByteArray line = QStringLiteral("tester:%1:%2:%3::%4/./::::::::::::\n")
                                .arg(quickPasswordHash())
                                .arg(nobody->pw_uid)
                                .arg(nobody->pw_gid)
                                .arg(QFileInfo(home).absoluteFilePath())
                                .toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(line) != line.size())
        throw std::runtime_error("cannot write the pure-ftpd user file");
    file.close();
    const QString folder = peerFolder(QStringLiteral("pure-ftpd"));
    run(folder + QStringLiteral("/usr/bin/pure-pw"),
        {QStringLiteral("mkdb"), database, QStringLiteral("-f"), passwd});

    m_port = freeLoopbackPort();
    QStringList arguments{QStringLiteral("-l"), QStringLiteral("puredb:") + database,
                          QStringLiteral("-S"), QStringLiteral("127.0.0.1,%1").arg(m_port),
                          QStringLiteral("-E"), QStringLiteral("-H")};
    if (!certificate.isEmpty())
        arguments << QStringLiteral("-Y") << QStringLiteral("3") << QStringLiteral("-2")
                  << certificate + u',' + key;
    if (kilobytesPerSecond > 0)
        arguments << QStringLiteral("-T") << QString::number(kilobytesPerSecond);
    start(folder + QStringLiteral("/usr/sbin/pure-ftpd"), arguments,
          QDir(work).filePath(QStringLiteral("pure-ftpd.out")));
}
