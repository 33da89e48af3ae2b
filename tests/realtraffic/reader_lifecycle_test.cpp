// Starting, stopping, restarting and failing readers; the alive check; the
// traffic queue's bound.

#include "reader_fixture.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/run_state.hpp"
#include "realtraffic/link_state.hpp"
#include "rtstub/rtstub.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tzo;
using testsupport::RunningReader;
using testsupport::waitFor;

namespace {

// Keeps the size of every datagram it is handed.
class RecordingReader : public UdpReader {
public:
    RecordingReader()
        : UdpReader("Recording Reader")
    {
    }
    std::vector<std::size_t> sizes() const
    {
        std::lock_guard lock(m_mutex);
        return m_sizes;
    }
    std::atomic<int> stops{0};

protected:
    void onDatagram() override
    {
        std::lock_guard lock(m_mutex);
        m_sizes.push_back(datagram().size());
    }
    void onStop() override { ++stops; }

private:
    mutable std::mutex m_mutex;
    std::vector<std::size_t> m_sizes;
};

std::mutex g_statusMutex;
std::string g_status;

void captureStatus(std::string_view text, bool)
{
    std::lock_guard lock(g_statusMutex);
    g_status.assign(text);
}

std::string status()
{
    std::lock_guard lock(g_statusMutex);
    return g_status;
}

struct ReaderLifecycleTest : testsupport::LoggedTest {
    ReaderLifecycleTest()
    {
        rtOnThisPc = true;
        rtError = false;
        runningThreads = 0;
        rangeNm = 40.0;
    }
};

TrafficRecord recordWithId(std::uint32_t id)
{
    TrafficRecord record;
    record.hexid = id;
    return record;
}

} // namespace

TEST_F(ReaderLifecycleTest, stopWakesABlockedReceiveAndEndsTheThread)
{
    TrafficQueue queue;
    TrafficReader reader(queue);
    RunningReader running(reader, true);
    ASSERT_TRUE(running.started);
    EXPECT_EQ(runningThreads.load(), 1);
    EXPECT_EQ(trafficReaderState.load(), kReaderReceiving);
    EXPECT_EQ(weatherReaderState.load(), kReaderReceiving);

    running.stop(); // joins: hangs here if the receive is not woken
    EXPECT_EQ(runningThreads.load(), 0);
    EXPECT_EQ(trafficReaderState.load(), kReaderStopped);
    EXPECT_EQ(reader.boundPort(), 0);
    EXPECT_TRUE(logHas("Traffic Reader connected"));
    EXPECT_TRUE(logHas("Traffic Reader has stopped"));
    EXPECT_FALSE(rtError.load());
}

TEST_F(ReaderLifecycleTest, stopHoldsEvenWhenTheFlagIsClearedAtOnce)
{
    // A restart clears the stop flags; a loop that was stopped must end
    // anyway rather than go on receiving on its shut socket.
    RecordingReader reader;
    RunningReader running(reader, false);
    ASSERT_TRUE(running.started);
    reader.stop();
    reader.clearStop();
    EXPECT_TRUE(waitFor([&] { return reader.stops.load() == 1; }));
    EXPECT_TRUE(waitFor([&] { return runningThreads.load() == 0; }));
}

TEST_F(ReaderLifecycleTest, readerBindsTheSamePortAgainAfterARestart)
{
    RecordingReader reader;
    std::uint16_t port = 0;
    {
        RunningReader first(reader, false);
        ASSERT_TRUE(first.started);
        port = first.port();
    }
    reader.clearStop();
    std::thread again([&] { gf_runReaderThread(reader, port, false); });
    EXPECT_TRUE(waitFor([&] { return reader.boundPort() == port; }));
    rtstub::RtStub stub(1, port);
    stub.sendWeather("after the restart");
    EXPECT_TRUE(waitFor([&] { return reader.sizes().size() == 1; }));
    reader.stop();
    again.join();
    EXPECT_EQ(reader.stops.load(), 2);
    EXPECT_FALSE(rtError.load());
}

