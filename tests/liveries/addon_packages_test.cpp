#include "liveries_fixture.hpp"

#include "airports/airport_services.hpp"
#include "foundation/encoding.hpp"
#include "foundation/settings.hpp"
#include "liveries/addon_packages.hpp"

namespace fs = std::filesystem;

namespace {

struct PackagesTest : testsupport::LiveriesTest {
    testsupport::ScopedEnv roaming{"NORVANE_APPDATA", (dir / "roaming").string()};
    testsupport::ScopedEnv programData{"NORVANE_PROGRAMDATA", (dir / "programdata").string()};
    fs::path addOnsCfg = dir / "roaming" / "Lockheed Martin" / "Prepar3D v5" / "add-ons.cfg";
    fs::path simObjectsCfg = dir / "programdata" / "Lockheed Martin" / "Prepar3D v5" / "simobjects.cfg";
    std::vector<std::string> folders;

    PackagesTest() { SIM_INSTALL_PATH.setValue("/sim/Prepar3D v5"); }
    ~PackagesTest() override { SIM_INSTALL_PATH.setValue(SIM_INSTALL_PATH.defaultValue()); }

    // A package folder whose add-on.xml has the given component lines.
    fs::path package(const std::string& name, const std::string& components)
    {
        const fs::path folder = dir / "packages" / name;
        testsupport::writeFile(folder / "add-on.xml", "<SimBase.Document Type=\"AddOnXml\">\n" + components +
                                                          "</SimBase.Document>\n");
        return folder;
    }
};

std::string component(const std::string& category, const std::string& path)
{
    return "  <AddOn.Component>\n    <Category>" + category + "</Category>\n    <Path>" + path +
           "</Path>\n  </AddOn.Component>\n";
}

} // namespace

TEST(ActiveValue, needsBothWordsInOneOfTheirSpellings)
{
    const struct {
        const char* line;
        bool active;
    } cases[] = {{"active=true", true}, {"Active = True", true}, {"Active=False", false},
                 {"Required=True", false}, {"ACTIVE=True", true}, {"aCtive=true", false}};
    for (const auto& c : cases) {
        bool flag = false;
        gf_isActiveValue(flag, c.line);
        EXPECT_EQ(flag, c.active) << c.line;
    }
    bool flag = true;
    gf_isActiveValue(flag, "Active=False");
    EXPECT_TRUE(flag) << "never cleared";
}

TEST_F(PackagesTest, activePackagesGiveTheSimObjectsFoldersOfTheirAddOnXml)
{
    const fs::path first = package("First", component("SimObjects", "SimObjects\\Airplanes") +
                                                component("Scenery", "Scenery") +
                                                component("SimObjects", (dir / "abs" / "SimObjects").string()));
    // <Path> before the category line: nothing for that component.
    const fs::path reversed = package("Reversed", "  <AddOn.Component>\n    <Path>Later</Path>\n"
                                                  "    <Category>SimObjects</Category>\n  </AddOn.Component>\n");
    const fs::path lights = package("Lights", component("SimObjects", "Lights Reborn\\SimObjects"));
    const fs::path titled = package("TitlePath", component("Simobjects", "AI"));
    const fs::path inactive = package("Inactive", component("SimObjects", "Never"));
    const fs::path required = package("Required", component("SimObjects", "Never"));
    // A folder name holding the header word is no header.
    const fs::path named = package("PackageNamed", component("SimObjects", "Named"));
    testsupport::writeFile(addOnsCfg, "[Discovery.0]\nPath=" + (dir / "nowhere").string() + "\nActive=true\n"
                                      "[Package.0]\nPATH=" + first.string() + "  \nActive=true\n"
                                      "[Package.1]\nTitle=x\npath=" + reversed.string() + "\nACTIVE=TRUE\n"
                                      "[Package.2]\nPath=" + lights.string() + "\nActive=True\n"
                                      "[Package.3]\nTitle=" + titled.string() + "\nActive=true\n"
                                      "[Package.4]\nPath=" + inactive.string() + "\nActive=false\n"
                                      "[PACKAGE.5]\nPath=" + required.string() + "\nRequired=true\n"
                                      "[Package.6]\nPath=" + (dir / "missing").string() + "\nActive=true\n"
                                      "[Package.7]\nActive=true\nPath=" + named.string() + "\n");

    lf_readAddOnsCfg(folders);

    EXPECT_EQ(folders, (std::vector<std::string>{(first / "SimObjects/Airplanes").string(),
                                                 (dir / "abs" / "SimObjects").string(), (titled / "AI").string(),
                                                 (named / "Named").string()}));
    EXPECT_EQ(logLinesWith("path found:"), 6);
    EXPECT_EQ(logLinesWith("path found:" + first.string() + "  "), 1) << "logged untrimmed";
    EXPECT_EQ(logLinesWith((dir / "missing" / "add-on.xml").string() + " not found!"), 1);
    EXPECT_EQ(logLinesWith("4 AI add-on packages found"), 1);
}

