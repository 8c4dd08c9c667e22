#include "support/ssh_server.h"

#include "support/ftp_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QThread>

#include <csignal>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Sshd = QStringLiteral("/usr/sbin/sshd");
const QString Keygen = QStringLiteral("/usr/bin/ssh-keygen");

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        throw std::runtime_error((program + QStringLiteral(" failed: ") +
                                  QString::fromLocal8Bit(process.readAllStandardError()))
                                     .toStdString());
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("no free loopback port");
    return probe.serverPort();
}

// Every process below `pid`, children before grandchildren.
QList<pid_t> descendantsOf(pid_t pid)
{
    QList<pid_t> found{pid};
    for (qsizetype i = 0; i < found.size(); ++i) {
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString &entry : entries) {
            bool number = false;
            const pid_t candidate = entry.toInt(&number);
            if (!number || found.contains(candidate))
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // "pid (name) state ppid ...": the name may hold blanks, so read after ')'.
            const QByteArray line = stat.readAll();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1].toInt() == found[i])
                found << candidate;
        }
    }
    found.removeFirst();
    return found;
}

} // namespace

SshTestServer::SshTestServer() : SshTestServer(Options{})
{
}

SshTestServer::SshTestServer(const Options &options) : m_options(options)
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot make a temporary folder for sshd");
    if (!QFile::exists(Sshd) || !QFile::exists(Keygen))
        throw std::runtime_error("sshd or ssh-keygen is missing: run scripts/install-deps.sh");
    // sshd started by root wants its privilege separation folder.
    if (::geteuid() == 0 && !QDir(QStringLiteral("/run/sshd")).exists())
        ::mkdir("/run/sshd", 0755);
    makeKey(m_dir.filePath(QStringLiteral("host_ed25519")));
    QDir(m_dir.path()).mkdir(QStringLiteral("client"));
    makeKey(m_dir.filePath(QStringLiteral("client/id_ed25519")));
    QFile::copy(m_dir.filePath(QStringLiteral("client/id_ed25519.pub")),
                m_dir.filePath(QStringLiteral("authorized_keys")));
    m_port = freeLoopbackPort();
    start();
}

SshTestServer::~SshTestServer()
{
    stop();
}

void SshTestServer::makeKey(const QString &path)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".pub"));
    run(Keygen, {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                 QStringLiteral("-N"), QString(), QStringLiteral("-C"), QStringLiteral("qs-test"),
                 QStringLiteral("-f"), path});
}

void SshTestServer::writeConfig()
{
    const QString dir = m_dir.path();
    QString config;
    config += QStringLiteral("ListenAddress 127.0.0.1\nPort %1\n").arg(m_port);
    config += QStringLiteral("HostKey %1/host_ed25519\n").arg(dir);
    config += QStringLiteral("PidFile %1/sshd.pid\n").arg(dir);
    config += QStringLiteral("AuthorizedKeysFile %1/authorized_keys\n").arg(dir);
    config += QStringLiteral("StrictModes no\nUsePAM no\nPubkeyAuthentication yes\n"
                             "KbdInteractiveAuthentication no\nAllowAgentForwarding no\n"
                             "X11Forwarding no\nLogLevel ERROR\n");
    config += m_options.passwordAuthentication
                  ? QStringLiteral("PasswordAuthentication yes\nPermitRootLogin yes\n")
                  : QStringLiteral("PasswordAuthentication no\n"
                                   "PermitRootLogin prohibit-password\n");
    config += QStringLiteral("Subsystem sftp internal-sftp") +
              (m_options.readOnly ? QStringLiteral(" -R") : QString()) +
              (m_options.startFolder.isEmpty() ? QString()
                                               : QStringLiteral(" -d ") + m_options.startFolder) +
              u'\n';
    QFile file(m_dir.filePath(QStringLiteral("sshd_config")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(config.toUtf8()) < 0)
        throw std::runtime_error("cannot write sshd_config");
}

void SshTestServer::start()
{
    stop();
    writeConfig();
    m_process = std::make_unique<QProcess>();
    // sshd re-executes itself, so it must be called by its full path.
    m_process->start(Sshd, {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"),
                            m_dir.filePath(QStringLiteral("sshd_config"))});
    if (!m_process->waitForStarted(10000))
        throw std::runtime_error("cannot start sshd");
    const QDeadlineTimer deadline(15000);
    while (!LoopbackPortAccepts(m_port)) {
        if (m_process->state() == QProcess::NotRunning || deadline.hasExpired()) {
            m_process->waitForFinished(1000);
            const QByteArray errors = m_process->readAllStandardError();
            stop();
            throw std::runtime_error("sshd did not start: " + errors.toStdString());
        }
        QThread::msleep(20);
    }
}

void SshTestServer::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        const auto pid = static_cast<pid_t>(m_process->processId());
        // Sessions live on in their own processes when only the listener dies.
        for (const pid_t child : descendantsOf(pid))
            ::kill(child, SIGKILL);
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    m_process.reset();
}

void SshTestServer::replaceHostKey()
{
    makeKey(m_dir.filePath(QStringLiteral("host_ed25519")));
    start();
}

void SshTestServer::freezeSessions(bool frozen)
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    for (const pid_t child : descendantsOf(static_cast<pid_t>(m_process->processId())))
        ::kill(child, frozen ? SIGSTOP : SIGCONT);
}

QString SshTestServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QString SshTestServer::userName()
{
    const passwd *entry = ::getpwuid(::geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

QString SshTestServer::clientKeyFolder() const
{
    return m_dir.filePath(QStringLiteral("client"));
}

QString SshTestServer::strangerKeyFolder()
{
    QDir(m_dir.path()).mkdir(QStringLiteral("stranger"));
    const QString key = m_dir.filePath(QStringLiteral("stranger/id_ed25519"));
    if (!QFile::exists(key))
        makeKey(key);
    return m_dir.filePath(QStringLiteral("stranger"));
}

QString SshTestServer::knownHostsLine() const
{
    QFile file(m_dir.filePath(QStringLiteral("host_ed25519.pub")));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read the host key");
    const QStringList fields = QString::fromUtf8(file.readAll()).split(u' ');
    return QStringLiteral("[127.0.0.1]:%1 %2 %3").arg(m_port).arg(fields.value(0), fields.value(1));
}

QString SshTestServer::hostKeyFingerprint() const
{
    // "256 SHA256:... comment (ED25519)"
    const QString line =
        run(Keygen, {QStringLiteral("-l"), QStringLiteral("-E"), QStringLiteral("sha256"),
                     QStringLiteral("-f"), m_dir.filePath(QStringLiteral("host_ed25519.pub"))});
    return line.section(u' ', 1, 1);
}
