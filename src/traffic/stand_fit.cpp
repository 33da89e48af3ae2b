#include "traffic/stand_fit.hpp"

#include "airports/park_positions.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/random.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "refdata/dbase_lookups.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/stand_search.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <optional>

using tzo::ParkPos;
using tzo::ParkPosOption;
using tzo::StandFitEntry;

std::unordered_set<std::string> fitCallsignExclusions;
std::vector<std::string> duplicateCallsigns;
std::int32_t realFitOffset = 0;
std::int32_t softFitOffset = -1;
std::atomic<float> staticParkedMeanHours{-1.0f};

namespace {

std::uint32_t lf_previousDay(std::uint32_t day)
{
    return day <= 1 ? 7 : day - 1;
}

std::uint32_t lf_nextDay(std::uint32_t day)
{
    return day % 7 + 1;
}

bool lf_isAircraftInSimulator(const tzo::AircraftRecord& a)
{
    return a.state == tzo::AircraftState::InSimulator;
}

// A static aircraft parked at an adjacent stand leaves no room for this
// option's type when the two half-spans together exceed their distance.
bool lf_adjacentLeavesNoRoom(const ParkPos& stand, const ParkPosOption& option)
{
    if (stand.adjacent.empty())
        return false;
    const double span = gf_wingspanOf(option.type);
    for (const tzo::AircraftRecord& parked : staticAircraft) {
        if (!lf_isAircraftInSimulator(parked) ||
            std::find(stand.adjacent.begin(), stand.adjacent.end(), parked.standId) == stand.adjacent.end())
            continue;
        const double d = gf_greatCircleDistanceNm({parked.stand.latitude, parked.stand.longitude},
                                                  {stand.latitude, stand.longitude});
        if (span + parked.radius > d)
            return true;
    }
    return false;
}

bool lf_isCallsignOf(const ParkPosOption& o, const std::string& callsign)
{
    return !callsign.empty() && (o.callsign == callsign || o.secondCallsign == callsign);
}

// Among the collected options, the one whose callsign the static aircraft at
// this stand already flies, so that a renewal keeps the aircraft it has. A
// static callsign is the option's callsign with "*" appended: compared
// whole, it could never equal an option's callsign.
std::optional<std::uint32_t> lf_optionOfStaticAtStand(const ParkPos& stand, const std::vector<std::uint32_t>& numbers)
{
    for (const tzo::AircraftRecord& parked : staticAircraft) {
        if (parked.standId != stand.id || parked.state == tzo::AircraftState::BeingRemoved)
            continue;
        std::string callsign = parked.callsign;
        if (callsign.ends_with('*'))
            callsign.pop_back();
        for (std::uint32_t n : numbers) {
            const ParkPosOption& o = stand.options[n];
            if (gf_isSameAirlineType(o, parked) && lf_isCallsignOf(o, callsign))
                return n;
        }
    }
    return std::nullopt;
}

// The chosen option may not be placed now: its aircraft is chosen, planned,
// live nearby or held by the duplicate handling.
bool lf_isWithdrawn(const ParkPosOption& o, const std::vector<StandFitEntry>& alreadyChosen)
{
    if (!o.registration.empty() &&
        std::any_of(alreadyChosen.begin(), alreadyChosen.end(),
                    [&](const StandFitEntry& e) { return e.registration == o.registration; }))
        return true;
    for (const std::string* cs : {&o.callsign, &o.secondCallsign}) {
        if (cs->empty())
            continue;
        if (fitCallsignExclusions.contains(*cs) || fitCallsignExclusions.contains(*cs + "_"))
            return true;
        if (std::find(duplicateCallsigns.begin(), duplicateCallsigns.end(), *cs) != duplicateCallsigns.end())
            return true;
        if (std::any_of(staticParkingPlan.begin(), staticParkingPlan.end(), [&](const tzo::ParkingPlanEntry& e) {
                return e.firstCallsign == *cs || e.secondCallsign == *cs;
            }))
            return true;
    }
    return !o.registration.empty() &&
           std::any_of(staticParkingPlan.begin(), staticParkingPlan.end(),
                       [&](const tzo::ParkingPlanEntry& e) { return e.registration == o.registration; });
}

// A couple's aircraft stays when the same option holds the next half-hour,
// or, after the last slot of the day, an option of the same airline and
// type holds the first slot of the next day.
bool lf_continues(const ParkPos& stand, const ParkPosOption& o, std::uint32_t slot)
{
    if (o.secondCallsign.empty())
        return true;
    if (slot + 1 < tzo::kHalfHoursPerDay)
        return o.holds(slot + 1);
    const std::uint32_t next = lf_nextDay(o.day);
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const ParkPosOption& n) {
        return n.number != 0 && n.day == next && n.airline == o.airline && n.type == o.type && n.holds(0);
    });
}

