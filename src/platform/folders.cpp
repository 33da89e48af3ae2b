#include "platform/folders.hpp"

#include <cstdlib>

namespace platform {

namespace {

std::filesystem::path envPath(const char* name)
{
    const char* value = std::getenv(name);
    if (value && *value)
        return std::filesystem::path(value);
    return {};
}

std::filesystem::path homeFolder()
{
    return envPath("HOME");
}

} // namespace

std::filesystem::path roamingAppDataFolder()
{
    if (auto p = envPath("NORVANE_APPDATA"); !p.empty())
        return p;
    if (auto p = envPath("XDG_CONFIG_HOME"); !p.empty())
        return p;
    if (auto home = homeFolder(); !home.empty())
        return home / ".config";
    return {};
}

std::filesystem::path publicDocumentsFolder()
{
    return envPath("NORVANE_PUBLIC_DOCUMENTS");
}

std::filesystem::path userDocumentsFolder()
{
    if (auto p = envPath("XDG_DOCUMENTS_DIR"); !p.empty())
        return p;
    if (auto home = homeFolder(); !home.empty())
        return home / "Documents";
    return {};
}

std::filesystem::path simulatorProgramDataFolder()
{
    return envPath("NORVANE_PROGRAMDATA");
}

std::filesystem::path runtimeFolder()
{
    if (auto p = envPath("XDG_RUNTIME_DIR"); !p.empty())
        return p;
    return std::filesystem::path("/tmp");
}

} // namespace platform
