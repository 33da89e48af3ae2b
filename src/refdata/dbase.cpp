#include "refdata/dbase.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/scramble.hpp"
#include "foundation/strings.hpp"
#include "foundation/text_file.hpp"
#include "refdata/dbase_lookups.hpp"
#include "refdata/publishers.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace fs = std::filesystem;

std::set<std::string> g_validModels;
std::set<std::string> g_highPerformanceModels;
std::set<std::string> g_heavyModels;
std::set<std::string> g_largeModels;
std::set<std::string> g_buzjetModels;
std::set<std::string> g_rotorcraftModels;
std::set<std::string> g_cargoModels;
std::set<std::string> g_icaoAirlines;
std::set<std::string> g_cargoOperators;
std::vector<tzo::SimilarTypesGroup> g_similarTypesGroups;
std::vector<tzo::PublisherGroup> g_publisherGroups;
std::map<std::string, double> g_wingspans;
double g_largestHalfSpanNm = 0.0;
std::array<double, tzo::kCategoryCount> g_categoryAverageHalfSpan{};
tzo::DbaseRecordMap g_dbaseRecords;

namespace {

using tzo::kNmPerMetre;

// The items between commas, each trimmed, in order; a list ending in a comma
// yields no empty last item, but ",," does yield one, which callers see.
std::vector<std::string_view> lf_splitItems(std::string_view text)
{
    std::vector<std::string_view> items;
    if (gf_trim(text).empty())
        return items;
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            const auto last = gf_trim(text.substr(start));
            if (!last.empty() || start == 0)
                items.push_back(last);
            break;
        }
        items.push_back(gf_trim(text.substr(start, comma - start)));
        start = comma + 1;
    }
    return items;
}

// Without the empty items: an empty code in a set would answer every empty
// lookup.
std::vector<std::string> lf_splitList(std::string_view text)
{
    std::vector<std::string> out;
    for (const auto item : lf_splitItems(text)) {
        if (!item.empty())
            out.emplace_back(item);
    }
    return out;
}

std::string lf_getCodeAttribute(const pugi::xml_node& node, const char* name)
{
    const auto stored = gf_getXmlAttribute(node, name);
    return stored.empty() ? stored : gf_unscrambleCode(stored);
}

// A stored model code turned plain; empty when it cannot be (a code too short
// for its key is logged by the unscrambling itself).
std::string lf_plainModel(const std::string& stored, std::string_view section)
{
    try {
        return gf_unscrambleCode(stored);
    }
    catch (const std::exception& e) {
        gf_logLineMarked(fmt::format("model code \"{}\" in {} not read: {}", stored, section, e.what()));
        return {};
    }
}

std::string lf_plainAirline(const std::string& stored, std::string_view section)
{
    try {
        return gf_unscrambleAirline(stored);
    }
    catch (const std::exception& e) {
        // One bad code costs only itself.
        gf_logLineMarked(fmt::format("airline code \"{}\" in {} skipped: {}", stored, section, e.what()));
        return {};
    }
}

// Every item of the attribute of every element child of the section, raw
// (still scrambled). False when the section is missing.
bool lf_readXmlList(const pugi::xml_document& doc, const char* section, std::set<std::string>& out,
                    const char* element, const char* attribute)
{
    const auto node = doc.child(section);
    if (!node)
        return false;
    for (const auto child : node.children(element)) {
        for (auto& item : lf_splitList(gf_getXmlAttribute(child, attribute)))
            out.insert(std::move(item));
    }
    return true;
}

[[noreturn]] void lf_throwEmptySection(const char* section, const char* element, const char* attribute)
{
    throw tzo::UserErrorException(
        61, fmt::format("In an xml file section {} {} {} is empty ", section, element, attribute));
}

void lf_readTypeSet(const pugi::xml_document& doc, const char* section, std::set<std::string>& target,
                    const char* element)
{
    std::set<std::string> raw;
    lf_readXmlList(doc, section, raw, element, "types");
    if (raw.empty())
        lf_throwEmptySection(section, element, "types");
    for (const auto& stored : raw) {
        auto plain = lf_plainModel(stored, section);
        if (!plain.empty())
            target.insert(std::move(plain));
    }
}

void lf_readCodeSet(const pugi::xml_document& doc, const char* section, std::set<std::string>& target)
{
    std::set<std::string> raw;
    lf_readXmlList(doc, section, raw, "ICAO", "codes");
    if (raw.empty())
        lf_throwEmptySection(section, "ICAO", "codes");
    for (const auto& stored : raw) {
        auto plain = lf_plainAirline(stored, section);
        if (!plain.empty())
            target.insert(std::move(plain));
    }
}

