// The program's AI objects against the simulator stand-in's, second by
// second: the real main loop and live traffic with a crowd of 300 aircraft
// made from the recorded Zürich tracks, through seeded scenarios in which
// the user flies, lands (the automatic range drops from 40 to 8 nm), takes
// off again, is teleported and stops and resumes the flight; the same with
// a slow simulator that answers no creation until 35 s after the 300th; and
// a simulator that removes objects by itself at every moment of their
// creation and answers in its own order, some creations never; and
// two aircraft of one callsign whose creations wait for their answers, the
// one that took the other's object by the callsign keeping it or removing
// its aircraft before the answers come; and an id of the simulator's own
// traffic handed out again to a later creation. After every stand-in second: every
// AI object belongs to exactly one record, every record's object is in the
// simulator, no record waits for its object (removed before it came or
// not) longer than the 30 s after which its creation is given up, and an
// object whose aircraft is removed is gone within 5 s of a running flight
// (plus 100 ms for each removal queued before it: removals leave one per
// 100 ms; a stopped flight sends none). An object whose creation answer the
// stand-in still holds back is no one's yet: no client can know which
// creation it answers.

#include "traffic/replay_fixture.hpp"

#include "app/main_loop.hpp"
#include "app/program_tick_work.hpp"
#include "foundation/run_state.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/traffic_reader.hpp"
#include "traffic/removal.hpp"
#include "traffic/sim_events.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>

using namespace traffictest;
using testsupport::waitFor;

namespace {

constexpr std::size_t kCrowd = 300;
constexpr std::size_t kSlowCrowd = 450;
constexpr int kSeconds = 420;
constexpr int kSlowSeconds = 480;
// A report of each aircraft every this many seconds: 100 lines a second,
// half of what the live traffic takes in.
constexpr double kReportSeconds = 3.0;
// An object may wait this long for its record (with the fault back, one
// inside the request radius is found by the next answer on it).
constexpr int kUnownedSeconds = 3;
constexpr int kRemovalSeconds = 5;
// The give-up after 30 s, and the second in which it is seen.
constexpr int kWaitSeconds = 31;
// The slow simulator: it holds the creation answers until this long after
// the 300th creation, so that every creation before is given up or taken by
// its callsign first.
constexpr int kHeldSeconds = 35;

// What happens to the user, at program seconds drawn from the seed.
struct Timeline {
    int land = 0;
    int takeOff = 0;
    int teleport = 0;
    int stop = 0;
    int resume = 0;
};

Timeline timelineOf(unsigned seed)
{
    std::mt19937 rng(seed);
    const auto at = [&](int from, int to) { return std::uniform_int_distribution<int>(from, to)(rng); };
    Timeline t;
    // The landing comes while creations queue up: some are made after the
    // range dropped, far out.
    t.land = at(230, 290);
    t.takeOff = t.land + at(40, 80);
    t.teleport = at(100, 380);
    t.stop = at(60, 380);
    t.resume = t.stop + at(5, 25);
    return t;
}

class ObjectLedger : public TrafficInSimulator, public ::testing::WithParamInterface<unsigned> {
protected:
    void SetUp() override
    {
        TrafficInSimulator::SetUp();
        installReplayLiveries();
        // Hundreds of objects for minutes, as the demo's stand-in runs: no
        // packets recorded, and by default no history.
        simstub::Options options;
        options.recordPackets = false;
        startQuietStub(options);
        connect();
        rtOnThisPc.store(false);
        AUTO_RANGE.setValue(true);
        trafficReader.setParkAirport(rtstub::kZurichLatitude, rtstub::kZurichLongitude);
        trafficReader.setParkAirportElevation(rtstub::kZurichElevationFt);
        trafficReader.setUserPosition(rtstub::kZurichLatitude, rtstub::kZurichLongitude);
        gf_rangeFromSetting();
    }
    void TearDown() override
    {
        trafficReader.clearParkAirport();
        AUTO_RANGE.setValue(AUTO_RANGE.defaultValue());
        rtOnThisPc.store(true);
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries.clear();
        TrafficInSimulator::TearDown();
    }

