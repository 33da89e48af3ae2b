// The scripts a newcomer runs: the demonstration of ./run.sh, headless, with a
// fast replay and ports of its own (the simulator stand-in's report lists AI
// aircraft with the replay's callsigns; a second demo in its folder refuses
// to start; the script ends with the program's exit code, also on Ctrl-C and
// SIGTERM, or with 1 and the stand-in's last line when a stand-in cannot
// start; the park airport's stands are planned with static aircraft at
// once; a script killed with its group leaves nothing of the demo running),
// and ./run.sh with a program folder, which runs the program alone from there.

#include "operations_fixture.hpp"

#include <csignal>
#include <cstdlib>
#include <sstream>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace optest;
using namespace std::chrono_literals;
using testsupport::readFile;
using testsupport::waitFor;

namespace {

// demo.sh with the built program and stand-ins, in dir/demo (or the folder
// given), with free ports unless given.
struct Demo {
    fs::path folder;
    std::uint16_t tcpPort;
    std::uint16_t qnhPort = freePort(true);
    std::uint16_t trafficPort = freePort(true);
    fs::path output;
    std::unique_ptr<Process> script;

    Demo(const fs::path& dir, const fs::path& demoFolder, const std::string& name, std::uint16_t tcp = freePort(false),
         const std::vector<std::string>& moreEnv = {}, bool underSetsid = false)
        : folder(demoFolder), tcpPort(tcp), output(dir / (name + ".out"))
    {
        std::vector<std::string> env{
            "PATH=/usr/bin:/bin",
            "HOME=" + dir.string(),
            std::string("NORVANE_BIN_DIR=") + NORVANE_BIN_DIR,
            "NORVANE_DEMO_DIR=" + folder.string(),
            "NORVANE_DEMO_SECONDS=90",
            "NORVANE_DEMO_SPEED=5",
            "NORVANE_DEMO_HEADLESS=1",
            "NORVANE_QNH_PORT=" + std::to_string(qnhPort),
            "NORVANE_TRAFFIC_PORT=" + std::to_string(trafficPort),
            "NORVANE_DEMO_TCP_PORT=" + std::to_string(tcpPort),
        };
        // The caller's settings replace the defaults of the same names.
        for (const auto& more : moreEnv) {
            const std::string name = more.substr(0, more.find('=') + 1);
            std::erase_if(env, [&](const std::string& given) { return given.rfind(name, 0) == 0; });
        }
        env.insert(env.end(), moreEnv.begin(), moreEnv.end());
        // What a service manager does: ./run.sh in a session of its own,
        // waited for (setsid -w ends with its code).
        const std::vector<std::string> argv =
            underSetsid ? std::vector<std::string>{"/usr/bin/setsid", "-w", "/bin/bash",
                                                   std::string(NORVANE_SOURCE_DIR) + "/run.sh"}
                        : std::vector<std::string>{"/bin/bash", std::string(NORVANE_SOURCE_DIR) + "/scripts/demo.sh"};
        script = std::make_unique<Process>(argv, env, dir, output);
    }
    // The process group of the script under setsid: its session's, led by
    // the child setsid made.
    pid_t sessionGroup() const
    {
        const std::string children = readFile(fs::path("/proc") / std::to_string(script->pid()) / "task" /
                                              std::to_string(script->pid()) / "children");
        return static_cast<pid_t>(std::atol(children.c_str()));
    }
    std::string said() const { return readFile(output); }
    std::string log() const { return readFile(folder / "program" / "Log.txt"); }
};

// Whether the stand-in's report after the first `from` characters lists an
// aircraft of the replay: "report: id N "TITLE" CALLSIGN ...".
bool lf_reportsReplayAircraft(const fs::path& report, std::size_t from = 0)
{
    const std::string text = readFile(report);
    for (const char* callsign : {"AUA570", "AFR181L", "DLH4TR"}) {
        const auto at = text.find(std::string("\" ") + callsign + " ", from);
        if (at != std::string::npos && text.rfind("report: id ", at) != std::string::npos)
            return true;
    }
    return false;
}

// Whether the port on 127.0.0.1 can be bound (a connection that waits out
// its close does not count as held).
bool lf_portFree(std::uint16_t port, bool udp)
{
    const int fd = ::socket(AF_INET, udp ? SOCK_DGRAM : SOCK_STREAM, 0);
    const int on = 1;
    if (!udp)
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

// The process's children that still run (a zombie has ended).
std::vector<pid_t> lf_running(const std::vector<pid_t>& pids)
{
    std::vector<pid_t> running;
    for (const pid_t pid : pids) {
        const std::string stat = readFile(fs::path("/proc") / std::to_string(pid) / "stat");
        const auto state = stat.rfind(") ");
        if (state != std::string::npos && stat.at(state + 2) != 'Z')
            running.push_back(pid);
    }
    return running;
}

} // namespace

TEST(Demo, runShowsReplayedAircraftAndASecondDemoInItsFolderRefuses)
{
    const testsupport::TempDir dir;
    const Demo first(dir.path(), dir.path() / "demo", "first");
    // The script's lines come one after the other: wait for the last of them.
    ASSERT_TRUE(waitFor(
        [&] { return first.said().find("aircraft appear about 30 s after the replay starts") != std::string::npos; },
        30s))
        << first.said();
    EXPECT_NE(first.said().find(" runs in "), std::string::npos);

    // The second would delete the first one's folder and find its ports taken.
    const Demo second(dir.path(), dir.path() / "demo", "second");
    EXPECT_EQ(second.script->exitCode(30s), 1);
    EXPECT_NE(second.said().find("A demo already runs in " + first.folder.string()), std::string::npos)
        << second.said();

    const fs::path report = first.folder / "simstub.log";
    EXPECT_TRUE(waitFor([&] { return lf_reportsReplayAircraft(report); }, 80s))
        << readFile(report) << "\n----- script\n" << first.said() << "\n----- Log.txt\n" << first.log();

    // The script ends the program and both stand-ins when it is stopped,
    // with the program's code.
    first.script->signal(SIGTERM);
    EXPECT_EQ(first.script->exitCode(30s), 0) << first.said();
    EXPECT_NE(first.said().find("Signal SIGTERM received"), std::string::npos) << first.said();
    EXPECT_NE(first.said().find("norvane ended with exit code 0"), std::string::npos) << first.said();
    EXPECT_NE(first.log().find("User closed Norvane_P3D"), std::string::npos);
}

TEST(Demo, parksStaticAircraftAndASigintToTheGroupOfASetsidRunShEndsWithTheProgramsCodeAndOneClosingLine)
{
    const testsupport::TempDir dir;
    // Each command the script may run, behind a stand-in that, once asked,
    // sends the group's Ctrl-C while it runs, and is ended by it as the
    // command itself would be: that must not end the script before it has
    // passed the signal on.
    const fs::path slow = dir.path() / "commands";
    const fs::path ctrlC = dir.path() / "ctrl-c-group";
    fs::create_directories(slow);
    for (const char* command : {"awk", "cat", "grep", "sed", "tail", "wc"}) {
        testsupport::writeFile(slow / command, "#!/bin/sh\nif [ -e " + ctrlC.string() + " ] && read group < " +
                                                   ctrlC.string() + " && rm " + ctrlC.string() +
                                                   " 2>/dev/null; then kill -INT \"-$group\"; sleep 5; fi\n"
                                                   "exec /usr/bin/" + command + " \"$@\"\n");
        fs::permissions(slow / command, fs::perms::owner_all);
    }
    const Demo demo(dir.path(), dir.path() / "demo", "demo", freePort(false),
                    {"PATH=" + slow.string() + ":/usr/bin:/bin",
                     "NORVANE_BIN_DIR=" + fs::relative(NORVANE_BIN_DIR, dir.path()).string()},
                    true);
    // The park airport's stands have use at every hour of the week: static
    // aircraft are planned and parked ("*" ends a static callsign).
    ASSERT_TRUE(waitFor([&] { return demo.log().find(" positions (") != std::string::npos; }, 80s))
        << demo.said() << "\n----- Log.txt\n" << demo.log();
    EXPECT_EQ(demo.log().find("no parking positions found"), std::string::npos) << demo.log();
    const fs::path report = demo.folder / "simstub.log";
    EXPECT_TRUE(waitFor([&] { return readFile(report).find("* 47.") != std::string::npos; }, 60s)) << readFile(report);

    // A supervisor's SIGINT (or a terminal's Ctrl-C) goes to the demo's whole process group.
    const pid_t group = demo.sessionGroup();
    ASSERT_GT(group, 1) << demo.said();
    // Whole or not at all for the command that reads it.
    testsupport::writeFile(dir.path() / "ctrl-c-new", std::to_string(group) + "\n");
    fs::rename(dir.path() / "ctrl-c-new", ctrlC);
    // A script that runs no command meanwhile gets it from here.
    if (!waitFor([&] { return !fs::exists(ctrlC); }, 5s)) {
        fs::remove(ctrlC);
        ASSERT_EQ(::kill(-group, SIGINT), 0);
    }
    EXPECT_EQ(demo.script->exitCode(60s), 0) << demo.said();
    const std::string said = demo.said();
    EXPECT_EQ(said.find("Signal "), said.rfind("Signal ")) << "one closing line\n" << said;
    EXPECT_NE(said.find("Signal SIGINT (Ctrl-C) received"), std::string::npos) << said;
    EXPECT_NE(said.find("norvane ended with exit code 0"), std::string::npos) << said;
    EXPECT_EQ(said.find("ended before the program"), std::string::npos) << said;
    // The group's SIGINT reached the script alone: it stopped the stand-ins
    // after the program's close.
    EXPECT_NE(readFile(demo.folder / "rtstub.log").find("stopped by SIGTERM\n"), std::string::npos)
        << readFile(demo.folder / "rtstub.log");
    // Nothing warns about the demo's own data.
    EXPECT_EQ(said.find("Warning: "), std::string::npos) << said;
}

// A script killed outright (`timeout -s KILL`, a CI runner, a task manager)
// takes what it started with it: the program closes through its exit steps,
// and soon nothing of the demo runs or holds its ports.
TEST(Demo, aSigkillToTheScriptsGroupLeavesNothingOfTheDemoRunning)
{
    const testsupport::TempDir dir;
    const Demo demo(dir.path(), dir.path() / "demo", "demo");
    ASSERT_TRUE(waitFor([&] { return demo.log().find("Start of operations: main loop started") != std::string::npos; },
                        80s))
        << demo.said() << "\n----- Log.txt\n" << demo.log();
    const pid_t script = demo.script->pid();
    std::vector<pid_t> children;
    std::istringstream list(readFile(fs::path("/proc") / std::to_string(script) / "task" / std::to_string(script) /
                                     "children"));
    for (pid_t pid = 0; list >> pid;)
        children.push_back(pid);
    ASSERT_GE(children.size(), 3u) << "the program and both stand-ins";

    ASSERT_EQ(::kill(-script, SIGKILL), 0);
    demo.script->exitCode(10s);
    const auto nothingLeft = [&] {
        return lf_running(children).empty() && lf_portFree(demo.tcpPort, false) && lf_portFree(demo.qnhPort, true) &&
               lf_portFree(demo.trafficPort, true);
    };
    EXPECT_TRUE(waitFor(nothingLeft, 10s)) << lf_running(children).size() << " still run\n" << demo.log();
    EXPECT_NE(demo.log().find("User closed Norvane_P3D"), std::string::npos) << demo.log();
}

TEST(Demo, endsWithTheProgramsExitCode)
{
    const testsupport::TempDir dir;
    const std::uint16_t tcpPort = freePort(false);
    // Another program holds the TCP port: the program cannot start operations.
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(tcpPort);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::listen(holder, 1);

    // The build folder named as from where the script is started.
    const Demo demo(dir.path(), dir.path() / "demo", "demo", tcpPort,
                    {"NORVANE_BIN_DIR=" + fs::relative(NORVANE_BIN_DIR, dir.path()).string()});
    EXPECT_EQ(demo.script->exitCode(60s), 1) << demo.said() << "\n----- Log.txt\n" << demo.log();
    EXPECT_NE(demo.said().find("norvane ended with exit code 1"), std::string::npos) << demo.said();
    ::close(holder);
}

TEST(Demo, aSimulatorStandInThatCannotStartEndsTheDemoWithItsLine)
{
    const testsupport::TempDir dir;
    // A runtime folder so deep that no pipe below it fits a socket path.
    const fs::path runtime = dir.path() / ("runtime-" + std::string(110, 'r'));
    fs::create_directories(runtime);
    const Demo demo(dir.path(), dir.path() / "demo", "demo", freePort(false), {"XDG_RUNTIME_DIR=" + runtime.string()});
    EXPECT_EQ(demo.script->exitCode(60s), 1) << demo.said();
    EXPECT_NE(demo.said().find("The simulator stand-in ended before the program (exit code 1): norvane-simstub: "
                               "cannot listen on pipe "),
              std::string::npos)
        << demo.said();
    EXPECT_NE(demo.said().find("File name too long"), std::string::npos) << demo.said();
    EXPECT_TRUE(fs::is_empty(runtime)) << "the demo's short folder is removed";
}

TEST_F(OperationsTest, runScriptWithAProgramFolderRunsTheProgramAloneThere)
{
    prepare();
    connectRealTraffic();
    startReplay(5.0);
    startThroughRunScript();
    // Headless, the terminal says that the links are made, not only that they
    // are awaited, and then what the window's bands would show: the feeds'
    // state and the aircraft counts, within seconds of the first aircraft.
    const fs::path terminal = m_dir.path() / "norvane.out";
    std::optional<std::chrono::steady_clock::time_point> firstAircraft;
    std::optional<std::chrono::steady_clock::time_point> countsSaid;
    EXPECT_TRUE(waitFor(
        [&] {
            const auto now = std::chrono::steady_clock::now();
            if (!firstAircraft && !m_sim->aiObjects().empty())
                firstAircraft = now;
            if (!countsSaid && readFile(terminal).find("Aircraft in the simulator: ") != std::string::npos)
                countsSaid = now;
            return firstAircraft && countsSaid;
        },
        120s))
        << readFile(terminal);
    ASSERT_TRUE(waitForLog("Start of operations: main loop started", 60s)) << log() << "\n----- terminal\n"
                                                                          << readFile(terminal);
    if (firstAircraft && countsSaid)
        EXPECT_LE(*countsSaid - *firstAircraft, 10s) << readFile(terminal);
    const std::string said = readFile(terminal);
    // One line for the one TCP link, and the feed said to flow.
    EXPECT_EQ(testsupport::countLinesWith(terminal, "RealTraffic connected"), 1) << said;
    EXPECT_EQ(testsupport::countLinesWith(terminal, "connected"), 2) << "RealTraffic's and the simulator's\n" << said;
    const auto open = said.find("Traffic feed: open, waiting for RealTraffic\n");
    EXPECT_NE(open, std::string::npos) << said;
    EXPECT_NE(said.find("Traffic feed: receiving from RealTraffic\n", open), std::string::npos) << said;
    // The script became the program: its close is the program's.
    m_norvane->signal(SIGTERM);
    EXPECT_EQ(m_norvane->exitCode(30s), 0);
}

TEST(RunScript, withoutAProgramFolderSaysHowAndBuildsNothing)
{
    const testsupport::TempDir dir;
    Process script({"/bin/bash", std::string(NORVANE_SOURCE_DIR) + "/run.sh", "--headless"},
                   {"PATH=/usr/bin:/bin", "HOME=" + dir.path().string()}, dir.path(), dir.path() / "out");
    EXPECT_EQ(script.exitCode(10s), 2);
    const std::string said = readFile(dir.path() / "out");
    EXPECT_NE(said.find("./run.sh PROGRAM_FOLDER [--headless]"), std::string::npos) << said;
    EXPECT_NE(said.find("name its program folder (the one holding \"docs\")"), std::string::npos) << said;
}
