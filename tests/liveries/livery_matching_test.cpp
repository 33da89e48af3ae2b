#include "liveries/livery_matching.hpp"
#include "matching_fixture.hpp"

#include <fmt/format.h>

#include <set>

using livtest::aircraft;
using livtest::MatchingTest;
using livtest::Plane;
using namespace tzo;

namespace {

using Cat = AircraftCategory;

struct Expect {
    const char* title; // "" for none
    int step;
};
constexpr Expect kNone{"", 0};

struct LadderCase {
    const char* name;
    Plane plane;
    bool live;
    std::array<Expect, 4> byDepth; // MATCHING_DEPTH 1..4
};

const LadderCase kLadder[] = {
    {"registration", {"DLH", "A320", "D-AIPA"}, true, {{{"Lufthansa A320 D-AIPA", 1}, {"Lufthansa A320 D-AIPA", 1},
                                                       {"Lufthansa A320 D-AIPA", 1}, {"Lufthansa A320 D-AIPA", 1}}}},
    {"airline and model", {"DLH", "A320", ""}, true,
     {{kNone, {"Lufthansa A320", 2}, {"Lufthansa A320", 2}, {"Lufthansa A320", 2}}}},
    {"substitute model", {"BAW", "A320", ""}, true, {{kNone, kNone, {"Speedbird A321", 3}, {"Speedbird A321", 3}}}},
    {"large: generic only at depth 4", {"XXX", "A320", ""}, true, {{kNone, kNone, kNone, {"Generic A320", 4}}}},
    {"heavy: generic only at depth 4", {"XXX", "B744", "", Cat::Heavy}, true,
     {{kNone, kNone, kNone, {"Generic B744", 4}}}},
    {"heavy never model only", {"XXX", "B77W", "", Cat::Heavy}, true, {{kNone, kNone, kNone, kNone}}},
    {"rotorcraft generic", {"XXX", "EC35", "", Cat::Rotorcraft}, true,
     {{kNone, kNone, {"Generic EC35", 4}, {"Generic EC35", 4}}}},
    {"rotorcraft model only", {"XXX", "EC45", "", Cat::Rotorcraft}, true,
     {{kNone, kNone, {"Heli EC45", 5}, {"Heli EC45", 5}}}},
    {"rotorcraft alternative model", {"XXX", "EC30", "", Cat::Rotorcraft}, true,
     {{kNone, kNone, {"Heli EC45", 6}, {"Heli EC45", 6}}}},
    {"private with generic", {"PVT", "C172", "", Cat::Light}, true,
     {{kNone, {"Generic C172", 4}, {"Generic C172", 4}, {"Generic C172", 4}}}},
    {"private without generic", {"PVT", "PA28", "", Cat::Light}, true,
     {{kNone, {"Private PA28", 2}, {"Private PA28", 2}, {"Private PA28", 2}}}},
    {"registration's airline", {"XYZ", "B738", "N123"}, true,
     {{kNone, {"United B738", 2}, {"United B738", 2}, {"United B738", 2}}}},
    {"live without airline", {"", "B738", "N123"}, true, {{kNone, kNone, kNone, kNone}}},
    {"static without airline", {"", "B738", "N123"}, false,
     {{kNone, {"United B738", 2}, {"United B738", 2}, {"United B738", 2}}}},
    {"static rotorcraft alternative", {"XXX", "EC30", "", Cat::Rotorcraft}, false,
     {{kNone, kNone, {"Heli EC45", 6}, {"Heli EC45", 6}}}},
    {"static registration", {"", "A320", "D-AIPA"}, false,
     {{{"Lufthansa A320 D-AIPA", 1}, {"Lufthansa A320 D-AIPA", 1}, {"Lufthansa A320 D-AIPA", 1},
       {"Lufthansa A320 D-AIPA", 1}}}},
};

} // namespace

TEST_F(MatchingTest, ladderReachesEachStepAsDeepAsTheDepthAllows)
{
    buildCatalogue();
    RANDOM.setValue(false);
    for (int depth = 1; depth <= 4; ++depth) {
        MATCHING_DEPTH.setValue(depth);
        for (const auto& c : kLadder) {
            SCOPED_TRACE(fmt::format("{} at depth {}", c.name, depth));
            const Expect& want = c.byDepth[static_cast<std::size_t>(depth - 1)];
            auto a = aircraft(c.plane);
            const auto before = counts();
            if (c.live) {
                gf_matchLivery(a);
            } else {
                const bool placed = gf_matchStaticLivery(a, "A12", false);
                EXPECT_EQ(placed, want.step != 0);
            }
            EXPECT_EQ(std::string(a.liveryTitle), want.title);
            auto expectedCounts = before;
            if (c.live && want.step != 0)
                ++expectedCounts[static_cast<std::size_t>(want.step - 1)];
            EXPECT_EQ(counts(), expectedCounts);
            if (want.step != 0) {
                EXPECT_EQ(lastLogLine(), fmt::format("          {} ={}= {}", gf_formatStatusLine(a), want.step,
                                                     want.title));
            }
        }
    }
}