    unsigned seedToRun() const
    {
        // Any other seed, to search for a fault or to follow one up.
        const char* text = std::getenv("NORVANE_LEDGER_SEED");
        return text != nullptr && *text != '\0' ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : GetParam();
    }

    // As startAndRegister(), for a stand-in that records no packets.
    void connect()
    {
        gf_startSimClient();
        ASSERT_TRUE(waitFor([&] {
            const auto groups = m_stub->clientState().groups;
            const auto all = groups.find(tzo::GROUP_ALL);
            return all != groups.end() && all->second.priority != 0;
        })) << "the client never registered";
        ASSERT_TRUE(waitFor([&] { return simtest::Recorder::get().clears() > 0; }));
        requestUserOnGroundEachSecond();
    }

    // As settle(), keeping the flight's state: running or stopped.
    void sync(bool running)
    {
        flightRunning.store(!running);
        m_stub->sendSystemEvent("Sim", running ? 1 : 0);
        ASSERT_TRUE(waitFor([&] { return flightRunning.load() == running; }));
        std::uint32_t last = 0;
        if (SimConnect_GetLastSentPacketID(simConnectHandle.load(), &last) != SIMCONNECT_S_OK)
            return;
        const std::size_t connection = m_stub->connectionCount() - 1;
        ASSERT_TRUE(waitFor([&] { return m_stub->handledSendId(connection) - last < 0x80000000u; }));
    }

    void placeUser(double latitude, double longitude, double altitude, bool onGround)
    {
        m_stub->setUserVar("PLANE LATITUDE", latitude);
        m_stub->setUserVar("PLANE LONGITUDE", longitude);
        m_stub->setUserVar("PLANE ALTITUDE", altitude);
        m_stub->setUserVar("PLANE ALT ABOVE GROUND", altitude - rtstub::kZurichElevationFt);
        m_stub->setUserVar("SIM ON GROUND", onGround ? 1.0 : 0.0);
    }

    // The owners of each object: live and static records, and static
    // objects waiting for their two seconds of lights.
    static std::map<std::uint32_t, int> owners()
    {
        std::map<std::uint32_t, int> count;
        for (const auto& a : liveAircraft)
            if (a.objectId != 0)
                ++count[a.objectId];
        for (const auto& s : staticAircraft)
            if (s.objectId != 0)
                ++count[s.objectId];
        for (const auto& e : pendingLights)
            if (e.kind == tzo::NOTIFY_STATIC_CREATED)
                ++count[e.objectId];
        return count;
    }

    // Objects on their way out: records being removed or replaced, and
    // objects queued for removal without a record.
    static std::set<std::uint32_t> leaving()
    {
        std::set<std::uint32_t> ids(removalQueue.begin(), removalQueue.end());
        {
            std::lock_guard lock(simQueueMutex);
            ids.insert(removeQueue.begin(), removeQueue.end());
        }
        for (const auto& a : liveAircraft)
            if (a.objectId != 0 && (a.state == tzo::AircraftState::BeingRemoved ||
                                    a.state == tzo::AircraftState::LiveryChange))
                ids.insert(a.objectId);
        for (const auto& s : staticAircraft)
            if (s.objectId != 0 && s.state == tzo::AircraftState::BeingRemoved)
                ids.insert(s.objectId);
        return ids;
    }

    // What the ledger has seen so far, and what broke it.
    struct Books {
        explicit Books(unsigned seedOfRun) : seed(seedOfRun) {}
        unsigned seed = 0;
        std::vector<std::string> broken;
        std::map<std::uint32_t, int> unownedSince; // object -> second first seen without a record
        std::map<std::uint32_t, int> leavingDue;   // object -> second by which it must be gone
        std::map<std::uint32_t, int> waitingSince; // record -> second its creation was first seen sent
        std::size_t misdirectedSeen = 0;           // the stand-in's misdirected packets looked at
        std::size_t mostObjects = 0;
        // Objects whose creation answers the simulator never sent: no client
        // can know them for its own.
        std::set<std::uint32_t> unanswered;
        std::size_t removedByItself = 0;

