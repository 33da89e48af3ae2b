// Scenery lists, the folder walk and the whole add-on airport scan, in a
// fresh program folder with the simulator's data folder beside it.

#include "airport_fixture.hpp"
#include "airports/airport_scan.hpp"
#include "airports/bgl_walk.hpp"
#include "airports/generated_airport.hpp"
#include "airports/scenery_lists.hpp"
#include "bgl_builder.hpp"
#include "foundation/paths.hpp"
#include "foundation/workers.hpp"

#include <fmt/format.h>

#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace {

namespace fs = std::filesystem;

struct AirportScanTest : airporttest::AirportTest {
    testsupport::ScopedEnv programData{"NORVANE_PROGRAMDATA", (dir / "pd").string()};
    fs::path install = dir / "P3D v5";

    AirportScanTest()
    {
        gf_takeAirportScanLog();
        addonAirportsFound.store(0);
        SIM_INSTALL_PATH.setValue(install.string());
        maxWorkers.store(4);
        runningWorkers.store(0);
    }
    ~AirportScanTest() override
    {
        gf_takeAirportScanLog();
        SIM_INSTALL_PATH.setValue(SIM_INSTALL_PATH.defaultValue());
        exiting.store(false);
        userClosed.store(false);
        tbloAirportCount.store(0);
        orbxAirportsDone.store(true);
        gf_installAirportScanRepaint(nullptr);
        runningWorkers.store(0);
        maxWorkers.store(static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency())));
    }

    fs::path listPath(const std::string& name) const { return dir / "pd" / "Lockheed Martin" / "Prepar3D v5" / name; }
    static void writeUtf16(const fs::path& path, const std::string& ascii)
    {
        std::string bytes = "\xFF\xFE";
        for (const char c : ascii) {
            bytes += c;
            bytes += '\0';
        }
        fs::create_directories(path.parent_path());
        testsupport::writeFile(path, bytes);
    }
    static std::vector<std::uint8_t> airportImage(const std::string& ident = "EHAM")
    {
        bgltest::Image image;
        image.airports = {bgltest::Airport{}};
        image.airports[0].ident = ident;
        image.airports[0].parking = {bgltest::Parking{10, 1}, bgltest::Parking{10, 2, 1, 20.0f, 90.0f, 52.31}};
        return image.build();
    }
    static bool logHas(const std::vector<std::string>& log, const std::string& text)
    {
        return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
};

const char* const kSceneryCfg = "[General]\n"
                                "Title=FS9 World Scenery\n"
                                "[Area.001]\n"
                                "Title=Addon Area\n"
                                "Local=Addon Scenery\\MyAirport\n"
                                "Active=TRUE\n"
                                "[Area.002]\n"
                                "Local=D:\\Scenery\\Off\n"
                                "Active=FALSE\n"
                                "[Area.003]\n"
                                "ACTIVE=True\n"
                                "Local=D:\\Scenery\\MyAirport\n"
                                "Layer=3\n"
                                "[Area.004]\n"
                                "Active=TRUE\n"
                                "Local=Scenery\\0101\n"
                                "[Area.005]\n"
                                "Active=TRUE\n"
                                "Local=Scenery\\World\\scenery\n";

TEST_F(AirportScanTest, sceneryCfgGivesActiveLocalFoldersInBothEncodings)
{
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16);
        if (utf16)
            writeUtf16(listPath("scenery.cfg"), kSceneryCfg);
        else
            put(fs::relative(listPath("scenery.cfg"), dir.path()).string(), kSceneryCfg);
        std::vector<std::string> folders{"first"};
        lf_readSceneryCfg(folders);
        EXPECT_EQ(folders, (std::vector<std::string>{"first", (this->install / "Addon Scenery/MyAirport").string(),
                                                     "D:\\Scenery\\MyAirport"}));
        EXPECT_NE(log().find("2 scenery add-on paths found"), std::string::npos);
    }
}

