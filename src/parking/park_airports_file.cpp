#include "parking/park_airports_file.hpp"

#include "airports/airports_list.hpp"
#include "airports/park_airport_load.hpp"
#include "airports/park_positions.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/log.hpp"
#include "foundation/app_hooks.hpp"
#include "foundation/paths.hpp"
#include "foundation/strings.hpp"
#include "foundation/text_file.hpp"
#include "parking/static_parking_services.hpp"
#include "simconnect/sim_user_aircraft.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/removal.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

std::list<tzo::ParkAirportEntry> parkAirports;
tzo::LatLon parkAirportsLastPosition;
std::atomic<bool> parkAirportsOkay{false};

namespace {

constexpr const char* kFileName = "my_park_airports.txt";
constexpr std::size_t kManyParkAirports = 3000;

std::mutex g_rememberedStandMutex;
std::optional<std::string> g_rememberedStand;

// The user edits the file by hand, and editors save it with a byte-order
// mark or as UTF-16: lines as UTF-8 without a trailing CR; nullopt when the
// file is missing or cannot be read.
std::optional<std::vector<std::string>> readLines(const fs::path& path)
{
    std::error_code ec;
    if (!fs::exists(path, ec))
        return std::nullopt;
    std::vector<std::string> lines;
    if (!gf_readExtTextFileToStringVector(path, lines))
        return std::nullopt;
    return lines;
}

std::string plural(std::size_t n)
{
    return n >= 2 ? "s" : "";
}

tzo::ParkPos* standNamed(std::string_view name)
{
    for (auto& stand : parkPositions)
        if (stand.name == name)
            return &stand;
    return nullptr;
}

} // namespace

bool lf_isParkAirportListed(std::string_view code)
{
    return std::any_of(parkAirports.begin(), parkAirports.end(),
                       [&](const tzo::ParkAirportEntry& e) { return e.code == code; });
}

void lf_parseParkAirportLine(bool& ok, const std::string& line)
{
    const auto fields = gf_splitComma(line);
    if (fields.empty() || (fields.size() == 1 && fields[0].empty()))
        return;
    if (fields.size() >= 3) {
        gf_logLineMarked(fmt::format("{}:{} wrong syntax, skipped", kFileName, line));
        return;
    }
    const std::string& code = fields[0];
    const auto airport = gf_findAirport(code);
    if (!airport) {
        gf_showStatus(fmt::format("airport {} is unknown", code), true);
        ok = false;
        return;
    }
    if (lf_isParkAirportListed(code)) {
        gf_logLineMarked(fmt::format("{}:{} double, skipped", kFileName, code));
        return;
    }
    const std::string stand = fields.size() == 2 ? fields[1] : std::string{};
    if (!stand.empty() && !gf_readApfForGateCheck(code, stand)) {
        gf_showStatus(fmt::format("{} stand {} is unknown", code, stand), true);
        ok = false;
    }
    parkAirports.push_back({code, stand, airport->latitude, airport->longitude, 0.0});
}

void lf_addParkAirportsFromFolder()
{
    std::error_code ec;
    if (!fs::is_directory(g_myThirdpartyFolder, ec))
        return;
    std::vector<std::string> names;
    fs::directory_iterator it(g_myThirdpartyFolder, ec);
    for (; !ec && it != fs::directory_iterator{}; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError))
            names.push_back(it->path().filename().string());
    }
    if (ec)
        gf_logLineMarked(fmt::format("{}: {}", g_myThirdpartyFolder.string(), ec.message()));
    // Directory order differs between file systems; a sorted walk adds the same way everywhere.
    std::sort(names.begin(), names.end());
    std::size_t added = 0;
    for (const auto& code : names) {
        if (lf_isParkAirportListed(code))
            continue;
        const auto airport = gf_findAirport(code);
        if (!airport)
            continue;
        parkAirports.push_back({code, {}, airport->latitude, airport->longitude, 0.0});
        ++added;
    }
    if (added > 0)
        gf_logLine(fmt::format("{} park airport{} added from \"{}\"", added, plural(added),
                               g_myThirdpartyFolder.string()));
}

void gf_sortParkAirportsFrom(const tzo::LatLon& position)
{
    parkAirportsLastPosition = position;
    for (auto& entry : parkAirports)
        entry.distanceNm = gf_greatCircleDistanceNm(position, {entry.latitude, entry.longitude});
    parkAirports.sort([](const tzo::ParkAirportEntry& a, const tzo::ParkAirportEntry& b) {
        return a.distanceNm < b.distanceNm;
    });
}