TEST_F(MatchingTest, cargoTakesAPassengerLiveryOfItsAirlineButOnlyACargoLiveryOfAnyAirline)
{
    buildCatalogue();
    RANDOM.setValue(false);
    const struct {
        Plane plane;
        const char* title;
        int step;
    } cases[] = {
        {{"CLX", "B748", "", Cat::Heavy, true}, "Cargolux pax B748", 2},
        {{"XXX", "C208", "", Cat::Light, true}, "Cargo C208", 5},
        {{"XXX", "C208", "", Cat::Light, false}, "Pax C208", 5},
        {{"XXX", "C206", "", Cat::Light, true}, "", 0}, // neither C206 nor its alternative C207 has a cargo livery
        {{"ABC", "C208", "", Cat::Light, false}, "Pax C208", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fmt::format("{} {} cargo {}", c.plane.airline, c.plane.model, c.plane.cargo));
        auto a = aircraft(c.plane);
        const auto before = counts();
        gf_matchLivery(a);
        EXPECT_EQ(std::string(a.liveryTitle), c.title);
        if (c.step != 0)
            EXPECT_EQ(counts()[static_cast<std::size_t>(c.step - 1)], before[static_cast<std::size_t>(c.step - 1)] + 1);
        else
            EXPECT_EQ(counts(), before);
    }
}

TEST_F(MatchingTest, staticAircraftTakesTheStandsCargoFlagAfterTheRegistration)
{
    buildCatalogue();
    RANDOM.setValue(false);
    struct Stand {
        std::string name;
        bool cargo;
    };
    auto freighter = aircraft({"XXX", "C208", "", Cat::Light, false});
    EXPECT_TRUE(gf_matchStaticLivery(freighter, Stand{"C3", true}));
    EXPECT_EQ(freighter.liveryTitle, "Cargo C208");
    EXPECT_TRUE(freighter.cargo);

    auto passenger = aircraft({"XXX", "C208", "", Cat::Light, true});
    EXPECT_TRUE(gf_matchStaticLivery(passenger, Stand{"A1", false}));
    EXPECT_EQ(passenger.liveryTitle, "Pax C208");
    EXPECT_FALSE(passenger.cargo);

    // Found by its registration, it keeps the flag it came with.
    auto registered = aircraft({"DLH", "A320", "D-AIPA", Cat::Large, true});
    EXPECT_TRUE(gf_matchStaticLivery(registered, Stand{"A2", false}));
    EXPECT_EQ(registered.liveryTitle, "Lufthansa A320 D-AIPA");
    EXPECT_TRUE(registered.cargo);
    EXPECT_EQ(counts(), (std::array<int, kMatchingSteps>{})) << "static matches are not counted";
}

TEST_F(MatchingTest, specialLiveriesAreHandedOutByTheirRegistrationOnly)
{
    buildCatalogue();
    for (const bool random : {false, true}) {
        SCOPED_TRACE(random ? "RANDOM on" : "RANDOM off");
        RANDOM.setValue(random);
        MATCHING_DEPTH.setValue(2);
        // The only candidate is special: nothing from that list.
        auto only = aircraft({"SPC", "A320", ""});
        gf_matchLivery(only);
        EXPECT_TRUE(only.liveryTitle.empty());
        // One special, one free: always the free one.
        std::set<std::string> chosen;
        for (int i = 0; i < 200; ++i) {
            auto a = aircraft({"SPF", "A320", ""});
            gf_matchLivery(a);
            chosen.insert(std::string(a.liveryTitle));
        }
        EXPECT_EQ(chosen, std::set<std::string>{"SPF Free"});
        // By its registration the special one is given.
        auto owner = aircraft({"SPC", "A320", "D-SPEC"});
        gf_matchLivery(owner);
        EXPECT_EQ(owner.liveryTitle, "Special A320");
    }
    // Deeper, the aircraft without its own livery goes on down the ladder.
    MATCHING_DEPTH.setValue(4);
    auto only = aircraft({"SPC", "A320", ""});
    gf_matchLivery(only);
    EXPECT_EQ(only.liveryTitle, "Generic A320");
}

