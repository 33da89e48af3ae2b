#pragma once
// The livery scan driver: once per start of the work, before operations
// start, it either rescans the aircraft configuration files below the
// SimObjects folders (in priority order) or reads back "LiveriesScanned.xml",
// and hands the liveries to the catalogue. Runs on the start-up thread.

#include "liveries/livery_data.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// rescan: the setting SCAN_LIVERIES; addonPackages: LIG_AUTOMATIC (the folders
// are then found in the simulator's package lists and appended to folders);
// prioritize: LIG_PRIORITIZE; folders: lfolder0..lfolder9 in order, empty ones
// left out (left empty with LIG_AUTOMATIC or without a rescan). Answers false
// when a rescan's catalogue could not be saved (the next start must scan
// again), true otherwise; every other failure leaves as an exception: UserErrorException 53 "no liveries
// found" after a rescan that found nothing (its report files written, the
// catalogue file of the last scan kept), 51-53 from the catalogue file, the
// file-system errors of a folder test. A rescan cut short by an exit request
// writes nothing and returns true.
bool gf_scanLiveries(bool rescan, bool addonPackages, bool prioritize, std::vector<std::string>& folders);

// The folders of the settings lfolder0..lfolder9, in order, empty ones left out.
std::vector<std::string> gf_liveryFoldersFromSettings();

// Scans one folder of the list: priority counts the existing folders (capped
// at 10), total the liveries found so far, previous the list size after the
// folder before.
void lf_scanLiveryFolder(std::uint32_t& priority, std::uint64_t& total, std::uint64_t& previous,
                         const std::string& folder);

// Applies the registration data base to one livery: cargo flag, operator
// (else airline) and model of the registration's record; each change is
// listed in dbaseConversionLines.
void lf_logLiveryFixes(tzo::LiveryData& livery);

// Removes entries of the sorted scannedLiveries equal to the one kept before
// them in airline, model, title, registration and cargo; answers how many.
std::size_t lf_removeDuplicateLiveries();
