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
