// Packets per second of 64-byte SetData packets through a loopback pipe to the
// simulator stand-in, beside the same bytes written raw to a socket. Each
// iteration sends a batch and waits until the stand-in has read all of it, so
// the figure is delivery, not queueing.
//
// And one simulator frame of 2,000 positions as the program sends it (the
// frame drain, each position its own packet and flush) to a loopback peer
// that only reads, against one raw write of the same bytes to another such
// peer: client_us and raw_us are the mean times until the peer has read the
// whole frame, ratio their quotient (the goal: at most 1.5); writes_per_frame
// counts the client's gathered writes.

#include "platform/pipe.hpp"
#include "sim_stub.hpp"
#include "simconnect/connection.hpp"
#include "simconnect/sim_queues.hpp"
#include "simconnect/simconnect.hpp"

#include <benchmark/benchmark.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

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

// A peer on a pipe that takes one connection and reads whatever comes,
// counting the bytes.
class ReadingPeer {
public:
    explicit ReadingPeer(const std::string& pipeName)
    {
        std::error_code ec;
        m_listener = platform::listenPipe(pipeName, ec);
        if (!m_listener.valid())
            return;
        m_thread = std::jthread([this] {
            std::error_code acceptError;
            platform::StreamSocket socket = m_listener.accept(acceptError);
            std::vector<std::uint8_t> buffer(256 * 1024);
            std::error_code readError;
            long n = 0;
            while (socket.valid() && (n = socket.receive(buffer.data(), buffer.size(), readError)) > 0)
                m_bytes.fetch_add(static_cast<std::size_t>(n));
        });
    }
    // The reader ends when the writer closes its end (or nobody came).
    ~ReadingPeer() { m_listener.shutdown(); }
    bool valid() const { return m_listener.valid(); }
    void waitFor(std::size_t bytes) const
    {
        while (m_bytes.load() < bytes)
            std::this_thread::yield();
    }
    std::size_t bytes() const { return m_bytes.load(); }

private:
    platform::StreamListener m_listener;
    std::atomic<std::size_t> m_bytes{0};
    std::jthread m_thread;
};

constexpr int kFramePositions = 2000;

void BM_FrameOfPositionsAgainstOneRawWrite(benchmark::State& state)
{
    BenchWorld world;
    const std::string clientPipe = "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect";
    const std::string rawPipe = "\\\\.\\pipe\\raw";
    ReadingPeer clientPeer(clientPipe);
    ReadingPeer rawPeer(rawPipe);
    if (!clientPeer.valid() || !rawPeer.valid()) {
        state.SkipWithError("cannot listen");
        return;
    }
    SimConnectHandle handle = nullptr;
    if (SimConnect_Open(&handle, "Norvane_P3D", nullptr, 0, nullptr, 0) != 0) {
        state.SkipWithError("open failed");
        return;
    }
    std::error_code ec;
    auto raw = platform::connectPipe(rawPipe, std::chrono::milliseconds(1000), ec);
    if (!raw.valid()) {
        SimConnect_Close(handle);
        state.SkipWithError("connect failed");
        return;
    }
    clientPeer.waitFor(296); // the Open packet
    simConnectHandle.store(handle);
    userObjectId.store(kUserObjectIdBeforeAnswer);

    // The same frame as raw bytes: SetData packets of definition 402, one per object.
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(kFramePositions) * kPacketSize);
    auto put = [&](std::size_t offset, std::uint32_t v) { std::memcpy(frame.data() + offset, &v, 4); };
    for (int i = 0; i < kFramePositions; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * kPacketSize;
        put(at + 0, kPacketSize);
        put(at + 4, 35);
        put(at + 8, 0xF0000010);
        put(at + 12, static_cast<std::uint32_t>(i + 2));
        put(at + 16, 402);
        put(at + 20, static_cast<std::uint32_t>(100 + i));
        put(at + 28, 1);
        put(at + 32, 64);
    }

    const auto* connection = static_cast<const tzo::SimConnectConnection*>(handle);
    const std::uint64_t writesBefore = connection->writesMade();
    using Clock = std::chrono::steady_clock;
    double clientSeconds = 0.0;
    double rawSeconds = 0.0;
    std::size_t clientExpected = clientPeer.bytes();
    std::size_t rawExpected = 0;
    for (auto _ : state) {
        {
            std::lock_guard lock(simQueueMutex);
            positionsToSend.clear();
            for (int i = 0; i < kFramePositions; ++i)
                positionsToSend.push_back({47.45 + i * 1e-5, 8.56, 0.0, 0.0, 1.5, 1400.0, 0.0, 140.0,
                                           static_cast<std::uint32_t>(100 + i)});
        }
        rawExpected += frame.size();
        const auto rawStart = Clock::now();
        raw.sendAll(frame.data(), frame.size(), ec);
        rawPeer.waitFor(rawExpected);
        const auto rawEnd = Clock::now();

        clientExpected += frame.size();
        const auto clientStart = Clock::now();
        lf_flushSimQueues();
        clientPeer.waitFor(clientExpected);
        const auto clientEnd = Clock::now();

        const double clientTime = std::chrono::duration<double>(clientEnd - clientStart).count();
        clientSeconds += clientTime;
        rawSeconds += std::chrono::duration<double>(rawEnd - rawStart).count();
        state.SetIterationTime(clientTime);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["client_us"] = clientSeconds / n * 1e6;
    state.counters["raw_us"] = rawSeconds / n * 1e6;
    state.counters["ratio"] = clientSeconds / rawSeconds;
    state.counters["writes_per_frame"] = static_cast<double>(connection->writesMade() - writesBefore) / n;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kFramePositions);
    simConnectHandle.store(nullptr);
    SimConnect_Close(handle);
    raw.shutdown();
}
BENCHMARK(BM_FrameOfPositionsAgainstOneRawWrite)->Unit(benchmark::kMicrosecond)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
