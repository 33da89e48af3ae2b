#pragma once
// The connection thread: it waits for the simulator (one try a second),
// registers everything the program will ask of it, and then hands every
// received message to the dispatch procedure about every millisecond until it
// is stopped or the simulator goes away.

#include <chrono>
#include <stop_token>

namespace tzo {
// A wait for the simulator this long says where it looks and what to check.
inline constexpr std::chrono::seconds kSimSearchSaidAfter{30};
} // namespace tzo

// Thread body; leaves on a stop request, when an exit is under way, or after
// an error.
void SimClient(std::stop_token stop);

// Registers the system events, data definitions, client events and the
// notification group on the open connection, in the order the simulator
// expects them; results are not looked at (the simulator answers bad ones
// with exceptions).
void lf_registerSimDefinitions();

// Ends the connection: registrations cleared, connection closed. With
// requestExit (and no exit already under way) the program ends with "SIM WAS
// CLOSED".
void lf_closeSimConnect(bool requestExit = true);

// Starts the connection thread; one from before a restart is stopped and
// joined first.
void gf_startSimClient();
// Asks the connection thread to stop; does not wait.
void gf_requestSimClientStop();
// Asks it to stop and waits for it.
void gf_stopSimClient();
