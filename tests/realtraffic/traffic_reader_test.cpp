// The traffic reader over real loopback UDP, fed by the RealTraffic stand-in.

#include "reader_fixture.hpp"

#include "foundation/run_state.hpp"
#include "realtraffic/link_state.hpp"
#include "rtstub/replay.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <numbers>
#include <set>
#include <string>
#include <vector>

using namespace tzo;
using rtstub::TrafficLine;
using testsupport::RunningReader;
using testsupport::waitFor;

namespace {

// A reader on its own queue, bound to a free port, with the user and the park
// airport at Zürich.
struct TrafficReaderTest : testsupport::LoggedTest {
    TrafficQueue queue;
    TrafficReader reader{queue};
    std::unique_ptr<RunningReader> running;
    std::unique_ptr<rtstub::RtStub> stub;
    std::uint32_t nextSentinel = 7000000;

    TrafficReaderTest()
    {
        rtOnThisPc = true;
        rangeNm = 40.0;
        queue.setIntakeOpen(true);
        reader.setUserPosition(rtstub::kZurichLatitude, rtstub::kZurichLongitude);
        reader.setParkAirport(rtstub::kZurichLatitude, rtstub::kZurichLongitude);
        reader.setParkAirportElevation(rtstub::kZurichElevationFt);
    }

    void start()
    {
        running = std::make_unique<RunningReader>(reader, true);
        ASSERT_TRUE(running->started);
        stub = std::make_unique<rtstub::RtStub>(running->port(), 1);
    }

    std::vector<TrafficRecord> drain()
    {
        std::vector<TrafficRecord> records;
        TrafficRecord record;
        while (queue.pop(record))
            records.push_back(record);
        return records;
    }

    // Sends the datagrams, then a valid line with a fresh hexid; datagrams on
    // loopback keep their order, so once the marker is queued every earlier
    // datagram has been handled. Answers the records before the marker.
    std::vector<TrafficRecord> exchange(const std::vector<std::string>& datagrams)
    {
        for (const auto& datagram : datagrams)
            stub->sendTraffic(datagram);
        const std::uint32_t sentinel = ++nextSentinel;
        stub->sendTrafficLine(TrafficLine::airborne().set(rtstub::kHexid, std::to_string(sentinel)));
        std::vector<TrafficRecord> records;
        const bool seen = waitFor([&] {
            TrafficRecord record;
            while (queue.pop(record)) {
                if (record.hexid == sentinel)
                    return true;
                records.push_back(record);
            }
            return false;
        });
        EXPECT_TRUE(seen) << "the marker line never arrived";
        return records;
    }

    bool kept(const TrafficLine& line) { return exchange({line.text()}).size() == 1; }
};

} // namespace

TEST_F(TrafficReaderTest, airborneLineFillsEveryFieldOfTheRecord)
{
    start();
    liveTickCounter = 500;
    const auto records = exchange({TrafficLine::airborne()
                                       .set(rtstub::kTimestamp, "1733720000123")
                                       .set(rtstub::kHexid, "4508432")
                                       .text()});
    ASSERT_EQ(records.size(), 1u);
    const TrafficRecord& r = records[0];
    EXPECT_EQ(r.hexid, 4508432u);
    EXPECT_DOUBLE_EQ(r.latitude, 47.575);
    EXPECT_DOUBLE_EQ(r.longitude, 8.746);
    EXPECT_EQ(r.altitude, 6000);
    EXPECT_TRUE(r.airborne);
    EXPECT_EQ(r.verticalSpeed, -704);
    EXPECT_EQ(r.groundSpeed, 210);
    EXPECT_EQ(r.track, 228.5);
    EXPECT_EQ(r.trueAirspeed, 226);
    EXPECT_TRUE(r.trueHeadingPresent);
    EXPECT_TRUE(r.headingFromAdsb);
    EXPECT_DOUBLE_EQ(r.trueHeading, 227.1 * std::numbers::pi / 180);
    EXPECT_TRUE(r.bankPresent);
    EXPECT_DOUBLE_EQ(r.bank, 2.5 * std::numbers::pi / 180);
    EXPECT_EQ(r.callsign, "SWR17K");
    EXPECT_EQ(r.model, "A320");
    EXPECT_EQ(r.registration, "HB-JLT");
    EXPECT_EQ(r.departure, "LHR");
    EXPECT_EQ(r.destination, "ZRH");
    EXPECT_EQ(r.airline, "");
    EXPECT_EQ(r.firstCallsign, "");
    EXPECT_EQ(r.secondCallsign, "");
    EXPECT_EQ(r.couplesSearched, 0u);
    EXPECT_DOUBLE_EQ(r.timestamp, 1733720000.123);
    EXPECT_EQ(r.checksum, 31337u);
    EXPECT_EQ(r.expiryTick, 3500u);
    EXPECT_FALSE(r.stationary);
}

