#pragma once

#include "support/pure_ftpd_server.h"

// proftpd standalone in the foreground, configured by a file of its own in
// the work folder (pid file, scoreboard, logs all there). With a certificate
// (an EC key, as the tests make them) mod_tls is loaded and TLS required on
// the control and the data connections, with proftpd's default options: a
// data connection must resume the control connection's TLS session.
class ProftpdTestServer final : public RealFtpTestServer {
public:
    static QString unavailableReason();

    // `home` is made the user's home; `work` holds the configuration, the user
    // file and the logs. Throws std::runtime_error when it cannot start.
    ProftpdTestServer(const QString &home, const QString &work, const QString &certificate,
                      const QString &key);
};
