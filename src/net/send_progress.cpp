#include "net/send_progress.h"

#ifdef Q_OS_UNIX
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif
#ifdef Q_OS_LINUX
// The kernel's own header: the C library's tcp_info lacks the newer fields.
#include <linux/sockios.h>
#include <linux/tcp.h>
#elif defined(Q_OS_UNIX)
#include <netinet/tcp.h>
#endif

#include <cstddef>

SendState ReadSendState(qintptr descriptor)
{
    SendState state;
    if (descriptor < 0)
        return state;
#ifdef Q_OS_LINUX
    const int fd = static_cast<int>(descriptor);
    int pending = 0;
    if (::ioctl(fd, SIOCOUTQ, &pending) == 0)
        state.inFlight = pending;
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0) {
        // Older kernels fill a shorter structure.
        if (length >= offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked)
            state.acknowledged = static_cast<qint64>(info.tcpi_bytes_acked);
        if (length >= offsetof(tcp_info, tcpi_snd_wnd) + sizeof info.tcpi_snd_wnd)
            state.peerRoom = info.tcpi_snd_wnd;
    }
#elif defined(Q_OS_UNIX) && defined(FIONWRITE)
    int pending = 0;
    if (::ioctl(static_cast<int>(descriptor), FIONWRITE, &pending) == 0)
        state.inFlight = pending;
#elif defined(Q_OS_UNIX) && defined(TIOCOUTQ)
    int pending = 0;
    if (::ioctl(static_cast<int>(descriptor), TIOCOUTQ, &pending) == 0)
        state.inFlight = pending;
#endif
    return state;
}

bool ProbeWhenIdle(qintptr descriptor)
{
#if defined(Q_OS_LINUX)
    if (descriptor < 0)
        return false;
    const int fd = static_cast<int>(descriptor);
    const int on = 1;
    const int second = 1;
    const int probes = 127; // the connection's fate is the caller's time-out, not this
    return ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
           ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &second, sizeof second) == 0 &&
           ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &second, sizeof second) == 0 &&
           ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0;
#else
    Q_UNUSED(descriptor);
    return false;
#endif
}

void SendWatch::watch(qintptr descriptor)
{
    m_descriptor = descriptor;
    m_last = ReadSendState(descriptor);
}

bool SendWatch::moved()
{
    const SendState now = ReadSendState(m_descriptor);
    const bool moved = now.acknowledged > m_last.acknowledged || now.inFlight < m_last.inFlight ||
                       now.peerRoom > m_last.peerRoom;
    m_last = now;
    return moved;
}
