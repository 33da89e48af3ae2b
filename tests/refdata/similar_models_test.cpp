#include "refdata/similar_models.hpp"
#include "foundation/settings.hpp"
#include "refdata_fixture.hpp"

#include <algorithm>
#include <map>
#include <set>

using testsupport::DbaseFile;
using testsupport::RefdataTest;
using tzo::AircraftCategory;

namespace {

// Random choices off for the duration of a test, so lists keep their order.
struct RandomOff {
    bool old = RANDOM.value();
    RandomOff() { RANDOM.setValue(false); }
    ~RandomOff() { RANDOM.setValue(old); }
};

// A livery catalogue in miniature: airline -> models it has liveries of.
struct Catalogue {
    std::map<std::string, std::set<std::string>> liveries;
    std::map<AircraftCategory, std::vector<std::string>> installed;

    LiveryCatalogueQueries queries()
    {
        LiveryCatalogueQueries q;
        q.hasModelLivery = [this](const std::string& model) {
            for (const auto& [airline, models] : liveries)
                if (models.contains(model))
                    return true;
            return false;
        };
        q.hasAirlineModelLivery = [this](const std::string& airline, const std::string& model) {
            const auto it = liveries.find(airline);
            return it != liveries.end() && it->second.contains(model);
        };
        q.liveryAirlines = [this] {
            std::vector<std::string> out;
            for (const auto& [airline, models] : liveries)
                out.push_back(airline);
            return out;
        };
        q.installedModels = [this](AircraftCategory c) { return installed[c]; };
        return q;
    }
};

using List = std::vector<std::string>;

} // namespace

TEST_F(RefdataTest, similarModelsFromGroupsAndInstalledLiveries)
{
    auto file = DbaseFile::minimal();
    file.models("aircrafts", "aircraft", {"A319", "A321", "B748"})
        .models("large", "lar", {"A319", "A321"})
        .models("heavy", "hvy", {"B748"})
        .similar({"A321", "A320", "A319"})
        .similar({"A320", "B738"}) // A320 stands in two groups
        .similar({"B744", "B748"})
        .similar({"C172", "C182"});
    ASSERT_TRUE(read(file));
    RandomOff randomOff;

    Catalogue catalogue;
    catalogue.liveries = {{"DLH", {"A320", "A321", "B748"}}, {"KLM", {"A319", "B738"}}};
    gf_installLiveryCatalogueQueries(catalogue.queries());
    gf_buildSimilarModels();

    // Lists hold the other models of the group that have a livery, in group
    // order; a model in two groups keeps the list of the text sorting first
    // ("A320,A319,A321" before "A320,B738").
    EXPECT_EQ(g_similarModels.at("A319"), (List{"A320", "A321"}));
    EXPECT_EQ(g_similarModels.at("A320"), (List{"A319", "A321"}));
    EXPECT_EQ(g_similarModels.at("B738"), (List{"A320"}));
    EXPECT_EQ(g_similarModels.at("B744"), (List{"B748"}));
    EXPECT_FALSE(g_similarModels.contains("B748")) << "its only partner has no livery";
    EXPECT_FALSE(g_similarModels.contains("C172"));
    EXPECT_EQ(logLinesWith("5 similar model definitions"), 1);

    // With random choices off the lists come back in their order; with them
    // on each caller gets its own shuffled copy and the map keeps its order.
    EXPECT_EQ(gf_similarModels("A319"), (List{"A320", "A321"}));
    RANDOM.setValue(true);
    for (int i = 0; i < 20; ++i) {
        auto shuffled = gf_similarModels("A319");
        std::sort(shuffled.begin(), shuffled.end());
        EXPECT_EQ(shuffled, (List{"A320", "A321"}));
    }
    EXPECT_EQ(g_similarModels.at("A319"), (List{"A320", "A321"}));
    RANDOM.setValue(false);

    // Per airline: only models it has no livery of, with substitutes it has.
    EXPECT_EQ(gf_airlineSimilarModels("DLH", "A319"), (List{"A320", "A321"}));
    EXPECT_EQ(gf_airlineSimilarModels("DLH", "B744"), (List{"B748"}));
    EXPECT_EQ(gf_airlineSimilarModels("DLH", "B738"), (List{"A320"}));
    EXPECT_TRUE(gf_airlineSimilarModels("DLH", "A320").empty()) << "DLH has A320 itself";
    EXPECT_EQ(gf_airlineSimilarModels("KLM", "A320"), (List{"A319"}));
    EXPECT_TRUE(gf_airlineSimilarModels("KLM", "B744").empty());
    EXPECT_TRUE(gf_airlineSimilarModels("AFR", "A320").empty());

    // Building again only adds: what is there keeps its list.
    catalogue.liveries["DLH"].insert("A319");
    gf_buildSimilarModels();
    EXPECT_EQ(g_similarModels.at("A320"), (List{"A319", "A321"}));
    EXPECT_EQ(gf_airlineSimilarModels("DLH", "A319"), (List{"A320", "A321"}));
}

TEST_F(RefdataTest, modelWithoutDefinitionGetsAnInstalledOneOfSmallCategories)
{
    ASSERT_TRUE(read(DbaseFile::minimal()));
    Catalogue catalogue;
    gf_installLiveryCatalogueQueries(catalogue.queries());
    gf_buildSimilarModels();

    EXPECT_TRUE(gf_similarModels("C172").empty()) << "no Light model installed";
    catalogue.installed[AircraftCategory::Light] = {"PA28", "C152"};
    catalogue.installed[AircraftCategory::Buzjets] = {"C25A"};
    catalogue.installed[AircraftCategory::Heavy] = {"B744"};
    catalogue.installed[AircraftCategory::Rotorcraft] = {""};

    const auto light = gf_similarModels("C172");
    ASSERT_EQ(light.size(), 1u);
    EXPECT_TRUE(light[0] == "PA28" || light[0] == "C152");
    EXPECT_EQ(gf_similarModels("C25A"), (List{"C25A"}));
    EXPECT_TRUE(gf_similarModels("B744").empty()) << "Heavy models get no random stand-in";
    EXPECT_TRUE(gf_similarModels("EC35").empty()) << "an empty pick is none";
}

TEST_F(RefdataTest, similarModelsWithoutCatalogueAreEmpty)
{
    auto file = DbaseFile::minimal();
    file.similar({"A320", "B744"});
    ASSERT_TRUE(read(file));
    gf_buildSimilarModels();
    EXPECT_TRUE(g_similarModels.empty());
    EXPECT_TRUE(gf_similarModels("C172").empty());
}

TEST_F(RefdataTest, modelNamedTwiceInAGroupIsNoStandInForItself)
{
    auto file = DbaseFile::minimal();
    file.similar({"A320", "A321", "A320"});
    ASSERT_TRUE(read(file));
    ASSERT_EQ(g_similarTypesGroups.size(), 1u);
    EXPECT_EQ(g_similarTypesGroups[0], (List{"A320", "A321"}));
    RandomOff randomOff;

    Catalogue catalogue;
    catalogue.liveries = {{"DLH", {"A320", "A321"}}, {"KLM", {"A320"}}};
    gf_installLiveryCatalogueQueries(catalogue.queries());
    gf_buildSimilarModels();
    EXPECT_EQ(g_similarModels.at("A320"), (List{"A321"}));
    EXPECT_EQ(g_similarModels.at("A321"), (List{"A320"}));
}
