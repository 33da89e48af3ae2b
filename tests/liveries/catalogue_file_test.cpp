#include "foundation/exceptions.hpp"
#include "liveries/catalogue_file.hpp"
#include "catalogue_fixture.hpp"

#include <pugixml.hpp>

using livtest::liv;
using livtest::CatalogueTest;
using testsupport::readFile;
using testsupport::writeFile;
using tzo::LiveryData;
using tzo::scannedLiveries;

namespace {

using CatalogueFileTest = CatalogueTest;

std::vector<LiveryData> scanned()
{
    return {scannedLiveries.begin(), scannedLiveries.end()};
}

// The error code of the reading, 0 when it succeeds.
int readCode()
{
    try {
        tzo::lf_readLiveriesScanned();
    } catch (const tzo::UserErrorException& e) {
        return e.code();
    }
    return 0;
}

std::string withHeader(const std::string& body)
{
    return "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"Norvane_P3D\"/>"
           "<info name=\"version\" value=\"1.0.0\"/><info name=\"date\" value=\"2026-12-09\"/></meta>\n" +
           body;
}

} // namespace

TEST_F(CatalogueFileTest, writtenAndReadBackWithTheSameFieldsInTheSameOrder)
{
    const std::vector<LiveryData> liveries{
        liv("AAL", "B738", "AA & <Friends> \"quoted\" 'single'", "N123AB", 3),
        liv("BAW", "A320", "British Airways A320 G-EUUA", "G-EUUA", 2, true),
        liv("DLH", "A359", "Lufthansa \xc3\xa9t\xc3\xa9 \xe2\x9c\x88", "", 1),
        liv("KLM", "B744", "KLM Latin-1 caf\xe9 \xfc", "", 5, true),
        liv("ZZZ", "C172", "x", "", 1),
    };
    tzo::lf_writeLiveriesScanned();
    EXPECT_FALSE(std::filesystem::exists(g_liveriesScannedPath)) << "an empty list writes no file";
    scannedLiveries.assign(liveries.begin(), liveries.end());
    tzo::lf_writeLiveriesScanned();
    EXPECT_TRUE(logHasLine("5 liveries in " + g_liveriesScannedPath.string()));

    tzo::lf_readLiveriesScanned();
    const auto read = scanned();
    ASSERT_EQ(read.size(), liveries.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        auto expected = liveries[i];
        expected.priority = 0;
        EXPECT_EQ(read[i], expected) << i;
    }
    EXPECT_TRUE(logHasLine("No scan done, 5 liveries read from " + g_liveriesScannedPath.string()));

    // Attribute order, and "cargo" only on cargo liveries.
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(g_liveriesScannedPath.c_str()));
    ASSERT_TRUE(doc.child("meta"));
    std::vector<std::string> names;
    for (auto a : doc.child("liveries").first_child().attributes())
        names.push_back(a.name());
    EXPECT_EQ(names, (std::vector<std::string>{"airl", "type", "title", "atcid"}));
    names.clear();
    for (auto a : doc.child("liveries").first_child().next_sibling().attributes())
        names.push_back(a.name());
    EXPECT_EQ(names, (std::vector<std::string>{"airl", "type", "cargo", "title", "atcid"}));
    EXPECT_STREQ(doc.child("liveries").first_child().next_sibling().attribute("cargo").value(), "true");
}

TEST_F(CatalogueFileTest, cargoSpellings)
{
    struct Case {
        const char* attribute;
        bool cargo;
    };
    const Case cases[] = {{"", false},           {" cargo=\"1\"", true},    {" cargo=\"True\"", true},
                          {" cargo=\"Y\"", true},   {" cargo=\"no\"", false}, {" cargo=\"\"", false}};
    std::string body = "<liveries>";
    for (const auto& c : cases)
        body += std::string("<liv airl=\"AAL\" type=\"B738\"") + c.attribute + " title=\"t\" atcid=\"\"/>";
    body += "</liveries>";
    writeFile(g_liveriesScannedPath, withHeader(body));
    ASSERT_EQ(readCode(), 0);
    const auto read = scanned();
    ASSERT_EQ(read.size(), std::size(cases));
    for (std::size_t i = 0; i < read.size(); ++i)
        EXPECT_EQ(read[i].cargo, cases[i].cargo) << cases[i].attribute;
}

