// End to end: the simulator stand-in flies the user aircraft and answers the
// once-a-second request on demand, the RealTraffic stand-in sends traffic
// lines to the program's traffic reader, and the program's own main loop runs
// static parking second by second over real files in a temporary folder.
// The placing of planned aircraft is not part of this: the tests place them
// by hand between seconds, on the main loop's thread (the test's own).

#include "simconnect/sim_layer_fixture.hpp"

#include "airports/airports_list.hpp"
#include "airports/park_positions.hpp"
#include "app/main_loop.hpp"
#include "app/program_tick_work.hpp"
#include "parking/hour_fit.hpp"
#include "parking/park_airports_file.hpp"
#include "parking/parking_plan.hpp"
#include "parking/static_parking_driver.hpp"
#include "parking/static_parking_services.hpp"
#include "realtraffic/reader_fixture.hpp"
#include "realtraffic/readers.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "rtstub/rtstub.hpp"
#include "simconnect/sim_user_aircraft.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/stand_fit.hpp"

#include <fmt/format.h>

#include <set>

using namespace simtest;

namespace {

// Monday 7 December 2026, 05:00 UTC: half-hour 10 of day 1.
constexpr double kMonday0500 = 1796619600.0;

// Four stands 1.2 nm north of the airport's centre, 250 m apart, each used
// by one SWR A320 at Monday 05:00 with callsign SWR1 .. SWR4.
std::string airportFile()
{
    std::string text = "<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"1\"/>"
                       "<info name=\"date\" value=\"d\"/></meta><parameters>"
                       "<parameter name=\"airport_name\" value=\"Fiumicino\"/>"
                       "<parameter name=\"altitude\" value=\"100\"/><parameter name=\"Qf_real\" value=\"10\"/>"
                       "</parameters><parkpositions>";
    for (int i = 1; i <= 4; ++i)
        text += fmt::format("<parkpos id=\"P{}\" latitude=\"40.020000\" longitude=\"{:.6f}\" radius=\"30\">"
                            "<opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"1\" hh=\"10\" cs=\"SWR{}\"/></parkpos>",
                            i, 10.0 + i * 0.003, i);
    return text + "</parkpositions>";
}

// Records on which second static parking became busy and free again.
std::vector<std::pair<int, bool>> g_busySwitches;

// The program's tick work, with the live traffic reduced to what static
// parking reads of it: the user aircraft's state, asked for every tick.
struct ParkingTickWork : tzo::ProgramTickWork {
    void liveTraffic() override { userAircraft = gf_requestUserAircraftState(); }
    // The readers' watchdog and the range belong to other tests.
    void checkReadersAlive() override {}
    void updateTrafficRange() override {}
};

class ParkingEndToEnd : public SimLayer {
protected:
    void SetUp() override
    {
        m_appHooks = gf_appHooks();
        m_simHooks = gf_simLayerHooks();
        SimLayer::SetUp();
        resetState();
        StaticParkingHooks hooks;
        hooks.disableControls = [] { g_busySwitches.emplace_back(secondsCounter.load(), true); };
        hooks.enableControls = [] { g_busySwitches.emplace_back(secondsCounter.load(), false); };
        gf_installStaticParkingHooks(hooks);

        gf_setAirportsListForTests({{"LIRF", "FCO", 40.0, 10.0, 100}});
        put("airports/my_park_airports.txt", "LIRF\n");
        put("airports/archive/stock/LIRF.xml", airportFile());
        CUSTOM_PARKING_PERCENTAGE.setValue(100); // every stand wanted
        AUTO_RANGE.setValue(false);
        gf_rangeFromSetting(); // the traffic reader's range: LATERAL_RANGE
        gf_setClockForTests(static_cast<std::time_t>(kMonday0500));
        ASSERT_TRUE(gf_readMyParkAirports(false));

        startQuietStub();
        startAndRegister();
        requestUserOnGroundEachSecond();
        flyAt(40.0, 10.0, 1000.0);
        settle(); // the flight runs
        gf_resetTrafficInput(); // an earlier test may have stopped the reader
        m_reader = std::make_unique<testsupport::RunningReader>(trafficReader, true);
        ASSERT_TRUE(m_reader->started);
        m_rt = std::make_unique<rtstub::RtStub>(m_reader->port(), 0);
    }
    void TearDown() override
    {
        m_reader.reset();
        SimLayer::TearDown();
        gf_installAppHooks(m_appHooks);
        gf_installSimLayerHooks(m_simHooks);
        lf_leaveParkAirport();
        resetState();
        gf_installStaticParkingHooks({});
        gf_resetAirportsListForTests();
        gf_setClockForTests(0);
        for (tzo::IntParameter* i : {static_cast<tzo::IntParameter*>(&parking_percentage),
                                     static_cast<tzo::IntParameter*>(&MAX_LIVE),
                                     static_cast<tzo::IntParameter*>(&LATERAL_RANGE), &CUSTOM_PARKING_PERCENTAGE})
            i->setValue(i->defaultValue());
        AUTO_RANGE.setValue(AUTO_RANGE.defaultValue());
        gf_rangeFromSetting();
        LEARN_SOFT.setValue(LEARN_SOFT.defaultValue());
    }
    static void resetState()
    {
        gf_resetStaticParking();
        gf_clearParkAirportState();
        parkAirportActive.store(false);
        parkAirports.clear();
        parkAirportsLastPosition = {};
        staticParkingPlan.clear();
        staticAircraft.clear();
        liveAircraft.clear();
        removalQueue.clear();
        trafficQueue.clear();
        fitCallsignExclusions.clear();
        staticParkingBusy.store(false);
        reservedStand.clear();
        trafficReader.stopCollecting();
        userAircraft = {};
        secondsCounter.store(0);
        renewalPending.store(false);
        flightRunning.store(false);
        g_busySwitches.clear();
    }

