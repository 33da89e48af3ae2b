#include "airport_fixture.hpp"
#include "foundation/run_state.hpp"
#include "foundation/text_file.hpp"

#include <sys/resource.h>

using namespace airporttest;
namespace fs = std::filesystem;

namespace {

std::string learnedText(const std::string& parameters, const std::string& parkpositions = {})
{
    return "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"8.8.0\"/>"
           "<info name=\"date\" value=\"d\"/></meta>\n<parameters><parameter name=\"airport_name\" "
           "value=\"Frankfurt Main\"/>" +
           parameters + "</parameters>\n<parkpositions>" + parkpositions + "</parkpositions>\n";
}

std::string param(const std::string& name, const std::string& value)
{
    return "<parameter name=\"" + name + "\" value=\"" + value + "\"/>";
}

struct LearnedTest : AirportTest {
    fs::path learned = "airports/learned/stock/EDDF.xml";

    LearnedTest()
    {
        pugi::xml_document doc;
        EXPECT_TRUE(lf_loadApf(doc, fixture("archived-EDDF.xml")));
        lf_readParkPositions(doc, parkPositions, "test");
    }

    void readLearned(const std::string& text)
    {
        put(learned.string(), text);
        lf_readLearned(learned, "Frankfurt Main", parkPositions, parkAirportHandmade);
    }
    void readLearnedFixture(const std::string& name)
    {
        putFixture(learned.string(), name);
        lf_readLearned(learned, "Frankfurt Main", parkPositions, parkAirportHandmade);
    }
    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (const auto& s : parkPositions)
            out.push_back(s.name);
        return out;
    }
};

const std::vector<std::string> kArchivedNames{"A10", "A12", "F1", "V5", "H1"};

} // namespace

TEST_F(LearnedTest, learnedFileMergesOptionsChangesAndManualStands)
{
    readLearnedFixture("learned-EDDF.xml");
    EXPECT_FALSE(parkAirportHandmade.load());
    const auto* a10 = standNamed("A10");
    ASSERT_EQ(a10->options.size(), 3u) << "DAIBA in half-hour 15 matches the archived option";
    EXPECT_EQ(a10->options[2].airline, "SWR");
    EXPECT_EQ(a10->options[2].number, 3u);
    EXPECT_TRUE(a10->options[2].fresh);
    EXPECT_FALSE(a10->options[0].fresh);
    const auto* a12 = standNamed("A12");
    EXPECT_DOUBLE_EQ(a12->radius, 30.0 * tzo::kNmPerMetre);
    EXPECT_TRUE(a12->radiusChanged);
    EXPECT_TRUE(a12->cargo);
    EXPECT_TRUE(a12->cargoChanged);
    const auto* m1 = standNamed("M1");
    ASSERT_NE(m1, nullptr);
    EXPECT_TRUE(m1->manual);
    EXPECT_TRUE(m1->ramp);
    EXPECT_DOUBLE_EQ(m1->heading, 45.0 * tzo::kRadiansPerDegree);
    ASSERT_EQ(m1->options.size(), 1u);
    EXPECT_TRUE(m1->options[0].fresh);
    EXPECT_EQ(parkPositions.size(), 6u);
    EXPECT_EQ(logLinesWith("manually created standid A10 already exists in"), 1);
    EXPECT_EQ(logLinesWith("manually created standid M2 misses correct attributes"), 1);
    EXPECT_EQ(logLinesWith("manually created standid M3 misses correct attributes"), 1);
    EXPECT_EQ(logLinesWith("learned stand Z9 in airports/learned/stock/EDDF.xml not found?"), 1);
    // The settings the file carries.
    EXPECT_EQ(LATERAL_RANGE.value(), 25);
    EXPECT_TRUE(PARK_FAKE.value());
    EXPECT_EQ(parking_percentage.value(), 45);
    EXPECT_EQ(MAX_FIT.value(), 20);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 10.5f);
    EXPECT_EQ(MAX_LIVE.value(), 120);
    EXPECT_FALSE(LEARN_SOFT.value());
    EXPECT_EQ(logLinesWith("Read from learned airport file: \"airports/learned/stock/EDDF.xml\""), 1);
}

TEST_F(LearnedTest, optionsAppendOnceAndOnlyWithoutACommonHalfHour)
{
    const std::string opt = "<opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"2\" hh=\"5,6\"/>";
    const std::string text = learnedText("", "<parkpos id=\"A12\">" + opt + opt +
                                                 "<opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"2\" hh=\"7\"/>"
                                                 "<opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"2\" hh=\"6\" soft=\"1\"/>"
                                                 "</parkpos>");
    readLearned(text);
    readLearned(text);
    const auto* a12 = standNamed("A12");
    ASSERT_EQ(a12->options.size(), 3u);
    EXPECT_EQ(a12->options[0].halfHours, lf_hours2bitset("5,6"));
    EXPECT_EQ(a12->options[1].halfHours, lf_hours2bitset("7"));
    EXPECT_TRUE(a12->options[2].soft) << "a soft option never matches a real one";
    EXPECT_EQ(a12->options[2].number, 3u);
}

