// Linking scanned airports to archived airport files and writing generated
// ones, in a fresh program folder.

#include "airport_fixture.hpp"
#include "airports/airport_scan.hpp"
#include "airports/generated_airport.hpp"
#include "bgl_builder.hpp"
#include "foundation/paths.hpp"

#include <pugixml.hpp>

namespace {

namespace fs = std::filesystem;

struct GeneratedAirportTest : airporttest::AirportTest {
    GeneratedAirportTest() { gf_takeAirportScanLog(); }
    ~GeneratedAirportTest() override { gf_takeAirportScanLog(); }

    static tzo::ParkPos stand(const std::string& name, bool heli = false)
    {
        return tzo::ParkPos(name, {}, 52.3, 4.7, 1.0, 20.0, false, true, heli);
    }
    static tzo::BglAirport airport(const std::string& publisher, std::vector<std::string> standNames,
                                   std::int32_t helipads = 0)
    {
        tzo::BglAirport a;
        a.airport.code = "EHAM";
        a.airport.airportName = "Schiphol";
        a.airport.publisher = publisher;
        a.airport.bglPath = "x.bgl";
        a.helipadCount = helipads;
        for (const auto& n : standNames)
            a.airport.stands.push_back(stand(n));
        return a;
    }
    void archive(const fs::path& folder, int stands)
    {
        tzo::ApfAirport a;
        a.publisher = "ORBX";
        for (int i = 0; i < stands; ++i)
            a.stands.push_back(stand("a" + std::to_string(i)));
        fs::create_directories(folder);
        ASSERT_TRUE(gf_writeApf(a, folder / "EHAM.xml", false));
    }
    static void run(tzo::BglAirport a)
    {
        const tzo::BglAirportSink sink = gf_generatedAirportSink();
        sink.begin(a);
        sink.end(a);
    }
    static bool has(const std::vector<std::string>& log, const std::string& text)
    {
        for (const auto& l : log)
            if (l == text)
                return true;
        return false;
    }
    static std::vector<tzo::ParkPos> standsOf(const fs::path& file)
    {
        pugi::xml_document doc;
        EXPECT_TRUE(lf_loadApf(doc, file));
        std::vector<tzo::ParkPos> stands;
        lf_readParkPositions(doc, stands, "test");
        return stands;
    }
};

TEST_F(GeneratedAirportTest, orbxAirportWithArchivedFileIsLinkedOnly)
{
    archive(g_archiveOrbxFolder, 3);
    const int before = addonAirportsFound.load();
    run(airport("ORBX", {"g1", "g2"}));
    EXPECT_EQ(testsupport::readFile(g_myOrbxFolder / "EHAM.txt"), (g_archiveOrbxFolder / "EHAM.xml").string() + "\n");
    EXPECT_FALSE(fs::exists(g_myOrbxFolder / "EHAM.xml"));
    EXPECT_EQ(addonAirportsFound.load(), before + 1);
    EXPECT_TRUE(has(gf_takeAirportScanLog(),
                    "ORBX airport EHAM linked to " + (g_archiveOrbxFolder / "EHAM.xml").string()));
}

TEST_F(GeneratedAirportTest, moreStandsThanTheArchivedFileGenerateOneToo)
{
    archive(g_archiveOrbxFolder, 1);
    run(airport("ORBX", {"g1", "g2"}));
    EXPECT_TRUE(fs::exists(g_myOrbxFolder / "EHAM.txt"));
    EXPECT_TRUE(fs::exists(g_myOrbxFolder / "EHAM.xml"));
    EXPECT_TRUE(has(gf_takeAirportScanLog(), "===> EHAM has 2 parkpos while archived one has 1"));
}

TEST_F(GeneratedAirportTest, missingArchivesLeadToGeneratedFiles)
{
    fs::create_directories(g_archiveOrbxFolder);
    run(airport("ORBX", {"g1"}));
    EXPECT_TRUE(fs::exists(g_myOrbxFolder / "EHAM.xml"));
    auto log = gf_takeAirportScanLog();
    EXPECT_TRUE(has(log, (g_archiveOrbxFolder / "EHAM.xml").string() + " does not exist"));
    EXPECT_TRUE(has(log, "Generated EHAM.xml: 1 position"));

    run(airport("SomeMaker", {"g1"}, 0));
    EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "EHAM.xml"));
    log = gf_takeAirportScanLog();
    EXPECT_TRUE(has(log, "\n" + (g_archiveThirdpartyFolder / "SomeMaker").string() + " folder does not exist\n"));

    // A publisher that is no plain folder name is never joined to a path.
    run(airport("../../etc", {"g1"}));
    EXPECT_FALSE(fs::exists(g_airportsFolder / "etc"));
}

