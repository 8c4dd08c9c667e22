#pragma once

#include <QtGlobal>

// What the system knows of a TCP connection's sending side. A slow peer and
// a silent one look alike to the application once its bytes sit in kernel
// buffers; these counters tell them apart.
struct SendState {
    qint64 acknowledged = -1; // bytes the peer acknowledged in all; -1 when unknown
    qint64 inFlight = 0;      // handed to the system, not acknowledged yet; 0 when unknown
    qint64 peerRoom = -1;     // receive window the peer last advertised; -1 when unknown
};

// Reads the state of the connection behind `descriptor`; fields the system
// does not tell keep their "unknown" values.
SendState ReadSendState(qintptr descriptor);

// Asks the system to probe the connection after one idle second, every
// second: each probe's answer carries the peer's current window, so a peer
// that is still draining what it acknowledged shows up as growing room.
// False where that cannot be set.
bool ProbeWhenIdle(qintptr descriptor);

// Follows one connection: moved() is true when, since its last call, the
// peer acknowledged more, fewer bytes wait for it, or it advertised more
// room (it read from its buffer).
class SendWatch {
public:
    explicit SendWatch(qintptr descriptor = -1) { watch(descriptor); }
    void watch(qintptr descriptor);
    bool moved();

private:
    qintptr m_descriptor = -1;
    SendState m_last;
};