    void put(const std::string& relative, const std::string& text)
    {
        const std::filesystem::path path = dir() / relative;
        std::filesystem::create_directories(path.parent_path());
        testsupport::writeFile(path, text);
    }
    void flyAt(double latitude, double longitude, double heightFt)
    {
        m_stub->setUserVar("Plane Latitude", latitude);
        m_stub->setUserVar("Plane Longitude", longitude);
        m_stub->setUserVar("Plane Alt Above Ground", heightFt);
        m_stub->setUserVar("SIM ON GROUND", 0.0);
    }

    // One simulator second: the stand-in's once-a-second answer, then the
    // main loop's tick that takes it.
    // False when the stand-in's second did not arrive.
    [[nodiscard]] bool secondsUpTo(int last)
    {
        while (secondsCounter.load() < last) {
            m_stub->answerSeconds();
            if (!testsupport::waitFor([] { return secondTick.load(); }))
                return false;
            m_loop.round();
        }
        return true;
    }

    // A traffic line of that callsign at that place, stamped with the
    // traffic time. Lines from one sender arrive in order: once a later line
    // is collected, every earlier one has been handled.
    void sendLine(const std::string& callsign, double latitude)
    {
        m_rt->sendTrafficLine(rtstub::TrafficLine::airborne()
                                  .set(rtstub::kCallsign, callsign)
                                  .set(rtstub::kLatitude, latitude)
                                  .set(rtstub::kLongitude, 10.0)
                                  .set(rtstub::kTimestamp, kMonday0500));
    }
    static bool collected(const std::string& callsign)
    {
        return testsupport::waitFor([&] { return trafficReader.collectedCallsigns().count(callsign) != 0; });
    }

