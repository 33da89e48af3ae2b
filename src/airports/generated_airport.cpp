#include "airports/generated_airport.hpp"

#include "airports/airport_file_paths.hpp"
#include "airports/airport_services.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "refdata/publishers.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <memory>

std::atomic<std::int32_t> addonAirportsFound{0};

namespace fs = std::filesystem;
using tzo::ApfAirport;
using tzo::ArchiveLookup;

namespace {

constexpr std::array<std::string_view, 45> kStockFolders = {
    "\\Cities", "\\CITIES", "\\cities", "\\World", "\\BASE", "\\0006", "\\0007", "\\0103", "\\0106",
    "\\0107",   "\\0206",   "\\0207",   "\\0307",  "\\0407", "\\0505", "\\0506", "\\0507", "\\0606",
    "\\0607",   "\\0706",   "\\0707",   "\\0805",  "\\0806", "\\0807", "\\0900", "\\0906", "\\0907",
    "\\1000",   "\\1006",   "\\1007",   "\\1100",  "\\1102", "\\1107", "\\AFRI", "\\ASIA", "\\AUST",
    "\\EURE",   "\\EURW",   "\\NAMC",   "\\NAME",  "\\NAMW", "\\OCEN", "\\SAME", "\\Global", "\\Bathymetry"};

ArchiveLookup findIn(const fs::path& folder, const ApfAirport& airport, bool logMissingFolder)
{
    if (!fs::exists(folder)) {
        if (logMissingFolder)
            gf_addAirportScanLogLine(fmt::format("\n{} folder does not exist\n", folder.string()));
        return {};
    }
    const fs::path file = folder / (airport.code + ".xml");
    if (fs::exists(file))
        return {file, true};
    gf_addAirportScanLogLine(fmt::format("{} does not exist", file.string()));
    return {};
}

// The link file goes through a temporary file: two tasks may write one code.
// One that cannot be written leaves the airport unlinked, so that it gets a
// generated file instead of nothing.
ArchiveLookup writeLink(const ArchiveLookup& found, const fs::path& folder, const ApfAirport& airport)
{
    const fs::path link = folder / (airport.code + ".txt");
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!gf_writeFileAtomically(link, found.path.string() + "\n")) {
        gf_addAirportScanLogLine(fmt::format("{}could not write link file {}", g_logMarker, link.string()));
        return {};
    }
    return found;
}

} // namespace

ArchiveLookup lf_findArchivedOrbxApf(const ApfAirport& airport)
{
    return findIn(g_archiveOrbxFolder, airport, true);
}

ArchiveLookup lf_linkOrbxAirport(const ApfAirport& airport)
{
    const ArchiveLookup r = lf_findArchivedOrbxApf(airport);
    if (!r.found)
        return r;
    if (!writeLink(r, g_myOrbxFolder, airport).found)
        return {};
    gf_addAirportScanLogLine(fmt::format("{} airport {} linked to {}", "ORBX", airport.code, r.path.string()));
    return r;
}

ArchiveLookup lf_findArchivedThirdpartyApf(const std::string& publisher, const ApfAirport& airport)
{
    // A publisher becomes a folder name only when it is one plain name.
    const bool plain = !publisher.empty() && publisher != "." && publisher.find("..") == std::string::npos &&
                       publisher.find_first_of("/\\:") == std::string::npos;
    if (!plain) {
        if (publisher != "unknown")
            gf_addAirportScanLogLine(
                fmt::format("\n{} folder does not exist\n", (g_archiveThirdpartyFolder / "?").string()));
        return {};
    }
    return findIn(g_archiveThirdpartyFolder / publisher, airport, publisher != "unknown");
}

ArchiveLookup lf_linkThirdpartyAirport(const std::string& publisher, const ApfAirport& airport)
{
    const ArchiveLookup r = lf_findArchivedThirdpartyApf(publisher, airport);
    if (!r.found)
        return r;
    if (!writeLink(r, g_myThirdpartyFolder, airport).found)
        return {};
    gf_addAirportScanLogLine(fmt::format("thirdparty {} linked to {}", airport.code, r.path.string()));
    return r;
}

void lf_writeGeneratedApf(ApfAirport airport, std::int32_t helipadCount)
{
    const std::size_t count = airport.stands.size();
    if (count == 0)
        return;
    const fs::path folder = airport.publisher == "ORBX" ? g_myOrbxFolder : g_myThirdpartyFolder;
    std::string line = fmt::format("Generated {}: {} position{}", airport.code + ".xml", count, count > 1 ? "s" : "");
    if (helipadCount >= 1)
        line += fmt::format(", of which {} helipad{}", helipadCount, helipadCount == 1 ? "" : "s");
    gf_addAirportScanLogLine(line);
    std::stable_sort(airport.stands.begin(), airport.stands.end(),
                     [](const tzo::ParkPos& a, const tzo::ParkPos& b) { return a.name < b.name; });
    if (!fs::exists(folder))
        fs::create_directories(folder);
    const fs::path file = folder / (airport.code + ".xml");
    if (!gf_writeApf(airport, file, false))
        gf_addAirportScanLogLine(fmt::format("{}Generating {} did not succeed", g_logMarker, file.string()));
    else
        addonAirportsFound.fetch_add(1);
}

bool lf_isStockSceneryPath(std::string_view pathText)
{
    return std::any_of(kStockFolders.begin(), kStockFolders.end(),
                       [&](std::string_view s) { return pathText.find(s) != std::string_view::npos; });
}

tzo::BglAirportSink gf_generatedAirportSink()
{
    // Per airport: whether it was linked and the archived file's stand count.
    auto state = std::make_shared<std::pair<bool, std::int32_t>>(false, 0);
    tzo::BglAirportSink sink;
    sink.begin = [state](tzo::BglAirport& a) {
        ArchiveLookup link;
        if (a.airport.publisher == "ORBX")
            link = lf_linkOrbxAirport(a.airport);
        else if (a.airport.publisher != "unknown")
            link = lf_linkThirdpartyAirport(a.airport.publisher, a.airport);
        state->first = link.found;
        state->second = 0;
        if (link.found) {
            addonAirportsFound.fetch_add(1);
            state->second = gf_readNumParkpos(link.path);
        }
    };
    sink.end = [state](tzo::BglAirport& a) {
        const auto count = static_cast<std::int64_t>(a.airport.stands.size());
        if (count > state->second)
            gf_addAirportScanLogLine(fmt::format("{}{} has {} parkpos while archived one has {}", g_logMarker,
                                                 a.airport.code, count, state->second));
        if (!state->first || count > state->second)
            lf_writeGeneratedApf(std::move(a.airport), a.helipadCount);
    };
    return sink;
}

void lf_readBglFileAirports(const fs::path& path)
{
    std::vector<std::uint8_t> bytes;
    if (!tzo::lf_readWholeFile(path, bytes))
        return;
    tzo::lf_readBglAirports(bytes, path.string(),
                            [](const std::string& p) { return gf_publisherOfFileName(p); }, gf_generatedAirportSink());
}
