#pragma once
// The program as a process in a copy of the demo program folder, against the
// simulator stand-in and the RealTraffic stand-in run inside the test: each
// test gets its own folders, pipe folder, registry file and free ports, so
// tests running side by side never meet.

#include "sim_stub.hpp"
#include "support/proc_counts.hpp"
#include "support/process.hpp"
#include "support/stand_ins.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace optest {

namespace fs = std::filesystem;

using testsupport::descriptorCount;
using testsupport::freePort;
using testsupport::Process;
using testsupport::threadCount;

// Whether the process has a UDP socket bound to 127.0.0.1 (loopback) or to
// any address at that port; nullopt when none.
std::optional<bool> udpBoundToLoopback(pid_t pid, std::uint16_t port);

struct WorldOptions {
    bool realTrafficJar = true;  // RealTraffic installed on this computer
    bool aerowinx = false;
    bool runningFlight = true;   // the stand-in says so to each client
    // The simulator stand-in's second; long runs make it short. A test that
    // reads the history of positions and removed objects asks for it.
    std::chrono::milliseconds simSecond{200};
    bool keepSimHistory = false;
};

class OperationsTest : public ::testing::Test {
protected:
    testsupport::TempDir m_dir;
    fs::path m_program;  // the program folder, a copy of demo/program
    testsupport::ScopedEnv m_pipes;
    std::uint16_t m_qnhPort = freePort(true);
    std::uint16_t m_trafficPort = freePort(true);
    std::uint16_t m_tcpPort = freePort(false);
    std::unique_ptr<simstub::SimStub> m_sim;
    std::unique_ptr<rtstub::TcpLink> m_link;
    std::unique_ptr<Process> m_norvane;

    OperationsTest();
    ~OperationsTest() override;

    // Folders, settings and the simulator stand-in; the program is not started.
    void prepare(const WorldOptions& options = {});
    // The RealTraffic stand-in's TCP side, professional edition.
    void connectRealTraffic();
    // Headless, or with its window on the X display given.
    void startProgram(const std::string& display = {});
    // Headless, its standard output and error to `output` unless empty;
    // inChild as for Process (it may give the program other ones).
    void startProgramWith(const std::function<void()>& inChild, const fs::path& output);
    // "./run.sh PROGRAM_FOLDER --headless" with the program already built.
    void startThroughRunScript();
    // The program's environment: every folder and port of this test.
    std::vector<std::string> programEnvironment() const;
    // Tells every client subscribed to "Sim" that the flight runs.
    void announceFlight();

    std::string log() const;
    bool logHas(const std::string& text) const;
    bool waitForLog(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // The position in the log of the first line holding text after from; npos when none.
    std::size_t logFind(const std::string& text, std::size_t from = 0) const;

    // Replays the three Zürich tracks to the traffic port at speed on a
    // thread of its own, in a loop, until the test ends.
    void startReplay(double speed);
    void stopReplay();

    // Callsigns of the AI aircraft the simulator stand-in holds now.
    std::vector<std::string> aiCallsigns() const;

private:
    WorldOptions m_options;
    std::set<std::size_t> m_toldRunning;  // connections told that the flight runs
    std::atomic<bool> m_stopFlight{false};
    std::thread m_flightAnnouncer;
    std::atomic<bool> m_stopReplay{false};
    std::thread m_replay;
};

} // namespace optest
