#include "support/proftpd_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <grp.h>
#include <pwd.h>
#include <stdexcept>

namespace {

void writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

} // namespace

QString ProftpdTestServer::unavailableReason()
{
    const QString reason = RealFtpTestServer::unavailableReason(QStringLiteral("proftpd"),
                                                                QStringLiteral("usr/sbin/proftpd"));
    if (reason.isEmpty() && !QFileInfo::exists(peerFolder(QStringLiteral("proftpd")) +
                                               QStringLiteral("/usr/lib/proftpd/mod_tls.so")))
        return QStringLiteral("proftpd's mod_tls is not unpacked in %1 (scripts/install-deps.sh "
                              "does it)")
            .arg(peerFolder(QStringLiteral("proftpd")));
    return reason;
}

ProftpdTestServer::ProftpdTestServer(const QString &home, const QString &work,
                                     const QString &certificate, const QString &key)
{
    const QString reason = unavailableReason();
    if (!reason.isEmpty())
        throw std::runtime_error(reason.toStdString());
    giveHomeToNobody(home);
    // proftpd looks the home up as nobody before it locks the session into
    // it: every folder above it must let nobody pass. Only the test's own
    // folders are opened, never the temporary folder or anything above it.
    const QString temp = QDir(QDir::tempPath()).canonicalPath() + u'/';
    for (QDir up(QFileInfo(home).absoluteFilePath());
         up.cdUp() && up.canonicalPath().startsWith(temp);) {
        const QFileInfo folder(up.canonicalPath());
        if (!folder.permission(QFile::ExeOther))
            QFile::setPermissions(folder.absoluteFilePath(),
                                  folder.permissions() | QFile::ExeOther);
    }
    const passwd *nobody = ::getpwnam("nobody");
    const group *nobodys = ::getgrgid(nobody->pw_gid);
    if (nobodys == nullptr)
        throw std::runtime_error("nobody's group has no name");
    const QDir dir(work);
    const QString users = dir.filePath(QStringLiteral("proftpd.passwd"));
    writeFile(users, QStringLiteral("tester:%1:%2:%3::%4:/bin/false\n")
                         .arg(quickPasswordHash())
                         .arg(nobody->pw_uid)
                         .arg(nobody->pw_gid)
                         .arg(QFileInfo(home).absoluteFilePath())
                         .toUtf8());
    // proftpd refuses a user file that others may read.
    QFile::setPermissions(users, QFile::ReadOwner | QFile::WriteOwner);

    m_port = freeLoopbackPort();
    const QString folder = peerFolder(QStringLiteral("proftpd"));
    // Nothing outside the work folder is written; no look-ups that wait on
    // the network; the session is locked into the home.
    QString config = QStringLiteral(R"(ServerType standalone
ServerName "Quillstone test"
Port %1
DefaultAddress 127.0.0.1
SocketBindTight on
UseIPv6 off
User %2
Group %3
PidFile %4/proftpd.pid
ScoreboardFile %4/proftpd.scoreboard
DelayTable %4/proftpd.delay
SystemLog %4/proftpd.log
TransferLog %4/proftpd.xferlog
WtmpLog off
ControlsEngine off
ControlsSocket %4/proftpd.sock
UseReverseDNS off
<IfModule mod_ident.c>
  IdentLookups off
</IfModule>
AuthPAM off
AuthOrder mod_auth_file.c
AuthUserFile %5
RequireValidShell off
DefaultRoot ~
AllowOverwrite on
Umask 022
MaxInstances 50
)")
                         .arg(m_port)
                         .arg(QString::fromLocal8Bit(nobody->pw_name),
                              QString::fromLocal8Bit(nobodys->gr_name), dir.absolutePath(), users);
    if (!certificate.isEmpty())
        config += QStringLiteral(R"(ModulePath %1/usr/lib/proftpd
LoadModule mod_tls.c
TLSEngine on
TLSRequired on
TLSECCertificateFile %2
TLSECCertificateKeyFile %3
TLSLog %4/proftpd.tls.log
)")
                      .arg(folder, certificate, key, dir.absolutePath());
    const QString file = dir.filePath(QStringLiteral("proftpd.conf"));
    writeFile(file, config.toUtf8());

    // -n: in the foreground, so that stop() ends it.
    start(folder + QStringLiteral("/usr/sbin/proftpd"),
          {QStringLiteral("-n"), QStringLiteral("-c"), file},
          dir.filePath(QStringLiteral("proftpd.out")));
}