TEST_F(MatchingTest, withoutRandomTheSameAircraftAlwaysGetsTheSameTitle)
{
    std::vector<tzo::LiveryData> many;
    for (int i = 0; i < 12; ++i)
        many.push_back(livtest::liv("DLH", "A320", fmt::format("Lufthansa {}", i)));
    readDbase(dbase());
    process(many);
    RANDOM.setValue(false);
    std::set<std::string> chosen;
    for (int i = 0; i < 50; ++i) {
        auto a = aircraft({"DLH", "A320", ""});
        gf_matchLivery(a);
        chosen.insert(std::string(a.liveryTitle));
    }
    EXPECT_EQ(chosen, std::set<std::string>{"Lufthansa 0"});
    RANDOM.setValue(true);
    for (int i = 0; i < 50; ++i) {
        auto a = aircraft({"DLH", "A320", ""});
        gf_matchLivery(a);
        chosen.insert(std::string(a.liveryTitle));
    }
    EXPECT_GT(chosen.size(), 1u) << "random choices spread over the candidates";
}

TEST_F(MatchingTest, logLinesFollowTheLogSettingAndFsltlFollowsTheTitle)
{
    buildCatalogue();
    RANDOM.setValue(false);
    for (const bool log : {true, false}) {
        SCOPED_TRACE(log ? "LOG on" : "LOG off");
        LOG.setValue(log);
        const auto linesBefore = logLines().size();

        auto fsl = aircraft({"FSL", "A320", "D-AFSL"}, "FSL1");
        fsl.departure = "EDDF";
        fsl.destination = "LSZH";
        gf_matchLivery(fsl);
        EXPECT_EQ(fsl.liveryTitle, "FSLTL_A320_FSL");
        EXPECT_TRUE(fsl.fsltl);
        auto dlh = aircraft({"DLH", "A320", ""}, "DLH2");
        dlh.fsltl = true;
        gf_matchLivery(dlh);
        EXPECT_FALSE(dlh.fsltl);

        auto parked = aircraft({"DLH", "A320", ""}, "DLH3*");
        parked.liveryTitle = dlh.liveryTitle;
        EXPECT_TRUE(gf_matchStaticLivery(parked, "B7", false));
        auto nothing = aircraft({"XXX", "B77W", "", Cat::Heavy}, "NOPE*");
        EXPECT_FALSE(gf_matchStaticLivery(nothing, "B8", false));
        auto nothingLive = aircraft({"XXX", "B77W", "", Cat::Heavy}, "NOPE");
        gf_matchLivery(nothingLive);

        const auto lines = logLines();
        const std::vector<std::string> added(lines.begin() + static_cast<std::ptrdiff_t>(linesBefore), lines.end());
        if (!log) {
            EXPECT_TRUE(added.empty());
            continue;
        }
        EXPECT_EQ(added, (std::vector<std::string>{
                             "          FSL1     D-AFSL   FSL A320 EDDF->LSZH =2= FSLTL_A320_FSL",
                             "          DLH2              DLH A320          =2= Lufthansa A320",
                             "          DLH3*             DLH A320          =s= Lufthansa A320",
                             "B8      : NOPE*     XXX B77W no livery match ...",
                         }));
    }
}

TEST_F(MatchingTest, summaryCountsStepsAndListsEachRefusedModelOnce)
{
    buildCatalogue();
    // A day without traffic: zero counts and no list of refused models.
    gf_logMatchingSummary();
    EXPECT_TRUE(logHasLine("  6: 0"));
    EXPECT_EQ(logLinesWith("Could not be created by P3D:"), 0);

    RANDOM.setValue(false);
    for (const Plane& p : {Plane{"DLH", "A320", "D-AIPA"}, Plane{"DLH", "A320", ""}, Plane{"DLH", "A320", ""},
                           Plane{"XXX", "EC30", "", Cat::Rotorcraft}}) {
        auto a = aircraft(p);
        gf_matchLivery(a);
    }
    for (const Plane& p : {Plane{"KLM", "B744", ""}, Plane{"DLH", "A320", ""}, Plane{"KLM", "B744", ""}}) {
        auto a = aircraft(p);
        a.liveryTitle = "Some title";
        gf_liveryNotCreated(a);
    }
    const auto before = logLines().size();
    gf_logMatchingSummary();
    const auto lines = logLines();
    const std::vector<std::string> added(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end());
    const std::string stars(31, '*');
    EXPECT_EQ(added, (std::vector<std::string>{"", stars + " live traffic livery matching summary " + stars,
                                               "Matches at step: ", "  1: 1", "  2: 2", "  3: 0", "  4: 0", "  5: 0",
                                               "  6: 1", "", "Could not be created by P3D:", "A320 DLH", "B744 KLM",
                                               std::string(100, '*'), ""}));
}
