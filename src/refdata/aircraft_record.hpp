#pragma once
// The common record of every AI aircraft, static or live, and its making from
// a traffic report: the model's category fixes its wingspan, attitudes and
// step counts. The live traffic extends it; the reference data only builds it.

#include "foundation/aircraft_texts.hpp"
#include "foundation/time.hpp"
#include "refdata/aircraft_category.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace tzo {

enum class AircraftState : std::uint32_t {
    New = 0,
    CreateRequested = 1,
    InSimulator = 2,
    LiveryChange = 3,
    BeingRemoved = 4,
};

// Latitude, longitude (degrees) and heading (radians) of a stand.
struct StandPlace {
    double latitude = 0.0;
    double longitude = 0.0;
    double heading = 0.0;
};

// The eight texts and the 64-bit field come first, in the layout of the
// traffic record they are copied from.
struct AircraftRecord : AircraftTexts {
    AircraftCategory category = AircraftCategory::Light;
    bool cargo = false;
    bool fsltl = false;         // the chosen livery title contains "FSLTL_"
    double radius = 0.0;        // half the wingspan in nautical miles
    double staticCgHeight = 0.0;
    double staticPitch = 0.0;
    double takeOffPitch = 0.0;  // radians, negative is nose up
    double climbPitch = 0.0;    // radians
    double baseTurnRate = 0.0;
    double turnRate = 0.0;
    double altitudeStep = 0.0;
    double towingSpeed = 0.0;
    std::uint32_t recordId = 0; // above 10000 live (the hexid), else static
    std::uint32_t flareSlots = 0;
    std::uint32_t onGroundSlots = 0;
    std::uint32_t rotationSlots = 0;
    std::uint32_t climbSlots = 0;
    std::string_view liveryTitle; // a title owned by the livery catalogue
    std::uint32_t objectId = 0;
    StandPlace stand;
    DayHour parkedSince;
    std::uint32_t hexidCheck = 0;
    std::uint32_t standId = 0;
    AircraftState state = AircraftState::New;
    std::uint32_t throttleState = 5; // 5: not yet set
    std::uint32_t flapsState = 0;
    bool standIsCargo = false;       // keeps the cabin lights off while parked
    bool planFlag = false;
    bool makesPlace = false;

    // Makes this record a new static aircraft parked at a stand: the common
    // part from the report as for every report, then the stand's id, place
    // and cargo flag; object id 0, state new, throttle not yet set, flaps 4.
    void initAtStand(AircraftTexts report, std::uint32_t standIdentity, const StandPlace& place,
                     bool standCargo);
};

} // namespace tzo

// A new record from a report (or anything with its leading layout): the texts
// copied, category Large (the static traffic puts the model's own there), the
// model's half-span, and the step counts and pitches of the model's category,
// the pitches made 2.5 % and 5 % larger or smaller at random.
tzo::AircraftRecord gf_makeAircraftRecord(const tzo::AircraftTexts& report);

// "{:3} {:4}": airline code and model code, as the log and the report files
// show an aircraft or a livery.
std::string gf_formatAirlineType(std::string_view airline, std::string_view model);
std::string gf_formatAirlineType(const tzo::AircraftTexts& record);

// "{:8}" of the callsign.
std::string gf_callsignText(const tzo::AircraftTexts& record);
// "{:3}->{:3}" of departure and destination; eight blanks when both are empty.
std::string gf_formatRoute(const tzo::AircraftTexts& record);
// Callsign, registration ("{:8}"), airline and type, route: the usual way to
// name an aircraft in a log line.
std::string gf_formatStatusLine(const tzo::AircraftTexts& record);
// Callsign, registration, airline and type.
std::string gf_formatAircraftText(const tzo::AircraftTexts& record);

// The same for the livery records of the catalogue, which name the two codes
// airl and type; the reference data does not know those records.
template <typename Livery>
    requires requires(const Livery& l) {
        std::string_view(l.airl);
        std::string_view(l.type);
    }
std::string gf_formatAirlineType(const Livery& livery)
{
    return gf_formatAirlineType(std::string_view(livery.airl), std::string_view(livery.type));
}

