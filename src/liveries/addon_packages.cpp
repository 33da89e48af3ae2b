#include "liveries/addon_packages.hpp"

#include "airports/airport_services.hpp"
#include "foundation/log.hpp"
#include "foundation/p3d_version.hpp"
#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "foundation/strings.hpp"
#include "foundation/text_file.hpp"
#include "platform/folders.hpp"

#include <fmt/format.h>

#include <initializer_list>
#include <string_view>

namespace fs = std::filesystem;

namespace {

bool lf_holdsAny(std::string_view line, std::initializer_list<std::string_view> words)
{
    for (const auto word : words)
        if (line.find(word) != std::string_view::npos)
            return true;
    return false;
}

bool lf_holdsPathKey(std::string_view line)
{
    return lf_holdsAny(line, {"Path", "PATH", "path"});
}

// The state of one list file: its sections' lines, gathered until the next
// header so that an Active line after the Path line still counts.
struct ListReading {
    bool inSection = false;
    std::vector<std::string> pending;
};

template <typename Take>
void lf_evaluateSection(ListReading& reading, Take take)
{
    bool active = false;
    for (const auto& line : reading.pending)
        gf_isActiveValue(active, line);
    if (active)
        for (const auto& line : reading.pending)
            take(line);
    reading.pending.clear();
}

// One line of a list file: a header line starts a section, the others are
// gathered unless they hold a word of `skipped`.
template <typename Take>
void lf_parseListLine(ListReading& reading, const std::string& line, std::initializer_list<std::string_view> headers,
                      std::initializer_list<std::string_view> skipped, Take take)
{
    // A header ("[Package.3]") has no '='; a key line whose value holds the
    // word ("Path=D:\Packages\AI") stays a line of its section.
    if (lf_holdsAny(line, headers) && line.find('=') == std::string::npos) {
        reading.inSection = true;
        if (!reading.pending.empty())
            lf_evaluateSection(reading, take);
        return;
    }
    if (reading.inSection && !lf_holdsAny(line, skipped))
        reading.pending.push_back(line);
}

// The lines of a list file; false after the " not found!" line.
bool lf_readListFile(const fs::path& path, const std::string& shown, std::vector<std::string>& lines)
{
    if (!path.empty() && gf_readExtTextFileToStringVector(path, lines))
        return true;
    gf_logLine(shown + " not found!");
    return false;
}

std::string lf_afterEquals(std::string_view line, bool& found)
{
    const std::size_t equals = line.find('=');
    found = equals != std::string_view::npos;
    return found ? std::string(line.substr(equals + 1)) : std::string();
}

void lf_takePackagePath(const std::string& line, std::vector<std::string>& packages)
{
    bool found = false;
    const std::string text = lf_afterEquals(line, found);
    if (!lf_holdsPathKey(line) || !found || gf_trim(text).empty())
        return;
    gf_logLine("path found:" + text);
    packages.emplace_back(gf_trim(text));
}

void lf_parseAddOnsCfgLine(ListReading& reading, const std::string& line, std::vector<std::string>& packages)
{
    lf_parseListLine(reading, line, {"Package", "PACKAGE"}, {"Required", "REQUIRED"},
                     [&packages](const std::string& taken) { lf_takePackagePath(taken, packages); });
}

// The simulator's own SimObjects categories, named relative to its folder.
bool lf_namesSimulatorCategory(std::string_view line)
{
    return lf_holdsAny(line, {"Airplanes", "Avatars", "Rotorcraft", "GroundVehicles", "Boats", "Animals", "Misc",
                              "Submersible", "Weapons", "Countermeasures"});
}

void lf_takeSimObjectsPath(const std::string& line, std::vector<std::string>& folders)
{
    if (!lf_holdsPathKey(line))
        return;
    bool found = false;
    const std::string value(gf_trim(lf_afterEquals(line, found)));
    // An empty path names no folder (it would scan the working folder).
    if (!found || value.empty())
        return;
    if (line.find("SimObjects") == std::string::npos) {
        folders.push_back(lf_localPathText(value));
        return;
    }
    if (lf_namesSimulatorCategory(line))
        folders.push_back(
            (fs::path(lf_localPathText(SIM_INSTALL_PATH.value())) / lf_localPathText(value)).string());
}

void lf_parseSimObjectsCfgLine(ListReading& reading, const std::string& line, std::vector<std::string>& folders)
{
    lf_parseListLine(reading, line, {"Entry", "ENTRY"}, {"Title", "Required"},
                     [&folders](const std::string& taken) { lf_takeSimObjectsPath(taken, folders); });
}

// Whether the text names a folder from a root: "/x", "\x" or "D:\x".
bool lf_isAbsolutePathText(std::string_view text)
{
    if (!text.empty() && (text.front() == '/' || text.front() == '\\'))
        return true;
    return text.size() >= 2 && text[1] == ':' &&
           ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
}

// Only the line right after a SimObjects line is looked at for its <Path>.
void lf_parseAddOnXmlLine(bool& armed, const std::string& line, const std::string& packageFolder,
                          std::vector<std::string>& folders)
{
    if (!armed) {
        armed = lf_holdsAny(line, {"SimObjects", "SIMOBJECTS", "Simobjects", "simobjects"});
        return;
    }
    armed = false;
    const std::string text = gf_extractPath(line);
    if (text.empty() || lf_holdsAny(text, {"Lights Reborn", "Aerosoft Geneva Professional"}))
        return;
    gf_logLine("      Simobjects found:" + text);
    // The simulator reads a relative path inside the package's folder.
    const std::string local = lf_localPathText(text);
    folders.push_back(lf_isAbsolutePathText(text) ? local
                                                  : (fs::path(lf_localPathText(packageFolder)) / local).string());
}

} // namespace

