// The whole start-up carried on into real operations in this process, against
// the simulator stand-in and both sides of the RealTraffic stand-in: the
// replayed Zürich tracks become AI aircraft, the window counts them, and
// restarts in one process start everything anew and leak nothing.

#include "startup_fixture.hpp"

#include "airports/airport_services.hpp"
#include "airports/park_positions.hpp"
#include "app/main_window_paint.hpp"
#include "app/traffic_range.hpp"
#include "parking/park_airports_file.hpp"
#include "platform/ui/painter.hpp"
#include "realtraffic/traffic_reader.hpp"
#include "rtstub/traffic_line_builder.hpp"
#include "simconnect/sim_client.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/live_traffic.hpp"
#include "sim_stub.hpp"
#include "support/proc_counts.hpp"
#include "support/stand_ins.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

#include <unistd.h>

using namespace starttest;
using namespace testsupport;

namespace {

const std::vector<std::string> kCallsigns{"AFR181L", "AUA570", "DLH4TR"};
// A park airport with one stand, apart from the replayed tracks.
const std::string kZurich = R"(<?xml version="1.0"?>
<meta><info name="author" value="Norvane_P3D"/><info name="version" value="8.8.0"/>
<info name="date" value="Dec  1, 2026"/><info name="copyright" value="test"/></meta>
<parameters><parameter name="airport_name" value="Zurich"/><parameter name="publisher" value="stock"/>
<parameter name="altitude" value="1416"/><parameter name="num_parkpos" value="1"/>
<parameter name="Qf_real" value="0"/><parameter name="Qf_soft" value="0"/>
<parameter name="RT_traffic_week" value="2650"/></parameters>
<parkpositions><parkpos id="A1" latitude="47.47" longitude="8.53" heading="270.0" radius="30.0" cargo="false"
ramp="false"/></parkpositions>
)";
const std::string kMainLoopStarted = "Start of operations: main loop started";

// Zürich with three stands apart from the replayed tracks, each used by an
// AFR A319 at every half-hour of the week: static aircraft stand there
// whenever Zürich is the park airport.
std::string zurichInUse()
{
    std::string hours;
    for (int h = 0; h < 48; ++h)
        hours += fmt::format("{}{}", h ? "," : "", h);
    std::string stands;
    for (int i = 0; i < 3; ++i) {
        stands += fmt::format("<parkpos id=\"A{}\" latitude=\"47.470000\" longitude=\"{:.6f}\" heading=\"270.0\" "
                              "radius=\"30.0\" cargo=\"false\" ramp=\"false\">",
                              i + 1, 8.53 + 0.0008 * i);
        for (int day = 1; day <= 7; ++day)
            stands += fmt::format("<opt reg=\"\" airl=\"AFR\" type=\"A319\" day=\"{}\" hh=\"{}\" cs=\"AFR{}:AFR{}\"/>",
                                  day, hours, 9001 + 2 * i, 9002 + 2 * i);
        stands += "</parkpos>";
    }
    return kZurich.substr(0, kZurich.find("<parkpositions>")) + "<parkpositions>" + stands + "</parkpositions>\n";
}

struct LiveStartUpTest : StartUpTest {
    ScopedEnv pipes{"NORVANE_PIPE_DIR", (dir / "pipes").string()};
    ScopedEnv publicDocuments{"NORVANE_PUBLIC_DOCUMENTS", (dir / "public").string()};
    ScopedEnv documents{"XDG_DOCUMENTS_DIR", (dir / "documents").string()};
    std::uint16_t qnhPort = freePort(true);
    std::uint16_t trafficPort = freePort(true);
    ScopedEnv qnh{"NORVANE_QNH_PORT", std::to_string(qnhPort)};
    ScopedEnv traffic{"NORVANE_TRAFFIC_PORT", std::to_string(trafficPort)};
    std::unique_ptr<simstub::SimStub> sim;
    std::unique_ptr<rtstub::TcpLink> link;
    std::atomic<bool> stop{false};
    std::thread flightAnnouncer;
    std::thread replayer;

