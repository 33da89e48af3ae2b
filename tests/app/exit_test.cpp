#include "app/exit.hpp"
#include "exit_state_reset.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "support/test_support.hpp"
#include "traffic/live_traffic.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::waitFor;

namespace {

// Records what the exit thread did; waits return at once unless held.
struct RecordingExitServices : tzo::ExitServices {
    std::mutex mutex;
    std::condition_variable released;
    bool holdFirstWait = false;
    std::vector<std::string> calls;
    std::vector<long> sleepsMs;
    std::vector<tzo::WindowMessage> posts;
    std::string throwIn;
    std::function<void()> onFirstSecond;
    std::atomic<bool> mainLoopStillRuns{false};

    void note(const std::string& what)
    {
        {
            std::lock_guard lock(mutex);
            calls.push_back(what);
        }
        if (what == throwIn)
            throw std::runtime_error(what + " failed");
    }
    int count(const std::string& what)
    {
        std::lock_guard lock(mutex);
        return static_cast<int>(std::count(calls.begin(), calls.end(), what));
    }
    std::vector<tzo::WindowMessage> postsNow()
    {
        std::lock_guard lock(mutex);
        return posts;
    }
    void release()
    {
        std::lock_guard lock(mutex);
        holdFirstWait = false;
        released.notify_all();
    }

    void sleepFor(std::chrono::milliseconds duration) override
    {
        std::function<void()> trigger;
        {
            std::unique_lock lock(mutex);
            sleepsMs.push_back(static_cast<long>(duration.count()));
            released.wait(lock, [&] { return !holdFirstWait; });
            if (duration == 1s && onFirstSecond)
                trigger = std::exchange(onFirstSecond, nullptr);
        }
        if (trigger)
            trigger();
    }
    void stopReaders() override { note("stopReaders"); }
    void closeServer() override { note("closeServer"); }
    void requestThreadStops() override { note("threadStops"); }
    void removeFlightPlanFolder() override { note("flightPlanFolder"); }
    void clearBlockedCallsign() override { note("clearBlockedCallsign"); }
    void logMatchingSummary() override { note("matchingSummary"); }
    void logNoMatches() override { note("logNoMatches"); }
    void closeParkAirport() override { note("closeParkAirport"); }
    bool mainLoopRunning() override { return mainLoopStillRuns.load(); }
    void resetTrafficInput() override { note("resetTrafficInput"); }
    void switchScansOff() override { note("scansOff"); }
    void resetRange() override { note("resetRange"); }
    void resetOutsideState() override { note("resetOutside"); }
    void resetTraffic() override { note("resetTraffic"); }
    void resetWindow() override { note("resetWindow"); }
    bool postToWindow(tzo::WindowMessage message) override
    {
        std::lock_guard lock(mutex);
        posts.push_back(message);
        return true;
    }
};

std::mutex g_statusMutex;
std::vector<std::string> g_statuses;

struct ExitTest : ::testing::Test {
    TempDir dir{true};
    std::shared_ptr<RecordingExitServices> services = std::make_shared<RecordingExitServices>();

    ExitTest()
    {
        gf_openLog();
        exiting.store(false);
        userClosed.store(false);
        exitReason.store(ExitReason::NOT_YET_SET);
        {
            std::lock_guard lock(g_statusMutex);
            g_statuses.clear();
        }
        AppHooks hooks;
        hooks.showStatus = [](std::string_view text, bool) {
            std::lock_guard lock(g_statusMutex);
            g_statuses.emplace_back(text);
        };
        hooks.requestExit = [](ExitReason reason, int seconds) { tzo::gf_beginExit(reason, seconds); };
        gf_installAppHooks(hooks);
        tzo::gf_installExitServices(services);
    }
    ~ExitTest() override
    {
        services->release();
        waitFor([] { return runningThreads.load() == 0; });
        tzo::gf_installExitServices(nullptr);
        gf_installAppHooks(AppHooks{});
        gf_closeLog();
        apptest::resetExitState();
    }

