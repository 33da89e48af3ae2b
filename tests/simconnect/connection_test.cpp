// The client against the stand-in over real transports: opening in the
// configured order, dispatch, framing on the wire, failures and closing.

#include "sim_fixture.hpp"
#include "simconnect/connection.hpp"
#include "simconnect/messages.hpp"
#include "platform/pipe.hpp"
#include "foundation/app_hooks.hpp"

#include <sys/ioctl.h>
#include <sys/socket.h>

#include <atomic>
#include <mutex>
#include <thread>

using simtest::Received;
using simtest::u32At;
namespace simfail = tzo::simfail;

namespace {

// A loopback port with nobody listening on it.
std::string deadPort(platform::IpFamily family)
{
    std::error_code ec;
    auto l = platform::StreamListener::listenTcpLoopback(family, 0, ec);
    return std::to_string(l.port());
}

simstub::Options tcpOnly(bool ipv4, bool ipv6)
{
    simstub::Options o;
    o.listenPipe = false;
    o.listenIpv4 = ipv4;
    o.listenIpv6 = ipv6;
    return o;
}

// A connection whose far end is the test itself, so that it can stop reading,
// read slowly and check the stream byte for byte: over a local socket, whose
// waiting bytes the peer can count, or over TCP, which takes part of a write
// at any byte.
class PeerStream {
public:
    explicit PeerStream(bool tcp = false)
    {
        platform::StreamSocket near;
        if (tcp) {
            std::error_code ec;
            auto listener = platform::StreamListener::listenTcpLoopback(platform::IpFamily::V4, 0, ec);
            near = platform::StreamSocket::connectTcp(platform::IpFamily::V4, "127.0.0.1",
                                                      std::to_string(listener.port()), std::chrono::seconds(5), ec);
            m_peer = listener.accept(ec);
            // Small buffers: the stream is full again and again, and takes part of a packet.
            const int small = 16384;
            ::setsockopt(near.fd(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
            near.setNoDelay(true);
        } else {
            int fds[2];
            EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
            near = platform::StreamSocket(fds[0]);
            m_peer = platform::StreamSocket(fds[1]);
        }
        EXPECT_TRUE(near.valid() && m_peer.valid());
        // A pipe for the link test: the peer sends nothing, and a socket would fail it.
        m_connection = std::make_shared<tzo::SimConnectConnection>(
            std::move(near), tzo::SimConnectConnection::TransportKind::Pipe, 41088);
    }
    ~PeerStream()
    {
        m_connection->close();
        m_peer.shutdown();
        if (m_reader.joinable())
            m_reader.join();
    }
    tzo::SimConnectConnection& connection() { return *m_connection; }

    // With the send lock held: one packet of size bytes, each byte its own;
    // true when it was taken, and then it must reach the peer.
    bool send(std::uint32_t size)
    {
        std::uint8_t* packet = nullptr;
        std::uint32_t id = 0;
        if (m_connection->allocate(size, packet, id) != tzo::AllocateResult::Ok)
            return false;
        std::vector<std::uint8_t> bytes(size);
        simtest::putU32(bytes, 0, size);
        simtest::putU32(bytes, 4, 4);
        simtest::putU32(bytes, 8, 0xF0000001u);
        simtest::putU32(bytes, 12, id);
        for (std::uint32_t i = 16; i < size; ++i)
            bytes[i] = static_cast<std::uint8_t>(id * 131 + i * 7 + (i >> 8));
        std::memcpy(packet, bytes.data(), size);
        if (!m_connection->flush()) {
            EXPECT_NE(m_connection->lastSentPacketId(), id) << "a refused packet is not the last one sent";
            ++m_refused;
            return false;
        }
        EXPECT_EQ(m_connection->lastSentPacketId(), id);
        m_expected.insert(m_expected.end(), bytes.begin(), bytes.end());
        return true;
    }
    std::size_t refused() const { return m_refused; }
    std::size_t taken() const { return m_expected.size(); }
    // Bytes taken by the connection that are not in the peer's socket yet.
    std::size_t unwritten() const
    {
        int waiting = 0;
        ::ioctl(m_peer.fd(), FIONREAD, &waiting);
        return m_expected.size() - static_cast<std::size_t>(waiting);
    }

    // The peer reads, in pieces of piece bytes.
    void startReading(std::size_t piece)
    {
        m_reader = std::thread([this, piece] {
            std::vector<std::uint8_t> chunk(piece);
            std::error_code ec;
            long n = 0;
            while ((n = m_peer.receive(chunk.data(), chunk.size(), ec)) > 0) {
                std::lock_guard lock(m_mutex);
                m_received.insert(m_received.end(), chunk.begin(), chunk.begin() + n);
            }
        });
    }
    // Waits until everything taken has arrived; the stream is then exactly
    // the packets taken, in order.
    void expectStreamIsWhatWasTaken()
    {
        const auto arrived = [this] {
            std::lock_guard lock(m_mutex);
            return m_received.size() >= m_expected.size();
        };
        EXPECT_TRUE(testsupport::waitFor(arrived, std::chrono::seconds(120)));
        std::lock_guard lock(m_mutex);
        ASSERT_EQ(m_received.size(), m_expected.size());
        const auto wrong = std::mismatch(m_received.begin(), m_received.end(), m_expected.begin());
        EXPECT_TRUE(wrong.first == m_received.end())
            << "first wrong byte at " << (wrong.first - m_received.begin()) << " of " << m_expected.size();
    }

private:
    std::shared_ptr<tzo::SimConnectConnection> m_connection;
    platform::StreamSocket m_peer;
    std::thread m_reader;
    std::mutex m_mutex;
    std::vector<std::uint8_t> m_received;
    std::vector<std::uint8_t> m_expected;
    std::size_t m_refused = 0;
};

// Sizes that put the ends of partial writes at ever other offsets.
std::uint32_t packetSize(std::size_t k)
{
    return 16 + static_cast<std::uint32_t>((k * 2654435761u) % 2900) / 4 * 4;
}

class Connection : public simtest::SimWorld {
protected:
    tzo::SimConnectConnection& connection() { return *static_cast<tzo::SimConnectConnection*>(m_handle); }

    bool dispatchUntilFailed(SimConnectResult status, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        return dispatchUntil([&](const Received&) { return m_lastDispatch == status; }, timeout);
    }
};

TEST_F(Connection, openAnswerNamesTheSimulator)
{
    simstub::Options o;
    o.applicationName = "Lockheed Martin Prepar3D v6";
    o.versionMajor = 6;
    o.versionMinor = 1;
    startStub(o);
    openAndAwaitOpen();
    EXPECT_EQ(connection().transportKind(), tzo::SimConnectConnection::TransportKind::Pipe);
    const auto& m = m_received.messages.front();
    const auto open = tzo::gf_readRecvOpen(m.data(), static_cast<std::uint32_t>(m.size()));
    ASSERT_TRUE(open.has_value());
    EXPECT_EQ(open->applicationName, "Lockheed Martin Prepar3D v6");
    EXPECT_EQ(open->applicationVersionMajor, 6u);
    EXPECT_EQ(open->applicationVersionMinor, 1u);
    EXPECT_EQ(m_lastDispatch, SIMCONNECT_S_OK);
}

TEST_F(Connection, framesArriveAndPacketsAreStampedWithTheirFrame)
{
    auto& stub = startStub();
    openAndAwaitOpen();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_handle, 204, "Frame"), 0);
    ASSERT_TRUE(packetWithSendId(lastSendId()).has_value());
    stub.stepFrames(3);
    ASSERT_TRUE(dispatchUntil([](const Received& r) { return r.countOf(SIMCONNECT_RECV_ID_EVENT_FRAME) == 3; }));
    for (const auto& m : m_received.messages) {
        if (u32At(m, 8) != SIMCONNECT_RECV_ID_EVENT_FRAME)
            continue;
        EXPECT_EQ(m.size(), 36u);
        const auto f = tzo::gf_readRecvEventFrame(m.data(), static_cast<std::uint32_t>(m.size()));
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->event.eventId, 204u);
        EXPECT_EQ(f->frameRate, 30.0f);
    }
    ASSERT_EQ(SimConnect_AIRemoveObject(m_handle, 50, 105), 0);
    const auto p = packetWithSendId(lastSendId());
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->frame, 3u);
    EXPECT_EQ(stub.packetsNamed("SubscribeToSystemEvent").at(0).frame, 0u);
}