void lf_readSimilarTypes(const pugi::xml_document& doc)
{
    g_similarTypesGroups.reserve(64);
    for (const auto child : doc.child("similar_types").children("similar")) {
        tzo::SimilarTypesGroup group;
        for (const auto& stored : lf_splitList(gf_getXmlAttribute(child, "types"))) {
            auto plain = lf_plainModel(stored, "similar_types");
            if (!plain.empty())
                group.push_back(std::move(plain));
        }
        std::sort(group.begin(), group.end());
        // A model named twice would stand in for itself.
        group.erase(std::unique(group.begin(), group.end()), group.end());
        if (!group.empty())
            g_similarTypesGroups.push_back(std::move(group));
    }
    g_similarTypesGroups.shrink_to_fit();
}

void lf_readPublishers(const pugi::xml_document& doc)
{
    g_publisherGroups.reserve(640);
    std::vector<std::string> texts;
    for (const auto child : doc.child("publishers").children("pub"))
        texts.push_back(gf_getXmlAttribute(child, "names"));
    // The groups stand in the order of their whole texts; that is the order
    // in which a path is tried against them.
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    for (const auto& text : texts) {
        const auto items = lf_splitItems(text);
        if (items.empty() || items.front().empty()) {
            // An empty name would occur in every path.
            gf_logLineMarked(fmt::format("publisher without a name \"{}\" skipped", text));
            continue;
        }
        tzo::PublisherGroup group;
        for (const auto item : items) {
            if (!item.empty())
                group.emplace_back(item);
        }
        group.shrink_to_fit();
        g_publisherGroups.push_back(std::move(group));
    }
    g_publisherGroups.shrink_to_fit();
    gf_compilePublisherPatterns();
}

// A decimal number (locale-free); nothing when the text is not one number or
// not finite.
// The number the text starts with, as the data base has always been read:
// "64.4m" is 64.4, whatever unit or note follows it.
std::optional<double> lf_parseLeadingDecimal(std::string_view text)
{
    text = gf_trim(text);
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr == text.data() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

void lf_averageWingspans()
{
    std::array<double, tzo::kCategoryCount> sums{};
    std::array<std::size_t, tzo::kCategoryCount> counts{};
    double total = 0.0;
    for (const auto& [model, halfSpan] : g_wingspans) {
        const auto c = static_cast<std::size_t>(gf_modelCategory(model));
        sums[c] += halfSpan;
        counts[c] += 1;
        total += halfSpan;
    }
    const double overall = g_wingspans.empty() ? 0.0 : total / static_cast<double>(g_wingspans.size());
    for (std::size_t c = 0; c < tzo::kCategoryCount; ++c) {
        if (counts[c] != 0) {
            g_categoryAverageHalfSpan[c] = sums[c] / static_cast<double>(counts[c]);
            continue;
        }
        // 0/0 would be NaN, and a NaN span switches every distance test off.
        g_categoryAverageHalfSpan[c] = overall;
        gf_logLineMarked(fmt::format("no wingspan of category {}, the average of all wingspans is taken",
                                     gf_categoryName(static_cast<tzo::AircraftCategory>(c))));
    }
}

void lf_readWingspans(const pugi::xml_document& doc)
{
    bool anyValid = false;
    for (const auto child : doc.child("wingspans").children("wingspan")) {
        const auto stored = gf_getXmlAttribute(child, "type");
        const auto model = stored.empty() ? stored : lf_plainModel(stored, "wingspans");
        if (!gf_isKnownModel(model)) {
            gf_logLineMarked(fmt::format("wingspan model {} is no valid model, skipped", model));
            continue;
        }
        const auto metresText = gf_getXmlAttribute(child, "meters");
        const auto metres = lf_parseLeadingDecimal(metresText);
        if (!metres || *metres <= 0.0) {
            gf_logLineMarked(fmt::format("wingspan \"{}\" of model {} is no length, skipped", metresText, model));
            continue;
        }
        anyValid = true;
        const double halfSpan = *metres * 0.5 * kNmPerMetre;
        g_wingspans.try_emplace(model, halfSpan);
        g_largestHalfSpanNm = std::max(g_largestHalfSpanNm, halfSpan);
    }
    if (anyValid)
        lf_averageWingspans();
}

bool lf_isTrueText(std::string_view text)
{
    return !text.empty() && std::string_view("1tTyY").find(text.front()) != std::string_view::npos;
}

void lf_readDbaseRecords(const pugi::xml_document& doc)
{
    g_dbaseRecords.clear();
    const auto section = doc.child("dbase");
    if (!section)
        return;
    std::size_t count = 0;
    for ([[maybe_unused]] const auto child : section.children("db"))
        ++count;
    g_dbaseRecords.reserve(count);

    for (const auto child : section.children("db")) {
        const auto registration = gf_unscrambleRegcode(gf_getXmlAttribute(child, "reg"));
        tzo::DbaseRecord record;
        try {
            record.airl = gf_unscrambleAirline(gf_getXmlAttribute(child, "airl"));
            record.type = lf_getCodeAttribute(child, "type");
            record.opr = gf_unscrambleAirline(gf_getXmlAttribute(child, "opr"));
        }
        catch (const std::exception& e) {
            // One damaged record must not cost the whole data base.
            gf_logLineMarked(fmt::format("dbase record {} skipped: {}", registration, e.what()));
            continue;
        }
        if (registration.empty()) {
            gf_logLineMarked("dbase record without registration skipped");
            continue;
        }
        record.cargo = lf_isTrueText(gf_getXmlAttribute(child, "cargo"));
        const auto [it, inserted] = g_dbaseRecords.try_emplace(registration, std::move(record));
        if (!inserted)
            gf_logLineMarked(fmt::format("regcode {} already exists", registration));
    }
}

// A file refused for its kind or size, or one that cannot be opened, says so:
// the XML library would only say "Error reading from file/stream".
std::string lf_notReadText(const fs::path& path, const pugi::xml_parse_result& loaded, const std::string& cause)
{
    if (loaded.status == pugi::status_io_error)
        return fmt::format("\"{}\" not read: it {}", path.string(), cause);
    return fmt::format("\"{}\" not read because of {}", path.string(), cause);
}

} // namespace

