#include "airport_fixture.hpp"
#include "airports/airport_file_paths.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/time.hpp"
#include "foundation/version.hpp"
#include "stand_builder.hpp"

#include <cmath>

using namespace airporttest;
namespace fs = std::filesystem;

namespace {

// The airport the golden files were written from.
tzo::ApfAirport goldenAirport()
{
    standtest::StandBuilder b;
    b.stand("G1", 0, 0, 35.9).option("KLM", "B738", 2, "14,15,16").callsigns("KLM1", "KLM2");
    b.stand("G2", 100, 0, 20).cargo().option("DLH", "A320", 1, "3", true).registration("DAIBA").callsigns("DLH9");
    b.stand("H1", 200, 0, 10).heli().cargo();
    b.stand("R1", 300, 0, 12).ramp().option("PVT", "C172", 7, "").withdrawn();
    std::vector<tzo::ParkPos> stands = b.build();
    stands[0].heading = 0.5;
    stands[0].radius = 0.0194;
    stands[1].radiusChanged = true;
    stands[2].cargoChanged = true;
    stands[3].manual = true;
    tzo::ApfAirport a;
    a.code = "EDDF";
    a.airportName = "Frankfurt Main";
    a.bglPath = "C:\\scenery\\EDDF.bgl";
    a.publisher = "unknown";
    a.qfReal = 63;
    a.qfSoft = 0;
    a.altitude = 364;
    a.stands = std::move(stands);
    return a;
}

std::string golden(const std::string& name)
{
    std::string text = testsupport::readFile(fixture(name));
    auto replace = [&](const std::string& from, const std::string& to) {
        if (const auto at = text.find(from); at != std::string::npos)
            text.replace(at, from.size(), to);
    };
    replace("@VERSION@", gf_versionToString(gf_programVersion()));
    replace("@DATE@", lf_currentDateText());
    return text;
}

std::vector<tzo::ParkPos> readBack(const fs::path& path)
{
    pugi::xml_document doc;
    EXPECT_TRUE(lf_loadApf(doc, path));
    std::vector<tzo::ParkPos> stands;
    lf_readParkPositions(doc, stands, path.string());
    return stands;
}

} // namespace

TEST_F(AirportTest, generatedFileMatchesGoldenAndCarriesNoOptions)
{
    ASSERT_TRUE(gf_writeApf(goldenAirport(), "out.xml", false));
    EXPECT_EQ(testsupport::readFile(dir / "out.xml"), golden("golden-generated.xml"));
}

TEST_F(AirportTest, saveMatchesGoldenWithDeltaEntriesSettingsAndOptions)
{
    MAX_LIVE.setValue(120);
    ASSERT_TRUE(gf_writeApf(goldenAirport(), "out.xml", true));
    EXPECT_EQ(testsupport::readFile(dir / "out.xml"), golden("golden-save.xml"));
}

TEST_F(AirportTest, handmadeSaveWritesEveryStandInFullWithQuality)
{
    parkAirportHandmade.store(true);
    ASSERT_TRUE(gf_writeApf(goldenAirport(), "out.xml", true));
    EXPECT_EQ(testsupport::readFile(dir / "out.xml"), golden("golden-handmade.xml"));
}

TEST_F(AirportTest, handmadeSaveReadsBackEqual)
{
    parkAirportHandmade.store(true);
    const tzo::ApfAirport a = goldenAirport();
    ASSERT_TRUE(gf_writeApf(a, "out.xml", true));
    const auto stands = readBack("out.xml");
    ASSERT_EQ(stands.size(), a.stands.size());
    for (std::size_t i = 0; i < stands.size(); ++i) {
        SCOPED_TRACE(stands[i].name);
        EXPECT_EQ(stands[i].name, a.stands[i].name);
        EXPECT_NEAR(stands[i].latitude, a.stands[i].latitude, 1e-6);
        EXPECT_NEAR(stands[i].radius, a.stands[i].radius, 0.1 / 1852);
        EXPECT_EQ(stands[i].ramp, a.stands[i].ramp);
        EXPECT_EQ(stands[i].heli, a.stands[i].heli);
        EXPECT_EQ(stands[i].cargo, a.stands[i].cargo && !a.stands[i].heli);
    }
    // The data base's operator replaces the airline; registrations in the
    // data base are written without airline and type.
    ASSERT_EQ(stands[1].options.size(), 1u);
    EXPECT_EQ(stands[1].options[0].airline, "DLH");
    EXPECT_EQ(stands[1].options[0].type, "A320");
    EXPECT_TRUE(stands[1].options[0].soft);
    EXPECT_EQ(stands[0].options[0].callsign, "KLM1");
    EXPECT_EQ(stands[0].options[0].secondCallsign, "KLM2");
    EXPECT_EQ(stands[0].options[0].halfHours, lf_hours2bitset("14,15,16"));
    EXPECT_TRUE(stands[3].options.empty()) << "a withdrawn option is not written";
}