TEST_F(Connection, freeRunningFramesKeepComing)
{
    simstub::Options o;
    o.frameInterval = std::chrono::milliseconds(5);
    startStub(o);
    openAndAwaitOpen();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_handle, 204, "Frame"), 0);
    EXPECT_TRUE(dispatchUntil([](const Received& r) { return r.countOf(SIMCONNECT_RECV_ID_EVENT_FRAME) >= 10; }));
}

TEST_F(Connection, eventsExceptionsAndQuitAreDispatched)
{
    auto& stub = startStub();
    openAndAwaitOpen();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_handle, 201, "Sim"), 0);
    ASSERT_TRUE(packetWithSendId(lastSendId()).has_value());
    stub.sendSystemEvent("Sim", 1);
    stub.sendException(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 77, 3);
    stub.sendQuit();
    ASSERT_TRUE(dispatchUntil([](const Received& r) { return r.countOf(SIMCONNECT_RECV_ID_QUIT) == 1; }));
    ASSERT_EQ(m_received.messages.size(), 4u);
    const auto& event = m_received.messages[1];
    EXPECT_EQ(event.size(), 28u) << "EVENT with its trailing flags";
    const auto e = tzo::gf_readRecvEvent(event.data(), 28);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->eventId, 201u);
    EXPECT_EQ(e->data, 1u);
    const auto& ex = m_received.messages[2];
    const auto x = tzo::gf_readRecvException(ex.data(), static_cast<std::uint32_t>(ex.size()));
    ASSERT_TRUE(x.has_value());
    EXPECT_EQ(x->exception, 22u);
    EXPECT_EQ(x->sendId, 77u);
    EXPECT_EQ(x->index, 3u);
    EXPECT_EQ(m_received.messages[3].size(), 12u);
}