    // simSecond: the stand-in's second; short where only program time matters.
    explicit LiveStartUpTest(std::chrono::milliseconds simSecond = 200ms)
    {
        tzo::gf_installOperationsStart(nullptr);
        // Liveries and data base entries for the replayed types and airlines.
        addLivery("A319", "AFR");
        addLivery("A320", "AUA");
        addLivery("A321", "DLH");
        auto dbase = DbaseFile::minimal();
        dbase.models("aircrafts", "aircraft", {"B738", "A319", "A321"})
            .models("large", "lar", {"A319", "A321"})
            .airlines("ICAO_airlines", {"AAL", "ZZZ", "PVT", "AUA", "AFR"});
        for (const char* model : {"A319", "A320", "A321"})
            dbase.wingspan(model, "35.8");
        server->put("/downloads/dbase/dbase.xml", dbase.text());
        // The user stands at Zürich: it must be a park airport, or the
        // aircraft on its ground are not taken.
        writeFile("input/airports_p3d.xml", R"(<airports><airport code="EHAM" iata="AMS" lat="52.3" lon="4.76" alt="-11"/>)"
                                            R"(<airport code="LSZH" iata="ZRH" lat="47.4647" lon="8.5492" alt="1416"/>)"
                                            "</airports>");
        server->put("/downloads/archive/p3d/archive.zip",
                    makeZip({{"archive/stock/EHAM.xml", kArchivedAirport}, {"archive/stock/LSZH.xml", kZurich}}));

        writeFile(dir / "roaming" / "InsideSystems" / "RealTraffic.jar", "jar");
        const std::uint16_t tcpPort = freePort(false);
        writeFile(g_parametersPath, fmt::format("<parameters><parameter name=\"PORT_NUMBER\" value=\"{}\"/>"
                                                "</parameters>",
                                                tcpPort));

        simstub::Options options;
        options.frameInterval = 20ms;
        options.secondInterval = simSecond;
        options.recordPackets = false;
        sim = std::make_unique<simstub::SimStub>(options);
        std::string error;
        EXPECT_TRUE(sim->start(error)) << error;
        // Each new connection is told once that the flight runs.
        flightAnnouncer = std::thread([this] {
            std::set<std::size_t> told;
            while (!stop.load()) {
                simstub::announceRunningFlight(*sim, told);
                std::this_thread::sleep_for(50ms);
            }
        });
        link = testsupport::startProfessionalLink(tcpPort);
        replayer = std::thread([this] { testsupport::replayRecordedTracksUntil(trafficPort, qnhPort, 5.0, stop); });
    }

    ~LiveStartUpTest() override
    {
        // The program's own end: it stops what operations started.
        gf_requestExit(ExitReason::USER_CLOSED_SIM, 0);
        waitFor([] { return runningThreads.load() == 0; }, 30s);
        stop = true;
        replayer.join();
        flightAnnouncer.join();
        link->stop();
        sim->stop();
        gf_stopSimClient();
        // What a restart resets, for the tests that follow in this process.
        tzo::ProgramExitServices reset;
        reset.resetTrafficInput();
        reset.resetOutsideState();
        reset.resetTraffic();
        reset.resetWindow();
        // And the park airports that operations read: the automatic range
        // of a later test must not measure to them.
        parkAirports.clear();
        flightRunning = false;
        userOnGround = false;
        userAircraft = {};
        LATERAL_RANGE.setValue(LATERAL_RANGE.defaultValue());
        gf_rangeFromSetting();
    }

    void addLivery(const std::string& model, const std::string& airline) const
    {
        const fs::path folder = simObjects / ("Demo " + model);
        fs::create_directories(folder / "model");
        fs::create_directories(folder / "texture");
        writeFile(folder / (model + ".air"), "flight model");
        writeFile(folder / "aircraft.cfg", "[General]\natc_model=" + model + "\n[fltsim.0]\ntitle=Demo " + model +
                                               " " + airline + "\nsim=" + model +
                                               "\nmodel=\ntexture=\natc_parking_codes=" + airline + "\n");
    }

    // Static aircraft (callsigns ending in "*") the stand-in created since then.
    std::size_t staticCreatedSince(std::chrono::steady_clock::time_point since) const
    {
        std::size_t n = 0;
        for (const auto& o : sim->aiObjects())
            n += o.createdAt > since && !o.atcId.empty() && o.atcId.back() == '*' ? 1 : 0;
        return n;
    }

    // Replayed aircraft the stand-in created since then.
    std::vector<std::string> createdSince(std::chrono::steady_clock::time_point since) const
    {
        std::vector<std::string> callsigns;
        for (const auto& o : sim->aiObjects())
            if (o.createdAt > since && std::find(kCallsigns.begin(), kCallsigns.end(), o.atcId) != kCallsigns.end())
                callsigns.push_back(o.atcId);
        return callsigns;
    }