namespace {

// A loopback UDP socket, with address reuse as another program on the machine
// might open one, or without; port 0 picks a free port. -1 when bind fails.
int socketOn(std::uint16_t port, std::uint16_t& bound, bool reuse = true)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    if (reuse)
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    bound = ntohs(address.sin_port);
    return fd;
}

} // namespace

TEST_F(ReaderLifecycleTest, aPortHeldByAnotherSocketStopsTheReaderWithABindError)
{
    // Had the reader allowed address reuse, it would bind beside a socket
    // that allows it too and the later one would take every datagram, with
    // no error anywhere.
    AppHooks hooks;
    hooks.showStatus = captureStatus;
    // The status line whose error line follows at the start of operations.
    hooks.showStatusBeforeError = [](std::string_view text) { captureStatus(text, true); };
    gf_installAppHooks(hooks);
    struct Case {
        const char* what;
        bool reuse;
        bool onThisPc;
        bool traffic;
    };
    for (const Case& c : {Case{"plain socket", false, true, true}, Case{"reusing, 127.0.0.1", true, true, false},
                          Case{"reusing, any address", true, false, false}}) {
        SCOPED_TRACE(c.what);
        rtOnThisPc = c.onThisPc;
        rtError = false;
        std::uint16_t port = 0;
        const int holder = socketOn(0, port, c.reuse);
        ASSERT_GE(holder, 0);
        TrafficQueue queue;
        TrafficReader traffic(queue);
        RecordingReader weather;
        UdpReader& reader = c.traffic ? static_cast<UdpReader&>(traffic) : weather;
        std::thread thread([&] { gf_runReaderThread(reader, port, c.traffic); });
        // A reader that binds after all would receive until stopped.
        waitFor([&] { return rtError.load() || reader.boundPort() != 0; });
        reader.stop();
        thread.join();
        ::close(holder);

        EXPECT_TRUE(rtError.load());
        EXPECT_EQ(reader.boundPort(), 0);
        EXPECT_EQ(runningThreads.load(), 0);
        // The datagram socket, its port and the system's own words, which a
        // user of this system can look up.
        EXPECT_EQ(status(), std::string("The ") + (c.traffic ? "TrafficReader " : "WeatherReader") +
                                " has stopped with an error: sys error 32: bind of the datagram socket failed with "
                                "error: Address already in use (UDP port " +
                                std::to_string(port) + ")");
    }
    EXPECT_TRUE(logHas("Traffic Reader disconnected"));
    rtOnThisPc = true;
    gf_installAppHooks(AppHooks{});
}

TEST_F(ReaderLifecycleTest, runningReaderKeepsItsPortAndItsDatagrams)
{
    RecordingReader reader;
    RunningReader running(reader, false);
    ASSERT_TRUE(running.started);
    std::uint16_t bound = 0;
    const int intruder = socketOn(running.port(), bound);
    EXPECT_LT(intruder, 0) << "a second socket bound the reader's port";
    if (intruder >= 0)
        ::close(intruder);

    rtstub::RtStub stub(1, running.port());
    stub.sendWeather("still mine");
    EXPECT_TRUE(waitFor([&] { return reader.sizes().size() == 1; }));
}

TEST_F(ReaderLifecycleTest, datagramOf16383BytesIsAcceptedAnd16384IsNot)
{
    RecordingReader reader;
    RunningReader running(reader, false);
    ASSERT_TRUE(running.started);
    rtstub::RtStub stub(1, running.port());
    stub.sendWeather(std::string(16384, 'a'));
    stub.sendWeather(std::string(65507, 'z')); // the largest UDP datagram
    stub.sendWeather(std::string(16383, 'b'));
    stub.sendWeather(std::string(10, 'c'));
    ASSERT_TRUE(waitFor([&] { return reader.sizes().size() == 2; }));
    EXPECT_EQ(reader.sizes(), (std::vector<std::size_t>{16383, 10}));
    EXPECT_TRUE(logHas("buffer overrun: 16384 bytes"));
    EXPECT_TRUE(logHas("buffer overrun: 65507 bytes"));
    EXPECT_EQ(reader.datagramCount(), 2u) << "an overrun is not counted";
}

