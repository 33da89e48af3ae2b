#pragma once
// The simulator's own scenery lists, "scenery.cfg" and "scenery_add-ons.xml",
// as sources of add-on scenery folders for the airport scan. Each is read as
// what it is: "scenery.cfg" as INI, "scenery_add-ons.xml" as XML, both after
// the any-encoding reader made their lines UTF-8.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The simulator install folder joined with "Scenery" as text; empty when no
// install path is set (then nothing counts as stock scenery).
std::string gf_stockSceneryPathText();
// Whether `text` is the stock scenery folder or lies below it: compared name
// by name without regard to case, either separator.
bool lf_isInStockScenery(std::string_view text);
// The names of a path, either separator; "." and empty names are dropped and
// ".." takes back the name before it, so that a detour through a folder's
// parent cannot hide where a path ends up. A path from the root begins with "/".
std::vector<std::string_view> lf_pathNames(std::string_view text);

// A simulator path text as a path of this system: either separator accepted.
std::filesystem::path lf_simulatorPath(std::string_view text);

// A list file of the simulator's ProgramData folder; empty when that folder is not known.
std::filesystem::path lf_sceneryListPath(const std::string& fileName);

// Append the folders of each list to `folders`, in file order. A list that is
// missing or cannot be read gives a marked log line and no folders.
void lf_readSceneryCfg(std::vector<std::string>& folders);
void lf_readSceneryAddonsXml(std::vector<std::string>& folders);

// The lines of each list as read: the [Area.N] sections of "scenery.cfg"
// (keys whole and without regard to case, ";", "#" and "//" lines skipped,
// values unquoted) whose Active key is true give their Local folder unless it
// is stock scenery; every Path element of "scenery_add-ons.xml" gives its text.
void lf_takeSceneryCfgLines(const std::vector<std::string>& lines, std::vector<std::string>& folders);
void lf_takeSceneryAddonsXmlLines(const std::vector<std::string>& lines, const std::string& pathText,
                                  std::vector<std::string>& folders);
