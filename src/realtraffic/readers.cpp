#include "realtraffic/readers.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "realtraffic/link_state.hpp"

#include <fmt/format.h>

#include <atomic>
#include <exception>

namespace {

// kFailed | (traffic ? kTraffic : 0) | port; 0 while no reader has failed.
constexpr std::uint32_t kFailed = 1u << 17;
constexpr std::uint32_t kTraffic = 1u << 16;
std::atomic<std::uint32_t> g_firstFailure{0};

void lf_reportReaderStopped(bool traffic, std::string_view text, bool bindFailed)
{
    // "TrafficReader " keeps its trailing blank: the status line has always
    // read that way. Logged: a reader that cannot start ends the program, and
    // the log must say why. A port that cannot be bound is then said with its
    // remedy by the start of operations' "Reader error" line.
    const std::string line =
        fmt::format("The {} has stopped with an error: {}", traffic ? "TrafficReader " : "WeatherReader", text);
    if (bindFailed)
        gf_showStatusBeforeError(line);
    else
        gf_showStatus(line, true);
    rtError.store(true);
}

void lf_readerFailed(tzo::UdpReader& reader, std::uint16_t port, bool traffic, std::string_view text)
{
    gf_logLine(fmt::format("{} disconnected", reader.name()));
    std::uint32_t none = 0;
    g_firstFailure.compare_exchange_strong(none, kFailed | (traffic ? kTraffic : 0u) | port);
    lf_reportReaderStopped(traffic, fmt::format("{} (UDP port {})", text, port), !reader.bindFailure().empty());
    reader.closeSocket();
}

} // namespace

void gf_runReaderThread(tzo::UdpReader& reader, std::uint16_t port, bool traffic)
{
    const RunningThreadCount counted;
    try {
        reader.open();
        reader.bind(port);
        if (traffic)
            trafficReaderState.store(tzo::kReaderReceiving);
        weatherReaderState.store(tzo::kReaderReceiving);
        gf_repaintLinkState();
        gf_logLine(fmt::format("{} connected", reader.name()));
        reader.receiveLoop();
        reader.closeSocket();
    } catch (const std::exception& e) {
        lf_readerFailed(reader, port, traffic, e.what());
    } catch (...) {
        lf_readerFailed(reader, port, traffic, "unknown exception");
    }
}

void gf_trafficReaderThread(std::uint16_t port)
{
    gf_runReaderThread(trafficReader, port, true);
}

void gf_qnhReaderThread(std::uint16_t port)
{
    gf_runReaderThread(qnhReader, port, false);
}

std::optional<ReaderFailure> gf_firstReaderFailure()
{
    const std::uint32_t failure = g_firstFailure.load();
    if (failure == 0)
        return std::nullopt;
    const bool traffic = (failure & kTraffic) != 0;
    return ReaderFailure{traffic, static_cast<std::uint16_t>(failure & 0xFFFFu),
                         traffic ? trafficReader.bindFailure() : qnhReader.bindFailure()};
}

void gf_checkReadersAlive()
{
    if (!realTrafficConnected.load())
        return;
    const bool weatherChanged = qnhReader.checkAlive(weatherReaderState);
    const bool trafficChanged = trafficReader.checkAlive(trafficReaderState);
    if (weatherChanged || trafficChanged)
        gf_repaintLinkState();
}

void gf_resetTrafficInput()
{
    g_firstFailure.store(0);
    trafficReader.resetTimestamp();
    trafficReader.clearCollected();
    trafficReader.clearStop();
    qnhReader.clearStop();
    qnhReader.resetCounters();
    trafficReader.setAliveLatch();
    qnhReader.setAliveLatch();
    qnhReader.resetLastQnh();
}
