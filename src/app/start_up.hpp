#pragma once
// The start-up thread: one run per start and per restart, from the program
// folder to the hand-over to start of operations. It checks where the program
// runs, prepares the folders, loads and migrates the settings, brings the
// reference data up to date and reads it once per process, finds the
// simulator and RealTraffic, loads or scans the livery catalogue and, when
// asked, scans the add-on airports.

#include "foundation/shared_text.hpp"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tzo {

// The simulator's stock scenery folder: SIM_INSTALL_PATH joined with "Scenery".
extern SharedText stockAirportsPath;
// The machine's hardware threads, stored at each start; the scans' worker limit.
extern std::atomic<std::uint32_t> hardwareThreads;
// The data base and the code fixes have been read in this process.
extern std::atomic<bool> dbaseRead;
// How often a start-up has handed over to start of operations in this process.
extern std::atomic<int> operationsStarts;
// What the start-up hands over to: lf_startOperations, unless tests of the
// start-up alone put another in (nullptr puts lf_startOperations back).
void gf_installOperationsStart(void (*start)());

// The thread body (installed with gf_installStartUpBody). Raises what ends the
// start-up; the entry's wrapper counts the thread and reports the exception.
void lf_startUpNRVX();

// Without a window: how to change the saved install path, and where.
std::string gf_installPathChangeText();

// Folders, settings, controls, data files, simulator, RealTraffic, airports list.
void lf_detectRealTraffic();
void lf_prepareFolders();
void lf_loadParameters();
void lf_migrateParameters();
// True when the path detected was saved (false also when none was).
bool lf_detectP3D();
void lf_checkStockAirportsPath();
void lf_startLiveryScan(bool scan);
void lf_startAirportScan();
// The non-empty afolder values; user errors 42 (inside the stock scenery) and 49 (none).
void lf_checkAddonFolderParameters(std::vector<std::string>& folders);
// Removes the ".xml" and ".txt" files the airport scan writes into the folder;
// subfolders stay (a park airport of the user may live in one).
void lf_clearFolder(const std::filesystem::path& folder);
// The "since last run" line for that many seconds; none from 364 days on.
std::optional<std::string> lf_sinceLastRunText(std::int64_t seconds);

} // namespace tzo
