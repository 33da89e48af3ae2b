#pragma once
// The simulator's major version as the program is configured for it.

#include <filesystem>
#include <string>
#include <string_view>

// "5" when SIM_INSTALL_PATH holds "v5" or "V5", else "6" when it holds "v6"
// or "V6", else the P3D_VERSION value; user error 77 when none tells.
std::string gf_p3dVersionFromPath();

// The simulator's own folder below a machine's or a user's data folder
// ("<root>/Lockheed Martin/Prepar3D vN"); empty when the root is not known.
std::filesystem::path gf_simulatorFolderBelow(const std::filesystem::path& root);

// How a log line names a list file: its path, or, when its folder is not
// known, its name and what would make the folder known.
std::string gf_listFileText(const std::filesystem::path& path, std::string_view fileName,
                            std::string_view unknownFolder);
