#include "catalogue_fixture.hpp"
#include "scan_fixture.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/exceptions.hpp"
#include "liveries/folder_walker.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries/scan_reports.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>

using scantest::addAircraft;
using scantest::cfgText;

namespace fs = std::filesystem;

namespace {

std::atomic<std::int64_t> g_shownCount{-1};

struct DriverTest : livtest::CatalogueTest {
    fs::path sim = dir / "sim";
    std::vector<std::string> folders;

    DriverTest()
    {
        scantest::resetThrottle();
        lf_clearScanMessages();
        tzo::codeFixes.clear();
        g_shownCount = -1;
        tzo::gf_installLiveryWindowHooks({.showLiveryCount = [](std::int64_t count) { g_shownCount = count; }});
        readDbase(scantest::scanDbase()
                      .record("N100", "AAL", "B738", "UAL")
                      .record("N200", "BAW", "", "")
                      .record("N300", "", "A321", "", "true")
                      .record("N400", "", "", ""));
    }
    ~DriverTest() override
    {
        scantest::resetThrottle();
        lf_clearScanMessages();
    }

    // A folder of the list with one aircraft per title.
    std::string folder(const std::string& name, const std::vector<std::string>& titles)
    {
        for (const auto& title : titles)
            addAircraft(sim / name / title, {title});
        folders.push_back((sim / name).string());
        return folders.back();
    }

    bool scan(bool prioritize = false) { return gf_scanLiveries(true, false, prioritize, folders); }

    // The catalogue as "airline model title", sorted.
    static std::vector<std::string> catalogue()
    {
        std::vector<std::string> entries;
        for (const auto& [airline, models] : tzo::allLiveries)
            for (const auto& [model, liveries] : models)
                for (const auto& livery : liveries)
                    entries.push_back(fmt::format("{} {} {}{}", airline, model, livery.title,
                                                  livery.cargo ? " cargo" : ""));
        std::sort(entries.begin(), entries.end());
        return entries;
    }
};

} // namespace

TEST_F(DriverTest, countLinesPerFolderAndTheTotal)
{
    const auto empty = folder("Empty", {});
    fs::create_directories(empty);
    const auto a = folder("A", {"a1", "a2", "a3"});
    const auto b = folder("B", {"b1"});
    const auto c = folder("C", {});
    fs::create_directories(c);

    EXPECT_TRUE(scan());
    EXPECT_TRUE(logHasLine("No liveries found in " + empty)) << "a first folder without liveries";
    EXPECT_TRUE(logHasLine("3 liveries found in " + a));
    EXPECT_TRUE(logHasLine("1 liverie found in " + b));
    EXPECT_TRUE(logHasLine("0 liveries found in " + c));
    EXPECT_TRUE(logHasLine("4 in total"));
    EXPECT_EQ(g_shownCount.load(), 4);
    EXPECT_TRUE(fs::exists(g_liveriesScannedPath));
    EXPECT_TRUE(tzo::scannedLiveries.empty());
    EXPECT_EQ(catalogue().size(), 4u);

    tzo::gf_resetLiveryCatalogue();
    folders = {b};
    EXPECT_TRUE(scan());
    EXPECT_EQ(logLinesWith(" in total"), 1) << "only the first scan had several folders";
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"AAL B738 b1"}));
}

TEST_F(DriverTest, priorityCountsExistingFoldersUpToTen)
{
    std::vector<std::string> list;
    for (int i = 1; i <= 12; ++i) {
        addAircraft(sim / fmt::format("f{:02}", i) / "x", {fmt::format("t{:02}", i)});
        list.push_back((sim / fmt::format("f{:02}", i)).string());
        if (i == 10)
            list.push_back((sim / "missing").string());
    }
    list.insert(list.begin() + 3, "");
    testsupport::writeFile(sim / "file", "not a folder");
    list.insert(list.begin() + 5, (sim / "file").string());

    std::uint32_t priority = 0;
    std::uint64_t total = 0;
    std::uint64_t previous = 0;
    for (const auto& entry : list)
        lf_scanLiveryFolder(priority, total, previous, entry);

    std::vector<std::uint32_t> priorities;
    for (const auto& livery : tzo::scannedLiveries)
        priorities.push_back(livery.priority);
    EXPECT_EQ(priorities, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10}));
    EXPECT_EQ(total, 12u);
    EXPECT_TRUE(logHasLine((sim / "missing").string() + " does not exist, skipped!"));
    EXPECT_TRUE(logHasLine((sim / "file").string() + " is not a folder name, skipped!"));
}

