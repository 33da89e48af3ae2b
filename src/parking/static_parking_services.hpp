#pragma once
// What the rest of the program uses of static parking: its driver and the
// state that the window and the main loop read and write. The operations are
// built with static parking itself; it switches the window's static-parking
// controls off and on around its work (gf_disableControls, gf_enableControls).

#include "foundation/shared_text.hpp"

#include <atomic>
#include <cstdint>
#include <string>

// The driver: true once at the start of operations (first placing), false
// every 16 s from the main loop.
void gf_staticParking(bool initial);
// Compares wanted and present static aircraft and adjusts them (second step of a renewal).
void gf_adjustParking();
// Reads "my_park_airports.txt" into the park airports list.
bool gf_readMyParkAirports(bool resort);
// Validates the park airports and the reserved stand; fills message; true when it is to be shown.
bool gf_checkReservedStand(bool takeChange, std::string& message);
// Rewrites "my_park_airports.txt" from the park airports list.
void gf_writeMyParkAirports();

// The user's reserved stand; empty when there is none.
extern tzo::SharedText reservedStand;
// The user's own MAX_LIVE (loaded at start-up, or entered in the window while
// no park airport is active): restored when the park airport is left, whose
// learned file may have set its own.
extern std::atomic<std::uint32_t> savedMaxLive;

// The window's side of static parking, filled in by the window at start:
// busy switching of the parking controls and a repaint. Unset hooks keep the
// busy state in staticParkingBusy only (tests, no window).
struct StaticParkingHooks {
    void (*disableControls)() = nullptr;
    void (*enableControls)() = nullptr;
    void (*repaint)() = nullptr;
};
void gf_installStaticParkingHooks(const StaticParkingHooks& hooks);
// Begins and ends the busy state (the controls follow through the hooks).
void lf_beginParkingBusy();
void lf_endParkingBusy();
void lf_repaintParking();
// Set while static parking calculates or a plan waits to be realised.
extern std::atomic<bool> staticParkingBusy;
