// The traffic line's conversions and filters, without sockets.

#include "realtraffic/traffic_line.hpp"
#include "rtstub/traffic_line_builder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

using namespace tzo;
using rtstub::TrafficLine;

namespace {

LineContext zurich()
{
    LineContext context;
    context.userLatitude = rtstub::kZurichLatitude;
    context.userLongitude = rtstub::kZurichLongitude;
    context.rangeNm = 40;
    context.parkAirportSet = true;
    context.parkLatitude = rtstub::kZurichLatitude;
    context.parkLongitude = rtstub::kZurichLongitude;
    context.elevationKnown = true;
    context.elevationFt = rtstub::kZurichElevationFt;
    return context;
}

struct Parsed {
    LineResult result;
    TrafficRecord record;
};

Parsed parse(const std::string& text, const LineContext& context = zurich())
{
    std::vector<std::string_view> fields;
    gf_splitTrafficFields(text, fields);
    Parsed parsed;
    parsed.result = gf_parseTrafficLine(fields, context, parsed.record);
    return parsed;
}

Parsed parse(const TrafficLine& line, const LineContext& context = zurich())
{
    return parse(line.text(), context);
}

} // namespace

TEST(TrafficLineSplit, emptyFieldsStayAndATrailingEmptyFieldIsNoField)
{
    std::vector<std::string_view> fields;
    gf_splitTrafficFields("a,,b,", fields);
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[1], "");
    EXPECT_EQ(fields[2], "b");

    gf_splitTrafficFields("", fields);
    EXPECT_TRUE(fields.empty());
    gf_splitTrafficFields(",", fields);
    EXPECT_EQ(fields.size(), 1u);
    gf_splitTrafficFields("x", fields);
    EXPECT_EQ(fields.size(), 1u);
}

TEST(TrafficLineNumbers, onlyANumberAtTheStartConverts)
{
    double value = 0;
    EXPECT_TRUE(gf_leadingDouble("12.5abc", value));
    EXPECT_EQ(value, 12.5);
    EXPECT_TRUE(gf_leadingDouble("-3e2", value));
    EXPECT_EQ(value, -300);
    for (const char* bad : {"", " 1", "+1", "abc", "nan", "NaN", "inf", "-infinity", "1e999"})
        EXPECT_FALSE(gf_leadingDouble(bad, value)) << bad;

    std::uint32_t id = 0;
    EXPECT_TRUE(gf_leadingU32("4294967295", id));
    EXPECT_EQ(id, 4294967295u);
    EXPECT_TRUE(gf_leadingU32("123x", id));
    EXPECT_EQ(id, 123u);
    for (const char* bad : {"", "4294967296", "-1", "+1", " 1", "x1"})
        EXPECT_FALSE(gf_leadingU32(bad, id)) << bad;
}

TEST(TrafficLineParse, timestampInMillisecondsIsDividedAboveTheLimit)
{
    auto seconds = parse(TrafficLine::airborne().set(rtstub::kTimestamp, "171644617100"));
    EXPECT_EQ(seconds.record.timestamp, 171644617100.0);
    auto millis = parse(TrafficLine::airborne().set(rtstub::kTimestamp, "1733720000123"));
    EXPECT_DOUBLE_EQ(millis.record.timestamp, 1733720000.123);
    auto edge = parse(TrafficLine::airborne().set(rtstub::kTimestamp, "171644617100.8"));
    EXPECT_DOUBLE_EQ(edge.record.timestamp, 171644617.1008);
}

TEST(TrafficLineParse, timestampIsKeptWhenALaterFilterDropsTheLine)
{
    auto parsed = parse(TrafficLine::airborne().set(rtstub::kTimestamp, "1733720000").set(rtstub::kHexid, "5"));
    EXPECT_EQ(parsed.result.verdict, LineVerdict::staticHexid);
    EXPECT_EQ(parsed.record.timestamp, 1733720000.0);
}

