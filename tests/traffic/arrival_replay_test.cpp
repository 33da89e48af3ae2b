// End to end: the RealTraffic stand-in reports an airliner taxiing at Zürich
// that stops 15 m short of a free stand; the program creates it in the
// simulator stand-in, lets it taxi in and parks it there, shut down.

#include "airports/airport_services.hpp"
#include "airports/stand_builder.hpp"
#include "foundation/paths.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_matching.hpp"
#include "liveries/scanned_liveries.hpp"
#include "realtraffic/reader_fixture.hpp"
#include "rtstub/rtstub.hpp"
#include "rtstub/traffic_line_builder.hpp"
#include "simconnect/sim_layer_fixture.hpp"
#include "traffic/stand_arrival.hpp"
#include "traffic_fixture.hpp"

#include <fmt/format.h>

using namespace traffictest;
using testsupport::waitFor;

namespace {

constexpr double kStart = 1733720000.0;

class ArrivalReplay : public simtest::SimLayer {
protected:
    testsupport::ScopedEnv appData{"NORVANE_APPDATA", (dir() / "roaming").string()};

    void SetUp() override
    {
        SimLayer::SetUp();
        seedDataBase();
        resetTrafficWorld();
        gf_initDataFolder();
        std::filesystem::create_directories(g_dataFolder);
        std::filesystem::create_directories(g_outputInfoFolder);
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries = {tzo::LiveryData{"SWR", "A320", "Swiss A320", "", 1, false}};
        tzo::gf_processScannedLiveries();
        LOG.setValue(true);
        startQuietStub();
        startAndRegister();
    }
    void TearDown() override
    {
        resetTrafficWorld();
        trafficReader.setUserPosition(0.0, 0.0);
        trafficReader.clearParkAirport();
        // The next test's reader starts afresh, as the program's would.
        trafficReader.clearStop();
        trafficReader.resetTimestamp();
        gf_rangeFromSetting();
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries.clear();
        testsupport::clearReferenceData();
        SimLayer::TearDown();
    }
};

TEST_F(ArrivalReplay, aTaxiStoppingFifteenMetresFromAFreeStandParksThere)
{
    placeUserAndWait(47.70, 8.56, 1500.0);
    liveTickCounter.store(100);
    gf_liveTraffic();
    trafficReader.setUserPosition(userAircraft.latitude, userAircraft.longitude);
    gf_storeRange(40.0);
    trafficReader.setParkAirport(standtest::kReferenceLatitude, standtest::kReferenceLongitude);
    trafficReader.setParkAirportElevation(1416.0);
    standtest::StandBuilder().stand("E12", 0, 0, 20).stand("E14", 0, 80, 20).install();
    parkAirportCode.set("LSZH");
    parkAirportPosition.latitude.store(standtest::kReferenceLatitude);
    parkAirportPosition.longitude.store(standtest::kReferenceLongitude);
    parkAirportElevationFt.store(1416.0);
    parkAirportActive.store(true);
    gf_setFlightRunning(true);

    trafficReader.clearStop();
    trafficReader.resetTimestamp();
    testsupport::RunningReader reader(trafficReader, true);
    ASSERT_TRUE(reader.started);
    rtstub::RtStub rt(reader.port(), 0);

    // North at 10 kt from 300 m south of E12, one line per 5 s, then
    // standing 15 m short of it.
    struct Line {
        double second;
        double north;
        double knots;
    };
    std::vector<Line> lines;
    for (int i = 0; i <= 12; ++i)
        lines.push_back({i * 5.0, -315.0 + i * 25.0, 10.0});
    for (int i = 1; i <= 8; ++i)
        lines.push_back({65.0 + i * 16.0, -15.0, 0.0});
    std::size_t sent = 0;
    const auto send = [&](double upTo) {
        while (sent < lines.size() && lines[sent].second <= upTo) {
            const tzo::LatLon p = standtest::at(lines[sent].north, 0.0);
            rt.sendTrafficLine(rtstub::TrafficLine::onGround()
                                   .set(rtstub::kHexid, "4921345") // 0x4b1801
                                   .set(rtstub::kLatitude, fmt::format("{:.7f}", p.latitude))
                                   .set(rtstub::kLongitude, fmt::format("{:.7f}", p.longitude))
                                   .set(rtstub::kTrack, "0")
                                   .set(rtstub::kTrueHeading, "0")
                                   .set(rtstub::kGroundSpeed, fmt::format("{}", lines[sent].knots))
                                   .set(rtstub::kCallsign, "SWR12")
                                   .set(rtstub::kType, "A320")
                                   .set(rtstub::kRegistration, "HB-JLT")
                                   .set(rtstub::kTimestamp, fmt::format("{:.1f}", kStart + lines[sent].second)));
            const double stamp = kStart + lines[sent].second;
            ++sent;
            ASSERT_TRUE(waitFor([&] { return trafficReader.timestamp() >= stamp; })) << sent;
        }
    };

    const std::uint32_t first = liveTickCounter.load();
    bool parked = false;
    for (std::uint32_t n = 0; n < 30000 && !parked; ++n) {
        const std::uint32_t tick = liveTickCounter.load();
        if (tick % 100 == 0)
            send((tick - first) / 100.0);
        gf_liveTraffic();
        if (tick % 25 == 0)
            frameAndSettle();
        parked = !liveAircraft.empty() && liveAircraft[0].movementPhase == tzo::kPhaseParked;
    }
    frameAndSettle();
    ASSERT_TRUE(parked) << log();
    const tzo::LiveAircraft& a = liveAircraft[0];
    EXPECT_EQ(a.standId, 1u);
    EXPECT_TRUE(parkPositions[0].occupied);
    EXPECT_FALSE(parkPositions[1].occupied);
    EXPECT_LT(gf_greatCircleDistanceNm({a.latitude, a.longitude}, {parkPositions[0].latitude, parkPositions[0].longitude}),
              tzo::gf_metresToNm(2.0));
    EXPECT_NE(log().find("E12     : SWR12    arrived at stand"), std::string::npos);
    EXPECT_EQ(coupleSearchIds, std::deque<std::uint32_t>{0x4b1801});
    ASSERT_EQ(parkPositions[0].options.size(), 1u);
    EXPECT_EQ(parkPositions[0].options[0].registration, "HB-JLT");
    const auto objects = m_stub->aiObjects();
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_TRUE(objects[0].hasEvent("ENGINE_AUTO_SHUTDOWN"));
    EXPECT_EQ(objects[0].event("THROTTLE_SET"), 0u);
    reader.stop();
}

} // namespace
