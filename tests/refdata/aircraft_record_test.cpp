#include "refdata/aircraft_record.hpp"
#include "refdata_fixture.hpp"

using testsupport::DbaseFile;
using testsupport::RefdataTest;
using tzo::AircraftCategory;

namespace {

constexpr double kRad = 0.017453292519943295;

tzo::AircraftTexts report(const std::string& model)
{
    tzo::AircraftTexts t;
    t.airline = "DLH";
    t.model = model;
    t.departure = "EDDF";
    t.destination = "KJFK";
    t.callsign = "DLH400";
    t.firstCallsign = "DLH400";
    t.secondCallsign = "";
    t.registration = "D-ABYA";
    t.couplesSearched = 7;
    return t;
}

// The value made larger or smaller by the percentage.
bool isJittered(double result, double value, double percent)
{
    const double up = (value + value * percent / 100) * kRad;
    const double down = (value - value * percent / 100) * kRad;
    return std::abs(result - up) < 1e-12 || std::abs(result - down) < 1e-12;
}

} // namespace

TEST_F(RefdataTest, aircraftRecordTakesTheValuesOfItsModelsCategory)
{
    auto file = DbaseFile::minimal();
    file.wingspan("B744", "64.4").wingspan("C172", "11");
    ASSERT_TRUE(read(file));

    const auto r = gf_makeAircraftRecord(report("B744"));
    EXPECT_EQ(r.registration, "D-ABYA");
    EXPECT_EQ(r.category, AircraftCategory::Large) << "the static traffic puts the model's category there";
    EXPECT_DOUBLE_EQ(r.radius, 64.4 * 0.5 / 1852);
    EXPECT_EQ(r.flareSlots, 450u);
    EXPECT_TRUE(isJittered(r.takeOffPitch, -5.0, 2.5)) << r.takeOffPitch;
    EXPECT_TRUE(isJittered(r.climbPitch, -12.5, 5.0)) << r.climbPitch;

    // A model unknown to the data base is Light, with the Light average span.
    const auto unknown = gf_makeAircraftRecord(report("PA28"));
    EXPECT_EQ(unknown.flareSlots, 250u);
    EXPECT_DOUBLE_EQ(unknown.radius, 11 * 0.5 / 1852);
    EXPECT_TRUE(isJittered(unknown.climbPitch, -15.0, 5.0));
}

TEST_F(RefdataTest, aircraftRecordAtStandIsParkedAndNew)
{
    ASSERT_TRUE(read(DbaseFile::minimal()));
    std::vector<tzo::AircraftRecord> staticAircraft;
    auto& r = staticAircraft.emplace_back();
    r.objectId = 99;
    r.state = tzo::AircraftState::InSimulator;
    r.makesPlace = true;
    r.initAtStand(report("EC35"), 42, {50.05, 8.57, 1.5}, true);

    // What the record held before is cleared; the stand is taken as given.
    EXPECT_EQ(r.rotationSlots, 100u) << "per-category values as for every report";
    EXPECT_EQ(r.objectId, 0u);
    EXPECT_EQ(r.state, tzo::AircraftState::New);
    EXPECT_FALSE(r.makesPlace);
    EXPECT_EQ(r.stand.heading, 1.5);
    EXPECT_EQ(r.standId, 42u);
    EXPECT_TRUE(r.standIsCargo);
}

TEST(AirlineTypeText, padsShortCodesAndKeepsLongOnes)
{
    struct Case {
        std::string airline, model, text;
    };
    for (const auto& c : {Case{"", "C17", "    C17 "}, Case{"ABCDE", "A3201", "ABCDE A3201"}}) {
        tzo::AircraftTexts t;
        t.airline = c.airline;
        t.model = c.model;
        EXPECT_EQ(gf_formatAirlineType(t), c.text);
        struct Livery {
            std::string airl, type;
        } livery{c.airline, c.model};
        EXPECT_EQ(gf_formatAirlineType(livery), c.text);
    }
}

