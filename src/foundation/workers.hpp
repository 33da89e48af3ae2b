#pragma once
// The throttle that keeps the number of parallel scan workers at the number of
// hardware threads. A starter takes a slot with gf_takeWorkerSlot, then starts
// its worker; every worker calls gf_workerDone once when it ends, also when it
// ends by an exception.

#include <atomic>
#include <cstdint>

// Workers started and not yet done. Set to 0 by the start-up before the scans.
extern std::atomic<std::int32_t> runningWorkers;
// The limit: the machine's hardware threads, stored by the start-up.
extern std::atomic<std::int32_t> maxWorkers;

// Returns when fewer than maxWorkers workers run, raising runningWorkers in
// the same step, so that several threads taking slots at once never pass the
// limit together. It sleeps until a worker is done (a count lowered other
// than by gf_workerDone is seen within a millisecond). A limit below 1
// (hardware concurrency unknown) counts as 1.
void gf_takeWorkerSlot();

// As gf_takeWorkerSlot, but gives up once stop() answers true (asked before
// each wait of at most a millisecond), so that workers stuck on a slow disk
// never hold up a starter that is told to end. True when a slot was taken.
bool gf_takeWorkerSlot(bool (*stop)());

// Lowers runningWorkers by one and wakes a starter waiting for a slot.
void gf_workerDone();