TEST_F(TrafficReaderTest, eachFilterDropsItsLines)
{
    // The line's own filters are tested without sockets; here the reader's
    // part: the verdict applied, its range and park airport, and vehicles.
    start();
    struct Case {
        const char* what;
        TrafficLine line;
        bool keep;
    };
    const Case cases[] = {
        {"valid", TrafficLine::airborne(), true},
        {"category B1", TrafficLine::airborne().set(rtstub::kCategory, "B1"), false},
        {"out of range", TrafficLine::airborne().set(rtstub::kLatitude, "49.5"), false},
        {"on the ground at the park airport", TrafficLine::onGround(), true},
        {"on the ground elsewhere", TrafficLine::onGround().set(rtstub::kLatitude, "47.60"), false},
        {"vehicle type", TrafficLine::airborne().set(rtstub::kType, "SERV VEH"), false},
        {"vehicle callsign", TrafficLine::airborne().set(rtstub::kCallsign, "FOLLOW VEH"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kept(c.line), c.keep) << c.what;
}

TEST_F(TrafficReaderTest, groundRuleUsesTheParkAirportElevation)
{
    start();
    // 80 ft above the airport at 75 kn counts as on the ground...
    const auto low = exchange({TrafficLine::airborne()
                                   .set(rtstub::kLatitude, "47.47")
                                   .set(rtstub::kLongitude, "8.55")
                                   .set(rtstub::kAltitude, rtstub::kZurichElevationFt + 80)
                                   .set(rtstub::kGroundSpeed, "75")
                                   .text()});
    ASSERT_EQ(low.size(), 1u);
    EXPECT_EQ(low[0].altitude, 0);
    EXPECT_FALSE(low[0].airborne);
    // ...and with the park airport left, such an aircraft is dropped.
    reader.clearParkAirport();
    EXPECT_TRUE(exchange({TrafficLine::airborne()
                              .set(rtstub::kLatitude, "47.47")
                              .set(rtstub::kLongitude, "8.55")
                              .set(rtstub::kAltitude, "1000")
                              .set(rtstub::kGroundSpeed, "30")
                              .text()})
                    .empty());
}

TEST_F(TrafficReaderTest, malformedDatagramsQueueNothingAndKeepTheReaderAlive)
{
    start();
    std::string longCallsign(300, 'C');
    const std::vector<std::string> bad = {
        "",
        "RTTFC",
        TrafficLine::airborne().truncate(20).text(),
        TrafficLine::airborne().set(rtstub::kAltitude, "NaN").text(),
        TrafficLine::airborne().set(rtstub::kLatitude, "inf").text(),
        TrafficLine::airborne().set(rtstub::kGroundSpeed, "fast").text(),
        std::string(16383, ','),
        std::string(16383, 'x'),
        std::string("RTTFC,\0,1,2", 11),
    };
    EXPECT_TRUE(exchange(bad).empty());
    // An empty datagram is no line; the first short line is logged at once, the others within the minute only counted.
    EXPECT_TRUE(logHas("traffic line with 1 fields dropped: RTTFC"));
    EXPECT_FALSE(logHas("traffic line with 21 fields dropped"));

    const auto cut = exchange({TrafficLine::airborne().set(rtstub::kCallsign, longCallsign).text()});
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].callsign, std::string(11, 'C'));
}

