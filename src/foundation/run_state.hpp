#pragma once
// The run state that the program's threads share: the exit flags, the
// simulator's once-a-second signal, the traffic range and the requests that
// the window thread leaves for the main loop. It sits low because the
// simulator layer and the readers write or read it, while the shell that acts
// on it sits on top.

#include "foundation/app_hooks.hpp"
#include "foundation/time.hpp"

#include <atomic>
#include <cstdint>
#include <utility>

// Threads of the program that are running (main loop, exit thread, start-up
// thread, simulator thread, the two readers); the exit thread waits on it.
extern std::atomic<int> runningThreads;

// An exit is under way; claimed by gf_requestExit with a compare-exchange.
extern std::atomic<bool> exiting;
// The user closed the program (reason 4); waiting loops stop early on it.
extern std::atomic<bool> userClosed;
extern std::atomic<ExitReason> exitReason;

// Counts exits: each claim of an exit adds one. A thread that remembers the
// value it started under can tell that an exit (and perhaps a new start) has
// begun since, and must not go on as if it were still the current run.
extern std::atomic<std::uint64_t> runGeneration;

// Set by the simulator layer for each once-a-second answer about the user
// aircraft; taken by the running tick with a compare-exchange.
extern std::atomic<bool> secondTick;
extern std::atomic<bool> flightRunning;
// The user aircraft is on the ground, as the simulator last said.
extern std::atomic<bool> userOnGround;
// A UDP reader stopped with an error.
extern std::atomic<bool> rtError;

// The current day and half-hour, packed as DayHour is (day in the low half,
// half-hour slot in the high half); refreshed once a second by the main loop.
extern std::atomic<std::uint64_t> nowDayHour;

// nowDayHour unpacked.
DayHour gf_nowDayHour();

// Seconds of running flight since the main loop started.
extern std::atomic<int> secondsCounter;
// A renewal of the static parking plan is due.
extern std::atomic<bool> renewalPending;

// Traffic range: nautical miles (read by the traffic reader) and metres (the
// radius of the simulator's objects-in-range request).
extern std::atomic<double> rangeNm;
extern std::atomic<std::uint32_t> rangeMetres;

// Requests from the window thread, served by the next tick of the main loop,
// which alone touches the traffic tables.
extern std::atomic<bool> flushStaticPending;
extern std::atomic<bool> rereadPending;
extern std::atomic<bool> blockCallsignPending;
extern std::atomic<bool> matchingChanged;
extern std::atomic<bool> navLightsPending;
extern std::atomic<bool> limitLiveCountPending;
extern std::atomic<bool> updateRangePending;

// Set on a new thread whose starter counted it in runningThreads before the
// thread existed (gf_countThreadToStart): its RunningThreadCount takes that
// count over instead of adding one, so an exit that waits on runningThreads
// never sees a started thread as not running yet.
inline thread_local bool t_threadPreCounted = false;

// Counts the calling thread in runningThreads for the lifetime of the object.
class RunningThreadCount {
public:
    RunningThreadCount()
    {
        if (t_threadPreCounted)
            t_threadPreCounted = false;
        else
            runningThreads.fetch_add(1);
    }
    ~RunningThreadCount() { runningThreads.fetch_sub(1); }
    RunningThreadCount(const RunningThreadCount&) = delete;
    RunningThreadCount& operator=(const RunningThreadCount&) = delete;
};

// For a starter: counts the thread about to start and answers the body to
// run on it, which takes the count over. When the thread cannot be started,
// the starter gives the count back with gf_uncountThreadToStart.
template <typename Body>
auto gf_countThreadToStart(Body body)
{
    runningThreads.fetch_add(1);
    return [body = std::move(body)](auto&&... args) mutable {
        t_threadPreCounted = true;
        body(std::forward<decltype(args)>(args)...);
        // A body that never counted itself still gives the count back.
        if (t_threadPreCounted) {
            t_threadPreCounted = false;
            runningThreads.fetch_sub(1);
        }
    };
}
inline void gf_uncountThreadToStart()
{
    runningThreads.fetch_sub(1);
}

// rangeNm = nm, rangeMetres = nm x 1852.
void gf_storeRange(double nm);

// Stores nm as the range (both copies unclamped) and answers nm clamped to
// minimum..maximum, the value the LATERAL_RANGE setting takes.
std::int32_t gf_applyTrafficRange(std::int32_t nm, std::int32_t minimum, std::int32_t maximum);

// Sets the range: rangeNm and rangeMetres from nm, the LATERAL_RANGE value nm
// clamped to the setting's limits (not saved).
void gf_setRangeNm(std::int32_t nm);

// The LATERAL_RANGE value clamped to its limits, and the range derived from it
// (after reading the settings, and at a restart).
void gf_rangeFromSetting();
