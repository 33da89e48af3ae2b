#pragma once
// The simulator's own scenery lists, "scenery.cfg" and "scenery_add-ons.xml",
// as sources of add-on scenery folders for the airport scan. Each is read as
// what it is: "scenery.cfg" as INI, "scenery_add-ons.xml" as XML, both after
// the any-encoding reader made their lines UTF-8.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Where a path really is: made absolute against the program folder (the
// current folder), its links resolved as far as it exists, normalised. A
// path that cannot be resolved (a folder that cannot be read on the way)
// stays as written, made absolute and normalised.
std::filesystem::path gf_realPath(const std::filesystem::path& path);

// The simulator's stock scenery folder, the install folder joined with
// "Scenery", where it really is: an install path relative to the program
// folder or through a link names the same folder as its real path does.
// Taken from SIM_INSTALL_PATH when made; with no install path set nothing
// is stock scenery.
class StockScenery {
public:
    StockScenery();
    // Whether the path text (either separator) is the folder or lies below
    // it, by real paths compared name by name without regard to case.
    bool holds(std::string_view pathText) const;
    // The same for a path that is real already (gf_realPath).
    bool holdsReal(const std::filesystem::path& real) const;

private:
    std::filesystem::path m_real; // empty: no install path
};

// StockScenery().holds(text), for a single question.
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
