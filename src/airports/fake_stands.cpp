#include "airports/fake_stands.hpp"

#include "airports/park_airport_hooks.hpp"
#include "airports/park_positions.hpp"
#include "foundation/random.hpp"
#include "refdata/dbase_lookups.hpp"

#include <fmt/format.h>

#include <span>
#include <string_view>

namespace {

struct TypicalAircraft {
    std::string_view airline;
    std::string_view type;
};

constexpr TypicalAircraft kHelicopter{"PVT", "EC35"};
constexpr TypicalAircraft kOther{"ZZZ", "B738"};

constexpr TypicalAircraft kCargo[] = {
    {"FDX", "C208"}, {"FDX", "B752"}, {"FDX", "B763"}, {"UPS", "A306"}, {"DHK", "B763"}};
constexpr std::string_view kRampTypes[] = {"C172", "C206", "P28A", "PC12", "C550", "TBM9", "LJ25",
                                           "GLF6", "FA6X", "FA8X", "GLF4", "GLF5", "LJ60", "DHC7",
                                           "DH8A", "DH8C", "E550", "CL30", "GA6C"};
// FFT A320 stands twice: it has twice the chance.
constexpr TypicalAircraft kRegionK[] = {{"UAL", "B77W"}, {"DAL", "B739"}, {"JBU", "BCS3"}, {"FFT", "A320"},
                                        {"UAL", "B78X"}, {"UAL", "B738"}, {"AAL", "B738"}, {"SKW", "E75L"},
                                        {"SWA", "B737"}, {"FFT", "A320"}};
constexpr TypicalAircraft kRegionC[] = {{"ACA", "B789"}, {"ACA", "B38M"}, {"ROU", "A321"}, {"JZA", "CRJ9"}};
constexpr TypicalAircraft kRegionE[] = {{"KLM", "B77W"}, {"SAS", "A320"}, {"EZY", "A320"}, {"RYR", "B738"},
                                        {"DLH", "A320"}, {"KLM", "B738"}, {"BAW", "A21N"}};
constexpr TypicalAircraft kRegionZ[] = {{"CSA", "A320"}, {"CES", "A333"}, {"CES", "A321"}};
constexpr TypicalAircraft kRegionR[] = {{"ANA", "A20N"}, {"JAL", "A35K"}, {"JAL", "B738"}};

bool lf_fits(const tzo::ParkPos& stand, std::string_view type)
{
    return lf_fitsStandRadius(stand, gf_wingspanOf(std::string(type)));
}

void lf_addFitting(std::vector<TypicalAircraft>& candidates, std::span<const TypicalAircraft> table,
                   const tzo::ParkPos& stand)
{
    for (const auto& pair : table)
        if (lf_fits(stand, pair.type))
            candidates.push_back(pair);
}

std::vector<TypicalAircraft> lf_candidates(const tzo::ParkPos& stand, char region)
{
    std::vector<TypicalAircraft> candidates;
    if (stand.heli) {
        candidates.push_back(kHelicopter);
    } else if (stand.cargo) {
        lf_addFitting(candidates, kCargo, stand);
    } else if (stand.ramp) {
        for (const auto type : kRampTypes)
            if (lf_fits(stand, type))
                candidates.push_back({"PVT", type});
    } else {
        switch (region) {
        case 'K': lf_addFitting(candidates, kRegionK, stand); break;
        case 'C': lf_addFitting(candidates, kRegionC, stand); break;
        case 'E': lf_addFitting(candidates, kRegionE, stand); break;
        case 'Z': lf_addFitting(candidates, kRegionZ, stand); break;
        case 'R': lf_addFitting(candidates, kRegionR, stand); break;
        default: candidates.push_back(kOther);
        }
    }
    return candidates;
}

} // namespace

void lf_addFakeOptions(const std::string& airportCode, std::vector<tzo::ParkPos>& stands, DayHour now)
{
    const char region = airportCode.empty() ? '\0' : airportCode.front();
    std::uint32_t running = 1;
    for (auto& stand : stands) {
        const auto candidates = lf_candidates(stand, region);
        if (candidates.empty())
            continue;
        const TypicalAircraft chosen = candidates[gf_randomBelow(static_cast<std::uint32_t>(candidates.size()))];
        if (chosen.type.empty())
            continue;
        tzo::ParkPosOption option;
        option.airline = std::string(chosen.airline);
        option.type = std::string(chosen.type);
        option.registration = fmt::format("REGFAKE{}", running);
        option.callsign = fmt::format("FAKE{}", running);
        option.halfHours = tzo::gf_halfHourBit(now.hh % tzo::kHalfHoursPerDay);
        option.number = stand.options.empty() ? 1 : stand.options.back().number + 1;
        option.day = now.day;
        option.fresh = false;
        option.soft = true;
        stand.options.push_back(std::move(option));
        ++running;
    }
}

void lf_addFakeOptions(const std::string& airportCode)
{
    lf_addFakeOptions(airportCode, parkPositions, gf_currentDayHour());
}
