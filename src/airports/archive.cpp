#include "airports/archive.hpp"

#include "airports/airport_services.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/text_file.hpp"
#include "refdata/downloads.hpp"
#include "refdata/publishers.hpp"
#include "refdata/update_check.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool lf_endsWith(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool lf_isZipFile(const fs::path& path)
{
    int error = 0;
    if (tzo::ZipArchive::open(path, error))
        return true;
    gf_logLineMarked(fmt::format("coud not open {}: {}", path.string(), tzo::gf_zipErrorText(error)));
    return false;
}

// Due when the server is newer, when the server takes the archive back to
// 1.0.0 or 0.1.0, while the local major number is 0 (also: never installed),
// or when a folder of the archive is gone.
bool lf_archiveUpdateDue(const tzo::Version& local, const tzo::Version& server)
{
    if (local < server)
        return true;
    const bool resetVersion = server == tzo::Version{1, 0, 0} || server == tzo::Version{0, 1, 0};
    if (resetVersion && server < local)
        return true;
    return local.major == 0 || gf_archiveFoldersMissing();
}

constexpr int kRefusalsNamed = 10;

std::mutex g_limitsMutex;
ArchiveLimits g_limits;

bool lf_isAirportFile(const tzo::ZipEntry& entry)
{
    return !entry.isFolder() && lf_endsWith(entry.name, ".xml");
}

// Only the archive folder is the archive's: an entry for "learned/..." would
// replace what the user's flights taught.
bool lf_staysInArchiveFolder(const std::string& name)
{
    return gf_isSafeEntryName(name) && name.rfind("archive/", 0) == 0;
}

// Why the archive is over a cap, from its directory; empty when it is not.
std::string lf_overCap(const std::vector<tzo::ZipEntry>& entries, const ArchiveLimits& limits)
{
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    for (const auto& entry : entries) {
        if (!lf_isAirportFile(entry) || !lf_staysInArchiveFolder(entry.name))
            continue;
        if (entry.size > limits.entryBytes)
            return fmt::format("{} unpacks to {} bytes, more than {}", entry.name, entry.size, limits.entryBytes);
        ++files;
        bytes += entry.size;
    }
    if (files > limits.files)
        return fmt::format("{} airport files, more than {}", files, limits.files);
    if (bytes > limits.bytes)
        return fmt::format("{} bytes unpacked, more than {}", bytes, limits.bytes);
    return {};
}

void lf_downloadArchiveDoc(std::string_view name)
{
    const fs::path target = g_docsFolder / name;
    fs::create_directories(g_docsFolder);
    const CurlHandle handle = gf_makeCurlHandle();
    if (!gf_downloadToFile(handle.get(), gf_updateUrl(fmt::format("/downloads/docs/{}", name)), target, false)) {
        gf_logLineMarked(fmt::format("downloading {} failed?", target.string()));
        return;
    }
    gf_logLine(fmt::format("{} downloaded", name));
}

} // namespace

int gf_listArchiveAirports()
{
    // The airport files of the three archive folders, those of thirdparty in
    // its publishers' folders; a folder that cannot be listed counts as
    // holding none, so that the start-up fetches it again.
    int count = 0;
    for (const auto* folder : {&g_archiveStockFolder, &g_archiveOrbxFolder, &g_archiveThirdpartyFolder}) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(*folder, ec), end; !ec && it != end; it.increment(ec))
            if (it->path().extension() == ".xml")
                ++count;
    }
    return count;
}

bool gf_archiveFoldersMissing()
{
    for (const auto* folder : {&g_archiveFolder, &g_archiveStockFolder, &g_archiveOrbxFolder, &g_archiveThirdpartyFolder})
        if (!fs::exists(*folder))
            return true;
    return false;
}

ArchiveLimits gf_archiveLimits()
{
    std::lock_guard lock(g_limitsMutex);
    return g_limits;
}

void gf_setArchiveLimits(const ArchiveLimits& limits)
{
    std::lock_guard lock(g_limitsMutex);
    g_limits = limits;
}