// The file as the simulator writes it: every folder the reading found before
// it read the file as INI is still found, in file order.
TEST_F(AirportScanTest, stockLayoutGivesTheActiveAddOnFolders)
{
    std::string cfg = "[General]\nTitle=FS9 World Scenery\nDescription=FS9 Scenery Data\nClean_on_Exit=TRUE\n\n";
    int n = 0;
    const auto area = [&](const std::string& title, const std::string& local, const std::string& active) {
        ++n;
        cfg += fmt::format("[Area.{:03}]\nTitle={}\nTexture_ID=1\nRemote=\nLocal={}\nLayer={}\nActive={}\n"
                           "Required=FALSE\n\n",
                           n, title, local, n, active);
    };
    for (const char* stock : {"Scenery\\World", "Scenery\\BASE", "Scenery\\0101", "Scenery\\NAMC", "Scenery\\Global",
                              "Scenery\\Cities\\Paris", "Scenery\\Props"})
        area("Default", stock, "TRUE");
    area("Addon Scenery", "Addon Scenery", "TRUE");
    area("ORBX!FTX_AU_SAUS", "C:\\ORBX\\FTX_AU\\FTX_AU_SAUS\\ORBX_AU_SAUS", "TRUE");
    area("Off", "D:\\Scenery\\Off", "FALSE");
    area("Upper", "E:\\P3D Addons\\EHAM", "True");
    area("Lower", "E:\\P3D Addons\\EDDF\\scenery", "true");
    put(fs::relative(listPath("scenery.cfg"), dir.path()).string(), cfg);
    std::vector<std::string> folders;
    lf_readSceneryCfg(folders);
    EXPECT_EQ(folders, (std::vector<std::string>{(install / "Addon Scenery").string(),
                                                 "C:\\ORBX\\FTX_AU\\FTX_AU_SAUS\\ORBX_AU_SAUS",
                                                 "E:\\P3D Addons\\EHAM", "E:\\P3D Addons\\EDDF\\scenery"}));
}

// Words of the old substring reading inside names and values, comments and
// quotes: keys count only whole, a comment is no line at all.
TEST_F(AirportScanTest, sceneryCfgKeysAreWholeAndCommentsAreSkipped)
{
    const char* const cfg = "[Area.001]\n"
                            "Title=Bay Area\n"
                            "Local=D:\\Addons\\Bay Area\\KSFO\n"
                            "Active=TRUE\n"
                            "[Area.002]\n"
                            "Local=D:\\Addons\\World Airports\\EGLL\n"
                            "Layer=2\n"
                            "Active=TRUE\n"
                            "[Area.003]\n"
                            "Local=D:\\Addons\\Layer Test\\EDDM\n"
                            "Active=TRUE\n"
                            "[Area.004]\n"
                            ";Local=D:\\Old\n"
                            "Local=D:\\New\n"
                            "Active=TRUE\n"
                            "[Area.005]\n"
                            "Local=D:\\Switched Off\n"
                            "Active=FALSE\n"
                            ";Active=TRUE\n"
                            "// Active=TRUE\n"
                            "[Area.006]\n"
                            "Remote=D:\\Local Copies\\X\n"
                            "LOCAL=\"D:\\Addons\\Quoted\"\n"
                            "aCtIvE = True\n"
                            "[Area.007]\n"
                            "Local=D:\\Addons\\Scenery\\World\\x\n"
                            "Active=TRUE\n";
    put(fs::relative(listPath("scenery.cfg"), dir.path()).string(), cfg);
    std::vector<std::string> folders;
    lf_readSceneryCfg(folders);
    EXPECT_EQ(folders, (std::vector<std::string>{"D:\\Addons\\Bay Area\\KSFO", "D:\\Addons\\World Airports\\EGLL",
                                                 "D:\\Addons\\Layer Test\\EDDM", "D:\\New", "D:\\Addons\\Quoted"}));
}

TEST_F(AirportScanTest, addonsXmlTakesEveryPathElement)
{
    writeUtf16(listPath("scenery_add-ons.xml"),
               "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<SimBase.Document Type=\"AddOnXml\">\n"
               "<AddOn.Component><Category>Scenery</Category><Path>D:\\Addons\\Airport</Path></AddOn.Component>\n"
               "<AddOn.Component>\n<Path>\n  D:\\Addons\\Two Lines\n</Path>\n<Path/>\n</AddOn.Component>\n"
               "</SimBase.Document>\n");
    std::vector<std::string> folders;
    lf_readSceneryAddonsXml(folders);
    EXPECT_EQ(folders, (std::vector<std::string>{"D:\\Addons\\Airport", "D:\\Addons\\Two Lines"}));

    put(fs::relative(listPath("scenery_add-ons.xml"), dir.path()).string(), "<a><Path>D:\\x</Path>\n</b>\n");
    folders.clear();
    lf_readSceneryAddonsXml(folders);
    EXPECT_TRUE(folders.empty());
    EXPECT_EQ(logLinesWith("===> " + listPath("scenery_add-ons.xml").string() + ": "), 1);
}

