#include "scan_fixture.hpp"

#include "liveries/scan_task.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>

using scantest::cfgText;
using scantest::ScanTest;
using scantest::titlesOf;
using testsupport::asVector;

namespace fs = std::filesystem;

namespace {

// A file with '[General]' and three sections: section 1's header behind
// blanks, a description holding a '[' inside section 2, then a commented-out
// header whose own lines belong to no section.
std::string splitterText(const std::string& title0, const std::string& title1, const std::string& title2)
{
    return "[General]\n"
           "atc_model=B738\n"
           "title=Stray\n"
           "[fltsim.0]\ntitle=" + title0 + "\nsim=B738\nmodel=\ntexture=\natc_parking_codes=AAL\n"
           "  [fltsim.1]\ntitle=" + title1 + "\nsim=B738\nmodel=\ntexture=\natc_parking_codes=UAL\n"
           "[fltsim.2]\nsim=B738\nmodel=\ndescription=see [notes]\ntexture=\ntitle=" + title2 + "\n"
           "atc_parking_codes=BAW\n"
           "//[fltsim.3]\natc_id=N99\n";
}

struct TaskTest : ScanTest {
    fs::path ordinary = dir / "SimObjects" / "Airplanes" / "B738";
    fs::path ivao = dir / "SimObjects" / "IVAO_MTL" / "IVAO_B738w";

    TaskTest()
    {
        scantest::aircraftAt(ordinary);
        scantest::aircraftAt(ivao);
    }

    // A task as the walker runs it: its slot taken; the task must give it back once.
    template <typename Task>
    std::vector<tzo::LiveryData> run(Task task, const fs::path& cfg)
    {
        runningWorkers = 1;
        auto liveries = task(7, cfg, dir / "SimObjects");
        EXPECT_EQ(runningWorkers.load(), 0) << cfg;
        return liveries;
    }
};

} // namespace

TEST_F(TaskTest, ordinarySplitterKeepsDescriptionBracketsAndStopsAtOtherHeaders)
{
    testsupport::writeFile(ordinary / "aircraft.cfg", splitterText("T0", "T1", "T2"));
    const auto liveries = run(lf_searchLiveriesinFile, ordinary / "aircraft.cfg");

    EXPECT_EQ(titlesOf(liveries), (std::vector<std::string>{"T0", "T1", "T2"}));
    ASSERT_EQ(liveries.size(), 3u);
    EXPECT_EQ(liveries[2].airl, "BAW");
    EXPECT_EQ(liveries[2].atcid, "") << "the lines after '//[fltsim.3]' belong to no section";
    EXPECT_EQ(liveries[0].priority, 7u);
    EXPECT_TRUE(tzo::incompleteSections.empty()) << asVector(tzo::incompleteSections).front();
}

TEST_F(TaskTest, ivaoSplitterEndsASectionAtAnyBracket)
{
    testsupport::writeFile(ivao / "aircraft.cfg", splitterText("B738AAL", "B738 UAL One", "B738BAW"));
    const auto liveries = run(lf_searchIvaoLiveriesinFile, ivao / "aircraft.cfg");

    EXPECT_EQ(titlesOf(liveries), (std::vector<std::string>{"B738AAL", "B738 UAL One"}));
    EXPECT_EQ(asVector(tzo::incompleteSections),
              (std::vector<std::string>{ivao.string() + " [fltsim.2] misses title"}));
}