    bool waitForPosts(std::size_t n)
    {
        return waitFor([&] { return services->postsNow().size() >= n && runningThreads.load() == 0; });
    }
    static std::vector<std::string> statuses()
    {
        std::lock_guard lock(g_statusMutex);
        return g_statuses;
    }
};

} // namespace

TEST_F(ExitTest, twoRequestsAtOnceStartOneExitThread)
{
    services->holdFirstWait = true;
    std::atomic<int> started{0};
    std::atomic<bool> go{false};
    auto request = [&] {
        while (!go.load()) {
        }
        if (tzo::gf_beginExit(ExitReason::USER_CLOSED_SIM, 0))
            ++started;
    };
    std::thread a(request);
    std::thread b(request);
    go.store(true);
    a.join();
    b.join();
    EXPECT_EQ(started.load(), 1);
    gf_requestExit(ExitReason::SIM_WAS_CLOSED, 0);  // also ignored while the exit runs

    services->release();
    ASSERT_TRUE(waitForPosts(1));
    EXPECT_EQ(services->postsNow(), std::vector<tzo::WindowMessage>{tzo::WindowMessage::FINAL_CLOSE});
    EXPECT_EQ(services->count("stopReaders"), 1);
    EXPECT_TRUE(userClosed.load());
    EXPECT_NE(readFile("Log.txt").find("Exiting: USER CLOSED SIM"), std::string::npos);
    EXPECT_NE(readFile("Log.txt").find("User closed Norvane_P3D"), std::string::npos);

    // The program is ending: no further exit begins.
    EXPECT_TRUE(exiting.load());
    EXPECT_FALSE(tzo::gf_beginExit(ExitReason::SYSTEM_ERROR, 0));
}

TEST_F(ExitTest, restartCountsDownSecondBySecondAndStartsAgain)
{
    secondsCounter.store(77);
    rtError.store(true);
    liveLiveryCache.emplace(20001, "Title");
    gf_requestExit(ExitReason::RESTART_IPP, 3);
    ASSERT_TRUE(waitForPosts(1));

    EXPECT_EQ(services->postsNow(), std::vector<tzo::WindowMessage>{tzo::WindowMessage::START});
    EXPECT_EQ(statuses(), (std::vector<std::string>{"Restarting after 3 seconds", "Restarting after 2 seconds",
                                                   "Restarting after 1 second"}));
    EXPECT_EQ(std::count(services->sleepsMs.begin(), services->sleepsMs.end(), 1000L), 3);
    EXPECT_NE(readFile("Log.txt").find("Restarting after 3 seconds"), std::string::npos);
    EXPECT_EQ(services->count("scansOff"), 0) << "reason 3 keeps the scan settings";
    EXPECT_EQ(services->count("clearBlockedCallsign"), 0) << "only when the program ends";
    EXPECT_EQ(services->count("resetTraffic"), 1);
    EXPECT_EQ(services->count("resetWindow"), 1);

    EXPECT_FALSE(exiting.load()) << "a new exit may begin";
    EXPECT_EQ(exitReason.load(), ExitReason::NOT_YET_SET);
    EXPECT_EQ(secondsCounter.load(), 0);
    EXPECT_FALSE(rtError.load());
    EXPECT_TRUE(liveLiveryCache.empty());
}

TEST_F(ExitTest, restartWithZeroSecondsStartsAtOnce)
{
    gf_requestExit(ExitReason::RESTART, 0);
    ASSERT_TRUE(waitForPosts(1));
    EXPECT_EQ(services->postsNow(), std::vector<tzo::WindowMessage>{tzo::WindowMessage::START});
    EXPECT_EQ(statuses(), std::vector<std::string>{"Prepare for a restart ..."});
    EXPECT_EQ(services->count("scansOff"), 1) << "reason 2 switches the scans off";
}

