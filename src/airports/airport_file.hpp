#pragma once
// Airport files: one airport per XML file, three top-level elements "meta",
// "parameters" and "parkpositions" (no common root). Archived, generated,
// learned and handmade files all share this format; this is its writer and
// its stand reader, the header readers and the quality factor.

#include "airports/park_pos.hpp"

#include <pugixml.hpp>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tzo {

// The airport as the writer takes it.
struct ApfAirport {
    std::string code;        // builders name the file after it; the writer ignores it
    std::string airportName;
    std::string bglPath;     // written only for the publisher "unknown"
    std::string publisher;
    std::int32_t rtTrafficWeek = 0;
    std::int32_t qfReal = -1;
    std::int32_t qfSoft = -1;
    std::int32_t altitude = 0; // feet
    std::vector<ParkPos> stands;
};

// Quality factors of real and soft options, 0..100, or -1 for none.
struct QualityPair {
    std::int32_t real = -1;
    std::int32_t soft = -1;
    friend bool operator==(const QualityPair&, const QualityPair&) = default;
};

// Callers pack the pair as one word: real in the low half, soft in the high half.
inline std::uint64_t gf_packQuality(QualityPair q)
{
    return static_cast<std::uint32_t>(q.real) | (std::uint64_t{static_cast<std::uint32_t>(q.soft)} << 32);
}

} // namespace tzo

// The park airport's learned file is handmade: a save writes every stand in
// full with its header values. Set by the learned-file reader.
extern std::atomic<bool> parkAirportHandmade;

// Writes the file atomically: a failed write leaves an old file as it was.
// Save mode (the park airport's learned file) adds the settings in force and
// the options; files written without it carry stands only.
bool gf_writeApf(const tzo::ApfAirport& airport, const std::filesystem::path& path, bool saveMode);
// The same; `error` says why not.
bool gf_writeApf(const tzo::ApfAirport& airport, const std::filesystem::path& path, bool saveMode,
                 std::error_code& error);
// The whole file as text, as gf_writeApf writes it; empty on failure.
std::string gf_apfText(const tzo::ApfAirport& airport, bool saveMode);

bool lf_writeApfParameters(pugi::xml_node doc, const tzo::ApfAirport& airport, bool saveMode);
void lf_writeParkpos(pugi::xml_node parkpositions, bool saveMode, const tzo::ParkPos& stand);
void lf_writeOpt(pugi::xml_node parkpos, const tzo::ParkPosOption& option);

// Appends the document's stands to `stands`.
// A repeated stand name throws tzo::UserErrorException 94; a stand whose
// position or radius is unusable is skipped with a marked line naming
// `source` and the stand.
void lf_readParkPositions(const pugi::xml_node& doc, std::vector<tzo::ParkPos>& stands, std::string_view source);

// "airl" and "type", each empty when missing.
std::pair<std::string, std::string> lf_readOptAirlineType(const pugi::xml_node& opt);
// An option from an "opt" element: callsigns from "cs", airline and type from
// the data base when it knows "reg", day, half-hours and soft flag. Number and
// fresh flag are left to the caller.
tzo::ParkPosOption lf_optionFromElement(const pugi::xml_node& opt);
// "cs" split into callsign and second callsign: at exactly one ':' both;
// with more ':' only the text before the first.
std::pair<std::string, std::string> lf_splitCallsigns(std::string_view cs);

// Number readers of attributes: a missing or unreadable value is 0, and
// "inf" or "nan" read as such (the caller refuses them).
double lf_attributeDouble(const pugi::xml_node& node, const char* name);
bool lf_attributeBool(const pugi::xml_node& node, const char* name);
std::int32_t lf_attributeInt(const pugi::xml_node& node, const char* name);

// Loads an airport file; false when it does not load.
bool lf_loadApf(pugi::xml_document& doc, const std::filesystem::path& path, pugi::xml_parse_result* result = nullptr);

// Header values; empty results when the file does not load.
std::int32_t gf_readNumParkpos(const std::filesystem::path& path);
std::string gf_readPublisher(const std::filesystem::path& path);
bool gf_stockApfHasQuality(const std::string& code);

// Over the given stands.
tzo::QualityPair gf_computeQualityFactor(const std::vector<tzo::ParkPos>& stands);
std::string gf_formatQualityFactor(tzo::QualityPair quality);

// MAX_FIT := halfHours clamped, MAX_FIT_FL := MAX_FIT x 0.5 + 0.5 hours, shown and logged.
void lf_setMaxFit(std::int32_t halfHours);
