#include "liveries_fixture.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <thread>

using testsupport::AircraftFolder;
using testsupport::asVector;
using testsupport::LiveriesTest;
using tzo::LiveryData;

namespace fs = std::filesystem;

namespace {

struct SectionTest : LiveriesTest {
    AircraftFolder aircraft{dir / "SimObjects" / "Airplanes" / "B738"};

    SectionTest() { aircraft.folders({"model", "texture", "texture.AAL"}).files({"B738.air"}); }

    // A section with a title, the files it needs and the AAL code, followed by
    // the given lines.
    std::vector<LiveryData> process(const std::vector<std::string>& extra, const std::string& title = "T")
    {
        std::vector<std::string> lines = {"[fltsim.0]", "title=" + title, "sim=B738", "model=", "texture=AAL"};
        lines.insert(lines.end(), extra.begin(), extra.end());
        return processLines(lines);
    }

    std::vector<LiveryData> processLines(std::vector<std::string> lines)
    {
        return lf_procesFltSimSection(1, lines, "B738", aircraft.cfg(), aircraft.path(), dir / "SimObjects");
    }

    std::string incompleteLine(const std::string& what) const
    {
        return aircraft.path().string() + " [fltsim.0] " + what;
    }

    static std::vector<std::string> airlines(const std::vector<LiveryData>& liveries)
    {
        std::vector<std::string> codes;
        for (const auto& livery : liveries)
            codes.push_back(livery.airl);
        return codes;
    }
};

LiveryData livery(std::string airl, std::string title, std::string atcid, bool cargo = false)
{
    return {.airl = std::move(airl), .type = "B738", .title = std::move(title), .atcid = std::move(atcid),
            .priority = 1, .cargo = cargo};
}

} // namespace

TEST_F(SectionTest, parkingCodesGiveOneLiveryEachAndATitleIsTakenOnce)
{
    EXPECT_EQ(process({"atc_id=N1", "atc_parking_types=GATE", "atc_parking_codes=UAL, AAL"}),
              (std::vector<LiveryData>{livery("AAL", "T", "N1"), livery("UAL", "T", "N1")}));

    AircraftFolder other(dir / "SimObjects" / "Airplanes" / "B738 other");
    other.folders({"model", "texture"}).files({".air"});
    std::vector<std::string> lines = {"[fltsim.4]", "title=T", "atc_parking_codes=AAL,UAL"};
    EXPECT_TRUE(lf_procesFltSimSection(2, lines, "B738", other.cfg(), other.path()).empty());
    const std::string line = other.path().string() + " [fltsim.4] title \"T\" already exists";
    EXPECT_EQ(asVector(tzo::incompleteSections), (std::vector<std::string>{line, line}));
    EXPECT_TRUE(tzo::invalidAirlineCodes.empty());
}

TEST_F(SectionTest, airlineCodesAreCorrectedOrRefused)
{
    tzo::pvtFixes = {"PRV"};
    tzo::govFixes = {"USG"};
    const std::string cfg = aircraft.cfg().string();
    struct Case {
        std::string codes;
        std::vector<std::string> airlines;
        std::vector<std::string> invalid;
        std::vector<std::string> fixes;
    };
    const std::vector<Case> cases = {
        {"CSC,CSC", {"CSC"}, {}, {}},
        {"BOE", {"ZZZ"}, {}, {}},
        {"EMB,AAL", {"AAL"}, {"EMB          in " + cfg + " [fltsim.0]"}, {}},
        {"KLM, KLMX", {"KLM"}, {}, {}},
        {"PRV", {"PVT"}, {}, {"Fix: PRV found in " + cfg + " changed into PVT"}},
        {"USG", {"PVT"}, {}, {"Fix: USG found in " + cfg + " changed into PVT"}},
        {"aal", {}, {"aal          in " + cfg + " [fltsim.0]"}, {}},
        {"AAL,,UAL", {"AAL", "UAL"}, {"             in " + cfg + " [fltsim.0]"}, {}},
    };
    for (const auto& c : cases) {
        lf_clearScanMessages();
        SCOPED_TRACE("atc_parking_codes=" + c.codes);
        const auto liveries = process({"atc_id=N1", "atc_parking_codes=" + c.codes});
        EXPECT_EQ(airlines(liveries), c.airlines);
        for (const auto& found : liveries)
            EXPECT_EQ(found.atcid, found.airl == "ZZZ" ? "" : "N1");
        EXPECT_EQ(asVector(tzo::invalidAirlineCodes), c.invalid);
        EXPECT_EQ(tzo::codeFixLines, c.fixes);
        EXPECT_TRUE(tzo::incompleteSections.empty());
    }
}

