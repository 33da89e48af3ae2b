#include "operations_fixture.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <set>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace optest {

using namespace std::chrono_literals;

std::optional<bool> udpBoundToLoopback(pid_t pid, std::uint16_t port)
{
    const auto addresses = testsupport::udpSocketsOn(pid, port);
    if (addresses.empty())
        return std::nullopt;
    return *addresses.begin() == "0100007F";
}

OperationsTest::OperationsTest()
    : m_dir(false), m_program(m_dir.path() / "program"), m_pipes("NORVANE_PIPE_DIR", (m_dir.path() / "pipes").string())
{
}

OperationsTest::~OperationsTest()
{
    if (m_norvane) {
        m_norvane->signal(SIGTERM);
        m_norvane->exitCode(10s);
        m_norvane.reset();
    }
    stopReplay();
    m_stopFlight = true;
    if (m_flightAnnouncer.joinable())
        m_flightAnnouncer.join();
    if (m_link)
        m_link->stop();
    if (m_sim)
        m_sim->stop();
}

void OperationsTest::prepare(const WorldOptions& options)
{
    m_options = options;
    const fs::path demo = fs::path(NORVANE_SOURCE_DIR) / "demo";
    for (const char* part : {"program", "simulator", "programdata", "registry.ini"})
        fs::copy(demo / part, m_dir.path() / part, fs::copy_options::recursive);
    for (const char* folder : {"roaming/Norvane_P3D", "runtime", "pipes", "public", "documents"})
        fs::create_directories(m_dir.path() / folder);
    fs::permissions(m_dir.path() / "runtime", fs::perms::owner_all);
    if (options.realTrafficJar) {
        fs::create_directories(m_dir.path() / "roaming" / "InsideSystems");
        testsupport::writeFile(m_dir.path() / "roaming" / "InsideSystems" / "RealTraffic.jar", "");
    }
    testsupport::writeFile(m_dir.path() / "roaming" / "Norvane_P3D" / "parameters.xml",
                           fmt::format("<?xml version=\"1.0\"?>\n<parameters>\n"
                                       "<parameter name=\"PORT_NUMBER\" value=\"{}\"/>\n"
                                       "<parameter name=\"AEROWINX\" value=\"{}\"/>\n</parameters>\n",
                                       m_tcpPort, options.aerowinx ? "true" : "false"));

    m_sim = std::make_unique<simstub::SimStub>([&] {
        simstub::Options o;
        o.frameInterval = 20ms;
        o.secondInterval = options.simSecond;
        o.keepHistory = options.keepSimHistory;
        o.recordPackets = false;
        return o;
    }());
    std::string error;
    ASSERT_TRUE(m_sim->start(error)) << error;
    if (options.runningFlight) {
        m_flightAnnouncer = std::thread([this] {
            while (!m_stopFlight.load()) {
                announceFlight();
                std::this_thread::sleep_for(50ms);
            }
        });
    }
}

void OperationsTest::announceFlight()
{
    simstub::announceRunningFlight(*m_sim, m_toldRunning);
}

void OperationsTest::connectRealTraffic()
{
    m_link = testsupport::startProfessionalLink(m_tcpPort);
}

std::vector<std::string> OperationsTest::programEnvironment() const
{
    const fs::path root = m_dir.path();
    return {
        "PATH=/usr/bin:/bin",
        "HOME=" + root.string(),
        "XDG_RUNTIME_DIR=" + (root / "runtime").string(),
        "NORVANE_APPDATA=" + (root / "roaming").string(),
        "NORVANE_PROGRAMDATA=" + (root / "programdata").string(),
        "NORVANE_REGISTRY=" + (root / "registry.ini").string(),
        "NORVANE_PIPE_DIR=" + (root / "pipes").string(),
        "NORVANE_PUBLIC_DOCUMENTS=" + (root / "public").string(),
        "XDG_DOCUMENTS_DIR=" + (root / "documents").string(),
        "NORVANE_QNH_PORT=" + std::to_string(m_qnhPort),
        "NORVANE_TRAFFIC_PORT=" + std::to_string(m_trafficPort),
        // A closed loopback port: every update check is refused at once.
        "NORVANE_UPDATE_URL=https://127.0.0.1:9",
    };
}

void OperationsTest::startProgram(const std::string& display)
{
    std::vector<std::string> env = programEnvironment();
    std::vector<std::string> argv{NORVANE_PROGRAM_PATH};
    if (display.empty())
        argv.emplace_back("--headless");
    else
        env.push_back("DISPLAY=" + display);
    m_norvane = std::make_unique<Process>(argv, env, m_program, m_dir.path() / "norvane.out");
}

void OperationsTest::startProgramWith(const std::function<void()>& inChild, const fs::path& output)
{
    m_norvane = std::make_unique<Process>(std::vector<std::string>{NORVANE_PROGRAM_PATH, "--headless"},
                                          programEnvironment(), m_program, output, inChild);
}

void OperationsTest::startThroughRunScript()
{
    std::vector<std::string> env = programEnvironment();
    env.push_back(std::string("NORVANE_BIN_DIR=") + NORVANE_BIN_DIR);
    // Called from elsewhere with the folder relative to there, as a user would.
    m_norvane = std::make_unique<Process>(
        std::vector<std::string>{"/bin/bash", std::string(NORVANE_SOURCE_DIR) + "/run.sh", "program", "--headless"},
        env, m_dir.path(), m_dir.path() / "norvane.out");
}

std::string OperationsTest::log() const
{
    return testsupport::readFile(m_program / "Log.txt");
}

bool OperationsTest::logHas(const std::string& text) const
{
    return log().find(text) != std::string::npos;
}

bool OperationsTest::waitForLog(const std::string& text, std::chrono::milliseconds timeout)
{
    return testsupport::waitFor([&] { return logHas(text); }, timeout);
}

std::size_t OperationsTest::logFind(const std::string& text, std::size_t from) const
{
    return log().find(text, from);
}

void OperationsTest::startReplay(double speed)
{
    m_replay = std::thread(
        [this, speed] { testsupport::replayRecordedTracksUntil(m_trafficPort, m_qnhPort, speed, m_stopReplay); });
}

void OperationsTest::stopReplay()
{
    m_stopReplay = true;
    if (m_replay.joinable())
        m_replay.join();
}

std::vector<std::string> OperationsTest::aiCallsigns() const
{
    std::vector<std::string> callsigns;
    for (const auto& o : m_sim->aiObjects())
        callsigns.push_back(o.atcId);
    std::sort(callsigns.begin(), callsigns.end());
    return callsigns;
}

} // namespace optest
