#include "traffic/live_traffic.hpp"

#include "airports/airport_services.hpp"
#include "airports/park_positions.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/plausible.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/rt_messages.hpp"
#include "realtraffic/traffic_reader.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "refdata/dbase_lookups.hpp"
#include "simconnect/sim_ids.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/collisions.hpp"
#include "traffic/motion.hpp"
#include "traffic/parked_limits.hpp"
#include "traffic/removal.hpp"
#include "traffic/stand_arrival.hpp"
#include "traffic/stand_fit.hpp"
#include "traffic/stand_holding.hpp"
#include "traffic/static_placement.hpp"
#include "traffic/track_samples.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>

using tzo::AircraftState;
using tzo::LiveAircraft;
using tzo::TrafficRecord;

tzo::UserAircraftState userAircraft;
std::vector<tzo::LiveAircraft> liveAircraft;
std::vector<tzo::AircraftRecord> staticAircraft;
std::deque<tzo::CreateRequest> liveCreateQueue;
std::deque<tzo::CreateRequest> staticCreateQueue;
std::deque<std::uint32_t> removalQueue;
std::vector<std::uint32_t> idsToCreate;
std::deque<std::uint32_t> newLiveIds;
std::map<std::string, int> noMatches;
std::unordered_map<std::uint32_t, std::string_view> liveLiveryCache;
std::vector<std::string> ghostTexts;
std::vector<tzo::SimNotification> pendingLights;
std::vector<tzo::SoftLearningMark> softLearningThrottle;

void gf_noteSoftLearning(std::uint32_t recordId, std::uint32_t halfHour)
{
    const auto it = std::find_if(softLearningThrottle.begin(), softLearningThrottle.end(),
                                 [&](const tzo::SoftLearningMark& m) { return m.recordId == recordId; });
    if (it != softLearningThrottle.end()) {
        it->halfHour = halfHour;
        return;
    }
    // The marks of aircraft that have left go before a new one comes in, so
    // the list never holds more than one mark per live aircraft.
    const std::unordered_set<std::uint32_t> live = gf_liveRecordIds();
    std::erase_if(softLearningThrottle, [&](const tzo::SoftLearningMark& m) { return !live.contains(m.recordId); });
    softLearningThrottle.push_back({recordId, halfHour});
}

std::unordered_set<std::uint32_t> gf_liveRecordIds()
{
    std::unordered_set<std::uint32_t> ids;
    ids.reserve(liveAircraft.size());
    for (const tzo::LiveAircraft& a : liveAircraft)
        ids.insert(a.recordId);
    return ids;
}
std::vector<tzo::ParkingPlanEntry> staticParkingPlan;
bool landingInProgress = false;

