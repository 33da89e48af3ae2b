#pragma once
// Start of operations: the last step of every start-up. It starts the
// simulator thread, waits for a running flight with a known user position,
// reads the park airports, brings up the RealTraffic link (server,
// handshake, QNH and traffic readers), waits a little for traffic, makes the
// first static placing and starts the main loop. It runs on the start-up
// thread and returns once the main loop runs, or earlier when the flight
// never starts or an exit begins.

#include <atomic>
#include <cstdint>

// The simulator's major version the simulator connection works with
// (P3D_VERSION), set at each start of operations.
extern std::atomic<std::int32_t> simulatorMajorVersion;

namespace tzo {

// No arguments, no result; failures are reported and end in an exit.
void lf_startOperations();

// Waits for a running flight, asks for the user aircraft's ground state once
// a second and waits for a known user position (outside the near-zero box
// that the simulator reports before a flight is loaded). False when an exit
// began meanwhile.
bool lf_requestAircraftOnGround();

// The position the simulator reports before it knows one: latitude 0 to
// 0.0009 and longitude 0 to 0.05 degrees, both ends included.
bool gf_inNearZeroBox(double latitude, double longitude);

// The UDP ports of the two readers: 49004 and 49005, unless the environment
// moves them (NORVANE_QNH_PORT, NORVANE_TRAFFIC_PORT), so that copies of the
// program can run side by side in tests.
std::uint16_t gf_qnhReaderPort();
std::uint16_t gf_trafficReaderPort();

} // namespace tzo
