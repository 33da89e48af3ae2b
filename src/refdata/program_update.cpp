#include "refdata/program_update.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text_file.hpp"
#include "refdata/downloads.hpp"
#include "refdata/update_check.hpp"

#include <fmt/format.h>
#include <zip.h>

#include <optional>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kExtractChunk = 524288;

bool lf_endsWithExe(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string tail = name.substr(name.size() - 4);
    for (auto& c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".exe";
}

// The package holds one installer. Folder entries do not count; of several
// files the first one ending ".exe" is it (a readme may lie beside it).
std::optional<tzo::ZipEntry> lf_installerEntry(const std::vector<tzo::ZipEntry>& entries)
{
    std::vector<const tzo::ZipEntry*> files;
    for (const auto& entry : entries)
        if (!entry.isFolder())
            files.push_back(&entry);
    if (files.size() == 1)
        return *files.front();
    for (const auto* file : files)
        if (lf_endsWithExe(file->name))
            return *file;
    return std::nullopt;
}

bool lf_isZipFile(const fs::path& path)
{
    int error = 0;
    if (tzo::ZipArchive::open(path, error))
        return true;
    gf_logLineMarked(fmt::format("could not open {}: {}", path.string(), tzo::gf_zipErrorText(error)));
    return false;
}

} // namespace

std::string gf_installerPackageName(const tzo::Version& version)
{
    return fmt::format("setup_{}_v{}.zip", kProgramName, gf_versionToString(version));
}

void lf_extractZip(bool& extracted, const tzo::ZipArchive& archive, const tzo::ZipEntry& entry,
                   const fs::path& packagePath, const fs::path& installerPath)
{
    TemporaryFile temp = gf_createTemporaryFileFor(installerPath);
    std::error_code fileError;
    int code = 0;
    if (!temp.file) {
        fileError = std::error_code(errno, std::generic_category());
    } else {
        std::FILE* out = temp.file.get();
        code = archive.read(entry, kExtractChunk, [&](const char* data, std::size_t n) {
            if (std::fwrite(data, 1, n, out) == n)
                return true;
            fileError = std::error_code(errno, std::generic_category());
            return false;
        });
        if (gf_closeTemporaryFile(temp, code == 0 && !fileError, fileError) && code == 0)
            gf_putTemporaryFileInPlace(temp.path, installerPath, true, fileError);
    }
    // The file's own failure names the cause (no space left, ...); the
    // archive's code what was wrong with the entry.
    if (code != 0 || fileError) {
        if (code == 0 || (code == ZIP_ER_WRITE && fileError))
            gf_logProgressLine(fmt::format("{}extracting error code : {} (writing {}: {})", g_logMarker, ZIP_ER_WRITE,
                                           installerPath.string(), gf_saveFailureText(installerPath, fileError)));
        else
            gf_logLineMarked(fmt::format("extracting error code : {} ({})", code, tzo::gf_zipErrorText(code)));
        return;
    }
    gf_logLine(fmt::format("{} extracted to {}", packagePath.string(), installerPath.string()));
    extracted = true;
}

bool lf_downloadInstaller(const tzo::Version& server, const fs::path& programFolder)
{
    const std::string name = gf_installerPackageName(server);
    const fs::path packagePath = programFolder / name;
    {
        const CurlHandle handle = gf_makeCurlHandle();
        if (!gf_downloadToFile(handle.get(), gf_updateUrl("/downloads/release/" + name), packagePath, true,
                               lf_isZipFile)) {
            gf_showStatus(
                fmt::format("Downloading program installer file version {} failed", gf_versionToString(server)),
                true);
            return false;
        }
    }
    gf_logLine(fmt::format("downloaded {}", packagePath.string()));
    bool extracted = false;
    {
        int error = 0;
        const auto archive = tzo::ZipArchive::open(packagePath, error);
        if (!archive) {
            gf_logLineMarked(fmt::format("could not open {}", packagePath.string()));
        } else if (const auto entry = lf_installerEntry(archive->entries())) {
            lf_extractZip(extracted, *archive, *entry, packagePath, programFolder / g_installerExeName);
        } else {
            gf_logLineMarked(fmt::format("no installer found in {}", packagePath.string()));
        }
    }
    if (fs::exists(packagePath))
        fs::remove(packagePath);
    return extracted;
}

void gf_updateProgram(const fs::path& programFolder)
{
    std::unique_lock lock(gf_updateMutex());
    const tzo::Version server = lf_getServerProgramVersion();
    if (server == tzo::Version{}) {
        gf_logLineMarked("Program Version file not found?");
        return;
    }
    if (!(gf_programVersion() < server))
        return;
    if (lf_downloadInstaller(server, programFolder)) {
        lock.unlock();
        throw tzo::UserErrorException(
            99, fmt::format("New version {} available. Exit here, and run as administrator:   \"{}\"",
                            gf_versionToString(server), (programFolder / g_installerExeName).string()));
    }
    gf_showStatus("download/extract of the new version failed? Try manually via my website", true);
}
