#include "foundation/p3d_version.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/settings.hpp"

#include <fmt/format.h>

std::string gf_p3dVersionFromPath()
{
    const std::string path = SIM_INSTALL_PATH.value();
    auto holds = [&](const char* part) { return path.find(part) != std::string::npos; };
    if (holds("v5") || holds("V5"))
        return "5";
    if (holds("v6") || holds("V6"))
        return "6";
    if (P3D_VERSION.value() >= 5)
        return std::to_string(P3D_VERSION.value());
    throw tzo::UserErrorException(
        77, fmt::format("P3D install path does not contain v5 or v6? Use hidden parameter {}, set it at 5 or 6",
                        "P3D_VERSION"));
}

std::filesystem::path gf_simulatorFolderBelow(const std::filesystem::path& root)
{
    if (root.empty())
        return {};
    return root / "Lockheed Martin" / ("Prepar3D v" + gf_p3dVersionFromPath());
}

std::string gf_listFileText(const std::filesystem::path& path, std::string_view fileName,
                            std::string_view unknownFolder)
{
    return path.empty() ? fmt::format("{} ({})", fileName, unknownFolder) : path.string();
}
