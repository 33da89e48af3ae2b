#include "traffic/stand_search.hpp"

#include "airports/airport_services.hpp"
#include "airports/park_positions.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/random.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

using tzo::AircraftCategory;
using tzo::AircraftRecord;
using tzo::ParkPos;
using tzo::ParkPosOption;

namespace {

constexpr double kFarAwayNm = 900.0;

double lf_distanceTo(const ParkPos& stand, double latitude, double longitude)
{
    return gf_greatCircleDistanceNm({latitude, longitude}, {stand.latitude, stand.longitude});
}

bool lf_fitsWithin(double aircraftRadius, const ParkPos& stand)
{
    return aircraftRadius - stand.radius <= tzo::kOversizeNm;
}

// Rotorcraft take helipads only, and helipads take rotorcraft only.
bool lf_helipadSuits(const ParkPos& stand, const AircraftRecord& aircraft)
{
    return stand.heli == (aircraft.category == AircraftCategory::Rotorcraft);
}

// The answer one thread last gave, for the table it was given from.
struct StandNameCache {
    std::uint64_t generation = 0;
    double latitude = 0.0;
    double longitude = 0.0;
    std::string name;
};

} // namespace

std::string gf_standNameAt(double latitude, double longitude)
{
    const std::shared_ptr<const tzo::StandPlaces> places = gf_standPlaces();
    if (places->stands.empty() || !userOnGround.load())
        return {};
    // Generation 0 is never published, so a fresh cache never answers.
    thread_local StandNameCache cache;
    if (cache.generation == places->generation && cache.latitude == latitude && cache.longitude == longitude)
        return cache.name;

    double best = kFarAwayNm;
    const std::string* nearest = nullptr;
    for (const tzo::StandPlaceName& stand : places->stands) {
        const double d = gf_greatCircleDistanceNm({latitude, longitude}, {stand.latitude, stand.longitude});
        if (d < best) {
            best = d;
            nearest = &stand.name;
        }
    }
    cache.generation = places->generation;
    cache.latitude = latitude;
    cache.longitude = longitude;
    cache.name = nearest != nullptr && best <= tzo::kStandNameRadiusNm ? *nearest : std::string();
    return cache.name;
}

ParkPos* lf_findStandForAircraft(double latitude, double longitude, const AircraftRecord& aircraft,
                                 double maxDistanceNm, bool allowOptionMatch)
{
    double nearBest = kFarAwayNm;
    double optionBest = kFarAwayNm;
    ParkPos* result = nullptr;
    ParkPos* optionCandidate = nullptr;
    ParkPos* tooSmall = nullptr;
    for (ParkPos& stand : parkPositions) {
        // A fixed-wing aircraft beside a helipad still stands on its own stand:
        // unsuitable stands are not candidates at all, rather than refusing
        // the result when one of them happens to be the nearest.
        if (stand.occupied || !lf_helipadSuits(stand, aircraft))
            continue;
        const double d = lf_distanceTo(stand, latitude, longitude);
        const bool fits = lf_fitsWithin(aircraft.radius, stand);
        if (d <= maxDistanceNm && d < nearBest) {
            if (fits) {
                result = &stand;
                nearBest = d;
                allowOptionMatch = false;
            } else if (d <= tzo::kStandRestNm) {
                result = &stand;
                nearBest = d;
                allowOptionMatch = false;
                tooSmall = &stand;
            }
        } else if (allowOptionMatch && d <= tzo::kOptionMatchNm && d < optionBest && fits &&
                   !aircraft.callsign.empty()) {
            if (lf_anyOptionMatchesAircraft(stand.options, aircraft.callsign, aircraft)) {
                optionCandidate = &stand;
                optionBest = d;
            }
        }
    }
    if (result == nullptr)
        result = optionCandidate;
    if (result != nullptr && result == tooSmall) {
        result->radiusChanged = true;
        result->radius = aircraft.radius - tzo::kOneMetreNm;
        standUpdateCount.fetch_add(1);
        // A larger stand may now touch stands it did not touch before.
        gf_workOutAdjacencyAround(*result);
    }
    return result;
}