TEST_F(ExitTest, systemErrorWaitsFiveSecondsMoreAndEnds)
{
    gf_requestExit(ExitReason::SYSTEM_ERROR, 30);
    ASSERT_TRUE(waitForPosts(1));
    EXPECT_EQ(services->postsNow(), std::vector<tzo::WindowMessage>{tzo::WindowMessage::FINAL_CLOSE});
    EXPECT_EQ((std::vector<long>(services->sleepsMs.begin(), services->sleepsMs.begin() + 2)),
              (std::vector<long>{300, 5000}));
    EXPECT_EQ(services->count("clearBlockedCallsign"), 1);
    EXPECT_EQ(services->count("logNoMatches"), 1);
    EXPECT_EQ(services->count("resetTraffic"), 0);
}

TEST_F(ExitTest, anEndTellsByItsExitCodeWhetherSomethingFailed)
{
    struct Case {
        ExitReason reason;
        int code;
    };
    for (const Case c : {Case{ExitReason::USER_CLOSED_SIM, 0}, Case{ExitReason::SIM_WAS_CLOSED, 0},
                         Case{ExitReason::SYSTEM_ERROR, tzo::kExitSystemError},
                         Case{ExitReason::USER_ERROR, tzo::kExitUserError}}) {
        SCOPED_TRACE(gf_exitReasonText(c.reason));
        apptest::resetExitState();
        {
            std::lock_guard lock(services->mutex);
            services->posts.clear();
            services->sleepsMs.clear();
        }
        gf_requestExit(c.reason, 0);
        ASSERT_TRUE(waitForPosts(1));
        EXPECT_EQ(services->postsNow(), std::vector<tzo::WindowMessage>{tzo::WindowMessage::FINAL_CLOSE});
        EXPECT_EQ(tzo::gf_exitCode(), c.code);
        EXPECT_EQ(std::count(services->sleepsMs.begin(), services->sleepsMs.end(), 5000L),
                  c.reason == ExitReason::SYSTEM_ERROR ? 1 : 0);
    }
}

TEST_F(ExitTest, aStepThatThrowsStillEndsTheProgram)
{
    services->throwIn = "stopReaders";
    gf_requestExit(ExitReason::RESTART, 3);
    ASSERT_TRUE(waitForPosts(1));
    EXPECT_EQ(services->postsNow(), std::vector<tzo::WindowMessage>{tzo::WindowMessage::FINAL_CLOSE})
        << "no restart from a state not known to be clean";
    EXPECT_EQ(tzo::gf_exitCode(), tzo::kExitSystemError);
    EXPECT_EQ(services->count("closeServer"), 1) << "later steps still ran";
    EXPECT_EQ(services->count("closeParkAirport"), 1);
    for (const char* endStep : {"clearBlockedCallsign", "matchingSummary", "logNoMatches"})
        EXPECT_EQ(services->count(endStep), 1) << endStep << ": a restart given up is an end";
    const std::string log = readFile("Log.txt");
    EXPECT_NE(log.find("FinalExit"), std::string::npos);
    EXPECT_NE(log.find("stopReaders failed"), std::string::npos);
}

TEST_F(ExitTest, threadStillRunningAfterTheWaitEndsInsteadOfRestarting)
{
    // A stuck reader leaves the main loop's tables to the exit; a main loop
    // that still runs keeps them, stand table and all.
    for (const bool mainLoopStuck : {false, true}) {
        SCOPED_TRACE(mainLoopStuck ? "the main loop" : "a reader");
        services->calls.clear();
        services->sleepsMs.clear();
        services->posts.clear();
        services->mainLoopStillRuns = mainLoopStuck;
        apptest::resetExitState();
        {
            const RunningThreadCount stuckThread;
            liveLiveryCache.emplace(20001, "Title");
            gf_requestExit(ExitReason::RESTART, 3);
            ASSERT_TRUE(waitFor([&] { return !services->postsNow().empty() && runningThreads.load() == 1; }));
        }
        EXPECT_EQ(services->postsNow(), std::vector<tzo::WindowMessage>{tzo::WindowMessage::FINAL_CLOSE});
        EXPECT_EQ(std::count(services->sleepsMs.begin(), services->sleepsMs.end(), 100L), 101);
        EXPECT_EQ(tzo::gf_exitCode(), tzo::kExitSystemError) << "the restart could not be made";
        EXPECT_EQ(services->count("resetTraffic"), 0);
        EXPECT_EQ(services->count("clearBlockedCallsign"), 1) << "a restart given up is an end";
        EXPECT_EQ(services->count("matchingSummary"), 1);
        EXPECT_EQ(services->count("logNoMatches"), mainLoopStuck ? 0 : 1);
        EXPECT_EQ(liveLiveryCache.empty(), !mainLoopStuck);
        EXPECT_EQ(services->count("closeParkAirport"), mainLoopStuck ? 0 : 1);
        EXPECT_EQ(testsupport::countLinesWith("Log.txt", "park airport not closed: the main loop still runs"),
                  mainLoopStuck ? 1 : 0);
        EXPECT_EQ(testsupport::countLinesWith("Log.txt", "1 thread still running, ending instead of restarting"),
                  mainLoopStuck ? 2 : 1);
        liveLiveryCache.clear();
    }
}