TEST_F(LearnedTest, unusableRadiusChangeIsSkipped)
{
    for (const char* radius : {"0", "-5", "nan", "inf"}) {
        readLearned(learnedText("", std::string("<parkpos id=\"A12\" radius_change=\"true\" radius=\"") + radius +
                                        "\"/>"));
        EXPECT_FALSE(standNamed("A12")->radiusChanged) << radius;
        EXPECT_DOUBLE_EQ(standNamed("A12")->radius, 25.0 * tzo::kNmPerMetre) << radius;
    }
    EXPECT_EQ(logLinesWith("radius_change of stand A12 in airports/learned/stock/EDDF.xml"), 4);
}

TEST_F(LearnedTest, handmadeEvenWhenFalseReplacesTheArchivedStands)
{
    readLearnedFixture("learned-handmade-false.xml");
    EXPECT_TRUE(parkAirportHandmade.load());
    EXPECT_EQ(names(), (std::vector<std::string>{"B1", "B2"}));
    EXPECT_FALSE(standNamed("B1")->options[0].fresh) << "read as an archived file";
    EXPECT_EQ(logLinesWith("handmade"), 1);
}

TEST_F(LearnedTest, handmadeWithRepeatedStandKeepsArchivedStandsAndACopy)
{
    readLearnedFixture("learned-handmade-repeated-stand.xml");
    EXPECT_FALSE(parkAirportHandmade.load());
    EXPECT_EQ(names(), kArchivedNames);
    EXPECT_EQ(testsupport::readFile(dir / "airports/learned/stock/EDDF0.xml"),
              testsupport::readFile(fixture("learned-handmade-repeated-stand.xml")));
    EXPECT_EQ(logLinesWith("exception in lf_readLearned: 94: Parking position B1 appears more than once?"), 1);
    EXPECT_FALSE(learnedSaveForbidden.load());
}

TEST_F(LearnedTest, damagedFilesAreCopiedAsideAndArchivedStandsStay)
{
    struct Case {
        const char* fixtureName;
        const char* logText;
    } cases[] = {{"learned-not-well-formed.xml", "found, but could not be loaded, saved as *.0.xml: "},
                 {"learned-meta-without-date.xml", "meta data incorrect?"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixtureName);
        fs::remove_all(dir / "airports/learned");
        readLearnedFixture(c.fixtureName);
        EXPECT_EQ(names(), kArchivedNames);
        EXPECT_EQ(LATERAL_RANGE.value(), LATERAL_RANGE.defaultValue()) << "no setting applied";
        EXPECT_EQ(testsupport::readFile(dir / "airports/learned/stock/EDDF0.xml"),
                  testsupport::readFile(fixture(c.fixtureName)));
        EXPECT_EQ(testsupport::readFile(dir / learned), testsupport::readFile(fixture(c.fixtureName)));
        EXPECT_GE(logLinesWith(c.logText), 1);
        EXPECT_GE(logLinesWith("kept as \"airports/learned/stock/EDDF0.xml\""), 1);
    }
}

TEST_F(LearnedTest, anIdenticalCopyIsReusedAndADifferentOneKept)
{
    readLearnedFixture("learned-not-well-formed.xml");
    readLearnedFixture("learned-not-well-formed.xml");
    EXPECT_FALSE(fs::exists(dir / "airports/learned/stock/EDDF0-2.xml"));
    readLearned("<broken");
    EXPECT_EQ(testsupport::readFile(dir / "airports/learned/stock/EDDF0.xml"),
              testsupport::readFile(fixture("learned-not-well-formed.xml")));
    EXPECT_EQ(testsupport::readFile(dir / "airports/learned/stock/EDDF0-2.xml"), "<broken");
    EXPECT_FALSE(learnedSaveForbidden.load());
}

// Larger than the reader takes: moved aside, never read for a copy, while the
// archived stands serve.
TEST_F(LearnedTest, aFileAboveTheCapIsMovedAsideUnreadAndTheArchivedStandsServe)
{
    const std::uintmax_t size = kMaxXmlFileBytes + 1;
    put(learned.string(), "");
    fs::resize_file(dir / learned, size); // sparse: takes no disk
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    lf_readLearned(learned, "Frankfurt Main", parkPositions, parkAirportHandmade);
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 32 * 1024) << "kB more at the peak";
    EXPECT_EQ(names(), kArchivedNames);
    EXPECT_EQ(fs::file_size(dir / "airports/learned/stock/EDDF0.xml"), size);
    EXPECT_FALSE(fs::exists(dir / learned));
    EXPECT_FALSE(learnedSaveForbidden.load());
    EXPECT_EQ(logLinesWith("moved aside to \"airports/learned/stock/EDDF0.xml\""), 1);
}

