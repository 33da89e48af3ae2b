#pragma once
// What the simulator layer needs of the layers above it: the main window's
// simulator state, the stand under a position (live traffic) and the stand
// the park airport remembers for the user (static parking). The upper layers
// install these at start; until then each does nothing (no stand anywhere).

#include <string>
#include <string_view>

struct SimLayerHooks {
    // The window's indicators and texts; each call also repaints what it shows.
    void (*simConnected)(bool connected) = nullptr;
    void (*flightRunning)(bool running) = nullptr;
    void (*simulatorText)(std::string_view text) = nullptr;
    void (*userTitle)(std::string_view title) = nullptr;
    void (*userStand)(std::string_view stand) = nullptr; // empty: none
    void (*wingspanKnown)(bool known) = nullptr;
    // Lets the user correct the install path after a refused simulator.
    void (*enableInstallPath)() = nullptr;
    // The simulator link has ended on a user error whose line has been shown
    // (a pipe path too long for a socket, a refused simulator): nothing
    // reaches the simulator until the user mends it.
    void (*nothingLeftToDo)() = nullptr;
    // Name of the park-airport stand at a position, empty when none.
    std::string (*standNameAt)(double latitude, double longitude) = nullptr;
    // The user stands at this stand: the first park airport, when it is the
    // current one, remembers it (and rewrites its file when it changed).
    void (*rememberParkStand)(std::string_view stand) = nullptr;
};

void gf_installSimLayerHooks(const SimLayerHooks& hooks);
// A copy of the hooks installed (all empty before the first install).
SimLayerHooks gf_simLayerHooks();
