#pragma once
// Which stand of the park airport an aircraft stands on or should stand on:
// the stand at a position, the free stand under an aircraft on the ground,
// the best-fitting stand by kind, size and learned use, and the option tests
// these searches share. All but gf_standNameAt run on the main loop.
//
// Distances are great-circle nautical miles; stand and aircraft radii are
// nautical miles (an aircraft's radius is half its wingspan).

#include "airports/park_pos.hpp"
#include "foundation/time.hpp"
#include "refdata/aircraft_record.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tzo {

// Metres, as nautical miles.
inline constexpr double kStandNameRadiusNm = 0.029697624190064796;    // 55 m
inline constexpr double kStandUnderAircraftNm = 0.029697624190064796; // 55 m
inline constexpr double kStandRestNm = 0.010799136069114472;          // 20 m
inline constexpr double kOptionMatchNm = 0.0458963282937365;          // 85 m
inline constexpr double kOversizeNm = 0.0009719222462203025;          // 1.8 m an aircraft may exceed a stand
inline constexpr double kSmallAircraftRadiusNm = 0.009611230689557531; // 17.8 m
inline constexpr double kSmallSizeStepNm = 0.00755939524838013;        // 14 m
inline constexpr double kLargeSizeStepNm = 0.011339092872570195;       // 21 m
inline constexpr double kOneMetreNm = 0.0005399568034557236;

// A stand the fitting search found acceptable.
struct StandCandidate {
    std::string name;
    std::int32_t score = 0; // size difference in steps; lower is better
    std::int32_t match = 0; // 1 when one of the stand's options matches the aircraft
};

// The steps in which an aircraft's size is compared with a stand's.
inline double gf_sizeStep(double aircraftRadius)
{
    return aircraftRadius <= kSmallAircraftRadiusNm ? kSmallSizeStepNm : kLargeSizeStepNm;
}

} // namespace tzo

// The name of the nearest park-airport stand within 55 m of the position;
// empty when the park airport has no stands, the user aircraft is not on the
// ground, or no stand is that near. Safe on any thread: it searches the
// published snapshot of the stands, not the table. Each thread keeps its own
// last position and answer; the same position asked again within one
// published table gets that answer without a search.
std::string gf_standNameAt(double latitude, double longitude);

// The free stand the aircraft stands on at the position, or null: the
// nearest unoccupied stand within maxDistanceNm that the aircraft fits (1.8 m
// oversize tolerated, more only within 20 m, and then the stand learns the
// aircraft's size and which stands it now touches); with allowOptionMatch, failing that, the nearest stand
// within 85 m one of whose options matches the aircraft. Helipads are for
// rotorcraft only, and rotorcraft take helipads only.
tzo::ParkPos* lf_findStandForAircraft(double latitude, double longitude, const tzo::AircraftRecord& aircraft,
                                      double maxDistanceNm, bool allowOptionMatch);

// The stand that fits the aircraft best at that half-hour: by kind (ramps
// for light aircraft, business jets and private owners; gates preferred by
// airliners; cargo stands for cargo; helipads for rotorcraft), size, and
// learned use (a stand in use at the half-hour is passed over). With
// retryNextHalfHour, an airport of fewer than 11 stands with nothing free
// is searched once more for the next half-hour. Null when none fits.
tzo::ParkPos* lf_searchFittingStands(DayHour dayHour, const tzo::AircraftRecord& aircraft, bool retryNextHalfHour);

// A numbered real option matches when one of its callsigns is the callsign,
// or its airline and type are the aircraft's.
bool lf_optionMatchesAircraft(const tzo::ParkPosOption& option, std::string_view callsign,
                              const tzo::AircraftRecord& aircraft);
// Whether any option matches; false for an empty callsign.
bool lf_anyOptionMatchesAircraft(const std::vector<tzo::ParkPosOption>& options, std::string_view callsign,
                                 const tzo::AircraftRecord& aircraft);

// An option of the aircraft's airline and type.
bool gf_isSameAirlineType(const tzo::ParkPosOption& option, const tzo::AircraftTexts& aircraft);

// The aircraft exceeds the stand by at most 1.8 m and is within half a size
// step of it: the stand is of the aircraft's size.
bool gf_fitsStandRadius(const tzo::ParkPos& stand, double aircraftRadius);

// Copies a callsign couple learned at a stand into the aircraft record: the
// first numbered option of that day within 10 half-hours (14 for heavies) of
// the half-hour, of the aircraft's airline, with a second callsign, one of
// whose callsigns is the aircraft's (less a trailing "_").
void lf_searchForCoupledCsAroundThisTime(DayHour dayHour, tzo::AircraftRecord& aircraft);

// A callsign of three upper-case letters and a digit names the airline: it
// becomes the aircraft's airline code.
bool gf_airlineFromCallsign(tzo::AircraftRecord& aircraft);