TEST_F(GeneratedAirportTest, generatedLineCountsPositionsAndHelipads)
{
    const struct {
        int stands;
        int helipads;
        const char* line;
    } cases[] = {{1, 0, "Generated EHAM.xml: 1 position"},
                 {12, 1, "Generated EHAM.xml: 12 positions, of which 1 helipad"},
                 {12, 2, "Generated EHAM.xml: 12 positions, of which 2 helipads"}};
    for (const auto& c : cases) {
        std::vector<std::string> names;
        for (int i = 0; i < c.stands; ++i)
            names.push_back("s" + std::to_string(i));
        lf_writeGeneratedApf(airport("unknown", names).airport, c.helipads);
        EXPECT_TRUE(has(gf_takeAirportScanLog(), c.line)) << c.line;
    }
    lf_writeGeneratedApf(airport("unknown", {}).airport, 0);
    EXPECT_TRUE(gf_takeAirportScanLog().empty());
}

TEST_F(GeneratedAirportTest, standsStandInByteOrderAndReadBack)
{
    lf_writeGeneratedApf(airport("unknown", {"g2", "g10", "g1", "A1"}).airport, 0);
    const auto stands = standsOf(g_myThirdpartyFolder / "EHAM.xml");
    std::vector<std::string> names;
    for (const auto& s : stands)
        names.push_back(s.name);
    EXPECT_EQ(names, (std::vector<std::string>{"A1", "g1", "g10", "g2"}));
}

TEST_F(GeneratedAirportTest, bglFileGivesTheSameStandsInItsGeneratedFile)
{
    bgltest::Image image;
    image.airports = {bgltest::Airport{}};
    image.airports[0].parking = {bgltest::Parking{10, 2, 1, 25.0f, 90.0f, 52.3, 4.76},
                                 bgltest::Parking{10, 1, 5, 30.0f, 180.0f, 52.31, 4.77}};
    bgltest::Image::write(dir / "scenery" / "ORBX" / "x.bgl", image.build());
    fs::create_directories(g_archiveOrbxFolder);
    lf_readBglFileAirports(dir / "scenery" / "ORBX" / "x.bgl");
    const auto stands = standsOf(g_myOrbxFolder / "EHAM.xml");
    ASSERT_EQ(stands.size(), 2u);
    EXPECT_EQ(stands[0].name, "g1");
    EXPECT_NEAR(stands[0].latitude, 52.31, 1e-5);
    EXPECT_NEAR(stands[0].radius, tzo::gf_metresToNm(30.0), 1e-6);
    EXPECT_TRUE(stands[0].cargo);
    EXPECT_NEAR(stands[1].heading, M_PI / 2, 1e-4);
}

TEST_F(GeneratedAirportTest, unwritableLinkLeavesTheAirportUnlinked)
{
    archive(g_archiveOrbxFolder, 5);
    fs::create_directories(g_myOrbxFolder / "EHAM.txt"); // a folder where the link file goes
    run(airport("ORBX", {"g1"}));
    EXPECT_TRUE(fs::exists(g_myOrbxFolder / "EHAM.xml"));
}

TEST(StockScenery, pathsOfStockFoldersAreRecognised)
{
    EXPECT_TRUE(lf_isStockSceneryPath("C:\\P3D\\Scenery\\World\\scenery"));
    EXPECT_TRUE(lf_isStockSceneryPath("D:\\x\\Global\\y"));
    EXPECT_FALSE(lf_isStockSceneryPath("D:\\x\\world\\y"));
    EXPECT_FALSE(lf_isStockSceneryPath("/addons/world/y"));
}

} // namespace