// A missing list costs its folders and a warning; the scan goes on.
TEST_F(AirportScanTest, aMissingListIsAWarningAndTheOtherListIsRead)
{
    std::vector<std::string> folders;
    EXPECT_FALSE(gf_scanAddonAirports(true, folders));
    EXPECT_EQ(logLinesWith("===> " + listPath("scenery.cfg").string() + " not found!"), 1);
    EXPECT_EQ(logLinesWith("===> " + listPath("scenery_add-ons.xml").string() + " not found!"), 1);
    {
        // Without its folder the lines say what is missing, not a path below nothing.
        testsupport::ScopedEnv none{"NORVANE_PROGRAMDATA", ""};
        EXPECT_FALSE(gf_scanAddonAirports(true, folders));
    }
    for (const char* name : {"scenery.cfg", "scenery_add-ons.xml"})
        EXPECT_EQ(logLinesWith(fmt::format("===> {} (the simulator's ProgramData folder is not known: set "
                                           "NORVANE_PROGRAMDATA) not found!",
                                           name)),
                  1)
            << name;

    bgltest::Image::write(dir / "addons" / "EHAM" / "eham.bgl", airportImage("EHAM"));
    put(fs::relative(listPath("scenery_add-ons.xml"), dir.path()).string(),
        "<SimBase.Document><Path>" + (dir / "addons").string() + "</Path></SimBase.Document>\n");
    folders.clear();
    EXPECT_TRUE(gf_scanAddonAirports(true, folders));
    EXPECT_EQ(folders, (std::vector<std::string>{(dir / "addons").string()}));
    EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "EHAM.xml"));
}

TEST_F(AirportScanTest, stockSceneryIsTheSceneryFolderAndWhatLiesBelowIt)
{
    SIM_INSTALL_PATH.setValue("");
    EXPECT_FALSE(lf_isInStockScenery("D:\\Addon Scenery\\x"));
    SIM_INSTALL_PATH.setValue("C:\\P3D v5\\");
    for (const char* stock : {"C:\\P3D v5\\Scenery", "c:/p3d V5/SCENERY/World/", "C:\\P3D v5\\x\\..\\Scenery\\0101"})
        EXPECT_TRUE(lf_isInStockScenery(stock)) << stock;
    for (const char* addOn : {"C:\\P3D v5\\Scenery_Addons\\EGLL", "C:\\P3D v5\\Scenery\\..\\x", "D:\\C:\\P3D v5\\Scenery"})
        EXPECT_FALSE(lf_isInStockScenery(addOn)) << addOn;
}

// A folder whose name only begins like the simulator's own Scenery folder
// holds add-on scenery like any other.
TEST_F(AirportScanTest, addOnFoldersNamedLikeTheStockOneAreScanned)
{
    bgltest::Image::write(install / "Scenery Addons" / "KTST" / "ktst.bgl", airportImage("KTST"));
    bgltest::Image::write(install / "Scenery" / "Custom" / "egll.bgl", airportImage("EGLL"));
    put(fs::relative(listPath("scenery.cfg"), dir.path()).string(),
        "[Area.001]\nLocal=Scenery Addons\\KTST\nActive=TRUE\n[Area.002]\nLocal=Scenery\\Custom\nActive=TRUE\n");
    std::vector<std::string> folders;
    EXPECT_TRUE(gf_scanAddonAirports(true, folders));
    EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "KTST.xml"));
    EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "EGLL.xml")) << "stock scenery is never read";
}

