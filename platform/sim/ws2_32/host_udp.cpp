// Host sockets for the simulated Winsock: every one is bound to 127.0.0.1, so nothing the machine
// sends leaves the host and parallel test runs never share a port.
#include "ws2_32/host_udp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim::detail::host
{
namespace
{
// Winsock's codes for what the host reports.
long WinsockError(int e)
{
    switch (e)
    {
    case EADDRINUSE:
        return 10048; // WSAEADDRINUSE
    case EACCES:
        return 10013; // WSAEACCES
    case EMFILE:
    case ENFILE:
        return 10024; // WSAEMFILE
    case EMSGSIZE:
        return 10040; // WSAEMSGSIZE
    case ENOBUFS:
    case ENOMEM:
        return 10055; // WSAENOBUFS
    default:
        return 10050; // WSAENETDOWN
    }
}

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}
} // namespace

int OpenUdp(std::uint16_t port, long* error)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
    {
        *error = WinsockError(errno);
        return -1;
    }
    sockaddr_in a = Loopback(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    {
        *error = WinsockError(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

std::uint16_t LocalPort(int fd)
{
    sockaddr_in a{};
    socklen_t length = sizeof a;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0)
        return 0;
    return ntohs(a.sin_port);
}

bool SendTo(int fd, std::uint16_t port, std::span<const std::uint8_t> bytes, long* error)
{
    sockaddr_in a = Loopback(port);
    ssize_t sent;
    do
        sent = ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    while (sent < 0 && errno == EINTR);
    if (sent < 0)
    {
        *error = WinsockError(errno);
        return false;
    }
    return true;
}

std::optional<Datagram> Receive(int fd, int waitMs)
{
    pollfd p{fd, POLLIN, 0};
    int ready;
    do
        ready = ::poll(&p, 1, waitMs);
    while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return std::nullopt;
    Datagram d;
    d.bytes.resize(65536);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    ssize_t n = ::recvfrom(fd, d.bytes.data(), d.bytes.size(), MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0)
        return std::nullopt;
    d.bytes.resize(static_cast<std::size_t>(n));
    d.fromPort = ntohs(from.sin_port);
    return d;
}

void Close(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

} // namespace sim::detail::host
