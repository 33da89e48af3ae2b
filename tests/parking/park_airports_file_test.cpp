#include "airports/airport_fixture.hpp"
#include "airports/airports_list.hpp"
#include "parking/park_airports_file.hpp"
#include "parking/static_parking_services.hpp"
#include "simconnect/sim_user_aircraft.hpp"
#include "traffic/live_traffic.hpp"

#include <thread>

using namespace airporttest;
namespace fs = std::filesystem;

namespace {

struct ParkAirportsFileTest : AirportTest {
    ParkAirportsFileTest()
    {
        gf_setAirportsListForTests({{"EDDF", "FRA", 50.03, 8.57, 364}, {"EHAM", "AMS", 52.3, 4.76, -11},
                                    {"EGLL", "LHR", 51.47, -0.45, 83}});
        putFixture("airports/archive/stock/EDDF.xml", "archived-EDDF.xml");
        reset();
    }
    ~ParkAirportsFileTest() override
    {
        reset();
        gf_resetAirportsListForTests();
    }
    static void reset()
    {
        parkAirports.clear();
        parkAirportsLastPosition = {};
        parkAirportsOkay = false;
        userAircraft = {};
        reservedStand.clear();
    }
    std::string file() const { return testsupport::readFile(dir / "airports/my_park_airports.txt"); }
    void writeFile(const std::string& text) { put("airports/my_park_airports.txt", text); }
};

} // namespace

TEST_F(ParkAirportsFileTest, lineCases)
{
    const struct {
        const char* text;
        bool ok;
        const char* code;  // "" when nothing is added
        const char* stand;
        const char* logged;
    } cases[] = {
        {"EDDF", true, "EDDF", "", ""},
        {"EDDF,A10", true, "EDDF", "A10", ""},
        {"  EDDF ,  A10 ", true, "EDDF", "A10", ""},
        {"EDDF,", true, "EDDF", "", ""},
        {"EDDF,A10,x", true, "", "", "===> my_park_airports.txt:EDDF,A10,x wrong syntax, skipped"},
        {"", true, "", "", ""},
        {"XXXX", false, "", "", "airport XXXX is unknown"},
        {"EDDF,Z99", false, "EDDF", "Z99", "EDDF stand Z99 is unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        reset();
        bool ok = true;
        lf_parseParkAirportLine(ok, c.text);
        EXPECT_EQ(ok, c.ok);
        if (*c.code == '\0') {
            EXPECT_TRUE(parkAirports.empty());
        } else {
            ASSERT_EQ(parkAirports.size(), 1u);
            EXPECT_EQ(parkAirports.front().code, c.code);
            EXPECT_EQ(parkAirports.front().reservedStand, c.stand);
            EXPECT_DOUBLE_EQ(parkAirports.front().latitude, 50.03);
        }
        if (*c.logged != '\0') {
            EXPECT_GE(logLinesWith(c.logged), 1);
        }
    }
}

TEST_F(ParkAirportsFileTest, doublesSkippedAndFolderAddsNoDoubles)
{
    writeFile("EDDF,A10\r\nEDDF\nEHAM\n");
    fs::create_directories(dir / "airports/my_thirdparty/EDDF");
    fs::create_directories(dir / "airports/my_thirdparty/EGLL");
    fs::create_directories(dir / "airports/my_thirdparty/QQQQ"); // unknown code: not added
    userAircraft.latitude = 52.0;
    userAircraft.longitude = 4.5;
    EXPECT_TRUE(gf_readMyParkAirports(false));
    ASSERT_EQ(parkAirports.size(), 3u);
    EXPECT_EQ(parkAirports.front().code, "EHAM"); // nearest first
    EXPECT_EQ(logLinesWith("===> my_park_airports.txt:EDDF double, skipped"), 1);
    EXPECT_EQ(logLinesWith("2 park airports read from \"my_park_airports.txt\""), 1);
    EXPECT_EQ(logLinesWith("1 park airport added from \"airports/my_thirdparty\""), 1);
    EXPECT_TRUE(parkAirportsOkay);
}

TEST_F(ParkAirportsFileTest, aFileSavedWithAMarkOrAsUtf16IsReadWholeAndWrittenBackAsText)
{
    const auto utf16 = [](const std::string& text, bool bigEndian) {
        std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const char c : text)
            bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
        return bytes;
    };
    const std::string lines = "EDDF,A10\r\nEHAM\r\n";
    const std::pair<const char*, std::string> cases[] = {
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + lines},
        {"UTF-16 little-endian", utf16(lines, false)},
        {"UTF-16 big-endian", utf16(lines, true)},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        reset();
        writeFile(bytes);
        EXPECT_TRUE(gf_readMyParkAirports(false));
        ASSERT_EQ(parkAirports.size(), 2u);
        EXPECT_EQ(parkAirports.front().code, "EDDF");
        EXPECT_EQ(parkAirports.front().reservedStand, "A10");
        EXPECT_EQ(parkAirports.back().code, "EHAM");

        parkAirports.front().reservedStand = "A12";
        gf_writeMyParkAirports();
        EXPECT_EQ(file(), "EDDF,A12\nEHAM\n");
    }
    EXPECT_EQ(logLinesWith("is unknown"), 0);
}

