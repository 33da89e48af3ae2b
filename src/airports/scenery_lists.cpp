#include "airports/scenery_lists.hpp"

#include "airports/airport_services.hpp"
#include "airports/generated_airport.hpp"
#include "foundation/log.hpp"
#include "foundation/p3d_version.hpp"
#include "foundation/settings.hpp"
#include "foundation/strings.hpp"
#include "foundation/text_file.hpp"
#include "platform/folders.hpp"

#include <fmt/format.h>

#include <initializer_list>

namespace fs = std::filesystem;

namespace {

bool holdsAny(std::string_view text, std::initializer_list<std::string_view> words)
{
    for (const std::string_view w : words)
        if (text.find(w) != std::string_view::npos)
            return true;
    return false;
}

std::string withSlashes(std::string_view text)
{
    std::string s(text);
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

} // namespace

std::string gf_stockSceneryPathText()
{
    const std::string install = SIM_INSTALL_PATH.value();
    if (install.empty())
        return {};
    return (lf_simulatorPath(install) / "Scenery").string();
}

bool lf_containsStockSceneryPath(std::string_view text)
{
    const std::string stock = gf_stockSceneryPathText();
    return !stock.empty() && withSlashes(text).find(withSlashes(stock)) != std::string::npos;
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
    return platform::simulatorProgramDataFolder() / "Lockheed Martin" / ("Prepar3D v" + gf_p3dVersionFromPath()) /
           fileName;
}

void lf_takeLocalLine(std::string_view line, std::vector<std::string>& folders)
{
    if (!holdsAny(line, {"Local", "LOCAL", "local"}) || lf_isStockSceneryPath(line))
        return;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return;
    std::string value = gf_trim(line.substr(eq + 1));
    // Absolute as Windows writes it, or as this system does.
    if (value.find(":\\") == std::string::npos && !(value.size() > 0 && value[0] == '/'))
        value = (lf_simulatorPath(SIM_INSTALL_PATH.value()) / lf_simulatorPath(value)).string();
    if (lf_containsStockSceneryPath(value))
        return;
    gf_logLine("      found:" + value);
    folders.push_back(value);
}

void lf_takeAreaSection(const std::vector<std::string>& lines, std::vector<std::string>& folders)
{
    bool active = false;
    for (const auto& l : lines)
        gf_isActiveValue(active, l);
    if (!active)
        return;
    for (const auto& l : lines)
        lf_takeLocalLine(l, folders);
}

void lf_collectAreaLine(SceneryCfgReading& reading, std::string_view line, std::vector<std::string>& folders)
{
    if (holdsAny(line, {"Area", "AREA", "area"})) {
        reading.inSection = true;
        if (!reading.collected.empty()) {
            lf_takeAreaSection(reading.collected, folders);
            reading.collected.clear();
        }
        return;
    }
    if (!reading.inSection || holdsAny(line, {"Required", "REQUIRED", "Title", "TITLE", "Layer", "LAYER"}))
        return;
    reading.collected.push_back(gf_trim(line));
}

void lf_finishSceneryCfg(SceneryCfgReading& reading, std::vector<std::string>& folders)
{
    if (reading.inSection)
        lf_takeAreaSection(reading.collected, folders);
    reading = {};
}

void lf_takeAddonsXmlLine(std::string_view line, std::vector<std::string>& folders)
{
    const std::string path = gf_extractPath(line);
    if (path.empty())
        return;
    gf_logLine("found path:" + path);
    folders.push_back(path);
}

namespace {

template <typename PerLine>
void readList(const fs::path& path, std::vector<std::string>& folders, PerLine perLine)
{
    const std::size_t before = folders.size();
    const std::uintmax_t size = fs::file_size(path); // throws for a missing file: the scan ends
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(std::min<std::uintmax_t>(size, 1u << 24)) + 256);
    if (!gf_readExtTextFileToStringVector(path, lines))
        gf_logLine(path.string() + " not found!");
    else
        perLine(lines);
    gf_logLine(fmt::format("{} scenery add-on paths found\n", folders.size() - before));
}

} // namespace

void lf_readSceneryCfg(std::vector<std::string>& folders)
{
    const fs::path path = lf_sceneryListPath("scenery.cfg");
    gf_logLine(fmt::format("\nReading: {} for airport add-ons ...", path.string()));
    readList(path, folders, [&](const std::vector<std::string>& lines) {
        SceneryCfgReading reading;
        for (const auto& l : lines)
            lf_collectAreaLine(reading, l, folders);
        lf_finishSceneryCfg(reading, folders);
    });
}

void lf_readSceneryAddonsXml(std::vector<std::string>& folders)
{
    const fs::path path = lf_sceneryListPath("scenery_add-ons.xml");
    gf_logLine(fmt::format("\nReading {} for add-on airport ...", path.string()));
    readList(path, folders, [&](const std::vector<std::string>& lines) {
        for (const auto& l : lines)
            lf_takeAddonsXmlLine(l, folders);
    });
}
