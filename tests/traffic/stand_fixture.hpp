#pragma once
// The traffic world with a park airport's stands built in code, the settings
// the stand searches read put back at the end, and aircraft made by size.

#include "airports/park_positions.hpp"
#include "airports/stand_builder.hpp"
#include "foundation/random.hpp"
#include "foundation/run_state.hpp"
#include "traffic/stand_fit.hpp"
#include "traffic/stand_search.hpp"
#include "traffic_fixture.hpp"

namespace traffictest {

struct StandTest : TrafficTest {
    standtest::StandBuilder stands;

    StandTest()
    {
        resetStandSettings();
        userOnGround.store(true);
    }
    ~StandTest() override
    {
        resetStandSettings();
        userOnGround.store(false);
        nowDayHour.store(0);
    }
    static void resetStandSettings()
    {
        for (auto* flag : {&WEEK, &HELICOPTERS, &LOG})
            flag->setValue(flag->defaultValue());
        RANDOM.setValue(false);
    }

    // An aircraft of that airline and model, half its span in metres.
    static tzo::AircraftRecord aircraft(std::string airline, std::string model, double halfSpanMetres,
                                        tzo::AircraftCategory category = tzo::AircraftCategory::Large,
                                        std::string callsign = {})
    {
        tzo::AircraftRecord a;
        a.airline = std::move(airline);
        a.model = std::move(model);
        a.radius = tzo::gf_metresToNm(halfSpanMetres);
        a.category = category;
        a.callsign = std::move(callsign);
        return a;
    }

    static std::string nameOf(const tzo::ParkPos* stand) { return stand ? stand->name : std::string("none"); }
};

} // namespace traffictest
