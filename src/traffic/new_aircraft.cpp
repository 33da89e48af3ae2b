#include "traffic/new_aircraft.hpp"

#include "airports/airport_services.hpp"
#include "airports/park_positions.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "liveries/liveries_not_created.hpp"
#include "liveries/livery_matching.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "refdata/dbase_lookups.hpp"
#include "traffic/collisions.hpp"
#include "traffic/duplicates.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/stand_arrival.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/removal.hpp"
#include "traffic/stand_holding.hpp"
#include "traffic/stand_search.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <numbers>
#include <optional>

using tzo::AircraftState;
using tzo::LiveAircraft;
using tzo::TrackSample;

namespace {

constexpr double kPi = std::numbers::pi;
using tzo::kFeetPerNm;
using tzo::kNmPerMetre;
constexpr double kHoldSpeedKt = 8.0;
constexpr double kHoldDistanceNm = 500.0 * kNmPerMetre;
constexpr double kUserGroundClearNm = 0.08099352051835854; // 150 m
constexpr double kApproachWindowNm = 1.5;
constexpr double kApproachHeightFt = 1000.0;
constexpr double kApproachLateralFt = 500.0;
constexpr double kAirWindowNm = 6.0;
constexpr double kAirLevelFt = 3000.0;
constexpr double kAirLateralFt = 4000.0;
constexpr std::size_t kCreateQueueBusy = 10;
constexpr double kParkAirportRadiusNm = 5.0;
constexpr double kStandStillKt = 5.0;
constexpr double kStandDriftNm = 0.018898488120950324; // 35 m
constexpr double kStandCaptureNm = 0.029697624190064796; // 55 m
constexpr double kGroundPitch = 0.010471975511965976;    // 0.6 degree
constexpr double kAirPitchBase = -0.05235987755982989;
using tzo::kRadiansPerDegree;
constexpr std::string_view kNoCallsign = "@@@@@@@@";

std::atomic<std::string (*)()> reservedStandSource{nullptr};

tzo::LatLon lf_at(const TrackSample& s)
{
    return {s.latitude, s.longitude};
}

tzo::LatLon lf_user()
{
    return {userAircraft.latitude, userAircraft.longitude};
}

bool lf_endsWithGhostMark(std::string_view callsign)
{
    return !callsign.empty() && callsign.back() == '_';
}

// The key of the unmatched list: airline and type, then the registration.
std::string lf_unmatchedKey(const LiveAircraft& a)
{
    std::string key = gf_formatAirlineType(a);
    if (!a.registration.empty())
        key += " " + a.registration;
    return key;
}

// Whether the aircraft is held back for the user this tick (the caller pops).
bool lf_userPathHold(LiveAircraft& a, const TrackSample& f)
{
    const tzo::LatLon user = lf_user();
    if (userOnGround.load()) {
        if (a.heldForUser) {
            if (userAircraft.groundSpeed > kHoldSpeedKt)
                return true;
            if (!f.airborne && (f.groundSpeed > kHoldSpeedKt || gf_greatCircleDistanceNm(lf_at(f), user) < kHoldDistanceNm))
                return true;
        }
        return !f.airborne && COLLISION_USER_GND.value() &&
               gf_greatCircleDistanceNm(lf_at(f), user) < kUserGroundClearNm;
    }
    if (!COLLISION_USER_AIR.value())
        return false;
    if (!f.airborne) {
        if (a.heldForUser)
            return true;
        // A new aircraft has no position of its own yet: its front sample is
        // where it will appear.
        const tzo::LatLon here = a.latitude == 0.0 && a.longitude == 0.0 ? lf_at(f) : tzo::LatLon{a.latitude, a.longitude};
        const double distance = gf_greatCircleDistanceNm(user, here);
        if (distance > kApproachWindowNm || userAircraft.altitudeAboveGround >= kApproachHeightFt)
            return false;
        const double off = gf_wrapPi(gf_initialBearing(user, here) - userAircraft.heading);
        if (std::sin(std::fabs(off)) * distance * kFeetPerNm > kApproachLateralFt)
            return false;
        a.heldForUser = true;
        return true;
    }
    const double distance = gf_greatCircleDistanceNm(lf_at(f), user);
    if (distance > kAirWindowNm || std::fabs(f.altitude - userAircraft.altitude) >= kAirLevelFt)
        return false;
    // The working heading is 0 until the aircraft was placed; its reported
    // track says where it is going.
    const double heading = a.workingHeading != 0.0 ? a.workingHeading : f.track * kRadiansPerDegree;
    const double off = gf_wrapPi(gf_initialBearing(lf_at(f), user) - heading);
    if (std::fabs(std::sin(off)) * distance * kFeetPerNm > kAirLateralFt)
        return false;
    a.heldForUser = true;
    return true;
}

void lf_pop(LiveAircraft& a)
{
    a.samples.pop_front();
}

void lf_takeDbaseNames(LiveAircraft& a)
{
    if (a.registration.empty())
        return;
    const auto record = gf_findDbaseRecord(a.registration);
    if (!record)
        return;
    a.airline = record->airl;
    a.model = record->type;
    if (!record->opr.empty())
        a.airline = record->opr;
    a.cargo = record->cargo;
    if (a.callsign.empty() || a.callsign == kNoCallsign)
        a.callsign = a.registration;
}

bool lf_chooseLivery(LiveAircraft& a)
{
    if (!a.liveryTitle.empty())
        return true;
    if (const auto it = liveLiveryCache.find(a.recordId); it != liveLiveryCache.end()) {
        if (tzo::gf_isLiveryNotCreated(it->second)) {
            liveLiveryCache.erase(it);
        } else {
            a.liveryTitle = it->second;
            if (LOG.value() && !a.keepHeading)
                gf_logLine(fmt::format("          {} =c= {}", gf_formatStatusLine(a), a.liveryTitle));
            return true;
        }
    }
    tzo::gf_matchLivery(a);
    if (a.liveryTitle.empty())
        return false;
    if (liveLiveryCache.size() >= kMostRememberedLiveries) {
        const std::unordered_set<std::uint32_t> live = gf_liveRecordIds();
        std::erase_if(liveLiveryCache, [&](const auto& entry) { return !live.contains(entry.first); });
    }
    liveLiveryCache[a.recordId] = a.liveryTitle;
    return true;
}

// Parks the aircraft at the stand, found from where its reports stand;
// false when it is to be erased.
bool lf_parkAtStand(LiveAircraft& a, tzo::ParkPos& stand, const tzo::LatLon& standingAt)
{
    if (gf_isStandKeptForUser(stand))
        return false;
    if (!tzo::gf_liveStepHooks().standContest(a, stand))
        return false;
    gf_clearStandForLive(a, stand);

    TrackSample& f = a.samples.front();
    f.stationary = true;
    f.groundSpeed = 0.0;
    gf_takeStand(a, stand);
    a.setPhase(tzo::kPhaseParked);
    a.atStandTime = std::chrono::steady_clock::now().time_since_epoch().count() / 100;
    // The stand watch measures later reports against where the reports stood
    // (up to 55 m off the stand), not against the stand itself: an aircraft
    // whose reports stand still keeps its stand.
    a.standApproachStart = gf_greatCircleDistanceNm(standingAt, {stand.latitude, stand.longitude});
    a.standApproachReference = a.standApproachStart;
    lf_learnCargoStand(a);
    a.samples.resize(1);
    f.latitude = stand.latitude;
    f.longitude = stand.longitude;
    f.track = stand.heading / kRadiansPerDegree;

    const DayHour now = gf_nowDayHour();
    if (lf_addRealOption(stand.id, a, false, false, now))
        gf_noteSoftLearning(a.recordId, now.hh);
    tzo::gf_liveStepHooks().parkedLimit(a);
    return true;
}

// Chooses phase and stand; false when the aircraft waits or goes (the caller
// returns).
bool lf_placeNew(LiveAircraft& a)
{
    if (!lf_chooseLivery(a)) {
        std::string key = lf_unmatchedKey(a);
        // A full list takes no more: the aircraft is given up at once, as it
        // would be at its next step with its key in the list.
        if (noMatches.size() >= kMostNoMatches && !noMatches.contains(key))
            a.erase = true;
        else
            noMatches[std::move(key)] += 1;
        return false;
    }
    TrackSample& f = a.samples.front();
    if (f.airborne) {
        a.setPhase(tzo::kPhaseFlight);
        return true;
    }
    tzo::ParkPos* stand = nullptr;
    std::optional<tzo::LatLon> at; // where the reports stand
    const tzo::LatLon centre{parkAirportPosition.latitude.load(), parkAirportPosition.longitude.load()};
    if (!parkPositions.empty() && parkAirportActive.load() && !parkAirportCode.get().empty() &&
        gf_greatCircleDistanceNm(lf_at(f), centre) <= kParkAirportRadiusNm) {
        if (f.stationary)
            at = lf_at(f);
        else if (a.samples[1].groundSpeed <= kStandStillKt &&
                 gf_greatCircleDistanceNm(lf_at(a.samples.back()), lf_at(f)) <= kStandDriftNm)
            at = lf_at(a.samples.back());
        if (at)
            stand = lf_findStandForAircraft(at->latitude, at->longitude, a, kStandCaptureNm,
                                            a.samples.back().stationary);
    }
    if (stand == nullptr) {
        if (a.samples[1].stationary) {
            lf_pop(a);
            return false;
        }
        a.setPhase(tzo::kPhaseGround);
        return true;
    }
    if (!lf_parkAtStand(a, *stand, *at)) {
        a.erase = true;
        return false;
    }
    return true;
}

void lf_initialPosition(LiveAircraft& a)
{
    const TrackSample& f = a.samples.front();
    a.latitude = f.latitude;
    a.longitude = f.longitude;
    if (!f.airborne) {
        a.pitch = kGroundPitch;
    } else {
        // The simulator counts pitch positive nose down; a descent shows half.
        double v = std::min(f.verticalSpeed, 2400.0);
        if (v < 0.0)
            v = std::max(v, -3000.0) / 2.0;
        a.pitch = kAirPitchBase - v / 600.0 * 2.2 * kRadiansPerDegree;
    }
    a.bank = f.bankKnown ? f.bank : 0.0;
    a.altitude = f.altitude;
    a.verticalSpeed = f.verticalSpeed;
    a.trueAirspeed = f.trueAirspeed;

    double heading;
    if (a.keepHeading)
        heading = a.keptHeading;
    else if (a.movementPhase == tzo::kPhaseParked)
        heading = a.stand.heading;
    else if (a.samples.size() > 1 && !a.samples[1].stationary)
        heading = gf_initialBearing(lf_at(f), lf_at(a.samples[1]));
    else
        heading = f.track * kRadiansPerDegree;
    // A full circle stays one (a reported heading of 0 is stored as 2 pi).
    if (heading > 2.0 * kPi || heading < 0.0)
        heading = gf_wrapTwoPi(heading);
    a.heading = heading;
    a.headingAtCreation = f.airborne ? 0.0 : heading;
}

void lf_place(LiveAircraft& a)
{
    TrackSample& f = a.samples.front();
    if (a.samples.size() > 1 && a.samples[1].stationary) {
        f.stationary = true;
        f.groundSpeed = 0.0;
        a.samples[1].groundSpeed = 0.0;
        if (a.samples.size() > 2 && a.samples[2].stationary)
            a.samples[2].groundSpeed = 0.0;
    } else {
        f.stationary = false;
    }
    if (a.movementPhase == tzo::kPhaseNew && !lf_placeNew(a))
        return;
    if (a.erase)
        return;
    newLiveIds.push_back(a.recordId);
    lf_initialPosition(a);
    a.state = AircraftState::CreateRequested;
    a.heldForUser = false;
    idsToCreate.push_back(a.recordId);
    if (!lf_endsWithGhostMark(a.callsign))
        tzo::gf_liveStepHooks().ghostRule(a.callsign);
}

std::size_t lf_liveCount()
{
    return static_cast<std::size_t>(std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const LiveAircraft& x) {
        return x.state == AircraftState::InSimulator;
    }));
}

} // namespace

