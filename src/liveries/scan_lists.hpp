#pragma once
// What one livery scan collects besides its liveries: the report lists that its
// parallel per-file tasks append to (each under its own mutex), the titles
// already taken and the titles not to use. Cleared together after each scan.

#include <list>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace tzo {

// The generic airline.
extern const std::string genericAirline; // "ZZZ"

extern std::list<std::string> invalidAirlineCodes;
extern std::mutex invalidAirlineCodesMutex;
extern std::list<std::string> invalidModelCodes;
extern std::mutex invalidModelCodesMutex;
extern std::vector<std::string> codeFixLines;
extern std::mutex codeFixLinesMutex;
extern std::list<std::string> invalidCfgFiles;
extern std::mutex invalidCfgFilesMutex;
extern std::list<std::string> incompleteSections;
extern std::mutex incompleteSectionsMutex;
extern std::list<std::string> noFltsimSectionFiles;
extern std::mutex noFltsimSectionFilesMutex;

// Touched by the scan driver's thread only.
extern std::vector<std::string> dbaseConversionLines;
extern std::list<std::string> skippedOnPriority;

// Every title that gave a livery in the current scan.
extern std::set<std::string> scanTitles;
extern std::mutex scanTitlesMutex;

// Filled before the scan's tasks start and only read while they run.
extern std::vector<std::string> dontUseTitles;

} // namespace tzo

// Appends one line to a report list while holding that list's mutex; the
// tasks of a scan call these in parallel.
void lf_addScanMessage(std::list<std::string>& list, std::mutex& mutex, std::string line);
void lf_addScanMessage(std::vector<std::string>& list, std::mutex& mutex, std::string line);

// Appends to codeFixLines, invalidCfgFiles and incompleteSections.
void lf_addCodeFixLine(std::string line);
void lf_addInvalidCfgFile(std::string line);
void lf_addIncompleteSection(std::string line);

// Empties every list above, scanTitles and dontUseTitles. Takes no lock: only
// for moments at which no scan task runs.
void lf_clearScanMessages();
