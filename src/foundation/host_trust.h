#pragma once

#include <QString>

// Asks the user whether to trust a server whose identity the system cannot
// vouch for: a TLS certificate the system's store does not verify, or an SSH
// host key that known_hosts does not hold. The network layer asks; the window
// answers with a dialog, tests with a script. Remembering an accepted answer is
// the caller's business for certificates (per host, in the settings) and the
// SSH client's for host keys (in known_hosts).
class HostTrust {
public:
    virtual ~HostTrust() = default;

    // `fingerprint` is the SHA-256 of the certificate in colon-separated hex;
    // `problem` says in words why it was not verified. True trusts it.
    virtual bool trustCertificate(const QString &host, const QString &fingerprint,
                                  const QString &problem) = 0;
    // `fingerprint` is the key's SHA-256 as ssh prints it ("SHA256:...");
    // `problem` says why it is asked; only a key known_hosts does not hold is
    // asked about (a changed key is refused without a question).
    virtual bool trustHostKey(const QString &host, const QString &fingerprint,
                              const QString &problem) = 0;
};
