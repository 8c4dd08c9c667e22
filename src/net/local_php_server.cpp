#include "net/local_php_server.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QUrl>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// A request for a name that no site has; the leading dot makes PHP's server
// answer 404 without running a script.
constexpr char ProbeRequest[] = "HEAD /.quillstone-probe HTTP/1.0\r\n"
                                "User-Agent: Quillstone\r\n\r\n";

QString key(const LoopbackAddress &address)
{
    return address.host + u'|' + QString::number(address.port);
}

QString sameFolderForm(const QString &folder)
{
    QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    while (clean.size() > 1 && clean.endsWith(u'/'))
        clean.chop(1);
    return clean;
}

} // namespace

QString LoopbackAddress::hostAndPort() const
{
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return shownHost + u':' + QString::number(port);
}

LoopbackAddress LoopbackHttpAddress(const QString &address)
{
    LoopbackAddress result;
    const QUrl url(address.trimmed(), QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
        return result;
    const QString host = url.host().toLower();
    if (host != QLatin1String("127.0.0.1") && host != QLatin1String("localhost") &&
        host != QLatin1String("::1"))
        return result;
    result.host = host;
    result.port = url.port(80);
    result.valid = result.port > 0 && result.port <= 65535;
    return result;
}

PortState ProbeLoopbackPort(const LoopbackAddress &address, std::chrono::milliseconds timeout,
                            bool askHttp)
{
    QTcpSocket socket;
    socket.connectToHost(address.host, quint16(address.port));
    if (!socket.waitForConnected(int(timeout.count())))
        return PortState::Free;
    if (!askHttp)
        return PortState::WebServer;
    socket.write(ProbeRequest);
    socket.flush();
    QByteArray answer;
    const QDeadlineTimer deadline(timeout);
    while (answer.size() < 5 && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
        answer += socket.read(5 - answer.size());
    }
    socket.abort();
    if (answer.startsWith("HTTP/"))
        return PortState::WebServer;
    // Silence may be a web server busy with a long page: give it the benefit
    // of the doubt. Anything else that answers is not a web server.
    return answer.isEmpty() && deadline.hasExpired() ? PortState::WebServer : PortState::Other;
}

LocalPhpServer::LocalPhpServer(QObject *parent) : LocalPhpServer(Options{}, parent)
{
}

LocalPhpServer::LocalPhpServer(Options options, QObject *parent)
    : QObject(parent), m_options(std::move(options))
{
}

LocalPhpServer::~LocalPhpServer()
{
    stop();
}

QString LocalPhpServer::DefaultLogPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/quillstone/php-server.log");
}

QString LocalPhpServer::logPath() const
{
    return m_options.logPath.isEmpty() ? DefaultLogPath() : m_options.logPath;
}

bool LocalPhpServer::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

qint64 LocalPhpServer::processId() const
{
    return isRunning() ? m_process->processId() : 0;
}

bool LocalPhpServer::servesFolder(const QString &folder) const
{
    return isRunning() && sameFolderForm(folder) == m_folder;
}

void LocalPhpServer::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
    m_process.reset();
    m_starting = false;
    m_port = 0;
    m_host.clear();
    m_folder.clear();
}

LocalPhpServer::Outcome LocalPhpServer::prepare(const QString &address, const QString &folder,
                                                bool mayStart)
{
    return prepare(address, folder, mayStart, true);
}

LocalPhpServer::Outcome LocalPhpServer::prepareWithoutWaiting(const QString &address,
                                                              const QString &folder, bool mayStart)
{
    return prepare(address, folder, mayStart, false);
}

LocalPhpServer::Outcome LocalPhpServer::prepare(const QString &address, const QString &folder,
                                                bool mayStart, bool wait)
{
    const LoopbackAddress at = LoopbackHttpAddress(address);
    if (!at.valid)
        return {true, false, {}};

    if (isRunning() && at.host == m_host && at.port == m_port) {
        if (servesFolder(folder) && m_runningArguments == m_extraArguments)
            return m_starting && wait ? awaitAccepting() : Outcome{true, false, {}};
        stop(); // it serves the project opened before, or runs with other options
    }

    // A port once found to speak HTTP is only checked for still accepting.
    switch (ProbeLoopbackPort(at, m_options.probeTimeout, !m_webServers.contains(key(at)))) {
    case PortState::WebServer:
        m_webServers.insert(key(at));
        return {true, false, {}};
    case PortState::Other:
        return {false, false,
                QStringLiteral("Another program, which is not a web server, uses port %1 on %2, "
                               "so PHP's server cannot be started there. Stop that program, or "
                               "set the run address to another port (for example "
                               "http://127.0.0.1:8000/).")
                    .arg(at.port)
                    .arg(at.host)};
    case PortState::Free:
        break;
    }
    m_webServers.remove(key(at));
    if (!mayStart)
        return {false, false, {}};
    if (folder.isEmpty())
        return {false, false,
                QStringLiteral("No project is open, so there is no folder for PHP's server to "
                               "serve. Open or save a project first.")};
    return start(at, folder, wait);
}

