// Nobody stands in anybody: neighbours of a stand, static aircraft in a
// moving live aircraft's way, and the user's aircraft in the air and on the
// ground.

#include "static_fixture.hpp"
#include "traffic/collisions.hpp"
#include "traffic/new_aircraft.hpp"

#include <numbers>

using namespace traffictest;
using standtest::at;
using tzo::AircraftState;

namespace {

constexpr double kFeetPerNm = 6076.11549;
std::string g_reserved;

struct Collisions : StaticTest {
    Collisions()
    {
        stands.stand("B1", 0, 0, 18).adjacent({2});
        stands.stand("B2", 0, 30, 18).adjacent({1});
        stands.install();
        LOG.setValue(true);
    }
    ~Collisions() override
    {
        gf_setReservedStandSource(nullptr);
        g_reserved.clear();
        gf_resetUserCollisionMark();
    }
    tzo::LiveAircraft newcomer(const char* callsign, double halfSpanMetres)
    {
        tzo::LiveAircraft a = parkLive(0, callsign, halfSpanMetres, tzo::kPhaseNew);
        liveAircraft.pop_back();
        return a;
    }
    // The user at a point north and east (metres) of the stands.
    static void userAt(tzo::LatLon p, double heading, double altitude, double aboveGround)
    {
        userAircraft.latitude = p.latitude;
        userAircraft.longitude = p.longitude;
        userAircraft.heading = heading;
        userAircraft.altitude = altitude;
        userAircraft.altitudeAboveGround = aboveGround;
    }
};

} // namespace

TEST_F(Collisions, aParkedNeighbourBlocksANewcomerOnlyWhenTheirSpansOverlap)
{
    parkLive(2, "SWR1", 18.0);
    EXPECT_TRUE(lf_isBlockedByAdjacentLive(newcomer("KLM1", 18.0), *gf_standById(1))); // 18 + 18 > 30
    liveAircraft[0].radius = tzo::gf_metresToNm(12.0);
    EXPECT_FALSE(lf_isBlockedByAdjacentLive(newcomer("KLM1", 12.0), *gf_standById(1)));
    EXPECT_NE(log().find("stays, while live KLM1 at adjacent"), std::string::npos);
    liveAircraft[0].radius = tzo::gf_metresToNm(18.0);
    EXPECT_FALSE(lf_isBlockedByAdjacentLive(newcomer("SWR1", 18.0), *gf_standById(1))); // its own callsign
}

TEST_F(Collisions, aTaxiingAircraftEnteringTheStandRemovesTheTouchingNeighbour)
{
    parkLive(2, "SWR1", 18.0);
    tzo::LiveAircraft& taxi = parkLive(0, "KLM1", 18.0, tzo::kPhaseGround);
    const tzo::LiveAircraft& parked = liveAircraft[0];
    const tzo::LatLon b1 = at(0, 2);
    taxi.samples.assign(2, tzo::TrackSample{b1.latitude, b1.longitude});
    ASSERT_TRUE(gf_taxiIntoStand(taxi, false));
    EXPECT_EQ(taxi.standId, 1u);
    EXPECT_EQ(taxi.movementPhase, tzo::kPhaseToStand);
    EXPECT_TRUE(gf_standById(1)->occupied);
    // Its way in: one sample at the stand, then standing there.
    ASSERT_EQ(taxi.samples.size(), 3u);
    EXPECT_TRUE(taxi.samples[2].stationary);
    EXPECT_EQ(parked.state, AircraftState::BeingRemoved);
    EXPECT_FALSE(gf_taxiIntoStand(taxi, false)); // the same newest sample is not tested again
}

// A stand that learns a larger aircraft's size touches stands it did not
// touch before: the static aircraft there that the newcomer would touch goes,
// and static parking sees the new neighbour.
TEST_F(Collisions, aStandThatGrowsClearsItsNewNeighbours)
{
    stands = standtest::StandBuilder();
    stands.stand("C1", 0, 0, 20).stand("C2", 0, 45, 20);
    stands.install(true);
    ASSERT_TRUE(gf_standById(2)->adjacent.empty()); // 20 + 20 <= 1.1 x 45
    parkStatic(2, "KLM2");                          // 18 m half span
    const tzo::LiveAircraft b744 = newcomer("SWR1", 32.0);
    const tzo::LatLon p = at(0, 10);
    tzo::ParkPos* stand = lf_findStandForAircraft(p.latitude, p.longitude, b744, tzo::kStandUnderAircraftNm, false);
    ASSERT_EQ(stand, gf_standById(1));
    gf_clearStandForLive(b744, *stand);
    EXPECT_EQ(staticAircraft[0].state, AircraftState::BeingRemoved); // 32 + 18 > 45
    EXPECT_EQ(gf_standById(2)->adjacent, std::vector<std::uint32_t>{1});
}

