#include "scan_fixture.hpp"

#include "liveries/folder_walker.hpp"

#include <algorithm>

using scantest::addAircraft;
using scantest::ScanTest;
using scantest::titlesOf;

namespace fs = std::filesystem;

namespace {

struct WalkerTest : ScanTest {
    fs::path root = dir / "SimObjects";

    std::vector<std::string> walk()
    {
        lf_searchLiveriesInFolder(3, root);
        EXPECT_EQ(runningWorkers.load(), 0);
        auto titles = titlesOf(tzo::scannedLiveries);
        std::sort(titles.begin(), titles.end());
        return titles;
    }
};

} // namespace

TEST_F(WalkerTest, readsAircraftAndSimFilesInAnyCaseOnly)
{
    addAircraft(root / "a", {"lower"}, "aircraft.cfg");
    addAircraft(root / "b", {"mixed"}, "Aircraft.cfg");
    addAircraft(root / "c", {"upper"}, "AIRCRAFT.CFG");
    addAircraft(root / "d", {"sim"}, "sim.cfg");
    addAircraft(root / "e", {"backup"}, "aircraft.cfg.bak");
    addAircraft(root / "f", {"old"}, "aircraft_old.cfg");
    addAircraft(root / "g", {"other"}, "model.cfg");

    EXPECT_EQ(walk(), (std::vector<std::string>{"lower", "mixed", "sim", "upper"}));
    EXPECT_EQ(tzo::scannedLiveries.front().priority, 3u);
}

TEST_F(WalkerTest, skipsAirportFoldersAndLongPathsBelowThem)
{
    addAircraft(root / "airport_pack" / "a", {"below airport"});
    addAircraft(root / "x_airport.cfg", {"airport folder"}, "sim.cfg");
    addAircraft(root / "Airport" / "a", {"below Airport"});
    // The folder whose path is 250 characters long is not entered; the one
    // of 249 is, and a file's own long path is still read.
    const std::size_t base = (root / "").string().size();
    const fs::path at249 = root / std::string(249 - base, 'n');
    const fs::path at250 = root / std::string(250 - base, 'l');
    addAircraft(at249, {"249"});
    addAircraft(at250, {"250"});
    addAircraft(at249, {"long file"}, "sim.cfg");
    ASSERT_EQ(at250.string().size(), 250u);
    ASSERT_GE((at249 / "sim.cfg").string().size(), 250u);

    EXPECT_EQ(walk(), (std::vector<std::string>{"249", "below Airport", "long file"}));
}

// The word counts below the walked folder only: a SimObjects folder that
// the user keeps in "airport_and_ai" is walked like any other.
TEST_F(WalkerTest, aRootBelowAnAirportFolderIsWalked)
{
    root = dir / "airport_and_ai" / "SimObjects";
    addAircraft(root / "Airplanes" / "a", {"a"});
    addAircraft(root / "Airplanes" / "b" / "c", {"c"});
    addAircraft(root / "airport_pack" / "d", {"below airport"});
    EXPECT_EQ(walk(), (std::vector<std::string>{"a", "c"}));
}

TEST_F(WalkerTest, unreadableSubfolderAndThrowingTaskCostOnlyTheirFiles)
{
    for (const char* name : {"a", "b", "d", "e"})
        addAircraft(root / name, {name});
    addAircraft(root / "c" / "inner", {"c"});
    // A model folder that is a link to itself: the task throws.
    scantest::aircraftAt(root / "t");
    fs::create_symlink("model.loop", root / "t" / "model.loop");
    testsupport::writeFile(root / "t" / "aircraft.cfg", scantest::cfgText({{"t0"}, {"t1", "AAL", {"model=loop"}}}));
    scantest::OrdinaryUser user(dir.path(), {root / "c"});
    if (!user.effective())
        GTEST_SKIP() << "cannot take an ordinary user's identity";

    EXPECT_EQ(walk(), (std::vector<std::string>{"a", "b", "d", "e"}));
    EXPECT_EQ(logLinesWith("liveries search in folder " + (root / "c").string() +
                           " aborted because of iterator problem: "),
              1);
    EXPECT_EQ(logLinesWith("liveries search aborted, futs "), 1);
}

TEST_F(WalkerTest, onlyTheExactIvaoFolderNamesChooseTheIvaoTask)
{
    // The IVAO task takes the title's airline; the ordinary one reads
    // atc_parking_codes (UAL) and needs atc_model.
    for (const char* library : {"IVAO_MTL", "ivao_mtl"}) {
        const fs::path folder = root / library / "IVAO_B738";
        scantest::aircraftAt(folder);
        testsupport::writeFile(folder / "aircraft.cfg",
                               scantest::cfgText({{std::string("B738AAL ") + library, "UAL"}}));
    }
    walk();
    std::vector<std::string> found;
    for (const auto& livery : tzo::scannedLiveries)
        found.push_back(livery.airl + " " + livery.title);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"AAL B738AAL IVAO_MTL", "UAL B738AAL ivao_mtl"}));
}

TEST_F(WalkerTest, throttleBoundsAndWalkOrderAtLimitsOfFourAndOne)
{
    // Files of different sizes, so that tasks end out of order.
    for (int i = 0; i < 24; ++i) {
        std::vector<std::string> titles;
        for (int s = 0; s < 1 + (i * 7) % 11; ++s)
            titles.push_back(fmt::format("f{:02}s{:02}", i, s));
        addAircraft(root / fmt::format("d{}", i % 5) / fmt::format("a{:02}", i), titles);
    }
    // The order the file system gives the files in, each file's sections in order.
    std::vector<std::string> expected;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename() != "aircraft.cfg")
            continue;
        const std::string file = entry.path().parent_path().filename().string().substr(1);
        const int i = std::stoi(file);
        for (int s = 0; s < 1 + (i * 7) % 11; ++s)
            expected.push_back(fmt::format("f{:02}s{:02}", i, s));
    }

    for (const std::int32_t limit : {4, 1}) {
        maxWorkers = limit;
        lf_clearScanMessages();
        tzo::scannedLiveries.clear();
        lf_searchLiveriesInFolder(1, root);

        EXPECT_EQ(titlesOf(tzo::scannedLiveries), expected) << limit;
        const LiveryWalkStats stats = gf_lastLiveryWalkStats();
        EXPECT_EQ(stats.tasksStarted, 24u);
        EXPECT_LE(stats.mostRunning, limit);
        EXPECT_LE(stats.mostOutstanding, static_cast<std::size_t>(limit) + 1);
        EXPECT_EQ(runningWorkers.load(), 0);
    }
}

TEST_F(WalkerTest, missingFolderIsLoggedAndGivesNothing)
{
    EXPECT_TRUE(walk().empty());
    EXPECT_EQ(logLinesWith("liveries search in folder " + root.string() + " aborted because of iterator problem: "),
              1);
}