TEST_F(SectionTest, emptyParkingCodesGiveNoLivery)
{
    for (const auto& lines : {std::vector<std::string>{"atc_parking_codes="}, std::vector<std::string>{},
                              std::vector<std::string>{"atc_parking_codes =  \r"}}) {
        lf_clearScanMessages();
        EXPECT_TRUE(process(lines).empty());
        EXPECT_EQ(asVector(tzo::incompleteSections),
                  std::vector<std::string>{incompleteLine("empty atc_parking_codes=")});
    }
}

TEST_F(SectionTest, registrationRules)
{
    struct Case {
        std::vector<std::string> lines;
        std::string atcid;
        std::string logLine;
    };
    const std::vector<Case> cases = {
        {{"atc_id=N123AB ; old"}, "N123AB", ""},
        {{"atc_id=ABCDEFGHIJKL"}, "ABCDEFGHIJKL", ""},
        {{"atc_id=N1,N2"}, "", ""},
        {{"atc_id=N12*"}, "", "===> T N12* wild cards no longer supported, atc_id skipped "},
        {{"atc_id=ABCDEFGHIJKLM"}, "", "regcode: ABCDEFGHIJKLM, has more than 12 chars or contains UTF16 chars in \"T\"?"},
        {{"atc_id=ABCDEFGHIJK\xc3\x84"}, "", "regcode: ABCDEFGHIJK\xc3\x84, has more than 12 chars"},
        {{"atc_id=N1,,N2"}, "", "empty regcode in T N1,,N2"},
        {{"atc_id=N12*", "atc_id=N5"}, "N5", "wild cards no longer supported"},
        {{"atc_id=N1,N2", "atc_id = N3"}, "N3", ""},
        {{"atc_id=N1", "ATC_ID=N2"}, "N1", ""},
        {{"atc_id=N1", "atc_id_color=0xffffffff"}, "N1", ""},
        {{"atc_id=N1", "", "//atc_id=N2", ""}, "N1", ""},
    };
    for (const auto& c : cases) {
        lf_clearScanMessages();
        SCOPED_TRACE(testing::PrintToString(c.lines));
        std::vector<std::string> lines = {"atc_parking_codes=AAL"};
        lines.insert(lines.end(), c.lines.begin(), c.lines.end());
        const auto logged = log().size();
        const auto liveries = process(lines);
        ASSERT_EQ(liveries.size(), 1u);
        EXPECT_EQ(liveries[0].atcid, c.atcid);
        const std::string added = log().substr(logged);
        if (c.logLine.empty()) {
            EXPECT_EQ(added, "");
        } else {
            EXPECT_NE(added.find(c.logLine), std::string::npos) << added;
        }
    }
}

TEST_F(SectionTest, secondRegistrationRejectsTheSectionEvenCommentedOut)
{
    for (const auto& second : {"atc_id=N2", "//atc_id=N2", "atc_id=N1"}) {
        lf_clearScanMessages();
        EXPECT_TRUE(process({"atc_parking_codes=AAL", "atc_id=N1", second, "atc_parking_types=GATE"}).empty()) << second;
        EXPECT_EQ(asVector(tzo::incompleteSections),
                  std::vector<std::string>{aircraft.path().string() + ", [fltsim.0], has more than one atc_id key"});
    }
}

