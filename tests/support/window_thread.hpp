#pragma once
// A window run on a thread of its own, as the program's window thread, while
// the test drives it from the outside.

#include "platform/ui/window.hpp"

#include <future>
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

} // namespace testsupport
