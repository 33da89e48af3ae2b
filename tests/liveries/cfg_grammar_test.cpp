#include "liveries_fixture.hpp"

#include <fmt/format.h>

#include <map>
#include <random>
#include <regex>

using testsupport::asVector;
using testsupport::LiveriesTest;

namespace {

// The grammar as a regular expression, for comparison on short test lines only.
std::string regexValue(const std::string& line, const std::string& key)
{
    static std::map<std::string, std::regex> patterns;
    auto [at, added] = patterns.try_emplace(key);
    if (added)
        at->second = std::regex("\\s*(" + key + ")\\s*=\\s*(.*\\S)\\s*", std::regex::ECMAScript | std::regex::icase);
    std::smatch match;
    return std::regex_match(line, match, at->second) && match[2].matched ? match[2].str() : std::string();
}

bool regexHeader(const std::string& line, std::string& digits)
{
    static const std::regex pattern("\\s*(\\[fltsim\\.)(\\d+)\\]\\s*", std::regex::ECMAScript | std::regex::icase);
    std::smatch match;
    if (!std::regex_match(line, match, pattern))
        return false;
    digits = match[2].str();
    return true;
}

const std::vector<std::string> kKeys = {"title", "sim", "model", "texture", "atc_id", "atc_parking_types",
                                        "atc_model", "atc_parking_codes"};

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

TEST(KeyMatchers, everyKeyInEverySpellingAndSpacing)
{
    const std::vector<std::pair<std::string, std::string>> forms = {
        {"{}=Boeing 737 Test", "Boeing 737 Test"},
        {"\t{} \t=  Boeing 737 Test\t\r", "Boeing 737 Test"},
        {"{} = \"Boeing 737\" ; comment\r", "\"Boeing 737\" ; comment"},
        {"{}= x =y", "x =y"},
        {"{}=\f\vv\f", "v"},
        {"{}=   \r", ""},
        {"{}\r=x", "x"},
        {"; {}=x", ""},
        {"{}_x=x", ""},
        {"{}:x", ""},
        {"x{}=x", ""},
        {"{}=a\rb", ""},
        {"{}=a\nb", ""},
        {"{}=a\tb", "a\tb"},
    };
    for (const auto& key : kKeys) {
        for (const auto& spelling : {key, upper(key), std::string(1, static_cast<char>(std::toupper(key[0]))) + key.substr(1)}) {
            for (const auto& [form, expected] : forms) {
                const std::string line = fmt::format(fmt::runtime(form), spelling);
                SCOPED_TRACE(testing::Message() << key << " line \"" << line << "\"");
                EXPECT_EQ(lf_matchKeyValue(line, key), expected);
                EXPECT_EQ(expected, regexValue(line, key));
            }
        }
    }
}

TEST(KeyMatchers, failedMatchLeavesTheValueUntouched)
{
    std::string value = "untouched";
    EXPECT_FALSE(lf_matchTitle("title=", value));
    EXPECT_FALSE(lf_matchAtcId("//atc_id=N1", value));
    EXPECT_EQ(value, "untouched");
    EXPECT_TRUE(lf_matchSim("SIM = B738 ", value));
    EXPECT_EQ(value, "B738");
}

TEST(KeyMatchers, sameResultsAsThePatternOnRandomLines)
{
    // Lines made of the characters the grammar cares about: where the hand
    // matcher and the pattern part, the hand matcher is wrong.
    const std::string alphabet = " \t\r\n\v\f=tTiIlLeE[]f.sm0912x;/";
    std::mt19937 random(1234);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 10);
    const std::vector<std::string> prefixes = {"", "title", " TITLE", "\ttitle ", "[fltsim.", " [FLTSIM."};
    for (int i = 0; i < 20000; ++i) {
        std::string line = prefixes[static_cast<std::size_t>(i) % prefixes.size()];
        for (int n = length(random); n > 0; --n)
            line += alphabet[pick(random)];
        SCOPED_TRACE(testing::Message() << "line \"" << line << "\"");
        ASSERT_EQ(lf_matchKeyValue(line, "title"), regexValue(line, "title"));
        std::string digits;
        if (!line.starts_with("//") && regexHeader(line, digits)) {
            ASSERT_EQ(lf_matchFltsimHeader(line), digits);
        }
    }
}

