#include "traffic/collisions.hpp"

#include "airports/park_positions.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "refdata/dbase.hpp"
#include "simconnect/sim_user_aircraft.hpp"
#include "traffic/duplicates.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/new_aircraft.hpp"
#include "traffic/removal.hpp"
#include "traffic/stand_arrival.hpp"
#include "traffic/stand_holding.hpp"
#include "traffic/stand_search.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace {

using tzo::kFeetPerNm;
constexpr double kSafetyFactor = 1.1;
constexpr double kNarrowCaptureNm = 0.010799136069114472; // 20 m
constexpr double kWideCaptureNm = 0.029697624190064796;   // 55 m
constexpr double kGroundThreatHeightFt = 500.0;
constexpr double kGroundThreatNm = 1.0;
constexpr double kGroundThreatLateralFt = 50.0;
constexpr double kAirThreatNm = 4.0;
constexpr double kAirThreatAltitudeFt = 1000.0;
constexpr double kAirThreatLateralFt = 700.0;

tzo::LatLon g_userTestedAt{0.0, 0.0};

double lf_distance(double lat1, double lon1, double lat2, double lon2)
{
    return gf_greatCircleDistanceNm({lat1, lon1}, {lat2, lon2});
}

void lf_log(const std::string& text)
{
    if (LOG.value())
        gf_logLine(text);
}

} // namespace

double gf_userHalfSpanOrAverage()
{
    return gf_userHalfWingspanNm().value_or(
        g_categoryAverageHalfSpan[static_cast<std::size_t>(tzo::AircraftCategory::Large)]);
}

void gf_resetUserCollisionMark()
{
    g_userTestedAt = {0.0, 0.0};
}

bool lf_isBlockedByAdjacentLive(const tzo::LiveAircraft& aircraft, const tzo::ParkPos& stand)
{
    for (const std::uint32_t adjacentId : stand.adjacent) {
        const tzo::ParkPos* adjacent = gf_standById(adjacentId);
        if (adjacent == nullptr)
            continue;
        const double d = lf_distance(stand.latitude, stand.longitude, adjacent->latitude, adjacent->longitude);
        for (const tzo::LiveAircraft& p : liveAircraft) {
            if (&p == &aircraft || p.movementPhase != tzo::kPhaseParked ||
                p.state != tzo::AircraftState::InSimulator || p.standId != adjacentId || p.callsign == aircraft.callsign)
                continue;
            if (aircraft.radius + p.radius > d) {
                lf_log(fmt::format("{:8}: {:8} at adjacent and colliding, {} blocks live {} parking", adjacent->name,
                                   p.callsign, p.callsign, aircraft.callsign));
                return true;
            }
            lf_log(fmt::format("{:8}: {:8} stays, while live {} at adjacent, and possibly colliding {}, is parking, "
                               "but wingspans fit {}",
                               adjacent->name, p.callsign, aircraft.callsign, stand.name, gf_currentTimeText()));
        }
    }
    return false;
}

void gf_clearStandForLive(const tzo::LiveAircraft& aircraft, const tzo::ParkPos& stand)
{
    // By index: a withdrawn creation erases its record, the last one taking its place.
    for (std::size_t i = 0; i < staticAircraft.size(); ++i) {
        const std::size_t before = staticAircraft.size();
        gf_makesPlaceFor(staticAircraft[i], aircraft, stand);
        if (staticAircraft.size() < before)
            --i;
    }
    for (const std::uint32_t adjacentId : stand.adjacent) {
        const tzo::ParkPos* adjacent = gf_standById(adjacentId);
        if (adjacent == nullptr)
            continue;
        const double d = lf_distance(stand.latitude, stand.longitude, adjacent->latitude, adjacent->longitude);
        for (std::size_t i = 0; i < staticAircraft.size(); ++i) {
            tzo::AircraftRecord& s = staticAircraft[i];
            if (s.standId != adjacentId || s.makesPlace || aircraft.radius + s.radius <= d)
                continue;
            if (s.state == tzo::AircraftState::InSimulator) {
                lf_log(fmt::format("{:8}: {:8} removed by adjacent parking {} at {}", adjacent->name, s.callsign,
                                   aircraft.callsign, stand.id));
                gf_removeAircraft(s);
                break;
            }
            // One still on its way into the simulator would appear beside
            // the live aircraft: its creation is withdrawn the same way.
            if (s.state == tzo::AircraftState::CreateRequested) {
                gf_makesPlaceFor(s, aircraft, *adjacent);
                break;
            }
        }
    }
}