TEST_F(TaskTest, filesThatGiveNothing)
{
    testsupport::writeFile(ordinary / "no_model.cfg", "[fltsim.0]\ntitle=T\nsim=B738\natc_parking_codes=AAL\n");
    testsupport::writeFile(ordinary / "gap.cfg", cfgText({{"T0"}}) + "[fltsim.2]\ntitle=T2\n");
    {
        // A 20 MB file: one line of the report, nothing read.
        std::ofstream big(ordinary / "big.cfg", std::ios::binary);
        big << cfgText({{"Big"}});
        const std::string chunk(1 << 20, 'x');
        for (int i = 0; i < 20; ++i)
            big << chunk << '\n';
    }

    for (const char* name : {"no_model.cfg", "gap.cfg", "big.cfg", "missing.cfg"})
        EXPECT_TRUE(run(lf_searchLiveriesinFile, ordinary / name).empty()) << name;
    EXPECT_TRUE(run(lf_searchIvaoLiveriesinFile, ivao / "aircraft.cfg").empty());

    const auto invalid = asVector(tzo::invalidCfgFiles);
    ASSERT_EQ(invalid.size(), 3u);
    EXPECT_EQ(std::count(invalid.begin(), invalid.end(),
                         "Line atc_model= is missing in [General] section of " + (ordinary / "no_model.cfg").string()),
              1);
    EXPECT_EQ(std::count_if(invalid.begin(), invalid.end(),
                            [&](const std::string& line) {
                                return line.starts_with((ordinary / "big.cfg").string() + " has") &&
                                       line.ends_with("skipped");
                            }),
              1);
    EXPECT_EQ(logLinesWith("no character set found for " + (ivao / "aircraft.cfg").string()), 1);
}

TEST_F(TaskTest, unreadableFileGivesNothing)
{
    const fs::path cfg = ordinary / "aircraft.cfg";
    testsupport::writeFile(cfg, cfgText({{"T0"}}));
    scantest::OrdinaryUser user(dir.path(), {cfg});
    if (!user.effective())
        GTEST_SKIP() << "cannot take an ordinary user's identity";

    EXPECT_TRUE(run(lf_searchLiveriesinFile, cfg).empty());
    EXPECT_EQ(logLinesWith("cannot open file " + cfg.string()), 1);
}

TEST_F(TaskTest, exceptionInASectionLosesTheFileAndGivesTheSlotBackOnce)
{
    // A model folder that is a link to itself: its status query fails.
    const std::string loop = "loop";
    for (const fs::path& folder : {ordinary, ivao})
        fs::create_symlink("model.loop", folder / "model.loop");
    testsupport::writeFile(ordinary / "aircraft.cfg", cfgText({{"T0"}, {"T1", "AAL", {"model=" + loop}}, {"T2"}}));

    for (auto task : {lf_searchLiveriesinFile, lf_searchIvaoLiveriesinFile}) {
        const fs::path cfg = task == lf_searchLiveriesinFile ? ordinary / "aircraft.cfg" : ivao / "aircraft.cfg";
        if (task == lf_searchIvaoLiveriesinFile)
            testsupport::writeFile(cfg, cfgText({{"B738AAL"}, {"B738UAL", "", {"model=" + loop}}}, true));
        runningWorkers = 1;
        EXPECT_THROW(task(1, cfg, dir / "SimObjects"), fs::filesystem_error);
        EXPECT_EQ(runningWorkers.load(), 0);
    }
    EXPECT_EQ(logLinesWith("exception in lf_searchLiveriesinFile " + (ordinary / "aircraft.cfg").string() + ": "),
              1);
}

