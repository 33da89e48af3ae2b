#include "airports/park_airport_load.hpp"

#include "airports/airport_file.hpp"
#include "airports/airport_file_paths.hpp"
#include "airports/airport_services.hpp"
#include "airports/fake_stands.hpp"
#include "airports/learned_file.hpp"
#include "airports/park_airport_hooks.hpp"
#include "airports/park_positions.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/settings.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::mutex headerMutex;
ParkAirportHeader header;
fs::path learnedPath;

tzo::ParkAirportShown lf_shownNow()
{
    return gf_parkAirportShown();
}

void lf_workOutAdjacency(std::vector<tzo::ParkPos>& stands)
{
    // Two stands touch when their radii together exceed 1.1 times their
    // distance. A great-circle distance is never shorter than the difference
    // of latitude (one nm per arc minute), so with the stands in latitude
    // order only a narrow band around each one needs the haversine: the load
    // of a large airport stays linear instead of 1,500 x 1,500 distances.
    double largestRadius = 0.0;
    for (const auto& s : stands)
        largestRadius = std::max(largestRadius, s.radius);
    // A stand without a usable latitude touches none (its distances are NaN).
    std::vector<std::size_t> byLatitude;
    byLatitude.reserve(stands.size());
    for (std::size_t i = 0; i < stands.size(); ++i)
        if (std::isfinite(stands[i].latitude))
            byLatitude.push_back(i);
    std::sort(byLatitude.begin(), byLatitude.end(),
              [&](std::size_t x, std::size_t y) { return stands[x].latitude < stands[y].latitude; });
    std::vector<std::size_t> near;
    for (std::size_t k = 0; k < byLatitude.size(); ++k) {
        auto& a = stands[byLatitude[k]];
        // Beyond this latitude difference (arc minutes, with a margin for
        // rounding) no stand can touch a.
        const double reachMinutes = (a.radius + largestRadius) / 1.1 + 1e-9;
        near.clear();
        for (std::size_t j = k; j-- > 0 && (a.latitude - stands[byLatitude[j]].latitude) * 60.0 <= reachMinutes;)
            near.push_back(byLatitude[j]);
        for (std::size_t j = k + 1;
             j < byLatitude.size() && (stands[byLatitude[j]].latitude - a.latitude) * 60.0 <= reachMinutes; ++j)
            near.push_back(byLatitude[j]);
        // In table order, as a walk over the whole table would find them.
        std::sort(near.begin(), near.end());
        for (std::size_t i : near) {
            const auto& b = stands[i];
            if (gf_standsTouch(a, b))
                a.adjacent.push_back(b.id);
        }
        a.adjacent.shrink_to_fit();
    }
}

void lf_noLearnedFile()
{
    gf_disableControl(parking_percentage);
    parking_percentage.setValue(30);
    if (CUSTOM_PARKING_PERCENTAGE.value() >= 0) {
        parking_percentage.setValue(CUSTOM_PARKING_PERCENTAGE.value());
        gf_logLine("parking percentage overruled by " + CUSTOM_PARKING_PERCENTAGE.name());
    }
    gf_logLineIndented(fmt::format("{:24}: {}%", parking_percentage.name(), parking_percentage.value()));
    parking_percentage.show();
}

