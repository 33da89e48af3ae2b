#include "foundation/exceptions.hpp"
#include "foundation/version.hpp"

#include <gtest/gtest.h>

using tzo::Version;

TEST(Version, parsesDottedAndJsonTexts)
{
    struct Case {
        const char* text;
        Version expected;
    };
    const Case cases[] = {
        {"10.2.15", {10, 2, 15}},
        {"8-8-0", {8, 8, 0}}, // the separators match any character
        {R"({"major": 8, "minor": 9, "patch": 1})", {8, 9, 1}},
        {R"({"major": 8, "minor": 9})", {8, 9, 0}},
        {R"({"major": 8, "minor": "x", "patch": 1})", {8, 0, 0}},
        {R"({"major": 99999999999, "minor": 1, "patch": 1})", {0, 0, 0}},
        {"", {0, 0, 0}},
        {"[1,2,3]", {0, 0, 0}},
        {"8.8", {0, 0, 0}},
        {"1.99999999999.3", {1, 0, 0}}, // over-long number stops the parse there
        {"-1.2.3", {0, 0, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gf_parseVersion(c.text), c.expected) << c.text;
    }
    // An over-long text does not hurt either.
    EXPECT_EQ(gf_parseVersion(std::string(100000, '9')), Version{});
}

TEST(Version, comparesFieldByFieldAndPrints)
{
    EXPECT_GT(gf_parseVersion("8.10.0"), gf_parseVersion("8.9.5"));
    EXPECT_LT(gf_parseVersion("8.8.0"), gf_parseVersion("8.8.1"));
    EXPECT_EQ(gf_versionToString({-1, 0, 3}), "-1.0.3");
}

TEST(Exceptions, messagesAreTheFixedTexts)
{
    EXPECT_STREQ(tzo::UserErrorException(12, "no data").what(), "12: no data");
    EXPECT_STREQ(tzo::UserErrorException(99, "complete text").what(), "complete text");
    EXPECT_STREQ(tzo::SysErrorException(288, "wingspans").what(), "sys error 288: wingspans");
    // Every program exception is a runtime error, as the reporter sorts them.
    const winreg::RegException reg(2, "RegOpenKeyExW failed.");
    EXPECT_NO_THROW((void)dynamic_cast<const std::runtime_error&>(reg));
}
