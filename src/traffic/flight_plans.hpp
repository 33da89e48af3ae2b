#pragma once
// Flight plans of live aircraft: a minimal plan (departure and destination,
// no waypoints) written into the folder "orig_dest" of the data folder, one
// file per simulator object, and assigned to the object so that the
// simulator shows where the aircraft comes from and goes to. The folder is
// made at start and removed with its files at exit.

#include "refdata/aircraft_record.hpp"
#include "traffic/live_aircraft.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

// The folder of the plans; empty until it was made.
std::filesystem::path gf_flightPlanFolder();

// Makes the data folder and the plan folder when missing; true when the plan
// folder exists afterwards. A file-system failure raises
// std::filesystem::filesystem_error.
bool gf_createFlightPlanFolder();
// Removes the plan folder with everything in it; failures are logged. True
// when nothing failed.
bool gf_removeFlightPlanFolder();

// "{objectId}.pln".
std::string gf_flightPlanFileName(std::uint32_t objectId);

// A route code that may go into a plan: 1 to 8 ASCII letters and digits.
bool gf_isPlanCode(std::string_view code);

// Writes the plan of the aircraft into the file (replacing it); true when it
// was written.
bool gf_writeFlightPlan(const std::filesystem::path& path, const tzo::AircraftRecord& aircraft,
                        std::error_code& error);

// The flight-plan step of a live aircraft that just got its object: with
// both route codes known, writes its plan and assigns it.
void lf_flightPlanStep(tzo::LiveAircraft& aircraft);

// The object is gone: its plan file goes too.
void gf_deleteFlightPlan(std::uint32_t objectId);
