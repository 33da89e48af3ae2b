#include "app/main_loop.hpp"

#include "app/program_tick_work.hpp"
#include "foundation/app_hooks.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <mutex>
#include <thread>

namespace tzo {

TickClock::Clock::time_point SteadyTickClock::now()
{
    return Clock::now();
}

void SteadyTickClock::sleepUntil(Clock::time_point deadline)
{
    std::this_thread::sleep_until(deadline);
}

MainLoop::MainLoop(TickWork& work, TickClock& clock) : m_work(work), m_clock(clock) {}

void MainLoop::run(std::stop_token stop)
{
    const RunningThreadCount counted;
    try {
        m_work.checkReadersAlive();
        gf_flushLog();
        secondsCounter.store(0);
        auto deadline = m_clock.now() + kTickPeriod;
        nowDayHour.store(gf_currentDayHour().toU64());
        m_work.createFlightPlanFolder();
        m_work.setFlightRunning(true);  // opens the traffic intake

        while (!stop.stop_requested()) {
            ++m_tickCount;
            try {
                round();
            } catch (...) {
                // One failing tick must not stop the traffic. A fault that
                // repeats every tick is reported at most once a second, so it
                // cannot flood the log.
                if (!m_reportedOnce || m_tickCount - m_lastReportTick >= kIdleTicksPerSecond) {
                    m_reportedOnce = true;
                    m_lastReportTick = m_tickCount;
                    gf_logException("mainLoop");
                }
            }
            const auto remaining =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - m_clock.now());
            if (remaining >= std::chrono::milliseconds(1))
                m_clock.sleepUntil(deadline);
            // A second that arrived during the tick restarts the grid from now,
            // so its work is not delayed by a catch-up; otherwise the grid holds.
            if (secondTick.load())
                deadline = m_clock.now() + kTickPeriod;
            else
                deadline += kTickPeriod;
        }
    } catch (...) {
        gf_logException("mainLoop");
    }
}

void MainLoop::round()
{
    serveWindowRequests();
    if (!flightRunning.load())
        idleRound();
    else
        runningRound();
}

void MainLoop::serveWindowRequests()
{
    if (navLightsPending.exchange(false))
        m_work.queueNavLights();
    if (limitLiveCountPending.exchange(false))
        m_work.limitLiveCount();
    if (updateRangePending.exchange(false) && AUTO_RANGE.value())
        m_work.updateTrafficRange();
}

void MainLoop::idleRound()
{
    if (!m_notRunningShown) {
        m_work.setFlightRunning(false);
        m_notRunningShown = true;
        m_idleCountdown = kIdleTicksPerSecond;
        m_work.emptyPositionBuffers();
        gf_logLine(fmt::format("{} Flight not running", gf_nowUtcText()));
    }
    m_work.processSimNotifications();
    --m_idleCountdown;
    if (m_idleCountdown % kIdleTicksPerSecond == 0) {
        serveReread();
        m_work.sendPositionToRealTraffic();
    }
    if (m_idleCountdown <= 0) {
        m_idleCountdown = kIdleTicksPerSecond;
        m_work.refreshWindowCounters();
        nowDayHour.store(gf_currentDayHour().toU64());
    }
}

void MainLoop::runningRound()
{
    // At once, not with the next second: the reports of that second would
    // be lost.
    if (m_notRunningShown) {
        m_notRunningShown = false;
        gf_logLine(fmt::format("{} Flight resumed", gf_nowUtcText()));
        m_work.setFlightRunning(true);
    }
    m_work.liveTraffic();
    m_work.serveCoupleSearch();
    bool second = true;
    if (!secondTick.compare_exchange_strong(second, false))
        return;

    m_work.advanceStatusClock();
    m_work.refreshWindowCounters();
    nowDayHour.store(gf_currentDayHour().toU64());
    const int seconds = secondsCounter.fetch_add(1) + 1;

    followUpNewLiveAircraft();

    if (flushStaticPending.exchange(false)) {
        m_work.removeAllStatic();
        // Switched on for this run only: the settings file keeps the user's choice.
        if (!INITIAL_LOAD_ONLY.value())
            INITIAL_LOAD_ONLY.setChecked(true);
    }
    avoidUserCollisions();
    avoidParkedLiveCollisions();
    removeBlockedCallsign();
    runIndependentPeriods(runTiers(seconds));
}

