// End to end: a test airport, data base and livery catalogue in a temporary
// folder, the plan made from the airport's learned use, and the static
// aircraft created in the simulator stand-in one per creation slot. Every few
// frames the stand-in's objects are checked against each other and the user
// with the data base's wingspans: nobody stands in anybody.

#include "airports/airport_file.hpp"
#include "airports/park_airport_load.hpp"
#include "airports/park_positions.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_maps.hpp"
#include "liveries/scanned_liveries.hpp"
#include "parking/hour_fit.hpp"
#include "parking/static_parking_services.hpp"
#include "refdata/dbase_file.hpp"
#include "refdata/dbase_lookups.hpp"
#include "simconnect/sim_layer_fixture.hpp"
#include "traffic/collisions.hpp"
#include "traffic/duplicates.hpp"
#include "traffic/removal.hpp"
#include "traffic/static_placement.hpp"
#include "traffic/traffic_fixture.hpp"

#include <cmath>
#include <map>

using testsupport::waitFor;

namespace {

constexpr int kStands = 12;
constexpr double kLatitude = 47.45;
constexpr double kLongitude = 8.56;
constexpr double kSpacingMetres = 45.0; // A320s of 36 m span fit side by side
constexpr DayHour kNow{3, 20};

tzo::LatLon standPosition(int i)
{
    constexpr double kDegreesPerMetre = 1.0 / (1852.0 * 60.0);
    return {kLatitude, kLongitude + i * kSpacingMetres * kDegreesPerMetre / std::cos(kLatitude * 0.017453292519943295)};
}

std::string airportFile()
{
    std::string hours;
    for (int h = 0; h < 48; ++h)
        hours += (h ? "," : "") + std::to_string(h);
    std::string text = "<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"1\"/><info "
                       "name=\"date\" value=\"d\"/></meta><parameters><parameter name=\"publisher\" value=\"stock\"/>"
                       "<parameter name=\"altitude\" value=\"1400\"/></parameters><parkpositions>";
    for (int i = 0; i < kStands; ++i) {
        const tzo::LatLon p = standPosition(i);
        // Stand 3 is used by a flight without callsign: "<airline><id>*".
        const std::string cs = i == 3 ? "" : fmt::format(" cs=\"KLM{}:KLM{}\"", 1000 + 2 * i, 1001 + 2 * i);
        text += fmt::format("<parkpos id=\"G{}\" latitude=\"{:.6f}\" longitude=\"{:.6f}\" heading=\"{}.0\" "
                            "radius=\"20.0\"><opt reg=\"\" airl=\"KLM\" type=\"A320\" day=\"{}\" hh=\"{}\"{}/>"
                            "</parkpos>",
                            i + 1, p.latitude, p.longitude, 10 * i, kNow.day, hours, cs);
    }
    return text + "</parkpositions>";
}

class StaticParkingInSimulator : public simtest::SimLayer {
protected:
    std::map<std::uint32_t, std::uint32_t> m_handedAtTick; // record id, tick handed to the simulator
    std::string m_overlap;

