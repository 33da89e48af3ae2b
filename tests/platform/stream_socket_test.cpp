#include "platform/stream_socket.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

TEST(StreamSocket, tcpConnectReachesALoopbackListener)
{
    std::error_code ec;
    auto listener = platform::StreamListener::listenTcpLoopback(platform::IpFamily::V4, 0, ec);
    ASSERT_TRUE(listener.valid()) << ec.message();
    auto client =
        platform::StreamSocket::connectTcp(platform::IpFamily::V4, "127.0.0.1", std::to_string(listener.port()), 2s, ec);
    ASSERT_TRUE(client.valid()) << ec.message();
    auto server = listener.accept(ec);
    ASSERT_TRUE(server.valid());
    ASSERT_TRUE(client.sendAll("ping", 4, ec)) << "the stream blocks again after connecting";
    char buffer[8] = {};
    ASSERT_EQ(server.receive(buffer, sizeof buffer, ec), 4);

    listener.close();
    auto refused =
        platform::StreamSocket::connectTcp(platform::IpFamily::V4, "127.0.0.1", std::to_string(listener.port()), 2s, ec);
    EXPECT_FALSE(refused.valid());
    EXPECT_TRUE(ec);
}

TEST(StreamSocket, tcpServerThatTakesNoConnectionIsGivenUp)
{
    // A hung simulator keeps its port but accepts nothing: once its queue of
    // waiting connections is full the handshake goes unanswered, and opening
    // must give up instead of retrying for minutes.
    std::error_code ec;
    auto listener = platform::StreamListener::listenTcpLoopback(platform::IpFamily::V4, 0, ec);
    ASSERT_TRUE(listener.valid()) << ec.message();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(listener.port());
    std::vector<platform::StreamSocket> waiting;
    for (int i = 0; i < 48; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        (void)::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        waiting.emplace_back(fd);
    }

    std::atomic<bool> done{false};
    platform::StreamSocket result;
    std::error_code openEc;
    std::thread opener([&] {
        result = platform::StreamSocket::connectTcp(platform::IpFamily::V4, "127.0.0.1",
                                                    std::to_string(listener.port()), 300ms, openEc);
        done = true;
    });
    const bool returned = testsupport::waitFor([&] { return done.load(); }, 5s);
    if (!returned)
        listener.close(); // frees a blocked opener (it is refused), so that the test can end
    opener.join();
    EXPECT_TRUE(returned) << "connecting to a server that takes no connection blocked";
    EXPECT_FALSE(result.valid());
}