bool gf_readMyParkAirports(bool resort)
{
    bool ok = true;
    parkAirports.clear();
    const auto lines = readLines(g_myParkAirportsPath);
    if (!lines) {
        gf_logLine(g_myParkAirportsPath.string() + " not found");
    } else {
        for (const auto& line : *lines)
            lf_parseParkAirportLine(ok, line);
    }
    if (!parkAirports.empty()) {
        const std::size_t n = parkAirports.size();
        gf_logLine(fmt::format("{} park airport{} read from \"{}\"", n, plural(n), kFileName));
        if (n > kManyParkAirports)
            gf_showStatus(fmt::format("Warning: There are a lot of airports ({}) in {}, that will cost NRVX much cpu "
                                      "time, and may give stutters",
                                      n, kFileName),
                          true);
    }
    lf_addParkAirportsFromFolder();
    const tzo::LatLon user{userAircraft.latitude, userAircraft.longitude};
    if (resort || user.latitude != parkAirportsLastPosition.latitude ||
        user.longitude != parkAirportsLastPosition.longitude)
        gf_sortParkAirportsFrom(user);
    parkAirportsOkay = ok;
    lf_repaintParking();
    return ok;
}

bool lf_updateParkAirportLine(std::string& line)
{
    if (parkAirports.empty())
        return false;
    const auto fields = gf_splitComma(line);
    const auto& first = parkAirports.front();
    if (fields.empty() || fields[0] != first.code)
        return false;
    line = fmt::format("{},{}", first.code, first.reservedStand);
    gf_logLine(fmt::format("{}:{},{} updated stand", kFileName, first.code, first.reservedStand));
    return true;
}

void gf_writeMyParkAirports()
{
    if (parkAirports.empty())
        return;
    const auto& first = parkAirports.front();
    const std::string line =
        first.code + (first.reservedStand.empty() ? std::string{} : "," + first.reservedStand);
    std::vector<std::string> lines;
    std::error_code ec;
    const bool exists = fs::exists(g_myParkAirportsPath, ec);
    if (!exists && !ec) {
        lines.push_back(line);
        gf_logLine(fmt::format("{} created with {}", kFileName, line));
    } else {
        auto read = exists ? readLines(g_myParkAirportsPath) : std::nullopt;
        if (!read) {
            // Replacing an unreadable list by one line would lose the user's airports.
            gf_logLineMarked(fmt::format("{} cannot be read, {} not written", kFileName, line));
            return;
        }
        lines = std::move(*read);
        bool taken = false;
        for (auto& l : lines)
            if (lf_updateParkAirportLine(l)) {
                taken = true;
                break;
            }
        if (!taken) {
            lines.push_back(line);
            gf_logLine(fmt::format("{}:{} new entry", kFileName, line));
        }
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto& l : lines)
        text += l + "\n";
    std::error_code error;
    if (!gf_writeFileAtomically(g_myParkAirportsPath, text, error))
        gf_saySaveFailure("", g_myParkAirportsPath, error);
}

bool gf_checkReservedStand(bool takeChange, std::string& message)
{
    if (!gf_readMyParkAirports(takeChange))
        return false;
    const std::string park = parkAirportCode.get();
    if (takeChange && userOnGroundKnown.load() && !staticParkingBusy.load() && !parkAirports.empty() &&
        !park.empty() && parkAirports.front().code == park && gf_userStandName().empty()) {
        const std::string wanted = parkAirports.front().reservedStand;
        const std::string old = reservedStand.get();
        if (!wanted.empty() && wanted != old) {
            message = fmt::format("reserved stand changed from \"{}\" to \"{}\"", old, wanted);
            if (auto* stand = standNamed(old))
                stand->keptFree = false;
            reservedStand.set(wanted);
            if (auto* stand = standNamed(wanted)) {
                for (auto& aircraft : staticAircraft)
                    if (aircraft.standId == stand->id && aircraft.state == tzo::AircraftState::InSimulator) {
                        gf_removeAircraft(aircraft);
                        break;
                    }
                stand->keptFree = true;
            }
            lf_repaintParking();
        }
    }
    if (message.empty())
        message = "park airports and stands are okay";
    return true;
}

void gf_rememberParkStand(std::string_view stand)
{
    std::lock_guard lock(g_rememberedStandMutex);
    g_rememberedStand = std::string(stand);
}

void gf_applyRememberedParkStand()
{
    std::optional<std::string> stand;
    {
        std::lock_guard lock(g_rememberedStandMutex);
        stand.swap(g_rememberedStand);
    }
    if (!stand || parkAirports.empty() || parkAirportCode.get().empty() ||
        parkAirports.front().code != parkAirportCode.get() || parkAirports.front().reservedStand == *stand)
        return;
    parkAirports.front().reservedStand = *stand;
    gf_writeMyParkAirports();
}
