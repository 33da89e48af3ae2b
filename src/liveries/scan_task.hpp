#pragma once
// The work of the livery scan on one aircraft configuration file, run on a
// worker thread of its own: read the file, check its section numbering and
// model code, cut it into [fltsim.N] sections and turn each into liveries.
// Files of an IVAO model-matching library take their model code from the
// folder name and their airline from the title instead.
//
// Both tasks lower runningWorkers exactly once when they end, whichever way:
// the walker raised it for them before they started.

#include "liveries/livery_data.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A file above this size is no aircraft.cfg; it is listed in invalidCfgFiles
// and not read (several tasks read at once, each holding its file whole).
inline constexpr std::uintmax_t kMaxCfgFileBytes = 16u * 1024u * 1024u;

// What a splitter works on while it goes through a file's lines.
struct CfgScanState {
    std::uint32_t priority = 0;
    std::filesystem::path cfgPath;
    std::filesystem::path folder; // the folder holding the file
    std::filesystem::path root;   // the SimObjects folder its files must lie below
    std::string type;             // the file's model code
    bool inSection = false;
    std::vector<std::string> sectionLines; // the pending section, its header first
    std::vector<tzo::LiveryData> result;
};

// The liveries of an ordinary file, in the order of its sections; empty when
// the file cannot be read, is too large, is numbered wrongly or has no usable
// model code. root is the SimObjects folder scanned, below which the files
// the sections name must lie (empty: the file's own folder). An exception is
// logged and raised again; the file is lost.
std::vector<tzo::LiveryData> lf_searchLiveriesinFile(std::uint32_t priority, const std::filesystem::path& cfgPath,
                                                     const std::filesystem::path& root);

// The same for a file below "IVAO_MTL" or "ivao_x-csl".
std::vector<tzo::LiveryData> lf_searchIvaoLiveriesinFile(std::uint32_t priority, const std::filesystem::path& cfgPath,
                                                         const std::filesystem::path& root);

// The pending section, when there is one, processed and emptied.
void lf_finishSection(CfgScanState& state, bool ivao);

// The folder part of the path's text, up to its last '\' or '/'; empty when
// it holds neither.
std::filesystem::path lf_cfgFolder(const std::filesystem::path& cfgPath);

// The model code of an IVAO file from its path (".../IVAO_MTL/IVAO_B738w/aircraft.cfg"
// gives "B738"; either separator), a code fix of it, or empty (reported).
std::string lf_fixIvaoModel(const std::filesystem::path& cfgPath);

// The livery of one IVAO section; the empty record (no airline) when it gives
// none. sectionLines start with the header and are consumed.
tzo::LiveryData lf_procesIvaoFltSimSection(std::uint32_t priority, std::vector<std::string>& sectionLines,
                                           const std::string& type, const std::filesystem::path& cfgPath,
                                           const std::filesystem::path& folder,
                                           const std::filesystem::path& root = {});
