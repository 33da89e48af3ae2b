#include "platform/stream_socket.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace platform {

namespace {

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

int familyOf(IpFamily family)
{
    return family == IpFamily::V6 ? AF_INET6 : AF_INET;
}

bool fillUnixAddress(const std::filesystem::path& path, sockaddr_un& addr)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.empty() || text.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, text.data(), text.size());
    return true;
}

void closeFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Connects the non-blocking fd within timeout and makes it blocking again.
bool lf_connectWithin(int fd, const sockaddr* address, socklen_t length, std::chrono::milliseconds timeout,
                      std::error_code& ec)
{
    if (::connect(fd, address, length) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            ec = lastError();
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ec = std::make_error_code(std::errc::timed_out);
                return false;
            }
            pollfd p{fd, POLLOUT, 0};
            const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0) {
                ec = lastError();
                return false;
            }
            if (r > 0)
                break;
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
            ec = lastError();
            return false;
        }
        if (error != 0) {
            ec = {error, std::generic_category()};
            return false;
        }
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ec = lastError();
        return false;
    }
    return true;
}

} // namespace

StreamSocket::~StreamSocket()
{
    close();
}

StreamSocket::StreamSocket(StreamSocket&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

StreamSocket& StreamSocket::operator=(StreamSocket&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

StreamSocket StreamSocket::connectTcp(IpFamily family, const std::string& host, const std::string& port,
                                      std::chrono::milliseconds timeout, std::error_code& ec)
{
    addrinfo hints{};
    hints.ai_family = familyOf(family);
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0 || !found) {
        ec = std::make_error_code(std::errc::host_unreachable);
        return {};
    }
    ec = std::make_error_code(std::errc::connection_refused);
    StreamSocket result;
    for (addrinfo* ai = found; ai; ai = ai->ai_next) {
        // Connected without blocking and waited for with a limit: a server
        // whose queue of waiting connections is full drops the handshake, and
        // a blocking connect would then retry for minutes, deaf to any stop.
        int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            ec = lastError();
            continue;
        }
        if (lf_connectWithin(fd, ai->ai_addr, ai->ai_addrlen, timeout, ec)) {
            result = StreamSocket(fd);
            ec.clear();
            break;
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return result;
}

StreamSocket StreamSocket::connectUnix(const std::filesystem::path& path, std::error_code& ec)
{
    sockaddr_un addr;
    if (!fillUnixAddress(path, addr)) {
        ec = std::make_error_code(std::errc::filename_too_long);
        return {};
    }
    // Connected without blocking: a blocking connect to a server whose queue
    // of waiting connections is full (a hung server) would wait for ever,
    // where the caller wants to hear "busy" (EAGAIN) and decide how long to wait.
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ec = lastError();
        return {};
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ec = lastError();
        ::close(fd);
        return {};
    }
    // The stream itself is used with blocking calls.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ec = lastError();
        ::close(fd);
        return {};
    }
    ec.clear();
    return StreamSocket(fd);
}

long StreamSocket::receive(void* buffer, std::size_t size, std::error_code& ec)
{
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, size, 0);
        if (n >= 0) {
            ec.clear();
            return static_cast<long>(n);
        }
        if (errno == EINTR)
            continue;
        ec = lastError();
        return -1;
    }
}

