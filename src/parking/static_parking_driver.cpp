#include "parking/static_parking_driver.hpp"

#include "airports/airport_file_paths.hpp"
#include "airports/airports_list.hpp"
#include "airports/park_airport_load.hpp"
#include "airports/park_positions.hpp"
#include "foundation/app_hooks.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "parking/hour_fit.hpp"
#include "parking/park_airports_file.hpp"
#include "parking/parking_plan.hpp"
#include "parking/static_parking_services.hpp"
#include "realtraffic/readers.hpp"
#include "simconnect/sim_user_aircraft.hpp"
#include "traffic/duplicates.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/parked_limits.hpp"
#include "traffic/removal.hpp"
#include "traffic/stand_fit.hpp"
#include "traffic/stand_search.hpp"

#include <fmt/format.h>

#include <algorithm>

bool parkLoadRequested = false;
std::atomic<bool> airportFileRead{false};
std::atomic<bool> reservedStandPresent{false};
tzo::SharedText airportBoxText;

namespace {

constexpr double kGroundSearchNm = 5.0;
constexpr std::uint64_t kSoftLearningQuality = 45;
constexpr std::size_t kSoftLearningStands = 20;

tzo::AirportRecord g_parkAirport; // empty code: none
tzo::LatLon g_lastPosition;
// The load's failure is on the error line already.
bool g_errorLineShown = false;

bool parkAirportSet()
{
    return !g_parkAirport.code.empty();
}

bool withinSight(double distanceNm)
{
    return AIRPORT_RANGE.value() >= distanceNm && AIRPORT_HEIGHT.value() >= userAircraft.altitudeAboveGround;
}

} // namespace

bool lf_setParkAirport(const std::string& code)
{
    const auto airport = gf_findAirport(code);
    if (!airport)
        return false;
    g_parkAirport = *airport;
    parkAirportCode.set(airport->code);
    parkAirportIata.set(airport->iataCode);
    parkAirportPosition.latitude.store(airport->latitude);
    parkAirportPosition.longitude.store(airport->longitude);
    parkAirportElevationFt.store(airport->altitude);
    trafficReader.setParkAirport(airport->latitude, airport->longitude);
    trafficReader.setParkAirportElevation(airport->altitude);
    gf_logLine(fmt::format("The park airport is {}", gf_formatAirport(*airport)));
    return true;
}

void lf_startParkingCalculation(bool showStatus)
{
    lf_beginParkingBusy();
    trafficReader.clearCollected();
    trafficReader.startCollecting();
    if (showStatus)
        gf_showStatus("Calculating static parked aircraft ...", false);
}

void lf_searchParkAirport(const tzo::LatLon& position, bool showStatus)
{
    if (!userOnGround.load()) {
        if (parkAirports.empty())
            return;
        const auto& nearest = parkAirports.front();
        const double d = gf_greatCircleDistanceNm(position, {nearest.latitude, nearest.longitude});
        if (!withinSight(d))
            return;
        if (!lf_setParkAirport(nearest.code))
            return;
        gf_showStatus(fmt::format("{} in sight at {:.1F} nm", nearest.code, d), true);
        parkLoadRequested = true;
        lf_startParkingCalculation(false);
        return;
    }
    const tzo::AirportRecord* best = nullptr;
    double bestDistance = 100.0;
    for (const auto& airport : gf_airportsList()) {
        const double d = gf_greatCircleDistanceNm(position, {airport.latitude, airport.longitude});
        if (d <= kGroundSearchNm && d < bestDistance) {
            bestDistance = d;
            best = &airport;
        }
    }
    if (best == nullptr) {
        gf_showStatus("User aircraft on the ground, no airport in sight", true);
        return;
    }
    if (!gf_apfExists(best->code)) {
        gf_showStatus(fmt::format("User aircraft on the ground at {}", best->code) + ", no airport file found", true);
        return;
    }
    gf_logLine(fmt::format("User aircraft on the ground at {}", best->code));
    if (!lf_setParkAirport(best->code))
        return;
    parkLoadRequested = true;
    lf_startParkingCalculation(showStatus);
}

void lf_checkParkAirportInSight(const tzo::LatLon& position)
{
    if (userOnGround.load())
        return;
    const double dPark = gf_greatCircleDistanceNm(position, {g_parkAirport.latitude, g_parkAirport.longitude});
    if (withinSight(dPark)) {
        if (parkAirports.empty() || parkAirports.front().code == g_parkAirport.code)
            return;
        const auto& nearest = parkAirports.front();
        const double dNear = gf_greatCircleDistanceNm(position, {nearest.latitude, nearest.longitude});
        if (!withinSight(dNear) || dPark < dNear)
            return;
        gf_logLine(fmt::format("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first",
                               gf_currentTimeText(), nearest.code, dNear, gf_formatAirport(g_parkAirport)));
    } else {
        gf_logLine(fmt::format("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed",
                               gf_currentTimeText(), gf_formatAirport(g_parkAirport), dPark));
    }
    lf_removeParkedAndLeave();
}

void lf_leaveParkAirport()
{
    gf_closeParkAirport();
    g_parkAirport = {};
    gf_clearParkAirportState();
    trafficReader.clearParkAirport();
    standUpdateCount.store(0);
    removalList.clear();
    staticParkingPlan.clear();
    gf_clearParkPositions();
    airportFileRead = false;
    reservedStandPresent = false;
    airportBoxText.clear();
    softFitShown.store(false);
    parkLoadRequested = false;
    lf_repaintParking();
}

