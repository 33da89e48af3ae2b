#pragma once
// Runs the main window headless on a thread of its own, as the window thread,
// with the window's hooks installed and the exit requests recorded.

#include "app/controls.hpp"
#include "app/main_window.hpp"
#include "foundation/app_hooks.hpp"
#include "platform/ui/headless_window.hpp"
#include "support/window_thread.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace apptest {

struct ExitRequest {
    ExitReason reason;
    int seconds;
};

std::vector<ExitRequest> exitRequests();
void clearExitRequests();
// Installs the window's hooks and an exit hook that only records.
void installHooks();
// Empties the status and error lines and the clock.
void resetStatusLine();

// The main window's place and size in the tests that open it headless.
ui::WindowSpec mainWindowSpec();

// The window procedure of the tests: stores the window as the program's
// window procedure does, creates the controls, and runs onCommand for clicks.
class TestWindowProcedure : public ui::WindowProcedure {
public:
    void onMessage(ui::Window& window, const ui::Message& message) override;
    void onPaint(ui::Window&, ui::Painter&) override {}
    std::function<void(int id)> onCommand;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    TestWindowProcedure procedure;
    ui::HeadlessWindow window;
    std::thread windowThread;
};

} // namespace apptest
