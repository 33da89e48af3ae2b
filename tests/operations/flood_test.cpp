// A minute of 50,000 traffic lines a second against the running program:
// the recorded Zürich tracks among a flood of hostile lines (numbers no
// aircraft reports, cut and garbled lines, lines of thousands of fields, NUL
// bytes). The hostile aircraft report as real ones do, each with a time that
// advances and a position that moves on, so that a number let through would
// reach the simulator stand-in as an object. The program keeps its pace, its
// memory and its log bounded, the good aircraft still reach the simulator
// stand-in, and no AI object gets a value no aircraft has.
//
// The pace is measured from the program's own ticks: the live traffic asks
// the simulator for the user aircraft's state once every 100 ticks, and the
// stand-in counts those requests. Their rate during the flood is compared
// with 10 ms a tick, or with the pace the program kept on this machine just
// before the flood when that was slower already (a loaded machine).

#include "operations_fixture.hpp"

#include "simconnect/sim_ids.hpp"

#include <fmt/format.h>

#include <iostream>

using namespace optest;
using namespace std::chrono_literals;
using testsupport::residentKb;
using testsupport::waitFor;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kLinesPerSecond = 50000;
constexpr auto kFloodTime = 60s;
const std::vector<std::string> kGoodCallsigns{"AFR181L", "AUA570", "DLH4TR"};

// One hostile datagram. A line that names a time and a place is sent as a
// real aircraft reports: with the time it is sent and where it has flown by
// then (written over the placeholders), so that each hostile aircraft would
// become an object if its numbers got through.
struct Hostile {
    std::string text;
    std::size_t stampAt = std::string::npos;
    std::size_t latitudeAt = std::string::npos;
    double firstLatitude = 0.0;
};
constexpr std::string_view kStampPlaceholder = "1000000000.00";
constexpr std::string_view kLatitudePlaceholder = "11.0000000";
// 210 kt northbound.
constexpr double kHostileDegreesPerSecond = 210.0 / 60.0 / 3600.0;

void stampNow(Hostile& h, const std::string& stamp, double secondsIntoFlood)
{
    const auto overwrite = [&](std::size_t at, std::string_view placeholder, const std::string& value) {
        if (at != std::string::npos && value.size() == placeholder.size())
            h.text.replace(at, value.size(), value);
    };
    overwrite(h.stampAt, kStampPlaceholder, stamp);
    overwrite(h.latitudeAt, kLatitudePlaceholder,
              fmt::format("{:10.7f}", h.firstLatitude + kHostileDegreesPerSecond * secondsIntoFlood));
}

// Hostile datagrams, each kind many times over with hexids, callsigns and
// registrations of its own.
std::vector<Hostile> hostileDatagrams()
{
    using rtstub::TrafficLine;
    std::vector<Hostile> out;
    for (int i = 0; i < 200; ++i) {
        // Near the user at Zürich, within even the 8 nm of a user on the
        // ground, for the whole flood: 47.42 to 47.53 at 8.56.
        const double firstLatitude = 47.42 + i * 0.0002;
        const auto add = [&](const TrafficLine& line) {
            std::string text = line.text();
            const std::size_t stampAt = text.find(kStampPlaceholder);
            const std::size_t latitudeAt = text.find(kLatitudePlaceholder);
            out.push_back({std::move(text), stampAt, latitudeAt, firstLatitude});
        };
        int kind = 0;
        const auto near = [&] {
            const int n = kind++ * 1000 + i;
            const std::string registration{'H', 'B', '-', static_cast<char>('A' + n % 26),
                                           static_cast<char>('A' + n / 26 % 26), static_cast<char>('A' + n / 676 % 26)};
            return TrafficLine::airborne()
                .set(rtstub::kHexid, std::to_string(5000000 + n))
                .set(rtstub::kCallsign, fmt::format("SWR{}", n))
                .set(rtstub::kRegistration, registration)
                .set(rtstub::kTimestamp, std::string(kStampPlaceholder))
                .set(rtstub::kLatitude, std::string(kLatitudePlaceholder))
                .set(rtstub::kLongitude, "8.56")
                .set(rtstub::kTrack, "0.5")
                .set(rtstub::kTrueHeading, "0.5");
        };
        add(near().set(rtstub::kAltitude, "1e300"));
        add(near().set(rtstub::kGroundSpeed, "1e308"));
        add(near().set(rtstub::kTrack, "1e20"));
        add(near().set(rtstub::kRoll, "1e9").set(rtstub::kVerticalSpeed, "-1e9"));
        add(near().set(rtstub::kTrueAirspeed, "5000"));
        add(near().set(rtstub::kLatitude, "1e300"));
        add(near().set(rtstub::kAltitude, "nan"));
        add(near().set(rtstub::kHexid, "5"));
        add(near().set(rtstub::kCallsign, "TOW " + std::to_string(i)));
        add(near().set(rtstub::kType, "GRND VEH"));
        out.push_back({"RTTFC," + std::to_string(i) + ",47.5"});
        std::string garbage(40 + i % 60, ' ');
        for (std::size_t k = 0; k < garbage.size(); ++k)
            garbage[k] = static_cast<char>(1 + (i * 31 + k * 17) % 255);
        out.push_back({garbage});
        std::string withNul = near().text();
        withNul[20] = '\0';
        out.push_back({withNul});
    }
    out.push_back({std::string(16000, ',')});
    return out;
}

