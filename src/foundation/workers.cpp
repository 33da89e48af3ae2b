#include "foundation/workers.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

std::atomic<std::int32_t> runningWorkers{0};
std::atomic<std::int32_t> maxWorkers{1};

void gf_waitForWorkerSlot()
{
    using Clock = std::chrono::steady_clock;
    constexpr auto kPoll = std::chrono::microseconds(10);
    for (;;) {
        // hardware_concurrency may answer 0; waiting for fewer than 0 workers
        // would never end.
        const std::int32_t limit = std::max<std::int32_t>(maxWorkers.load(), 1);
        if (runningWorkers.load() < limit) {
            return;
        }
        const auto now = Clock::now();
        const auto deadline = now > Clock::time_point::max() - kPoll ? Clock::time_point::max() : now + kPoll;
        std::this_thread::sleep_until(deadline);
    }
}

void gf_workerDone()
{
    runningWorkers.fetch_sub(1);
}
