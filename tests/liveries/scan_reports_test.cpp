#include "liveries_fixture.hpp"

#include "foundation/paths.hpp"
#include "liveries/scan_reports.hpp"

#include <algorithm>
#include <thread>

using testsupport::LiveriesTest;
using testsupport::readFile;
using testsupport::writeFile;

namespace fs = std::filesystem;

namespace {

struct ScanReportsTest : LiveriesTest {
    // The start-up makes the info folder before any scan.
    ScanReportsTest() { fs::create_directories(g_outputInfoFolder); }
};

} // namespace

TEST_F(ScanReportsTest, threadsAppendingToEveryListLoseNoLine)
{
    constexpr int kThreads = 8;
    constexpr int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                const std::string line = std::to_string(t) + "/" + std::to_string(i);
                lf_addCodeFixLine(line);
                lf_addInvalidCfgFile(line);
                lf_addIncompleteSection(line);
                lf_addScanMessage(tzo::invalidAirlineCodes, tzo::invalidAirlineCodesMutex, line);
                lf_addScanMessage(tzo::invalidModelCodes, tzo::invalidModelCodesMutex, line);
                lf_addScanMessage(tzo::noFltsimSectionFiles, tzo::noFltsimSectionFilesMutex, line);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();

    auto sorted = [](auto lines) {
        std::vector<std::string> all(lines.begin(), lines.end());
        std::sort(all.begin(), all.end());
        return all;
    };
    const auto expected = sorted(tzo::codeFixLines);
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(kThreads * kLines));
    EXPECT_EQ(std::adjacent_find(expected.begin(), expected.end()), expected.end());
    for (const auto* list : {&tzo::invalidCfgFiles, &tzo::incompleteSections, &tzo::invalidAirlineCodes,
                             &tzo::invalidModelCodes, &tzo::noFltsimSectionFiles})
        EXPECT_EQ(sorted(*list), expected);
}

TEST_F(ScanReportsTest, summaryNamesEachFileAndSortsAllButTheFixes)
{
    tzo::invalidAirlineCodes = {"XYZ in b", "ABC in a"};
    tzo::invalidModelCodes = {"B7 in a"};
    tzo::codeFixLines = {"Fix: Z", "Fix: A"};
    tzo::invalidCfgFiles = {"b contains", "a contains"};
    tzo::incompleteSections = {"s2", "s1", "s3"};
    tzo::noFltsimSectionFiles = {"cfg2", "cfg1"};
    tzo::dbaseConversionLines = {"conv 2", "conv 1"};
    tzo::skippedOnPriority = {"BAW B738 \"y\"", "AAL B738 \"x\""};
    lf_writeScanSummary();

    EXPECT_EQ(readFile(g_invalidAirlineCodesPath), "ABC in a\nXYZ in b\n");
    EXPECT_EQ(readFile(g_codeFixLinesPath), "Fix: Z\nFix: A\n");
    EXPECT_EQ(readFile(g_incompleteSectionsPath), "s1\ns2\ns3\n");
    EXPECT_EQ(readFile(g_dbaseConversionLinesPath), "conv 2\nconv 1\n");
    EXPECT_EQ(readFile(g_skippedOnPriorityPath), "AAL B738 \"x\"\nBAW B738 \"y\"\n");

    const std::string expected = "\nErrors:\n"
                                 "2 invalid airline codes, see output/errors/InvalidAirlineCodes.txt\n"
                                 "1 invalid model code, see output/errors/InvalidAircraftCodes.txt\n"
                                 "2 code fixes, see output/errors/Fixes.txt\n"
                                 "2 invalid aircraft.cfg files, see output/errors/InvalidAircraftCfgFiles.txt\n"
                                 "3 incomplete [fltsim.x] sections, see output/errors/IncompleFltsimSections.txt\n"
                                 "\nInformation:\n"
                                 "2 empty aircraft.cfg files, see output/info/AircraftCfgWithNoFltsimSection.txt\n"
                                 "2 liveries updated with real live data from dbase, see "
                                 "output/info/AirlineModelConversions.txt\n"
                                 "2 liveries skipped on priority, see output/info/LiveriesSkippedOnPriority.txt\n";
    EXPECT_NE(log().find(expected), std::string::npos) << log();
}

TEST_F(ScanReportsTest, cleanScanWritesNothingAndLeavesNoEmptyErrorsFolder)
{
    fs::create_directories(g_outputErrorsFolder);
    writeFile(g_incompleteSectionsPath, "old\n");
    writeFile(g_noFltsimSectionFilesPath, "old\n");
    writeFile(g_dbaseConversionLinesPath, "stale conversions\n");
    writeFile(g_liveriesScannedPath, "<liveries/>\n");
    lf_removeScanOutputs();
    lf_writeScanSummary();

    EXPECT_FALSE(fs::exists(g_outputErrorsFolder));
    EXPECT_FALSE(fs::exists(g_noFltsimSectionFilesPath));
    EXPECT_EQ(readFile(g_liveriesScannedPath), "<liveries/>\n"); // replaced only by a scan that found liveries
    EXPECT_EQ(readFile(g_dbaseConversionLinesPath), "stale conversions\n");
    EXPECT_NE(log().find("\nNo errors\n\nInformation:\n"), std::string::npos);
    EXPECT_EQ(logLinesWith("see "), 0);
    EXPECT_EQ(logLinesWith("problems with removing"), 0);

    // An errors folder with files of the user's stays.
    fs::create_directories(g_outputErrorsFolder);
    writeFile(g_outputErrorsFolder / "notes.txt", "mine\n");
    writeFile(g_codeFixLinesPath, "old\n");
    lf_removeScanOutputs();
    EXPECT_FALSE(fs::exists(g_codeFixLinesPath));
    EXPECT_TRUE(fs::exists(g_outputErrorsFolder / "notes.txt"));
}

TEST_F(ScanReportsTest, fileThatWillNotGoLeavesTheOthersRemoved)
{
    // A non-empty folder in a report file's place cannot be removed, by anyone.
    fs::create_directories(g_codeFixLinesPath / "inside");
    writeFile(g_invalidAirlineCodesPath, "old\n");
    writeFile(g_incompleteSectionsPath, "old\n");
    writeFile(g_airlineDataPath, "old\n");
    lf_removeScanOutputs();
    EXPECT_EQ(logLinesWith("problems with removing previous files: "), 1);
    EXPECT_EQ(logLinesWith("Fixes.txt"), 1);
    EXPECT_FALSE(fs::exists(g_invalidAirlineCodesPath));
    EXPECT_FALSE(fs::exists(g_incompleteSectionsPath));
    EXPECT_FALSE(fs::exists(g_airlineDataPath));
}

TEST_F(ScanReportsTest, reportThatCannotBeWrittenSaysSo)
{
    fs::create_directories(g_invalidAirlineCodesPath / "inside");
    tzo::invalidAirlineCodes = {"XYZ in b"};
    tzo::invalidModelCodes = {"B7 in a"};
    fs::remove(g_outputInfoFolder);
    tzo::noFltsimSectionFiles = {"cfg"};
    lf_writeScanSummary();
    EXPECT_EQ(logLinesWith("\"output/errors/InvalidAirlineCodes.txt\" not saved: a folder has its name"), 1);
    EXPECT_EQ(logLinesWith("invalid airline code, see"), 0);
    EXPECT_EQ(logLinesWith("1 invalid model code, see output/errors/InvalidAircraftCodes.txt"), 1);
    EXPECT_EQ(logLinesWith("\"output/info/AircraftCfgWithNoFltsimSection.txt\" not saved: No such file or directory"),
              1);
}