TEST_F(PackagesTest, utf16AddOnsCfgIsReadAsTheSimulatorWritesIt)
{
    const fs::path pack = package("Wide", component("SimObjects", "SimObjects"));
    const std::u16string text =
        gf_utf8ToUtf16("[Package.0]\r\nPath=" + pack.string() + "\r\nActive=true\r\n");
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    testsupport::writeFile(addOnsCfg, bytes);

    lf_readAddOnsCfg(folders);
    EXPECT_EQ(folders, (std::vector<std::string>{(pack / "SimObjects").string()}));
}

TEST_F(PackagesTest, simObjectsEntriesOfTheSimulatorsCategoriesAndAbsoluteFolders)
{
    testsupport::writeFile(simObjectsCfg,
                           "[Entry.0]\nTitle=Airplanes\nPath=SimObjects\\Airplanes\nRequired=false\nActive=true\n"
                           "[Entry.1]\nActive=true\nPath=SimObjects\\Other\n"
                           "[Entry.2]\nPath=/addons/simobjects/AI\nActive=true\n"
                           "[Entry.3]\nPath=/addons/Off\nActive=false\n"
                           "[Entry.4]\nTitle=Path=/title/Active=true\nPath=/addons/TitleOnly\n"
                           "[ENTRY.5]\nPATH = SimObjects/Rotorcraft \nactive=TRUE\n");

    lf_readSimObjectsCfg(folders);

    EXPECT_EQ(folders, (std::vector<std::string>{"/sim/Prepar3D v5/SimObjects/Airplanes", "/addons/simobjects/AI",
                                                 "/sim/Prepar3D v5/SimObjects/Rotorcraft"}));
    EXPECT_EQ(logLinesWith("3 AI add-on packages found"), 1);
}

// Found by the fuzzer: an entry whose Path is empty gave an empty folder.
TEST_F(PackagesTest, anEmptyPathNamesNoFolder)
{
    testsupport::writeFile(simObjectsCfg, "[Entry.0]\nPath=\nActive=true\n[Entry.1]\nPath=  \nActive=true\n");
    lf_readSimObjectsCfg(folders);
    testsupport::writeFile(addOnsCfg, "[Package.0]\nPath=\nActive=true\n");
    lf_readAddOnsCfg(folders);
    EXPECT_TRUE(folders.empty());
}

TEST_F(PackagesTest, missingListFilesAddNothing)
{
    lf_readAddOnsCfg(folders);
    lf_readSimObjectsCfg(folders);
    {
        testsupport::ScopedEnv none{"NORVANE_PROGRAMDATA", ""};
        lf_readSimObjectsCfg(folders);
    }
    EXPECT_TRUE(folders.empty());
    EXPECT_EQ(logLinesWith(addOnsCfg.string() + " not found!"), 1);
    EXPECT_EQ(logLinesWith(simObjectsCfg.string() + " not found!"), 1);
    // Without its folder the line says what is missing, not an empty path.
    const std::string unknown = "simobjects.cfg (the simulator's ProgramData folder is not known: set "
                                "NORVANE_PROGRAMDATA)";
    EXPECT_EQ(logLinesWith("Reading " + unknown + " for AI add-on packages..."), 1);
    EXPECT_EQ(logLinesWith(unknown + " not found!"), 1);
    EXPECT_EQ(logLinesWith("0 AI add-on packages found"), 3);
}
