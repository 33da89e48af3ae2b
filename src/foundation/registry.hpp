#pragma once
// The simulator's installation entries in the registry.

#include "platform/registry.hpp"

#include <string>
#include <string_view>

// Whether the install key of simulator version major (4, 5 or 6) exists.
bool gf_isP3dInstalled(int major);

// The key's "SetupPath"; empty when the key or value cannot be read.
std::string gf_p3dSetupPath(int major);

// Reads a string value of an open key; throws winreg::RegException.
std::string gf_readRegistryString(const platform::registry::Key& key, std::string_view valueName);

// Opens a key for reading: 0 or the registry's error code. A store file that
// is refused is said once in the log.
unsigned gf_tryOpenRegistryKey(platform::registry::Root root, std::string_view subKey,
                               platform::registry::Key& key);

// Opens a key for reading; throws winreg::RegException ("RegOpenKeyExW failed.").
platform::registry::Key gf_openRegistryKey(platform::registry::Root root, std::string_view subKey);

// Set at start for versions 4, 5 and 6.
struct InstalledSimulators {
    bool v4 = false;
    bool v5 = false;
    bool v6 = false;
};
InstalledSimulators gf_detectInstalledSimulators();
