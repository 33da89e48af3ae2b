#include "foundation/workers.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

namespace {

class WorkerThrottle : public ::testing::Test {
protected:
    void TearDown() override
    {
        runningWorkers = 0;
        maxWorkers = 1;
    }
};

} // namespace

// Below the limit a slot is taken before any wait (a starter told to end at
// once still gets it); an unknown processor count still lets one worker run.
TEST_F(WorkerThrottle, takesASlotAtOnceBelowTheLimit)
{
    const std::pair<int, int> cases[] = {{4, 3}, {0, 0}, {-1, 0}};
    for (const auto& [limit, running] : cases) {
        maxWorkers = limit;
        runningWorkers = running;
        EXPECT_TRUE(gf_takeWorkerSlot([] { return true; })) << limit;
        EXPECT_EQ(runningWorkers.load(), running + 1) << limit;
    }
}

TEST_F(WorkerThrottle, waitsUntilAWorkerIsDone)
{
    maxWorkers = 2;
    runningWorkers = 2;
    std::atomic<bool> passed{false};
    std::thread starter([&] {
        gf_takeWorkerSlot();
        passed = true;
    });
    EXPECT_FALSE(passed.load());
    gf_workerDone();
    EXPECT_TRUE(testsupport::waitFor([&] { return passed.load(); }));
    starter.join();
    EXPECT_EQ(runningWorkers.load(), 2);
}

TEST_F(WorkerThrottle, neverRunsMoreWorkersThanTheLimit)
{
    maxWorkers = 3;
    runningWorkers = 0;
    std::atomic<int> active{0};
    std::atomic<int> mostActive{0};
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 40; ++i) {
        gf_takeWorkerSlot();
        workers.emplace_back([&] {
            const int now = ++active;
            int seen = mostActive.load();
            while (now > seen && !mostActive.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::yield();
            --active;
            ++finished;
            gf_workerDone();
        });
    }
    EXPECT_TRUE(testsupport::waitFor([&] { return finished.load() == 40; }));
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_LE(mostActive.load(), 3);
    EXPECT_EQ(runningWorkers.load(), 0);
}

// Several threads taking slots at once: a test of the count followed by a
// separate raise would let two of them pass the last free slot together.
TEST_F(WorkerThrottle, takingSlotsFromManyThreadsNeverPassesTheLimit)
{
    maxWorkers = 2;
    runningWorkers = 0;
    std::atomic<int> mostCounted{0};
    std::vector<std::thread> takers;
    for (int t = 0; t < 6; ++t)
        takers.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                gf_takeWorkerSlot();
                const int now = runningWorkers.load();
                int seen = mostCounted.load();
                while (now > seen && !mostCounted.compare_exchange_weak(seen, now)) {
                }
                std::this_thread::yield();
                gf_workerDone();
            }
        });
    for (auto& taker : takers)
        taker.join();
    EXPECT_LE(mostCounted.load(), 2);
    EXPECT_EQ(runningWorkers.load(), 0);
}

// A starter told to end gives up its wait even while every slot stays taken
// (workers stuck on a slow disk), and takes no slot.
TEST_F(WorkerThrottle, takingASlotGivesUpWhenTold)
{
    static std::atomic<bool> stop{false};
    stop = false;
    maxWorkers = 1;
    runningWorkers = 1;
    std::atomic<int> answer{-1};
    std::thread starter([&] { answer = gf_takeWorkerSlot([] { return stop.load(); }) ? 1 : 0; });
    stop = true;
    EXPECT_TRUE(testsupport::waitFor([&] { return answer.load() == 0; }));
    starter.join();
    EXPECT_EQ(runningWorkers.load(), 1);

    runningWorkers = 0;
    EXPECT_TRUE(gf_takeWorkerSlot([] { return true; }));
    EXPECT_EQ(runningWorkers.load(), 1);
}
