// Bytes in as an airport file: read as an archived file into stands, and
// merged as a learned file over a fixed stand table. No crash; every stand
// read has a usable position and radius.

#include "airports/airport_file.hpp"
#include "airports/learned_file.hpp"
#include "foundation/exceptions.hpp"

#include <pugixml.hpp>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

std::vector<tzo::ParkPos> fixedTable()
{
    std::vector<tzo::ParkPos> stands;
    stands.emplace_back("A10", std::vector<tzo::ParkPosOption>{}, 50.05, 8.57, 0.0, 30.0, false, false, false);
    stands.emplace_back("A12", std::vector<tzo::ParkPosOption>{}, 50.051, 8.57, 1.0, 25.0, true, false, false);
    stands.emplace_back("H1", std::vector<tzo::ParkPosOption>{}, 50.02, 8.54, 0.0, 10.0, false, false, true);
    return stands;
}

void checkStands(const std::vector<tzo::ParkPos>& stands)
{
    for (const auto& s : stands)
        if (!std::isfinite(s.latitude) || !std::isfinite(s.longitude) || !std::isfinite(s.radius) || s.radius < 0.0 ||
            std::fabs(s.latitude) > 90.0 || std::fabs(s.longitude) > 180.0)
            __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    pugi::xml_document doc;
    if (!doc.load_buffer(data, size))
        return 0;
    std::vector<tzo::ParkPos> archived;
    try {
        lf_readParkPositions(doc, archived, "fuzz");
    } catch (const tzo::UserErrorException&) {
    }
    checkStands(archived);

    std::vector<tzo::ParkPos> stands = fixedTable();
    std::atomic<bool> handmade{false};
    try {
        lf_readLearnedDocument(doc, "fuzz-learned.xml", "Fuzz", stands, handmade);
    } catch (const tzo::UserErrorException&) {
    }
    checkStands(stands);
    return 0;
}
