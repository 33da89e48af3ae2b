#pragma once
// Every catalogue test runs in a fresh program folder (input, output) with its
// own log and its own data folder for "parameters.xml", and starts and ends
// with an empty catalogue, empty scan lists and empty reference data.

#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_maps.hpp"
#include "liveries/livery_window.hpp"
#include "liveries/scan_lists.hpp"
#include "liveries/scanned_liveries.hpp"
#include "refdata/dbase.hpp"
#include "refdata/dbase_file.hpp"
#include "refdata/reference_data_reset.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace livtest {

inline tzo::LiveryData liv(std::string airl, std::string type, std::string title, std::string atcid = "",
                           std::uint32_t priority = 1, bool cargo = false)
{
    return tzo::LiveryData{std::move(airl), std::move(type), std::move(title), std::move(atcid), priority, cargo};
}

inline void resetLiveryState()
{
    tzo::gf_resetLiveryCatalogue();
    tzo::scannedLiveries.clear();
    tzo::skippedOnPriority.clear();
    tzo::dontUseTitles.clear();
    testsupport::clearReferenceData();
    tzo::gf_installLiveryWindowHooks({});
    for (auto* box : {&HELICOPTERS, &HIGH_PERF_AIRCRAFT, &LIGHT_AIRCRAFT, &LIG_PRIORITIZE})
        box->setValue(box->defaultValue());
    for (auto* info : {&author, &date, &version})
        info->setValue(info->defaultValue());
}

struct CatalogueTest : ::testing::Test {
    testsupport::TempDir dir{true};
    testsupport::ScopedEnv appData{"NORVANE_APPDATA", (dir.path() / "roaming").string()};

    CatalogueTest()
    {
        gf_initDataFolder();
        std::filesystem::create_directories(g_dataFolder);
        std::filesystem::create_directories(g_outputInfoFolder);
        resetLiveryState();
        gf_openLog(dir / "Log.txt");
    }
    ~CatalogueTest() override
    {
        gf_closeLog();
        resetLiveryState();
    }

    std::string log() const { return testsupport::readFile(dir / "Log.txt"); }

    std::vector<std::string> logLines() const { return testsupport::readLines(dir / "Log.txt"); }

    bool logHasLine(const std::string& line) const
    {
        const auto lines = logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // How many log lines contain the text.
    int logLinesWith(const std::string& text) const { return testsupport::countLinesWith(dir / "Log.txt", text); }

    // The lines of a text file; none when it is missing.
    static std::vector<std::string> fileLines(const std::filesystem::path& path) { return testsupport::readLines(path); }

    // Writes the data base with the models' categories and reads it.
    static void readDbase(const testsupport::DbaseFile& file)
    {
        file.write(g_dbasePath);
        ASSERT_TRUE(gf_readDbase());
    }

    static void process(std::vector<tzo::LiveryData> liveries)
    {
        tzo::scannedLiveries.assign(liveries.begin(), liveries.end());
        tzo::gf_processScannedLiveries();
    }
};

} // namespace livtest
