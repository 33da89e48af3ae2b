#include "refdata/publishers.hpp"
#include "refdata_fixture.hpp"

#include <mutex>
#include <thread>

using testsupport::DbaseFile;
using testsupport::RefdataTest;

TEST_F(RefdataTest, publisherGroupsSortedAndDeduplicated)
{
    auto file = DbaseFile::minimal();
    file.publisher("Zeta,zz")
        .publisher("Alpha,a1")
        .publisher("Alpha,a1")   // same text: one group
        .publisher("Alpha,a2")   // differs in its patterns: a group of its own
        .publisher(",nameless")  // an empty name would be found in every path
        .publisher("Beta,,b1,"); // empty patterns are dropped
    ASSERT_TRUE(read(file));
    ASSERT_EQ(g_publisherGroups.size(), 4u);
    EXPECT_EQ(g_publisherGroups[0], (std::vector<std::string>{"Alpha", "a1"}));
    EXPECT_EQ(g_publisherGroups[1], (std::vector<std::string>{"Alpha", "a2"}));
    EXPECT_EQ(g_publisherGroups[2], (std::vector<std::string>{"Beta", "b1"}));
    EXPECT_EQ(g_publisherGroups[3], (std::vector<std::string>{"Zeta", "zz"}));
    EXPECT_EQ(logLinesWith("publisher without a name"), 1);
    EXPECT_EQ(gf_publisherOfPath("some/other/path"), "unknown");
}

TEST_F(RefdataTest, publisherBySubstringOrByPattern)
{
    auto file = DbaseFile::minimal();
    file.publisher("Alpha Scenery,ab.d")
        .publisher("Beta Works,xab")
        .publisher("Gamma,GAM[0-9]+_,(unclosed");
    ASSERT_TRUE(read(file));

    const std::pair<const char*, const char*> cases[] = {
        {"scenery/Beta Works/x.bgl", "Beta Works"}, // the name as a substring
        {"ABXDef.bgl", "Alpha Scenery"},            // pattern: case-insensitive, at the start
        {"xabXd", "Beta Works"},                    // not by the pattern (not at the start), by "xab"
        {"qqabcd", "unknown"},
        {"gam12_airport.bgl", "Gamma"},
        {"GAM_airport.bgl", "unknown"},
        {"gamma", "Gamma"},                         // the name is a pattern too
        {"x-gamma", "unknown"},                     // substrings are case-sensitive
    };
    for (const auto& [path, publisher] : cases)
        EXPECT_EQ(gf_publisherOfPath(path), publisher) << path;

    // An earlier group found by substring wins over a later one by pattern,
    // and within the walk the substring of a later group does not beat an
    // earlier group's pattern.
    EXPECT_EQ(gf_publisherOfPath("abcd Beta Works"), "Alpha Scenery");
    EXPECT_EQ(gf_publisherOfPath("gam1_Alpha Scenery"), "Alpha Scenery");

    // The invalid pattern is reported once, when the patterns are compiled.
    EXPECT_EQ(logLinesWith("EXCEPTION"), 1);
    EXPECT_EQ(gf_publisherOfPath("(unclosed"), "Gamma") << "still found as a substring";
    EXPECT_EQ(logLinesWith("EXCEPTION"), 1);
}

TEST_F(RefdataTest, veryLongPathDoesNotBreakThePatternMatch)
{
    auto file = DbaseFile::minimal();
    file.publisher("Alpha,a.*z");
    ASSERT_TRUE(read(file));
    const std::string path = "a" + std::string(200000, 'y') + "z";
    EXPECT_EQ(gf_publisherOfPath(path), "unknown");
    EXPECT_EQ(gf_publisherOfPath("a" + std::string(1000, 'y') + "z"), "Alpha");
}

TEST_F(RefdataTest, publisherOfFileNameKnowsOrbx)
{
    auto file = DbaseFile::minimal();
    file.publisher("Beta,beta");
    ASSERT_TRUE(read(file));

    std::mutex mutex;
    std::vector<std::string> scanLog;
    gf_installAirportScanLogWriter([&](std::string_view line) {
        std::lock_guard lock(mutex);
        scanLog.emplace_back(line);
    });

    EXPECT_EQ(gf_publisherOfFileName("scenery/ORBX_EGLL.bgl"), "ORBX");
    EXPECT_EQ(gf_publisherOfFileName("orbx_ylhi.bgl"), "ORBX") << "the pattern ignores case";
    EXPECT_EQ(gf_publisherOfFileName("xorbx.bgl"), "unknown");
    EXPECT_EQ(scanLog, (std::vector<std::string>(2, "from filename => publisher  ORBX")));

    // The BGL tasks ask from several threads at once.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 200; ++i)
                EXPECT_EQ(gf_publisherOfFileName("ORBX/beta.bgl"), "ORBX");
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(scanLog.size(), 802u);
}

TEST_F(RefdataTest, hostilePublisherPatternsAreRefusedNotRun)
{
    // Patterns come from the downloaded data base. Run as they stand, the
    // first two take for ever on any longer path and the last one overflows
    // the stack while it is compiled.
    const std::string deep = std::string(20000, '(') + "a" + std::string(20000, ')');
    auto file = DbaseFile::minimal();
    file.publisher("Alpha,(.*)*x")
        .publisher("Beta,(a|aa)*c")
        .publisher("Gamma,a*a*a*a*a*a*b")
        .publisher("Delta,a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa")
        .publisher("Epsilon,(a)\\1")
        .publisher("Zeta," + deep)
        .publisher("Zulu,zu.*lu[0-9]+_(?:x|y)");
    ASSERT_TRUE(read(file));
    EXPECT_EQ(logLinesWith("refused"), 6);

    const std::string path = std::string(60, 'a') + "/scenery.bgl";
    EXPECT_EQ(gf_publisherOfPath(path), "unknown");
    EXPECT_EQ(gf_publisherOfPath("aa"), "unknown");
    EXPECT_EQ(gf_publisherOfPath("alpha/x"), "Alpha") << "the name still matches";
    // An ordinary pattern with two open repeats is still run.
    EXPECT_EQ(gf_publisherOfPath("ZUxx/lu12_y.bgl"), "Zulu");
}
