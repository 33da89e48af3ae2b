#include "traffic/stand_learning.hpp"

#include "airports/airport_services.hpp"
#include "airports/park_positions.hpp"
#include "foundation/geometry.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "refdata/dbase_lookups.hpp"
#include "traffic/ai_commands.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/stand_search.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string>

using tzo::LiveAircraft;
using tzo::OptionCredit;
using tzo::OptionTracking;
using tzo::ParkPos;
using tzo::ParkPosOption;

bool softLearningAllowed = true;

namespace {

constexpr double kSoftLearningRadiusNm = 5.0;
constexpr int kLongestGap = 5;

std::string_view lf_withoutGhostMark(std::string_view callsign)
{
    if (!callsign.empty() && callsign.back() == '_')
        callsign.remove_suffix(1);
    return callsign;
}

std::uint32_t lf_checkedHalfHour(const DayHour& dayHour)
{
    if (dayHour.hh >= static_cast<std::uint32_t>(tzo::kHalfHoursPerDay))
        throw std::out_of_range(fmt::format("half-hour {} out of range", dayHour.hh));
    return dayHour.hh;
}

DayHour lf_previous(DayHour dayHour)
{
    if (dayHour.hh > 0)
        return {dayHour.day, dayHour.hh - 1};
    return {dayHour.day <= 1 ? 7u : dayHour.day - 1, 47};
}

std::uint32_t lf_nextDay(std::uint32_t day)
{
    return day >= 7 ? 1 : day + 1;
}

// The numbered option of that kind, day and registration.
ParkPosOption* lf_findOption(ParkPos& stand, bool soft, std::uint32_t day, const std::string& registration)
{
    for (ParkPosOption& o : stand.options)
        if (o.number != 0 && o.soft == soft && o.day == day && o.registration == registration)
            return &o;
    return nullptr;
}

// Marks the count half-hours before now, the earliest first, in the option
// with that number; stops at the first one refused.
void lf_markBefore(ParkPos& stand, DayHour now, int count, std::uint32_t number, std::string_view callsign)
{
    DayHour at = now;
    for (int i = 0; i < count; ++i)
        at = lf_previous(at);
    for (int i = 0; i < count; ++i) {
        if (!lf_updateOption(stand, at, number, callsign))
            return;
        at = at.hh == 47 ? DayHour{lf_nextDay(at.day), 0} : DayHour{at.day, at.hh + 1};
    }
}

// The half-hours between the entry's credit and now, when at most five
// apart: on the same day in the credited option; across midnight in it up to
// half-hour 47 and after that in the aircraft's option of today (the one that
// now holds the present half-hour), which the entry then names.
void lf_fillGap(ParkPos& stand, const LiveAircraft& aircraft, OptionCredit& entry, DayHour now, std::uint32_t today)
{
    const DayHour then = entry.dayHour;
    for (int k = 1; k <= kLongestGap; ++k) {
        if (then.day == now.day && (then.hh + k) % tzo::kHalfHoursPerDay == now.hh) {
            lf_markBefore(stand, now, k - 1, entry.number, aircraft.callsign);
            lf_updateOption(stand, now, entry.number, aircraft.callsign);
            entry.dayHour = now;
            return;
        }
        if (lf_nextDay(then.day) == now.day &&
            static_cast<int>(now.hh) - static_cast<int>(then.hh) + tzo::kHalfHoursPerDay == k) {
            DayHour at = now;
            for (int i = 0; i < k - 1; ++i)
                at = lf_previous(at);
            for (int i = 0; i < k - 1; ++i) {
                const bool yesterday = at.day == then.day;
                if (!lf_updateOption(stand, at, yesterday ? entry.number : today, yesterday ? "" : aircraft.callsign))
                    break;
                at = at.hh == 47 ? DayHour{lf_nextDay(at.day), 0} : DayHour{at.day, at.hh + 1};
            }
            entry = {now, today};
            return;
        }
    }
}

// A credit of the day before: the night is to be filled in.
bool lf_creditedYesterday(const OptionTracking& tracking, OptionTracking::const_iterator entry, DayHour now)
{
    return entry != tracking.end() && lf_nextDay(entry->second.dayHour.day) == now.day;
}

} // namespace

void gf_countStandUpdate()
{
    standUpdateCount.fetch_add(1);
}

std::uint32_t lf_addOption(ParkPos& stand, const tzo::AircraftRecord& aircraft, bool soft, DayHour dayHour)
{
    ParkPosOption o;
    if (const auto record = gf_findDbaseRecord(aircraft.registration)) {
        o.airline = !record->opr.empty() ? record->opr : record->airl;
        o.type = record->type;
    } else {
        o.airline = aircraft.airline;
        o.type = aircraft.model;
    }
    o.registration = aircraft.registration;
    o.callsign = std::string(lf_withoutGhostMark(aircraft.callsign));
    o.halfHours = tzo::gf_halfHourBit(lf_checkedHalfHour(dayHour));
    // An option's number is its place: withdrawn options keep theirs, so a
    // new number is never one that another option or a tracking entry names,
    // and numbering the options again changes no number but a withdrawn one's.
    o.number = static_cast<std::uint32_t>(stand.options.size() + 1);
    o.day = dayHour.day;
    o.fresh = true;
    o.soft = soft;
    stand.options.push_back(std::move(o));
    return stand.options.back().number;
}

bool lf_mergeIntoOption(ParkPosOption& option, std::uint32_t number, DayHour dayHour, std::string_view callsign)
{
    if (option.number == 0 || option.number != number)
        return false;
    option.halfHours |= tzo::gf_halfHourBit(lf_checkedHalfHour(dayHour));
    if (!callsign.empty()) {
        if (option.callsign.empty())
            option.callsign = std::string(callsign);
        else if (callsign != option.callsign && callsign != option.secondCallsign)
            option.secondCallsign = std::string(callsign);
    }
    return true;
}

