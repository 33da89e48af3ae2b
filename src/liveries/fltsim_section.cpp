#include "liveries/fltsim_section.hpp"

#include "foundation/log.hpp"
#include "foundation/strings.hpp"
#include "liveries/cfg_grammar.hpp"
#include "liveries/code_fixes.hpp"
#include "liveries/livery_folder_entry.hpp"
#include "liveries/scan_lists.hpp"
#include "refdata/dbase_lookups.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <mutex>
#include <set>

namespace fs = std::filesystem;

namespace {

// What one section has said so far, and the liveries it gave.
struct SectionState : CfgSectionKeys {
    SectionState(std::uint32_t priority_, const fs::path& cfgPath_, const fs::path& folder_)
        : priority(priority_), cfgPath(cfgPath_), folder(folder_)
    {
    }

    std::uint32_t priority = 0;
    const fs::path& cfgPath;
    const fs::path& folder;
    std::string type;
    bool uniqueTitle = false;
    std::vector<tzo::LiveryData> result;
    std::set<std::string> airlinesGiven;
};

std::string lf_upperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

void lf_incomplete(const SectionState& section, std::string_view what)
{
    lf_reportIncompleteSection(section.folder, section, what);
}

// The registration of an atc_id value: one plain code of at most 12 bytes, or
// none. A value naming several codes gives none. IVAO files read the value
// whole (no ";" comment), say nothing of a value without codes, have no test
// for a single blank and word their lines their own way.
void lf_readRegistration(CfgSectionKeys& section, const std::string& value, bool ivao)
{
    const std::string_view codes = ivao ? std::string_view(value) : std::string_view(value).substr(0, value.find(';'));
    const std::vector<std::string> items = gf_splitComma(codes);
    if (items.empty()) {
        if (!ivao)
            gf_logLine(fmt::format("invalid atc_id={} ==> in: {}", value, section.title));
        return;
    }
    for (const auto& item : items) {
        if (item.empty()) {
            gf_logLine(ivao ? fmt::format(" empty regcode in: {}", value)
                            : fmt::format("empty regcode in {} {}", section.title, value));
        } else if (!ivao && item == " ") {
            gf_logLine(fmt::format("regcode is a space char? {} {}", section.title, value));
        } else if (item.size() > kMaxRegistrationBytes) {
            gf_logLine(ivao ? fmt::format("regcode: {}, has more than 12 chars in title: {}", item, section.title)
                            : fmt::format("regcode: {}, has more than 12 chars or contains UTF16 chars in \"{}\"?",
                                          item, section.title));
        } else if (item.find('*') != std::string::npos) {
            gf_logLineMarked(
                fmt::format("{} {} wild cards no longer supported, atc_id skipped ", section.title, item));
        } else {
            continue;
        }
        section.registration.clear();
        return;
    }
    if (items.size() == 1)
        section.registration = items.front();
    else
        section.registration.clear();
}

void lf_logTitleTrimmed(const std::string& title, const std::string& trimmed)
{
    gf_logLine(fmt::format("There are spaces around title: \"{}\"", title));
    gf_logLine(fmt::format("removed spaces around: \"{}\"-> \"{}\"", title, trimmed));
}

std::string lf_normalizeParkingTypes(const std::string& value)
{
    return lf_upperAscii(gf_trimCommaList(value));
}

constexpr CfgSectionRules kFltSimRules{.readParkingCodes = true,
                                       .logTitleTrimmed = lf_logTitleTrimmed,
                                       .normalizeParkingTypes = lf_normalizeParkingTypes,
                                       .airFileBeforeTexture = false};

// The livery of one airline code of the section.
void gf_addLivery(SectionState& section, const std::string& code)
{
    std::string airl = code;
    if (tzo::pvtFixes.contains(airl) || tzo::govFixes.contains(airl)) {
        lf_addCodeFixLine(fmt::format("Fix: {} found in {} changed into {}", airl, section.cfgPath.string(), "PVT"));
        airl = "PVT";
    }
    // Packages mark cargo and extra liveries as "KLMC" and "KLMX".
    if (airl.size() == 4 && (airl[3] == 'X' || airl[3] == 'C'))
        airl.pop_back();
    if (!gf_isIcaoAirline(airl)) {
        lf_addInvalidAirline(airl, section.cfgPath, section.header);
        return;
    }
    // "KLM,KLMX" or two private owners' codes name one airline twice; the
    // section's livery is one livery of that airline, not two equal ones.
    if (section.airlinesGiven.contains(airl))
        return;
    // A generic livery carries no registration, nor do the codes after it.
    if (airl == tzo::genericAirline)
        section.registration.clear();

    const bool cargo = section.parkingTypes.find("CARGO") != std::string::npos;
    tzo::LiveryData livery = lf_makeLiveryData(section.priority, airl, section.type, cargo, section.title,
                                               section.registration, section.uniqueTitle);
    if (livery.airl.empty()) {
        lf_incomplete(section, fmt::format("title \"{}\" already exists", section.title));
        return;
    }
    section.airlinesGiven.insert(airl);
    section.result.push_back(std::move(livery));
    // The section's further codes share the title it has just claimed.
    section.uniqueTitle = false;
}

} // namespace

