#include "airport_fixture.hpp"
#include "foundation/exceptions.hpp"

#include <cmath>

#include <fmt/format.h>

using namespace airporttest;
namespace fs = std::filesystem;

namespace {

const fs::path kArchived = "airports/archive/stock/EDDF.xml";
const fs::path kLearned = "airports/learned/stock/EDDF.xml";

// Two stands 100 m apart with the radii given.
std::string pairFile(double r1, double r2)
{
    const double lat2 = 50.0 + 100.0 / 1852.0 / 60.0;
    return "<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"1\"/><info name=\"date\" "
           "value=\"d\"/></meta><parameters><parameter name=\"altitude\" value=\"12\"/></parameters><parkpositions>"
           "<parkpos id=\"P1\" latitude=\"50.0\" longitude=\"8.0\" radius=\"" +
           std::to_string(r1) + "\"/><parkpos id=\"P2\" latitude=\"" + std::to_string(lat2) +
           "\" longitude=\"8.0\" radius=\"" + std::to_string(r2) + "\"/></parkpositions>";
}

struct LoadTest : AirportTest {
    std::uint64_t quality = 0;

    std::string read(const fs::path& path = kArchived) { return gf_readApf(path, quality); }
};

} // namespace

TEST_F(LoadTest, threeLayersWithFakeAircraft)
{
    putFixture(kArchived.string(), "archived-EDDF.xml");
    putFixture(kLearned.string(), "learned-EDDF.xml"); // switches PARK_FAKE on
    EXPECT_EQ(read(), "");
    ASSERT_EQ(parkPositions.size(), 6u);
    for (std::size_t i = 0; i < parkPositions.size(); ++i)
        EXPECT_EQ(parkPositions[i].id, i + 1);
    const auto* heli = standNamed("H1");
    ASSERT_FALSE(heli->options.empty());
    EXPECT_EQ(heli->options.back().callsign.substr(0, 4), "FAKE");
    EXPECT_EQ(heli->options.back().type, "EC35");
    const auto* a10 = standNamed("A10");
    EXPECT_EQ(a10->options.size(), 3u) << "1852 m is too big for any typical aircraft";
    EXPECT_TRUE(parkAirportActive.load());
    EXPECT_DOUBLE_EQ(parkAirportElevationFt.load(), 364.0);
    const auto shown = gf_parkAirportShown();
    EXPECT_EQ(shown.standCount, 6);
    EXPECT_EQ(shown.publisher, "stock");
    EXPECT_FALSE(shown.handmade);
    EXPECT_EQ(shown.airportText, kArchived.string());
    // Computed over the merged stands before the fakes, not the archived file's 55/12.
    EXPECT_EQ(quality, tzo::gf_packQuality({21, 11}));
    EXPECT_EQ(shown.qualityText, "21/11");
    EXPECT_EQ(gf_parkAirportLearnedPath(), kLearned);
    EXPECT_EQ(logLinesWith("Airport file read from \"airports/archive/stock/EDDF.xml\" for Frankfurt Main"), 1);
    EXPECT_EQ(logLinesWith("RT traffic week         : 2650"), 1);
    EXPECT_EQ(logLinesWith("altitude                : 364 ft"), 1);
    EXPECT_EQ(gf_standPlaces()->stands.size(), 6u) << "the table is published";
}

TEST_F(LoadTest, withoutLearnedFileNoFakesAndDefaultPercentage)
{
    putFixture(kArchived.string(), "archived-EDDF.xml");
    PARK_FAKE.setValue(true);
    parking_percentage.setValue(77);
    EXPECT_EQ(read(), "");
    EXPECT_EQ(parking_percentage.value(), 30);
    EXPECT_EQ(standNamed("H1")->options.size(), 0u);
    EXPECT_EQ(quality, tzo::gf_packQuality({55, 12}));
    EXPECT_EQ(logLinesWith("parking_percentage      : 30%"), 1);
    CUSTOM_PARKING_PERCENTAGE.setValue(5);
    gf_clearParkPositions();
    EXPECT_EQ(read(), "");
    EXPECT_EQ(parking_percentage.value(), 5);
}

