// The report of the installed liveries, with the main window run headless so
// that the switched-off settings' check boxes and the livery count are the
// window's own.

#include "app/controls.hpp"
#include "app/main_window.hpp"
#include "foundation/app_hooks.hpp"
#include "catalogue_fixture.hpp"
#include "platform/ui/headless_window.hpp"
#include "support/window_thread.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>

using livtest::liv;
using livtest::CatalogueTest;
using livtest::resetLiveryState;
using testsupport::DbaseFile;
using namespace tzo;

namespace {

using LiveryReportTest = CatalogueTest;

struct ControlsProcedure : ui::WindowProcedure {
    void onMessage(ui::Window& window, const ui::Message& message) override
    {
        currentWindow.store(&window);
        if (message.kind == ui::MessageKind::create)
            lf_onCreate(window);
    }
    void onPaint(ui::Window&, ui::Painter&) override {}
};

// The main window with its controls on a window thread of its own.
struct WindowReportTest : CatalogueTest {
    ControlsProcedure procedure;
    ui::HeadlessWindow window;
    std::thread windowThread;

    WindowReportTest()
    {
        gf_installMainWindowHooks();
        mainWindowObject.mainWindow.store(&window);
        const ui::WindowSpec spec{"Norvane_P3D", 400, 20, kMainWindowWidth, kMainWindowHeight, ui::rgb(0, 0, 0)};
        EXPECT_TRUE(testsupport::openOnThread(window, spec, procedure, windowThread));
    }
    ~WindowReportTest() override
    {
        testsupport::closeOnThread(window, windowThread);
        mainWindowObject.mainWindow.store(nullptr);
        currentWindow.store(nullptr);
        mainWindowObject.resetShownState();
        gf_installParameterControlHooks({});
        gf_installAppHooks({});
    }

    static std::optional<bool> savedValue(const BoolParameter& setting)
    {
        pugi::xml_document doc;
        if (!doc.load_file(g_parametersPath.c_str()))
            return std::nullopt;
        return gf_getBoolParameterFromDoc(doc, setting.name());
    }
};

// Codes "M00", "M01", ...
std::vector<LiveryData> genericModels(int count)
{
    std::vector<LiveryData> out;
    for (int i = 0; i < count; ++i)
        out.push_back(liv("ZZZ", fmt::format("M{:02}", i), fmt::format("generic {}", i)));
    return out;
}

std::string codes(int from, int to)
{
    std::string line = "  ";
    for (int i = from; i < to; ++i)
        line += fmt::format("M{:02}{}", i, i + 1 < to ? "," : "");
    return line;
}

} // namespace

TEST_F(LiveryReportTest, genericModelsAreLoggedTwentyToALine)
{
    process(genericModels(21));
    EXPECT_TRUE(logHasLine("21 models have a generic livery"));
    EXPECT_TRUE(logHasLine(codes(0, 20)));
    EXPECT_TRUE(logHasLine("  M20"));
    resetLiveryState();
    process({liv("AAL", "B738", "a")});
    EXPECT_TRUE(logHasLine("No generic liveries"));
}

TEST_F(LiveryReportTest, categoryLinesAndTheirPlurals)
{
    readDbase(DbaseFile::minimal());
    // Large A320: one passenger livery ("liverie": the format adds the plural
    // ending only); Heavy B744: two cargo liveries;
    // Buzjets C25A: two passenger, one cargo.
    process({liv("DLH", "A320", "d1"), liv("BOX", "B744", "x1", "", 1, true), liv("BOX", "B744", "x2", "", 1, true),
             liv("DLH", "C25A", "c1"), liv("KLM", "C25A", "c2"), liv("KLM", "C25A", "c3", "", 1, true)});
    EXPECT_TRUE(logHasLine("Category Large: 1 pax liverie"));
    EXPECT_TRUE(logHasLine("Category Heavy: 0 pax liveries and 2 cargo liveries"));
    EXPECT_TRUE(logHasLine("Category Buzjets: 2 pax liveries and 1 cargo liverie"));
    EXPECT_TRUE(logHasLine("  B744"));
    EXPECT_EQ(installedBuzjetModels, std::vector<std::string>{"C25A"});
    EXPECT_TRUE(logHasLine("Category Light: No livery found"));
}

