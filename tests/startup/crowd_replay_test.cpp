// The RealTraffic stand-in's crowd of aircraft made from the recorded tracks,
// judged by the program's own traffic line reader.

#include "realtraffic/traffic_line.hpp"
#include "realtraffic/traffic_record.hpp"
#include "rtstub/replay.hpp"

#include <gtest/gtest.h>

#include <set>

TEST(CrowdReplay, hundredsOfOwnAircraftThatTheReaderTakes)
{
    std::vector<rtstub::ReplayTrack> recorded;
    for (const auto& file : rtstub::defaultReplayFiles())
        recorded.push_back(rtstub::loadReplayTrack(file));
    ASSERT_FALSE(recorded.empty());
    const auto crowd = rtstub::crowdTracks(recorded, 300);
    ASSERT_EQ(crowd.size(), 300u);

    const auto lines = rtstub::replayLines(crowd, 1.7e9);
    tzo::LineContext context;
    context.userLatitude = 47.45;
    context.userLongitude = 8.56;
    context.rangeNm = 200;
    context.parkAirportSet = true;
    context.parkLatitude = 47.45;
    context.parkLongitude = 8.56;
    std::set<std::uint32_t> hexids;
    std::set<std::string> callsigns;
    std::vector<std::string_view> fields;
    tzo::TrafficRecord record;
    double last = 0;
    for (const auto& line : lines) {
        tzo::gf_splitTrafficFields(line.text, fields);
        const tzo::LineResult result = tzo::gf_parseTrafficLine(fields, context, record);
        // Ground copies moved away from the airport are refused as the program refuses them.
        ASSERT_TRUE(result.verdict == tzo::LineVerdict::accepted || result.verdict == tzo::LineVerdict::groundAway)
            << "verdict " << static_cast<int>(result.verdict) << ": " << line.text;
        if (result.verdict == tzo::LineVerdict::accepted) {
            hexids.insert(record.hexid);
            callsigns.insert(record.callsign);
        }
        last = std::max(last, line.offsetSeconds);
    }
    EXPECT_GT(hexids.size(), 150u);
    EXPECT_EQ(hexids.size(), callsigns.size()) << "one callsign per aircraft";
    EXPECT_EQ(hexids.count(0x440549), 0u) << "copies never reuse a recorded hexid";
    // Starts are staggered by up to a minute, not spread further.
    double longest = 0;
    for (const auto& track : recorded)
        longest = std::max(longest, (track.samples.back().epochMs - track.samples.front().epochMs) / 1000.0);
    EXPECT_LE(last, longest + 59.0);
}
