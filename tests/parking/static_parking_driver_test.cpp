// The driver over real airport files in a temporary program folder: the
// user aircraft is moved by hand between runs, as the 16 s mark would see it.

#include "airports/airport_fixture.hpp"
#include "airports/airports_list.hpp"
#include "parking/hour_fit.hpp"
#include "parking/park_airports_file.hpp"
#include "parking/parking_plan.hpp"
#include "parking/static_parking_driver.hpp"
#include "parking/static_parking_services.hpp"
#include "realtraffic/readers.hpp"
#include "simconnect/sim_user_aircraft.hpp"
#include "traffic/live_traffic.hpp"

#include <cmath>

using namespace airporttest;

namespace {

constexpr double kNmInDegrees = 1.0 / 60.0; // along a meridian

// An airport file of n stands 200 m apart with the real quality factor q.
std::string airportFile(int n, int quality, bool withAltitude = true)
{
    std::string text = "<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"1\"/><info "
                       "name=\"date\" value=\"d\"/></meta><parameters>";
    if (withAltitude)
        text += "<parameter name=\"altitude\" value=\"100\"/>";
    text += "<parameter name=\"Qf_real\" value=\"" + std::to_string(quality) + "\"/></parameters><parkpositions>";
    for (int i = 0; i < n; ++i)
        text += "<parkpos id=\"P" + std::to_string(i) + "\" latitude=\"40.0\" longitude=\"" +
                std::to_string(10.0 + i * 0.003) + "\" radius=\"20\"/>";
    return text + "</parkpositions>";
}

struct StaticParkingDriver : AirportTest {
    StaticParkingDriver()
    {
        gf_setAirportsListForTests({{"EDDF", "FRA", 50.05, 8.57, 364}, {"LIRF", "FCO", 40.0, 10.0, 100},
                                    {"LIRA", "CIA", 40.2, 10.0, 100}});
        putFixture("airports/archive/stock/EDDF.xml", "archived-EDDF.xml");
        reset();
        savedMaxLive.store(static_cast<std::uint32_t>(MAX_LIVE.value()));
    }
    ~StaticParkingDriver() override
    {
        reset();
        gf_resetAirportsListForTests();
        AIRPORT_RANGE.setValue(AIRPORT_RANGE.defaultValue());
        AIRPORT_HEIGHT.setValue(AIRPORT_HEIGHT.defaultValue());
        savedMaxLive.store(0);
    }
    static void reset()
    {
        gf_resetStaticParking();
        gf_clearParkAirportState();
        parkAirports.clear();
        parkAirportsLastPosition = {};
        userAircraft = {};
        userOnGround.store(false);
        userOnGroundKnown.store(false);
        staticParkingPlan.clear();
        staticAircraft.clear();
        liveAircraft.clear();
        idsToCreate.clear();
        liveCreateQueue.clear();
        removalQueue.clear();
        staticParkingBusy.store(false);
        reservedStand.clear();
        trafficReader.stopCollecting();
        trafficReader.clearCollected();
    }
    void listPark(const std::string& code)
    {
        const auto airport = gf_findAirport(code);
        parkAirports.push_back({code, "", airport->latitude, airport->longitude, 0.0});
    }
    void flyAt(double lat, double lon, double heightFt)
    {
        userAircraft.latitude = lat;
        userAircraft.longitude = lon;
        userAircraft.altitudeAboveGround = heightFt;
    }
    // Chosen at one mark, its file read at the next.
    void loadLirfWithFourStands()
    {
        listPark("LIRF");
        put("airports/archive/stock/LIRF.xml", airportFile(4, 10));
        flyAt(40.0, 10.0, 1000);
        gf_staticParking(false);
        gf_staticParking(false);
    }
};

} // namespace

TEST_F(StaticParkingDriver, nothingBeforeTheFirstPosition)
{
    listPark("EDDF");
    flyAt(0.0009, 0.05, 0);
    gf_staticParking(false);
    EXPECT_TRUE(parkAirportCode.get().empty());
    EXPECT_FALSE(staticParkingBusy.load());
}

