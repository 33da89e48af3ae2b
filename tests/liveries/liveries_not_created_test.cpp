#include "liveries/liveries_not_created.hpp"
#include "matching_fixture.hpp"

#include "foundation/exceptions.hpp"

#include <fmt/format.h>

#include <atomic>
#include <set>
#include <thread>

using livtest::aircraft;
using livtest::MatchingTest;
using livtest::Plane;
using livtest::shownStatuses;
using namespace tzo;

namespace {

using NotCreatedTest = MatchingTest;

// The aircraft the simulator refused, as the traffic hands it over.
AircraftRecord refused(const std::string& callsign, const std::string& title, const Plane& plane = {"DLH", "A320", ""})
{
    auto a = aircraft(plane, callsign);
    a.liveryTitle = lf_findLiveryTitle(title);
    if (a.liveryTitle.empty()) {
        // A title of an earlier catalogue; kept here as the catalogue keeps its own.
        static std::set<std::string> earlier;
        a.liveryTitle = *earlier.insert(title).first;
    }
    return a;
}

} // namespace

TEST_F(NotCreatedTest, refusedTitleIsShownAndNeverChosenAgain)
{
    buildCatalogue();
    RANDOM.setValue(false);
    auto first = aircraft({"DLH", "A320", ""}, "DLH4AB");
    gf_matchLivery(first);
    ASSERT_EQ(first.liveryTitle, "Lufthansa A320");

    gf_liveryNotCreated(first);
    const std::string status = "DLH4AB \"Lufthansa A320\" could not be created by your Sim!";
    EXPECT_EQ(shownStatuses(), std::vector<std::string>{status});
    EXPECT_TRUE(logHasLine(status));
    EXPECT_EQ(liveriesNotCreated, std::vector<std::string>{"Lufthansa A320"});

    // Without random choices the same pick comes again and is dropped: no
    // livery in this call and nothing counted.
    const auto before = counts();
    auto again = aircraft({"DLH", "A320", ""});
    gf_matchLivery(again);
    EXPECT_TRUE(again.liveryTitle.empty());
    EXPECT_EQ(counts(), before);
    auto parked = aircraft({"DLH", "A320", ""}, "DLH9*");
    const auto lines = logLines().size();
    EXPECT_FALSE(gf_matchStaticLivery(parked, "A1", false));
    EXPECT_TRUE(parked.liveryTitle.empty());
    EXPECT_EQ(logLines().size(), lines) << "a refused title is dropped without a log line";

    // With random choices the other livery of the airline and model is taken.
    RANDOM.setValue(true);
    std::set<std::string> chosen;
    for (int i = 0; i < 100; ++i) {
        auto a = aircraft({"DLH", "A320", ""});
        gf_matchLivery(a);
        chosen.insert(std::string(a.liveryTitle));
    }
    EXPECT_FALSE(chosen.contains("Lufthansa A320"));
    EXPECT_TRUE(chosen.contains("Lufthansa A320 D-AIPA"));
}

TEST_F(NotCreatedTest, refusedTitleFoundByRegistrationGivesNoLiveryAndNoCount)
{
    buildCatalogue();
    gf_liveryNotCreated(refused("DLH1", "Lufthansa A320 D-AIPA"));
    auto live = aircraft({"DLH", "A320", "D-AIPA"});
    gf_matchLivery(live);
    EXPECT_TRUE(live.liveryTitle.empty());
    EXPECT_EQ(counts(), (std::array<int, kMatchingSteps>{}));
    auto parked = aircraft({"DLH", "A320", "D-AIPA"});
    EXPECT_FALSE(gf_matchStaticLivery(parked, "A1", false));
}

TEST_F(NotCreatedTest, aTitleRefusedTwiceIsListedTwiceAndItsModelOnce)
{
    buildCatalogue();
    gf_liveryNotCreated(refused("DLH1", "Lufthansa A320"));
    gf_liveryNotCreated(refused("DLH2", "Lufthansa A320"));
    EXPECT_EQ(liveriesNotCreated, (std::vector<std::string>{"Lufthansa A320", "Lufthansa A320"}));
    EXPECT_EQ(gf_getLiveriesNotCreated(), std::vector<std::string>{"A320 DLH"});
}

TEST_F(NotCreatedTest, fromTheTwentiethRefusalEachIsRecordedAndRaisedAsUserError81)
{
    const std::string text = "there are too many liveries that could not be created by P3D!";
    const std::string errorLine = fmt::format("{}Error 81, {}", g_logMarker, text);
    for (int i = 1; i <= 21; ++i) {
        SCOPED_TRACE(i);
        const auto a = refused(fmt::format("CS{}", i), fmt::format("Title {}", i), {fmt::format("A{:02}", i), "B738", ""});
        if (i < 20) {
            EXPECT_NO_THROW(gf_liveryNotCreated(a));
            EXPECT_EQ(logLinesWith("Error 81"), 0);
            continue;
        }
        try {
            gf_liveryNotCreated(a);
            ADD_FAILURE() << "no user error";
        } catch (const UserErrorException& e) {
            EXPECT_EQ(e.code(), 81);
            EXPECT_EQ(std::string(e.what()), "81: " + text + ", see Log.txt");
        }
        EXPECT_EQ(liveriesNotCreated.size(), static_cast<std::size_t>(i)) << "recorded before it is raised";
        EXPECT_EQ(liveriesNotCreated.back(), fmt::format("Title {}", i));
        EXPECT_EQ(logLinesWith(errorLine), i - 19);
    }
    EXPECT_EQ(gf_getLiveriesNotCreated().size(), 21u);
    // The error stands between blank lines of its own.
    const auto lines = logLines();
    const auto it = std::find(lines.begin(), lines.end(), errorLine);
    ASSERT_NE(it, lines.end());
    EXPECT_EQ(*(it - 1), "");
    EXPECT_EQ(*(it + 1), "");
}

// The exit writes the summary while the main loop's last tick may still
// match and record refusals.
TEST_F(NotCreatedTest, summaryOnAnotherThreadWhileMatchingAndRefusing)
{
    buildCatalogue();
    LOG.setValue(false);
    std::atomic<bool> done{false};
    int raised = 0;
    std::thread mainLoop([&] {
        for (int i = 0; i < 2000; ++i) {
            auto a = aircraft({"XXX", i % 2 == 0 ? "EC45" : "EC35", "", AircraftCategory::Rotorcraft});
            gf_matchLivery(a);
            if (i % 100 == 0) {
                a.liveryTitle = "Refused";
                a.airline = fmt::format("R{:02}", i / 100);
                try {
                    gf_liveryNotCreated(a);
                } catch (const UserErrorException&) {
                    ++raised; // the twentieth
                }
            }
        }
        done.store(true);
    });
    int summaries = 0;
    while (!done.load() || summaries == 0) {
        gf_logMatchingSummary();
        ++summaries;
    }
    mainLoop.join();
    EXPECT_EQ(raised, 1);
    EXPECT_EQ(counts()[3] + counts()[4], 2000);
    EXPECT_EQ(gf_getLiveriesNotCreated().size(), 20u);
    gf_logMatchingSummary();
    EXPECT_TRUE(logHasLine("  4: 1000"));
    EXPECT_TRUE(logHasLine("  5: 1000"));
}
