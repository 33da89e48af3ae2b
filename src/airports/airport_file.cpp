#include "airports/airport_file.hpp"

#include "airports/park_positions.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/number_text.hpp"
#include "foundation/parameters.hpp"
#include "foundation/paths.hpp"
#include "foundation/text_file.hpp"
#include "foundation/settings.hpp"
#include "refdata/dbase_lookups.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <sstream>
#include <unordered_set>

namespace fs = std::filesystem;

std::atomic<bool> parkAirportHandmade{false};

namespace {

void lf_attr(pugi::xml_node node, const char* name, const std::string& value)
{
    node.append_attribute(name).set_value(value.c_str());
}

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

bool lf_appendSetting(pugi::xml_node parameters, const tzo::Parameter& setting)
{
    return gf_appendStringParameter(parameters, setting.name(), setting.valueText());
}

} // namespace

bool lf_writeApfParameters(pugi::xml_node doc, const tzo::ApfAirport& airport, bool saveMode)
{
    pugi::xml_node parameters = doc.append_child("parameters");
    if (!parameters)
        return false;
    // Only a save of the park airport carries its handmade state; a generated
    // file written meanwhile is never handmade.
    const bool handmade = saveMode && parkAirportHandmade.load();
    bool ok = gf_appendStringParameter(parameters, "airport_name", airport.airportName);
    ok = gf_appendStringParameter(parameters, "publisher", airport.publisher) && ok;
    if (handmade)
        ok = gf_appendBoolParameter(parameters, "handmade", true) && ok;
    if (handmade || !saveMode)
        ok = gf_appendIntParameter(parameters, "altitude", airport.altitude) && ok;
    ok = gf_appendIntParameter(parameters, "num_parkpos", static_cast<std::int64_t>(airport.stands.size())) && ok;
    if (handmade) {
        ok = gf_appendIntParameter(parameters, "Qf_real", airport.qfReal) && ok;
        ok = gf_appendIntParameter(parameters, "Qf_soft", airport.qfSoft) && ok;
    }
    if (airport.publisher == "unknown")
        ok = gf_appendStringParameter(parameters, "BGLpath", airport.bglPath) && ok;
    if (saveMode) {
        for (const tzo::Parameter* setting :
             {static_cast<const tzo::Parameter*>(&LATERAL_RANGE), static_cast<const tzo::Parameter*>(&AUTO_RANGE),
              static_cast<const tzo::Parameter*>(&WEEK), static_cast<const tzo::Parameter*>(&PARK_FAKE),
              static_cast<const tzo::Parameter*>(&PARK_SOFT), static_cast<const tzo::Parameter*>(&parking_percentage),
              static_cast<const tzo::Parameter*>(&INITIAL_LOAD_ONLY), static_cast<const tzo::Parameter*>(&MAX_FIT)})
            ok = lf_appendSetting(parameters, *setting) && ok;
        if (MAX_LIVE.value() != MAX_LIVE.defaultValue())
            ok = lf_appendSetting(parameters, MAX_LIVE) && ok;
        ok = lf_appendSetting(parameters, LEARN_SOFT) && ok;
    }
    return ok;
}

void lf_writeOpt(pugi::xml_node parkpos, const tzo::ParkPosOption& option)
{
    pugi::xml_node opt = parkpos.append_child("opt");
    lf_attr(opt, "reg", option.registration);
    if (!gf_hasDbaseRecord(option.registration)) {
        lf_attr(opt, "airl", option.airline);
        lf_attr(opt, "type", option.type);
    }
    if (option.soft)
        lf_attr(opt, "soft", "true");
    lf_attr(opt, "day", fmt::format("{}", option.day));
    lf_attr(opt, "hh", lf_bitset2hours(option.halfHours));
    std::string cs = option.callsign;
    if (!option.secondCallsign.empty())
        cs += ":" + option.secondCallsign;
    if (!cs.empty())
        lf_attr(opt, "cs", cs);
}

void lf_writeParkpos(pugi::xml_node parkpositions, bool saveMode, const tzo::ParkPos& stand)
{
    pugi::xml_node parkpos = parkpositions.append_child("parkpos");
    lf_attr(parkpos, "id", stand.name);
    bool full = true;
    // A handmade file is read back as whole stands, so every stand of it is
    // written in full: a delta entry would lose the stand's position.
    if (saveMode && !stand.manual && !parkAirportHandmade.load()) {
        if (stand.radiusChanged || stand.cargoChanged) {
            if (stand.radiusChanged) {
                lf_attr(parkpos, "radius_change", "true");
                lf_attr(parkpos, "radius", fmt::format("{:.1F}", tzo::gf_nmToMetres(stand.radius)));
            }
            if (stand.cargoChanged) {
                lf_attr(parkpos, "cargo_change", "true");
                lf_attr(parkpos, "cargo", lf_boolText(stand.cargo));
            }
        }
        full = false;
    }
    if (full) {
        lf_attr(parkpos, "latitude", fmt::format("{:.6f}", stand.latitude));
        lf_attr(parkpos, "longitude", fmt::format("{:.6f}", stand.longitude));
        lf_attr(parkpos, "heading", fmt::format("{:.1F}", tzo::gf_radiansToDegrees(stand.heading)));
        lf_attr(parkpos, "radius", fmt::format("{:.1F}", tzo::gf_nmToMetres(stand.radius)));
        if (stand.heli)
            lf_attr(parkpos, "heli", "true");
        else
            lf_attr(parkpos, "cargo", lf_boolText(stand.cargo));
        lf_attr(parkpos, "ramp", lf_boolText(stand.ramp));
        if (stand.manual)
            lf_attr(parkpos, "manual", "true");
    }
    if (saveMode) {
        for (const auto& option : stand.options)
            if (option.number != 0)
                lf_writeOpt(parkpos, option);
    }
}

