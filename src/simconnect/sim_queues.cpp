#include "simconnect/sim_queues.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/log.hpp"
#include "foundation/time.hpp"
#include "simconnect/connection.hpp"
#include "simconnect/sim_creations.hpp"
#include "simconnect/sim_dispatch.hpp"
#include "simconnect/sim_ids.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <chrono>
#include <unordered_set>

using tzo::CreateRequest;
using tzo::EventCommand;
using tzo::LightStates;
using tzo::PendingCreation;
using tzo::PositionUpdate;
using tzo::UserAircraftState;

std::atomic<SimConnectHandle> simConnectHandle{nullptr};

std::mutex simQueueMutex;
std::vector<PositionUpdate> positionsFilling;
std::vector<PositionUpdate> positionsToSend;
std::vector<EventCommand> eventQueue;
std::vector<CreateRequest> createQueue;
std::vector<std::uint32_t> removeQueue;
std::vector<PendingCreation> pendingCreations;

std::atomic<std::int32_t> simRequestErrorCount{0};
std::atomic<bool> simErrorFlag{false};
std::atomic<std::uint32_t> userObjectId{kUserObjectIdBeforeAnswer};
std::atomic<float> simFrameRate{0.0f};

namespace {

// The dispatch writes the user state while other threads copy it; a copy is
// always one whole answer.
std::mutex g_userStateMutex;
UserAircraftState g_receivedUserState;

void lf_queueEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t value)
{
    eventQueue.push_back(EventCommand{objectId, eventId, value});
}

// A simulator that stops reading while a crowd flies gets its packets
// refused by the dozen every frame. Each kind is said at once, the first
// time, with the aircraft concerned; after that the refusals are counted,
// with the aircraft, and said when they are over (a packet of the kind went
// again) or a minute after the last line: at most two lines a minute.
class RefusalNotice {
public:
    using Say = void (*)(const std::string& line);
    // The line for count refusals over seconds, for the aircraft named.
    using Summary = std::string (*)(std::uint64_t count, std::int64_t seconds, const std::string& aircraft);

    RefusalNotice(Say say, Summary summary) : m_say(say), m_summary(summary) {}

    // firstLine() is the line of a refusal said on its own.
    template <typename FirstLine>
    void refused(const std::string& aircraft, FirstLine&& firstLine)
    {
        std::string line;
        {
            std::lock_guard lock(m_mutex);
            const auto now = Clock::now();
            if (!m_refusing && m_held == 0 && lf_maySay(now)) {
                line = firstLine();
            } else {
                if (m_held++ == 0)
                    m_heldSince = now;
                if (m_concerned.insert(aircraft).second && m_named.size() < kNamed)
                    m_named.push_back(aircraft);
                line = lf_heldLineDue(now);
            }
            m_refusing = true;
        }
        lf_say(line);
    }
    // A packet of the kind went: the refusals are over.
    void sent()
    {
        std::string line;
        {
            std::lock_guard lock(m_mutex);
            if (!m_refusing)
                return;
            m_refusing = false;
            if (m_held != 0 && lf_maySay(Clock::now()))
                line = lf_heldLine(Clock::now());
        }
        lf_say(line);
    }
    // Every frame: a count held for a minute is said.
    void tick()
    {
        std::string line;
        {
            std::lock_guard lock(m_mutex);
            if (m_held == 0)
                return;
            line = lf_heldLineDue(Clock::now());
        }
        lf_say(line);
    }
    // The connection ends: what is held is said, and the next refusal is new.
    void finish()
    {
        std::string line;
        {
            std::lock_guard lock(m_mutex);
            if (m_held != 0)
                line = lf_heldLine(Clock::now());
            m_refusing = false;
            m_started = false;
        }
        lf_say(line);
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::minutes kPeriod{1};
    static constexpr std::size_t kLinesPerPeriod = 2;
    static constexpr std::size_t kNamed = 8;

    bool lf_maySay(Clock::time_point now)
    {
        if (!m_started || now - m_periodStart >= kPeriod) {
            m_started = true;
            m_periodStart = now;
            m_linesSaid = 0;
        }
        if (m_linesSaid >= kLinesPerPeriod)
            return false;
        ++m_linesSaid;
        return true;
    }
    std::string lf_heldLineDue(Clock::time_point now)
    {
        if (m_started && now - m_periodStart < kPeriod)
            return {};
        return lf_maySay(now) ? lf_heldLine(now) : std::string();
    }
    std::string lf_heldLine(Clock::time_point now)
    {
        std::string aircraft = fmt::format("{}", fmt::join(m_named, ", "));
        if (m_concerned.size() > m_named.size())
            aircraft += fmt::format(" and {} other aircraft", m_concerned.size() - m_named.size());
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - m_heldSince).count();
        std::string line = m_summary(m_held, std::max<std::int64_t>(seconds, 1), aircraft);
        m_held = 0;
        m_named.clear();
        m_concerned.clear();
        return line;
    }
    void lf_say(const std::string& line)
    {
        if (!line.empty())
            m_say(line);
    }