TEST(TrafficLineParse, trueHeadingEdges)
{
    auto zero = parse(TrafficLine::airborne().set(rtstub::kTrueHeading, "0"));
    ASSERT_EQ(zero.result.verdict, LineVerdict::accepted);
    EXPECT_EQ(zero.record.trueHeading, 6.283185307179586);
    EXPECT_TRUE(zero.record.trueHeadingPresent);
    EXPECT_TRUE(zero.record.headingFromAdsb);

    auto full = parse(TrafficLine::airborne().set(rtstub::kTrueHeading, "360"));
    ASSERT_EQ(full.result.verdict, LineVerdict::accepted);
    EXPECT_DOUBLE_EQ(full.record.trueHeading, 2 * std::numbers::pi);

    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kTrueHeading, "360.5")).result.verdict,
              LineVerdict::badHeading);
    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kTrueHeading, "-0.5")).result.verdict,
              LineVerdict::badHeading);

    // Without an ADS-B report the heading field is not read at all.
    auto mlat = parse(TrafficLine::airborne().set(rtstub::kMessageType, "mlat").set(rtstub::kTrueHeading, "x"));
    ASSERT_EQ(mlat.result.verdict, LineVerdict::accepted);
    EXPECT_FALSE(mlat.record.trueHeadingPresent);
}

TEST(TrafficLineParse, numbersNoAircraftReportsDropTheLineNamingTheField)
{
    struct Case {
        rtstub::LineField field;
        const char* value;
        const char* implausible; // null: accepted
    };
    using namespace rtstub;
    const Case cases[] = {
        // A balloon near 70,000 ft, a rocket plane, a military climb: unusual, not broken.
        {kAltitude, "70000", nullptr},        {kAltitude, "150000", nullptr},
        {kAltitude, "150000.5", "altitude"},  {kAltitude, "1e300", "altitude"},
        {kAltitude, "-2001", "altitude"},     {kGroundSpeed, "1350", nullptr},
        {kGroundSpeed, "4000", nullptr},      {kGroundSpeed, "4000.1", "ground speed"},
        {kGroundSpeed, "1e308", "ground speed"}, {kGroundSpeed, "-1", "ground speed"},
        {kTrueAirspeed, "-1", nullptr},       {kTrueAirspeed, "4001", "true airspeed"},
        {kTrueAirspeed, "-2", "true airspeed"},
        {kVerticalSpeed, "30000", nullptr},   {kVerticalSpeed, "-60000", nullptr},
        {kVerticalSpeed, "60001", "vertical speed"},
        {kTrack, "360", nullptr},             {kTrack, "1e20", "track"},
        {kTrack, "-0.1", "track"},
        {kRoll, "-90", nullptr},              {kRoll, "90.5", "roll"},
        {kTrueHeading, "360.5", "true heading"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse(TrafficLine::airborne().set(c.field, c.value));
        SCOPED_TRACE(::testing::Message() << "field " << c.field << " = " << c.value);
        if (c.implausible == nullptr) {
            EXPECT_EQ(parsed.result.verdict, LineVerdict::accepted);
            EXPECT_EQ(parsed.result.implausibleField, nullptr);
        } else {
            EXPECT_NE(parsed.result.verdict, LineVerdict::accepted);
            ASSERT_NE(parsed.result.implausibleField, nullptr);
            EXPECT_STREQ(parsed.result.implausibleField, c.implausible);
        }
    }
}

TEST(TrafficLineParse, hexidMustBeAbove10000)
{
    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kHexid, "10000")).result.verdict, LineVerdict::staticHexid);
    auto passes = parse(TrafficLine::airborne().set(rtstub::kHexid, "10001"));
    EXPECT_EQ(passes.result.verdict, LineVerdict::accepted);
    EXPECT_EQ(passes.record.hexid, 10001u);
    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kHexid, "99999999999")).result.verdict,
              LineVerdict::badNumber);
}

TEST(TrafficLineParse, groundRulesWithAKnownElevation)
{
    struct Case {
        double height;
        double speed;
        bool onGround;
    };
    const Case cases[] = {
        {80, 75, true},   // within 90 ft at 80 kn or less
        {100, 75, false}, // above 90 ft and too fast for the 120-ft rule
        {100, 40, true},  // within 120 ft at 43 kn or less
        {40, 120, true},  // within 45 ft at 120 kn or less
        {40, 121, false},
        {5000, 30, true}, // any height at 35 kn or less
        {-10, 200, true}, // below the airport
    };
    for (const auto& c : cases) {
        auto parsed = parse(TrafficLine::airborne()
                                .set(rtstub::kLatitude, "47.47")
                                .set(rtstub::kLongitude, "8.55")
                                .set(rtstub::kAltitude, rtstub::kZurichElevationFt + c.height)
                                .set(rtstub::kGroundSpeed, c.speed));
        ASSERT_EQ(parsed.result.verdict, LineVerdict::accepted) << c.height << " ft " << c.speed << " kn";
        EXPECT_EQ(parsed.record.altitude == 0, c.onGround) << c.height << " ft " << c.speed << " kn";
        EXPECT_EQ(parsed.record.airborne, !c.onGround);
    }
}