std::string gf_apfText(const tzo::ApfAirport& airport, bool saveMode)
{
    pugi::xml_document doc;
    if (!gf_writeMetaInfo(doc) || !lf_writeApfParameters(doc, airport, saveMode))
        return {};
    pugi::xml_node parkpositions = doc.append_child("parkpositions");
    if (!parkpositions)
        return {};
    for (const auto& stand : airport.stands)
        lf_writeParkpos(parkpositions, saveMode, stand);
    std::ostringstream out;
    doc.save(out, "\t", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

bool gf_writeApf(const tzo::ApfAirport& airport, const fs::path& path, bool saveMode)
{
    std::error_code error;
    return gf_writeApf(airport, path, saveMode, error);
}

bool gf_writeApf(const tzo::ApfAirport& airport, const fs::path& path, bool saveMode, std::error_code& error)
{
    error.clear();
    const std::string text = gf_apfText(airport, saveMode);
    if (text.empty()) {
        error = std::make_error_code(std::errc::not_enough_memory);
        return false;
    }
    return gf_writeFileAtomically(path, text, error);
}

double lf_attributeDouble(const pugi::xml_node& node, const char* name)
{
    std::string_view text = node.attribute(name).as_string();
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' || text.front() == '\r'))
        text.remove_prefix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)ptr;
    return ec == std::errc{} ? value : (ec == std::errc::result_out_of_range ? HUGE_VAL : 0.0);
}

bool lf_attributeBool(const pugi::xml_node& node, const char* name)
{
    return gf_parseBoolText(node.attribute(name).as_string());
}

std::int32_t lf_attributeInt(const pugi::xml_node& node, const char* name)
{
    return gf_parseIntText(node.attribute(name).as_string());
}

std::pair<std::string, std::string> lf_readOptAirlineType(const pugi::xml_node& opt)
{
    return {opt.attribute("airl").as_string(), opt.attribute("type").as_string()};
}

std::pair<std::string, std::string> lf_splitCallsigns(std::string_view cs)
{
    const auto first = cs.find(':');
    if (first == cs.npos)
        return {std::string(cs), {}};
    if (cs.find(':', first + 1) != cs.npos)
        return {std::string(cs.substr(0, first)), {}};
    return {std::string(cs.substr(0, first)), std::string(cs.substr(first + 1))};
}

tzo::ParkPosOption lf_optionFromElement(const pugi::xml_node& opt)
{
    tzo::ParkPosOption option;
    std::tie(option.callsign, option.secondCallsign) = lf_splitCallsigns(opt.attribute("cs").as_string());
    option.registration = opt.attribute("reg").as_string();
    if (const auto record = gf_findDbaseRecord(option.registration)) {
        option.airline = record->opr.empty() ? record->airl : record->opr;
        option.type = record->type;
    } else {
        std::tie(option.airline, option.type) = lf_readOptAirlineType(opt);
    }
    option.soft = lf_attributeBool(opt, "soft");
    const std::int32_t day = lf_attributeInt(opt, "day");
    option.day = day < 0 ? 0u : static_cast<std::uint32_t>(day);
    option.halfHours = lf_hours2bitset(opt.attribute("hh").as_string());
    return option;
}

void lf_readParkPositions(const pugi::xml_node& doc, std::vector<tzo::ParkPos>& stands, std::string_view source)
{
    const pugi::xml_node parkpositions = doc.child("parkpositions");
    if (!parkpositions)
        return;
    std::unordered_set<std::string> names;
    for (const pugi::xml_node parkpos : parkpositions.children("parkpos")) {
        std::string name = parkpos.attribute("id").as_string();
        if (!names.insert(name).second)
            throw tzo::UserErrorException(94, "Parking position " + name + " appears more than once?");
        const double latitude = lf_attributeDouble(parkpos, "latitude");
        const double longitude = lf_attributeDouble(parkpos, "longitude");
        const double radius = lf_attributeDouble(parkpos, "radius");
        const double heading = lf_attributeDouble(parkpos, "heading");
        if (!std::isfinite(latitude) || !std::isfinite(longitude) || !std::isfinite(radius) ||
            !std::isfinite(heading) || std::fabs(latitude) > 90.0 || std::fabs(longitude) > 180.0 || radius < 0.0) {
            gf_logLineMarked(fmt::format("stand {} in {} has an unusable position or radius, skipped", name, source));
            continue;
        }
        std::vector<tzo::ParkPosOption> options;
        options.reserve(128);
        std::uint32_t number = 0;
        for (const pugi::xml_node opt : parkpos.children("opt")) {
            tzo::ParkPosOption option = lf_optionFromElement(opt);
            // Tow movements are no use of the stand.
            if (option.callsign.starts_with("TOW "))
                continue;
            option.number = ++number;
            option.fresh = false;
            options.push_back(std::move(option));
        }
        options.shrink_to_fit();
        stands.emplace_back(std::move(name), std::move(options), latitude, longitude,
                            tzo::gf_degreesToRadians(heading), radius, lf_attributeBool(parkpos, "cargo"),
                            lf_attributeBool(parkpos, "ramp"), lf_attributeBool(parkpos, "heli"));
    }
}

bool lf_loadApf(pugi::xml_document& doc, const fs::path& path, pugi::xml_parse_result* result)
{
    const pugi::xml_parse_result r = gf_loadXmlFile(doc, path, pugi::parse_default, pugi::encoding_utf8);
    if (result)
        *result = r;
    return static_cast<bool>(r);
}

std::int32_t gf_readNumParkpos(const fs::path& path)
{
    pugi::xml_document doc;
    if (!lf_loadApf(doc, path))
        return 0;
    return gf_getIntParameterFromDoc(doc, "num_parkpos").value_or(0);
}

std::string gf_readPublisher(const fs::path& path)
{
    pugi::xml_document doc;
    if (!lf_loadApf(doc, path))
        return {};
    return gf_getStringParameterFromDoc(doc, "publisher").value_or(std::string{});
}

bool gf_stockApfHasQuality(const std::string& code)
{
    pugi::xml_document doc;
    if (!lf_loadApf(doc, g_archiveStockFolder / (code + ".xml")))
        return false;
    return gf_getIntParameterFromDoc(doc, "Qf_real").value_or(-1) >= 0 ||
           gf_getIntParameterFromDoc(doc, "Qf_soft").value_or(-1) >= 0;
}

namespace {

struct KindScore {
    std::int64_t count = 0;
    std::uint32_t days = 0; // bit d set: day d seen
    std::int64_t halfHours = 0;

    double score() const
    {
        return 10000.0 + static_cast<double>(std::min<std::int64_t>(20 * count, 4000)) +
               100.0 * std::popcount(days) + 2.0 * static_cast<double>(std::min<std::int64_t>(halfHours, 600));
    }
};

std::int32_t lf_qualityOf(double score, double weights)
{
    const double value = std::round(score / weights * 0.00625);
    return static_cast<std::int32_t>(std::clamp(value, 0.0, 100.0));
}

} // namespace

tzo::QualityPair gf_computeQualityFactor(const std::vector<tzo::ParkPos>& stands)
{
    const bool anyOption = std::any_of(stands.begin(), stands.end(), [](const auto& s) { return !s.options.empty(); });
    if (!anyOption)
        return {};
    double weights = 0.0;
    double real = 0.0;
    double soft = 0.0;
    for (const auto& stand : stands) {
        const double w = stand.radius <= 7.0 ? static_cast<double>(0.3f) : (stand.radius <= 10.0 ? 1.5 : 1.0);
        weights += w;
        KindScore kinds[2];
        for (const auto& option : stand.options) {
            if (option.number == 0)
                continue;
            KindScore& k = kinds[option.soft ? 1 : 0];
            ++k.count;
            if (option.day >= 1 && option.day <= 7)
                k.days |= 1u << option.day;
            k.halfHours += std::popcount(option.halfHours & tzo::kAllHalfHours);
        }
        if (kinds[0].count > 0)
            real += w * kinds[0].score();
        if (kinds[1].count > 0)
            soft += w * kinds[1].score();
    }
    return {lf_qualityOf(real, weights), lf_qualityOf(soft, weights)};
}

std::string gf_formatQualityFactor(tzo::QualityPair quality)
{
    if (quality.real < 0 && quality.soft < 0)
        return "  ";
    if (quality.real < 45)
        return fmt::format("{:2}/{:2}", quality.real, quality.soft);
    return fmt::format("{:2}", quality.real);
}

void lf_setMaxFit(std::int32_t halfHours)
{
    MAX_FIT.setValue(halfHours);
    const std::int32_t value = MAX_FIT.value();
    const float hours = static_cast<float>(value) * 0.5f + 0.5f;
    MAX_FIT_FL.setValue(hours);
    MAX_FIT_FL.show();
    gf_logLineIndented(fmt::format("{:24}: {} (max number of half hours, is {} hrs decimal)", MAX_FIT.name(), value,
                                   gf_formatNumber(hours)));
}
