#include "liveries/scan_lists.hpp"

namespace tzo {

const std::string genericAirline = "ZZZ";

std::list<std::string> invalidAirlineCodes;
std::mutex invalidAirlineCodesMutex;
std::list<std::string> invalidModelCodes;
std::mutex invalidModelCodesMutex;
std::vector<std::string> codeFixLines;
std::mutex codeFixLinesMutex;
std::list<std::string> invalidCfgFiles;
std::mutex invalidCfgFilesMutex;
std::list<std::string> incompleteSections;
std::mutex incompleteSectionsMutex;
std::list<std::string> noFltsimSectionFiles;
std::mutex noFltsimSectionFilesMutex;

std::vector<std::string> dbaseConversionLines;
std::list<std::string> skippedOnPriority;

std::set<std::string> scanTitles;
std::mutex scanTitlesMutex;

std::vector<std::string> dontUseTitles;

} // namespace tzo