    Say m_say;
    Summary m_summary;
    std::mutex m_mutex;
    bool m_refusing = false;
    bool m_started = false;
    Clock::time_point m_periodStart{};
    std::size_t m_linesSaid = 0;
    std::uint64_t m_held = 0;
    Clock::time_point m_heldSince{};
    std::vector<std::string> m_named;
    std::unordered_set<std::string> m_concerned;
};

// The event lines are the status line's, as each refusal's was; the others Log.txt's.
RefusalNotice g_refusedEvents{
    [](const std::string& line) { gf_showStatus(line, true); },
    [](std::uint64_t count, std::int64_t seconds, const std::string& aircraft) {
        return fmt::format("SimConnect TransmitClientEvent: {} more failed in {} s, for {}", count, seconds,
                           aircraft);
    }};
RefusalNotice g_refusedCreations{
    [](const std::string& line) { gf_logLine(line); },
    [](std::uint64_t count, std::int64_t seconds, const std::string& aircraft) {
        return fmt::format("! Simcon call to create ac in sim failed {} more times in {} s, the simulator took no "
                           "more; given up: {}",
                           count, seconds, aircraft);
    }};
RefusalNotice g_refusedRemovals{
    [](const std::string& line) { gf_logLine(line); },
    [](std::uint64_t count, std::int64_t seconds, const std::string& aircraft) {
        return fmt::format("{}!Simconnect call to remove AI ac from sim failed {} more times in {} s, the simulator "
                           "took no more; sent again: {}",
                           gf_nowUtcText(), count, seconds, aircraft);
    }};

RefusalNotice g_refusedRequests{
    [](const std::string& line) { gf_logLineMarked(line); },
    [](std::uint64_t count, std::int64_t seconds, const std::string& aircraft) {
        return fmt::format("SimConnect requests failed {} more times in {} s, the simulator took no more: {}",
                           count, seconds, aircraft);
    }};

constexpr std::string_view kUserAircraft = "the user's aircraft";

} // namespace

namespace tzo {

bool gf_isNearZero(double latitude, double longitude)
{
    return latitude >= 0.0 && latitude <= 0.0009 && longitude >= 0.0 && longitude <= 0.05;
}

} // namespace tzo

void gf_queueCreateAircraft(const CreateRequest& request)
{
    std::lock_guard lock(simQueueMutex);
    createQueue.push_back(request);
}

void gf_queueEngineShutdown(std::uint32_t objectId)
{
    std::lock_guard lock(simQueueMutex);
    lf_queueEvent(objectId, tzo::ENGINE_AUTO_SHUTDOWN, 0);
}

void gf_queueEngineStart(std::uint32_t objectId)
{
    std::lock_guard lock(simQueueMutex);
    lf_queueEvent(objectId, tzo::ENGINE_AUTO_START, 0);
}

void gf_queueLights(std::uint32_t objectId, const LightStates& lights)
{
    std::lock_guard lock(simQueueMutex);
    lf_queueEvent(objectId, tzo::NAV_LIGHTS_SET, lights.nav);
    lf_queueEvent(objectId, tzo::BEACON_LIGHTS_SET, lights.beacon);
    lf_queueEvent(objectId, tzo::LANDING_LIGHTS_SET, lights.landing);
    lf_queueEvent(objectId, tzo::TAXI_LIGHTS_SET, lights.taxi);
    lf_queueEvent(objectId, tzo::STROBES_SET, lights.strobes);
    lf_queueEvent(objectId, tzo::LOGO_LIGHTS_SET, lights.logo);
    lf_queueEvent(objectId, tzo::CABIN_LIGHTS_SET, lights.cabin);
}

