// The program's AI objects against the simulator stand-in's, second by
// second: the real main loop and live traffic with a crowd of 300 aircraft
// made from the recorded Zürich tracks, through seeded scenarios in which
// the user flies, lands (the automatic range drops from 40 to 8 nm), takes
// off again, is teleported and stops and resumes the flight. After every
// stand-in second: every AI object belongs to exactly one record, every
// record's object is in the simulator, no record waits for its object
// longer than the 30 s after which its creation is given up, and an object
// whose aircraft is removed is gone within 5 s (plus 100 ms for each removal
// queued before it: removals leave one per 100 ms).

#include "traffic/replay_fixture.hpp"

#include "app/main_loop.hpp"
#include "app/program_tick_work.hpp"
#include "foundation/run_state.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/traffic_reader.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

using namespace traffictest;
using testsupport::waitFor;

namespace {

constexpr std::size_t kCrowd = 300;
constexpr int kSeconds = 420;
// A report of each aircraft every this many seconds: 100 lines a second,
// half of what the live traffic takes in.
constexpr double kReportSeconds = 3.0;
// An object may wait this long for its record (with the fault back, one
// inside the request radius is found by the next answer on it).
constexpr int kUnownedSeconds = 3;
constexpr int kRemovalSeconds = 5;
// The give-up after 30 s, and the second in which it is seen.
constexpr int kWaitSeconds = 31;

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

// Every report of a track at least `seconds` after the last one kept.
void thinReports(rtstub::ReplayTrack& track, double seconds)
{
    std::vector<rtstub::ReplaySample> kept;
    for (const auto& sample : track.samples)
        if (kept.empty() || sample.epochMs - kept.back().epochMs >= static_cast<std::int64_t>(seconds * 1000))
            kept.push_back(sample);
    track.samples = std::move(kept);
}

class ObjectLedger : public TrafficInSimulator, public ::testing::WithParamInterface<unsigned> {
protected:
    void SetUp() override
    {
        TrafficInSimulator::SetUp();
        installReplayLiveries();
        // Hundreds of objects for minutes: the stand-in keeps no history.
        simstub::Options options;
        options.recordPackets = false;
        options.keepHistory = false;
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

    // Runs one seeded scenario; answers what broke the ledger (empty: nothing).
    std::vector<std::string> runScenario(unsigned seed)
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
        auto crowd = rtstub::crowdTracks(recorded, kCrowd, 0.05, seed);
        for (auto& track : crowd)
            thinReports(track, kReportSeconds);
        const auto lines = rtstub::replayLines(crowd, kReplayStart);

        // The user flies over Zürich.
        placeUser(rtstub::kZurichLatitude, rtstub::kZurichLongitude, 5000.0, false);
        tzo::ProgramTickWork work;
        tzo::SteadyTickClock clock;
        tzo::MainLoop loop(work, clock);
        work.setFlightRunning(true);
        sync(true);

        std::vector<std::string> broken;
        const auto fail = [&](int second, const std::string& what) {
            if (broken.size() < 10)
                broken.push_back(fmt::format("seed {}, second {}: {}", seed, second, what));
        };
        std::map<std::uint32_t, int> unownedSince; // object -> second first seen without a record
        std::map<std::uint32_t, int> leavingDue;   // object -> second by which it must be gone
        std::map<std::uint32_t, int> waitingSince; // record -> second its creation was first seen sent
        std::size_t next = 0;
        bool running = true;
        std::size_t mostObjects = 0;
        for (int second = 0; second < kSeconds && broken.empty(); ++second) {
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
            while (next < lines.size() && lines[next].offsetSeconds <= second)
                trafficReader.handleDatagramText(lines[next++].text);
            m_stub->answerSeconds(1);
            for (int tick = 0; tick < 100; ++tick) {
                loop.round();
                if (tick % 10 == 9)
                    m_stub->stepFrames(1);
            }
            // The simulator's answers to everything sent so far are in and
            // taken by the next tick.
            m_stub->stepFrames(1);
            sync(running);
            sync(running);
            loop.round();

            const auto objects = m_stub->objectPositions();
            mostObjects = std::max(mostObjects, objects.size());
            const auto owned = owners();
            const auto out = leaving();
            std::set<std::uint32_t> present;
            for (const auto& o : objects) {
                present.insert(o.id);
                const auto it = owned.find(o.id);
                const int n = it == owned.end() ? 0 : it->second;
                if (n > 1)
                    fail(second, fmt::format("object {} ({}) belongs to {} records", o.id, o.atcId, n));
                if (n == 0 && !out.contains(o.id)) {
                    const int since = unownedSince.try_emplace(o.id, second).first->second;
                    if (second - since >= kUnownedSeconds)
                        fail(second, fmt::format("object {} ({}) has had no record for {} s", o.id, o.atcId,
                                                 second - since));
                } else {
                    unownedSince.erase(o.id);
                }
            }
            for (const auto& [id, n] : owned)
                if (!present.contains(id))
                    fail(second, fmt::format("a record holds object {}, which the simulator does not have", id));
            // A record whose creation went out waits for its object for 30 s
            // at the most.
            std::map<std::uint32_t, int> stillWaiting;
            for (const auto& a : liveAircraft) {
                const bool queued = std::find(idsToCreate.begin(), idsToCreate.end(), a.recordId) != idsToCreate.end() ||
                                    std::any_of(liveCreateQueue.begin(), liveCreateQueue.end(),
                                                [&](const tzo::CreateRequest& r) { return r.recordId == a.recordId; });
                if (a.objectId == 0 && a.state == tzo::AircraftState::CreateRequested && !queued) {
                    const int since = waitingSince.try_emplace(a.recordId, second).first->second;
                    stillWaiting.emplace(a.recordId, since);
                    if (second - since > kWaitSeconds)
                        fail(second, fmt::format("{} has waited {} s for its object", a.callsign, second - since));
                }
            }
            waitingSince = std::move(stillWaiting);
            // Removals leave one per 100 ms: an object behind others in the
            // queue has their time too.
            for (const std::uint32_t id : out) {
                const auto place = std::find(removalQueue.begin(), removalQueue.end(), id) - removalQueue.begin();
                leavingDue.try_emplace(id, second + kRemovalSeconds + static_cast<int>(place + 9) / 10);
            }
            for (auto it = leavingDue.begin(); it != leavingDue.end();) {
                if (!present.contains(it->first)) {
                    it = leavingDue.erase(it);
                    continue;
                }
                if (second > it->second)
                    fail(second, fmt::format("object {} still there {} s after it was due to go", it->first,
                                             second - it->second));
                ++it;
            }
        }
        if (mostObjects < 50)
            broken.push_back(fmt::format("seed {}: at most {} AI objects, the crowd never came", seed, mostObjects));
        return broken;
    }
};

} // namespace

TEST_P(ObjectLedger, everyObjectBelongsToOneRecordThroughLandingsTeleportsAndStops)
{
    for (const auto& what : runScenario(GetParam()))
        ADD_FAILURE() << what;
}

INSTANTIATE_TEST_SUITE_P(Seeds, ObjectLedger, ::testing::Values(1u, 2u));
