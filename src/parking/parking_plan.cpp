#include "parking/parking_plan.hpp"

#include "airports/park_positions.hpp"
#include "foundation/app_hooks.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/settings.hpp"
#include "foundation/strings.hpp"
#include "parking/hour_fit.hpp"
#include "parking/static_parking_services.hpp"
#include "refdata/dbase_lookups.hpp"
#include "traffic/ai_commands.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/removal.hpp"
#include "traffic/stand_fit.hpp"
#include "traffic/stand_search.hpp"

#include <fmt/format.h>

#include <algorithm>

std::vector<tzo::LiveStayer> liveStayers;
std::vector<tzo::Keeper> keepers;
std::vector<tzo::RemovalEntry> removalList;

namespace {

void collectLiveStayers()
{
    liveStayers.clear();
    lf_collectLiveStayers(liveStayers);
}

std::string withoutStar(const std::string& callsign)
{
    return !callsign.empty() && callsign.back() == '*' ? callsign.substr(0, callsign.size() - 1) : callsign;
}

void addKeeper(const tzo::AircraftRecord& aircraft)
{
    keepers.push_back({aircraft.callsign, aircraft.firstCallsign, aircraft.secondCallsign, aircraft.registration,
                       aircraft.airline, aircraft.model, aircraft.parkedSince, aircraft.standId, false});
}

void addRemoval(const tzo::AircraftRecord& aircraft)
{
    removalList.push_back({aircraft.callsign, aircraft.standId});
}

// Keeps the aircraft and consumes the entry, or removes it when the entry's
// fit moment is later than its placement.
void keepOrRemove(DayHour now, const tzo::AircraftRecord& aircraft, std::vector<tzo::ParkingPlanEntry>::iterator entry)
{
    if (gf_isFitLater(now, gf_dayHourBefore(now, entry->fitOffset), aircraft.parkedSince)) {
        addRemoval(aircraft);
    } else {
        addKeeper(aircraft);
        staticParkingPlan.erase(entry);
    }
}

bool keepOrRemoveAtAdjacent(DayHour now, const tzo::AircraftRecord& aircraft, std::uint32_t adjacentId)
{
    const tzo::ParkPos* adjacent = gf_standById(adjacentId);
    if (adjacent == nullptr)
        return false;
    const double distance = gf_greatCircleDistanceNm({aircraft.stand.latitude, aircraft.stand.longitude},
                                                     {adjacent->latitude, adjacent->longitude});
    const double ownSpan = gf_wingspanOf(aircraft.model);
    const auto entry = std::find_if(staticParkingPlan.begin(), staticParkingPlan.end(), [&](const auto& e) {
        return e.standId == adjacentId && gf_wingspanOf(e.type) + ownSpan > distance;
    });
    if (entry == staticParkingPlan.end())
        return false;
    keepOrRemove(now, aircraft, entry);
    return true;
}

// The leaving test of a coupled keeper; true when the option was the keeper's.
bool isOptionEnding(DayHour now, const tzo::ParkPos& stand, tzo::Keeper& keeper, const tzo::ParkPosOption& option)
{
    const std::string callsign = withoutStar(keeper.callsign);
    if (option.number == 0 || option.day != now.day || option.callsign != callsign || option.airline != keeper.airline ||
        option.type != keeper.model)
        return false;
    DayHour next{now.day, now.hh + 1};
    if (next.hh > 47)
        next = {now.day + 1 > 7 ? 1u : now.day + 1, 0};
    if (next.day == now.day) {
        keeper.leaving = (option.halfHours & tzo::gf_halfHourBit(next.hh)) == 0;
    } else {
        keeper.leaving = std::none_of(stand.options.begin(), stand.options.end(), [&](const tzo::ParkPosOption& o) {
            return o.number > 0 && o.day == next.day && o.airline == keeper.airline && o.type == keeper.model &&
                   (o.halfHours & tzo::gf_halfHourBit(0)) != 0;
        });
    }
    return true;
}

} // namespace

bool gf_isFitLater(DayHour now, DayHour fit, DayHour placed)
{
    return gf_halfHoursBack(now, fit) < gf_halfHoursBack(now, placed);
}

void lf_classifyOneStatic(DayHour dayHour, tzo::AircraftRecord& aircraft)
{
    if (aircraft.state != tzo::AircraftState::InSimulator || aircraft.planFlag)
        return;
    for (const std::string* callsign : {&aircraft.firstCallsign, &aircraft.secondCallsign}) {
        if (!callsign->empty() && fitCallsignExclusions.count(*callsign) != 0) {
            addRemoval(aircraft);
            return;
        }
    }
    const auto entry = std::find_if(staticParkingPlan.begin(), staticParkingPlan.end(),
                                    [&](const auto& e) { return e.standId == aircraft.standId; });
    if (entry != staticParkingPlan.end()) {
        const bool sameAircraft = aircraft.airline == entry->airline && aircraft.model == entry->type &&
                                  (gf_matchesWildcard(entry->firstCallsign, aircraft.callsign) ||
                                   gf_matchesWildcard(entry->secondCallsign, aircraft.callsign));
        if (sameAircraft) {
            addKeeper(aircraft);
            staticParkingPlan.erase(entry);
        } else {
            keepOrRemove(dayHour, aircraft, entry);
        }
        return;
    }
    if (const tzo::ParkPos* stand = gf_standById(aircraft.standId)) {
        const std::vector<std::uint32_t> adjacent = stand->adjacent;
        for (auto id : adjacent)
            if (keepOrRemoveAtAdjacent(dayHour, aircraft, id))
                return;
    }
    if (lf_hasFittingOption(dayHour, aircraft.standId, aircraft))
        addKeeper(aircraft);
    else
        addRemoval(aircraft);
}