TEST(KeyMatchers, keyPresenceIsAnExactSubstring)
{
    EXPECT_TRUE(lf_hasAtcIdKey("//atc_id=N1"));
    EXPECT_FALSE(lf_hasAtcIdKey("atc_id = N1"));
    EXPECT_FALSE(lf_hasAtcIdKey("ATC_ID=N1"));
    EXPECT_TRUE(lf_hasAtcParkingTypesKey("x atc_parking_types"));
    EXPECT_FALSE(lf_hasAtcParkingTypesKey("atc_parking_type=GATE"));
    EXPECT_TRUE(lf_hasAtcParkingCodesKey("//atc_parking_codes="));
    EXPECT_FALSE(lf_hasAtcParkingCodesKey("atc_parking_code=XYZ"));
}

TEST(FltsimHeader, everyHeaderForm)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"[FLTSIM.2]", "2"},
        {"[Fltsim.12]", "12"},
        {"  [fltsim.007] \t\r", "007"},
        {"//[fltsim.0]", ""},
        {"/[fltsim.1]", "10000"},
        {"[fltsim.]", "10000"},
        {"[fltsim.1] ; comment", "10000"},
        {"[fltsim.-1]", "10000"},
        {"[fltsim.1]]", "10000"},
        {"x [FLTSIM.1]", "10000"},
        {"[Fltsim.x]", ""},
        {"[FltSim.]", ""},
        {"", ""},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(lf_matchFltsimHeader(line), expected) << "line \"" << line << "\"";
}

TEST(KeyMatchers, veryLongLinesGiveTheRulesResult)
{
    const std::string title(100000, 'x');
    std::string value;
    ASSERT_TRUE(lf_matchTitle("title = " + title + " \r", value));
    EXPECT_EQ(value, title);
    EXPECT_FALSE(lf_matchTitle("title=" + title + "\r" + title, value));
    EXPECT_EQ(lf_matchFltsimHeader("[fltsim." + std::string(100000, '7') + "]"), std::string(100000, '7'));
    EXPECT_EQ(lf_matchFltsimHeader("[fltsim.1" + std::string(100000, ' ') + "x"), "10000");
}

TEST_F(LiveriesTest, oneMegabyteOneLineFileIsReportedNotFatal)
{
    const auto cfg = dir / "aircraft.cfg";
    testsupport::writeFile(cfg, "atc_model=" + std::string(1 << 20, 'B'));
    std::vector<std::string> lines;
    ASSERT_TRUE(gf_readExtTextFileToStringVector(cfg, lines));
    EXPECT_TRUE(lf_checkFltsimNumbers(lines, cfg));
    EXPECT_EQ(lf_fixAtcModel(cfg, lines), "");
    ASSERT_EQ(tzo::invalidModelCodes.size(), 1u);
    EXPECT_EQ(tzo::invalidModelCodes.front().size(), (1u << 20) + 4 + cfg.string().size());
    auto section = lines;
    EXPECT_TRUE(lf_procesFltSimSection(1, section, "B738", cfg, dir.path()).empty());

    std::vector<std::string> header = {"[fltsim." + std::string(1 << 20, '9') + "]"};
    EXPECT_FALSE(lf_checkFltsimNumbers(header, cfg));
}

struct NumberingCase {
    std::vector<std::string> headers;
    bool accepted;
    std::string message; // the invalidCfgFiles line after the path, or empty
};

