// norvane-simstub: the simulator stand-in as a program, for demos. It listens
// on the default pipe (and TCP loopback when asked), runs frames, and prints
// every packet it receives (unless --quiet) until it is interrupted. With
// --lszh-flight the user's aircraft stands on the ground at Zürich and the
// flight runs: every client that subscribes to "Sim" is told so at once.
// With --report-s N it prints, every N seconds, the AI aircraft it holds.
// Each --ground LAT,LON,RADIUS_NM,FEET raises or lowers the ground inside a
// circle (elsewhere it lies at 1,416 ft).

#include "sim_stub.hpp"

#include <atomic>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fmt/format.h>
#include <set>
#include <string>
#include <string_view>
#include <thread>

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int)
{
    g_stop = true;
}

bool parseNumber(std::string_view text, unsigned& out)
{
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size();
}

// LAT,LON,RADIUS_NM,FEET: degrees, a radius above 0 nm, and the ground's height.
bool parseGroundArea(std::string_view text, simstub::GroundArea& out)
{
    double values[4] = {};
    for (int i = 0; i < 4; ++i) {
        const auto comma = text.find(',');
        if ((comma == std::string_view::npos) != (i == 3))
            return false;
        const std::string_view part = text.substr(0, comma);
        auto [ptr, ec] = std::from_chars(part.data(), part.data() + part.size(), values[i]);
        if (part.empty() || ec != std::errc() || ptr != part.data() + part.size() || !std::isfinite(values[i]))
            return false;
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
    }
    out = {values[0], values[1], values[2], values[3]};
    return std::abs(out.latitude) <= 90.0 && std::abs(out.longitude) <= 180.0 && out.radiusNm > 0.0;
}

void usage()
{
    std::fputs("usage: norvane-simstub [--name TEXT] [--version MAJOR.MINOR] [--pipe NAME | --no-pipe]\n"
               "                       [--ipv4 PORT] [--ipv6 PORT] [--frame-ms N] [--second-ms N]\n"
               "                       [--refuse TITLE]... [--mute] [--pad WORDS]\n"
               "                       [--ground LAT,LON,RADIUS_NM,FEET]...\n"
               "                       [--lszh-flight] [--report-s N] [--quiet]\n",
               stderr);
}

std::string describe(const simstub::Packet& p)
{
    std::string text = fmt::format("#{} frame {} {} ({} bytes)", p.sendId, p.frame, p.name, p.size);
    for (const auto& [name, value] : p.fields) {
        if (const auto* u = std::get_if<std::uint32_t>(&value))
            text += fmt::format(" {}={}", name, *u);
        else if (const auto* f = std::get_if<float>(&value))
            text += fmt::format(" {}={}", name, *f);
        else if (const auto* d = std::get_if<double>(&value))
            text += fmt::format(" {}={}", name, *d);
        else if (const auto* s = std::get_if<std::string>(&value))
            text += fmt::format(" {}=\"{}\"", name, *s);
        else if (const auto* b = std::get_if<std::vector<std::uint8_t>>(&value))
            text += fmt::format(" {}=[{} bytes]", name, b->size());
    }
    return text;
}

// One line per AI aircraft: id, title, tail number, position, on ground.
void report(const simstub::SimStub& stub)
{
    const auto objects = stub.aiObjects();
    std::printf("report: %zu AI aircraft\n", objects.size());
    for (const auto& o : objects) {
        std::printf("report: id %u \"%s\" %s %.5f %.5f %.0f ft %s\n", o.id, o.title.c_str(), o.atcId.c_str(),
                    o.var("PLANE LATITUDE"), o.var("PLANE LONGITUDE"), o.var("PLANE ALTITUDE"),
                    o.var("SIM ON GROUND") != 0.0 ? "on ground" : "airborne");
    }
}

} // namespace

