#include "liveries/scan_reports.hpp"

#include "airports/airport_services.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text_file.hpp"
#include "liveries/scan_lists.hpp"

#include <fmt/format.h>

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The folders spelled out as g_outputErrorsFolder and g_outputInfoFolder are:
// globals of another file may not be made yet while these are.
const fs::path kErrorsFolder = fs::path("output") / "errors";
const fs::path kInfoFolder = fs::path("output") / "info";

} // namespace

const fs::path g_invalidAirlineCodesPath = kErrorsFolder / "InvalidAirlineCodes.txt";
const fs::path g_invalidModelCodesPath = kErrorsFolder / "InvalidAircraftCodes.txt";
const fs::path g_codeFixLinesPath = kErrorsFolder / "Fixes.txt";
const fs::path g_invalidCfgFilesPath = kErrorsFolder / "InvalidAircraftCfgFiles.txt";
const fs::path g_incompleteSectionsPath = kErrorsFolder / "IncompleFltsimSections.txt";
const fs::path g_noFltsimSectionFilesPath = kInfoFolder / "AircraftCfgWithNoFltsimSection.txt";
const fs::path g_dbaseConversionLinesPath = kInfoFolder / "AirlineModelConversions.txt";
const fs::path g_skippedOnPriorityPath = kInfoFolder / "LiveriesSkippedOnPriority.txt";
const fs::path g_airlineDataPath = kInfoFolder / "AirlineData.txt";

namespace {

// Written by the registration codes; the scan only clears it away.
const fs::path kInlineRegcodesPath = kErrorsFolder / "InlineRegcodes.txt";

std::string_view lf_plural(std::size_t count)
{
    return count == 1 ? "" : "s";
}

void lf_removeIfPresent(const fs::path& path)
{
    std::error_code error;
    fs::remove(path, error);
    if (error)
        gf_logLine(fmt::format("problems with removing previous files: {}", fs::filesystem_error("remove", path, error).what()));
}

// One written report: its summary line, or the reason the user will not find it.
void lf_logReport(const std::error_code& error, const std::string& summary, const fs::path& path)
{
    if (!error)
        gf_logLine(summary);
    else
        gf_saySaveFailure("", path, error);
}

void lf_ensureErrorsFolder()
{
    if (!fs::exists(g_outputErrorsFolder))
        fs::create_directories(g_outputErrorsFolder);
}

// No error when written.
std::error_code lf_writeSorted(std::list<std::string>& list, const fs::path& path)
{
    list.sort();
    std::error_code error;
    if (!gf_writeLinesToFile(std::vector<std::string>(list.begin(), list.end()), path, error) && !error)
        error = std::make_error_code(std::errc::io_error);
    return error;
}

std::error_code lf_writeInOrder(const std::vector<std::string>& lines, const fs::path& path)
{
    std::error_code error;
    if (!gf_writeStringVectorToFile(lines, path, error) && !error)
        error = std::make_error_code(std::errc::io_error);
    return error;
}

} // namespace

void lf_removeScanOutputs()
{
    // Each removal stands alone: one file held open by an editor must not leave
    // the other stale reports beside the new ones. The catalogue is not among
    // them: a scan replaces it only when it found liveries.
    for (const auto* path : {&g_airlineDataPath, &g_noFltsimSectionFilesPath, &g_skippedOnPriorityPath,
                             &kInlineRegcodesPath, &g_invalidAirlineCodesPath,
                             &g_invalidModelCodesPath, &g_codeFixLinesPath, &g_invalidCfgFilesPath,
                             &g_incompleteSectionsPath})
        lf_removeIfPresent(*path);

    // The folder goes only when nothing is left in it; anything else there
    // (the user's own notes, a file that would not go) keeps it silently.
    std::error_code error;
    if (!fs::is_directory(g_outputErrorsFolder, error))
        return;
    fs::remove(g_outputErrorsFolder, error);
    if (error && error != std::errc::directory_not_empty && error != std::errc::file_exists)
        gf_logLine(fmt::format("problems with removing previous files: {}",
                               fs::filesystem_error("remove", g_outputErrorsFolder, error).what()));
}

