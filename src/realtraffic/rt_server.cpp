#include "realtraffic/rt_server.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/log_throttle.hpp"
#include "foundation/number_text.hpp"
#include "foundation/paths.hpp"
#include "foundation/strings.hpp"
#include "foundation/time.hpp"
#include "platform/socket_errors.hpp"
#include "platform/tcp_socket.hpp"

#include <fmt/format.h>

#include <array>
#include <charconv>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

std::atomic<bool> rtConnected{false};

namespace tzo {

namespace {

constexpr std::size_t kReceiveBufferSize = 16384;
constexpr std::size_t kReceiveChunk = 8192;

// Guards the two socket pointers; never held across a blocking call.
std::mutex g_socketMutex;
std::shared_ptr<platform::TcpListener> rtListenSocket;
std::shared_ptr<platform::TcpConnection> rtClientSocket;
// Keeps the lines of two senders (main loop and exit thread) whole.
std::mutex g_sendMutex;
// Connections that fail are outside input: any program on this computer may
// open and drop them by the thousand. A failed send writes two lines.
LogThrottle g_failureLog{2, std::chrono::minutes(1)};

std::shared_ptr<platform::TcpListener> lf_listener()
{
    std::lock_guard lock(g_socketMutex);
    return rtListenSocket;
}

std::shared_ptr<platform::TcpConnection> lf_client()
{
    std::lock_guard lock(g_socketMutex);
    return rtClientSocket;
}

// Drops the client when it is still the current one; true when this call did.
bool lf_dropClient(const std::shared_ptr<platform::TcpConnection>& client)
{
    {
        std::lock_guard lock(g_socketMutex);
        if (rtClientSocket != client)
            return false;
        rtConnected.store(false);
        rtClientSocket.reset();
    }
    client->shutdown();
    return true;
}

[[noreturn]] void lf_fail(unsigned code, const std::string& text)
{
    throw SysErrorException(code, text);
}

} // namespace

ServerBindError::ServerBindError(const std::string& port, const std::string& cause)
    : SysErrorException(5, "Bind failed at port " + port + " with error " + cause), m_port(port), m_cause(cause)
{
}

std::string gf_listeningPortText(std::string_view setting)
{
    const std::string text(gf_trim(setting));
    unsigned number = 0;
    const char* end = text.data() + text.size();
    // from_chars takes digits only: no sign, no blank, no other base.
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || stop != end || error != std::errc() || number < 1 || number > 65535)
        throw UserErrorException(44, fmt::format("PORT_NUMBER \"{}\" is no port: it must be a whole number from 1 to "
                                                 "65535 (in {})",
                                                 gf_loggedExcerpt(setting, 40), g_parametersPath));
    return std::to_string(number);
}

void createServer(const std::string& port)
{
    closeServer();
    g_failureLog.reset();
    auto listener = std::make_shared<platform::TcpListener>();
    // Winsock needs starting on Windows (step 0); nothing to start here.
    if (const int rc = listener->resolveLoopback(port); rc != 0)
        lf_fail(1, fmt::format("getaddrinfo failed with error {}", rc));
    if (const int rc = listener->create(); rc != 0)
        lf_fail(2, "socket failed with error " + gf_socketErrorText(rc));
    if (const int rc = listener->setBlocking(); rc != 0)
        lf_fail(3, "ioctlsocket failed with error " + gf_socketErrorText(rc));
    if (listener->setReuseAddress() != 0)
        lf_fail(4, "setsockopt(SO_REUSEADDR) failed");
    if (const int rc = listener->bind(); rc != 0)
        // The system's words, not the Windows number: a user of this system
        // looks those up.
        throw ServerBindError(port, platform::socketErrorSystemText(rc));
    if (const int rc = listener->listen(); rc != 0)
        lf_fail(6, "listen failed with error " + gf_socketErrorText(rc));
    std::lock_guard lock(g_socketMutex);
    rtListenSocket = std::move(listener);
}

std::uint16_t serverPort()
{
    const auto listener = lf_listener();
    return listener ? listener->port() : 0;
}

bool serverListening()
{
    return lf_listener() != nullptr;
}

bool waitForClient()
{
    return waitForClient(std::chrono::milliseconds(-1));
}

bool waitForClient(std::chrono::milliseconds timeout)
{
    if (rtConnected.load())
        return false;
    const auto listener = lf_listener();
    if (!listener)
        return false;
    int error = 0;
    const auto client = listener->accept(timeout, error);
    if (!client)
        return false;
    if (const int rc = client->setNoDelay(); rc != 0) {
        try {
            throw SysErrorException(7, fmt::format("{} setsockopt failed with error {}", gf_nowUtcText(),
                                                   gf_socketErrorText(rc)));
        } catch (const SysErrorException& e) {
            g_failureLog.log(fmt::format("waitForClient interrupted: {}", e.what()));
        }
        // Not kept: a client that is not served must not stay half open.
        client->shutdown();
        return false;
    }
    client->setSendTimeout(kRealTrafficSendTimeout);
    std::shared_ptr<platform::TcpConnection> stale;
    {
        std::lock_guard lock(g_socketMutex);
        if (rtListenSocket != listener) {
            // The server was closed while we accepted.
            client->shutdown();
            return false;
        }
        stale = std::exchange(rtClientSocket, client);
        rtConnected.store(true);
    }
    if (stale)
        stale->shutdown();
    return true;
}

Reply receiveReply(std::chrono::milliseconds timeout)
{
    const auto client = lf_client();
    if (!client)
        return {{}, true};
    std::array<char, kReceiveBufferSize> buffer;
    const auto received = client->receive(buffer.data(), kReceiveChunk, timeout);
    if (received.bytes == -1) {
        g_failureLog.log(fmt::format("receive: {}", gf_socketErrorText(received.error)));
        return {{}, true};
    }
    if (received.bytes == 0)
        return {{}, true};
    if (received.bytes < 0)
        return {}; // timed out
    const auto count = static_cast<std::size_t>(received.bytes);
    // The text ends at the first zero byte, as a C string would.
    const void* zero = std::memchr(buffer.data(), 0, count);
    return {std::string(buffer.data(), zero ? static_cast<const char*>(zero) - buffer.data() : count), false};
}

bool sendDataPacket(std::string_view text)
{
    const auto client = lf_client();
    if (!client)
        return false;
    int rc = 0;
    {
        std::lock_guard lock(g_sendMutex);
        rc = client->sendAll(text);
    }
    if (rc == 0)
        return true;
    g_failureLog.log(fmt::format("sendDataPacket to RealTraffic failed: {}", gf_socketErrorText(rc)));
    if (lf_dropClient(client))
        g_failureLog.log("RealTraffic client socket closed");
    return false;
}

void dropClient()
{
    if (const auto client = lf_client())
        lf_dropClient(client);
}

void closeServer()
{
    if (rtConnected.load())
        sendDataPacket("exit\r\n");
    std::shared_ptr<platform::TcpListener> listener;
    std::shared_ptr<platform::TcpConnection> client;
    {
        std::lock_guard lock(g_socketMutex);
        listener = std::move(rtListenSocket);
        client = std::move(rtClientSocket);
        rtListenSocket.reset();
        rtClientSocket.reset();
        rtConnected.store(false);
    }
    // Wakes a thread blocked in accept or receive; the descriptors close when
    // the last holder lets go of them.
    if (listener)
        listener->shutdown();
    if (client)
        client->shutdown();
}

} // namespace tzo
