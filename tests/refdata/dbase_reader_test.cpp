#include "foundation/exceptions.hpp"
#include "foundation/text_file.hpp"
#include "refdata/dbase_lookups.hpp"
#include "refdata_fixture.hpp"

#include <fmt/format.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <set>

using testsupport::DbaseFile;
using testsupport::RefdataTest;
using testsupport::scrambleModelCode;
using tzo::AircraftCategory;
namespace fs = std::filesystem;

namespace {

constexpr double kNm = 1.0 / 1852.0;

using Codes = std::set<std::string>;

// Every table filled: the file the lookup tests also use.
DbaseFile completeFile()
{
    auto file = DbaseFile::minimal();
    file.models("aircrafts", "aircraft", {"A321", "B77W", "CL60"})
        .models("large", "lar", {"A321"})
        .models("heavy", "hvy", {"B77W"})
        .models("buzjet", "bzj", {"CL60"})
        .similar({"A321", "A320"})
        .similar({"B77W", "B744"})
        .publisher("Alpha Scenery,alpha_,ALP[0-9]+")
        .publisher("Beta Works,beta")
        .wingspan("A320", "35.8")
        .wingspan("B744", "64.4")
        .wingspan("C172", "11")
        .record("D-AIBC", "DLH", "A320", "", "0")
        .record("PH-BXA", "KLM", "B744", "", "")
        .record("N12-345", "BOX", "B744", "DLH", "1")
        .record("G-ABCD", "", "C172", "", "true");
    return file;
}

} // namespace

TEST_F(RefdataTest, completeFileFillsEveryTable)
{
    ASSERT_TRUE(read(completeFile()));

    EXPECT_EQ(g_validModels, (Codes{"A320", "A321", "B744", "B77W", "C172", "C25A", "CL60", "E190", "EC35", "F16"}));
    EXPECT_EQ(g_heavyModels, (Codes{"B744", "B77W"}));
    EXPECT_EQ(g_cargoOperators, (Codes{"BOX"}));

    ASSERT_EQ(g_similarTypesGroups.size(), 2u);
    EXPECT_EQ(g_similarTypesGroups[0], (std::vector<std::string>{"A320", "A321"})) << "groups are sorted";
    EXPECT_EQ(g_similarTypesGroups[1], (std::vector<std::string>{"B744", "B77W"}));

    EXPECT_EQ(g_publisherGroups[0], (std::vector<std::string>{"Alpha Scenery", "alpha_", "ALP[0-9]+"}));
    ASSERT_EQ(g_wingspans.size(), 3u);
    EXPECT_DOUBLE_EQ(g_wingspans.at("A320"), 35.8 * 0.5 * kNm);
    EXPECT_DOUBLE_EQ(g_largestHalfSpanNm, 64.4 * 0.5 * kNm);

    ASSERT_EQ(g_dbaseRecords.size(), 4u);
    EXPECT_EQ(g_dbaseRecords.at("D-AIBC"), (tzo::DbaseRecord{"DLH", "A320", "", false}));
    EXPECT_EQ(g_dbaseRecords.at("N12-345"), (tzo::DbaseRecord{"BOX", "B744", "DLH", true}));
    EXPECT_EQ(g_dbaseRecords.at("G-ABCD"), (tzo::DbaseRecord{"", "C172", "", true}))
        << "a record without airline keeps an empty one";

    EXPECT_EQ(logLinesWith("4 dbase records from \"input/dbase.xml\" read"), 1);
}

