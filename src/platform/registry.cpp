#include "platform/registry.hpp"

#include "platform/folders.hpp"
#include "platform/ini_file.hpp"

#include <cstdlib>

namespace platform::registry {

std::filesystem::path storePath()
{
    if (const char* p = std::getenv("NORVANE_REGISTRY"); p && *p)
        return std::filesystem::path(p);
    const auto roaming = roamingAppDataFolder();
    if (roaming.empty())
        return {};
    return roaming / "registry.ini";
}

unsigned openKey(Root root, std::string_view subKey, Key& out)
{
    const auto path = storePath();
    IniFile ini;
    if (path.empty() || !ini.load(path))
        return kErrorFileNotFound;
    std::string full = root == Root::LocalMachine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\";
    full.append(subKey);
    const IniFile::Section* section = ini.findSection(full);
    if (!section)
        return kErrorFileNotFound;
    out.path = full;
    out.values.clear();
    for (const auto& e : section->entries)
        out.values.emplace_back(e.key, e.value);
    return kSuccess;
}

unsigned getString(const Key& key, std::string_view valueName, std::string& out)
{
    for (const auto& [name, value] : key.values) {
        if (equalsNoCase(name, valueName)) {
            out = value;
            return kSuccess;
        }
    }
    return kErrorFileNotFound;
}

} // namespace platform::registry