namespace {

enum class StandFilter {
    GateOrRampSized,
    GateOrRampUnsized,
    CargoSized,
    CargoUnsized,
    AnySized,
    AnyUnsized,
    HelipadSized,
    RampForRotorcraftSized,
    HelipadRelaxed,
    RampForRotorcraftRelaxed,
};

bool lf_isSized(StandFilter f)
{
    return f == StandFilter::GateOrRampSized || f == StandFilter::CargoSized || f == StandFilter::AnySized ||
           f == StandFilter::HelipadSized || f == StandFilter::RampForRotorcraftSized;
}

bool lf_isRelaxed(StandFilter f)
{
    return f == StandFilter::HelipadRelaxed || f == StandFilter::RampForRotorcraftRelaxed;
}

bool lf_flagsSuit(StandFilter f, const ParkPos& stand, bool rampChoice)
{
    switch (f) {
    case StandFilter::GateOrRampSized:
    case StandFilter::GateOrRampUnsized:
        return !stand.cargo && !stand.heli && stand.ramp == rampChoice;
    case StandFilter::CargoSized:
    case StandFilter::CargoUnsized:
        return stand.cargo && !stand.heli;
    case StandFilter::AnySized:
    case StandFilter::AnyUnsized:
        return !stand.heli;
    case StandFilter::HelipadSized:
    case StandFilter::HelipadRelaxed:
        return stand.heli;
    case StandFilter::RampForRotorcraftSized:
    case StandFilter::RampForRotorcraftRelaxed:
        return stand.ramp;
    }
    return false;
}

// A numbered option of the day holds the half-hour: the stand is in learned use.
bool lf_inUse(const ParkPos& stand, DayHour dayHour)
{
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const ParkPosOption& o) {
        return o.number != 0 && o.day == dayHour.day && o.holds(dayHour.hh);
    });
}

struct FilterRun {
    std::int32_t bestScore = 100;
    std::int32_t bestMatch = 0;
};

// Runs one filter over all stands. A stand passes only when it is at least
// as good in score and match as every candidate before it.
void lf_applyFilter(StandFilter filter, bool rampChoice, DayHour dayHour, const AircraftRecord& aircraft,
                    std::vector<tzo::StandCandidate>& candidates)
{
    FilterRun run;
    const double step = tzo::gf_sizeStep(aircraft.radius);
    const bool sized = lf_isSized(filter);
    const bool relaxed = lf_isRelaxed(filter);
    for (const ParkPos& stand : parkPositions) {
        if (!lf_flagsSuit(filter, stand, rampChoice))
            continue;
        if ((sized || relaxed) && !lf_fitsWithin(aircraft.radius, stand))
            continue;
        if (!relaxed && lf_inUse(stand, dayHour))
            continue;
        const std::int32_t score =
            sized ? static_cast<std::int32_t>(std::lround((stand.radius - aircraft.radius) / step))
                  : static_cast<std::int32_t>(std::lround(std::fabs(stand.radius - aircraft.radius)));
        if (score > run.bestScore)
            continue;
        const std::int32_t match = lf_anyOptionMatchesAircraft(stand.options, aircraft.callsign, aircraft) ? 1 : 0;
        if (match < run.bestMatch)
            continue;
        run.bestScore = score;
        run.bestMatch = match;
        candidates.push_back({stand.name, score, match});
    }
}

// The passes in order until one yields a candidate.
bool lf_runPasses(std::initializer_list<StandFilter> passes, bool rampChoice, DayHour dayHour,
                  const AircraftRecord& aircraft, std::vector<tzo::StandCandidate>& candidates)
{
    for (StandFilter f : passes) {
        lf_applyFilter(f, rampChoice, dayHour, aircraft, candidates);
        if (!candidates.empty())
            return true;
    }
    return false;
}

void lf_collectCandidates(DayHour dayHour, const AircraftRecord& aircraft, std::vector<tzo::StandCandidate>& candidates)
{
    using F = StandFilter;
    if (aircraft.category == AircraftCategory::Rotorcraft) {
        lf_runPasses({F::HelipadSized, F::RampForRotorcraftSized, F::HelipadRelaxed, F::RampForRotorcraftRelaxed},
                     true, dayHour, aircraft, candidates);
        return;
    }
    if (aircraft.cargo) {
        lf_runPasses({F::CargoSized, F::CargoUnsized, F::AnySized, F::AnyUnsized}, false, dayHour, aircraft,
                     candidates);
        return;
    }
    if (aircraft.category == AircraftCategory::Light || aircraft.category == AircraftCategory::Buzjets ||
        aircraft.airline == "PVT") {
        lf_runPasses({F::GateOrRampSized, F::GateOrRampUnsized}, true, dayHour, aircraft, candidates);
        return;
    }
    // Airliners mostly use gates; at airports of the United States always.
    bool gates = parkAirportCode.get().starts_with('K');
    if (!gates)
        gates = threadRandomEngine()() % 100 >= 10;
    if (!lf_runPasses({F::GateOrRampSized, F::GateOrRampUnsized}, !gates, dayHour, aircraft, candidates))
        lf_runPasses({F::GateOrRampSized, F::GateOrRampUnsized}, gates, dayHour, aircraft, candidates);
}

