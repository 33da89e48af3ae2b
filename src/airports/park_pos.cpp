#include "airports/park_pos.hpp"

#include "foundation/log.hpp"

#include <fmt/format.h>

#include <climits>

tzo::ParkPos::ParkPos(std::string standName, std::vector<ParkPosOption> standOptions, double latitudeDegrees,
                      double longitudeDegrees, double headingRadians, double radiusMetres, bool isCargo,
                      bool isRamp, bool isHeli)
    : options(std::move(standOptions)),
      name(std::move(standName)),
      latitude(latitudeDegrees),
      longitude(longitudeDegrees),
      heading(headingRadians),
      radius(gf_metresToNm(radiusMetres)),
      cargo(isCargo),
      ramp(isRamp),
      heli(isHeli)
{
    adjacent.reserve(8);
}

void tzo::ParkPos::numberOptionsAgain()
{
    std::unordered_map<std::uint32_t, std::uint32_t> renumbered;
    std::uint32_t place = 0;
    for (ParkPosOption& option : options) {
        ++place;
        if (option.number != 0 && option.number != place)
            renumbered.emplace(option.number, place);
        option.number = place;
    }
    if (renumbered.empty())
        return;
    for (OptionTracking* tracking : {&realTracking, &softTracking})
        for (auto& [id, credit] : *tracking)
            if (const auto it = renumbered.find(credit.number); it != renumbered.end())
                credit.number = it->second;
}

bool gf_standsTouch(const tzo::ParkPos& a, const tzo::ParkPos& b)
{
    return a.radius + b.radius > 1.1 * gf_greatCircleDistanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude});
}

std::string lf_bitset2hours(tzo::HalfHourSet halfHours)
{
    std::string text;
    for (std::uint32_t slot = 0; slot < tzo::kHalfHoursPerDay; ++slot) {
        if (halfHours & tzo::gf_halfHourBit(slot)) {
            text += std::to_string(slot);
            text += ',';
        }
    }
    if (!text.empty())
        text.pop_back();
    return text;
}

namespace {

// One piece as a decimal int: leading white space and a sign, then digits up
// to the first other character. Gives the reason it cannot, as the airport
// files' first reader reported it.
const char* lf_readSlot(std::string_view piece, int& value)
{
    std::size_t i = 0;
    while (i < piece.size() && (piece[i] == ' ' || (piece[i] >= '\t' && piece[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) {
        negative = piece[i] == '-';
        ++i;
    }
    if (i >= piece.size() || piece[i] < '0' || piece[i] > '9')
        return "invalid stoi argument";
    long long magnitude = 0;
    for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (piece[i] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1)
            return "stoi argument out of range";
    }
    if (!negative && magnitude > INT_MAX)
        return "stoi argument out of range";
    value = static_cast<int>(negative ? -magnitude : magnitude);
    if (value < 0 || value >= tzo::kHalfHoursPerDay)
        return "invalid bitset position";
    return nullptr;
}

} // namespace

tzo::HalfHourSet lf_hours2bitset(std::string_view text)
{
    tzo::HalfHourSet set = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::size_t end = comma == std::string_view::npos ? text.size() : comma;
        int slot = 0;
        if (const char* error = lf_readSlot(text.substr(start, end - start), slot)) {
            gf_logLineMarked(fmt::format("exception {} in lf_hours2bitset", error));
            return set;
        }
        set |= tzo::gf_halfHourBit(static_cast<std::uint32_t>(slot));
        // A comma at the very end closes the list; it opens no empty piece.
        start = end + 1;
    }
    return set;
}

bool lf_hasPosition(double latitude, double longitude)
{
    return !(latitude >= 0.0 && latitude <= 0.0009 && longitude >= 0.0 && longitude <= 0.05);
}
