#include "main_window_fixture.hpp"

#include "foundation/settings.hpp"
#include "platform/ui/fltk/fltk_window.hpp"
#include "support/lsan_suppressions.hpp"
#include "support/png_writer.hpp"
#include "support/test_support.hpp"
#include "support/window_thread.hpp"
#include "support/xvfb.hpp"

#include <filesystem>


namespace {

bool lf_isBlack(const ui::RgbImage& image, int x, int y)
{
    const size_t at = (static_cast<size_t>(y) * image.width + x) * 3;
    return image.pixels[at] == 0 && image.pixels[at + 1] == 0 && image.pixels[at + 2] == 0;
}

} // namespace

// The only test of this program that opens a real window: FLTK keeps its
// display connection for the whole process.
TEST(MainWindowOnX, opensWithItsControlsAndIsPhotographed)
{
    testsupport::XvfbServer& server = testsupport::sharedXvfb();
    if (!server.running())
        GTEST_SKIP() << "no X server could be started: " << server.why();
    const testsupport::ScopedEnv display("DISPLAY", server.display());

    apptest::installHooks();
    auto window = ui::createWindow(false);
    ASSERT_NE(dynamic_cast<ui::FltkWindow*>(window.get()), nullptr);
    mainWindowObject.mainWindow.store(window.get());
    apptest::TestWindowProcedure procedure;
    ASSERT_TRUE(window->open(
        ui::WindowSpec{"Norvane_P3D", MAIN_WINDOW_X.value(), MAIN_WINDOW_Y.value(), kMainWindowWidth,
                       kMainWindowHeight, ui::rgb(0, 0, 0)},
        procedure));
    EXPECT_EQ(window->controls().size(), 36u);

    auto [exitCode, image] = testsupport::runAndCapture(*window, [&] {
        // What the start-up does later: fields enabled and shown, a status line.
        for (auto id : {MAX_LIVE.controlId(), LATERAL_RANGE.controlId(), SIM_INSTALL_PATH.controlId()})
            window->setEnabled(id, true);
        MAX_LIVE.show();
        LATERAL_RANGE.show();
        gf_showStatus("screenshot");
    });
    EXPECT_EQ(exitCode, 0);
    mainWindowObject.mainWindow.store(nullptr);
    currentWindow.store(nullptr);

    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, 880);
    EXPECT_EQ(image->height, 488);
    EXPECT_EQ(window->text(MAX_LIVE.controlId()), "300");
    // The check box of SCAN_LIVERIES (5, 149, 12 by 12) is drawn; the header stays black.
    int drawn = 0;
    for (int y = 149; y < 161; ++y)
        for (int x = 5; x < 17; ++x)
            drawn += !lf_isBlack(*image, x, y);
    EXPECT_GT(drawn, 40);
    EXPECT_TRUE(lf_isBlack(*image, 300, 10));
    const std::filesystem::path png = testsupport::screenshotPath("main_window.png");
    ASSERT_TRUE(testsupport::writePng(png, image->width, image->height, image->pixels));
    EXPECT_EQ(testsupport::readFile(png).substr(1, 3), "PNG");
}