        void fail(int second, const std::string& what)
        {
            if (broken.size() < 10)
                broken.push_back(fmt::format("seed {}, second {}: {}", seed, second, what));
        }
    };

    // The program's main loop over a running flight.
    struct Flight {
        tzo::ProgramTickWork work;
        tzo::SteadyTickClock clock;
        tzo::MainLoop loop{work, clock};
    };

    // The user at 5,000 ft over Zürich, the flight running; the simulator
    // holds its creation answers when told.
    std::unique_ptr<Flight> startFlight(bool holdAnswers)
    {
        placeUser(rtstub::kZurichLatitude, rtstub::kZurichLongitude, 5000.0, false);
        auto flight = std::make_unique<Flight>();
        flight->work.setFlightRunning(true);
        sync(true);
        m_stub->holdCreationAnswers(holdAnswers);
        return flight;
    }

    // One stand-in second of program time, and the simulator's answers to
    // everything sent in it taken in; eachTick after every tick.
    void runSecond(tzo::MainLoop& loop, bool running, const std::function<void()>& eachTick = {})
    {
        m_stub->answerSeconds(1);
        for (int tick = 0; tick < 100; ++tick) {
            loop.round();
            if (eachTick)
                eachTick();
            if (tick % 10 == 9)
                m_stub->stepFrames(1);
        }
        m_stub->stepFrames(1);
        sync(running);
        sync(running);
        loop.round();
    }

    void check(Books& books, int second, bool running = true)
    {
        const auto objects = m_stub->objectPositions();
        books.mostObjects = std::max(books.mostObjects, objects.size());
        const auto owned = owners();
        const auto out = leaving();
        const auto heldIds = m_stub->heldCreationObjects();
        const std::set<std::uint32_t> held(heldIds.begin(), heldIds.end());
        std::set<std::uint32_t> present;
        for (const auto& o : objects) {
            present.insert(o.id);
            const auto it = owned.find(o.id);
            const int n = it == owned.end() ? 0 : it->second;
            if (n > 1)
                books.fail(second, fmt::format("object {} ({}) belongs to {} records", o.id, o.atcId, n));
            if (n == 0 && !out.contains(o.id) && !held.contains(o.id) && !books.unanswered.contains(o.id)) {
                const int since = books.unownedSince.try_emplace(o.id, second).first->second;
                if (second - since >= kUnownedSeconds)
                    books.fail(second, fmt::format("object {} ({}) has had no record for {} s", o.id, o.atcId,
                                                   second - since));
            } else {
                books.unownedSince.erase(o.id);
            }
        }
        for (const auto& [id, n] : owned)
            if (!present.contains(id))
                books.fail(second, fmt::format("a record holds object {}, which the simulator does not have", id));
        // An object is removed once: no removal aims at one that is gone.
        const auto misdirected = m_stub->misdirectedPackets();
        for (std::size_t i = books.misdirectedSeen; i < misdirected.size(); ++i)
            if (misdirected[i].name == "AIRemoveObject")
                books.fail(second, fmt::format("object {} removed, which the simulator no longer has",
                                               misdirected[i].u32("objectId")));
        books.misdirectedSeen = misdirected.size();
        // The stand-in's own memory stays flat: one position per object
        // (and the user's), however many came, moved and went.
        if (const std::size_t stored = m_stub->storedPositions(); stored > objects.size() + 1)
            books.fail(second, fmt::format("the stand-in holds {} positions of {} objects", stored, objects.size()));
        // A record whose creation went out waits for its object for 30 s at
        // the most, removed before it came or not.
        std::map<std::uint32_t, int> stillWaiting;
        for (const auto& a : liveAircraft) {
            const bool queued = std::find(idsToCreate.begin(), idsToCreate.end(), a.recordId) != idsToCreate.end() ||
                                std::any_of(liveCreateQueue.begin(), liveCreateQueue.end(),
                                            [&](const tzo::CreateRequest& r) { return r.recordId == a.recordId; });
            const bool waits =
                a.state == tzo::AircraftState::CreateRequested || a.state == tzo::AircraftState::BeingRemoved;
            if (a.objectId == 0 && waits && !queued) {
                const int since = books.waitingSince.try_emplace(a.recordId, second).first->second;
                stillWaiting.emplace(a.recordId, since);
                if (second - since > kWaitSeconds)
                    books.fail(second, fmt::format("{} has waited {} s for its object", a.callsign, second - since));
            }
        }
        books.waitingSince = std::move(stillWaiting);
        // Removals leave one per 100 ms: an object behind others in the
        // queue has their time too.
        for (const std::uint32_t id : out) {
            const auto place = std::find(removalQueue.begin(), removalQueue.end(), id) - removalQueue.begin();
            books.leavingDue.try_emplace(id, second + kRemovalSeconds + static_cast<int>(place + 9) / 10);
        }
        for (auto it = books.leavingDue.begin(); it != books.leavingDue.end();) {
            if (!present.contains(it->first)) {
                it = books.leavingDue.erase(it);
                continue;
            }
            // A stopped flight sends no removal: its seconds are not counted.
            if (!running)
                ++it->second;
            if (second > it->second)
                books.fail(second, fmt::format("object {} still there {} s after it was due to go", it->first,
                                               second - it->second));
            ++it;
        }
    }

