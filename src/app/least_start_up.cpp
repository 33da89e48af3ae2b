#include "app/least_start_up.hpp"

#include "airports/airports_list.hpp"
#include "app/start_operations.hpp"
#include "app/settings_into_controls.hpp"
#include "foundation/app_hooks.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/registry.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "liveries/code_fixes.hpp"
#include "liveries/livery_scan.hpp"
#include "realtraffic/link_state.hpp"
#include "refdata/dbase.hpp"

#include <fmt/format.h>

#include <atomic>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace tzo {

namespace {

// The data base and the fixes stay for the life of the process: a restart
// does not read them again.
std::atomic<bool> g_dbaseRead{false};

void lf_checkRunFolder()
{
    std::error_code error;
    const bool isFolder = fs::is_directory(g_docsFolder, error);
    if (error && error != std::errc::no_such_file_or_directory)
        throw fs::filesystem_error("status", g_docsFolder, error);
    if (!isFolder)
        throw UserErrorException(41, fmt::format("{} must be run from the {} folder!", "Norvane_P3D", "Norvane_P3D"));
}

void lf_prepareFolders()
{
    for (const fs::path& folder : {g_outputFolder, g_outputInfoFolder, g_outputErrorsFolder, g_airportsFolder,
                                   g_learnedStockFolder, g_learnedOrbxFolder, g_learnedThirdpartyFolder,
                                   g_myRegcodesFolder}) {
        std::error_code error;
        if (fs::exists(folder, error))
            continue;
        if (error)
            throw fs::filesystem_error("exists", folder, error);
        fs::create_directories(folder, error);
        if (error)
            throw fs::filesystem_error("create_directory", folder, error);
    }
}

// The install path from the registry when it is not set and exactly one
// simulator version is installed; otherwise the path stays as it is.
void lf_detectSimulator()
{
    if (!SIM_INSTALL_PATH.empty())
        return;
    const InstalledSimulators installed = gf_detectInstalledSimulators();
    if (installed.v5 == installed.v6) {
        gf_showStatus(installed.v5 ? "More than one P3D version detected" : "P3D not detected?", true);
        return;
    }
    const int major = installed.v6 ? 6 : 5;
    gf_logLine(fmt::format("P3Dv{} detected", major));
    const std::string path = gf_p3dSetupPath(major);
    if (path.empty())
        return;
    SIM_INSTALL_PATH.setAndSave(path);
    SIM_INSTALL_PATH.show();
}

void lf_detectRealTraffic()
{
    const bool found = fs::exists(gf_knownFolderPath() / g_realTrafficFolderName / "RealTraffic.jar");
    rtOnThisPc.store(found);
    gf_showStatus(fmt::format("RealTraffic {}detected at this PC", found ? "" : "not "), true);
}

void lf_loadLiveryCatalogue()
{
    if (!fs::exists(g_liveriesScannedPath) && !SCAN_LIVERIES.value()) {
        gf_showStatus(fmt::format("File {} is gone, rescan liveries", g_liveriesScannedPath.string()), true);
        SCAN_LIVERIES.setChecked(true);
        SCAN_LIVERIES.setAndSave();
    }
    const bool scan = SCAN_LIVERIES.value();
    std::vector<std::string> folders;
    if (scan && !LIG_AUTOMATIC.value()) {
        folders = gf_liveryFoldersFromSettings();
        if (folders.empty())
            throw UserErrorException(48, "Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or check "
                                         "Liveries automatic)");
    }
    gf_logLine(scan ? fmt::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                                  LIG_AUTOMATIC.value() ? "automatic" : "manual")
                    : "\n++++++++++++++++++++++++ liveries scan starts ++++++++++++++++++++++++++++++++");
    if (gf_scanLiveries(scan, LIG_AUTOMATIC.value(), LIG_PRIORITIZE.value(), folders) && scan &&
        !exiting.load() && !userClosed.load()) {
        SCAN_LIVERIES.setChecked(false);
        SCAN_LIVERIES.setAndSave();
    }
    gf_logLine("-------------------------- liveries scan ends   --------------------------------\n");
}

} // namespace

void lf_leastStartUp()
{
    gf_loadSettingsIntoControls();
    lf_checkRunFolder();
    lf_prepareFolders();
    nowDayHour.store(gf_currentDayHour().toU64());
    if (!g_dbaseRead.load()) {
        gf_readDbase();
        gf_readFixesXml();
        g_dbaseRead.store(true);
    }
    lf_detectSimulator();
    lf_detectRealTraffic();
    lf_loadLiveryCatalogue();
    if (exiting.load() || userClosed.load())
        return;
    if (fs::exists(g_airportsListPath))
        gf_loadAirportsList();
    gf_flushLog();
    if (exiting.load() || userClosed.load())
        gf_requestExit(ExitReason::USER_CLOSED_SIM, 1);
    else
        lf_startOperations();
}

} // namespace tzo
