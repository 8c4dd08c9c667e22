#include "support/private_keyring.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <signal.h>
#include <stdexcept>

namespace {
// A session bus that anyone on the machine's loopback socket may use, that
// reads no service files (so no daemon is started behind the test's back) and
// listens in the test's own folder.
QByteArray busConfig(const QString &folder)
{
    return QStringLiteral(
               R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
        .arg(folder)
        .toUtf8();
}

void stopProcess(std::unique_ptr<QProcess> &process)
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(process->processId()), SIGCONT);
    process->kill();
    process->waitForFinished(5000);
}
} // namespace

PrivateKeyring::PrivateKeyring(Kind kind, const QString &password)
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot make a temporary folder for the keyring");
    for (const char *sub : {"home", "data", "config", "run"})
        QDir(m_dir.path()).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(m_dir.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    startBus();
    if (kind == Kind::WithKeyring) {
        try {
            startKeyring(password);
        } catch (...) {
            stopProcess(m_keyring);
            stopProcess(m_bus);
            throw;
        }
    }
}

PrivateKeyring::~PrivateKeyring()
{
    stopProcess(m_keyring);
    stopProcess(m_bus);
}

QProcessEnvironment PrivateKeyring::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
    // No desktop: the keychain library then takes the secret service, which
    // is what this bus offers (or lacks).
    for (const char *name :
         {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "KDE_SESSION_VERSION",
          "GNOME_DESKTOP_SESSION_ID", "DISPLAY", "WAYLAND_DISPLAY", "GNOME_KEYRING_CONTROL"})
        env.remove(QString::fromLatin1(name));
    return env;
}

void PrivateKeyring::startBus()
{
    const QString configPath = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(busConfig(m_dir.filePath(QStringLiteral("run")))) < 0)
        throw std::runtime_error("cannot write the bus configuration");
    config.close();

    m_bus = std::make_unique<QProcess>();
    m_bus->setProcessChannelMode(QProcess::SeparateChannels);
    m_bus->start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"),
                  QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    if (!m_bus->waitForStarted(10000))
        throw std::runtime_error("cannot start dbus-daemon (is dbus-daemon installed?)");
    const QDeadlineTimer deadline(10000);
    while (!m_bus->canReadLine()) {
        if (deadline.hasExpired() || m_bus->state() == QProcess::NotRunning ||
            !m_bus->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            const QByteArray errors = m_bus->readAllStandardError();
            stopProcess(m_bus);
            throw std::runtime_error("dbus-daemon did not start: " + errors.toStdString());
        }
    }
    m_address = QString::fromUtf8(m_bus->readLine().trimmed());
}

void PrivateKeyring::startKeyring(const QString &password)
{
    m_keyring = std::make_unique<QProcess>();
    m_keyring->setProcessEnvironment(environment());
    m_keyring->setWorkingDirectory(m_dir.path());
    m_keyring->start(QStringLiteral("gnome-keyring-daemon"),
                     {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                      QStringLiteral("--components=secrets")});
    if (!m_keyring->waitForStarted(10000))
        throw std::runtime_error("cannot start gnome-keyring-daemon (is gnome-keyring installed?)");
    // The login keyring is made, or unlocked, with the password read to EOF.
    m_keyring->write(password.toUtf8());
    m_keyring->waitForBytesWritten(5000);
    m_keyring->closeWriteChannel();

    // Ready once the default collection answers to its alias.
    const QDeadlineTimer deadline(15000);
    for (;;) {
        const QString alias = send({QStringLiteral("--dest=org.freedesktop.secrets"),
                                    QStringLiteral("/org/freedesktop/secrets"),
                                    QStringLiteral("org.freedesktop.Secret.Service.ReadAlias"),
                                    QStringLiteral("string:default")});
        if (alias.contains(QLatin1String("/org/freedesktop/secrets/collection/")))
            return;
        if (deadline.hasExpired() || m_keyring->state() == QProcess::NotRunning)
            throw std::runtime_error(
                "gnome-keyring-daemon did not offer its collection: " + alias.toStdString() + " " +
                m_keyring->readAllStandardError().toStdString());
        QThread::msleep(50);
    }
}

QString PrivateKeyring::send(const QStringList &arguments) const
{
    QProcess sender;
    sender.setProcessEnvironment(environment());
    sender.start(QStringLiteral("dbus-send"),
                 QStringList{QStringLiteral("--session"), QStringLiteral("--print-reply"),
                             QStringLiteral("--reply-timeout=5000")} +
                     arguments);
    if (!sender.waitForStarted(5000))
        throw std::runtime_error("cannot start dbus-send (is dbus-bin installed?)");
    sender.waitForFinished(10000);
    return QString::fromUtf8(sender.readAllStandardOutput() + sender.readAllStandardError());
}

void PrivateKeyring::lockDefaultCollection()
{
    const QString alias = send({QStringLiteral("--dest=org.freedesktop.secrets"),
                                QStringLiteral("/org/freedesktop/secrets"),
                                QStringLiteral("org.freedesktop.Secret.Service.ReadAlias"),
                                QStringLiteral("string:default")});
    const qsizetype at = alias.indexOf(QLatin1String("/org/freedesktop/secrets/collection/"));
    if (at < 0)
        throw std::runtime_error("the keyring has no default collection to lock");
    const QString path = alias.mid(at).section(u'"', 0, 0).trimmed();
    const QString reply = send({QStringLiteral("--dest=org.freedesktop.secrets"),
                                QStringLiteral("/org/freedesktop/secrets"),
                                QStringLiteral("org.freedesktop.Secret.Service.Lock"),
                                QStringLiteral("array:objpath:") + path});
    if (!reply.contains(path))
        throw std::runtime_error("the keyring did not lock: " + reply.toStdString());
}

void PrivateKeyring::freezeKeyring(bool frozen)
{
    if (!m_keyring || m_keyring->state() != QProcess::Running)
        throw std::runtime_error("no keyring daemon to freeze");
    ::kill(static_cast<pid_t>(m_keyring->processId()), frozen ? SIGSTOP : SIGCONT);
}