    void SetUp() override
    {
        SimLayer::SetUp();
        testsupport::clearReferenceData();
        testsupport::DbaseFile file;
        file.models("aircrafts", "aircraft", {"A320", "B738", "B744", "C25A", "EC35", "F16"})
            .models("high_performance", "hpf", {"F16"})
            .models("heavy", "hvy", {"B744"})
            .models("large", "lar", {"A320", "B738"})
            .models("buzjet", "bzj", {"C25A"})
            .models("rotorcraft", "rot", {"EC35"})
            .models("cargo_types", "cargo_type", {"B744"})
            .airlines("ICAO_airlines", {"KLM", "BAW"})
            .airlines("cargo_operators", {"FDX"})
            .wingspan("A320", "36")
            .wingspan("B738", "34");
        file.write(dir() / "input" / "dbase.xml");
        ASSERT_TRUE(gf_readDbase());
        traffictest::resetTrafficWorld();
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries = {tzo::LiveryData{"KLM", "A320", "KLM A320", "", 1, false},
                                tzo::LiveryData{"BAW", "A320", "British A320", "", 1, false}};
        tzo::gf_processScannedLiveries();
        nowDayHour.store(kNow.toU64());
        RANDOM.setValue(false);
        CUSTOM_PARKING_PERCENTAGE.setValue(100);
        gf_storeRange(40.0);

        std::filesystem::create_directories("airports/archive/stock");
        testsupport::writeFile("airports/archive/stock/TEST.xml", airportFile());
        parkAirportCode.set("TEST");
        std::uint64_t quality = 0;
        ASSERT_EQ(gf_readApf("airports/archive/stock/TEST.xml", quality), "");
        ASSERT_EQ(parkPositions.size(), static_cast<std::size_t>(kStands));

        startQuietStub();
        startAndRegister();
        // The user 2 km north, on the ground.
        userAt({kLatitude + 2000.0 / 1852.0 / 60.0, kLongitude}, true);
    }
    void TearDown() override
    {
        traffictest::resetTrafficWorld();
        gf_clearParkPositions();
        gf_clearParkAirportState();
        parkAirportActive.store(false);
        staticParkingBusy.store(false);
        CUSTOM_PARKING_PERCENTAGE.setValue(CUSTOM_PARKING_PERCENTAGE.defaultValue());
        parking_percentage.setValue(parking_percentage.defaultValue());
        RANDOM.setValue(true);
        userOnGround.store(false);
        nowDayHour.store(0);
        gf_rangeFromSetting();
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries.clear();
        testsupport::clearReferenceData();
        SimLayer::TearDown();
    }

    void userAt(tzo::LatLon p, bool onGround)
    {
        m_stub->setUserVar("Plane Latitude", p.latitude);
        m_stub->setUserVar("Plane Longitude", p.longitude);
        userAircraft.latitude = p.latitude;
        userAircraft.longitude = p.longitude;
        userOnGround.store(onGround);
    }

    // Ticks of the live traffic with a frame every five; records the ticks of
    // creations handed over and the first overlap seen.
    void run(int ticks)
    {
        for (int n = 0; n < ticks; ++n) {
            const std::uint32_t tick = liveTickCounter.load();
            std::size_t before;
            {
                std::lock_guard lock(simQueueMutex);
                before = createQueue.size();
            }
            gf_liveTraffic();
            {
                std::lock_guard lock(simQueueMutex);
                if (createQueue.size() > before)
                    m_handedAtTick.emplace(createQueue.back().recordId, tick);
            }
            if (tick % 5 == 0) {
                frameAndSettle();
                if (m_overlap.empty())
                    m_overlap = overlap();
            }
        }
    }

    // The first pair of stand-in objects (or an object and the user) closer
    // than their half spans together; empty when there is none.
    std::string overlap() const
    {
        const auto objects = m_stub->objectPositions();
        const double half = gf_wingspanOf("A320");
        for (std::size_t i = 0; i < objects.size(); ++i) {
            const tzo::LatLon a{objects[i].latitude, objects[i].longitude};
            if (gf_greatCircleDistanceNm(a, {userAircraft.latitude, userAircraft.longitude}) <
                half + gf_userHalfSpanOrAverage())
                return objects[i].atcId + " in the user";
            for (std::size_t j = i + 1; j < objects.size(); ++j)
                if (gf_greatCircleDistanceNm(a, {objects[j].latitude, objects[j].longitude}) < 2 * half)
                    return objects[i].atcId + " in " + objects[j].atcId;
        }
        return {};
    }

    void plan()
    {
        lf_planStaticParking();
        ASSERT_FALSE(staticParkingPlan.empty());
    }
};

} // namespace

