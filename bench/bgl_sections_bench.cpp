// One BGL file with 1000 airport sections, each naming its own airport of 8
// stands, followed by 4 MB of the other scenery records a file carries (one
// record the reader steps over): read into airports against a plain read of
// the same file. Each section's walk runs on to the end of the file, so a
// reader that walked every section in full would take 1000 walks over the
// file; one that reads each record once stays near the plain read. Goal: the
// reading within 2x of the plain read ("vs_read"). For scale, the same
// airports in one section ("BM_readOneSection").

#include "airports/airport_scan.hpp"
#include "airports/bgl_builder.hpp" // from the tests
#include "airports/bgl_records.hpp"
#include "support/test_support.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSections = 1000;
constexpr std::size_t kOtherRecordBytes = std::size_t{4} << 20;

fs::path writeFile(const testsupport::TempDir& dir, bool perAirport)
{
    bgltest::Image image;
    image.sectionPerAirport = perAirport;
    image.otherSectionData.clear(); // the scenery records below follow the airports directly
    for (int i = 0; i < kSections; ++i) {
        bgltest::Airport a;
        a.ident = std::string("E") + static_cast<char>('A' + i / 676 % 26) + static_cast<char>('A' + i / 26 % 26) +
                  static_cast<char>('A' + i % 26);
        for (std::uint32_t s = 1; s <= 8; ++s)
            a.parking.push_back(bgltest::Parking{10, s, 1, 20.0f, 90.0f, 52.3 + s * 1e-4, 4.76});
        image.airports.push_back(a);
    }
    std::vector<std::uint8_t> bytes = image.build();
    const std::size_t start = bytes.size();
    bytes.resize(start + kOtherRecordBytes, 0x5A);
    bgltest::Image::put16(bytes, start, 0x0099);
    bgltest::Image::put32(bytes, start + 2, static_cast<std::uint32_t>(kOtherRecordBytes));
    const fs::path path = dir.path() / (perAirport ? "sections.bgl" : "one.bgl");
    bgltest::Image::write(path, bytes);
    return path;
}

struct Files {
    testsupport::TempDir dir;
    fs::path sections = writeFile(dir, true);
    fs::path oneSection = writeFile(dir, false);
};

Files& files()
{
    static Files f;
    return f;
}

// The file read whole into storage kept from call to call, as the scan's
// threads keep theirs: the least a reading has to do.
std::size_t plainRead(const fs::path& path)
{
    static tzo::BglFileBytes file;
    file.read(path);
    return file.bytes().size();
}

int readAirports(const fs::path& path)
{
    static tzo::BglFileBytes file;
    file.read(path);
    int airports = 0;
    tzo::BglAirportSink sink;
    sink.end = [&](tzo::BglAirport&) { ++airports; };
    tzo::lf_readBglAirports(file.bytes(), path.string(), [](const std::string&) { return std::string("unknown"); },
                            sink);
    return airports;
}

void BM_plainRead(benchmark::State& state)
{
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes += plainRead(files().sections);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

void readBench(benchmark::State& state, const fs::path& path)
{
    Clock::duration reads{};
    Clock::duration readings{};
    int airports = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto readStart = Clock::now();
        benchmark::DoNotOptimize(plainRead(path));
        reads += Clock::now() - readStart;
        state.ResumeTiming();
        const auto start = Clock::now();
        airports = readAirports(path);
        readings += Clock::now() - start;
    }
    gf_takeAirportScanLog();
    state.counters["airports"] = airports;
    // Against plain reads run between its iterations, so that both see the same load.
    state.counters["vs_read"] =
        std::chrono::duration<double>(readings).count() / std::max(1e-9, std::chrono::duration<double>(reads).count());
}

void BM_readThousandSections(benchmark::State& state)
{
    readBench(state, files().sections);
}

void BM_readOneSection(benchmark::State& state)
{
    readBench(state, files().oneSection);
}

} // namespace

BENCHMARK(BM_plainRead)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_readThousandSections)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_readOneSection)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_MAIN();
