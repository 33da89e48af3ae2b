#pragma once
// The simulator's major version as the program is configured for it.

#include <string>

// "5" when SIM_INSTALL_PATH holds "v5" or "V5", else "6" when it holds "v6"
// or "V6", else the P3D_VERSION value; user error 77 when none tells.
std::string gf_p3dVersionFromPath();
