#include "liveries/livery_scan.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "liveries/addon_packages.hpp"
#include "liveries/catalogue_file.hpp"
#include "liveries/dont_use_titles.hpp"
#include "liveries/folder_walker.hpp"
#include "liveries/livery_maps.hpp"
#include "liveries/livery_window.hpp"
#include "liveries/scan_lists.hpp"
#include "liveries/scan_reports.hpp"
#include "liveries/scanned_liveries.hpp"
#include "platform/folders.hpp"
#include "refdata/dbase_lookups.hpp"

#include <fmt/format.h>

#include <filesystem>
#include <system_error>
#include <tuple>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kLowestPriority = 10;

bool lf_stopRequested()
{
    return exiting.load() || userClosed.load();
}

// Whether the folder holds a regular file; a missing folder holds none.
bool lf_holdsRegularFile(const fs::path& folder)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        if (error == std::errc::no_such_file_or_directory)
            return false;
        throw fs::filesystem_error("directory_iterator", folder, error);
    }
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error)
            throw fs::filesystem_error("directory_iterator::operator++", folder, error);
        if (it->is_regular_file())
            return true;
    }
    if (error)
        throw fs::filesystem_error("directory_iterator::operator++", folder, error);
    return false;
}

// Equal entries (the priority aside) end up next to each other.
void lf_sortScannedLiveries()
{
    tzo::scannedLiveries.sort([](const tzo::LiveryData& a, const tzo::LiveryData& b) {
        return std::tie(a.airl, a.type, a.atcid, a.title, a.cargo) <
               std::tie(b.airl, b.type, b.atcid, b.title, b.cargo);
    });
}

// The run's lists, and the scan's titles, start empty: a run cut short by an
// exit must not make the next run count from its liveries or refuse its titles.
void lf_forgetScan()
{
    tzo::scannedLiveries.clear();
    lf_clearScanMessages();
}

// What a user without liveries needs to mend: the folders looked in and,
// for the simulator's own list, whether its folder was known at all. Also on
// the terminal without a window, where Log.txt is not in sight.
void lf_sayWhereSearched(bool addonPackages, const std::vector<std::string>& folders)
{
    if (folders.empty()) {
        gf_logErrorCause("No SimObjects folder was searched: none is named by simobjects.cfg, add-ons.cfg or the "
                           "lfolder settings");
    } else {
        std::string list;
        for (const std::string& folder : folders)
            list += (list.empty() ? "" : ", ") + folder;
        gf_logErrorCause(fmt::format("No liveries in the SimObjects folder{} searched: {}",
                                       folders.size() == 1 ? "" : "s", list));
    }
    if (addonPackages && platform::simulatorProgramDataFolder().empty())
        gf_logErrorCause(fmt::format("simobjects.cfg not read: {}", platform::kUnknownProgramDataText));
}

// True unless the catalogue could not be saved.
bool lf_rescan(bool addonPackages, bool prioritize, std::vector<std::string>& folders)
{
    lf_forgetScan();
    lf_removeScanOutputs();
    if (fs::exists(g_aigRegcodesPath))
        tzo::lf_readDontUseTitles();
    if (lf_holdsRegularFile(g_myRegcodesFolder))
        tzo::gf_readDontUseTitleFiles();
    if (addonPackages) {
        lf_readAddOnsCfg(folders);
        lf_readSimObjectsCfg(folders);
    }

    std::uint32_t priority = 0;
    std::uint64_t total = 0;
    std::uint64_t previous = 0;
    for (const auto& folder : folders)
        lf_scanLiveryFolder(priority, total, previous, folder);

    if (lf_stopRequested()) {
        lf_forgetScan();
        return true;
    }
    if (tzo::scannedLiveries.empty()) {
        // The reports say why, and the last good catalogue stays for the
        // next start: one failed rescan must not leave the user with neither.
        lf_writeScanSummary();
        tzo::gf_showLiveryCount(0);
        lf_clearScanMessages();
        gf_clearStatus();
        if (fs::exists(g_liveriesScannedPath))
            gf_logLineMarked(fmt::format("no liveries found, {} of the last scan kept", g_liveriesScannedPath.string()));
        lf_sayWhereSearched(addonPackages, folders);
        throw tzo::UserErrorException(53, "no liveries found");
    }
    if (folders.size() > 1)
        gf_logLine(fmt::format("{} in total", total));

    for (auto& livery : tzo::scannedLiveries)
        lf_logLiveryFixes(livery);
    tzo::gf_applyPriorities(prioritize);
    lf_writeScanSummary();

    lf_sortScannedLiveries();
    lf_removeDuplicateLiveries();
    tzo::gf_showLiveryCount(static_cast<std::int64_t>(tzo::scannedLiveries.size()));
    lf_clearScanMessages();
    gf_clearStatus();

    const bool saved = tzo::lf_writeLiveriesScanned();
    tzo::gf_processScannedLiveries();
    tzo::scannedLiveries.clear();
    return saved;
}

} // namespace

