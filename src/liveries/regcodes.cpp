#include "liveries/regcodes.hpp"

#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/strings.hpp"
#include "foundation/text_file.hpp"
#include "liveries/scanned_liveries.hpp"
#include "refdata/aircraft_record.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <exception>
#include <system_error>

namespace fs = std::filesystem;

namespace tzo {

TextMap<TitleView> regcodeLiveries;
std::vector<TitleView> specialLiveries;
std::unordered_set<TitleView> specialTitles;
std::vector<std::string> regcodeMessages;

namespace {

constexpr std::size_t kMaxRegcodeBytes = 12;
constexpr const char* kOfflineResultName = "OfflineRegcodes.txt";
constexpr const char* kInlineClashName = "InlineRegcodes.txt";

const char* lf_plural(std::int32_t count)
{
    return count == 1 ? "" : "s";
}

std::string lf_summaryLine(const fs::path& path, const RegcodeCounters& counters)
{
    std::string line = fmt::format("{}: {} new regcode{} added", path.string(), counters.added,
                                   lf_plural(counters.added));
    if (counters.replaced >= 1)
        line += fmt::format(", {} regcode{} replaced", counters.replaced, lf_plural(counters.replaced));
    if (counters.special >= 1)
        line += fmt::format(", {} regcode{} defined as special", counters.special, lf_plural(counters.special));
    return line;
}

void lf_enterRegcode(const std::string& code, TitleView title, bool special, std::string_view where,
                     RegcodeCounters& counters)
{
    if (code.empty() || code.size() > kMaxRegcodeBytes) {
        regcodeMessages.push_back(fmt::format("{}wrong regcode length \"{}\" in {}", g_logMarker, code, where));
        return;
    }
    auto [it, inserted] = regcodeLiveries.try_emplace(code, title);
    if (inserted || it->second == title) {
        ++counters.added;
    } else {
        regcodeMessages.push_back(
            fmt::format("   regcode {} for \"{}\", instead of for \"{}\"", code, title, it->second));
        it->second = title;
        ++counters.replaced;
    }
    if (special) {
        specialLiveries.push_back(title);
        specialTitles.insert(title);
        ++counters.special;
    }
}

void lf_readErrorMessage(const fs::path& path, const std::exception& e)
{
    regcodeMessages.push_back(
        fmt::format("{} Error in reading regcode file {}, what: {}", g_logMarker, path.string(), e.what()));
}

void lf_handleOfflineLine(const std::string& line, const fs::path& file, RegcodeCounters& counters)
{
    if (line.empty())
        return;
    const auto fields = gf_splitSemicolon(line);
    if (fields.size() == 1)
        return; // a title not to use, read before the scan
    if (fields.size() > 3) {
        regcodeMessages.push_back(fmt::format("{}{} wrong format: {}", g_logMarker, file.string(), line));
        gf_logLineMarked(fmt::format("{} wrong format: {}", file.string(), line));
        return;
    }
    const TitleView title = lf_findLiveryTitle(fields[0]);
    if (title.empty())
        return; // the same files serve installations without this livery
    const auto codes = gf_splitRegcodes(fields[1]);
    if (codes.empty())
        return;
    bool special = false;
    if (fields.size() == 3) {
        if (fields[2] != "#")
            return;
        special = true;
    }
    const bool singleCode = codes.size() == 1;
    for (const auto& code : codes)
        lf_addOfflineRegcode(code, title, special, singleCode, file, counters);
}

} // namespace

std::vector<fs::path> gf_listRegcodeFiles(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        throw fs::filesystem_error("directory_iterator::directory_iterator", folder, ec);
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        std::error_code statusError;
        if (!it->is_regular_file(statusError))
            continue;
        std::string extension = it->path().extension().string();
        for (auto& c : extension)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        if (extension == ".TXT")
            files.push_back(it->path());
    }
    if (ec)
        throw fs::filesystem_error("directory_iterator::operator++", folder, ec);
    // Windows lists a folder in name order; later files win, so the order
    // must not depend on the file system.
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> gf_splitRegcodes(std::string_view text)
{
    // An empty list names no code at all (not one empty code).
    if (gf_trim(text).empty())
        return {};
    return gf_splitComma(text);
}

void lf_addRegcode(const std::string& code, TitleView title, bool special, RegcodeCounters& counters)
{
    lf_enterRegcode(code, title, special, title, counters);
}

void lf_addOfflineRegcode(const std::string& code, TitleView title, bool special, bool singleCode,
                          const fs::path& file, RegcodeCounters& counters)
{
    lf_enterRegcode(code, title, special || singleCode, file.string(), counters);
}

void lf_checkInlineRegcodeClashes()
{
    std::vector<std::string> clashes;
    for (const auto& livery : scannedLiveries) {
        if (livery.atcid.empty())
            continue;
        const TitleView title = lf_findLiveryTitle(livery.title);
        if (title.empty()) {
            gf_logLineMarked(fmt::format("sys error: livery \"{}\" for a [{}] with regcode {} not available",
                                         livery.title, gf_formatAirlineType(livery), livery.atcid));
            continue;
        }
        auto [it, inserted] = regcodeLiveries.try_emplace(livery.atcid, title);
        if (!inserted && it->second != title)
            clashes.push_back(fmt::format("[{}] {} \"{}\" => in use by \"{}\"", gf_formatAirlineType(livery),
                                          livery.atcid, livery.title, it->second));
    }
    if (clashes.empty())
        return;
    if (!fs::exists(g_outputErrorsFolder))
        fs::create_directories(g_outputErrorsFolder);
    const fs::path file = g_outputErrorsFolder / kInlineClashName;
    std::error_code error;
    if (!gf_writeLinesToFile(clashes, file, error)) {
        gf_saySaveFailure(fmt::format("{} in-line regcode clashes: ", clashes.size()), file, error);
        return;
    }
    gf_logLineMarked(fmt::format("{} in-line regcode clashes, see \"{}\"", clashes.size(), file.string()));
}

void lf_readAigRegcodes()
{
    lf_readAigRegcodes(g_aigRegcodesPath);
}

void lf_readAigRegcodes(const fs::path& path)
{
    regcodeMessages.push_back("Processing " + path.string());
    try {
        pugi::xml_document doc;
        if (!gf_loadXmlFile(doc, path)) {
            regcodeMessages.push_back(fmt::format("{} Failed to load regcode file {}", g_logMarker, path.string()));
            return;
        }
        RegcodeCounters counters;
        const pugi::xml_node entries = doc.child("AIG-regcodes");
        for (pugi::xml_node entry = entries.child("livery"); entry; entry = entry.next_sibling("livery")) {
            const TitleView title = lf_findLiveryTitle(entry.attribute("title").value());
            if (title.empty())
                continue;
            const auto codes = gf_splitRegcodes(entry.attribute("reg").value());
            if (codes.empty())
                continue; // a title not to use, read before the scan
            const bool special = entry.attribute("special").as_bool(false);
            for (const auto& code : codes)
                lf_addRegcode(code, title, special, counters);
        }
        regcodeMessages.push_back(lf_summaryLine(path, counters));
    } catch (const std::exception& e) {
        lf_readErrorMessage(path, e);
    }
}

void lf_readOfflineRegcodeFiles()
{
    lf_readOfflineRegcodeFiles(g_myRegcodesFolder);
}

void lf_readOfflineRegcodeFiles(const fs::path& folder)
{
    regcodeMessages.push_back("Processing files in " + folder.string());
    for (const auto& file : gf_listRegcodeFiles(folder)) {
        try {
            // Written by the user in whatever editor: a byte-order mark or
            // UTF-16 must not cost a line or the whole file.
            std::vector<std::string> lines;
            RegcodeCounters counters;
            if (gf_readExtTextFileToStringVector(file, lines))
                for (const auto& line : lines)
                    lf_handleOfflineLine(line, file, counters);
            regcodeMessages.push_back(lf_summaryLine(file, counters));
        } catch (const std::exception& e) {
            lf_readErrorMessage(file, e);
        }
    }
}

void gf_processRegcodeFiles()
{
    regcodeMessages.clear();
    if (fs::exists(g_aigRegcodesPath))
        lf_readAigRegcodes();
    if (fs::exists(g_myRegcodesFolder) && fs::is_directory(g_myRegcodesFolder) &&
        !fs::is_empty(g_myRegcodesFolder))
        lf_readOfflineRegcodeFiles();

    const fs::path result = g_outputInfoFolder / kOfflineResultName;
    if (fs::exists(result))
        fs::remove(result);
    if (!regcodeMessages.empty()) {
        std::error_code error;
        if (gf_writeLinesToFile(regcodeMessages, result, error))
            gf_logLine(
                fmt::format("Offline regcode files processed, results can be found in \"{}\"", result.string()));
        else
            gf_saySaveFailure("Offline regcode files processed: ", result, error);
    }
    if (!specialLiveries.empty())
        gf_logLine(fmt::format("{} special liveries", specialLiveries.size()));
}

} // namespace tzo