std::string gf_getXmlAttribute(const pugi::xml_node& node, const char* name)
{
    return node.attribute(name).value();
}

bool gf_readDbase()
{
    return gf_readDbase(g_inputFolder / g_dbaseFileName);
}

bool gf_readDbase(const fs::path& path)
{
    pugi::xml_document doc;
    std::string cause;
    const auto loaded = gf_loadXmlFile(doc, path, cause);
    if (!loaded)
        throw tzo::UserErrorException(60, lf_notReadText(path, loaded, cause));

    lf_readTypeSet(doc, "aircrafts", g_validModels, "aircraft");
    lf_readTypeSet(doc, "high_performance", g_highPerformanceModels, "hpf");
    lf_readTypeSet(doc, "heavy", g_heavyModels, "hvy");
    lf_readTypeSet(doc, "large", g_largeModels, "lar");
    lf_readTypeSet(doc, "buzjet", g_buzjetModels, "bzj");
    lf_readTypeSet(doc, "rotorcraft", g_rotorcraftModels, "rot");
    lf_readTypeSet(doc, "cargo_types", g_cargoModels, "cargo_type");

    lf_readSimilarTypes(doc);

    lf_readCodeSet(doc, "ICAO_airlines", g_icaoAirlines);
    lf_readCodeSet(doc, "cargo_operators", g_cargoOperators);

    try {
        lf_readPublishers(doc);
    }
    catch (const std::exception& e) {
        throw tzo::SysErrorException(
            299, fmt::format("exception {} in reading publishers from \"{}\"", e.what(), path.string()));
    }

    try {
        lf_readWingspans(doc);
    }
    catch (const std::exception& e) {
        throw tzo::SysErrorException(
            288, fmt::format("exception {} in reading wingspans from \"{}\"", e.what(), path.string()));
    }

    lf_readDbaseRecords(doc);

    gf_logLine(fmt::format("{} dbase records from \"{}\" read", g_dbaseRecords.size(), path.string()));
    return true;
}

bool gf_isUsableDbaseFile(const fs::path& path)
{
    try {
        pugi::xml_document doc;
        std::string cause;
        const auto loaded = gf_loadXmlFile(doc, path, cause);
        if (!loaded) {
            gf_logLineMarked(lf_notReadText(path, loaded, cause));
            return false;
        }
        const std::pair<const char*, const char*> typeSections[] = {
            {"aircrafts", "aircraft"}, {"high_performance", "hpf"}, {"heavy", "hvy"},          {"large", "lar"},
            {"buzjet", "bzj"},         {"rotorcraft", "rot"},       {"cargo_types", "cargo_type"}};
        for (const auto& [section, element] : typeSections) {
            std::set<std::string> codes;
            lf_readTypeSet(doc, section, codes, element);
        }
        for (const char* section : {"ICAO_airlines", "cargo_operators"}) {
            std::set<std::string> codes;
            lf_readCodeSet(doc, section, codes);
        }
        return true;
    }
    catch (const std::exception& e) {
        gf_logLineMarked(fmt::format("\"{}\" is no usable data base: {}", path.string(), e.what()));
        return false;
    }
}
