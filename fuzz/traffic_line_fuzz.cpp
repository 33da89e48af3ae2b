// Bytes in as one traffic datagram: split, parse, filter, queue. Nothing may
// crash, read out of bounds or overflow, and no record that gets through
// holds a number that is not finite or lies beyond what any aircraft reports.

#include "foundation/run_state.hpp"
#include "realtraffic/traffic_line.hpp"
#include "realtraffic/traffic_reader.hpp"

#include <cstddef>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string_view>
#include <vector>

namespace {

// The bounds written out here rather than taken from the program, so that
// loosening the program's bounds is a finding too.
bool lf_within(double value, double low, double high)
{
    return std::isfinite(value) && value >= low && value <= high;
}

void lf_trapUnlessSane(const tzo::TrafficRecord& r)
{
    constexpr double kPi = std::numbers::pi;
    const bool sane = lf_within(r.latitude, -90.0, 90.0) && lf_within(r.longitude, -180.0, 180.0) &&
                      lf_within(r.altitude, -2000.0, 150000.0) && lf_within(r.groundSpeed, 0.0, 4000.0) &&
                      lf_within(r.trueAirspeed, 0.0, 4000.0) && lf_within(r.verticalSpeed, -60000.0, 60000.0) &&
                      lf_within(r.track, 0.0, 360.0) && lf_within(r.trueHeading, 0.0, 2.0 * kPi) &&
                      lf_within(r.bank, -kPi / 2.0, kPi / 2.0) && std::isfinite(r.timestamp);
    if (!sane)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static tzo::TrafficQueue queue(64);
    static tzo::TrafficReader reader(queue);
    static bool ready = [] {
        queue.setIntakeOpen(true);
        rangeNm = 40.0;
        reader.setUserPosition(47.4647, 8.5492);
        reader.setParkAirport(47.4647, 8.5492);
        reader.setParkAirportElevation(1416);
        reader.startCollecting();
        return true;
    }();
    (void)ready;

    // As the receive loop hands it on: at most 16383 bytes, up to the first NUL.
    std::string_view text(reinterpret_cast<const char*>(data), size < 16383 ? size : 16383);
    if (const auto nul = text.find('\0'); nul != std::string_view::npos)
        text = text.substr(0, nul);
    reader.handleDatagramText(text);
    for (tzo::TrafficRecord queued; queue.pop(queued);)
        lf_trapUnlessSane(queued);

    // The pure parser with a world that keeps everything in range.
    std::vector<std::string_view> fields;
    tzo::gf_splitTrafficFields(text, fields);
    tzo::LineContext everywhere;
    everywhere.rangeNm = 1e9;
    everywhere.parkAirportSet = true;
    tzo::TrafficRecord record;
    const auto result = tzo::gf_parseTrafficLine(fields, everywhere, record);
    if (result.verdict == tzo::LineVerdict::accepted) {
        if (record.callsign.size() > tzo::kMaxCallsignBytes)
            __builtin_trap();
        lf_trapUnlessSane(record);
    }
    if (reader.collectedCallsigns().size() > 10000)
        reader.startCollecting();
    return 0;
}
