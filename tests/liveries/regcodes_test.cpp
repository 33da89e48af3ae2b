#include "liveries/dont_use_titles.hpp"
#include "liveries/regcodes.hpp"
#include "catalogue_fixture.hpp"

using livtest::liv;
using livtest::CatalogueTest;
using testsupport::writeFile;
using namespace tzo;
namespace fs = std::filesystem;

namespace {

struct RegcodesTest : CatalogueTest {
    const fs::path offlineResult = g_outputInfoFolder / "OfflineRegcodes.txt";
    const fs::path inlineClashes = g_outputErrorsFolder / "InlineRegcodes.txt";

    static std::string titleOf(const std::string& code)
    {
        const auto it = regcodeLiveries.find(code);
        return it == regcodeLiveries.end() ? std::string("<none>") : std::string(it->second);
    }

    static std::vector<std::string> specials()
    {
        return {specialLiveries.begin(), specialLiveries.end()};
    }

    static void writeAig(const std::string& entries)
    {
        writeFile(g_aigRegcodesPath, "<?xml version=\"1.0\"?>\n<AIG-regcodes>" + entries + "</AIG-regcodes>\n");
    }

    static void writeOffline(const std::string& name, const std::string& text)
    {
        writeFile(g_myRegcodesFolder / name, text);
    }

    // The catalogue the registration files are checked against.
    static std::vector<LiveryData> installed()
    {
        return {liv("AAL", "B738", "American 1"), liv("AAL", "B738", "American 2"), liv("BAW", "A320", "Speedbird"),
                liv("DLH", "A320", "Lufthansa")};
    }
};

} // namespace

TEST_F(RegcodesTest, inlineCodesTheFirstOfAClashKeepsItAndTheClashIsWritten)
{
    process({liv("AAL", "B738", "American 1", "N12345"), liv("BAW", "A320", "Speedbird", "N12345"),
             liv("DLH", "A320", "Lufthansa", "D-AIPA")});
    EXPECT_EQ(titleOf("N12345"), "American 1");
    EXPECT_EQ(titleOf("D-AIPA"), "Lufthansa");
    EXPECT_EQ(fileLines(inlineClashes),
              std::vector<std::string>{"[BAW A320] N12345 \"Speedbird\" => in use by \"American 1\""});
    EXPECT_TRUE(logHasLine(std::string(g_logMarker) + "1 in-line regcode clashes, see \"" + inlineClashes.string() +
                           "\""));
    EXPECT_TRUE(logHasLine("2 registration codes"));
    // No registration file: nothing to report.
    EXPECT_FALSE(fs::exists(offlineResult));
}

TEST_F(RegcodesTest, theSameInlineCodeOfOneTitleUnderSeveralAirlinesIsNoClash)
{
    process({liv("AAL", "B738", "Shared", "N1"), liv("BAW", "B738", "Shared", "N1")});
    EXPECT_EQ(titleOf("N1"), "Shared");
    EXPECT_FALSE(fs::exists(inlineClashes));
}

TEST_F(RegcodesTest, aigEntryWithTwoSpecialCodes)
{
    writeAig("<livery title=\"Speedbird\" reg=\"G-EUUA, G-EUUB\" special=\"true\"/>"
             "<livery title=\"Not here\" reg=\"X-1\"/>"
             "<livery title=\"Lufthansa\" reg=\"\"/>"
             "<livery title=\"American 1\" reg=\"N1\"/>");
    process(installed());
    EXPECT_EQ(titleOf("G-EUUB"), "Speedbird");
    EXPECT_EQ(titleOf("X-1"), "<none>");
    EXPECT_EQ(specials(), (std::vector<std::string>{"Speedbird", "Speedbird"}));
    EXPECT_EQ(fileLines(offlineResult),
              (std::vector<std::string>{
                  "Processing " + g_aigRegcodesPath.string(),
                  g_aigRegcodesPath.string() + ": 3 new regcodes added, 2 regcodes defined as special"}));
    EXPECT_TRUE(logHasLine("Offline regcode files processed, results can be found in \"" + offlineResult.string() +
                           "\""));
    EXPECT_TRUE(logHasLine("2 special liveries"));
}

TEST_F(RegcodesTest, anUnloadableAigFileIsReported)
{
    writeFile(g_aigRegcodesPath, "<AIG-regcodes><livery title=");
    process(installed());
    EXPECT_EQ(fileLines(offlineResult),
              (std::vector<std::string>{"Processing " + g_aigRegcodesPath.string(),
                                        std::string(g_logMarker) + " Failed to load regcode file " +
                                            g_aigRegcodesPath.string()}));
}