TEST_F(AirportTest, radiusAndHeadingSurviveTheFileEdgeExactly)
{
    tzo::ApfAirport a = goldenAirport();
    a.stands.resize(1);
    a.stands[0].radius = 1.0;
    a.stands[0].heading = M_PI / 2;
    ASSERT_TRUE(gf_writeApf(a, "out.xml", false));
    const std::string text = testsupport::readFile(dir / "out.xml");
    EXPECT_NE(text.find("heading=\"90.0\" radius=\"1852.0\""), std::string::npos) << text;
    const auto stands = readBack("out.xml");
    EXPECT_EQ(stands[0].radius, 1.0);
}

TEST_F(AirportTest, archivedFileReadsOptionsWithDataBaseCallsignsAndTow)
{
    const auto stands = readBack(fixture("archived-EDDF.xml"));
    ASSERT_EQ(stands.size(), 5u);
    const auto& a10 = stands[0];
    EXPECT_DOUBLE_EQ(a10.radius, 1.0);
    EXPECT_DOUBLE_EQ(a10.heading, M_PI / 2);
    ASSERT_EQ(a10.options.size(), 2u) << "the TOW option is dropped";
    EXPECT_EQ(a10.options[0].airline, "DLH");
    EXPECT_EQ(a10.options[0].registration, "DAIBA");
    EXPECT_EQ(a10.options[0].callsign, "DLH12");
    EXPECT_EQ(a10.options[0].secondCallsign, "DLH13");
    EXPECT_FALSE(a10.options[0].fresh);
    EXPECT_EQ(a10.options[1].number, 2u) << "the option after the dropped one takes its number";
    EXPECT_EQ(a10.options[1].callsign, "KLM5");
    EXPECT_EQ(a10.options[1].secondCallsign, "") << "three parts: only the first";
    EXPECT_TRUE(a10.options[1].soft);
    EXPECT_TRUE(stands[2].cargo);
    EXPECT_TRUE(stands[3].ramp);
    EXPECT_TRUE(stands[4].heli);
    EXPECT_FALSE(stands[4].cargo);
}

TEST_F(AirportTest, callsignsSplitAtOneColonOnly)
{
    struct Case {
        const char* cs;
        const char* first;
        const char* second;
    } cases[] = {{"ABC1:ABC2", "ABC1", "ABC2"}, {"ABC1", "ABC1", ""}, {"A:B:C", "A", ""}, {"", "", ""}, {":X", "", "X"}};
    for (const auto& c : cases) {
        const auto [first, second] = lf_splitCallsigns(c.cs);
        EXPECT_EQ(first, c.first) << c.cs;
        EXPECT_EQ(second, c.second) << c.cs;
    }
}

TEST_F(AirportTest, repeatedAndMissingNamesAbortWithError94)
{
    pugi::xml_document doc;
    doc.load_string("<parkpositions><parkpos latitude=\"1\" longitude=\"1\"/><parkpos latitude=\"2\"/></parkpositions>");
    std::vector<tzo::ParkPos> stands;
    try {
        lf_readParkPositions(doc, stands, "t");
        FAIL();
    } catch (const tzo::UserErrorException& e) {
        EXPECT_EQ(e.code(), 94);
        EXPECT_NE(std::string(e.what()).find("Parking position  appears more than once?"), std::string::npos);
    }
    EXPECT_EQ(stands.size(), 1u);
}

TEST_F(AirportTest, missingParkpositionsYieldsNothing)
{
    pugi::xml_document doc;
    doc.load_string("<parameters/>");
    std::vector<tzo::ParkPos> stands;
    lf_readParkPositions(doc, stands, "t");
    EXPECT_TRUE(stands.empty());
}

TEST_F(AirportTest, unusableStandsAreSkippedWithAMarkedLine)
{
    const auto stands = readBack(fixture("archived-unusable-stands.xml"));
    ASSERT_EQ(stands.size(), 1u);
    EXPECT_EQ(stands[0].name, "OK");
    for (const char* name : {"NAN", "INF", "LAT", "LON", "NEG"})
        EXPECT_EQ(logLinesWith(std::string("stand ") + name + " in "), 1) << name;
}