TEST_F(DriverTest, registrationsConvertAirlineModelAndCargo)
{
    const fs::path base = sim / "A";
    auto add = [&](const std::string& title, const std::string& codes, const std::string& atcid) {
        scantest::aircraftAt(base / title);
        testsupport::writeFile(base / title / "aircraft.cfg", cfgText({{title, codes, {"atc_id=" + atcid}}}));
    };
    add("opr", "AAL", "N100");      // the operator wins over the airline
    add("airl", "AAL", "N200");     // no operator: the airline
    add("cargo", "AAL", "N300");    // model and cargo flag
    add("nothing", "AAL", "N400");  // a record without codes changes nothing
    add("twice", "AAL,CSC", "N100"); // both become UAL: one remains
    folders = {base.string()};

    EXPECT_TRUE(scan());
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"AAL A321 cargo cargo", "AAL B738 nothing", "BAW B738 airl",
                                                     "UAL B738 opr", "UAL B738 twice"}));
    const auto conversions = CatalogueTest::fileLines(g_dbaseConversionLinesPath);
    EXPECT_EQ(conversions.size(), 6u);
    EXPECT_EQ(std::count(conversions.begin(), conversions.end(),
                         fmt::format("{:80} {} airl {} => {}", "opr", "N100", "AAL", "UAL")),
              1);
    EXPECT_EQ(std::count(conversions.begin(), conversions.end(),
                         fmt::format("{:80} {} cargo {} => {}", "cargo", "N300", "false", "true")),
              1);
    EXPECT_EQ(g_shownCount.load(), 5);
}

TEST_F(DriverTest, prioritizeKeepsTheFirstFoldersAirlineAndModel)
{
    folder("A", {"a1"});
    const fs::path b = sim / "B";
    addAircraft(b / "b1", {"b1"});
    scantest::aircraftAt(b / "b2");
    testsupport::writeFile(b / "b2" / "aircraft.cfg", cfgText({{"b2", "UAL"}}));
    folders.push_back(b.string());

    EXPECT_TRUE(scan(true));
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"AAL B738 a1", "UAL B738 b2"}));
    EXPECT_EQ(CatalogueTest::fileLines(g_skippedOnPriorityPath).size(), 1u);

    // The catalogue only ever grows within a process; start it afresh.
    tzo::gf_resetLiveryCatalogue();
    EXPECT_TRUE(scan(false));
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"AAL B738 a1", "AAL B738 b1", "UAL B738 b2"}));
    EXPECT_FALSE(fs::exists(g_skippedOnPriorityPath));
}

// A rescan that finds nothing says why in its report files and leaves the
// catalogue of the last good scan for the next start.
TEST_F(DriverTest, nothingFoundKeepsTheCatalogueAndWritesItsReasons)
{
    folder("A", {"a1"});
    EXPECT_TRUE(scan());
    ASSERT_TRUE(fs::exists(g_liveriesScannedPath));
    const std::string catalogueText = testsupport::readFile(g_liveriesScannedPath);

    scantest::aircraftAt(sim / "B" / "x");
    testsupport::writeFile(sim / "B" / "x" / "aircraft.cfg", cfgText({{"b1", "XXX"}}));
    addAircraft(sim / "B" / "y", {"b2"});
    fs::remove(sim / "B" / "y" / "B738.air");
    folders = {(sim / "B").string()};
    try {
        scan();
        FAIL() << "no exception";
    } catch (const tzo::UserErrorException& e) {
        EXPECT_EQ(e.code(), 53);
        EXPECT_TRUE(std::string(e.what()).ends_with("no liveries found")) << e.what();
    }
    EXPECT_EQ(g_shownCount.load(), 0);
    EXPECT_EQ(testsupport::readFile(g_liveriesScannedPath), catalogueText);
    EXPECT_EQ(testsupport::countLinesWith(g_invalidAirlineCodesPath, "XXX"), 1);
    EXPECT_EQ(testsupport::countLinesWith(g_incompleteSectionsPath, "B738.air [fltsim.0] does not exist"), 1);
    EXPECT_EQ(logLinesWith("no liveries found, " + g_liveriesScannedPath.string() + " of the last scan kept"), 1);
    EXPECT_TRUE(tzo::scanTitles.empty());
    EXPECT_TRUE(tzo::incompleteSections.empty());
}

