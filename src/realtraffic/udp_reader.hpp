#pragma once
// The common machinery of RealTraffic's two UDP readers: a socket bound to a
// port, a receive loop on a thread of its own, and the alive check the main
// loop runs on both readers.

#include "platform/udp_socket.hpp"
#include "foundation/log_throttle.hpp"

#include <atomic>
#include <mutex>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tzo {

class UdpReader {
public:
    static constexpr std::size_t kBufferSize = 16384;

    // name: "Traffic Reader" or "QNH Reader", as the log shows it.
    explicit UdpReader(std::string name);
    virtual ~UdpReader();
    UdpReader(const UdpReader&) = delete;
    UdpReader& operator=(const UdpReader&) = delete;

    // Throws tzo::SysErrorException 30 or 31.
    void open();
    // To 127.0.0.1 while RealTraffic runs on this computer, else to any
    // address. Port 0 picks a free port (tests). Throws SysErrorException 32.
    void bind(std::uint16_t port);
    // Receives until stop(); then closes the socket and calls onStop.
    void receiveLoop();

    // From any thread (the exit thread): the loop ends at once, also when it
    // blocks in a receive.
    void stop();
    // Closes the socket if it is open (the receive loop does it itself).
    void closeSocket();
    void clearStop() { m_stop.store(false); }
    bool stopRequested() const { return m_stop.load(); }

    const std::string& name() const { return m_name; }
    // The bound port; 0 until bound and after the socket is closed.
    std::uint16_t boundPort() const { return m_boundPort.load(); }
    // The system's words for the last failed bind; empty when none failed.
    std::string bindFailure() const;
    std::uint32_t datagramCount() const { return m_datagramCount.load(); }

    // The alive check on the main-loop thread: the state becomes silent when
    // nothing arrived since the last check and receiving again when datagrams
    // come back. True when the state changed.
    bool checkAlive(std::atomic<int>& state);
    void resetCounters();
    void setAliveLatch() { m_aliveLatch = true; }

protected:
    // The datagram just received, valid during onDatagram.
    std::string_view datagram() const { return m_datagram; }
    virtual void onDatagram() = 0;
    virtual void onStop() = 0;

private:
    void backOff(unsigned failures);

    std::string m_name;
    std::string_view m_datagram;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint32_t> m_datagramCount{0};
    std::uint32_t m_countAtLastCheck = 0;
    bool m_aliveLatch = true;
    char m_buffer[kBufferSize]{};
    std::string m_previous;
    platform::UdpSocket m_socket;
    std::atomic<std::uint16_t> m_boundPort{0};
    mutable std::mutex m_bindFailureMutex;
    std::string m_bindFailure;
    // Oversized datagrams are logged within a budget: a flood of them must
    // not flood the log.
    LogThrottle m_badDatagramLog;
};

} // namespace tzo