TEST_F(ExitTest, newerExitDuringTheCountdownTakesOver)
{
    services->onFirstSecond = [] { gf_requestExit(ExitReason::USER_CLOSED_SIM, 0); };
    gf_requestExit(ExitReason::RESTART_IPP, 3);
    ASSERT_TRUE(waitFor([&] { return !services->postsNow().empty() && runningThreads.load() == 0; }));
    EXPECT_EQ(services->postsNow(), std::vector<tzo::WindowMessage>{tzo::WindowMessage::FINAL_CLOSE})
        << "the older thread neither restarts nor posts";
    EXPECT_EQ(statuses(), std::vector<std::string>{"Restarting after 3 seconds"});
    EXPECT_EQ(services->count("stopReaders"), 2);
    EXPECT_TRUE(exiting.load());
}

// A close while a restart's exit runs turns the restart into an end: every
// step once, the end's steps too, exit code 0; a close once the program ends
// anyway is refused, and so is any other request.
TEST_F(ExitTest, aCloseDuringARestartsExitEndsTheProgramInstead)
{
    for (const ExitReason running : {ExitReason::RESTART, ExitReason::RESTART_IPP, ExitReason::SYSTEM_ERROR}) {
        SCOPED_TRACE(gf_exitReasonText(running));
        apptest::resetExitState();
        {
            std::lock_guard lock(services->mutex);
            services->calls.clear();
            services->posts.clear();
            services->sleepsMs.clear();
            services->holdFirstWait = true;
        }
        gf_requestExit(running, 3);
        ASSERT_TRUE(waitFor([&] {
            std::lock_guard lock(services->mutex);
            return !services->sleepsMs.empty();
        }));
        EXPECT_FALSE(tzo::gf_beginExit(ExitReason::SIM_WAS_CLOSED, 0));
        const bool restart = running != ExitReason::SYSTEM_ERROR;
        EXPECT_EQ(tzo::gf_beginExit(ExitReason::USER_CLOSED_SIM, 0), restart);
        EXPECT_FALSE(tzo::gf_beginExit(ExitReason::USER_CLOSED_SIM, 0)) << "a second close adds nothing";
        services->release();
        ASSERT_TRUE(waitForPosts(1));
        EXPECT_EQ(services->postsNow(), std::vector<tzo::WindowMessage>{tzo::WindowMessage::FINAL_CLOSE});
        EXPECT_EQ(tzo::gf_exitCode(), restart ? 0 : tzo::kExitSystemError);
        EXPECT_EQ(services->count("stopReaders"), 1);
        EXPECT_EQ(services->count("resetTraffic"), 0);
        for (const char* endStep : {"clearBlockedCallsign", "matchingSummary", "logNoMatches"})
            EXPECT_EQ(services->count(endStep), 1) << endStep;
        EXPECT_EQ(userClosed.load(), restart);
        EXPECT_TRUE(exiting.load());
        EXPECT_FALSE(tzo::gf_beginExit(ExitReason::USER_CLOSED_SIM, 0)) << "the program is ending";
    }
    EXPECT_EQ(testsupport::countLinesWith("Log.txt", "User closed Norvane_P3D"), 2);
}
