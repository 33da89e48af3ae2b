// norvane-simstub: the simulator stand-in as a program, for demos. It listens
// on the default pipe (and TCP loopback when asked), runs frames, and prints
// every packet it receives until it is interrupted.

#include "sim_stub.hpp"

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <fmt/format.h>
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

void usage()
{
    std::fputs("usage: norvane-simstub [--name TEXT] [--version MAJOR.MINOR] [--pipe NAME | --no-pipe]\n"
               "                       [--ipv4 PORT] [--ipv6 PORT] [--frame-ms N] [--second-ms N]\n"
               "                       [--refuse TITLE]... [--mute] [--pad WORDS]\n",
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

} // namespace

int main(int argc, char** argv)
{
    simstub::Options options;
    options.frameInterval = std::chrono::milliseconds(33);
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
        } else if (arg == "--pad" && hasValue && parseNumber(argv[i + 1], number) && number <= 1024) {
            options.paddingWords = number;
            ++i;
        } else if (arg == "--mute") {
            options.answerOpen = false;
        } else {
            usage();
            return 2;
        }
    }

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

    std::size_t printedPackets = 0;
    std::size_t printedErrors = 0;
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto packets = stub.packets();
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
