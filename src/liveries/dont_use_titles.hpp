#pragma once
// The two filters of a rescan: titles that must not be used (read before the
// aircraft.cfg files are scanned, from the AI package's registration file and
// the user's registration files), and the pruning of liveries found in a less
// important SimObjects folder than another livery of the same airline and
// model.

#include <filesystem>

namespace tzo {

// Appends to dontUseTitles the titles of "AIG-regcodes.xml" entries without
// registration codes.
void lf_readDontUseTitles();
void lf_readDontUseTitles(const std::filesystem::path& path);

// Appends to dontUseTitles the single-field lines longer than 8 bytes of the
// ".TXT" files of the user's registration folder.
void gf_readDontUseTitleFiles();
void gf_readDontUseTitleFiles(const std::filesystem::path& folder);

// Keeps, for each airline and model of scannedLiveries, only the liveries of
// the smallest priority number; the others are listed in skippedOnPriority
// ("{:3} {:4} \"title\"") and removed.
void lf_reportDuplicateLiveries();

// The pruning when prioritize (the setting LIG_PRIORITIZE) is on; with it off
// the liveries of every folder are kept.
void gf_applyPriorities(bool prioritize);

} // namespace tzo
