#pragma once
// The registry, as far as the program reads it: keys that exist or not, and
// string values in them. Here it is an ini file, "registry.ini" in the roaming
// application-data folder (or $NORVANE_REGISTRY), whose sections are full key
// paths such as [HKEY_LOCAL_MACHINE\SOFTWARE\Lockheed Martin\Prepar3D v5].
// Failures answer with the Windows error codes the registry functions give.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

enum class Root { LocalMachine, CurrentUser };

inline constexpr unsigned kSuccess = 0;
inline constexpr unsigned kErrorFileNotFound = 2;     // missing key or value

// An open key: a snapshot of its values.
struct Key {
    std::string path;
    std::vector<std::pair<std::string, std::string>> values;
};

std::filesystem::path storePath();

// 0 and the key, or kErrorFileNotFound. The store is read once and kept
// while its file stays the same. A store file that is refused (no regular
// file, far too large: see outsideFileRefusal) answers as a missing one, and
// the first call after its reading gets the one line about it in `refusal`.
unsigned openKey(Root root, std::string_view subKey, Key& out, std::string* refusal = nullptr);

// The line about the store file when it is refused, empty when it was read
// or is simply missing: a key missing for that reason must not send the user
// to write one.
std::string storeRefusal();

// The next openKey reads the store again: each start takes the registry as it
// is then.
void forgetStore();

// 0 and the value, or kErrorFileNotFound.
unsigned getString(const Key& key, std::string_view valueName, std::string& out);

} // namespace platform::registry
