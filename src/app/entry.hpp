#pragma once
// The program's entry: one copy per user, the log, the main window at its
// saved place, the message that starts the work, and the message loop until
// the exit thread asks for the final close.

#include "platform/ui/window.hpp"

#include <filesystem>
#include <functional>
#include <string>

namespace tzo {

enum class InstanceGuard { taken, alreadyRunning, unavailable };

// The lock files of the single-instance guard: one in the runtime folder (one
// copy per user) and one beside the data folder ("Norvane_P3D.lock"), which
// holds for copies that see different runtime folders or none.
std::filesystem::path gf_instanceLockPath();
std::filesystem::path gf_dataFolderLockPath();

struct InstanceLock {
    InstanceGuard guard = InstanceGuard::unavailable;
    // alreadyRunning: the lock the other copy holds; taken: one this copy holds.
    std::filesystem::path path;
};
// Takes the guard for the life of the process (flocks the kernel releases
// when the process ends, however it ends): both locks where they can be
// taken. alreadyRunning when another copy holds either; unavailable when
// neither can be taken at all.
InstanceLock gf_takeSingleInstanceGuard();

// The body of each start-up thread. The start-up itself installs its own;
// until then the thread loads the settings into the controls.
using StartUpBody = std::function<void()>;
void gf_installStartUpBody(StartUpBody body);

// The window procedure of the main window.
class MainWindowProcedure final : public ui::WindowProcedure {
public:
    void onMessage(ui::Window& window, const ui::Message& message) override;
    void onPaint(ui::Window& window, ui::Painter& painter) override;
};

// Starts a fresh, detached start-up thread (the window's first own message).
void lf_startStartUp();
// The final close: the window's position saved, the log closed, the loop ended.
void lf_finalClose(ui::Window& window);

// Reads the saved position (a stored limit value is replaced by the default
// and saved), then opens the window there. False when it cannot be made.
bool lf_createMainWindow(ui::Window& window, ui::WindowProcedure& procedure);

// Creates the window, makes the data folder, posts the start and runs the
// message loop; the exit code (kExitSystemError when the window cannot be made).
int initInstance(ui::Window& window, ui::WindowProcedure& procedure);

// main(): -1 when another copy runs, 1 when no single-instance lock can be
// taken or the log cannot be opened (each said on standard error), else the
// message loop's code (gf_exitCode). "--headless" runs without a display.
int gf_programMain(int argc, char** argv);

} // namespace tzo
