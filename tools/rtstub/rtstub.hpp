#pragma once
// The RealTraffic stand-in's UDP side: traffic lines and QNH datagrams sent to
// the program's two ports on 127.0.0.1.

#include "rtstub/traffic_line_builder.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace rtstub {

class UdpSender {
public:
    UdpSender();
    ~UdpSender();
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    // One datagram to 127.0.0.1:port; throws std::runtime_error when it cannot
    // be sent.
    void send(std::uint16_t port, std::string_view bytes);

private:
    int m_fd = -1;
};

class RtStub {
public:
    RtStub(std::uint16_t trafficPort, std::uint16_t qnhPort);

    void sendTrafficLine(const TrafficLine& line) { sendTraffic(line.text()); }
    // Any bytes, one datagram, to the traffic port.
    void sendTraffic(std::string_view bytes);
    // {"QNH": hPa}.
    void sendQnh(int hectopascal);
    // Any bytes, one datagram, to the QNH port.
    void sendWeather(std::string_view bytes);

    std::uint16_t trafficPort() const { return m_trafficPort; }
    std::uint16_t qnhPort() const { return m_qnhPort; }

private:
    UdpSender m_sender;
    std::uint16_t m_trafficPort;
    std::uint16_t m_qnhPort;
};

} // namespace rtstub