namespace {

using tzo::kDegreesPerRadian;
constexpr std::uint32_t kRemovalSlotTicks = 10;  // 100 ms
constexpr std::uint32_t kCreationSlotTicks = 50; // 500 ms
constexpr std::uint32_t kSecondTicks = 100;
constexpr std::uint32_t kLandingRequestTicks = 20;
constexpr int kReportsPerTick = 2;

// Straight, steady legs keep one sample per this distance.
constexpr double kAirSpacingNm = 0.2429805615550756;     // 450 m
constexpr double kGroundSpacingNm = 0.010799136069114472; // 20 m
constexpr double kGroundSpacingMaxSeconds = 15.0;
// A speed change between a crawl and this is implausible between two reports.
constexpr double kFastBandKt = 80.0;

// A tenfold jump from a real speed is a bad report, and so is a fall to a
// tenth from 80 kt or more (150 to 7 kt). A fall from below 80 kt is not: a
// roll-out or a helicopter's stop can end between two reports (70 to 6 kt).
bool lf_implausibleChange(double was, double now)
{
    if (was > 5.0 && now >= 10.0 * was)
        return true;
    if (now > 5.0 && was >= 10.0 * now && was >= kFastBandKt)
        return true;
    return (was <= 5.0 && now >= kFastBandKt) || (now <= 5.0 && was >= kFastBandKt);
}

// Whether the report adds nothing the aircraft's last sample does not say,
// or contradicts it. `heard` is the speed of the report before this one.
bool lf_thinnedOut(const LiveAircraft& a, const TrafficRecord& r, double heard)
{
    const tzo::TrackSample& last = a.samples.back();
    const double dt = r.timestamp - a.lastReportTime;
    if (r.timestamp == a.lastReportTime || dt <= 1.0)
        return true;
    const double was = last.groundSpeed;
    const double now = r.groundSpeed;
    // Against the last sample only, one refused report would refuse all that
    // follow it: an aircraft that left a stand still between two reports
    // would stay there, its take-off and flight refused. A speed that the
    // report before already had is believed.
    if (lf_implausibleChange(was, now) && lf_implausibleChange(heard, now))
        return true;
    if (a.manoeuvreCountdown > 0)
        return false;
    const double turn = std::fabs(r.track - last.track);
    if (r.airborne)
        return now > 120.0 && turn <= 1.0 && dt <= kAirSpacingNm / now * 3600.0;
    if (now > 30.0 || turn > 2.0)
        return false;
    const double spacing = now == 0.0 ? kGroundSpacingMaxSeconds
                                      : std::min(kGroundSpacingMaxSeconds, kGroundSpacingNm / now * 3600.0);
    return dt <= spacing;
}

void lf_updateAircraft(LiveAircraft& a, const TrafficRecord& r)
{
    if (a.state == AircraftState::LiveryChange || a.state == AircraftState::BeingRemoved)
        return;
    const double heard = a.lastHeardSpeed;
    a.lastHeardSpeed = r.groundSpeed;
    if (!a.samples.empty() && lf_thinnedOut(a, r, heard))
        return;
    if (a.state == AircraftState::New && !gf_passesAirportBand(r.altitude))
        return;
    if (!gf_reportChecks(a, r))
        return;
    a.lastReportTime = r.timestamp;
    gf_addSample(a, tzo::gf_sampleOf(r));
}

void lf_newAircraft(TrafficRecord& r)
{
    if (r.model.empty() && !r.registration.empty()) {
        if (const auto record = gf_findDbaseRecord(r.registration))
            r.model = record->type;
    }
    if (!gf_isKnownModel(r.model)) {
        const std::string& type = gf_typeOfRegcode(r.registration);
        if (type.empty())
            return;
        r.model = type;
    }
    const tzo::AircraftCategory category = gf_modelCategory(r.model);
    if (!gf_categoryWanted(category) || !gf_passesAirportBand(r.altitude))
        return;

    r.firstCallsign = r.callsign;
    r.secondCallsign.clear();
    r.couplesSearched = 0;
    tzo::AircraftRecord record = gf_makeAircraftRecord(r);
    record.category = category;
    record.recordId = r.hexid;
    const tzo::LiveCategoryValues& values = tzo::gf_liveCategoryValues(category);
    record.baseTurnRate = values.baseTurnRate;
    record.turnRate = values.baseTurnRate;
    record.altitudeStep = values.altitudeStep;
    record.towingSpeed = values.towingSpeed;
    liveAircraft.emplace_back(r, std::move(record), r.timestamp);
}

void lf_releaseSlots(std::uint32_t tick)
{
    if (tick % kRemovalSlotTicks != 0)
        return;
    if (!removalQueue.empty()) {
        {
            std::lock_guard lock(simQueueMutex);
            removeQueue.push_back(removalQueue.front());
        }
        removalQueue.pop_front();
    }
    if (tick % kCreationSlotTicks != 0)
        return;
    // Live aircraft go first: a slot in which a live request waits creates
    // nothing static and does not advance the parking plan.
    if (!liveCreateQueue.empty()) {
        gf_queueCreateAircraft(liveCreateQueue.front());
        liveCreateQueue.pop_front();
        return;
    }
    if (!staticCreateQueue.empty()) {
        gf_queueCreateAircraft(staticCreateQueue.front());
        staticCreateQueue.pop_front();
    }
    if (!staticParkingPlan.empty())
        tzo::gf_liveStepHooks().realiseParkingPlan();
}

// An aircraft whose step failed is given up, so that one bad record cannot
// stop the traffic tick after tick.
void lf_giveUp(LiveAircraft& a, const std::exception_ptr& error)
{
    gf_logLineMarked(fmt::format("{} given up: {}", gf_formatStatusLine(a), tzo::gf_exceptionText(error)));
    if (a.objectId != 0 && a.state != AircraftState::BeingRemoved)
        gf_removeAircraft(a);
    else if (a.objectId == 0)
        a.erase = true;
}

// The rate is worked out from reports that may jump (60,000 ft, then 6,000 ft
// a few seconds later): the simulator gets it within what any aircraft does.
// The altitude itself is what the reports say, and they are held to the
// traffic bounds when read.
double lf_sentVerticalSpeed(double feetPerSecond)
{
    constexpr double kSteepest = tzo::kSteepestFeetPerMinute / 60.0;
    return std::clamp(feetPerSecond, -kSteepest, kSteepest);
}

void lf_stepInSimulator(LiveAircraft& a, std::uint32_t tick)
{
    if (!a.samples.empty() && tzo::gf_tickReached(tick, a.samples.front().dueTick)) {
        tzo::gf_liveStepHooks().trackStep(a);
        a.verticalSpeed = a.workingVerticalSpeed / 60.0;
        a.trueAirspeed = !a.samples.empty() && a.samples.front().stationary ? 0.0 : a.workingTrueAirspeed;
    }
    if (a.state != AircraftState::InSimulator)
        return;
    if (!a.samples.empty() && !a.samples.front().stationary)
        tzo::gf_liveStepHooks().moveTick(a);
    positionsFilling.push_back(tzo::PositionUpdate{a.latitude, a.longitude, a.pitch, a.bank, a.heading,
                                                   a.altitude, lf_sentVerticalSpeed(a.verticalSpeed),
                                                   a.trueAirspeed, a.objectId});
}

void lf_movePass(std::uint32_t tick)
{
    bool anyErase = false;
    // By index: a step may append to the table.
    for (std::size_t i = 0; i < liveAircraft.size(); ++i) {
        LiveAircraft& a = liveAircraft[i];
        try {
            if (a.state == AircraftState::InSimulator)
                lf_stepInSimulator(a, tick);
            else if (a.state == AircraftState::New)
                tzo::gf_liveStepHooks().newAircraftStep(a);
        } catch (...) {
            lf_giveUp(liveAircraft[i], std::current_exception());
        }
        anyErase = anyErase || liveAircraft[i].erase;
    }
    if (anyErase) {
        std::vector<std::uint32_t> given;
        for (const LiveAircraft& a : liveAircraft)
            if (a.erase && gf_holdsStand(a))
                given.push_back(a.standId);
        std::erase_if(liveAircraft, [](const LiveAircraft& a) { return a.erase; });
        for (const std::uint32_t standId : given)
            gf_refreshStandOccupied(standId);
    }
    // The fast refresh runs exactly while some aircraft flares: one removed
    // or erased mid-flare must not leave it on.
    gf_updateLandingInProgress();
    gf_handOverPositions();
}

void lf_takeReports()
{
    for (int i = 0; i < kReportsPerTick; ++i) {
        TrafficRecord report;
        if (!trafficQueue.pop(report))
            return;
        const std::uint32_t hexid = report.hexid;
        try {
            gf_takeReport(std::move(report));
        } catch (...) {
            gf_logLineMarked(fmt::format("report of {} dropped: {}", hexid, tzo::gf_exceptionText(std::current_exception())));
        }
    }
}

void lf_requestAircraftAround()
{
    SimConnectResult rc;
    {
        std::lock_guard lock(simQueueMutex);
        rc = SimConnect_RequestDataOnSimObjectType(simConnectHandle.load(), tzo::REQUEST_IN_RANGE,
                                                   tzo::DEFINITION_IN_RANGE, rangeMetres.load(),
                                                   SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    }
    if (rc != SIMCONNECT_S_OK) {
        gf_logLineMarked("SimConnect request ac within range fails");
        gf_simConnectRequestError();
    }
}

// The counter advances whatever the tick met.
struct TickAdvance {
    ~TickAdvance() { liveTickCounter.fetch_add(1); }
};

} // namespace

tzo::LiveAircraft* gf_findLiveAircraft(std::uint32_t recordId)
{
    const auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                 [recordId](const tzo::LiveAircraft& a) { return a.recordId == recordId; });
    return it == liveAircraft.end() ? nullptr : &*it;
}

