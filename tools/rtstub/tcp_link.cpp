#include "rtstub/tcp_link.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rtstub {

namespace {

// Plain decimal only: a number with an exponent is a bad line, as it would
// be for RealTraffic.
bool lf_parseDouble(std::string_view text, double& value)
{
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
}

void lf_sendAll(int fd, std::string_view bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the connection is gone; the reader will see it
        sent += static_cast<std::size_t>(n);
    }
}

int lf_connect(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::optional<PositionLine> parsePositionLine(std::string_view line)
{
    constexpr std::string_view prefix = "Qs121=";
    if (!line.starts_with(prefix))
        return std::nullopt;
    line.remove_prefix(prefix.size());
    double values[7];
    for (int i = 0; i < 7; ++i) {
        const auto end = line.find(';');
        if ((end == std::string_view::npos) != (i == 6))
            return std::nullopt;
        if (!lf_parseDouble(line.substr(0, end), values[i]))
            return std::nullopt;
        line.remove_prefix(end == std::string_view::npos ? line.size() : end + 1);
    }
    return PositionLine{values[0], values[1], values[2], values[3], values[4], values[5], values[6]};
}

std::optional<std::int64_t> parseTimeLine(std::string_view line)
{
    constexpr std::string_view prefix = "Qs123=";
    if (!line.starts_with(prefix))
        return std::nullopt;
    line.remove_prefix(prefix.size());
    std::int64_t value = 0;
    const auto result = std::from_chars(line.data(), line.data() + line.size(), value);
    if (result.ec != std::errc() || result.ptr != line.data() + line.size())
        return std::nullopt;
    return value;
}

std::string versionReplyText(const TcpOptions& options)
{
    if (options.level < 0)
        return fmt::format("{{\"version\": \"{}\"}}", options.version);
    return fmt::format("{{\"version\": \"{}\", \"level\": {}}}", options.version, options.level);
}

TcpLink::TcpLink(TcpOptions options)
    : m_options(std::move(options)), m_thread([this] { run(); })
{
}

TcpLink::~TcpLink()
{
    stop();
}

void TcpLink::start()
{
    std::lock_guard lock(m_mutex);
    m_wanted = true;
    m_wake.notify_all();
}

void TcpLink::disconnect()
{
    std::lock_guard lock(m_mutex);
    m_wanted = false;
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
    m_wake.notify_all();
}

void TcpLink::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        if (m_fd >= 0)
            ::shutdown(m_fd, SHUT_RDWR);
        m_wake.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

void TcpLink::setReply(VersionReply reply, std::string rawReply)
{
    std::lock_guard lock(m_mutex);
    m_options.reply = reply;
    m_options.rawReply = std::move(rawReply);
}

std::vector<std::string> TcpLink::lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

std::vector<PositionLine> TcpLink::positions() const
{
    std::lock_guard lock(m_mutex);
    return m_positions;
}

std::vector<std::int64_t> TcpLink::times() const
{
    std::lock_guard lock(m_mutex);
    return m_times;
}

int TcpLink::versionQueries() const
{
    std::lock_guard lock(m_mutex);
    return m_versionQueries;
}

int TcpLink::exits() const
{
    std::lock_guard lock(m_mutex);
    return m_exits;
}

std::vector<std::string> TcpLink::badLines() const
{
    std::lock_guard lock(m_mutex);
    return m_badLines;
}

std::string TcpLink::pending() const
{
    std::lock_guard lock(m_mutex);
    return m_pending;
}

bool TcpLink::sleepUnlessAsked(std::chrono::milliseconds pause)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, pause, [this] { return m_stop; });
    return !m_stop;
}

void TcpLink::run()
{
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_wanted; });
            if (m_stop)
                return;
        }
        const int fd = lf_connect(m_options.port);
        if (fd < 0) {
            // RealTraffic keeps trying until the program listens.
            if (!sleepUnlessAsked(m_options.retryInterval))
                return;
            continue;
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_stop || !m_wanted) {
                ::close(fd);
                continue;
            }
            m_fd = fd;
            m_pending.clear();
        }
        m_connections.fetch_add(1);
        m_connected.store(true);
        serve(fd);
        m_connected.store(false);
        {
            std::lock_guard lock(m_mutex);
            m_fd = -1;
        }
        ::close(fd);
        // After the program closed the connection, try again as RealTraffic does.
        if (!sleepUnlessAsked(m_options.retryInterval))
            return;
    }
}

void TcpLink::serve(int fd)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        std::vector<std::string> complete;
        {
            std::lock_guard lock(m_mutex);
            // Only the new bytes (and the one before them) can end a line.
            std::size_t from = m_pending.empty() ? 0 : m_pending.size() - 1;
            m_pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t begin = 0;
            std::size_t end;
            while ((end = m_pending.find("\r\n", std::max(from, begin))) != std::string::npos) {
                complete.push_back(m_pending.substr(begin, end - begin));
                begin = end + 2;
            }
            m_pending.erase(0, begin);
        }
        for (auto& line : complete)
            onLine(fd, std::move(line));
    }
}

void TcpLink::onLine(int fd, std::string line)
{
    bool askedVersion = false;
    {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(line);
        if (line == "Qs999=version") {
            ++m_versionQueries;
            askedVersion = true;
        } else if (line == "exit") {
            ++m_exits;
        } else if (const auto position = parsePositionLine(line)) {
            m_positions.push_back(*position);
        } else if (const auto time = parseTimeLine(line)) {
            m_times.push_back(*time);
        } else {
            m_badLines.push_back(line);
        }
    }
    if (askedVersion)
        answerVersion(fd);
}

void TcpLink::answerVersion(int fd)
{
    TcpOptions options;
    {
        std::lock_guard lock(m_mutex);
        options = m_options;
    }
    const std::string text = versionReplyText(options);
    switch (options.reply) {
    case VersionReply::Whole:
        lf_sendAll(fd, text);
        break;
    case VersionReply::Split:
        lf_sendAll(fd, std::string_view(text).substr(0, text.size() / 2));
        std::this_thread::sleep_for(options.replyDelay);
        lf_sendAll(fd, std::string_view(text).substr(text.size() / 2));
        break;
    case VersionReply::Delayed:
        std::this_thread::sleep_for(options.replyDelay);
        lf_sendAll(fd, text);
        break;
    case VersionReply::None:
        break;
    case VersionReply::Raw:
        lf_sendAll(fd, options.rawReply);
        break;
    }
}

} // namespace rtstub
