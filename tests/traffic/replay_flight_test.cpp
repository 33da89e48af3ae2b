// The recorded Zürich tracks from start to end: a push back from a stand,
// taxi and take-offs, the landing flown into its extrapolated touchdown, and
// what the stand-ins add for it (speeds derived from positions, the
// positions an object had by frame with its ground state).

#include "replay_fixture.hpp"

#include "airports/park_positions.hpp"
#include "foundation/run_state.hpp"
#include "simconnect/sim_ids.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/track_following.hpp"

#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <vector>

using namespace traffictest;
using testsupport::waitFor;

namespace {

constexpr double kDegrees = std::numbers::pi / 180.0;
constexpr double kGround = 1416.0; // the stand-in's ground at LSZH
constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

rtstub::ReplaySample row(std::int64_t ms, double lat, double lon, std::optional<double> knots)
{
    rtstub::ReplaySample s;
    s.epochMs = ms;
    s.latitude = lat;
    s.longitude = lon;
    s.groundSpeedKt = knots.value_or(0.0);
    s.speedRecorded = knots.has_value();
    return s;
}

// The value of the object's last such event at or before the frame; -1 when none.
std::int64_t lastEvent(const simstub::SimObjectState& o, std::string_view event, std::uint64_t frame)
{
    std::int64_t value = -1;
    for (const auto& c : o.changes)
        if (c.event == event && c.frame <= frame)
            value = c.value;
    return value;
}

std::uint64_t firstEvent(const simstub::SimObjectState& o, std::string_view event, std::uint32_t value,
                         std::uint64_t from)
{
    for (const auto& c : o.changes)
        if (c.event == event && c.value == value && c.frame >= from)
            return c.frame;
    return kNever;
}

// The park airport with its one stand.
using ReplayInFull = ReplayAtParkAirport;

std::string linesWith(const std::string& text, std::string_view part)
{
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        if (text.substr(at, end - at).find(part) != std::string::npos)
            out += text.substr(at, end - at + 1);
        at = end + 1;
    }
    return out;
}

} // namespace

TEST(ReplayTracks, aTrackFlownFourTimesAsFastKeepsItsTimesSpeedsAndClimbInAgreement)
{
    // 10 m north per second at 19.4 kt, climbing 600 ft/min, from 2 s into the replay.
    rtstub::ReplayTrack t;
    t.delaySeconds = 2.0;
    for (int i = 0; i < 3; ++i) {
        t.samples.push_back(row(1'000'000 + i * 1000, 47.0 + i * 10.0 / 111195.0, 8.0, 19.4));
        t.samples.back().verticalRateFpm = 600.0;
    }
    rtstub::speedUp(t, 4.0);
    EXPECT_DOUBLE_EQ(t.delaySeconds, 0.5);
    EXPECT_EQ(t.samples[2].epochMs, 1'000'500);
    EXPECT_DOUBLE_EQ(t.samples[2].groundSpeedKt, 77.6);
    EXPECT_DOUBLE_EQ(t.samples[2].verticalRateFpm, 2400.0);
}

TEST(ReplayTracks, aThinnedTrackReportsEverySoManySecondsAndWhereItWasLastSeen)
{
    rtstub::ReplayTrack t;
    for (int i = 0; i < 10; ++i)
        t.samples.push_back(row(i * 1000, 47.0, 8.0, 100.0));
    rtstub::thinReports(t, 4.0);
    std::vector<std::int64_t> times;
    for (const auto& s : t.samples)
        times.push_back(s.epochMs);
    EXPECT_EQ(times, (std::vector<std::int64_t>{0, 4000, 8000, 9000}));
}

TEST(ReplayTracks, derivedGroundMotionFillsOnlyWhatTheRowsLack)
{
    // Standing 4 s, then 10 m north per second (19.4 kt); a recorded speed stays.
    rtstub::ReplayTrack t;
    const double step = 10.0 / 111195.0;
    for (int i = 0; i < 10; ++i)
        t.samples.push_back(row(i * 1000, 47.0 + (i < 4 ? 0.0 : (i - 3) * step), 8.0, i == 8 ? std::optional(55.0)
                                                                                              : std::nullopt));
    rtstub::deriveGroundMotion(t);
    struct Expect {
        std::size_t index;
        double knots;
        bool track;
    };
    // The standing run covered its 10 m in 4 s; the last row has no next one.
    for (const Expect& e : {Expect{0, 5, true}, Expect{3, 5, true}, Expect{6, 19, true}, Expect{8, 55, true},
                            Expect{9, 0, false}}) {
        EXPECT_NEAR(t.samples[e.index].groundSpeedKt, e.knots, 0.6) << e.index;
        EXPECT_EQ(t.samples[e.index].trackDeg.has_value(), e.track) << e.index;
        if (e.track) {
            EXPECT_NEAR(*t.samples[e.index].trackDeg, 0.0, 0.5) << e.index;
        }
    }
}