TEST_F(LiveriesTest, sectionNumberingOfAWholeFile)
{
    const std::vector<NumberingCase> cases = {
        {{"[fltsim.1]", "[fltsim.0]", "[fltsim.2]"}, true, ""},
        {{"[fltsim.0]", "[General]", "[FLTSIM.1]", "//[fltsim.7]"}, true, ""},
        {{"[fltsim.1]"}, false, " contains non-consecutive [fltsim.x] numbers at .x=1"},
        {{"[fltsim.0]", "[fltsim.1]", "[fltsim.1]"}, false, " contains non-consecutive [fltsim.x] numbers at .x=1"},
        {{"[fltsim.0]", "[fltsim.2]"}, false, " contains non-consecutive [fltsim.x] numbers at .x=2"},
        {{"[fltsim.0]", "[fltsim.1]", "[fltsim.]"}, false, " contains a [fltsim.] section without a number"},
        {{"[fltsim.x]", "[fltsim.0]"}, false, " contains a [fltsim.] section without a number"},
        {{"[fltsim.0]", "[fltsim.2147483647]"}, false,
         " contains non-consecutive [fltsim.x] numbers at .x=2147483647"},
    };
    const auto cfg = dir / "aircraft.cfg";
    for (const auto& c : cases) {
        lf_clearScanMessages();
        SCOPED_TRACE(testing::Message() << "headers " << testing::PrintToString(c.headers));
        std::vector<std::string> lines;
        for (const auto& header : c.headers) {
            lines.push_back(header);
            lines.push_back("title=x");
        }
        EXPECT_EQ(lf_checkFltsimNumbers(lines, cfg), c.accepted);
        const std::vector<std::string> expected =
            c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{cfg.string() + c.message};
        EXPECT_EQ(asVector(tzo::invalidCfgFiles), expected);
        EXPECT_TRUE(tzo::noFltsimSectionFiles.empty());
    }
}

TEST_F(LiveriesTest, numberTooLargeRejectsTheFileWithAMarkedLogLine)
{
    const auto cfg = dir / "aircraft.cfg";
    EXPECT_FALSE(lf_checkFltsimNumbers({"[fltsim.0]", "[fltsim.2147483648]"}, cfg));
    EXPECT_EQ(logLinesWith("===> fltsim num [fltsim.2147483648] incorrect"), 1);
    EXPECT_TRUE(tzo::invalidCfgFiles.empty());
}

TEST_F(LiveriesTest, fileWithoutHeaderPassesAndIsListed)
{
    const auto cfg = testsupport::kLiveryFixtures / "general_only.cfg";
    std::vector<std::string> lines;
    ASSERT_TRUE(gf_readExtTextFileToStringVector(cfg, lines));
    EXPECT_TRUE(lf_checkFltsimNumbers(lines, cfg));
    EXPECT_EQ(asVector(tzo::noFltsimSectionFiles), std::vector<std::string>{cfg.string()});
    EXPECT_TRUE(tzo::invalidCfgFiles.empty());
}

TEST_F(LiveriesTest, modelCodeOfTheFile)
{
    tzo::codeFixes["B73H"] = "B738";
    const auto cfg = dir / "aircraft.cfg";
    struct Case {
        std::vector<std::string> lines;
        std::string model;
        std::string reportLine;
        const std::list<std::string>* list;
    };
    const std::vector<Case> cases = {
        {{"[fltsim.0]", "atc_model=", "[General]", "atc_model = B738 ", "atc_model=A321"}, "B738", "", nullptr},
        {{"[fltsim.0]", "ATC_MODEL=A321", "[General]", "atc_model=B738"}, "A321", "", nullptr},
        {{"[General]", "atc_model=XXXX"}, "", fmt::format("XXXX             in {}", cfg.string()),
         &tzo::invalidModelCodes},
        {{"[General]", "atc_type=BOEING", "//atc_model=B738", "atc_model ="}, "",
         "Line atc_model= is missing in [General] section of " + cfg.string(), &tzo::invalidCfgFiles},
    };
    for (const auto& c : cases) {
        lf_clearScanMessages();
        SCOPED_TRACE(testing::Message() << testing::PrintToString(c.lines));
        EXPECT_EQ(lf_fixAtcModel(cfg, c.lines), c.model);
        if (c.list) {
            EXPECT_EQ(asVector(*c.list), std::vector<std::string>{c.reportLine});
        }
        EXPECT_EQ(tzo::invalidModelCodes.size() + tzo::invalidCfgFiles.size(), c.list ? 1u : 0u);
        EXPECT_TRUE(tzo::codeFixLines.empty());
    }

    lf_clearScanMessages();
    EXPECT_EQ(lf_fixAtcModel(cfg, {"atc_model=B73H"}), "B738");
    EXPECT_EQ(tzo::codeFixLines,
              std::vector<std::string>{fmt::format("Fix: B73H found in {} changed into B738", cfg.string())});
}
