#include "refdata/publishers.hpp"

#include "foundation/log.hpp"
#include "refdata/dbase.hpp"

#include <fmt/format.h>

#include <optional>
#include <regex>
#include <vector>

namespace {

// libstdc++'s regex recurses per character and overflows the stack on very
// long input; a pattern only has to match the beginning of a path, so longer
// paths are matched by their first characters only.
constexpr std::size_t kLongestPatternInput = 1024;

using CompiledPattern = std::optional<std::regex>;

// Parallel to g_publisherGroups: one compiled pattern per string, empty where
// the string is no valid pattern.
std::vector<std::vector<CompiledPattern>> g_compiledPatterns;

std::function<void(std::string_view)> g_airportScanLogWriter;

CompiledPattern lf_compilePattern(const std::string& pattern)
{
    try {
        return std::regex(pattern, std::regex::ECMAScript | std::regex::icase);
    }
    catch (const std::exception& e) {
        gf_logLine(fmt::format("EXCEPTION {} in publisher pattern \"{}\"", e.what(), pattern));
        return std::nullopt;
    }
}

// Whether the path begins with a match of the pattern.
bool lf_matchesPublisherPattern(std::string_view path, const CompiledPattern& pattern)
{
    if (!pattern)
        return false;
    const auto text = path.substr(0, kLongestPatternInput);
    try {
        return std::regex_search(text.begin(), text.end(), *pattern,
                                 std::regex_constants::match_continuous);
    }
    catch (const std::exception& e) {
        gf_logLine(fmt::format("EXCEPTION {} in matching publisher pattern", e.what()));
        return false;
    }
}

const CompiledPattern& lf_orbxPattern()
{
    static const CompiledPattern pattern = lf_compilePattern("ORBX");
    return pattern;
}

} // namespace

void gf_compilePublisherPatterns()
{
    g_compiledPatterns.clear();
    g_compiledPatterns.reserve(g_publisherGroups.size());
    for (const auto& group : g_publisherGroups) {
        auto& compiled = g_compiledPatterns.emplace_back();
        compiled.reserve(group.size());
        for (const auto& pattern : group)
            compiled.push_back(lf_compilePattern(pattern));
    }
}

std::string gf_publisherOfPath(const std::string& path)
{
    for (std::size_t g = 0; g < g_publisherGroups.size(); ++g) {
        const auto& group = g_publisherGroups[g];
        const auto* compiled = g < g_compiledPatterns.size() ? &g_compiledPatterns[g] : nullptr;
        for (std::size_t s = 0; s < group.size(); ++s) {
            if (path.find(group[s]) != std::string::npos)
                return group.front();
            if (compiled && s < compiled->size() && lf_matchesPublisherPattern(path, (*compiled)[s]))
                return group.front();
        }
    }
    return "unknown";
}

std::string gf_publisherOfFileName(const std::string& fileName)
{
    if (fileName.find("ORBX") != std::string::npos ||
        lf_matchesPublisherPattern(fileName, lf_orbxPattern())) {
        const auto line = fmt::format("from filename => publisher  {}", "ORBX");
        if (g_airportScanLogWriter)
            g_airportScanLogWriter(line);
        else
            gf_logLine(line);
        return "ORBX";
    }
    return gf_publisherOfPath(fileName);
}

void gf_installAirportScanLogWriter(std::function<void(std::string_view)> writer)
{
    g_airportScanLogWriter = std::move(writer);
}
