#include "airports/airport_scan.hpp"

#include "airports/airport_file.hpp"
#include "airports/airport_services.hpp"
#include "airports/bgl_walk.hpp"
#include "airports/generated_airport.hpp"
#include "airports/scenery_lists.hpp"
#include "foundation/app_hooks.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text_file.hpp"
#include "foundation/settings.hpp"
#include "refdata/publishers.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <mutex>

namespace fs = std::filesystem;

std::atomic<bool> orbxAirportsDone{true};

namespace {
std::mutex airportScanLogMutex;
std::vector<std::string> airportScanLog;
std::atomic<AirportScanRepaint> scanRepaint{nullptr};

void repaintCounts()
{
    if (const AirportScanRepaint repaint = scanRepaint.load())
        repaint();
}

std::string zipLine()
{
    return fmt::format("zip folder \"{}\", and mail to \"{}\" please!\\n", g_toBeLearnedFolder.string(),
                       kSupportMailAddress);
}

// Copies the stems that need offline learning; returns {copied, done}.
std::pair<int, int> copyForLearning(const std::vector<std::string>& stems, const fs::path& source, bool orbx)
{
    int copied = 0;
    int done = 0;
    for (const std::string& s : stems) {
        if (!gf_stockApfHasQuality(s)) {
            ++done;
            continue;
        }
        const fs::path from = source / (s + ".xml");
        const fs::path to = g_toBeLearnedFolder / (s + ".xml");
        std::error_code copyError;
        if (!gf_copyFileAtomically(from, to, copyError)) {
            gf_saySaveFailure(orbx ? fmt::format("failed to copy {}: ", from.string())
                                   : fmt::format("\"{}\" failed to copy: ", from.string()),
                              to, copyError);
            continue;
        }
        gf_logLine(fmt::format("{} copied to {}", s, to.string()));
        ++copied;
        if (fs::exists(source / (s + ".txt")))
            fs::remove(from);
    }
    return {copied, done};
}

} // namespace

void gf_listXmlFiles(const fs::path& folder, std::vector<std::string>& names)
{
    names.clear();
    names.reserve(512);
    // A folder the scan did not create (no airport found) lists nothing.
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
        std::string stem = it->path().stem().string();
        if (ext == ".XML" && stem.size() == 4)
            names.push_back(std::move(stem));
    }
    // The order Windows lists its folders in, on every platform: the copies
    // and their log lines come in the same order everywhere.
    std::sort(names.begin(), names.end());
}

void gf_installAirportScanRepaint(AirportScanRepaint repaint)
{
    scanRepaint.store(repaint);
}

void gf_addAirportScanLogLine(std::string_view text)
{
    const std::lock_guard lock(airportScanLogMutex);
    airportScanLog.emplace_back(text);
}

std::vector<std::string> gf_takeAirportScanLog()
{
    const std::lock_guard lock(airportScanLogMutex);
    return std::exchange(airportScanLog, {});
}

void lf_scanAddonPath(const std::string& path)
{
    if (path.empty())
        return;
    const fs::path p = lf_simulatorPath(path);
    if (!fs::exists(p)) {
        gf_showStatus(path + " does not exist, skipped!", true);
        return;
    }
    if (!fs::is_directory(p)) {
        gf_showStatus(path + " is not a folder name, skipped!", true);
        return;
    }
    if (lf_isInStockScenery(path))
        return;
    lf_scanFolderForAirports(p);
}

bool gf_scanAddonAirports(bool automatic, std::vector<std::string>& folders)
{
    const fs::path logPath = g_outputInfoFolder / "AirportsScanLog.txt";
    try {
        if (fs::exists(logPath))
            fs::remove(logPath);
    } catch (const std::exception&) {
        gf_logLine("problems with removing previous files (maybe still open?)");
    }
    tbloAirportCount.store(0);
    // Each scan counts its own finds: a restart's scan that finds nothing must
    // not report the earlier scan's airports as its success.
    addonAirportsFound.store(0);
    // The publisher lookup of the BGL reading writes into this scan's log.
    gf_installAirportScanLogWriter(gf_addAirportScanLogLine);
    {
        const std::lock_guard lock(airportScanLogMutex);
        if (airportScanLog.capacity() < 2048)
            airportScanLog.reserve(2048);
    }
    if (automatic) {
        lf_readSceneryCfg(folders);
        lf_readSceneryAddonsXml(folders);
    }
    for (std::size_t i = 0; i < folders.size(); ++i)
        lf_scanAddonPath(folders[i]);

    {
        std::error_code ec;
        fs::create_directories(logPath.parent_path(), ec);
        std::vector<std::string> lines;
        {
            const std::lock_guard lock(airportScanLogMutex);
            lines.swap(airportScanLog);
        }
        // "written" only when it was: a full disk once left the file empty.
        std::error_code error;
        if (gf_writeStringVectorToFile(lines, logPath, error))
            gf_logLine(logPath.string() + " written");
        else
            gf_saySaveFailure("", logPath, error);
    }
    gf_clearStatus();

    std::vector<std::string> thirdparty;
    std::vector<std::string> orbx;
    gf_listXmlFiles(g_myThirdpartyFolder, thirdparty);
    gf_listXmlFiles(g_myOrbxFolder, orbx);
    orbxAirportsDone.store(orbx.empty());
    repaintCounts();

    if (fs::exists(g_toBeLearnedFolder))
        fs::remove_all(g_toBeLearnedFolder);
    int orbxCopied = 0;
    if (!orbx.empty()) {
        if (!fs::exists(g_toBeLearnedFolder))
            fs::create_directories(g_toBeLearnedFolder);
        const auto [copied, done] = copyForLearning(orbx, g_myOrbxFolder, true);
        orbxCopied = copied;
        orbxAirportsDone.store(static_cast<std::size_t>(done + copied) == orbx.size());
        repaintCounts();
        if (copied == 0) {
            gf_logLine("All your ORBX airports are done, no off line learning needed.");
            fs::remove_all(g_toBeLearnedFolder);
        } else {
            tbloAirportCount.store(copied);
            gf_logLine("\n");
            gf_logLineMarked(zipLine());
        }
    }
    if (!thirdparty.empty()) {
        if (!fs::exists(g_toBeLearnedFolder))
            fs::create_directories(g_toBeLearnedFolder);
        const int copied = copyForLearning(thirdparty, g_myThirdpartyFolder, false).first;
        if (copied == 0) {
            gf_logLine("All your third party airports are done, no off line learning needed.");
            if (orbxCopied == 0)
                fs::remove_all(g_toBeLearnedFolder);
        } else {
            tbloAirportCount.fetch_add(copied);
            gf_logLine("\n");
            gf_logLineMarked(zipLine());
        }
    }
    const bool found = addonAirportsFound.load() > 0;
    if (found)
        gf_logLine("Airports scan successful");
    return found;
}
