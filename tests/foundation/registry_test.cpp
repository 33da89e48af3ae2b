#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/registry.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace fs = std::filesystem;
namespace reg = platform::registry;

TEST(Registry, missingStoreAnswersAsMissingKey)
{
    TempDir dir;
    ScopedEnv env("NORVANE_REGISTRY", (dir / "absent.ini").string());
    EXPECT_FALSE(gf_isP3dInstalled(5));
    try {
        gf_openRegistryKey(reg::Root::LocalMachine, "SOFTWARE\\Lockheed Martin\\Prepar3D v5");
        FAIL();
    } catch (const winreg::RegException& e) {
        EXPECT_EQ(e.code().value(), 2);
        EXPECT_NE(std::string(e.what()).find("RegOpenKeyExW failed."), std::string::npos);
    }
}

TEST(Registry, keysValuesAndSetupPath)
{
    TempDir dir;
    const auto store = dir / "registry.ini";
    testsupport::writeFile(store, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\r\n"
                                  "SetupPath=/opt/p3d5/\r\n"
                                  "[hkey_local_machine\\software\\lockheed martin\\prepar3d v4]\n"
                                  "Other=1\n"
                                  "[HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
                                  "SimConnect_Port_IPv4=0x1F90\n");
    ScopedEnv env("NORVANE_REGISTRY", store.string());

    EXPECT_TRUE(gf_isP3dInstalled(5));
    EXPECT_TRUE(gf_isP3dInstalled(4)) << "key names ignore case";
    EXPECT_FALSE(gf_isP3dInstalled(7)) << "names no key";
    EXPECT_EQ(gf_p3dSetupPath(5), "/opt/p3d5/");
    EXPECT_EQ(gf_p3dSetupPath(4), "") << "missing value";

    const auto key = gf_openRegistryKey(reg::Root::LocalMachine, "SOFTWARE\\Lockheed Martin\\Prepar3D v4");
    try {
        gf_readRegistryString(key, "SetupPath");
        FAIL();
    } catch (const winreg::RegException& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot get size of string value: RegGetValueW failed."),
                  std::string::npos);
    }

    const auto user = gf_openRegistryKey(reg::Root::CurrentUser, "SOFTWARE\\Lockheed Martin\\Prepar3D v5");
    std::string port;
    EXPECT_EQ(reg::getString(user, "simconnect_port_ipv4", port), reg::kSuccess) << "value names ignore case";
    EXPECT_EQ(port, "0x1F90");
    EXPECT_EQ(reg::getString(user, "Missing", port), reg::kErrorFileNotFound);

    const auto installed = gf_detectInstalledSimulators();
    EXPECT_TRUE(installed.v4 && installed.v5 && !installed.v6);
}

TEST(Registry, aStoreThatIsNoSmallRegularFileIsOneLineAndNoKey)
{
    TempDir dir(true);
    const auto store = dir / "registry.ini";
    ScopedEnv env("NORVANE_REGISTRY", store.string());
    const std::pair<testsupport::OddFile, const char*> cases[] = {
        {testsupport::OddFile::fifo, "registry.ini is not a regular file: not read"},
        {testsupport::OddFile::linkToZero, "registry.ini is not a regular file: not read"},
        {testsupport::OddFile::huge, "registry.ini is larger than 1048576 bytes: not read"}};
    for (const auto& [kind, line] : cases) {
        SCOPED_TRACE(testsupport::oddFileName(kind));
        testsupport::makeOddFile(store, kind);
        reg::forgetStore();
        gf_openLog();
        // Every key of a start: one reading, one line.
        const auto installed = gf_detectInstalledSimulators();
        EXPECT_FALSE(installed.v4 || installed.v5 || installed.v6);
        EXPECT_EQ(gf_p3dSetupPath(5), "");
        gf_closeLog();
        EXPECT_EQ(testsupport::countLinesWith("Log.txt", line), 1) << testsupport::readFile("Log.txt");
        fs::remove("Log.txt");
    }
}

TEST(Registry, storeFollowsTheApplicationDataFolder)
{
    TempDir dir;
    ScopedEnv unset("NORVANE_REGISTRY", "");
    ScopedEnv env("NORVANE_APPDATA", dir.path().string());
    EXPECT_EQ(reg::storePath(), dir / "registry.ini");
}
