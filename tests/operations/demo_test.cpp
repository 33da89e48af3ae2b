// The demonstration that ./run.sh runs: the script itself, headless, with a
// fast replay and ports of its own; the simulator stand-in's report lists AI
// aircraft with the replay's callsigns.

#include "operations_fixture.hpp"

#include <csignal>

using namespace optest;
using namespace std::chrono_literals;
using testsupport::waitFor;

TEST(Demo, runShowsReplayedAircraftInTheSimulatorStandIn)
{
    const testsupport::TempDir dir;
    const fs::path demo = dir.path() / "demo";
    std::vector<std::string> env{
        "PATH=/usr/bin:/bin",
        "HOME=" + dir.path().string(),
        std::string("NORVANE_BIN_DIR=") + NORVANE_BIN_DIR,
        "NORVANE_DEMO_DIR=" + demo.string(),
        "NORVANE_DEMO_SECONDS=90",
        "NORVANE_DEMO_SPEED=5",
        "NORVANE_DEMO_HEADLESS=1",
        "NORVANE_QNH_PORT=" + std::to_string(freePort(true)),
        "NORVANE_TRAFFIC_PORT=" + std::to_string(freePort(true)),
        "NORVANE_DEMO_TCP_PORT=" + std::to_string(freePort(false)),
    };
    Process script({"/bin/bash", std::string(NORVANE_SOURCE_DIR) + "/scripts/demo.sh"}, env, dir.path(),
                   dir.path() / "demo.out");

    const fs::path report = demo / "simstub.log";
    const bool listed = waitFor(
        [&] {
            const std::string text = testsupport::readFile(report);
            for (const char* callsign : {"AUA570", "AFR181L", "DLH4TR"}) {
                // "report: id N "TITLE" CALLSIGN ..."
                const auto at = text.find(std::string("\" ") + callsign + " ");
                if (at != std::string::npos && text.rfind("report: id ", at) != std::string::npos)
                    return true;
            }
            return false;
        },
        80s);
    EXPECT_TRUE(listed) << testsupport::readFile(report) << "\n----- script\n"
                        << testsupport::readFile(dir.path() / "demo.out") << "\n----- Log.txt\n"
                        << testsupport::readFile(demo / "program" / "Log.txt");

    // The script ends the program and both stand-ins when it is stopped.
    script.signal(SIGTERM);
    // 130, as an exit code read back as a signed byte.
    EXPECT_EQ(script.exitCode(30s), static_cast<signed char>(130));
    EXPECT_NE(testsupport::readFile(demo / "program" / "Log.txt").find("User closed Norvane_P3D"), std::string::npos);
}