TEST_F(CatalogueFileTest, userErrorsOfTheReading)
{
    struct Case {
        const char* name;
        std::optional<std::string> content; // none: no file
        int code;
        std::string text;
    };
    const std::string path = g_liveriesScannedPath.string();
    const Case cases[] = {
        {"missing", std::nullopt, 51, "51: File " + path + " not found"},
        {"not XML", "this is <not xml", 51, "51: File " + path + " not found"},
        {"only meta", withHeader(""), 52, "52: " + path + " does not contain a <liveries> section"},
        {"no liv", withHeader("<liveries><other/></liveries>"), 53, "53: " + path + " does not contain liveries"},
        {"only incomplete liv", withHeader("<liveries><liv airl=\"AAL\" type=\"B738\" title=\"\"/></liveries>"), 53,
         "53: " + path + " does not contain liveries"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(g_liveriesScannedPath);
        if (c.content)
            writeFile(g_liveriesScannedPath, *c.content);
        scannedLiveries.push_back(liv("OLD", "B738", "left from before"));
        try {
            tzo::lf_readLiveriesScanned();
            ADD_FAILURE() << c.name << ": no error";
        } catch (const tzo::UserErrorException& e) {
            EXPECT_EQ(e.code(), c.code) << c.name;
            EXPECT_EQ(std::string(e.what()), c.text) << c.name;
        }
        EXPECT_TRUE(scannedLiveries.empty()) << c.name;
    }
}

TEST_F(CatalogueFileTest, incompleteLiveriesAreCountedInOneLogLine)
{
    writeFile(g_liveriesScannedPath,
              withHeader("<liveries>"
                         "<liv type=\"B738\" title=\"no airline\" atcid=\"\"/>"
                         "<liv airl=\"AAL\" title=\"no model\" atcid=\"\"/>"
                         "<liv airl=\"AAL\" type=\"B738\" atcid=\"\"/>"
                         "<liv airl=\"AAL\" type=\"B738\" title=\"kept\"/>"
                         "<notliv airl=\"AAL\" type=\"B738\" title=\"ignored\"/>"
                         "</liveries>"));
    ASSERT_EQ(readCode(), 0);
    const auto read = scanned();
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0], liv("AAL", "B738", "kept", "", 0));
    EXPECT_EQ(logLinesWith("===> 3 liveries without airline, model or title skipped in " +
                           g_liveriesScannedPath.string() + ", being: airl=\"\" type=\"B738\" title=\"no airline\"; "
                           "airl=\"AAL\" type=\"\" title=\"no model\"; airl=\"AAL\" type=\"B738\" title=\"\""),
              1);

    // However many there are: one line, the first few named by short excerpts.
    std::string many = "<liveries>";
    for (int i = 0; i < 20000; ++i)
        many += "<liv type=\"B738\" title=\"" + std::string(300, 'x') + "\"/>";
    many += "<liv airl=\"AAL\" type=\"B738\" title=\"kept\"/></liveries>";
    writeFile(g_liveriesScannedPath, withHeader(many));
    const auto logBefore = std::filesystem::file_size(dir / "Log.txt");
    ASSERT_EQ(readCode(), 0);
    EXPECT_EQ(logLinesWith("20000 liveries without airline, model or title skipped"), 1);
    EXPECT_LT(std::filesystem::file_size(dir / "Log.txt") - logBefore, 1000u);
}

// What makes the start-up scan again instead of reading the file.
TEST_F(CatalogueFileTest, aDamagedCatalogueIsUnusableLikeAMissingOne)
{
    struct Case {
        const char* name;
        std::optional<std::string> content; // none: no file
        std::string unusable;
    };
    const Case cases[] = {
        {"missing", std::nullopt, "is gone"},
        {"not XML", "this is <not xml", "is damaged"},
        {"only meta", withHeader(""), "is damaged"},
        {"no liv", withHeader("<liveries><other/></liveries>"), "is damaged"},
        {"only incomplete liv", withHeader("<liveries><liv airl=\"AAL\" type=\"B738\" title=\"\"/></liveries>"),
         "is damaged"},
        {"one livery", withHeader("<liveries><liv airl=\"AAL\" type=\"B738\" title=\"t\"/></liveries>"), ""},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(g_liveriesScannedPath);
        if (c.content)
            writeFile(g_liveriesScannedPath, *c.content);
        EXPECT_EQ(tzo::gf_catalogueUnusable(g_liveriesScannedPath), c.unusable) << c.name;
    }
    // Each damage logged once: why the file does not parse, else its user error.
    EXPECT_EQ(logLinesWith("===> 5"), 3);
    EXPECT_EQ(logLinesWith(g_liveriesScannedPath.string() + ": "), 1);
}

TEST_F(CatalogueFileTest, aHeaderWithoutAuthorIsLoggedAndReadOn)
{
    writeFile(g_liveriesScannedPath, "<meta><info name=\"version\" value=\"1.0.0\"/></meta>"
                                     "<liveries><liv airl=\"AAL\" type=\"B738\" title=\"t\" atcid=\"N1\"/></liveries>");
    ASSERT_EQ(readCode(), 0);
    EXPECT_EQ(scanned().size(), 1u);
    EXPECT_EQ(logLinesWith("meta data incorrect?"), 1);
}
