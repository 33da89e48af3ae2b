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

TEST(StreamSocket, aGatheredWriteThatWouldWaitTellsWhatItTookAndTheRestFollowsInOrder)
{
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    platform::StreamSocket writer(fds[0]);
    platform::StreamSocket reader(fds[1]);
    const int small = 4096;
    ::setsockopt(writer.fd(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);

    // Three buffers, each of its own bytes, far more than the stream holds.
    std::vector<std::vector<std::uint8_t>> buffers;
    std::vector<std::uint8_t> expected;
    for (int b = 0; b < 3; ++b) {
        buffers.emplace_back(100000 + b * 7);
        for (std::size_t i = 0; i < buffers.back().size(); ++i)
            buffers.back()[i] = static_cast<std::uint8_t>(b * 61 + i * 7);
        expected.insert(expected.end(), buffers.back().begin(), buffers.back().end());
    }
    std::vector<std::span<const std::uint8_t>> pieces(buffers.begin(), buffers.end());

    std::error_code ec;
    const std::size_t taken = writer.sendGatheredNow(pieces, ec);
    EXPECT_FALSE(ec) << "a full stream is no failure";
    ASSERT_GT(taken, 0u);
    ASSERT_LT(taken, expected.size()) << "it did not wait for the reader";

    // The reader drains while the rest goes out from where the stream
    // stopped, again without waiting (often in parts), then everything once
    // more with waiting.
    const std::size_t total = 2 * expected.size();
    std::vector<std::uint8_t> received;
    std::thread reading([&] {
        std::vector<std::uint8_t> chunk(8192);
        std::error_code readEc;
        long n = 0;
        while (received.size() < total && (n = reader.receive(chunk.data(), chunk.size(), readEc)) > 0)
            received.insert(received.end(), chunk.begin(), chunk.begin() + n);
    });
    const auto from = [&](std::size_t offset) {
        std::vector<std::span<const std::uint8_t>> rest;
        for (const auto& piece : pieces) {
            const std::size_t drop = std::min(offset, piece.size());
            offset -= drop;
            if (drop < piece.size())
                rest.push_back(piece.subspan(drop));
        }
        return rest;
    };
    for (std::size_t sent = taken; sent < expected.size() && !ec;) {
        const std::size_t now = writer.sendGatheredNow(from(sent), ec);
        sent += now;
        if (now == 0)
            std::this_thread::yield();
    }
    EXPECT_FALSE(ec) << ec.message();
    EXPECT_TRUE(writer.sendAllGathered(pieces, ec)) << ec.message();
    reading.join();
    expected.insert(expected.end(), expected.begin(), expected.end());
    EXPECT_EQ(received, expected);
}