std::string lf_readApf(const fs::path& path, std::uint64_t& quality)
{
    if (parkAirportCode.get().empty())
        return "gf_readApf, no park airport set";
    parkAirportHandmade.store(false);
    learnedSaveForbidden.store(false);
    pugi::xml_document doc;
    if (!lf_loadApf(doc, path))
        return fmt::format("{} found, but could not be loaded:", path.string());
    if (!gf_checkMetaInfo(doc))
        return fmt::format("{} found but refused to load, copyright problem", path.string());

    ParkAirportHeader read;
    read.rtTrafficWeek = gf_getIntParameterFromDoc(doc, "RT_traffic_week").value_or(0);
    read.publisher = gf_getStringParameterFromDoc(doc, "publisher").value_or(std::string{});
    const auto altitude = gf_getIntParameterFromDoc(doc, "altitude");
    if (!altitude)
        throw tzo::UserErrorException(65, std::string("Parameter ") + "altitude" + " not found");
    read.altitude = *altitude;
    read.altitudeFt = static_cast<double>(*altitude);
    read.airportName = gf_getStringParameterFromDoc(doc, "airport_name").value_or(std::string{});
    {
        std::lock_guard lock(headerMutex);
        header = read;
        learnedPath.clear();
    }

    lf_readParkPositions(doc, parkPositions, path.string());
    tzo::QualityPair pair{gf_getIntParameterFromDoc(doc, "Qf_real").value_or(-1),
                          gf_getIntParameterFromDoc(doc, "Qf_soft").value_or(-1)};

    const fs::path learned = lf_learnedPathFor(path);
    {
        std::lock_guard lock(headerMutex);
        learnedPath = learned;
    }
    std::error_code ec;
    if (!fs::exists(learned, ec)) {
        lf_noLearnedFile();
    } else {
        lf_readLearned(learned, read.airportName, parkPositions, parkAirportHandmade);
        pair = gf_computeQualityFactor(parkPositions);
        if (parkAirportHandmade.load())
            gf_logLine("A handmade airport file overruled the archived file!");
        if (PARK_FAKE.value())
            lf_addFakeOptions(path.stem().string());
    }
    quality = tzo::gf_packQuality(pair);

    tzo::ParkAirportShown shown = lf_shownNow();
    shown.standCount = static_cast<std::int32_t>(parkPositions.size());
    lf_showParkAirport(shown);

    std::uint32_t id = 0;
    for (auto& stand : parkPositions)
        stand.id = ++id;
    lf_workOutAdjacency(parkPositions);
    gf_publishParkPositions();

    const bool handmade = parkAirportHandmade.load();
    gf_logLine(fmt::format("Airport file read from \"{}\" for {}", (handmade ? learned : path).string(),
                           read.airportName));
    gf_logLineIndented(fmt::format("{:24}: {}", "publisher", read.publisher));
    gf_logLineIndented(fmt::format("{:24}: {} ft", "altitude", read.altitude));
    gf_logLineIndented(fmt::format("{:24}: {}", "num_parkpos", parkPositions.size()));
    gf_logLineIndented(fmt::format("{:24}: {}", "quality factor", gf_formatQualityFactor(pair)));
    gf_logLineIndented(fmt::format("{:24}: {}", "RT traffic week", read.rtTrafficWeek));

    shown.publisher = read.publisher;
    shown.handmade = handmade;
    shown.qualityText = gf_formatQualityFactor(pair);
    shown.airportText = path.string();
    parkAirportActive.store(true);
    gf_enableControl(FLUSH_STATIC);
    parkAirportChanged.store(false);
    parkAirportElevationFt.store(read.altitudeFt);
    lf_showParkAirport(shown);
    return parkPositions.empty() ? "no stands found" : "";
}

} // namespace

std::string gf_readApf(const fs::path& path, std::uint64_t& quality)
{
    try {
        return lf_readApf(path, quality);
    } catch (const tzo::UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        return fmt::format("exception in readApf: {}", e.what());
    }
}

bool gf_readApfForGateCheck(const std::string& airportCode, const std::string& standName)
{
    try {
        const fs::path path = gf_findApfFile(airportCode);
        if (path.empty())
            return false;
        pugi::xml_document doc;
        if (!lf_loadApf(doc, path))
            return false;
        const pugi::xml_node parkpositions = doc.child("parkpositions");
        for (const pugi::xml_node parkpos : parkpositions.children("parkpos"))
            if (standName == parkpos.attribute("id").as_string())
                return true;
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("exception in gf_readApfForGateCheck: {}", e.what()));
    }
    return false;
}

ParkAirportHeader gf_parkAirportHeader()
{
    std::lock_guard lock(headerMutex);
    return header;
}

fs::path gf_parkAirportLearnedPath()
{
    std::lock_guard lock(headerMutex);
    return learnedPath;
}

void gf_closeParkAirport()
{
    if (parkAirportActive.load() && (parkAirportChanged.load() || standUpdateCount.load() >= 1)) {
        if (learnedSaveForbidden.load()) {
            gf_logLineMarked(fmt::format("\"{}\" not saved: its learned file could not be kept aside",
                                         gf_parkAirportLearnedPath().string()));
        } else if (lf_saveAirportFile()) {
            standUpdateCount.store(0);
        }
    }
    parkAirportHandmade.store(false);
    parkAirportActive.exchange(false);
    gf_disableControl(FLUSH_STATIC);
    tzo::ParkAirportShown shown = lf_shownNow();
    shown.airportText.clear();
    lf_showParkAirport(shown);
    gf_disableControl(parking_percentage);
}