bool gf_passesAirportBand(double altitudeFt)
{
    return altitudeFt >= 10000.0 || altitudeFt <= 0.0 ||
           std::fabs(altitudeFt - parkAirportElevationFt.load()) > tzo::kAirportBandFt;
}

bool gf_categoryWanted(tzo::AircraftCategory category)
{
    switch (category) {
    case tzo::AircraftCategory::Buzjets:
    case tzo::AircraftCategory::Large:
    case tzo::AircraftCategory::Heavy:
        return true;
    case tzo::AircraftCategory::Light:
        return LIGHT_AIRCRAFT.value();
    case tzo::AircraftCategory::Rotorcraft:
        return HELICOPTERS.value();
    case tzo::AircraftCategory::HighPerf:
        return HIGH_PERF_AIRCRAFT.value();
    }
    return false;
}

void gf_takeReport(TrafficRecord r)
{
    if (LiveAircraft* a = gf_findLiveAircraft(r.hexid)) {
        lf_updateAircraft(*a, r);
        return;
    }
    if (!r.callsign.empty() && std::any_of(liveAircraft.begin(), liveAircraft.end(), [&](const LiveAircraft& a) {
            return a.callsign == r.callsign && a.model == r.model;
        }))
        return;
    lf_newAircraft(r);
}

