#pragma once
// Stands built in code with a small livery catalogue (KLM and BAW A320s), and
// plan entries and parked aircraft made in one line.

#include "liveries/livery_data.hpp"
#include "liveries/livery_maps.hpp"
#include "liveries/scanned_liveries.hpp"
#include "stand_fixture.hpp"
#include "traffic/static_placement.hpp"

namespace traffictest {

struct StaticTest : StandTest {
    StaticTest()
    {
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries = {
            tzo::LiveryData{"KLM", "A320", "KLM A320", "", 1, false},
            tzo::LiveryData{"BAW", "A320", "British A320", "", 1, false},
        };
        tzo::gf_processScannedLiveries();
        userOnGround.store(false);
    }
    ~StaticTest() override
    {
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries.clear();
        INITIAL_LOAD_ONLY.setValue(false);
    }

    static tzo::ParkingPlanEntry entry(std::uint32_t standId, std::string first, std::string second = {},
                                       bool continues = true, std::string airline = "KLM")
    {
        tzo::ParkingPlanEntry e;
        e.airline = std::move(airline);
        e.type = "A320";
        e.standId = standId;
        e.firstCallsign = std::move(first);
        e.secondCallsign = std::move(second);
        e.continues = continues;
        return e;
    }

    // A static aircraft in that state at the stand, 18 m half span.
    static tzo::AircraftRecord& parkStatic(std::uint32_t standId, std::string callsign,
                                           tzo::AircraftState state = tzo::AircraftState::InSimulator)
    {
        tzo::AircraftRecord a = aircraft("KLM", "A320", 18.0);
        a.callsign = callsign + "*";
        a.firstCallsign = std::move(callsign);
        a.standId = standId;
        const tzo::ParkPos& s = *gf_standById(standId);
        a.stand = {s.latitude, s.longitude, s.heading};
        a.state = state;
        a.recordId = gf_nextStaticRecordId();
        a.objectId = state == tzo::AircraftState::InSimulator ? 500 + a.recordId : 0;
        staticAircraft.push_back(a);
        return staticAircraft.back();
    }

    // A live aircraft parked in the simulator at the stand.
    tzo::LiveAircraft& parkLive(std::uint32_t standId, std::string callsign, double halfSpanMetres = 18.0,
                                std::uint32_t phase = tzo::kPhaseParked)
    {
        tzo::LiveAircraft a;
        a.callsign = std::move(callsign);
        a.firstCallsign = a.callsign;
        a.model = "A320";
        a.radius = tzo::gf_metresToNm(halfSpanMetres);
        a.recordId = 0x400000 + static_cast<std::uint32_t>(liveAircraft.size());
        a.objectId = 900 + static_cast<std::uint32_t>(liveAircraft.size());
        a.state = tzo::AircraftState::InSimulator;
        a.movementPhase = phase;
        a.onGround = true;
        a.standId = standId;
        if (const tzo::ParkPos* s = gf_standById(standId)) {
            a.stand = {s->latitude, s->longitude, s->heading};
            a.latitude = s->latitude;
            a.longitude = s->longitude;
        }
        liveAircraft.push_back(a);
        return liveAircraft.back();
    }
};

} // namespace traffictest
