// Landings into the simulator stand-in, whose ground lies 400 ft higher and
// 400 ft lower at two airports beside the park airport: every category from
// 3,000 ft above the ground to a stop (one of them from a feed without
// vertical rates), the recorded Zürich approach with its reports dense and
// sparse, a touch-and-go, a go-around and a stand arrival, judged by the
// positions the stand-in recorded.

#include "replay_fixture.hpp"

#include "refdata/dbase_lookups.hpp"
#include "traffic/track_following.hpp"

#include <fmt/format.h>

#include <array>
#include <string>

using namespace traffictest;

namespace {

constexpr double kDegrees = std::numbers::pi / 180.0;
constexpr double kFeetPerMetre = 3.280839895013123;

struct Airport {
    const char* name;
    double latitude;
    double longitude;
    double elevation;
};

// The park airport on the stand-in's default ground, and two airports 4 nm
// north and south of it, within the reach of ground reports.
constexpr Airport kPark{"park", 47.4647, 8.5492, 1416.0};
constexpr Airport kHigher{"400 ft higher", 47.4647 + 4.0 / 60.0, 8.5492, 1816.0};
constexpr Airport kLower{"400 ft lower", 47.4647 - 4.0 / 60.0, 8.5492, 1016.0};

// A flight as reported: its rows, and the altitudes it really flew.
struct Flight {
    std::vector<rtstub::ReplaySample> rows;
    std::vector<double> profile;
    std::size_t firstGround = 0; // the reports' touchdown
    std::size_t turnOff = 0;     // the first report after the roll-out
    // The path the flight is judged along: the rows without those that
    // repeat the position before them (a feed's stale positions), with the
    // profile's altitudes; the touchdown's place in it.
    std::vector<rtstub::ReplaySample> path;
    std::vector<double> pathProfile;
    std::size_t pathGround = 0;

    void tracePath()
    {
        path.clear();
        pathProfile.clear();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (i == firstGround)
                pathGround = path.size();
            if (!path.empty() && path.back().latitude == rows[i].latitude && path.back().longitude == rows[i].longitude)
                continue;
            path.push_back(rows[i]);
            pathProfile.push_back(profile[i]);
        }
    }
    // Feet: the profile where a position lies along the path.
    double profileAt(const NearestLeg& leg) const
    {
        return pathProfile[leg.index] + (pathProfile[leg.index + 1] - pathProfile[leg.index]) * leg.t;
    }
    std::string callsign() const { return rows.front().callsign; }
    double offset(std::size_t row) const { return static_cast<double>(rows[row].epochMs - rows[0].epochMs) / 1000.0; }
    rtstub::ReplayTrack track() const { return {callsign(), rows, 0.0}; }
};

// The altitudes a flight really flew: its reported vertical rates summed up
// back from its last report. A recording's altitudes can jump hundreds of
// feet up and back from one report to the next, several in a row; its rates
// do not.
std::vector<double> flownProfile(const std::vector<rtstub::ReplaySample>& rows)
{
    std::vector<double> profile(rows.size(), rows.back().altitudeFt);
    for (std::size_t i = rows.size() - 1; i-- > 0;) {
        const double minutes = static_cast<double>(rows[i + 1].epochMs - rows[i].epochMs) / 60000.0;
        profile[i] = profile[i + 1] - (rows[i].verticalRateFpm + rows[i + 1].verticalRateFpm) / 2.0 * minutes;
    }
    return profile;
}

// A made-up flight, one report a second, leg by leg along its course.
class FlightBuilder {
public:
    FlightBuilder(std::uint32_t hexid, const std::string& callsign, const std::string& type, double latitude,
                  double longitude, double altitude, double courseDeg)
    {
        m_at.icao24 = hexid;
        m_at.callsign = callsign;
        m_at.type = type;
        m_at.latitude = latitude;
        m_at.longitude = longitude;
        m_at.altitudeFt = altitude;
        m_course = courseDeg;
        m_elevation = altitude; // for a flight that starts on the ground
    }
    // Goes on from the last row of a recorded track.
    explicit FlightBuilder(const std::vector<rtstub::ReplaySample>& recorded)
    {
        m_flight.rows = recorded;
        m_at = recorded.back();
        m_course = m_at.trackDeg.value_or(0.0);
        m_at.epochMs += 1000;
        advance(m_at.groundSpeedKt, m_at.verticalRateFpm);
    }

