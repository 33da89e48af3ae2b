// Start of operations end to end: the program as a process in a copy of the
// demo program folder, the simulator stand-in and RealTraffic's TCP and UDP
// sides in the test.

#include "operations_fixture.hpp"
#include "support/xvfb.hpp"
#include "rtstub/traffic_line_builder.hpp"

#include <csignal>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace optest;
using namespace std::chrono_literals;
using testsupport::waitFor;

namespace {

const std::vector<std::string> kCallsigns{"AFR181L", "AUA570", "DLH4TR"};

bool anyReplayCallsign(const std::vector<std::string>& callsigns)
{
    return std::any_of(callsigns.begin(), callsigns.end(), [](const std::string& c) {
        return std::find(kCallsigns.begin(), kCallsigns.end(), c) != kCallsigns.end();
    });
}

// A socket held on a port for the length of a test.
struct PortTaken {
    int fd = -1;
    PortTaken(std::uint16_t port, bool udp)
    {
        fd = ::socket(AF_INET, udp ? SOCK_DGRAM : SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        if (!udp)
            ::listen(fd, 1);
    }
    ~PortTaken() { ::close(fd); }
};

} // namespace

TEST_F(OperationsTest, replayedTracksBecomeMovingAiAircraftInTheSimulator)
{
    prepare();
    connectRealTraffic();
    startReplay(5.0);
    startProgram();

    ASSERT_TRUE(waitForLog("Start of operations: main loop started", 60s)) << log();
    // The steps in their order.
    std::size_t at = 0;
    for (const char* step : {"RealTraffic detected at this PC", "Start of operations", "Flight is running",
                             "User aircraft at 47.4581 8.5555, on the ground", "RealTraffic connected",
                             "QNH Reader connected", "Traffic Reader connected",
                             "Start of operations: main loop started"}) {
        const std::size_t found = logFind(step, at);
        ASSERT_NE(found, std::string::npos) << step << "\n" << log();
        at = found;
    }
    EXPECT_FALSE(logHas("No traffic in this region?"));

    // The professional edition gets the simulator time, then the position.
    ASSERT_TRUE(waitFor([&] { return !m_link->times().empty() && !m_link->positions().empty(); }, 20s));
    EXPECT_EQ(m_link->versionQueries(), 1);

    ASSERT_TRUE(waitFor([&] { return anyReplayCallsign(aiCallsigns()); }, 60s)) << log();
    // It moves with its reports (the parked static aircraft stay).
    const auto objects = m_sim->aiObjects();
    const auto first = *std::find_if(objects.begin(), objects.end(), [](const simstub::SimObjectState& o) {
        return anyReplayCallsign({o.atcId});
    });
    ASSERT_TRUE(waitFor(
        [&] {
            const auto now = m_sim->object(first.id);
            return now && (now->var("PLANE LATITUDE") != first.var("PLANE LATITUDE") ||
                           now->var("PLANE LONGITUDE") != first.var("PLANE LONGITUDE"));
        },
        30s))
        << first.atcId;
    EXPECT_TRUE(m_sim->protocolErrors().empty());
}

// How a headless run was started and its terminal went away, and how the run then ends.
enum class Ending {
    hangupSignal,       // SIGHUP alone, standard error on a file that takes every line
    terminalClosed,     // a pseudo-terminal whose master side is closed: SIGHUP, then EIO on every write
    readerGoneSignal,   // "2>&1 | tee", then Ctrl-C: the reader ends, the program gets SIGINT
    readerGoneNoSignal, // "2>&1 | less", then quitting less: EPIPE, no signal; the simulator closes later
    diskFull,           // standard error to a full disk from the start; SIGTERM
    errorClosed,        // started with "2>&-" (a service file, a cron line); SIGTERM
    outputsClosed,      // ">&- 2>&-"; SIGTERM
    allClosed,          // "<&- >&- 2>&-" (a daemonizer); SIGTERM
    interruptInRestart, // Ctrl-C while the exit of a restart (a new flight loaded) runs
    terminateInRestart, // a supervisor's SIGTERM at that moment
    displayGone,        // a window on an X server that is killed (a remote session ending)
};

// Reads what the program writes to its terminal or pipe, as a terminal
// window or tee does, until the test lets go of it.
class Reader {
public:
    explicit Reader(int fd) : m_fd(fd), m_thread([this] { run(); }) {}
    ~Reader() { goAway(); }
    void goAway()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    void run()
    {
        char buffer[4096];
        while (!m_stop.load()) {
            pollfd ready{m_fd, POLLIN, 0};
            if (::poll(&ready, 1, 50) > 0 && ::read(m_fd, buffer, sizeof buffer) <= 0)
                std::this_thread::sleep_for(50ms);  // the pty's slave has no writer yet
        }
    }
    int m_fd;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class EndingTest : public OperationsTest, public ::testing::WithParamInterface<Ending> {};

// However the program was started (standard streams closed included) and the
// terminal or the display goes away, and a signal in a restart's exit too,
// the run ends through every exit step, once, without restarting: the
// stand learned at the park airport is saved, the flight-plan folder goes,
// the closing line is in the log, the exit code is 0, and a terminal that
// cannot be written any more is noted once in the log.
TEST_P(EndingTest, endsWithItsExitStepsAndTheLearnedStandSaved)
{
    const Ending ending = GetParam();
    const int lowestClosed = ending == Ending::allClosed       ? 0
                             : ending == Ending::outputsClosed ? 1
                             : ending == Ending::errorClosed   ? 2
                                                               : 3;  // none
    prepare();
    connectRealTraffic();
    std::unique_ptr<Reader> reader;
    std::unique_ptr<testsupport::XvfbServer> xvfb;  // its own: it is killed
    if (ending == Ending::displayGone) {
        xvfb = std::make_unique<testsupport::XvfbServer>();
        if (!xvfb->running())
            GTEST_SKIP() << xvfb->why();
        startProgram(xvfb->display());
    } else if (ending == Ending::terminalClosed) {
        int master = -1;
        int slave = -1;
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        // The program leads a session whose controlling terminal is the pty,
        // as in a terminal window or an SSH session.
        startProgramWith(
            [slave] {
                ::setsid();
                ::ioctl(slave, TIOCSCTTY, 0);
                for (int fd = 0; fd < 3; ++fd)
                    ::dup2(slave, fd);
                ::close(slave);
            },
            {});
        ::close(slave);
        reader = std::make_unique<Reader>(master);
    } else if (ending == Ending::readerGoneSignal || ending == Ending::readerGoneNoSignal) {
        int pipeEnds[2];
        ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
        const int writeEnd = pipeEnds[1];
        startProgramWith(
            [writeEnd] {
                ::dup2(writeEnd, 1);
                ::dup2(writeEnd, 2);
            },
            {});
        ::close(writeEnd);
        reader = std::make_unique<Reader>(pipeEnds[0]);
    } else if (lowestClosed < 3) {
        startProgramWith(
            [lowestClosed] {
                for (int fd = lowestClosed; fd < 3; ++fd)
                    ::close(fd);
            },
            {});
    } else {
        startProgramWith({}, ending == Ending::diskFull ? fs::path("/dev/full") : m_dir.path() / "norvane.out");
    }
    ASSERT_TRUE(waitForLog("Start of operations: main loop started", 60s)) << log();
    // A closed stream's number holds /dev/null, not a descriptor the program opened later.
    for (int fd = lowestClosed; fd < 3; ++fd) {
        std::error_code error;
        EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(m_norvane->pid()) + "/fd/" + std::to_string(fd), error),
                  "/dev/null")
            << fd;
    }

