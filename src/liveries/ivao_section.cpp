// The IVAO model-matching libraries: one folder per model ("IVAO_MTL\IVAO_B738w"),
// their sections' titles beginning with the model and the airline code
// ("B738AAL"), no atc_model or atc_parking_codes lines to go by.

#include "foundation/log.hpp"
#include "foundation/strings.hpp"
#include "liveries/cfg_grammar.hpp"
#include "liveries/code_fixes.hpp"
#include "liveries/fltsim_section.hpp"
#include "liveries/livery_folder_entry.hpp"
#include "liveries/scan_lists.hpp"
#include "liveries/scan_task.hpp"
#include "refdata/dbase.hpp"
#include "refdata/dbase_lookups.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <string_view>

namespace fs = std::filesystem;

namespace {

char lf_lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool lf_equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lf_lowerAscii(x) == lf_lowerAscii(y); });
}

bool lf_isWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool lf_isSpaceChar(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool lf_isSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The start of the path component that ends before `end` (a separator's
// index), or npos when no separator precedes it.
std::size_t lf_componentStart(std::string_view text, std::size_t end)
{
    for (std::size_t i = end; i > 0; --i)
        if (lf_isSeparator(text[i - 1]))
            return i;
    return std::string_view::npos;
}

// The model folder's code of "<something>\IVAO_MTL\IVAO_<code>\aircraft.cfg"
// (any letter case, either separator); empty when the path has another form.
std::string lf_ivaoFolderCode(std::string_view text)
{
    const std::size_t fileStart = lf_componentStart(text, text.size());
    if (fileStart == std::string_view::npos || !lf_equalsNoCase(text.substr(fileStart), "aircraft.cfg"))
        return {};
    const std::size_t modelStart = lf_componentStart(text, fileStart - 1);
    if (modelStart == std::string_view::npos)
        return {};
    const std::string_view modelFolder = text.substr(modelStart, fileStart - 1 - modelStart);
    constexpr std::string_view kPrefix = "IVAO_";
    if (modelFolder.size() <= kPrefix.size() || !lf_equalsNoCase(modelFolder.substr(0, kPrefix.size()), kPrefix))
        return {};
    const std::string_view code = modelFolder.substr(kPrefix.size());
    if (!std::all_of(code.begin(), code.end(), lf_isWordChar))
        return {};
    const std::size_t libraryStart = lf_componentStart(text, modelStart - 1);
    // The library folder must have something before it, as "...\IVAO_MTL".
    if (libraryStart == std::string_view::npos || libraryStart < 2 ||
        !lf_equalsNoCase(text.substr(libraryStart, modelStart - 1 - libraryStart), "IVAO_MTL"))
        return {};
    return std::string(code);
}

// The airline of a title "<model><blanks><three word characters>...": the
// model in any letter case, the code as written. Empty when it has another form.
std::string lf_ivaoTitleAirline(std::string_view title, std::string_view type)
{
    if (type.empty() || title.size() < type.size() || !lf_equalsNoCase(title.substr(0, type.size()), type))
        return {};
    std::size_t at = type.size();
    while (at < title.size() && lf_isSpaceChar(title[at]))
        ++at;
    if (title.size() - at < 3 || !std::all_of(title.begin() + at, title.begin() + at + 3, lf_isWordChar))
        return {};
    return std::string(title.substr(at, 3));
}

void lf_ivaoIncomplete(const fs::path& folder, const CfgSectionKeys& section, std::string_view what)
{
    lf_reportIncompleteSection(folder, section, what);
}

void lf_logIvaoTitleTrimmed(const std::string& title, const std::string& trimmed)
{
    gf_logLine(fmt::format("removed spaces around title \"{}\" --> \"{}\"", title, trimmed));
}

// Read for the repeat test only: IVAO liveries are never cargo.
std::string lf_ivaoParkingTypes(const std::string& value)
{
    std::string types(gf_trim(value));
    for (char& c : types)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return types;
}

constexpr CfgSectionRules kIvaoRules{.readParkingCodes = false,
                                     .logTitleTrimmed = lf_logIvaoTitleTrimmed,
                                     .normalizeParkingTypes = lf_ivaoParkingTypes,
                                     .ivaoRegistration = true,
                                     .airFileBeforeTexture = true};

} // namespace

std::string lf_fixIvaoModel(const fs::path& cfgPath)
{
    std::string code = lf_ivaoFolderCode(cfgPath.string());
    if (code.empty()) {
        lf_addInvalidModel("  ", cfgPath);
        return {};
    }
    if (code.back() == 'w')
        code.pop_back();
    else if (code == "B744F")
        code = "B744";
    else if (code == "T154M" || code == "T154B2")
        code = "T154";
    else if (code == "GLID_SH" || code == "GLID_A13" || code == "GLID_A25" || code == "GLID_KA6" ||
             code == "GLID_KA8" || code == "GLID_L13")
        code = "GLID";

    if (g_validModels.contains(code))
        return code;
    const auto fix = tzo::codeFixes.find(code);
    if (fix != tzo::codeFixes.end()) {
        lf_addCodeFixLine(fmt::format("Fix: {} found in {} changed into {}", code, cfgPath.string(), fix->second));
        return fix->second;
    }
    lf_addInvalidModel(code, cfgPath);
    return {};
}

tzo::LiveryData lf_procesIvaoFltSimSection(std::uint32_t priority, std::vector<std::string>& sectionLines,
                                           const std::string& type, const fs::path& cfgPath, const fs::path& folder,
                                           const fs::path& root)
{
    while (!sectionLines.empty() && (sectionLines.back().empty() || sectionLines.back().starts_with("//")))
        sectionLines.pop_back();

    CfgSectionKeys section;
    section.header = sectionLines.empty() ? std::string() : sectionLines.front();
    if (!lf_readSectionKeys(section, sectionLines, folder, kIvaoRules) ||
        !lf_hasSectionFiles(section, folder, kIvaoRules, root))
        return {};
    if (section.title.empty()) {
        lf_ivaoIncomplete(folder, section, "misses title");
        return {};
    }
    if (std::find(tzo::dontUseTitles.begin(), tzo::dontUseTitles.end(), section.title) != tzo::dontUseTitles.end())
        return {};

    std::string airl = lf_ivaoTitleAirline(section.title, type);
    if (airl.empty()) {
        lf_ivaoIncomplete(folder, section, "misses airlinecode in title");
        return {};
    }
    if (lf_isManufacturerCode(airl))
        airl = tzo::genericAirline;
    if (!gf_isIcaoAirline(airl)) {
        lf_addInvalidAirline(airl, cfgPath, section.header);
        return {};
    }
    if (airl == tzo::genericAirline)
        section.registration.clear();

    tzo::LiveryData livery = lf_makeLiveryData(priority, airl, type, false, section.title, section.registration, true);
    if (livery.airl.empty())
        lf_ivaoIncomplete(folder, section, "title already exists: " + section.title);
    return livery;
}
