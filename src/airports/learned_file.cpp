#include "airports/learned_file.hpp"

#include "airports/airport_file.hpp"
#include "airports/park_airport_hooks.hpp"
#include "foundation/app_hooks.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/text_file.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace fs = std::filesystem;

std::atomic<bool> learnedSaveForbidden{false};

namespace {
// EDDF0.xml, then EDDF0-2.xml .. EDDF0-99.xml.
constexpr int kMostCopies = 100;
} // namespace

namespace {

// LATERAL_RANGE as it was before AUTO_RANGE took over; given back when a
// learned file switches it off. Main loop only.
std::optional<std::int32_t> rememberedRange;

// Piece by piece, so that comparing two large files costs no memory; a file
// that is no regular file is never the same.
bool lf_sameContent(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    if (!fs::is_regular_file(a, ec) || !fs::is_regular_file(b, ec) || fs::file_size(a, ec) != fs::file_size(b, ec) ||
        ec)
        return false;
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    if (!first || !second)
        return false;
    std::vector<char> one(65536);
    std::vector<char> two(one.size());
    while (first && second) {
        first.read(one.data(), static_cast<std::streamsize>(one.size()));
        second.read(two.data(), static_cast<std::streamsize>(two.size()));
        if (first.gcount() != second.gcount() ||
            !std::equal(one.begin(), one.begin() + first.gcount(), two.begin()))
            return false;
    }
    return !first.bad() && !second.bad() && first.eof() && second.eof();
}

void lf_logSetting(std::string_view name, const std::string& value)
{
    gf_logLineIndented(fmt::format("{:24}: {}", name, value));
}

// Keeps the file aside; without a copy no save may replace it. `unloaded`
// is why the file did not load as XML, when that was the reason.
void lf_keepAside(const fs::path& path, const char* unloaded = nullptr)
{
    std::optional<fs::path> copy;
    try {
        copy = lf_keepCopyOf(path);
    } catch (const std::exception&) {
        copy.reset();
    }
    if (copy) {
        if (unloaded)
            gf_logLine(fmt::format("{} found, but could not be loaded, saved as *.0.xml: {}", path.string(), unloaded));
        gf_logLine(fmt::format("learned file \"{}\" {} \"{}\"", path.string(),
                               fs::exists(path) ? "kept as" : "moved aside to", copy->string()));
        return;
    }
    if (unloaded)
        gf_logLine(fmt::format("{} found, but could not be loaded: {}", path.string(), unloaded));
    learnedSaveForbidden.store(true);
    gf_logLineMarked(fmt::format("no copy of learned file \"{}\" could be kept, it will not be saved over",
                                 path.string()));
}

void lf_applySettings(const pugi::xml_document& doc)
{
    if (const auto v = gf_getBoolParameterFromDoc(doc, LEARN_SOFT.name())) {
        LEARN_SOFT.setChecked(*v);
        lf_logSetting(LEARN_SOFT.name(), *v ? "true" : "false");
    }
    if (const auto v = gf_getIntParameterFromDoc(doc, MAX_LIVE.name())) {
        MAX_LIVE.setValue(*v);
        MAX_LIVE.show();
        if (MAX_LIVE.value() == MAX_LIVE.defaultValue())
            lf_clearFieldText(MAX_LIVE);
        lf_logSetting(MAX_LIVE.name(), std::to_string(*v));
    } else {
        MAX_LIVE.setValue(MAX_LIVE.defaultValue());
        lf_clearFieldText(MAX_LIVE);
    }
    if (const auto v = gf_getIntParameterFromDoc(doc, LATERAL_RANGE.name())) {
        // A range beyond the setting's limits would become the request radius.
        gf_setRangeNm(std::clamp(*v, LATERAL_RANGE.min(), LATERAL_RANGE.max()));
        lf_logSetting(LATERAL_RANGE.name(), std::to_string(*v));
        LATERAL_RANGE.show();
        gf_enableControl(LATERAL_RANGE);
    }
    if (const auto v = gf_getBoolParameterFromDoc(doc, AUTO_RANGE.name())) {
        AUTO_RANGE.setChecked(*v);
        lf_logSetting(AUTO_RANGE.name(), *v ? "true" : "false");
        if (*v) {
            rememberedRange = LATERAL_RANGE.value();
            lf_updateTrafficRange();
            gf_disableControl(LATERAL_RANGE);
        } else {
            gf_enableControl(LATERAL_RANGE);
            gf_setRangeNm(rememberedRange.value_or(LATERAL_RANGE.value()));
            gf_clearStatus();
        }
        LATERAL_RANGE.show();
    }
    for (tzo::BoolParameterCheckBox* box : {&PARK_FAKE, &WEEK, &PARK_SOFT}) {
        if (const auto v = gf_getBoolParameterFromDoc(doc, box->name())) {
            box->setChecked(*v);
            lf_logSetting(box->name(), *v ? "true" : "false");
        }
    }
    if (const auto v = gf_getIntParameterFromDoc(doc, parking_percentage.name())) {
        parking_percentage.setValue(*v);
        lf_logSetting(parking_percentage.name(), std::to_string(*v));
    } else {
        parking_percentage.setValue(30);
    }
    if (CUSTOM_PARKING_PERCENTAGE.value() >= 0) {
        parking_percentage.setValue(CUSTOM_PARKING_PERCENTAGE.value());
        gf_showStatus("parking percentage overruled by " + CUSTOM_PARKING_PERCENTAGE.name(), true);
    }
    parking_percentage.show();
    if (const auto v = gf_getBoolParameterFromDoc(doc, INITIAL_LOAD_ONLY.name())) {
        INITIAL_LOAD_ONLY.setChecked(*v);
        lf_logSetting(INITIAL_LOAD_ONLY.name(), *v ? "true" : "false");
    }
    if (const auto v = gf_getIntParameterFromDoc(doc, MAX_FIT.name()))
        lf_setMaxFit(*v);
    else if (const auto old = gf_getIntParameterFromDoc(doc, "MAX_FIT_WEEK"))
        lf_setMaxFit(*old);
}

bool lf_soundPosition(double latitude, double longitude, double radius, double heading)
{
    return std::isfinite(latitude) && std::isfinite(longitude) && std::isfinite(radius) && std::isfinite(heading) &&
           std::fabs(latitude) <= 90.0 && std::fabs(longitude) <= 180.0 && radius >= 0.0;
}

void lf_addManualStand(const pugi::xml_node& parkpos, const std::string& id, const fs::path& path,
                       std::vector<tzo::ParkPos>& stands)
{
    if (std::any_of(stands.begin(), stands.end(), [&](const auto& s) { return s.name == id; })) {
        gf_logLineMarked(fmt::format("manually created standid {} already exists in {}", id, path.string()));
        return;
    }
    const double latitude = lf_attributeDouble(parkpos, "latitude");
    const double longitude = lf_attributeDouble(parkpos, "longitude");
    const double radius = lf_attributeDouble(parkpos, "radius");
    const double heading = lf_attributeDouble(parkpos, "heading");
    if (!lf_soundPosition(latitude, longitude, radius, heading) || !lf_hasPosition(latitude, longitude) ||
        radius == 0.0) {
        gf_logLineMarked(fmt::format("manually created standid {} misses correct attributes in {}", id, path.string()));
        return;
    }
    std::vector<tzo::ParkPosOption> options;
    options.reserve(128);
    for (const pugi::xml_node opt : parkpos.children("opt")) {
        tzo::ParkPosOption option = lf_optionFromElement(opt);
        option.number = static_cast<std::uint32_t>(options.size() + 1);
        option.fresh = true;
        options.push_back(std::move(option));
    }
    options.shrink_to_fit();
    tzo::ParkPos& stand = stands.emplace_back(id, std::move(options), latitude, longitude,
                                              tzo::gf_degreesToRadians(heading), radius,
                                              lf_attributeBool(parkpos, "cargo"), lf_attributeBool(parkpos, "ramp"),
                                              lf_attributeBool(parkpos, "heli"));
    stand.manual = true;
}

void lf_mergeLearnedStand(const pugi::xml_node& parkpos, const fs::path& path, tzo::ParkPos& stand)
{
    if (lf_attributeBool(parkpos, "radius_change")) {
        const double radius = lf_attributeDouble(parkpos, "radius");
        if (std::isfinite(radius) && radius > 0.0) {
            stand.radius = tzo::gf_metresToNm(radius);
            stand.radiusChanged = true;
        } else {
            gf_logLineMarked(fmt::format("radius_change of stand {} in {} without a usable radius, skipped",
                                         stand.name, path.string()));
        }
    }
    if (lf_attributeBool(parkpos, "cargo_change")) {
        stand.cargo = lf_attributeBool(parkpos, "cargo");
        stand.cargoChanged = true;
    }
    std::uint32_t next = stand.options.empty() ? 1 : stand.options.back().number + 1;
    const auto opts = parkpos.children("opt");
    stand.options.reserve(stand.options.size() + static_cast<std::size_t>(std::distance(opts.begin(), opts.end())));
    for (const pugi::xml_node opt : parkpos.children("opt")) {
        tzo::ParkPosOption option = lf_optionFromElement(opt);
        option.number = next;
        option.fresh = true;
        if (lf_findMatchingOption(stand.options.begin(), stand.options.end(), option) != stand.options.end())
            continue;
        stand.options.push_back(std::move(option));
        ++next;
    }
}

} // namespace