void gf_setReservedStandSource(std::string (*source)())
{
    reservedStandSource.store(source);
}

bool gf_isStandKeptForUser(const tzo::ParkPos& stand)
{
    const auto source = reservedStandSource.load();
    const std::string reserved = source != nullptr ? source() : std::string();
    // No stand under the user (or not on the ground) answers an empty name.
    const std::string userStand = gf_standNameAt(userAircraft.latitude, userAircraft.longitude);
    return (!reserved.empty() && stand.name == reserved) || (!userStand.empty() && stand.name == userStand);
}

bool gf_ownsGhostCallsign(std::string_view callsign)
{
    if (callsign.empty())
        return false;
    const std::string_view rest = callsign.substr(0, callsign.size() - 1);
    return std::any_of(liveAircraft.begin(), liveAircraft.end(), [rest](const LiveAircraft& x) {
        return x.state != AircraftState::BeingRemoved && x.callsign == rest;
    });
}

void lf_newAircraftStep(LiveAircraft& a)
{
    if (a.samples.empty()) {
        a.erase = true;
        return;
    }
    const TrackSample& f = a.samples.front();
    const std::uint32_t lead = !f.airborne && f.groundSpeed != 0.0 ? 300 : 100;
    if (!tzo::gf_tickReached(liveTickCounter.load() + lead, f.dueTick))
        return;
    if (a.samples.size() == 1) {
        a.erase = true;
        return;
    }
    if (lf_endsWithGhostMark(a.callsign) &&
        std::find(ghostTexts.begin(), ghostTexts.end(), a.callsign) != ghostTexts.end()) {
        a.erase = true;
        return;
    }
    const bool anyAirborne = std::any_of(a.samples.begin(), a.samples.end(), [](const TrackSample& s) { return s.airborne; });
    const bool anyOnGround = std::any_of(a.samples.begin(), a.samples.end(), [](const TrackSample& s) { return !s.airborne; });
    if ((anyAirborne && anyOnGround) || lf_userPathHold(a, f) ||
        (liveCreateQueue.size() > kCreateQueueBusy && a.movementPhase == tzo::kPhaseNew)) {
        lf_pop(a);
        return;
    }
    if (MAX_LIVE.value() != MAX_LIVE.defaultValue() &&
        lf_liveCount() + idsToCreate.size() + liveCreateQueue.size() >= static_cast<std::size_t>(MAX_LIVE.value()) &&
        gf_farthestTest(gf_greatCircleDistanceNm(lf_at(f), lf_user()))) {
        a.erase = true;
        return;
    }
    const std::string blocked = BLOCK_CALLSIGN.value();
    if (!blocked.empty() && blocked == a.callsign) {
        a.erase = true;
        return;
    }
    lf_takeDbaseNames(a);
    if (a.callsign.empty() || a.callsign == kNoCallsign || a.callsign.size() > 8) {
        a.erase = true;
        return;
    }
    if (a.airline.empty() && !gf_airlineFromCallsign(a))
        a.airline = "PVT";
    if (noMatches.contains(lf_unmatchedKey(a))) {
        a.erase = true;
        return;
    }
    if (lf_endsWithGhostMark(a.callsign) && gf_ownsGhostCallsign(a.callsign)) {
        a.erase = true;
        return;
    }
    lf_place(a);
}

