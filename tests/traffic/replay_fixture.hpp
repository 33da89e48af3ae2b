#pragma once
// The live traffic against the simulator stand-in: the traffic world reset
// around the simulator layer; and the recorded Zürich tracks replayed through
// the program into it, with a small livery catalogue, the stand-in started
// and registered.

#include "foundation/paths.hpp"
#include "liveries/liveries_not_created.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_matching.hpp"
#include "liveries/livery_maps.hpp"
#include "liveries/scanned_liveries.hpp"
#include "realtraffic/reader_fixture.hpp"
#include "rtstub/replay.hpp"
#include "simconnect/sim_layer_fixture.hpp"
#include "traffic_fixture.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace traffictest {

constexpr double kReplayStart = 1733720000.0;

class TrafficInSimulator : public simtest::SimLayer {
protected:
    void SetUp() override
    {
        SimLayer::SetUp();
        seedDataBase();
        resetTrafficWorld();
    }
    void TearDown() override
    {
        resetTrafficWorld();
        trafficReader.setUserPosition(0.0, 0.0);
        gf_rangeFromSetting();
        testsupport::clearReferenceData();
        SimLayer::TearDown();
    }
};

class ReplayIntoSimulator : public TrafficInSimulator {
protected:
    testsupport::ScopedEnv appData{"NORVANE_APPDATA", (dir() / "roaming").string()};

    void SetUp() override
    {
        TrafficInSimulator::SetUp();
        for (const char* model : {"A319", "A321"}) {
            g_validModels.insert(model);
            g_largeModels.insert(model);
        }
        gf_initDataFolder();
        std::filesystem::create_directories(g_dataFolder);
        std::filesystem::create_directories(g_outputInfoFolder);
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries = {
            tzo::LiveryData{"AUA", "A320", "Austrian A320", "", 1, false},
            tzo::LiveryData{"AFR", "A319", "Air France A319", "", 1, false},
            tzo::LiveryData{"DLH", "A321", "Lufthansa A321", "", 1, false},
        };
        tzo::gf_processScannedLiveries();
        startQuietStub();
        startAndRegister();
    }
    void TearDown() override
    {
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries.clear();
        TrafficInSimulator::TearDown();
    }
};

// Metres from p to the nearest leg of the recorded track.
inline double metresFromTrack(const std::vector<rtstub::ReplaySample>& track, double lat, double lon)
{
    constexpr double kMetresPerDegree = 111132.95;
    const double east = kMetresPerDegree * std::cos(lat * std::numbers::pi / 180.0);
    double best = 1e12;
    for (std::size_t i = 0; i + 1 < track.size(); ++i) {
        const double ax = (track[i].longitude - lon) * east, ay = (track[i].latitude - lat) * kMetresPerDegree;
        const double bx = (track[i + 1].longitude - lon) * east, by = (track[i + 1].latitude - lat) * kMetresPerDegree;
        const double dx = bx - ax, dy = by - ay;
        const double len = dx * dx + dy * dy;
        const double t = len > 0.0 ? std::clamp(-(ax * dx + ay * dy) / len, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(ax + t * dx, ay + t * dy));
    }
    return best;
}

} // namespace traffictest
