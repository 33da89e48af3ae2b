// A thread started through gf_countThreadToStart counts as running from the
// moment its starter asks for it, not only once it runs: an exit waiting on
// runningThreads never misses it.

#include "foundation/run_state.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

struct ThreadCountTest : ::testing::Test {
    ~ThreadCountTest() override { runningThreads.store(0); }
};

TEST_F(ThreadCountTest, startedThreadCountsBeforeItRunsAndOnceWhileItRuns)
{
    for (const bool countsItself : {true, false}) {
        SCOPED_TRACE(countsItself ? "body counts itself" : "body never counts");
        std::atomic<bool> go{false};
        std::atomic<int> seenInside{-1};
        std::thread t(gf_countThreadToStart([&] {
            while (!go.load())
                std::this_thread::yield();
            if (countsItself) {
                const RunningThreadCount counted;
                seenInside = runningThreads.load();
            } else {
                seenInside = runningThreads.load();
            }
        }));
        EXPECT_EQ(runningThreads.load(), 1) << "counted before the body ran";
        go = true;
        t.join();
        EXPECT_EQ(seenInside.load(), 1) << "its own count takes the starter's over";
        EXPECT_EQ(runningThreads.load(), 0);
    }
}

TEST_F(ThreadCountTest, aCountOnTheStartersThreadIsNotTakenOver)
{
    // The flag belongs to the new thread: a count made by the starter
    // afterwards adds one as before.
    std::thread t(gf_countThreadToStart([] {}));
    t.join();
    {
        const RunningThreadCount counted;
        EXPECT_EQ(runningThreads.load(), 1);
    }
    EXPECT_EQ(runningThreads.load(), 0);
}

} // namespace