// Stock scenery is known by where it really is: an install path relative to
// the program folder (as the demo's registry has it) or through a link, and
// the Scenery folder named by its absolute real path, by the link, or as
// part of an add-on folder that holds the whole simulator.
TEST_F(AirportScanTest, stockSceneryIsKnownByItsRealPathHoweverItIsNamed)
{
    bgltest::Image::write(install / "Scenery" / "0101" / "egll.bgl", airportImage("EGLL"));
    bgltest::Image::write(dir / "addons" / "KTST" / "ktst.bgl", airportImage("KTST"));
    fs::create_directory_symlink(install, dir / "P3D link");
    const fs::path real = fs::canonical(install);
    struct Row {
        std::string installPath;
        std::string listed; // the Path element of scenery_add-ons.xml
    };
    const Row rows[] = {
        {"P3D v5/", (real / "Scenery" / "0101").string()},
        {"./x/../P3D v5", (real / "Scenery").string()},
        {(dir / "P3D link").string(), (real / "Scenery" / "0101").string()},
        {real.string(), (dir / "P3D link" / "Scenery" / "0101").string()},
        {"P3D v5", real.string()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.installPath + " lists " + row.listed);
        SIM_INSTALL_PATH.setValue(row.installPath);
        fs::remove_all(g_myThirdpartyFolder);
        put(fs::relative(listPath("scenery_add-ons.xml"), dir.path()).string(),
            "<SimBase.Document><Path>" + row.listed + "</Path><Path>" + (dir / "addons").string() +
                "</Path></SimBase.Document>\n");
        std::vector<std::string> folders;
        EXPECT_TRUE(gf_scanAddonAirports(true, folders));
        EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "KTST.xml"));
        EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "EGLL.xml")) << "stock scenery is never read";
    }
}

TEST_F(AirportScanTest, walkPicksBglFilesOutsideSkippedFolders)
{
    const fs::path root = dir / "addon";
    const auto bytes = airportImage();
    for (const char* name : {"a/AIRPORT.BGL", "b/airport.bgl", "c/airport.Bgl", "Scenery_statics/x.bgl",
                             "d_heliports/x.bgl", "e/readme.txt", "f/y.bgl", "sim/Scenery/z/z.bgl",
                             "sim/SceneryX/k.bgl"})
        bgltest::Image::write(root / name, bytes);
    bgltest::Image other; // no airport section: fails the pre-check
    other.sectionType = 5;
    bgltest::Image::write(root / "g" / "other.bgl", other.build());
    // The simulator's own scenery below the walked folder is neither read nor entered.
    SIM_INSTALL_PATH.setValue((root / "sim").string());
    std::mutex m;
    std::set<std::string> seen;
    lf_scanFolderForAirports(root, [&](const fs::path& p) {
        const std::lock_guard lock(m);
        seen.insert(p.parent_path().filename().string() + "/" + p.filename().string());
    });
    EXPECT_EQ(seen, (std::set<std::string>{"a/AIRPORT.BGL", "b/airport.bgl", "f/y.bgl", "SceneryX/k.bgl"}));
    EXPECT_EQ(runningWorkers.load(), 0);
}

// More files than the walk queues ahead makes it wait for room: a lost
// wake-up there would hang the walk.
TEST_F(AirportScanTest, walkNeverRunsMoreTasksThanTheLimit)
{
    struct Case {
        int files;
        std::int32_t limit;
    };
    const auto bytes = airportImage();
    for (const Case c : {Case{20, 3}, Case{300, 2}}) {
        const fs::path root = dir / ("many" + std::to_string(c.files));
        for (int i = 0; i < c.files; ++i)
            bgltest::Image::write(root / ("f" + std::to_string(i) + ".bgl"), bytes);
        maxWorkers.store(c.limit);
        std::atomic<int> running{0};
        std::atomic<int> most{0};
        std::atomic<int> countedMost{0};
        std::atomic<int> done{0};
        lf_scanFolderForAirports(root, [&](const fs::path&) {
            const int now = ++running;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {
            }
            const int counted = runningWorkers.load();
            seen = countedMost.load();
            while (counted > seen && !countedMost.compare_exchange_weak(seen, counted)) {
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500)); // gives the tasks time to overlap
            --running;
            ++done;
        });
        EXPECT_EQ(done.load(), c.files) << c.files;
        EXPECT_LE(most.load(), c.limit) << c.files;
        EXPECT_GE(countedMost.load(), 1) << c.files; // counted before it starts
        EXPECT_LE(countedMost.load(), c.limit) << c.files;
        EXPECT_EQ(runningWorkers.load(), 0) << c.files;
    }
}