TEST(StandInGround, theNearestAreaThatHoldsAPlaceGivesItsGround)
{
    simstub::Options options;
    options.groundAreas = {{47.0, 8.0, 2.0, 1000.0}, {47.0, 8.05, 2.0, 2000.0}}; // centres 2 nm apart
    const simstub::SimStub stub(options);
    struct Case {
        double longitude;
        double feet;
    };
    for (const Case& c : {Case{8.0, 1000.0}, Case{8.02, 1000.0}, Case{8.03, 2000.0}, Case{8.2, 1416.0}})
        EXPECT_EQ(stub.groundAltitudeAt(47.0, c.longitude), c.feet) << c.longitude;
}

TEST_F(ReplayIntoSimulator, theStandInKeepsEveryPositionWithItsGroundState)
{
    tzo::CreateRequest r;
    r.position = {47.46, 8.55, 0.0, 0.0, 0.0, 0.0, 1, 0};
    r.callsign = "SWR2";
    r.liveryTitle = "Austrian A320";
    r.recordId = 0x400002;
    gf_queueCreateAircraft(r);
    frameAndSettle();
    ASSERT_TRUE(waitFor([&] { return m_stub->aiObjects().size() == 1; }));
    const std::uint32_t id = m_stub->aiObjects()[0].id;
    // Standing on its CG, just above it, then flying.
    for (const double altitude : {kGround + 5.5, kGround + 6.5, kGround + 300.0}) {
        {
            std::lock_guard lock(simQueueMutex);
            positionsFilling.push_back({47.461, 8.55, 0.0, 0.0, 0.0, altitude, 0.0, 0.0, id});
        }
        gf_handOverPositions();
        frameAndSettle();
    }
    const auto o = m_stub->object(id);
    ASSERT_TRUE(o);
    ASSERT_EQ(o->positions.size(), 4u);
    EXPECT_EQ(o->positions[0].latitude, 47.46);
    EXPECT_TRUE(o->positions[1].onGround);
    EXPECT_EQ(o->positions[1].heightAboveGround, 0.0);
    EXPECT_FALSE(o->positions[2].onGround);
    EXPECT_NEAR(o->positions[3].heightAboveGround, 300.0, 1e-9);
    EXPECT_LT(o->positions[1].frame, o->positions[3].frame);
}

