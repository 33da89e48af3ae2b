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
