// End to end: the user aircraft state the simulator stand-in reports reaches
// the RealTraffic stand-in as "Qs121=", however fast and high the user flies.

#include "realtraffic/link_state.hpp"
#include "realtraffic/rt_messages.hpp"
#include "realtraffic/rt_server.hpp"
#include "rtstub/tcp_link.hpp"
#include "simconnect/sim_layer_fixture.hpp"

#include <gtest/gtest.h>

#include <numbers>
#include <tuple>

using namespace tzo;
using testsupport::waitFor;

namespace {

class RealTrafficWithSimulator : public simtest::SimLayer {
protected:
    void SetUp() override
    {
        SimLayer::SetUp();
        exiting = false;
        rtOnThisPc = true;
        createServer("0");
    }
    void TearDown() override
    {
        closeServer();
        SimLayer::TearDown();
    }

    std::unique_ptr<rtstub::TcpLink> connectRealTraffic(int level)
    {
        rtstub::TcpOptions options;
        options.port = serverPort();
        options.level = level;
        auto link = std::make_unique<rtstub::TcpLink>(options);
        link->start();
        gf_connectRealTraffic();
        return link;
    }
};

constexpr double kDegrees = 180.0 / std::numbers::pi;

} // namespace

TEST_F(RealTrafficWithSimulator, positionLinesCarryTheUserStateTheSimulatorReported)
{
    startQuietStub();
    startAndRegister();
    m_stub->setUserVar("Plane Latitude", 47.4581);
    m_stub->setUserVar("Plane Longitude", -8.5555);
    m_stub->setUserVar("Plane Pitch degrees", -0.0523);
    m_stub->setUserVar("Plane Bank degrees", 0.1745);
    m_stub->setUserVar("Plane Heading degrees true", 4.7124);
    m_stub->setUserVar("Plane Altitude", 3500.0);
    m_stub->setUserVar("Ground Velocity", 180.25);
    requestUserStateAndWait();

    auto link = connectRealTraffic(1);
    gf_sendPositionToRealTraffic(gf_receivedUserState());
    ASSERT_TRUE(waitFor([&] { return link->positions().size() == 1; }));
    const auto got = link->positions()[0];
    EXPECT_EQ(got.altitude, 3500000.0) << "3500 ft arrives as 3500000";
    EXPECT_EQ(got.pitch, -5230.0);
    EXPECT_EQ(got.bank, 17450.0);
    EXPECT_NEAR(got.heading, 4.7124, 1e-6);
    EXPECT_EQ(got.groundSpeed, 180250.0);
    EXPECT_NEAR(got.latitude * kDegrees, 47.4581, 1e-4);
    EXPECT_NEAR(got.longitude * kDegrees, -8.5555, 1e-4);
}

// A Concorde at Mach 2, a rocket plane: the user's to fly. Every answer goes
// on to RealTraffic, and slowing down afterwards is no teleport.
TEST_F(RealTrafficWithSimulator, aSupersonicUserIsFollowedAndSlowingDownRestartsNothing)
{
    startQuietStub();
    startAndRegister();
    auto link = connectRealTraffic(1);
    // Northbound, 5 nm or less between answers, but more than 10 nm from
    // the last answer before the fast and high part to the first after it.
    const std::tuple<double, double, double> answers[] = {
        {50.00, 950.0, 45000.0}, {50.09, 1300.0, 65000.0}, {50.18, 1300.0, 65000.0}, {50.26, 950.0, 45000.0}};
    std::size_t sent = 0;
    for (const auto& [latitude, knots, feet] : answers) {
        SCOPED_TRACE(latitude);
        m_stub->setUserVar("Plane Latitude", latitude);
        m_stub->setUserVar("Plane Longitude", 8.0);
        m_stub->setUserVar("Plane Altitude", feet);
        m_stub->setUserVar("Ground Velocity", knots);
        requestUserStateAndWait();
        gf_sendPositionToRealTraffic(gf_receivedUserState());
        ++sent;
        ASSERT_TRUE(waitFor([&] { return link->positions().size() == sent; }));
        const auto got = link->positions().back();
        EXPECT_NEAR(got.latitude * kDegrees, latitude, 1e-4);
        EXPECT_EQ(got.altitude, feet * 1000.0);
        EXPECT_EQ(got.groundSpeed, knots * 1000.0);
    }
    EXPECT_TRUE(exits().empty()) << "slowing down was taken for a teleport";
    EXPECT_FALSE(logHas("Teleport"));
}