void gf_buildCreateRequest(std::uint32_t recordId)
{
    const LiveAircraft* a = gf_findLiveAircraft(recordId);
    if (a == nullptr)
        return;
    tzo::CreateRequest request;
    request.position.Latitude = a->latitude;
    request.position.Longitude = a->longitude;
    request.position.Altitude = a->altitude;
    request.position.Pitch = a->pitch * kDegreesPerRadian;
    request.position.Bank = a->bank * kDegreesPerRadian;
    request.position.Heading = a->heading * kDegreesPerRadian;
    const bool airborne = a->samples.empty() ? !a->onGround : a->samples.front().airborne;
    request.position.OnGround = airborne ? 0 : 1;
    request.position.Airspeed = 0;
    request.callsign = a->callsign;
    request.liveryTitle = a->liveryTitle;
    request.recordId = a->recordId;
    liveCreateQueue.push_back(std::move(request));
}

void gf_liveTraffic()
{
    const TickAdvance advance;
    const std::uint32_t tick = liveTickCounter.load();

    tzo::gf_liveStepHooks().processSimNotifications();
    lf_movePass(tick);
    lf_releaseSlots(tick);
    lf_takeReports();

    if (!idsToCreate.empty()) {
        const std::uint32_t id = idsToCreate.back();
        idsToCreate.pop_back();
        gf_buildCreateRequest(id);
    }

    const std::uint32_t interval = landingInProgress ? kLandingRequestTicks : kSecondTicks;
    if (tick % interval == 0 && !simErrorFlag.load())
        lf_requestAircraftAround();

    if (tick % kSecondTicks == 0) {
        gf_sendPositionToRealTraffic(userAircraft);
        userAircraft = gf_requestUserAircraftState();
    }
}

void gf_setFlightRunning(bool running)
{
    trafficQueue.setIntakeOpen(running);
}

void gf_resetTraffic()
{
    gf_clearParkAirportState();
    trafficReader.clearParkAirport();
    tzo::gf_clearSimNotifications();
    pendingLights.clear();
    ghostTexts.clear();
    staticParkingPlan.clear();
    liveLiveryCache.clear();
    idsToCreate.clear();
    removalQueue.clear();
    liveCreateQueue.clear();
    staticCreateQueue.clear();
    staticAircraft.clear();
    trafficQueue.clear();
    landingInProgress = false;
    liveAircraft.clear();
    gf_clearParkPositions();
    qnhValue.store(1013);
    standUpdateCount.store(0);
    noMatches.clear();
    // Not in the list the exit was written against, but just as much the old
    // run's: an arrival id or a learning mark of an aircraft that is gone.
    newLiveIds.clear();
    softLearningThrottle.clear();
    coupleSearchIds.clear();
    // What static parking hands the stand tests.
    fitCallsignExclusions.clear();
    duplicateCallsigns.clear();
    realFitOffset = 0;
    softFitOffset = -1;
    staticParkedMeanHours.store(-1.0f);
    liveParkedMeanHours.store(-1.0f);
    wantedParkedShown.store(0);
    gf_resetStaticRecordIds();
    gf_resetUserCollisionMark();
    userAircraft = tzo::UserAircraftState{};
}