TEST_F(ReaderLifecycleTest, emptyDatagramsAreNoReceiveErrors)
{
    // Empty datagrams are valid UDP; taking them for a failing socket would
    // back off after each one, and twenty in a row would hold the reader for
    // about twelve seconds while real datagrams pile up and overflow.
    RecordingReader reader;
    RunningReader running(reader, false);
    ASSERT_TRUE(running.started);
    rtstub::RtStub stub(1, running.port());
    for (int i = 0; i < 20; ++i)
        stub.sendWeather("");
    stub.sendWeather("after the empty ones");
    EXPECT_TRUE(waitFor([&] { return reader.sizes().size() == 1; }));
    EXPECT_EQ(reader.sizes(), (std::vector<std::size_t>{20}));
    EXPECT_EQ(reader.datagramCount(), 1u) << "an empty datagram is not counted";
}

TEST_F(ReaderLifecycleTest, floodOfOversizedDatagramsIsLoggedWithinABudget)
{
    RecordingReader reader;
    RunningReader running(reader, false);
    ASSERT_TRUE(running.started);
    rtstub::RtStub stub(1, running.port());
    // In small batches, each closed by a small datagram that shows it was
    // handled, so that the socket's receive buffer never overflows.
    for (std::size_t batch = 1; batch <= 40; ++batch) {
        for (int i = 0; i < 3; ++i)
            stub.sendWeather(std::string(20000, 'o'));
        stub.sendWeather("marker");
        ASSERT_TRUE(waitFor([&] { return reader.sizes().size() == batch; }));
    }
    const std::string text = log();
    std::size_t overruns = 0;
    for (std::size_t at = text.find("buffer overrun: "); at != std::string::npos;
         at = text.find("buffer overrun: ", at + 1))
        ++overruns;
    EXPECT_GE(overruns, 1u);
    EXPECT_LE(overruns, 20u) << "120 oversized datagrams in a few seconds";
}

TEST_F(ReaderLifecycleTest, aliveCheckFollowsTheDatagrams)
{
    RecordingReader reader;
    RunningReader running(reader, false);
    ASSERT_TRUE(running.started);
    rtstub::RtStub stub(1, running.port());
    std::atomic<int> state{kReaderReceiving};

    EXPECT_TRUE(reader.checkAlive(state));
    EXPECT_EQ(state.load(), kReaderSilent);
    EXPECT_TRUE(reader.checkAlive(state)) << "still silent";
    EXPECT_EQ(state.load(), kReaderSilent);

    stub.sendWeather("x");
    ASSERT_TRUE(waitFor([&] { return reader.datagramCount() == 1; }));
    EXPECT_TRUE(reader.checkAlive(state));
    EXPECT_EQ(state.load(), kReaderReceiving);

    stub.sendWeather("y");
    ASSERT_TRUE(waitFor([&] { return reader.datagramCount() == 2; }));
    EXPECT_FALSE(reader.checkAlive(state)) << "receiving stays receiving without a repaint";
    EXPECT_EQ(state.load(), kReaderReceiving);
}

TEST_F(ReaderLifecycleTest, programReadersRunOnTheirOwnThreads)
{
    qnhReader.clearStop();
    std::thread weather([] { gf_qnhReaderThread(0); });
    ASSERT_TRUE(waitFor([] { return qnhReader.boundPort() != 0; }));
    EXPECT_TRUE(logHas("QNH Reader connected"));
    rtstub::RtStub stub(1, qnhReader.boundPort());
    stub.sendQnh(1024);
    EXPECT_TRUE(waitFor([] { return qnhValue.load() == 1024; }));
    qnhReader.stop();
    weather.join();
    EXPECT_TRUE(logHas("QNH Reader has stopped"));
    EXPECT_EQ(runningThreads.load(), 0);

    trafficReader.clearStop();
    std::thread traffic([] { gf_trafficReaderThread(0); });
    ASSERT_TRUE(waitFor([] { return trafficReader.boundPort() != 0; }));
    trafficReader.stop();
    traffic.join();
    EXPECT_EQ(trafficReaderState.load(), kReaderStopped);
}