TEST_F(ParkAirportsFileTest, missingFileIsLoggedAndStillOkay)
{
    EXPECT_TRUE(gf_readMyParkAirports(false));
    EXPECT_EQ(logLinesWith("airports/my_park_airports.txt not found"), 1);
}

TEST_F(ParkAirportsFileTest, writeCreatesAppendsAndReplaces)
{
    parkAirports.push_back({"EHAM", "", 0, 0, 0});
    gf_writeMyParkAirports();
    EXPECT_EQ(file(), "EHAM\n");
    EXPECT_EQ(logLinesWith("my_park_airports.txt created with EHAM"), 1);

    parkAirports.front() = {"EDDF", "A10", 0, 0, 0};
    gf_writeMyParkAirports();
    EXPECT_EQ(file(), "EDDF,A10\nEHAM\n");
    EXPECT_EQ(logLinesWith("my_park_airports.txt:EDDF,A10 new entry"), 1);

    parkAirports.front().reservedStand = "A12";
    gf_writeMyParkAirports();
    EXPECT_EQ(file(), "EDDF,A12\nEHAM\n");
    EXPECT_EQ(logLinesWith("my_park_airports.txt:EDDF,A12 updated stand"), 1);
}

TEST_F(ParkAirportsFileTest, unreadableFileIsLeftByteForByte)
{
    // A folder in the file's place cannot be read as lines.
    fs::create_directories(dir / "airports/my_park_airports.txt");
    parkAirports.push_back({"EDDF", "A10", 0, 0, 0});
    gf_writeMyParkAirports();
    EXPECT_TRUE(fs::is_directory(dir / "airports/my_park_airports.txt"));
    EXPECT_EQ(logLinesWith("===> my_park_airports.txt cannot be read"), 1);
}

TEST_F(ParkAirportsFileTest, standReportedOnAnotherThreadReachesTheFile)
{
    writeFile("EGLL\n");
    parkAirports.push_back({"EDDF", "", 0, 0, 0});
    parkAirportCode.set("EDDF");
    std::thread connection([] { gf_rememberParkStand("A12"); });
    connection.join();
    gf_applyRememberedParkStand();
    EXPECT_EQ(file(), "EDDF,A12\nEGLL\n");
    gf_applyRememberedParkStand(); // nothing noted any more
    EXPECT_EQ(logLinesWith("new entry"), 1);
}

TEST_F(ParkAirportsFileTest, reReadTakesOverAChangedReservedStand)
{
    writeFile("EDDF,A12\n");
    std::uint64_t quality = 0;
    ASSERT_EQ(gf_readApf("airports/archive/stock/EDDF.xml", quality), "");
    reservedStand.set("A10");
    userOnGroundKnown.store(true);
    std::string message;
    EXPECT_TRUE(gf_checkReservedStand(true, message));
    userOnGroundKnown.store(false);
    EXPECT_EQ(message, "reserved stand changed from \"A10\" to \"A12\"");
    EXPECT_EQ(reservedStand.get(), "A12");
    ASSERT_NE(standNamed("A12"), nullptr);
    EXPECT_TRUE(standNamed("A12")->keptFree);
    message.clear();
    EXPECT_TRUE(gf_checkReservedStand(true, message));
    EXPECT_EQ(message, "park airports and stands are okay");
}