void lf_classifyStaticAircraft(DayHour dayHour)
{
    for (auto& aircraft : staticAircraft)
        lf_classifyOneStatic(dayHour, aircraft);
    for (auto& keeper : keepers) {
        if (keeper.secondCallsign.empty() || keeper.firstCallsign.empty() ||
            keeper.callsign.find(keeper.firstCallsign) == std::string::npos)
            continue;
        const tzo::ParkPos* stand = gf_standById(keeper.standId);
        if (stand == nullptr)
            continue;
        for (const auto& option : stand->options)
            if (isOptionEnding(dayHour, *stand, keeper, option))
                break;
    }
}

void gf_adjustParking()
{
    const DayHour dayHour = lf_logDayHour();
    lf_takeCollectedCallsigns();
    lf_beginParkingBusy();
    softFitShown.store(false);
    lf_repaintParking();

    removalList.clear();
    keepers.clear();
    liveStayers.clear();
    staticParkingPlan.clear();

    for (auto& stand : parkPositions) {
        stand.taken = false;
        stand.keptFree = false;
        stand.adjacentBlocked = false;
        stand.numberOptionsAgain();
    }
    lf_keepStandsFree();
    const std::int64_t wanted = gf_wantedParkedCount();
    collectLiveStayers();

    const auto stayerCount = static_cast<std::int64_t>(liveStayers.size());
    if (wanted >= 1 && stayerCount > wanted) {
        const std::int64_t excess = stayerCount - wanted;
        gf_showStatus(fmt::format("Parking adjustments: {} more live ac than wanted", excess), true);
        lf_removeLiveStayers(excess);
        collectLiveStayers();
    }
    for (const auto& stayer : liveStayers)
        if (tzo::ParkPos* stand = gf_standById(stayer.standId))
            lf_markAdjacentStands(*stand);

    const std::int64_t current = static_cast<std::int64_t>(liveStayers.size() + keepers.size() + staticParkingPlan.size());
    if (wanted > current)
        lf_fillParkingPlan(dayHour, wanted, static_cast<std::int32_t>(current));

    lf_classifyStaticAircraft(dayHour);

    // Earliest placed first: too many keepers lose the latest placed.
    std::stable_sort(keepers.begin(), keepers.end(),
                     [&](const tzo::Keeper& a, const tzo::Keeper& b) {
                         return gf_halfHoursBack(dayHour, a.placed) > gf_halfHoursBack(dayHour, b.placed);
                     });
    std::erase_if(keepers, [](const tzo::Keeper& k) { return k.leaving; });

    std::stable_sort(staticParkingPlan.begin(), staticParkingPlan.end(),
                     [](const auto& a, const auto& b) { return a.fitOffset < b.fitOffset; });

    std::int64_t excess = static_cast<std::int64_t>(liveStayers.size() + keepers.size() + staticParkingPlan.size()) - wanted;
    while (excess > 0 && !(staticParkingPlan.empty() && keepers.empty())) {
        if (!staticParkingPlan.empty()) {
            staticParkingPlan.pop_back();
        } else {
            removalList.push_back({keepers.back().callsign, keepers.back().standId});
            keepers.pop_back();
        }
        --excess;
    }
    if (excess > 0 && !INITIAL_LOAD_ONLY.value()) {
        while (excess > 0 && !liveStayers.empty()) {
            const std::uint32_t standId = liveStayers.back().standId;
            for (auto& live : liveAircraft)
                if (live.standId == standId && live.movementPhase == tzo::kPhaseParked &&
                    live.state == tzo::AircraftState::InSimulator) {
                    gf_removeAircraft(live);
                    break;
                }
            liveStayers.pop_back();
            --excess;
        }
    }

    std::stable_sort(staticParkingPlan.begin(), staticParkingPlan.end(),
                     [](const auto& a, const auto& b) { return a.fitOffset > b.fitOffset; });
    gf_showStatus(fmt::format("Parking adjustments: {} to be removed, {} to be added\n", removalList.size(),
                              staticParkingPlan.size()),
                  true);

    // Only aircraft in the simulator are removed: one already being removed
    // counts as gone, and a second removal would be a failed simulator request.
    for (auto it = removalList.rbegin(); it != removalList.rend(); ++it)
        for (auto& aircraft : staticAircraft)
            if (aircraft.standId == it->standId && aircraft.state == tzo::AircraftState::InSimulator) {
                gf_removeAircraft(aircraft);
                break;
            }

    if (staticParkingPlan.empty())
        lf_endParkingBusy();
}
