// The static parking's long ticks on the main loop: the first plan at its
// worst (nothing reaches the wanted number: every offset, both passes) and
// the renewal with 150 static aircraft, over 500 stands of 20 to 50 options;
// and the loading of a park airport of 1,500 stands with 30 learned options
// each from real files.

#include "airports/airport_services.hpp"
#include "airports/airports_list.hpp"
#include "airports/park_positions.hpp"
#include "airports/stand_builder.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "parking/hour_fit.hpp"
#include "parking/parking_plan.hpp"
#include "parking/static_parking_driver.hpp"
#include "platform/memory.hpp"
#include "support/test_support.hpp"
#include "traffic/live_traffic.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <filesystem>
#include <fstream>

namespace {

void buildStands(bool fitting)
{
    standtest::StandBuilder b;
    for (int i = 0; i < 500; ++i) {
        b.stand("S" + std::to_string(i), 0, 300.0 * i);
        const int options = 20 + i % 31;
        for (int o = 0; o < options; ++o) {
            // Day 2 only: on day 4 nothing fits, so the search runs to the end.
            const std::uint32_t day = fitting ? 3 : 2;
            b.option("A" + std::to_string(o % 7), "A320", day, std::to_string(o % 48), o % 2 == 1)
                .callsigns("CS" + std::to_string(i * 64 + o))
                .registration("R" + std::to_string(i * 64 + o));
        }
    }
    b.install();
}

void planWorst(benchmark::State& state)
{
    buildStands(false);
    PARK_SOFT.setValue(true);
    parking_percentage.setValue(100);
    nowDayHour.store(DayHour{4, 20}.toU64());
    for (auto _ : state) {
        lf_planStaticParking();
        benchmark::DoNotOptimize(staticParkingPlan.size());
    }
}
BENCHMARK(planWorst)->Unit(benchmark::kMillisecond);

void renewal(benchmark::State& state)
{
    buildStands(true);
    parking_percentage.setValue(40);
    nowDayHour.store(DayHour{3, 20}.toU64());
    for (auto _ : state) {
        state.PauseTiming();
        staticAircraft.clear();
        for (std::uint32_t id = 1; id <= 150; ++id) {
            tzo::AircraftRecord a;
            a.airline = "A" + std::to_string(id % 7);
            a.model = "A320";
            a.firstCallsign = "CS" + std::to_string(id * 64);
            a.callsign = a.firstCallsign + "*";
            a.standId = id * 3;
            a.parkedSince = {3, id % 20};
            a.state = tzo::AircraftState::InSimulator;
            a.objectId = id;
            staticAircraft.push_back(a);
        }
        removalQueue.clear();
        state.ResumeTiming();
        gf_adjustParking();
        benchmark::DoNotOptimize(removalList.size());
    }
}
BENCHMARK(renewal)->Unit(benchmark::kMillisecond);

void writeText(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The archived file of 1,500 stands, and the learned file with 30 options at
// each of them.
void writeLargeAirport()
{
    const std::string meta = "<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"1\"/>"
                             "<info name=\"date\" value=\"d\"/></meta>";
    std::string archived = meta + "<parameters><parameter name=\"airport_name\" value=\"Large\"/>"
                                  "<parameter name=\"altitude\" value=\"100\"/></parameters><parkpositions>";
    std::string learned = meta + "<parameters/><parkpositions>";
    for (int i = 0; i < 1500; ++i) {
        archived += fmt::format("<parkpos id=\"S{}\" latitude=\"{:.6f}\" longitude=\"{:.6f}\" heading=\"90.0\" "
                                "radius=\"25.0\" cargo=\"false\" ramp=\"false\"/>",
                                i, 40.0 + (i / 40) * 0.002, 10.0 + (i % 40) * 0.002);
        learned += fmt::format("<parkpos id=\"S{}\">", i);
        for (int o = 0; o < 30; ++o)
            learned += fmt::format("<opt reg=\"\" airl=\"A{}\" type=\"A320\" day=\"{}\" hh=\"{},{}\" cs=\"CS{}\"/>",
                                   o % 7, 1 + o % 7, o % 48, (o + 1) % 48, i * 32 + o);
        learned += "</parkpos>";
    }
    writeText("airports/archive/stock/LARG.xml", archived + "</parkpositions>");
    writeText("airports/learned/stock/LARG.xml", learned + "</parkpositions>");
}

void loadLargeParkAirport(benchmark::State& state)
{
    platform::keepFreedMemory(); // as the program's main does
    testsupport::TempDir dir(true);
    writeLargeAirport();
    gf_setAirportsListForTests({{"LARG", "", 40.0, 10.0, 100}});
    lf_setParkAirport("LARG");
    for (auto _ : state) {
        const std::string error = lf_loadParkAirport();
        if (!error.empty() || parkPositions.size() != 1500 || parkPositions.front().options.size() != 30) {
            state.SkipWithError(error.empty() ? "stands or learned options missing" : error.c_str());
            break;
        }
    }
    gf_clearParkPositions();
    gf_resetStaticParking();
    gf_resetAirportsListForTests();
}
BENCHMARK(loadLargeParkAirport)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