bool lf_updateOption(ParkPos& stand, DayHour dayHour, std::uint32_t number, std::string_view callsign)
{
    try {
        callsign = lf_withoutGhostMark(callsign);
        for (ParkPosOption& o : stand.options)
            if (lf_mergeIntoOption(o, number, dayHour, callsign))
                return true;
    } catch (...) {
        gf_logLine(fmt::format("Update Option exception {} {}", gf_formatDayHour(dayHour),
                               tzo::gf_exceptionText(std::current_exception())));
    }
    return false;
}

namespace {

// Learns that the aircraft stands at the stand, in a real or a soft option.
// Soft learning asks for no registration or callsign, always enters a missing
// tracking entry and never ends one.
bool lf_learnOption(std::uint32_t standId, LiveAircraft& aircraft, bool soft, bool useTracking, bool endTracking,
                    DayHour dayHour)
{
    try {
        if (parkPositions.empty() || (!soft && (aircraft.registration.empty() || aircraft.callsign.empty())))
            return false;
        ParkPos* stand = gf_standById(standId);
        if (stand == nullptr)
            return false;
        const std::uint32_t hh = lf_checkedHalfHour(dayHour);
        OptionTracking& tracking = soft ? stand->softTracking : stand->realTracking;
        const auto entry = tracking.find(aircraft.recordId);
        ParkPosOption* option = lf_findOption(*stand, soft, dayHour.day, aircraft.registration);
        if (option == nullptr) {
            const std::uint32_t number = lf_addOption(*stand, aircraft, soft, dayHour);
            if (useTracking && lf_creditedYesterday(tracking, entry, dayHour)) {
                lf_fillGap(*stand, aircraft, entry->second, dayHour, number);
                if (endTracking)
                    tracking.erase(entry);
            } else {
                tracking.try_emplace(aircraft.recordId, OptionCredit{dayHour, number});
            }
            gf_countStandUpdate();
            return true;
        }
        if (option->holds(hh)) {
            if (endTracking && entry != tracking.end())
                tracking.erase(entry);
            return false;
        }
        // Options of the archived file and fake ones are never extended.
        if (!option->fresh)
            return false;
        option->halfHours |= tzo::gf_halfHourBit(hh);
        if ((useTracking || soft) && entry == tracking.end()) {
            if (!endTracking)
                tracking.emplace(aircraft.recordId, OptionCredit{dayHour, option->number});
        } else if (entry != tracking.end()) {
            if (useTracking && !(entry->second.dayHour == dayHour))
                lf_fillGap(*stand, aircraft, entry->second, dayHour, option->number);
            if (endTracking)
                tracking.erase(entry);
        }
        gf_countStandUpdate();
        return true;
    } catch (...) {
        gf_logLine(fmt::format("Add {} option exception, hh_now: {}, {}", soft ? "soft" : "real", dayHour.hh,
                               tzo::gf_exceptionText(std::current_exception())));
        return false;
    }
}

} // namespace

bool lf_addRealOption(std::uint32_t standId, LiveAircraft& aircraft, bool useTracking, bool endTracking,
                      DayHour dayHour)
{
    return lf_learnOption(standId, aircraft, false, useTracking, endTracking, dayHour);
}

bool lf_addSoftOption(std::uint32_t standId, LiveAircraft& aircraft, bool useTracking, DayHour dayHour)
{
    return lf_learnOption(standId, aircraft, true, useTracking, false, dayHour);
}

namespace {

// A real option of the aircraft today holds the half-hour or a neighbour.
bool lf_realOptionNearNow(const LiveAircraft& aircraft, DayHour now)
{
    const std::uint32_t before = (now.hh + 47) % 48;
    const std::uint32_t after = (now.hh + 1) % 48;
    for (const ParkPos& stand : parkPositions)
        for (const ParkPosOption& o : stand.options)
            if (!o.soft && o.number != 0 && o.day == now.day && o.registration == aircraft.registration &&
                (o.holds(now.hh) || o.holds(before) || o.holds(after)))
                return true;
    return false;
}

} // namespace

void lf_learnSoftOption(LiveAircraft& aircraft)
{
    if (!LEARN_SOFT.value() || !softLearningAllowed || !parkAirportActive.load() || parkAirportCode.get().empty())
        return;
    const tzo::LatLon centre{parkAirportPosition.latitude.load(), parkAirportPosition.longitude.load()};
    if (gf_greatCircleDistanceNm({aircraft.latitude, aircraft.longitude}, centre) > kSoftLearningRadiusNm ||
        aircraft.standId != 0)
        return;
    const DayHour now = gf_nowDayHour();
    for (const ParkPos& stand : parkPositions) {
        const auto entry = stand.softTracking.find(aircraft.recordId);
        if (entry == stand.softTracking.end())
            continue;
        if (!(entry->second.dayHour == now) && lf_addSoftOption(stand.id, aircraft, true, now)) {
            gf_noteSoftLearning(aircraft.recordId, now.hh);
            return;
        }
        break;
    }
    if (!lf_passSoftLearningThrottle(now, aircraft.recordId))
        return;
    if (lf_realOptionNearNow(aircraft, now))
        return;
    const ParkPos* stand = lf_searchFittingStands(now, aircraft, true);
    if (stand == nullptr)
        return;
    if (!lf_addSoftOption(stand->id, aircraft, false, now))
        std::erase_if(softLearningThrottle,
                      [&](const tzo::SoftLearningMark& m) { return m.recordId == aircraft.recordId; });
}