    // The simulator removes objects by itself, drawn from rng: one of a
    // record, one on its way out (its removal queued), and one whose
    // creation answer it still holds.
    void removeSomeByItself(std::mt19937& rng, Books& books)
    {
        const auto pick = [&](const std::vector<std::uint32_t>& ids) {
            if (!ids.empty() && m_stub->removeObjectByItself(
                                    ids[std::uniform_int_distribution<std::size_t>(0, ids.size() - 1)(rng)]))
                ++books.removedByItself;
        };
        std::vector<std::uint32_t> owned;
        for (const auto& [id, n] : owners())
            owned.push_back(id);
        const auto out = leaving();
        if (rng() % 2 == 0)
            pick(owned);
        pick(std::vector<std::uint32_t>(out.begin(), out.end()));
        if (rng() % 3 == 0)
            pick(m_stub->heldCreationObjects());
    }

    // Runs one seeded scenario; answers what broke the ledger (empty: nothing).
    // With removesByItself the simulator holds its creation answers and
    // sends them every few seconds in another order, some never, some for
    // objects it then removes at once, and it removes objects by itself
    // before, during and after; at the end the traffic is dropped and
    // nothing may be left of it.
    std::vector<std::string> runScenario(unsigned seed, bool slowSimulator = false, bool removesByItself = false)
    {
        const Timeline t = timelineOf(seed);
        // Their flights only: copies of a taxi moved away from the airport
        // would be refused as standing nowhere.
        std::vector<rtstub::ReplayTrack> recorded;
        for (const auto& file : rtstub::defaultReplayFiles()) {
            auto& track = recorded.emplace_back(rtstub::loadReplayTrack(file));
            std::erase_if(track.samples, [](const rtstub::ReplaySample& s) { return s.onGround; });
        }
        // Spread over some 50 nm, so that many fly between 8 and 40 nm out.
        // The slow simulator's crowd is larger: with the answers held, the
        // first aircraft go before 300 creations have gone out.
        auto crowd = rtstub::crowdTracks(recorded, slowSimulator ? kSlowCrowd : kCrowd, 0.05, seed);
        for (auto& track : crowd)
            rtstub::thinReports(track, kReportSeconds);
        const auto lines = rtstub::replayLines(crowd, kReplayStart);

        const auto flight = startFlight(slowSimulator || removesByItself);
        std::mt19937 rng(seed * 7919u);

        Books books(seed);
        std::size_t next = 0;
        bool running = true;
        const int seconds = slowSimulator ? kSlowSeconds : kSeconds;
        int releaseAt = slowSimulator ? seconds - kHeldSeconds : -1;
        for (int second = 0; second < seconds && books.broken.empty(); ++second) {
            if (second == t.land)
                placeUser(rtstub::kZurichLatitude, rtstub::kZurichLongitude, rtstub::kZurichElevationFt, true);
            if (second == t.takeOff)
                placeUser(rtstub::kZurichLatitude, rtstub::kZurichLongitude, 4000.0, false);
            if (second == t.teleport) {
                const auto user = m_stub->user();
                placeUser(user.var("PLANE LATITUDE") + 0.3, user.var("PLANE LONGITUDE"), user.var("PLANE ALTITUDE"),
                          user.var("SIM ON GROUND") != 0.0);
            }
            if (second == t.stop || second == t.resume) {
                running = second == t.resume;
                m_stub->sendSystemEvent("Sim", running ? 1 : 0);
            }
            if (removesByItself) {
                removeSomeByItself(rng, books);
                if (second % 6 == 5)
                    for (const std::uint32_t id : m_stub->releaseCreationAnswers(seed * 1000u + second, 0.1, 0.1))
                        books.unanswered.insert(id);
                // Its removal notices reach the program before the next tick:
                // a removal the program sends before it can know is no fault
                // of the program's, one sent after it is.
                sync(running);
            }
            if (slowSimulator && m_stub->createdCount() >= kCrowd)
                releaseAt = std::min(releaseAt, second + kHeldSeconds);
            if (second == releaseAt) {
                if (m_stub->createdCount() < kCrowd)
                    books.fail(second, fmt::format("only {} creations while the answers were held",
                                                   m_stub->createdCount()));
                m_stub->holdCreationAnswers(false);
                m_stub->releaseCreationAnswers();
            }
            while (next < lines.size() && lines[next].offsetSeconds <= second)
                trafficReader.handleDatagramText(lines[next++].text);
            runSecond(flight->loop, running);
            check(books, second, running);
        }
        if (books.mostObjects < 50)
            books.broken.push_back(
                fmt::format("seed {}: at most {} AI objects, the crowd never came", seed, books.mostObjects));
        if (removesByItself && books.broken.empty())
            dropAndCount(*flight, books, seconds);
        return books.broken;
    }

