#include "rtstub/rtstub.hpp"

#include <fmt/format.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace rtstub {

UdpSender::UdpSender()
    : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP))
{
    if (m_fd < 0)
        throw std::runtime_error(fmt::format("rtstub: no UDP socket: {}", std::strerror(errno)));
    // Room for bursts of lines, so that a fast replay loses nothing on the way.
    const int size = 1 << 20;
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

UdpSender::~UdpSender()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void UdpSender::send(std::uint16_t port, std::string_view bytes)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::sendto(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
                 sizeof address) < 0)
        throw std::runtime_error(fmt::format("rtstub: sending {} bytes to port {} failed: {}", bytes.size(), port,
                                             std::strerror(errno)));
}

RtStub::RtStub(std::uint16_t trafficPort, std::uint16_t qnhPort)
    : m_trafficPort(trafficPort), m_qnhPort(qnhPort)
{
}

void RtStub::sendTraffic(std::string_view bytes)
{
    m_sender.send(m_trafficPort, bytes);
}

void RtStub::sendQnh(int hectopascal)
{
    sendWeather(fmt::format("{{\"QNH\": {}}}", hectopascal));
}

void RtStub::sendWeather(std::string_view bytes)
{
    m_sender.send(m_qnhPort, bytes);
}

} // namespace rtstub
