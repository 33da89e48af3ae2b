// Bytes in as a BGL file: through the pre-check and the airport reader. No
// crash, no read past the end, no exception; every stand read has a usable
// position and a finite heading and radius.

#include "airports/airport_scan.hpp"
#include "airports/bgl_records.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    tzo::lf_bglHasAirportSection(bytes);
    tzo::BglAirportSink sink;
    sink.end = [](tzo::BglAirport& a) {
        for (const auto& s : a.airport.stands)
            if (!tzo::lf_bglPositionUsable(s.latitude, s.longitude) || !std::isfinite(s.heading) ||
                !std::isfinite(s.radius))
                std::abort();
    };
    // Never throws: a read past the end would escape as a crash here.
    tzo::lf_readBglAirports(bytes, "fuzz.bgl", {}, sink);
    gf_takeAirportScanLog();
    return 0;
}