TEST_F(TrafficReaderTest, droppedShortLineIsLoggedAsOneLine)
{
    // The log shows the sender's bytes: line ends in them must not let a
    // datagram write lines of its own into the log.
    start();
    EXPECT_TRUE(exchange({"RTTFC,1\r\n===> forged line,2\t3"}).empty());
    EXPECT_TRUE(logHas("traffic line with 3 fields dropped: RTTFC,1  ===> forged line,2 3"));
    EXPECT_FALSE(logHas("\n===> forged line"));
}

TEST_F(TrafficReaderTest, implausibleLinesAreLoggedOnceAMinuteWithTheCount)
{
    // A sender that repeats a hostile line for ever costs one log line a minute.
    start();
    const std::string high = TrafficLine::airborne().set(rtstub::kAltitude, "1e300").text();
    EXPECT_TRUE(exchange({high, high, TrafficLine::airborne().set(rtstub::kGroundSpeed, "1e308").text()}).empty());
    const std::string text = log();
    EXPECT_NE(text.find("traffic line with an implausible altitude dropped: RTTFC,4508432,47.5750,8.7460,1e300,"),
              std::string::npos);
    EXPECT_EQ(text.find("implausible", text.find("implausible altitude") + 1), std::string::npos)
        << "the others of the minute are only counted";
}

TEST_F(TrafficReaderTest, nothingIsQueuedWhileTheIntakeIsClosed)
{
    start();
    queue.setIntakeOpen(false);
    stub->sendTrafficLine(TrafficLine::airborne().set(rtstub::kTimestamp, "1733720001"));
    ASSERT_TRUE(waitFor([&] { return reader.timestamp() == 1733720001.0; }));
    EXPECT_EQ(queue.size(), 0u);
}

TEST_F(TrafficReaderTest, callsignsInRangeAreCollectedWhileCollecting)
{
    start();
    exchange({TrafficLine::airborne().set(rtstub::kCallsign, "BEFORE1").text()});
    reader.startCollecting();
    exchange({TrafficLine::airborne().set(rtstub::kCallsign, "EZY12AB").text(),
              TrafficLine::airborne().set(rtstub::kCallsign, "null").text(),
              TrafficLine::airborne().set(rtstub::kCallsign, "A@B").text(),
              TrafficLine::airborne().set(rtstub::kCallsign, "FAR1").set(rtstub::kLatitude, "49.5").text(),
              // dropped later, but collected: it is in range
              TrafficLine::airborne().set(rtstub::kCallsign, "SHORT1").set(rtstub::kHexid, "10").text()});
    const auto collected = reader.stopCollecting();
    EXPECT_EQ(collected, (std::set<std::string>{"EZY12AB", "SHORT1", "SWR17K"})); // SWR17K: the marker
    EXPECT_FALSE(reader.collecting());
}

TEST_F(TrafficReaderTest, collectedCallsignsStayBoundedWhileNobodyTakesThem)
{
    // Collecting goes on until the parking takes the collection, which may be
    // never; hours of traffic (or a flood of made-up lines) must not grow it
    // without limit.
    queue.setIntakeOpen(false);
    reader.startCollecting();
    const std::string padding(300, 'x');
    for (int i = 0; i < 20000; ++i)
        reader.handleDatagramText(
            TrafficLine::airborne().set(rtstub::kCallsign, "C" + std::to_string(i) + padding).text());
    const auto collected = reader.stopCollecting();
    EXPECT_GT(collected.size(), 100u);
    EXPECT_LE(collected.size(), TrafficReader::kMaxCollectedCallsigns);
    for (const auto& callsign : collected)
        ASSERT_LE(callsign.size(), kMaxCallsignBytes) << "collected as the record's callsign is cut";
    EXPECT_EQ(collected.count("C1xxxxxxxxx"), 1u);
}