DayHour lf_nextHalfHour(DayHour dayHour)
{
    if (dayHour.hh + 1 < tzo::kHalfHoursPerDay)
        return {dayHour.day, dayHour.hh + 1};
    return {dayHour.day % 7 + 1, 0};
}

} // namespace

ParkPos* lf_searchFittingStands(DayHour dayHour, const AircraftRecord& aircraft, bool retryNextHalfHour)
{
    std::vector<tzo::StandCandidate> candidates;
    candidates.reserve(256);
    lf_collectCandidates(dayHour, aircraft, candidates);
    if (candidates.empty()) {
        if (retryNextHalfHour && parkPositions.size() < 11)
            return lf_searchFittingStands(lf_nextHalfHour(dayHour), aircraft, false);
        return nullptr;
    }
    if (candidates.size() >= 2 && RANDOM.value())
        std::shuffle(candidates.begin(), candidates.end(), threadRandomEngine());
    else
        std::reverse(candidates.begin(), candidates.end()); // the one found last first
    std::stable_sort(candidates.begin(), candidates.end(), [](const tzo::StandCandidate& a, const tzo::StandCandidate& b) {
        return a.match != b.match ? a.match > b.match : a.score < b.score;
    });
    const auto it = std::find_if(parkPositions.begin(), parkPositions.end(),
                                 [&](const ParkPos& s) { return s.name == candidates.front().name; });
    return it == parkPositions.end() ? nullptr : &*it;
}

bool gf_isSameAirlineType(const ParkPosOption& option, const tzo::AircraftTexts& aircraft)
{
    return option.airline == aircraft.airline && option.type == aircraft.model;
}

bool lf_optionMatchesAircraft(const ParkPosOption& option, std::string_view callsign, const AircraftRecord& aircraft)
{
    if (option.number == 0 || option.soft)
        return false;
    // An empty callsign is no callsign: it would match every option without one.
    if (!callsign.empty() && (option.callsign == callsign || option.secondCallsign == callsign))
        return true;
    return gf_isSameAirlineType(option, aircraft);
}

bool lf_anyOptionMatchesAircraft(const std::vector<ParkPosOption>& options, std::string_view callsign,
                                 const AircraftRecord& aircraft)
{
    if (callsign.empty())
        return false;
    return std::any_of(options.begin(), options.end(),
                       [&](const ParkPosOption& o) { return lf_optionMatchesAircraft(o, callsign, aircraft); });
}

bool gf_fitsStandRadius(const ParkPos& stand, double aircraftRadius)
{
    return lf_fitsWithin(aircraftRadius, stand) &&
           std::lround((stand.radius - aircraftRadius) / tzo::gf_sizeStep(aircraftRadius)) == 0;
}

void lf_searchForCoupledCsAroundThisTime(DayHour dayHour, AircraftRecord& aircraft)
{
    try {
        const std::int32_t window = aircraft.category == AircraftCategory::Heavy ? 14 : 10;
        const std::int32_t slot = static_cast<std::int32_t>(dayHour.hh);
        const std::int32_t low = std::max(slot - window, 0);
        const std::int32_t high = std::min(slot + window, tzo::kHalfHoursPerDay - 1);
        tzo::HalfHourSet windowSet = 0;
        for (std::int32_t s = low; s <= high; ++s)
            windowSet |= tzo::gf_halfHourBit(static_cast<std::uint32_t>(s));

        std::string_view callsign = aircraft.callsign;
        if (callsign.ends_with('_'))
            callsign.remove_suffix(1);
        if (callsign.empty())
            return;
        for (const ParkPos& stand : parkPositions) {
            for (const ParkPosOption& o : stand.options) {
                if (o.number == 0 || o.day != dayHour.day || (o.halfHours & windowSet) == 0 ||
                    o.airline != aircraft.airline || o.secondCallsign.empty() ||
                    (o.callsign != callsign && o.secondCallsign != callsign))
                    continue;
                aircraft.firstCallsign = o.callsign;
                aircraft.secondCallsign = o.secondCallsign;
                if (LOG.value())
                    gf_logLine(fmt::format("          [{} from couple \"{}:{}\" at stand {}]", aircraft.callsign,
                                           o.callsign, o.secondCallsign, gf_standNameOfId(stand.id)));
                return;
            }
        }
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("lf_searchForCoupledCsAroundThisTime {}", e.what()));
    }
}

bool gf_airlineFromCallsign(AircraftRecord& aircraft)
{
    const std::string& cs = aircraft.callsign;
    if (cs.size() < 4)
        return false;
    for (int i = 0; i < 3; ++i)
        if (cs[i] < 'A' || cs[i] > 'Z')
            return false;
    if (cs[3] < '0' || cs[3] > '9')
        return false;
    aircraft.airline = cs.substr(0, 3);
    return true;
}
