// Commands of AI aircraft as the client events they queue, and the stand
// helpers that go with them.

#include "stand_fixture.hpp"
#include "simconnect/sim_ids.hpp"
#include "traffic/ai_commands.hpp"

#include <stdexcept>

using namespace traffictest;

namespace {

using Events = std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>>;

struct AiCommands : StandTest {
    tzo::AircraftRecord a;

    AiCommands()
    {
        a.objectId = 77;
        a.flapsState = 4;
        a.throttleState = 5;
        a.category = tzo::AircraftCategory::Large;
        clearEvents();
    }
    ~AiCommands() override
    {
        clearEvents();
        NAV_LIGHTS_WHILE_PARKED.setValue(NAV_LIGHTS_WHILE_PARKED.defaultValue());
    }
    static void clearEvents()
    {
        std::lock_guard lock(simQueueMutex);
        eventQueue.clear();
    }
    // The events queued since the last call, as (event, value).
    static Events taken()
    {
        std::lock_guard lock(simQueueMutex);
        Events out;
        for (const auto& e : eventQueue)
            out.emplace_back(e.objectId, e.eventId, e.value);
        eventQueue.clear();
        return out;
    }
};

TEST_F(AiCommands, flapsAndThrottleQueueOnlyChanges)
{
    gf_setFlaps(a, 0);
    gf_setFlaps(a, 0);
    gf_setFlaps(a, 2);
    EXPECT_EQ(taken(), (Events{{77, tzo::FLAPS_SET, 0}, {77, tzo::FLAPS_SET, 10240}}));

    a.throttleState = 2;
    gf_setThrottle(a, 5);
    EXPECT_EQ(a.throttleState, 5u);
    EXPECT_TRUE(taken().empty());
    gf_setThrottle(a, 2);
    gf_setThrottle(a, 4);
    EXPECT_EQ(taken(), (Events{{77, tzo::THROTTLE_SET, 8191}, {77, tzo::THROTTLE_SET, 16383}}));
}

TEST_F(AiCommands, spoilersAndGearKeepNoStateAndARotorcraftGetsNoSurfaces)
{
    gf_setSpoilers(a, true);
    gf_setSpoilers(a, true);
    gf_setGear(a, 1);
    EXPECT_EQ(taken(), (Events{{77, tzo::SPOILERS_SET, 16383}, {77, tzo::SPOILERS_SET, 16383}, {77, tzo::GEAR_SET, 1}}));

    a.category = tzo::AircraftCategory::Rotorcraft;
    gf_setSpoilers(a, true);
    gf_setFlaps(a, 1);
    gf_setGear(a, 0);
    EXPECT_TRUE(taken().empty());
    EXPECT_EQ(a.flapsState, 4u);
    gf_setThrottle(a, 3);
    EXPECT_EQ(taken(), (Events{{77, tzo::THROTTLE_SET, 11468}}));
}

TEST_F(AiCommands, statesOutsideTheirTablesQueueNothing)
{
    EXPECT_THROW(gf_setFlaps(a, 5), std::out_of_range);
    EXPECT_THROW(gf_setThrottle(a, 6), std::out_of_range);
    EXPECT_THROW(gf_setThrottle(a, static_cast<std::uint32_t>(-1)), std::out_of_range);
    EXPECT_TRUE(taken().empty());
    EXPECT_EQ(a.flapsState, 4u);
    EXPECT_EQ(a.throttleState, 5u);
}

TEST_F(AiCommands, shutdownAtCargoAndPassengerStands)
{
    // Category, cargo stand, nav setting: the events after throttle and flaps.
    for (const auto& [category, cargo, nav] : {std::tuple{tzo::AircraftCategory::Large, true, false},
                                               {tzo::AircraftCategory::Large, false, true},
                                               {tzo::AircraftCategory::Rotorcraft, false, false}}) {
        a.category = category;
        a.standIsCargo = cargo;
        a.flapsState = 4;
        a.throttleState = 5;
        NAV_LIGHTS_WHILE_PARKED.setValue(nav);
        gf_shutdownAtStand(a);
        Events expected{{77, tzo::THROTTLE_SET, 0}};
        if (category != tzo::AircraftCategory::Rotorcraft)
            expected.emplace_back(77, tzo::FLAPS_SET, 0);
        expected.insert(expected.end(), {{77, tzo::ENGINE_AUTO_SHUTDOWN, 0},
                                         {77, tzo::NAV_LIGHTS_SET, nav ? 1u : 0u},
                                         {77, tzo::BEACON_LIGHTS_SET, 0},
                                         {77, tzo::LANDING_LIGHTS_SET, 0},
                                         {77, tzo::TAXI_LIGHTS_SET, 0},
                                         {77, tzo::STROBES_SET, 0},
                                         {77, tzo::LOGO_LIGHTS_SET, 1},
                                         {77, tzo::CABIN_LIGHTS_SET, cargo ? 0u : 1u}});
        EXPECT_EQ(taken(), expected);
    }
}

TEST_F(AiCommands, standHelpers)
{
    stands.stand("A1", 0, 0).stand("A2", 0, 50).stand("A2", 0, 100).stand("A3", 0, 150).adjacent({1, 9});
    stands.install();
    ASSERT_NE(lf_findStandByName("A2"), nullptr);
    EXPECT_EQ(lf_findStandByName("A2")->id, 2u);
    EXPECT_EQ(lf_findStandByName("a2"), nullptr);
    lf_markAdjacentStands(parkPositions[3]);
    EXPECT_TRUE(parkPositions[3].taken);
    EXPECT_TRUE(parkPositions[0].adjacentBlocked);
    EXPECT_FALSE(parkPositions[1].adjacentBlocked);

    EXPECT_TRUE(lf_passSoftLearningThrottle({2, 46}, 7));
    EXPECT_FALSE(lf_passSoftLearningThrottle({2, 0}, 7)) << "two half-hours later, over midnight";
    EXPECT_TRUE(lf_passSoftLearningThrottle({2, 1}, 7));
    EXPECT_TRUE(lf_passSoftLearningThrottle({2, 1}, 8));
}

} // namespace
