#include "platform/folders.hpp"
#include "platform/ini_file.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

using platform::IniFile;
using testsupport::ScopedEnv;

TEST(IniFile, readsSectionsAndKeysWithoutRegardToCase)
{
    IniFile ini;
    ini.parse("\xEF\xBB\xBF; comment\r\n"
              "[SimConnect]\r\n"
              "Protocol = Pipe \r\n"
              "Address=\"::1\"\r\n"
              "orphan line\r\n"
              "[SimConnect.1]\n"
              "Port=500\n"
              "[simconnect]\n"
              "MaxReceiveSize=8192\n"
              "[broken\n"
              "Lost=1\n");
    ASSERT_EQ(ini.sections().size(), 2u) << "a repeated section merges, a broken header is skipped";
    EXPECT_EQ(ini.value("SIMCONNECT", "protocol").value(), "Pipe");
    EXPECT_EQ(ini.value("simconnect", "address").value(), "::1");
    EXPECT_EQ(ini.value("SimConnect", "MaxReceiveSize").value(), "8192");
    EXPECT_FALSE(ini.value("SimConnect.2", "Port").has_value());
    // Lines of a broken header stay with the section before it, as Windows does not see a new one.
    EXPECT_EQ(ini.value("SimConnect", "Lost").value(), "1");
    const auto* first = ini.findSection("simconnect");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->entries.at(2).key, "orphan line");
    EXPECT_EQ(first->entries.at(2).value, "");
}

TEST(IniFile, missingFileLoadsNothing)
{
    IniFile ini;
    EXPECT_FALSE(ini.load("/nonexistent/folder/file.ini"));
    EXPECT_TRUE(ini.sections().empty());
    EXPECT_TRUE(ini.loadStatus().missing());
    EXPECT_EQ(platform::outsideFileRefusal("/nonexistent/folder/file.ini", ini.loadStatus()), "");
}

TEST(IniFile, whatIsNoSmallRegularFileIsRefusedUnread)
{
    testsupport::TempDir dir;
    const auto path = dir / "SimConnect.cfg";
    using Problem = platform::OutsideFileProblem;
    const std::pair<testsupport::OddFile, Problem> cases[] = {{testsupport::OddFile::fifo, Problem::notRegularFile},
                                                              {testsupport::OddFile::linkToZero, Problem::notRegularFile},
                                                              {testsupport::OddFile::huge, Problem::tooLarge}};
    for (const auto& [kind, problem] : cases) {
        SCOPED_TRACE(testsupport::oddFileName(kind));
        testsupport::makeOddFile(path, kind);
        IniFile ini;
        EXPECT_FALSE(ini.load(path));
        EXPECT_EQ(ini.loadStatus().problem, problem);
        EXPECT_TRUE(ini.sections().empty());
        const std::string line = platform::outsideFileRefusal(path, ini.loadStatus());
        EXPECT_EQ(line.find(path.string()), 0u) << line;
    }
}

TEST(Folders, environmentMovesEveryFolder)
{
    {
        ScopedEnv a("NORVANE_APPDATA", "");
        ScopedEnv x("XDG_CONFIG_HOME", "");
        ScopedEnv h("HOME", "/home/someone");
        EXPECT_EQ(platform::roamingAppDataFolder(), "/home/someone/.config");
    }
    {
        ScopedEnv p("NORVANE_PUBLIC_DOCUMENTS", "");
        EXPECT_TRUE(platform::publicDocumentsFolder().empty());
        ScopedEnv d("XDG_DOCUMENTS_DIR", "/docs");
        EXPECT_EQ(platform::userDocumentsFolder(), "/docs");
    }
}
