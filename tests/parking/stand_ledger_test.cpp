// Seeded random scenarios at a park airport of 300 stands, the program's own
// main loop ticking against the simulator and RealTraffic stand-ins over an
// hour and a half of program time across Sunday's midnight: live aircraft
// standing at stands from the start, arriving, taxiing in, stopping beside
// stands and going on, leaving; static parking with its renewals; a restart.
// After every tick the stand ledger must hold:
// - every stand is held by at most one aircraft, and it is occupied exactly
//   while a live aircraft holds it;
// - a live aircraft parked at its stand stands within the stand's radius, and
//   no live aircraft stands still on a stand it does not hold;
// - no two aircraft at stands that touch overlap by their half spans;
// - no static aircraft is placed onto a live aircraft on the ground;
// - a live aircraft gives its stand up only by being removed or after its
//   reports moved;
// - no record without an object, live or static, waits for it longer than
//   its creation's give-up allows;
// and the learned file, read back after the restart and at the end, gives
// each registration only its own options, at the stands and half-hours it
// held them. The same again with a simulator that removes live and static
// objects by itself (static ones in their first seconds of lights too) and
// stalls its creation answers (over the restart too), sending them
// shuffled, some never: then no record steers an object the simulator does
// not have, and nothing is removed twice. A failure names the seed, the
// tick and what broke.

#include "simconnect/sim_layer_fixture.hpp"

#include "airports/airports_list.hpp"
#include "airports/park_airport_hooks.hpp"
#include "airports/park_positions.hpp"
#include "app/main_loop.hpp"
#include "app/program_tick_work.hpp"
#include "foundation/random.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_maps.hpp"
#include "liveries/scanned_liveries.hpp"
#include "parking/park_airports_file.hpp"
#include "parking/save_airport_file.hpp"
#include "parking/static_parking_driver.hpp"
#include "parking/static_parking_services.hpp"
#include "realtraffic/reader_fixture.hpp"
#include "realtraffic/readers.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "refdata/dbase_file.hpp"
#include "refdata/dbase_lookups.hpp"
#include "refdata/reference_data_reset.hpp"
#include "rtstub/rtstub.hpp"
#include "simconnect/sim_creations.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/stand_holding.hpp"

#include <fmt/format.h>

#include <map>
#include <unordered_map>
#include <unordered_set>
#include <random>
#include <set>

using namespace simtest;
using tzo::AircraftState;
using tzo::LatLon;

namespace {

// Sunday 6 December 2026, 23:10 UTC.
constexpr double kStart = 1796598600.0;
constexpr int kSeconds = 70 * 60;
constexpr int kRestartAt = 45 * 60;
constexpr double kAirportLatitude = 40.0;
constexpr double kAirportLongitude = 10.0;
constexpr int kRows = 10;
constexpr int kPerRow = 30;
constexpr double kTaxiKnots = 15.0;
constexpr double kMetresPerNm = 1852.0;
constexpr std::size_t kFlights = 150; // the first of the 200 registrations fly

// North and east metres from the south-west corner of the apron, 600 m north
// of the airport's centre.
LatLon at(double north, double east)
{
    constexpr double kDegreesPerMetre = 1.0 / (kMetresPerNm * 60.0);
    const double latitude = kAirportLatitude + (600.0 + north) * kDegreesPerMetre;
    return {latitude, kAirportLongitude + east * kDegreesPerMetre / std::cos(kAirportLatitude * tzo::kRadiansPerDegree)};
}

double metres(const LatLon& a, const LatLon& b)
{
    return gf_greatCircleDistanceNm(a, b) * kMetresPerNm;
}

struct StandPlan {
    std::string name;
    double north = 0.0;
    double east = 0.0;
    double radius = 20.0;
    int row = 0;
};

// Rows of stands 80 m apart facing north, a taxiway 70 m south of each row;
// every sixth stand stands 45 m from the one before it (they touch once one
// of them learns a larger radius), every tenth takes a heavy.
std::vector<StandPlan> apron()
{
    std::vector<StandPlan> stands;
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kPerRow; ++c) {
            StandPlan s;
            s.name = fmt::format("R{}S{}", r, c);
            s.row = r;
            s.north = r * 160.0;
            s.east = c % 6 == 5 ? (c - 1) * 80.0 + 45.0 : c * 80.0;
            s.radius = c % 10 == 2 ? 33.0 : 20.0;
            stands.push_back(s);
        }
    return stands;
}

struct Registration {
    std::string reg;
    std::string airline;
    std::string type;
    std::string callsign;
};

// One report of a flight, at a program second.
struct Report {
    int second = 0;
    LatLon position;
    double knots = 0.0;
    double track = 0.0;
};

struct Flight {
    std::uint32_t hexid = 0;
    const Registration* who = nullptr;
    std::vector<Report> reports; // in time order
    mutable std::size_t sent = 0;
};

// What one flight does on the ground.
enum class Kind {
    standingFromStart, // reported at a stand from the start (and collected for the first plan)
    arriving,          // taxis to a stand, stands, leaves
    haltingBeside,     // halts half a minute 50 m from a stand, long enough to be drawn in, and goes on
    waitingBeside,     // a heavy waits half an hour 28 m from a stand too small for it
    arrivingTight,     // a heavy comes to rest within 12 m of a stand too small for it
};

class ScenarioBuilder {
public:
    ScenarioBuilder(std::uint32_t seed, const std::vector<StandPlan>& stands, const std::vector<Registration>& pool,
                    const std::vector<const Registration*>& learned)
        : m_random(seed), m_stands(stands), m_pool(pool), m_learned(learned), m_freeFrom(stands.size(), 0)
    {
    }

