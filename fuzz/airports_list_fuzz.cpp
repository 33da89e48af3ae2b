// Any bytes as the airports list file: no crash, records only with finite positions.
#include "airports/airports_list.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<tzo::AirportRecord> records;
    std::string error;
    gf_parseAirportsList(std::string_view(reinterpret_cast<const char*>(data), size), records, error);
    for (const auto& r : records)
        if (!std::isfinite(r.latitude) || !std::isfinite(r.longitude) || !std::isfinite(r.altitude))
            std::abort();
    return 0;
}
