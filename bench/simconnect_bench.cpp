// Packets per second of 64-byte SetData packets through a loopback pipe to the
// simulator stand-in, beside the same bytes written raw to a socket. Each
// iteration sends a batch and waits until the stand-in has read all of it, so
// the figure is delivery, not queueing.

#include "platform/pipe.hpp"
#include "sim_stub.hpp"
#include "simconnect/simconnect.hpp"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

namespace {

constexpr int kBatch = 1000;
constexpr std::uint32_t kPacketSize = 100; // 36-byte head and one 64-byte element

// A private pipe folder and no configuration files, so that the benchmark
// reaches its own stand-in.
struct BenchWorld {
    std::filesystem::path dir;
    BenchWorld()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "norvane-bench-XXXXXX").string();
        dir = mkdtemp(pattern.data());
        setenv("NORVANE_PIPE_DIR", (dir / "pipes").c_str(), 1);
        setenv("NORVANE_PUBLIC_DOCUMENTS", (dir / "public").c_str(), 1);
        setenv("XDG_DOCUMENTS_DIR", (dir / "documents").c_str(), 1);
        setenv("NORVANE_REGISTRY", (dir / "registry.ini").c_str(), 1);
        std::filesystem::current_path(dir);
    }
    ~BenchWorld()
    {
        std::error_code ec;
        std::filesystem::current_path(dir.parent_path(), ec);
        std::filesystem::remove_all(dir, ec);
    }
};

simstub::Options countingOnly()
{
    simstub::Options o;
    o.recordPackets = false;
    return o;
}

// False, with the benchmark skipped, when the stand-in cannot listen.
bool startOrSkip(simstub::SimStub& stub, benchmark::State& state)
{
    std::string error;
    if (stub.start(error))
        return true;
    state.SkipWithError(error.c_str());
    return false;
}

void waitForCount(const simstub::SimStub& stub, std::size_t count)
{
    while (stub.packetCount() < count)
        std::this_thread::yield();
}

void BM_SetDataThroughClient(benchmark::State& state)
{
    BenchWorld world;
    simstub::SimStub stub(countingOnly());
    if (!startOrSkip(stub, state))
        return;
    SimConnectHandle handle = nullptr;
    if (SimConnect_Open(&handle, "Norvane_P3D", nullptr, 0, nullptr, 0) != 0) {
        state.SkipWithError("open failed");
        return;
    }
    waitForCount(stub, 1);
    double values[8] = {47.5, 8.25, 0.0, 0.0, 1.5, 1400.0, 0.0, 140.0};
    std::size_t expected = 1;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            if (SimConnect_SetDataOnSimObject(handle, 402, 3, 0, 0, 64, values) == 0)
                ++expected;
        }
        waitForCount(stub, expected);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kBatch);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBatch * kPacketSize);
    SimConnect_Close(handle);
}
BENCHMARK(BM_SetDataThroughClient)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SameBytesRawToSocket(benchmark::State& state)
{
    BenchWorld world;
    simstub::SimStub stub(countingOnly());
    if (!startOrSkip(stub, state))
        return;
    std::error_code ec;
    auto socket = platform::connectPipe(stub.options().pipeName, std::chrono::milliseconds(1000), ec);
    if (!socket.valid()) {
        state.SkipWithError("connect failed");
        return;
    }
    // A SetData packet as the stand-in expects it; only the send id changes.
    std::uint8_t packet[kPacketSize] = {};
    auto put = [&](std::size_t offset, std::uint32_t v) { std::memcpy(packet + offset, &v, 4); };
    put(0, kPacketSize);
    put(4, 35);
    put(8, 0xF0000010);
    put(16, 402);
    put(20, 3);
    put(28, 1);
    put(32, 64);
    // The stand-in answers each packet for a definition it does not know with an
    // exception; unread, those answers would fill the socket and stall both sides.
    std::jthread drain([&socket] {
        std::uint8_t buffer[4096];
        std::error_code readError;
        while (socket.receive(buffer, sizeof buffer, readError) > 0) {
        }
    });
    std::uint32_t sendId = 0;
    std::size_t expected = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            put(12, ++sendId);
            if (socket.sendAll(packet, sizeof packet, ec))
                ++expected;
        }
        waitForCount(stub, expected);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kBatch);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBatch * kPacketSize);
    socket.shutdown();
}
BENCHMARK(BM_SameBytesRawToSocket)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
