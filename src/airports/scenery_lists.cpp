#include "airports/scenery_lists.hpp"

#include "airports/airport_services.hpp"
#include "airports/generated_airport.hpp"
#include "foundation/log.hpp"
#include "foundation/p3d_version.hpp"
#include "foundation/settings.hpp"
#include "foundation/strings.hpp"
#include "foundation/text_file.hpp"
#include "platform/folders.hpp"
#include "platform/ini_file.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string withSlashes(std::string_view text)
{
    std::string s(text);
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

} // namespace

fs::path gf_realPath(const fs::path& path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    if (ec)
        return path.lexically_normal();
    fs::path real = fs::weakly_canonical(absolute, ec);
    return ec ? absolute.lexically_normal() : real;
}

StockScenery::StockScenery()
{
    const std::string install = SIM_INSTALL_PATH.value();
    if (!install.empty())
        m_real = gf_realPath(lf_simulatorPath(install) / "Scenery");
}

bool StockScenery::holds(std::string_view pathText) const
{
    return !m_real.empty() && holdsReal(gf_realPath(lf_simulatorPath(pathText)));
}

bool StockScenery::holdsReal(const fs::path& real) const
{
    if (m_real.empty())
        return false;
    // Whole names, as Windows compares them: "Scenery Addons" or "SceneryX"
    // beside the Scenery folder are add-on folders, not stock scenery.
    const std::string stockText = m_real.generic_string();
    const std::string realText = real.generic_string();
    const std::vector<std::string_view> stock = lf_pathNames(stockText);
    const std::vector<std::string_view> names = lf_pathNames(realText);
    return names.size() >= stock.size() &&
           std::equal(stock.begin(), stock.end(), names.begin(),
                      [](std::string_view a, std::string_view b) { return platform::equalsNoCase(a, b); });
}

bool lf_isInStockScenery(std::string_view text)
{
    return StockScenery().holds(text);
}

std::vector<std::string_view> lf_pathNames(std::string_view text)
{
    std::vector<std::string_view> names;
    if (!text.empty() && (text.front() == '/' || text.front() == '\\'))
        names.emplace_back("/");
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t stop = text.find_first_of("/\\", start);
        if (stop == std::string_view::npos)
            stop = text.size();
        const std::string_view name = text.substr(start, stop - start);
        if (name == "..") {
            if (!names.empty() && names.back() != ".." && names.back() != "/")
                names.pop_back();
            else if (names.empty() || names.back() == "..")
                names.push_back(name);
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = stop + 1;
    }
    return names;
}

fs::path lf_simulatorPath(std::string_view text)
{
#ifdef _WIN32
    return fs::path(std::string(text));
#else
    return fs::path(withSlashes(text));
#endif
}

fs::path lf_sceneryListPath(const std::string& fileName)
{
    const fs::path folder = gf_simulatorFolderBelow(platform::simulatorProgramDataFolder());
    return folder.empty() ? fs::path() : folder / fileName;
}

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && platform::equalsNoCase(text.substr(0, prefix.size()), prefix);
}

// The first value of the key in the section, compared without regard to case
// as the simulator's profile reading does; empty when the key is missing.
std::string_view firstValue(const platform::IniFile::Section& section, std::string_view key)
{
    for (const auto& entry : section.entries)
        if (platform::equalsNoCase(entry.key, key))
            return entry.value;
    return {};
}

void takeLocalFolder(std::string_view local, std::vector<std::string>& folders)
{
    if (local.empty() || lf_isStockSceneryPath(local))
        return;
    std::string value(local);
    // Absolute as Windows writes it, or as this system does.
    if (value.find(":\\") == std::string::npos && value.front() != '/')
        value = (lf_simulatorPath(SIM_INSTALL_PATH.value()) / lf_simulatorPath(value)).string();
    if (lf_isInStockScenery(value))
        return;
    gf_logLine("      found:" + value);
    folders.push_back(value);
}

// Takes the Path elements in document order.
struct PathElements final : pugi::xml_tree_walker {
    explicit PathElements(std::vector<std::string>& f) : folders(f) {}
    std::vector<std::string>& folders;

    bool for_each(pugi::xml_node& node) override
    {
        if (node.type() != pugi::node_element || std::string_view(node.name()) != "Path")
            return true;
        const std::string path(gf_trim(node.child_value()));
        if (!path.empty()) {
            gf_logLine("found path:" + path);
            folders.push_back(path);
        }
        return true;
    }
};

template <typename Take>
void readList(const fs::path& path, const std::string& shown, std::vector<std::string>& folders, Take take)
{
    const std::size_t before = folders.size();
    std::vector<std::string> lines;
    std::error_code error;
    // A simulator without the list (or without add-ons) is no reason to end
    // the scan: the other list and the afolder settings still count.
    if (path.empty() || !fs::exists(path, error) || !gf_readExtTextFileToStringVector(path, lines))
        gf_logLineMarked(shown + " not found!");
    else
        take(lines);
    gf_logLine(fmt::format("{} scenery add-on paths found\n", folders.size() - before));
}

} // namespace

void lf_takeSceneryCfgLines(const std::vector<std::string>& lines, std::vector<std::string>& folders)
{
    std::string text;
    for (const auto& line : lines) {
        // Comments the profile reader does not know.
        if (gf_trim(line).starts_with("//"))
            continue;
        text += line;
        text += '\n';
    }
    platform::IniFile ini;
    ini.parse(text);
    for (const auto& section : ini.sections()) {
        if (!startsWithNoCase(section.name, "Area") || !platform::equalsNoCase(firstValue(section, "Active"), "TRUE"))
            continue;
        takeLocalFolder(firstValue(section, "Local"), folders);
    }
}

void lf_takeSceneryAddonsXmlLines(const std::vector<std::string>& lines, const std::string& pathText,
                                  std::vector<std::string>& folders)
{
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += '\n';
    }
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) {
        gf_logLineMarked(fmt::format("{}: {} at offset {}, no add-on paths taken from it", pathText,
                                     parsed.description(), parsed.offset));
        return;
    }
    PathElements paths(folders);
    doc.traverse(paths);
}

void lf_readSceneryCfg(std::vector<std::string>& folders)
{
    const fs::path path = lf_sceneryListPath("scenery.cfg");
    const std::string shown = gf_listFileText(path, "scenery.cfg", platform::kUnknownProgramDataText);
    gf_logLine(fmt::format("\nReading: {} for airport add-ons ...", shown));
    readList(path, shown, folders, [&](const std::vector<std::string>& lines) { lf_takeSceneryCfgLines(lines, folders); });
}

void lf_readSceneryAddonsXml(std::vector<std::string>& folders)
{
    const fs::path path = lf_sceneryListPath("scenery_add-ons.xml");
    const std::string shown = gf_listFileText(path, "scenery_add-ons.xml", platform::kUnknownProgramDataText);
    gf_logLine(fmt::format("\nReading {} for add-on airport ...", shown));
    readList(path, shown, folders, [&](const std::vector<std::string>& lines) {
        lf_takeSceneryAddonsXmlLines(lines, path.string(), folders);
    });
}
