// Any bytes as the simulator's package files: the user's "add-ons.cfg", a
// package's "add-on.xml" and "simobjects.cfg". Nothing may crash, and every
// folder found is a non-empty text.

#include "foundation/settings.hpp"
#include "liveries/addon_packages.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void lf_write(const fs::path& path, const std::uint8_t* data, std::size_t size)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fs::path base = fs::absolute("addon_packages_fuzz." + std::to_string(::getpid()));
    static const bool ready = [] {
        ::setenv("NORVANE_APPDATA", (base / "roaming").c_str(), 1);
        ::setenv("NORVANE_PROGRAMDATA", (base / "programdata").c_str(), 1);
        SIM_INSTALL_PATH.setValue((base / "Prepar3D v5").string());
        return true;
    }();
    (void)ready;

    lf_write(lf_addOnsCfgPath(), data, size);
    lf_write(lf_simObjectsCfgPath(), data, size);
    lf_write(base / "package" / "add-on.xml", data, size);

    std::vector<std::string> folders;
    lf_readAddOnsCfg(folders);
    lf_readSimObjectsCfg(folders);
    lf_exploreAddOnXml(folders, (base / "package").string());
    for (const auto& folder : folders)
        if (folder.empty())
            std::abort();
    return 0;
}