bool gf_scanLiveries(bool rescan, bool addonPackages, bool prioritize, std::vector<std::string>& folders)
{
    if (rescan)
        return lf_rescan(addonPackages, prioritize, folders);
    tzo::lf_readLiveriesScanned();
    tzo::gf_processScannedLiveries();
    tzo::scannedLiveries.clear();
    return true;
}

std::vector<std::string> gf_liveryFoldersFromSettings()
{
    std::vector<std::string> folders;
    for (const auto* setting : g_liveryFolderSettings)
        if (std::string folder = setting->value(); !folder.empty())
            folders.push_back(std::move(folder));
    return folders;
}

void lf_scanLiveryFolder(std::uint32_t& priority, std::uint64_t& total, std::uint64_t& previous,
                         const std::string& folder)
{
    if (folder.empty())
        return;
    const fs::path path(folder);
    if (!fs::exists(path)) {
        gf_logLine(folder + " does not exist, skipped!");
        return;
    }
    if (!fs::is_directory(path)) {
        gf_logLine(folder + " is not a folder name, skipped!");
        return;
    }
    if (priority < kLowestPriority)
        ++priority;
    if (lf_stopRequested())
        return;

    lf_searchLiveriesInFolder(priority, path);

    const std::uint64_t now = tzo::scannedLiveries.size();
    const std::string where = "found in " + folder;
    if (now == 0) {
        gf_logLine(fmt::format("No liveries {}", where));
    } else {
        const std::uint64_t found = now - previous;
        gf_logLine(fmt::format("{} liverie{} {}", found, found == 1 ? "" : "s", where));
    }
    total += now - previous;
    previous = now;
}

void lf_logLiveryFixes(tzo::LiveryData& livery)
{
    if (livery.atcid.empty())
        return;
    const auto record = gf_findDbaseRecord(livery.atcid);
    if (!record)
        return;
    if (record->cargo != livery.cargo) {
        tzo::dbaseConversionLines.push_back(
            fmt::format("{:80} {} cargo {} => {}", livery.title, livery.atcid, livery.cargo, record->cargo));
        livery.cargo = record->cargo;
    }
    // A record without operator or airline, or without model, says nothing
    // about them: an empty code would leave a livery the catalogue cannot keep.
    const std::string& airline = record->opr.empty() ? record->airl : record->opr;
    if (!airline.empty() && airline != livery.airl) {
        tzo::dbaseConversionLines.push_back(
            fmt::format("{:80} {} airl {} => {}", livery.title, livery.atcid, livery.airl, airline));
        livery.airl = airline;
    }
    if (!record->type.empty() && record->type != livery.type) {
        tzo::dbaseConversionLines.push_back(
            fmt::format("{:80} {} model {} => {}", livery.title, livery.atcid, livery.type, record->type));
        livery.type = record->type;
    }
}

std::size_t lf_removeDuplicateLiveries()
{
    std::size_t removed = 0;
    auto& list = tzo::scannedLiveries;
    if (list.empty())
        return 0;
    auto kept = list.begin();
    for (auto it = std::next(kept); it != list.end();) {
        if (it->airl == kept->airl && it->type == kept->type && it->title == kept->title &&
            it->atcid == kept->atcid && it->cargo == kept->cargo) {
            it = list.erase(it);
            ++removed;
        } else {
            kept = it++;
        }
    }
    return removed;
}
