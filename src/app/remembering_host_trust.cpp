#include "app/remembering_host_trust.h"

#include "foundation/settings.h"
#include "foundation/user_dialogs.h"

namespace {
// A host is a setting name of its own; its ":port" stays in it, since another
// port may be another server.
QString settingOf(const QString &host)
{
    return QStringLiteral("TrustedCertificates\\") + host.trimmed().toLower();
}
} // namespace

QStringList RememberingHostTrust::trustedCertificates(const QString &host)
{
    return ReadSetting(settingOf(host), QString()).split(u' ', Qt::SkipEmptyParts);
}

bool RememberingHostTrust::trustCertificate(const QString &host, const QString &fingerprint,
                                            const QString &problem)
{
    QStringList trusted = trustedCertificates(host);
    if (trusted.contains(fingerprint, Qt::CaseInsensitive))
        return true;
    const QString text =
        QStringLiteral("The certificate of %1 could not be verified:\n%2\n\n"
                       "SHA-256 fingerprint:\n%3\n\n"
                       "Trust it only if this fingerprint is the one your host gives. "
                       "Trusting it lets the password and files go to whoever holds it.")
            .arg(host, problem, fingerprint);
    const int answer =
        Dialogs().askChoice(QStringLiteral("Unverified Certificate"), text,
                            {QStringLiteral("&Trust This Certificate"), QStringLiteral("Cancel")});
    if (answer != 0)
        return false;
    trusted << fingerprint;
    WriteSetting(settingOf(host), trusted.join(u' '));
    return true;
}

bool RememberingHostTrust::trustHostKey(const QString &host, const QString &fingerprint,
                                        const QString &problem)
{
    const QString text = QStringLiteral("%1\n\nHost: %2\nKey fingerprint: %3\n\n"
                                        "Connect only if this fingerprint is the one your host "
                                        "gives. An accepted key is added to known_hosts.")
                             .arg(problem, host, fingerprint);
    const int answer =
        Dialogs().askChoice(QStringLiteral("Unknown Host Key"), text,
                            {QStringLiteral("&Trust This Key"), QStringLiteral("Cancel")});
    return answer == 0;
}
