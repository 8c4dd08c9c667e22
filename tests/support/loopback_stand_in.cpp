#include "support/loopback_stand_in.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

LoopbackStandIn::LoopbackStandIn(std::function<void(int peer)> serve)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 1) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        if (m_listener >= 0)
            ::close(m_listener);
        throw std::runtime_error("stand-in server cannot listen");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this, serve = std::move(serve)] {
        const int peer = ::accept(m_listener, nullptr, nullptr);
        if (peer < 0)
            return;
        serve(peer);
        ::close(peer);
    });
}

LoopbackStandIn::~LoopbackStandIn()
{
    ::shutdown(m_listener, SHUT_RDWR);
    ::close(m_listener);
    m_thread.join();
}