TEST(TrafficLineParse, withoutAKnownElevationTheGroundIs1000FtBelowSeaLevel)
{
    LineContext context = zurich();
    context.elevationKnown = false;
    // 1000 ft above sea level is 2000 ft above the assumed ground: airborne.
    auto parsed = parse(TrafficLine::airborne().set(rtstub::kAltitude, "1000").set(rtstub::kGroundSpeed, "75"),
                        context);
    EXPECT_TRUE(parsed.record.airborne);
    EXPECT_EQ(parsed.record.altitude, 1000);
}

TEST(TrafficLineParse, missingAirspeedDefaultsByAltitude)
{
    const std::pair<const char*, double> cases[] = {
        {"2000", 180}, {"5000", 220}, {"7000", 250}, {"20000", 350}, {"20001", 430}};
    for (const auto& [altitude, expected] : cases) {
        auto parsed = parse(TrafficLine::airborne().set(rtstub::kAltitude, altitude).set(rtstub::kTrueAirspeed, "-1"));
        ASSERT_EQ(parsed.result.verdict, LineVerdict::accepted) << altitude;
        EXPECT_EQ(parsed.record.trueAirspeed, expected) << altitude;
    }
}

TEST(TrafficLineParse, bankIsTheRollInvertedAndOnlyInTheAir)
{
    auto banked = parse(TrafficLine::airborne().set(rtstub::kRoll, "10"));
    EXPECT_TRUE(banked.record.bankPresent);
    EXPECT_DOUBLE_EQ(banked.record.bank, -10 * std::numbers::pi / 180);
    for (const char* none : {"0", "-1"})
        EXPECT_FALSE(parse(TrafficLine::airborne().set(rtstub::kRoll, none)).record.bankPresent) << none;
    auto ground = parse(TrafficLine::onGround().set(rtstub::kRoll, "garbage"));
    EXPECT_EQ(ground.result.verdict, LineVerdict::accepted);
    EXPECT_FALSE(ground.record.bankPresent);
}

TEST(TrafficLineParse, emptyTrackIsZeroAndTakesTheHeading)
{
    auto parsed = parse(TrafficLine::airborne().set(rtstub::kTrack, "").set(rtstub::kTrueHeading, "90"));
    ASSERT_EQ(parsed.result.verdict, LineVerdict::accepted);
    EXPECT_DOUBLE_EQ(parsed.record.track, 90);
    auto noHeading = parse(TrafficLine::airborne().set(rtstub::kTrack, "").set(rtstub::kMessageType, "mlat"));
    EXPECT_EQ(noHeading.record.track, 0);
}

TEST(TrafficLineParse, callsignRules)
{
    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kCallsign, "TOW 1")).result.verdict, LineVerdict::towed);
    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kCallsign, "ERARMTR0")).result.verdict,
              LineVerdict::ignoredCallsign);
    auto at = parse(TrafficLine::airborne().set(rtstub::kCallsign, "AB@CD"));
    EXPECT_EQ(at.result.verdict, LineVerdict::accepted);
    EXPECT_EQ(at.record.callsign, "");
    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kCallsign, "null")).record.callsign, "");
    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kCallsign, "TOWER1")).result.verdict, LineVerdict::accepted);
}