    // Operations run: the start-up and exit threads are gone, and what is left
    // is one simulator thread, one main loop and one reader per port.
    bool operationsRunning(int runs) const
    {
        return logLinesWith(kMainLoopStarted) == runs && runningThreads.load() == 4 && !exiting.load() &&
               udpSocketsOn(::getpid(), qnhPort).size() == 1 && udpSocketsOn(::getpid(), trafficPort).size() == 1;
    }

    // The process's descriptors without the stand-in's: it keeps every
    // connection it accepted on its pipe until it stops.
    int programDescriptors() const
    {
        return descriptorCount(::getpid()) - unixSocketsUnder(::getpid(), dir / "pipes");
    }
};

// The text the window paints at a point; empty when none.
std::string paintedAt(int x, int y)
{
    ui::RecordingPainter painter;
    lf_paintStatusWindow(painter);
    std::string text;
    for (const auto& call : painter.calls())
        if (call.kind == ui::PaintCall::Kind::text && call.points.at(0) == ui::Point{x, y})
            text = call.text;
    return text;
}

} // namespace

// A first run from "docs" alone meets two simulators and no path; the path
// the user types restarts it into operations, and the replayed aircraft come
// to the simulator (30 s after their first report) and to the window.
TEST_F(LiveStartUpTest, firstRunFromDocsAloneThroughATypedPathToLiveAircraft)
{
    registryEntries(true, true);
    ASSERT_EQ(startUp(), 153);
    EXPECT_EQ(sim->connectionCount(), 0u);
    SIM_INSTALL_PATH.setAndSave(install.string());
    const auto typedAt = std::chrono::steady_clock::now();
    gf_requestExit(ExitReason::RESTART_IPP, 0);
    ASSERT_TRUE(waitFor([&] { return operationsRunning(1); }, 30s)) << log();
    EXPECT_EQ(link->versionQueries(), 1);
    ASSERT_TRUE(waitFor([&] { return !createdSince(typedAt).empty(); }, 60s)) << log();

    // The window's "live:" counts them.
    std::string painted;
    std::string expected;
    EXPECT_TRUE(waitFor(
        [&] {
            expected = fmt::format("live: {:3}", createdSince(typedAt).size());
            painted = paintedAt(642, 91);
            return painted == expected;
        },
        20s))
        << "painted \"" << painted << "\", the simulator holds \"" << expected << "\"";
    EXPECT_TRUE(sim->protocolErrors().empty());
}

// Each restart says exit to RealTraffic and starts everything anew; ten of
// them leave the threads and descriptors as they were after the first start.
TEST_F(LiveStartUpTest, tenRestartsInOneProcessLeakNothing)
{
    ASSERT_EQ(startUp(), 0) << log();
    ASSERT_TRUE(waitFor([&] { return operationsRunning(1); }, 30s)) << log();
    const int threads = threadCount(::getpid());
    const int descriptors = programDescriptors();

    for (int run = 2; run <= 11; ++run) {
        SCOPED_TRACE(run);
        gf_requestExit(run % 2 == 0 ? ExitReason::RESTART : ExitReason::RESTART_IPP, 0);
        ASSERT_TRUE(waitFor([&] { return link->exits() == run - 1; }, 10s));
        ASSERT_TRUE(waitFor([&] { return operationsRunning(run); }, 30s)) << log();
        EXPECT_TRUE(waitFor([&] { return link->connections() == run; }, 10s));
        EXPECT_EQ(sim->connectionCount(), static_cast<std::size_t>(run));
    }
    // A leak stays; a descriptor or thread of the moment (on either count)
    // does not, so the counts are waited for, never read once.
    EXPECT_TRUE(waitFor([&] { return threadCount(::getpid()) <= threads; }, 10s))
        << threadCount(::getpid()) << " threads, " << threads << " after the first start";
    EXPECT_TRUE(waitFor([&] { return programDescriptors() <= descriptors; }, 10s))
        << programDescriptors() << " descriptors, " << descriptors << " after the first start";
    EXPECT_EQ(logLinesWith("still running"), 0);
    EXPECT_EQ(logLinesWith("Reader error"), 0);
    EXPECT_EQ(exitServices->finalCloses.load(), 0);
}

namespace {
// Static parking runs on program time: the stand-in's seconds come fast.
struct StaticRestartTest : LiveStartUpTest {
    StaticRestartTest() : LiveStartUpTest(50ms) {}
};
} // namespace

