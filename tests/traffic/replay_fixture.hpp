#pragma once
// The live traffic against the simulator stand-in: the traffic world reset
// around the simulator layer; and the recorded Zürich tracks replayed through
// the program into it, with a small livery catalogue, the stand-in started
// and registered.

#include "airports/park_positions.hpp"
#include "foundation/paths.hpp"
#include "foundation/run_state.hpp"
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
#include <functional>
#include <map>
#include <numbers>
#include <vector>

namespace traffictest {

constexpr double kReplayStart = 1733720000.0;

// The models and liveries of the recorded tracks' aircraft.
inline void installReplayLiveries()
{
    for (const char* model : {"A319", "A321"}) {
        g_validModels.insert(model);
        g_largeModels.insert(model);
    }
    tzo::gf_resetLiveryCatalogue();
    tzo::scannedLiveries = {
        tzo::LiveryData{"AUA", "A320", "Austrian A320", "", 1, false},
        tzo::LiveryData{"AFR", "A319", "Air France A319", "", 1, false},
        tzo::LiveryData{"DLH", "A321", "Lufthansa A321", "", 1, false},
    };
    tzo::gf_processScannedLiveries();
}

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
        gf_initDataFolder();
        std::filesystem::create_directories(g_dataFolder);
        std::filesystem::create_directories(g_outputInfoFolder);
        installReplayLiveries();
        startQuietStub(stubOptions());
        startAndRegister();
    }
    // The tests follow each object's positions and events and read the
    // removed objects.
    virtual simstub::Options stubOptions() const
    {
        simstub::Options options;
        options.keepHistory = true;
        return options;
    }
    void TearDown() override
    {
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries.clear();
        TrafficInSimulator::TearDown();
    }
};

// The park airport at LSZH, on the stand-in's ground, with the user's
// aircraft on the ground there (or where a test puts it), the flight
// running; taken away again at the end. Replays run through the program's
// traffic reader and live traffic tick by tick, faster than real time.
class ReplayAtParkAirport : public ReplayIntoSimulator {
protected:
    static constexpr double kParkLatitude = 47.4647;
    static constexpr double kParkLongitude = 8.5492;
    static constexpr double kParkElevation = 1416.0; // the stand-in's ground there

    void TearDown() override
    {
        gf_setParkPositions({});
        parkAirportActive.store(false);
        parkAirportCode.set("");
        parkAirportElevationFt.store(kNoParkAirportElevation);
        userOnGround.store(false);
        LOG.setValue(LOG.defaultValue());
        ReplayIntoSimulator::TearDown();
    }

    void parkAtLszh(double userLatitude = kParkLatitude, double userLongitude = kParkLongitude)
    {
        placeUserAndWait(userLatitude, userLongitude, m_stub->groundAltitudeAt(userLatitude, userLongitude));
        liveTickCounter.store(100);
        gf_liveTraffic();
        userOnGround.store(true);
        trafficReader.setUserPosition(userAircraft.latitude, userAircraft.longitude);
        gf_storeRange(40.0);
        trafficReader.setParkAirport(kParkLatitude, kParkLongitude);
        trafficReader.setParkAirportElevation(kParkElevation);
        parkAirportCode.set("LSZH");
        parkAirportPosition.latitude.store(kParkLatitude);
        parkAirportPosition.longitude.store(kParkLongitude);
        parkAirportElevationFt.store(kParkElevation);
        parkAirportActive.store(true);
        gf_setFlightRunning(true);
    }

    // The program's ticks at the stand-in's frames.
    struct FlownReplay {
        std::uint32_t first = 0;
        std::map<std::uint64_t, std::uint32_t> tickOfFrame;

        // The tick at which a position recorded in that frame was sent.
        std::uint32_t tickAt(std::uint64_t frame) const
        {
            const auto it = tickOfFrame.upper_bound(frame);
            return it == tickOfFrame.begin() ? first : std::prev(it)->second;
        }
        // The tick at which a line sent at that offset (seconds) is due.
        std::uint32_t dueTick(double offsetSeconds) const
        {
            return first + static_cast<std::uint32_t>(std::ceil(offsetSeconds) * 100.0) + tzo::kRecordLifeTicks;
        }
    };