TEST_F(StaticParkingDriver, exactlyAtRangeAndHeightChoosesThenLoadsAtTheNextMark)
{
    listPark("LIRF");
    double lat = 40.0 - AIRPORT_RANGE.value() * kNmInDegrees;
    while (gf_greatCircleDistanceNm({lat, 10.0}, {40.0, 10.0}) > AIRPORT_RANGE.value())
        lat = std::nextafter(lat, 40.0);
    flyAt(lat, 10.0, AIRPORT_HEIGHT.value());
    put("airports/archive/stock/LIRF.xml", airportFile(10, 10));
    gf_staticParking(false);
    EXPECT_EQ(parkAirportCode.get(), "LIRF");
    EXPECT_TRUE(staticParkingBusy.load());
    EXPECT_TRUE(trafficReader.collecting());
    EXPECT_EQ(logLinesWith("LIRF in sight at 20.0 nm"), 1);
    EXPECT_EQ(logLinesWith("The park airport is LIRF (FCO)"), 1);

    gf_staticParking(false);
    EXPECT_TRUE(airportFileRead);
    EXPECT_EQ(parkPositions.size(), 10u);
    EXPECT_FALSE(trafficReader.collecting());
    EXPECT_EQ(logLinesWith("no parking positions found"), 1);
    EXPECT_FALSE(staticParkingBusy.load());
}

TEST_F(StaticParkingDriver, justBeyondRangeOrTooHighChoosesNothing)
{
    listPark("LIRF");
    flyAt(40.0 - (AIRPORT_RANGE.value() + 0.01) * kNmInDegrees, 10.0, 100);
    gf_staticParking(false);
    EXPECT_TRUE(parkAirportCode.get().empty());
    flyAt(40.0, 10.0, AIRPORT_HEIGHT.value() + 1.0);
    gf_staticParking(false);
    EXPECT_TRUE(parkAirportCode.get().empty());
}

TEST_F(StaticParkingDriver, onTheGroundTheAirportWithinFiveMilesIsChosenIfItHasAFile)
{
    userOnGround.store(true);
    double lat = 40.0 - 5.0 * kNmInDegrees;
    while (gf_greatCircleDistanceNm({lat, 10.0}, {40.0, 10.0}) > 5.0)
        lat = std::nextafter(lat, 40.0);
    flyAt(lat, 10.0, 0);
    gf_staticParking(false);
    EXPECT_TRUE(parkAirportCode.get().empty());
    EXPECT_EQ(logLinesWith("User aircraft on the ground at LIRF, no airport file found"), 1);

    put("airports/archive/stock/LIRF.xml", airportFile(4, 10));
    flyAt(lat + 1e-7, 10.0, 0);
    gf_staticParking(false);
    EXPECT_EQ(parkAirportCode.get(), "LIRF");
    EXPECT_TRUE(parkLoadRequested);
}

TEST_F(StaticParkingDriver, outOfSightLeavesAndRestoresMaxLive)
{
    loadLirfWithFourStands();
    ASSERT_EQ(parkPositions.size(), 4u);
    const int userValue = MAX_LIVE.value();
    MAX_LIVE.setValue(50); // as a learned file may set it
    flyAt(41.0, 10.0, 1000);
    gf_staticParking(false);
    EXPECT_TRUE(parkAirportCode.get().empty());
    EXPECT_TRUE(parkPositions.empty());
    EXPECT_EQ(MAX_LIVE.value(), userValue);
    EXPECT_EQ(logLinesWith("LIRF (FCO) is out of sight (60.0 nm), parked aircraft will be removed"), 1);
}

TEST_F(StaticParkingDriver, leavingWithdrawsAParkedLiveCreationOrLetsItMakePlace)
{
    loadLirfWithFourStands();
    ASSERT_EQ(parkPositions.size(), 4u);
    for (std::uint32_t id : {0x400001u, 0x400002u, 0x400003u}) {
        tzo::LiveAircraft live;
        live.recordId = id;
        live.state = tzo::AircraftState::CreateRequested;
        live.movementPhase = tzo::kPhaseParked;
        liveAircraft.push_back(live);
    }
    idsToCreate.assign({0x400001u});
    liveCreateQueue.assign(1, tzo::CreateRequest{});
    liveCreateQueue.front().recordId = 0x400002u;
    flyAt(41.0, 10.0, 1000);
    gf_staticParking(false);
    EXPECT_TRUE(idsToCreate.empty());
    EXPECT_TRUE(liveCreateQueue.empty());
    ASSERT_EQ(liveAircraft.size(), 3u);
    EXPECT_TRUE(liveAircraft[0].erase && liveAircraft[1].erase) << "withdrawn: they leave with the move pass";
    EXPECT_FALSE(liveAircraft[2].erase);
    EXPECT_TRUE(liveAircraft[2].makesPlace) << "sent: removed when its object shows up";
    EXPECT_FALSE(liveAircraft[0].makesPlace || liveAircraft[1].makesPlace);
}

