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
#include "realtraffic/reader_fixture.hpp"
#include "realtraffic/readers.hpp"
#include "rtstub/rtstub.hpp"
#include "rtstub/traffic_line_builder.hpp"
#include "refdata/dbase_file.hpp"
#include "refdata/dbase_lookups.hpp"
#include "traffic/collisions.hpp"
#include "traffic/duplicates.hpp"
#include "traffic/removal.hpp"
#include "traffic/replay_fixture.hpp"
#include "traffic/static_placement.hpp"

#include <cmath>
#include <map>

using testsupport::waitFor;

namespace {

constexpr int kStands = 12;     // with learned use
constexpr int kFreeStands = 3;  // never planned: no learned use
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
    for (int i = kStands; i < kStands + kFreeStands; ++i) {
        const tzo::LatLon p = standPosition(i);
        text += fmt::format("<parkpos id=\"G{}\" latitude=\"{:.6f}\" longitude=\"{:.6f}\" heading=\"0.0\" "
                            "radius=\"20.0\"/>",
                            i + 1, p.latitude, p.longitude);
    }
    return text + "</parkpositions>";
}

class StaticParkingInSimulator : public traffictest::TrafficInSimulator {
protected:
    std::map<std::uint32_t, std::uint32_t> m_handedAtTick; // record id, tick handed to the simulator
    std::string m_overlap;
    bool m_perSecond = false;

