#pragma once
// A TCP server socket made step by step (each step answers its own socket
// error code, so that the caller can say which one failed) and the connections
// it accepts. Errors are Windows socket codes (platform/socket_errors.hpp).
//
// Several threads may use one socket: a blocked accept or receive on one
// thread, a send on another, a close from a third. shutdown() wakes the
// blocked calls; the descriptor itself is closed only by the destructor, so
// holders share a socket through std::shared_ptr and the number can never be
// reused while a thread still calls into it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class TcpConnection {
public:
    explicit TcpConnection(int fd) : m_fd(fd) {}
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // TCP_NODELAY on; 0 or the socket error code.
    int setNoDelay();
    // A send that cannot go on for this long fails (a peer that stopped reading
    // must not hold the sender for ever); 0 or the socket error code.
    int setSendTimeout(std::chrono::milliseconds timeout);

    struct Received {
        long bytes = 0;   // > 0 bytes read, 0 closed by the peer (or shut), -1 error, -2 timed out
        int error = 0;    // socket error code when bytes is -1
    };
    static constexpr long kTimedOut = -2;
    // Waits at most timeout for data (negative: without limit), then one receive.
    Received receive(char* buffer, std::size_t capacity, std::chrono::milliseconds timeout);

    // Writes everything, going on after partial writes; never raises SIGPIPE.
    // 0 or the socket error code.
    int sendAll(std::string_view bytes);

    // Safe from any thread; wakes blocked calls, and the peer sees the end.
    void shutdown();

private:
    int m_fd;
};

class TcpListener {
public:
    TcpListener();
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // The steps in their order; each answers 0 or the socket error code.
    // resolveLoopback answers the resolver's code (the Windows code of EAI_...).
    int resolveLoopback(const std::string& port);
    int create();
    int setBlocking();
    int setReuseAddress();
    int bind();
    int listen();

    // The bound port (after bind), 0 when unknown.
    std::uint16_t port() const;

    // Waits at most timeout for a connection (negative: without limit) and
    // accepts it; null with error 0 when none came in time, null with the
    // socket error code when the accept failed or the listener was shut.
    std::shared_ptr<TcpConnection> accept(std::chrono::milliseconds timeout, int& error);

    // Safe from any thread; wakes a blocked accept.
    void shutdown();

private:
    int m_fd = -1;
    struct Address;
    std::unique_ptr<Address> m_address;
};

} // namespace platform
