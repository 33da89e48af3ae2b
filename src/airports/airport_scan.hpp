#pragma once
// The add-on airport scan: folders from the simulator's scenery lists or the
// afolder settings, each walked for BGL files whose airports become link or
// generated airport files; its own log "AirportsScanLog.txt"; and the copy of
// generated files that need offline learning into "TO_BE_LEARNED_OFFLINE".

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

// Set when no ORBX airport waits for offline learning; the window colours its ORBX line by it.
extern std::atomic<bool> orbxAirportsDone;

// The address the zip line asks the user to mail the folder to.
inline constexpr const char* kSupportMailAddress = "support@norvane.example";

// The window's repaint of the band that shows the scan's counts
// (tbloAirportCount, orbxAirportsDone); installed by the shell, none before.
using AirportScanRepaint = void (*)();
void gf_installAirportScanRepaint(AirportScanRepaint repaint);

// Everything logged since the last take; empties the log.
std::vector<std::string> gf_takeAirportScanLog();

// One whole scan. With `automatic` the scenery lists' folders are appended to
// `folders`. True when add-on airports were found in this process so far.
// File-system errors outside the walks (a missing scenery list, the offline
// folder) are thrown.
bool gf_scanAddonAirports(bool automatic, std::vector<std::string>& folders);

// The four-character stems of the ".xml" files (any letter case of the
// extension) directly in the folder, sorted; none when it cannot be listed.
void gf_listXmlFiles(const std::filesystem::path& folder, std::vector<std::string>& names);

// Checks and walks one folder of the list.
void lf_scanAddonPath(const std::string& path);