TEST_F(TrafficReaderTest, identicalDatagramsArePassedOnFromThisComputer)
{
    start();
    const std::string line = TrafficLine::airborne().set(rtstub::kHexid, "55555").text();
    const auto records = exchange({line, line});
    EXPECT_EQ(records.size(), 2u);
}

TEST_F(TrafficReaderTest, identicalConsecutiveDatagramsAreSkippedWhenBoundToAnyAddress)
{
    rtOnThisPc = false;
    start();
    const std::string line = TrafficLine::airborne().set(rtstub::kHexid, "55555").text();
    const std::string other = TrafficLine::airborne().set(rtstub::kHexid, "55556").text();
    const auto records = exchange({line, line, other, line});
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].hexid, 55555u);
    EXPECT_EQ(records[1].hexid, 55556u);
    EXPECT_EQ(records[2].hexid, 55555u);
    EXPECT_EQ(reader.datagramCount(), 5u) << "repeats are counted before they are skipped";
}

TEST_F(TrafficReaderTest, linesOfNewerRealTrafficVersionsAreKept)
{
    rangeNm = 100.0;
    start();
    const auto records = exchange({
        TrafficLine::airborne().set(rtstub::kHexid, "60001").appendNewerFields("QFA").text(),
        TrafficLine::airborne().set(rtstub::kHexid, "60002").appendNewerFields("null").append("7").text(),
    });
    ASSERT_EQ(records.size(), 2u);
    for (const auto& record : records)
        EXPECT_EQ(record.checksum, 31337u) << record.hexid;

    std::vector<rtstub::ReplayTrack> tracks;
    for (const auto& file : rtstub::defaultReplayFiles())
        tracks.push_back(rtstub::loadReplayTrack(file));
    const auto lines = rtstub::replayLines(tracks, 1733720000, true);
    ASSERT_GE(lines.size(), 50u);
    std::vector<std::string> batch;
    for (std::size_t i = 0; i < 50; ++i)
        batch.push_back(lines[i].text);
    const auto replayed = exchange(batch);
    EXPECT_GT(replayed.size(), 45u);
    for (const auto& record : replayed)
        EXPECT_NE(record.checksum, 0u) << record.hexid;
}

TEST_F(TrafficReaderTest, userPositionOrRangeThatIsNoNumberKeepsTheRangeTest)
{
    // About 10 nm from Zürich, and about 60 nm: beyond the default range.
    const TrafficLine nearby = TrafficLine::airborne().set(rtstub::kHexid, "61001");
    const TrafficLine far = TrafficLine::airborne().set(rtstub::kHexid, "61002").set(rtstub::kLatitude, "48.45");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        double latitude;
        double longitude;
        double range;
    };
    const Case cases[] = {
        {"NaN latitude", nan, 8.5, 40.0},
        {"infinite longitude", 47.0, -inf, 40.0},
        {"NaN range", rtstub::kZurichLatitude, rtstub::kZurichLongitude, nan},
        {"infinite range", rtstub::kZurichLatitude, rtstub::kZurichLongitude, inf},
    };
    start();
    for (const auto& c : cases) {
        reader.setUserPosition(rtstub::kZurichLatitude, rtstub::kZurichLongitude);
        reader.setUserPosition(c.latitude, c.longitude);
        rangeNm = c.range;
        const auto records = exchange({nearby.text(), far.text()});
        ASSERT_EQ(records.size(), 1u) << c.what;
        EXPECT_EQ(records[0].hexid, 61001u) << c.what;
    }
    rangeNm = 40.0;
    EXPECT_TRUE(logHas("user position nan,8.5 is no number: the last one is kept"));
}
