#pragma once
// "LiveriesScanned.xml": the result of the last livery scan, kept so that a
// start without a rescan reads it back instead of walking the SimObjects
// folders. One "liv" element per livery under "liveries", after the file's
// "meta" header; the scan priority is not kept.

#include "liveries/livery_data.hpp"

#include <pugixml.hpp>

#include <filesystem>
#include <string>

namespace tzo {

// Writes scannedLiveries to the file (nothing when the list is empty) and logs
// "{} liveries in {}". False, with a line saying that the next start scans
// again, when the file could not be saved.
bool lf_writeLiveriesScanned();
bool lf_writeLiveriesScanned(const std::filesystem::path& path);

// Appends the livery's "liv" element: airl, type, cargo="true" (cargo only),
// title, atcid.
void lf_writeLiveryNode(pugi::xml_node liveries, const LiveryData& livery);

// Empties scannedLiveries and fills it from the file, every livery with
// priority 0. "liv" elements without airline, model or title are skipped and
// counted in one log line that names the first few. Throws UserErrorException
// 51 when the file cannot be loaded, 52 without a "liveries" element, 53 when
// no livery was read.
void lf_readLiveriesScanned();
void lf_readLiveriesScanned(const std::filesystem::path& path);

// Why the file cannot serve a start without a rescan: "is gone" when it is
// missing, "is damaged" when the reading would raise one of its user errors
// (the error logged); empty when it can.
std::string gf_catalogueUnusable(const std::filesystem::path& path);

} // namespace tzo