LocalPhpServer::Outcome LocalPhpServer::start(const LoopbackAddress &address, const QString &folder,
                                              bool wait)
{
    stop();
    const QString php = QStandardPaths::findExecutable(m_options.program);
    if (php.isEmpty())
        return {false, false,
                QStringLiteral("PHP's server could not be started: no program \"%1\" was found "
                               "on the PATH. Install PHP's command-line program (on Debian: "
                               "apt install php-cli), or start a web server yourself and set "
                               "the run address to it.")
                    .arg(m_options.program)};

    // The log holds this run of the program: emptied at the first start,
    // added to at later ones, each start under a line of its own.
    const QString log = logPath();
    QDir().mkpath(QFileInfo(log).absolutePath());
    QFile file(log);
    const QIODevice::OpenMode mode =
        m_logFresh ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate;
    if (!file.open(mode | QIODevice::Text))
        return {false, false,
                QStringLiteral("PHP's server was not started: its log %1 cannot be written (%2).")
                    .arg(log, file.errorString())};
    m_logFresh = true;
    m_logStart = file.size();
    const QString clean = sameFolderForm(folder);
    const QStringList arguments =
        m_extraArguments +
        QStringList{QStringLiteral("-S"), address.hostAndPort(),
                    QStringLiteral("-t"), clean,
                    QStringLiteral("-d"), QStringLiteral("display_errors=1"),
                    QStringLiteral("-d"), QStringLiteral("html_errors=1"),
                    QStringLiteral("-d"), QStringLiteral("error_reporting=E_ALL")};
    m_runningArguments = m_extraArguments;
    file.write(
        QStringLiteral("--- %1: %2 %3\n")
            .arg(QDateTime::currentDateTime().toString(Qt::ISODate), php, arguments.join(u' '))
            .toUtf8());
    file.close();

    m_process = std::make_unique<QProcess>();
    m_process->setProgram(php);
    m_process->setArguments(arguments);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(log, QIODevice::Append);
    m_process->setStandardInputFile(QProcess::nullDevice());
    // The server goes with the program even when the program is killed.
    const pid_t parent = ::getpid();
    m_process->setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) // the program went before the signal was asked for
            ::_exit(1);
    });
    m_process->start();
    if (!m_process->waitForStarted(int(m_options.startTimeout.count()))) {
        const QString reason = m_process->errorString();
        m_process.reset();
        return {false, false, QStringLiteral("PHP's server could not be started: %1").arg(reason)};
    }
    m_host = address.host;
    m_port = address.port;
    m_folder = clean;
    m_starting = true;
    m_startDeadline = QDeadlineTimer(m_options.startTimeout);
    return wait ? awaitAccepting() : Outcome{true, true, {}};
}

LocalPhpServer::Outcome LocalPhpServer::awaitAccepting()
{
    const QDeadlineTimer &deadline = m_startDeadline;
    const LoopbackAddress address{m_host, m_port, true};
    while (!deadline.hasExpired()) {
        // Waiting for the end doubles as the pause between two looks at the port.
        if (m_process->waitForFinished(10)) {
            const int code = m_process->exitCode();
            stop();
            QString said = logTail();
            return {false, false,
                    QStringLiteral("PHP's server stopped at once (exit code %1)%2")
                        .arg(code)
                        .arg(said.isEmpty() ? QStringLiteral(".") : QStringLiteral(":\n") + said)};
        }
        QTcpSocket socket;
        socket.connectToHost(address.host, quint16(address.port));
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime())))) {
            socket.abort();
            m_starting = false;
            m_webServers.insert(key(address));
            return {true, true, {}};
        }
    }
    stop();
    return {false, false,
            QStringLiteral("PHP's server did not accept connections on %1 within %2 s; its "
                           "log is %3.")
                .arg(address.hostAndPort())
                .arg(m_options.startTimeout.count() / 1000.0)
                .arg(logPath())};
}

QString LocalPhpServer::logTail() const
{
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_logStart))
        return {};
    QStringList lines =
        QString::fromLocal8Bit(file.read(64 * 1024)).split(u'\n', Qt::SkipEmptyParts);
    if (!lines.isEmpty() && lines.constFirst().startsWith(QLatin1String("--- ")))
        lines.removeFirst();
    // PHP puts the time in front of its lines; the message does without it.
    static const QRegularExpression stamp(QStringLiteral("^\\[[^\\]]*\\] "));
    for (QString &line : lines)
        line.remove(stamp);
    while (lines.size() > 6)
        lines.removeFirst();
    return lines.join(u'\n').trimmed();
}