    FlightBuilder& fly(int seconds, double knots, double fpm)
    {
        for (int i = 0; i < seconds; ++i)
            emit(knots, fpm, false);
        return *this;
    }
    // Down at fpm to the ground, slowing to touchdownKt over the last 30 s;
    // the next row is the first on the ground.
    FlightBuilder& descendTo(double elevation, double knots, double fpm, double touchdownKt)
    {
        m_elevation = elevation;
        while (m_at.altitudeFt > elevation) {
            const double left = (m_at.altitudeFt - elevation) / fpm * 60.0;
            emit(left < 30.0 ? touchdownKt + (knots - touchdownKt) * left / 30.0 : knots, -fpm, false);
        }
        m_at.altitudeFt = elevation;
        m_flight.firstGround = m_flight.rows.size();
        return *this;
    }
    FlightBuilder& taxi(int seconds, double knots)
    {
        for (int i = 0; i < seconds; ++i)
            emit(knots, 0.0, true);
        return *this;
    }
    FlightBuilder& roll(double fromKt, double toKt, double ktPerSecond)
    {
        for (double knots = fromKt; fromKt > toKt ? knots > toKt : knots < toKt;
             knots += fromKt > toKt ? -ktPerSecond : ktPerSecond)
            emit(knots, 0.0, true);
        return *this;
    }
    // After a gentle roll-out the aircraft is unseen for 40 s; then a report 200 m
    // away, 120 degrees off its heading, and a taxi on from there.
    FlightBuilder& rollOutAndTurnOff(double touchdownKt)
    {
        roll(touchdownKt, 15.0, 2.0);
        m_at.epochMs += 40000;
        const tzo::LatLon p = gf_destinationPoint({m_at.latitude, m_at.longitude}, (m_course + 120.0) * kDegrees,
                                                  200.0 * kFeetPerMetre);
        m_at.latitude = p.latitude;
        m_at.longitude = p.longitude;
        m_course = std::fmod(m_course + 120.0, 360.0);
        m_flight.turnOff = m_flight.rows.size();
        return taxi(15, 10.0);
    }
    Flight done() const
    {
        Flight f = m_flight;
        f.profile = flownProfile(f.rows);
        f.tracePath();
        return f;
    }

private:
    void emit(double knots, double fpm, bool onGround)
    {
        rtstub::ReplaySample row = m_at;
        row.groundSpeedKt = knots;
        row.speedRecorded = row.trackRecorded = true;
        row.trackDeg = m_course;
        row.verticalRateFpm = fpm;
        row.onGround = onGround;
        if (onGround)
            row.altitudeFt = m_elevation;
        m_flight.rows.push_back(row);
        m_at.epochMs += 1000;
        advance(knots, fpm);
    }
    void advance(double knots, double fpm)
    {
        const tzo::LatLon p =
            gf_destinationPoint({m_at.latitude, m_at.longitude}, m_course * kDegrees, knots / 3600.0 * 6076.12);
        m_at.latitude = p.latitude;
        m_at.longitude = p.longitude;
        m_at.altitudeFt += fpm / 60.0;
    }

    Flight m_flight;
    rtstub::ReplaySample m_at; // the next row's place and time
    double m_course = 0.0;
    double m_elevation = 0.0;
};

// A straight-in approach from the east to a touchdown at the airport, the
// lane moved sideways by northNm, from height feet above the ground.
FlightBuilder approachFromEast(std::uint32_t hexid, const std::string& callsign, const std::string& type,
                               const Airport& airport, double northNm, double height, double knots, double fpm)
{
    const double miles = height / fpm * knots / 60.0;
    return FlightBuilder(hexid, callsign, type, airport.latitude + northNm / 60.0,
                         airport.longitude + miles / 60.0 / std::cos(airport.latitude * kDegrees),
                         airport.elevation + height, 270.0);
}

