#include "airport_fixture.hpp"
#include "airports/fake_stands.hpp"
#include "stand_builder.hpp"

using namespace airporttest;

namespace {

const DayHour kNow{3, 20};

std::vector<tzo::ParkPos> withFakes(const std::string& code, const standtest::StandBuilder& b)
{
    std::vector<tzo::ParkPos> stands = b.build();
    lf_addFakeOptions(code, stands, kNow);
    return stands;
}

std::string pairOf(const tzo::ParkPos& stand)
{
    if (stand.options.empty())
        return "none";
    const auto& o = stand.options.back();
    return o.airline + " " + o.type;
}

} // namespace

TEST_F(AirportTest, fakeOptionsByStandKindWithRandomOff)
{
    standtest::StandBuilder b;
    b.stand("cargoSmall", 0, 0, 8).cargo();   // C208: 16 m span
    b.stand("cargoLarge", 100, 0, 19).cargo(); // B752: 38 m span
    b.stand("heliTiny", 200, 0, 1).heli();
    b.stand("heliHuge", 300, 0, 500).heli();
    b.stand("rampTiny", 400, 0, 0.5).ramp();
    b.stand("gate", 500, 0, 18);
    const auto stands = withFakes("LSZH", b);
    const std::vector<std::string> expected{"FDX C208", "FDX B752", "PVT EC35", "PVT EC35", "none", "ZZZ B738"};
    for (std::size_t i = 0; i < stands.size(); ++i)
        EXPECT_EQ(pairOf(stands[i]), expected[i]) << stands[i].name;
}

TEST_F(AirportTest, fakeOptionsAreSoftForNowNumberedAndNeverSaved)
{
    standtest::StandBuilder b;
    b.stand("S1", 0, 0, 18);
    b.stand("tiny", 100, 0, 0.5).ramp();
    b.stand("S2", 200, 0, 18)
        .option("DLH", "A320", 1, "1")
        .option("DLH", "A320", 2, "1")
        .option("DLH", "A320", 3, "1")
        .option("DLH", "A320", 4, "1");
    const auto stands = withFakes("YSSY", b);
    const auto& first = stands[0].options.at(0);
    EXPECT_EQ(first.registration, "REGFAKE1");
    EXPECT_EQ(first.callsign, "FAKE1");
    EXPECT_TRUE(first.secondCallsign.empty());
    EXPECT_EQ(first.day, 3u);
    EXPECT_EQ(first.halfHours, tzo::gf_halfHourBit(20));
    EXPECT_TRUE(first.soft);
    EXPECT_FALSE(first.fresh);
    EXPECT_EQ(first.number, 1u);
    EXPECT_TRUE(stands[1].options.empty()) << "a stand without a candidate takes no number";
    const auto& fifth = stands[2].options.at(4);
    EXPECT_EQ(fifth.number, 5u);
    EXPECT_EQ(fifth.registration, "REGFAKE2");
    EXPECT_EQ(fifth.callsign, "FAKE2");
}

TEST_F(AirportTest, regionTablesTakeOnlyFittingTypes)
{
    // Types without a span in the data base take the light average and fit
    // no gate of A320 size: E and K gates take their first A320.
    standtest::StandBuilder b;
    b.stand("gate", 0, 0, 18);
    b.stand("small", 100, 0, 3);
    const auto e = withFakes("EDDF", b);
    EXPECT_EQ(pairOf(e[0]), "SAS A320");
    EXPECT_EQ(pairOf(e[1]), "none");
    EXPECT_EQ(pairOf(withFakes("KSEA", b)[0]), "FFT A320");
}