std::vector<tzo::LiveryData> lf_procesFltSimSection(std::uint32_t priority, std::vector<std::string>& sectionLines,
                                                    const std::string& type, const fs::path& cfgPath,
                                                    const fs::path& folder, const fs::path& root)
{
    try {
        while (!sectionLines.empty() && (sectionLines.back().empty() || sectionLines.back().starts_with("//")))
            sectionLines.pop_back();

        SectionState section(priority, cfgPath, folder);
        section.header = sectionLines.empty() ? std::string() : sectionLines.front();
        section.type = type;
        if (!lf_readSectionKeys(section, sectionLines, folder, kFltSimRules) ||
            !lf_hasSectionFiles(section, folder, kFltSimRules, root))
            return {};

        if (section.title.empty()) {
            lf_incomplete(section, "misses title");
            return {};
        }
        if (std::find(tzo::dontUseTitles.begin(), tzo::dontUseTitles.end(), section.title) != tzo::dontUseTitles.end())
            return {};
        if (section.parkingCodes.empty()) {
            lf_incomplete(section, "empty atc_parking_codes=");
            return {};
        }

        std::vector<std::string> codes = lf_splitCommaList(section.parkingCodes);
        std::sort(codes.begin(), codes.end());
        codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
        section.uniqueTitle = true;
        for (const auto& code : codes)
            gf_addLivery(section, code);
        return std::move(section.result);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("exception in lf_procesFltSimSection: {}, file: {}", e.what(), cfgPath.string()));
        throw;
    }
}

void lf_reportIncompleteSection(const fs::path& folder, const CfgSectionKeys& keys, std::string_view what)
{
    lf_addIncompleteSection(fmt::format("{} {} {}", folder.string(), keys.header, what));
}

bool lf_readSectionKeys(CfgSectionKeys& keys, const std::vector<std::string>& lines, const fs::path& folder,
                        const CfgSectionRules& rules)
{
    std::string value;
    for (const auto& line : lines) {
        if (keys.title.empty()) {
            if (lf_matchTitle(line, keys.title)) {
                const std::string trimmed(gf_trim(keys.title));
                if (trimmed.size() < keys.title.size()) {
                    rules.logTitleTrimmed(keys.title, trimmed);
                    keys.title = trimmed;
                }
                continue;
            }
        } else if (lf_matchTitle(line, value)) {
            lf_reportIncompleteSection(folder, keys, "has more than one title key");
            return false;
        }

        if (rules.readParkingCodes) {
            if (!keys.parkingCodes.empty()) {
                if (lf_hasAtcParkingCodesKey(line)) {
                    lf_reportIncompleteSection(folder, keys, "has more than one atc_parking_codes key");
                    return false;
                }
            } else if (value = lf_matchAtcParkingCodes(line); !value.empty()) {
                keys.parkingCodes = gf_trimCommaList(value);
                if (lf_isManufacturerCode(keys.parkingCodes))
                    keys.parkingCodes = tzo::genericAirline;
                continue;
            }
        }

        if (!keys.parkingTypes.empty()) {
            if (lf_hasAtcParkingTypesKey(line)) {
                lf_reportIncompleteSection(folder, keys, "has more than one atc_parking_types key");
                return false;
            }
        } else if (lf_matchAtcParkingTypes(line, value)) {
            keys.parkingTypes = rules.normalizeParkingTypes(value);
            continue;
        }

        if (!keys.registration.empty()) {
            if (lf_hasAtcIdKey(line)) {
                lf_addIncompleteSection(
                    fmt::format("{}, {}, has more than one atc_id key", folder.string(), keys.header));
                return false;
            }
        } else if (lf_matchAtcId(line, value)) {
            lf_readRegistration(keys, value, rules.ivaoRegistration);
            continue;
        }

        if (keys.model.empty() && lf_matchModel(line, keys.model))
            continue;
        if (keys.sim.empty() && lf_matchSim(line, keys.sim))
            continue;
        if (keys.texture.empty())
            lf_matchTexture(line, keys.texture);
    }
    return true;
}

bool lf_hasSectionFiles(const CfgSectionKeys& keys, const fs::path& folder, const CfgSectionRules& rules,
                        const fs::path& root)
{
    const std::string modelFolder = keys.model.empty() ? "model" : "model." + keys.model;
    const std::string textureFolder = keys.texture.empty() ? "texture" : "texture." + keys.texture;
    const std::string airFile = keys.sim + ".air";
    struct Needed {
        const std::string* name;
        FolderEntryKind kind;
    };
    const Needed texture{&textureFolder, FolderEntryKind::directory};
    const Needed air{&airFile, FolderEntryKind::regularFile};
    const Needed needed[] = {{&modelFolder, FolderEntryKind::directory},
                             rules.airFileBeforeTexture ? air : texture,
                             rules.airFileBeforeTexture ? texture : air};
    for (const auto& [name, kind] : needed) {
        switch (gf_lookUpEntry(root, folder, *name, kind)) {
        case EntryLookup::present:
            continue;
        case EntryLookup::missing:
            lf_addIncompleteSection((folder / *name).string() + " " + keys.header + " does not exist");
            return false;
        case EntryLookup::outside:
            lf_addIncompleteSection(fmt::format("{} {} leaves the SimObjects folder {}", (folder / *name).string(),
                                                keys.header, (root.empty() ? folder : root).string()));
            return false;
        }
    }
    return true;
}

tzo::LiveryData lf_makeLiveryData(std::uint32_t priority, const std::string& airl, const std::string& type, bool cargo,
                                  const std::string& title, const std::string& atcid, bool uniqueTitle)
{
    if (uniqueTitle) {
        std::lock_guard lock(tzo::scanTitlesMutex);
        if (!tzo::scanTitles.insert(title).second)
            return {};
    }
    return tzo::LiveryData{
        .airl = airl, .type = type, .title = title, .atcid = atcid, .priority = priority, .cargo = cargo};
}

bool lf_isManufacturerCode(std::string_view code)
{
    return code == "BOE" || code == "AIB" || code == "EMB" || code == "BBA" || code == "AED";
}

std::vector<std::string> lf_splitCommaList(std::string_view text)
{
    return gf_splitComma(text);
}