TEST_F(DriverTest, exitDuringTheWalkWritesNothingAndTheNextRunCountsFromZero)
{
    const auto a = folder("A", {"a1", "a2", "a3", "a4", "a5", "a6"});
    // A file with broken UTF-16 shows a status while the walk runs; this
    // test's status line asks the program to exit.
    scantest::aircraftAt(sim / "A" / "broken");
    testsupport::writeFile(sim / "A" / "broken" / "aircraft.cfg", std::string("\xFF\xFE[\0G\0\x00\xD8", 8));
    folder("B", {"b1"});
    const AppHooks previous = gf_appHooks();
    AppHooks hooks = previous;
    hooks.showStatus = [](std::string_view, bool) { exiting = true; };
    gf_installAppHooks(hooks);

    EXPECT_TRUE(scan());
    gf_installAppHooks(previous);
    EXPECT_TRUE(tzo::scannedLiveries.empty());
    EXPECT_FALSE(fs::exists(g_liveriesScannedPath));
    EXPECT_FALSE(fs::exists(g_outputErrorsFolder));
    EXPECT_EQ(g_shownCount.load(), -1);
    EXPECT_EQ(logLinesWith(" in total"), 0);

    exiting = false;
    EXPECT_TRUE(scan());
    EXPECT_TRUE(logHasLine("6 liveries found in " + a));
    EXPECT_TRUE(logHasLine("7 in total"));
    EXPECT_EQ(catalogue().size(), 7u);
}

TEST_F(DriverTest, aStartWithoutRescanBuildsTheSameCatalogue)
{
    folder("A", {"a1", "a2"});
    const fs::path b = sim / "B";
    scantest::aircraftAt(b / "x");
    testsupport::writeFile(b / "x" / "aircraft.cfg", cfgText({{"b1", "UAL", {"atc_id=N1"}}, {"b2", "ZZZ"}}));
    folders.push_back(b.string());
    ASSERT_TRUE(scan());
    const auto scanned = catalogue();
    ASSERT_EQ(scanned.size(), 4u);

    tzo::gf_resetLiveryCatalogue();
    std::vector<std::string> none;
    EXPECT_TRUE(gf_scanLiveries(false, false, false, none));
    EXPECT_EQ(catalogue(), scanned);
    EXPECT_TRUE(tzo::scannedLiveries.empty());
}

TEST_F(DriverTest, oneTitleInFilesScannedAtOnceGivesOneLivery)
{
    maxWorkers = 8;
    for (int i = 0; i < 8; ++i) {
        scantest::aircraftAt(sim / "A" / fmt::format("x{}", i));
        testsupport::writeFile(sim / "A" / fmt::format("x{}", i) / "aircraft.cfg",
                               cfgText({{"Same", i % 2 ? "UAL" : "AAL"}, {fmt::format("own{}", i)}}));
    }
    folders = {(sim / "A").string()};
    EXPECT_TRUE(scan());
    const auto entries = catalogue();
    EXPECT_EQ(entries.size(), 9u);
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const std::string& entry) { return entry.ends_with(" Same"); }),
              1);
}

TEST_F(DriverTest, addOnPackagesNameTheFolders)
{
    testsupport::ScopedEnv programData{"NORVANE_PROGRAMDATA", (dir / "programdata").string()};
    SIM_INSTALL_PATH.setValue((dir / "P3D v5").string());
    addAircraft(dir / "P3D v5" / "SimObjects" / "Airplanes" / "x", {"stock"});
    addAircraft(dir / "pkg" / "SimObjects" / "x", {"package"});
    testsupport::writeFile(dir / "pkg" / "add-on.xml", "<Category>SimObjects</Category>\n<Path>SimObjects</Path>\n");
    testsupport::writeFile(dir / "roaming" / "Lockheed Martin" / "Prepar3D v5" / "add-ons.cfg",
                           "[Package.0]\nPath=" + (dir / "pkg").string() + "\nActive=true\n");
    testsupport::writeFile(dir / "programdata" / "Lockheed Martin" / "Prepar3D v5" / "simobjects.cfg",
                           "[Entry.0]\nPath=SimObjects\\Airplanes\nActive=true\n");

    const bool scanned = gf_scanLiveries(true, true, false, folders);
    SIM_INSTALL_PATH.setValue(SIM_INSTALL_PATH.defaultValue());
    EXPECT_TRUE(scanned);
    EXPECT_EQ(folders.size(), 2u);
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"AAL B738 package", "AAL B738 stock"}));
}

TEST(LiveryFolders, settingsInOrderWithoutEmptyOnes)
{
    for (auto* setting : g_liveryFolderSettings)
        setting->setValue("");
    lfolder0.setValue("/a");
    lfolder3.setValue("/b");
    lfolder9.setValue("/c");
    EXPECT_EQ(gf_liveryFoldersFromSettings(), (std::vector<std::string>{"/a", "/b", "/c"}));
    for (auto* setting : g_liveryFolderSettings)
        setting->setValue(setting->defaultValue());
}
