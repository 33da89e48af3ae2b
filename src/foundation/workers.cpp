#include "foundation/workers.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

std::atomic<std::int32_t> runningWorkers{0};
std::atomic<std::int32_t> maxWorkers{1};

namespace {

// Starters sleep here instead of polling the count: a poll every few
// microseconds noticed a free slot only after the scheduler's timer slack,
// tens of microseconds per file in which a hardware thread stood idle.
struct SlotWait {
    std::mutex mutex;
    std::condition_variable freed;
    std::int32_t waiting = 0;
};

SlotWait& slotWait()
{
    // Never destroyed: a worker may end while the program ends.
    static SlotWait* const wait = new SlotWait;
    return *wait;
}

// hardware_concurrency may answer 0; waiting for fewer than 0 workers would
// never end.
std::int32_t limit()
{
    return std::max<std::int32_t>(maxWorkers.load(), 1);
}

// False when stop (may be null) answered true before admit did.
template <typename Admit>
bool waitFor(Admit admit, bool (*stop)() = nullptr)
{
    if (admit())
        return true;
    SlotWait& w = slotWait();
    std::unique_lock lock(w.mutex);
    ++w.waiting;
    bool admitted = true;
    // The timeout matters for a count lowered by a plain store (the start-up's
    // reset) and for stop; gf_workerDone wakes the waiter at once.
    while (!admit()) {
        if (stop != nullptr && stop()) {
            admitted = false;
            break;
        }
        w.freed.wait_for(lock, std::chrono::milliseconds(1));
    }
    --w.waiting;
    return admitted;
}

bool takeIfFree()
{
    std::int32_t running = runningWorkers.load();
    while (running < limit()) {
        if (runningWorkers.compare_exchange_weak(running, running + 1))
            return true;
    }
    return false;
}

} // namespace

void gf_takeWorkerSlot()
{
    waitFor(takeIfFree);
}

bool gf_takeWorkerSlot(bool (*stop)())
{
    return waitFor(takeIfFree, stop);
}

void gf_workerDone()
{
    runningWorkers.fetch_sub(1);
    SlotWait& w = slotWait();
    // Under the mutex: a starter between its test and its sleep holds it, so
    // the wake-up cannot fall between the two and be lost.
    const std::lock_guard lock(w.mutex);
    if (w.waiting > 0)
        w.freed.notify_all();
}
