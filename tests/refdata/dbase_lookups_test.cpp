#include "refdata/aircraft_category.hpp"
#include "refdata/dbase_lookups.hpp"
#include "refdata_fixture.hpp"

#include <stdexcept>

using testsupport::DbaseFile;
using testsupport::RefdataTest;
using tzo::AircraftCategory;

TEST_F(RefdataTest, registrationFoundExactlyOrWithTheDashAdded)
{
    auto file = DbaseFile::minimal();
    file.record("N1-2345", "DLH", "A320")
        .record("N-54321", "KLM", "B744", "BOX", "1")
        .record("DA-BCD", "DLH", "A320")
        .record("D-ABCD", "KLM", "E190")
        .record("PH-BXB", "KLM", "B744")
        .record("ABCD", "DLH", "C172");
    ASSERT_TRUE(read(file));

    struct Case {
        const char* registration;
        const char* airline; // nullptr: not found
    };
    const Case cases[] = {
        {"PH-BXB", "KLM"},  // exact
        {"N12345", "DLH"},  // as N1-2345
        {"N54321", "KLM"},  // not as N5-4321, then as N-54321
        {"DABCD", "DLH"},   // DA-BCD wins over D-ABCD
        {"PH-BXA", nullptr},// holds a '-': no retry
        {"ABCE", nullptr},  // 4 characters: no retry
        {"PHBXA", nullptr}, // neither PH-BXA nor P-HBXA
    };
    for (const auto& c : cases) {
        const auto record = gf_findDbaseRecord(c.registration);
        EXPECT_EQ(gf_hasDbaseRecord(c.registration), c.airline != nullptr) << c.registration;
        if (c.airline == nullptr) {
            EXPECT_FALSE(record) << c.registration;
            EXPECT_EQ(gf_typeOfRegcode(c.registration), "") << c.registration;
            continue;
        }
        EXPECT_EQ(gf_airlineOfRegcode(c.registration), c.airline) << c.registration;
    }
    EXPECT_EQ(gf_typeOfRegcode("N54321"), "B744");
    EXPECT_EQ(gf_operatorOfRegcode("N54321"), "BOX");
    EXPECT_TRUE(gf_findDbaseRecord("N54321")->cargo);
}

TEST_F(RefdataTest, categoriesInTheirOrder)
{
    auto file = DbaseFile::minimal();
    // Models listed in two sets take the first of the order Large, Heavy,
    // Buzjets, Rotorcraft, HighPerf.
    file.models("aircrafts", "aircraft", {"LH", "BH", "RH", "HR"})
        .models("large", "lar", {"LH"})
        .models("heavy", "hvy", {"LH", "HR"})
        .models("buzjet", "bzj", {"BH"})
        .models("high_performance", "hpf", {"BH", "RH"})
        .models("rotorcraft", "rot", {"RH", "HR"});
    ASSERT_TRUE(read(file));

    const std::pair<const char*, AircraftCategory> cases[] = {
        {"F16", AircraftCategory::HighPerf},   {"PA28", AircraftCategory::Light},
        {"LH", AircraftCategory::Large},       {"BH", AircraftCategory::Buzjets},
        {"RH", AircraftCategory::Rotorcraft},  {"HR", AircraftCategory::Heavy},
        {"a320", AircraftCategory::Light},     // codes are compared exactly
    };
    for (const auto& [model, category] : cases)
        EXPECT_EQ(gf_modelCategory(model), category) << model;

    EXPECT_FALSE(gf_isKnownModel("PA28"));
    EXPECT_FALSE(gf_isIcaoAirline("dlh"));
    EXPECT_FALSE(gf_isIcaoAirline("BOX")) << "cargo operators are not consulted";
}

TEST(AircraftCategory, categoryOutOfRangeIsRefused)
{
    EXPECT_THROW(gf_categoryName(static_cast<AircraftCategory>(6)), std::out_of_range);
    EXPECT_THROW(gf_categoryValues(static_cast<AircraftCategory>(6)), std::out_of_range);
}
