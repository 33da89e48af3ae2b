#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "support/settings_reset.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

using NameValues = std::vector<std::pair<std::string, std::string>>;

using testsupport::resetStoredSettings;

struct SettingsTest : ::testing::Test {
    TempDir dir{true};
    ScopedEnv appData{"NORVANE_APPDATA", (dir.path() / "roaming").string()};

    SettingsTest()
    {
        gf_initDataFolder();
        fs::create_directories(g_dataFolder);
        resetStoredSettings();
        gf_openLog();
    }
    ~SettingsTest() override
    {
        gf_closeLog();
        resetStoredSettings();
    }

    fs::path file() const { return fs::path(g_parametersPath); }

    NameValues fileContent() const
    {
        pugi::xml_document doc;
        const auto result = doc.load_file(file().c_str());
        EXPECT_TRUE(result) << result.description();
        NameValues out;
        for (auto node : doc.child("parameters").children("parameter"))
            out.emplace_back(node.attribute("name").value(), node.attribute("value").value());
        return out;
    }

    std::string valueInFile(const std::string& name) const
    {
        for (const auto& [n, v] : fileContent())
            if (n == name)
                return v;
        return "<absent>";
    }

    void writeSettings(const NameValues& entries)
    {
        std::string xml = "<?xml version=\"1.0\"?>\n<parameters>\n";
        for (const auto& [name, value] : entries)
            xml += "\t<parameter name=\"" + name + "\" value=\"" + value + "\" />\n";
        xml += "</parameters>\n";
        writeFile(file(), xml);
    }

    std::string log()
    {
        gf_flushLog();
        return readFile("Log.txt");
    }
};

} // namespace