TEST_F(LearnedTest, missingSettingsResetMaxLiveAndPercentageOnly)
{
    MAX_LIVE.setValue(50);
    parking_percentage.setValue(70);
    PARK_FAKE.setValue(true);
    MAX_FIT.setValue(10);
    readLearned(learnedText(""));
    EXPECT_EQ(MAX_LIVE.value(), 300);
    EXPECT_EQ(parking_percentage.value(), 30);
    EXPECT_TRUE(PARK_FAKE.value());
    EXPECT_EQ(MAX_FIT.value(), 10);
}

TEST_F(LearnedTest, everySwitchIsTakenFromTheFile)
{
    readLearned(learnedText(param("LEARN_SOFT", "false") + param("PARK_FAKE", "yes") + param("WEEK", "true") +
                            param("PARK_SOFT", "false") + param("INITIAL_LOAD_ONLY", "T")));
    EXPECT_FALSE(LEARN_SOFT.value());
    EXPECT_TRUE(PARK_FAKE.value());
    EXPECT_TRUE(WEEK.value());
    EXPECT_FALSE(PARK_SOFT.value());
    EXPECT_TRUE(INITIAL_LOAD_ONLY.value());
    EXPECT_EQ(logLinesWith("PARK_FAKE               : true"), 1);
}

TEST_F(LearnedTest, customPercentageWinsOverTheFile)
{
    CUSTOM_PARKING_PERCENTAGE.setValue(12);
    readLearned(learnedText(param("parking_percentage", "80")));
    EXPECT_EQ(parking_percentage.value(), 12);
    EXPECT_EQ(logLinesWith("parking percentage overruled by CUSTOM_PARKING_PERCENTAGE"), 1);
    CUSTOM_PARKING_PERCENTAGE.setValue(0);
    readLearned(learnedText(param("parking_percentage", "80")));
    EXPECT_EQ(parking_percentage.value(), 0) << "0 is a percentage, not off";
    CUSTOM_PARKING_PERCENTAGE.setValue(-1);
    readLearned(learnedText(param("parking_percentage", "80")));
    EXPECT_EQ(parking_percentage.value(), 80);
}

TEST_F(LearnedTest, maxFitFromTheOlderNameAndLimits)
{
    readLearned(learnedText(param("MAX_FIT_WEEK", "60")));
    EXPECT_EQ(MAX_FIT.value(), 47);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 24.0f);
    readLearned(learnedText(param("MAX_FIT", "0") + param("MAX_FIT_WEEK", "30")));
    EXPECT_EQ(MAX_FIT.value(), 0);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 0.5f);
}

TEST_F(LearnedTest, rangesBeyondTheLimitsAreClamped)
{
    readLearned(learnedText(param("LATERAL_RANGE", "500")));
    EXPECT_EQ(LATERAL_RANGE.value(), 100);
    EXPECT_DOUBLE_EQ(rangeNm.load(), 100.0);
    readLearned(learnedText(param("LATERAL_RANGE", "0")));
    EXPECT_EQ(LATERAL_RANGE.value(), 2);
    EXPECT_EQ(rangeMetres.load(), 2u * 1852u);
}

TEST_F(LearnedTest, autoRangeOnUpdatesAndOffGivesTheRememberedRangeBack)
{
    // Off before anything was remembered: the setting's own value, never 0.
    readLearned(learnedText(param("AUTO_RANGE", "false")));
    EXPECT_EQ(LATERAL_RANGE.value(), 40);
    EXPECT_DOUBLE_EQ(rangeNm.load(), 40.0);
    readLearned(learnedText(param("LATERAL_RANGE", "30") + param("AUTO_RANGE", "true")));
    EXPECT_EQ(recorded.rangeUpdates, 1);
    gf_setRangeNm(8); // as the automatic range would
    readLearned(learnedText(param("AUTO_RANGE", "false")));
    EXPECT_FALSE(AUTO_RANGE.value());
    EXPECT_EQ(LATERAL_RANGE.value(), 30);
}

TEST_F(LearnedTest, differentAirportNameWarnsAndStillMerges)
{
    readLearned("<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"1\"/><info name=\"date\" "
                "value=\"d\"/></meta><parkpositions><parkpos id=\"A12\"><opt reg=\"\" airl=\"X\" type=\"Y\" "
                "day=\"1\" hh=\"1\"/></parkpos></parkpositions>");
    EXPECT_EQ(logLinesWith("Warning: learned file airport name: \"\" differs from archived file airport name: "
                           "\"Frankfurt Main\""),
              1);
    EXPECT_EQ(standNamed("A12")->options.size(), 1u);
}
