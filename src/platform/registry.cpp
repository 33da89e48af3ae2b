#include "platform/registry.hpp"

#include "platform/folders.hpp"
#include "platform/ini_file.hpp"

#include <charconv>
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

unsigned getDword(const Key& key, std::string_view valueName, std::uint32_t& out)
{
    std::string text;
    if (unsigned rc = getString(key, valueName, text); rc != kSuccess)
        return rc;
    int base = 10;
    std::string_view digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    std::uint32_t value = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (ec != std::errc() || ptr != digits.data() + digits.size() || digits.empty())
        return kErrorUnsupportedType;
    out = value;
    return kSuccess;
}

} // namespace platform::registry