    // An airliner standing at stand A1 of the park airport learns the stand
    // the moment it is placed there.
    rtstub::RtStub traffic(m_trafficPort, m_qnhPort);
    auto lastReport = std::chrono::steady_clock::time_point{};
    const auto atTheStand = [&] {
        // One report a second, as RealTraffic sends them.
        if (std::chrono::steady_clock::now() - lastReport < 1s)
            return false;
        lastReport = std::chrono::steady_clock::now();
        traffic.sendTraffic(rtstub::TrafficLine::onGround()
                                .set(rtstub::kLatitude, "47.456000")
                                .set(rtstub::kLongitude, "8.562000")
                                .set(rtstub::kGroundSpeed, "0")
                                .set(rtstub::kTrack, "270")
                                .set(rtstub::kTimestamp, rtstub::numberText(rtstub::nowSeconds()))
                                .text());
        const auto callsigns = aiCallsigns();
        return std::find(callsigns.begin(), callsigns.end(), "SWR17K") != callsigns.end();
    };
    ASSERT_TRUE(waitFor(atTheStand, 120s)) << log();
    const fs::path flightPlans = m_dir.path() / "roaming" / "Norvane_P3D" / "orig_dest";
    ASSERT_TRUE(fs::is_directory(flightPlans));

    std::string closing = "Signal SIGHUP (terminal closed) received, closing Norvane_P3D ...";
    std::string failure;  // the note of the terminal that failed
    switch (ending) {
    case Ending::hangupSignal:
        m_norvane->signal(SIGHUP);
        break;
    case Ending::terminalClosed:
        reader->goAway();
        failure = "Input/output error";
        break;
    case Ending::readerGoneSignal:
        reader->goAway();
        m_norvane->signal(SIGINT);
        closing = "Signal SIGINT (Ctrl-C) received, closing Norvane_P3D ...";
        failure = "Broken pipe";
        break;
    case Ending::readerGoneNoSignal:
        reader->goAway();
        // Lines keep coming: the program runs on until the simulator closes.
        m_sim->sendQuit();
        m_sim->closeConnections();
        closing = "Exiting: SIM WAS CLOSED";
        failure = "Broken pipe";
        break;
    case Ending::diskFull:
        m_norvane->signal(SIGTERM);
        closing = "Signal SIGTERM received, closing Norvane_P3D ...";
        failure = "No space left on device";
        break;
    case Ending::errorClosed:
    case Ending::outputsClosed:
    case Ending::allClosed:
        m_norvane->signal(SIGTERM);
        closing = "Signal SIGTERM received, closing Norvane_P3D ...";
        break;
    case Ending::interruptInRestart:
    case Ending::terminateInRestart:
        m_sim->sendFilenameEvent("FlightLoaded", "Flights\\Other.fxml");
        // The exit's first step alone waits 300 ms: the signal comes well
        // before the restart's countdown.
        ASSERT_TRUE(waitForLog("Exiting: RESTART", 30s)) << log();
        m_norvane->signal(ending == Ending::interruptInRestart ? SIGINT : SIGTERM);
        closing = ending == Ending::interruptInRestart ? "Signal SIGINT (Ctrl-C) received, closing Norvane_P3D ..."
                                                       : "Signal SIGTERM received, closing Norvane_P3D ...";
        break;
    case Ending::displayGone:
        ::kill(xvfb->pid(), SIGKILL);
        closing = "The display " + xvfb->display() + " went away, closing Norvane_P3D ...";
        break;
    }
    EXPECT_EQ(m_norvane->exitCode(30s), 0) << log();
    if (ending == Ending::hangupSignal || ending == Ending::displayGone) {
        EXPECT_NE(testsupport::readFile(m_dir.path() / "norvane.out").find(closing), std::string::npos)
            << testsupport::readFile(m_dir.path() / "norvane.out");
    }
    const std::string text = log();
    const auto closed = text.find(closing);
    ASSERT_NE(closed, std::string::npos) << text;
    EXPECT_EQ(text.find(closing, closed + 1), std::string::npos) << "one closing line\n" << text;
    EXPECT_EQ(testsupport::countLinesWith(m_program / "Log.txt", "main loop started"), 1) << "no restart\n" << text;
    EXPECT_EQ(text.find("Restarting after"), std::string::npos) << text;
    if (ending != Ending::readerGoneNoSignal) {
        // In a restart's exit the exit may say so before the window does.
        const auto from = text.find("Exiting: RESTART") != std::string::npos ? text.find("Exiting: RESTART") : closed;
        EXPECT_EQ(testsupport::countLinesWith(m_program / "Log.txt", "User closed Norvane_P3D"), 1) << text;
        EXPECT_NE(text.find("User closed Norvane_P3D", from), std::string::npos) << text;
    }
    const std::string note = "===> Standard error cannot be written (" + failure + "): its lines are dropped\n";
    const auto noted = text.find("Standard error ");
    if (failure.empty()) {
        EXPECT_EQ(noted, std::string::npos) << text;
    } else {
        EXPECT_NE(text.find(note), std::string::npos) << text;
        EXPECT_EQ(text.find("Standard error ", noted + 1), std::string::npos) << "noted once\n" << text;
    }
    EXPECT_FALSE(fs::exists(flightPlans));
    const std::string learned = testsupport::readFile(m_program / "airports" / "learned" / "stock" / "LSZH.xml");
    const auto stand = learned.find("<parkpos id=\"A1\"");
    ASSERT_NE(stand, std::string::npos) << learned;
    EXPECT_LT(learned.find("<opt ", stand), learned.find("</parkpos>", stand)) << learned;
}

