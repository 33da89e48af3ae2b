// Traffic-line parsing speed, in lines per second (items_per_second).

#include "realtraffic/traffic_line.hpp"
#include "realtraffic/traffic_reader.hpp"
#include "rtstub/replay.hpp"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

tzo::LineContext zurich()
{
    tzo::LineContext context;
    context.userLatitude = rtstub::kZurichLatitude;
    context.userLongitude = rtstub::kZurichLongitude;
    context.parkAirportSet = true;
    context.parkLatitude = rtstub::kZurichLatitude;
    context.parkLongitude = rtstub::kZurichLongitude;
    context.elevationKnown = true;
    context.elevationFt = rtstub::kZurichElevationFt;
    return context;
}

// The recorded tracks as lines: a realistic mix of airborne, ground and
// out-of-range reports.
const std::vector<std::string>& replayedLines()
{
    static const std::vector<std::string> lines = [] {
        std::vector<rtstub::ReplayTrack> tracks;
        for (const auto& file : rtstub::defaultReplayFiles())
            tracks.push_back(rtstub::loadReplayTrack(file));
        std::vector<std::string> texts;
        for (const auto& line : rtstub::replayLines(tracks, 1733720000))
            texts.push_back(line.text);
        return texts;
    }();
    return lines;
}

void splitAndParseOneAirborneLine(benchmark::State& state)
{
    const std::string line = rtstub::TrafficLine::airborne().text();
    const tzo::LineContext context = zurich();
    std::vector<std::string_view> fields;
    tzo::TrafficRecord record;
    for (auto _ : state) {
        tzo::gf_splitTrafficFields(line, fields);
        benchmark::DoNotOptimize(tzo::gf_parseTrafficLine(fields, context, record));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(splitAndParseOneAirborneLine);

void splitAndParseReplayedLines(benchmark::State& state)
{
    const auto& lines = replayedLines();
    const tzo::LineContext context = zurich();
    std::vector<std::string_view> fields;
    tzo::TrafficRecord record;
    std::size_t next = 0;
    for (auto _ : state) {
        tzo::gf_splitTrafficFields(lines[next], fields);
        benchmark::DoNotOptimize(tzo::gf_parseTrafficLine(fields, context, record));
        next = next + 1 == lines.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(splitAndParseReplayedLines);

// The reader's whole work per datagram, queueing included (the consumer takes
// each record at once, as the live traffic would over time).
void readerHandlesDatagramAndQueues(benchmark::State& state)
{
    const std::string line = rtstub::TrafficLine::airborne().text();
    tzo::TrafficQueue queue;
    queue.setIntakeOpen(true);
    tzo::TrafficReader reader(queue);
    reader.setUserPosition(rtstub::kZurichLatitude, rtstub::kZurichLongitude);
    tzo::TrafficRecord taken;
    for (auto _ : state) {
        reader.handleDatagramText(line);
        benchmark::DoNotOptimize(queue.pop(taken));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(readerHandlesDatagramAndQueues);

} // namespace
BENCHMARK_MAIN();