TEST_F(SettingsTest, firstRunWritesEveryStoredSettingOnceInListOrder)
{
    MAX_LIVE.setValue(50);
    gf_readSettings();

    const NameValues content = fileContent();
    std::vector<std::string> names;
    for (const auto& entry : content)
        names.push_back(entry.first);
    EXPECT_EQ(content.size(), 44u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size()) << "each name once";

    EXPECT_EQ(valueInFile("PROGRAM_VERSION"), "8.8.0");
    EXPECT_EQ(valueInFile("MAX_LIVE"), "300");
    EXPECT_EQ(MAX_LIVE.value(), 300) << "defaults taken";
    EXPECT_EQ(valueInFile("lfolder0"), "<absent>");

    const std::string text = log();
    EXPECT_NE(text.find(g_parametersPath + " not found, default values taken:"), std::string::npos);
    EXPECT_NE(text.find("\nPROGRAM_VERSION=8.8.0\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(file().string() + ".bad"));
}

TEST_F(SettingsTest, integersAreClampedOnLoad)
{
    struct Case {
        tzo::IntParameter* setting;
        const char* text;
        std::int32_t expected;
    };
    const std::vector<Case> cases{
        {&MAX_LIVE, "1000", 300},           {&MAX_LIVE, "abc", 6},
        {&MAX_LIVE, " 120", 120},           {&MAX_LIVE, "99999999999999999999", 300},
        {&MAX_LIVE, "-99999999999999999999", 6}, {&P3D_VERSION, "4", 5},
        {&MAIN_WINDOW_X, "-31000", -30000}, {&LAST_EPOCH_TIME, "4294967296", 2147483647},
        {&CUSTOM_PARKING_PERCENTAGE, "-5", -1}, {&MAX_FIT, "60", 47},
    };
    for (const auto& c : cases) {
        writeSettings({{c.setting->name(), c.text}});
        gf_readSettings();
        EXPECT_EQ(c.setting->value(), c.expected) << c.setting->name() << " \"" << c.text << "\"";
    }
}

TEST_F(SettingsTest, booleanSpellings)
{
    const std::vector<std::pair<const char*, bool>> cases{
        {"yes", true}, {"True", true}, {"1", true}, {"Y", true}, {"no", false}, {"", false}, {" true", false},
    };
    for (const auto& [text, expected] : cases) {
        writeSettings({{"AEROWINX", text}, {"RANDOM", text}});
        gf_readSettings();
        EXPECT_EQ(AEROWINX.value(), expected) << '"' << text << '"';
        EXPECT_EQ(RANDOM.value(), expected) << '"' << text << '"';
    }
    writeFile(file(), "<parameters><parameter name=\"RANDOM\"/></parameters>");
    gf_readSettings();
    EXPECT_FALSE(RANDOM.value()) << "an element without value reads as false";
}

TEST_F(SettingsTest, missingSettingsAreAddedAndKnownOnesKept)
{
    writeSettings({{"MAX_LIVE", "120"}, {"SIM_INSTALL_PATH", "/opt/p3d v5/"}, {"OLD_SETTING", "x"},
                   {"lfolder2", "/liveries"}});
    gf_readSettings();
    EXPECT_EQ(MAX_LIVE.value(), 120);
    EXPECT_EQ(SIM_INSTALL_PATH.value(), "/opt/p3d v5/");
    EXPECT_EQ(lfolder2.value(), "/liveries");
    EXPECT_EQ(valueInFile("MAX_LIVE"), "120");
    EXPECT_EQ(valueInFile("OLD_SETTING"), "x") << "unknown names stay until the version update prunes them";
    EXPECT_EQ(valueInFile("lfolder3"), "<absent>") << "missing folder settings are not written";
    EXPECT_EQ(fileContent().size(), 44u + 2u);
    EXPECT_EQ(PROGRAM_VERSION.value(), "") << "an existing file keeps its version, even none";
    EXPECT_NE(log().find("from \"" + g_parametersPath + "\"\n"), std::string::npos);
}

TEST_F(SettingsTest, folderSettingSavedEmptyIsAbsentAfterTheNextRead)
{
    gf_readSettings();
    lfolder3.setAndSave("/addons/liveries");
    afolder0.setAndSave("/addons/airports");
    lfolder3.setAndSave("");
    gf_readSettings();
    EXPECT_EQ(valueInFile("lfolder3"), "<absent>");
    EXPECT_EQ(valueInFile("afolder0"), "/addons/airports");
    EXPECT_NE(log().find("\nParameter lfolder3 removed\n"), std::string::npos);
}

TEST_F(SettingsTest, singleSavesChangeOnlyTheirSetting)
{
    gf_readSettings();
    const NameValues before = fileContent();
    MAX_LIVE.setAndSave(1000);
    WEEK.setAndSave(true);
    BLOCK_CALLSIGN.setAndSave("KLM123");
    EXPECT_EQ(MAX_LIVE.value(), 300);

    NameValues expected = before;
    for (auto& [name, value] : expected) {
        if (name == "MAX_LIVE")
            value = "300";
        if (name == "WEEK")
            value = "true";
        if (name == "BLOCK_CALLSIGN")
            value = "KLM123";
    }
    EXPECT_EQ(fileContent(), expected);
    EXPECT_NE(log().find("\nBLOCK_CALLSIGN=KLM123\n"), std::string::npos);

    gf_pruneParameters("WEEK");
    EXPECT_EQ(valueInFile("WEEK"), "<absent>");
    EXPECT_NE(log().find("\nParameter WEEK removed\n"), std::string::npos);
}

TEST_F(SettingsTest, twoThreadsSavingDifferentSettingsBothLand)
{
    gf_readSettings();
    constexpr int kRounds = 40;
    std::thread window([] {
        for (int i = 1; i <= kRounds; ++i)
            MAX_LIVE.setAndSave(100 + i);
    });
    std::thread startup([] {
        for (int i = 1; i <= kRounds; ++i)
            BLOCK_CALLSIGN.setAndSave("CALL" + std::to_string(i));
    });
    window.join();
    startup.join();
    EXPECT_EQ(valueInFile("MAX_LIVE"), std::to_string(100 + kRounds));
    EXPECT_EQ(valueInFile("BLOCK_CALLSIGN"), "CALL" + std::to_string(kRounds));
    EXPECT_EQ(fileContent().size(), 44u);

    int leftovers = 0;
    for (const auto& entry : fs::directory_iterator(g_dataFolder))
        leftovers += entry.path().filename() != "parameters.xml";
    EXPECT_EQ(leftovers, 0) << "no temporary file stays behind";
}

TEST_F(SettingsTest, temporaryFilesOfAnInterruptedSaveAreRemovedAtStart)
{
    // A run that ended in the middle of a save (crash, power cut) leaves its
    // half-written temporary file beside the settings; each such run would add one.
    writeSettings({{"MAX_LIVE", "120"}});
    const fs::path stale = file().string() + ".tmp3fa2c1-0";
    writeFile(stale, "<parameters><parameter name=\"MAX_LIVE\" val");
    const fs::path unrelated = g_dataFolder / "notes.tmp1";
    const fs::path usersCopy = file().string() + ".tmp-copy";
    writeFile(unrelated, "mine");
    writeFile(usersCopy, "mine too");

    gf_readSettings();
    EXPECT_EQ(MAX_LIVE.value(), 120);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(unrelated));
    EXPECT_TRUE(fs::exists(usersCopy));
}

TEST_F(SettingsTest, damagedFileIsKeptAsBadAndReplacedByEverySetting)
{
    // Cut short, nested deeper than a settings file ever is (written back as
    // it is, its indentation would grow with the square of the depth), and
    // larger than any settings file needs.
    const std::string setting = "<parameter name=\"MAX_LIVE\" value=\"120\"/>";
    std::string deep = "<parameters>" + setting;
    for (int i = 0; i < 3000; ++i)
        deep += "<a>";
    for (int i = 0; i < 3000; ++i)
        deep += "</a>";
    deep += "</parameters>";
    const std::string huge = "<parameters>" + setting + "<!--" + std::string(2 << 20, 'x') + "--></parameters>";
    for (const std::string& damaged : {"<parameters>" + setting.substr(0, 30), deep, huge}) {
        SCOPED_TRACE(damaged.substr(0, 60));
        writeFile(file(), damaged);
        const std::size_t from = log().size();
        gf_readSettings();
        EXPECT_EQ(readFile(file().string() + ".bad"), damaged);
        EXPECT_EQ(fileContent().size(), 44u);
        EXPECT_EQ(MAX_LIVE.value(), 300);
        EXPECT_NE(log().find(g_parametersPath + " cannot be read, default values taken:", from), std::string::npos);
        EXPECT_EQ(log().find(" not found", from), std::string::npos) << "the file is there";
    }

    // Damaged again while the program runs: one save writes the whole set
    // with the values in use, never a file of one setting.
    MAX_LIVE.setAndSave(150);
    lfolder1.setAndSave("/liveries");
    const std::string other = "not xml at all";
    writeFile(file(), other);
    WEEK.setAndSave(true);
    EXPECT_EQ(readFile(file().string() + ".bad"), other);
    EXPECT_EQ(fileContent().size(), 45u);
    EXPECT_EQ(valueInFile("MAX_LIVE"), "150");
    EXPECT_EQ(valueInFile("lfolder1"), "/liveries");
}

TEST_F(SettingsTest, saveOntoMissingFileWritesEverySetting)
{
    gf_readSettings();
    fs::remove(file());
    SIM_INSTALL_PATH.setAndSave("/opt/p3d v6/");
    EXPECT_EQ(fileContent().size(), 44u);
    EXPECT_FALSE(fs::exists(file().string() + ".bad"));

    // XML of another shape counts as damaged.
    writeFile(file(), "<settings><parameter name=\"MAX_LIVE\" value=\"120\"/></settings>");
    gf_readSettings();
    EXPECT_TRUE(fs::exists(file().string() + ".bad"));
    EXPECT_EQ(MAX_LIVE.value(), 300);
}

TEST_F(SettingsTest, controlsLearnTheirValuesThroughTheHooks)
{
    static int intFields = 0;
    static bool aerowinxChecked = false;
    intFields = 0;
    aerowinxChecked = false;
    tzo::ParameterControlHooks hooks;
    hooks.setChecked = [](tzo::BoolParameterCheckBox& box) {
        if (box.controlId() == 32775)
            aerowinxChecked = box.value();
    };
    hooks.showIntField = [](tzo::IntParameterField&) { ++intFields; };
    gf_installParameterControlHooks(hooks);
    writeSettings({{"AEROWINX", "1"}});
    gf_readSettings();
    gf_installParameterControlHooks({});
    EXPECT_EQ(intFields, 6);
    EXPECT_TRUE(aerowinxChecked);
}

TEST(SettingsTable, notStoredSettingsHaveTheirLimits)
{
    MAX_FIT_FL.setValue(0.1f);
    EXPECT_EQ(MAX_FIT_FL.value(), 0.5f);
    MAX_FIT_FL.setValue(30.0f);
    EXPECT_EQ(MAX_FIT_FL.value(), 24.0f);
}

TEST(ParameterElements, valuesAreReadFromTheParametersElement)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<meta><info name=\"author\" value=\"x\"/></meta>"
                                "<parameters>"
                                "<parameter name=\"altitude\" value=\"12.5\"/>"
                                "<parameter name=\"num_parkpos\" value=\"99999999999\"/>"
                                "<parameter name=\"handmade\" value=\"yes\"/>"
                                "<parameter name=\"no'value\"/>"
                                "</parameters>"));
    EXPECT_EQ(gf_getIntParameterFromDoc(doc, "altitude"), 12);
    EXPECT_EQ(gf_getIntParameterFromDoc(doc, "num_parkpos"), 2147483647);
    EXPECT_EQ(gf_getBoolParameterFromDoc(doc, "handmade"), true);
    EXPECT_EQ(gf_getStringParameterFromDoc(doc, "no'value"), std::nullopt);
    EXPECT_TRUE(gf_findParameterNode(doc, "no'value"));
    EXPECT_EQ(gf_getBoolParameterFromDoc(doc, "no'value"), false);
    EXPECT_EQ(gf_getStringParameterFromDoc(doc, "author"), std::nullopt) << "meta items are no parameters";
    EXPECT_EQ(gf_getIntParameterFromDoc(doc, "missing"), std::nullopt);
}

TEST(MetaInfo, writtenHeaderPassesTheCheck)
{
    TempDir dir{true};
    gf_openLog();
    pugi::xml_document doc;
    ASSERT_TRUE(gf_writeMetaInfo(doc));
    EXPECT_TRUE(gf_checkMetaInfo(doc));
    EXPECT_EQ(date.value().size(), 12u) << date.value();

    doc.child("meta").remove_child(doc.child("meta").find_child_by_attribute("info", "name", "date"));
    EXPECT_FALSE(gf_checkMetaInfo(doc));
    EXPECT_EQ(date.value(), "");
    gf_closeLog();
    EXPECT_NE(readFile("Log.txt").find("===> meta data incorrect?\n"), std::string::npos);
}
