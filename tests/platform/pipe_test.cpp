#include "platform/pipe.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

using testsupport::ScopedEnv;
using testsupport::TempDir;

TEST(Pipe, localPipeNamesBecomeSocketsInThePipeFolder)
{
    TempDir dir;
    ScopedEnv env("NORVANE_PIPE_DIR", dir.path().string());
    EXPECT_EQ(platform::pipeFolder(), dir.path());
    EXPECT_EQ(platform::pipeSocketPath("\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect").value(),
              dir.path() / "Lockheed Martin Prepar3D v5_SimConnect");
    EXPECT_EQ(platform::pipeSocketPath("\\\\.\\pipe\\a/b").value(), dir.path() / "a_b");
    for (const char* refused : {"\\\\simpc\\pipe\\SimConnect", "\\\\.\\pipe\\", "\\\\.\\pipe\\..", "\\\\.\\nopipe\\x",
                                "pipe\\x", "\\\\.", ""}) {
        SCOPED_TRACE(refused);
        EXPECT_FALSE(platform::pipeSocketPath(refused).has_value());
    }
    EXPECT_FALSE(platform::pipeSocketPath("\\\\.\\pipe\\" + std::string(120, 'x')).has_value())
        << "too long for a socket path";
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
