#include "foundation/paths.hpp"

#include "platform/folders.hpp"

namespace fs = std::filesystem;

// The globals are defined in dependency order: within one source file C++
// constructs them top to bottom, so the joined paths below can use the names.

const fs::path g_dataFolderName{"Norvane_P3D"};
const fs::path g_parametersFileName{"parameters.xml"};
const fs::path g_flightPlanFolderName{"orig_dest"};
const fs::path g_archiveFolderName{"archive"};
const fs::path g_stockFolderName{"stock"};
const fs::path g_orbxFolderName{"ORBX"};
const fs::path g_thirdpartyFolderName{"thirdparty"};
const fs::path g_learnedFolderName{"learned"};
const fs::path g_aigRegcodesFolderName{"regcodesAIG"};
const fs::path g_aigRegcodesFileName{"AIG-regcodes.xml"};
const fs::path g_dbaseFileName{"dbase.xml"};
const fs::path g_versionFileName{"version.json"};
const fs::path g_installerExeName{"install_new_version.exe"};
const fs::path g_archiveZipPath{"archive.zip"};
const fs::path g_realTrafficFolderName{"InsideSystems"};

const fs::path g_inputFolder{"input"};
const fs::path g_myRegcodesFolder = g_inputFolder / "my_regcodes";
const fs::path g_aigRegcodesPath = g_inputFolder / g_aigRegcodesFolderName / g_aigRegcodesFileName;
const fs::path g_dbasePath = g_inputFolder / g_dbaseFileName;
const fs::path g_airportsListPath = g_inputFolder / "airports_p3d.xml";
const fs::path g_outputFolder{"output"};
const fs::path g_outputInfoFolder = g_outputFolder / "info";
const fs::path g_outputErrorsFolder = g_outputFolder / "errors";
const fs::path g_liveriesScannedPath = g_outputFolder / "LiveriesScanned.xml";
const fs::path g_docsFolder{"docs"};
const fs::path g_airportsFolder{"airports"};
const fs::path g_archiveFolder = g_airportsFolder / g_archiveFolderName;
const fs::path g_archiveStockFolder = g_archiveFolder / g_stockFolderName;
const fs::path g_archiveOrbxFolder = g_archiveFolder / g_orbxFolderName;
const fs::path g_archiveThirdpartyFolder = g_archiveFolder / g_thirdpartyFolderName;
const fs::path g_learnedFolder = g_airportsFolder / g_learnedFolderName;
const fs::path g_learnedStockFolder = g_learnedFolder / g_stockFolderName;
const fs::path g_learnedOrbxFolder = g_learnedFolder / g_orbxFolderName;
const fs::path g_learnedThirdpartyFolder = g_learnedFolder / g_thirdpartyFolderName;
const fs::path g_myOrbxFolder = g_airportsFolder / "my_ORBX";
const fs::path g_myThirdpartyFolder = g_airportsFolder / "my_thirdparty";
const fs::path g_myParkAirportsPath = g_airportsFolder / "my_park_airports.txt";
const fs::path g_toBeLearnedFolder{"TO_BE_LEARNED_OFFLINE"};

fs::path gf_knownFolderPath()
{
    return platform::roamingAppDataFolder();
}

fs::path g_dataFolder;
std::string g_parametersPath;

void gf_initDataFolder()
{
    // An unknown roaming folder leaves the data folder relative, inside the
    // program folder.
    g_dataFolder = gf_knownFolderPath() / g_dataFolderName;
    g_parametersPath = (g_dataFolder / g_parametersFileName).string();
}

namespace {
// The program's own setting, made while the globals are built.
[[maybe_unused]] const bool dataFolderSet = (gf_initDataFolder(), true);
} // namespace