TEST_F(SectionTest, cargoFromParkingTypes)
{
    const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
        {{"atc_parking_types=GATE_HEAVY , Cargo"}, true},
        {{"atc_parking_types=RAMP_CARGO"}, true},
        {{"atc_parking_types=GATE"}, false},
    };
    for (const auto& [lines, cargo] : cases) {
        lf_clearScanMessages();
        auto all = lines;
        all.push_back("atc_parking_codes=AAL");
        const auto liveries = process(all);
        ASSERT_EQ(liveries.size(), 1u);
        EXPECT_EQ(liveries[0].cargo, cargo) << testing::PrintToString(lines);
    }
}

TEST_F(SectionTest, repeatedKeys)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> rejected = {
        {{"title=Other"}, "has more than one title key"},
        {{"//atc_parking_codes=UAL", "sim=B738"}, "has more than one atc_parking_codes key"},
        {{"atc_parking_types=GATE", "ATC_PARKING_TYPES=RAMP", "atc_parking_types=RAMP"},
         "has more than one atc_parking_types key"},
    };
    for (const auto& [lines, what] : rejected) {
        lf_clearScanMessages();
        auto all = std::vector<std::string>{"atc_parking_codes=AAL"};
        all.insert(all.end(), lines.begin(), lines.end());
        EXPECT_TRUE(process(all).empty()) << what;
        EXPECT_EQ(asVector(tzo::incompleteSections), std::vector<std::string>{incompleteLine(what)});
    }

    // Misspelled keys neither count nor repeat; a second model, sim or texture
    // line is passed over.
    lf_clearScanMessages();
    const auto liveries = process({"atc_parking_codes=AAL", "atc_parking_code=UAL", "atc_parking_type=CARGO",
                                   "atcid=N9", "sim=missing", "texture=missing",
                                   "atc_parking_types=GATE"});
    EXPECT_EQ(liveries, std::vector<LiveryData>{livery("AAL", "T", "")});
    aircraft.folders({"model.big"});
    EXPECT_EQ(processLines({"[fltsim.1]", "title=T2", "model=big", "model=missing", "sim=B738", "texture=AAL",
                            "atc_parking_codes=AAL"}),
              std::vector<LiveryData>{livery("AAL", "T2", "")});
    EXPECT_TRUE(tzo::incompleteSections.empty());
}

TEST_F(SectionTest, everyMissingFolderOrFileIsNamed)
{
    aircraft.folders({"model.abc", "texture.XYZ.old"}).files({"B739.txt", "model.file"});
    const fs::path folder = aircraft.path();
    struct Case {
        std::vector<std::string> lines;
        std::string missing;
    };
    const std::vector<Case> cases = {
        {{"model=big"}, "model.big"},
        {{"model=file"}, "model.file"},
        {{"model=abc", "texture=XYZ"}, "texture.XYZ"},
        {{"model=nothere", "texture=nothere"}, "model.nothere"},
        {{"sim=B739"}, "B739.air"},
        {{"texture=../B738/texture.AAL"}, "texture.../B738/texture.AAL"},
        {{"texture=AAL/../AAL"}, "texture.AAL/../AAL"},
        {{"sim=..\\B738"}, "..\\B738.air"},
        {{"sim=air/../../B738/B739"}, "air/../../B738/B739.air"},
        // Longer than any file name may be: it names nothing and costs only the section.
        {{"model=" + std::string(300, 'm')}, "model." + std::string(300, 'm')},
    };
    for (const auto& c : cases) {
        lf_clearScanMessages();
        std::vector<std::string> lines = {"[fltsim.0]", "title=T"};
        lines.insert(lines.end(), c.lines.begin(), c.lines.end());
        lines.insert(lines.end(), {"sim=B738", "texture=AAL", "atc_parking_codes=AAL"});
        EXPECT_TRUE(processLines(lines).empty()) << c.missing;
        EXPECT_EQ(asVector(tzo::incompleteSections),
                  std::vector<std::string>{(folder / c.missing).string() + " [fltsim.0] does not exist"});
    }

    // Without a sim line the flight-model file is named ".air".
    lf_clearScanMessages();
    EXPECT_TRUE(processLines({"[fltsim.0]", "title=T", "texture=AAL", "atc_parking_codes=AAL"}).empty());
    EXPECT_EQ(asVector(tzo::incompleteSections),
              std::vector<std::string>{(folder / ".air").string() + " [fltsim.0] does not exist"});
}

