#pragma once
// A window run on a thread of its own, as the program's window thread, while
// the test drives it from the outside; or run on the test's thread while a
// worker photographs it.

#include "platform/ui/window.hpp"
#include "support/test_support.hpp"

#include <functional>
#include <future>
#include <optional>
#include <thread>

namespace testsupport {

// Opens the window on `thread`, which then runs the window's loop until a quit
// message; false when the window did not open.
inline bool openOnThread(ui::Window& window, const ui::WindowSpec& spec, ui::WindowProcedure& procedure,
                         std::thread& thread)
{
    std::promise<bool> opened;
    auto openedFuture = opened.get_future();
    thread = std::thread([&window, spec, &procedure, &opened] {
        const bool ok = window.open(spec, procedure);
        opened.set_value(ok);
        if (ok)
            window.run();
    });
    return openedFuture.get();
}

// Ends the loop of that thread and waits for it.
inline void closeOnThread(ui::Window& window, std::thread& thread)
{
    window.postQuit(0);
    thread.join();
}

struct CapturedRun {
    int exitCode = -1;
    std::optional<ui::RgbImage> image; // none when the window never painted
};

// Runs the window's loop on this thread, as a real window wants, while a
// worker waits for the first paint, calls `change` there, waits for the paint
// that follows and captures the window; then the loop is ended.
inline CapturedRun runAndCapture(ui::Window& window, const std::function<void()>& change)
{
    auto shot = std::async(std::launch::async, [&] {
        std::optional<ui::RgbImage> image;
        if (waitFor([&] { return window.paintCount() >= 1; })) {
            change();
            const auto painted = window.paintCount();
            waitFor([&] { return window.paintCount() > painted; });
            image = window.capture();
        }
        window.postQuit(0);
        return image;
    });
    CapturedRun result;
    result.exitCode = window.run();
    result.image = shot.get();
    return result;
}

} // namespace testsupport
