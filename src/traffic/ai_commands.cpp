#include "traffic/ai_commands.hpp"

#include "airports/park_positions.hpp"
#include "foundation/random.hpp"
#include "foundation/settings.hpp"
#include "simconnect/sim_ids.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"

#include <algorithm>
#include <array>
#include <mutex>
#include <stdexcept>

namespace {

constexpr std::uint32_t kFullScale = 16383;
// Flaps state 4 is a fresh record's: fully up like 0, but a state of its own
// so that the first command of 0 after creation is sent.
constexpr std::array<std::uint32_t, 5> kFlapsValues = {0, 3072, 10240, 16383, 0};
// 0, 30, 50, 70 and 100 % of full scale, rounded down; state 5 is "not set".
constexpr std::array<std::uint32_t, 5> kThrottleValues = {0, 4914, 8191, 11468, 16383};
constexpr std::uint32_t kThrottleNotSet = 5;

bool lf_isRotorcraft(const tzo::AircraftRecord& a)
{
    return a.category == tzo::AircraftCategory::Rotorcraft;
}

void lf_appendEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t value)
{
    std::lock_guard lock(simQueueMutex);
    eventQueue.push_back(tzo::EventCommand{objectId, eventId, value});
}

[[noreturn]] void lf_outOfRange()
{
    throw std::out_of_range("invalid array<T, N> subscript");
}

} // namespace

void gf_setSpoilers(tzo::AircraftRecord& aircraft, bool on)
{
    if (!lf_isRotorcraft(aircraft))
        lf_appendEvent(aircraft.objectId, tzo::SPOILERS_SET, on ? kFullScale : 0);
}

void gf_setFlaps(tzo::AircraftRecord& aircraft, std::uint32_t state)
{
    if (state >= kFlapsValues.size())
        lf_outOfRange();
    if (state == aircraft.flapsState || lf_isRotorcraft(aircraft))
        return;
    lf_appendEvent(aircraft.objectId, tzo::FLAPS_SET, kFlapsValues[state]);
    aircraft.flapsState = state;
}

void gf_setGear(tzo::AircraftRecord& aircraft, std::uint8_t down)
{
    if (!lf_isRotorcraft(aircraft))
        lf_appendEvent(aircraft.objectId, tzo::GEAR_SET, down);
}

void gf_setThrottle(tzo::AircraftRecord& aircraft, std::uint32_t state)
{
    if (state > kThrottleNotSet)
        lf_outOfRange();
    if (state == aircraft.throttleState)
        return;
    if (state != kThrottleNotSet)
        lf_appendEvent(aircraft.objectId, tzo::THROTTLE_SET, kThrottleValues[state]);
    aircraft.throttleState = state;
}

void gf_shutdownAtStand(tzo::AircraftRecord& aircraft)
{
    gf_setThrottle(aircraft, 0);
    gf_setFlaps(aircraft, 0);
    gf_queueEngineShutdown(aircraft.objectId);
    tzo::LightStates lights;
    lights.nav = NAV_LIGHTS_WHILE_PARKED.value() ? 1 : 0;
    lights.logo = 1;
    if (aircraft.standIsCargo)
        lights.cabin = 0;
    else if (RANDOM.value())
        lights.cabin = threadRandomEngine()() % 10 == 9 ? 0 : 1; // one cabin in ten stays dark
    else
        lights.cabin = 1;
    gf_queueLights(aircraft.objectId, lights);
}

tzo::ParkPos* lf_findStandByName(std::string_view name)
{
    const auto it = std::find_if(parkPositions.begin(), parkPositions.end(),
                                 [name](const tzo::ParkPos& s) { return s.name == name; });
    return it == parkPositions.end() ? nullptr : &*it;
}

bool lf_passSoftLearningThrottle(DayHour now, std::uint32_t recordId)
{
    const auto it = std::find_if(softLearningThrottle.begin(), softLearningThrottle.end(),
                                 [recordId](const tzo::SoftLearningMark& m) { return m.recordId == recordId; });
    if (it == softLearningThrottle.end()) {
        gf_noteSoftLearning(recordId, now.hh);
        return true;
    }
    if ((now.hh + 48 - it->halfHour) % 48 < 3)
        return false;
    it->halfHour = now.hh;
    return true;
}

void lf_markAdjacentStands(tzo::ParkPos& stand)
{
    stand.taken = true;
    for (const std::uint32_t id : stand.adjacent)
        if (tzo::ParkPos* next = gf_standById(id))
            next->adjacentBlocked = true;
}
