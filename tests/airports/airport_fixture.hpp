#pragma once
// Airport file tests run in a fresh program folder with their own log, a
// small data base, a chosen park airport and recording hooks; every setting
// and every piece of park airport state they touch is put back afterwards.

#include "airports/airport_file.hpp"
#include "airports/airport_services.hpp"
#include "airports/learned_file.hpp"
#include "airports/park_airport_hooks.hpp"
#include "airports/park_airport_load.hpp"
#include "airports/park_positions.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "refdata/dbase.hpp"
#include "refdata/dbase_file.hpp"
#include "refdata/reference_data_reset.hpp"
#include "support/test_support.hpp"
#include "traffic/stand_search.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace airporttest {

inline std::filesystem::path fixture(const std::string& name)
{
    return std::filesystem::path(AIRPORT_FIXTURES) / name;
}

// What the hooks saw.
struct Recorded {
    int saves = 0;
    int rangeUpdates = 0;
    bool saveResult = true;
};
inline Recorded recorded;

inline void resetAirportSettings()
{
    for (tzo::BoolParameter* b : {static_cast<tzo::BoolParameter*>(&LEARN_SOFT),
                                  static_cast<tzo::BoolParameter*>(&AUTO_RANGE),
                                  static_cast<tzo::BoolParameter*>(&PARK_FAKE), static_cast<tzo::BoolParameter*>(&WEEK),
                                  static_cast<tzo::BoolParameter*>(&PARK_SOFT),
                                  static_cast<tzo::BoolParameter*>(&INITIAL_LOAD_ONLY), &RANDOM})
        b->setValue(b->defaultValue());
    for (tzo::IntParameter* i : {static_cast<tzo::IntParameter*>(&MAX_LIVE),
                                 static_cast<tzo::IntParameter*>(&LATERAL_RANGE),
                                 static_cast<tzo::IntParameter*>(&parking_percentage),
                                 static_cast<tzo::IntParameter*>(&MAX_FIT), &CUSTOM_PARKING_PERCENTAGE})
        i->setValue(i->defaultValue());
    MAX_FIT_FL.setValue(MAX_FIT_FL.defaultValue());
    for (tzo::StringParameter* s : {&author, &date, &version})
        s->setValue(s->defaultValue());
    gf_rangeFromSetting();
    gf_resetRememberedRange();
}

inline void resetParkAirport()
{
    gf_clearParkPositions();
    gf_clearParkAirportState();
    parkAirportActive.store(false);
    parkAirportHandmade.store(false);
    parkAirportChanged.store(false);
    learnedSaveForbidden.store(false);
    standUpdateCount.store(0);
    gf_installParkAirportHooks({});
}

struct AirportTest : ::testing::Test {
    testsupport::TempDir dir{true};

    AirportTest()
    {
        testsupport::clearReferenceData();
        gf_openLog(dir / "Log.txt");
        resetAirportSettings();
        resetParkAirport();
        RANDOM.setValue(false);
        recorded = {};
        tzo::ParkAirportHooks hooks;
        hooks.saveAirportFile = [] {
            ++recorded.saves;
            return recorded.saveResult;
        };
        hooks.updateTrafficRange = [] { ++recorded.rangeUpdates; };
        hooks.fitsStandRadius = gf_fitsStandRadius;
        gf_installParkAirportHooks(hooks);
        parkAirportCode.set("EDDF");
        writeDbase(testDbase());
    }
    ~AirportTest() override
    {
        gf_closeLog();
        testsupport::clearReferenceData();
        resetAirportSettings();
        resetParkAirport();
        RANDOM.setValue(true);
    }

    // Spans for the typical aircraft the tests place; every other type takes
    // the light average (C208, C172: 6.75 m half span).
    static testsupport::DbaseFile testDbase()
    {
        testsupport::DbaseFile file;
        file.models("aircrafts", "aircraft", {"A320", "B738", "B752", "C208", "C172", "EC35", "B744", "C25A", "F16"})
            .models("high_performance", "hpf", {"F16"})
            .models("heavy", "hvy", {"B744"})
            .models("large", "lar", {"A320", "B738", "B752"})
            .models("buzjet", "bzj", {"C25A"})
            .models("rotorcraft", "rot", {"EC35"})
            .models("cargo_types", "cargo_type", {"B752"})
            .airlines("ICAO_airlines", {"DLH", "KLM"})
            .airlines("cargo_operators", {"FDX"})
            .record("DAIBA", "DLH", "A320")
            .record("DAIBB", "DLH", "A320", "CLH")
            .wingspan("C208", "16")
            .wingspan("C172", "11")
            .wingspan("B752", "38")
            .wingspan("A320", "36")
            .wingspan("B738", "34");
        return file;
    }

    void writeDbase(const testsupport::DbaseFile& file)
    {
        file.write(dir / "input" / "dbase.xml");
        ASSERT_TRUE(gf_readDbase());
    }

    // Writes text to a path of the program folder, creating its folders.
    std::filesystem::path put(const std::string& relative, const std::string& text)
    {
        const std::filesystem::path path = relative;
        std::filesystem::create_directories(dir.path() / path.parent_path());
        testsupport::writeFile(dir.path() / path, text);
        return path;
    }
    std::filesystem::path putFixture(const std::string& relative, const std::string& fixtureName)
    {
        return put(relative, testsupport::readFile(fixture(fixtureName)));
    }

    std::string log() const { return testsupport::readFile(dir / "Log.txt"); }
    int logLinesWith(const std::string& text) const { return testsupport::countLinesWith(dir / "Log.txt", text); }

    static const tzo::ParkPos* standNamed(const std::string& name)
    {
        for (const auto& s : parkPositions)
            if (s.name == name)
                return &s;
        return nullptr;
    }
};

} // namespace airporttest