void lf_ghostRule(const std::string& callsign)
{
    const std::string ghost = callsign + "_";
    const auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(), [&](const LiveAircraft& x) {
        return x.state != AircraftState::BeingRemoved && x.callsign == ghost;
    });
    if (it == liveAircraft.end())
        return;
    LiveAircraft& g = *it;
    if (LOG.value()) {
        if (g.movementPhase == tzo::kPhaseParked)
            gf_logLine(fmt::format("{:8}: {:8} is a ghost and will be removed, continue with {}",
                                   gf_standNameOfId(g.standId), g.callsign, callsign));
        else
            gf_logLine(fmt::format("          {:8} is a ghost and will be removed, continue with {}", g.callsign, callsign));
    }
    // A mark whose flight is gone marks nothing any more.
    std::erase_if(ghostTexts, [](const std::string& text) { return !gf_ownsGhostCallsign(text); });
    if (std::find(ghostTexts.begin(), ghostTexts.end(), ghost) == ghostTexts.end())
        ghostTexts.push_back(ghost);
    if (g.state != AircraftState::New)
        gf_removeAircraft(g);
    else
        g.erase = true;
}

std::string gf_reservedStandName()
{
    const auto source = reservedStandSource.load();
    return source != nullptr ? source() : std::string();
}

bool gf_makesPlaceFor(tzo::AircraftRecord& parked, const tzo::AircraftRecord& live, const tzo::ParkPos& stand)
{
    if (parked.standId != stand.id)
        return false;
    const auto line = [&](std::string_view prefix) {
        if (!LOG.value())
            return;
        const bool same = parked.firstCallsign == live.callsign || parked.registration == live.registration;
        gf_logLine(fmt::format("{}{:8}: {:8} {} makes place for{} {} {} {}", prefix, gf_currentTimeText(), parked.callsign,
                               parked.registration, same ? " the same live version" : "", live.callsign,
                               live.registration, gf_standNameOfId(stand.id)));
    };
    if (parked.state == AircraftState::InSimulator) {
        line("");
        gf_removeAircraft(parked);
    } else if (parked.state == AircraftState::CreateRequested) {
        const std::string callsign = parked.callsign;
        const std::uint32_t id = parked.recordId;
        const auto before = staticCreateQueue.size();
        std::erase_if(staticCreateQueue, [&](const tzo::CreateRequest& r) { return r.callsign == callsign; });
        if (staticCreateQueue.size() < before) {
            line("queued ");
            // The last record takes the place of the erased one.
            const auto it = std::find_if(staticAircraft.begin(), staticAircraft.end(),
                                         [id](const tzo::AircraftRecord& r) { return r.recordId == id; });
            if (it != staticAircraft.end()) {
                *it = std::move(staticAircraft.back());
                staticAircraft.pop_back();
            }
        } else {
            parked.makesPlace = true;
        }
    }
    return true;
}
