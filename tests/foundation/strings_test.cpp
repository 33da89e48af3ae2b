#include "foundation/strings.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(StringsTest, trimRemovesBlanksTabsAndLineEnds)
{
    EXPECT_EQ(gf_trim(" \tx \r\n"), "x");
    EXPECT_EQ(gf_trim(" \t\r\n "), "");
}

TEST(StringsTest, splitKeepsEmptyItems)
{
    EXPECT_EQ(gf_splitSemicolon("a; b ;;c"), (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_EQ(gf_splitComma(" KLM , B738,"), (std::vector<std::string>{"KLM", "B738", ""}));
    EXPECT_EQ(gf_splitComma(""), (std::vector<std::string>{""}));
}

TEST(StringsTest, trimCommaListDropsBlanksOnlyWhenThereAreAny)
{
    EXPECT_EQ(gf_trimCommaList("a,b,,c"), "a,b,,c");
    EXPECT_EQ(gf_trimCommaList(" a , b,c "), "a,b,c");
}

TEST(StringsTest, extractPathTakesTheTextBetweenTheMarkers)
{
    EXPECT_EQ(gf_extractPath("  <Path>C:\\Addons\\X</Path>"), "C:\\Addons\\X");
    EXPECT_EQ(gf_extractPath("<Path>no end"), "");
    EXPECT_EQ(gf_extractPath("</Path> backwards <Path>"), "");
}

TEST(StringsTest, upperCasedAndWildcardComparisons)
{
    EXPECT_TRUE(gf_equalsUpperCased("KLM1", "klm1"));
    EXPECT_FALSE(gf_equalsUpperCased("klm", "klm")) << "a is not upper-cased";
    EXPECT_FALSE(gf_equalsUpperCased("KLM", "KL"));

    EXPECT_TRUE(gf_matchesWildcard("KLM", "KLM*"));
    EXPECT_FALSE(gf_matchesWildcard("KLM", "KLM"));
    EXPECT_FALSE(gf_matchesWildcard("KLM", "KL*"));
}

TEST(StringsTest, starBannerFramesTheText)
{
    EXPECT_EQ(gf_starBanner(70, 0, true, false, "parameters"),
              "\n" + std::string(34, '*') + " parameters " + std::string(34, '*'));
    EXPECT_EQ(gf_starBanner(69, 0, false, false, ""), std::string(70, '*')) << "rounded up to even";
    EXPECT_EQ(gf_starBanner(10, 0, true, true, "a text far too long"), "a text far too long\n")
        << "a long text stands alone, without the leading line end";
}