INSTANTIATE_TEST_SUITE_P(Endings, EndingTest,
                         ::testing::Values(Ending::hangupSignal, Ending::terminalClosed, Ending::readerGoneSignal,
                                           Ending::readerGoneNoSignal, Ending::diskFull, Ending::errorClosed,
                                           Ending::outputsClosed, Ending::allClosed, Ending::interruptInRestart,
                                           Ending::terminateInRestart, Ending::displayGone),
                         [](const auto& info) {
                             switch (info.param) {
                             case Ending::hangupSignal: return std::string("hangupSignal");
                             case Ending::terminalClosed: return std::string("terminalClosed");
                             case Ending::readerGoneSignal: return std::string("readerGoneSignal");
                             case Ending::readerGoneNoSignal: return std::string("readerGoneNoSignal");
                             case Ending::diskFull: return std::string("diskFull");
                             case Ending::errorClosed: return std::string("errorClosed");
                             case Ending::outputsClosed: return std::string("outputsClosed");
                             case Ending::allClosed: return std::string("allClosed");
                             case Ending::interruptInRestart: return std::string("interruptInRestart");
                             case Ending::terminateInRestart: return std::string("terminateInRestart");
                             case Ending::displayGone: return std::string("displayGone");
                             }
                             return std::string();
                         });