    std::vector<Flight> flights()
    {
        std::vector<Flight> out;
        for (std::size_t i = 0; i < kFlights; ++i) {
            const Registration& who = m_pool[i];
            const int draw = uniform(0, 9);
            const Kind kind = who.type == "B744" ? (draw < 4 ? Kind::arrivingTight : draw < 7 ? Kind::waitingBeside
                                                                                                : Kind::arriving)
                                                 : (draw < 3 ? Kind::standingFromStart : draw < 8 ? Kind::arriving
                                                                                                  : Kind::haltingBeside);
            Flight f;
            f.hexid = 0x440000 + static_cast<std::uint32_t>(i);
            f.who = &who;
            m_reportEvery = uniform(4, 8);
            if (build(kind, f)) {
                out.push_back(std::move(f));
            }
        }
        return out;
    }

private:
    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    // A stand free from `from` to `until` (kept for it, and the stand 45 m
    // from it too: in the real world a heavy there leaves no room beside it),
    // of the heavy or the normal size; with `tight` a normal stand 45 m from
    // a neighbour of learned use, with `used` one of learned use itself by a
    // registration that does not fly now. Its index, or -1.
    int freeStand(bool heavy, int from, int until, bool tight, bool used)
    {
        for (int tries = 0; tries < 100; ++tries) {
            const int i = uniform(0, static_cast<int>(m_stands.size()) - 1);
            const int column = i % kPerRow;
            const int partner = column % 6 == 4 ? i + 1 : column % 6 == 5 ? i - 1 : i;
            const bool fits = (m_stands[i].radius > 30.0) == heavy &&
                              (!tight || (column % 6 == 4 && m_learned[partner] != nullptr)) &&
                              (!used || (m_learned[i] != nullptr && m_learned[i] >= &m_pool[kFlights]));
            if (!fits || std::max(m_freeFrom[i], m_freeFrom[partner]) > std::max(from, 0))
                continue;
            m_freeFrom[i] = m_freeFrom[partner] = until;
            return i;
        }
        return -1;
    }

    LatLon standAt(int i, double southMetres = 0.0) const
    {
        return at(m_stands[i].north - southMetres, m_stands[i].east);
    }
    LatLon taxiway(int row, double east) const { return at(row * 160.0 - 70.0, east); }

    // A report every 20 s where it stands (closer ones the program thins out).
    void stand(Flight& f, int from, int until, LatLon where)
    {
        for (int s = from; s <= until; s += 20)
            f.reports.push_back({s, where, 0.0, f.reports.empty() ? 0.0 : f.reports.back().track});
    }
    // A report every few seconds along the way, the first one a step from
    // where it starts when it was standing there; answers the second after
    // the last.
    int taxi(Flight& f, int from, std::vector<LatLon> way, bool fromStanding = false)
    {
        int second = from;
        const double step = kTaxiKnots * kMetresPerNm / 3600.0 * m_reportEvery;
        double along = fromStanding ? step : 0.0; // metres from the start of the leg
        for (std::size_t leg = 0; leg + 1 < way.size(); ++leg) {
            const double length = metres(way[leg], way[leg + 1]);
            const double track = gf_initialBearing(way[leg], way[leg + 1]) * tzo::kDegreesPerRadian;
            for (; along < length; along += step, second += m_reportEvery) {
                const double t = along / length;
                const LatLon p{way[leg].latitude + t * (way[leg + 1].latitude - way[leg].latitude),
                               way[leg].longitude + t * (way[leg + 1].longitude - way[leg].longitude)};
                f.reports.push_back({second, p, kTaxiKnots, track < 0.0 ? track + 360.0 : track});
            }
            along -= length;
        }
        return second;
    }

    bool build(Kind kind, Flight& f)
    {
        const bool heavy = f.who->type == "B744";
        const int start = kind == Kind::standingFromStart ? uniform(17, 31) : uniform(60, kSeconds - 600);
        const int dwell = kind == Kind::haltingBeside   ? 20
                          : kind == Kind::waitingBeside ? uniform(25, 40) * 60
                                                        : uniform(15, 45) * 60;
        const bool beside = kind == Kind::haltingBeside || kind == Kind::waitingBeside;
        const int s = freeStand(heavy && kind != Kind::waitingBeside && kind != Kind::arrivingTight, start - 120,
                                start + dwell + 900, kind == Kind::arrivingTight, kind == Kind::waitingBeside);
        if (s < 0)
            return false;
        const int row = m_stands[s].row;
        const LatLon entry = taxiway(row, -400.0);
        const LatLon lead = taxiway(row, m_stands[s].east);
        const double off = kind == Kind::haltingBeside   ? 50.0
                           : kind == Kind::waitingBeside ? 28.0
                           : kind == Kind::arrivingTight ? uniform(0, 12)
                                                         : uniform(0, 40);
        const LatLon rest = standAt(s, off);
        const int stopped = kind == Kind::standingFromStart ? start : taxi(f, start, {entry, lead, rest});
        stand(f, stopped, stopped + dwell, rest);
        const LatLon away = beside ? taxiway(row, kPerRow * 80.0 + 400.0) : entry;
        int leaves = stopped + dwell + 20;
        if (kind == Kind::haltingBeside) {
            // Its next report comes while it moves into the stand, 30 s
            // behind its reports, and lies beyond the stand watch's 85 m.
            leaves = stopped + uniform(24, 27);
            m_reportEvery = 12;
        }
        taxi(f, leaves, {rest, lead, away}, true);
        return true;
    }

    std::mt19937 m_random;
    const std::vector<StandPlan>& m_stands;
    const std::vector<Registration>& m_pool;
    const std::vector<const Registration*>& m_learned;
    std::vector<int> m_freeFrom; // second from which each stand is free again
    int m_reportEvery = 4;       // seconds between reports of a moving aircraft
};

