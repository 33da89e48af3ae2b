// The simulator layer's messages reach the main window's state.

#include "main_window_fixture.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/settings.hpp"
#include "simconnect/sim_dispatch.hpp"
#include "support/test_support.hpp"

#include <cstring>
#include <vector>

using namespace apptest;

namespace {

void dispatchOpen(const std::string& name, std::uint32_t major)
{
    std::vector<std::uint8_t> m(308, 0);
    const std::uint32_t head[3] = {308, 4, SIMCONNECT_RECV_ID_OPEN};
    std::memcpy(m.data(), head, sizeof head);
    std::memcpy(m.data() + 12, name.data(), name.size());
    const std::uint32_t version[4] = {major, 3, 17, 28};
    std::memcpy(m.data() + 268, version, sizeof version);
    lf_dispatch(reinterpret_cast<SimConnectRecv*>(m.data()), 308, nullptr);
}

} // namespace

TEST_F(MainWindowTest, simulatorStateFromTheDispatchIsShown)
{
    P3D_VERSION.setValue(5);
    SIM_INSTALL_PATH.setValue("");
    dispatchOpen("Lockheed Martin Prepar3D v5", 5);
    EXPECT_TRUE(mainWindowObject.simConnected.load());
    EXPECT_EQ(mainWindowObject.simulatorText.get(), "Lockheed Martin Prepar3D v5 (5.3.17.28)");

    window.setEnabled(SIM_INSTALL_PATH.controlId(), false);
    EXPECT_THROW(dispatchOpen("Lockheed Martin Prepar3D v6", 6), tzo::UserErrorException);
    EXPECT_TRUE(testsupport::waitFor([&] { return window.isEnabled(SIM_INSTALL_PATH.controlId()); }))
        << "the user may correct the install path";
}
