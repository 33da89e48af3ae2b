#include "platform/ui/headless_window.hpp"
#include "support/test_support.hpp"
#include "support/window_thread.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <future>
#include <thread>

using namespace ui;
using testsupport::waitFor;

namespace {

constexpr ControlId kBox = 100;
constexpr ControlId kButton = 101;
constexpr ControlId kEdit = 102;
constexpr ControlId kDisabledButton = 103;

// Creates a few controls on create, records every message and paints one
// text; a command of kButton can be made to block until released.
class TestProcedure : public WindowProcedure {
public:
    void onMessage(Window& window, const Message& message) override
    {
        {
            std::lock_guard lock(mutex);
            messages.push_back(message);
        }
        if (message.kind == MessageKind::create) {
            window.createCheckBox(kBox, Rect{5, 149, 17, 161}, true);
            window.createButton(kButton, "Re-read", Rect{758, 341, 848, 361}, true);
            window.createButton(kDisabledButton, "Unblock", Rect{323, 257, 393, 277}, false);
            window.createEdit(kEdit, Rect{217, 203, 241, 219}, true,
                              [this](Window&, ControlId, char32_t key) {
                                  if (key != U'\r')
                                      return false;
                                  ++enters;
                                  return true;
                              });
        }
        if (message.kind == MessageKind::command && message.value == kButton && blockOnButton) {
            buttonEntered.set_value();
            release.get_future().wait();
        }
    }

    void onPaint(Window&, Painter& painter) override
    {
        painter.text(3, 427, "status", rgb(255, 255, 0));
        painter.line(Point{0, 28}, Point{880, 28}, rgb(255, 255, 255));
    }

    std::vector<Message> received()
    {
        std::lock_guard lock(mutex);
        return messages;
    }

    std::mutex mutex;
    std::vector<Message> messages;
    std::atomic<int> enters{0};
    bool blockOnButton = false;
    std::promise<void> buttonEntered;
    std::promise<void> release;
};

class HeadlessWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openOnThread(window, WindowSpec{"Norvane_P3D", 400, 20, 880, 488, rgb(0, 0, 0)},
                                              procedure, thread));
    }

    void TearDown() override { testsupport::closeOnThread(window, thread); }

    TestProcedure procedure;
    HeadlessWindow window;
    std::thread thread;
};

} // namespace

TEST_F(HeadlessWindowTest, createComesFirstAndKeepsTheControlsInOrder)
{
    auto messages = procedure.received();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().kind, MessageKind::create);
    auto controls = window.controls();
    ASSERT_EQ(controls.size(), 4u);
    EXPECT_EQ(controls[0].id, kBox);
    EXPECT_FALSE(controls[2].enabled);
    EXPECT_EQ(controls[3].rect, (Rect{217, 203, 241, 219}));
}

TEST_F(HeadlessWindowTest, clicksReportCommandsOnlyForEnabledControls)
{
    window.click(kDisabledButton);
    window.click(kBox);
    window.click(kButton);
    window.click(999); // no such control
    ASSERT_TRUE(window.flush());
    std::vector<int> commands;
    for (const auto& m : procedure.received())
        if (m.kind == MessageKind::command)
            commands.push_back(m.value);
    EXPECT_EQ(commands, (std::vector<int>{kBox, kButton}));
    // The program sets the check mark itself; a click alone leaves it.
    EXPECT_TRUE(window.isChecked(kBox));
}

TEST_F(HeadlessWindowTest, enterGoesToTheFieldProcedureAndInsertsNothing)
{
    window.typeText(kEdit, "12");
    window.pressEnter(kEdit);
    window.typeText(kEdit, "a\xC3\xA9");
    window.pressKey(kEdit, U'\b');
    // Keys that are no character leave the field valid UTF-8.
    for (char32_t key : {char32_t{0xD800}, char32_t{0x110000}, char32_t{0xFFFFFFFF}})
        window.pressKey(kEdit, key);
    window.pressKey(kEdit, U'\U0001F600');
    ASSERT_TRUE(window.flush());
    EXPECT_EQ(procedure.enters.load(), 1);
    EXPECT_EQ(window.text(kEdit), "12a\xF0\x9F\x98\x80");

    // A disabled field takes no keys.
    window.setEnabled(kEdit, false);
    window.typeText(kEdit, "5");
    window.pressEnter(kEdit);
    ASSERT_TRUE(window.flush());
    EXPECT_EQ(window.text(kEdit), "12a\xF0\x9F\x98\x80");
    EXPECT_EQ(procedure.enters.load(), 1);
}

