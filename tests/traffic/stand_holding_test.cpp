// One truth for who holds which stand: a stand is occupied exactly while a
// live aircraft moves into it or stands at it, whatever way the aircraft
// then gives it up.

#include "static_fixture.hpp"
#include "traffic/collisions.hpp"
#include "traffic/ground_movement.hpp"
#include "traffic/removal.hpp"
#include "traffic/stand_arrival.hpp"

using namespace traffictest;
using standtest::at;
using tzo::AircraftState;
using tzo::LiveAircraft;
using tzo::TrackSample;

namespace {

struct StandHolding : StaticTest {
    StandHolding()
    {
        stands.stand("A1", 0, 0, 20).stand("A2", 0, 200, 20);
        stands.install();
    }

    // A live aircraft in the simulator that came to rest at the stand and
    // took it on its way in.
    LiveAircraft& taxiedInto(std::uint32_t standId, std::string callsign)
    {
        LiveAircraft& a = parkLive(0, std::move(callsign), 17.0, tzo::kPhaseGround);
        a.previousPhase = tzo::kPhaseGround;
        moveTo(a, *gf_standById(standId));
        EXPECT_TRUE(gf_taxiIntoStand(a, true));
        return a;
    }
    static void moveTo(LiveAircraft& a, const tzo::ParkPos& stand, double northMetres = 0.0)
    {
        const tzo::LatLon p{stand.latitude + northMetres / (1852.0 * 60.0), stand.longitude};
        a.latitude = p.latitude;
        a.longitude = p.longitude;
        TrackSample s;
        s.latitude = p.latitude;
        s.longitude = p.longitude;
        s.stationary = true;
        a.samples.assign(1, s);
    }
    static std::vector<bool> occupied()
    {
        std::vector<bool> flags;
        for (const tzo::ParkPos& s : parkPositions)
            flags.push_back(s.occupied);
        return flags;
    }
};

TEST_F(StandHolding, everyWayOfGivingUpAStandFreesIt)
{
    struct Case {
        const char* what;
        void (*giveUp)(LiveAircraft&);
        std::vector<bool> occupied;
    };
    const Case cases[] = {
        {"a report 100 m away ends its way in",
         [](LiveAircraft& a) {
             TrackSample s = a.samples.back();
             const tzo::LatLon p = at(100, 0);
             s.latitude = p.latitude;
             s.longitude = p.longitude;
             s.stationary = false;
             s.groundSpeed = 10.0;
             s.dueTick += 500;
             gf_addSample(a, s);
         },
         {false, false}},
        {"it misses its stand by 2.1 m",
         [](LiveAircraft& a) {
             moveTo(a, *gf_standById(1), 2.1);
             lf_arriveAtStand(a);
         },
         {false, false}},
        {"it takes another stand on its way",
         [](LiveAircraft& a) {
             moveTo(a, *gf_standById(2));
             gf_taxiIntoStand(a, true);
         },
         {false, true}},
        {"it parks and pulls out",
         [](LiveAircraft& a) {
             moveTo(a, *gf_standById(1));
             lf_arriveAtStand(a);
             lf_pullOut(a);
         },
         {false, false}},
        {"it parks and is pushed back",
         [](LiveAircraft& a) {
             moveTo(a, *gf_standById(1));
             lf_arriveAtStand(a);
             lf_pushBack(a);
         },
         {false, false}},
        {"it is removed", [](LiveAircraft& a) { gf_removeAircraft(a); }, {false, false}},
        {"it parks and stays",
         [](LiveAircraft& a) {
             moveTo(a, *gf_standById(1));
             lf_arriveAtStand(a);
         },
         {true, false}},
    };
    for (const Case& c : cases) {
        liveAircraft.clear();
        stands.install();
        LiveAircraft& a = taxiedInto(1, "SWR1");
        ASSERT_EQ(a.movementPhase, tzo::kPhaseToStand) << c.what;
        ASSERT_EQ(occupied(), (std::vector<bool>{true, false})) << c.what;
        c.giveUp(a);
        EXPECT_EQ(occupied(), c.occupied) << c.what;
    }
}

TEST_F(StandHolding, anAircraftThatLeftItsStandLeavesItToTheNextWhenItGoes)
{
    LiveAircraft& first = taxiedInto(1, "SWR1");
    moveTo(first, *gf_standById(1));
    lf_arriveAtStand(first);
    lf_pullOut(first);
    const std::uint32_t firstId = first.recordId;
    taxiedInto(1, "SWR2");
    ASSERT_TRUE(gf_standById(1)->occupied);
    gf_removeAircraft(*gf_findLiveAircraft(firstId));
    EXPECT_TRUE(gf_standById(1)->occupied);
}

} // namespace
