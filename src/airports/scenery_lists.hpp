#pragma once
// The simulator's own scenery lists, "scenery.cfg" and "scenery_add-ons.xml",
// as sources of add-on scenery folders for the airport scan. Both are searched
// line by line for words, not parsed as INI or XML, as the simulator's own
// files are not always well-formed.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The simulator install folder joined with "Scenery" as text; empty when no
// install path is set (then nothing counts as stock scenery).
std::string gf_stockSceneryPathText();
// Whether `text` lies inside the stock scenery folder; either separator.
bool lf_containsStockSceneryPath(std::string_view text);
// A simulator path text as a path of this system: either separator accepted.
std::filesystem::path lf_simulatorPath(std::string_view text);

std::filesystem::path lf_sceneryListPath(const std::string& fileName);

// Append the folders of each list to `folders`. A list that cannot be sized
// throws std::filesystem::filesystem_error (the scan ends).
void lf_readSceneryCfg(std::vector<std::string>& folders);
void lf_readSceneryAddonsXml(std::vector<std::string>& folders);

// The line handlers.
struct SceneryCfgReading {
    bool inSection = false;
    std::vector<std::string> collected;
};
void lf_collectAreaLine(SceneryCfgReading& reading, std::string_view line, std::vector<std::string>& folders);
void lf_finishSceneryCfg(SceneryCfgReading& reading, std::vector<std::string>& folders);
void lf_takeAreaSection(const std::vector<std::string>& lines, std::vector<std::string>& folders);
void lf_takeLocalLine(std::string_view line, std::vector<std::string>& folders);
void lf_takeAddonsXmlLine(std::string_view line, std::vector<std::string>& folders);