namespace {

// The first live aircraft parked in the simulator at the stand goes.
void lf_removeParkedAtStand(const tzo::LiveAircraft& aircraft, const tzo::ParkPos& stand)
{
    for (tzo::LiveAircraft& p : liveAircraft) {
        if (&p != &aircraft && p.standId == stand.id && p.movementPhase == tzo::kPhaseParked &&
            p.state == tzo::AircraftState::InSimulator) {
            lf_log(fmt::format("{:8}: {:8} removed {}", stand.name, p.callsign, gf_currentTimeText()));
            gf_removeAircraft(p);
            return;
        }
    }
}

// Live aircraft parked at the neighbours that the arriving aircraft would
// touch go: here the arriving aircraft wins.
void lf_removeParkedAtAdjacent(const tzo::LiveAircraft& aircraft, const tzo::ParkPos& stand)
{
    for (const std::uint32_t adjacentId : stand.adjacent) {
        const tzo::ParkPos* adjacent = gf_standById(adjacentId);
        if (adjacent == nullptr)
            continue;
        const double d = lf_distance(stand.latitude, stand.longitude, adjacent->latitude, adjacent->longitude);
        for (tzo::LiveAircraft& p : liveAircraft) {
            if (&p == &aircraft || p.standId != adjacentId || p.movementPhase != tzo::kPhaseParked ||
                p.state != tzo::AircraftState::InSimulator)
                continue;
            if (aircraft.radius + p.radius > d) {
                lf_log(fmt::format("{:8}: {:8} removed by adjacent parking {} {}", adjacent->name, p.callsign,
                                   aircraft.callsign, gf_nowUtcText()));
                gf_removeAircraft(p);
            } else {
                lf_log(fmt::format("{:8}: {:8} stays, while live {} at adjacent, and possibly colliding {}, is "
                                   "parking, but wingspans fit",
                                   adjacent->name, p.callsign, aircraft.callsign, stand.name));
            }
        }
    }
}

} // namespace

bool gf_taxiIntoStand(tzo::LiveAircraft& aircraft, bool wide)
{
    if (aircraft.samples.empty() || parkPositions.empty())
        return false;
    const tzo::TrackSample& newest = aircraft.samples.back();
    if (newest.latitude == aircraft.taxiCheckedLatitude && newest.longitude == aircraft.taxiCheckedLongitude)
        return false;
    aircraft.taxiCheckedLatitude = newest.latitude;
    aircraft.taxiCheckedLongitude = newest.longitude;
    tzo::ParkPos* stand = lf_findStandForAircraft(newest.latitude, newest.longitude, aircraft,
                                                  wide ? kWideCaptureNm : kNarrowCaptureNm, wide);
    if (stand == nullptr || gf_isStandKeptForUser(*stand))
        return false;
    lf_removeParkedAtStand(aircraft, *stand);
    lf_removeParkedAtAdjacent(aircraft, *stand);
    gf_clearStandForLive(aircraft, *stand);
    gf_takeStand(aircraft, *stand);
    if (aircraft.samples.size() > 1)
        aircraft.samples.resize(1);
    if (aircraft.movementPhase != tzo::kPhaseToStand)
        aircraft.setPhase(tzo::kPhaseToStand);
    lf_appendStandSamples(aircraft, aircraft.stand);
    lf_log(fmt::format("{:8}: {:8} taxies in {}", stand->name, aircraft.callsign, gf_currentTimeText()));
    return true;
}

bool gf_avoidCollisionWithLive(const tzo::LiveAircraft& live, tzo::AircraftRecord& parked)
{
    if (live.towed || live.takeOffRun || parked.state != tzo::AircraftState::InSimulator)
        return false;
    const double d = lf_distance(parked.stand.latitude, parked.stand.longitude, live.latitude, live.longitude);
    if (d > (parked.radius + live.radius) * kSafetyFactor)
        return false;
    lf_log(fmt::format("{:8}: {:8} removed for collision avoidance with live {}", gf_standNameOfId(parked.standId),
                       parked.callsign, live.callsign));
    gf_removeAircraft(parked);
    return true;
}

namespace {

// Nautical miles in a degree of latitude, and of longitude at the equator.
constexpr double kNmPerDegree = 60.0;
// Room for rounding and, along a parallel, for the chord being shorter than the arc.
constexpr double kReachMargin = 1.001;
// Only this close in longitude does the parallel bound hold within the margin.
constexpr double kParallelBoundDegrees = 5.0;

double lf_reachNm(double parkedRadius, double liveRadius)
{
    return (parkedRadius + liveRadius) * kSafetyFactor * kReachMargin;
}

bool lf_finite(double a, double b, double c)
{
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c);
}

} // namespace