std::string lf_localPathText(std::string text)
{
#ifndef _WIN32
    for (char& c : text)
        if (c == '\\')
            c = '/';
#endif
    return text;
}

fs::path lf_addOnsCfgPath()
{
    const fs::path folder = gf_simulatorFolderBelow(gf_knownFolderPath());
    return folder.empty() ? fs::path() : folder / "add-ons.cfg";
}

fs::path lf_simObjectsCfgPath()
{
    const fs::path folder = gf_simulatorFolderBelow(platform::simulatorProgramDataFolder());
    return folder.empty() ? fs::path() : folder / "simobjects.cfg";
}

void lf_readAddOnsCfg(std::vector<std::string>& folders)
{
    const fs::path path = lf_addOnsCfgPath();
    const std::string shown = gf_listFileText(path, "add-ons.cfg", platform::kUnknownRoamingAppDataText);
    gf_logLine(fmt::format("\nReading {} for AI add-on packages...", shown));
    const std::size_t before = folders.size();
    std::vector<std::string> lines;
    if (lf_readListFile(path, shown, lines)) {
        ListReading reading;
        std::vector<std::string> packages;
        for (const auto& line : lines)
            lf_parseAddOnsCfgLine(reading, line, packages);
        if (reading.inSection)
            lf_evaluateSection(reading,
                               [&packages](const std::string& taken) { lf_takePackagePath(taken, packages); });
        for (const auto& package : packages)
            lf_exploreAddOnXml(folders, package);
    }
    gf_logLine(fmt::format("{} AI add-on packages found", folders.size() - before));
}

void lf_exploreAddOnXml(std::vector<std::string>& folders, const std::string& packageFolder)
{
    const fs::path path = fs::path(lf_localPathText(packageFolder)) / "add-on.xml";
    gf_logLine("   exploring " + path.string());
    std::vector<std::string> lines;
    if (!gf_readExtTextFileToStringVector(path, lines)) {
        gf_logLine(path.string() + " not found!");
        return;
    }
    bool armed = false;
    for (const auto& line : lines)
        lf_parseAddOnXmlLine(armed, line, packageFolder, folders);
}

void lf_readSimObjectsCfg(std::vector<std::string>& folders)
{
    const fs::path path = lf_simObjectsCfgPath();
    const std::string shown = gf_listFileText(path, "simobjects.cfg", platform::kUnknownProgramDataText);
    gf_logLine(fmt::format("\nReading {} for AI add-on packages...", shown));
    const std::size_t before = folders.size();
    std::vector<std::string> lines;
    if (lf_readListFile(path, shown, lines)) {
        ListReading reading;
        for (const auto& line : lines)
            lf_parseSimObjectsCfgLine(reading, line, folders);
        if (reading.inSection)
            lf_evaluateSection(reading,
                               [&folders](const std::string& taken) { lf_takeSimObjectsPath(taken, folders); });
    }
    gf_logLine(fmt::format("{} AI add-on packages found", folders.size() - before));
}
