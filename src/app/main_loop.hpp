#pragma once
// The main loop: one tick every 10 ms on a steady clock while operations run.
// Every tick drives the live traffic; once per simulator second (the
// simulator's once-a-second answer sets secondTick) it does the per-second
// work and, from secondsCounter, the periodic tiers.

#include "app/tick_work.hpp"
#include "traffic/collisions.hpp"

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <vector>

namespace tzo {

// The loop's sense of time; tests drive it without sleeping.
class TickClock {
public:
    using Clock = std::chrono::steady_clock;
    virtual ~TickClock() = default;
    virtual Clock::time_point now() = 0;
    virtual void sleepUntil(Clock::time_point deadline) = 0;
};

class SteadyTickClock final : public TickClock {
public:
    Clock::time_point now() override;
    void sleepUntil(Clock::time_point deadline) override;
};

inline constexpr std::chrono::milliseconds kTickPeriod{10};
// Ticks of one second while no flight runs.
inline constexpr int kIdleTicksPerSecond = 100;

class MainLoop {
public:
    MainLoop(TickWork& work, TickClock& clock);

    // Body of the main-loop thread: ticks until stop is requested.
    void run(std::stop_token stop);
    // One tick (lf_mainLoopRound).
    void round();

private:
    void serveWindowRequests();
    void idleRound();
    void runningRound();
    void followUpNewLiveAircraft();
    void avoidUserCollisions();
    void avoidParkedLiveCollisions();
    void removeBlockedCallsign();
    int runTiers(int seconds);
    void runIndependentPeriods(int seconds);
    void serveReread();

    TickWork& m_work;
    TickClock& m_clock;
    bool m_notRunningShown = false;
    int m_idleCountdown = kIdleTicksPerSecond;
    bool m_renewalStep = false;
    std::uint32_t m_newestStaticTested = 0; // object id of the newest static aircraft tested against live ones
    NearStaticIndex m_nearStatic;           // the static aircraft a moving live one may touch
    std::vector<std::size_t> m_staticCandidates;
    std::uint64_t m_tickCount = 0;
    std::uint64_t m_lastReportTick = 0;
    bool m_reportedOnce = false;
};

// The program's main loop with its real collaborators (thread body).
void mainLoop(std::stop_token stop);

// Starts the main-loop thread; an earlier one is asked to stop and joined
// first, so two main loops never run side by side. Starts none (and answers
// false) while an exit is under way.
bool gf_startMainLoop();
// Asks the running main loop (if any) to stop; does not wait.
void gf_requestMainLoopStop();
// Whether a main-loop thread has been started and its body has not yet returned.
bool gf_mainLoopRunning();

} // namespace tzo
