// Bytes as traffic lines (one per line of the input) through the traffic
// reader, then the live traffic driver's ticks against a simulator that
// creates and removes every object asked for, a second with the user airborne
// among the aircraft, and the extrapolation after the reports end. Nothing
// may hang (run with a per-input time limit), crash, overflow or turn a
// number into an integer it does not fit, and nothing sent to the simulator
// (a creation, a position) holds a number that is not finite or lies beyond
// what any aircraft reports.

#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_maps.hpp"
#include "liveries/scanned_liveries.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "realtraffic/traffic_reader.hpp"
#include "refdata/dbase.hpp"
#include "simconnect/sim_notifications.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/collisions.hpp"
#include "traffic/live_traffic.hpp"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <mutex>
#include <numbers>
#include <string_view>
#include <vector>

// Undefined behaviour is a finding, not a line on the terminal.
extern "C" const char* __ubsan_default_options()
{
    return "halt_on_error=1:print_stacktrace=1";
}

namespace {

constexpr double kZurichLatitude = 47.4647;
constexpr double kZurichLongitude = 8.5492;
constexpr double kZurichElevationFt = 1416.0;
constexpr std::size_t kMostLines = 64;
constexpr std::size_t kLongestLine = 16383;

std::uint32_t g_nextObjectId = 100;

bool lf_setUp()
{
    g_validModels = {"A320", "B744", "C172", "EC35"};
    g_largeModels = {"A320"};
    g_heavyModels = {"B744"};
    g_rotorcraftModels = {"EC35"};
    tzo::scannedLiveries = {
        tzo::LiveryData{"SWR", "A320", "Swiss A320", "HB-JLT", 1, false},
        tzo::LiveryData{"DLH", "B744", "Lufthansa B744", "", 1, false},
        tzo::LiveryData{"PVT", "C172", "Private C172", "", 1, false},
        tzo::LiveryData{"ZZZ", "A320", "Generic A320", "", 1, false},
        tzo::LiveryData{"ZZZ", "EC35", "Generic EC35", "", 1, false},
    };
    tzo::gf_processScannedLiveries();
    LIGHT_AIRCRAFT.setValue(true);
    HELICOPTERS.setValue(true);
    COLLISION_USER_AIR.setValue(true);
    rangeNm = 40.0;
    trafficReader.setUserPosition(kZurichLatitude, kZurichLongitude);
    trafficReader.setParkAirport(kZurichLatitude, kZurichLongitude);
    trafficReader.setParkAirportElevation(kZurichElevationFt);
    return true;
}

// The bounds written out here rather than taken from the program, so that
// loosening the program's bounds is a finding too.
bool lf_within(double value, double low, double high)
{
    return std::isfinite(value) && value >= low && value <= high;
}

bool lf_onTheWorld(double latitude, double longitude)
{
    return lf_within(latitude, -90.0, 90.0) && lf_within(longitude, -180.0, 180.0);
}

// A creation names its attitude in degrees.
void lf_trapUnlessSane(const tzo::CreateRequest& c)
{
    const SimConnectInitPosition& p = c.position;
    if (!lf_onTheWorld(p.Latitude, p.Longitude) || !lf_within(p.Altitude, -2000.0, 150000.0) ||
        !lf_within(p.Pitch, -180.0, 180.0) || !lf_within(p.Bank, -180.0, 180.0) ||
        !lf_within(p.Heading, -360.0, 360.0) || p.Airspeed > 4000) {
        std::fprintf(stderr, "creation of %u: %.9g %.9g, pitch %.9g, bank %.9g, heading %.9g, %.9g ft, %u kt\n",
                     c.recordId, p.Latitude, p.Longitude, p.Pitch, p.Bank, p.Heading, p.Altitude, p.Airspeed);
        __builtin_trap();
    }
}

// A position names its attitude in radians and its vertical speed in feet a
// second.
void lf_trapUnlessSane(const tzo::PositionUpdate& u)
{
    constexpr double kPi = std::numbers::pi;
    if (!lf_onTheWorld(u.latitude, u.longitude) || !lf_within(u.altitude, -2000.0, 150000.0) ||
        !lf_within(u.pitch, -kPi, kPi) || !lf_within(u.bank, -kPi, kPi) || !lf_within(u.heading, -2.0 * kPi, 2.0 * kPi) ||
        !lf_within(u.verticalSpeed, -1000.0, 1000.0) || !lf_within(u.trueAirspeed, 0.0, 4000.0)) {
        std::fprintf(stderr, "position of %u: %.9g %.9g, pitch %.9g, bank %.9g, heading %.9g, %.9g ft, %.9g ft/s, %.9g kt\n",
                     u.objectId, u.latitude, u.longitude, u.pitch, u.bank, u.heading, u.altitude, u.verticalSpeed,
                     u.trueAirspeed);
        __builtin_trap();
    }
}

// What the simulator does with what the driver sent in a frame: every
// creation makes an object at once, every removal takes one away.
void lf_simulatorFrame()
{
    std::vector<tzo::CreateRequest> creations;
    std::vector<std::uint32_t> removals;
    {
        std::lock_guard lock(simQueueMutex);
        creations.swap(createQueue);
        removals.swap(removeQueue);
        positionsToSend.clear();
        eventQueue.clear();
    }
    for (const auto& c : creations) {
        lf_trapUnlessSane(c);
        const auto kind = c.recordId > 10000 ? tzo::NOTIFY_LIVE_CREATED : tzo::NOTIFY_STATIC_CREATED;
        tzo::gf_pushSimNotification({g_nextObjectId++, c.recordId, 0, kind, 0.0, 1000.0});
    }
    for (const std::uint32_t id : removals)
        tzo::gf_pushSimNotification({id, 0, 0, tzo::NOTIFY_REMOVED, 0.0, 0.0});
}

void lf_ticks(int count)
{
    for (int i = 0; i < count; ++i) {
        gf_liveTraffic();
        // Each tick hands over a new set of positions, whether or not a frame
        // took the last one.
        {
            std::lock_guard lock(simQueueMutex);
            for (const tzo::PositionUpdate& u : positionsToSend)
                lf_trapUnlessSane(u);
        }
        if (i % 2 == 1)
            lf_simulatorFrame();
    }
}

// The user's state as the simulator answers it: the driver takes its copy
// from that answer every second.
void lf_placeUser(double latitude, double longitude, double altitude)
{
    tzo::UserAircraftState user;
    user.latitude = latitude;
    user.longitude = longitude;
    user.altitude = altitude;
    user.altitudeAboveGround = altitude - kZurichElevationFt;
    user.groundSpeed = 140.0;
    user.heading = 1.0;
    lf_storeReceivedUserState(user);
    userAircraft = user;
    userOnGround.store(false);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = lf_setUp();
    (void)ready;

    gf_resetTraffic();
    tzo::gf_clearSimNotifications();
    {
        std::lock_guard lock(simQueueMutex);
        createQueue.clear();
        removeQueue.clear();
    }
    liveTickCounter.store(0);
    trafficQueue.setIntakeOpen(true);
    lf_placeUser(kZurichLatitude, kZurichLongitude, 4000.0);

    // Each line as the receive loop hands a datagram on: up to its first NUL.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 0;
    for (std::size_t start = 0; start < input.size() && lines < kMostLines; ++lines) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos)
            end = input.size();
        std::string_view line = input.substr(start, std::min(end - start, kLongestLine));
        if (const auto nul = line.find('\0'); nul != std::string_view::npos)
            line = line.substr(0, nul);
        trafficReader.handleDatagramText(line);
        start = end + 1;
    }

    // The reports taken in; then on to when they are due, the aircraft made,
    // created and given their first two seconds.
    lf_ticks(40);
    liveTickCounter.fetch_add(2900);
    lf_ticks(400);

    // A second with the user airborne where the first aircraft is.
    if (!liveAircraft.empty()) {
        const tzo::LiveAircraft& first = liveAircraft.front();
        lf_placeUser(first.latitude, first.longitude, first.altitude);
    }
    lf_ticks(100);
    for (tzo::LiveAircraft& a : liveAircraft)
        if (gf_avoidUserCollisionAir(a))
            break;

    // The reports end: what the aircraft do on their own.
    liveTickCounter.fetch_add(3000);
    lf_ticks(200);
    return 0;
}