// Where RealTraffic is and whether the Aerowinx mode is on decide the TCP
// server and the readers' bind address; the readers start in every case.
struct Place {
    bool jar;
    bool aerowinx;
    bool server;    // RealTraffic is waited for on the TCP server
    bool loopback;  // the readers bind to 127.0.0.1, else to any address
};

class RealTrafficPlace : public OperationsTest, public ::testing::WithParamInterface<Place> {};

TEST_P(RealTrafficPlace, decidesServerAndBindAddress)
{
    const Place c = GetParam();
    prepare(WorldOptions{c.jar, c.aerowinx, true});
    connectRealTraffic();
    startProgram();
    ASSERT_TRUE(waitForLog("Start of operations: main loop started", 60s)) << log();
    EXPECT_EQ(m_link->connections(), c.server ? 1 : 0);
    EXPECT_EQ(logHas("Waiting for RealTraffic to connect"), c.server);
    EXPECT_TRUE(logHas("No traffic in this region?"));
    // Headless, the terminal says that nothing comes, as the window's yellow "Traffic" does.
    EXPECT_TRUE(testsupport::waitFor(
        [&] {
            return testsupport::readFile(m_dir.path() / "norvane.out")
                       .find("Traffic feed: nothing received for a while: is RealTraffic running and sending to this "
                             "machine?\n") != std::string::npos;
        },
        60s))
        << testsupport::readFile(m_dir.path() / "norvane.out");
    EXPECT_EQ(udpBoundToLoopback(m_norvane->pid(), m_trafficPort), std::optional<bool>(c.loopback));
    EXPECT_EQ(udpBoundToLoopback(m_norvane->pid(), m_qnhPort), std::optional<bool>(c.loopback));

    m_norvane->signal(SIGTERM);
    EXPECT_EQ(m_norvane->exitCode(20s), 0);
    EXPECT_FALSE(logHas("still running")) << log();
    // No TCP link to RealTraffic: only the simulator is said connected, and
    // the close the program made itself ends with its own line.
    const fs::path terminal = m_dir.path() / "norvane.out";
    EXPECT_EQ(testsupport::countLinesWith(terminal, "connected"), 1) << testsupport::readFile(terminal);
    EXPECT_EQ(testsupport::countLinesWith(terminal, "Prepar3D v5 (5.3.17.28) connected"), 1);
    const std::string said = testsupport::readFile(terminal);
    EXPECT_TRUE(said.ends_with("Signal SIGTERM received, closing Norvane_P3D ...\n")) << said;
}

INSTANTIATE_TEST_SUITE_P(Places, RealTrafficPlace,
                         ::testing::Values(Place{true, true, false, true}, Place{false, false, false, false}),
                         [](const auto& info) {
                             return std::string(info.param.aerowinx ? "aerowinxOn" : "noRealTrafficJar");
                         });

