#include "realtraffic/traffic_reader.hpp"

#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "realtraffic/link_state.hpp"

#include <fmt/format.h>

#include <chrono>
#include <cmath>
#include <exception>

tzo::TrafficReader trafficReader;

namespace tzo {

namespace {

constexpr std::size_t kLoggedLineLength = 160;

} // namespace

TrafficReader::TrafficReader(TrafficQueue& queue)
    : UdpReader("Traffic Reader"), m_queue(queue)
{
    m_fields.reserve(64);
}

void TrafficReader::resetTimestamp()
{
    m_timestamp.store(0);
}

void TrafficReader::setUserPosition(double latitude, double longitude)
{
    // Distances from a NaN position compare false with every range, so every
    // aircraft would pass the range test: such a position is not taken.
    if (!std::isfinite(latitude) || !std::isfinite(longitude)) {
        m_badPositionLog.log(
            fmt::format("user position {},{} is no number: the last one is kept", latitude, longitude));
        return;
    }
    std::lock_guard lock(m_contextMutex);
    m_context.userLatitude = latitude;
    m_context.userLongitude = longitude;
}

void TrafficReader::setParkAirport(double latitude, double longitude)
{
    std::lock_guard lock(m_contextMutex);
    m_context.parkAirportSet = true;
    m_context.parkLatitude = latitude;
    m_context.parkLongitude = longitude;
}

void TrafficReader::setParkAirportElevation(double feet)
{
    std::lock_guard lock(m_contextMutex);
    m_context.elevationKnown = true;
    m_context.elevationFt = feet;
}

void TrafficReader::clearParkAirport()
{
    std::lock_guard lock(m_contextMutex);
    m_context.parkAirportSet = false;
    m_context.parkLatitude = m_context.parkLongitude = 0;
    m_context.elevationKnown = false;
    m_context.elevationFt = 0;
}

LineContext TrafficReader::context() const
{
    LineContext copy;
    {
        std::lock_guard lock(m_contextMutex);
        copy = m_context;
    }
    const double range = rangeNm.load();
    copy.rangeNm = std::isfinite(range) ? range : static_cast<double>(LATERAL_RANGE.defaultValue());
    return copy;
}

void TrafficReader::startCollecting()
{
    std::lock_guard lock(m_collectedMutex);
    m_collected.clear();
    m_collecting.store(true);
}

std::set<std::string> TrafficReader::stopCollecting()
{
    std::lock_guard lock(m_collectedMutex);
    m_collecting.store(false);
    std::set<std::string> taken;
    taken.swap(m_collected);
    return taken;
}

std::set<std::string> TrafficReader::collectedCallsigns() const
{
    std::lock_guard lock(m_collectedMutex);
    return m_collected;
}

void TrafficReader::clearCollected()
{
    std::lock_guard lock(m_collectedMutex);
    m_collected.clear();
}

void TrafficReader::onDatagram()
{
    handle(datagram());
}

void TrafficReader::handleDatagramText(std::string_view text)
{
    handle(text);
}

void TrafficReader::handle(std::string_view text)
{
    // Ground vehicles are reported with " VEH" in the line.
    if (text.find(" VEH") != std::string_view::npos)
        return;
    gf_splitTrafficFields(text, m_fields);
    processLine(text);
}

void TrafficReader::processLine(std::string_view line)
{
    try {
        const LineResult result = gf_parseTrafficLine(m_fields, context(), m_record);
        // A line whose timestamp does not convert keeps the last good one.
        if (m_record.timestamp != 0)
            m_timestamp.store(m_record.timestamp);

        // Logged, but a flood of broken datagrams must not fill the disk; the
        // sender's bytes stay on the one log line, cut short.
        if (result.verdict == LineVerdict::tooFewFields) {
            m_shortLineLog.log(fmt::format("traffic line with {} fields dropped: {}", m_fields.size(),
                                           gf_loggedExcerpt(line, kLoggedLineLength)));
            return;
        }
        if (result.implausibleField != nullptr)
            m_implausibleLineLog.log(fmt::format("traffic line with an implausible {} dropped: {}",
                                                 result.implausibleField, gf_loggedExcerpt(line, kLoggedLineLength)));

        if (result.inRange && m_collecting.load()) {
            const std::string callsign = gf_collectableCallsign(m_fields);
            if (!callsign.empty()) {
                std::lock_guard lock(m_collectedMutex);
                if (m_collecting.load() && m_collected.size() < kMaxCollectedCallsigns)
                    m_collected.emplace(callsign);
            }
        }

        if (result.verdict == LineVerdict::accepted)
            m_queue.push(m_record);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("exception in processLine: {}", e.what()));
    }
}

void TrafficReader::onStop()
{
    trafficReaderState.store(kReaderStopped);
    gf_repaintLinkState();
    gf_logLine("Traffic Reader has stopped");
}

} // namespace tzo
