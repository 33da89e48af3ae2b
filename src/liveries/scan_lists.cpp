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

void lf_addScanMessage(std::list<std::string>& list, std::mutex& mutex, std::string line)
{
    std::lock_guard lock(mutex);
    list.push_back(std::move(line));
}

void lf_addScanMessage(std::vector<std::string>& list, std::mutex& mutex, std::string line)
{
    std::lock_guard lock(mutex);
    list.push_back(std::move(line));
}

void lf_addCodeFixLine(std::string line)
{
    lf_addScanMessage(tzo::codeFixLines, tzo::codeFixLinesMutex, std::move(line));
}

void lf_addInvalidCfgFile(std::string line)
{
    lf_addScanMessage(tzo::invalidCfgFiles, tzo::invalidCfgFilesMutex, std::move(line));
}

void lf_addIncompleteSection(std::string line)
{
    lf_addScanMessage(tzo::incompleteSections, tzo::incompleteSectionsMutex, std::move(line));
}

void lf_clearScanMessages()
{
    using namespace tzo;
    dbaseConversionLines.clear();
    invalidAirlineCodes.clear();
    invalidModelCodes.clear();
    codeFixLines.clear();
    incompleteSections.clear();
    noFltsimSectionFiles.clear();
    invalidCfgFiles.clear();
    scanTitles.clear();
    dontUseTitles.clear();
    skippedOnPriority.clear();
}