TEST_F(LoadTest, handmadeFileIsNamedAsTheFileRead)
{
    putFixture(kArchived.string(), "archived-EDDF.xml");
    putFixture(kLearned.string(), "learned-handmade-false.xml");
    EXPECT_EQ(read(), "");
    EXPECT_TRUE(gf_parkAirportShown().handmade);
    EXPECT_EQ(logLinesWith("A handmade airport file overruled the archived file!"), 1);
    EXPECT_EQ(logLinesWith("Airport file read from \"airports/learned/stock/EDDF.xml\""), 1);
}

TEST_F(LoadTest, refusalsAndErrors)
{
    putFixture("airports/archive/stock/NODATE.xml", "archived-meta-without-date.xml");
    EXPECT_EQ(read("airports/archive/stock/NODATE.xml"),
              "airports/archive/stock/NODATE.xml found but refused to load, copyright problem");
    put("bad.xml", "<meta");
    EXPECT_EQ(read("bad.xml"), "bad.xml found, but could not be loaded:");
    putFixture("noalt.xml", "archived-without-altitude.xml");
    try {
        read("noalt.xml");
        FAIL();
    } catch (const tzo::UserErrorException& e) {
        EXPECT_EQ(e.code(), 65);
        EXPECT_NE(std::string(e.what()).find("Parameter altitude not found"), std::string::npos);
    }
    EXPECT_TRUE(parkPositions.empty()) << "the header is read before any stand";
    EXPECT_FALSE(parkAirportActive.load());
    parkAirportCode.clear();
    EXPECT_EQ(read(), "gf_readApf, no park airport set");
}

TEST_F(LoadTest, adjacencyNeedsRadiiAboveDistance)
{
    struct Case {
        double r1, r2;
        bool adjacent;
    } cases[] = {{30, 25, false}, {70, 50, true}};
    for (const auto& c : cases) {
        gf_clearParkPositions();
        put("pair.xml", pairFile(c.r1, c.r2));
        EXPECT_EQ(read("pair.xml"), "");
        EXPECT_EQ(parkPositions[0].adjacent == std::vector<std::uint32_t>{2}, c.adjacent) << c.r1;
        EXPECT_EQ(parkPositions[1].adjacent == std::vector<std::uint32_t>{1}, c.adjacent) << c.r1;
    }
}

TEST_F(LoadTest, adjacentStandsAreListedInTableOrderWhateverTheirLatitudes)
{
    // North, south, middle, 50 m apart: all touch; the one far away none.
    const double m = 1.0 / 1852.0 / 60.0;
    const std::string text = fmt::format(
        "<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"1\"/><info name=\"date\" "
        "value=\"d\"/></meta><parameters><parameter name=\"altitude\" value=\"12\"/></parameters><parkpositions>"
        "<parkpos id=\"N\" latitude=\"{:.7f}\" longitude=\"8.0\" radius=\"70\"/>"
        "<parkpos id=\"S\" latitude=\"50.0\" longitude=\"8.0\" radius=\"70\"/>"
        "<parkpos id=\"M\" latitude=\"{:.7f}\" longitude=\"8.0\" radius=\"70\"/>"
        "<parkpos id=\"F\" latitude=\"50.1\" longitude=\"8.0\" radius=\"70\"/></parkpositions>",
        50.0 + 100 * m, 50.0 + 50 * m);
    put("four.xml", text);
    ASSERT_EQ(read("four.xml"), "");
    EXPECT_EQ(parkPositions[0].adjacent, (std::vector<std::uint32_t>{2, 3}));
    EXPECT_EQ(parkPositions[1].adjacent, (std::vector<std::uint32_t>{1, 3}));
    EXPECT_EQ(parkPositions[2].adjacent, (std::vector<std::uint32_t>{1, 2}));
    EXPECT_TRUE(parkPositions[3].adjacent.empty());
}