// Whatever restarts the program in its process (a teleport, a newly loaded
// flight, the third failed request), static parking starts as after a fresh
// start: nothing of the old park airport is left when the next start begins,
// Zürich is chosen and loaded again and its static aircraft come back to the
// simulator.
TEST_F(StaticRestartTest, staticParkingComesBackAfterEveryKindOfRestart)
{
    // What a start finds of static parking: whether the traffic reader takes
    // a report of an aircraft on Zürich's ground, the stand table, the park
    // airport, the static aircraft in the tables and in the simulator.
    const auto parkingNow = [this] {
        trafficReader.setUserPosition(rtstub::kZurichLatitude, rtstub::kZurichLongitude);
        trafficQueue.setIntakeOpen(true);
        trafficQueue.clear();
        trafficReader.handleDatagramText(rtstub::TrafficLine::onGround().text());
        const bool groundTaken = trafficQueue.size() > 0;
        trafficQueue.clear();
        trafficQueue.setIntakeOpen(false);
        trafficReader.resetTimestamp();
        const auto inSimulator = [&] { return staticCreatedSince(std::chrono::steady_clock::time_point{}); };
        waitFor([&] { return inSimulator() == 0; }, 10s); // the stand-in ends the old connection on its own
        return fmt::format("ground report taken {}, {} stands, park airport \"{}\", {} static, {} in the simulator",
                           groundTaken, parkPositions.size(), parkAirportCode.get(), staticAircraft.size(),
                           inSimulator());
    };
    const std::string fresh = parkingNow();
    // Shared with the hook: a restart still under way when an assertion ends
    // the test must find it.
    struct Restarted {
        std::mutex mutex;
        std::vector<std::string> states;
    };
    const auto restarted = std::make_shared<Restarted>();
    exitServices->beforeRestartedStart = [parkingNow, restarted] {
        const std::string now = parkingNow();
        const std::lock_guard lock(restarted->mutex);
        restarted->states.push_back(now);
    };

    server->put("/downloads/archive/p3d/archive.zip",
                makeZip({{"archive/stock/EHAM.xml", kArchivedAirport}, {"archive/stock/LSZH.xml", zurichInUse()}}));
    CUSTOM_PARKING_PERCENTAGE.setValue(100);
    CUSTOM_PARKING_PERCENTAGE.save();
    auto since = std::chrono::steady_clock::now();
    ASSERT_EQ(startUp(), 0) << log();
    ASSERT_TRUE(waitFor([&] { return operationsRunning(1); }, 30s)) << log();
    ASSERT_TRUE(waitFor([&] { return staticCreatedSince(since) > 0; }, 60s)) << log();

    const simstub::SimObjectState user = sim->user();
    const auto userAt = [&](double latitude, double longitude) {
        sim->setUserVar("Plane Latitude", latitude);
        sim->setUserVar("Plane Longitude", longitude);
    };
    struct Restart {
        const char* cause;
        std::function<void()> make;
    };
    const Restart restarts[] = {
        {"a teleport", [&] {
             const int teleports = logLinesWith("Teleport");
             userAt(47.0, 8.0);
             ASSERT_TRUE(waitFor([&] { return logLinesWith("Teleport") > teleports; }, 20s));
             userAt(user.var("PLANE LATITUDE"), user.var("PLANE LONGITUDE"));
         }},
        {"a new flight", [&] { sim->sendFilenameEvent("FlightLoaded", "Flights\\Other.fxml"); }},
        {"three failed requests", [] {
             for (int i = 0; i < 3; ++i)
                 gf_simConnectRequestError();
         }},
    };
    int run = 1;
    for (const Restart& r : restarts) {
        SCOPED_TRACE(r.cause);
        ++run;
        since = std::chrono::steady_clock::now();
        r.make();
        ASSERT_TRUE(waitFor([&] { return operationsRunning(run); }, 60s)) << log();
        EXPECT_EQ(logLinesWith("The park airport is LSZH"), run);
        ASSERT_TRUE(waitFor([&] { return staticCreatedSince(since) > 0; }, 60s)) << log();
    }
    EXPECT_EQ(exitServices->finalCloses.load(), 0);
    exitServices->beforeRestartedStart = nullptr;
    EXPECT_EQ(fresh, "ground report taken false, 0 stands, park airport \"\", 0 static, 0 in the simulator");
    const std::lock_guard lock(restarted->mutex);
    EXPECT_EQ(restarted->states, std::vector<std::string>(3, fresh));
}
