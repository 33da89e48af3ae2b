#pragma once
// Keeping the data files current from the update server and telling the user
// when something newer exists. Every public operation here, the program
// update and the archive update hold gf_updateMutex() while they run, so the
// start-up thread and the "Check version" button never fetch at once.

#include "foundation/version.hpp"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

// Server paths of the version files.
inline constexpr std::string_view kProgramVersionPath = "/downloads/release/version_P3D.json";
inline constexpr std::string_view kAigVersionPath = "/downloads/aig/version.json";
inline constexpr std::string_view kDbaseVersionPath = "/downloads/dbase/version.json";
inline constexpr std::string_view kArchiveVersionPath = "/downloads/archive/p3d/version.json";
inline constexpr std::string_view kDbaseServerPath = "/downloads/dbase/dbase.xml";
inline constexpr std::string_view kAigRegcodesServerPath = "/downloads/aig/AIG-regcodes.xml";

std::mutex& gf_updateMutex();

// The version each version file states; 0.0.0 when it cannot be fetched.
tzo::Version lf_getServerProgramVersion();
tzo::Version lf_getServerAigVersion();
tzo::Version lf_getServerDbaseVersion();
tzo::Version gf_getServerArchiveVersion();

// Bring input/dbase.xml and input/regcodesAIG/AIG-regcodes.xml up to date
// when the server's version is newer than the stored setting or the file is
// missing or does not read as valid (a damaged file is fetched again). A
// download is checked before it replaces the installed file; the setting
// changes only with the file. Folder errors leave as
// std::filesystem::filesystem_error. `knownUnusable`: the caller has found
// the installed data base damaged (and logged it) already.
void gf_updateDbase(bool knownUnusable = false);
void gf_updateAigRegcodes();

// Whether input/dbase.xml exists and reads as a data base (its failure logged).
bool gf_dbaseFileUsable();

// The check behind the "Check version" button, in the shape the window's
// hook takes (gf_installUpdateCheck(gf_runUpdateCheck)): empty when
// everything is current, else "==> New version{} for: {}" with the names of
// what is newer; nothing when no version file could be read at all
// (logged with the marker as "version check failed?"), so that a server that
// cannot be reached never reads as "up to date". Blocks for as long as the
// transfers take: call it from a worker thread, never from the window
// thread. Never throws.
std::optional<std::string> gf_runUpdateCheck();
