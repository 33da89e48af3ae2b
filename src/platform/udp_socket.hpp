#pragma once
// An IPv4 UDP socket for receiving datagrams. Errors are reported as Windows
// socket error codes so that the program's error texts read the same on every
// platform.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace platform {

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Creates the socket, without address reuse: on Linux a second socket
    // with SO_REUSEADDR could then bind the same port and take every datagram
    // while this one went silent. A closed UDP port binds again at once
    // without it. 0 or the socket error code.
    int open();
    // Binds to 127.0.0.1 or to any address; port 0 picks a free one.
    // 0 or the socket error code.
    int bind(bool loopbackOnly, std::uint16_t port);
    std::uint16_t localPort() const;
    // shutdown() was called since the socket was opened.
    bool isShut() const { return m_shut.load(); }

    struct Received {
        // The datagram's full size, also when it was larger than the buffer
        // (then only the buffer's worth was kept); 0 for an empty datagram or
        // after shutdown(); -1 on error.
        long bytes = -1;
        int error = 0; // socket error code when bytes is -1
    };
    // Blocks until a datagram arrives or shutdown() is called.
    Received receive(char* buffer, std::size_t capacity);

    // Safe from any thread: wakes a receive that blocks now or later. Closing
    // alone does not wake it here, and a closed number may be reused at once.
    void shutdown();
    // By the owning thread only, after its receive has returned.
    void close();

private:
    std::atomic<int> m_fd{-1};
    std::atomic<bool> m_shut{false};
    // Held while the number is shut or closed, so a shutdown from another
    // thread never reaches a number that was closed and handed out again.
    std::mutex m_closeMutex;
};

} // namespace platform