TEST_F(HeadlessWindowTest, settersFromAWorkerDoNotWaitForABusyWindowThread)
{
    procedure.blockOnButton = true;
    auto entered = procedure.buttonEntered.get_future();
    window.click(kButton);
    ASSERT_EQ(entered.wait_for(std::chrono::seconds(5)), std::future_status::ready);

    // The window thread now waits for this worker; the worker's setters must
    // return without the window thread's help.
    auto worker = std::async(std::launch::async, [this] {
        window.setText(kEdit, "42");
        window.setEnabled(kButton, false);
        window.setChecked(kBox, false);
        window.invalidate(Rect{0, 420, 880, 448});
        window.post(Message{MessageKind::app1, 0});
        return window.text(kEdit);
    });
    const bool finished = worker.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    procedure.release.set_value();
    ASSERT_TRUE(finished);
    EXPECT_EQ(worker.get(), "42");
    EXPECT_FALSE(window.isEnabled(kButton));
    EXPECT_FALSE(window.isChecked(kBox));
    ASSERT_TRUE(window.flush());
    EXPECT_EQ(procedure.received().back().kind, MessageKind::app1);
}

TEST_F(HeadlessWindowTest, invalidationPaintsOnTheWindowThreadAndIsRecorded)
{
    ASSERT_TRUE(waitFor([&] { return window.paintCount() >= 1; }));
    const auto before = window.paintCount();
    window.takeInvalidations();
    std::thread([&] { window.invalidate(Rect{0, 420, 880, 448}); }).join();
    ASSERT_TRUE(waitFor([&] { return window.paintCount() > before; }));
    EXPECT_EQ(window.takeInvalidations(), (std::vector<Rect>{Rect{0, 420, 880, 448}}));
    auto calls = window.lastPaint();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, PaintCall::Kind::fillRect); // the background
    EXPECT_EQ(calls[1].text, "status");
}

TEST_F(HeadlessWindowTest, textThatIsNotUtf8LeavesTheControlAsItWas)
{
    ASSERT_TRUE(window.setText(kEdit, "KLM123"));
    EXPECT_FALSE(window.setText(kEdit, "bad \xFF text"));
    EXPECT_EQ(window.text(kEdit), "KLM123");
    EXPECT_FALSE(window.setText(999, "x"));
}

TEST_F(HeadlessWindowTest, closeBoxAndSignalsPostClose)
{
    window.clickCloseBox();
    window.closeOnSignals();
    std::raise(SIGTERM);
    ASSERT_TRUE(waitFor([&] {
        int closes = 0;
        for (const auto& m : procedure.received())
            closes += m.kind == MessageKind::close;
        return closes == 2;
    }));
}

// Once no window takes them, SIGINT and SIGTERM do what they did before
// (here: end the process) instead of vanishing, so that a process whose
// window is gone can still be stopped.
TEST(HeadlessWindowSignals, signalsEndTheProcessOnceTheWindowIsGone)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int signal : {SIGINT, SIGTERM}) {
        EXPECT_EXIT(
            {
                {
                    HeadlessWindow window;
                    window.closeOnSignals();
                }
                std::raise(signal);
                // Time for a watcher that would pass the signal on.
                waitFor([] { return false; }, std::chrono::seconds(2));
                std::_Exit(0);
            },
            ::testing::KilledBySignal(signal), "")
            << "signal " << signal;
    }
}

TEST(HeadlessWindow, quitEndsTheLoopWithItsCode)
{
    TestProcedure procedure;
    HeadlessWindow window;
    ASSERT_TRUE(window.open(WindowSpec{"t", 0, 0, 100, 100, rgb(0, 0, 0)}, procedure));
    window.post(Message{MessageKind::app2, 0});
    window.postQuit(7);
    EXPECT_EQ(window.run(), 7);
    EXPECT_EQ(procedure.received().back().kind, MessageKind::app2);
}

TEST(HeadlessWindow, controlsAreMadeOnTheWindowThreadOnly)
{
    HeadlessWindow window;
    EXPECT_THROW(window.createCheckBox(1, Rect{0, 0, 12, 12}, false), std::logic_error);
}

TEST(Utf8, validityFollowsTheEncodingRules)
{
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"\xC3\xA9t\xC3\xA9", true},         // été
        {"\xF0\x9F\x98\x80", true},          // four bytes
        {"\xC3", false},                     // cut off
        {"\xC0\xAF", false},                 // overlong
        {"\xED\xA0\x80", false},             // surrogate
        {"\xF4\x90\x80\x80", false},         // above U+10FFFF
        {"\x80", false},                     // lone continuation
    };
    for (const auto& c : cases)
        EXPECT_EQ(isValidUtf8(c.text), c.valid) << c.text;
}