void lf_extractArchiveEntry(ArchiveExtraction& state, const tzo::ZipArchive& archive, const tzo::ZipEntry& entry)
{
    const std::string& name = entry.name;
    if (!lf_isAirportFile(entry))
        return;
    if (!lf_staysInArchiveFolder(name)) {
        // A hostile archive may hold any number of them: the rest is counted.
        if (++state.refused <= kRefusalsNamed)
            gf_logLineMarked(fmt::format("archive entry {} refused: it would be written outside {}", name,
                                         g_archiveFolder.string()));
        return;
    }
    if (name.find("thirdparty") != std::string::npos) {
        const std::string publisher = gf_publisherOfPath(name);
        if (publisher == "unknown")
            gf_logLineMarked(fmt::format("pub {} not found", name));
        else if (gf_isSafeEntryName(publisher) && publisher.find('/') == std::string::npos)
            fs::create_directories(g_archiveThirdpartyFolder / publisher);
        else
            gf_logLineMarked(fmt::format("pub {} of {} is no folder name", publisher, name));
    }
    ++state.count;
    if (state.count % 300 == 0)
        gf_showStatus(fmt::format("Extracting {} ...  {} files", g_archiveZipPath.string(), state.count));

    // The directory's sizes were checked against the caps; content longer
    // than its entry claims still never takes more than is left.
    std::string text;
    const int code = archive.readAll(entry, text, std::min(gf_archiveLimits().entryBytes, state.budget));
    if (code != 0) {
        gf_logLineMarked(fmt::format("extracting {} failed: {}", name, tzo::gf_zipErrorText(code)));
        state.failed = true;
        return;
    }
    state.budget -= text.size();
    const fs::path target = g_airportsFolder / fs::path(name);
    std::error_code writeError;
    fs::create_directories(target.parent_path(), writeError);
    text += '\n';
    if (writeError || !gf_writeFileAtomically(target, text, writeError)) {
        // One file in the way (a folder of its name) must not cost the
        // others; a full disk fails them all, and only the first few are named.
        if (++state.notWritten <= kRefusalsNamed)
            gf_logProgressLine(fmt::format("{}writing {} failed: {}", g_logMarker, target.string(),
                                           gf_saveFailureText(target, writeError)));
        state.failed = true;
    }
}

bool gf_updateArchive()
{
    std::lock_guard lock(gf_updateMutex());
    const tzo::Version server = gf_getServerArchiveVersion();
    if (server == tzo::Version{}) {
        gf_logLineMarked("No archive version info found at the NRVX server?");
        return false;
    }
    const tzo::Version local = gf_parseVersion(ARCHIVE_VERSION.value());
    if (!lf_archiveUpdateDue(local, server))
        return false;

    const std::string version = gf_versionToString(server);
    gf_showStatus(fmt::format("Downloading archive files version {} ...", version), true);
    {
        const CurlHandle handle = gf_makeCurlHandle();
        if (!gf_downloadToFile(handle.get(), gf_updateUrl(kArchiveServerPath), g_archiveZipPath, true,
                               lf_isZipFile)) {
            gf_showStatus(fmt::format("Downloading archive files version {} failed", version), true);
            return false;
        }
    }
    for (const auto* folder : {&g_archiveFolder, &g_archiveStockFolder, &g_archiveOrbxFolder, &g_archiveThirdpartyFolder})
        fs::create_directories(*folder);

    ArchiveExtraction state;
    {
        int error = 0;
        const auto archive = tzo::ZipArchive::open(g_archiveZipPath, error);
        if (!archive) {
            gf_logLineMarked(fmt::format("coud not open {}", g_archiveZipPath.string()));
            return false;
        }
        const std::vector<tzo::ZipEntry> entries = archive->entries();
        const ArchiveLimits limits = gf_archiveLimits();
        if (const std::string over = lf_overCap(entries, limits); !over.empty()) {
            gf_logLineMarked(fmt::format("archive version {} refused: {}", version, over));
            std::error_code ignored;
            fs::remove(g_archiveZipPath, ignored);
            // Stored as tried: fetching the same archive at every start would refuse it again.
            ARCHIVE_VERSION.setAndSave(version);
            return false;
        }
        state.budget = limits.bytes;
        for (const auto& entry : entries)
            lf_extractArchiveEntry(state, *archive, entry);
    }
    if (state.refused > kRefusalsNamed)
        gf_logLineMarked(fmt::format("{} more archive entries refused", state.refused - kRefusalsNamed));
    if (state.notWritten > kRefusalsNamed)
        gf_logProgressLine(fmt::format("{}{} more archive files not written", g_logMarker,
                                       state.notWritten - kRefusalsNamed));
    gf_showStatus(fmt::format("{} extracted {} files", g_archiveZipPath.string(), state.count), true);
    if (fs::exists(g_archiveZipPath))
        fs::remove(g_archiveZipPath);
    if (state.failed) {
        // Keeping the old version makes the next start fetch the archive again.
        gf_logLineMarked(fmt::format("archive version {} not stored: some files were not written", version));
        return false;
    }
    ARCHIVE_VERSION.setAndSave(version);
    gf_showStatus(fmt::format("Archive has been updated to version {}", version), true);
    lf_downloadArchiveDocTxt();
    lf_downloadArchiveDocCsv();
    return true;
}

void lf_downloadArchiveDocTxt()
{
    lf_downloadArchiveDoc(kArchiveDocTxt);
}

void lf_downloadArchiveDocCsv()
{
    lf_downloadArchiveDoc(kArchiveDocCsv);
}