void lf_readLearnedDocument(const pugi::xml_document& doc, const fs::path& path, const std::string& airportName,
                            std::vector<tzo::ParkPos>& stands, std::atomic<bool>& handmade)
{
    gf_logLine(fmt::format("Read from learned airport file: \"{}\"", path.string()));
    if (!gf_checkMetaInfo(doc)) {
        lf_keepAside(path);
        return;
    }
    const std::string learnedName = gf_getStringParameterFromDoc(doc, "airport_name").value_or(std::string{});
    if (learnedName != airportName)
        gf_showStatus(fmt::format("Warning: learned file airport name: \"{}\" differs from archived file airport "
                                  "name: \"{}\"",
                                  learnedName, airportName),
                      true);
    lf_applySettings(doc);

    if (const auto handmadeValue = gf_getStringParameterFromDoc(doc, "handmade")) {
        // Whatever its value: the parameter alone makes the file handmade. Its
        // stands replace the archived ones only when read whole.
        std::vector<tzo::ParkPos> own;
        try {
            lf_readParkPositions(doc, own, path.string());
        } catch (...) {
            lf_keepAside(path);
            throw;
        }
        handmade.store(true);
        stands = std::move(own);
        lf_logSetting("handmade", *handmadeValue);
        return;
    }
    handmade.store(false);
    // The first stand of each name, found without a walk over the table for
    // every learned stand (a large airport has thousands of both).
    std::unordered_map<std::string, std::size_t> byName;
    byName.reserve(stands.size());
    for (std::size_t i = 0; i < stands.size(); ++i)
        byName.emplace(stands[i].name, i);
    const pugi::xml_node parkpositions = doc.child("parkpositions");
    for (const pugi::xml_node parkpos : parkpositions.children("parkpos")) {
        const std::string id = parkpos.attribute("id").as_string();
        if (lf_attributeBool(parkpos, "manual")) {
            const std::size_t before = stands.size();
            lf_addManualStand(parkpos, id, path, stands);
            if (stands.size() > before)
                byName.emplace(stands.back().name, stands.size() - 1);
            continue;
        }
        const auto it = byName.find(id);
        if (it == byName.end())
            gf_logLine(fmt::format("learned stand {} in {} not found?", id, path.string()));
        else
            lf_mergeLearnedStand(parkpos, path, stands[it->second]);
    }
}