// The walk takes whichever task has finished: one long file must not keep
// the free slots idle until it ends.
TEST_F(AirportScanTest, aLongFileDoesNotHoldBackTheOthers)
{
    const fs::path root = dir / "long";
    for (int i = 0; i < 6; ++i)
        bgltest::Image::write(root / ("f" + std::to_string(i) + ".bgl"), airportImage());
    maxWorkers.store(2);
    std::atomic<bool> first{true};
    std::atomic<int> others{0};
    std::atomic<bool> othersDoneMeanwhile{false};
    lf_scanFolderForAirports(root, [&](const fs::path&) {
        if (first.exchange(false))
            othersDoneMeanwhile.store(testsupport::waitFor([&] { return others.load() == 5; }));
        else
            ++others;
    });
    EXPECT_TRUE(othersDoneMeanwhile.load());
    EXPECT_EQ(runningWorkers.load(), 0);
}

TEST_F(AirportScanTest, throwingFileIsReportedAndTheOthersRead)
{
    const fs::path root = dir / "walk";
    const auto bytes = airportImage();
    for (const char* n : {"bad.bgl", "g1.bgl", "g2.bgl"})
        bgltest::Image::write(root / n, bytes);
    std::atomic<int> read{0};
    lf_scanFolderForAirports(root, [&](const fs::path& p) {
        if (p.filename() == "bad.bgl")
            throw std::runtime_error("broken file");
        ++read;
    });
    EXPECT_EQ(read.load(), 2);
    const auto log = gf_takeAirportScanLog();
    EXPECT_TRUE(logHas(log, "===> !? Exception in lf_toParkingPositions: broken file"));
    EXPECT_TRUE(logHas(log, "futs outer error: broken file") || logHas(log, "futs inner"));
    EXPECT_EQ(runningWorkers.load(), 0);
}

TEST_F(AirportScanTest, unreadableFoldersAndLinkLoopsDoNotStopTheWalk)
{
    const fs::path root = dir / "walk";
    bgltest::Image::write(root / "ok" / "a.bgl", airportImage());
    fs::create_directories(root / "loop");
    fs::create_directory_symlink(root, root / "loop" / "back");
    fs::create_directories(root / "closed");
    bgltest::Image::write(root / "closed" / "c.bgl", airportImage());
    fs::permissions(root / "closed", fs::perms::none);
    std::atomic<int> read{0};
    lf_scanFolderForAirports(root, [&](const fs::path&) { ++read; });
    fs::permissions(root / "closed", fs::perms::owner_all);
    if (geteuid() != 0) {
        EXPECT_EQ(read.load(), 1);
        EXPECT_TRUE(logHas(gf_takeAirportScanLog(), "skipped, cause"));
    } else {
        EXPECT_EQ(read.load(), 2); // permissions do not bind the super-user
    }
    lf_scanFolderForAirports(dir / "nowhere", [&](const fs::path&) { ++read; });
    EXPECT_TRUE(logHas(gf_takeAirportScanLog(), "aborted because of iterator problem"));
}

// Files already queued for the threads are dropped on an exit; those being
// read are waited for, so that none writes on after the walk returns.
TEST_F(AirportScanTest, exitDuringTheWalkStopsStartingTasks)
{
    const fs::path root = dir / "exit";
    for (int i = 0; i < 40; ++i)
        bgltest::Image::write(root / ("f" + std::to_string(i) + ".bgl"), airportImage());
    for (const std::int32_t limit : {1, 4}) {
        exiting.store(false);
        maxWorkers.store(limit);
        std::atomic<int> started{0};
        std::atomic<int> finished{0};
        lf_scanFolderForAirports(root, [&](const fs::path&) {
            if (++started == 1) {
                exiting.store(true);
                // The others get the time to take their files.
                testsupport::waitFor([&] { return started.load() >= limit; }, std::chrono::milliseconds(200));
            }
            ++finished;
        });
        EXPECT_EQ(finished.load(), started.load()) << limit;
        EXPECT_GE(started.load(), 1) << limit;
        EXPECT_LE(started.load(), 2 * limit) << limit;
        EXPECT_EQ(runningWorkers.load(), 0) << limit;
    }
}

