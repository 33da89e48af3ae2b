#include "airports/airports_list.hpp"

#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text_file.hpp"
#include "platform/outside_file.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace {

std::vector<tzo::AirportRecord> airportsList;
bool airportsListLoaded = false;

constexpr std::size_t kExpectedAirports = 44000;

// Locale-independent; NaN and infinities count as failures.
bool parseNumber(const char* text, double& value)
{
    std::string_view view{text};
    while (!view.empty() && (view.front() == ' ' || view.front() == '\t'))
        view.remove_prefix(1);
    while (!view.empty() && (view.back() == ' ' || view.back() == '\t'))
        view.remove_suffix(1);
    if (!view.empty() && view.front() == '+')
        view.remove_prefix(1);
    if (view.empty())
        return false;
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
    return ec == std::errc{} && end == view.data() + view.size() && std::isfinite(value);
}

} // namespace

bool gf_parseAirportsList(std::string_view text, std::vector<tzo::AirportRecord>& records, std::string& error)
{
    pugi::xml_document doc;
    const auto result = doc.load_buffer(text.data(), text.size());
    if (!result) {
        error = fmt::format(" not loaded {}", result.description());
        return false;
    }
    const auto airports = doc.child("airports");
    if (!airports) {
        error = " not found";
        return false;
    }
    for (const auto node : airports.children("airport")) {
        tzo::AirportRecord record;
        record.code = node.attribute("code").as_string();
        record.iataCode = node.attribute("iata").as_string();
        double alt = 0.0;
        if (!parseNumber(node.attribute("lat").as_string(), record.latitude) ||
            !parseNumber(node.attribute("lon").as_string(), record.longitude) ||
            !parseNumber(node.attribute("alt").as_string(), alt) || std::abs(record.latitude) > 90.0 || std::abs(alt) > 3.0e38 ||
            std::abs(record.longitude) > 360.0) {
            gf_logLineMarked(fmt::format("airport \"{}\" has no valid lat, lon or alt, skipped", record.code));
            continue;
        }
        record.altitude = static_cast<double>(static_cast<float>(alt));
        records.push_back(std::move(record));
    }
    // Stable: equal codes keep the file's order, so the first stays the one found.
    std::stable_sort(records.begin(), records.end(),
                     [](const tzo::AirportRecord& a, const tzo::AirportRecord& b) { return a.code < b.code; });
    return true;
}

bool gf_loadAirportsList()
{
    if (airportsListLoaded)
        return !airportsList.empty();
    // Built apart and taken over only when whole, so a failed read followed
    // by a retry never leaves half a list or appends twice.
    std::vector<tzo::AirportRecord> records;
    records.reserve(kExpectedAirports);
    const std::string path = g_airportsListPath.string();
    std::string text;
    if (const auto status = platform::readOutsideFile(g_airportsListPath, kMaxXmlFileBytes, text); !status.ok()) {
        if (status.missing())
            throw std::runtime_error(path + " not loaded File was not found");
        throw std::runtime_error(platform::outsideFileRefusal(g_airportsListPath, status));
    }
    std::string error;
    if (!gf_parseAirportsList(text, records, error))
        throw std::runtime_error(path + error);
    gf_logLine(fmt::format("{} airports read from \"{}\"", records.size(), path));
    records.shrink_to_fit();
    airportsList = std::move(records);
    airportsListLoaded = true;
    return !airportsList.empty();
}

std::optional<tzo::AirportRecord> gf_findAirport(std::string_view code)
{
    const auto it = std::lower_bound(airportsList.begin(), airportsList.end(), code,
                                     [](const tzo::AirportRecord& r, std::string_view c) { return r.code < c; });
    if (it == airportsList.end() || it->code != code)
        return std::nullopt;
    return *it;
}

std::string gf_formatAirport(const tzo::AirportRecord& record)
{
    std::string text = record.code.empty() ? std::string{"?"} : record.code;
    if (!record.iataCode.empty())
        text += fmt::format(" ({})", record.iataCode);
    return text;
}

const std::vector<tzo::AirportRecord>& gf_airportsList()
{
    return airportsList;
}

void gf_resetAirportsListForTests()
{
    airportsList.clear();
    airportsList.shrink_to_fit();
    airportsListLoaded = false;
}

void gf_setAirportsListForTests(std::vector<tzo::AirportRecord> records)
{
    std::stable_sort(records.begin(), records.end(),
                     [](const tzo::AirportRecord& a, const tzo::AirportRecord& b) { return a.code < b.code; });
    airportsList = std::move(records);
    airportsListLoaded = true;
}
