#pragma once
// Walks a scenery folder for BGL files that hold airports and reads each in a
// task of its own, no more at a time than maxWorkers (foundation/workers.hpp).

#include <filesystem>
#include <functional>
#include <string_view>

// What a task does with one BGL file; throws to report a failure.
using BglFileTask = std::function<void(const std::filesystem::path&)>;

// True exactly for ".BGL" and ".bgl".
bool lf_isBglExtension(std::string_view extension);

// The scan's task for one file: reads its airports, links or generates their
// files. Logs an exception to the scan log and passes it on.
void lf_toParkingPositions(const std::filesystem::path& path);

// Walks the folder and everything below it (symbolic links to folders are
// not followed, an unreadable folder is skipped with a scan-log line) and
// runs `task` (lf_toParkingPositions when empty) for every candidate file that
// passes lf_bglHasAirportSection (tested on the task's thread). The files go,
// in the order found, to at most maxWorkers threads that each take the next
// one as soon as they are done; each file is counted in runningWorkers before
// its task starts, and no more are counted at once than maxWorkers. `task`
// may thus run on several threads at once. Returns when every task has
// finished and the generated files are in place. Stops starting tasks once an
// exit is under way. Never throws.
void lf_scanFolderForAirports(const std::filesystem::path& folder, const BglFileTask& task = {});
