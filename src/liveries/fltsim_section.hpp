#pragma once
// One [fltsim.N] section of an aircraft.cfg into checked liveries: one per
// airline code of its atc_parking_codes line, each title used once per scan.
// Every fault costs a report line (or a log line) and only the section, or
// only the one airline code, concerned.

#include "liveries/livery_data.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The registration of a livery holds at most this many bytes.
inline constexpr std::size_t kMaxRegistrationBytes = 12;

// The keys one section has said so far. The first model, sim and texture line
// count; a repeated title, atc_parking_codes, atc_parking_types or atc_id key
// ends the section.
struct CfgSectionKeys {
    std::string header;
    std::string title;
    std::string parkingCodes;
    std::string parkingTypes;
    std::string registration;
    std::string model;
    std::string sim;
    std::string texture;
};

// Where the kinds of aircraft.cfg differ in reading a section.
struct CfgSectionRules {
    bool readParkingCodes = true;
    // Logs the title before and after its surrounding spaces were removed.
    void (*logTitleTrimmed)(const std::string& title, const std::string& trimmed) = nullptr;
    std::string (*normalizeParkingTypes)(const std::string& value) = nullptr;
    // atc_id read the IVAO way: the whole value, fewer checks, other texts.
    bool ivaoRegistration = false;
    // The flight-model file is looked for before the texture folder.
    bool airFileBeforeTexture = false;
};

// Reads the section's lines into keys; false when a repeated key ends the
// section (reported as incomplete).
bool lf_readSectionKeys(CfgSectionKeys& keys, const std::vector<std::string>& lines,
                        const std::filesystem::path& folder, const CfgSectionRules& rules);

// The model and texture folders and the flight-model file, relative to the
// aircraft.cfg's folder and below root, the SimObjects folder scanned (Windows
// paths: "sim=..\\Shared\\B738" is a flight model beside the aircraft's
// folder); false after reporting the first one missing or leaving root.
bool lf_hasSectionFiles(const CfgSectionKeys& keys, const std::filesystem::path& folder, const CfgSectionRules& rules,
                        const std::filesystem::path& root);

// Reports the section as incomplete: "<folder> <header> <what>".
void lf_reportIncompleteSection(const std::filesystem::path& folder, const CfgSectionKeys& keys, std::string_view what);

// The liveries of one section. sectionLines start with the header line and are
// consumed (trailing empty and "//" lines are removed). type is the file's
// model code, cfgPath the aircraft.cfg, folder the folder holding it and root
// the SimObjects folder below which its files must lie (empty: folder). Any
// exception is logged with the file's path and raised again.
std::vector<tzo::LiveryData> lf_procesFltSimSection(std::uint32_t priority, std::vector<std::string>& sectionLines,
                                                    const std::string& type, const std::filesystem::path& cfgPath,
                                                    const std::filesystem::path& folder,
                                                    const std::filesystem::path& root = {});

// The livery; with uniqueTitle the title is first claimed in scanTitles, and a
// title already claimed gives the empty record (empty airl).
tzo::LiveryData lf_makeLiveryData(std::uint32_t priority, const std::string& airl, const std::string& type, bool cargo,
                                  const std::string& title, const std::string& atcid, bool uniqueTitle);

// Aircraft makers' codes that packages put where an airline belongs.
bool lf_isManufacturerCode(std::string_view code);

// The items between commas, each trimmed.
std::vector<std::string> lf_splitCommaList(std::string_view text);
