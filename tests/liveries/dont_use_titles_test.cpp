#include "liveries/dont_use_titles.hpp"
#include "catalogue_fixture.hpp"

using livtest::liv;
using livtest::CatalogueTest;
using testsupport::writeFile;
using namespace tzo;
namespace fs = std::filesystem;

namespace {

using DontUseTitlesTest = CatalogueTest;
using Texts = std::vector<std::string>;

} // namespace

TEST_F(DontUseTitlesTest, aigEntriesWithoutCodesAreTitlesNotToUse)
{
    writeFile(g_aigRegcodesPath, "<AIG-regcodes>"
                                 "<livery title=\"Broken livery\" reg=\"\"/>"
                                 "<livery title=\"Broken livery\"/>"
                                 "<livery title=\"Fine livery\" reg=\"N1\"/>"
                                 "<livery reg=\"\"/>"
                                 "</AIG-regcodes>");
    lf_readDontUseTitles();
    EXPECT_EQ(dontUseTitles, Texts{"Broken livery"});
    const std::string path = g_aigRegcodesPath.string();
    EXPECT_EQ(logLinesWith("don't use title \"Broken livery\" not unique in file " + path), 1);
    EXPECT_TRUE(logHasLine("1 don't use title read from files in " + path));
}

TEST_F(DontUseTitlesTest, anUnloadableAigFileCountsNothing)
{
    writeFile(g_aigRegcodesPath, "not xml <");
    dontUseTitles.push_back("from before");
    lf_readDontUseTitles();
    const std::string path = g_aigRegcodesPath.string();
    EXPECT_TRUE(logHasLine(std::string(g_logMarker) + "Failed to load regcode file " + path));
    EXPECT_TRUE(logHasLine("0 don't use titles read from files in " + path));
    EXPECT_EQ(dontUseTitles, Texts{"from before"});
}

TEST_F(DontUseTitlesTest, singleFieldsOfMoreThanEightBytesInTxtFiles)
{
    const fs::path file = g_myRegcodesFolder / "user.TXT";
    writeFile(file, "12345678\r\n"          // 8 bytes: ignored
                    "123456789\r\n"         // 9 bytes: a title not to use
                    "  Old livery  \r\n"    // trimmed
                    "Old livery\r\n"        // repeated
                    "Old livery;N1\r\n"     // a registration line for the same title
                    "Other;N2\r\n"
                    "Other;N3\r\n"          // a registration line repeated
                    "\r\n");
    writeFile(g_myRegcodesFolder / "notes.md", "Ignored title of a file that is no TXT\n");
    gf_readDontUseTitleFiles();
    EXPECT_EQ(dontUseTitles, (Texts{"123456789", "Old livery"}));
    const std::string marker(g_logMarker);
    EXPECT_TRUE(logHasLine(marker + "don't use title \"Old livery\" not unique in file " + file.string()));
    EXPECT_TRUE(logHasLine(marker + "title \"Old livery\" not unique in file " + file.string()));
    EXPECT_TRUE(logHasLine(marker + "title \"Other\" not unique in file " + file.string()));
    EXPECT_TRUE(logHasLine("2 don't use titles read from files in " + g_myRegcodesFolder.string()));
}

TEST_F(DontUseTitlesTest, eachFileHasItsOwnTitleSet)
{
    writeFile(g_myRegcodesFolder / "a.txt", "Same title here\n");
    writeFile(g_myRegcodesFolder / "b.txt", "Same title here\n");
    gf_readDontUseTitleFiles();
    EXPECT_EQ(dontUseTitles, (Texts{"Same title here", "Same title here"}));
    EXPECT_EQ(logLinesWith("not unique"), 0);
}

TEST_F(DontUseTitlesTest, lowerPrioritiesOfAnAirlineAndModelArePruned)
{
    // Equal priorities of one airline and model are all kept (AAL B738 of 1, BAW A320 of 4).
    scannedLiveries = {liv("AAL", "B738", "aal 2", "", 2), liv("AAL", "B738", "aal 1", "", 1),
                       liv("BAW", "B738", "baw 2", "", 2), liv("AAL", "B738", "aal 1b", "", 1),
                       liv("AAL", "B738", "aal 3", "", 3), liv("BAW", "A320", "a", "", 4),
                       liv("BAW", "A320", "b", "", 4)};
    lf_reportDuplicateLiveries();
    Texts kept;
    for (const auto& l : scannedLiveries)
        kept.push_back(l.title);
    EXPECT_EQ(kept, (Texts{"aal 1", "baw 2", "aal 1b", "a", "b"}));
    EXPECT_EQ(skippedOnPriority, (std::list<std::string>{"AAL B738 \"aal 2\"", "AAL B738 \"aal 3\""}));
}
