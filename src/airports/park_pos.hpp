#pragma once
// A stand (parking position) of an airport and what was learned about its
// use: options, each an airline and type seen there on one day of the week
// during a set of half-hours. Airport files, the scenery scanner and the
// park airport's stand table all hold these records.
//
// Inside the program radii are nautical miles and headings radians; airport
// files hold metres and degrees, converted at the file edge.

#include "foundation/geometry.hpp"
#include "foundation/time.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tzo {


inline constexpr double gf_metresToNm(double metres) { return metres * kNmPerMetre; }
inline constexpr double gf_nmToMetres(double nm) { return nm * kMetresPerNm; }
inline constexpr double gf_degreesToRadians(double degrees) { return degrees * kRadiansPerDegree; }
inline constexpr double gf_radiansToDegrees(double radians) { return radians * kDegreesPerRadian; }

// Bit i set: the option holds in half-hour slot i (0..47) of its day. Bits
// 48..63 are always clear.
using HalfHourSet = std::uint64_t;
inline constexpr int kHalfHoursPerDay = 48;
inline constexpr HalfHourSet kAllHalfHours = (HalfHourSet{1} << kHalfHoursPerDay) - 1;

inline constexpr HalfHourSet gf_halfHourBit(std::uint32_t slot) { return HalfHourSet{1} << slot; }

struct ParkPosOption {
    std::string airline;
    std::string type;
    std::string registration;   // may be empty
    std::string callsign;       // first callsign seen; may be empty
    std::string secondCallsign; // the other callsign of a callsign couple; may be empty
    HalfHourSet halfHours = 0;
    std::uint32_t number = 0;   // 1-based within the stand; 0: withdrawn, counts as absent
    std::uint32_t day = 0;      // 1 Monday .. 7 Sunday
    bool fresh = false;         // learned this run or read from the learned file: saved
    bool soft = false;          // seen on the ground near the stand rather than parked at it

    bool holds(std::uint32_t slot) const { return slot < kHalfHoursPerDay && (halfHours & gf_halfHourBit(slot)) != 0; }
};

// Which option an aircraft was last credited to, and when.
struct OptionCredit {
    DayHour dayHour;
    std::uint32_t number = 0;
};
// Keyed by the aircraft's record id (a live aircraft's hexid).
using OptionTracking = std::unordered_map<std::uint32_t, OptionCredit>;

struct ParkPos {
    std::vector<ParkPosOption> options; // file order, then order of learning
    OptionTracking realTracking;
    OptionTracking softTracking;
    std::string name;                   // unique within an airport
    std::vector<std::uint32_t> adjacent; // ids of stands too close to use together
    double latitude = 0.0;              // degrees
    double longitude = 0.0;             // degrees
    double heading = 0.0;               // radians
    double radius = 0.0;                // nautical miles
    std::uint32_t id = 0;               // 1-based place in the park airport's table; 0 until numbered
    bool manual = false;                // entered by hand in a learned airport file
    bool radiusChanged = false;         // learning changed the radius since it was read
    bool cargoChanged = false;          // learning changed the cargo flag since it was read
    bool nameMark = false;              // the scenery scanner's working mark
    bool taken = false;                 // a static aircraft of the parking plan has it
    bool occupied = false;              // a live aircraft stands on it
    bool keptFree = false;              // the user's reserved stand or the stand under the user
    bool adjacentBlocked = false;       // an adjacent stand is taken
    bool cargo = false;
    bool ramp = false;                  // a ramp, not a gate
    bool heli = false;                  // helipad

    ParkPos() = default;
    // The radius comes in metres, as airport files hold it.
    ParkPos(std::string standName, std::vector<ParkPosOption> standOptions, double latitudeDegrees,
            double longitudeDegrees, double headingRadians, double radiusMetres, bool isCargo, bool isRamp,
            bool isHeli);

    // Numbers the options 1, 2, 3 ... by their place again, withdrawn ones
    // included; the tracking entries follow their options to the new numbers.
    void numberOptionsAgain();
};

} // namespace tzo

// Two stands too close to be used at the same time: their radii together
// exceed 1.1 times their distance.
bool gf_standsTouch(const tzo::ParkPos& a, const tzo::ParkPos& b);

// The first option in first..last that has the probe's day, soft flag,
// registration, airline and type (exact) and shares a half-hour with it;
// last when none does.
template <typename Iterator>
Iterator lf_findMatchingOption(Iterator first, Iterator last, const tzo::ParkPosOption& probe)
{
    for (; first != last; ++first) {
        const tzo::ParkPosOption& o = *first;
        if (o.day == probe.day && o.soft == probe.soft && o.registration == probe.registration &&
            o.airline == probe.airline && o.type == probe.type && (o.halfHours & probe.halfHours) != 0)
            return first;
    }
    return last;
}

// The text form of a half-hour set (the hh attribute of airport files): the
// set slots in ascending order, joined by ",". The empty set is the empty text.
std::string lf_bitset2hours(tzo::HalfHourSet halfHours);

// Reads the text form. A piece is read as a decimal integer (leading blanks
// and a sign accepted, anything after the digits ignored); a trailing ","
// ends the list. The first piece that is no number, overflows or lies
// outside 0..47 stops the reading with a marked log line; the slots read
// before it are kept. Never throws.
tzo::HalfHourSet lf_hours2bitset(std::string_view text);

// False exactly for 0 <= latitude <= 0.0009 and 0 <= longitude <= 0.05: the
// position an entry without position attributes reads as.
bool lf_hasPosition(double latitude, double longitude);
