#include "rtstub/replay.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace rtstub {

namespace {

std::vector<std::string_view> lf_split(std::string_view line)
{
    std::vector<std::string_view> cells;
    std::size_t start = 0;
    while (true) {
        const auto comma = line.find(',', start);
        cells.push_back(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    return cells;
}

std::optional<double> lf_number(std::string_view text)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

template <typename Int>
std::optional<Int> lf_integer(std::string_view text, int base)
{
    Int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::filesystem::path replayFolder()
{
#ifdef NORVANE_REPLAY_DIR
    return std::filesystem::path(NORVANE_REPLAY_DIR);
#else
    return std::filesystem::path("data/replay");
#endif
}

std::vector<std::filesystem::path> defaultReplayFiles()
{
    const auto folder = replayFolder();
    return {folder / "lszh_ground.csv", folder / "lszh_takeoff.csv", folder / "lszh_landing.csv"};
}

ReplayTrack loadReplayTrack(const std::filesystem::path& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error(fmt::format("rtstub: cannot read {}", path.string()));
    std::string line;
    if (!std::getline(in, line))
        throw std::runtime_error(fmt::format("rtstub: {} is empty", path.string()));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();

    const std::vector<std::string_view> header = lf_split(line);
    auto column = [&](std::string_view name) {
        const auto it = std::find(header.begin(), header.end(), name);
        if (it == header.end())
            throw std::runtime_error(fmt::format("rtstub: {} has no column {}", path.string(), name));
        return static_cast<std::size_t>(it - header.begin());
    };
    const std::size_t cEpoch = column("epoch_ms"), cIcao = column("icao24"), cCallsign = column("callsign"),
                      cLat = column("lat"), cLon = column("lon"), cAlt = column("altitude_ft"),
                      cSpeed = column("groundspeed_kt"), cTrack = column("track_deg"),
                      cRate = column("vertical_rate_fpm"), cGround = column("onground");

    ReplayTrack track;
    track.name = path.filename().string();
    ReplaySample last;
    bool haveAltitude = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto cells = lf_split(line);
        if (cells.size() < header.size())
            continue;
        const auto epoch = lf_integer<std::int64_t>(cells[cEpoch], 10);
        const auto icao = lf_integer<std::uint32_t>(cells[cIcao], 16);
        const auto lat = lf_number(cells[cLat]);
        const auto lon = lf_number(cells[cLon]);
        if (!epoch || !icao || !lat || !lon)
            continue;
        ReplaySample sample = last;
        sample.epochMs = *epoch;
        sample.icao24 = *icao;
        if (!cells[cCallsign].empty())
            sample.callsign.assign(cells[cCallsign]);
        sample.latitude = *lat;
        sample.longitude = *lon;
        if (const auto alt = lf_number(cells[cAlt])) {
            sample.altitudeFt = *alt;
            haveAltitude = true;
        }
        sample.speedRecorded = false;
        sample.trackRecorded = false;
        if (const auto speed = lf_number(cells[cSpeed])) {
            sample.groundSpeedKt = *speed;
            sample.speedRecorded = true;
        }
        if (const auto course = lf_number(cells[cTrack])) {
            sample.trackDeg = *course;
            sample.trackRecorded = true;
        }
        if (const auto rate = lf_number(cells[cRate]))
            sample.verticalRateFpm = *rate;
        if (!cells[cGround].empty())
            sample.onGround = cells[cGround] == "1";
        last = sample;
        if (haveAltitude)
            track.samples.push_back(sample);
    }
    return track;
}

void deriveGroundMotion(ReplayTrack& track)
{
    constexpr double kPi = 3.14159265358979323846;
    constexpr double kRad = kPi / 180.0;
    constexpr double kEarthMetres = 6371008.8;
    auto& samples = track.samples;
    // The recorder repeats a position until a new one comes: a run of equal
    // positions is one update, and the aircraft covered the way to the next
    // update over the whole run, not in its last second.
    std::vector<std::size_t> updates;
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (i == 0 || samples[i].latitude != samples[i - 1].latitude ||
            samples[i].longitude != samples[i - 1].longitude)
            updates.push_back(i);
    for (std::size_t u = 0; u < updates.size(); ++u) {
        const ReplaySample& a = samples[updates[u]];
        const ReplaySample& b = samples[u + 1 < updates.size() ? updates[u + 1] : updates[u]];
        const double seconds = static_cast<double>(b.epochMs - a.epochMs) / 1000.0;
        const double lat1 = a.latitude * kRad, lat2 = b.latitude * kRad;
        const double dLat = lat2 - lat1, dLon = (b.longitude - a.longitude) * kRad;
        const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                         std::cos(lat1) * std::cos(lat2) * std::sin(dLon / 2) * std::sin(dLon / 2);
        const double metres = 2.0 * kEarthMetres * std::asin(std::min(1.0, std::sqrt(h)));
        const double knots = seconds > 0.0 ? metres / 1852.0 / seconds * 3600.0 : 0.0;
        std::optional<double> course;
        if (metres >= 3.0) {
            const double y = std::sin(dLon) * std::cos(lat2);
            const double x = std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(dLon);
            course = std::fmod(std::atan2(y, x) / kRad + 360.0, 360.0);
        }
        const std::size_t end = u + 1 < updates.size() ? updates[u + 1] : samples.size();
        for (std::size_t i = updates[u]; i < end; ++i) {
            if (!samples[i].speedRecorded)
                samples[i].groundSpeedKt = knots < 1.0 ? 0.0 : std::round(knots);
            if (!samples[i].trackRecorded && course)
                samples[i].trackDeg = course;
        }
    }
}

void speedUp(ReplayTrack& track, double factor)
{
    if (track.samples.empty() || factor <= 0.0)
        return;
    const std::int64_t first = track.samples.front().epochMs;
    for (ReplaySample& s : track.samples) {
        s.epochMs = first + static_cast<std::int64_t>(std::llround(static_cast<double>(s.epochMs - first) / factor));
        s.groundSpeedKt *= factor;
        s.verticalRateFpm *= factor;
    }
    track.delaySeconds /= factor;
}

void thinReports(ReplayTrack& track, double seconds)
{
    const auto gap = static_cast<std::int64_t>(std::llround(seconds * 1000.0));
    std::vector<ReplaySample> kept;
    for (const auto& sample : track.samples)
        if (kept.empty() || sample.epochMs - kept.back().epochMs >= gap || &sample == &track.samples.back())
            kept.push_back(sample);
    track.samples = std::move(kept);
}

AircraftInfo aircraftInfo(std::uint32_t icao24)
{
    switch (icao24) {
    case 0x440549:
        return {"A320", "OE-LBO", "ZRH", "VIE"};
    case 0x3946e4:
        return {"A319", "F-GRHE", "ZRH", "CDG"};
    case 0x3c664e:
        return {"A321", "D-AISE", "FRA", "ZRH"};
    default:
        return {"A320", fmt::format("X-{:06X}", icao24 & 0xFFFFFFu), "null", "null"};
    }
}

TrafficLine lineOfSample(const ReplaySample& sample, double timestamp, std::uint32_t checksum, bool newerFields)
{
    AircraftInfo info = aircraftInfo(sample.modelIcao24 != 0 ? sample.modelIcao24 : sample.icao24);
    if (sample.modelIcao24 != 0)
        info.registration = aircraftInfo(sample.icao24).registration;
    if (!sample.type.empty())
        info.type = sample.type;
    TrafficLine line = TrafficLine::airborne();
    line.set(kHexid, fmt::format("{}", sample.icao24))
        .set(kLatitude, sample.latitude)
        .set(kLongitude, sample.longitude)
        .set(kAltitude, sample.altitudeFt)
        .set(kVerticalSpeed, sample.verticalRateFpm)
        .set(kGroundFlag, sample.onGround ? "1" : "0")
        .set(kTrack, sample.trackDeg ? numberText(*sample.trackDeg) : std::string{})
        .set(kGroundSpeed, sample.groundSpeedKt)
        .set(kCallsign, sample.callsign.empty() ? std::string("null") : sample.callsign)
        .set(kType, info.type)
        .set(kRegistration, info.registration)
        .set(kFrom, info.from)
        .set(kTo, info.to)
        .set(kTimestamp, fmt::format("{:.3f}", timestamp))
        .set(kIataCallsign, "null")
        .set(kGeometricAltitude, sample.altitudeFt)
        .set(kIndicatedAirspeed, "-1")
        .set(kTrueAirspeed, "-1")
        .set(kMach, "-1")
        .set(kRoll, "0")
        .set(kMagneticHeading, "-1")
        .set(kGeometricRate, sample.verticalRateFpm)
        .set(kChecksum, fmt::format("{}", checksum));
    // A heading only where the recording has a course; without one the line
    // is sent as a position-only report.
    if (sample.trackDeg)
        line.set(kMessageType, "adsb_icao").set(kTrueHeading, *sample.trackDeg);
    else
        line.set(kMessageType, "mlat").set(kTrueHeading, "-1");
    if (newerFields)
        line.appendNewerFields(operatorOfCallsign(sample.callsign));
    return line;
}

std::vector<ReplayTrack> crowdTracks(const std::vector<ReplayTrack>& recorded, std::size_t count, double spacingDeg,
                                     std::size_t generation)
{
    std::vector<ReplayTrack> crowd;
    if (recorded.empty())
        return crowd;
    constexpr std::size_t kGrid = 20;
    constexpr std::size_t kFlightNumbers = 10000 - 100;
    crowd.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        const ReplayTrack& base = recorded[k % recorded.size()];
        ReplayTrack copy{fmt::format("{}#{}", base.name, k), base.samples};
        const std::size_t number = generation * count + k;
        const std::uint32_t hexid = 0xA00000u + static_cast<std::uint32_t>(number);
        // A callsign has seven characters at most, a flight number four
        // digits: after 9999 the numbers start again from 100.
        const std::size_t flightNumber = 100 + number % kFlightNumbers;
        const double dLat = (static_cast<double>(k % kGrid) - kGrid / 2.0) * spacingDeg;
        const double dLon = (static_cast<double>((k / kGrid) % kGrid) - kGrid / 2.0) * spacingDeg;
        for (ReplaySample& s : copy.samples) {
            s.modelIcao24 = s.icao24;
            s.icao24 = hexid;
            const std::string airline = s.callsign.substr(0, std::min<std::size_t>(3, s.callsign.size()));
            s.callsign = fmt::format("{}{}", airline.empty() ? "NRV" : airline, flightNumber);
            s.latitude = std::clamp(s.latitude + dLat, -89.9, 89.9);
            s.longitude += dLon;
        }
        copy.delaySeconds = static_cast<double>(k % 60);
        crowd.push_back(std::move(copy));
    }
    return crowd;
}

std::vector<ReplayLine> replayLines(const std::vector<ReplayTrack>& tracks, double startSeconds, bool newerFields)
{
    std::vector<ReplayLine> lines;
    std::uint32_t checksum = 1;
    for (const auto& track : tracks) {
        if (track.samples.empty())
            continue;
        const std::int64_t first = track.samples.front().epochMs;
        for (const auto& sample : track.samples) {
            const double offset = track.delaySeconds + static_cast<double>(sample.epochMs - first) / 1000.0;
            lines.push_back({offset, lineOfSample(sample, startSeconds + offset, checksum++, newerFields).text()});
        }
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const ReplayLine& a, const ReplayLine& b) { return a.offsetSeconds < b.offsetSeconds; });
    return lines;
}

std::size_t replay(RtStub& stub, const std::vector<ReplayLine>& lines, double speed, const std::atomic<bool>& stop)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    std::size_t sent = 0;
    for (const auto& line : lines) {
        if (speed > 0) {
            const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(line.offsetSeconds / speed));
            // Waits in short steps so that a stop is noticed quickly.
            while (!stop.load() && Clock::now() < due)
                std::this_thread::sleep_for(std::min<Clock::duration>(due - Clock::now(),
                                                                      std::chrono::milliseconds(50)));
        }
        if (stop.load())
            break;
        stub.sendTraffic(line.text);
        ++sent;
    }
    return sent;
}

SteppedReplay::SteppedReplay(RtStub& stub, std::vector<ReplayLine> lines) : m_stub(stub), m_lines(std::move(lines)) {}

std::size_t SteppedReplay::sendUntil(double seconds)
{
    std::size_t count = 0;
    while (m_next < m_lines.size() && m_lines[m_next].offsetSeconds <= seconds) {
        m_stub.sendTraffic(m_lines[m_next].text);
        ++m_next;
        ++count;
    }
    return count;
}

} // namespace rtstub
