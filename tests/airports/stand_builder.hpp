#pragma once
// Stand tables made in code for tests: stands placed by metres north and east
// of one reference point, their flags, and their learned options, numbered
// and installed as the park airport's table the way loading an airport file
// leaves it.
//
//   standtest::StandBuilder b;
//   b.stand("A1", 0, 0, 20).ramp().option("SWR", "A320", 1, "14,15").callsigns("SWR12", "SWR13");
//   b.stand("A2", 0, 60, 30).cargo();
//   b.install(); // parkPositions, ids 1 and 2, published

#include "airports/park_pos.hpp"
#include "airports/park_positions.hpp"
#include "foundation/geometry.hpp"

#include <cassert>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace standtest {

// The reference point: stands and aircraft are placed relative to it.
inline constexpr double kReferenceLatitude = 47.45;
inline constexpr double kReferenceLongitude = 8.56;

// The position north and east metres from the reference point, in the
// distance measure of the program (one nautical mile per minute of arc).
inline tzo::LatLon at(double northMetres, double eastMetres)
{
    constexpr double kDegreesPerMetre = 1.0 / (1852.0 * 60.0);
    const double latitude = kReferenceLatitude + northMetres * kDegreesPerMetre;
    const double perLongitude = std::cos(kReferenceLatitude * 0.017453292519943295);
    return {latitude, kReferenceLongitude + eastMetres * kDegreesPerMetre / perLongitude};
}

// An option by itself, for tests of the option predicates.
inline tzo::ParkPosOption option(std::string airline, std::string type, std::uint32_t day, tzo::HalfHourSet hours,
                                 bool soft = false, std::uint32_t number = 1)
{
    tzo::ParkPosOption o;
    o.airline = std::move(airline);
    o.type = std::move(type);
    o.day = day;
    o.halfHours = hours;
    o.soft = soft;
    o.number = number;
    return o;
}

// The set of the slots from first to last.
inline tzo::HalfHourSet slots(std::uint32_t first, std::uint32_t last)
{
    tzo::HalfHourSet set = 0;
    for (std::uint32_t s = first; s <= last; ++s)
        set |= tzo::gf_halfHourBit(s);
    return set;
}

class StandBuilder {
public:
    // A stand radiusMetres in size; heading north, a gate, not cargo.
    StandBuilder& stand(std::string name, double northMetres = 0.0, double eastMetres = 0.0,
                        double radiusMetres = 20.0)
    {
        const tzo::LatLon p = at(northMetres, eastMetres);
        m_stands.emplace_back(std::move(name), std::vector<tzo::ParkPosOption>{}, p.latitude, p.longitude, 0.0,
                              radiusMetres, false, false, false);
        return *this;
    }
    StandBuilder& ramp(bool on = true) { return flag(&tzo::ParkPos::ramp, on); }
    StandBuilder& cargo(bool on = true) { return flag(&tzo::ParkPos::cargo, on); }
    StandBuilder& heli(bool on = true) { return flag(&tzo::ParkPos::heli, on); }
    StandBuilder& occupied(bool on = true) { return flag(&tzo::ParkPos::occupied, on); }
    StandBuilder& taken(bool on = true) { return flag(&tzo::ParkPos::taken, on); }
    StandBuilder& keptFree(bool on = true) { return flag(&tzo::ParkPos::keptFree, on); }
    StandBuilder& adjacentBlocked(bool on = true) { return flag(&tzo::ParkPos::adjacentBlocked, on); }
    // Ids (1-based places) of the stands adjacent to the last stand.
    StandBuilder& adjacent(std::vector<std::uint32_t> ids)
    {
        last().adjacent = std::move(ids);
        return *this;
    }

    // An option of the last stand, numbered after the ones before it.
    StandBuilder& option(std::string airline, std::string type, std::uint32_t day, tzo::HalfHourSet hours,
                         bool soft = false)
    {
        auto& options = last().options;
        options.push_back(
            standtest::option(std::move(airline), std::move(type), day, hours, soft,
                              static_cast<std::uint32_t>(options.size() + 1)));
        return *this;
    }
    StandBuilder& option(std::string airline, std::string type, std::uint32_t day, std::string_view hours,
                         bool soft = false)
    {
        return option(std::move(airline), std::move(type), day, lf_hours2bitset(hours), soft);
    }
    // The last option's callsigns and registration.
    StandBuilder& callsigns(std::string first, std::string second = {})
    {
        lastOption().callsign = std::move(first);
        lastOption().secondCallsign = std::move(second);
        return *this;
    }
    StandBuilder& registration(std::string reg)
    {
        lastOption().registration = std::move(reg);
        return *this;
    }
    StandBuilder& withdrawn()
    {
        lastOption().number = 0;
        return *this;
    }

    // Numbers the stands 1, 2, 3 ... in order. With adjacency, stands whose
    // radii together exceed 1.1 times their distance list each other as
    // adjacent, as loading an airport file does.
    std::vector<tzo::ParkPos> build(bool adjacency = false) const
    {
        std::vector<tzo::ParkPos> stands = m_stands;
        for (std::size_t i = 0; i < stands.size(); ++i)
            stands[i].id = static_cast<std::uint32_t>(i + 1);
        if (adjacency) {
            for (auto& a : stands)
                for (const auto& b : stands)
                    if (&a != &b && gf_standsTouch(a, b))
                        a.adjacent.push_back(b.id);
        }
        return stands;
    }
    // The stands as the park airport's table, published.
    void install(bool adjacency = false) const { gf_setParkPositions(build(adjacency)); }

private:
    tzo::ParkPos& last()
    {
        assert(!m_stands.empty() && "a stand first");
        return m_stands.back();
    }
    tzo::ParkPosOption& lastOption()
    {
        assert(!last().options.empty() && "an option first");
        return last().options.back();
    }
    StandBuilder& flag(bool tzo::ParkPos::*member, bool on)
    {
        last().*member = on;
        return *this;
    }

    std::vector<tzo::ParkPos> m_stands;
};

} // namespace standtest