void lf_removeParkedAndLeave()
{
    staticParkingPlan.clear();
    gf_removeAllStatic();
    // Collected first and acted on after the walk: withdrawing a creation may
    // erase a record of the table being walked.
    std::vector<std::uint32_t> toRemove;
    std::vector<std::uint32_t> toWithdraw;
    for (const auto& live : liveAircraft) {
        if (live.movementPhase != tzo::kPhaseParked)
            continue;
        if (live.state == tzo::AircraftState::InSimulator)
            toRemove.push_back(live.recordId);
        else if (live.state == tzo::AircraftState::CreateRequested)
            toWithdraw.push_back(live.recordId);
    }
    for (auto id : toRemove)
        if (auto* live = gf_findLiveAircraft(id))
            gf_removeAircraft(*live);
    for (auto id : toWithdraw)
        if (!gf_removeQueuedCreation(id))
            if (auto* live = gf_findLiveAircraft(id))
                live->makesPlace = true;
    for (auto& live : liveAircraft)
        if (live.state == tzo::AircraftState::InSimulator) {
            live.stand = {};
            live.standId = 0;
            live.standIsCargo = false;
        }
    lf_leaveParkAirport();
    const std::uint32_t userMaxLive = savedMaxLive.load();
    if (userMaxLive != 0 && static_cast<std::uint32_t>(MAX_LIVE.value()) != userMaxLive) {
        MAX_LIVE.setValue(static_cast<std::int32_t>(userMaxLive));
        gf_limitLiveCount();
    }
}

std::string lf_loadParkAirport()
{
    gf_clearParkPositions();
    const std::string code = g_parkAirport.code;
    const auto path = gf_findApfFile(code);
    if (path.empty())
        return fmt::format("{} not found", code);
    std::uint64_t quality = 0;
    std::string error;
    try {
        error = gf_readApf(path, quality);
    } catch (const tzo::UserErrorException& e) {
        // A damaged airport file must not stop static parking for good: the
        // error line shows it, the airport is left and the controls come back.
        gf_showError(e.what());
        g_errorLineShown = true;
        error = e.what();
    }
    if (error.empty()) {
        const std::uint64_t realQuality = quality & 0xFFFFFFFFu;
        if (realQuality >= kSoftLearningQuality && parkPositions.size() >= kSoftLearningStands) {
            softLearningAllowed = false;
            if (LEARN_SOFT.value()) {
                LEARN_SOFT.setChecked(false);
                gf_disableControl(LEARN_SOFT);
                parkAirportChanged.store(true);
            }
        } else {
            softLearningAllowed = true;
            gf_enableControl(LEARN_SOFT);
        }
        if (userOnGroundKnown.load()) {
            const std::string stand = gf_standNameAt(userAircraft.latitude, userAircraft.longitude);
            if (!parkAirports.empty() && parkAirports.front().code == code) {
                if (!stand.empty() && stand != parkAirports.front().reservedStand) {
                    parkAirports.front().reservedStand = stand;
                    gf_writeMyParkAirports();
                }
            } else {
                parkAirports.push_front({code, stand, g_parkAirport.latitude, g_parkAirport.longitude, 0.0});
                gf_writeMyParkAirports();
            }
        }
        parkPositions.shrink_to_fit();
        const std::string wanted = parkAirports.empty() || parkAirports.front().code != code
                                       ? std::string{}
                                       : parkAirports.front().reservedStand;
        const bool known = !wanted.empty() && std::any_of(parkPositions.begin(), parkPositions.end(),
                                                          [&](const tzo::ParkPos& s) { return s.name == wanted; });
        reservedStandPresent = known;
        if (known)
            reservedStand.set(wanted);
        else
            reservedStand.clear();
    }
    airportFileRead = error.empty();
    airportBoxText.set(error.empty() ? gf_parkAirportHeader().airportName : std::string{});
    standUpdateCount.store(0);
    lf_repaintParking();
    return error;
}

void gf_staticParking(bool showStatus)
{
    if (staticParkingBusy.load() && staticParkingPlan.empty()) {
        lf_endParkingBusy();
        gf_clearStatus();
        gf_countStaticShown(true);
        gf_countLiveParked(true);
    }
    if (parkLoadRequested) {
        gf_clearStatus();
        parkLoadRequested = false;
        g_errorLineShown = false;
        const std::string error = lf_loadParkAirport();
        if (!error.empty()) {
            if (!g_errorLineShown)
                gf_showStatus(error, true);
            trafficReader.stopCollecting();
            lf_leaveParkAirport();
            lf_endParkingBusy();
        } else {
            lf_planStaticParking();
        }
        return;
    }
    const tzo::LatLon position{userAircraft.latitude, userAircraft.longitude};
    if (position.latitude >= 0.0 && position.latitude <= 0.0009 && position.longitude >= 0.0 &&
        position.longitude <= 0.05)
        return;
    if (position.latitude != g_lastPosition.latitude || position.longitude != g_lastPosition.longitude) {
        g_lastPosition = position;
        gf_sortParkAirportsFrom(position);
    }
    if (parkAirportSet())
        lf_checkParkAirportInSight(position);
    else
        lf_searchParkAirport(position, showStatus);
}

void gf_resetStaticParking()
{
    g_parkAirport = {};
    g_lastPosition = {};
    g_errorLineShown = false;
    parkLoadRequested = false;
    softLearningAllowed = true;
    airportFileRead = false;
    reservedStandPresent = false;
    airportBoxText.clear();
    softFitShown.store(false);
    removalList.clear();
    staticParkingPlan.clear();
    staticParkingBusy.store(false);
    trafficReader.stopCollecting();
}
