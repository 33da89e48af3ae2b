#pragma once
// The SimObjects folders of the simulator's installed content, for a livery
// scan with LIG_AUTOMATIC on: the active packages of the user's "add-ons.cfg"
// (each described by its "add-on.xml") and the active entries of
// "simobjects.cfg". The files are read line by line, tolerantly, as the
// simulator's own tools write them; every folder found is appended to the
// scan's folder list in the order found, which is its priority.

#include <filesystem>
#include <string>
#include <vector>

// "<roaming>/Lockheed Martin/Prepar3D v<5|6>/add-ons.cfg"; empty when the
// platform has no roaming folder.
std::filesystem::path lf_addOnsCfgPath();
// "<simulator ProgramData>/Lockheed Martin/Prepar3D v<5|6>/simobjects.cfg";
// empty when there is no such folder.
std::filesystem::path lf_simObjectsCfgPath();

// Appends the SimObjects folders of the active packages of "add-ons.cfg".
void lf_readAddOnsCfg(std::vector<std::string>& folders);
// Appends the folders of the active entries of "simobjects.cfg".
void lf_readSimObjectsCfg(std::vector<std::string>& folders);
// Appends the SimObjects folders that the package's "add-on.xml" names: a
// relative <Path> is taken inside the package folder, as the simulator does.
void lf_exploreAddOnXml(std::vector<std::string>& folders, const std::string& packageFolder);

// The path text with the separators of this platform ('\' and '/' both name
// folders in the simulator's files).
std::string lf_localPathText(std::string text);