bool StreamSocket::sendAll(const void* data, std::size_t size, std::error_code& ec)
{
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(m_fd, p, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ec = lastError();
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    ec.clear();
    return true;
}

namespace {

// Writes the buffers in order, as few gathered writes as the stream allows;
// without wait it stops where the stream would block. The bytes taken.
std::size_t lf_sendGathered(int fd, std::span<const std::span<const std::uint8_t>> buffers, bool wait,
                            std::error_code& ec)
{
    std::vector<iovec> pieces;
    pieces.reserve(buffers.size());
    for (const auto& b : buffers)
        if (!b.empty())
            pieces.push_back(iovec{const_cast<std::uint8_t*>(b.data()), b.size()});
    ec.clear();
    std::size_t sent = 0;
    std::size_t first = 0;
    while (first < pieces.size()) {
        msghdr message{};
        message.msg_iov = pieces.data() + first;
        message.msg_iovlen = std::min<std::size_t>(pieces.size() - first, IOV_MAX);
        // sendmsg, not writev: only it can be told not to raise SIGPIPE.
        const ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL | (wait ? 0 : MSG_DONTWAIT));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (!wait && (errno == EAGAIN || errno == EWOULDBLOCK))
                return sent;
            ec = lastError();
            return sent;
        }
        sent += static_cast<std::size_t>(n);
        // Whole pieces are done; one taken in part goes on from where it stopped.
        auto taken = static_cast<std::size_t>(n);
        while (first < pieces.size() && taken >= pieces[first].iov_len) {
            taken -= pieces[first].iov_len;
            ++first;
        }
        if (taken > 0) {
            pieces[first].iov_base = static_cast<std::uint8_t*>(pieces[first].iov_base) + taken;
            pieces[first].iov_len -= taken;
        }
    }
    return sent;
}

} // namespace

bool StreamSocket::sendAllGathered(std::span<const std::span<const std::uint8_t>> buffers, std::error_code& ec)
{
    lf_sendGathered(m_fd, buffers, true, ec);
    return !ec;
}

std::size_t StreamSocket::sendGatheredNow(std::span<const std::span<const std::uint8_t>> buffers, std::error_code& ec)
{
    return lf_sendGathered(m_fd, buffers, false, ec);
}

bool StreamSocket::setNoDelay(bool on)
{
    int value = on ? 1 : 0;
    return ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) == 0;
}

void StreamSocket::setAbortiveClose()
{
    linger l{};
    l.l_onoff = 1;
    l.l_linger = 0;
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

void StreamSocket::shutdown()
{
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}

void StreamSocket::shutdownReceive()
{
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RD);
}

void StreamSocket::close()
{
    closeFd(m_fd);
}

StreamListener::~StreamListener()
{
    close();
}

StreamListener::StreamListener(StreamListener&& other) noexcept
    : m_fd(other.m_fd), m_port(other.m_port), m_path(std::move(other.m_path))
{
    other.m_fd = -1;
    other.m_path.clear();
}

StreamListener& StreamListener::operator=(StreamListener&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_port = other.m_port;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
        other.m_path.clear();
    }
    return *this;
}

StreamListener StreamListener::listenTcpLoopback(IpFamily family, std::uint16_t port, std::error_code& ec)
{
    StreamListener result;
    int fd = ::socket(familyOf(family), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        ec = lastError();
        return result;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (family == IpFamily::V6) {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_loopback;
        a->sin6_port = htons(port);
        length = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a->sin_port = htons(port);
        length = sizeof *a;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 || ::listen(fd, 16) != 0) {
        ec = lastError();
        ::close(fd);
        return result;
    }
    length = sizeof storage;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
    result.m_port = ntohs(family == IpFamily::V6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                                                 : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    result.m_fd = fd;
    ec.clear();
    return result;
}

StreamListener StreamListener::listenUnix(const std::filesystem::path& path, std::error_code& ec)
{
    StreamListener result;
    sockaddr_un addr;
    if (!fillUnixAddress(path, addr)) {
        ec = std::make_error_code(std::errc::filename_too_long);
        return result;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ec = lastError();
        return result;
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
        ec = lastError();
        ::close(fd);
        return result;
    }
    result.m_fd = fd;
    result.m_path = path;
    ec.clear();
    return result;
}

StreamSocket StreamListener::accept(std::error_code& ec)
{
    for (;;) {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            ec.clear();
            return StreamSocket(fd);
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        ec = lastError();
        return {};
    }
}

void StreamListener::shutdown()
{
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}

void StreamListener::close()
{
    closeFd(m_fd);
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
        m_path.clear();
    }
}

bool resolvesAsStream(IpFamily family, const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = familyOf(family);
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), "0", &hints, &found);
    if (found)
        ::freeaddrinfo(found);
    return rc == 0;
}

} // namespace platform