std::vector<Registration> registrations()
{
    std::vector<Registration> pool;
    const char* airlines[] = {"SWR", "DLH", "AFR", "KLM"};
    for (int i = 0; i < 200; ++i) {
        const std::string airline = airlines[i % 4];
        pool.push_back({fmt::format("HB-{:03}", i), airline, i % 10 == 3 || i % 10 == 7 ? "B744" : "A320",
                        fmt::format("{}{}", airline, 100 + i)});
    }
    return pool;
}

// Which registration the learned file names at each stand (null: none):
// two stands in three, each of a registration that also flies now.
std::vector<const Registration*> learnedUse(const std::vector<StandPlan>& stands, const std::vector<Registration>& pool,
                                            std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<const Registration*> use;
    for (const StandPlan& s : stands) {
        const Registration* who = nullptr;
        if (random() % 3 != 0)
            while (who == nullptr || (who->type == "B744") != (s.radius > 30.0))
                who = &pool[random() % pool.size()];
        use.push_back(who);
    }
    return use;
}

// The archived file: stands only. The learned file: the stands' learned use
// over the night, Monday's option first, so that Sunday's is the stand's last.
std::string airportFile(const std::vector<StandPlan>& stands, const std::vector<const Registration*>* use)
{
    std::string text = "<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"1\"/>"
                       "<info name=\"date\" value=\"d\"/></meta><parameters>"
                       "<parameter name=\"airport_name\" value=\"Fiumicino\"/>"
                       "<parameter name=\"altitude\" value=\"100\"/><parameter name=\"Qf_real\" value=\"10\"/>"
                       "</parameters><parkpositions>";
    for (std::size_t i = 0; i < stands.size(); ++i) {
        const StandPlan& s = stands[i];
        const LatLon p = at(s.north, s.east);
        if (use == nullptr) {
            text += fmt::format("<parkpos id=\"{}\" latitude=\"{:.6f}\" longitude=\"{:.6f}\" heading=\"0.0\" "
                                "radius=\"{:.1f}\" cargo=\"false\" ramp=\"false\"/>",
                                s.name, p.latitude, p.longitude, s.radius);
            continue;
        }
        text += fmt::format("<parkpos id=\"{}\">", s.name);
        if (const Registration* who = (*use)[i])
            for (const char* day : {"day=\"1\" hh=\"0,1,2,3,4,5,6,7,8,9,10,11\"", "day=\"7\" hh=\"40,41,42,43,44,45,46,47\""})
                text += fmt::format("<opt reg=\"{}\" airl=\"{}\" type=\"{}\" {} cs=\"{}\"/>", who->reg, who->airline,
                                    who->type, day, who->callsign);
        text += "</parkpos>";
    }
    return text + "</parkpositions>";
}

// The live traffic and static parking with everything else of the tick as
// the program has it, but the readers' watchdog and the automatic range.
struct LedgerTickWork : tzo::ProgramTickWork {
    void checkReadersAlive() override {}
    void updateTrafficRange() override {}
};

using HalfHours = std::map<std::uint32_t, tzo::HalfHourSet>; // by day