TEST_F(StaticParkingInSimulator, theTwelveStandsFillOneCreationPerSlotAtTheirPlaces)
{
    plan();
    ASSERT_EQ(staticParkingPlan.size(), static_cast<std::size_t>(kStands));
    liveTickCounter.store(100);
    run(kStands * 50 + 500);
    ASSERT_TRUE(staticParkingPlan.empty());
    EXPECT_EQ(m_overlap, "");

    const auto objects = m_stub->aiObjects();
    ASSERT_EQ(objects.size(), static_cast<std::size_t>(kStands)) << log();
    for (const auto& o : objects) {
        const auto s = std::find_if(staticAircraft.begin(), staticAircraft.end(),
                                    [&](const auto& a) { return a.objectId == o.id; });
        ASSERT_NE(s, staticAircraft.end()) << o.atcId;
        EXPECT_EQ(s->state, tzo::AircraftState::InSimulator);
        const tzo::ParkPos& stand = *gf_standById(s->standId);
        EXPECT_EQ(o.atcId, stand.name == "G4" ? fmt::format("KLM{}*", s->recordId) : s->firstCallsign + "*");
        EXPECT_EQ(o.title, "KLM A320");
        EXPECT_NEAR(o.firstLatitude, stand.latitude, 1e-9);
        EXPECT_NEAR(o.firstLongitude, stand.longitude, 1e-9);
        EXPECT_NEAR(o.var("PLANE HEADING DEGREES TRUE"), stand.heading * 57.29577951308232, 1e-6);
    }
    for (const auto& p : m_stub->packetsNamed("SetDataOnSimObject"))
        EXPECT_NE(p.u32("defineId"), tzo::DEFINITION_AI_POSITION) << "a parked aircraft never gets a position update";
    std::vector<std::uint32_t> ticks;
    for (const auto& [id, tick] : m_handedAtTick)
        ticks.push_back(tick);
    std::sort(ticks.begin(), ticks.end());
    ASSERT_EQ(ticks.size(), static_cast<std::size_t>(kStands));
    for (std::size_t i = 1; i < ticks.size(); ++i)
        EXPECT_EQ(ticks[i] - ticks[i - 1], 50u);
    EXPECT_TRUE(m_stub->misdirectedPackets().empty());
    EXPECT_TRUE(m_stub->protocolErrors().empty());
}

TEST_F(StaticParkingInSimulator, aRenewalAtTheSameStandsWaitsForHeldRemovals)
{
    plan();
    liveTickCounter.store(100);
    run(kStands * 50 + 500);
    ASSERT_EQ(m_stub->aiObjects().size(), static_cast<std::size_t>(kStands));

    m_stub->holdRemovals(true);
    for (auto& s : staticAircraft)
        if (s.standId <= 6) {
            gf_removeAircraft(s);
            tzo::ParkingPlanEntry e;
            e.airline = "BAW";
            e.type = "A320";
            e.standId = s.standId;
            e.firstCallsign = fmt::format("BAW{}", 50 + s.standId);
            e.continues = true;
            staticParkingPlan.push_back(e);
        }
    run(1500);
    EXPECT_EQ(m_overlap, "");
    EXPECT_EQ(m_stub->aiObjects().size(), static_cast<std::size_t>(kStands)) << "nothing new while the old ones stay";
    EXPECT_EQ(staticParkingPlan.size(), 6u);

    m_stub->holdRemovals(false);
    m_stub->releaseHeldRemovals();
    run(6 * 50 + 500);
    EXPECT_EQ(m_overlap, "");
    EXPECT_TRUE(staticParkingPlan.empty());
    const auto objects = m_stub->aiObjects();
    EXPECT_EQ(objects.size(), static_cast<std::size_t>(kStands));
    EXPECT_EQ(std::count_if(objects.begin(), objects.end(), [](const auto& o) { return o.title == "British A320"; }),
              6);
}

TEST_F(StaticParkingInSimulator, theUserStandingAmongThePlannedStandsGetsNoAircraftInHim)
{
    plan();
    userAt(standPosition(5), true); // taxied onto G6 after the plan was made
    liveTickCounter.store(100);
    run(kStands * 50 + 500);
    EXPECT_EQ(m_overlap, "");
    EXPECT_EQ(m_stub->aiObjects().size(), static_cast<std::size_t>(kStands - 1));
    EXPECT_TRUE(logHas("G6      : no static parking for KLM1010, the user aircraft stands here"));
}

TEST_F(StaticParkingInSimulator, theFlushRemovesEveryStaticAircraftOnePerRemovalSlot)
{
    plan();
    liveTickCounter.store(100);
    run(8 * 50 + 10); // some in the simulator, some still on their way
    gf_removeAllStatic();
    staticParkingPlan.clear();
    run(kStands * 10 + 500);
    EXPECT_TRUE(m_stub->aiObjects().empty());
    EXPECT_TRUE(staticAircraft.empty());
    // One removal per 100 ms: two frames of 50 ms each.
    const auto removed = m_stub->removedObjects();
    ASSERT_GE(removed.size(), 4u);
    EXPECT_GE(removed.back().removedFrame - removed.front().removedFrame, 2u * (removed.size() - 2));
}