TEST_F(RegcodesTest, offlineLines)
{
    const fs::path file = g_myRegcodesFolder / "mine.txt";
    writeOffline("mine.txt", "American 1;N1\r\n"             // one code: special without "#"
                             "American 2;N2,N3\r\n"          // two codes: not special
                             "Speedbird;G-1,G-2;#\r\n"       // special by "#"
                             "Lufthansa;D-1;x\r\n"           // third field not "#": ignored
                             "Lufthansa;D-2;#;extra\r\n"     // four fields: wrong format
                             "Not installed;Z-1\r\n"         // passed over
                             "Lufthansa;ABCDEFGHIJKLM\r\n"   // 13 bytes: wrong length
                             "Lufthansa;\r\n"                // no code
                             "a title not to use\r\n"        // one field
                             "\r\n");
    process(installed());
    EXPECT_EQ(titleOf("N1"), "American 1");
    EXPECT_EQ(titleOf("N3"), "American 2");
    EXPECT_EQ(titleOf("G-2"), "Speedbird");
    EXPECT_EQ(titleOf("D-1"), "<none>");
    EXPECT_EQ(titleOf("Z-1"), "<none>");
    EXPECT_EQ(specials(), (std::vector<std::string>{"American 1", "Speedbird", "Speedbird"}));
    const std::string marker(g_logMarker);
    EXPECT_EQ(fileLines(offlineResult),
              (std::vector<std::string>{
                  "Processing files in " + g_myRegcodesFolder.string(),
                  marker + file.string() + " wrong format: Lufthansa;D-2;#;extra",
                  marker + "wrong regcode length \"ABCDEFGHIJKLM\" in " + file.string(),
                  file.string() + ": 5 new regcodes added, 3 regcodes defined as special"}));
}

// The user's files are written in whatever editor: a byte-order mark or
// UTF-16 costs neither the first line nor the file.
TEST_F(RegcodesTest, userFilesOfEveryEncodingGiveEveryLine)
{
    const std::string text = "American 1;N1\r\nA title not to use\r\nSpeedbird;G-1\r\n";
    const auto utf16 = [&](bool bigEndian) {
        std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const char c : text)
            bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
        return bytes;
    };
    const std::pair<const char*, std::string> files[] = {
        {"UTF-8", text}, {"UTF-8 with mark", "\xEF\xBB\xBF" + text}, {"UTF-16 LE", utf16(false)},
        {"UTF-16 BE", utf16(true)}};
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        fs::remove_all(g_myRegcodesFolder);
        writeOffline("mine.txt", bytes);
        dontUseTitles.clear();
        gf_readDontUseTitleFiles();
        EXPECT_EQ(dontUseTitles, std::vector<std::string>{"A title not to use"});
        regcodeLiveries.clear();
        process(installed());
        EXPECT_EQ(titleOf("N1"), "American 1");
        EXPECT_EQ(titleOf("G-1"), "Speedbird");
    }
}

TEST_F(RegcodesTest, offlineFilesReplaceInlineAndAigCodesInNameOrder)
{
    writeAig("<livery title=\"Speedbird\" reg=\"N1\"/>");
    writeOffline("b.TXT", "Lufthansa;N1,N9\n");
    writeOffline("a.Txt", "American 2;N1,N8\n");
    writeOffline("c.csv", "Speedbird;N1\n");
    fs::create_directories(g_myRegcodesFolder / "sub.txt");
    auto liveries = installed();
    liveries[0].atcid = "N1";
    process(liveries);

    EXPECT_EQ(titleOf("N1"), "Lufthansa");
    const fs::path a = g_myRegcodesFolder / "a.Txt";
    const fs::path b = g_myRegcodesFolder / "b.TXT";
    EXPECT_EQ(fileLines(offlineResult),
              (std::vector<std::string>{
                  "Processing " + g_aigRegcodesPath.string(),
                  "   regcode N1 for \"Speedbird\", instead of for \"American 1\"",
                  g_aigRegcodesPath.string() + ": 0 new regcodes added, 1 regcode replaced",
                  "Processing files in " + g_myRegcodesFolder.string(),
                  "   regcode N1 for \"American 2\", instead of for \"Speedbird\"",
                  a.string() + ": 1 new regcode added, 1 regcode replaced",
                  "   regcode N1 for \"Lufthansa\", instead of for \"American 2\"",
                  b.string() + ": 1 new regcode added, 1 regcode replaced"}));
}

TEST_F(RegcodesTest, aStaleResultFileIsRemovedWhenThereIsNothingToRead)
{
    writeFile(offlineResult, "old\n");
    process(installed());
    EXPECT_FALSE(fs::exists(offlineResult));
}

TEST_F(RegcodesTest, aSecondProcessingEntersTheCodesAgainWithoutChange)
{
    writeOffline("mine.txt", "Speedbird;G-1\n");
    process(installed());
    process(installed());
    EXPECT_EQ(titleOf("G-1"), "Speedbird");
    EXPECT_EQ(fileLines(offlineResult).back(),
              (g_myRegcodesFolder / "mine.txt").string() + ": 1 new regcode added, 1 regcode defined as special");
    EXPECT_EQ(specials().size(), 2u);
}
