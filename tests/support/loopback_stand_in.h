#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <thread>

// A listening socket on 127.0.0.1 at a free port whose first connection a
// test serves in a thread of its own, for server behaviour no real server
// can be made to show (a reply cut into odd lines, a handshake that stalls).
// The connection is closed when `serve` returns; the destructor stops
// listening and waits for the thread. Throws std::runtime_error when it
// cannot listen.
class LoopbackStandIn {
public:
    explicit LoopbackStandIn(std::function<void(int peer)> serve);
    ~LoopbackStandIn();
    LoopbackStandIn(const LoopbackStandIn &) = delete;
    LoopbackStandIn &operator=(const LoopbackStandIn &) = delete;

    quint16 port() const { return m_port; }
    // "127.0.0.1:port", the form the host setting takes.
    QString hostAndPort() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};
