#include "airport_fixture.hpp"
#include "airports/airports_list.hpp"

#include <stdexcept>

using namespace airporttest;

namespace {

struct AirportsListTest : AirportTest {
    AirportsListTest() { gf_resetAirportsListForTests(); }
    ~AirportsListTest() override { gf_resetAirportsListForTests(); }

    void writeList(const std::string& body) { put("input/airports_p3d.xml", "<airports>" + body + "</airports>"); }
};

} // namespace

TEST_F(AirportsListTest, smallListIsSortedAndFound)
{
    writeList(R"(<airport code="EHAM" iata="AMS" lat="52.3" lon="4.76" alt="-11"/>)"
              R"(<other/><airport code="EDDF" iata="FRA" lat="50.03" lon="8.57" alt="364"/>)");
    EXPECT_TRUE(gf_loadAirportsList());
    ASSERT_EQ(gf_airportsList().size(), 2u);
    EXPECT_EQ(gf_airportsList()[0].code, "EDDF");
    const auto eham = gf_findAirport("EHAM");
    ASSERT_TRUE(eham.has_value());
    EXPECT_DOUBLE_EQ(eham->latitude, 52.3);
    EXPECT_EQ(eham->altitude, -11.0);
    EXPECT_FALSE(gf_findAirport("EHA").has_value());
    EXPECT_EQ(logLinesWith("2 airports read from \"input/airports_p3d.xml\""), 1);
    // A second call does not read the file again.
    put("input/airports_p3d.xml", "broken");
    EXPECT_TRUE(gf_loadAirportsList());
    EXPECT_EQ(gf_airportsList().size(), 2u);
}

TEST_F(AirportsListTest, emptyListCountsAsLoaded)
{
    writeList("");
    EXPECT_FALSE(gf_loadAirportsList());
    EXPECT_EQ(logLinesWith("0 airports read from"), 1);
    put("input/airports_p3d.xml", "broken");
    EXPECT_FALSE(gf_loadAirportsList()); // loaded: not read again, no exception
}

TEST_F(AirportsListTest, missingThenPresentLoadsOnce)
{
    EXPECT_THROW(gf_loadAirportsList(), std::runtime_error);
    put("input/airports_p3d.xml", "<other/>");
    try {
        gf_loadAirportsList();
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "input/airports_p3d.xml not found");
    }
    writeList(R"(<airport code="EDDF" lat="50" lon="8" alt="1"/>)");
    EXPECT_TRUE(gf_loadAirportsList());
    EXPECT_EQ(gf_airportsList().size(), 1u);
}

TEST_F(AirportsListTest, badPositionsAreSkippedWithAMarkedLine)
{
    writeList(R"(<airport code="AAAA" lat="x" lon="8" alt="1"/><airport code="BBBB" lon="8" alt="1"/>)"
              R"(<airport code="CCCC" lat="nan" lon="8" alt="1"/><airport code="DDDD" lat="1" lon="inf" alt="1"/>)"
              R"(<airport code="EEEE" lat="1" lon="2" alt="1e999"/><airport code="FFFF" lat="1" lon="2" alt="3"/>)");
    EXPECT_TRUE(gf_loadAirportsList());
    ASSERT_EQ(gf_airportsList().size(), 1u);
    EXPECT_EQ(gf_airportsList()[0].code, "FFFF");
    EXPECT_EQ(logLinesWith("===> airport \""), 5);
}

TEST_F(AirportsListTest, equalCodesKeepFileOrderAndTheFirstIsFound)
{
    writeList(R"(<airport code="ZZZZ" lat="9" lon="9" alt="9"/><airport code="EDDF" iata="A" lat="1" lon="1" alt="1"/>)"
              R"(<airport code="EDDF" iata="B" lat="2" lon="2" alt="2"/><airport code="EDDF" iata="C" lat="3" lon="3" alt="3"/>)");
    EXPECT_TRUE(gf_loadAirportsList());
    const auto& list = gf_airportsList();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].iataCode + list[1].iataCode + list[2].iataCode, "ABC");
    EXPECT_EQ(gf_findAirport("EDDF")->iataCode, "A");
}

TEST(AirportsListFormat, textForms)
{
    const struct {
        const char* code;
        const char* iata;
        const char* text;
    } cases[] = {{"EHAM", "AMS", "EHAM (AMS)"}, {"EHAM", "", "EHAM"}, {"", "AMS", "? (AMS)"}, {"", "", "?"}};
    for (const auto& c : cases) {
        tzo::AirportRecord record;
        record.code = c.code;
        record.iataCode = c.iata;
        EXPECT_EQ(gf_formatAirport(record), c.text);
    }
}
