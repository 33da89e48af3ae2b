// End to end: the user aircraft state the simulator stand-in reports reaches
// the RealTraffic stand-in as "Qs121=".

#include "realtraffic/link_state.hpp"
#include "realtraffic/rt_messages.hpp"
#include "realtraffic/rt_server.hpp"
#include "rtstub/tcp_link.hpp"
#include "simconnect/sim_layer_fixture.hpp"

#include <gtest/gtest.h>

#include <numbers>

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
