#include "liveries_fixture.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/paths.hpp"

using testsupport::LiveriesTest;

namespace {

struct CodeFixesTest : LiveriesTest {
    void writeFixes(const std::string& body)
    {
        testsupport::writeFile(dir / "input" / "fixes.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + body);
    }
};

} // namespace

TEST_F(CodeFixesTest, everyEntryIsCheckedAsItIsRead)
{
    writeFixes(R"(<fixes>
  <fix wrong="B73H" correct="B738"/>
  <fix wrong="B73H" correct="A321"/>
  <fix wrong="A32X" correct="A32X"/>
  <fix wrong="B7X"/>
  <other wrong="E19" correct="E190"/>
</fixes>
<PVT_fixes>
  <fix wrong="PRV"/>
  <fix wrong="AAL"/>
  <fix/>
  <fix wrong="PRV"/>
</PVT_fixes>
<GOV_fixes>
  <fix wrong="USG"/>
  <fix wrong="KLM"/>
</GOV_fixes>
)");
    EXPECT_TRUE(gf_readFixesXml());
    EXPECT_EQ(tzo::codeFixes, (std::unordered_map<std::string, std::string>{{"B73H", "B738"}}));
    EXPECT_EQ(tzo::pvtFixes, (std::set<std::string>{"", "PRV"}));
    EXPECT_EQ(tzo::govFixes, std::set<std::string>{"USG"});

    for (const char* line : {"===> wrong part of fix: B73H, already exists, skipped",
                             "===> wrong fix A32X->A32X, the latter is not a valid model",
                             "===> wrong fix B7X->, the latter is not a valid model",
                             "===> PVT fix AAL is an ICAO airline code? ", "===> wrong: PRV, already exists, skipped",
                             "===> GOV fix KLM is an ICAO airline code? ", "\"input/fixes.xml\" read"})
        EXPECT_EQ(logLinesWith(line), 1) << line;
    EXPECT_EQ(logLinesWith("E19"), 0);
}

TEST_F(CodeFixesTest, readingAgainKeepsTheTablesAndLogsEachEntry)
{
    writeFixes(R"(<fixes><fix wrong="B73H" correct="B738"/></fixes><GOV_fixes><fix wrong="USG"/></GOV_fixes>)");
    EXPECT_FALSE(gf_readFixesXml());
    EXPECT_FALSE(gf_readFixesXml());
    EXPECT_EQ(tzo::codeFixes.size(), 1u);
    EXPECT_EQ(tzo::govFixes.size(), 1u);
    EXPECT_EQ(logLinesWith("wrong part of fix: B73H, already exists, skipped"), 1);
    EXPECT_EQ(logLinesWith("wrong: USG, already exists, skipped"), 1);
}

TEST_F(CodeFixesTest, fileWithoutSectionsLeavesTheTablesEmpty)
{
    writeFixes("<fix_list><fix wrong=\"B73H\" correct=\"B738\"/></fix_list>");
    EXPECT_FALSE(gf_readFixesXml());
    EXPECT_TRUE(tzo::codeFixes.empty());
    EXPECT_TRUE(tzo::pvtFixes.empty());
    EXPECT_TRUE(tzo::govFixes.empty());
}

TEST_F(CodeFixesTest, missingOrDamagedFileIsUserError3)
{
    for (const bool damaged : {false, true}) {
        if (damaged)
            writeFixes("<fixes><fix wrong=\"B73H\" correct=\"B738\"></fixes>");
        try {
            gf_readFixesXml();
            ADD_FAILURE() << "no exception, damaged " << damaged;
        } catch (const tzo::UserErrorException& e) {
            EXPECT_EQ(e.code(), 3);
            EXPECT_NE(std::string(e.what()).find("input/fixes.xml (or sections of it) not found?"), std::string::npos);
        }
    }
}