TEST(TrafficLineParse, outsideTextsAreCutToTheirFieldAndCleaned)
{
    struct Case {
        rtstub::LineField field;
        std::string value;
        std::string kept;
    };
    using namespace rtstub;
    const std::string longRoute = "EG\r\nLL\xFF\xC3" + std::string(8000, 'X');
    const Case cases[] = {
        {kCallsign, "ABCDEFGHIJKLMNOP", "ABCDEFGHIJK"},
        // Ten ASCII bytes and a two-byte character: the character is not split.
        {kCallsign, "ABCDEFGHIJ\xC3\xA9", "ABCDEFGHIJ"},
        {kCallsign, "\nSWR\x1B[2J12\xC2\x85", "SWR[2J12"},
        {kFrom, longRoute, "EGLLXXXX"},
        {kTo, "LS\xED\xA0\x80ZH\x7F\xC0\xAF", "LSZH"}, // a surrogate, DEL, an overlong '/'
        {kTo, "Z\xC3\xBCrich", "Z\xC3\xBCrich"},     // well-formed UTF-8 stays
        {kRegistration, "HB-\rJ\x80NA", "HB-JNA"},
        {kType, "A320\nneo", "A320"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.value.substr(0, 20)));
        const auto parsed = parse(TrafficLine::airborne().set(c.field, c.value));
        ASSERT_EQ(parsed.result.verdict, LineVerdict::accepted);
        const TrafficRecord& r = parsed.record;
        const std::string& kept = c.field == kCallsign ? r.callsign
                                  : c.field == kFrom   ? r.departure
                                  : c.field == kTo     ? r.destination
                                  : c.field == kType   ? r.model
                                                       : r.registration;
        EXPECT_EQ(kept, c.kept);
    }
}

TEST(TrafficLineParse, textsAreEmptyForNullAndOddTypes)
{
    auto parsed = parse(TrafficLine::airborne().set(rtstub::kFrom, "null").set(rtstub::kTo, "null"));
    EXPECT_EQ(parsed.record.departure, "");
    EXPECT_EQ(parsed.record.destination, "");
    for (const char* type : {"null", "0", "ZZZZ"})
        EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kType, type)).record.model, "") << type;
    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kRegistration, "ABCDEFGHIJKLM")).result.verdict,
              LineVerdict::noRegistration);
    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kRegistration, "ABCDEFGHIJKL")).record.registration,
              "ABCDEFGHIJKL");
}

TEST(TrafficLineParse, positionFilters)
{
    const std::pair<const char*, const char*> outside[] = {
        {"90.1", "8"}, {"-90.1", "8"}, {"47", "180.1"}, {"47", "-180.1"}, {"0", "0"}, {"0.0009", "0.05"}};
    LineContext anywhere = zurich();
    anywhere.rangeNm = 100000;
    for (const auto& [lat, lon] : outside)
        EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kLatitude, lat).set(rtstub::kLongitude, lon), anywhere)
                      .result.verdict,
                  LineVerdict::outsideWorld)
            << lat << "," << lon;
    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kLatitude, "-0.0001").set(rtstub::kLongitude, "0.01"),
                    anywhere)
                  .result.verdict,
              LineVerdict::accepted);

    LineContext near = zurich();
    near.rangeNm = 5; // the line's aircraft is about 10 nm out
    const auto far = parse(TrafficLine::airborne(), near);
    EXPECT_EQ(far.result.verdict, LineVerdict::outOfRange);
    EXPECT_FALSE(far.result.inRange);
}

TEST(TrafficLineParse, groundAircraftNeedTheParkAirportWithin5Nm)
{
    EXPECT_EQ(parse(TrafficLine::onGround()).result.verdict, LineVerdict::accepted);
    LineContext none = zurich();
    none.parkAirportSet = false;
    EXPECT_EQ(parse(TrafficLine::onGround(), none).result.verdict, LineVerdict::groundAway);
    // About 6 nm west of the park airport.
    EXPECT_EQ(parse(TrafficLine::onGround().set(rtstub::kLongitude, "8.40")).result.verdict, LineVerdict::groundAway);
}

TEST(TrafficLineParse, categoriesAndPseudoTypes)
{
    for (const char* category : {"B1", "B2", "B4", "C1", "C2"})
        EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kCategory, category)).result.verdict,
                  LineVerdict::category)
            << category;
    for (const char* type : {"GRND", "GLID", "SERV", "BALL", "PARA", "SHIP"}) {
        EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kType, type)).result.verdict, LineVerdict::category)
            << type;
        EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kType, type).set(rtstub::kCategory, "")).result.verdict,
                  LineVerdict::accepted)
            << type;
    }
    // Compared as whole texts, case-sensitively.
    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kCategory, "c2")).result.verdict, LineVerdict::accepted);
    EXPECT_EQ(parse(TrafficLine::airborne().set(rtstub::kCategory, "C22")).result.verdict, LineVerdict::accepted);
}