// The same flight as a feed that thins out straight flight reports it: in
// the air one report every 10 to 15 s, on the ground every one.
Flight sparse(const Flight& dense, std::uint32_t hexid, const std::string& callsign)
{
    constexpr std::array kGaps{10, 15, 12, 14, 11, 13};
    Flight f;
    std::size_t gap = 0;
    for (std::size_t i = 0; i < dense.rows.size();
         i = i < dense.firstGround ? std::min<std::size_t>(i + kGaps[gap++ % kGaps.size()], dense.firstGround) : i + 1) {
        if (i == dense.firstGround)
            f.firstGround = f.rows.size();
        if (i == dense.turnOff)
            f.turnOff = f.rows.size();
        rtstub::ReplaySample row = dense.rows[i];
        row.modelIcao24 = row.icao24;
        row.icao24 = hexid;
        row.callsign = callsign;
        f.rows.push_back(row);
        f.profile.push_back(dense.profile[i]);
    }
    f.tracePath();
    return f;
}

// The same flight from a feed that reports no vertical rates (the field 0):
// only its altitudes and times tell its descent.
Flight withoutRates(Flight f)
{
    for (rtstub::ReplaySample& row : f.rows)
        row.verticalRateFpm = 0.0;
    f.tracePath();
    return f;
}

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

double metresTo(const simstub::SimObjectState::Position& p, const rtstub::ReplaySample& r)
{
    return gf_greatCircleDistanceNm({p.latitude, p.longitude}, {r.latitude, r.longitude}) * 1852.0;
}

// The first position on the ground after the object was in the air.
std::vector<simstub::SimObjectState::Position>::const_iterator touchdownOf(const simstub::SimObjectState& o)
{
    const auto& p = o.positions;
    const auto air = std::find_if(p.begin(), p.end(), [](const auto& q) { return !q.onGround; });
    return std::find_if(air, p.end(), [](const auto& q) { return q.onGround; });
}

class Landing : public ReplayAtParkAirport {
protected:
    simstub::Options stubOptions() const override
    {
        simstub::Options options = ReplayAtParkAirport::stubOptions();
        for (const Airport& a : {kHigher, kLower})
            options.groundAreas.push_back({a.latitude, a.longitude, 2.5, a.elevation});
        return options;
    }
    void SetUp() override
    {
        ReplayAtParkAirport::SetUp();
        for (const char* model : {"A320", "A321", "B744", "C25A", "C172", "EC35", "F16"})
            tzo::scannedLiveries.push_back({"SWR", model, fmt::format("Swiss {}", model), "", 1, false});
        tzo::gf_resetLiveryCatalogue();
        tzo::gf_processScannedLiveries();
        for (auto* kind : {&LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT})
            kind->setValue(true);
        LOG.setValue(true);
        // The user stands 2 nm north of the park airport, off every lane.
        parkAtLszh(kPark.latitude + 2.0 / 60.0, kPark.longitude);
    }

    // Until every flight's object is gone, unless told otherwise.
    FlownReplay fly(const std::vector<Flight>& flights, std::uint32_t maxTicks,
                    std::function<bool()> finished = nullptr)
    {
        std::vector<rtstub::ReplayTrack> tracks;
        for (const Flight& f : flights)
            tracks.push_back(f.track());
        if (!finished)
            finished = [&] { return m_stub->removedObjects().size() >= flights.size(); };
        return flyReplay(rtstub::replayLines(tracks, kReplayStart), maxTicks, finished);
    }

    simstub::SimObjectState objectOf(const Flight& f) const
    {
        const auto objects = objectsByCallsign();
        const auto it = objects.find(f.callsign());
        return it == objects.end() ? simstub::SimObjectState{} : it->second;
    }