// Every value of the object's position is one an aircraft can have. Its
// angles are in the unit they were last set in: degrees at the creation,
// radians from the first position on.
std::string implausibleValue(const simstub::SimObjectState& o)
{
    const auto outside = [&](const char* name, double low, double high) -> std::string {
        const double v = o.var(name);
        return v >= low && v <= high ? std::string() : fmt::format("{} {} {}", o.atcId, name, v);
    };
    for (const auto& text :
         {outside("PLANE LATITUDE", -90.0, 90.0), outside("PLANE LONGITUDE", -180.0, 180.0),
          outside("PLANE ALTITUDE", -2000.0, 150000.0), outside("AIRSPEED TRUE", -4000.0, 4000.0),
          outside("PLANE PITCH DEGREES", -180.0, 180.0), outside("PLANE BANK DEGREES", -180.0, 180.0),
          outside("PLANE HEADING DEGREES TRUE", -360.0, 360.0)})
        if (!text.empty())
            return text;
    return {};
}

} // namespace

TEST_F(OperationsTest, aFloodOfHostileLinesLeavesTheProgramResponsiveAndItsObjectsSane)
{
    prepare([] {
        WorldOptions o;
        o.simSecond = 1000ms; // the simulator's own pace: a second restarts the tick grid
        o.keepSimHistory = false;
        return o;
    }());
    connectRealTraffic();
    startReplay(5.0);
    startProgram();
    ASSERT_TRUE(waitForLog("Start of operations: main loop started", 60s)) << log();

    // The program's pace on this machine before the flood.
    const auto ticksNow = [&] { return m_sim->requestsMade(tzo::REQUEST_USER_STATE) * 100; };
    ASSERT_TRUE(waitFor([&] { return ticksNow() > 0; }, 20s));
    auto quietStart = Clock::now();
    const auto quietTicks = ticksNow();
    std::this_thread::sleep_for(8s);
    const double quietMs = std::chrono::duration<double, std::milli>(Clock::now() - quietStart).count() /
                           static_cast<double>(ticksNow() - quietTicks);

    auto datagrams = hostileDatagrams();
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> sent{0};
    std::thread flood([&] {
        rtstub::RtStub stub(m_trafficPort, 0);
        const auto start = Clock::now();
        std::size_t next = 0;
        while (!stop.load()) {
            // Every line due by now, in bursts of a millisecond's worth.
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            const auto due = static_cast<std::uint64_t>(seconds * kLinesPerSecond);
            const std::string stamp = fmt::format("{:13.2f}", rtstub::nowSeconds());
            while (sent.load() < due && !stop.load()) {
                Hostile& h = datagrams[next++ % datagrams.size()];
                stampNow(h, stamp, seconds);
                stub.sendTraffic(h.text);
                sent.fetch_add(1);
            }
            std::this_thread::sleep_for(1ms);
        }
    });

    const auto floodStart = Clock::now();
    const auto floodTicks = ticksNow();
    struct Sample {
        double seconds;
        long rssKb;
    };
    std::vector<Sample> samples;
    std::vector<std::string> insane;
    bool goodSeen = false;
    while (Clock::now() - floodStart < kFloodTime) {
        std::this_thread::sleep_for(2s);
        samples.push_back({std::chrono::duration<double>(Clock::now() - floodStart).count(),
                           residentKb(m_norvane->pid())});
        for (const auto& o : m_sim->aiObjects()) {
            goodSeen = goodSeen ||
                       std::find(kGoodCallsigns.begin(), kGoodCallsigns.end(), o.atcId) != kGoodCallsigns.end();
            if (const auto text = implausibleValue(o); !text.empty() && insane.size() < 10)
                insane.push_back(text);
        }
    }
    const double floodMs = std::chrono::duration<double, std::milli>(Clock::now() - floodStart).count() /
                           static_cast<double>(ticksNow() - floodTicks);
    stop = true;
    flood.join();
    const double rate = static_cast<double>(sent.load()) / std::chrono::duration<double>(kFloodTime).count();
    std::cout << fmt::format("flood: {:.0f} lines a second; ticks of {:.2f} ms before, {:.2f} ms during it; "
                             "{} kB resident at {:.0f} s, {} kB at the end; log {} bytes\n",
                             rate, quietMs, floodMs, samples.front().rssKb, samples.front().seconds,
                             samples.back().rssKb, log().size());

    EXPECT_EQ(m_norvane->exitCode(0ms), std::nullopt) << "the program ended";
    EXPECT_GT(rate, kLinesPerSecond / 2.0) << "the machine could not send a flood";
    EXPECT_LE(floodMs, std::max(10.0, quietMs) * 1.1) << "its ticks fell behind";
    // Memory grows while the first minutes fill the program's tables, then
    // holds: from a quarter of the flood on, at most 16 MB (or a tenth) more.
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's quarantine keeps up to 256 MB of freed memory before
    // it reuses any.
    constexpr long kQuarantineKb = 256L * 1024;
#else
    constexpr long kQuarantineKb = 0;
#endif
    const auto base = std::find_if(samples.begin(), samples.end(), [](const Sample& s) { return s.seconds >= 15.0; });
    ASSERT_NE(base, samples.end());
    for (auto it = base; it != samples.end(); ++it)
        EXPECT_LE(it->rssKb, base->rssKb + std::max(base->rssKb / 10, 16L * 1024) + kQuarantineKb)
            << fmt::format("{:.0f} s into the flood", it->seconds);
    EXPECT_TRUE(goodSeen) << "no replayed aircraft reached the simulator\n" << log();
    for (const auto& text : insane)
        ADD_FAILURE() << "an AI object with a value no aircraft has: " << text;
    EXPECT_LT(log().size(), 1u << 20) << "the log took the flood in";
    EXPECT_TRUE(logHas("traffic line with an implausible"));
}
