#include "foundation/registry.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"

#include <string>

namespace reg = platform::registry;

namespace {

const char* lf_p3dKey(int major)
{
    switch (major) {
    case 4:
        return "SOFTWARE\\Lockheed Martin\\Prepar3D v4";
    case 5:
        return "SOFTWARE\\Lockheed Martin\\Prepar3D v5";
    case 6:
        return "SOFTWARE\\Lockheed Martin\\Prepar3D v6";
    default:
        return nullptr;
    }
}

} // namespace

unsigned gf_tryOpenRegistryKey(reg::Root root, std::string_view subKey, reg::Key& key)
{
    std::string refusal;
    const unsigned rc = reg::openKey(root, subKey, key, &refusal);
    if (!refusal.empty())
        gf_logLineMarked(refusal);
    return rc;
}

reg::Key gf_openRegistryKey(reg::Root root, std::string_view subKey)
{
    reg::Key key;
    if (unsigned rc = gf_tryOpenRegistryKey(root, subKey, key); rc != reg::kSuccess)
        throw winreg::RegException(rc, "RegOpenKeyExW failed.");
    return key;
}

std::string gf_readRegistryString(const reg::Key& key, std::string_view valueName)
{
    // Two steps as the registry asks for them: the size, then the value. Both
    // come from the same snapshot here, so only the first can fail.
    std::string value;
    if (unsigned rc = reg::getString(key, valueName, value); rc != reg::kSuccess)
        throw winreg::RegException(rc, "Cannot get size of string value: RegGetValueW failed.");
    return value;
}

bool gf_isP3dInstalled(int major)
{
    const char* path = lf_p3dKey(major);
    if (!path)
        return false;
    try {
        gf_openRegistryKey(reg::Root::LocalMachine, path);
        return true;
    } catch (const winreg::RegException&) {
        return false;
    }
}

std::string gf_p3dSetupPath(int major)
{
    const char* path = lf_p3dKey(major);
    if (!path)
        return {};
    try {
        const auto key = gf_openRegistryKey(reg::Root::LocalMachine, path);
        return gf_readRegistryString(key, "SetupPath");
    } catch (const winreg::RegException&) {
        return {};
    }
}

InstalledSimulators gf_detectInstalledSimulators()
{
    return InstalledSimulators{gf_isP3dInstalled(4), gf_isP3dInstalled(5), gf_isP3dInstalled(6)};
}