TEST_F(AirportTest, failedRenameLeavesTheOldFileByteForByte)
{
    put("airports/learned/stock/EDDF.xml", "old content");
    gf_setAtomicRenameForTests([](const fs::path&, const fs::path&) { return false; });
    const bool written = gf_writeApf(goldenAirport(), "airports/learned/stock/EDDF.xml", true);
    gf_setAtomicRenameForTests(nullptr);
    EXPECT_FALSE(written);
    EXPECT_EQ(testsupport::readFile(dir / "airports/learned/stock/EDDF.xml"), "old content");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "airports/learned/stock"), fs::directory_iterator{}), 1)
        << "no temporary file is left";
}

TEST_F(AirportTest, headerReaders)
{
    putFixture("airports/archive/stock/EDDF.xml", "archived-EDDF.xml");
    EXPECT_EQ(gf_readNumParkpos("airports/archive/stock/EDDF.xml"), 5);
    EXPECT_EQ(gf_readPublisher("airports/archive/stock/EDDF.xml"), "stock");
    EXPECT_TRUE(gf_stockApfHasQuality("EDDF"));
    EXPECT_EQ(gf_readNumParkpos("missing.xml"), 0);
    EXPECT_EQ(gf_readPublisher("missing.xml"), "");
    EXPECT_FALSE(gf_stockApfHasQuality("EDDM"));
}

// ---- finding files

TEST_F(AirportTest, findingFollowsLinksOnlyToExistingFiles)
{
    put("airports/archive/stock/EDDF.xml", "s");
    put("airports/archive/ORBX/EDDF.xml", "o");
    EXPECT_EQ(gf_findApfFile("EDDF"), fs::path("airports/archive/stock/EDDF.xml"));
    put("airports/my_ORBX/EDDF.txt", "airports\\archive\\ORBX\\EDDF.xml \r\nsecond line\r\n");
    EXPECT_EQ(gf_findApfFile("EDDF"), fs::path("airports/archive/ORBX/EDDF.xml"));
    put("airports/my_thirdparty/EDDF.txt", "airports/archive/thirdparty/EDDF.xml\n");
    EXPECT_EQ(gf_findApfFile("EDDF"), fs::path("airports/archive/ORBX/EDDF.xml")) << "a dangling link is passed over";
    put("airports/my_thirdparty/EDDF.xml", "t");
    EXPECT_EQ(gf_findApfFile("EDDF"), fs::path("airports/my_thirdparty/EDDF.xml"));
    EXPECT_TRUE(gf_apfExists("EDDF"));
}

TEST_F(AirportTest, linksAndNamesMatchInAnyLetterCase)
{
    put("airports/archive/ORBX/YBBN.XML", "o");
    put("airports/my_orbx/ybbn.TXT", "Airports/Archive/orbx/ybbn.xml\n");
    EXPECT_EQ(gf_findApfFile("YBBN"), fs::path("airports/archive/ORBX/YBBN.XML"));
    EXPECT_TRUE(gf_apfExists("YBBN"));
}

TEST_F(AirportTest, apfExistsAgreesWithFindingOnDanglingLinks)
{
    put("airports/my_ORBX/KSEA.txt", "airports/archive/ORBX/KSEA.xml\n");
    put("airports/my_thirdparty/KJFK.txt", "\n");
    fs::create_directories(dir / "airports/archive/ORBX/KBOS.xml");
    put("airports/my_ORBX/KBOS.txt", "airports/archive/ORBX/KBOS.xml\n");
    for (const char* code : {"KSEA", "KJFK", "KBOS"}) {
        EXPECT_TRUE(gf_findApfFile(code).empty()) << code;
        EXPECT_FALSE(gf_apfExists(code)) << code;
    }
}