TEST(TrafficLineParse, malformedLinesAreDroppedWithoutReadingPastTheEnd)
{
    EXPECT_EQ(parse("").result.verdict, LineVerdict::tooFewFields);
    EXPECT_EQ(parse(TrafficLine::airborne().truncate(28)).result.verdict, LineVerdict::tooFewFields);
    // Many empty fields are enough fields, but none of them is a number.
    EXPECT_EQ(parse(std::string(20000, ',')).result.verdict, LineVerdict::badNumber);
    // 29 fields: the category field is also the checksum field.
    EXPECT_EQ(parse(TrafficLine::airborne().truncate(29).set(rtstub::kCategory, "7")).result.verdict,
              LineVerdict::accepted);
    for (std::size_t field : {rtstub::kHexid, rtstub::kLatitude, rtstub::kLongitude, rtstub::kAltitude,
                              rtstub::kVerticalSpeed, rtstub::kGroundSpeed, rtstub::kTimestamp,
                              rtstub::kTrueAirspeed, rtstub::kRoll, rtstub::kTrueHeading, rtstub::kChecksum}) {
        // An empty last field is no field at all, so the authentication
        // number is tried where a newer field follows it.
        const TrafficLine line = field == rtstub::kChecksum ? TrafficLine::airborne().appendNewerFields("QFA")
                                                            : TrafficLine::airborne();
        for (const char* bad : {"", "x", "NaN", "inf", " 5", "+5"})
            EXPECT_EQ(parse(TrafficLine(line).set(field, bad)).result.verdict, LineVerdict::badNumber)
                << "field " << field << " = '" << bad << "'";
    }
}

TEST(TrafficLineParse, checksumIsTheAuthenticationNumberOfNewerLongerLines)
{
    // Field 41 holds the authentication number; newer RealTraffic versions
    // append an operator code and more after it.
    struct Case {
        const char* what;
        TrafficLine line;
        LineVerdict verdict;
        std::uint32_t checksum;
    };
    const Case cases[] = {
        {"documented 42 fields", TrafficLine::airborne(), LineVerdict::accepted, 31337},
        {"operator code appended", TrafficLine::airborne().appendNewerFields("QFA"), LineVerdict::accepted, 31337},
        {"a number appended after the operator", TrafficLine::airborne().appendNewerFields("QFA").append("7"),
         LineVerdict::accepted, 31337},
        {"bad authentication number in a longer line",
         TrafficLine::airborne().set(rtstub::kChecksum, "x").appendNewerFields("7"), LineVerdict::badNumber, 0},
        {"41 fields: the last field", TrafficLine::airborne().truncate(41).set(rtstub::kIsIcaoHex, "12"),
         LineVerdict::accepted, 12},
    };
    for (const auto& c : cases) {
        const auto parsed = parse(c.line);
        EXPECT_EQ(parsed.result.verdict, c.verdict) << c.what;
        if (c.verdict == LineVerdict::accepted) {
            EXPECT_EQ(parsed.record.checksum, c.checksum) << c.what;
        }
    }
}

TEST(TrafficLineParse, positionsAndRangesThatAreNoNumberPassNoAircraft)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        void (*spoil)(LineContext&, double);
        LineVerdict airborne;
        LineVerdict onGround;
    };
    const Case cases[] = {
        {"user latitude", [](LineContext& c, double v) { c.userLatitude = v; }, LineVerdict::outOfRange,
         LineVerdict::outOfRange},
        {"user longitude", [](LineContext& c, double v) { c.userLongitude = v; }, LineVerdict::outOfRange,
         LineVerdict::outOfRange},
        {"range", [](LineContext& c, double v) { c.rangeNm = v; }, LineVerdict::outOfRange,
         LineVerdict::outOfRange},
        {"park airport", [](LineContext& c, double v) { c.parkLatitude = v; }, LineVerdict::accepted,
         LineVerdict::groundAway},
    };
    for (const auto& c : cases) {
        LineContext context = zurich();
        c.spoil(context, nan);
        EXPECT_EQ(parse(TrafficLine::airborne(), context).result.verdict, c.airborne) << c.what;
        EXPECT_EQ(parse(TrafficLine::onGround(), context).result.verdict, c.onGround) << c.what;
    }
}
