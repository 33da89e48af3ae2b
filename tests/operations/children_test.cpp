// No child of a test outlives the test program, also when ctest kills it at
// its time-out: a test program started with NORVANE_CHILDREN_PROBE starts a
// process, the update server and Xvfb as the tests do, writes their pids and
// waits to be killed.

#include "support/process.hpp"
#include "support/test_support.hpp"
#include "support/xvfb.hpp"
#include "update_server/update_server.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Runs before main in the probe: never returns.
const bool probe = [] {
    const char* pidFile = std::getenv("NORVANE_CHILDREN_PROBE");
    if (pidFile == nullptr)
        return false;
    testsupport::Process sleeper({"/bin/sleep", "600"}, {}, "/");
    updateserver::UpdateServer server(fs::path(pidFile).parent_path() / "server");
    testsupport::XvfbServer xvfb;
    std::ofstream(std::string(pidFile) + ".tmp") << sleeper.pid() << ' ' << server.pid() << ' ' << xvfb.pid() << '\n';
    fs::rename(std::string(pidFile) + ".tmp", pidFile);
    for (;;)
        ::pause();
}();

bool gone(pid_t pid)
{
    // A child handed to init may stay a zombie for a moment: that counts as gone.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto state = text.rfind(") ");
    return text.empty() || (state != std::string::npos && text[state + 2] == 'Z');
}

} // namespace

TEST(TestChildren, endWithTheTestProgramWhenItIsKilled)
{
    const testsupport::TempDir dir;
    const fs::path pidFile = dir.path() / "pids";
    testsupport::Process testProgram({"/proc/self/exe"},
                                     {"NORVANE_CHILDREN_PROBE=" + pidFile.string(), "PATH=/usr/bin:/bin"}, dir.path());
    ASSERT_TRUE(testsupport::waitFor([&] { return fs::exists(pidFile); }, 60s));
    std::istringstream pids(testsupport::readFile(pidFile));
    pid_t sleeper = 0, server = 0, xvfb = 0;
    pids >> sleeper >> server >> xvfb;
    ASSERT_GT(sleeper, 0);
    ASSERT_GT(server, 0);
    ASSERT_TRUE(!gone(sleeper) && !gone(server)) << "the children run while their test does";

    testProgram.signal(SIGKILL);
    EXPECT_FALSE(testProgram.exitCode(10s)) << "killed";
    for (const auto& [what, pid] : {std::pair{"a process", sleeper}, {"the update server", server}, {"Xvfb", xvfb}})
        if (pid > 0) {
            EXPECT_TRUE(testsupport::waitFor([pid = pid] { return gone(pid); }, 20s)) << what << " outlived its test";
        }
}