int main(int argc, char** argv)
{
    simstub::Options options;
    options.frameInterval = std::chrono::milliseconds(33);
    bool lszhFlight = false;
    bool quiet = false;
    unsigned reportSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        unsigned number = 0;
        if (arg == "--name" && hasValue) {
            options.applicationName = argv[++i];
        } else if (arg == "--version" && hasValue) {
            const std::string_view v = argv[++i];
            const auto dot = v.find('.');
            unsigned minor = 0;
            if (!parseNumber(v.substr(0, dot), number) ||
                (dot != std::string_view::npos && !parseNumber(v.substr(dot + 1), minor))) {
                usage();
                return 2;
            }
            options.versionMajor = number;
            options.versionMinor = minor;
        } else if (arg == "--pipe" && hasValue) {
            options.pipeName = argv[++i];
        } else if (arg == "--no-pipe") {
            options.listenPipe = false;
        } else if (arg == "--ipv4" && hasValue && parseNumber(argv[i + 1], number) && number < 65536) {
            options.listenIpv4 = true;
            options.ipv4Port = static_cast<std::uint16_t>(number);
            ++i;
        } else if (arg == "--ipv6" && hasValue && parseNumber(argv[i + 1], number) && number < 65536) {
            options.listenIpv6 = true;
            options.ipv6Port = static_cast<std::uint16_t>(number);
            ++i;
        } else if (arg == "--frame-ms" && hasValue && parseNumber(argv[i + 1], number)) {
            options.frameInterval = std::chrono::milliseconds(number);
            ++i;
        } else if (arg == "--second-ms" && hasValue && parseNumber(argv[i + 1], number)) {
            options.secondInterval = std::chrono::milliseconds(number);
            ++i;
        } else if (arg == "--refuse" && hasValue) {
            options.refusedTitles.emplace_back(argv[++i]);
        } else if (arg == "--ground" && hasValue) {
            simstub::GroundArea area;
            if (!parseGroundArea(argv[++i], area)) {
                usage();
                return 2;
            }
            options.groundAreas.push_back(area);
        } else if (arg == "--pad" && hasValue && parseNumber(argv[i + 1], number) && number <= 1024) {
            options.paddingWords = number;
            ++i;
        } else if (arg == "--lszh-flight") {
            lszhFlight = true;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--report-s" && hasValue && parseNumber(argv[i + 1], number) && number > 0) {
            reportSeconds = number;
            ++i;
        } else if (arg == "--mute") {
            options.answerOpen = false;
        } else {
            usage();
            return 2;
        }
    }

    // Packets are only printed, never kept, in a long quiet run.
    options.recordPackets = !quiet;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    simstub::SimStub stub(options);
    std::string error;
    if (!stub.start(error)) {
        std::fprintf(stderr, "norvane-simstub: %s\n", error.c_str());
        return 1;
    }
    std::string where;
    if (options.listenPipe)
        where += fmt::format(" [{}]", options.pipeName);
    if (options.listenIpv4)
        where += fmt::format(" [127.0.0.1:{}]", stub.ipv4Port());
    if (options.listenIpv6)
        where += fmt::format(" [[::1]:{}]", stub.ipv6Port());
    std::printf("norvane-simstub: \"%s\" %u.%u listening on%s\n", options.applicationName.c_str(),
                options.versionMajor, options.versionMinor, where.c_str());
    std::fflush(stdout);

    if (lszhFlight) {
        // On the ground at Zürich, beside the apron: the default world is
        // there already; said again so the option means what it says.
        stub.setUserVar("PLANE LATITUDE", 47.4581);
        stub.setUserVar("PLANE LONGITUDE", 8.5555);
        stub.setUserVar("PLANE ALTITUDE", stub.groundAltitudeAt(47.4581, 8.5555));
        stub.setUserVar("GROUND ALTITUDE", stub.groundAltitudeAt(47.4581, 8.5555));
        stub.setUserVar("SIM ON GROUND", 1.0);
        std::printf("norvane-simstub: user aircraft on the ground at LSZH, flight running\n");
    }

    std::size_t printedPackets = 0;
    std::size_t printedErrors = 0;
    std::set<std::size_t> toldRunning;
    auto nextReport = std::chrono::steady_clock::now() + std::chrono::seconds(reportSeconds);
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (lszhFlight)
            announceRunningFlight(stub, toldRunning);
        if (reportSeconds > 0 && std::chrono::steady_clock::now() >= nextReport) {
            report(stub);
            nextReport += std::chrono::seconds(reportSeconds);
        }
        const auto packets = stub.packets();
        if (quiet)
            printedPackets = packets.size();
        for (; printedPackets < packets.size(); ++printedPackets)
            std::printf("%s\n", describe(packets[printedPackets]).c_str());
        const auto errors = stub.protocolErrors();
        for (; printedErrors < errors.size(); ++printedErrors)
            std::printf("protocol error: %s\n", errors[printedErrors].c_str());
        std::fflush(stdout);
    }
    stub.stop();
    return 0;
}
