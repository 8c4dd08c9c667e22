#include "support/ftp_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
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
    if (!options.tlsCertificate.isEmpty()) {
        arguments << QStringLiteral("--tls-cert") << options.tlsCertificate;
        if (!options.tlsKey.isEmpty())
            arguments << QStringLiteral("--tls-key") << options.tlsKey;
    }
    if (options.tlsControlRequired)
        arguments << QStringLiteral("--tls-control-required");
    if (options.tlsDataRequired)
        arguments << QStringLiteral("--tls-data-required");
    if (!options.dataCertificate.isEmpty())
        arguments << QStringLiteral("--data-cert") << options.dataCertificate
                  << QStringLiteral("--data-key") << options.dataKey;
    if (!options.commandLog.isEmpty())
        arguments << QStringLiteral("--command-log") << options.commandLog;
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

namespace {

QByteArray runOpenssl(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        throw std::runtime_error("openssl " + arguments.join(u' ').toStdString() +
                                 " failed: " + process.readAllStandardError().toStdString());
    return process.readAllStandardOutput();
}

QString opensslFingerprint(const QString &certificate)
{
    // "sha256 Fingerprint=AB:CD:..." (older versions: "SHA256 Fingerprint=")
    const QByteArray line = runOpenssl({QStringLiteral("x509"), QStringLiteral("-noout"),
                                        QStringLiteral("-fingerprint"), QStringLiteral("-sha256"),
                                        QStringLiteral("-in"), certificate})
                                .trimmed();
    return QString::fromLatin1(line.mid(line.indexOf('=') + 1));
}

const QStringList KeyArguments{
    QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
    QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

} // namespace

TestCertificate MakeSelfSignedCertificate(const QString &folder, const QString &name)
{
    TestCertificate made;
    made.certificate = QDir(folder).filePath(name + QStringLiteral(".pem"));
    made.key = QDir(folder).filePath(name + QStringLiteral(".key"));
    runOpenssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + KeyArguments +
               QStringList{QStringLiteral("-keyout"), made.key, QStringLiteral("-out"),
                           made.certificate, QStringLiteral("-days"), QStringLiteral("2"),
                           QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                           QStringLiteral("-addext"),
                           QStringLiteral("subjectAltName=IP:127.0.0.1")});
    made.fingerprint = opensslFingerprint(made.certificate);
    return made;
}

TestCertificate MakeAuthoritySignedCertificate(const QString &folder, QString *authority)
{
    const QDir dir(folder);
    const QString caCertificate = dir.filePath(QStringLiteral("authority.pem"));
    const QString caKey = dir.filePath(QStringLiteral("authority.key"));
    runOpenssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + KeyArguments +
               QStringList{QStringLiteral("-keyout"), caKey, QStringLiteral("-out"), caCertificate,
                           QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                           QStringLiteral("/CN=Quillstone Test Authority")});
    TestCertificate made;
    made.certificate = dir.filePath(QStringLiteral("signed.pem"));
    made.key = dir.filePath(QStringLiteral("signed.key"));
    const QString request = dir.filePath(QStringLiteral("signed.csr"));
    const QString extensions = dir.filePath(QStringLiteral("signed.ext"));
    QFile file(extensions);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write("subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n") < 0)
        throw std::runtime_error("cannot write the certificate extensions");
    file.close();
    runOpenssl(QStringList{QStringLiteral("req")} + KeyArguments +
               QStringList{QStringLiteral("-keyout"), made.key, QStringLiteral("-out"), request,
                           QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")});
    runOpenssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
                QStringLiteral("-CA"), caCertificate, QStringLiteral("-CAkey"), caKey,
                QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), made.certificate,
                QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"),
                extensions});
    made.fingerprint = opensslFingerprint(made.certificate);
    if (authority)
        *authority = caCertificate;
    return made;
}
