#include "startup_fixture.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "liveries/catalogue_file.hpp"

#include <sys/resource.h>

using namespace starttest;
using namespace testsupport;
using updateserver::Failure;

namespace {

// The process's largest resident size so far.
long peakMemoryKb()
{
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

TEST_F(StartUpTest, firstRunFromDocsAloneReachesStartOfOperations)
{
    ASSERT_EQ(startUp(), 0) << log();

    for (const char* folder : {"output", "output/info", "output/errors", "airports", "airports/learned/stock",
                               "airports/learned/ORBX", "airports/learned/thirdparty", "input/my_regcodes"})
        EXPECT_TRUE(fs::is_directory(folder)) << folder;
    EXPECT_EQ(storedSetting("PROGRAM_VERSION"), std::string(kProgramVersionText));
    EXPECT_EQ(storedSetting("SIM_INSTALL_PATH"), install.string());
    EXPECT_EQ(storedSetting("PROGRAM_INSTALL_PATH"), fs::current_path().string());
    EXPECT_TRUE(fs::exists("input/dbase.xml"));
    EXPECT_EQ(readFile("input/regcodesAIG/AIG-regcodes.xml"), kAigFile);
    EXPECT_EQ(storedSetting("DBASE_VERSION"), "1.0.0");
    EXPECT_EQ(storedSetting("AIG_VERSION"), "1.2.0");
    EXPECT_EQ(storedSetting("DATA_CHECKED_AT_DATE"), kToday);
    EXPECT_TRUE(fs::exists("airports/archive/stock/EHAM.xml"));
    EXPECT_EQ(archiveWeek.load(), 2u);

    EXPECT_TRUE(fs::exists(g_liveriesScannedPath));
    EXPECT_EQ(storedSetting("SCAN_LIVERIES"), "false");
    EXPECT_EQ(logLinesWith("liveries scan automatic starts"), 1);
    // The built image made an airport; the file that is no BGL cost nothing more.
    EXPECT_GT(addonAirportsFound.load(), 0);
    EXPECT_EQ(storedSetting("SCAN_AIRPORTS"), "false");
    EXPECT_TRUE(fs::exists("output/info/AirportsScanLog.txt"));

    EXPECT_EQ(logLinesWith("P3Dv5 detected"), 1);
    EXPECT_EQ(statusesWith("RealTraffic not detected at this PC"), 1);
    EXPECT_FALSE(rtOnThisPc.load());
    EXPECT_EQ(tzo::hardwareThreads.load(), std::max(1u, std::thread::hardware_concurrency()));
    for (const tzo::ParameterControl* c : std::vector<const tzo::ParameterControl*>{&AUTO_RANGE, &COLLISION_USER_AIR, &GUID_CHANGES, &MAX_LIVE,
          &BLOCK_CALLSIGN, &CHECK_VERSION, &SIM_INSTALL_PATH, &SCAN_LIVERIES, &AFG_AUTOMATIC, &MAX_FIT_FL,
          &LATERAL_RANGE, &COLLISION_USER_GND})
        EXPECT_EQ(ControlStates::of(*c), std::optional<bool>(c != &CHECK_VERSION)) << c->controlId();
    for (const tzo::ParameterControl* c :
         std::vector<const tzo::ParameterControl*>{&LEARN_SOFT, &UNBLOCK, &parking_percentage, &FLUSH_STATIC})
        EXPECT_EQ(ControlStates::of(*c), std::optional<bool>(false)) << c->controlId();
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f);
    EXPECT_EQ(tzo::operationsStarts.load(), 1);
    // The first run has nothing to migrate and no earlier run to count from.
    EXPECT_EQ(logLinesWith("This is a version update"), 0);
    EXPECT_EQ(logLinesWith("since last run"), 0);
}

TEST_F(StartUpTest, detectionOfTheFolderTheSimulatorAndRealTraffic)
{
    struct Case {
        const char* what;
        bool docs, v5, v6;
        std::string path;
        int code;
    };
    const Case cases[] = {
        {"no docs", false, true, false, install.string(), 41},
        {"v5 and v6, no path", true, true, true, "", 153},
        {"v5 with an empty path", true, true, false, "", 151},
        {"none, no folders", true, false, false, "", 151},
        {"v5 with a path that does not exist", true, true, false, "/nowhere/Prepar3D v5/", 151},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.docs)
            fs::remove_all("docs");
        registryEntries(c.v5, c.v6, c.path);
        SIM_INSTALL_PATH.setValue("");
        if (fs::exists(g_parametersPath))
            fs::remove(g_parametersPath);
        EXPECT_EQ(startUp(), c.code);
        EXPECT_EQ(tzo::operationsStarts.load(), 0);
        // Nothing is saved that would outlive a mended registry.ini.
        EXPECT_TRUE(SIM_INSTALL_PATH.empty()) << SIM_INSTALL_PATH.value();
        EXPECT_EQ(readFile(g_parametersPath).find("SIM_INSTALL_PATH\" value=\"/"), std::string::npos);
        fs::create_directories("docs");
    }
    EXPECT_EQ(statusesWith("P3D not detected?"), 1);