TEST_F(TaskTest, ivaoModelCodeComesFromTheFolderName)
{
    tzo::codeFixes = {{"B73H", "B738"}};
    const struct {
        std::string path;
        std::string model;
    } cases[] = {
        {"/sim/IVAO_MTL/IVAO_B738w/aircraft.cfg", "B738"},
        {"C:\\sim\\IVAO_MTL\\IVAO_T154B2\\aircraft.cfg", "T154"},
        {"/sim/ivao_mtl/ivao_T154M/AIRCRAFT.CFG", "T154"},
        {"/sim/IVAO_MTL/IVAO_B744F/aircraft.cfg", "B744"},
        {"/sim/IVAO_MTL/IVAO_GLID_KA6/aircraft.cfg", "GLID"},
        {"/sim/IVAO_MTL/IVAO_B73H/aircraft.cfg", "B738"},
        {"/sim/IVAO_MTL/IVAO_B738W/aircraft.cfg", ""}, // only a lower-case w is dropped
        {"/sim/ivao_x-csl/B738/aircraft.cfg", ""},
        {"/sim/IVAO_MTL/IVAO_B738/sub/aircraft.cfg", ""},
        {"/sim/IVAO_MTL/IVAO_B7-8/aircraft.cfg", ""},
        {"/IVAO_MTL/IVAO_B738/aircraft.cfg", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lf_fixIvaoModel(c.path), c.model) << c.path;

    EXPECT_EQ(tzo::codeFixLines,
              (std::vector<std::string>{"Fix: B73H found in /sim/IVAO_MTL/IVAO_B73H/aircraft.cfg changed into B738"}));
    const auto invalid = asVector(tzo::invalidModelCodes);
    EXPECT_EQ(std::count(invalid.begin(), invalid.end(), fmt::format("{:16} in {}", "B738W", cases[6].path)), 1);
    EXPECT_EQ(std::count(invalid.begin(), invalid.end(), fmt::format("{:16} in {}", "  ", cases[7].path)), 1);
}

TEST_F(TaskTest, ivaoAirlineComesFromTheTitle)
{
    const fs::path cfg = ivao / "aircraft.cfg";
    const struct {
        std::string title;
        std::string airline; // empty: no livery
    } cases[] = {
        {"B738AAL", "AAL"},
        {"B738 AAL Boeing", "AAL"},
        {"b738\tUAL", "UAL"},
        {"B738BOE", "ZZZ"},
        {"AAL B738", ""},
        {"B738 XYZ", ""},
        {"B738A", ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines = {"[fltsim.0]", "title=" + c.title, "sim=B738", "atc_id=N1"};
        const tzo::LiveryData livery = lf_procesIvaoFltSimSection(2, lines, "B738", cfg, ivao);
        EXPECT_EQ(livery.airl, c.airline) << c.title;
        if (!c.airline.empty()) {
            EXPECT_FALSE(livery.cargo);
            EXPECT_EQ(livery.atcid, c.airline == "ZZZ" ? "" : "N1") << c.title;
        }
    }
    const auto incomplete = asVector(tzo::incompleteSections);
    EXPECT_EQ(std::count(incomplete.begin(), incomplete.end(),
                         ivao.string() + " [fltsim.0] misses airlinecode in title"),
              2);
    EXPECT_EQ(tzo::invalidAirlineCodes.size(), 1u);

    // atc_id the IVAO way: ";" starts no comment, and an empty code is told in the file's own words.
    std::vector<std::string> semicolon = {"[fltsim.0]", "title=B738 AAL 2", "sim=B738", "atc_id=N2 ;x"};
    EXPECT_EQ(lf_procesIvaoFltSimSection(2, semicolon, "B738", cfg, ivao).atcid, "N2 ;x");
    std::vector<std::string> empty = {"[fltsim.0]", "title=B738 AAL 3", "sim=B738", "atc_id=N1,,N2"};
    EXPECT_EQ(lf_procesIvaoFltSimSection(2, empty, "B738", cfg, ivao).atcid, "");
    EXPECT_EQ(logLinesWith(" empty regcode in: N1,,N2"), 1);

    // The same title twice gives one livery.
    std::vector<std::string> again = {"[fltsim.0]", "title=B738AAL", "sim=B738"};
    EXPECT_TRUE(lf_procesIvaoFltSimSection(2, again, "B738", cfg, ivao).airl.empty());
    EXPECT_EQ(tzo::incompleteSections.back(), ivao.string() + " [fltsim.0] title already exists: B738AAL");
}

TEST_F(TaskTest, folderOfAPathTakesEitherSeparator)
{
    EXPECT_EQ(lf_cfgFolder("C:\\sim\\B738\\aircraft.cfg"), fs::path("C:\\sim\\B738"));
    EXPECT_EQ(lf_cfgFolder("/sim/B738/aircraft.cfg"), fs::path("/sim/B738"));
    EXPECT_EQ(lf_cfgFolder("aircraft.cfg"), fs::path());
}
