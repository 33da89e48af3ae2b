#pragma once
// The TCP server listening on a free loopback port, the status line and the
// link's upper-layer hooks captured, and the RealTraffic stand-in's TCP side
// at hand.

#include "reader_fixture.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/rt_messages.hpp"
#include "realtraffic/rt_server.hpp"
#include "rtstub/tcp_link.hpp"
#include "simconnect/sim_dispatch.hpp"
#include "simconnect/sim_queues.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

struct RtCapture {
    std::mutex mutex;
    std::vector<std::string> statusLines;
    std::string realTrafficText;
    int statusClears = 0;
    std::atomic<int> drops{0};
};

inline RtCapture* g_rtCapture = nullptr;

inline tzo::UserAircraftState userState(double latitude, double longitude, double pitch = 0.0, double bank = 0.0,
                                        double heading = 0.0, double altitude = 100.0, double groundSpeed = 0.0)
{
    tzo::UserAircraftState state;
    state.latitude = latitude;
    state.longitude = longitude;
    state.pitch = pitch;
    state.bank = bank;
    state.heading = heading;
    state.altitude = altitude;
    state.groundSpeed = groundSpeed;
    return state;
}

struct RtLinkTest : LoggedTest {
    RtCapture capture;
    AppHooks previousAppHooks = gf_appHooks();
    std::uint16_t port = 0;
    // A position away from 0,0 that the tests send.
    tzo::UserAircraftState user = userState(47.5, 8.5, 0.05, -0.1, 1.5, 3500.0, 250.5);

    RtLinkTest()
    {
        g_rtCapture = &capture;
        AppHooks hooks = previousAppHooks;
        hooks.showStatus = [](std::string_view text, bool log) {
            if (log)
                gf_logLine(text);
            std::lock_guard lock(g_rtCapture->mutex);
            g_rtCapture->statusLines.emplace_back(text);
        };
        hooks.clearStatus = [] {
            std::lock_guard lock(g_rtCapture->mutex);
            ++g_rtCapture->statusClears;
        };
        gf_installAppHooks(hooks);
        tzo::RealTrafficHooks rtHooks;
        rtHooks.showRealTrafficText = [](std::string_view text) {
            std::lock_guard lock(g_rtCapture->mutex);
            g_rtCapture->realTrafficText.assign(text);
        };
        rtHooks.dropLiveTraffic = [] { ++g_rtCapture->drops; };
        tzo::gf_installRealTrafficHooks(rtHooks);

        exiting = false;
        rtOnThisPc = true;
        realTrafficConnected = false;
        rtProfessional = false;
        archiveWeek = 7;
        AEROWINX.setValue(false);
        PORT_NUMBER.setValue("0");
        tzo::createServer("0");
        port = tzo::serverPort();
    }

    ~RtLinkTest() override
    {
        tzo::closeServer();
        tzo::gf_installRealTrafficHooks({});
        gf_installAppHooks(previousAppHooks);
        g_rtCapture = nullptr;
        PORT_NUMBER.setValue(PORT_NUMBER.defaultValue());
    }

    rtstub::TcpOptions stubOptions(int level = 1) const
    {
        rtstub::TcpOptions options;
        options.port = port;
        options.level = level;
        return options;
    }

    // A started stand-in, connected through the whole handshake.
    std::unique_ptr<rtstub::TcpLink> connectedStub(int level = 1)
    {
        auto link = std::make_unique<rtstub::TcpLink>(stubOptions(level));
        link->start();
        gf_connectRealTraffic();
        return link;
    }

    std::vector<std::string> statusLines()
    {
        std::lock_guard lock(capture.mutex);
        return capture.statusLines;
    }
    bool statusShown(const std::string& part)
    {
        for (const auto& line : statusLines())
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }
    std::string realTrafficText()
    {
        std::lock_guard lock(capture.mutex);
        return capture.realTrafficText;
    }
    int statusClears()
    {
        std::lock_guard lock(capture.mutex);
        return capture.statusClears;
    }
};

} // namespace testsupport
