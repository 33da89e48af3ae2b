#include "platform/udp_socket.hpp"

#include "platform/socket_errors.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

sockaddr_in lf_address(bool loopback, std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(loopback ? INADDR_LOOPBACK : INADDR_ANY);
    return address;
}

} // namespace

UdpSocket::~UdpSocket()
{
    close();
}

int UdpSocket::open()
{
    close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0)
        return lastSocketError();
    m_shut.store(false);
    m_fd.store(fd);
    return 0;
}

int UdpSocket::bind(bool loopbackOnly, std::uint16_t port)
{
    const sockaddr_in address = lf_address(loopbackOnly, port);
    if (::bind(m_fd.load(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return lastSocketError();
    return 0;
}

std::uint16_t UdpSocket::localPort() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(m_fd.load(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

UdpSocket::Received UdpSocket::receive(char* buffer, std::size_t capacity)
{
    // MSG_TRUNC makes the kernel answer the datagram's real size, so an
    // oversized datagram is recognised and reported with its size.
    const ssize_t n = ::recvfrom(m_fd.load(), buffer, capacity, MSG_TRUNC, nullptr, nullptr);
    if (n < 0)
        return {-1, lastSocketError()};
    return {static_cast<long>(n), 0};
}

void UdpSocket::shutdown()
{
    m_shut.store(true);
    std::lock_guard lock(m_closeMutex);
    const int fd = m_fd.load();
    // On an unconnected UDP socket this answers ENOTCONN, but it still marks
    // the socket shut and wakes every blocked receive.
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

void UdpSocket::close()
{
    std::lock_guard lock(m_closeMutex);
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
}

} // namespace platform
