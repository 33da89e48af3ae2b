#include "liveries/scan_task.hpp"

#include "foundation/log.hpp"
#include "foundation/text_file.hpp"
#include "foundation/workers.hpp"
#include "liveries/cfg_grammar.hpp"
#include "liveries/fltsim_section.hpp"
#include "liveries/livery_folder_entry.hpp"
#include "liveries/scan_lists.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <string_view>

namespace fs = std::filesystem;

namespace {

// Lines reserved for a file before it is read: about one per 32 bytes, and
// never more than this, whatever size the file claims.
constexpr std::size_t kMaxReservedLines = 16384;
constexpr std::size_t kReservedSectionLines = 48;

// Lowers runningWorkers once, on every way out of a task.
struct WorkerDoneGuard {
    WorkerDoneGuard() = default;
    WorkerDoneGuard(const WorkerDoneGuard&) = delete;
    WorkerDoneGuard& operator=(const WorkerDoneGuard&) = delete;
    ~WorkerDoneGuard() { gf_workerDone(); }
};

// The file's lines when it is one to scan: readable, not too large, its
// sections numbered 0..n-1.
bool lf_readCfgLines(const fs::path& cfgPath, bool ivao, std::vector<std::string>& lines)
{
    const int code = gf_detectEncoding(cfgPath);
    if (code == kEncodingCannotOpen) {
        if (ivao)
            gf_logLineMarked(fmt::format("no character set found for {}", cfgPath.string()));
        return false;
    }
    const std::uintmax_t size = fs::file_size(cfgPath);
    if (size > kMaxCfgFileBytes) {
        lf_addInvalidCfgFile(fmt::format("{} has {} bytes, too many for an aircraft configuration file, skipped",
                                         cfgPath.string(), size));
        return false;
    }
    lines.reserve(std::min<std::size_t>(static_cast<std::size_t>(size) / 32 + 64, kMaxReservedLines));
    if (!gf_readEncodedLines(code, cfgPath, lines))
        return false;
    return lf_checkFltsimNumbers(lines, cfgPath);
}

// One line through the section splitter. An ordinary file ends a section at
// a '[' in the first six positions only ("description=see [notes]" stays a
// section line); an IVAO file at a '[' anywhere.
void lf_split(CfgScanState& state, const std::string& line, bool ivao)
{
    if (!lf_matchFltsimHeader(line).empty()) {
        lf_finishSection(state, ivao);
        state.inSection = true;
        state.sectionLines.push_back(line);
        return;
    }
    const std::size_t bracket = line.find('[');
    // Another kind of section ('[General]', a commented-out '//[fltsim.4]').
    if (bracket != std::string::npos && (ivao || bracket < 6)) {
        if (state.inSection) {
            lf_finishSection(state, ivao);
            state.inSection = false;
        }
        return;
    }
    if (state.inSection)
        state.sectionLines.push_back(line);
}

std::vector<tzo::LiveryData> lf_scanLines(CfgScanState& state, const std::vector<std::string>& lines, bool ivao)
{
    state.sectionLines.reserve(kReservedSectionLines);
    for (const auto& line : lines)
        lf_split(state, line, ivao);
    if (state.inSection)
        lf_finishSection(state, ivao);
    return std::move(state.result);
}

} // namespace

fs::path lf_cfgFolder(const fs::path& cfgPath)
{
    const std::string text = cfgPath.string();
    const std::size_t last = text.find_last_of("\\/");
    if (last == std::string::npos)
        return {};
    // A file in the root folder keeps the root as its folder.
    return fs::path(text.substr(0, last == 0 ? 1 : last));
}

void lf_finishSection(CfgScanState& state, bool ivao)
{
    if (state.sectionLines.empty())
        return;
    if (ivao) {
        tzo::LiveryData livery =
            lf_procesIvaoFltSimSection(state.priority, state.sectionLines, state.type, state.cfgPath, state.folder,
                                       state.root);
        if (!livery.airl.empty())
            state.result.push_back(std::move(livery));
    } else {
        auto liveries =
            lf_procesFltSimSection(state.priority, state.sectionLines, state.type, state.cfgPath, state.folder,
                                   state.root);
        std::move(liveries.begin(), liveries.end(), std::back_inserter(state.result));
    }
    state.sectionLines.clear();
}

std::vector<tzo::LiveryData> lf_searchLiveriesinFile(std::uint32_t priority, const fs::path& cfgPath,
                                                     const fs::path& root)
{
    const WorkerDoneGuard done;
    const FolderEntryCache knownEntries;
    try {
        CfgScanState state;
        state.priority = priority;
        state.cfgPath = cfgPath;
        state.folder = lf_cfgFolder(cfgPath);
        state.root = root;
        std::vector<std::string> lines;
        if (!lf_readCfgLines(cfgPath, false, lines))
            return {};
        state.type = lf_fixAtcModel(cfgPath, lines);
        if (state.type.empty())
            return {};
        return lf_scanLines(state, lines, false);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("exception in lf_searchLiveriesinFile {}: {}", cfgPath.string(), e.what()));
        throw;
    }
}

std::vector<tzo::LiveryData> lf_searchIvaoLiveriesinFile(std::uint32_t priority, const fs::path& cfgPath,
                                                         const fs::path& root)
{
    const WorkerDoneGuard done;
    const FolderEntryCache knownEntries;
    CfgScanState state;
    state.priority = priority;
    state.cfgPath = cfgPath;
    state.folder = lf_cfgFolder(cfgPath);
    state.root = root;
    state.type = lf_fixIvaoModel(cfgPath);
    if (state.type.empty())
        return {};
    std::vector<std::string> lines;
    if (!lf_readCfgLines(cfgPath, true, lines))
        return {};
    return lf_scanLines(state, lines, true);
}
