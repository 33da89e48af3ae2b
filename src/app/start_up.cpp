#include "app/start_up.hpp"

#include "airports/airport_scan.hpp"
#include "airports/airport_services.hpp"
#include "airports/scenery_lists.hpp"
#include "app/commands.hpp"
#include "app/controls.hpp"
#include "app/main_window.hpp"
#include "app/settings_into_controls.hpp"
#include "app/start_operations.hpp"
#include "app/status_line.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/registry.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "foundation/version.hpp"
#include "foundation/workers.hpp"
#include "liveries/catalogue_file.hpp"
#include "liveries/code_fixes.hpp"
#include "liveries/livery_scan.hpp"
#include "parking/static_parking_services.hpp"
#include "platform/registry.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/rt_messages.hpp"
#include "refdata/dbase.hpp"
#include "refdata/downloads.hpp"
#include "refdata/program_update.hpp"
#include "refdata/update_check.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <initializer_list>
#include <thread>

namespace fs = std::filesystem;

namespace tzo {

SharedText stockAirportsPath;
std::atomic<std::uint32_t> hardwareThreads{0};
std::atomic<bool> dbaseRead{false};
std::atomic<int> operationsStarts{0};

namespace {
std::atomic<void (*)()> operationsStart{nullptr};
} // namespace

void gf_installOperationsStart(void (*start)())
{
    operationsStart.store(start);
}

namespace {

// 364 days in minutes: beyond that the last run is not worth a line.
constexpr std::int64_t kSinceLastRunMinutes = 524160;

const std::string kNoInstallPath = "No P3D install path detected, type full Install Path above, and press Enter";

// Where registry.ini is, or what names its folder.
std::string lf_registryPlace()
{
    const fs::path registry = platform::registry::storePath();
    return registry.empty() ? std::string("no application-data folder is known: set NORVANE_APPDATA")
                            : registry.string();
}

// Without a window there is no Install Path field to type into: the second
// line says what to write on this machine instead. A refused registry.ini may
// hold the key already: then the refusal is what to mend, with a window too.
std::string lf_withoutWindow(const std::string& text, std::string_view whatToWrite)
{
    const std::string refusal = platform::registry::storeRefusal();
    if (!refusal.empty())
        return fmt::format("{}\n{}{}: put a regular file in its place, as ./run.sh --help shows", text,
                           gf_windowless() ? "Without a window there is no Install Path field, and registry.ini was "
                                             "refused: "
                                           : "",
                           refusal);
    if (!gf_windowless())
        return text;
    const std::string where = lf_registryPlace();
    return fmt::format("{}\nWithout a window there is no Install Path field: {} in registry.ini ({}, or the file "
                       "NORVANE_REGISTRY names), as ./run.sh --help shows",
                       text, whatToWrite, where);
}

std::string lf_registryText()
{
    return fmt::format("registry.ini ({})", lf_registryPlace());
}

// Once saved, the path is used and the registry no longer read: the user must
// know where to change it, above all without a window and its field.
void lf_sayInstallPathFromSettings()
{
    const std::string path = SIM_INSTALL_PATH.value();
    gf_logProgressLine(fmt::format("Simulator install path {} from {} in {}", path, SIM_INSTALL_PATH.name(),
                                   g_parametersPath));
    std::error_code ec;
    if (gf_windowless() && !fs::exists(lf_simulatorPath(path), ec))
        gf_logProgressLine("It does not exist. " + gf_installPathChangeText());
}

} // namespace

std::string gf_installPathChangeText()
{
    return fmt::format("Without a window there is no Install Path field: edit {0} in {1}, or remove {0} there to "
                       "take the path from {2} again",
                       SIM_INSTALL_PATH.name(), g_parametersPath, lf_registryText());
}

namespace {

constexpr std::string_view kWriteSetupPath =
    "write the simulator's key and its SetupPath, e.g. [HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5] "
    "and SetupPath=/mnt/p3d/Prepar3D v5/,";

// The run this start-up belongs to. An exit (and with it any restart) begun
// after the start-up began makes it stale: it must then start nothing, or a
// restart during a long scan would start a second set of threads.
thread_local std::uint64_t startGeneration = 0;

bool lf_startStale()
{
    return exiting.load() || userClosed.load() || runGeneration.load() != startGeneration;
}

void lf_repaint()
{
    gf_invalidateMainWindow(ui::Rect{0, 0, kMainWindowWidth, kMainWindowHeight});
}

void lf_createFolder(const fs::path& folder)
{
    std::error_code ec;
    const bool present = fs::exists(folder, ec);
    if (ec)
        throw fs::filesystem_error("exists", folder, ec);
    if (present)
        return;
    fs::create_directory(folder, ec);
    if (ec)
        throw fs::filesystem_error("create_directory", folder, ec);
}

void lf_checkRunFolder()
{
    std::error_code ec;
    const fs::file_status status = fs::status(g_docsFolder, ec);
    if (ec && ec != std::errc::no_such_file_or_directory)
        throw fs::filesystem_error("status", g_docsFolder, ec);
    if (!fs::is_directory(status)) {
        std::error_code cwdError;
        const fs::path here = fs::current_path(cwdError);
        throw UserErrorException(41, fmt::format("{} must be run from the {} folder!\n"
                                                 "Start it in its program folder, the one with the folder \"{}\" "
                                                 "in it ({} has no \"{}\")",
                                                 kProgramName, kProgramName, g_docsFolder.string(), here.string(),
                                                 g_docsFolder.string()));
    }
}

void lf_switchOn(BoolParameterCheckBox& box, bool on)
{
    box.setChecked(on);
    box.setAndSave();
}

void lf_enable(std::initializer_list<ParameterControl*> controls)
{
    for (ParameterControl* control : controls)
        gf_enableControl(*control);
}

void lf_disable(std::initializer_list<ParameterControl*> controls)
{
    for (ParameterControl* control : controls)
        gf_disableControl(*control);
}

void lf_dailyCheck(const std::string& today)
{
    if (today != DATA_CHECKED_AT_DATE.value()) {
        gf_updateProgram(fs::current_path());
        gf_updateAigRegcodes();
        if (gf_updateArchive())
            lf_switchOn(SCAN_AIRPORTS, true);
        DATA_CHECKED_AT_DATE.setAndSave(today);
        gf_disableControl(CHECK_VERSION);
        return;
    }
    std::error_code ec;
    if (!fs::exists(g_aigRegcodesPath, ec))
        gf_updateAigRegcodes();
    if (gf_listArchiveAirports() > 0 && gf_updateArchive())
        lf_switchOn(SCAN_AIRPORTS, true);
}

// A crash in the middle of a save, a download or an unpacking leaves its
// temporary file beside the target. Nothing writes into these folders while
// the start-up runs.
void lf_removeLeftoverTemporaryFiles()
{
    int removed = gf_removeLeftoverTemporaryFilesIn(".", false);
    for (const fs::path* folder : {&g_inputFolder, &g_outputFolder, &g_airportsFolder, &g_docsFolder})
        removed += gf_removeLeftoverTemporaryFilesIn(*folder, true);
    if (removed > 0)
        gf_logLine(fmt::format("{} temporary file{} of an interrupted write removed", removed,
                               removed == 1 ? "" : "s"));
}

void lf_logSinceLastRun()
{
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    if (const auto text = lf_sinceLastRunText(now - LAST_EPOCH_TIME.value()))
        gf_logLine(*text);
    // Written at each start, so that the next start can tell the time between.
    LAST_EPOCH_TIME.setAndSave(static_cast<std::int32_t>(std::min<std::int64_t>(now, LAST_EPOCH_TIME.max())));
}

} // namespace

std::optional<std::string> lf_sinceLastRunText(std::int64_t seconds)
{
    const std::int64_t minutes = seconds / 60;
    if (minutes < 1)
        return fmt::format("{} second{} since last run", seconds, seconds == 1 || seconds < 0 ? "" : "s");
    if (minutes >= kSinceLastRunMinutes)
        return std::nullopt;
    const std::int64_t rest = seconds - 60 * minutes;
    return fmt::format("{} minute{} and {} second{} since last run", minutes, minutes > 1 ? "s" : "", rest,
                       rest == 1 ? "" : "s");
}

void lf_prepareFolders()
{
    for (const fs::path* folder : {&g_outputFolder, &g_outputInfoFolder, &g_outputErrorsFolder, &g_airportsFolder,
                                   &g_learnedFolder, &g_learnedStockFolder, &g_learnedOrbxFolder,
                                   &g_learnedThirdpartyFolder})
        lf_createFolder(*folder);
}

void lf_migrateParameters()
{
    const std::string stored = PROGRAM_VERSION.value();
    if (stored.empty()) {
        PROGRAM_VERSION.setAndSave(std::string(kProgramVersionText));
        return;
    }
    const Version before = gf_parseVersion(stored);
    const Version& now = gf_programVersion();
    if (before != now)
        PROGRAM_VERSION.setAndSave(std::string(kProgramVersionText));
    if (!(now > before))
        return;
    gf_logLine(fmt::format("This is a version update from {} -> {}", gf_versionToString(before),
                           gf_versionToString(now)));
    std::error_code ec;
    if (fs::exists(g_installerExeName, ec)) {
        fs::remove(g_installerExeName, ec);
        if (ec)
            throw fs::filesystem_error("remove", g_installerExeName, ec);
    }
    for (const char* name : g_obsoleteParameterNames)
        gf_pruneParameters(name);
    MAX_FIT.setValue(MAX_FIT.value());
    MAX_FIT.save();
    DATA_CHECKED_AT_DATE.setAndSave("");
    LAST_EPOCH_TIME.setAndSave(0);
}

void lf_loadParameters()
{
    gf_readSettings();
    lf_migrateParameters();
    gf_rangeFromSetting();
    savedMaxLive.store(static_cast<std::uint32_t>(MAX_LIVE.value()));
    gf_showStoredSettings();
}

bool lf_detectP3D()
{
    const InstalledSimulators installed = gf_detectInstalledSimulators();
    const int k = (installed.v6 ? 6 : 0) + (installed.v5 ? 5 : 0);
    if (k >= 7)
        throw UserErrorException(
            153, lf_withoutWindow("More than one P3D version detected, type full Install Path to wanted version above "
                                  "and press Enter",
                                  "keep the key of the wanted version only, with its SetupPath,"));
    if (k == 5 || k == 6) {
        const char* name = installed.v5 ? "P3Dv5" : installed.v4 ? "P3Dv4" : "P3Dv6";
        gf_logLine(fmt::format("{} detected", name));
        const std::string path = gf_p3dSetupPath(k);
        if (path.empty()) {
            gf_clearControlText(SIM_INSTALL_PATH.controlId());
            throw UserErrorException(151, lf_withoutWindow(kNoInstallPath, kWriteSetupPath));
        }
        // A path saved once is used from then on: a wrong one must not be,
        // so that the mended registry.ini is read at the next start.
        std::error_code ec;
        if (!fs::is_directory(lf_simulatorPath(path), ec)) {
            gf_clearControlText(SIM_INSTALL_PATH.controlId());
            throw UserErrorException(
                151, fmt::format("{}\nSetupPath {} in {} does not exist: mend it there (nothing was saved, the next "
                                 "start reads it again){}",
                                 kNoInstallPath, path, lf_registryText(),
                                 gf_windowless() ? "" : ", or type the install path above and press Enter"));
        }
        return lf_setInstallPath(path);
    }
    gf_showStatus("P3D not detected?", true);
    const auto empty = [](const auto& settings) {
        return std::all_of(settings.begin(), settings.end(), [](const StringParameter* p) { return p->empty(); });
    };
    if (empty(g_liveryFolderSettings) && empty(g_addonFolderSettings)) {
        gf_clearControlText(SIM_INSTALL_PATH.controlId());
        throw UserErrorException(151, lf_withoutWindow(kNoInstallPath, kWriteSetupPath));
    }
    return false;
}

void lf_detectRealTraffic()
{
    lf_prepareFolders();
    lf_loadParameters();

    lf_enable({&AUTO_RANGE, &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND, &GUID_CHANGES, &BLOCK_CALLSIGN, &MAX_LIVE,
               &CHECK_VERSION});
    lf_disable({&LATERAL_RANGE, &LEARN_SOFT});
    if (BLOCK_CALLSIGN.empty())
        gf_disableControl(UNBLOCK);
    else
        gf_enableControl(UNBLOCK);

    PROGRAM_INSTALL_PATH.setAndSave(fs::current_path().string());
    nowDayHour.store(gf_currentDayHour().toU64());
    gf_updateAigRegcodes();

    const std::string today = gf_currentDateStamp();
    std::error_code ec;
    // A damaged data base counts as missing, or every start would end in its error.
    const bool checkedToday = today == DATA_CHECKED_AT_DATE.value();
    const bool unusable = checkedToday && !gf_dbaseFileUsable();
    if (!checkedToday || unusable)
        gf_updateDbase(unusable);
    // A close during a slow download ends the start-up before the next one.
    if (lf_startStale())
        return;
    if (!dbaseRead.load()) {
        try {
            gf_readDbase();
        } catch (const UserErrorException&) {
            // Neither the file nor the update check brought a data base: only the user can.
            gf_logErrorCause(fmt::format("{} is missing or damaged and the update server {} sent none: let {} "
                                         "reach the server (NORVANE_UPDATE_URL names it), or copy a dbase.xml "
                                         "there",
                                         fs::absolute(g_dbasePath).string(), gf_updateServerUrl(), kProgramName));
            throw;
        }
        gf_readFixesXml();
        dbaseRead.store(true);
    }
    lf_dailyCheck(today);
    if (lf_startStale())
        return;
    archiveWeek.store(static_cast<std::uint32_t>(std::max(0, gf_parseVersion(ARCHIVE_VERSION.value()).major)));

    gf_enableControl(SIM_INSTALL_PATH);
    if (SIM_INSTALL_PATH.empty()) {
        const bool saved = lf_detectP3D();
        // A save that failed has said so; the path still serves this run.
        if (!SIM_INSTALL_PATH.empty())
            gf_logProgressLine(saved ? fmt::format("Simulator install path {} read from {}, saved as {} in {}",
                                                   SIM_INSTALL_PATH.value(), lf_registryText(),
                                                   SIM_INSTALL_PATH.name(), g_parametersPath)
                                     : fmt::format("Simulator install path {} read from {}, for this run only",
                                                   SIM_INSTALL_PATH.value(), lf_registryText()));
    } else {
        lf_sayInstallPathFromSettings();
    }

    const fs::path jar = gf_knownFolderPath() / g_realTrafficFolderName / "RealTraffic.jar";
    rtOnThisPc.store(fs::exists(jar, ec));
    gf_showStatus(fmt::format("RealTraffic {}detected at this PC", rtOnThisPc.load() ? "" : "not "), true);

    lf_enable({&LIG_PRIORITIZE, &SCAN_LIVERIES, &LIG_AUTOMATIC, &SCAN_AIRPORTS, &AFG_AUTOMATIC, &LIGHT_AIRCRAFT,
               &HELICOPTERS, &HIGH_PERF_AIRCRAFT, &INITIAL_LOAD_ONLY, &PARK_SOFT, &PARK_FAKE, &WEEK,
               &NAV_LIGHTS_WHILE_PARKED, &COLLISION_USER_GND, &AIRPORT_RANGE, &AIRPORT_HEIGHT, &MAX_FIT_FL,
               &MATCHING_DEPTH, &LATERAL_RANGE});
    lf_disable({&parking_percentage, &FLUSH_STATIC});
    manualRange.store(LATERAL_RANGE.value());
    MAX_FIT_FL.setValue(static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f);
    MAX_FIT_FL.show();

    gf_loadAirportsList();
    gf_flushLog();
}

void lf_checkStockAirportsPath()
{
    const fs::path path = lf_simulatorPath(SIM_INSTALL_PATH.value()) / "Scenery";
    stockAirportsPath.set(path.string());
    std::error_code ec;
    if (!fs::exists(path, ec))
        gf_showStatus(fmt::format("Stock airports path does not exist: {}", path.string()), true);
}

void lf_startLiveryScan(bool scan)
{
    std::vector<std::string> folders;
    if (scan) {
        const bool prioritized = LIG_PRIORITIZE.value() && !LIG_AUTOMATIC.value();
        gf_showStatus(fmt::format("Scanning {}for liveries ...", prioritized ? "prioritized " : ""), false);
        gf_logLine("");
        gf_logLine(fmt::format("++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                               LIG_AUTOMATIC.value() ? "automatic" : "manual"));
        if (!LIG_AUTOMATIC.value()) {
            folders = gf_liveryFoldersFromSettings();
            if (folders.empty())
                throw UserErrorException(48, "Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or "
                                             "check Liveries automatic)");
        }
    } else {
        gf_logLine("++++++++++++++++++++++++ liveries scan starts ++++++++++++++++++++++++++++++++");
    }
    const bool kept = gf_scanLiveries(scan, LIG_AUTOMATIC.value(), LIG_PRIORITIZE.value(), folders);
    // A rescan cut short by an exit, or whose catalogue could not be saved,
    // wrote no catalogue: the next start must scan again.
    if (scan && kept && !lf_startStale()) {
        lf_switchOn(SCAN_LIVERIES, false);
        lf_repaint();
    }
    gf_logLine("-------------------------- liveries scan ends   --------------------------------");
    gf_logLine("");
}

void lf_checkAddonFolderParameters(std::vector<std::string>& folders)
{
    for (const StringParameter* p : g_addonFolderSettings) {
        const std::string value = p->value();
        if (value.empty())
            continue;
        if (lf_isInStockScenery(value))
            throw UserErrorException(
                42, fmt::format("parameter {} points to stock airports instead of add-on airports!", p->name()));
        folders.push_back(value);
    }
    if (folders.empty())
        throw UserErrorException(49, "Set afolder parameter(-s) to your add-on airports first, see Manual 6.1");
}

void lf_clearFolder(const fs::path& folder)
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (!entry.is_regular_file(ec))
            continue;
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (ext == ".xml" || ext == ".txt")
            files.push_back(entry.path());
    }
    for (const fs::path& file : files) {
        std::error_code removeError;
        if (!fs::remove(file, removeError) && removeError)
            gf_logLine(file.string() + " could not be removed");
    }
}

void lf_startAirportScan()
{
    const bool automatic = AFG_AUTOMATIC.value();
    gf_showStatus("Scanning for addon airports ...", false);
    gf_logLine("");
    gf_logLine(fmt::format("++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++",
                           automatic ? "automatic" : "manual"));
    std::vector<std::string> folders;
    if (!automatic)
        lf_checkAddonFolderParameters(folders);
    for (const fs::path* folder : {&g_myOrbxFolder, &g_myThirdpartyFolder}) {
        std::error_code ec;
        if (fs::is_directory(*folder, ec))
            lf_clearFolder(*folder);
        else
            fs::create_directories(*folder);
    }
    const bool found = gf_scanAddonAirports(automatic, folders);
    if (lf_startStale()) {
        // Cut short: SCAN_AIRPORTS stays on so that the next start scans again.
    } else if (found) {
        lf_switchOn(SCAN_AIRPORTS, false);
    } else {
        gf_showStatus("Warning: Scan has not found any add-on airports", true);
    }
    gf_logLine("-------------------------- airports scan ends    ----------------------------");
    gf_logLine("");
}

namespace {

void lf_startUpSteps();

std::int32_t lf_countEntries(const fs::path& folder)
{
    std::error_code ec;
    std::int32_t n = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        ++n;
    return n;
}

} // namespace

void lf_startUpNRVX()
{
    // The entry's wrapper counts this thread in runningThreads and reports
    // what leaves here through gf_logException("lf_startUpNRVX").
    startGeneration = runGeneration.load();
    try {
        lf_startUpSteps();
    } catch (const UserErrorException&) {
        // Every user error ends the start-up: nothing runs until it is mended.
        // With a window the entry's wrapper reports it and the window waits.
        if (!gf_windowless())
            throw;
        gf_logException("lf_startUpNRVX");
        gf_nothingLeftToDo();
    }
}

namespace {

void lf_startUpSteps()
{
    platform::registry::forgetStore();
    lf_checkRunFolder();
    lf_removeLeftoverTemporaryFiles();
    lf_detectRealTraffic();
    if (lf_startStale())
        return;
    lf_logSinceLastRun();
    lf_createFolder(g_myRegcodesFolder);
    lf_checkStockAirportsPath();

    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    hardwareThreads.store(threads);
    maxWorkers.store(static_cast<std::int32_t>(threads));
    runningWorkers.store(0);

    // A damaged catalogue is as good as a missing one: scanned again.
    if (const std::string unusable = SCAN_LIVERIES.value() ? std::string() : gf_catalogueUnusable(g_liveriesScannedPath);
        !unusable.empty()) {
        gf_showStatus(fmt::format("File {} {}, rescan liveries", g_liveriesScannedPath.string(), unusable), true);
        lf_switchOn(SCAN_LIVERIES, true);
        lf_repaint();
    }
    lf_startLiveryScan(SCAN_LIVERIES.value());
    if (lf_startStale())
        return;

    if (SCAN_AIRPORTS.value())
        lf_startAirportScan();
    mainWindowObject.thirdpartyAirports.store(lf_countEntries(g_myThirdpartyFolder));
    mainWindowObject.orbxAirports.store(lf_countEntries(g_myOrbxFolder));
    lf_repaint();

    if (runGeneration.load() != startGeneration)
        return; // a newer run owns the program now
    if (exiting.load() || userClosed.load()) {
        gf_requestExit(ExitReason::USER_CLOSED_SIM, 1);
        return;
    }
    operationsStarts.fetch_add(1);
    if (const auto start = operationsStart.load())
        start();
    else
        lf_startOperations();
}

} // namespace

} // namespace tzo