void lf_writeScanSummary()
{
    using namespace tzo;
    const bool noErrors = invalidAirlineCodes.empty() && invalidModelCodes.empty() && codeFixLines.empty() &&
                          invalidCfgFiles.empty() && incompleteSections.empty();
    gf_logLine(noErrors ? "\nNo errors" : "\nErrors:");

    if (!invalidAirlineCodes.empty()) {
        lf_ensureErrorsFolder();
        const auto count = invalidAirlineCodes.size();
        lf_logReport(lf_writeSorted(invalidAirlineCodes, g_invalidAirlineCodesPath),
                     fmt::format("{} invalid airline code{}, see {}", count, lf_plural(count),
                                 g_invalidAirlineCodesPath.string()),
                     g_invalidAirlineCodesPath);
    }
    if (!invalidModelCodes.empty()) {
        lf_ensureErrorsFolder();
        const auto count = invalidModelCodes.size();
        lf_logReport(lf_writeSorted(invalidModelCodes, g_invalidModelCodesPath),
                     fmt::format("{} invalid model code{}, see {}", count, lf_plural(count),
                                 g_invalidModelCodesPath.string()),
                     g_invalidModelCodesPath);
    }
    if (!codeFixLines.empty()) {
        // In the order found: a fix reads best next to the files around it.
        lf_ensureErrorsFolder();
        lf_logReport(lf_writeInOrder(codeFixLines, g_codeFixLinesPath),
                     fmt::format("{} code fixes, see {}", codeFixLines.size(), g_codeFixLinesPath.string()),
                     g_codeFixLinesPath);
    }
    if (!invalidCfgFiles.empty()) {
        lf_ensureErrorsFolder();
        const auto count = invalidCfgFiles.size();
        lf_logReport(lf_writeSorted(invalidCfgFiles, g_invalidCfgFilesPath),
                     fmt::format("{} invalid aircraft.cfg files, see {}", count, g_invalidCfgFilesPath.string()),
                     g_invalidCfgFilesPath);
    }
    if (!incompleteSections.empty()) {
        lf_ensureErrorsFolder();
        const auto count = incompleteSections.size();
        lf_logReport(lf_writeSorted(incompleteSections, g_incompleteSectionsPath),
                     fmt::format("{} incomplete [fltsim.x] sections, see {}", count,
                                 g_incompleteSectionsPath.string()),
                     g_incompleteSectionsPath);
    }

    // The info folder is made by the start-up; a missing one shows as a file
    // that could not be written.
    gf_logLine("\nInformation:");
    if (!noFltsimSectionFiles.empty()) {
        const auto count = noFltsimSectionFiles.size();
        lf_logReport(lf_writeSorted(noFltsimSectionFiles, g_noFltsimSectionFilesPath),
                     fmt::format("{} empty aircraft.cfg files, see {}", count, g_noFltsimSectionFilesPath.string()),
                     g_noFltsimSectionFilesPath);
    }
    if (!dbaseConversionLines.empty()) {
        lf_logReport(lf_writeInOrder(dbaseConversionLines, g_dbaseConversionLinesPath),
                     fmt::format("{} liveries updated with real live data from dbase, see {}",
                                 dbaseConversionLines.size(), g_dbaseConversionLinesPath.string()),
                     g_dbaseConversionLinesPath);
    }
    if (!skippedOnPriority.empty()) {
        const auto count = skippedOnPriority.size();
        lf_logReport(lf_writeSorted(skippedOnPriority, g_skippedOnPriorityPath),
                     fmt::format("{} liverie{} skipped on priority, see {}", count, count > 1 ? "s" : "",
                                 g_skippedOnPriorityPath.string()),
                     g_skippedOnPriorityPath);
    }
}