void gf_queueNavLights(std::uint32_t objectId, std::uint32_t value)
{
    std::lock_guard lock(simQueueMutex);
    lf_queueEvent(objectId, tzo::NAV_LIGHTS_SET, value);
}

void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t value)
{
    std::lock_guard lock(simQueueMutex);
    lf_queueEvent(objectId, tzo::CABIN_LIGHTS_SET, value);
}

void gf_setAiGroundData(std::uint32_t objectId, double spoilersPercent, double throttlePercent)
{
    if (objectId <= userObjectId.load() || simErrorFlag.load())
        return;
    const double data[3] = {spoilersPercent, throttlePercent, throttlePercent};
    std::lock_guard lock(simQueueMutex);
    const SimConnectHandle handle = simConnectHandle.load();
    if (handle != nullptr)
        SimConnect_SetDataOnSimObject(handle, tzo::DEFINITION_AI_THROTTLES, objectId, 0, 0, sizeof data, data);
}

void lf_releaseAndFreeze(std::uint32_t objectId)
{
    std::lock_guard lock(simQueueMutex);
    SimConnect_AIReleaseControl(simConnectHandle.load(), objectId, tzo::REQUEST_RELEASE);
    lf_queueEvent(objectId, tzo::FREEZE_LATITUDE_LONGITUDE_SET, 1);
    lf_queueEvent(objectId, tzo::FREEZE_ALTITUDE_SET, 1);
    lf_queueEvent(objectId, tzo::FREEZE_ATTITUDE_SET, 1);
}

void gf_handOverPositions()
{
    std::unique_lock lock(simQueueMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        // A slow simulator is still taking the previous burst: this tick's
        // positions are not worth a stall of the main loop.
        if (simFrameRate.load() <= 50.0f) {
            positionsFilling.clear();
            return;
        }
        lock.lock();
    }
    std::swap(positionsFilling, positionsToSend);
    positionsFilling.clear();
}

