#pragma once
// The traffic reader: one traffic line per datagram, turned into a filtered
// TrafficRecord on the traffic queue.

#include "foundation/log_throttle.hpp"
#include "realtraffic/traffic_line.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "realtraffic/udp_reader.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace tzo {

class TrafficReader : public UdpReader {
public:
    explicit TrafficReader(TrafficQueue& queue = ::trafficQueue);

    // The timestamp (seconds) of the last line whose timestamp converted; 0
    // until traffic arrives. Start of operations waits for it.
    double timestamp() const { return m_timestamp.load(); }
    void resetTimestamp();

    // Written by the main loop every 5 s. A position that is not finite is
    // logged and the last finite one kept. A traffic range (rangeNm) that is
    // not finite counts as the setting's default.
    void setUserPosition(double latitude, double longitude);
    // Written by the airports when a park airport is read or left.
    void setParkAirport(double latitude, double longitude);
    void setParkAirportElevation(double feet);
    void clearParkAirport();

    // Static parking's renewal: empty the collection and start collecting the
    // callsigns of the aircraft reported in range; later stop and take them.
    // Collecting may go on for hours when nobody takes the collection (a
    // renewal without a park airport that has stands), so it holds at most
    // this many callsigns.
    static constexpr std::size_t kMaxCollectedCallsigns = 4096;
    void startCollecting();
    std::set<std::string> stopCollecting();
    bool collecting() const { return m_collecting.load(); }
    std::set<std::string> collectedCallsigns() const;
    void clearCollected();

    // One traffic line, already split into the fields; the datagram handler
    // calls it for each datagram.
    void processLine(std::string_view line);
    // For tests and the benchmark: handles a datagram as if it was received.
    void handleDatagramText(std::string_view text);

protected:
    void onDatagram() override;
    void onStop() override;

private:
    LineContext context() const;
    void handle(std::string_view text);

    TrafficQueue& m_queue;
    TrafficRecord m_record;
    std::vector<std::string_view> m_fields;
    std::atomic<double> m_timestamp{0};

    mutable std::mutex m_contextMutex;
    LineContext m_context;

    std::atomic<bool> m_collecting{false};
    mutable std::mutex m_collectedMutex;
    std::set<std::string> m_collected;

    // The simulator may answer NaN every 5 s for a while, and the sender of
    // the lines may repeat a bad one for ever: one line at once, then one a
    // minute with the count of those left out.
    LogThrottle m_badPositionLog{1, std::chrono::minutes(1)};
    LogThrottle m_shortLineLog{1, std::chrono::minutes(1)};
    LogThrottle m_implausibleLineLog{1, std::chrono::minutes(1)};
};

} // namespace tzo

// The program's traffic reader.
extern tzo::TrafficReader trafficReader;