TEST_F(OperationsTest, withoutAFlightNothingStartsAfterTheSimulatorThread)
{
    prepare(WorldOptions{true, false, false});
    connectRealTraffic();
    startProgram();
    ASSERT_TRUE(waitForLog("Start of operations", 30s)) << log();
    ASSERT_TRUE(waitFor([&] { return m_sim->connectionCount() == 1; }, 10s));
    std::this_thread::sleep_for(1500ms);  // a flight would have been seen by now
    EXPECT_FALSE(logHas("Flight is running"));
    EXPECT_EQ(m_link->connections(), 0);

    // A close while it waits ends the program at once, nothing more started.
    const auto closing = std::chrono::steady_clock::now();
    m_norvane->signal(SIGTERM);
    EXPECT_EQ(m_norvane->exitCode(10s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 5s);
    const std::string text = log();
    EXPECT_NE(text.find("User closed Norvane_P3D"), std::string::npos) << text;
    for (const char* never : {"Reader connected", "main loop started", "still running", "RealTraffic connected"})
        EXPECT_EQ(text.find(never), std::string::npos) << never;
}

// The simulator reports a position in the near-zero box before it knows one.
TEST_F(OperationsTest, userPositionInTheNearZeroBoxIsWaitedOut)
{
    prepare();
    m_sim->setUserVar("PLANE LATITUDE", 0.0009);
    m_sim->setUserVar("PLANE LONGITUDE", 0.05);
    connectRealTraffic();
    startProgram();
    ASSERT_TRUE(waitForLog("Flight is running", 30s)) << log();
    std::this_thread::sleep_for(2s);  // several answers, all inside the box
    EXPECT_FALSE(logHas("User aircraft at")) << log();

    m_sim->setUserVar("PLANE LATITUDE", 0.00091);
    ASSERT_TRUE(waitForLog("User aircraft at 0.0009 0.0500", 20s)) << log();
    EXPECT_TRUE(waitForLog("Start of operations: main loop started", 40s)) << log();
}

// A port another program holds: the start fails, the log names the port and
// the cause, the terminal shows the error and the exit code tells a failure.
// The terminal gets the last word, with a window or without: why the program
// ended.
enum class TakenPort { tcp, qnh, traffic, qnhWithWindow };

class PortTakenTest : public OperationsTest, public ::testing::WithParamInterface<TakenPort> {};

TEST_P(PortTakenTest, endsWithTheSystemErrorCodeAndTheLogNamesPortAndCause)
{
    const bool withWindow = GetParam() == TakenPort::qnhWithWindow;
    testsupport::XvfbServer& xvfb = testsupport::sharedXvfb();
    if (withWindow && !xvfb.running())
        GTEST_SKIP() << xvfb.why();
    prepare();
    const TakenPort which = withWindow ? TakenPort::qnh : GetParam();
    const std::uint16_t port = which == TakenPort::tcp ? m_tcpPort : which == TakenPort::qnh ? m_qnhPort : m_trafficPort;
    const PortTaken taken(port, which != TakenPort::tcp);
    if (which != TakenPort::tcp)
        connectRealTraffic();
    startProgram(withWindow ? xvfb.display() : std::string());

    // A supervisor's SIGTERM while the exit runs changes nothing: the program
    // ends anyway, with its own code, and no line says that the signal closed it.
    ASSERT_TRUE(waitForLog("Exiting: SYSTEM ERROR", 90s)) << log();
    m_norvane->signal(SIGTERM);
    const std::optional<int> code = m_norvane->exitCode(90s);
    const std::string text = log();
    EXPECT_EQ(code, 1) << text;

    // One line for UDP and TCP alike: the port, the system's words for the
    // cause (no Windows number) and what to do.
    const std::string setting = which == TakenPort::tcp   ? "PORT_NUMBER in " + (m_dir.path() / "roaming" / "Norvane_P3D" / "parameters.xml").string()
                                : which == TakenPort::qnh ? std::string("NORVANE_QNH_PORT")
                                                          : std::string("NORVANE_TRAFFIC_PORT");
    const std::string lineText = std::string("Error ") +
                                 (which == TakenPort::tcp ? "RealTraffic's TCP server cannot start: TCP"
                                                          : "Reader error: UDP") +
                                 " port " + std::to_string(port) +
                                 " cannot be used: Address already in use: stop the program that holds it, or set " +
                                 setting + " to a free port\n";
    EXPECT_NE(text.find(lineText), std::string::npos) << lineText << "\n--- log:\n" << text;
    EXPECT_EQ(text.find("10048"), std::string::npos) << text;
    EXPECT_NE(text.find("Exiting: SYSTEM ERROR"), std::string::npos) << text;
    EXPECT_EQ(text.find("main loop started"), std::string::npos);
    EXPECT_EQ(text.find("still running"), std::string::npos) << text;
    if (which == TakenPort::tcp)
        EXPECT_EQ(text.find("Reader connected"), std::string::npos);
    else {
        EXPECT_EQ(text.find("Error Reader error\n"), std::string::npos) << text;
        EXPECT_NE(text.find("has stopped with an error: "), std::string::npos) << "the log keeps it\n" << text;
    }
    // Headless, the same line reaches the terminal, once, and nothing says
    // that the feed on the port works; with a window or without, the last
    // line says why it ended.
    const fs::path output = m_dir.path() / "norvane.out";
    const std::string terminal = testsupport::readFile(output);
    EXPECT_EQ(terminal.find(" received, closing"), std::string::npos) << terminal;
    if (!withWindow) {
        EXPECT_NE(terminal.find(lineText), std::string::npos) << terminal;
        EXPECT_EQ(testsupport::countLinesWith(output, "Error "), 1) << terminal;
        EXPECT_EQ(testsupport::countLinesWith(output, "has stopped with an error"), 0) << terminal;
        EXPECT_EQ(testsupport::countLinesWith(output, "cannot be used"), 2) << "the error line and the last line\n"
                                                                            << terminal;
        if (which != TakenPort::tcp) {
            EXPECT_EQ(terminal.find(which == TakenPort::qnh ? "Weather feed: open" : "Traffic feed: open"),
                      std::string::npos)
                << terminal;
        }
    }
    // With a window the libraries' leak reports of a sanitized run may follow.
    const std::string last = "Norvane_P3D ended with exit code 1: " + lineText.substr(6);
    EXPECT_TRUE(withWindow ? terminal.find(last) != std::string::npos : terminal.ends_with(last)) << terminal;
}

INSTANTIATE_TEST_SUITE_P(Ports, PortTakenTest,
                         ::testing::Values(TakenPort::tcp, TakenPort::qnh, TakenPort::traffic, TakenPort::qnhWithWindow),
                         [](const auto& info) {
                             return std::string(info.param == TakenPort::tcp       ? "tcp"
                                                : info.param == TakenPort::qnh     ? "qnh"
                                                : info.param == TakenPort::traffic ? "traffic"
                                                                                   : "qnhWithWindow");
                         });

TEST_F(OperationsTest, teleportRestartsOperationsWithoutLeaks)
{
    prepare();
    connectRealTraffic();
    startReplay(5.0);
    startProgram();
    ASSERT_TRUE(waitForLog("Start of operations: main loop started", 60s)) << log();
    ASSERT_TRUE(waitFor([&] { return anyReplayCallsign(aiCallsigns()); }, 60s)) << log();
    const int threads = threadCount(m_norvane->pid());
    const int descriptors = descriptorCount(m_norvane->pid());

    const auto teleportAt = std::chrono::steady_clock::now();
    m_sim->sendSystemEvent("PositionChanged", 0);
    ASSERT_TRUE(waitForLog("Exiting: RESTART", 10s)) << log();
    ASSERT_TRUE(waitFor([&] { return m_link->exits() == 1; }, 10s));
    // The countdown, then everything anew.
    ASSERT_TRUE(waitFor(
        [&] {
            const std::string text = log();
            const auto restart = text.find("Exiting: RESTART");
            return text.find("Start of operations: main loop started", restart) != std::string::npos;
        },
        90s))
        << log();
    EXPECT_TRUE(waitFor([&] { return m_link->connections() == 2; }, 10s));
    EXPECT_EQ(m_sim->connectionCount(), 2u);
    // Created anew: the stand-in keeps the objects of the first connection.
    ASSERT_TRUE(waitFor(
        [&] {
            const auto objects = m_sim->aiObjects();
            return std::any_of(objects.begin(), objects.end(), [&](const simstub::SimObjectState& o) {
                return o.createdAt > teleportAt && anyReplayCallsign({o.atcId});
            });
        },
        60s))
        << log();
    // One simulator thread, one main loop, one reader per port: the same
    // threads and descriptors as before.
    // A leak stays; a descriptor or thread of the moment does not, so the
    // counts are waited for, never read once.
    EXPECT_TRUE(waitFor([&] { return threadCount(m_norvane->pid()) <= threads; }, 10s))
        << threadCount(m_norvane->pid()) << " threads, " << threads << " before";
    EXPECT_TRUE(waitFor([&] { return descriptorCount(m_norvane->pid()) <= descriptors + 1; }, 10s))
        << descriptorCount(m_norvane->pid()) << " descriptors, " << descriptors << " before";
}
