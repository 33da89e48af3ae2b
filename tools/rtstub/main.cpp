// norvane-rtstub: plays RealTraffic on this computer. Replays the recorded
// tracks (or the CSV files given) as traffic lines to the traffic port, sends
// the QNH to the weather port every 10 seconds, and connects to the program's
// TCP port, answering its version query as the edition given (--level 2: the
// professional one) and printing every line the program sends. With
// --newer-fields the traffic lines carry the fields newer RealTraffic versions
// append after the authentication number; with --derive-ground-motion rows
// without a ground speed or track get the ones their positions show.
//
//   norvane-rtstub [--traffic-port N] [--qnh-port N] [--speed X] [--qnh HPA]
//                  [--tcp-port N] [--level L] [--no-tcp] [--loop] [--newer-fields]
//                  [--derive-ground-motion] [--aircraft N] [--report-s S] [track.csv ...]
// With --aircraft N it sends N aircraft made from the recorded tracks (own
// hexids and callsigns, positions spread around Zürich, starts staggered);
// --report-s S sends each aircraft at most every S recorded seconds.
// --speed X flies the tracks X times as fast: times shortened, ground speeds
// and vertical rates raised alike, so that every report still agrees with
// the clock (0: every line at once, as recorded).

#include "rtstub/replay.hpp"
#include "rtstub/tcp_link.hpp"

#include <fmt/format.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<bool> g_stop{false};
// The first signal that stopped the stand-in, said at its end: whoever runs it
// can tell who stopped it.
std::atomic<int> g_stoppedBy{0};

void onSignal(int signal)
{
    int none = 0;
    g_stoppedBy.compare_exchange_strong(none, signal);
    g_stop.store(true);
}

int usage()
{
    fmt::print(stderr, "usage: norvane-rtstub [--traffic-port N] [--qnh-port N] [--speed X] [--qnh HPA] "
                       "[--tcp-port N] [--level L] [--no-tcp] [--loop] [--newer-fields] "
                       "[--derive-ground-motion] [--aircraft N] [--report-s S] [track.csv ...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    int trafficPort = 49005;
    int qnhPort = 49004;
    double speed = 1;
    int qnh = 1013;
    bool loop = false;
    int tcpPort = 10747;
    int level = 1;
    bool tcp = true;
    bool newerFields = false;
    bool deriveMotion = false;
    long crowd = 0;
    double reportSeconds = 0;
    std::vector<std::filesystem::path> files;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc)
                    throw std::invalid_argument(arg);
                return argv[++i];
            };
            if (arg == "--traffic-port")
                trafficPort = std::stoi(value());
            else if (arg == "--qnh-port")
                qnhPort = std::stoi(value());
            else if (arg == "--speed")
                speed = std::stod(value());
            else if (arg == "--qnh")
                qnh = std::stoi(value());
            else if (arg == "--loop")
                loop = true;
            else if (arg == "--tcp-port")
                tcpPort = std::stoi(value());
            else if (arg == "--level")
                level = std::stoi(value());
            else if (arg == "--no-tcp")
                tcp = false;
            else if (arg == "--newer-fields")
                newerFields = true;
            else if (arg == "--derive-ground-motion")
                deriveMotion = true;
            else if (arg == "--aircraft")
                crowd = std::stol(value());
            else if (arg == "--report-s")
                reportSeconds = std::stod(value());
            else if (arg.starts_with("--"))
                return usage();
            else
                files.emplace_back(arg);
        }
        if (trafficPort < 1 || trafficPort > 65535 || qnhPort < 1 || qnhPort > 65535 || tcpPort < 1 ||
            tcpPort > 65535 || speed < 0 || !(reportSeconds >= 0) || crowd < 0 || crowd > 0x5FFFFF)
            return usage();
        if (files.empty())
            files = rtstub::defaultReplayFiles();

        std::vector<rtstub::ReplayTrack> tracks;
        for (const auto& file : files)
            tracks.push_back(rtstub::loadReplayTrack(file));
        if (deriveMotion)
            for (auto& track : tracks)
                rtstub::deriveGroundMotion(track);
        for (auto& track : tracks)
            rtstub::thinReports(track, reportSeconds);
        if (crowd > 0)
            tracks = rtstub::crowdTracks(tracks, static_cast<std::size_t>(crowd));
        // Sent in real time once sped up: a report's timestamp is when it is
        // sent, and a loop's reports come after the last one's.
        double sendSpeed = speed;
        if (speed > 0) {
            for (auto& track : tracks)
                rtstub::speedUp(track, speed);
            sendSpeed = 1;
        }

        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);

        rtstub::RtStub stub(static_cast<std::uint16_t>(trafficPort), static_cast<std::uint16_t>(qnhPort));
        std::thread program([&] {
            if (!tcp)
                return;
            rtstub::TcpOptions options;
            options.port = static_cast<std::uint16_t>(tcpPort);
            options.level = level;
            options.retryInterval = std::chrono::milliseconds(1000);
            rtstub::TcpLink link(options);
            link.start();
            fmt::print("connecting to 127.0.0.1:{} as the {} edition\n", tcpPort, level == 2 ? "professional" : "standard");
            std::size_t shown = 0;
            for (bool last = false; !last;) {
                // One more round after the stop: lines that came just before it count too.
                last = g_stop.load();
                const auto lines = link.lines();
                for (; shown < lines.size(); ++shown)
                    fmt::print("tcp: {}\n", lines[shown]);
                std::fflush(stdout);
                if (!last)
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
        });
        std::thread weather([&] {
            rtstub::RtStub weatherStub(stub.trafficPort(), stub.qnhPort());
            while (!g_stop.load()) {
                try {
                    weatherStub.sendQnh(qnh);
                } catch (const std::exception& e) {
                    fmt::print(stderr, "norvane-rtstub: {}\n", e.what());
                }
                for (int i = 0; i < 100 && !g_stop.load(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        do {
            const auto lines = rtstub::replayLines(tracks, rtstub::nowSeconds(), newerFields);
            fmt::print("replaying {} lines of {} tracks to 127.0.0.1:{} at {}x\n", lines.size(), tracks.size(),
                       trafficPort, speed);
            const auto sent = rtstub::replay(stub, lines, sendSpeed, g_stop);
            fmt::print("{} lines sent\n", sent);
        } while (loop && !g_stop.load());
        if (tcp && !g_stop.load())
            fmt::print("replay done; still connected to the program until stopped\n");
        // The program's link stays until the stand-in is stopped.
        while (tcp && !g_stop.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        g_stop.store(true);
        weather.join();
        program.join();
        if (const int signal = g_stoppedBy.load(); signal != 0)
            fmt::print("stopped by {}\n", signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : std::to_string(signal));
    } catch (const std::exception& e) {
        fmt::print(stderr, "norvane-rtstub: {}\n", e.what());
        return 1;
    }
    return 0;
}
