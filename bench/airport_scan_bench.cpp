// The add-on airport scan's walk over 500 synthetic BGL files of 1 to 5 MB
// (one in ten holding an airport with 300 stands, the rest only other
// records), cache warm, against reading the same bytes with as many threads.
// Goal: within 2x of the plain read ("vs_read"); files per second reported.
// Set NORVANE_BENCH_BGL_FILES to scale the set down on a small disk.

#include "airports/airport_scan.hpp"
#include "airports/bgl_records.hpp"
#include "airports/bgl_walk.hpp"
#include "airports/bgl_builder.hpp" // from the tests
#include "foundation/workers.hpp"
#include "support/test_support.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

int fileCount()
{
    const char* env = std::getenv("NORVANE_BENCH_BGL_FILES");
    return env ? std::max(1, std::atoi(env)) : 500;
}

int threads()
{
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

struct Set {
    testsupport::TempDir dir{true};
    std::vector<fs::path> files;

    Set()
    {
        const int n = fileCount();
        for (int i = 0; i < n; ++i) {
            bgltest::Image image;
            if (i % 10 == 0) {
                bgltest::Airport a;
                a.ident = "EHA" + std::string(1, static_cast<char>('A' + i / 10 % 26));
                for (std::uint32_t s = 1; s <= 300; ++s)
                    a.parking.push_back(bgltest::Parking{10, s, 1, 20.0f, 90.0f, 52.3 + s * 1e-4, 4.76});
                image.airports = {a};
            }
            std::vector<std::uint8_t> bytes = image.build();
            // Scenery records the reader steps over, up to 1 to 5 MB.
            const std::size_t target = (1u + static_cast<std::size_t>(i % 5)) << 20;
            const std::size_t start = bytes.size();
            if (target > start + 8) {
                bytes.resize(target, 0x5A);
                bgltest::Image::put16(bytes, start, 0x0099);
                bgltest::Image::put32(bytes, start + 2, static_cast<std::uint32_t>((target - start) & ~3u));
            }
            const fs::path path = dir.path() / "scenery" / ("f" + std::to_string(i) + ".bgl");
            bgltest::Image::write(path, bytes);
            files.push_back(path);
        }
    }
};

Set& set()
{
    static Set s;
    return s;
}

void BM_readBytes(benchmark::State& state)
{
    Set& s = set();
    for (auto _ : state) {
        std::atomic<std::size_t> next{0};
        std::atomic<std::size_t> total{0};
        std::vector<std::thread> pool;
        for (int t = 0; t < threads(); ++t)
            pool.emplace_back([&] {
                // A buffer per file, as each file is read on its own.
                for (std::size_t i; (i = next++) < s.files.size();) {
                    std::vector<std::uint8_t> bytes;
                    if (tzo::lf_readWholeFile(s.files[i], bytes))
                        total += bytes.size();
                }
            });
        for (auto& t : pool)
            t.join();
        benchmark::DoNotOptimize(total.load());
    }
    state.counters["files_per_s"] =
        benchmark::Counter(static_cast<double>(s.files.size()) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_scanFolder(benchmark::State& state)
{
    Set& s = set();
    maxWorkers.store(threads());
    runningWorkers.store(0);
    for (auto _ : state) {
        lf_scanFolderForAirports(s.dir.path() / "scenery");
        gf_takeAirportScanLog();
    }
    state.counters["threads"] = threads();
    state.counters["files_per_s"] =
        benchmark::Counter(static_cast<double>(s.files.size()) * state.iterations(), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_readBytes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_scanFolder)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
