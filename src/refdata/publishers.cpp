#include "refdata/publishers.hpp"

#include "foundation/log.hpp"
#include "refdata/dbase.hpp"

#include <fmt/format.h>

#include <algorithm>
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

// libstdc++ matches ECMAScript patterns by backtracking, and its compiler
// recurses per nesting level. The patterns come from the downloaded data base,
// so one such as "(.*)*x" must not hang every scan, nor "((((...))))" crash the
// program. A pattern is accepted when it is short, repeats no group, refers
// back to no group, and the choices a backtracking match can have to try, over
// a path cut to kLongestPatternInput characters, stay few.
constexpr std::size_t kLongestPattern = 256;
constexpr std::size_t kLongestCountedRepeat = 255;
// Two unbounded repeats (".*" twice) and two further either-or choices.
constexpr double kMostPatternChoices =
    4.0 * (static_cast<double>(kLongestPatternInput) + 1.0) * (static_cast<double>(kLongestPatternInput) + 1.0);

// "{n}", "{n,}" or "{n,m}" at the start of text: its length, the least and the
// most count (nothing for no most); nothing when it is no repeat count.
struct CountedRepeat {
    std::size_t length;
    std::size_t least;
    std::optional<std::size_t> most;
};

std::optional<std::size_t> lf_parseCount(std::string_view text, std::size_t& pos)
{
    const auto start = pos;
    std::size_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = std::min<std::size_t>(value * 10 + static_cast<std::size_t>(text[pos] - '0'), 1000000);
        ++pos;
    }
    if (pos == start)
        return std::nullopt;
    return value;
}

std::optional<CountedRepeat> lf_countedRepeat(std::string_view text)
{
    std::size_t pos = 1;
    const auto least = lf_parseCount(text, pos);
    if (!least || pos >= text.size())
        return std::nullopt;
    if (text[pos] == '}')
        return CountedRepeat{pos + 1, *least, least};
    if (text[pos] != ',')
        return std::nullopt;
    ++pos;
    const auto most = lf_parseCount(text, pos);
    if (pos >= text.size() || text[pos] != '}')
        return std::nullopt;
    return CountedRepeat{pos + 1, *least, most};
}

// Why the pattern is refused; nothing when it may be compiled.
std::optional<std::string_view> lf_refusedPatternReason(std::string_view pattern)
{
    if (pattern.size() > kLongestPattern)
        return "too long";
    double choices = 1.0;
    bool afterGroup = false;      // the last item closed a group
    bool afterQuantifier = false; // the last item was a repeat
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        double factor = 1.0;
        bool quantifier = false;
        bool groupEnd = false;
        switch (c) {
        case '\\':
            if (i + 1 < pattern.size()) {
                if (pattern[i + 1] >= '1' && pattern[i + 1] <= '9')
                    return "refers back to a group";
                ++i;
            }
            break;
        case '[':
            // A class is one item; blanks, '(' and the like inside it are literal.
            ++i;
            if (i < pattern.size() && pattern[i] == '^')
                ++i;
            while (i < pattern.size() && pattern[i] != ']') {
                if (pattern[i] == '\\')
                    ++i;
                ++i;
            }
            break;
        case '(':
            if (i + 2 < pattern.size() && pattern[i + 1] == '?')
                i += 2; // (?: (?= (?!
            break;
        case ')':
            groupEnd = true;
            break;
        case '|':
            factor = 2.0;
            break;
        case '*':
        case '+':
            quantifier = true;
            factor = static_cast<double>(kLongestPatternInput) + 1.0;
            break;
        case '?':
            if (afterQuantifier)
                break; // makes the repeat before it lazy; no new choice
            quantifier = true;
            factor = 2.0;
            break;
        case '{':
            if (const auto repeat = lf_countedRepeat(pattern.substr(i))) {
                quantifier = true;
                const auto most = repeat->most.value_or(repeat->least);
                if (repeat->least > kLongestCountedRepeat || most > kLongestCountedRepeat)
                    return "repeat count too large";
                factor = repeat->most ? static_cast<double>(most - std::min(most, repeat->least)) + 1.0
                                      : static_cast<double>(kLongestPatternInput) + 1.0;
                i += repeat->length - 1;
            }
            break;
        default:
            break;
        }
        if (quantifier && afterGroup)
            return "repeats a group";
        if (quantifier && afterQuantifier)
            return "repeats a repeat";
        choices *= factor;
        if (choices > kMostPatternChoices)
            return "too many choices";
        afterGroup = groupEnd;
        afterQuantifier = quantifier;
    }
    return std::nullopt;
}

CompiledPattern lf_compilePattern(const std::string& pattern)
{
    if (const auto reason = lf_refusedPatternReason(pattern)) {
        gf_logLineMarked(fmt::format("publisher pattern \"{}\" refused: {}",
                                     std::string_view(pattern).substr(0, 80), *reason));
        return std::nullopt;
    }
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
