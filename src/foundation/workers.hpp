#pragma once
// The throttle that keeps the number of parallel scan workers at the number of
// hardware threads. A starter calls gf_waitForWorkerSlot, starts its worker and
// then increments runningWorkers; every worker calls gf_workerDone once when it
// ends, also when it ends by an exception.

#include <atomic>
#include <cstdint>

// Workers started and not yet done. Set to 0 by the start-up before the scans.
extern std::atomic<std::int32_t> runningWorkers;
// The limit: the machine's hardware threads, stored by the start-up.
extern std::atomic<std::int32_t> maxWorkers;

// Returns when fewer than maxWorkers workers run, polling every 10 microseconds.
// A limit below 1 (hardware concurrency unknown) counts as 1.
void gf_waitForWorkerSlot();

// Lowers runningWorkers by one.
void gf_workerDone();
