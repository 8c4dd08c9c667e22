#pragma once

#include "foundation/host_trust.h"

#include <QStringList>

// The window's answer to servers it cannot verify: asks the user once, with
// the fingerprint to compare against what the host's owner publishes, and
// keeps an accepted certificate per host in the user's settings so the next
// publish goes on without asking. SSH host keys are remembered by the SSH
// client in known_hosts; only the question is asked here.
class RememberingHostTrust final : public HostTrust {
public:
    bool trustCertificate(const QString &host, const QString &fingerprint,
                          const QString &problem) override;
    bool trustHostKey(const QString &host, const QString &fingerprint,
                      const QString &problem) override;

    // Certificate fingerprints the user accepted for `host`, oldest first.
    static QStringList trustedCertificates(const QString &host);
};
