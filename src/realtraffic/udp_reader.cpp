#include "realtraffic/udp_reader.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/number_text.hpp"
#include "platform/socket_errors.hpp"
#include "realtraffic/link_state.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace tzo {

namespace {

// A receive error that repeats (a broken network stack, a socket shut by
// someone else) must not turn the reader into a busy loop.
constexpr auto kFirstBackOff = std::chrono::milliseconds(5);
constexpr auto kLongestBackOff = std::chrono::milliseconds(1000);
constexpr unsigned kFailuresBeforeBackOff = 2;

} // namespace

UdpReader::UdpReader(std::string name)
    : m_name(std::move(name))
{
}

UdpReader::~UdpReader() = default;

void UdpReader::open()
{
    // Winsock needs starting on Windows; the platform layer has nothing to start here.
    if (const int error = m_socket.open(); error != 0)
        throw SysErrorException(31, fmt::format("failed to create the socket with error: {}",
                                                gf_socketErrorText(error)));
}

void UdpReader::bind(std::uint16_t port)
{
    if (const int error = m_socket.bind(rtOnThisPc.load(), port); error != 0) {
        // The reader's report adds the port; the text is the system's own,
        // which a user of this system can look up.
        const std::string cause = platform::socketErrorSystemText(error);
        {
            std::lock_guard lock(m_bindFailureMutex);
            m_bindFailure = cause;
        }
        throw SysErrorException(32, fmt::format("bind of the datagram socket failed with error: {}", cause));
    }
    {
        std::lock_guard lock(m_bindFailureMutex);
        m_bindFailure.clear();
    }
    m_boundPort.store(m_socket.localPort());
}

std::string UdpReader::bindFailure() const
{
    std::lock_guard lock(m_bindFailureMutex);
    return m_bindFailure;
}

void UdpReader::stop()
{
    m_stop.store(true);
    m_socket.shutdown();
}

void UdpReader::closeSocket()
{
    m_boundPort.store(0);
    m_socket.close();
}

void UdpReader::backOff(unsigned failures)
{
    if (failures < kFailuresBeforeBackOff)
        return;
    const unsigned doublings = std::min(failures - kFailuresBeforeBackOff, 8u);
    const auto pause = std::min<std::chrono::milliseconds>(kFirstBackOff * (1u << doublings), kLongestBackOff);
    std::this_thread::sleep_for(pause);
}

void UdpReader::receiveLoop()
{
    const bool onThisPc = rtOnThisPc.load();
    unsigned failures = 0;
    // The first datagram tells that the feed flows: shown at once, not at
    // the next alive check.
    bool firstDatagram = true;
    // A shut socket ends the loop too: a restart clears the stop flag, and an
    // old loop must not live on, receiving nothing from a dead socket.
    while (!m_stop.load() && !m_socket.isShut()) {
        const auto received = m_socket.receive(m_buffer, kBufferSize);
        const long n = received.bytes;
        if (n == 0) {
            // An empty datagram (or the socket was shut, which the loop's
            // test sees): nothing to pass on, but no receive error either, so
            // a stream of them must not send the reader to sleep.
            failures = 0;
            continue;
        }
        if (n < 0) {
            if (!m_stop.load() && !m_socket.isShut())
                backOff(++failures);
            continue;
        }
        failures = 0;
        if (n >= static_cast<long>(kBufferSize)) {
            m_badDatagramLog.log(fmt::format("buffer overrun: {} bytes", n));
            continue;
        }
        m_buffer[n] = 0;
        const void* nul = std::memchr(m_buffer, 0, static_cast<std::size_t>(n));
        const std::size_t length =
            nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - m_buffer) : static_cast<std::size_t>(n);
        m_datagram = std::string_view(m_buffer, length);
        m_datagramCount.fetch_add(1);
        if (!onThisPc) {
            // From another computer RealTraffic's datagrams may arrive twice
            // (broadcast on more than one interface).
            if (m_datagram == m_previous)
                continue;
            m_previous.assign(m_datagram);
        }
        onDatagram();
        // After the datagram's own work: the repaint shows what it changed.
        if (firstDatagram) {
            firstDatagram = false;
            gf_repaintLinkState();
        }
    }
    m_datagram = {};
    closeSocket();
    onStop();
}

bool UdpReader::checkAlive(std::atomic<int>& state)
{
    const std::uint32_t count = m_datagramCount.load();
    bool changed = false;
    if (count == m_countAtLastCheck) {
        state.store(kReaderSilent);
        m_aliveLatch = false;
        changed = true;
    } else if (!m_aliveLatch) {
        m_aliveLatch = true;
        state.store(kReaderReceiving);
        changed = true;
    }
    m_countAtLastCheck = count;
    return changed;
}

void UdpReader::resetCounters()
{
    m_datagramCount.store(0);
    m_countAtLastCheck = 0;
}

} // namespace tzo
