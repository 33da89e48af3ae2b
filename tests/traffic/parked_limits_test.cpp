// The park limit over live and static parked aircraft, live aircraft parked
// too long, and the stayers the renewal is given.

#include "static_fixture.hpp"
#include "traffic/parked_limits.hpp"

#include <chrono>

using namespace traffictest;
using tzo::AircraftState;

namespace {

std::int64_t minutesAgo(int minutes)
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count() / 100;
    return now - static_cast<std::int64_t>(minutes) * 600'000'000;
}

struct Limits : StaticTest {
    Limits()
    {
        for (int i = 0; i < 12; ++i)
            stands.stand("S" + std::to_string(i + 1), 0, 100.0 * i);
        stands.install();
        nowDayHour.store(DayHour{3, 20}.toU64());
        wantedParkedShown.store(10);
    }
    ~Limits() override { wantedParkedShown.store(0); }
    tzo::LiveAircraft& liveParkedFor(std::uint32_t standId, int minutes)
    {
        tzo::LiveAircraft& a = parkLive(standId, "LIVE" + std::to_string(standId));
        a.atStandTime = minutesAgo(minutes);
        return a;
    }
    tzo::AircraftRecord& staticPlacedAt(std::uint32_t standId, DayHour placed,
                                        AircraftState state = AircraftState::InSimulator)
    {
        tzo::AircraftRecord& s = parkStatic(standId, "STAT" + std::to_string(standId), state);
        s.parkedSince = placed;
        return s;
    }
    static int removed(const auto& table)
    {
        return static_cast<int>(std::count_if(table.begin(), table.end(), [](const auto& a) {
            return a.state == AircraftState::BeingRemoved;
        }));
    }
};

} // namespace

TEST_F(Limits, aFullParkLosesTheLiveAircraftParkedLongest)
{
    for (std::uint32_t id = 1; id <= 10; ++id)
        liveParkedFor(id, id == 4 ? 80 : 10);
    gf_limitParked(true);
    EXPECT_EQ(removed(liveAircraft), 1);
    EXPECT_EQ(liveAircraft[3].state, AircraftState::BeingRemoved);
    EXPECT_NE(log().find("S4: LIVE4    max park exceeded, removed"), std::string::npos);
}

TEST_F(Limits, theEarliestPlacedStaticInTheSimulatorGoesNeverOneWithoutObjectOrLeaving)
{
    for (std::uint32_t id = 1; id <= 4; ++id)
        liveParkedFor(id, 10);
    staticPlacedAt(5, {2, 47}, AircraftState::CreateRequested); // earliest, but no object yet
    staticPlacedAt(6, {3, 1}, AircraftState::BeingRemoved);
    staticPlacedAt(7, {7, 40}); // last Sunday: placed earliest of those in the simulator
    for (std::uint32_t id = 8; id <= 11; ++id)
        staticPlacedAt(id, {3, 10});
    gf_limitParked(true); // 4 + 1 live within 10; 5 + 4 + 1 statics and live above it
    EXPECT_EQ(removed(liveAircraft), 0);
    EXPECT_EQ(removed(staticAircraft), 2);
    const auto seven = std::find_if(staticAircraft.begin(), staticAircraft.end(),
                                    [](const auto& s) { return s.standId == 7; });
    EXPECT_EQ(seven->state, AircraftState::BeingRemoved);
    const auto five = std::find_if(staticAircraft.begin(), staticAircraft.end(),
                                   [](const auto& s) { return s.standId == 5; });
    EXPECT_EQ(five->state, AircraftState::CreateRequested);
}

TEST_F(Limits, initialLoadOnlyKeepsLiveAircraftButStillLimitsStatic)
{
    INITIAL_LOAD_ONLY.setValue(true);
    for (std::uint32_t id = 1; id <= 10; ++id)
        liveParkedFor(id, 200);
    staticPlacedAt(11, {3, 1});
    gf_limitParked(true);
    EXPECT_EQ(removed(liveAircraft), 0);
    EXPECT_EQ(removed(staticAircraft), 1);
    std::vector<tzo::LiveStayer> stayers;
    lf_collectLiveStayers(stayers);
    EXPECT_EQ(stayers.size(), 10u);
    EXPECT_EQ(removed(liveAircraft), 0);
}

TEST_F(Limits, stayersOverstayingAreRemovedByCategoryAndApproachingOnesListedAtZero)
{
    liveParkedFor(1, 150).category = tzo::AircraftCategory::Heavy;
    liveParkedFor(2, 91);
    liveParkedFor(3, 30);
    tzo::LiveAircraft& moving = liveParkedFor(4, 500);
    moving.standApproach = true;
    std::vector<tzo::LiveStayer> stayers;
    lf_collectLiveStayers(stayers);
    ASSERT_EQ(stayers.size(), 3u);
    EXPECT_EQ(stayers[0].callsign, "LIVE4");
    EXPECT_EQ(stayers[0].minutesParked, 0);
    EXPECT_EQ(stayers[1].callsign, "LIVE3");
    EXPECT_EQ(stayers[2].callsign, "LIVE1");
    EXPECT_EQ(liveAircraft[1].state, AircraftState::BeingRemoved);
    EXPECT_EQ(removed(liveAircraft), 1);
}

TEST_F(Limits, removingStayersTakesTheLongestParkedAndNothingForNoneOrLess)
{
    liveParkedFor(1, 10);
    liveParkedFor(2, 60);
    liveParkedFor(3, 30);
    lf_removeLiveStayers(0);
    lf_removeLiveStayers(-2);
    EXPECT_EQ(removed(liveAircraft), 0);
    lf_removeLiveStayers(2);
    EXPECT_EQ(liveAircraft[1].state, AircraftState::BeingRemoved);
    EXPECT_EQ(liveAircraft[2].state, AircraftState::BeingRemoved);
    EXPECT_EQ(liveAircraft[0].state, AircraftState::InSimulator);
    EXPECT_EQ(gf_countLiveParked(false), 1);
}