void tzo::NearStaticIndex::rebuild(const std::vector<tzo::AircraftRecord>& statics)
{
    m_byLatitude.clear();
    m_always.clear();
    m_largestRadius = 0.0;
    for (std::size_t i = 0; i < statics.size(); ++i) {
        const tzo::AircraftRecord& s = statics[i];
        // Only those in the simulator can be removed by a live one.
        if (s.state != tzo::AircraftState::InSimulator)
            continue;
        if (!lf_finite(s.stand.latitude, s.stand.longitude, s.radius)) {
            m_always.push_back(i);
            continue;
        }
        m_byLatitude.push_back(
            {s.stand.latitude, s.stand.longitude, std::cos(s.stand.latitude * tzo::kRadiansPerDegree), s.radius, i});
        m_largestRadius = std::max(m_largestRadius, s.radius);
    }
    std::sort(m_byLatitude.begin(), m_byLatitude.end(),
              [](const Entry& a, const Entry& b) { return a.latitude < b.latitude; });
}

void tzo::NearStaticIndex::candidates(const tzo::LiveAircraft& live, std::vector<std::size_t>& out) const
{
    out.assign(m_always.begin(), m_always.end());
    const double band = lf_reachNm(m_largestRadius, live.radius) / kNmPerDegree;
    if (!lf_finite(live.latitude, live.longitude, band)) {
        for (const Entry& e : m_byLatitude)
            out.push_back(e.index);
    } else {
        const double cosLive = std::cos(live.latitude * tzo::kRadiansPerDegree);
        auto it = std::lower_bound(m_byLatitude.begin(), m_byLatitude.end(), live.latitude - band,
                                   [](const Entry& e, double latitude) { return e.latitude < latitude; });
        for (; it != m_byLatitude.end() && it->latitude <= live.latitude + band; ++it) {
            const double reach = lf_reachNm(it->radius, live.radius);
            if (std::fabs(it->latitude - live.latitude) * kNmPerDegree > reach)
                continue;
            const double lonDegrees = std::fabs(it->longitude - live.longitude);
            if (lonDegrees < kParallelBoundDegrees &&
                lonDegrees * kNmPerDegree * std::min(cosLive, it->cosLatitude) > reach)
                continue;
            out.push_back(it->index);
        }
    }
    // In table order: the first static aircraft near enough is the one that goes.
    std::sort(out.begin(), out.end());
}

bool gf_avoidUserCollisionAir(tzo::LiveAircraft& aircraft)
{
    if (aircraft.state != tzo::AircraftState::InSimulator)
        return false;
    const tzo::LatLon user{userAircraft.latitude, userAircraft.longitude};
    const tzo::LatLon it{aircraft.latitude, aircraft.longitude};
    const double d = gf_greatCircleDistanceNm(user, it);
    const double bearing = gf_initialBearing(user, it);
    bool threat = false;
    if (aircraft.onGround) {
        const double lateral = d * std::fabs(std::sin(gf_headingDifference(userAircraft.heading, bearing))) * kFeetPerNm;
        threat = userAircraft.altitudeAboveGround < kGroundThreatHeightFt && d <= kGroundThreatNm &&
                 lateral <= kGroundThreatLateralFt;
    } else {
        const double lateral = d * std::fabs(std::sin(gf_headingDifference(bearing, aircraft.heading))) * kFeetPerNm;
        threat = d <= kAirThreatNm && std::fabs(aircraft.altitude - userAircraft.altitude) < kAirThreatAltitudeFt &&
                 lateral <= kAirThreatLateralFt;
    }
    if (!threat)
        return false;
    lf_log(fmt::format("{:8}: {:8} removed, too near the user aircraft {}", gf_standNameOfId(aircraft.standId),
                       aircraft.callsign, gf_currentTimeText()));
    gf_removeAircraft(aircraft);
    return true;
}

void gf_avoidUserCollisionGround()
{
    const tzo::LatLon user{userAircraft.latitude, userAircraft.longitude};
    const double userSpan = gf_userHalfSpanOrAverage();
    for (tzo::LiveAircraft& a : liveAircraft) {
        if (!a.onGround || a.state != tzo::AircraftState::InSimulator)
            continue;
        if (gf_greatCircleDistanceNm(user, {a.latitude, a.longitude}) <= (userSpan + a.radius) * kSafetyFactor) {
            lf_log(fmt::format("{:8}: {:8} removed, too near the user aircraft on the ground {}",
                               gf_standNameOfId(a.standId), a.callsign, gf_currentTimeText()));
            gf_removeAircraft(a);
            return;
        }
    }
    if (user.latitude == g_userTestedAt.latitude && user.longitude == g_userTestedAt.longitude)
        return;
    g_userTestedAt = user;
    for (tzo::AircraftRecord& s : staticAircraft) {
        if (s.state != tzo::AircraftState::InSimulator)
            continue;
        if (gf_greatCircleDistanceNm(user, {s.stand.latitude, s.stand.longitude}) <= (userSpan + s.radius) * kSafetyFactor) {
            lf_log(fmt::format("{:8}: {:8} removed, too near the user aircraft on the ground {}",
                               gf_standNameOfId(s.standId), s.callsign, gf_currentTimeText()));
            gf_removeAircraft(s);
            return;
        }
    }
}
