// The program's own window under Xvfb while live traffic runs: the Sim and
// RT boxes turn green and the live count is painted; the screenshot stays in
// the build folder.

#include "operations_fixture.hpp"
#include "support/png_writer.hpp"
#include "support/xvfb.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace optest;
using namespace std::chrono_literals;
using testsupport::waitFor;

namespace {

// The window's place on the screen: without a window manager it opens at its
// saved position, MAIN_WINDOW_X and MAIN_WINDOW_Y (default 400, 20).
constexpr int kWindowX = 400;
constexpr int kWindowY = 20;
constexpr int kWindowWidth = 880;
constexpr int kWindowHeight = 140;

struct Rgb {
    int r, g, b;
};

// The screen's pixels of the window's top band; empty when it cannot be read.
std::vector<std::uint8_t> grabBand(const std::string& display)
{
    std::vector<std::uint8_t> rgb;
    Display* x = XOpenDisplay(display.c_str());
    if (x == nullptr)
        return rgb;
    XImage* image = XGetImage(x, DefaultRootWindow(x), kWindowX, kWindowY, kWindowWidth, kWindowHeight, AllPlanes,
                              ZPixmap);
    if (image != nullptr) {
        rgb.reserve(std::size_t(kWindowWidth) * kWindowHeight * 3);
        for (int y = 0; y < kWindowHeight; ++y) {
            for (int xx = 0; xx < kWindowWidth; ++xx) {
                const unsigned long pixel = XGetPixel(image, xx, y);
                rgb.push_back(static_cast<std::uint8_t>((pixel & image->red_mask) >> 16));
                rgb.push_back(static_cast<std::uint8_t>((pixel & image->green_mask) >> 8));
                rgb.push_back(static_cast<std::uint8_t>(pixel & image->blue_mask));
            }
        }
        XDestroyImage(image);
    }
    XCloseDisplay(x);
    return rgb;
}

Rgb at(const std::vector<std::uint8_t>& band, int x, int y)
{
    const std::size_t i = (std::size_t(y) * kWindowWidth + x) * 3;
    return {band[i], band[i + 1], band[i + 2]};
}

bool green(const Rgb& c)
{
    return c.r == 50 && c.g == 205 && c.b == 50;
}

// Pixels of green text (smoothed edges included) in a part of the band.
int greenTextPixels(const std::vector<std::uint8_t>& band, int left, int top, int width, int height)
{
    int n = 0;
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x) {
            const Rgb c = at(band, x, y);
            n += c.g > 100 && c.g > 2 * c.r && c.g > 2 * c.b ? 1 : 0;
        }
    return n;
}

} // namespace

TEST_F(OperationsTest, underXvfbTheSimAndRtBoxesTurnGreen)
{
    testsupport::XvfbServer& xvfb = testsupport::sharedXvfb();
    if (!xvfb.running())
        GTEST_SKIP() << xvfb.why();
    prepare();
    connectRealTraffic();
    startReplay(5.0);
    startProgram(xvfb.display());
    ASSERT_TRUE(waitForLog("Start of operations: main loop started", 60s)) << log();

    // Inside the boxes, below their labels.
    std::vector<std::uint8_t> band;
    const bool bothGreen = waitFor(
        [&] {
            band = grabBand(xvfb.display());
            // And the traffic reader's "live:" count beside them (its number
            // is checked where the paint calls can be read).
            return !band.empty() && green(at(band, 411, 100)) && green(at(band, 439, 100)) &&
                   greenTextPixels(band, 642, 91, 60, 16) > 20;
        },
        30s);
    if (!band.empty())
        testsupport::writePng(testsupport::screenshotPath("operations_window.png"), kWindowWidth, kWindowHeight, band);
    ASSERT_FALSE(band.empty()) << "no image of " << xvfb.display();
    EXPECT_TRUE(bothGreen) << "Sim " << at(band, 411, 100).r << "," << at(band, 411, 100).g << " RT "
                           << at(band, 439, 100).r << "," << at(band, 439, 100).g << ", "
                           << greenTextPixels(band, 642, 91, 60, 16) << " pixels of \"live:\"";
}