TEST_F(LiveryReportTest, installedModelListsAreRefilledByEachProcessing)
{
    readDbase(DbaseFile::minimal().models("rotorcraft", "rot", {"H135"}));
    process({liv("ZZZ", "EC35", "heli 1"), liv("ZZZ", "H135", "heli 2"), liv("ZZZ", "C172", "cessna"),
             liv("DLH", "C172", "cessna 2")});
    EXPECT_EQ(installedRotorcraftModels, (std::vector<std::string>{"EC35", "H135"}));
    EXPECT_EQ(installedLightModels, (std::vector<std::string>{"C172"}));

    // A second processing (a restart) with the same catalogue lists them once.
    process({liv("ZZZ", "EC35", "heli 1")});
    EXPECT_EQ(installedRotorcraftModels, (std::vector<std::string>{"EC35", "H135"}));
    EXPECT_EQ(installedLightModels, (std::vector<std::string>{"C172"}));
}

TEST_F(WindowReportTest, noRotorcraftSwitchesHelicoptersOffSavesItAndDisablesItsBox)
{
    readDbase(DbaseFile::minimal());
    HELICOPTERS.setChecked(true);
    HELICOPTERS.setAndSave();
    ASSERT_EQ(savedValue(HELICOPTERS), true);
    ASSERT_TRUE(window.isEnabled(HELICOPTERS.controlId()));

    process({liv("DLH", "A320", "d1"), liv("ZZZ", "C172", "c"), liv("ZZZ", "F16", "f")});

    EXPECT_TRUE(logHasLine("Category Rotorcraft: No livery found"));
    EXPECT_TRUE(
        logHasLine("HELICOPTERS temporary switched off because you do not have Helicopters installed"));
    EXPECT_FALSE(HELICOPTERS.value());
    EXPECT_EQ(savedValue(HELICOPTERS), false);
    EXPECT_FALSE(window.isEnabled(HELICOPTERS.controlId()));
    EXPECT_FALSE(window.isChecked(HELICOPTERS.controlId()));
    // Light has liveries: untouched.
    EXPECT_TRUE(window.isEnabled(LIGHT_AIRCRAFT.controlId()));
    // The window shows the count.
    EXPECT_EQ(mainWindowObject.liveryCount.load(), 3);
}

TEST_F(WindowReportTest, helicoptersAlreadyOffOnlyLogsAndStillDisablesTheBox)
{
    readDbase(DbaseFile::minimal());
    HELICOPTERS.setChecked(false);
    HELICOPTERS.setAndSave();
    const auto before = testsupport::readFile(g_parametersPath);

    process({liv("DLH", "A320", "d1"), liv("ZZZ", "C172", "c"), liv("ZZZ", "F16", "f")});

    EXPECT_TRUE(logHasLine("Category Rotorcraft: No livery found"));
    EXPECT_EQ(logLinesWith("temporary switched off"), 0);
    EXPECT_EQ(testsupport::readFile(g_parametersPath), before);
    EXPECT_FALSE(window.isEnabled(HELICOPTERS.controlId()));
}

TEST_F(WindowReportTest, everyCategoryWithASettingIsSwitchedOffWhenEmpty)
{
    readDbase(DbaseFile::minimal());
    process({liv("DLH", "A320", "d1")});
    EXPECT_TRUE(
        logHasLine("LIGHT_AIRCRAFT temporary switched off because you do not have light aircraft installed"));
    EXPECT_TRUE(logHasLine(
        "HIGH_PERF_AIRCRAFT temporary switched off because you do not have High Perf aircraft installed"));
    for (auto* box : {&LIGHT_AIRCRAFT, &HIGH_PERF_AIRCRAFT, &HELICOPTERS}) {
        EXPECT_EQ(savedValue(*box), false) << box->name();
        EXPECT_FALSE(window.isEnabled(box->controlId())) << box->name();
    }
    // Buzjets have no setting of their own.
    EXPECT_TRUE(logHasLine("Category Buzjets: No livery found"));
}