TEST_F(Collisions, aTaxiingAircraftNeverTakesTheReservedStand)
{
    gf_setReservedStandSource([] { return g_reserved; });
    g_reserved = "B1";
    tzo::LiveAircraft& taxi = parkLive(0, "KLM1", 18.0, tzo::kPhaseGround);
    const tzo::LatLon b1 = at(0, 1);
    taxi.samples.assign(1, tzo::TrackSample{b1.latitude, b1.longitude});
    EXPECT_FALSE(gf_taxiIntoStand(taxi, true));
    EXPECT_EQ(taxi.standId, 0u);
}

TEST_F(Collisions, aStaticAircraftInATaxiingAircraftsWayGoes)
{
    tzo::AircraftRecord& s = parkStatic(1, "KLM1");
    tzo::LiveAircraft taxi = newcomer("SWR9", 18.0);
    const tzo::LatLon near = at(0, 39); // 39 m < (18 + 18) x 1.1
    taxi.latitude = near.latitude;
    taxi.longitude = near.longitude;
    taxi.towed = true;
    EXPECT_FALSE(gf_avoidCollisionWithLive(taxi, s));
    taxi.towed = false;
    EXPECT_TRUE(gf_avoidCollisionWithLive(taxi, s));
    EXPECT_EQ(s.state, AircraftState::BeingRemoved);
    EXPECT_NE(log().find("removed for collision avoidance with live SWR9"), std::string::npos);
}

TEST_F(Collisions, theAirborneUserIsThreatenedOnlyWithinTheLimits)
{
    const double toRad = std::numbers::pi / 180.0;
    // On the runway ahead: 0.8 nm north, 40 ft beside the user's heading line.
    tzo::LiveAircraft& ground = parkLive(0, "GND1", 18.0, tzo::kPhaseGround);
    const tzo::LatLon runway = at(0.8 * 1852.0, 40.0 / kFeetPerNm * 1852.0);
    ground.latitude = runway.latitude;
    ground.longitude = runway.longitude;
    userAt(at(0, 0), 0.0, 2000.0, 600.0);
    EXPECT_FALSE(gf_avoidUserCollisionAir(ground));
    userAt(at(0, 0), 0.0, 2000.0, 400.0);
    EXPECT_TRUE(gf_avoidUserCollisionAir(ground));

    // Flying west 3 nm north of the user, on a track passing 650 ft from him.
    tzo::LiveAircraft& air = parkLive(0, "AIR1", 18.0, tzo::kPhaseFlight);
    air.onGround = false;
    const double lateralNm = 650.0 / kFeetPerNm;
    const tzo::LatLon p = at(lateralNm * 1852.0, std::sqrt(9.0 - lateralNm * lateralNm) * 1852.0);
    air.latitude = p.latitude;
    air.longitude = p.longitude;
    air.heading = 270.0 * toRad;
    userAt(at(0, 0), 0.0, 5000.0, 4000.0);
    air.altitude = 6000.0;
    EXPECT_FALSE(gf_avoidUserCollisionAir(air));
    air.altitude = 5900.0;
    EXPECT_TRUE(gf_avoidUserCollisionAir(air));
}

TEST_F(Collisions, theUserStandingStillTestsStaticAircraftOnce)
{
    parkStatic(1, "KLM1");
    userAt(at(100, 0), 0.0, 1400.0, 0.0);
    gf_avoidUserCollisionGround();
    // Moved onto the stand: the static aircraft there goes.
    userAt(at(0, 0), 0.0, 1400.0, 0.0);
    staticAircraft[0].state = AircraftState::InSimulator;
    gf_avoidUserCollisionGround();
    EXPECT_EQ(staticAircraft[0].state, AircraftState::BeingRemoved);
    // Standing still: a static aircraft appearing beside him is not tested again.
    staticAircraft[0].state = AircraftState::InSimulator;
    gf_avoidUserCollisionGround();
    EXPECT_EQ(staticAircraft[0].state, AircraftState::InSimulator);
}
