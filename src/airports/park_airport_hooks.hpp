#pragma once
// What loading and leaving the park airport needs of the layers above it:
// the automatic traffic range and the window (application shell), the stand
// fit of the traffic layer and the save of the park airport's learned file
// (static parking). They install their functions at start; until then the
// defaults below hold (tests install their own).

#include "airports/park_pos.hpp"
#include "foundation/parameters.hpp"

#include <cstdint>
#include <string>

namespace tzo {

// The park airport as the main window shows it.
struct ParkAirportShown {
    std::int32_t standCount = 0;
    std::string publisher;
    bool handmade = false;
    std::string qualityText;
    std::string airportText; // the path of the file read; empty after close
};

struct ParkAirportHooks {
    // Sets the range for the situation now (with AUTO_RANGE on).
    void (*updateTrafficRange)() = nullptr;
    // Writes the park airport's learned file; true when it was written.
    bool (*saveAirportFile)() = nullptr;
    // Whether an aircraft of that half wingspan (nm) is of the stand's size.
    bool (*fitsStandRadius)(const ParkPos&, double) = nullptr;
    // The window's park airport values changed; repaint them.
    void (*showParkAirport)(const ParkAirportShown&) = nullptr;
    // Empties the text of a setting's field (MAX_LIVE at its default shows nothing).
    void (*clearFieldText)(ParameterControl&) = nullptr;
};

} // namespace tzo

// Empty members keep the defaults: no range update, a save that only logs
// and counts, a fit that never fits, no window.
void gf_installParkAirportHooks(const tzo::ParkAirportHooks& hooks);
tzo::ParkAirportHooks gf_parkAirportHooks();

// Calls through the installed hooks.
void lf_updateTrafficRange();
bool lf_saveAirportFile();
bool lf_fitsStandRadius(const tzo::ParkPos& stand, double aircraftRadius);
void lf_showParkAirport(const tzo::ParkAirportShown& shown);
void lf_clearFieldText(tzo::ParameterControl& control);
// What the window was last shown (for the window's first paint and tests).
tzo::ParkAirportShown gf_parkAirportShown();