    // The traffic dropped: every record and every object of the program goes.
    void dropAndCount(Flight& flight, Books& books, int second)
    {
        if (books.removedByItself < 100)
            books.fail(second, fmt::format("the simulator removed only {} objects by itself", books.removedByItself));
        m_stub->holdCreationAnswers(false);
        for (const std::uint32_t id : m_stub->releaseCreationAnswers())
            books.unanswered.insert(id);
        gf_requestDropLiveTraffic();
        const auto left = [&] {
            std::size_t objects = 0;
            for (const auto& o : m_stub->objectPositions())
                objects += books.unanswered.contains(o.id) ? 0 : 1;
            return objects + liveAircraft.size();
        };
        for (const int end = second + 40; second < end && books.broken.empty() && left() != 0; ++second) {
            runSecond(flight.loop, true);
            check(books, second);
        }
        if (const std::size_t n = left(); n != 0)
            books.fail(second, fmt::format("{} records and objects left after the traffic was dropped", n));
    }

    // Objects that records hold, not on their way out, but the simulator
    // does not have (a record holds an object from its notice of creation to
    // its notice of removal, and only its own removal takes it away).
    std::vector<std::uint32_t> heldButGone() const
    {
        const auto objects = m_stub->objectPositions();
        std::set<std::uint32_t> present;
        for (const auto& o : objects)
            present.insert(o.id);
        const auto out = leaving();
        std::vector<std::uint32_t> gone;
        for (const auto& [id, n] : owners())
            if (!present.contains(id) && !out.contains(id))
                gone.push_back(id);
        return gone;
    }
};

// A flight of one callsign and type, straight east at 200 kt and 6000 ft: a
// report every 3 s for two minutes.
rtstub::ReplayTrack straightFlight(std::uint32_t hexid, const std::string& type, double latitude, double delay)
{
    constexpr double kDegreesEastPerReport = 3.0 * 200.0 / 3600.0 / 40.5; // 1 degree of longitude: 40.5 nm here
    rtstub::ReplayTrack track{type, {}, delay};
    for (int i = 0; i < 40; ++i) {
        rtstub::ReplaySample s;
        s.epochMs = static_cast<std::int64_t>(kReplayStart) * 1000 + i * 3000;
        s.icao24 = hexid;
        s.callsign = "DLH12";
        s.latitude = latitude;
        s.longitude = rtstub::kZurichLongitude + i * kDegreesEastPerReport;
        s.altitudeFt = 6000.0;
        s.groundSpeedKt = 200.0;
        s.trackDeg = 90.0;
        s.speedRecorded = true;
        s.trackRecorded = true;
        s.type = type;
        track.samples.push_back(s);
    }
    return track;
}

// The ledger with a simulator that answers creations only 35 s after the
// 300th: given up at 30 s, their late objects must go, however many
// creations came and went in between.
//
// And two waiting creations of DLH12, the first one 30 nm out, beyond the
// radius of the request for the aircraft around the user; the near one's
// object shows up there with that callsign, and the first waiting creation
// of the callsign, the far one's, takes it while the simulator holds its
// answers.
class SlowSimulatorLedger : public ObjectLedger {
protected:
    static constexpr std::uint32_t kFar = 0x3C1001;
    static constexpr std::uint32_t kNear = 0x3C1002;
    static constexpr double kNearLatitude = rtstub::kZurichLatitude + 0.03;
    static constexpr double kFarLatitude = rtstub::kZurichLatitude + 0.5;

