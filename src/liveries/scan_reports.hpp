#pragma once
// The files a livery scan leaves for the user: what it had to fix or could not
// use (output/errors) and what it noticed (output/info), and the summary in
// the log that names them.

#include <filesystem>

// Relative paths, as the summary names them.
extern const std::filesystem::path g_invalidAirlineCodesPath;  // output/errors/InvalidAirlineCodes.txt
extern const std::filesystem::path g_invalidModelCodesPath;    // output/errors/InvalidAircraftCodes.txt
extern const std::filesystem::path g_codeFixLinesPath;         // output/errors/Fixes.txt
extern const std::filesystem::path g_invalidCfgFilesPath;      // output/errors/InvalidAircraftCfgFiles.txt
extern const std::filesystem::path g_incompleteSectionsPath;   // output/errors/IncompleFltsimSections.txt
extern const std::filesystem::path g_noFltsimSectionFilesPath; // output/info/AircraftCfgWithNoFltsimSection.txt
extern const std::filesystem::path g_dbaseConversionLinesPath; // output/info/AirlineModelConversions.txt
extern const std::filesystem::path g_skippedOnPriorityPath;    // output/info/LiveriesSkippedOnPriority.txt
extern const std::filesystem::path g_airlineDataPath;          // output/info/AirlineData.txt, only removed

// Removes the report files of the previous scan (not the catalogue) and the
// errors folder when it is left empty. A file that cannot be removed is logged and the others are
// still removed. "AirlineModelConversions.txt" stays: only a scan with
// conversions replaces it.
void lf_removeScanOutputs();

// Writes every non-empty report list to its file (sorted, except the code
// fixes and the conversions, which keep the order found) and logs the
// summary. Creates the errors folder when it writes into it; raises the
// file-system error when that fails. Runs when no scan task runs.
void lf_writeScanSummary();
