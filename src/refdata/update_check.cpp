#include "refdata/update_check.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "foundation/text_file.hpp"
#include "refdata/dbase.hpp"
#include "refdata/downloads.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <pugixml.hpp>

#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

tzo::Version lf_serverVersion(std::string_view path)
{
    const CurlHandle handle = gf_makeCurlHandle();
    return gf_downloadVersion(handle.get(), gf_updateUrl(path));
}

bool lf_isAigRegcodesFile(const fs::path& path)
{
    pugi::xml_document doc;
    const auto loaded = gf_loadXmlFile(doc, path);
    if (!loaded || !doc.child("AIG-regcodes")) {
        gf_logLineMarked(fmt::format("\"{}\" is no AIG-regcodes file: {}", path.string(),
                                     loaded ? "root element missing" : loaded.description()));
        return false;
    }
    return true;
}

// The common steps of both data-file updates after the version test.
void lf_downloadDataFile(const tzo::Version& server, std::string_view fileName, std::string_view serverPath,
                         const fs::path& installed, tzo::StringParameter& setting, const DownloadCheck& check)
{
    const std::string version = gf_versionToString(server);
    gf_showStatus(fmt::format("Downloading {} version {} ...", fileName, version), true);
    const CurlHandle handle = gf_makeCurlHandle();
    if (!gf_downloadToFile(handle.get(), gf_updateUrl(serverPath), installed, false, check)) {
        gf_logLine(fmt::format("downloading {} failed?", installed.string()));
        return;
    }
    setting.setAndSave(version);
}

struct ServerVersions {
    tzo::Version program, dbase, archive, aig;
    bool any() const
    {
        const tzo::Version none;
        return program != none || dbase != none || archive != none || aig != none;
    }
};

std::string lf_newerText(const ServerVersions& server)
{
    std::vector<std::string> names;
    if (gf_programVersion() < server.program)
        names.emplace_back(kProgramName);
    if (gf_parseVersion(DBASE_VERSION.value()) < server.dbase)
        names.emplace_back("dbase.xml");
    if (gf_parseVersion(ARCHIVE_VERSION.value()) < server.archive)
        names.emplace_back("archive");
    if (gf_parseVersion(AIG_VERSION.value()) < server.aig)
        names.emplace_back("AIG-regcodes.xml");
    if (names.empty())
        return {};
    return fmt::format("==> New version{} for: {}", names.size() >= 2 ? "s" : "", fmt::join(names, ", "));
}

ServerVersions lf_serverVersions()
{
    ServerVersions server;
    server.program = lf_getServerProgramVersion();
    server.dbase = lf_getServerDbaseVersion();
    server.archive = gf_getServerArchiveVersion();
    server.aig = lf_getServerAigVersion();
    return server;
}

} // namespace

std::mutex& gf_updateMutex()
{
    static std::mutex mutex;
    return mutex;
}

bool gf_dbaseFileUsable()
{
    std::error_code ec;
    return fs::exists(g_dbasePath, ec) && gf_isUsableDbaseFile(g_dbasePath);
}

tzo::Version lf_getServerProgramVersion()
{
    return lf_serverVersion(kProgramVersionPath);
}

tzo::Version lf_getServerAigVersion()
{
    return lf_serverVersion(kAigVersionPath);
}

tzo::Version lf_getServerDbaseVersion()
{
    return lf_serverVersion(kDbaseVersionPath);
}

tzo::Version gf_getServerArchiveVersion()
{
    return lf_serverVersion(kArchiveVersionPath);
}

void gf_updateDbase(bool knownUnusable)
{
    std::lock_guard lock(gf_updateMutex());
    const tzo::Version server = lf_getServerDbaseVersion();
    if (server == tzo::Version{}) {
        gf_logLineMarked("No dbase version info found at the NRVX server?");
        return;
    }
    const tzo::Version local = gf_parseVersion(DBASE_VERSION.value());
    if (!(local < server) && !knownUnusable && gf_dbaseFileUsable())
        return;
    fs::create_directories(g_dbasePath.parent_path());
    lf_downloadDataFile(server, "dbase.xml", kDbaseServerPath, g_dbasePath, DBASE_VERSION, gf_isUsableDbaseFile);
}

void gf_updateAigRegcodes()
{
    std::lock_guard lock(gf_updateMutex());
    const tzo::Version server = lf_getServerAigVersion();
    if (server == tzo::Version{}) {
        gf_logLineMarked("No AIG regcodes version info found at the NRVX server?");
        return;
    }
    const tzo::Version local = gf_parseVersion(AIG_VERSION.value());
    const fs::path folder = g_aigRegcodesPath.parent_path();
    // A damaged file counts as missing: the same version is fetched again.
    if (!(local < server) && fs::exists(folder) && fs::exists(g_aigRegcodesPath) &&
        lf_isAigRegcodesFile(g_aigRegcodesPath))
        return;
    fs::create_directories(folder);
    lf_downloadDataFile(server, "AIG-regcodes.xml", kAigRegcodesServerPath, g_aigRegcodesPath, AIG_VERSION,
                        lf_isAigRegcodesFile);
}

std::optional<std::string> gf_runUpdateCheck()
{
    try {
        std::lock_guard lock(gf_updateMutex());
        const ServerVersions server = lf_serverVersions();
        if (server.any())
            return lf_newerText(server);
    }
    catch (const std::exception& e) {
        gf_logLine(e.what());
    }
    gf_logLineMarked("version check failed?");
    return std::nullopt;
}