void MainLoop::followUpNewLiveAircraft()
{
    if (newLiveIds.empty() || liveAircraft.empty())
        return;
    // An id whose aircraft has left the table will never be found again;
    // keeping it at the head would hold back every later aircraft for good.
    LiveAircraft* aircraft = nullptr;
    while (!newLiveIds.empty() && (aircraft = gf_findLiveAircraft(newLiveIds.front())) == nullptr)
        newLiveIds.pop_front();
    if (aircraft == nullptr)
        return;

    if (aircraft->couplesSearched == 0) {
        m_work.searchCoupledCallsigns(gf_nowDayHour(), *aircraft);
        aircraft->couplesSearched = 1;
    }
    if (!aircraft->callsign.empty()) {
        const std::string_view stem(aircraft->callsign.data(), aircraft->callsign.size() - 1);
        for (AircraftRecord& parked : staticAircraft) {
            if (m_work.removeStaticDuplicate(*aircraft, stem, aircraft->onGround, parked)) {
                m_work.removeAircraft(parked);
                break;
            }
        }
    }
    newLiveIds.pop_front();
}

void MainLoop::avoidUserCollisions()
{
    if (userOnGround.load()) {
        if (COLLISION_USER_GND.value())
            m_work.avoidUserCollisionGround();
        return;
    }
    if (!COLLISION_USER_AIR.value())
        return;
    // At most one removal per second.
    for (LiveAircraft& aircraft : liveAircraft) {
        if (m_work.avoidUserCollisionAir(aircraft))
            break;
    }
}

void MainLoop::avoidParkedLiveCollisions()
{
    if (!COLLISION_LIVE_PARKED_GND.value() || staticAircraft.empty() || liveAircraft.empty())
        return;
    // A static aircraft that came into the simulator since the last pass (the
    // simulator's object ids only grow) may stand in a live aircraft that no
    // longer moves: then every one is tested again.
    std::uint32_t newestStatic = 0;
    for (const AircraftRecord& parked : staticAircraft)
        if (parked.state == AircraftState::InSimulator)
            newestStatic = std::max(newestStatic, parked.objectId);
    const bool staticArrived = newestStatic > m_newestStaticTested;
    m_newestStaticTested = newestStatic;
    bool indexed = false;
    for (LiveAircraft& aircraft : liveAircraft) {
        if (!aircraft.onGround || (aircraft.movementPhase != 2 && aircraft.movementPhase != 5))
            continue;
        if (!staticArrived && aircraft.latitude == aircraft.checkedLatitude &&
            aircraft.longitude == aircraft.checkedLongitude)
            continue;
        if (aircraft.state != AircraftState::InSimulator || aircraft.excludedFromParkedCheck ||
            aircraft.excludedAsPushback)
            continue;
        aircraft.checkedLatitude = aircraft.latitude;
        aircraft.checkedLongitude = aircraft.longitude;
        // Removing a static aircraft leaves both tables where they are.
        if (!indexed) {
            m_nearStatic.rebuild(staticAircraft);
            indexed = true;
        }
        m_nearStatic.candidates(aircraft, m_staticCandidates);
        for (const std::size_t i : m_staticCandidates) {
            if (m_work.avoidCollisionWithLive(aircraft, staticAircraft[i]))
                break;
        }
    }
}

void MainLoop::removeBlockedCallsign()
{
    if (!blockCallsignPending.exchange(false))
        return;
    const std::string callsign = BLOCK_CALLSIGN.value();
    if (callsign.empty())
        return;
    for (LiveAircraft& aircraft : liveAircraft) {
        if (aircraft.callsign == callsign && aircraft.state == AircraftState::InSimulator) {
            m_work.removeAircraft(aircraft);
            break;
        }
    }
}

