#include "liveries/catalogue_file.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/log_throttle.hpp"
#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "foundation/text_file.hpp"
#include "liveries/scanned_liveries.hpp"

#include <fmt/format.h>

#include <system_error>

namespace fs = std::filesystem;

namespace tzo {

void lf_writeLiveryNode(pugi::xml_node liveries, const LiveryData& livery)
{
    pugi::xml_node liv = liveries.append_child("liv");
    liv.append_attribute("airl").set_value(livery.airl.c_str());
    liv.append_attribute("type").set_value(livery.type.c_str());
    if (livery.cargo)
        liv.append_attribute("cargo").set_value("true");
    liv.append_attribute("title").set_value(livery.title.c_str());
    liv.append_attribute("atcid").set_value(livery.atcid.c_str());
}

bool lf_writeLiveriesScanned()
{
    return lf_writeLiveriesScanned(g_liveriesScannedPath);
}

bool lf_writeLiveriesScanned(const fs::path& path)
{
    if (scannedLiveries.empty())
        return true;
    pugi::xml_document doc;
    gf_writeMetaInfo(doc);
    pugi::xml_node liveries = doc.append_child("liveries");
    for (const auto& livery : scannedLiveries)
        lf_writeLiveryNode(liveries, livery);
    if (!gf_saveXml(doc, path)) {
        // The scan switch stays on: a catalogue from an earlier scan must not
        // stand in for this one at the next start.
        gf_logLineMarked(fmt::format("{} liveries not kept in {}: the next start scans again", scannedLiveries.size(),
                                     path.string()));
        return false;
    }
    gf_logLine(fmt::format("{} liveries in {}", scannedLiveries.size(), path.string()));
    return true;
}

void lf_readLiveriesScanned()
{
    lf_readLiveriesScanned(g_liveriesScannedPath);
}

namespace {

// Skipped entries named in the one log line about them.
constexpr std::size_t kSkippedNamed = 3;
// How much of each field of a skipped entry the log shows.
constexpr std::size_t kExcerptBytes = 40;

LiveryData lf_liveryOf(const pugi::xml_node liv)
{
    LiveryData livery;
    livery.airl = liv.attribute("airl").value();
    livery.type = liv.attribute("type").value();
    livery.title = liv.attribute("title").value();
    livery.atcid = liv.attribute("atcid").value();
    // Absent is passenger; present follows the boolean spelling of the XML library.
    livery.cargo = liv.attribute("cargo").as_bool(false);
    livery.priority = 0;
    return livery;
}

// Every scanned livery has all three; an empty title would even be handed to
// the simulator.
bool lf_isComplete(const LiveryData& livery)
{
    return !livery.airl.empty() && !livery.type.empty() && !livery.title.empty();
}

// The document's "liveries" element; otherwise the user error the reading
// raises, after logging why the file did not load.
pugi::xml_node lf_loadLiveries(pugi::xml_document& doc, const fs::path& path)
{
    const std::string pathText = path.string();
    const pugi::xml_parse_result loaded = gf_loadXmlFile(doc, path);
    if (!loaded) {
        gf_logLine(fmt::format("{}: {} at offset {}", pathText, loaded.description(), loaded.offset));
        throw UserErrorException(51, fmt::format("File {} not found", pathText));
    }
    const pugi::xml_node liveries = doc.child("liveries");
    if (!liveries)
        throw UserErrorException(52, fmt::format("{} does not contain a <liveries> section", pathText));
    return liveries;
}

UserErrorException lf_noLiveries(const std::string& pathText)
{
    return UserErrorException(53, pathText + " does not contain liveries");
}

} // namespace

void lf_readLiveriesScanned(const fs::path& path)
{
    scannedLiveries.clear();
    const std::string pathText = path.string();

    pugi::xml_document doc;
    const pugi::xml_node liveries = lf_loadLiveries(doc, path);
    gf_checkMetaInfo(doc);

    // A damaged file can hold millions of them: counted, and named once.
    std::size_t skipped = 0;
    std::string named;
    for (pugi::xml_node liv = liveries.child("liv"); liv; liv = liv.next_sibling("liv")) {
        LiveryData livery = lf_liveryOf(liv);
        if (!lf_isComplete(livery)) {
            if (++skipped <= kSkippedNamed)
                named += fmt::format("{}airl=\"{}\" type=\"{}\" title=\"{}\"", skipped == 1 ? "" : "; ",
                                     gf_loggedExcerpt(livery.airl, kExcerptBytes), gf_loggedExcerpt(livery.type, kExcerptBytes),
                                     gf_loggedExcerpt(livery.title, kExcerptBytes));
            continue;
        }
        scannedLiveries.push_back(std::move(livery));
    }
    if (skipped > 0)
        gf_logLineMarked(fmt::format("{} liver{} without airline, model or title skipped in {}, {}: {}", skipped,
                                     skipped == 1 ? "y" : "ies", pathText,
                                     skipped > kSkippedNamed ? "the first" : "being", named));

    if (scannedLiveries.empty())
        throw lf_noLiveries(pathText);
    gf_logLine(fmt::format("No scan done, {} liveries read from {}", scannedLiveries.size(), pathText));
}

std::string gf_catalogueUnusable(const fs::path& path)
{
    std::error_code error;
    if (!fs::exists(path, error))
        return "is gone";
    try {
        pugi::xml_document doc;
        const pugi::xml_node liveries = lf_loadLiveries(doc, path);
        for (pugi::xml_node liv = liveries.child("liv"); liv; liv = liv.next_sibling("liv"))
            if (lf_isComplete(lf_liveryOf(liv)))
                return {};
        gf_logLineMarked(lf_noLiveries(path.string()).what());
    } catch (const UserErrorException& e) {
        // The file is there: the load has logged why it does not parse, and
        // the reading's "not found" would tell the user otherwise.
        if (e.code() != 51)
            gf_logLineMarked(e.what());
    }
    return "is damaged";
}

} // namespace tzo