TEST_F(ReplayInFull, theTracksRunInFullWithTheirConfigurationsInOrder)
{
    LOG.setValue(true);
    for (const char* model : {"A319", "A320", "A321"})
        g_wingspans[model] = 17.9 / 1852.0;
    // The user parked at LSZH, which is the park airport.
    parkAtLszh();

    std::vector<rtstub::ReplayTrack> tracks;
    for (const auto& file : rtstub::defaultReplayFiles()) {
        tracks.push_back(rtstub::loadReplayTrack(file));
        rtstub::deriveGroundMotion(tracks.back());
    }
    // A stand where the ground track starts, facing away from its first move.
    const auto& ground = tracks[0].samples;
    const tzo::LatLon start{ground.front().latitude, ground.front().longitude};
    const auto moved = std::find_if(ground.begin(), ground.end(), [&](const rtstub::ReplaySample& s) {
        return gf_greatCircleDistanceNm(start, {s.latitude, s.longitude}) * 1852.0 > 15.0;
    });
    ASSERT_NE(moved, ground.end());
    const double away = gf_initialBearing(start, {moved->latitude, moved->longitude}) + std::numbers::pi;
    tzo::ParkPos stand("E24", {}, start.latitude, start.longitude, std::fmod(away, 2 * std::numbers::pi), 25.0, false,
                       false, false);
    stand.id = 1;
    gf_setParkPositions({stand});

    const auto flown = flyReplay(rtstub::replayLines(tracks, kReplayStart), 115000,
                                 [&] { return m_stub->removedObjects().size() == 3; });
    const std::uint32_t first = flown.first;
    const auto objects = objectsByCallsign();
    const auto tickAt = [&](std::uint64_t frame) { return flown.tickAt(frame); };

    for (const auto& track : tracks) {
        const std::string callsign = track.samples.front().callsign;
        ASSERT_TRUE(objects.contains(callsign)) << callsign << log();
        const auto& o = objects.at(callsign);
        const auto& p = o.positions;
        ASSERT_GT(p.size(), 100u) << callsign;
        const auto median = runningMedian(track.samples);
        const double lastOffset = (track.samples.back().epochMs - track.samples.front().epochMs) / 1000.0;
        bool groundKnown = false;
        for (std::size_t i = 1; i < p.size(); ++i) {
            const std::uint32_t ticks = std::max<std::uint32_t>(tickAt(p[i].frame) - tickAt(p[i - 1].frame), 1);
            const double limit = (p[i].onGround && p[i - 1].onGround ? 2.0 : 4.0) * ticks;
            EXPECT_LE(metres(p[i - 1], p[i]), limit) << callsign << " frame " << p[i].frame;
            groundKnown = groundKnown || p[i].altitude >= kGround - 5.0;
            if (groundKnown) {
                EXPECT_GE(p[i].altitude, kGround - 3.0) << callsign << " frame " << p[i].frame;
            }
            // Following the reports while they last.
            if (tickAt(p[i].frame) > first + static_cast<std::uint32_t>(lastOffset * 100.0))
                continue;
            const double off = metresFromTrack(track.samples, p[i].latitude, p[i].longitude);
            EXPECT_LT(off, p[i].onGround ? 50.0 : 100.0) << callsign << " frame " << p[i].frame;
            if (!p[i].onGround && p[i].heightAboveGround > 100.0) {
                // The report of about that time nearest to the position (a
                // departure may pass over its own climb-out); the aircraft
                // may run up to 30 s ahead, and late after waits on the ground.
                const double due = (tickAt(p[i].frame) - first) / 100.0 - 30.0;
                std::size_t nearest = 0;
                double best = 1e12;
                for (std::size_t k = 0; k < track.samples.size(); ++k) {
                    const double at = (track.samples[k].epochMs - track.samples.front().epochMs) / 1000.0;
                    if (at < due - 150.0 || at > due + 50.0)
                        continue;
                    const double d = gf_greatCircleDistanceNm({p[i].latitude, p[i].longitude},
                                                              {track.samples[k].latitude, track.samples[k].longitude});
                    if (d < best) {
                        best = d;
                        nearest = k;
                    }
                }
                // A climb steeper than the category's largest rate is
                // followed late: the median up to 15 s around counts.
                double altitudeOff = 1e12;
                for (std::size_t k = nearest >= 15 ? nearest - 15 : 0; k < std::min(median.size(), nearest + 16); ++k)
                    altitudeOff = std::min(altitudeOff, std::abs(p[i].altitude - median[k]));
                EXPECT_LE(altitudeOff, 600.0) << callsign << " frame " << p[i].frame << " altitude " << p[i].altitude;
            }
        }
    }

    // Both departures: the roll's configuration, full throttle before
    // lift-off, gear up after it, flaps 0 on the climb.
    for (const char* callsign : {"AUA570", "AFR181L"}) {
        const auto& o = objects.at(callsign);
        const auto& p = o.positions;
        const auto lift = std::find_if(p.begin() + 1, p.end(), [](const auto& q) { return !q.onGround; });
        ASSERT_NE(lift, p.end()) << callsign;
        auto roll = lift;
        while (roll != p.begin() + 1) {
            const auto before = std::prev(roll);
            const double seconds = (tickAt(roll->frame) - tickAt(before->frame)) / 100.0;
            if (seconds > 0 && metres(*before, *roll) / seconds * 3600.0 / 1852.0 < 30.0)
                break;
            roll = before;
        }
        EXPECT_EQ(lastEvent(o, "LANDING_LIGHTS_SET", roll->frame), 1) << callsign;
        EXPECT_EQ(lastEvent(o, "STROBES_SET", roll->frame), 1) << callsign;
        EXPECT_EQ(lastEvent(o, "SPOILERS_SET", roll->frame), 0) << callsign;
        EXPECT_EQ(lastEvent(o, "FLAPS_SET", roll->frame), 3072) << callsign;
        EXPECT_EQ(lastEvent(o, "THROTTLE_SET", lift->frame), 16383) << callsign;
        EXPECT_GE(firstEvent(o, "GEAR_SET", 0, roll->frame), lift->frame) << callsign;
        const auto high = std::find_if(lift, p.end(), [](const auto& q) { return q.heightAboveGround >= 3000.0; });
        ASSERT_NE(high, p.end()) << callsign;
        EXPECT_EQ(lastEvent(o, "FLAPS_SET", high->frame), 0) << callsign;
    }

    // The push back: tail first, then engines on before the first move nose first.
    {
        const auto& o = objects.at("AUA570");
        const auto& p = o.positions;
        std::uint64_t backward = kNever, forward = kNever;
        for (std::size_t i = 2; i < p.size() && forward == kNever; ++i) {
            if (metres(p[i - 1], p[i]) < 0.05)
                continue;
            const double motion = gf_initialBearing({p[i - 1].latitude, p[i - 1].longitude},
                                                    {p[i].latitude, p[i].longitude});
            const bool tailFirst = std::abs(gf_headingDifference(p[i].heading, motion)) > 90.0 * kDegrees;
            if (tailFirst && backward == kNever)
                backward = p[i].frame;
            else if (!tailFirst && backward != kNever)
                forward = p[i].frame;
        }
        ASSERT_NE(backward, kNever);
        ASSERT_NE(forward, kNever);
        EXPECT_GE(firstEvent(o, "ENGINE_AUTO_START", 0, backward), backward);
        EXPECT_LE(firstEvent(o, "ENGINE_AUTO_START", 0, backward), forward);
        EXPECT_TRUE(logHas("E24     : AUA570   push back")) << linesWith(log(), "AUA570");
    }

    // The landing: configured before 1000 ft, throttle back in the flare,
    // its spent track extrapolated onto the ground, braked there, removed.
    {
        const auto& o = objects.at("DLH4TR");
        const auto& p = o.positions;
        const auto low = std::find_if(p.begin() + 1, p.end(),
                                      [](const auto& q) { return !q.onGround && q.heightAboveGround < 1000.0; });
        ASSERT_NE(low, p.end());
        EXPECT_EQ(lastEvent(o, "FLAPS_SET", low->frame), 16383);
        EXPECT_EQ(lastEvent(o, "GEAR_SET", low->frame), 1);
        const auto down = std::find_if(low, p.end(), [](const auto& q) { return q.onGround; });
        ASSERT_NE(down, p.end()) << "no touchdown";
        const std::uint64_t idle = firstEvent(o, "THROTTLE_SET", 0, low->frame);
        EXPECT_LE(idle, down->frame);
        EXPECT_NE(firstEvent(o, "SPOILERS_SET", 16383, down->frame), kNever);
        bool braked = false;
        for (const auto& packet : m_stub->packetsNamed("SetDataOnSimObject")) {
            if (packet.u32("defineId") != tzo::DEFINITION_AI_THROTTLES || packet.u32("objectId") != o.id)
                continue;
            double spoilers = 0.0;
            std::memcpy(&spoilers, packet.data("data").data(), sizeof spoilers);
            braked = braked || (spoilers == 100.0 && packet.frame >= down->frame);
        }
        EXPECT_TRUE(braked);
        EXPECT_TRUE(o.removed);
        EXPECT_TRUE(p.back().onGround);
    }

    // Positions only once an object is in the simulator: none before its
    // first light toggle.
    std::map<std::uint32_t, std::uint64_t> firstToggle; // object id, frame
    for (const auto& [callsign, o] : objects)
        for (const auto& c : o.changes)
            if (c.event == "ALL_LIGHTS_TOGGLE" && !firstToggle.contains(o.id))
                firstToggle[o.id] = c.frame;
    for (const auto& packet : m_stub->packetsNamed("SetDataOnSimObject")) {
        if (packet.u32("defineId") != tzo::DEFINITION_AI_POSITION)
            continue;
        const auto toggle = firstToggle.find(packet.u32("objectId"));
        ASSERT_NE(toggle, firstToggle.end()) << "a position before any toggle";
        EXPECT_GE(packet.frame, toggle->second);
    }
    EXPECT_TRUE(m_stub->misdirectedPackets().empty());
    EXPECT_TRUE(m_stub->protocolErrors().empty());
}