TEST_F(AirportScanTest, generatedFilesAreListedByTheirFourCharacterStems)
{
    const fs::path folder = dir / "generated";
    for (const char* name : {"LSZH.xml", "eddf.XML", "EGLL.txt", "LSZH_old.xml", "KJFK.xml.bak"})
        put((fs::path("generated") / name).string(), "<x/>");
    fs::create_directories(folder / "EHAM.xml");
    std::vector<std::string> names{"stale"};
    gf_listXmlFiles(folder, names);
    EXPECT_EQ(names, (std::vector<std::string>{"LSZH", "eddf"}));
    gf_listXmlFiles(dir / "missing", names);
    EXPECT_TRUE(names.empty());
}

TEST_F(AirportScanTest, wholeScanWritesLogGeneratedFilesAndOfflineCopies)
{
    // One ORBX airport whose stock file carries a quality factor, one third
    // party airport whose stock file does not.
    bgltest::Image::write(dir / "addons" / "ORBX" / "eham.bgl", airportImage("EHAM"));
    bgltest::Image::write(dir / "addons" / "Other" / "eddf.bgl", airportImage("EDDF"));
    std::string stock = gf_apfText(tzo::ApfAirport{}, false);
    const std::size_t at = stock.find("<parameters>");
    ASSERT_NE(at, std::string::npos);
    stock.insert(at + 12, "<parameter name=\"Qf_real\" value=\"40\" />");
    put("airports/archive/stock/EHAM.xml", stock);
    fs::create_directories(g_archiveOrbxFolder);
    fs::create_directories(g_toBeLearnedFolder / "old");

    static std::atomic<int> repaints{0};
    repaints.store(0);
    gf_installAirportScanRepaint([] { ++repaints; });
    std::vector<std::string> folders{(dir / "addons").string(), (dir / "addons" / "ORBX").string(), "",
                                     (dir / "missing").string()};
    EXPECT_TRUE(gf_scanAddonAirports(false, folders));
    EXPECT_EQ(repaints.load(), 2); // the counts listed, then the ORBX pass
    const std::string scanLog = testsupport::readFile(g_outputInfoFolder / "AirportsScanLog.txt");
    EXPECT_NE(scanLog.find("Scanning for addon airports in " + (dir / "addons").string()), std::string::npos);
    EXPECT_NE(scanLog.find("Generated EHAM.xml: 2 positions"), std::string::npos);
    EXPECT_NE(scanLog.find("Generated EDDF.xml: 2 positions"), std::string::npos);
    // The publisher lookup writes into the scan's own log, not into Log.txt.
    EXPECT_NE(scanLog.find("from filename => publisher  ORBX"), std::string::npos);
    EXPECT_EQ(logLinesWith("from filename => publisher"), 0);
    EXPECT_TRUE(fs::exists(g_myOrbxFolder / "EHAM.xml"));
    EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "EDDF.xml"));
    EXPECT_TRUE(fs::exists(g_toBeLearnedFolder / "EHAM.xml"));
    EXPECT_FALSE(fs::exists(g_toBeLearnedFolder / "old"));
    EXPECT_FALSE(fs::exists(g_toBeLearnedFolder / "EDDF.xml"));
    EXPECT_EQ(tbloAirportCount.load(), 1);
    EXPECT_TRUE(orbxAirportsDone.load());
    const std::string text = log();
    EXPECT_NE(text.find("EHAM copied to"), std::string::npos);
    EXPECT_NE(text.find("zip folder \""), std::string::npos);
    EXPECT_NE(text.find("All your third party airports are done, no off line learning needed."), std::string::npos);
    EXPECT_NE(text.find(" does not exist, skipped!"), std::string::npos);
    EXPECT_NE(text.find("Airports scan successful"), std::string::npos);
    EXPECT_TRUE(gf_takeAirportScanLog().empty());
}

TEST_F(AirportScanTest, aScanLogThatCannotBeWrittenIsNotCalledWritten)
{
    // A folder in the report's place makes its write fail, as a full disk does.
    const fs::path report = g_outputInfoFolder / "AirportsScanLog.txt";
    fs::create_directories(report / "in the way");
    std::vector<std::string> folders{(dir / "missing").string()};
    gf_scanAddonAirports(false, folders);
    EXPECT_EQ(logLinesWith(report.string() + " written"), 0) << log();
    EXPECT_EQ(logLinesWith("\"" + report.string() + "\" not saved: a folder has its name"), 1) << log();
}

} // namespace