    std::vector<rtstub::ReplayLine> m_lines;
    std::size_t m_next = 0;
    int m_second = 0;
    std::unique_ptr<Flight> m_flight;
    Books m_books{GetParam()};

    static tzo::LiveAircraft* record(std::uint32_t hexid) { return gf_findLiveAircraft(hexid); }

    // Both creations out, the far record holding the near aircraft's object;
    // answers that object's id (0 after a failure).
    // A second model beside the fixture's, and the range kept where set.
    void addTheFarModel()
    {
        tzo::scannedLiveries.push_back(tzo::LiveryData{"DLH", "A319", "Lufthansa A319", "", 1, false});
        tzo::gf_resetLiveryCatalogue();
        tzo::gf_processScannedLiveries();
        AUTO_RANGE.setValue(false);
    }

    std::uint32_t farRecordTakesTheNearObject()
    {
        addTheFarModel();
        // Two models: one callsign of one model is one aircraft to the intake.
        m_lines = rtstub::replayLines({straightFlight(kFar, "A319", kFarLatitude, 0.0),
                                       straightFlight(kNear, "A321", kNearLatitude, 3.0)},
                                      kReplayStart);
        m_flight = startFlight(true);
        if (!runUntil([&] { return m_stub->createdCount() == 2; }, 60)) {
            ADD_FAILURE() << "both creations go out; " << fmt::format("{}", fmt::join(m_books.broken, "; "));
            return 0;
        }
        if (!runUntil([&] { return record(kFar) != nullptr && record(kFar)->objectId != 0; }, 5)) {
            ADD_FAILURE() << fmt::format("{}", fmt::join(m_books.broken, "; "));
            return 0;
        }
        const std::uint32_t nearObject = record(kFar)->objectId;
        const auto taken = m_stub->object(nearObject);
        if (!taken || std::abs(taken->var("PLANE LATITUDE") - kNearLatitude) > 0.1) {
            ADD_FAILURE() << "the far record holds the near aircraft's object";
            return 0;
        }
        return nearObject;
    }