// Missing, broken, or refused for its kind or size: the error says which,
// never the XML library's "Error reading from file/stream".
TEST_F(RefdataTest, missingOrBrokenFileIsUserError60)
{
    const fs::path file = dir / "input" / "dbase.xml";
    const struct {
        std::function<void()> make;
        std::string why;
    } cases[] = {
        {[] {}, " because of File was not found"},
        {[&] { testsupport::writeFile(file, "<aircrafts><aircraft types=\"x\"></aircrafts>"); }, " because of "},
        {[&] {
             fs::remove(file);
             fs::create_directory(file);
         },
         ": it is not a regular file"},
        {[&] {
             fs::remove(file);
             testsupport::writeFile(file, "<aircrafts/>");
             fs::resize_file(file, kMaxXmlFileBytes + 1); // sparse: no disk taken
         },
         ": it is larger than 268435456 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        c.make();
        try {
            gf_readDbase();
            ADD_FAILURE() << "no exception";
        }
        catch (const tzo::UserErrorException& e) {
            EXPECT_EQ(e.code(), 60);
            EXPECT_NE(std::string(e.what()).find("\"input/dbase.xml\" not read" + c.why), std::string::npos)
                << e.what();
            EXPECT_EQ(std::string(e.what()).find("Error reading"), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(g_validModels.empty()) << "nothing is filled from a broken file";
}

TEST_F(RefdataTest, missingOrEmptyRequiredSectionIsUserError61)
{
    struct Case {
        const char* section;
        const char* element;
        const char* attribute;
    };
    const Case cases[] = {
        {"aircrafts", "aircraft", "types"},     {"high_performance", "hpf", "types"},
        {"heavy", "hvy", "types"},              {"large", "lar", "types"},
        {"buzjet", "bzj", "types"},             {"rotorcraft", "rot", "types"},
        {"cargo_types", "cargo_type", "types"}, {"ICAO_airlines", "ICAO", "codes"},
        {"cargo_operators", "ICAO", "codes"},
    };
    for (const auto& c : cases) {
        for (const bool present : {false, true}) {
            testsupport::clearReferenceData();
            auto file = DbaseFile::minimal().without(c.section);
            if (present) {
                // Elements without the attribute, with only blanks, or of
                // another name give no item either.
                file.raw(c.section, c.element).raw(c.section, std::string(c.element) + " " + c.attribute + "=\" , \"");
                file.raw(c.section, std::string("other ") + c.attribute + "=\"ABC\"");
            }
            try {
                read(file);
                ADD_FAILURE() << c.section << " present=" << present << ": no exception";
            }
            catch (const tzo::UserErrorException& e) {
                EXPECT_EQ(e.code(), 61);
                const auto expected = fmt::format("In an xml file section {} {} {} is empty ", c.section,
                                                  c.element, c.attribute);
                EXPECT_EQ(std::string(e.what()), "61: " + expected) << c.section;
            }
        }
    }
}

TEST_F(RefdataTest, optionalSectionsMayBeMissing)
{
    ASSERT_TRUE(read(DbaseFile::minimal()));
    EXPECT_TRUE(g_dbaseRecords.empty());
    EXPECT_EQ(gf_wingspanOf("A320"), 0.0);
    EXPECT_EQ(logLinesWith("0 dbase records from"), 1);
}

TEST_F(RefdataTest, emptyListItemsAreDropped)
{
    auto file = DbaseFile::minimal();
    // ",,", a trailing comma, blanks and line ends around items.
    file.raw("aircrafts", "aircraft types=\" " + testsupport::xmlEscaped(scrambleModelCode("DH8D")) + " ,, \n\t" +
                              testsupport::xmlEscaped(scrambleModelCode("AT76")) + ",\"");
    file.raw("similar_types", "similar types=\",,\"");
    ASSERT_TRUE(read(file));
    EXPECT_TRUE(g_validModels.contains("DH8D"));
    EXPECT_TRUE(g_validModels.contains("AT76"));
    EXPECT_FALSE(g_validModels.contains(""));
    EXPECT_TRUE(g_similarTypesGroups.empty()) << "a group without models is no group";
}

TEST_F(RefdataTest, duplicateRegistrationKeepsTheFirstRecord)
{
    auto file = DbaseFile::minimal();
    file.record("D-AIBC", "DLH", "A320").record("D-AIBC", "KLM", "B744");
    ASSERT_TRUE(read(file));
    ASSERT_EQ(g_dbaseRecords.size(), 1u);
    EXPECT_EQ(g_dbaseRecords.at("D-AIBC").airl, "DLH");
    EXPECT_EQ(logLinesWith("===> regcode D-AIBC already exists"), 1);
}

TEST_F(RefdataTest, badRecordIsSkippedAndTheRestRead)
{
    auto file = DbaseFile::minimal();
    const auto stored = gf_scrambleRegcode("OO-SNA");
    file.record("D-AIBC", "DLH", "A320")
        .raw("dbase", "db reg=\"" + testsupport::xmlEscaped(stored) + "\" airl=\"ABCDE\" type=\"" +
                          testsupport::xmlEscaped(scrambleModelCode("A320")) + "\"")
        .raw("dbase", "db reg=\"" + testsupport::xmlEscaped(gf_scrambleRegcode("EI-ABC")) + "\" opr=\"TOOLONGX\"")
        .raw("dbase", "db reg=\"" + testsupport::xmlEscaped(gf_scrambleRegcode("F-GKXA")) + "\" airl=\"AFR\"")
        .record("PH-BXA", "KLM", "B744");
    ASSERT_TRUE(read(file));
    EXPECT_EQ(g_dbaseRecords.size(), 3u);
    EXPECT_FALSE(g_dbaseRecords.contains("OO-SNA"));
    EXPECT_FALSE(g_dbaseRecords.contains("EI-ABC"));
    EXPECT_TRUE(g_dbaseRecords.contains("PH-BXA")) << "records after the bad ones are read";
    EXPECT_EQ(logLinesWith("===> dbase record OO-SNA skipped: decrypt airl \"ABCDE\" error"), 1);
    EXPECT_EQ(logLinesWith("decrypt airl \"TOOLONGX\" error"), 1);

    // A stored airline of 3 characters is taken as it is, with a line.
    EXPECT_EQ(g_dbaseRecords.at("F-GKXA").airl, "AFR");
    EXPECT_EQ(logLinesWith("Unencrypted airline AFR in decrypt airl?"), 1);
}

TEST_F(RefdataTest, badAirlineCodeInAListCostsOnlyItself)
{
    auto file = DbaseFile::minimal();
    file.raw("ICAO_airlines", "ICAO codes=\"TOOLONGCODE," + testsupport::xmlEscaped(testsupport::scrambleAirline("SWR")) + "\"");
    ASSERT_TRUE(read(file));
    EXPECT_EQ(g_icaoAirlines, (Codes{"DLH", "KLM", "SWR"}));
    EXPECT_EQ(logLinesWith("decrypt airl \"TOOLONGCODE\" error"), 1);
}

TEST_F(RefdataTest, tooShortStoredModelCodeIsRefused)
{
    auto file = DbaseFile::minimal();
    file.raw("aircrafts", "aircraft types=\"Q\"").raw("wingspans", "wingspan type=\"Q\" meters=\"10\"");
    ASSERT_TRUE(read(file));
    EXPECT_EQ(g_validModels.size(), 7u);
    EXPECT_FALSE(g_validModels.contains(""));
    EXPECT_TRUE(g_wingspans.empty());
    EXPECT_EQ(logLinesWith("stored code \"Q\" too short"), 2);
}

TEST_F(RefdataTest, wingspansOwnAveragedAndBad)
{
    auto file = DbaseFile::minimal();
    file.wingspan("A320", "36")
        .wingspan("A320", "50")   // a model keeps its first value
        .wingspan("B744", "64")
        .wingspan("C172", "10m")  // the number the text starts with
        .wingspan("E190", " 30 metres") // Light too: average of C172 and E190
        .wingspan("F16", "nan")
        .wingspan("C25A", "-12")
        .wingspan("EC35", "0")
        .wingspan("EC35", "1e999")
        .wingspan("EC35", "ten")
        .raw("wingspans", "wingspan type=\"" + testsupport::xmlEscaped(scrambleModelCode("EC35")) + "\"")
        .wingspan("ZZZZ", "20"); // unknown model
    ASSERT_TRUE(read(file));

    EXPECT_DOUBLE_EQ(gf_wingspanOf("A320"), 36 * 0.5 / 1852);
    EXPECT_DOUBLE_EQ(g_largestHalfSpanNm, 64 * 0.5 * kNm);
    EXPECT_EQ(g_wingspans.size(), 4u);
    EXPECT_FALSE(g_wingspans.contains("ZZZZ"));
    EXPECT_EQ(logLinesWith("===> wingspan model ZZZZ is no valid model, skipped"), 1);
    EXPECT_EQ(logLinesWith("of model EC35 is no length, skipped"), 4);
    EXPECT_EQ(logLinesWith("of model F16 is no length, skipped"), 1);
    EXPECT_EQ(logLinesWith("of model C25A is no length, skipped"), 1);

    const double light = (10 + 30) * 0.5 * kNm / 2;
    EXPECT_DOUBLE_EQ(g_categoryAverageHalfSpan[0], light);
    EXPECT_DOUBLE_EQ(gf_wingspanOf("PA28"), light) << "an unknown model is Light";

    // Categories without any wingspan take the mean of all, never NaN.
    const double all = (36 + 64 + 10 + 30) * 0.5 * kNm / 4;
    for (const auto c : {AircraftCategory::Buzjets, AircraftCategory::HighPerf, AircraftCategory::Rotorcraft}) {
        const double average = g_categoryAverageHalfSpan[static_cast<std::size_t>(c)];
        EXPECT_FALSE(std::isnan(average));
        EXPECT_DOUBLE_EQ(average, all) << gf_categoryName(c);
        EXPECT_EQ(logLinesWith(fmt::format("no wingspan of category {},", gf_categoryName(c))), 1);
    }
    EXPECT_DOUBLE_EQ(gf_wingspanOf("EC35"), all);
}

TEST_F(RefdataTest, wingspansOfUnknownModelsOnlyLeaveEverythingAtZero)
{
    auto file = DbaseFile::minimal();
    file.wingspan("ZZZZ", "20").wingspan("XX", "30");
    ASSERT_TRUE(read(file));
    EXPECT_EQ(g_largestHalfSpanNm, 0.0);
    for (const double average : g_categoryAverageHalfSpan)
        EXPECT_EQ(average, 0.0);
}