TEST_F(ReaderLifecycleTest, aliveCheckWaitsForTheLink)
{
    // Datagrams that earlier tests handed the program's readers would count as
    // life since the last check.
    gf_resetTrafficInput();
    realTrafficConnected = false;
    trafficReaderState = kReaderReceiving;
    weatherReaderState = kReaderReceiving;
    gf_checkReadersAlive();
    EXPECT_EQ(trafficReaderState.load(), kReaderReceiving);
    realTrafficConnected = true;
    gf_checkReadersAlive();
    EXPECT_EQ(trafficReaderState.load(), kReaderSilent);
    EXPECT_EQ(weatherReaderState.load(), kReaderSilent);
    realTrafficConnected = false;
}

TEST_F(ReaderLifecycleTest, restartResetsTheTrafficInput)
{
    trafficQueue.setIntakeOpen(false);
    trafficReader.setUserPosition(rtstub::kZurichLatitude, rtstub::kZurichLongitude);
    trafficReader.startCollecting();
    trafficReader.handleDatagramText(rtstub::TrafficLine::airborne().text());
    EXPECT_NE(trafficReader.timestamp(), 0);
    EXPECT_FALSE(trafficReader.collectedCallsigns().empty());
    qnhReader.handleDatagramText(R"({"QNH": 1020})");
    EXPECT_EQ(qnhReader.lastQnh(), 1020);
    trafficReader.stop();
    qnhReader.stop();

    gf_resetTrafficInput();
    EXPECT_EQ(trafficReader.timestamp(), 0);
    EXPECT_TRUE(trafficReader.collectedCallsigns().empty());
    EXPECT_FALSE(trafficReader.stopRequested());
    EXPECT_FALSE(qnhReader.stopRequested());
    EXPECT_EQ(qnhReader.lastQnh(), 1013);
    EXPECT_EQ(qnhReader.datagramCount(), 0u);
}

TEST(TrafficQueueBound, oldestRecordsGiveWayAndAreCounted)
{
    testsupport::TempDir dir(true);
    gf_openLog();
    TrafficQueue queue(3);
    queue.setIntakeOpen(true);
    for (std::uint32_t id = 1; id <= 5; ++id)
        EXPECT_TRUE(queue.push(recordWithId(id)));
    EXPECT_EQ(queue.size(), 3u);
    EXPECT_EQ(queue.droppedCount(), 2u);
    TrafficRecord record;
    ASSERT_TRUE(queue.pop(record));
    EXPECT_EQ(record.hexid, 3u);
    gf_closeLog();
    const std::string log = testsupport::readFile(dir / "Log.txt");
    EXPECT_NE(log.find("traffic queue full: 1 oldest records dropped (1 in all)"), std::string::npos);
    EXPECT_EQ(log.find("(2 in all)"), std::string::npos) << "at most one line a minute";
}

TEST(TrafficQueueBound, closedIntakeQueuesNothingAndExpiryFollowsTheTicks)
{
    TrafficQueue queue;
    EXPECT_FALSE(queue.push(recordWithId(20000)));
    EXPECT_EQ(queue.size(), 0u);
    queue.setIntakeOpen(true);
    liveTickCounter = 123;
    EXPECT_TRUE(queue.push(recordWithId(20000)));
    TrafficRecord record;
    ASSERT_TRUE(queue.pop(record));
    EXPECT_EQ(record.expiryTick, 3123u);
    EXPECT_FALSE(queue.pop(record));
}
