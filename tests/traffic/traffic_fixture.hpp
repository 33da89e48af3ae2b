#pragma once
// Every traffic test starts from empty tables, a small data base, default
// settings and the later steps in their named (empty) form, and puts all of
// it back at the end.

#include "airports/airport_services.hpp"
#include "foundation/log.hpp"
#include "foundation/settings.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "refdata/dbase.hpp"
#include "refdata/reference_data_reset.hpp"
#include "support/test_support.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/track_samples.hpp"

#include <gtest/gtest.h>

namespace traffictest {

inline void seedDataBase()
{
    testsupport::clearReferenceData();
    g_validModels = {"A320", "B744", "C172", "C25A", "EC35", "F16"};
    g_largeModels = {"A320"};
    g_heavyModels = {"B744"};
    g_buzjetModels = {"C25A"};
    g_rotorcraftModels = {"EC35"};
    g_highPerformanceModels = {"F16"};
    g_dbaseRecords.emplace("HB-JNA", tzo::DbaseRecord{"SWR", "B744", "", false});
    g_dbaseRecords.emplace("D-AIAB", tzo::DbaseRecord{"DLH", "A320", "", false});
    g_dbaseRecords.emplace("N12345", tzo::DbaseRecord{});
}

// A report as the traffic reader queues it; callsign "SWR305" for 0x400001.
inline tzo::TrafficRecord report(std::uint32_t hexid, double timestamp, double latitude = 47.5,
                                 double altitude = 0.0, double knots = 0.0, double track = 90.0)
{
    tzo::TrafficRecord r;
    r.model = "A320";
    r.callsign = "SWR" + std::to_string(hexid % 1000);
    r.registration = "HB-" + std::to_string(hexid % 1000);
    r.latitude = latitude;
    r.longitude = 8.5;
    r.altitude = altitude;
    r.airborne = altitude != 0.0;
    r.groundSpeed = knots;
    r.track = track;
    r.timestamp = timestamp;
    r.hexid = hexid;
    r.expiryTick = liveTickCounter.load() + tzo::kRecordLifeTicks;
    return r;
}

inline void resetTrafficWorld()
{
    gf_resetTraffic();
    tzo::gf_liveStepHooks() = tzo::LiveStepHooks{};
    liveTickCounter.store(0);
    {
        std::lock_guard lock(simQueueMutex);
        positionsFilling.clear();
        positionsToSend.clear();
        createQueue.clear();
        removeQueue.clear();
    }
    simErrorFlag.store(false);
    simRequestErrorCount.store(0);
    simFrameRate.store(0.0f);
    trafficQueue.setIntakeOpen(false);
    for (auto* flag : {&LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT, &GUID_CHANGES, &LOG})
        flag->setValue(flag->defaultValue());
}

struct TrafficTest : ::testing::Test {
    testsupport::TempDir dir{true};

    TrafficTest()
    {
        gf_openLog(dir / "Log.txt");
        seedDataBase();
        resetTrafficWorld();
    }
    ~TrafficTest() override
    {
        resetTrafficWorld();
        testsupport::clearReferenceData();
        gf_closeLog();
    }

    std::string log() const { return testsupport::readFile(dir / "Log.txt"); }

    tzo::LiveAircraft& newAircraft(tzo::TrafficRecord r)
    {
        gf_takeReport(std::move(r));
        return liveAircraft.back();
    }

    // Made through the intake, then put into the simulator in that phase.
    tzo::LiveAircraft& inSimulator(tzo::TrafficRecord r, std::uint32_t phase)
    {
        tzo::LiveAircraft& a = newAircraft(std::move(r));
        a.state = tzo::AircraftState::InSimulator;
        a.objectId = 1000 + static_cast<std::uint32_t>(liveAircraft.size());
        a.movementPhase = phase;
        a.onGround = !a.samples.front().airborne;
        a.latitude = a.samples.front().latitude;
        a.longitude = a.samples.front().longitude;
        return a;
    }
};

} // namespace traffictest
