#pragma once
// Every way out of the running program: gf_requestExit records why and starts
// the exit thread, which stops the readers, the RealTraffic connection and the
// program's threads, saves what must survive, and then either ends the program
// or resets all state and starts again inside the same process.
//
// Only one exit thread ever runs: a request claims `exiting` with a
// compare-exchange and bumps runGeneration. A newer exit that begins during a
// restart countdown supersedes the older thread, which then neither restarts
// nor touches `exiting` again.

#include "foundation/app_hooks.hpp"

#include <chrono>
#include <cstdint>
#include <memory>

namespace tzo {

// The window's two private messages.
enum class WindowMessage : unsigned {
    START = 0x8001,        // WM_APP+1: start the start-up thread (again)
    FINAL_CLOSE = 0x8002,  // WM_APP+2: save the window position, close the log, quit
};

// What the exit does outside the shell. The defaults do nothing (the wait
// sleeps), so that a test's services record only the calls it watches;
// ProgramExitServices overrides every one but the wait.
class ExitServices {
public:
    virtual ~ExitServices() = default;

    // Every wait of the exit thread goes through here.
    virtual void sleepFor(std::chrono::milliseconds duration);

    virtual void stopReaders() {}
    virtual void closeServer() {}
    // Stop requests to the simulator thread and the main loop; no waiting.
    virtual void requestThreadStops() {}
    virtual void removeFlightPlanFolder() {}
    // BLOCK_CALLSIGN emptied and saved.
    virtual void clearBlockedCallsign() {}
    virtual void logMatchingSummary() {}
    virtual void logNoMatches() {}
    virtual void closeParkAirport() {}
    // Whether the main loop, which owns the traffic and stand tables, still runs.
    virtual bool mainLoopRunning() { return false; }

    // The restart reset.
    virtual void resetTrafficInput() {}
    // SCAN_LIVERIES and SCAN_AIRPORTS switched off and saved (reason 2).
    virtual void switchScansOff() {}
    // The LATERAL_RANGE value clamped to its limits, the range derived from it.
    virtual void resetRange() {}
    // State of the window procedure, the RealTraffic server, the start-up,
    // the simulator layer and its connection.
    virtual void resetOutsideState() {}
    virtual void resetTraffic() {}
    // The window's texts, counters, flags and reader states.
    virtual void resetWindow() {}

    // Posts to the main window; false when there is none.
    virtual bool postToWindow(WindowMessage /*message*/) { return false; }
};

// Replaces the services the exit thread uses (by default the program's own).
void gf_installExitServices(std::shared_ptr<ExitServices> services);

// The implementation behind gf_requestExit (installed as its hook): claims the
// exit and starts the exit thread. A close while a restart's exit runs turns
// that restart into an end; any other request while an exit runs is refused.
// Answers whether the request is acted on. Failure to
// start the thread releases the claim and raises the standard system error.
bool gf_beginExit(ExitReason reason, int seconds);

// Makes gf_beginExit the implementation of gf_requestExit, keeping the other
// hooks as they are. The program calls it at start, before any other thread.
void gf_installExitHook();

// The process's exit code, told by the exit that ends the program: 0 when the
// user or the simulator closed it, kExitSystemError after a system error, a
// failed exit step or a restart that could not be made, kExitUserError after
// a user error that ended it. Read by the final close.
inline constexpr int kExitSystemError = 1;
inline constexpr int kExitUserError = 2;
int gf_exitCode();

// Thread body of the exit started under the given generation.
void FinalExit(int seconds, std::uint64_t generation);

// The countdown before a restart; false when a newer exit (or a close) cut it
// short.
bool lf_restartCountdown(ExitServices& services, int seconds, std::uint64_t generation);

} // namespace tzo
