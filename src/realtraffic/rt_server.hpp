#pragma once
// The TCP server that RealTraffic connects to when it runs on this computer:
// one listening socket on the loopback address, one client at a time, lines of
// text both ways. The messages themselves are in rt_messages.hpp.
//
// Threads: the start-up thread creates the server and waits for the first
// client, the main loop sends and re-accepts, the exit thread closes. Each
// socket is held through a shared pointer taken under one mutex, so a close on
// one thread wakes a blocked call on another and the descriptor is closed
// exactly once, after the last user has let go.

#include "foundation/exceptions.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// A client is accepted and its socket usable.
extern std::atomic<bool> rtConnected;

namespace tzo {

// A send that cannot go on for this long counts as RealTraffic gone.
inline constexpr std::chrono::milliseconds kRealTrafficSendTimeout{5000};

// createServer's failure to bind (code 5): the port and the system's own words
// for why, which the one line about a port in use names.
class ServerBindError : public SysErrorException {
public:
    ServerBindError(const std::string& port, const std::string& cause);
    const std::string& port() const noexcept { return m_port; }
    const std::string& cause() const noexcept { return m_cause; }

private:
    std::string m_port;
    std::string m_cause;
};

// Creates the listening socket on 127.0.0.1 at the port text (the PORT_NUMBER
// setting; "0" takes a free port, see serverPort). Throws
// tzo::SysErrorException with codes 1 to 6 naming the step that failed. A
// server left from before is closed first.
void createServer(const std::string& port);

// The PORT_NUMBER setting as the port text createServer takes: a whole
// number from 1 to 65535 once blanks around it are trimmed. Anything else
// ("0" would listen where RealTraffic never looks, " 99999" and "+1" would
// reach the resolver) throws tzo::UserErrorException 44 naming the value.
std::string gf_listeningPortText(std::string_view setting);

// The port the server listens on; 0 when it does not listen.
std::uint16_t serverPort();
bool serverListening();

// Blocks until RealTraffic connects; true when a client is now connected.
// False at once while a client is connected, and when the server is closed
// meanwhile.
bool waitForClient();
// The same, waiting at most timeout; zero only checks for a waiting client.
bool waitForClient(std::chrono::milliseconds timeout);

// One receive of up to 8192 bytes, waiting at most timeout for them: empty
// text when none came; closed when the client closed, the receive failed
// (logged) or there is no client.
struct Reply {
    std::string text;
    bool closed = false;
};
Reply receiveReply(std::chrono::milliseconds timeout);

// Sends the whole text; false when there is no client or the connection is
// lost, in which case the client is dropped and rtConnected cleared.
bool sendDataPacket(std::string_view text);

// Lets the client go without a word (it turned out not to be RealTraffic);
// rtConnected is cleared and the next waiting connection may be accepted.
void dropClient();

// Says "exit" to a connected client and closes both sockets. Safe to call
// again and from any thread.
void closeServer();

} // namespace tzo
