#pragma once

#include <QString>
#include <QtGlobal>

// Where a publishing server listens, read from the project's host setting.
struct RemoteEndpoint {
    QString host;
    quint16 port = 0;

    // "host:port", as the errors and notes name the server.
    QString name() const { return QStringLiteral("%1:%2").arg(host).arg(port); }
    // The server runs on this machine: "localhost" or a loopback address
    // (looked at as written; nothing is resolved).
    bool onThisMachine() const;
};

// How many sessions a run opens to `endpoint` when `wanted` are asked for.
// A server on this machine shares its processors with the sessions and
// there is no network wait to hide: past one session per processor they
// only take turns, so it gets at most `processors` (and at least one).
int SessionsFor(const RemoteEndpoint &endpoint, int wanted, int processors);

// "host", "host:port", "[v6]" or "[v6]:port"; `defaultPort` without a port.
// Throws AppError naming `protocol` ("FTP", "SFTP") and the setting when the
// host is empty or the port is not one.
RemoteEndpoint ParseRemoteHost(const QString &text, quint16 defaultPort, const QString &protocol);