    // From the position on, while the reports last, the object climbs with
    // them: never sinking, never far from them, no spoilers out.
    static void expectClimbAway(const Flight& f, const simstub::SimObjectState& o,
                                std::vector<simstub::SimObjectState::Position>::const_iterator from)
    {
        SCOPED_TRACE(f.callsign());
        ASSERT_NE(from, o.positions.end());
        double sink = 0.0, off = 0.0, top = 0.0;
        for (auto it = from; it != o.positions.end(); ++it) {
            const NearestLeg leg = nearestLeg(f.path, it->latitude, it->longitude);
            if (leg.index + 2 >= f.path.size() && leg.t >= 1.0)
                break; // past the last report
            if (it != from)
                sink = std::max(sink, std::prev(it)->altitude - it->altitude);
            off = std::max(off, std::abs(it->altitude - f.profileAt(leg)));
            top = std::max(top, it->altitude);
        }
        EXPECT_LE(sink, 1.0) << "feet sunk between positions";
        EXPECT_LE(off, 200.0) << "feet off the reported climb";
        EXPECT_GE(top, f.profile.back() - 300.0) << "never climbed to its last report";
        for (const auto& c : o.changes) {
            if (c.event == "SPOILERS_SET" && c.frame >= from->frame) {
                EXPECT_EQ(c.value, 0u) << "spoilers out at frame " << c.frame;
            }
        }
        EXPECT_EQ(o.var("SPOILERS HANDLE POSITION"), 0.0);
    }

    // From its first report down the object follows the reported descent and
    // touches down where and when the reports did, onto the ground, once, and
    // takes the sharp turn the next report asks for.
    void expectLanding(const Flight& f, const FlownReplay& flown)
    {
        SCOPED_TRACE(f.callsign());
        const auto objects = objectsByCallsign();
        ASSERT_TRUE(objects.contains(f.callsign()));
        const simstub::SimObjectState& o = objects.at(f.callsign());
        const auto down = touchdownOf(o);
        ASSERT_NE(down, o.positions.end()) << "never on the ground";
        double aboveLast = -1e9, offProfile = 0.0, aside = 0.0;
        std::uint64_t worstFrame = 0;
        for (auto it = o.positions.begin(); it != down; ++it) {
            const NearestLeg leg = nearestLeg(f.path, it->latitude, it->longitude);
            if (leg.index >= f.pathGround)
                continue;
            const double profile = f.profileAt(leg);
            aboveLast = std::max(aboveLast, it->altitude - f.pathProfile[leg.index]);
            if (std::abs(it->altitude - profile) > offProfile) {
                offProfile = std::abs(it->altitude - profile);
                worstFrame = it->frame;
            }
            aside = std::max(aside, leg.metres);
        }
        EXPECT_LE(aboveLast, 100.0) << "above its last report";
        EXPECT_LE(offProfile, 200.0) << "off the reported descent at frame " << worstFrame;
        EXPECT_LE(aside, 100.0) << "metres beside the reported track";

        const rtstub::ReplaySample& reportedDown = f.rows[f.firstGround];
        EXPECT_LE(metresTo(*down, reportedDown), 300.0);
        // Its schedule runs late by the time its creation took: the time is
        // counted from when it passed the reported touchdown.
        const auto passed = std::min_element(o.positions.begin(), o.positions.end(), [&](const auto& a, const auto& b) {
            return metresTo(a, reportedDown) < metresTo(b, reportedDown);
        });
        const auto late = static_cast<std::int32_t>(flown.tickAt(down->frame) - flown.tickAt(passed->frame));
        EXPECT_LE(std::abs(late), 1000) << "ticks from the reported touchdown";
        EXPECT_LE(std::prev(down)->altitude - down->altitude, 2.0) << "feet dropped onto the ground";
        EXPECT_TRUE(std::all_of(down, o.positions.end(), [](const auto& q) { return q.onGround; }))
            << "in the air again after the touchdown";
        // The nose comes down over the touchdown's settle steps, not at once.
        double pitchStep = 0.0;
        for (auto it = down; it != o.positions.end(); ++it)
            pitchStep = std::max(pitchStep, std::abs(it->pitch - std::prev(it)->pitch));
        EXPECT_LE(pitchStep, 1.0 * kDegrees) << "radians of pitch from one position to the next";
        EXPECT_EQ(occurrences(log(), fmt::format("{:8} landed", f.callsign())), 1u);
        // Its engines stay back from the touchdown on (a helicopter's rotor
        // goes on turning).
        if (gf_modelCategory(f.rows.front().type) != tzo::AircraftCategory::Rotorcraft) {
            for (const auto& c : o.changes) {
                if (c.event == "THROTTLE_SET" && c.frame >= down->frame) {
                    EXPECT_EQ(c.value, 0u) << "throttle on the roll-out";
                }
            }
        }

        double nearest = 1e9;
        for (auto it = down; it != o.positions.end(); ++it)
            nearest = std::min(nearest, metresTo(*it, f.rows[f.turnOff]));
        EXPECT_LE(nearest, 20.0) << "metres from the report after the roll-out";
    }
};