UserAircraftState gf_requestUserAircraftState()
{
    if (!simErrorFlag.load()) {
        SimConnectResult rc;
        {
            std::lock_guard lock(simQueueMutex);
            rc = SimConnect_RequestDataOnSimObject(simConnectHandle.load(), tzo::REQUEST_USER_STATE,
                                                   tzo::DEFINITION_USER_STATE, SIMCONNECT_OBJECT_ID_USER,
                                                   SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
        }
        if (rc != SIMCONNECT_S_OK)
            lf_requestFailed(rc, "SimConnect request user ac position fails", std::string(kUserAircraft));
        else
            g_refusedRequests.sent();
    }
    return gf_receivedUserState();
}

UserAircraftState gf_receivedUserState()
{
    std::lock_guard lock(g_userStateMutex);
    return g_receivedUserState;
}

void lf_storeReceivedUserState(const UserAircraftState& state)
{
    std::lock_guard lock(g_userStateMutex);
    g_receivedUserState = state;
}

void gf_requestUserTitleAndModel()
{
    SimConnectResult title;
    SimConnectResult model;
    {
        std::lock_guard lock(simQueueMutex);
        const SimConnectHandle handle = simConnectHandle.load();
        title = SimConnect_RequestDataOnSimObject(handle, tzo::REQUEST_USER_TITLE, tzo::DEFINITION_USER_TITLE,
                                                  SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
        model = SimConnect_RequestDataOnSimObject(handle, tzo::REQUEST_USER_MODEL, tzo::DEFINITION_USER_MODEL,
                                                  SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    }
    if (title != SIMCONNECT_S_OK)
        lf_requestFailed(title, "SimConnect request user ac title fails", std::string(kUserAircraft));
    if (model != SIMCONNECT_S_OK)
        lf_requestFailed(model, "SimConnect reques user ac model fails", std::string(kUserAircraft));
}

void lf_requestFailed(SimConnectResult rc, std::string_view line, const std::string& aircraft)
{
    if (rc != SIMCONNECT_E_OUTOFMEMORY) {
        gf_logLineMarked(line);
        gf_simConnectRequestError();
        return;
    }
    // Nothing reached the simulator, which is only slow: the answer waited
    // for stays the one before, and there is no simulator error to count.
    g_refusedRequests.refused(aircraft, [&] {
        return fmt::format("{}, for {}: the simulator takes no more for now", line, aircraft);
    });
}

void gf_simConnectRequestError()
{
    const std::int32_t count = simRequestErrorCount.fetch_add(1) + 1;
    if (count < 3)
        return;
    gf_showStatus(fmt::format("SimConnect request error {}, see Log.txt", count), true);
    simErrorFlag.store(true);
    gf_requestExit(ExitReason::RESTART, 10);
}

void lf_flushSimQueues()
{
    std::unique_lock lock(simQueueMutex, std::try_to_lock);
    if (!lock.owns_lock())
        return; // the queues wait for the next frame; the dispatch never waits
    if (simErrorFlag.load()) {
        positionsToSend.clear();
        eventQueue.clear();
        createQueue.clear();
        removeQueue.clear();
        return;
    }
    const SimConnectHandle handle = simConnectHandle.load();
    const std::uint32_t user = userObjectId.load();
    g_refusedEvents.tick();
    g_refusedCreations.tick();
    g_refusedRemovals.tick();
    g_refusedRequests.tick();
    // Every packet of the frame is its own flush as ever; they leave together.
    const tzo::SimConnectWriteBurst burst(handle);

    for (const PositionUpdate& p : positionsToSend) {
        if (p.objectId <= user)
            continue;
        const double data[8] = {p.latitude, p.longitude, p.pitch,         p.bank,
                                p.heading,  p.altitude,  p.verticalSpeed, p.trueAirspeed};
        SimConnect_SetDataOnSimObject(handle, tzo::DEFINITION_AI_POSITION, p.objectId, 0, 0, sizeof data, data);
    }
    positionsToSend.clear();

    for (const EventCommand& e : eventQueue) {
        // Like positions and removals: the user's aircraft and objects that
        // are not the program's own are never commanded.
        if (e.objectId <= user)
            continue;
        const bool flaps = e.eventId == tzo::FLAPS_SET;
        // The AI pilot would take the flaps straight back; released around
        // the event they stay where they are put.
        if (flaps)
            SimConnect_AIReleaseControl(handle, e.objectId, tzo::REQUEST_RELEASE);
        const SimConnectResult rc =
            SimConnect_TransmitClientEvent(handle, e.objectId, e.eventId, e.value, tzo::GROUP_ALL, 0);
        if (rc != SIMCONNECT_S_OK) {
            const std::string aircraft = lf_aircraftOfObject(e.objectId);
            g_refusedEvents.refused(aircraft, [&] {
                return fmt::format("SimConnect TransmitClientEvent: {} fails, for {}", e.eventId, aircraft);
            });
        } else {
            g_refusedEvents.sent();
            if (flaps)
                SimConnect_AIReleaseControl(handle, e.objectId, tzo::REQUEST_RELEASE);
        }
    }
    eventQueue.clear();

    for (const CreateRequest& c : createQueue)
        lf_createAiAircraft(c);
    createQueue.clear();

    // A removal that could not go now goes with a later frame.
    std::erase_if(removeQueue, [](std::uint32_t id) { return lf_removeAiAircraft(id); });
}

void lf_createAiAircraft(const CreateRequest& request)
{
    const std::string title(request.liveryTitle);
    const SimConnectHandle handle = simConnectHandle.load();
    const std::uint32_t requestId = lf_nextCreationRequestId();
    const SimConnectResult rc = SimConnect_AICreateNonATCAircraft(handle, title.c_str(), request.callsign.c_str(),
                                                                  request.position, requestId);
    if (rc == SIMCONNECT_E_OUTOFMEMORY) {
        // The simulator reads too slowly to take it: nothing left, so no
        // answer will come and it is no simulator error. The record may ask
        // again.
        g_refusedCreations.refused(request.callsign, [&] {
            return fmt::format("! Simcon call to create ac in sim failed, hexid:{}, liv: \"{}\", callsign: {}: the "
                               "simulator takes no more for now; given up",
                               request.recordId, title, request.callsign);
        });
        if (request.recordId != 0)
            tzo::gf_pushSimNotification(
                tzo::SimNotification{0, request.recordId, 0, tzo::NOTIFY_CREATION_GIVEN_UP, 0.0, 0.0});
        return;
    }
    if (rc != SIMCONNECT_S_OK) {
        gf_logLine(fmt::format("! Simcon call to create ac in sim failed, hexid:{}, liv: \"{}\", callsign: {}",
                               request.recordId, title, request.callsign));
        if (rc == SIMCONNECT_E_TEXT_TOO_LONG) {
            // Our own texts did not fit: nothing reached the simulator, so it
            // is no simulator error, and no answer will ever come. The main
            // loop must hear of it or the aircraft waits for ever.
            if (request.recordId != 0)
                tzo::gf_pushSimNotification(
                    tzo::SimNotification{0, request.recordId, 0, tzo::NOTIFY_CREATE_FAILED, 0.0, 0.0});
        } else {
            // Nothing left on this connection either; the restart that the
            // errors bring takes the record's object away in any case.
            if (request.recordId != 0)
                tzo::gf_pushSimNotification(
                    tzo::SimNotification{0, request.recordId, 0, tzo::NOTIFY_CREATION_GIVEN_UP, 0.0, 0.0});
            gf_simConnectRequestError();
        }
        return;
    }
    g_refusedCreations.sent();
    std::uint32_t sendId = 0;
    if (SimConnect_GetLastSentPacketID(handle, &sendId) != SIMCONNECT_S_OK) {
        gf_logLineMarked("GetLastSentPacketID");
        sendId = 0;
    }
    pendingCreations.push_back(
        PendingCreation{sendId, request.recordId, request.callsign, requestId, 0, lf_simSecondsCounted()});
}

bool lf_removeAiAircraft(std::uint32_t objectId)
{
    if (objectId <= userObjectId.load()) {
        gf_logLine(fmt::format("{}!Simconnect call to remove AI ac with objectId {}", gf_nowUtcText(), objectId));
        return true;
    }
    const SimConnectResult rc = SimConnect_AIRemoveObject(simConnectHandle.load(), objectId, tzo::REQUEST_REMOVE);
    if (rc == SIMCONNECT_E_OUTOFMEMORY) {
        // The simulator reads too slowly to take it: it waits for room.
        const std::string aircraft = lf_aircraftOfObject(objectId);
        g_refusedRemovals.refused(aircraft, [&] {
            return fmt::format("{}!Simconnect call to remove AI ac from sim failed, id {}? ({}): the simulator "
                               "takes no more for now; sent again later",
                               gf_nowUtcText(), objectId, aircraft);
        });
        return false;
    }
    if (rc != SIMCONNECT_S_OK) {
        gf_logLine(
            fmt::format("{}!Simconnect call to remove AI ac from sim failed, id {}?", gf_nowUtcText(), objectId));
        gf_simConnectRequestError();
        return true;
    }
    g_refusedRemovals.sent();
    return true;
}

void gf_reserveSimContainers()
{
    {
        std::lock_guard lock(simQueueMutex);
        positionsFilling.reserve(256);
        positionsToSend.reserve(256);
        createQueue.reserve(256);
        removeQueue.reserve(256);
        pendingCreations.reserve(256);
    }
    lf_reserveAddedObjects(256);
    simErrorFlag.store(false);
}

void gf_resetSimConnection()
{
    {
        std::lock_guard lock(simQueueMutex);
        pendingCreations.clear();
        simConnectHandle.store(nullptr);
        positionsFilling.clear();
        positionsToSend.clear();
        createQueue.clear();
        removeQueue.clear();
        eventQueue.clear();
    }
    g_refusedEvents.finish();
    g_refusedCreations.finish();
    g_refusedRemovals.finish();
    g_refusedRequests.finish();
    userObjectId.store(kUserObjectIdBeforeAnswer);
    simRequestErrorCount.store(0);
    simFrameRate.store(0.0f);
    lf_storeReceivedUserState(UserAircraftState{});
    lf_resetDispatchState();
    lf_resetCreations();
    // What was not taken yet names objects of the old connection, which the
    // simulator removed with it.
    tzo::gf_clearSimNotifications();
}