    // Sends the lines through the traffic reader, one replay second per 100
    // ticks of the live traffic, with a stand-in frame every 20 ticks, until
    // every line is sent and finished() holds, or maxTicks have run.
    FlownReplay flyReplay(const std::vector<rtstub::ReplayLine>& lines, std::uint32_t maxTicks,
                          const std::function<bool()>& finished)
    {
        FlownReplay flown;
        trafficReader.clearStop();
        trafficReader.resetTimestamp();
        testsupport::RunningReader reader(trafficReader, true);
        EXPECT_TRUE(reader.started);
        rtstub::RtStub rt(reader.port(), 0);
        rtstub::SteppedReplay replay(rt, lines);
        flown.first = liveTickCounter.load();
        for (std::uint32_t n = 0; n < maxTicks; ++n) {
            const std::uint32_t tick = liveTickCounter.load();
            if (tick % 100 == 0 && replay.sendUntil((tick - flown.first) / 100.0) > 0) {
                const double last = kReplayStart + lines[replay.sent() - 1].offsetSeconds;
                if (!testsupport::waitFor([&] { return trafficReader.timestamp() >= last; })) {
                    ADD_FAILURE() << "lines to " << replay.sent() << " never read";
                    break;
                }
            }
            gf_liveTraffic();
            if (tick % 20 == 0) {
                frameAndSettle();
                flown.tickOfFrame[m_stub->frameNumber()] = tick;
                if (replay.done() && finished())
                    break;
            }
        }
        reader.stop();
        return flown;
    }

    // Every object the run made, removed or not, by its tail number.
    std::map<std::string, simstub::SimObjectState> objectsByCallsign() const
    {
        std::map<std::string, simstub::SimObjectState> objects;
        for (const auto& o : m_stub->removedObjects())
            objects.emplace(o.atcId, o);
        for (const auto& o : m_stub->aiObjects())
            objects.emplace(o.atcId, o);
        return objects;
    }
};

// The leg of the recorded track nearest to a position: it runs from sample
// index to the next, the position lies at share t of it, metres beside it.
struct NearestLeg {
    std::size_t index = 0;
    double t = 0.0;
    double metres = 1e12;
};

inline NearestLeg nearestLeg(const std::vector<rtstub::ReplaySample>& track, double lat, double lon)
{
    constexpr double kMetresPerDegree = 111132.95;
    const double east = kMetresPerDegree * std::cos(lat * std::numbers::pi / 180.0);
    NearestLeg best;
    for (std::size_t i = 0; i + 1 < track.size(); ++i) {
        const double ax = (track[i].longitude - lon) * east, ay = (track[i].latitude - lat) * kMetresPerDegree;
        const double bx = (track[i + 1].longitude - lon) * east, by = (track[i + 1].latitude - lat) * kMetresPerDegree;
        const double dx = bx - ax, dy = by - ay;
        const double len = dx * dx + dy * dy;
        const double t = len > 0.0 ? std::clamp(-(ax * dx + ay * dy) / len, 0.0, 1.0) : 0.0;
        const double d = std::hypot(ax + t * dx, ay + t * dy);
        if (d < best.metres)
            best = {i, t, d};
    }
    return best;
}

// Metres from p to the nearest leg of the recorded track.
inline double metresFromTrack(const std::vector<rtstub::ReplaySample>& track, double lat, double lon)
{
    return nearestLeg(track, lat, lon).metres;
}

inline double metres(const simstub::SimObjectState::Position& a, const simstub::SimObjectState::Position& b)
{
    return gf_greatCircleDistanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude}) * 1852.0;
}

// The recorded altitude's median over 15 s around each sample: the
// recording's spikes are no part of the flight.
inline std::vector<double> runningMedian(const std::vector<rtstub::ReplaySample>& r)
{
    std::vector<double> out;
    for (std::size_t i = 0; i < r.size(); ++i) {
        std::vector<double> w;
        for (std::size_t j = i >= 7 ? i - 7 : 0; j < std::min(r.size(), i + 8); ++j)
            w.push_back(r[j].altitudeFt);
        std::nth_element(w.begin(), w.begin() + static_cast<std::ptrdiff_t>(w.size() / 2), w.end());
        out.push_back(w[w.size() / 2]);
    }
    return out;
}

} // namespace traffictest