TEST_F(Landing, everyCategoryLandsAtTheParkAirportAndAtAirportsLowerAndHigher)
{
    struct Kind {
        const char* model;
        double knots;
        double fpm;
        double touchdownKt;
        bool rates = true; // false: the reports' vertical rates are 0
    };
    constexpr std::array kKinds{
        Kind{"B744", 150, 800, 145}, Kind{"A320", 140, 750, 135}, Kind{"C25A", 120, 700, 110},
        Kind{"C172", 75, 600, 55},   Kind{"EC35", 60, 600, 40},   Kind{"F16", 150, 800, 140},
        Kind{"A321", 140, 800, 135, false},
    };
    std::vector<Flight> flights;
    std::uint32_t n = 0;
    for (const Airport& airport : {kPark, kHigher, kLower}) {
        for (const Kind& k : kKinds) {
            const double lane = (static_cast<double>(n % kKinds.size()) - 3.0) * 0.1;
            const Flight flight = approachFromEast(0x500000 + n, fmt::format("SWR{}", 100 + n), k.model, airport,
                                                   lane, 3000.0, k.knots, k.fpm)
                                      .descendTo(airport.elevation, k.knots, k.fpm, k.touchdownKt)
                                      .rollOutAndTurnOff(k.touchdownKt)
                                      .done();
            flights.push_back(k.rates ? flight : withoutRates(flight));
            ++n;
        }
    }
    const FlownReplay flown = fly(flights, 80000);
    for (std::size_t i = 0; i < flights.size(); ++i) {
        SCOPED_TRACE(fmt::format("{} at the {} airport", kKinds[i % kKinds.size()].model,
                                 std::array{kPark, kHigher, kLower}[i / kKinds.size()].name));
        expectLanding(flights[i], flown);
    }
    EXPECT_TRUE(m_stub->protocolErrors().empty());
}

TEST_F(Landing, theRecordedZurichApproachLandsWithItsReportsDenseAndSparse)
{
    // From 1,600 ft above the runway on, where the recording's altitudes agree
    // with its vertical rates (higher up a second altitude source, 100 to
    // 600 ft off, makes up a third of its rows) and starting on a row that
    // is no spike.
    const rtstub::ReplayTrack recorded = rtstub::loadReplayTrack(rtstub::replayFolder() / "lszh_landing.csv");
    const std::vector<double> median = runningMedian(recorded.samples);
    std::size_t from = 0;
    while (from < median.size() && (median[from] > kPark.elevation + 1600.0 ||
                                    std::abs(recorded.samples[from].altitudeFt - median[from]) > 50.0))
        ++from;
    ASSERT_LT(from, median.size());
    const std::vector<rtstub::ReplaySample> approach(recorded.samples.begin() + static_cast<std::ptrdiff_t>(from),
                                                     recorded.samples.end());
    // The recording ends 260 ft above the runway; the landing goes on as it flew.
    const Flight dense = FlightBuilder(approach).descendTo(kPark.elevation, 139, 768, 135).rollOutAndTurnOff(135).done();
    const Flight thin = sparse(dense, 0x3c664f, "DLH5TR");
    const FlownReplay flown = fly({dense, thin}, 60000);
    expectLanding(dense, flown);
    expectLanding(thin, flown);
}

