// The TCP server on its own: set-up failures, accept, send and receive, and
// closing from another thread, over real loopback TCP.

#include "rt_link_fixture.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/number_text.hpp"
#include "platform/stream_socket.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <future>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace tzo;
using testsupport::RtLinkTest;
using testsupport::waitFor;

namespace {

// A plain client socket, for what the stand-in does not do by itself.
platform::StreamSocket connectTo(std::uint16_t port)
{
    std::error_code ec;
    return platform::StreamSocket::connectTcp(platform::IpFamily::V4, "", std::to_string(port), std::chrono::seconds(5),
                                              ec);
}

unsigned setupFailureCode(const std::string& port, std::string& message)
{
    try {
        createServer(port);
    } catch (const SysErrorException& e) {
        message = e.what();
        return e.code();
    }
    return 999;
}

using ServerTest = RtLinkTest;

} // namespace

TEST_F(ServerTest, listensOnTheLoopbackAddressOnly)
{
    ASSERT_TRUE(serverListening());
    ASSERT_NE(port, 0);
    auto client = connectTo(port);
    ASSERT_TRUE(client.valid());
    EXPECT_TRUE(waitForClient(std::chrono::seconds(5)));
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ASSERT_EQ(::getpeername(client.fd(), reinterpret_cast<sockaddr*>(&local), &length), 0);
    EXPECT_EQ(ntohl(local.sin_addr.s_addr), INADDR_LOOPBACK);
    client.close();
}

