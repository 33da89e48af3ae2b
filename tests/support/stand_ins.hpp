#pragma once
// What the tests that run the whole program need of the RealTraffic stand-in:
// its TCP side and the recorded traffic.
// Header-only: only test programs linking the stand-in include it.

#include "rtstub/replay.hpp"
#include "rtstub/rtstub.hpp"
#include "rtstub/tcp_link.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

namespace testsupport {

// RealTraffic's TCP side as the professional edition, connecting to port.
inline std::unique_ptr<rtstub::TcpLink> startProfessionalLink(std::uint16_t port)
{
    using namespace std::chrono_literals;
    rtstub::TcpOptions options;
    options.port = port;
    options.level = 2;
    options.retryInterval = 50ms;
    auto link = std::make_unique<rtstub::TcpLink>(options);
    link->start();
    return link;
}

// Replays the three recorded Zürich tracks, each round after a QNH datagram,
// at speed until stop is set.
inline void replayRecordedTracksUntil(std::uint16_t trafficPort, std::uint16_t qnhPort, double speed,
                                      std::atomic<bool>& stop)
{
    using namespace std::chrono_literals;
    std::vector<rtstub::ReplayTrack> tracks;
    for (const auto& file : rtstub::defaultReplayFiles())
        tracks.push_back(rtstub::loadReplayTrack(file));
    rtstub::RtStub stub(trafficPort, qnhPort);
    while (!stop.load()) {
        try {
            stub.sendQnh(1020);
            rtstub::replay(stub, rtstub::replayLines(tracks, rtstub::nowSeconds()), speed, stop);
        } catch (const std::exception&) {
            // Nobody listens yet: a datagram refused on loopback; go on.
            std::this_thread::sleep_for(50ms);
        }
    }
}

} // namespace testsupport