// Each tier runs only inside the one before it. Answers the seconds counter
// as the independent periods see it (0 after the daily reset).
int MainLoop::runTiers(int seconds)
{
    if (seconds % 5 != 0)
        return seconds;
    m_work.handUserPositionToReader(userAircraft.latitude, userAircraft.longitude);
    if (m_work.realTrafficConnected())
        m_work.sendTimeToRealTraffic();
    if (m_work.reservedStandSet())
        m_work.clearReservedStand();
    serveReread();

    if (seconds % 15 != 0)
        return seconds;
    if (renewalPending.load()) {
        if (!m_renewalStep) {
            m_renewalStep = true;
            m_work.disableControls();
            m_work.startCollectingCallsigns();
        } else {
            m_renewalStep = false;
            gf_clearError();
            gf_clearStatus();
            if (m_work.parkAirportActive() && m_work.parkAirportHasStands())
                m_work.adjustParking();
            renewalPending.store(false);
        }
    }
    if (m_work.readerSilent())
        m_work.checkReadersAlive();

    if (seconds % 30 != 0)
        return seconds;
    if (matchingChanged.exchange(false) && !noMatches.empty()) {
        m_work.logNoMatches();
        gf_logLine(fmt::format("{} No-matches cleared because of matching parameter change", noMatches.size()));
        noMatches.clear();
    }
    if (AUTO_RANGE.value())
        m_work.updateTrafficRange();
    if (rtError.load()) {
        gf_showError("1001: RT error");
        gf_requestExit(ExitReason::SYSTEM_ERROR, 0);
    }
    gf_flushLog();

    if (seconds % 60 != 0)
        return seconds;
    m_work.showMinutesToRenewal(20 - (seconds / 60) % 20);

    if (seconds % 1200 != 0)
        return seconds;
    m_work.logNoMatches();
    // Written, then forgotten: each write shows the last 20 minutes, and a
    // model left out of the list is tried against the liveries again.
    noMatches.clear();
    if (m_work.parkAirportActive() && !INITIAL_LOAD_ONLY.value() && !renewalPending.load())
        renewalPending.store(true);

    if (seconds % 86400 != 0)
        return seconds;
    secondsCounter.store(0);
    m_work.logMatchingSummary();
    liveLiveryCache.clear();
    return 0;
}

void MainLoop::runIndependentPeriods(int seconds)
{
    if (seconds % 16 == 0 && !m_renewalStep)
        m_work.staticParking(false);
    if (seconds % 59 == 0)
        m_work.checkReadersAlive();
    if (seconds % 61 == 0 && !staticAircraft.empty())
        m_work.removeStaticTwins();
}

void MainLoop::serveReread()
{
    // While the controls are disabled the request waits.
    if (!rereadPending.load() || m_work.controlsBusy())
        return;
    std::string message;
    if (m_work.checkReservedStand(message))
        gf_showStatus(message, true);
    m_work.enableRereadButton();
    rereadPending.store(false);
}

namespace {

std::mutex g_mainLoopThreadMutex;
std::jthread g_mainLoopThread;
// Raised before the thread exists and lowered when its body has returned: the
// exit saves the tables the main loop owns only while this is 0.
std::atomic<int> g_mainLoopsRunning{0};

struct MainLoopEnded {
    ~MainLoopEnded() { g_mainLoopsRunning.fetch_sub(1); }
};

} // namespace

void mainLoop(std::stop_token stop)
{
    ProgramTickWork work;
    SteadyTickClock clock;
    MainLoop loop(work, clock);
    loop.run(std::move(stop));
}

bool gf_startMainLoop()
{
    std::lock_guard lock(g_mainLoopThreadMutex);
    if (g_mainLoopThread.joinable()) {
        g_mainLoopThread.request_stop();
        g_mainLoopThread.join();
    }
    // An exit claims `exiting` before it asks the main loop to stop, and that
    // request waits for this mutex: a loop started after the claim would miss
    // its stop request and run on beside the exit (and a restart).
    if (exiting.load()) {
        gf_logLineMarked("Exit under way, main loop not started");
        return false;
    }
    // Counted before it exists: an exit that begins meanwhile waits for it.
    g_mainLoopsRunning.fetch_add(1);
    try {
        g_mainLoopThread = std::jthread(gf_countThreadToStart([](std::stop_token stop) {
            const MainLoopEnded ended;
            mainLoop(stop);
        }));
    } catch (...) {
        g_mainLoopsRunning.fetch_sub(1);
        gf_uncountThreadToStart();
        throw;
    }
    return true;
}

bool gf_mainLoopRunning()
{
    return g_mainLoopsRunning.load() > 0;
}

void gf_requestMainLoopStop()
{
    std::lock_guard lock(g_mainLoopThreadMutex);
    if (g_mainLoopThread.get_stop_source().stop_possible())
        g_mainLoopThread.request_stop();
}

} // namespace tzo
