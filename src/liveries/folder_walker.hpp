#pragma once
// The walk of one SimObjects folder: one scan task per aircraft configuration
// file (AIRCRAFT.CFG or SIM.CFG in any case), run by as many threads as
// maxWorkers allows, never more tasks running at once than that (counted in
// runningWorkers), their liveries appended to scannedLiveries in the order the
// files were found.

#include <cstddef>
#include <cstdint>
#include <filesystem>

// What the last walk saw of its own throttle; for the benchmark and the tests.
struct LiveryWalkStats {
    std::size_t tasksStarted = 0;
    std::int32_t mostRunning = 0;     // highest runningWorkers right after a start
    std::size_t mostOutstanding = 0;  // most tasks started and not yet collected
};

// Walks the folder and its subfolders, except those whose path below the
// folder holds "airport" or whose whole path is 250 characters or longer, and
// returns when every task it started has ended. The files the liveries name
// must lie below the folder. An unreadable subfolder and a failing task cost a
// log line and only what they hold. Stops starting tasks once the program is
// exiting or the user has closed it. Runs on one thread at a time.
void lf_searchLiveriesInFolder(std::uint32_t priority, const std::filesystem::path& folder);

// The figures of the last call of lf_searchLiveriesInFolder.
LiveryWalkStats gf_lastLiveryWalkStats();