TEST_F(Landing, aTouchAndGoAndAGoAroundClimbAwayWithTheirReportsSpoilersIn)
{
    const Flight touchAndGo = approachFromEast(0x500200, "SWR200", "A320", kPark, -0.2, 1500.0, 140, 750)
                                  .descendTo(kPark.elevation, 140, 750, 135)
                                  .roll(135, 125, 1.0)
                                  .fly(60, 150, 1500)
                                  .done();
    // Down on the runway and braking (spoilers out), it goes around.
    const Flight goAround = approachFromEast(0x500201, "SWR201", "A320", kPark, 0.2, 1500.0, 140, 750)
                                .descendTo(kPark.elevation, 140, 750, 135)
                                .roll(135, 105, 2.0)
                                .roll(105, 125, 4.0)
                                .fly(60, 150, 1500)
                                .done();
    fly({touchAndGo, goAround}, 40000);

    for (const Flight* f : {&touchAndGo, &goAround}) {
        const simstub::SimObjectState o = objectOf(*f);
        const auto down = touchdownOf(o);
        ASSERT_NE(down, o.positions.end()) << f->callsign() << " never touched";
        expectClimbAway(*f, o, std::find_if(down, o.positions.end(), [](const auto& q) { return !q.onGround; }));
        // Its spoilers came out once, at the touchdown: the climb-away's run
        // on the runway puts none out.
        const auto out = std::count_if(o.changes.begin(), o.changes.end(), [&](const auto& c) {
            return c.event == "SPOILERS_SET" && c.value != 0 && c.frame > std::prev(down)->frame;
        });
        EXPECT_EQ(out, 1) << f->callsign() << ": spoilers put out after the touchdown";
    }
}

TEST_F(Landing, aStandIsEnteredAtWalkingPaceAndStoppedInWithoutAJump)
{
    const tzo::LatLon standAt{47.4600, 8.5550};
    tzo::ParkPos stand("A1", {}, standAt.latitude, standAt.longitude, 0.0, 25.0, false, false, false);
    stand.id = 1;
    gf_setParkPositions({stand});
    // Taxiing north, slowing to 5 kt, coming to rest 18 m short of the stand.
    const tzo::LatLon start = gf_destinationPoint(standAt, std::numbers::pi, 215.0 * kFeetPerMetre);
    const Flight taxiIn = FlightBuilder(0x500300, "SWR300", "A320", start.latitude, start.longitude, kPark.elevation, 0.0)
                              .taxi(20, 12)
                              .roll(12, 5, 1)
                              .taxi(16, 5)
                              .taxi(20, 0)
                              .done();
    const FlownReplay flown = fly({taxiIn}, 20000, [&] { return objectOf(taxiIn).hasEvent("ENGINE_AUTO_SHUTDOWN"); });

    const simstub::SimObjectState o = objectOf(taxiIn);
    ASSERT_GE(o.positions.size(), 2u);
    EXPECT_TRUE(o.hasEvent("ENGINE_AUTO_SHUTDOWN")) << "never parked";
    const auto& last = o.positions.back();
    EXPECT_LE(gf_greatCircleDistanceNm({last.latitude, last.longitude}, standAt) * 1852.0, 2.0);
    // The last 30 m of its way, step by step, at no more than 5 kt.
    constexpr double kWalkingMetresPerSecond = 5.0 * 1852.0 / 3600.0;
    double way = 0.0, fastest = 0.0;
    for (auto it = o.positions.end() - 1; it != o.positions.begin() && way < 30.0; --it) {
        const double step = metres(*std::prev(it), *it);
        const double seconds = (flown.tickAt(it->frame) - flown.tickAt(std::prev(it)->frame)) / 100.0;
        way += step;
        if (seconds > 0.0)
            fastest = std::max(fastest, step / seconds);
    }
    EXPECT_GE(way, 30.0);
    EXPECT_LE(fastest, kWalkingMetresPerSecond * 1.02) << "metres per second";
}

} // namespace
