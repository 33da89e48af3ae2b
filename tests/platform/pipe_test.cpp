#include "platform/pipe.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testsupport::ScopedEnv;
using testsupport::TempDir;

TEST(Pipe, localPipeNamesBecomeSocketsInThePipeFolder)
{
    TempDir dir;
    ScopedEnv env("NORVANE_PIPE_DIR", dir.path().string());
    EXPECT_EQ(platform::pipeSocketPath("\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect").value(),
              dir.path() / "Lockheed Martin Prepar3D v5_SimConnect");
    EXPECT_EQ(platform::pipeSocketPath("\\\\.\\pipe\\a/b").value(), dir.path() / "a_b");
    for (const char* refused : {"\\\\simpc\\pipe\\SimConnect", "\\\\.\\pipe\\", "\\\\.\\pipe\\..", "pipe\\x", ""}) {
        SCOPED_TRACE(refused);
        EXPECT_FALSE(platform::pipeSocketPath(refused).has_value());
    }
    const std::string tooLong = "\\\\.\\pipe\\" + std::string(120, 'x');
    EXPECT_FALSE(platform::pipeSocketPath(tooLong).has_value()) << "too long for a socket path";
    // Told apart from a pipe nobody serves, so that it can be reported.
    std::error_code ec;
    EXPECT_FALSE(platform::listenPipe(tooLong, ec).valid());
    EXPECT_EQ(ec, std::errc::filename_too_long);
    EXPECT_FALSE(platform::connectPipe(tooLong, std::chrono::milliseconds(100), ec).valid());
    EXPECT_EQ(ec, std::errc::filename_too_long);
}

TEST(Pipe, clientReachesTheServerAndBytesFlowBothWays)
{
    TempDir dir;
    ScopedEnv env("NORVANE_PIPE_DIR", (dir.path() / "made-here").string());
    std::error_code ec;
    auto listener = platform::listenPipe("\\\\.\\pipe\\Test\\One", ec);
    ASSERT_TRUE(listener.valid()) << ec.message();
    auto client = platform::connectPipe("\\\\.\\pipe\\Test\\One", std::chrono::milliseconds(100), ec);
    ASSERT_TRUE(client.valid()) << ec.message();
    auto server = listener.accept(ec);
    ASSERT_TRUE(server.valid());
    ASSERT_TRUE(client.sendAll("ping", 4, ec));
    char buffer[8] = {};
    ASSERT_EQ(server.receive(buffer, sizeof buffer, ec), 4);
    EXPECT_EQ(std::string(buffer, 4), "ping");
    server.close();
    EXPECT_EQ(client.receive(buffer, sizeof buffer, ec), 0) << "the server's end is seen as the end of the stream";

    auto absent = platform::connectPipe("\\\\.\\pipe\\Nobody", std::chrono::milliseconds(100), ec);
    EXPECT_FALSE(absent.valid());
}

TEST(Pipe, serverThatNeverAcceptsIsGivenUpAfterTheBusyWait)
{
    // A hung simulator keeps its pipe but takes no connection: once its queue
    // of waiting connections is full, opening must give up, not block for ever.
    TempDir dir;
    ScopedEnv env("NORVANE_PIPE_DIR", dir.path().string());
    std::error_code ec;
    auto listener = platform::listenPipe("\\\\.\\pipe\\Hung", ec);
    ASSERT_TRUE(listener.valid()) << ec.message();
    std::vector<platform::StreamSocket> waiting;
    for (int i = 0; i < 64; ++i) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::string path = (dir.path() / "Hung").string();
        std::memcpy(addr.sun_path, path.c_str(), path.size());
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd);
            break; // the queue is full
        }
        waiting.emplace_back(fd);
    }
    ASSERT_LT(waiting.size(), 64u) << "the queue of waiting connections never filled";

    std::atomic<bool> done{false};
    platform::StreamSocket result;
    std::thread opener([&] {
        std::error_code openEc;
        result = platform::connectPipe("\\\\.\\pipe\\Hung", std::chrono::milliseconds(100), openEc);
        done = true;
    });
    const bool returned = testsupport::waitFor([&] { return done.load(); }, std::chrono::seconds(5));
    if (!returned) {
        // Ending the server frees a blocked opener, so that the test can end.
        listener.close();
    }
    opener.join();
    EXPECT_TRUE(returned) << "opening a pipe whose server takes no connection blocked";
    EXPECT_FALSE(result.valid());
}
