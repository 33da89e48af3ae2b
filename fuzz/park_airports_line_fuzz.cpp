// Any bytes as lines of the park airports file: no crash, no entry without a code.
#include "airports/airports_list.hpp"
#include "parking/park_airports_file.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool listed = [] {
        gf_setAirportsListForTests({{"EDDF", "FRA", 50.0, 8.5, 364}, {"EHAM", "AMS", 52.3, 4.7, -11}});
        return true;
    }();
    (void)listed;
    parkAirports.clear();
    std::string_view text(reinterpret_cast<const char*>(data), size);
    bool ok = true;
    while (!text.empty()) {
        const auto end = text.find('\n');
        // Stands are only checked against airport files; none exist here.
        lf_parseParkAirportLine(ok, std::string(text.substr(0, end)));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    for (const auto& e : parkAirports)
        if (e.code.empty())
            std::abort();
    return 0;
}