    // A registry.ini that is no small regular file is one line naming it; the
    // start goes on to its next dead end at once, in little memory.
    const std::string registry = (dir / "registry.ini").string();
    for (const auto kind : testsupport::kOddFiles) {
        SCOPED_TRACE(testsupport::oddFileName(kind));
        testsupport::makeOddFile(registry, kind);
        SIM_INSTALL_PATH.setValue("");
        fs::remove(g_parametersPath);
        const int before = logLinesWith(registry + " is ");
        EXPECT_EQ(startUp(), 151);
        EXPECT_EQ(logLinesWith(registry + " is "), before + 1);
        EXPECT_LT(peakMemoryKb(), 1024 * 1024) << "a megabyte of registry.ini at most";
    }
    fs::remove(registry);

    // RealTraffic is found by its jar in the roaming folder.
    registryEntries(true, false, install.string());
    writeFile(dir / "roaming" / "InsideSystems" / "RealTraffic.jar", "jar");
    ASSERT_EQ(startUp(), 0) << log();
    EXPECT_TRUE(rtOnThisPc.load());
    EXPECT_EQ(statusesWith("RealTraffic detected at this PC"), 1);
}

TEST_F(StartUpTest, manualScansNeedTheirFoldersOutsideTheStockScenery)
{
    ASSERT_EQ(startUp(), 0) << log();
    struct Case {
        const char* what;
        bool liveries;
        std::string afolder;
        int code;
    };
    const Case cases[] = {
        {"manual livery scan without lfolder", true, "", 48},
        {"manual airport scan without afolder", false, "", 49},
        {"afolder inside the stock scenery", false, (install / "Scenery" / "World").string(), 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LIG_AUTOMATIC.setAndSave(false);
        SCAN_LIVERIES.setAndSave(c.liveries);
        AFG_AUTOMATIC.setAndSave(false);
        SCAN_AIRPORTS.setAndSave(!c.liveries);
        afolder0.setAndSave(c.afolder);
        EXPECT_EQ(startUp(), c.code);
    }
    EXPECT_EQ(tzo::operationsStarts.load(), 1);
}

TEST_F(StartUpTest, anAirportScanThatFindsNothingSaysSoInTheLogToo)
{
    writeFile(dir / "pd" / "Lockheed Martin" / "Prepar3D v5" / "scenery.cfg", "[General]\nTitle=Nothing added\n");
    ASSERT_EQ(startUp(), 0) << log();
    EXPECT_EQ(statusesWith("Warning: Scan has not found any add-on airports"), 1);
    EXPECT_EQ(logLinesWith("Warning: Scan has not found any add-on airports"), 1);
}

TEST_F(StartUpTest, restartsWithReasonsTwoAndThreeInOneProcess)
{
    ASSERT_EQ(startUp(), 0) << log();
    ASSERT_EQ(server->requestCount("/downloads/dbase/dbase.xml"), 1);
    const int scans = logLinesWith("airports scan automatic starts");
    // The scans are asked for again: reason 2 switches them off.
    SCAN_LIVERIES.setAndSave(true);
    SCAN_AIRPORTS.setAndSave(true);

    gf_requestExit(ExitReason::RESTART, 0);
    ASSERT_TRUE(waitFor([] { return tzo::operationsStarts.load() == 2 && idle(); }, 30s)) << log();
    EXPECT_EQ(logLinesWith("++++++++++++++++++++++++ liveries scan starts"), 1) << "catalogue read back";
    EXPECT_EQ(logLinesWith("airports scan automatic starts"), scans);

    // A typed install path: reason 3 keeps the scans as they are.
    SCAN_AIRPORTS.setAndSave(true);
    gf_requestExit(ExitReason::RESTART_IPP, 0);
    ASSERT_TRUE(waitFor([] { return tzo::operationsStarts.load() == 3 && idle(); }, 30s)) << log();
    EXPECT_EQ(logLinesWith("airports scan automatic starts"), scans + 1);

    // Same day: no data file fetched again, the data base read once.
    EXPECT_EQ(server->requestCount("/downloads/dbase/dbase.xml"), 1);
    EXPECT_EQ(server->requestCount("/downloads/aig/AIG-regcodes.xml"), 1);
    EXPECT_EQ(server->requestCount("/downloads/archive/p3d/archive.zip"), 1);
    EXPECT_EQ(server->requestCount("/downloads/release/version_P3D.json"), 1);
    EXPECT_EQ(logLinesWith("fixes.xml\" read"), 1) << "read once per process";
    EXPECT_EQ(exitServices->finalCloses.load(), 0);
    EXPECT_EQ(logLinesWith("since last run"), 2);
}

TEST_F(StartUpTest, aTypedPathAfterDetectionFailedStartsOperations)
{
    registryEntries(true, true);
    ASSERT_EQ(startUp(), 153);
    SIM_INSTALL_PATH.setAndSave(install.string());
    gf_requestExit(ExitReason::RESTART_IPP, 0);
    ASSERT_TRUE(waitFor([] { return tzo::operationsStarts.load() == 1 && idle(); }, 30s)) << log();
    EXPECT_EQ(logLinesWith("P3Dv5 detected"), 0);
}

TEST_F(StartUpTest, migrationFromAnOlderVersion)
{
    const std::int64_t now = std::time(nullptr);
    writeFile(g_parametersPath,
              "<parameters><parameter name=\"PROGRAM_VERSION\" value=\"8.7.9\"/>"
              "<parameter name=\"SECONDS_DELAY\" value=\"5\"/><parameter name=\"MAX_FIT_WEEK\" value=\"1\"/>"
              "<parameter name=\"MAX_FIT\" value=\"99999\"/><parameter name=\"DATA_CHECKED_AT_DATE\" value=\"" +
                  kToday + "\"/><parameter name=\"LAST_EPOCH_TIME\" value=\"" + std::to_string(now - 100) +
                  "\"/><parameter name=\"SIM_INSTALL_PATH\" value=\"" + install.string() + "\"/></parameters>");
    writeFile(g_installerExeName, "old installer");

    ASSERT_EQ(startUp(), 0) << log();
    EXPECT_EQ(logLinesWith("This is a version update from 8.7.9 -> 8.8.0"), 1);
    EXPECT_EQ(storedSetting("PROGRAM_VERSION"), "8.8.0");
    EXPECT_FALSE(storedSetting("SECONDS_DELAY").has_value());
    EXPECT_FALSE(storedSetting("MAX_FIT_WEEK").has_value());
    EXPECT_EQ(storedSetting("MAX_FIT"), std::to_string(MAX_FIT.max()));
    EXPECT_FALSE(fs::exists(g_installerExeName));
    EXPECT_EQ(server->requestCount("/downloads/release/version_P3D.json"), 1) << "the daily check ran";
    EXPECT_EQ(logLinesWith("since last run"), 0);
    // The next start counts from this one.
    const auto stored = storedSetting("LAST_EPOCH_TIME");
    ASSERT_TRUE(stored.has_value());
    EXPECT_GE(std::stoll(*stored), now);
}

TEST(SinceLastRun, textsByTheSecond)
{
    const std::pair<std::int64_t, std::optional<std::string>> cases[] = {
        {1, "1 second since last run"},
        {0, "0 seconds since last run"},
        {-5, "-5 second since last run"},
        {61, "1 minute and 1 second since last run"},
        {120, "2 minutes and 0 seconds since last run"},
        {524159LL * 60 + 59, "524159 minutes and 59 seconds since last run"},
        {524160LL * 60, std::nullopt},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(tzo::lf_sinceLastRunText(seconds), text) << seconds;
}

TEST_F(StartUpTest, damagedFilesAtStart)
{
    writeFile(g_parametersPath, "<parameters><parameter name=");
    ASSERT_EQ(startUp(), 0) << log();
    EXPECT_TRUE(fs::exists(g_parametersPath + ".bad"));
    EXPECT_EQ(storedSetting("PROGRAM_VERSION"), "8.8.0");

    // The catalogue is gone while the scan is off: scanned again.
    fs::remove(g_liveriesScannedPath);
    ASSERT_EQ(startUp(), 0) << log();
    EXPECT_EQ(statusesWith("is gone, rescan liveries"), 1);
    EXPECT_TRUE(fs::exists(g_liveriesScannedPath));
    EXPECT_EQ(storedSetting("SCAN_LIVERIES"), "false");

    // A damaged one is as good as gone: scanned again, with a line saying so.
    writeFile(g_liveriesScannedPath, "<meta/><liveries><liv airl=\"AAL\"");
    ASSERT_EQ(startUp(), 0) << log();
    EXPECT_EQ(statusesWith("is damaged, rescan liveries"), 1);
    EXPECT_EQ(logLinesWith("===> 51: File"), 0) << "the file is there, only damaged";
    EXPECT_EQ(tzo::gf_catalogueUnusable(g_liveriesScannedPath), "");
    EXPECT_EQ(storedSetting("SCAN_LIVERIES"), "false");

    // A catalogue that cannot be saved (a folder in its place) leaves the scan
    // on, so that the next start scans again.
    fs::remove(g_liveriesScannedPath);
    fs::create_directory(g_liveriesScannedPath);
    SCAN_LIVERIES.setAndSave(true);
    ASSERT_EQ(startUp(), 0) << log();
    EXPECT_EQ(logLinesWith("liveries not kept in " + g_liveriesScannedPath.string() + ": the next start scans again"), 1);
    EXPECT_EQ(storedSetting("SCAN_LIVERIES"), "true");
    fs::remove(g_liveriesScannedPath);
    const int scans = logLinesWith("liveries scan automatic starts");
    ASSERT_EQ(startUp(), 0) << log();
    EXPECT_EQ(logLinesWith("liveries scan automatic starts"), scans + 1);
    EXPECT_TRUE(fs::is_regular_file(g_liveriesScannedPath));
    EXPECT_EQ(storedSetting("SCAN_LIVERIES"), "false");

    // A park airport of the user survives the next airport scan; the scan's own files do not.
    writeFile("airports/my_thirdparty/EDDF/EDDF.xml", "user's park airport");
    writeFile("airports/my_thirdparty/ZZZZ.xml", "left by an earlier scan");
    SCAN_AIRPORTS.setAndSave(true);
    ASSERT_EQ(startUp(), 0) << log();
    EXPECT_TRUE(fs::exists("airports/my_thirdparty/EDDF/EDDF.xml"));
    EXPECT_FALSE(fs::exists("airports/my_thirdparty/ZZZZ.xml"));

    // A damaged data base checked today is fetched again, its damage said once.
    writeFile("input/dbase.xml", "<dbase><broken");
    tzo::dbaseRead = false;
    ASSERT_EQ(startUp(), 0) << log();
    EXPECT_EQ(logLinesWith("dbase.xml\" not read because of"), 1);

    // A damaged data base with the server down ends the start-up with its user error.
    tzo::dbaseRead = false;
    writeFile("input/dbase.xml", "<dbase><broken");
    DATA_CHECKED_AT_DATE.setAndSave("");
    const ScopedEnv down{"NORVANE_UPDATE_URL", "https://127.0.0.1:" + std::to_string(closedPort())};
    EXPECT_EQ(startUp(), 60);

    // A damaged airports list is a failure of the start-up, not of the program's data.
    gf_resetAirportsListForTests();
    tzo::dbaseRead = true;
    writeFile("input/airports_p3d.xml", "broken");
    EXPECT_THROW(startUp(), std::runtime_error);
    EXPECT_EQ(tzo::operationsStarts.load(), 7);
}

TEST_F(StartUpTest, closingDuringAStalledDownloadStartsNothing)
{
    server->fail("/downloads/dbase/version.json", Failure::Stall);
    tzo::lf_startStartUp();
    ASSERT_TRUE(waitFor([] { return server->requestCount("/downloads/dbase/version.json") == 1; }, 10s));
    gf_requestExit(ExitReason::USER_CLOSED_SIM, 0);
    ASSERT_TRUE(waitFor([] { return runningThreads.load() == 0; }, 30s));
    EXPECT_EQ(exitServices->finalCloses.load(), 1);
    EXPECT_EQ(tzo::operationsStarts.load(), 0);
    EXPECT_EQ(server->requestCount("/downloads/dbase/dbase.xml"), 0) << "no further download after the close";
    EXPECT_EQ(logLinesWith("thread still running"), 0) << "the start-up ended within the exit's wait";
}

TEST_F(StartUpTest, aPathTypedDuringTheStartUpLeavesAtMostOneRun)
{
    ASSERT_EQ(startUp(), 0) << log();
    struct Case {
        const char* what;
        std::chrono::seconds stall;
        int runs;
        int finalCloses;
    };
    // The exit waits about 4 s here for the threads (the program 10 s). A
    // start-up that ends within the wait gives way to the restart; one that
    // outlasts it ends the program, and then must not start operations either.
    const Case cases[] = {{"ends within the wait", 1s, 1, 0}, {"outlasts the wait", 7s, 0, 1}};
    int versionRequests = server->requestCount("/downloads/dbase/version.json");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tzo::operationsStarts = 0;
        exitServices->finalCloses = 0;
        DownloadTimeouts slow;
        slow.connect = 2s;
        slow.lowSpeedTime = c.stall;
        gf_setDownloadTimeouts(slow);
        server->fail("/downloads/dbase/version.json", Failure::Stall);
        DATA_CHECKED_AT_DATE.setAndSave("");
        tzo::lf_startStartUp();
        ASSERT_TRUE(waitFor([&] { return server->requestCount("/downloads/dbase/version.json") > versionRequests; }, 10s));
        server->clearFailures();
        gf_requestExit(ExitReason::RESTART_IPP, 0);
        ASSERT_TRUE(waitFor([&] { return runningThreads.load() == 0 && tzo::operationsStarts.load() + exitServices->finalCloses.load() > 0; }, 30s)) << log();
        ASSERT_TRUE(waitFor([] { return runningThreads.load() == 0; }, 30s));
        EXPECT_EQ(tzo::operationsStarts.load(), c.runs);
        EXPECT_EQ(exitServices->finalCloses.load(), c.finalCloses);
        versionRequests = server->requestCount("/downloads/dbase/version.json");
        exiting = false;
        userClosed = false;
    }
}

TEST_F(StartUpTest, aSecondScanThatFindsNothingIsNoSuccessAndKeepsTheScanOn)
{
    ASSERT_EQ(startUp(), 0) << log();
    ASSERT_EQ(logLinesWith("Airports scan successful"), 1);
    ASSERT_EQ(storedSetting("SCAN_AIRPORTS"), "false");

    // The add-on airport is uninstalled; the user asks for a scan again.
    fs::remove_all(addonScenery);
    SCAN_AIRPORTS.setAndSave(true);
    ASSERT_EQ(startUp(), 0) << log();
    EXPECT_EQ(logLinesWith("airports scan automatic starts"), 2);
    EXPECT_EQ(logLinesWith("Airports scan successful"), 1);
    EXPECT_EQ(statusesWith("Warning: Scan has not found any add-on airports"), 1);
    EXPECT_EQ(storedSetting("SCAN_AIRPORTS"), "true");
}

TEST_F(StartUpTest, whatACrashLeftIsRepairedAtTheNextStart)
{
    ASSERT_EQ(startUp(), 0) << log();
    ASSERT_EQ(storedSetting("DBASE_VERSION"), "1.0.0");
    // The next process: its data base damaged with the server's version
    // stored, and the temporary files of writes cut short beside their targets.
    tzo::dbaseRead = false;
    const std::string good = readFile("input/dbase.xml");
    writeFile("input/dbase.xml", good.substr(0, good.size() / 2));
    const fs::path leftovers[] = {"archive.zip.tmp1f2e-3", "input/dbase.xml.tmpab12-0",
                                  "airports/learned/stock/EHAM.xml.tmp9-12", "output/LiveriesScanned.xml.tmpc-4"};
    for (const fs::path& leftover : leftovers)
        writeFile(leftover, "cut short");
    writeFile("airports/notes.tmp", "the user's own");

    ASSERT_EQ(startUp(), 0) << log();
    EXPECT_EQ(server->requestCount("/downloads/dbase/dbase.xml"), 2);
    EXPECT_EQ(readFile("input/dbase.xml"), good);
    EXPECT_EQ(tzo::operationsStarts.load(), 2);
    for (const fs::path& leftover : leftovers)
        EXPECT_FALSE(fs::exists(leftover)) << leftover;
    EXPECT_TRUE(fs::exists("airports/notes.tmp"));
}

// The one slow test: the limit is the real one, 1 kB/s over 30 s.
TEST_F(StartUpTest, aDownloadAt100BytesASecondFailsAndTheStartUpGoesOn)
{
    ASSERT_EQ(startUp(), 0) << log();
    serveVersion("/downloads/dbase/version.json", "1.1.0");
    server->put("/downloads/dbase/dbase.xml", std::string(20000, ' ') + DbaseFile::minimal().text());
    server->fail("/downloads/dbase/dbase.xml", Failure::Slow);
    DATA_CHECKED_AT_DATE.setAndSave("");
    gf_setDownloadTimeouts(DownloadTimeouts{});

    tzo::lf_startStartUp();
    // Without the limit the body alone would take more than 200 s.
    EXPECT_TRUE(waitFor([] { return tzo::operationsStarts.load() == 2; }, 60s)) << log();
    EXPECT_EQ(logLinesWith("dbase.xml\" => \"input/dbase.xml\" download error: "), 1);
    EXPECT_EQ(logLinesWith("downloading input/dbase.xml failed?"), 1);
    EXPECT_EQ(storedSetting("DBASE_VERSION"), "1.0.0");
}