    void SetUp() override
    {
        TrafficInSimulator::SetUp();
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
        parkAirportPosition.latitude.store(kLatitude);
        parkAirportPosition.longitude.store(kLongitude);
        std::uint64_t quality = 0;
        ASSERT_EQ(gf_readApf("airports/archive/stock/TEST.xml", quality), "");
        ASSERT_EQ(parkPositions.size(), static_cast<std::size_t>(kStands + kFreeStands));

        // The tests read the objects the program removed.
        simstub::Options options;
        options.keepHistory = true;
        startQuietStub(options);
        startAndRegister();
        // The user 2 km north, on the ground.
        userAt({kLatitude + 2000.0 / 1852.0 / 60.0, kLongitude}, true);
    }
    void TearDown() override
    {
        gf_clearParkPositions();
        gf_clearParkAirportState();
        parkAirportActive.store(false);
        staticParkingBusy.store(false);
        CUSTOM_PARKING_PERCENTAGE.setValue(CUSTOM_PARKING_PERCENTAGE.defaultValue());
        parking_percentage.setValue(parking_percentage.defaultValue());
        RANDOM.setValue(true);
        userOnGround.store(false);
        nowDayHour.store(0);
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries.clear();
        TrafficInSimulator::TearDown();
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
            if (m_perSecond && tick % 100 == 0)
                perSecond();
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

    // The main loop's work once a second on the traffic tables: the static
    // twin of one arrival, and static aircraft in the way of taxiing ones.
    static void perSecond()
    {
        while (!newLiveIds.empty()) {
            const std::uint32_t id = newLiveIds.front();
            newLiveIds.pop_front();
            tzo::LiveAircraft* live = gf_findLiveAircraft(id);
            if (live == nullptr || live->callsign.empty())
                continue;
            const std::string stem = live->callsign.substr(0, live->callsign.size() - 1);
            for (auto& parked : staticAircraft)
                if (gf_removeStaticDuplicate(*live, stem, live->onGround, parked)) {
                    gf_removeAircraft(parked);
                    break;
                }
            break;
        }
        for (auto& live : liveAircraft) {
            if (!live.onGround || (live.movementPhase != tzo::kPhaseGround && live.movementPhase != tzo::kPhaseToStand))
                continue;
            for (auto& parked : staticAircraft)
                if (gf_avoidCollisionWithLive(live, parked))
                    break;
        }
    }

    void fill()
    {
        plan();
        liveTickCounter.store(100);
        run(kStands * 50 + 500);
        ASSERT_EQ(m_stub->aiObjects().size(), static_cast<std::size_t>(kStands));
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
    fill();

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

TEST_F(StaticParkingInSimulator, liveTwinsFromRealTrafficRemoveTheirStaticAircraft)
{
    fill();
    trafficReader.setUserPosition(userAircraft.latitude, userAircraft.longitude);
    trafficReader.setParkAirport(kLatitude, kLongitude);
    trafficReader.setParkAirportElevation(1400.0);
    gf_setFlightRunning(true);
    gf_resetTrafficInput(); // an earlier test may have stopped the reader
    testsupport::RunningReader reader(trafficReader, true);
    ASSERT_TRUE(reader.started);
    rtstub::RtStub rt(reader.port(), 0);
    // Parked at the free stands: KLM1003 flies G2's couple, KLM1000_
    // is a ghost of G1's first flight, BAW77 twins nobody (the static
    // aircraft have no registrations, which never match).
    const struct {
        std::uint32_t hexid;
        const char* callsign;
        const char* registration;
    } flights[] = {{4734977, "KLM1003", "PH-BXA"}, {4734978, "KLM1000_", "PH-BXB"}, {4194423, "BAW77", "G-EUUA"}};
    const double now = rtstub::nowSeconds();
    m_perSecond = true;
    for (int second = 0; second < 45; ++second) {
        for (std::size_t i = 0; i < std::size(flights); ++i) {
            rtstub::TrafficLine line = rtstub::TrafficLine::onGround();
            line.set(rtstub::kHexid, std::to_string(flights[i].hexid))
                .set(rtstub::kCallsign, flights[i].callsign)
                .set(rtstub::kType, "A320")
                .set(rtstub::kRegistration, flights[i].registration)
                .set(rtstub::kLatitude, standPosition(kStands + static_cast<int>(i)).latitude)
                .set(rtstub::kLongitude, standPosition(kStands + static_cast<int>(i)).longitude)
                .set(rtstub::kAltitude, "1400")
                .set(rtstub::kGroundSpeed, "0")
                .set(rtstub::kTimestamp, now + 2.0 * second);
            rt.sendTrafficLine(line);
        }
        ASSERT_TRUE(waitFor([&] { return trafficReader.timestamp() >= now + 2.0 * second; }));
        run(100);
    }
    reader.stop();
    const auto objects = m_stub->aiObjects();
    const auto removed = m_stub->removedObjects();
    std::vector<std::string> removedCallsigns;
    for (const auto& o : removed)
        removedCallsigns.push_back(o.atcId);
    std::sort(removedCallsigns.begin(), removedCallsigns.end());
    EXPECT_EQ(removedCallsigns, (std::vector<std::string>{"KLM1000*", "KLM1002*"})) << log();
    EXPECT_EQ(objects.size(), static_cast<std::size_t>(kStands - 2 + 3));
    EXPECT_EQ(m_overlap, "");
}

TEST_F(StaticParkingInSimulator, aStaticAircraftInATaxiingLiveAircraftsWayGoesWithinASecond)
{
    fill();
    m_perSecond = true;
    tzo::LiveAircraft taxi;
    taxi.callsign = "SWR300";
    taxi.model = "A320";
    taxi.radius = gf_wingspanOf("A320");
    taxi.recordId = 0x4b0001;
    taxi.objectId = 9999; // not in the stand-in: it only blocks the way
    taxi.state = tzo::AircraftState::InSimulator;
    taxi.movementPhase = tzo::kPhaseGround;
    taxi.onGround = true;
    const tzo::LatLon g7 = standPosition(6);
    taxi.latitude = g7.latitude - 30.0 / 1852.0 / 60.0; // 30 m in front of G7
    taxi.longitude = g7.longitude;
    liveAircraft.push_back(taxi);
    const std::uint64_t frame = m_stub->frameNumber();
    run(100);
    const auto removed = m_stub->removedObjects();
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].atcId, "KLM1012*");
    EXPECT_LE(removed[0].removedFrame - frame, 22u) << "within about a second";
}