void lf_searchStandsSteps(DayHour dayHour, bool softOptions, std::uint32_t offset, std::vector<StandFitEntry>& out,
                          const std::vector<StandFitEntry>& alreadyChosen)
{
    std::int64_t slot = static_cast<std::int64_t>(dayHour.hh) - offset;
    std::uint32_t day = dayHour.day;
    while (slot < 0) {
        slot += tzo::kHalfHoursPerDay;
        day = lf_previousDay(day);
    }
    const auto tested = static_cast<std::uint32_t>(slot);
    const bool anyDay = WEEK.value();
    std::vector<std::uint32_t> numbers; // places in the stand's option list
    for (ParkPos& stand : parkPositions) {
        if (stand.taken || stand.keptFree || stand.adjacentBlocked || (stand.heli && !HELICOPTERS.value()))
            continue;
        numbers.clear();
        for (std::uint32_t i = 0; i < stand.options.size(); ++i) {
            const ParkPosOption& o = stand.options[i];
            if (o.number == 0 || o.soft != softOptions || (!anyDay && o.day != day) || !o.holds(tested))
                continue;
            if (lf_adjacentLeavesNoRoom(stand, o))
                continue;
            numbers.push_back(i);
        }
        if (numbers.empty())
            continue;

        std::uint32_t choice = numbers.front();
        if (numbers.size() >= 2 && RANDOM.value()) {
            if (const auto kept = lf_optionOfStaticAtStand(stand, numbers)) {
                choice = *kept;
            } else {
                std::shuffle(numbers.begin(), numbers.end(), threadRandomEngine());
                choice = numbers.front();
            }
        }
        ParkPosOption* chosen = &stand.options[choice];
        if (lf_isWithdrawn(*chosen, alreadyChosen)) {
            chosen->number = 0;
            continue;
        }
        StandFitEntry entry;
        entry.airline = chosen->airline;
        entry.type = chosen->type;
        entry.standId = stand.id;
        entry.offset = offset;
        entry.registration = chosen->registration;
        entry.callsign = chosen->callsign;
        entry.secondCallsign = chosen->secondCallsign;
        entry.continues = lf_continues(stand, *chosen, tested) ? 1 : 0;
        out.push_back(std::move(entry));
        stand.taken = true;
        for (std::uint32_t id : stand.adjacent)
            if (ParkPos* neighbour = gf_standById(id))
                neighbour->adjacentBlocked = true;
    }
}

} // namespace

void lf_searchStands(DayHour dayHour, bool softOptions, std::uint32_t offset, std::vector<StandFitEntry>& out,
                     const std::vector<StandFitEntry>& alreadyChosen)
{
    try {
        lf_searchStandsSteps(dayHour, softOptions, offset, out, alreadyChosen);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("exception in lf_searchStands, day: {}, offset {}: {}", gf_formatDayHour(dayHour),
                               offset, e.what()));
    }
}

bool testRange(const ParkPosOption& option, std::int32_t start, std::int32_t offset, std::int32_t& remainder)
{
    remainder = -1;
    if (start < 0 || start >= tzo::kHalfHoursPerDay) {
        gf_logLine(fmt::format("{}exception {} in testRange, start: {}, offset: {}", g_logMarker,
                               "invalid bitset position", start, offset));
        return false;
    }
    const std::int32_t low = std::max(start - offset, 0);
    for (std::int32_t slot = start; slot >= low; --slot)
        if (option.holds(static_cast<std::uint32_t>(slot)))
            return true;
    if (start - offset < 0)
        remainder = std::min(offset - start, 46);
    return false;
}

bool lf_hasFittingOption(DayHour dayHour, std::uint32_t standId, const tzo::AircraftRecord& aircraft)
{
    const ParkPos* stand = gf_standById(standId);
    if (stand == nullptr)
        return false;
    const std::int32_t window = std::clamp(std::max(realFitOffset, softFitOffset), 0, 47);
    const auto slot = static_cast<std::int32_t>(dayHour.hh);
    const auto fits = [&](const ParkPosOption& o, std::uint32_t day) {
        return o.number != 0 && o.day == day && gf_isSameAirlineType(o, aircraft);
    };
    std::int32_t remainder = -1;
    for (const ParkPosOption& o : stand->options)
        if (fits(o, dayHour.day) && testRange(o, slot, window, remainder))
            return true;
    // How far the window reaches into the previous day depends on the slot
    // and the window alone: an aircraft seen there only before midnight is
    // found even when the stand has no option of its kind today.
    if (slot - window >= 0)
        return false;
    remainder = std::min(window - slot, 46);
    std::int32_t unused = -1;
    const std::uint32_t previous = lf_previousDay(dayHour.day);
    return std::any_of(stand->options.begin(), stand->options.end(), [&](const ParkPosOption& o) {
        return fits(o, previous) && testRange(o, tzo::kHalfHoursPerDay - 1, remainder, unused);
    });
}

int gf_countStaticShown(bool showMean)
{
    int count = 0;
    std::uint64_t halfHours = 0;
    const DayHour now = gf_nowDayHour();
    for (const tzo::AircraftRecord& a : staticAircraft) {
        if (a.state != tzo::AircraftState::InSimulator && a.state != tzo::AircraftState::BeingRemoved)
            continue;
        ++count;
        halfHours += gf_dayHourDistance(a.parkedSince, now);
    }
    if (showMean && !WEEK.value()) {
        const float mean =
            count == 0 ? 0.0f : static_cast<float>(static_cast<double>(halfHours) / (2.0 * count) + 0.5);
        staticParkedMeanHours.store(mean);
    }
    return count;
}
