#include "platform/tcp_socket.hpp"

#include "platform/socket_errors.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the events on fd: 1 ready (or hung up: the call that follows
// tells what happened), 0 timed out, -1 failed (errno set). A signal does not
// cut the wait short.
int lf_waitFor(int fd, short events, std::chrono::milliseconds timeout)
{
    const bool forever = timeout.count() < 0;
    const auto deadline = Clock::now() + (forever ? std::chrono::milliseconds(0) : timeout);
    for (;;) {
        int wait = -1;
        if (!forever) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            wait = static_cast<int>(std::max<std::int64_t>(0, left.count()));
        }
        pollfd entry{fd, events, 0};
        const int rc = ::poll(&entry, 1, wait);
        if (rc >= 0)
            return rc > 0 ? 1 : 0;
        if (errno != EINTR)
            return -1;
    }
}

} // namespace

TcpConnection::~TcpConnection()
{
    ::close(m_fd);
}

int TcpConnection::setNoDelay()
{
    // The option value is an int here; a one-byte value is refused with EINVAL.
    const int on = 1;
    return ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0 ? 0 : lastSocketError();
}

int TcpConnection::setSendTimeout(std::chrono::milliseconds timeout)
{
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    return ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0 ? 0 : lastSocketError();
}

TcpConnection::Received TcpConnection::receive(char* buffer, std::size_t capacity,
                                               std::chrono::milliseconds timeout)
{
    const int ready = lf_waitFor(m_fd, POLLIN, timeout);
    if (ready < 0)
        return {-1, lastSocketError()};
    if (ready == 0)
        return {kTimedOut, 0};
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, capacity, 0);
        if (n >= 0)
            return {static_cast<long>(n), 0};
        if (errno != EINTR)
            return {-1, lastSocketError()};
    }
}

int TcpConnection::sendAll(std::string_view bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastSocketError();
        }
        sent += static_cast<std::size_t>(n);
    }
    return 0;
}

void TcpConnection::shutdown()
{
    ::shutdown(m_fd, SHUT_RDWR);
}

struct TcpListener::Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_INET;
    int type = SOCK_STREAM;
    int protocol = IPPROTO_TCP;
};

TcpListener::TcpListener() = default;

TcpListener::~TcpListener()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int TcpListener::resolveLoopback(const std::string& port)
{
    // The resolver here takes a number beyond 65535 modulo 65536 (99999
    // would listen on 34463, where RealTraffic never connects); Windows'
    // refuses it as no such service.
    unsigned long number = 0;
    const char* end = port.data() + port.size();
    const auto [stop, error] = std::from_chars(port.data(), end, number);
    if (!port.empty() && stop == end && (error == std::errc::result_out_of_range || number > 65535))
        return resolverErrorCode(EAI_SERVICE);
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    // RealTraffic connects from this computer, so nothing but the loopback
    // address is served.
    const int rc = ::getaddrinfo("127.0.0.1", port.c_str(), &hints, &found);
    if (rc != 0)
        return resolverErrorCode(rc);
    if (!found)
        return resolverErrorCode(EAI_NONAME);
    auto address = std::make_unique<Address>();
    std::memcpy(&address->storage, found->ai_addr, found->ai_addrlen);
    address->length = found->ai_addrlen;
    address->family = found->ai_family;
    address->type = found->ai_socktype;
    address->protocol = found->ai_protocol;
    ::freeaddrinfo(found);
    m_address = std::move(address);
    return 0;
}

int TcpListener::create()
{
    const int fd = ::socket(m_address->family, m_address->type | SOCK_CLOEXEC, m_address->protocol);
    if (fd < 0)
        return lastSocketError();
    m_fd = fd;
    return 0;
}

int TcpListener::setBlocking()
{
    int off = 0;
    return ::ioctl(m_fd, FIONBIO, &off) == 0 ? 0 : lastSocketError();
}

int TcpListener::setReuseAddress()
{
    const int on = 1;
    return ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 ? 0 : lastSocketError();
}

int TcpListener::bind()
{
    const auto* address = reinterpret_cast<const sockaddr*>(&m_address->storage);
    return ::bind(m_fd, address, m_address->length) == 0 ? 0 : lastSocketError();
}

int TcpListener::listen()
{
    return ::listen(m_fd, SOMAXCONN) == 0 ? 0 : lastSocketError();
}

std::uint16_t TcpListener::port() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

std::shared_ptr<TcpConnection> TcpListener::accept(std::chrono::milliseconds timeout, int& error)
{
    error = 0;
    for (;;) {
        const int ready = lf_waitFor(m_fd, POLLIN, timeout);
        if (ready < 0) {
            error = lastSocketError();
            return nullptr;
        }
        if (ready == 0)
            return nullptr;
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            return std::make_shared<TcpConnection>(fd);
        // A connection reset before it was taken is no failure of the
        // listener: a caller without a limit waits on, one with a limit is
        // told that none came.
        if (errno == EINTR || (errno == ECONNABORTED && timeout.count() < 0))
            continue;
        if (errno == ECONNABORTED)
            return nullptr;
        error = lastSocketError();
        return nullptr;
    }
}

void TcpListener::shutdown()
{
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}

} // namespace platform