TEST_F(LoadTest, emptyFileReportsNoStands)
{
    put("empty.xml", "<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"1\"/><info "
                     "name=\"date\" value=\"d\"/></meta><parameters><parameter name=\"altitude\" value=\"1\"/>"
                     "</parameters>");
    EXPECT_EQ(read("empty.xml"), "no stands found");
}

TEST_F(LoadTest, gateCheckIsExact)
{
    putFixture(kArchived.string(), "archived-EDDF.xml");
    EXPECT_TRUE(gf_readApfForGateCheck("EDDF", "A12"));
    EXPECT_FALSE(gf_readApfForGateCheck("EDDF", "a12"));
    EXPECT_FALSE(gf_readApfForGateCheck("EDDM", "A12"));
    EXPECT_TRUE(parkPositions.empty());
}

TEST_F(LoadTest, closeSavesOnlyWhenActiveAndChanged)
{
    putFixture(kArchived.string(), "archived-EDDF.xml");
    gf_closeParkAirport();
    EXPECT_EQ(recorded.saves, 0) << "inactive";
    read();
    gf_closeParkAirport();
    EXPECT_EQ(recorded.saves, 0) << "nothing changed";
    EXPECT_FALSE(parkAirportActive.load());
    EXPECT_EQ(gf_parkAirportShown().airportText, "");

    gf_clearParkPositions();
    read();
    standUpdateCount.store(2);
    recorded.saveResult = false;
    gf_closeParkAirport();
    EXPECT_EQ(recorded.saves, 1);
    EXPECT_EQ(standUpdateCount.load(), 2) << "a failed save keeps the count for the next close";

    gf_clearParkPositions();
    read();
    recorded.saveResult = true;
    parkAirportChanged.store(true);
    gf_closeParkAirport();
    EXPECT_EQ(recorded.saves, 2);
    EXPECT_EQ(standUpdateCount.load(), 0);
}

TEST_F(LoadTest, damagedLearnedFileCopyOutlivesASavingClose)
{
    putFixture(kArchived.string(), "archived-EDDF.xml");
    putFixture(kLearned.string(), "learned-not-well-formed.xml");
    tzo::ParkAirportHooks hooks = gf_parkAirportHooks();
    hooks.saveAirportFile = [] {
        ++recorded.saves;
        tzo::ApfAirport a;
        a.stands = parkPositions;
        return gf_writeApf(a, gf_parkAirportLearnedPath(), true);
    };
    gf_installParkAirportHooks(hooks);
    EXPECT_EQ(read(), "");
    EXPECT_EQ(parkPositions.size(), 5u);
    standUpdateCount.store(1);
    gf_closeParkAirport();
    EXPECT_EQ(recorded.saves, 1);
    EXPECT_EQ(testsupport::readFile(dir / "airports/learned/stock/EDDF0.xml"),
              testsupport::readFile(fixture("learned-not-well-formed.xml")));
    EXPECT_NE(testsupport::readFile(dir / kLearned), testsupport::readFile(fixture("learned-not-well-formed.xml")));
}

TEST_F(LoadTest, noCopyMeansNoSave)
{
    putFixture(kArchived.string(), "archived-EDDF.xml");
    putFixture(kLearned.string(), "learned-not-well-formed.xml");
    // A folder in the copy's place and in every later one's: no copy can be made.
    fs::create_directories(dir / "airports/learned/stock/EDDF0.xml");
    for (int n = 2; n < 100; ++n)
        fs::create_directories(dir / ("airports/learned/stock/EDDF0-" + std::to_string(n) + ".xml"));
    EXPECT_EQ(read(), "");
    EXPECT_TRUE(learnedSaveForbidden.load()) << log();
    standUpdateCount.store(3);
    gf_closeParkAirport();
    EXPECT_EQ(recorded.saves, 0);
    EXPECT_EQ(logLinesWith("not saved: its learned file could not be kept aside"), 1);
}
