#pragma once
// A connected byte stream (TCP or Unix-domain) and a listener for one, as
// plain blocking calls. Callers that must not block run them on their own
// threads; shutdown() wakes a thread blocked in receive() or sendAll(), which
// close() alone does not do here.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>

namespace platform {

enum class IpFamily { V4, V6 };

class StreamSocket {
public:
    StreamSocket() = default;
    explicit StreamSocket(int fd) : m_fd(fd) {}
    ~StreamSocket();
    StreamSocket(StreamSocket&& other) noexcept;
    StreamSocket& operator=(StreamSocket&& other) noexcept;
    StreamSocket(const StreamSocket&) = delete;
    StreamSocket& operator=(const StreamSocket&) = delete;

    // Resolves host (empty: the loopback address of the family) and port for
    // the family only, and connects to the first address that accepts. An
    // address that has not answered within timeout counts as refusing.
    static StreamSocket connectTcp(IpFamily family, const std::string& host, const std::string& port,
                                   std::chrono::milliseconds timeout, std::error_code& ec);
    static StreamSocket connectUnix(const std::filesystem::path& path, std::error_code& ec);

    bool valid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    // Bytes received (> 0), 0 when the peer closed its side, -1 with ec on failure.
    long receive(void* buffer, std::size_t size, std::error_code& ec);
    // Writes everything; false with ec when the stream failed (never raises SIGPIPE).
    bool sendAll(const void* data, std::size_t size, std::error_code& ec);
    // Writes every buffer, in order, as one gathered write (more only when the
    // stream takes part of it); false with ec when the stream failed.
    bool sendAllGathered(std::span<const std::span<const std::uint8_t>> buffers, std::error_code& ec);
    // The same without waiting: the bytes the stream took at once (maybe not
    // all, maybe none); ec is set only when the stream failed.
    std::size_t sendGatheredNow(std::span<const std::span<const std::uint8_t>> buffers, std::error_code& ec);

    bool setNoDelay(bool on);
    // Ends the stream with a reset instead of an orderly close (TCP only; a
    // Unix-domain socket simply closes).
    void setAbortiveClose();
    void shutdown();
    // Wakes a blocked receive() without telling the peer anything yet.
    void shutdownReceive();
    void close();

private:
    int m_fd = -1;
};

class StreamListener {
public:
    StreamListener() = default;
    ~StreamListener();
    StreamListener(StreamListener&& other) noexcept;
    StreamListener& operator=(StreamListener&& other) noexcept;
    StreamListener(const StreamListener&) = delete;
    StreamListener& operator=(const StreamListener&) = delete;

    // Loopback only: 127.0.0.1 or ::1; port 0 takes a free one (see port()).
    static StreamListener listenTcpLoopback(IpFamily family, std::uint16_t port, std::error_code& ec);
    // Replaces a stale socket file left by an earlier process.
    static StreamListener listenUnix(const std::filesystem::path& path, std::error_code& ec);

    bool valid() const { return m_fd >= 0; }
    std::uint16_t port() const { return m_port; }
    const std::filesystem::path& unixPath() const { return m_path; }

    // Blocks for the next connection; an invalid socket once shutdown() was called.
    StreamSocket accept(std::error_code& ec);
    void shutdown();
    void close();

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::filesystem::path m_path;
};

// Whether the name resolves to a TCP stream endpoint of the family.
bool resolvesAsStream(IpFamily family, const std::string& host);

} // namespace platform