TEST_F(ServerTest, portInUseFailsWithBindCode)
{
    // A second server on the port of a listening one.
    const int other = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(other, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(other, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(other, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string busyPort = std::to_string(ntohs(address.sin_port));

    std::string message;
    EXPECT_EQ(setupFailureCode(busyPort, message), 5u);
    // The system's words, without the Windows number.
    EXPECT_EQ(message, "sys error 5: Bind failed at port " + busyPort + " with error Address already in use");
    EXPECT_FALSE(serverListening()) << "nothing is left listening after a failure";
    ::close(other);
}

TEST_F(ServerTest, unknownPortTextOrAPortBeyondTheRangeFailsAtTheAddressStep)
{
    // 99999 must not become 34463 (99999 modulo 65536).
    for (const char* text : {"no-such-service", "99999", "65536", "18446744073709551617"}) {
        SCOPED_TRACE(text);
        std::string message;
        EXPECT_EQ(setupFailureCode(text, message), 1u);
        EXPECT_TRUE(message.starts_with("sys error 1: getaddrinfo failed with error ")) << message;
        EXPECT_FALSE(serverListening());
    }
}

TEST_F(ServerTest, aPortNumberSettingThatIsNoPortIsTheUsersErrorNamingIt)
{
    closeServer();
    // " 99999" and "+99999" once reached the resolver, which wrapped them to
    // 34463; "0" listened on a random port that RealTraffic never finds.
    for (const char* value : {" 99999", "+1", "0", "65536", "+99999", "no-such-service", ""}) {
        SCOPED_TRACE(value);
        PORT_NUMBER.setValue(value);
        try {
            gf_startRealTrafficServer();
            ADD_FAILURE() << "taken as a port";
        } catch (const UserErrorException& e) {
            EXPECT_EQ(e.code(), 44);
            EXPECT_NE(std::string(e.what()).find(std::string("PORT_NUMBER \"") + value + "\" is no port"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_FALSE(serverListening());
    }
    // Blanks around a whole number are no mistake.
    PORT_NUMBER.setValue(" " + std::to_string(port) + " ");
    EXPECT_TRUE(gf_startRealTrafficServer());
    EXPECT_EQ(serverPort(), port);
}

TEST_F(ServerTest, closeWithoutClientSendsNothingAndStopsListening)
{
    closeServer();
    EXPECT_FALSE(serverListening());
    EXPECT_FALSE(connectTo(port).valid()) << "the port no longer accepts";
    EXPECT_FALSE(logHas("sendDataPacket"));
    closeServer(); // a second close is harmless
}

TEST_F(ServerTest, closeWakesABlockedAccept)
{
    auto waiting = std::async(std::launch::async, [] { return waitForClient(); });
    // The accept may not have begun yet; a close before or during it ends it either way.
    closeServer();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    EXPECT_FALSE(rtConnected.load());
}

TEST_F(ServerTest, checkWithoutWaitingClientReturnsAtOnce)
{
    auto check = std::async(std::launch::async, [] { return waitForClient(std::chrono::milliseconds(0)); });
    ASSERT_EQ(check.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(check.get());
    auto client = connectTo(port);
    EXPECT_TRUE(waitFor([] { return waitForClient(std::chrono::milliseconds(0)); }));
    EXPECT_FALSE(waitForClient(std::chrono::milliseconds(0))) << "one client at a time";
    client.close();
}

TEST_F(ServerTest, receiveStopsAtAZeroByteAndAtTheTimeout)
{
    auto client = connectTo(port);
    ASSERT_TRUE(waitForClient(std::chrono::seconds(5)));
    const Reply none = receiveReply(std::chrono::milliseconds(20));
    EXPECT_TRUE(none.text.empty() && !none.closed) << "nothing sent yet";
    const char bytes[] = {'a', 'b', '\0', 'c'};
    ASSERT_EQ(::send(client.fd(), bytes, sizeof bytes, 0), 4);
    EXPECT_EQ(receiveReply(std::chrono::seconds(5)).text, "ab");
    client.close();
    EXPECT_TRUE(receiveReply(std::chrono::seconds(5)).closed) << "closed by the peer";
}

TEST_F(ServerTest, largeTextArrivesWhole)
{
    rtstub::TcpLink link(stubOptions());
    link.start();
    ASSERT_TRUE(waitForClient(std::chrono::seconds(5)));
    // Larger than the socket buffers: the send goes on after partial writes.
    const std::string big(4 << 20, 'x');
    ASSERT_TRUE(sendDataPacket(big + "\r\n"));
    ASSERT_TRUE(waitFor([&] { return link.lines().size() == 1; }));
    EXPECT_EQ(link.lines()[0].size(), big.size());
}

TEST_F(ServerTest, lostClientFailsTheSendOnceAndIsClosed)
{
    auto client = connectTo(port);
    ASSERT_TRUE(waitForClient(std::chrono::seconds(5)));
    client.close();
    // The first write after the peer's close may still be taken by the
    // system; a later one fails.
    EXPECT_TRUE(waitFor([] { return !sendDataPacket("Qs121=1;2;3;4;5;6;7\r\n"); }));
    EXPECT_FALSE(rtConnected.load());
    EXPECT_TRUE(logHas("sendDataPacket to RealTraffic failed: "));
    EXPECT_TRUE(logHas("RealTraffic client socket closed"));
    EXPECT_FALSE(sendDataPacket("x")) << "no client any more";

    // A new client is accepted.
    auto again = connectTo(port);
    EXPECT_TRUE(waitForClient(std::chrono::seconds(5)));
    EXPECT_TRUE(rtConnected.load());
    again.close();
}

TEST_F(ServerTest, closeWhileAnotherThreadSendsClosesOnce)
{
    rtstub::TcpLink link(stubOptions());
    link.start();
    ASSERT_TRUE(waitForClient(std::chrono::seconds(5)));
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        while (!stop.load() && sendDataPacket("Qs121=1;2;3;4;5;6;7\r\n")) {
        }
    });
    ASSERT_TRUE(waitFor([&] { return !link.positions().empty(); }));
    closeServer();
    stop = true;
    sender.join();
    EXPECT_FALSE(rtConnected.load());
    EXPECT_TRUE(waitFor([&] { return link.exits() == 1; }));
    EXPECT_TRUE(link.badLines().empty()) << "lines never interleave: " << link.badLines().front();
}