std::optional<fs::path> lf_keepCopyOf(const fs::path& path)
{
    const std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return std::nullopt;
    std::error_code sizeError;
    if (!fs::is_regular_file(path, sizeError))
        return std::nullopt;
    // What the reader refused for its size is not read again to be copied:
    // the rename takes a moment and no memory or disk whatever the size.
    const bool move = fs::file_size(path, sizeError) > kMaxXmlFileBytes || sizeError;
    const std::string stem = name.substr(0, dot) + "0";
    const std::string extension = name.substr(dot);
    for (int n = 1; n < kMostCopies; ++n) {
        const fs::path copy = path.parent_path() / (n == 1 ? stem + extension : fmt::format("{}-{}{}", stem, n, extension));
        std::error_code ec;
        // Any entry at the name counts, a dangling link too: never written through.
        const fs::file_status entry = fs::symlink_status(copy, ec);
        if (fs::exists(entry)) {
            if (!move && lf_sameContent(copy, path))
                return copy;
            continue;
        }
        if (entry.type() != fs::file_type::not_found)
            return std::nullopt;
        if (move)
            fs::rename(path, copy, ec);
        else
            gf_copyFileAtomically(path, copy, ec, kMaxXmlFileBytes);
        if (ec)
            return std::nullopt;
        return copy;
    }
    return std::nullopt;
}

void gf_resetRememberedRange() { rememberedRange.reset(); }

void lf_readLearned(const fs::path& path, const std::string& airportName, std::vector<tzo::ParkPos>& stands,
                    std::atomic<bool>& handmade)
{
    try {
        pugi::xml_document doc;
        pugi::xml_parse_result result;
        if (!lf_loadApf(doc, path, &result)) {
            lf_keepAside(path, result.description());
            return;
        }
        lf_readLearnedDocument(doc, path, airportName, stands, handmade);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("exception in lf_readLearned: {}", e.what()));
    }
}
