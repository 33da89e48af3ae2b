#include "app/sim_window_hooks.hpp"

#include "app/main_window.hpp"
#include "app/stand_window.hpp"
#include "app/start_up.hpp"
#include "app/status_line.hpp"
#include "app/window_state_lines.hpp"
#include "foundation/app_hooks.hpp"
#include "parking/park_airports_file.hpp"
#include "foundation/settings.hpp"
#include "simconnect/sim_hooks.hpp"

namespace tzo {

namespace {

void lf_repaint()
{
    gf_invalidateMainWindow(kHeaderAndStatistics);
}

} // namespace

void gf_installSimWindowHooks()
{
    // Keeps the park airports' hook as it is; the stand under a position is
    // the live traffic's answer.
    SimLayerHooks hooks = gf_simLayerHooks();
    hooks.simConnected = [](bool connected) {
        mainWindowObject.simConnected.store(connected);
        lf_repaint();
        gf_reportWindowState();
    };
    hooks.flightRunning = [](bool running) {
        mainWindowObject.flightRunningShown.store(running);
        lf_repaint();
    };
    hooks.simulatorText = [](std::string_view text) {
        mainWindowObject.simulatorText.set(text);
        lf_repaint();
    };
    hooks.userTitle = [](std::string_view title) {
        mainWindowObject.userTitleText.set(title);
        lf_repaint();
    };
    hooks.userStand = [](std::string_view stand) {
        mainWindowObject.userStandText.set(stand);
        lf_repaint();
    };
    hooks.wingspanKnown = [](bool known) {
        // The title is painted in yellow while the wingspan is a guess.
        mainWindowObject.userModelKnown.store(known);
        lf_repaint();
    };
    hooks.enableInstallPath = [] {
        gf_enableControl(SIM_INSTALL_PATH);
        if (gf_windowless())
            gf_logErrorCause(gf_installPathChangeText());
    };
    hooks.nothingLeftToDo = gf_nothingLeftToDo;
    hooks.rememberParkStand = ::gf_rememberParkStand;
    gf_installSimLayerHooks(hooks);
    gf_installStandNameHook();
}

} // namespace tzo
