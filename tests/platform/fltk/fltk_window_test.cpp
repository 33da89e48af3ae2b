#include "platform/ui/fltk/fltk_window.hpp"
#include "platform/ui/headless_window.hpp"
#include "support/lsan_suppressions.hpp"
#include "support/png_writer.hpp"
#include "support/test_support.hpp"
#include "support/window_thread.hpp"
#include "support/xvfb.hpp"

#include <gtest/gtest.h>

#include <FL/Enumerations.H>

#include <thread>

using namespace ui;

namespace {

constexpr Color kGreen = rgb(50, 205, 50);
constexpr Color kLightBlue = rgb(153, 204, 255);

class BandsProcedure : public WindowProcedure {
public:
    void onMessage(Window& window, const Message& message) override
    {
        if (message.kind == MessageKind::create) {
            window.createCheckBox(32779, Rect{652, 149, 664, 161}, true);
            window.createButton(32838, "Re-read", Rect{758, 341, 848, 361}, false);
            window.createEdit(32788, Rect{126, 119, 1326, 135}, true, {});
            window.createEdit(32820, Rect{576, 231, 610, 247}, true, [this](Window&, ControlId, char32_t key) {
                if (key != U'\r')
                    return false;
                ++enters;
                return true;
            });
        }
        if (message.kind == MessageKind::command)
            commands.push_back(message.value);
    }
    int enters = 0;
    std::vector<int> commands; // window thread only
    void onPaint(Window&, Painter& painter) override
    {
        painter.fillRect(Rect{0, 112, 880, 364}, kLightBlue);
        painter.fillRect(Rect{0, 420, 880, 448}, kGreen);
        painter.text(3, 427, "status", rgb(255, 255, 0));
    }
};

Color pixelAt(const RgbImage& image, int x, int y)
{
    const size_t at = (static_cast<size_t>(y) * image.width + x) * 3;
    return rgb(image.pixels[at], image.pixels[at + 1], image.pixels[at + 2]);
}

// A window on the shared X server; skips the test when none could be started.
struct FltkWindowTest : ::testing::Test {
    void SetUp() override
    {
        testsupport::XvfbServer& server = testsupport::sharedXvfb();
        if (!server.running())
            GTEST_SKIP() << "no X server could be started: " << server.why();
        display = std::make_unique<testsupport::ScopedEnv>("DISPLAY", server.display());
        window = createWindow(false);
        fltk = dynamic_cast<FltkWindow*>(window.get());
        ASSERT_NE(fltk, nullptr) << "a display is there, so FLTK is used";
        ASSERT_TRUE(window->open(WindowSpec{"Norvane_P3D", 400, 20, 880, 488, rgb(0, 0, 0)}, procedure));
    }
    std::unique_ptr<testsupport::ScopedEnv> display;
    BandsProcedure procedure;
    std::unique_ptr<Window> window;
    FltkWindow* fltk = nullptr;
};

} // namespace

TEST_F(FltkWindowTest, opensOnAnXServerPaintsAndIsCaptured)
{
    // FLTK's own event path: Enter goes to the field's procedure and types
    // nothing, other keys type; a check box click reports without toggling.
    fltk->sendKey(32820, '1', "1");
    fltk->sendKey(32820, FL_Enter, "\r");
    fltk->sendKey(32820, '2', "2");
    fltk->sendClick(32779);
    fltk->sendClick(32838); // disabled: nothing

    auto [exitCode, image] = testsupport::runAndCapture(*window, [&] {
        // A setter from this worker reaches the window thread by itself.
        window->setText(32788, "/opt/p3d5");
        window->invalidate(Rect{0, 420, 880, 448});
    });
    EXPECT_EQ(exitCode, 0);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, 880);
    EXPECT_EQ(pixelAt(*image, 870, 440), kGreen);
    EXPECT_EQ(pixelAt(*image, 440, 10), rgb(0, 0, 0));
    EXPECT_EQ(pixelAt(*image, 600, 300), kLightBlue);
    EXPECT_EQ(window->text(32788), "/opt/p3d5");
    EXPECT_EQ(window->text(32820), "12");
    EXPECT_EQ(procedure.enters, 1);
    EXPECT_EQ(procedure.commands, (std::vector<int>{32779}));
    EXPECT_TRUE(window->isChecked(32779));
    EXPECT_TRUE(testsupport::writePng(testsupport::screenshotPath("fltk_window.png"), image->width, image->height, image->pixels));
}

// A worker's text that the window thread has not brought into the field yet
// is there before the next key typed into it: the key types into that text
// and does not wipe it out.
TEST_F(FltkWindowTest, aKeyTypedAfterASetterTypesIntoTheSetText)
{
    std::thread([&] { window->setText(32788, "/opt/p3d"); }).join();
    fltk->sendKey(32788, '5', "5");
    EXPECT_EQ(window->text(32788), "/opt/p3d5");
}

TEST(FltkWindow, headlessIsChosenWhenAskedOrWithoutDisplay)
{
    EXPECT_NE(dynamic_cast<HeadlessWindow*>(createWindow(true).get()), nullptr);
    testsupport::ScopedEnv noDisplay("DISPLAY", "");
    EXPECT_NE(dynamic_cast<HeadlessWindow*>(createWindow(false).get()), nullptr);
}
