// Bytes in as one traffic datagram: split, parse, filter, queue. Nothing may
// crash, read out of bounds or overflow.

#include "foundation/run_state.hpp"
#include "realtraffic/traffic_line.hpp"
#include "realtraffic/traffic_reader.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

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

    // The pure parser with a world that keeps everything in range.
    std::vector<std::string_view> fields;
    tzo::gf_splitTrafficFields(text, fields);
    tzo::LineContext everywhere;
    everywhere.rangeNm = 1e9;
    everywhere.parkAirportSet = true;
    tzo::TrafficRecord record;
    const auto result = tzo::gf_parseTrafficLine(fields, everywhere, record);
    if (result.verdict == tzo::LineVerdict::accepted && record.callsign.size() > tzo::kMaxCallsignBytes)
        __builtin_trap();
    if (reader.collectedCallsigns().size() > 10000)
        reader.startCollecting();
    return 0;
}