TEST_F(AirportTest, learnedPathsPerFolder)
{
    put("airports/my_thirdparty/EGLL.xml",
        "<meta/><parameters><parameter name=\"publisher\" value=\"Aerosoft\"/></parameters>");
    struct Case {
        fs::path apf;
        fs::path learned;
    } cases[] = {
        {"airports/archive/stock/EDDF.xml", "airports/learned/stock/EDDF.xml"},
        {"airports/archive/ORBX/YBBN.xml", "airports/learned/ORBX/YBBN.xml"},
        {"airports/my_ORBX/YSSY.xml", "airports/learned/ORBX/YSSY.xml"},
        {"airports/my_thirdparty/EGLL.xml", "airports/learned/thirdparty/Aerosoft/EGLL.xml"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lf_learnedPathFor(c.apf), c.learned) << c.apf;
}

TEST_F(AirportTest, archiveInTheProgramFolderPathDoesNotDecide)
{
    testsupport::TempDir outer;
    const fs::path program = outer.path() / "archive" / "prog";
    fs::create_directories(program / "airports/my_ORBX");
    const fs::path before = fs::current_path();
    fs::current_path(program);
    const fs::path learned = lf_learnedPathFor(program / "airports/my_ORBX/YSSY.xml");
    fs::current_path(before);
    EXPECT_EQ(learned, fs::path("airports/learned/ORBX/YSSY.xml"));
}

TEST_F(AirportTest, publishersUnfitAsFolderNamesBecomeUnknown)
{
    for (const char* publisher : {"../x", "a\\b", "", "a/b", "c:", "..", "bell&#7;"}) {
        put("airports/my_thirdparty/EGLL.xml", std::string("<parameters><parameter name=\"publisher\" value=\"") +
                                                   publisher + "\"/></parameters>");
        EXPECT_EQ(lf_learnedPathFor("airports/my_thirdparty/EGLL.xml"),
                  fs::path("airports/learned/thirdparty/unknown/EGLL.xml"))
            << publisher;
    }
    EXPECT_GE(logLinesWith("is no folder name"), 6);
}

TEST_F(AirportTest, fileOutsideTheTreeGetsItsPublishersFolderNeverItself)
{
    put("elsewhere/EDDF.xml", "<parameters><parameter name=\"publisher\" value=\"ORBX\"/></parameters>");
    EXPECT_EQ(lf_learnedPathFor("elsewhere/EDDF.xml"), fs::path("airports/learned/ORBX/EDDF.xml"));
    put("airports/learned/stock/EDDF.xml", "<parameters><parameter name=\"publisher\" value=\"stock\"/></parameters>");
    EXPECT_EQ(lf_learnedPathFor("airports/learned/stock/EDDF.xml"),
              fs::path("airports/learned/thirdparty/unknown/EDDF.xml"));
}

// ---- quality factor

TEST_F(AirportTest, qualityFactorWorkedExample)
{
    standtest::StandBuilder b;
    b.stand("A", 0, 0, 0.02 * 1852).option("DLH", "A320", 3, "1,2,3,4");
    EXPECT_EQ(gf_computeQualityFactor(b.build()), (tzo::QualityPair{63, 0}));
    EXPECT_EQ(gf_computeQualityFactor(std::vector<tzo::ParkPos>{}), (tzo::QualityPair{-1, -1}));
}

TEST_F(AirportTest, qualityFactorWeightsAndCaps)
{
    // Big stands weigh more; many options and half-hours are capped.
    standtest::StandBuilder b;
    b.stand("small", 0, 0, 5 * 1852);
    b.stand("mid", 100, 0, 9 * 1852).option("DLH", "A320", 1, tzo::kAllHalfHours);
    for (std::uint32_t i = 0; i < 300; ++i)
        b.option("DLH", "A320", 1 + i % 7, tzo::kAllHalfHours, true);
    b.stand("large", 200, 0, 12 * 1852).option("DLH", "A320", 9, "1");
    const auto q = gf_computeQualityFactor(b.build());
    // real: (1.5 x (10000+20+100+96) + 1.0 x (10000+20+0+2)) / 2.8 x 0.00625
    EXPECT_EQ(q.real, static_cast<int>(std::round((1.5 * 10216 + 10022) / (0.30000001192092896 + 2.5) * 0.00625)));
    // soft: 300 options count as 200 and 14,400 half-hours as 600:
    // 1.5 x (10000 + 4000 + 700 + 1200) / 2.8 x 0.00625
    EXPECT_EQ(q.soft, 53);
}

TEST_F(AirportTest, qualityFactorTextForms)
{
    EXPECT_EQ(gf_formatQualityFactor({7, -1}), " 7/-1");
    EXPECT_EQ(gf_formatQualityFactor({63, 0}), "63");
    EXPECT_EQ(gf_formatQualityFactor({-1, -1}), "  ");
}

TEST_F(AirportTest, maxFitIsClampedAndShownInHours)
{
    lf_setMaxFit(60);
    EXPECT_EQ(MAX_FIT.value(), 47);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 24.0f);
    lf_setMaxFit(0);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 0.5f);
    EXPECT_EQ(logLinesWith("(max number of half hours, is 24 hrs decimal)"), 1);
}