    // Runs seconds until done (or the seconds are over); answers done().
    bool runUntil(const std::function<bool()>& done, int seconds, const std::function<void()>& eachTick = {})
    {
        for (const int end = m_second + seconds; m_second < end && m_books.broken.empty() && !done(); ++m_second) {
            // Reports are taken from 40 nm, the simulator is asked for the
            // aircraft within 20 nm: the far one is never among them.
            gf_storeRange(40.0);
            while (m_next < m_lines.size() && m_lines[m_next].offsetSeconds <= m_second)
                trafficReader.handleDatagramText(m_lines[m_next++].text);
            gf_storeRange(20.0);
            runSecond(m_flight->loop, true, eachTick);
            check(m_books, m_second);
        }
        return done();
    }
};

} // namespace

TEST_P(ObjectLedger, everyObjectBelongsToOneRecordThroughLandingsTeleportsAndStops)
{
    for (const auto& what : runScenario(seedToRun()))
        ADD_FAILURE() << what;
}

INSTANTIATE_TEST_SUITE_P(Seeds, ObjectLedger, ::testing::Values(1u, 2u));

TEST_P(SlowSimulatorLedger, lateObjectsOfGivenUpCreationsGoHoweverManyCameBetween)
{
    for (const auto& what : runScenario(seedToRun(), true))
        ADD_FAILURE() << what;
}

INSTANTIATE_TEST_SUITE_P(Seed, SlowSimulatorLedger, ::testing::Values(3u));

// A simulator that removes objects by itself before, during and after its
// held answers, sends them shuffled, some never.
class SelfRemovingSimulatorLedger : public ObjectLedger {};

TEST_P(SelfRemovingSimulatorLedger, objectsTheSimulatorRemovesByItselfAreLetGoAtEveryMomentOfTheirCreation)
{
    for (const auto& what : runScenario(seedToRun(), false, true))
        ADD_FAILURE() << what;
}

INSTANTIATE_TEST_SUITE_P(Seeds, SelfRemovingSimulatorLedger, ::testing::Values(4u, 5u, 6u));

// The simulator's answers, held until then, name each creation's own
// object: the far record lets go of the near object for its own, and no
// object ever belongs to two records.
TEST_P(SlowSimulatorLedger, anAnswerTakesBackTheObjectACallsignGaveToAnotherCreation)
{
    const std::uint32_t nearObject = farRecordTakesTheNearObject();
    ASSERT_NE(nearObject, 0u);

    m_stub->holdCreationAnswers(false);
    m_stub->releaseCreationAnswers();
    runUntil([] { return false; }, 5);
    for (const auto& what : m_books.broken)
        ADD_FAILURE() << what;
    ASSERT_NE(record(kFar), nullptr);
    ASSERT_NE(record(kNear), nullptr);
    EXPECT_EQ(record(kNear)->objectId, nearObject);
    const auto farObject = m_stub->object(record(kFar)->objectId);
    ASSERT_TRUE(farObject.has_value()) << "the far aircraft keeps its own object";
    EXPECT_NEAR(farObject->var("PLANE LATITUDE"), kFarLatitude, 0.1);
}

// The far record, which holds the near aircraft's object by the callsign,
// removes its aircraft (as a lowered MAX_LIVE, a duplicate or a collision
// would) while the answers are held. The answer that names that object for
// the near creation comes when the object is gone: the near creation is
// given up, never handed the object, and the near aircraft comes anew.
// Every tick no record holds an object the simulator lacks, and no object
// is removed twice.
// The far record removes its aircraft, and before its removal leaves, the
// answers come: the object the removal was for is the near creation's, and
// stays. The answers come once the removal waits for the next frame to go
// out, past the removals' own queue of one per 100 ms.
TEST_P(SlowSimulatorLedger, aRemovalQueuedForAnObjectTakenBackNeverGoesOut)
{
    const std::uint32_t nearObject = farRecordTakesTheNearObject();
    ASSERT_NE(nearObject, 0u);
    gf_removeAircraft(*record(kFar));
    bool answered = false;
    const auto answerOnceOutgoing = [&] {
        bool outgoing = false;
        {
            std::lock_guard lock(simQueueMutex);
            outgoing = std::find(removeQueue.begin(), removeQueue.end(), nearObject) != removeQueue.end();
        }
        if (answered || !outgoing)
            return;
        answered = true;
        m_stub->holdCreationAnswers(false);
        m_stub->releaseCreationAnswers();
    };
    runUntil([&] { return answered; }, 5, answerOnceOutgoing);
    ASSERT_TRUE(answered) << "the removal never waited to go out";
    runUntil([] { return false; }, 5);
    for (const auto& what : m_books.broken)
        ADD_FAILURE() << what;
    EXPECT_TRUE(m_stub->object(nearObject).has_value()) << "the near aircraft's object was removed";
    ASSERT_NE(record(kNear), nullptr);
    EXPECT_EQ(record(kNear)->objectId, nearObject);
}