// Values are paths relative to the aircraft's folder, as the simulator reads
// them on Windows: subfolders and ".." with either separator, as long as the
// path stays below the SimObjects folder.
TEST_F(SectionTest, valuesAreRelativePathsBelowTheSimObjectsFolder)
{
    aircraft.folders({"air", "texture.AAL/N123"}).files({"air/B738.air"});
    AircraftFolder shared(dir / "SimObjects" / "Airplanes" / "Shared");
    shared.folders({"Texture.Common"}).files({"Shared.AIR"});
    const std::vector<std::vector<std::string>> taken = {
        {"sim=air/B738", "texture=AAL"},
        {"sim=AIR\\b738", "texture=AAL\\N123"},
        {"sim=..\\Shared\\Shared", "texture=x\\..\\..\\Shared/texture.common"},
        {"sim=./air/../B738", "texture=AAL/N123/.."},
    };
    int n = 0;
    for (const auto& lines : taken) {
        lf_clearScanMessages();
        const std::string title = fmt::format("T{}", ++n);
        std::vector<std::string> section = {"[fltsim.0]", "title=" + title, "model=", "atc_parking_codes=AAL"};
        section.insert(section.end(), lines.begin(), lines.end());
        EXPECT_EQ(processLines(section), std::vector<LiveryData>{livery("AAL", title, "")}) << lines[0];
        EXPECT_TRUE(tzo::incompleteSections.empty()) << asVector(tzo::incompleteSections).front();
    }

    // Leaving the SimObjects folder is refused with its own line, whether or
    // not something is there.
    const fs::path folder = aircraft.path();
    for (const std::string sim : {"../../../B738", "..\\..\\..\\..\\etc\\B738", "/tmp/B738", "C:\\P3D\\B738",
                                  "air/../../../../x"}) {
        lf_clearScanMessages();
        EXPECT_TRUE(processLines({"[fltsim.0]", "title=T", "sim=" + sim, "texture=AAL", "atc_parking_codes=AAL"})
                        .empty());
        EXPECT_EQ(asVector(tzo::incompleteSections),
                  std::vector<std::string>{(folder / (sim + ".air")).string() +
                                           " [fltsim.0] leaves the SimObjects folder " +
                                           (dir / "SimObjects").string()});
    }
}

TEST_F(SectionTest, namesAreFoundWithoutRegardToCase)
{
    aircraft.folders({"Model.Big", "TEXTURE.klm"}).files({"b738x.AIR"});
    const auto liveries = processLines({"[fltsim.0]", "title=T", "model=big", "texture=KLM", "sim=B738X",
                                        "atc_parking_codes=KLM"});
    EXPECT_EQ(liveries, std::vector<LiveryData>{livery("KLM", "T", "")});
    EXPECT_TRUE(tzo::incompleteSections.empty());
}

TEST_F(SectionTest, titleMissingOrNotToUse)
{
    EXPECT_TRUE(processLines({"[fltsim.0]", "sim=B738", "texture=AAL", "atc_parking_codes=AAL"}).empty());
    EXPECT_EQ(asVector(tzo::incompleteSections), std::vector<std::string>{incompleteLine("misses title")});

    lf_clearScanMessages();
    tzo::dontUseTitles = {"Other", "T"};
    EXPECT_TRUE(process({"atc_parking_codes=AAL"}).empty());
    EXPECT_TRUE(tzo::incompleteSections.empty());
    EXPECT_TRUE(tzo::scanTitles.empty());
}

