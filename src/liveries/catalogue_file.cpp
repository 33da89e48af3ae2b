#include "liveries/catalogue_file.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "foundation/text_file.hpp"
#include "liveries/scanned_liveries.hpp"

#include <fmt/format.h>

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

void lf_writeLiveriesScanned()
{
    lf_writeLiveriesScanned(g_liveriesScannedPath);
}

void lf_writeLiveriesScanned(const fs::path& path)
{
    if (scannedLiveries.empty())
        return;
    pugi::xml_document doc;
    gf_writeMetaInfo(doc);
    pugi::xml_node liveries = doc.append_child("liveries");
    for (const auto& livery : scannedLiveries)
        lf_writeLiveryNode(liveries, livery);
    gf_saveXml(doc, path);
    gf_logLine(fmt::format("{} liveries in {}", scannedLiveries.size(), path.string()));
}

void lf_readLiveriesScanned()
{
    lf_readLiveriesScanned(g_liveriesScannedPath);
}

void lf_readLiveriesScanned(const fs::path& path)
{
    scannedLiveries.clear();
    const std::string pathText = path.string();

    pugi::xml_document doc;
    const pugi::xml_parse_result loaded = doc.load_file(path.c_str());
    if (!loaded) {
        gf_logLine(fmt::format("{}: {} at offset {}", pathText, loaded.description(), loaded.offset));
        throw UserErrorException(51, fmt::format("File {} not found", pathText));
    }
    gf_checkMetaInfo(doc);

    const pugi::xml_node liveries = doc.child("liveries");
    if (!liveries)
        throw UserErrorException(52, fmt::format("{} does not contain a <liveries> section", pathText));

    for (pugi::xml_node liv = liveries.child("liv"); liv; liv = liv.next_sibling("liv")) {
        LiveryData livery;
        livery.airl = liv.attribute("airl").value();
        livery.type = liv.attribute("type").value();
        livery.title = liv.attribute("title").value();
        livery.atcid = liv.attribute("atcid").value();
        // Absent is passenger; present follows the boolean spelling of the XML library.
        livery.cargo = liv.attribute("cargo").as_bool(false);
        livery.priority = 0;
        // Every scanned livery has all three; an empty title would even be
        // handed to the simulator.
        if (livery.airl.empty() || livery.type.empty() || livery.title.empty()) {
            gf_logLineMarked(fmt::format("livery without airline, model or title skipped in {}: airl=\"{}\" "
                                         "type=\"{}\" title=\"{}\"",
                                         pathText, livery.airl, livery.type, livery.title));
            continue;
        }
        scannedLiveries.push_back(std::move(livery));
    }

    if (scannedLiveries.empty())
        throw UserErrorException(53, pathText + " does not contain liveries");
    gf_logLine(fmt::format("No scan done, {} liveries read from {}", scannedLiveries.size(), pathText));
}

} // namespace tzo