// An aircraft of the simulator's own traffic is removed while the near
// creation waits for its answer: no answer of ours can name it once the
// near one's has named another object. The simulator then hands its id out
// again to the far creation, sent after: that answer is the far
// aircraft's own object.
TEST_P(SlowSimulatorLedger, anIdOfTheSimulatorsOwnTrafficHandedOutAgainIsTheNextCreationsObject)
{
    addTheFarModel();
    m_lines = rtstub::replayLines({straightFlight(kNear, "A321", kNearLatitude, 0.0),
                                   straightFlight(kFar, "A319", kFarLatitude, 90.0)},
                                  kReplayStart);
    m_flight = startFlight(true);
    ASSERT_TRUE(runUntil([&] { return m_stub->createdCount() == 1; }, 60)) << "the near creation goes out";
    m_stub->reuseIdsAfterFrames(1);
    const std::uint32_t own = m_stub->addOwnTrafficObject(kNearLatitude, rtstub::kZurichLongitude - 0.2, 7000.0);
    sync(true);
    m_stub->stepFrames(1);
    ASSERT_TRUE(m_stub->removeObjectByItself(own));
    sync(true);
    m_stub->holdCreationAnswers(false);
    m_stub->releaseCreationAnswers();
    runUntil([&] { return record(kFar) != nullptr && record(kFar)->objectId != 0; }, 120);
    for (const auto& what : m_books.broken)
        ADD_FAILURE() << what;
    ASSERT_NE(record(kFar), nullptr);
    EXPECT_EQ(record(kFar)->objectId, own) << "the far aircraft holds the object on the id handed out again";
}

TEST_P(SlowSimulatorLedger, anObjectRemovedBeforeItsAnswerIsNoCreationsWhenTheAnswerComes)
{
    const std::uint32_t nearObject = farRecordTakesTheNearObject();
    ASSERT_NE(nearObject, 0u);
    std::vector<std::string> ghosts;
    const auto noGhosts = [&] {
        if (ghosts.empty())
            for (const std::uint32_t id : heldButGone())
                ghosts.push_back(fmt::format("second {}: a record holds object {}, which the simulator does not have",
                                             m_second, id));
    };

    gf_removeAircraft(*record(kFar));
    ASSERT_TRUE(runUntil([&] { return !m_stub->object(nearObject).has_value(); }, 5, noGhosts))
        << "the far record's removal takes the object away";
    m_stub->holdCreationAnswers(false);
    m_stub->releaseCreationAnswers();
    // Past the 30 s after which an unanswered or unseen creation is given up.
    runUntil([] { return false; }, 40, noGhosts);
    for (const auto& what : m_books.broken)
        ADD_FAILURE() << what;
    for (const auto& what : ghosts)
        ADD_FAILURE() << what;
    for (const auto& packet : m_stub->misdirectedPackets())
        EXPECT_NE(packet.name, "AIRemoveObject") << "object " << packet.u32("objectId") << " removed twice";
    ASSERT_NE(record(kNear), nullptr);
    ASSERT_NE(record(kNear)->objectId, 0u);
    const auto nearNow = m_stub->object(record(kNear)->objectId);
    ASSERT_TRUE(nearNow.has_value()) << "the near aircraft is in the simulator";
    EXPECT_NEAR(nearNow->var("PLANE LATITUDE"), kNearLatitude, 0.1);
}
