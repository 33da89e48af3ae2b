#pragma once
// What the rest of the program uses of the airports and stands: the park
// airport's state that the window and the traffic reader read, and the
// operations the start-up, the main loop and the exit call. The operations
// are built with the airports themselves.

#include "foundation/shared_text.hpp"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tzo {

// One airport of the airports list.
struct AirportRecord {
    std::string code;
    std::string iataCode;
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;
};

// The park airport's position in degrees; read without a lock by the traffic
// reader, so each half is atomic.
struct GeoPosition {
    std::atomic<double> latitude{0.0};
    std::atomic<double> longitude{0.0};
};

} // namespace tzo

// Loads "airports_p3d.xml" of the "input" folder once per process.
bool gf_loadAirportsList();
// The number of airport files in the local airport archive (0 without one).
int gf_listArchiveAirports();
// True when the airport archive was downloaded and extracted anew.
bool gf_updateArchive();
// Saves the park airport's file when its stands changed; leaves the park airport.
void gf_closeParkAirport();
// One line of the in-memory airport scan log, under that log's mutex.
void gf_addAirportScanLogLine(std::string_view text);
// Sets flag when the line holds "Active"/"ACTIVE"/"active" and "True"/"TRUE"/"true"; never clears it.
void gf_isActiveValue(bool& flag, std::string_view line);
// Each text and a line end, in order; false when the file cannot be opened.
bool gf_writeStringVectorToFile(const std::vector<std::string>& lines, const std::filesystem::path& path);
// The same; `error` says why not.
bool gf_writeStringVectorToFile(const std::vector<std::string>& lines, const std::filesystem::path& path,
                                std::error_code& error);

// The current park airport's code; empty when there is none.
extern tzo::SharedText parkAirportCode;
extern tzo::GeoPosition parkAirportPosition;
// The park airport's IATA code (empty when it has none or there is no park
// airport) and its elevation in feet; -1000 ft while there is none, so that
// every altitude lies outside the band around it.
extern tzo::SharedText parkAirportIata;
extern std::atomic<double> parkAirportElevationFt;
inline constexpr double kNoParkAirportElevation = -1000.0;
// Forgets the current park airport: codes, position and elevation.
void gf_clearParkAirportState();
// Set once the park airport's file has been read; cleared when it is left.
extern std::atomic<bool> parkAirportActive;
// A setting that the park airport keeps in its own file changed (in the
// window, or when the load switched LEARN_SOFT off): leaving the airport
// saves its file. A read of the airport file clears it.
extern std::atomic<bool> parkAirportChanged;
// Airports waiting in the "TO_BE_LEARNED_OFFLINE" folder, set by the add-on airport scan.
extern std::atomic<std::int32_t> tbloAirportCount;