TEST_F(Connection, closeEndsTheStreamAndTheHandle)
{
    auto& stub = startStub();
    openAndAwaitOpen();
    ASSERT_EQ(SimConnect_Close(m_handle), SIMCONNECT_S_OK);
    EXPECT_TRUE(testsupport::waitFor([&] { return stub.clientState().closedByClient; }));
    EXPECT_EQ(SimConnect_Close(m_handle), SIMCONNECT_E_FAIL) << "the handle is gone";
    EXPECT_EQ(SimConnect_CallDispatch(m_handle, &Received::collect, &m_received), SIMCONNECT_E_FAIL);
    m_handle = nullptr;
}

TEST_F(Connection, theEndOfTheStreamFailsTheConnectionWithItsCategory)
{
    enum class End { close, drop, sizeTwo, sizeTooLarge };
    struct Case {
        const char* what;
        bool socket;
        End end;
        SimConnectResult status;
        unsigned category;
    };
    const Case cases[] = {
        {"remote close of the pipe", false, End::close, static_cast<SimConnectResult>(simfail::kStatusPipeBroken),
         simfail::kDisconnected},
        {"remote close of a socket", true, End::close, static_cast<SimConnectResult>(simfail::kStatusZeroRead),
         simfail::kZeroRead},
        {"abrupt drop of a socket", true, End::drop, static_cast<SimConnectResult>(simfail::kStatusConnectionReset),
         simfail::kDisconnected},
        {"size word of two", false, End::sizeTwo, SIMCONNECT_E_ABORT, simfail::kBadSize},
        {"size above the maximum", false, End::sizeTooLarge, SIMCONNECT_E_ABORT, simfail::kTooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_received = {};
        simstub::SimStub& stub = startStub(c.socket ? tcpOnly(true, false) : simstub::Options{});
        writeRegistryPorts(c.socket ? std::to_string(stub.ipv4Port()) : "", "");
        openAndAwaitOpen();
        EXPECT_EQ(connection().transportKind(), c.socket ? tzo::SimConnectConnection::TransportKind::Socket
                                                         : tzo::SimConnectConnection::TransportKind::Pipe);
        switch (c.end) {
        case End::close:
            stub.sendQuit();
            stub.closeConnections();
            break;
        case End::drop:
            stub.dropConnections();
            break;
        case End::sizeTwo:
            stub.sendRaw({2, 0, 0, 0, 1, 1, 1, 1});
            break;
        case End::sizeTooLarge:
            stub.sendRaw({0x81, 0xA0, 0, 0, 1, 1, 1, 1}); // 41089
            break;
        }
        ASSERT_TRUE(dispatchUntilFailed(c.status));
        EXPECT_EQ(connection().failure().category, c.category);
        if (c.end == End::close) {
            EXPECT_EQ(m_received.countOf(SIMCONNECT_RECV_ID_QUIT), 1u) << "what came before the end is still dispatched";
        }
        // Every later call answers the stored status and sends nothing.
        EXPECT_EQ(SimConnect_ClearDataDefinition(m_handle, 1), c.status);
        SimConnect_Close(m_handle);
        m_handle = nullptr;
    }
}

TEST_F(Connection, silentSocketFailsTheLinkTestAfterFourSeconds)
{
    simstub::Options o = tcpOnly(true, false);
    o.answerOpen = false;
    auto& stub = startStub(o);
    writeRegistryPorts(std::to_string(stub.ipv4Port()), "");
    ASSERT_EQ(SimConnect_Open(&m_handle, "Norvane_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_S_OK);
    EXPECT_EQ(connection().transportKind(), tzo::SimConnectConnection::TransportKind::Socket);

    // A pipe to an equally silent simulator, opened now, has no such test.
    simstub::Options mutePipe;
    mutePipe.answerOpen = false;
    simstub::SimStub pipeStub(mutePipe);
    std::string error;
    ASSERT_TRUE(pipeStub.start(error)) << error;
    SimConnectHandle pipeHandle = nullptr;
    ASSERT_EQ(SimConnect_Open(&pipeHandle, "Norvane_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_S_OK);
    EXPECT_EQ(static_cast<tzo::SimConnectConnection*>(pipeHandle)->transportKind(),
              tzo::SimConnectConnection::TransportKind::Pipe);

    ASSERT_TRUE(dispatchUntilFailed(static_cast<SimConnectResult>(simfail::kStatusLinkTest), std::chrono::seconds(8)));
    EXPECT_EQ(connection().failure().category, simfail::kLinkTest);
    EXPECT_FALSE(connection().receivedAnything());
    EXPECT_EQ(SimConnect_AIRemoveObject(m_handle, 50, 105), static_cast<SimConnectResult>(simfail::kStatusLinkTest));

    EXPECT_EQ(SimConnect_CallDispatch(pipeHandle, &Received::collect, &m_received), SIMCONNECT_S_OK);
    EXPECT_EQ(SimConnect_Close(pipeHandle), SIMCONNECT_S_OK);
}

TEST_F(Connection, exceptionOfTheProcedurePassesThroughDispatch)
{
    auto& stub = startStub();
    openAndAwaitOpen();
    stub.sendQuit();
    stub.sendQuit();
    struct Thrower {
        static void proc(SimConnectRecv*, std::uint32_t, void* context)
        {
            ++*static_cast<int*>(context);
            throw std::runtime_error("handler failed");
        }
    };
    int calls = 0;
    ASSERT_TRUE(testsupport::waitFor([&] {
        try {
            SimConnect_CallDispatch(m_handle, &Thrower::proc, &calls);
        } catch (const std::runtime_error&) {
        }
        return calls == 2;
    })) << "each message reaches the procedure once, the one that threw is not handed over again";
    EXPECT_EQ(SimConnect_CallDispatch(m_handle, &Thrower::proc, &calls), SIMCONNECT_S_OK);
    EXPECT_EQ(calls, 2);
}

TEST_F(Connection, framingOnTheWireSkipsPaddingAndGrowsTheBuffer)
{
    auto& stub = startStub();
    openAndAwaitOpen();
    std::vector<std::uint8_t> big(20000, 0x5A);
    simtest::putU32(big, 0, 20000);
    simtest::putU32(big, 4, 35);
    simtest::putU32(big, 8, 99);
    std::vector<std::uint8_t> stream(8, 0);
    const std::vector<std::uint8_t> tooShortForAHeader = {8, 0, 0, 0, 1, 2, 3, 4};
    stream.insert(stream.end(), tooShortForAHeader.begin(), tooShortForAHeader.end());
    stream.insert(stream.end(), big.begin(), big.end());
    stub.sendRaw(stream);
    ASSERT_TRUE(dispatchUntil([](const Received& r) { return r.countOf(99) == 1; }));
    ASSERT_EQ(m_received.messages.size(), 2u) << "OPEN and the long one; an 8-byte message is not handed over";
    EXPECT_EQ(m_received.messages.back(), big);
    EXPECT_GE(connection().receiveBufferCapacity(), 20000u);
    EXPECT_EQ(m_lastDispatch, 0);
}

// The reader queues what it read before it records the end of the stream. A
// dispatch that meets the end must still hand over what came just before it,
// or the caller, who closes on the failure, never sees the QUIT or EXCEPTION.
TEST_F(Connection, lastMessageBeforeTheEndIsDispatchedWithTheFailure)
{
    auto& stub = startStub();
    constexpr int kRounds = 600;
    int lost = 0;
    for (int round = 0; round < kRounds && !HasFatalFailure(); ++round) {
        m_received = {};
        openAndAwaitOpen();
        const bool quit = round % 2 == 0;
        std::thread peer([&] {
            if (quit)
                stub.sendQuit();
            else
                stub.sendException(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 7, 1);
            stub.closeConnections();
        });
        // Dispatch as fast as it goes, so that some dispatch falls between the
        // queueing and the failure.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        SimConnectResult result = SIMCONNECT_S_OK;
        while (result == SIMCONNECT_S_OK && std::chrono::steady_clock::now() < deadline)
            result = SimConnect_CallDispatch(m_handle, &Received::collect, &m_received);
        peer.join();
        EXPECT_EQ(result, static_cast<SimConnectResult>(simfail::kStatusPipeBroken));
        lost += m_received.countOf(quit ? SIMCONNECT_RECV_ID_QUIT : SIMCONNECT_RECV_ID_EXCEPTION) != 1;
        SimConnect_Close(m_handle);
        m_handle = nullptr;
    }
    EXPECT_EQ(lost, 0) << "of " << kRounds << " rounds";
}

TEST_F(Connection, eventHandleIsSignalledForReceivedMessages)
{
    struct Counter : SimConnectSignal {
        std::atomic<int> count{0};
        void signal() override { ++count; }
    } counter;
    startStub();
    ASSERT_EQ(SimConnect_Open(&m_handle, "Norvane_P3D", nullptr, 0, &counter, 0), SIMCONNECT_S_OK);
    EXPECT_TRUE(testsupport::waitFor([&] { return counter.count > 0; }));
    SimConnect_Close(m_handle);
    m_handle = nullptr;
}

TEST_F(Connection, openRefusesBadArgumentsAndAbsentSimulator)
{
    EXPECT_EQ(SimConnect_Open(nullptr, "x", nullptr, 0, nullptr, 0), SIMCONNECT_E_INVALIDARG);
    EXPECT_EQ(SimConnect_Open(&m_handle, nullptr, nullptr, 0, nullptr, 0), SIMCONNECT_E_INVALIDARG);
    EXPECT_EQ(SimConnect_Open(&m_handle, "x", nullptr, 0, nullptr, 4), SIMCONNECT_E_INVALIDARG)
        << "no section SimConnect.4 anywhere";
    EXPECT_EQ(SimConnect_Open(&m_handle, "x", nullptr, 0, nullptr, 0), SIMCONNECT_E_FAIL) << "nobody listens";
    EXPECT_EQ(m_handle, nullptr);
    const std::string longName(256, 'n');
    startStub();
    EXPECT_EQ(SimConnect_Open(&m_handle, longName.c_str(), nullptr, 0, nullptr, 0), SIMCONNECT_E_TEXT_TOO_LONG);
    EXPECT_EQ(m_handle, nullptr);
}

TEST_F(Connection, aPipePathTooLongForASocketIsAnErrorSaidOnceWithItsPath)
{
    // A pipe folder so deep that the simulator's pipe cannot be a socket in it:
    // once the client waited for ever without a word.
    const auto deep = dir() / std::string(100, 'd');
    testsupport::ScopedEnv pipes("NORVANE_PIPE_DIR", deep.string());
    static std::vector<std::string> errors;
    errors.clear();
    const AppHooks before = gf_appHooks();
    AppHooks hooks = before;
    hooks.showError = [](std::string_view text) { errors.emplace_back(text); };
    gf_installAppHooks(hooks);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(SimConnect_Open(&m_handle, "x", nullptr, 0, nullptr, 0), SIMCONNECT_E_FAIL);
    gf_installAppHooks(before);
    const std::string path = (deep / "Lockheed Martin Prepar3D v5_SimConnect").string();
    ASSERT_EQ(errors.size(), 1u) << "said once, not at every try";
    EXPECT_EQ(errors[0], "pipe path too long: " + path + " has " + std::to_string(path.size()) +
                             " bytes, a local socket path at most 107; set NORVANE_PIPE_DIR to a shorter folder");
}

// The order of the transports is the plan's, tested without sockets; here a
// transport that does not answer hands over to the next.
TEST_F(Connection, autoFallsBackToIpv4WhenIpv6DoesNotAnswer)
{
    auto& v4 = startStub(tcpOnly(true, false));
    writeRegistryPorts(std::to_string(v4.ipv4Port()), deadPort(platform::IpFamily::V6));
    openAndAwaitOpen();
    EXPECT_EQ(v4.connectionCount(), 1u);
}

TEST_F(Connection, otherAddressesGetNoLocalFallback)
{
    auto& pipeStub = startStub();
    simstub::SimStub v4(tcpOnly(true, false));
    std::string error;
    ASSERT_TRUE(v4.start(error)) << error;
    writeRegistryPorts(std::to_string(v4.ipv4Port()), "");
    // Loopback addresses written otherwise than the client's own loopback texts:
    // they count as other machines, so a failure there ends the open.
    const std::vector<std::string> configs = {
        "Protocol=IPv4\nAddress=127.0.0.2\nPort=" + deadPort(platform::IpFamily::V4),
        "Protocol=IPv6\nAddress=0:0:0:0:0:0:0:1\nPort=" + deadPort(platform::IpFamily::V6),
        "Protocol=Auto\nAddress=simpc\n",
    };
    for (const auto& c : configs) {
        SCOPED_TRACE(c);
        testsupport::writeFile(dir() / "SimConnect.cfg", "[SimConnect]\n" + c + "\n");
        EXPECT_EQ(SimConnect_Open(&m_handle, "Norvane_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_E_FAIL);
        EXPECT_EQ(m_handle, nullptr);
    }
    EXPECT_EQ(pipeStub.connectionCount(), 0u);
    EXPECT_EQ(v4.connectionCount(), 0u);
}

TEST_F(Connection, standInAnswersBrokenPacketsWithExceptions)
{
    auto& stub = startStub();
    std::error_code ec;
    auto socket = platform::connectPipe(stub.options().pipeName, std::chrono::milliseconds(100), ec);
    ASSERT_TRUE(socket.valid()) << ec.message();
    std::vector<std::uint8_t> packet(20, 0);
    simtest::putU32(packet, 0, 20);
    simtest::putU32(packet, 4, 34); // an old protocol version
    simtest::putU32(packet, 8, 0xF000000D);
    simtest::putU32(packet, 12, 9);
    ASSERT_TRUE(socket.sendAll(packet.data(), packet.size(), ec));
    std::uint8_t answer[24];
    std::size_t got = 0;
    while (got < sizeof answer) {
        const long n = socket.receive(answer + got, sizeof answer - got, ec);
        ASSERT_GT(n, 0);
        got += static_cast<std::size_t>(n);
    }
    const std::vector<std::uint8_t> bytes(answer, answer + 24);
    EXPECT_EQ(u32At(bytes, 8), SIMCONNECT_RECV_ID_EXCEPTION);
    EXPECT_EQ(u32At(bytes, 12), SIMCONNECT_EXCEPTION_VERSION_MISMATCH);
    EXPECT_EQ(u32At(bytes, 16), 9u);
    ASSERT_EQ(stub.protocolErrors().size(), 1u);
    EXPECT_NE(stub.protocolErrors()[0].find("version 34"), std::string::npos);
}

} // namespace

// A simulator that stops reading: every packet, sent alone or in a burst,
// either reaches it later byte for byte or is refused at its own flush; what
// waits for it (the writer's batch too) stays within the queue's bound.
TEST(ConnectionStream, aPeerThatStopsReadingGetsEveryPacketTakenAndNoMoreThanTheBound)
{
    constexpr std::size_t kLimit = tzo::SimConnectConnection::kSendQueueLimit;
    for (const bool burst : {false, true}) {
        SCOPED_TRACE(burst ? "as a burst" : "one by one");
        PeerStream stream;
        std::size_t k = 0;
        {
            std::lock_guard lock(tzo::gf_simConnectSendLock());
            if (burst)
                stream.connection().holdWrites();
            // Until well past the bound, and on for a while after the first refusal.
            while (stream.refused() < 200 && k < 3 * kLimit / 1000)
                stream.send(packetSize(k++));
            if (burst) {
                EXPECT_TRUE(stream.connection().releaseWrites());
            }
        }
        EXPECT_EQ(stream.refused(), 200u) << "the queue refused nothing";
        EXPECT_LE(stream.unwritten(), kLimit) << "taken: " << stream.taken();
        EXPECT_GE(stream.taken(), kLimit - 41088) << "refused long before the bound";
        stream.startReading(65536);
        stream.expectStreamIsWhatWasTaken();
    }
}

// A slow reader makes the stream take part of a write again and again; the
// rest of each follows from where it stopped. Bursts of ever more packets
// into an empty stream that takes only part of them cut it at every place
// of their last buffer.
TEST(ConnectionStream, theRestOfEachPartialWriteArrivesByteForByte)
{
    for (std::size_t n = 60; n < 300; ++n) {
        SCOPED_TRACE(n);
        PeerStream burst;
        {
            std::lock_guard lock(tzo::gf_simConnectSendLock());
            burst.connection().holdWrites();
            for (std::size_t k = 0; k < n; ++k)
                burst.send(2000);
            burst.connection().releaseWrites();
        }
        burst.startReading(65536);
        burst.expectStreamIsWhatWasTaken();
        if (HasFailure())
            return;
    }

    PeerStream stream(true);
    stream.startReading(733);
    for (std::size_t k = 0; k < 40000;) {
        std::lock_guard lock(tzo::gf_simConnectSendLock());
        const bool burst = (k / 50) % 2 == 1;
        if (burst)
            stream.connection().holdWrites();
        for (const std::size_t end = k + 50; k < end; ++k)
            stream.send(packetSize(k));
        if (burst)
            stream.connection().releaseWrites();
    }
    stream.expectStreamIsWhatWasTaken();
}
