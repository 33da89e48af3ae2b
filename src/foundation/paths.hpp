#pragma once
// Every folder and file location of the program. Two roots: the program
// folder, which is the current working folder at start (all relative paths
// below resolve against it), and the data folder under the user's roaming
// application data, which holds the settings file.

#include <filesystem>
#include <string>

// The user's roaming application-data folder; empty when the platform cannot
// name one (the data folder then becomes relative to the program folder).
std::filesystem::path gf_knownFolderPath();

// Data folder: roaming application data, then "Norvane_P3D".
extern std::filesystem::path g_dataFolder;
// "parameters.xml" in the data folder, as UTF-8 text.
extern std::string g_parametersPath;

// Sets g_dataFolder and g_parametersPath from the platform's current answer.
// It runs while the globals are built, before the entry; tests that move the
// roaming folder with an environment variable call it again, before any other
// thread reads the paths.
void gf_initDataFolder();

// Names joined to other roots by the airport and update code.
extern const std::filesystem::path g_dataFolderName;          // "Norvane_P3D"
extern const std::filesystem::path g_parametersFileName;      // "parameters.xml"
extern const std::filesystem::path g_flightPlanFolderName;    // "orig_dest", inside the data folder
extern const std::filesystem::path g_archiveFolderName;       // "archive"
extern const std::filesystem::path g_stockFolderName;         // "stock"
extern const std::filesystem::path g_orbxFolderName;          // "ORBX"
extern const std::filesystem::path g_thirdpartyFolderName;    // "thirdparty"
extern const std::filesystem::path g_learnedFolderName;       // "learned"
extern const std::filesystem::path g_aigRegcodesFolderName;   // "regcodesAIG"
extern const std::filesystem::path g_aigRegcodesFileName;     // "AIG-regcodes.xml"
extern const std::filesystem::path g_dbaseFileName;           // "dbase.xml"
extern const std::filesystem::path g_versionFileName;         // "version.json"
extern const std::filesystem::path g_installerExeName;        // "install_new_version.exe"
extern const std::filesystem::path g_archiveZipPath;          // "archive.zip"
extern const std::filesystem::path g_realTrafficFolderName;   // "InsideSystems", under roaming application data

// Locations relative to the program folder.
extern const std::filesystem::path g_inputFolder;              // input
extern const std::filesystem::path g_myRegcodesFolder;         // input/my_regcodes
extern const std::filesystem::path g_aigRegcodesPath;          // input/regcodesAIG/AIG-regcodes.xml
extern const std::filesystem::path g_dbasePath;                // input/dbase.xml
extern const std::filesystem::path g_airportsListPath;         // input/airports_p3d.xml
extern const std::filesystem::path g_outputFolder;             // output
extern const std::filesystem::path g_outputInfoFolder;         // output/info
extern const std::filesystem::path g_outputErrorsFolder;       // output/errors
extern const std::filesystem::path g_liveriesScannedPath;      // output/LiveriesScanned.xml
extern const std::filesystem::path g_docsFolder;               // docs
extern const std::filesystem::path g_airportsFolder;           // airports
extern const std::filesystem::path g_archiveFolder;            // airports/archive
extern const std::filesystem::path g_archiveStockFolder;       // airports/archive/stock
extern const std::filesystem::path g_archiveOrbxFolder;        // airports/archive/ORBX
extern const std::filesystem::path g_archiveThirdpartyFolder;  // airports/archive/thirdparty
extern const std::filesystem::path g_learnedFolder;            // airports/learned
extern const std::filesystem::path g_learnedStockFolder;       // airports/learned/stock
extern const std::filesystem::path g_learnedOrbxFolder;        // airports/learned/ORBX
extern const std::filesystem::path g_learnedThirdpartyFolder;  // airports/learned/thirdparty
extern const std::filesystem::path g_myOrbxFolder;             // airports/my_ORBX
extern const std::filesystem::path g_myThirdpartyFolder;       // airports/my_thirdparty
extern const std::filesystem::path g_myParkAirportsPath;       // airports/my_park_airports.txt
extern const std::filesystem::path g_toBeLearnedFolder;        // TO_BE_LEARNED_OFFLINE
