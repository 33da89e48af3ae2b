#include "liveries/code_fixes.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text_file.hpp"
#include "refdata/dbase.hpp"
#include "refdata/dbase_lookups.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>

namespace fs = std::filesystem;

namespace tzo {

std::unordered_map<std::string, std::string> codeFixes;
std::set<std::string> pvtFixes;
std::set<std::string> govFixes;

} // namespace tzo

// Spelled out: the folder globals of another file may not be made yet while
// this one is.
const fs::path g_fixesPath = fs::path("input") / "fixes.xml";

namespace {

void lf_readModelFixes(const pugi::xml_node& section)
{
    for (const auto& fix : section.children("fix")) {
        const std::string wrong = gf_getXmlAttribute(fix, "wrong");
        const std::string correct = gf_getXmlAttribute(fix, "correct");
        if (correct.empty() || !g_validModels.contains(correct)) {
            gf_logLineMarked(fmt::format("wrong fix {}->{}, the latter is not a valid model", wrong, correct));
            continue;
        }
        if (!tzo::codeFixes.emplace(wrong, correct).second)
            gf_logLineMarked(fmt::format("wrong part of fix: {}, already exists, skipped", wrong));
    }
}

void lf_readOwnerFixes(const pugi::xml_node& section, std::set<std::string>& fixes, std::string_view kind)
{
    for (const auto& fix : section.children("fix")) {
        const std::string wrong = gf_getXmlAttribute(fix, "wrong");
        if (gf_isIcaoAirline(wrong)) {
            gf_logLineMarked(fmt::format("{} fix {} is an ICAO airline code? ", kind, wrong));
            continue;
        }
        if (!fixes.insert(wrong).second)
            gf_logLineMarked(fmt::format("wrong: {}, already exists, skipped", wrong));
    }
}

} // namespace

bool gf_readFixesXml()
{
    return gf_readFixesXml(g_fixesPath);
}

bool gf_readFixesXml(const fs::path& path)
{
    pugi::xml_document doc;
    if (!gf_loadXmlFile(doc, path))
        throw tzo::UserErrorException(3, path.string() + " (or sections of it) not found?");

    // A missing section is an empty node: its loop simply runs no round.
    lf_readModelFixes(doc.child("fixes"));
    lf_readOwnerFixes(doc.child("PVT_fixes"), tzo::pvtFixes, "PVT");
    lf_readOwnerFixes(doc.child("GOV_fixes"), tzo::govFixes, "GOV");

    gf_logLine(fmt::format("\"{}\" read", path.string()));
    return !tzo::codeFixes.empty() && !tzo::pvtFixes.empty() && !tzo::govFixes.empty();
}