    // What the placing of static aircraft would do: every
    // plan entry becomes a static aircraft in the simulator.
    void placeThePlan()
    {
        for (const auto& entry : staticParkingPlan) {
            tzo::AircraftRecord a;
            a.airline = entry.airline;
            a.model = entry.type;
            a.firstCallsign = entry.firstCallsign;
            a.callsign = entry.firstCallsign + "*";
            a.standId = entry.standId;
            const tzo::ParkPos& stand = parkPositions.at(entry.standId - 1);
            a.stand = {stand.latitude, stand.longitude, stand.heading};
            a.parkedSince = gf_nowDayHour();
            a.state = tzo::AircraftState::InSimulator;
            a.objectId = 500 + entry.standId;
            staticAircraft.push_back(a);
        }
        staticParkingPlan.clear();
    }

    static std::set<std::string> plannedCallsigns()
    {
        std::set<std::string> callsigns;
        for (const auto& entry : staticParkingPlan)
            callsigns.insert(entry.firstCallsign);
        return callsigns;
    }
    int logLinesWith(const std::string& text) { return testsupport::countLinesWith(dir() / "Log.txt", text); }

    AppHooks m_appHooks;
    SimLayerHooks m_simHooks;
    std::unique_ptr<testsupport::RunningReader> m_reader;
    std::unique_ptr<rtstub::RtStub> m_rt;
    ParkingTickWork m_work;
    tzo::SteadyTickClock m_clock;
    tzo::MainLoop m_loop{m_work, m_clock};
};

} // namespace

TEST_F(ParkingEndToEnd, callsignsLiveInRangeDuringTheCollectionAreNeverPlannedAndLaterRemoved)
{
    ASSERT_TRUE(secondsUpTo(16));
    ASSERT_EQ(parkAirportCode.get(), "LIRF");
    ASSERT_TRUE(trafficReader.collecting());
    EXPECT_EQ(g_busySwitches, (std::vector<std::pair<int, bool>>{{16, true}}));

    sendLine("SWR2", 45.0); // 300 nm away: beyond LATERAL_RANGE
    sendLine("SWR1", 40.1);
    ASSERT_TRUE(collected("SWR1"));
    EXPECT_EQ(trafficReader.collectedCallsigns(), (std::set<std::string>{"SWR1"}));

    ASSERT_TRUE(secondsUpTo(31));
    EXPECT_TRUE(staticParkingPlan.empty()) << "loaded and planned only at the next 16 s mark";
    ASSERT_TRUE(secondsUpTo(32));
    EXPECT_TRUE(airportFileRead);
    EXPECT_EQ(plannedCallsigns(), (std::set<std::string>{"SWR2", "SWR3", "SWR4"}));
    EXPECT_EQ(logLinesWith("3 positions (75% vs wanted 100%"), 1);
    EXPECT_FALSE(trafficReader.collecting());

    placeThePlan();
    ASSERT_TRUE(secondsUpTo(48));
    EXPECT_EQ(g_busySwitches.back(), (std::pair<int, bool>{48, false})) << "free once the plan is placed";

    // The renewal: flagged at 1200 s, collecting from 1215, adjusting at 1230.
    ASSERT_TRUE(secondsUpTo(1215));
    EXPECT_TRUE(trafficReader.collecting());
    EXPECT_EQ(g_busySwitches.back(), (std::pair<int, bool>{1215, true}));
    sendLine("SWR3", 40.1);
    ASSERT_TRUE(collected("SWR3"));
    ASSERT_TRUE(secondsUpTo(1229));
    EXPECT_EQ(g_busySwitches.back(), (std::pair<int, bool>{1215, true})) << "busy between the two steps";
    ASSERT_TRUE(secondsUpTo(1230));
    EXPECT_EQ(logLinesWith("Parking adjustments: 1 to be removed, 1 to be added"), 1);
    EXPECT_EQ(plannedCallsigns(), (std::set<std::string>{"SWR1"}));
    for (const auto& a : staticAircraft)
        EXPECT_EQ(a.state == tzo::AircraftState::InSimulator, a.firstCallsign != "SWR3") << a.firstCallsign;
    EXPECT_TRUE(staticParkingBusy.load()) << "until the plan is placed";
    EXPECT_TRUE(m_stub->protocolErrors().empty());
}
