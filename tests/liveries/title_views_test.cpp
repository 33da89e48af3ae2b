// Aircraft keep views of catalogue titles for as long as they exist; a
// processing after an in-process restart must leave every such view valid.
// Under the asan preset a moved or freed title is reported at the read.

#include "liveries/regcodes.hpp"
#include "catalogue_fixture.hpp"

#include <fmt/format.h>

using livtest::liv;
using livtest::CatalogueTest;
using namespace tzo;

namespace {

using TitleViewsTest = CatalogueTest;

} // namespace

TEST_F(TitleViewsTest, viewsStayValidWhenARestartAddsThousandsOfAirlines)
{
    const std::string shortTitle = "s";                 // held inside the string object
    const std::string longTitle(300, 'L');              // held on the heap
    process({liv("AAL", "B738", shortTitle, "N1"), liv("AAL", "B738", longTitle, "", 1, true),
             liv("BAW", "A320", "Speedbird")});

    const TitleView fromPax = paxLiveries.at("AAL").at("B738").at(0);
    const TitleView fromCargo = cargoLiveries.at("AAL").at("B738").at(0);
    const TitleView fromModel = paxModelLiveries.at("B738").at(0);
    const TitleView fromRegcode = regcodeLiveries.at("N1");
    ASSERT_EQ(fromPax, shortTitle);
    ASSERT_EQ(fromCargo, longTitle);

    // The restart: thousands of new airlines, and the old ones again with
    // other liveries, which must not replace the stored ones.
    std::vector<LiveryData> more{liv("AAL", "B738", "new AAL livery", "N1"), liv("AAL", "A321", "new AAL model")};
    for (int i = 0; i < 5000; ++i)
        more.push_back(liv(fmt::format("A{:04}", i), i % 2 ? "B738" : "A320", fmt::format("airline {} livery", i)));
    process(more);

    EXPECT_EQ(fromPax, shortTitle);
    EXPECT_EQ(fromCargo, longTitle);
    EXPECT_EQ(fromModel, shortTitle);
    EXPECT_EQ(fromRegcode, shortTitle);
    EXPECT_EQ(allLiveries.size(), 5002u);
    EXPECT_EQ(paxLiveries.at("AAL").at("B738").at(0).data(), fromPax.data());
    EXPECT_EQ(regcodeLiveries.at("N1"), shortTitle);
    // The livery of the already catalogued airline was not taken: its
    // in-line code names a title the catalogue does not hold.
    EXPECT_TRUE(lf_findLiveryTitle("new AAL livery").empty());
    EXPECT_TRUE(logHasLine(std::string(g_logMarker) +
                           "sys error: livery \"new AAL livery\" for a [AAL B738] with regcode N1 not available"));
}
