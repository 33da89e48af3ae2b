#include "app/exit.hpp"

#include "app/program_exit_services.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/version.hpp"
#include "traffic/live_traffic.hpp"

#include <fmt/format.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>

namespace tzo {

namespace {

using namespace std::chrono_literals;

constexpr int kWaitSteps = 101;

// Orders the claim of an exit against an older exit thread's last decision
// (restart or not): a claim is either wholly before that decision, and then
// seen by it, or wholly after the message was posted.
std::mutex g_exitMutex;
// Guarded by g_exitMutex: a restart's exit runs and has not yet decided
// between restarting and ending; a close asked for meanwhile, which turns it
// into an end.
bool g_restartUndecided = false;
bool g_closeWanted = false;

std::atomic<int> g_exitCode{0};

std::mutex g_servicesMutex;
std::shared_ptr<ExitServices> g_services;

std::shared_ptr<ExitServices> lf_services()
{
    std::lock_guard lock(g_servicesMutex);
    if (!g_services)
        g_services = std::make_shared<ProgramExitServices>();
    return g_services;
}

bool lf_isRestart(ExitReason reason)
{
    return reason == ExitReason::RESTART || reason == ExitReason::RESTART_IPP;
}

// Scripts and service managers see a failure only in the exit code.
int lf_endingCode(ExitReason reason, bool failed)
{
    if (reason == ExitReason::USER_ERROR)
        return kExitUserError;
    if (failed || reason == ExitReason::SYSTEM_ERROR || lf_isRestart(reason))
        return kExitSystemError;
    return 0;
}

// Runs one step of the exit; whatever it throws is reported and the exit goes
// on, so the program never hangs with `exiting` stuck.
template <typename Step>
void lf_step(bool& failed, Step&& step)
{
    try {
        step();
    } catch (...) {
        failed = true;
        gf_logException("FinalExit");
    }
}

void lf_resetShellState()
{
    secondTick.store(false);
    rtError.store(false);
    userClosed.store(false);
    renewalPending.store(false);
    secondsCounter.store(0);
    blockCallsignPending.store(false);
    navLightsPending.store(false);
    limitLiveCountPending.store(false);
    updateRangePending.store(false);
    flightRunning.store(false);
    userOnGround.store(false);
    userAircraft = {};
}

} // namespace

void ExitServices::sleepFor(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

void gf_installExitServices(std::shared_ptr<ExitServices> services)
{
    std::lock_guard lock(g_servicesMutex);
    g_services = std::move(services);
}

void gf_installExitHook()
{
    AppHooks hooks = gf_appHooks();
    hooks.requestExit = [](ExitReason reason, int seconds) { gf_beginExit(reason, seconds); };
    gf_installAppHooks(hooks);
}

bool gf_beginExit(ExitReason reason, int seconds)
{
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(g_exitMutex);
        bool idle = false;
        if (!exiting.compare_exchange_strong(idle, true)) {
            // A close ends the program whatever it does: a restart under way
            // becomes an end. Any other exit ends it anyway.
            if (reason != ExitReason::USER_CLOSED_SIM || !g_restartUndecided || g_closeWanted)
                return false;
            g_closeWanted = true;
            return true;
        }
        exitReason.store(reason);
        g_restartUndecided = lf_isRestart(reason);
        g_closeWanted = false;
        generation = runGeneration.fetch_add(1) + 1;
    }
    try {
        std::thread(FinalExit, seconds, generation).detach();
    } catch (...) {
        std::lock_guard lock(g_exitMutex);
        exiting.store(false);
        throw;
    }
    return true;
}

bool lf_restartCountdown(ExitServices& services, int seconds, std::uint64_t generation)
{
    if (seconds < 1)
        return true;
    gf_logLine(fmt::format("Restarting after {} seconds\n", seconds));
    for (int i = 0; i < seconds; ++i) {
        if (exiting.load() || userClosed.load() || runGeneration.load() != generation)
            return false;
        const int left = seconds - i;
        gf_showStatus(fmt::format("Restarting after {} second{}", left, left == 1 ? "" : "s"), false);
        services.sleepFor(1s);
    }
    return true;
}

namespace {

// Whether a close came during this restart's exit. Once the exit has decided
// to end the program, a later close would change nothing: it is refused.
bool lf_closeWanted(bool endDecided)
{
    std::lock_guard lock(g_exitMutex);
    if (endDecided)
        g_restartUndecided = false;
    return g_closeWanted;
}

// Lets a new exit begin (it ends the countdown), unless a close came first.
bool lf_releaseForCountdown()
{
    std::lock_guard lock(g_exitMutex);
    g_restartUndecided = false;
    if (g_closeWanted)
        return false;
    exiting.store(false);
    return true;
}

void lf_finalExit(ExitServices* services, int seconds, std::uint64_t generation)
{
    ExitReason reason = exitReason.load();
    const bool restartWanted = lf_isRestart(reason);
    bool failed = false;
    bool userClosedSaid = false;
    const auto closedByUser = [&] {
        if (std::exchange(userClosedSaid, true))
            return;
        reason = ExitReason::USER_CLOSED_SIM;
        exitReason.store(reason);
        lf_step(failed, [&] {
            gf_logLine(fmt::format("User closed {}", kProgramName));
            userClosed.store(true);
        });
    };

    lf_step(failed, [&] {
        gf_logLine(fmt::format("Exiting: {}", gf_exitReasonText(reason)));
        if (reason == ExitReason::RESTART)
            gf_showStatus("Prepare for a restart ...", true);
    });
    lf_step(failed, [&] { services->sleepFor(300ms); });
    lf_step(failed, [&] { services->stopReaders(); });
    lf_step(failed, [&] { services->closeServer(); });
    if (reason == ExitReason::SYSTEM_ERROR)
        lf_step(failed, [&] { services->sleepFor(5s); });
    if (reason == ExitReason::USER_CLOSED_SIM || lf_closeWanted(false))
        closedByUser();
    lf_step(failed, [&] { services->requestThreadStops(); });
    lf_step(failed, [&] { services->removeFlightPlanFolder(); });

    lf_step(failed, [&] {
        for (int i = 0; i < kWaitSteps && runningThreads.load() > 1; ++i)
            services->sleepFor(100ms);
    });
    const int othersRunning = runningThreads.load() - 1;
    // The traffic tables and the stand table belong to the main loop: they
    // are touched once it has ended, whatever other threads still do, and
    // never while it may still be running. Closing saves the stand table.
    const bool mainLoopEnded = !services->mainLoopRunning();
    if (mainLoopEnded) {
        lf_step(failed, [&] { liveLiveryCache.clear(); });
        lf_step(failed, [&] { services->closeParkAirport(); });
    } else {
        lf_step(failed, [&] { gf_logLineMarked("park airport not closed: the main loop still runs"); });
    }

    // A restart needs a quiet process: an old start-up thread or main loop
    // that goes on beside a new start would start operations twice. And after
    // a failed step the state is not known to be clean.
    bool restart = restartWanted && !userClosedSaid;
    if (restart && othersRunning > 0) {
        restart = false;
        lf_step(failed, [&] {
            gf_logLineMarked(fmt::format("{} thread{} still running, ending instead of restarting", othersRunning,
                                         othersRunning == 1 ? "" : "s"));
        });
    } else if (restart && failed) {
        restart = false;
        lf_step(failed, [&] { gf_logLineMarked("Exit step failed, ending instead of restarting"); });
    }

    if (restart && lf_closeWanted(false))
        restart = false;
    if (!restart && lf_closeWanted(true))
        closedByUser();

    bool countdownDone = true;
    if (restart) {
        lf_step(failed, [&] {
            gf_clearError();
            gf_clearStatus();
            services->resetTrafficInput();
        });
        if (reason == ExitReason::RESTART)
            lf_step(failed, [&] { services->switchScansOff(); });
        lf_step(failed, [&] {
            lf_resetShellState();
            services->resetRange();
            services->resetOutsideState();
        });
        lf_step(failed, [&] { services->resetTraffic(); });
        lf_step(failed, [&] { services->resetWindow(); });
        exitReason.store(ExitReason::NOT_YET_SET);
        if (failed) {
            restart = false;
            lf_step(failed, [&] { gf_logLineMarked("Restart reset failed, ending instead of restarting"); });
        } else if (!lf_releaseForCountdown()) {
            restart = false;
        } else {
            lf_step(failed, [&] { countdownDone = lf_restartCountdown(*services, seconds, generation); });
        }
        if (!restart && lf_closeWanted(true))
            closedByUser();
    }
    // What an end saves and reports runs on every way to an end, a restart
    // given up included, and only here, after the wait: it reads what the
    // main loop writes. The main loop's own tables only once it has ended.
    if (!restart) {
        lf_step(failed, [&] { services->clearBlockedCallsign(); });
        lf_step(failed, [&] { services->logMatchingSummary(); });
        if (mainLoopEnded) {
            lf_step(failed, [&] { services->logNoMatches(); });
            lf_step(failed, [&] { ghostTexts.clear(); });
        }
    }

    gf_flushLog();
    std::lock_guard lock(g_exitMutex);
    if (runGeneration.load() != generation)
        return;  // a newer exit has begun: it owns `exiting` and the last word
    if (restart && countdownDone && !failed) {
        if (!services->postToWindow(WindowMessage::START))
            gf_logLineMarked("No main window to restart in");
        return;
    }
    // The program ends: `exiting` stays set, so nothing starts another exit
    // while the window closes.
    exiting.store(true);
    g_exitCode.store(lf_endingCode(reason, failed));
    if (!services->postToWindow(WindowMessage::FINAL_CLOSE))
        gf_logLineMarked("No main window to close");
}

} // namespace

int gf_exitCode()
{
    return g_exitCode.load();
}

void FinalExit(int seconds, std::uint64_t generation)
{
    const RunningThreadCount counted;
    try {
        const std::shared_ptr<ExitServices> services = lf_services();
        lf_finalExit(services.get(), seconds, generation);
    } catch (...) {
        // Only the window message itself (or no memory for the services) can
        // get here: nothing more can be done than to say so.
        gf_logException("FinalExit");
    }
}

} // namespace tzo
