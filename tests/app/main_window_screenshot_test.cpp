#include "main_window_fixture.hpp"
#include "window_state_reset.hpp"

#include "app/entry.hpp"
#include "app/main_window_paint.hpp"
#include "foundation/settings.hpp"
#include "platform/ui/fltk/fltk_window.hpp"
#include "support/lsan_suppressions.hpp"
#include "support/png_writer.hpp"
#include "support/test_support.hpp"
#include "support/window_thread.hpp"
#include "support/xvfb.hpp"

#include <cstdlib>
#include <filesystem>
#include <future>

using namespace tzo;

namespace {

ui::Color lf_pixel(const ui::RgbImage& image, int x, int y)
{
    const size_t at = (static_cast<size_t>(y) * image.width + x) * 3;
    return ui::rgb(image.pixels[at], image.pixels[at + 1], image.pixels[at + 2]);
}

int lf_count(const ui::RgbImage& image, const ui::Rect& area, ui::Color colour)
{
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            n += lf_pixel(image, x, y) == colour;
    return n;
}

// Anti-aliased text has few pixels of its exact colour: count the ones near it.
int lf_countNear(const ui::RgbImage& image, const ui::Rect& area, ui::Color colour)
{
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            const ui::Color p = lf_pixel(image, x, y);
            n += std::abs(p.r - colour.r) < 60 && std::abs(p.g - colour.g) < 60 && std::abs(p.b - colour.b) < 60;
        }
    return n;
}

// Makes the change, then photographs the window once it shows what the change
// should show (paints of the bands may come one by one); the last picture
// when it never does.
std::optional<ui::RgbImage> lf_shotAfter(ui::Window& window, const std::function<void()>& change,
                                         const std::function<bool(const ui::RgbImage&)>& shows)
{
    change();
    std::optional<ui::RgbImage> image;
    testsupport::waitFor([&] {
        image = window.capture();
        return image && shows(*image);
    });
    return image;
}

} // namespace

// The only test of this program that opens a real window: FLTK keeps its
// display connection for the whole process.
TEST(MainWindowOnX, paintsItsBandsIndicatorsAndStatusLine)
{
    testsupport::XvfbServer& server = testsupport::sharedXvfb();
    if (!server.running())
        GTEST_SKIP() << "no X server could be started: " << server.why();
    const testsupport::ScopedEnv display("DISPLAY", server.display());

    apptest::installHooks();
    apptest::resetWindowState();
    auto window = ui::createWindow(false);
    ASSERT_NE(dynamic_cast<ui::FltkWindow*>(window.get()), nullptr);
    mainWindowObject.mainWindow.store(window.get());
    MainWindowProcedure procedure;
    ASSERT_TRUE(window->open(
        ui::WindowSpec{"Norvane_P3D", MAIN_WINDOW_X.value(), MAIN_WINDOW_Y.value(), kMainWindowWidth,
                       kMainWindowHeight, ui::rgb(0, 0, 0)},
        procedure));
    EXPECT_EQ(window->controls().size(), 36u);

    auto shots = std::async(std::launch::async, [&] {
        std::pair<std::optional<ui::RgbImage>, std::optional<ui::RgbImage>> images;
        if (testsupport::waitFor([&] { return window->paintCount() >= 1; })) {
            images.first = lf_shotAfter(*window, [&] {
                // What the start-up does later: fields enabled and shown, a status line.
                for (auto id : {MAX_LIVE.controlId(), LATERAL_RANGE.controlId(), SIM_INSTALL_PATH.controlId()})
                    window->setEnabled(id, true);
                MAX_LIVE.show();
                LATERAL_RANGE.show();
                gf_showStatus("screenshot");
            }, [](const ui::RgbImage& image) {
                return lf_countNear(image, ui::Rect{3, 424, 120, 446}, kYellow) > 20 &&
                       lf_pixel(image, 600, 135) == kLightBlue;
            });
            images.second = lf_shotAfter(*window, [&] {
                mainWindowObject.simConnected = true;
                mainWindowObject.flightRunningShown = true;
                mainWindowObject.userTitleText.set("Boeing 737-800");
                gf_invalidateMainWindow(kHeaderAndStatistics);
                // Error 53 as the livery scan ends in it: the lines that say
                // what to mend, then the error.
                gf_logErrorCause("No SimObjects folder was searched: none is named by simobjects.cfg, add-ons.cfg "
                                 "or the lfolder settings");
                gf_logErrorCause("simobjects.cfg not read: the simulator's ProgramData folder is not known: set "
                                 "NORVANE_PROGRAMDATA");
                gf_showError("53: no liveries found");
            }, [](const ui::RgbImage& image) {
                return lf_pixel(image, 410, 40) == kGreen && lf_pixel(image, 800, 440) == kRed &&
                       lf_countNear(image, ui::Rect{300, 434, 560, 448}, kYellow) > 20;
            });
        }
        window->postQuit(0);
        return images;
    });
    EXPECT_EQ(window->run(), 0);
    const auto [first, second] = shots.get();
    mainWindowObject.mainWindow.store(nullptr);
    currentWindow.store(nullptr);
    gf_installParameterControlHooks(tzo::ParameterControlHooks{});
    gf_installAppHooks(AppHooks{});
    apptest::resetWindowState();

    ASSERT_TRUE(first.has_value());
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(first->width, 880);
    EXPECT_EQ(first->height, 488);
    EXPECT_EQ(window->text(MAX_LIVE.controlId()), "300");
    ASSERT_TRUE(testsupport::writePng(testsupport::screenshotPath("main_window.png"), first->width, first->height,
                                      first->pixels));
    ASSERT_TRUE(testsupport::writePng(testsupport::screenshotPath("main_window_error.png"), second->width,
                                      second->height, second->pixels));

    const ui::RgbImage& image = *first;
    EXPECT_EQ(lf_pixel(image, 300, 10), kBlack) << "header";
    EXPECT_EQ(lf_pixel(image, 300, 60), kBlack) << "statistics band";
    EXPECT_GT(lf_countNear(image, ui::Rect{3, 3, 90, 25}, kGreen), 20) << "the green text of \"Version\"";
    EXPECT_EQ(lf_pixel(image, 410, 40), kRed) << "no simulator";
    EXPECT_EQ(lf_pixel(image, 440, 40), kBlack) << "operations not started";
    EXPECT_EQ(lf_pixel(image, 600, 135), kLightBlue) << "controls band";
    EXPECT_EQ(lf_pixel(image, 800, 440), kGreen) << "status band";
    EXPECT_GT(lf_countNear(image, ui::Rect{3, 424, 120, 446}, kYellow), 20) << "the status line's yellow text";
    // The check box of SCAN_LIVERIES (5, 149, 12 by 12) is drawn.
    EXPECT_GT(12 * 12 - lf_count(image, ui::Rect{5, 149, 17, 161}, kLightBlue), 40);

    EXPECT_EQ(lf_pixel(*second, 410, 40), kGreen) << "simulator, flight and title";
    EXPECT_EQ(lf_pixel(*second, 800, 440), kRed) << "an error line";
    EXPECT_EQ(lf_pixel(*second, 800, 410), kRed) << "the band grown for the error's three lines";
    EXPECT_GT(lf_countNear(*second, ui::Rect{3, 406, 120, 420}, kYellow), 20) << "the error";
    // The hint's end, "set NORVANE_PROGRAMDATA", lies beyond x 300 on the last line.
    EXPECT_GT(lf_countNear(*second, ui::Rect{300, 434, 560, 448}, kYellow), 20) << "the hint";
}
