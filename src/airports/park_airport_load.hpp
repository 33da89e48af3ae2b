#pragma once
// The park airport's stands in three layers: the archived or generated
// airport file, its learned file over it (or a handmade file in its place)
// and, with PARK_FAKE, one made-up option per stand. Then the stands are
// numbered, adjacency worked out and the header shown. Closing saves what was
// learned.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

// Reads the park airport's file into parkPositions (the caller cleared it).
// quality: real factor in the low half, soft in the high half. Answers the
// empty text on success, otherwise what went wrong. Throws
// tzo::UserErrorException 65 for a missing altitude, 94 for a repeated stand.
std::string gf_readApf(const std::filesystem::path& path, std::uint64_t& quality);

// Whether the airport's file has a stand of exactly that name.
bool gf_readApfForGateCheck(const std::string& airportCode, const std::string& standName);

// The park airport's header as read.
struct ParkAirportHeader {
    std::string airportName;
    std::string publisher;
    std::int32_t altitude = 0;
    double altitudeFt = 0.0;
    std::int32_t rtTrafficWeek = 0;
};
ParkAirportHeader gf_parkAirportHeader();

// The learned file of the park airport, worked out once at the read and kept
// for the save; empty while none was read.
std::filesystem::path gf_parkAirportLearnedPath();
