// The process ending while the connection thread still runs.

#include "platform/pipe.hpp"
#include "sim_layer_fixture.hpp"
#include "simconnect/config.hpp"

#include <cstdlib>

using namespace simtest;

namespace {

// Reads what the client sends until its registration is complete (the group
// priority is its last packet).
bool readUntilRegistered(platform::StreamSocket& server)
{
    const std::uint8_t priorityId[4] = {0x09, 0x00, 0x00, 0xF0};
    std::vector<std::uint8_t> bytes;
    for (;;) {
        std::uint8_t buffer[4096];
        std::error_code ec;
        const long n = server.receive(buffer, sizeof buffer, ec);
        if (n <= 0)
            return false;
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (std::search(bytes.begin(), bytes.end(), priorityId, priorityId + 4) != bytes.end())
            return true;
    }
}

} // namespace

class SimClientAtExit : public SimLayer {};

TEST_F(SimClientAtExit, processEndsCleanlyWithTheConnectionThreadStillRunning)
{
    // The thread is stopped and joined before the layer's state is destroyed,
    // not left to touch freed connections and lists (or wait on them) while
    // the process ends.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // A simulator that takes the connection and never answers: the
            // thread is registered and dispatching when the process ends.
            std::error_code ec;
            static platform::StreamListener listener = platform::listenPipe(std::string(tzo::kDefaultPipeName), ec);
            gf_startSimClient();
            static platform::StreamSocket server = listener.accept(ec);
            if (!readUntilRegistered(server))
                std::exit(3);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}
