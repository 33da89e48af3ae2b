#include "liveries/livery_maps.hpp"
#include "catalogue_fixture.hpp"
#include "refdata/similar_models.hpp"

#include <map>
#include <set>

using livtest::liv;
using livtest::CatalogueTest;
using testsupport::DbaseFile;
using namespace tzo;

namespace {

using LiveryMapsTest = CatalogueTest;

// A map of views as plain texts, sorted within each list where the order is
// not defined.
using Texts = std::vector<std::string>;

Texts texts(const std::vector<TitleView>& views, bool sorted = false)
{
    Texts out(views.begin(), views.end());
    if (sorted)
        std::sort(out.begin(), out.end());
    return out;
}

std::map<std::string, std::map<std::string, Texts>> plain(const TextMap<ModelTitles>& map)
{
    std::map<std::string, std::map<std::string, Texts>> out;
    for (const auto& [airline, models] : map)
        for (const auto& [model, titles] : models)
            out[airline][model] = texts(titles);
    return out;
}

std::map<std::string, Texts> plain(const ModelTitles& map)
{
    std::map<std::string, Texts> out;
    for (const auto& [model, titles] : map)
        out[model] = texts(titles, true);
    return out;
}

} // namespace

TEST_F(LiveryMapsTest, catalogueOfTwoAirlinesWithAPassengerAndACargoLivery)
{
    process({liv("AAL", "B738", "t1"), liv("AAL", "B738", "t2", "", 1, true), liv("BAW", "B738", "t3")});

    ASSERT_EQ(allLiveries.size(), 2u);
    const auto& aal = allLiveries.at("AAL").at("B738");
    ASSERT_EQ(aal.size(), 2u);
    EXPECT_TRUE(aal[1].cargo);

    using Airlines = std::map<std::string, std::map<std::string, Texts>>;
    EXPECT_EQ(plain(paxLiveries), (Airlines{{"AAL", {{"B738", {"t1"}}}}, {"BAW", {{"B738", {"t3"}}}}}));
    EXPECT_EQ(plain(cargoLiveries), (Airlines{{"AAL", {{"B738", {"t2"}}}}}));
    EXPECT_EQ(plain(paxModelLiveries), (std::map<std::string, Texts>{{"B738", {"t1", "t3"}}}));
    EXPECT_EQ(plain(cargoModelLiveries), (std::map<std::string, Texts>{{"B738", {"t2"}}}));
    EXPECT_TRUE(logHasLine("2 airlines, 1 pax aircraft models and 1 cargo aircraft models"));

    // Every view points into the one owner of the titles.
    EXPECT_EQ(paxLiveries.at("AAL").at("B738")[0].data(), aal[0].title.data());
    EXPECT_EQ(cargoModelLiveries.at("B738")[0].data(), aal[1].title.data());
}

TEST_F(LiveryMapsTest, anAirlineWithOnlyCargoLiveriesHasNoPassengerKey)
{
    process({liv("FDX", "B77L", "FedEx 1", "", 1, true), liv("FDX", "MD11", "FedEx 2", "", 1, true),
             liv("UAL", "B77L", "United")});
    EXPECT_FALSE(paxLiveries.contains("FDX"));
    EXPECT_EQ(cargoLiveries.at("FDX").size(), 2u);
    EXPECT_FALSE(paxModelLiveries.contains("MD11"));
    EXPECT_TRUE(gf_hasModelLivery("MD11"));
    EXPECT_TRUE(logHasLine("2 airlines, 1 pax aircraft models and 2 cargo aircraft models"));
}

TEST_F(LiveryMapsTest, anUnsortedListKeepsEveryLivery)
{
    // A hand-edited catalogue file: the second run of AAL B738 and of BAW
    // would be lost without the sorting.
    process({liv("AAL", "B738", "a1"), liv("BAW", "A320", "b1"), liv("AAL", "A320", "a2"), liv("AAL", "B738", "a3"),
             liv("BAW", "A320", "b2")});
    std::size_t count = 0;
    for (const auto& [airline, models] : allLiveries)
        for (const auto& [model, entries] : models)
            count += entries.size();
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(texts(paxLiveries.at("AAL").at("B738")), (Texts{"a1", "a3"}));
    EXPECT_EQ(texts(paxLiveries.at("BAW").at("A320")), (Texts{"b1", "b2"}));

    // Sorted stably: the order within one airline and model stays.
    std::vector<std::string> order;
    for (const auto& l : scannedLiveries)
        order.push_back(l.title);
    EXPECT_EQ(order, (Texts{"a2", "a1", "a3", "b1", "b2"}));
}

TEST_F(LiveryMapsTest, catalogueQueries)
{
    process({liv("AAL", "B738", "a"), liv("BAWX", "A320", "b"), liv("ZZZ", "C172", "generic", "", 1, true)});
    EXPECT_TRUE(gf_hasAirlineModelLivery("AAL", "B738"));
    EXPECT_FALSE(gf_hasAirlineModelLivery("AAL", "A320"));
    EXPECT_TRUE(gf_hasModelLivery("C172"));

    auto airlines = gf_liveryAirlines();
    std::sort(airlines.begin(), airlines.end());
    EXPECT_EQ(airlines, (Texts{"AAL", "BAW", "ZZZ"}));

    const TitleView found = lf_findLiveryTitle(std::string("generic"));
    EXPECT_EQ(found, "generic");
    EXPECT_EQ(found.data(), allLiveries.at("ZZZ").at("C172")[0].title.data());
    EXPECT_TRUE(lf_findLiveryTitle("not installed").empty());
}

TEST_F(LiveryMapsTest, similarModelsAskTheCatalogue)
{
    readDbase(DbaseFile::minimal().similar({"A320", "E190"}).models("rotorcraft", "rot", {"EC35", "H135"}));
    RANDOM.setValue(false);
    process({liv("DLH", "E190", "d1"), liv("KLM", "A320", "k1"), liv("ZZZ", "EC35", "heli")});
    RANDOM.setValue(RANDOM.defaultValue());
    EXPECT_EQ(g_similarModels.at("A320"), Texts{"E190"});
    EXPECT_EQ(g_airlineSimilarModels.at("DLH").at("A320"), Texts{"E190"});
    // A rotorcraft without a similar-types group gets an installed rotorcraft.
    EXPECT_EQ(gf_similarModels("H135"), Texts{"EC35"});
}
