#include "parking/save_airport_file.hpp"

#include "airports/airport_file.hpp"
#include "airports/airport_file_paths.hpp"
#include "airports/airport_services.hpp"
#include "airports/park_airport_hooks.hpp"
#include "airports/park_airport_load.hpp"
#include "airports/park_positions.hpp"
#include "foundation/app_hooks.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/settings.hpp"
#include "foundation/text_file.hpp"
#include "foundation/time.hpp"
#include "parking/static_parking_services.hpp"

#include <fmt/format.h>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// "hh:mm:ss" of the wall clock in UTC.
std::string lf_timeOfDay()
{
    const std::string text = gf_utcTimeText();
    return text.size() >= 19 ? text.substr(11, 8) : text;
}

std::vector<tzo::ParkPos> lf_standsToWrite(bool handmade)
{
    if (handmade)
        return parkPositions;
    std::vector<tzo::ParkPos> stands;
    for (auto& stand : parkPositions) {
        std::erase_if(stand.options, [](const tzo::ParkPosOption& o) { return !o.fresh; });
        if (!stand.options.empty() || stand.manual || stand.radiusChanged || stand.cargoChanged)
            stands.push_back(stand);
    }
    gf_publishParkPositions();
    return stands;
}

// `elsewhere` is where the publisher would have it, when that is not where it goes.
fs::path lf_targetPath(const std::string& code, const std::string& publisher, fs::path& elsewhere)
{
    const fs::path byPublisher = lf_learnedFolderForPublisher(publisher) / (code + ".xml");
    const fs::path learned = gf_parkAirportLearnedPath();
    if (learned.empty())
        return byPublisher;
    // The load read the learned file from this path; saving elsewhere would
    // leave the next load reading the old one.
    if (learned.lexically_normal() != byPublisher.lexically_normal())
        elsewhere = byPublisher;
    return learned;
}

} // namespace

bool gf_saveAirportFile()
{
    const ParkAirportHeader header = gf_parkAirportHeader();
    const bool handmade = parkAirportHandmade.load();
    tzo::ApfAirport airport;
    airport.code = parkAirportCode.get();
    airport.airportName = header.airportName;
    airport.altitude = header.altitude;
    airport.publisher = header.publisher;
    airport.rtTrafficWeek = header.rtTrafficWeek;
    // An option withdrawn for one plan (number 0) is still learned: numbered
    // again so that the writer keeps it.
    for (auto& stand : parkPositions)
        stand.numberOptionsAgain();
    const tzo::QualityPair quality = handmade ? gf_computeQualityFactor(parkPositions) : tzo::QualityPair{0, 0};
    airport.qfReal = quality.real;
    airport.qfSoft = quality.soft;
    airport.stands = lf_standsToWrite(handmade);

    fs::path elsewhere;
    const fs::path path = lf_targetPath(airport.code, airport.publisher, elsewhere);
    std::error_code ec;
    // A folder that cannot be made is the cause the save names.
    fs::create_directories(path.parent_path(), ec);
    if (ec || !gf_writeApf(airport, path, true, ec)) {
        gf_showStatus(fmt::format("{} saving \"{}\" did not succeed: {}", lf_timeOfDay(), path.string(),
                                  gf_saveFailureText(path, ec)),
                      true);
        return false;
    }
    if (!elsewhere.empty())
        gf_logLineMarked(
            fmt::format("\"{}\" saved where it was read, not as \"{}\"", path.string(), elsewhere.string()));
    const std::int32_t updates = standUpdateCount.load();
    gf_showStatus(fmt::format("{}{} \"{}\" saved with {} update{} {}", lf_timeOfDay(), handmade ? " handmade" : "",
                              path.string(), updates, updates == 1 || updates < 0 ? "" : "s",
                              parkAirportChanged.load() ? "and one or more parameter changes" : ""),
                  true);
    standUpdateCount.store(0);
    parkAirportChanged.store(false);
    return true;
}

void gf_installParkingSave()
{
    tzo::ParkAirportHooks hooks = gf_parkAirportHooks();
    hooks.saveAirportFile = gf_saveAirportFile;
    gf_installParkAirportHooks(hooks);
    // While a park airport's MAX_LIVE is in force, a save of all settings from
    // memory keeps the user's own value in parameters.xml. In force means the
    // value in memory is not the user's: the airport is open, or was closed
    // (by the exit, say) and the user's value is not back yet.
    gf_installStoredTextHook([](const tzo::Parameter& parameter) {
        const std::uint32_t own = savedMaxLive.load();
        if (&parameter != &MAX_LIVE || own == 0 || static_cast<std::uint32_t>(MAX_LIVE.value()) == own)
            return std::string();
        return std::to_string(own);
    });
}
