#pragma once
// The static parking driver: chooses the park airport near the user aircraft
// (a listed park airport in the air, any airport within 5 nm on the ground),
// collects live callsigns for one driver period, loads the airport's stands
// and makes the first plan; leaves the airport again, removing everything
// parked there, when it goes out of sight or another park airport is nearer.
// Main loop only (and once at the start of operations).

#include "airports/airport_services.hpp"
#include "foundation/geometry.hpp"
#include "foundation/shared_text.hpp"
#include "traffic/stand_learning.hpp"

#include <atomic>
#include <string>

// Set when a park airport was chosen; the next driver run loads it.
extern bool parkLoadRequested;
// softLearningAllowed (traffic/stand_learning.hpp) is cleared by loading an
// airport whose learned use is good enough without soft learning.
// For the window (painted on its own thread): the park airport's file was
// read, its reserved stand is one of its stands, and the airport's name.
extern std::atomic<bool> airportFileRead;
extern std::atomic<bool> reservedStandPresent;
extern tzo::SharedText airportBoxText;

bool lf_setParkAirport(const std::string& code);
void lf_searchParkAirport(const tzo::LatLon& position, bool showStatus);
void lf_checkParkAirportInSight(const tzo::LatLon& position);
void lf_startParkingCalculation(bool showStatus);
std::string lf_loadParkAirport();
void lf_leaveParkAirport();
void lf_removeParkedAndLeave();

// Forgets the driver's state (park airport, last position, plan, flags), so
// that the next run starts as the first run after a start: a restart in the
// same process chooses and loads the park airport anew.
void gf_resetStaticParking();
