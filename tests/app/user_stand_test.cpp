// The stand under the user aircraft, from the simulator stand-in's user state
// through the connection thread to the main window, while the main loop's
// side replaces the park airport's stands; and the stand counters of the
// window's once-a-second refresh.

#include "simconnect/sim_layer_fixture.hpp"

#include "airports/park_positions.hpp"
#include "airports/stand_builder.hpp"
#include "app/main_window.hpp"
#include "app/sim_window_hooks.hpp"
#include "app/stand_window.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/parked_limits.hpp"
#include "traffic/stand_fit.hpp"

#include <thread>

using namespace simtest;
using standtest::at;

namespace {

class UserStand : public SimLayer {
protected:
    void SetUp() override
    {
        m_appHooks = gf_appHooks();
        m_simHooks = gf_simLayerHooks();
        SimLayer::SetUp();
        tzo::gf_installSimWindowHooks();
        mainWindowObject.userStandText.clear();
        userOnGround.store(false);
    }
    void TearDown() override
    {
        SimLayer::TearDown();
        gf_clearParkPositions();
        userOnGround.store(false);
        userOnGroundKnown.store(false);
        mainWindowObject.userStandText.clear();
        gf_installAppHooks(m_appHooks);
        gf_installSimLayerHooks(m_simHooks);
    }

    // The stand-in's user aircraft there, on the ground or in the air, and
    // the program told so: the ground state by a once-a-second answer.
    void placeUser(double northMetres, double eastMetres, bool onGround)
    {
        const tzo::LatLon p = at(northMetres, eastMetres);
        m_stub->setUserVar("Plane Latitude", p.latitude);
        m_stub->setUserVar("Plane Longitude", p.longitude);
        m_stub->setUserVar("SIM ON GROUND", onGround ? 1.0 : 0.0);
        requestUserStateAndWait();
        m_stub->answerSeconds();
        ASSERT_TRUE(testsupport::waitFor([&] { return userOnGroundKnown.load() && userOnGround.load() == onGround; }));
    }
    // The window's stand after the next user state.
    std::string shownStand()
    {
        requestUserStateAndWait();
        return mainWindowObject.userStandText.get();
    }

    void startWithGroundAnswers()
    {
        startQuietStub();
        startAndRegister();
        requestUserOnGroundEachSecond();
    }

    static void installStands(const std::string& prefix)
    {
        standtest::StandBuilder b;
        b.stand(prefix + "1", 0, 0).stand(prefix + "2", 0, 150);
        b.install();
    }

private:
    AppHooks m_appHooks;
    SimLayerHooks m_simHooks;
};

} // namespace

TEST_F(UserStand, theStandUnderTheUserIsShownOnlyOnTheGroundAtAnAirportWithStands)
{
    startWithGroundAnswers();
    installStands("A");
    placeUser(0, 54, true);
    EXPECT_EQ(shownStand(), "A1");
    placeUser(0, 96, true);
    EXPECT_EQ(shownStand(), "A2");
    placeUser(0, 75, true);
    EXPECT_EQ(shownStand(), "") << "more than 55 m from either";

    placeUser(0, 5, false);
    EXPECT_EQ(shownStand(), "") << "in the air";
    placeUser(0, 5, true);
    EXPECT_EQ(shownStand(), "A1");
    gf_clearParkPositions();
    EXPECT_EQ(shownStand(), "") << "no stands";
    EXPECT_EQ(gf_userStandName(), "");
}

TEST_F(UserStand, aReplacedTableAnswersTheNextUserState)
{
    startWithGroundAnswers();
    installStands("A");
    placeUser(0, 3, true);
    EXPECT_EQ(shownStand(), "A1");
    // The user has not moved: the answer kept for this position belongs to
    // the old table.
    installStands("B");
    EXPECT_EQ(shownStand(), "B1");
}

TEST_F(UserStand, replacingTheTableWhileTheConnectionThreadAnswersRunsClean)
{
    simstub::Options options;
    options.secondInterval = std::chrono::milliseconds(1);
    startStub(options);
    startAndRegister();
    requestUserOnGroundEachSecond();
    std::atomic<bool> stop{false};
    std::thread mover([&] {
        // The user taxies past the stands while the answers come.
        for (int i = 0; !stop.load(); ++i) {
            const tzo::LatLon p = at(0, (i % 200) - 20.0);
            m_stub->setUserVar("Plane Latitude", p.latitude);
            m_stub->setUserVar("Plane Longitude", p.longitude);
            gf_requestUserAircraftState();
            std::this_thread::yield();
        }
    });
    // At least 2000 replacements, and on until the stand-in has seen a
    // thousand more packets: requests whose answers met a changing table.
    const std::size_t packetsBefore = m_stub->packetCount();
    for (int i = 0; i < 2000 || (m_stub->packetCount() < packetsBefore + 1000 && i < 2'000'000); ++i) {
        if (i % 3 == 2)
            gf_clearParkPositions();
        else
            installStands(i % 2 ? "A" : "B");
    }
    stop.store(true);
    mover.join();
    installStands("C");
    m_stub->setUserVar("Plane Latitude", at(0, 150).latitude);
    m_stub->setUserVar("Plane Longitude", at(0, 150).longitude);
    ASSERT_TRUE(testsupport::waitFor([] { return userOnGround.load(); }));
    EXPECT_EQ(shownStand(), "C2");
}

TEST(StandCounters, windowTakesTheUpdateCountAndTheMeanParkingTime)
{
    mainWindowObject.resetShownState();
    standUpdateCount.store(3);
    WEEK.setValue(false);
    nowDayHour.store(DayHour{2, 10}.toU64());
    tzo::AircraftRecord parked;
    parked.state = tzo::AircraftState::InSimulator;
    parked.parkedSince = {2, 4};
    staticAircraft.push_back(parked);
    tzo::LiveAircraft live;
    live.state = tzo::AircraftState::InSimulator;
    live.movementPhase = tzo::kPhaseParked;
    live.parkedSince = {2, 6};
    liveAircraft.push_back(live);
    tzo::gf_refreshStandCounters();
    EXPECT_EQ(mainWindowObject.standUpdates.load(), 3u);
    EXPECT_EQ(mainWindowObject.staticAverageFit.load(), 6.0f / 2.0f + 0.5f);
    EXPECT_EQ(mainWindowObject.liveAverageFit.load(), 4.0f / 2.0f + 0.5f);

    liveAircraft.clear();
    liveParkedMeanHours.store(-1.0f);
    staticAircraft.clear();
    standUpdateCount.store(0);
    nowDayHour.store(0);
    staticParkedMeanHours.store(-1.0f);
    mainWindowObject.resetShownState();
}
