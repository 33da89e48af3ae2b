#include "foundation/paths.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ScopedEnv;

TEST(PathsTest, dataFolderLiesInTheRoamingFolder)
{
    ScopedEnv appData("NORVANE_APPDATA", "/home/pilot/roaming");
    gf_initDataFolder();
    EXPECT_EQ(g_dataFolder, fs::path("/home/pilot/roaming/Norvane_P3D"));
    EXPECT_EQ(g_parametersPath, "/home/pilot/roaming/Norvane_P3D/parameters.xml");
}

TEST(PathsTest, unknownRoamingFolderLeavesTheDataFolderRelative)
{
    ScopedEnv appData("NORVANE_APPDATA", "");
    ScopedEnv config("XDG_CONFIG_HOME", "");
    ScopedEnv home("HOME", "");
    gf_initDataFolder();
    EXPECT_EQ(g_dataFolder, fs::path("Norvane_P3D"));
    EXPECT_EQ(g_parametersPath, "Norvane_P3D/parameters.xml");
}

TEST(PathsTest, programLocationsAreRelativeToTheProgramFolder)
{
    EXPECT_EQ(g_airportsListPath, fs::path("input/airports_p3d.xml"));
    EXPECT_EQ(g_aigRegcodesPath, fs::path("input/regcodesAIG/AIG-regcodes.xml"));
    EXPECT_EQ(g_liveriesScannedPath, fs::path("output/LiveriesScanned.xml"));
    EXPECT_EQ(g_learnedThirdpartyFolder, fs::path("airports/learned/thirdparty"));
    EXPECT_EQ(g_archiveOrbxFolder, fs::path("airports/archive/ORBX"));
    EXPECT_EQ(g_myParkAirportsPath, fs::path("airports/my_park_airports.txt"));
    EXPECT_EQ(g_toBeLearnedFolder, fs::path("TO_BE_LEARNED_OFFLINE"));
    for (const fs::path* p : {&g_inputFolder, &g_myRegcodesFolder, &g_outputInfoFolder, &g_outputErrorsFolder,
                              &g_docsFolder, &g_archiveStockFolder, &g_myOrbxFolder, &g_myThirdpartyFolder})
        EXPECT_TRUE(p->is_relative()) << *p;
}
