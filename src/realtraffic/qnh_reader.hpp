#pragma once
// The QNH reader: RealTraffic's weather datagrams, keeping the current QNH for
// the live traffic and the window.

#include "foundation/log_throttle.hpp"
#include "realtraffic/udp_reader.hpp"

namespace tzo {

class QnhReader : public UdpReader {
public:
    QnhReader();
    int lastQnh() const { return m_lastQnh.load(); }
    void resetLastQnh() { m_lastQnh.store(1013); }

    // For tests: handles a datagram as if it was received.
    void handleDatagramText(std::string_view text);

protected:
    void onDatagram() override;
    void onStop() override;

private:
    void handle(std::string_view text);

    std::atomic<int> m_lastQnh{1013};
    // Lines about bad weather datagrams, held to a budget.
    LogThrottle m_log;
};

} // namespace tzo

// The program's QNH reader.
extern tzo::QnhReader qnhReader;