TEST_F(SectionTest, threadsTakeEachTitleOnce)
{
    constexpr int kThreads = 8;
    constexpr int kTitles = 50;
    std::vector<std::vector<LiveryData>> found(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kTitles; ++i) {
                // Each thread starts at another title so that they overlap in flight.
                const auto title = fmt::format("Title {}", (i + t * 7) % kTitles);
                auto liveries = process({"atc_parking_codes=AAL,UAL"}, title);
                found[static_cast<std::size_t>(t)].insert(found[static_cast<std::size_t>(t)].end(), liveries.begin(),
                                                          liveries.end());
            }
        });
    }
    for (auto& thread : threads)
        thread.join();

    std::vector<std::string> titles;
    for (const auto& liveries : found)
        for (const auto& one : liveries)
            titles.push_back(one.title + " " + one.airl);
    std::sort(titles.begin(), titles.end());
    ASSERT_EQ(titles.size(), 2u * kTitles);
    EXPECT_EQ(std::adjacent_find(titles.begin(), titles.end()), titles.end());
    EXPECT_EQ(tzo::scanTitles.size(), static_cast<std::size_t>(kTitles));
    EXPECT_EQ(tzo::incompleteSections.size(), 2u * kTitles * (kThreads - 1));
}

// Whole files through the checks and their sections, as a scan task hands them over.
struct CfgFileTest : LiveriesTest {
    AircraftFolder aircraft{dir / "SimObjects" / "Airplanes" / "B738"};
    CfgFileTest() { aircraft.folders({"model", "texture.AAL", "texture.EDW", "texture.BAW"}).files({"B737-800.air"}); }
};

TEST_F(CfgFileTest, realisticFileGivesItsLiveriesInEveryEncoding)
{
    const std::vector<LiveryData> expected = {
        livery("AAL", "Boeing 737-800 American Airlines N901AN", "N901AN"),
        livery("EDW", "\"Boeing 737-800 Condor Flugdienst K\xc3\xb6ln\"\t; repainted", "HB-JOA", true),
        livery("BAW", "Boeing 737-800 British Airways G-XLEA", "G-XLEA"),
    };
    const std::string utf8 = testsupport::readFile(testsupport::kLiveryFixtures / "realistic.cfg");
    const std::string utf16le = testsupport::readFile(testsupport::kLiveryFixtures / "realistic_utf16le.cfg");
    std::string utf16be = utf16le;
    for (std::size_t i = 0; i + 1 < utf16be.size(); i += 2)
        std::swap(utf16be[i], utf16be[i + 1]);

    for (const auto& [name, text] : {std::pair<std::string, std::string>{"UTF-8", utf8},
                                     {"UTF-8 with mark", "\xef\xbb\xbf" + utf8},
                                     {"UTF-16 LE", utf16le}, {"UTF-16 BE", utf16be}}) {
        lf_clearScanMessages();
        aircraft.cfgText(text);
        EXPECT_EQ(testsupport::scanCfg(aircraft.cfg()), expected) << name;
        EXPECT_TRUE(tzo::incompleteSections.empty() && tzo::invalidAirlineCodes.empty() &&
                    tzo::invalidCfgFiles.empty()) << name;
    }
}

TEST_F(CfgFileTest, latin1TitleKeepsItsBytes)
{
    aircraft.folders({"texture.1"}).files({"A321.air"}).cfgFixture("latin1_title.cfg");
    const auto liveries = testsupport::scanCfg(aircraft.cfg());
    ASSERT_EQ(liveries.size(), 1u);
    EXPECT_EQ(liveries[0].title, "Airbus A321 Condor Flugdienst \xc4 \xe9t\xe9");
    EXPECT_EQ(liveries[0].type, "A321");
}

TEST_F(CfgFileTest, misspelledKeysAndEmptyCodes)
{
    aircraft.folders({"texture.CSC"}).cfgFixture("misspelled_keys.cfg");
    const auto liveries = testsupport::scanCfg(aircraft.cfg());
    EXPECT_EQ(liveries, std::vector<LiveryData>{livery("CSC", "Boeing 737-800 Sichuan Airlines", "")});
    EXPECT_EQ(asVector(tzo::incompleteSections),
              std::vector<std::string>{aircraft.path().string() + " [fltsim.1] empty atc_parking_codes="});
}