class StandLedger : public SimLayer, public ::testing::WithParamInterface<std::uint32_t> {
protected:
    void SetUp() override
    {
        m_appHooks = gf_appHooks();
        m_simHooks = gf_simLayerHooks();
        m_parkHooks = gf_parkAirportHooks();
        SimLayer::SetUp();
        gf_installParkingSave();
        m_seed = seedToRun();
        resetState();
        testsupport::clearReferenceData();
        testsupport::DbaseFile file = testsupport::DbaseFile::minimal();
        file.airlines("ICAO_airlines", {"SWR", "AFR"})
            .wingspan("A320", "35.8")
            .wingspan("B744", "64.6");
        file.write(dir() / "input" / "dbase.xml");
        ASSERT_TRUE(gf_readDbase());
        tzo::gf_resetLiveryCatalogue();
        for (const char* airline : {"SWR", "DLH", "AFR", "KLM"})
            for (const char* type : {"A320", "B744"})
                tzo::scannedLiveries.push_back(
                    tzo::LiveryData{airline, type, fmt::format("{} {}", airline, type), "", 1, false});
        tzo::gf_processScannedLiveries();

        m_stands = apron();
        m_pool = registrations();
        gf_setAirportsListForTests({{"LIRF", "FCO", kAirportLatitude, kAirportLongitude, 100}});
        put("airports/my_park_airports.txt", "LIRF\n");
        m_learnedUse = learnedUse(m_stands, m_pool, m_seed);
        put("airports/archive/stock/LIRF.xml", airportFile(m_stands, nullptr));
        put("airports/learned/stock/LIRF.xml", airportFile(m_stands, &m_learnedUse));
        CUSTOM_PARKING_PERCENTAGE.setValue(70);
        COLLISION_LIVE_PARKED_GND.setValue(true);
        LOG.setValue(true);
        AUTO_RANGE.setValue(false);
        gf_rangeFromSetting();
        gf_setClockForTests(static_cast<std::time_t>(kStart));
        ASSERT_TRUE(gf_readMyParkAirports(false));
        threadRandomEngine().seed(m_seed);

        startQuietStub();
        ASSERT_NO_FATAL_FAILURE(connect());
        gf_resetTrafficInput();
        m_reader = std::make_unique<testsupport::RunningReader>(trafficReader, true);
        ASSERT_TRUE(m_reader->started);
        m_rt = std::make_unique<rtstub::RtStub>(m_reader->port(), 0);
    }
    void TearDown() override
    {
        m_reader.reset();
        SimLayer::TearDown();
        gf_installAppHooks(m_appHooks);
        gf_installSimLayerHooks(m_simHooks);
        lf_leaveParkAirport();
        gf_installParkAirportHooks(m_parkHooks);
        resetState();
        gf_resetAirportsListForTests();
        gf_setClockForTests(0);
        CUSTOM_PARKING_PERCENTAGE.setValue(CUSTOM_PARKING_PERCENTAGE.defaultValue());
        parking_percentage.setValue(parking_percentage.defaultValue());
        AUTO_RANGE.setValue(AUTO_RANGE.defaultValue());
        COLLISION_LIVE_PARKED_GND.setValue(COLLISION_LIVE_PARKED_GND.defaultValue());
        LEARN_SOFT.setValue(LEARN_SOFT.defaultValue());
        gf_rangeFromSetting();
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries.clear();
        testsupport::clearReferenceData();
    }
    std::uint32_t seedToRun() const
    {
        // Any other seed, to search for a fault or to follow one up.
        const char* text = std::getenv("NORVANE_LEDGER_SEED");
        return text != nullptr && *text != '\0' ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10))
                                                 : GetParam();
    }
    static void resetState()
    {
        gf_resetTraffic();
        gf_resetStaticParking();
        parkAirportActive.store(false);
        parkAirports.clear();
        reservedStand.clear();
        staticParkingBusy.store(false);
        trafficReader.stopCollecting();
        secondsCounter.store(0);
        renewalPending.store(false);
        flightRunning.store(false);
        liveTickCounter.store(0);
    }

    void put(const std::string& relative, const std::string& text)
    {
        const std::filesystem::path path = dir() / relative;
        std::filesystem::create_directories(path.parent_path());
        testsupport::writeFile(path, text);
    }

    // The simulator connection with the user's aircraft parked south of the
    // apron, its on-ground state asked for every second.
    void connect()
    {
        const std::size_t connection = m_stub->connectionCount();
        gf_startSimClient();
        ASSERT_TRUE(testsupport::waitFor([&] {
            for (const auto& p : m_stub->packetsNamed("SetNotificationGroupPriority"))
                if (p.connection == connection)
                    return true;
            return false;
        })) << "the client never registered";
        requestUserOnGroundEachSecond();
        const LatLon user = at(-900.0, 1000.0);
        m_stub->setUserVar("Plane Latitude", user.latitude);
        m_stub->setUserVar("Plane Longitude", user.longitude);
        m_stub->setUserVar("Plane Alt Above Ground", 0.0);
        m_stub->setUserVar("SIM ON GROUND", 1.0);
        settle();
    }

    // What a restart does to the traffic: the park airport closed (its learned
    // file saved), every table reset, the simulator connected anew.
    void restart()
    {
        gf_closeParkAirport();
        resetState();
        gf_stopSimClient();
        gf_resetSimConnection();
        ASSERT_NO_FATAL_FAILURE(connect());
        startLoop();
        m_lastCredit.clear();
        m_heldBefore.clear();
        m_heldSince.clear();
        m_radiiOfPairs = -1.0;
        m_staticBefore.clear();
        m_waitingSince.clear();
    }

    // What the main loop's thread does before its first tick.
    void startLoop()
    {
        m_loop = std::make_unique<tzo::MainLoop>(m_work, m_clock);
        nowDayHour.store(gf_currentDayHour().toU64());
        m_work.setFlightRunning(true);
    }

    // One program second: its reports sent and taken by the reader, the
    // simulator's second, then 100 ticks; the simulator stand-in is in step
    // after the tick that asks it for the aircraft around the user.
    void second(int s, const std::vector<Flight>& flights)
    {
        gf_setClockForTests(static_cast<std::time_t>(kStart + s));
        if (m_simulatorRemoves)
            simulatorRemoves(s);
        double last = 0.0;
        for (const Flight& f : flights)
            for (auto r = f.reports.begin() + static_cast<std::ptrdiff_t>(f.sent);
                 r != f.reports.end() && r->second == s; ++r, ++f.sent) {
                m_rt->sendTrafficLine(line(f, *r));
                last = kStart + s;
                noteMove(f, *r);
            }
        ASSERT_TRUE(last == 0.0 || soon([&] { return trafficReader.timestamp() >= last; })) << s;
        m_stub->answerSeconds();
        ASSERT_TRUE(soon([] { return secondTick.load(); }));
        for (int t = 0; t < 100; ++t) {
            const bool asks = liveTickCounter.load() % 100 == 0;
            m_loop->round();
            if (asks) {
                ASSERT_NO_FATAL_FAILURE(inStep());
            }
            const std::string broken = ledgerBroken();
            ASSERT_TRUE(broken.empty()) << "seed " << m_seed << ", second " << s << ", tick " << liveTickCounter.load()
                                        << ": " << broken;
        }
        const std::string broken = waitingBroken(s);
        ASSERT_TRUE(broken.empty()) << "seed " << m_seed << ", second " << s << ": " << broken;
    }

    // A record without an object, live or static, whose creation went out
    // waits for it no longer than its creation's give-up allows (a static
    // one its 2 s of lights more: it takes its object after them), removed
    // before it came or not; else it keeps its stand for good.
    std::string waitingBroken(int s)
    {
        constexpr int kMostSeconds = static_cast<int>(tzo::kCreationAnswerTime.count()) + 2 + 2;
        std::unordered_set<std::uint32_t> queued(idsToCreate.begin(), idsToCreate.end());
        for (const auto* table : {&liveCreateQueue, &staticCreateQueue})
            for (const tzo::CreateRequest& r : *table)
                queued.insert(r.recordId);
        std::unordered_map<std::uint32_t, int> stillWaiting;
        std::string broken;
        const auto waits = [&](const tzo::AircraftRecord& a) {
            if (a.objectId != 0 || queued.contains(a.recordId) ||
                (a.state != AircraftState::CreateRequested && a.state != AircraftState::BeingRemoved))
                return;
            const auto before = m_waitingSince.find(a.recordId);
            const int since = before == m_waitingSince.end() ? s : before->second;
            stillWaiting.emplace(a.recordId, since);
            if (s - since > kMostSeconds && broken.empty())
                broken = fmt::format("{} at {} has waited {} s for its object", a.callsign,
                                     gf_standNameOfId(a.standId), s - since);
        };
        for (const tzo::LiveAircraft& a : liveAircraft)
            waits(a);
        for (const tzo::AircraftRecord& a : staticAircraft)
            waits(a);
        m_waitingSince.swap(stillWaiting);
        return broken;
    }

    // The shared waitFor polls every 2 ms: three waits in each of 5,400
    // program seconds would be most of the run.
    static bool soon(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        return true;
    }
    // A frame, and every answer the stand-in owes handled (settle() with the
    // finer wait).
    void inStep()
    {
        m_stub->stepFrames(1);
        flightRunning.store(false);
        m_stub->sendSystemEvent("Sim", 1);
        ASSERT_TRUE(soon([] { return flightRunning.load(); }));
        std::uint32_t last = 0;
        if (SimConnect_GetLastSentPacketID(simConnectHandle.load(), &last) != SIMCONNECT_S_OK)
            return;
        const std::size_t connection = m_stub->connectionCount() - 1;
        ASSERT_TRUE(soon([&] { return m_stub->handledSendId(connection) - last < 0x80000000u; }));
    }

    static rtstub::TrafficLine line(const Flight& f, const Report& r)
    {
        return rtstub::TrafficLine::onGround()
            .set(rtstub::kHexid, std::to_string(f.hexid))
            .set(rtstub::kLatitude, fmt::format("{:.7f}", r.position.latitude))
            .set(rtstub::kLongitude, fmt::format("{:.7f}", r.position.longitude))
            .set(rtstub::kAltitude, "0")
            .set(rtstub::kTrack, r.track)
            .set(rtstub::kTrueHeading, r.track)
            .set(rtstub::kMagneticHeading, r.track)
            .set(rtstub::kGroundSpeed, r.knots)
            .set(rtstub::kCallsign, f.who->callsign)
            .set(rtstub::kIataCallsign, "")
            .set(rtstub::kType, f.who->type)
            .set(rtstub::kRegistration, f.who->reg)
            .set(rtstub::kFrom, "")
            .set(rtstub::kTo, "")
            .set(rtstub::kTimestamp, kStart + r.second);
    }

    // A report more than 3 m from the one before is a move of the aircraft,
    // from the second it was sent in on (the program takes a queued report
    // within the second's ticks).
    void noteMove(const Flight& f, const Report& r)
    {
        auto [it, first] = m_lastReported.try_emplace(f.hexid, r.position);
        if (!first && metres(it->second, r.position) > 3.0)
            m_lastMoveTick[f.hexid] = liveTickCounter.load() + 100;
        it->second = r.position;
    }

    // Standing still at its sample, the next one (if any) at the same place.
    static bool still(const tzo::LiveAircraft& a)
    {
        if (a.state != AircraftState::InSimulator || !a.onGround || a.samples.empty())
            return false;
        const tzo::TrackSample& f = a.samples.front();
        return a.latitude == f.latitude && a.longitude == f.longitude &&
               (a.samples.size() == 1 || (a.samples[1].latitude == f.latitude && a.samples[1].longitude == f.longitude));
    }

    // The first broken rule of the ledger, or the empty text.
    std::string ledgerBroken()
    {
        const std::size_t n = parkPositions.size() + 1;
        m_holder.assign(n, nullptr);
        m_liveHolds.assign(n, 0);
        m_standingSpan.assign(n, 0.0);
        m_held.clear();
        // False (and the text) when another aircraft holds the stand already.
        std::string twice;
        const auto hold = [&](std::uint32_t standId, const tzo::AircraftRecord& a) {
            if (m_holder[standId] == nullptr) {
                m_holder[standId] = &a;
                return true;
            }
            twice = fmt::format("{} held by {} and {}", gf_standNameOfId(standId), m_holder[standId]->callsign,
                                a.callsign);
            return false;
        };
        for (const tzo::LiveAircraft& a : liveAircraft) {
            if (gf_holdsStand(a)) {
                if (!hold(a.standId, a))
                    return twice;
                m_liveHolds[a.standId] = 1;
                m_held.emplace_back(a.recordId, a.standId);
                const tzo::ParkPos& s = *gf_standById(a.standId);
                if (a.movementPhase == tzo::kPhaseParked && a.state == AircraftState::InSimulator)
                    m_standingSpan[a.standId] = a.radius;
                if (still(a) && gf_greatCircleDistanceNm({a.latitude, a.longitude}, {s.latitude, s.longitude}) > s.radius)
                    return fmt::format("{} stands outside its stand {}", a.callsign, s.name);
            } else if (still(a)) {
                for (const tzo::ParkPos& s : parkPositions)
                    if (near(s.latitude, a.latitude) &&
                        gf_greatCircleDistanceNm({a.latitude, a.longitude}, {s.latitude, s.longitude}) < s.radius)
                        return fmt::format("{} stands on {} without holding it", a.callsign, s.name);
                if (COLLISION_LIVE_PARKED_GND.value())
                    if (std::string broken = standsInStatic(a); !broken.empty())
                        return broken;
            }
        }
        m_staticNow.clear();
        for (const tzo::AircraftRecord& a : staticAircraft) {
            m_staticNow.insert(a.recordId);
            if (!m_staticBefore.contains(a.recordId))
                if (std::string broken = placedOntoLive(a); !broken.empty())
                    return broken;
            if (a.standId == 0 || a.makesPlace ||
                (a.state != AircraftState::InSimulator && a.state != AircraftState::CreateRequested))
                continue;
            if (!hold(a.standId, a))
                return twice;
            if (a.state == AircraftState::InSimulator)
                m_standingSpan[a.standId] = a.radius;
        }
        for (const tzo::ParkPos& s : parkPositions)
            if (s.occupied != (m_liveHolds[s.id] != 0))
                return fmt::format("{} {} while {}", s.name, s.occupied ? "occupied" : "free",
                                   m_liveHolds[s.id] ? "a live aircraft holds it" : "no live aircraft holds it");
        if (std::string broken = touchingOverlap(); !broken.empty())
            return broken;
        // In the table's order, which changes only when aircraft come or go.
        const DayHour now = gf_nowDayHour();
        if (m_held != m_heldBefore || !(now == m_creditedAt)) {
            if (std::string broken = changedHolders(); !broken.empty())
                return broken;
            for (const tzo::LiveAircraft& a : liveAircraft)
                if (gf_holdsStand(a))
                    credit(a, now);
            m_creditedAt = now;
        }
        m_heldBefore.swap(m_held);
        m_staticBefore.swap(m_staticNow);
        return objectsBroken();
    }

    // With the simulator removing objects by itself: no record, live or
    // static, steers an object the simulator does not have (but for the
    // second in which its removal notice comes).
    std::string objectsBroken()
    {
        if (!m_simulatorRemoves)
            return {};
        const std::uint32_t tick = liveTickCounter.load();
        const auto check = [&](const tzo::AircraftRecord& a) -> std::string {
            if (a.objectId == 0 || a.state == AircraftState::BeingRemoved || a.state == AircraftState::LiveryChange)
                return {};
            if (!m_present.contains(a.objectId)) {
                m_present.clear();
                for (const auto& o : m_stub->objectPositions())
                    m_present.insert(o.id);
            }
            const auto gone = m_goneAt.find(a.objectId);
            if (m_present.contains(a.objectId) || (gone != m_goneAt.end() && tick - gone->second <= 100))
                return {};
            return fmt::format("{} holds object {}, which the simulator does not have", a.callsign, a.objectId);
        };
        for (const tzo::LiveAircraft& a : liveAircraft)
            if (std::string broken = check(a); !broken.empty())
                return broken;
        for (const tzo::AircraftRecord& a : staticAircraft)
            if (std::string broken = check(a); !broken.empty())
                return broken;
        return {};
    }

    // The simulator's own doings at the start of a second: it removes a
    // static object every 3 s and a live one every 7 s by itself, and holds
    // its creation answers for 10 s of every 30 (over the restart too),
    // then sends them shuffled, some never, some for objects it removes at
    // once, after removing one of the held objects by itself.
    void simulatorRemoves(int s)
    {
        const auto removeOne = [&](const auto& table) {
            std::vector<std::pair<std::uint32_t, std::uint32_t>> ids; // object, record
            for (const auto& a : table)
                if (a.objectId != 0 && a.state == AircraftState::InSimulator)
                    ids.emplace_back(a.objectId, a.recordId);
            if (ids.empty())
                return;
            const auto [id, record] = ids[std::uniform_int_distribution<std::size_t>(0, ids.size() - 1)(m_chaos)];
            if (m_stub->removeObjectByItself(id)) {
                m_goneAt[id] = liveTickCounter.load();
                m_simulatorTook.insert(record);
            }
        };
        if (s % 3 == 1)
            removeOne(staticAircraft);
        if (s % 7 == 2)
            removeOne(liveAircraft);
        // A static object in its two seconds of lights, before its record
        // takes it.
        if (s % 3 == 2) {
            std::vector<std::uint32_t> lit;
            for (const tzo::SimNotification& e : pendingLights)
                if (e.kind == tzo::NOTIFY_STATIC_CREATED)
                    lit.push_back(e.objectId);
            if (!lit.empty()) {
                const std::uint32_t id = lit[m_chaos() % lit.size()];
                if (m_stub->removeObjectByItself(id))
                    m_goneAt[id] = liveTickCounter.load();
            }
        }
        const int phase = (s - kRestartAt + 5 + 30 * 1000) % 30;
        if (phase == 0)
            m_stub->holdCreationAnswers(true);
        if (phase == 10) {
            // The objects it removes now may answer creations the program
            // has not matched yet: their records are known by the tail
            // number, which is the callsign.
            const auto before = m_stub->objectPositions();
            const auto held = m_stub->heldCreationObjects();
            if (!held.empty())
                m_stub->removeObjectByItself(held[m_chaos() % held.size()]);
            m_stub->holdCreationAnswers(false);
            const auto unanswered =
                m_stub->releaseCreationAnswers(m_seed * 10000u + static_cast<unsigned>(s), 0.05, 0.1);
            // An answer never sent gives the creation up as well: the record
            // comes anew.
            std::unordered_set<std::uint32_t> neverAnswered(unanswered.begin(), unanswered.end());
            std::unordered_set<std::uint32_t> kept;
            for (const auto& o : m_stub->objectPositions())
                kept.insert(o.id);
            for (const auto& o : before) {
                const bool gone = !kept.contains(o.id);
                if (gone)
                    m_goneAt[o.id] = liveTickCounter.load();
                if (gone || neverAnswered.contains(o.id))
                    for (const tzo::LiveAircraft& a : liveAircraft)
                        if (a.callsign == o.atcId)
                            m_simulatorTook.insert(a.recordId);
            }
        }
        // Nothing is removed twice.
        const auto misdirected = m_stub->misdirectedPackets();
        for (std::size_t i = m_misdirectedSeen; i < misdirected.size(); ++i)
            if (misdirected[i].name == "AIRemoveObject")
                ADD_FAILURE() << "seed " << m_seed << ", second " << s << ": object " << misdirected[i].u32("objectId")
                              << " removed, which the simulator no longer has";
        m_misdirectedSeen = misdirected.size();
    }

    // A static aircraft placed this tick may not appear in a live aircraft on
    // the ground, whatever its phase and whether or not the per-second test
    // would remove it again.
    static std::string placedOntoLive(const tzo::AircraftRecord& s)
    {
        for (const tzo::LiveAircraft& live : liveAircraft)
            if (live.state == AircraftState::InSimulator && live.onGround && near(s.stand.latitude, live.latitude) &&
                gf_greatCircleDistanceNm({live.latitude, live.longitude}, {s.stand.latitude, s.stand.longitude}) <
                    live.radius + gf_wingspanOf(s.model))
                return fmt::format("{} placed at {} onto the live {}", s.callsign, gf_standNameOfId(s.standId),
                                   live.callsign);
        return {};
    }

    // A stand given up other than by removal: only after the reports moved.
    std::string changedHolders()
    {
        const std::uint32_t tick = liveTickCounter.load();
        auto held = m_held;
        auto before = m_heldBefore;
        std::sort(held.begin(), held.end());
        std::sort(before.begin(), before.end());
        for (const auto& [id, standId] : before) {
            const auto now = std::lower_bound(held.begin(), held.end(), std::pair{id, 0u});
            if (now != held.end() && now->first == id && now->second == standId)
                continue;
            const tzo::LiveAircraft* a = gf_findLiveAircraft(id);
            if (a == nullptr || a->state == AircraftState::BeingRemoved || a->erase)
                continue;
            // The simulator took its object: the aircraft comes anew, standless.
            if (m_simulatorTook.erase(id) != 0)
                continue;
            const auto moved = m_lastMoveTick.find(id);
            if (moved == m_lastMoveTick.end() || static_cast<std::int32_t>(moved->second - m_heldSince[id]) < 0)
                return fmt::format("{} left {} though its reports stood still", a->callsign,
                                   gf_standNameOfId(standId));
        }
        for (const auto& [id, standId] : held) {
            const auto was = std::lower_bound(before.begin(), before.end(), std::pair{id, 0u});
            if (was == before.end() || was->first != id || was->second != standId)
                m_heldSince[id] = tick;
        }
        return {};
    }

    // Within 110 m north or south: worth the distance.
    static bool near(double latitude, double other) { return std::fabs(latitude - other) < 0.001; }

    // A live aircraft standing still off the stands in a static aircraft, while
    // the per-second test is on: it removes the static one, so it may last up
    // to a second (a static aircraft may come into the simulator beside a live
    // one that arrived after it was placed).
    std::string standsInStatic(const tzo::LiveAircraft& live)
    {
        for (const tzo::AircraftRecord& s : staticAircraft) {
            if (s.state != AircraftState::InSimulator || !near(s.stand.latitude, live.latitude) ||
                gf_greatCircleDistanceNm({live.latitude, live.longitude}, {s.stand.latitude, s.stand.longitude}) >=
                    live.radius + s.radius)
                continue;
            const std::uint64_t pair = static_cast<std::uint64_t>(live.recordId) << 32 | s.recordId;
            const auto [it, first] = m_overlapSince.try_emplace(pair, liveTickCounter.load());
            if (!first && liveTickCounter.load() - it->second > 150)
                return fmt::format("{} stands in the static aircraft {} at {}", live.callsign, s.callsign,
                                   gf_standNameOfId(s.standId));
        }
        return {};
    }

    // Aircraft standing at two stands that touch (by their radii now) may
    // not overlap by their half spans.
    std::string touchingOverlap()
    {
        double radii = 0.0;
        for (const tzo::ParkPos& s : parkPositions)
            radii += s.radius;
        if (radii != m_radiiOfPairs) {
            m_radiiOfPairs = radii;
            m_touching.clear();
            for (const tzo::ParkPos& a : parkPositions)
                for (const tzo::ParkPos& b : parkPositions)
                    if (a.id < b.id && near(a.latitude, b.latitude) && gf_standsTouch(a, b))
                        m_touching.push_back(
                            {&a, &b, gf_greatCircleDistanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude})});
        }
        for (const Touching& t : m_touching) {
            const double x = m_standingSpan[t.a->id];
            const double y = m_standingSpan[t.b->id];
            if (x > 0.0 && y > 0.0 && x + y > t.distance)
                return fmt::format("the aircraft at {} and {} overlap", t.a->name, t.b->name);
        }
        return {};
    }

    // Notes that the aircraft's registration held its stand in this half-hour.
    void credit(const tzo::LiveAircraft& a, DayHour now)
    {
        auto [it, first] = m_lastCredit.try_emplace(a.recordId, std::pair{a.standId, now});
        if (!first && it->second == std::pair{a.standId, now})
            return;
        it->second = {a.standId, now};
        m_heldHalfHours[gf_standNameOfId(a.standId) + "/" + a.registration][now.day] |= tzo::gf_halfHourBit(now.hh);
    }

    // The learned options as read back: each registration's own airline,
    // type and callsign, and half-hours only where the file had them at the
    // start or where the registration held the stand.
    std::string learnedBroken() const
    {
        std::map<std::string, const Registration*> byReg;
        for (const Registration& r : m_pool)
            byReg[r.reg] = &r;
        for (const tzo::ParkPos& s : parkPositions)
            for (const tzo::ParkPosOption& o : s.options) {
                const auto who = byReg.find(o.registration);
                if (who == byReg.end())
                    return fmt::format("{}: an option of unknown registration {}", s.name, o.registration);
                const Registration& r = *who->second;
                for (const std::string* cs : {&o.callsign, &o.secondCallsign})
                    if (!cs->empty() && *cs != r.callsign)
                        return fmt::format("{}: {}'s option names {}", s.name, r.reg, *cs);
                if (o.airline != r.airline || o.type != r.type)
                    return fmt::format("{}: {}'s option is of {} {}", s.name, r.reg, o.airline, o.type);
                if (o.soft)
                    continue;
                tzo::HalfHourSet allowed = 0;
                const std::string key = s.name + "/" + r.reg;
                if (const auto start = m_fileAtStart.find(key); start != m_fileAtStart.end())
                    if (const auto day = start->second.find(o.day); day != start->second.end())
                        allowed |= day->second;
                if (const auto h = m_heldHalfHours.find(key); h != m_heldHalfHours.end())
                    if (const auto day = h->second.find(o.day); day != h->second.end())
                        allowed |= day->second;
                if ((o.halfHours & ~allowed) != 0)
                    return fmt::format("{}: {}'s option of day {} holds half-hours {} it never stood there",
                                       s.name, r.reg, o.day, lf_bitset2hours(o.halfHours & ~allowed));
            }
        return {};
    }

    // Options as the park airport's load gives them.
    static std::map<std::string, HalfHours> realOptions()
    {
        std::map<std::string, HalfHours> options;
        for (const tzo::ParkPos& s : parkPositions)
            for (const tzo::ParkPosOption& o : s.options)
                if (!o.soft)
                    options[s.name + "/" + o.registration][o.day] |= o.halfHours;
        return options;
    }

    // The seconds of the scenario, the restart on the way; the learned file is
    // read back after the restart and at the end.
    void run()
    {
        const std::vector<Flight> flights = ScenarioBuilder(m_seed, m_stands, m_pool, m_learnedUse).flights();
        startLoop();
        for (int s = 0; s < kSeconds; ++s) {
            if (s == kRestartAt) {
                ASSERT_NO_FATAL_FAILURE(restart());
                // The user switches the live/static test off: a heavy then
                // keeps static aircraft beside its stand only by the stand's
                // neighbours.
                COLLISION_LIVE_PARKED_GND.setValue(false);
            }
            ASSERT_NO_FATAL_FAILURE(second(s, flights));
            if (s == 40)
                m_fileAtStart = realOptions();
            if (s == kRestartAt + 40) {
                ASSERT_FALSE(parkPositions.empty());
                const std::string broken = learnedBroken();
                ASSERT_TRUE(broken.empty()) << "seed " << m_seed << ", after the restart: " << broken;
            }
        }
        gf_closeParkAirport();
        lf_leaveParkAirport();
        ASSERT_TRUE(lf_setParkAirport("LIRF"));
        ASSERT_EQ(lf_loadParkAirport(), "");
        const std::string broken = learnedBroken();
        EXPECT_TRUE(broken.empty()) << "seed " << m_seed << ", at the end: " << broken;
    }
    std::uint32_t m_seed = 0;
    bool m_simulatorRemoves = false;
    std::mt19937 m_chaos;
    std::unordered_set<std::uint32_t> m_present;
    std::unordered_map<std::uint32_t, std::uint32_t> m_goneAt; // object, tick
    std::size_t m_misdirectedSeen = 0;
    std::unordered_set<std::uint32_t> m_simulatorTook; // live record ids
    std::unordered_map<std::uint32_t, int> m_waitingSince; // record id, second first seen waiting for its object
    AppHooks m_appHooks;
    SimLayerHooks m_simHooks;
    tzo::ParkAirportHooks m_parkHooks;
    std::unique_ptr<testsupport::RunningReader> m_reader;
    std::unique_ptr<rtstub::RtStub> m_rt;
    LedgerTickWork m_work;
    tzo::SteadyTickClock m_clock;
    std::unique_ptr<tzo::MainLoop> m_loop;
    std::vector<StandPlan> m_stands;
    std::vector<Registration> m_pool;
    std::vector<const Registration*> m_learnedUse;

    std::map<std::uint32_t, LatLon> m_lastReported;
    std::map<std::uint32_t, std::uint32_t> m_lastMoveTick; // by record id
    // The ledger of this tick and the one before, by stand id and record id.
    std::vector<const tzo::AircraftRecord*> m_holder;
    std::vector<char> m_liveHolds;
    std::vector<double> m_standingSpan;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_held; // record id, stand id; in order
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_heldBefore;
    DayHour m_creditedAt;
    std::unordered_map<std::uint32_t, std::uint32_t> m_heldSince; // record id, tick
    double m_radiiOfPairs = -1.0;
    struct Touching {
        const tzo::ParkPos* a;
        const tzo::ParkPos* b;
        double distance; // nautical miles
    };
    std::vector<Touching> m_touching;
    std::unordered_map<std::uint64_t, std::uint32_t> m_overlapSince; // live and static record ids, tick
    std::unordered_set<std::uint32_t> m_staticBefore; // static record ids of the tick before
    std::unordered_set<std::uint32_t> m_staticNow;
    // Which registration held which stand in which half-hours ("stand/registration").
    std::unordered_map<std::uint32_t, std::pair<std::uint32_t, DayHour>> m_lastCredit;
    std::map<std::string, HalfHours> m_heldHalfHours;
    std::map<std::string, HalfHours> m_fileAtStart;
};

} // namespace

TEST_P(StandLedger, holdsOverAnHourAndAHalfOfTrafficAcrossSundayMidnightAndARestart)
{
    run();
}

// Seed 6 is the one that found a static aircraft created beside a heavy that
// came to a neighbouring stand while its creation was on the way.
INSTANTIATE_TEST_SUITE_P(Seeds, StandLedger, ::testing::Values(0u, 6u));

// The same with a simulator that removes live and static objects by itself
// and stalls its creation answers, sending them shuffled, some never.
class SelfRemovingStandLedger : public StandLedger {};

TEST_P(SelfRemovingStandLedger, holdsWhileTheSimulatorRemovesObjectsByItselfAndStallsItsAnswers)
{
    m_simulatorRemoves = true;
    m_chaos.seed(m_seed);
    run();
}

INSTANTIATE_TEST_SUITE_P(Seeds, SelfRemovingStandLedger, ::testing::Values(1u, 6u));