TEST_F(StaticParkingDriver, aNearerParkAirportReplacesTheOneInUse)
{
    listPark("LIRF");
    listPark("LIRA");
    put("airports/archive/stock/LIRF.xml", airportFile(4, 10));
    flyAt(40.05, 10.0, 1000);
    gf_staticParking(false);
    EXPECT_EQ(parkAirportCode.get(), "LIRF");
    gf_staticParking(false);
    flyAt(40.15, 10.0, 1000); // LIRA now nearer
    gf_staticParking(false);
    EXPECT_TRUE(parkAirportCode.get().empty());
    EXPECT_EQ(logLinesWith("LIRA is in sight (3.0 nm), parked aircraft at LIRF (FCO) will be removed first"), 1);
    flyAt(40.1500001, 10.0, 1000);
    gf_staticParking(false);
    EXPECT_EQ(parkAirportCode.get(), "LIRA");
}

TEST_F(StaticParkingDriver, softLearningSwitchesOffAtQuality45WithTwentyStands)
{
    // The LEARN_SOFT box as the window would show it: 1 enabled, 0 disabled.
    static int box = -1;
    tzo::ParameterControlHooks controls;
    controls.enableControl = [](tzo::ParameterControl& c) { box = &c == &LEARN_SOFT ? 1 : box; };
    controls.disableControl = [](tzo::ParameterControl& c) { box = &c == &LEARN_SOFT ? 0 : box; };
    gf_installParameterControlHooks(controls);
    for (int stands : {20, 19}) {
        SCOPED_TRACE(stands);
        reset();
        resetParkAirport();
        LEARN_SOFT.setValue(true);
        listPark("LIRF");
        put("airports/archive/stock/LIRF.xml", airportFile(stands, 45));
        flyAt(40.0, 10.0 + stands * 1e-6, 1000);
        gf_staticParking(false);
        gf_staticParking(false);
        ASSERT_EQ(parkPositions.size(), static_cast<std::size_t>(stands));
        EXPECT_EQ(softLearningAllowed, stands < 20);
        EXPECT_EQ(LEARN_SOFT.value(), stands < 20);
        EXPECT_EQ(box, stands < 20 ? 1 : 0);
        lf_leaveParkAirport();
    }
    gf_installParameterControlHooks({});
}

TEST_F(StaticParkingDriver, aDamagedAirportFileLeavesTheAirportWithTheControlsEnabled)
{
    static bool enabled = false; // the controls as the window would show them
    StaticParkingHooks hooks;
    hooks.disableControls = [] { enabled = false; };
    hooks.enableControls = [] { enabled = true; };
    gf_installStaticParkingHooks(hooks);
    std::string repeated = airportFile(3, 10);
    repeated.replace(repeated.find("\"P2\""), 4, "\"P1\"");
    const struct {
        const char* what;
        std::string file;
        const char* line;
    } cases[] = {{"missing altitude", airportFile(4, 10, false), "Parameter altitude not found"},
                 {"repeated stand", repeated, "Parking position P1 appears more than once?"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reset();
        listPark("LIRF");
        put("airports/archive/stock/LIRF.xml", c.file);
        flyAt(40.0, 10.0, 1000);
        gf_staticParking(false);
        EXPECT_TRUE(staticParkingBusy.load());
        gf_staticParking(false);
        EXPECT_TRUE(parkAirportCode.get().empty());
        EXPECT_FALSE(staticParkingBusy.load());
        EXPECT_TRUE(enabled);
        EXPECT_FALSE(airportFileRead);
        EXPECT_EQ(logLinesWith(c.line), 1) << "on the error line, once";
    }
    gf_installStaticParkingHooks({});
}

TEST_F(StaticParkingDriver, aMissingAirportFileIsReportedAndTheAirportLeft)
{
    listPark("LIRF");
    flyAt(40.0, 10.0, 1000);
    gf_staticParking(false);
    gf_staticParking(false);
    EXPECT_EQ(logLinesWith("LIRF not found"), 1);
    EXPECT_TRUE(parkAirportCode.get().empty());
    EXPECT_FALSE(staticParkingBusy.load());
}
