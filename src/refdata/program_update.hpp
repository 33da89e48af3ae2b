#pragma once
// Fetching the installer of a newer program version. The program never runs
// the installer; it unpacks it beside itself and tells the user to run it.

#include "foundation/version.hpp"
#include "refdata/zip_archive.hpp"

#include <filesystem>
#include <string>

// "setup_Norvane_P3D_v8.9.0.zip" for 8.9.0.
std::string gf_installerPackageName(const tzo::Version& version);

// Returns normally when nothing is to be done or the update failed; raises
// tzo::UserErrorException 99 when the new installer is ready in the folder.
void gf_updateProgram(const std::filesystem::path& programFolder);

// True when the package was fetched and its installer unpacked as
// "install_new_version.exe" in the folder.
bool lf_downloadInstaller(const tzo::Version& server, const std::filesystem::path& programFolder);

// Writes the entry through a temporary file and renames it over the
// installer; sets the flag only when every byte arrived with a good CRC.
void lf_extractZip(bool& extracted, const tzo::ZipArchive& archive, const tzo::ZipEntry& entry,
                   const std::filesystem::path& packagePath, const std::filesystem::path& installerPath);
