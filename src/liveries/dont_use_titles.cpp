#include "liveries/dont_use_titles.hpp"

#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/strings.hpp"
#include "foundation/text_file.hpp"
#include "liveries/regcodes.hpp"
#include "liveries/scan_lists.hpp"
#include "liveries/scanned_liveries.hpp"
#include "refdata/aircraft_record.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <exception>
#include <iterator>
#include <list>
#include <set>
#include <string_view>
#include <unordered_map>

namespace fs = std::filesystem;

namespace tzo {

namespace {

// A single field of up to this many bytes is no title.
constexpr std::size_t kShortestTitle = 8;

const char* lf_plural(std::size_t count)
{
    return count == 1 ? "" : "s";
}

// Appends the title unless the file named it before.
void lf_takeTitle(const std::string& title, std::set<std::string>& seen, const fs::path& file)
{
    if (seen.insert(title).second)
        dontUseTitles.push_back(title);
    else
        gf_logLineMarked(fmt::format("don't use title \"{}\" not unique in file {}", title, file.string()));
}

void lf_readDontUseLines(const fs::path& file)
{
    std::set<std::string> seen;
    // Any encoding the user's editor chose, as the registration lines of the same files.
    std::vector<std::string> lines;
    if (!gf_readExtTextFileToStringVector(file, lines))
        return;
    for (const auto& line : lines) {
        if (line.empty())
            continue;
        const auto fields = gf_splitSemicolon(line);
        if (fields.size() == 1) {
            if (fields[0].size() > kShortestTitle)
                lf_takeTitle(fields[0], seen, file);
        } else if (!seen.insert(fields[0]).second) {
            gf_logLineMarked(fmt::format("title \"{}\" not unique in file {}", fields[0], file.string()));
        }
    }
}

struct AirlineTypeKey {
    std::string_view airline;
    std::string_view model;
    bool operator==(const AirlineTypeKey&) const = default;
};

struct AirlineTypeHash {
    std::size_t operator()(const AirlineTypeKey& key) const noexcept
    {
        const std::hash<std::string_view> hash;
        return hash(key.airline) * 31 + hash(key.model);
    }
};

} // namespace

void lf_readDontUseTitles()
{
    lf_readDontUseTitles(g_aigRegcodesPath);
}

void lf_readDontUseTitles(const fs::path& path)
{
    const std::size_t before = dontUseTitles.size();
    try {
        pugi::xml_document doc;
        if (!gf_loadXmlFile(doc, path)) {
            gf_logLineMarked(fmt::format("Failed to load regcode file {}", path.string()));
        } else {
            std::set<std::string> seen;
            const pugi::xml_node entries = doc.child("AIG-regcodes");
            for (pugi::xml_node entry = entries.child("livery"); entry; entry = entry.next_sibling("livery")) {
                const std::string title = entry.attribute("title").value();
                if (title.empty())
                    continue;
                if (std::string_view(entry.attribute("reg").value()).empty())
                    lf_takeTitle(title, seen, path);
            }
        }
    } catch (const std::exception& e) {
        gf_logLineMarked(fmt::format("Error in reading regcode file {}, what: {}", path.string(), e.what()));
    }
    const std::size_t read = dontUseTitles.size() - before;
    gf_logLine(fmt::format("{} don't use title{} read from files in {}", read, lf_plural(read), path.string()));
}

void gf_readDontUseTitleFiles()
{
    gf_readDontUseTitleFiles(g_myRegcodesFolder);
}

void gf_readDontUseTitleFiles(const fs::path& folder)
{
    const std::size_t before = dontUseTitles.size();
    for (const auto& file : gf_listRegcodeFiles(folder)) {
        try {
            lf_readDontUseLines(file);
        } catch (const std::exception& e) {
            gf_logLineMarked(fmt::format("Error in reading regcode file {}, what: {}", file.string(), e.what()));
        }
    }
    const std::size_t read = dontUseTitles.size() - before;
    gf_logLine(fmt::format("{} don't use title{} read from files in {}", read, lf_plural(read), folder.string()));
}

void lf_reportDuplicateLiveries()
{
    // A livery goes when any livery of its airline and model has a smaller
    // priority number, which is when its own is above the least one: one pass
    // for the least priorities, one for the removal.
    std::unordered_map<AirlineTypeKey, std::uint32_t, AirlineTypeHash> least;
    for (const auto& livery : scannedLiveries) {
        auto [it, inserted] = least.try_emplace(AirlineTypeKey{livery.airl, livery.type}, livery.priority);
        if (!inserted && livery.priority < it->second)
            it->second = livery.priority;
    }
    // Collected apart and destroyed at the end: the keys view their texts.
    std::list<LiveryData> removed;
    for (auto it = scannedLiveries.begin(); it != scannedLiveries.end();) {
        const auto next = std::next(it);
        if (it->priority > least.at(AirlineTypeKey{it->airl, it->type})) {
            skippedOnPriority.push_back(gf_formatAirlineType(*it) + " \"" + it->title + "\"");
            removed.splice(removed.end(), scannedLiveries, it);
        }
        it = next;
    }
}

void gf_applyPriorities(bool prioritize)
{
    if (prioritize)
        lf_reportDuplicateLiveries();
}

} // namespace tzo
