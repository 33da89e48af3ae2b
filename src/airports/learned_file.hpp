#pragma once
// The learned airport file laid over the park airport's stands: learned
// options, radius and cargo corrections, stands added by hand, the settings
// the airport brings, or (handmade) a whole stand list of its own.
//
// The file is the user's data: when it is found but not used in full (not
// well-formed, header refused, handmade stands unreadable, unreadable file),
// a copy is kept beside it before anything can save over it.

#include "airports/park_pos.hpp"

#include <pugixml.hpp>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Merges the learned file into `stands` and applies its settings. Sets
// `handmade` when the file is handmade (its stands then replace `stands`).
void lf_readLearned(const std::filesystem::path& path, const std::string& airportName,
                    std::vector<tzo::ParkPos>& stands, std::atomic<bool>& handmade);

// The same for a document already loaded (path names the file in log lines
// and for its copy).
void lf_readLearnedDocument(const pugi::xml_document& doc, const std::filesystem::path& path,
                            const std::string& airportName, std::vector<tzo::ParkPos>& stands,
                            std::atomic<bool>& handmade);

// Set when a learned file could not be kept aside although it was not used in
// full: saving over it would lose it, so the park airport's close saves nothing.
extern std::atomic<bool> learnedSaveForbidden;

// The copy kept of a learned file: EDDF.xml gives EDDF0.xml; when an earlier,
// different copy is there, EDDF0-2.xml, EDDF0-3.xml ...; an identical copy is
// reused. A file larger than any the reader takes is moved there instead of
// copied. Empty when no copy could be made.
std::optional<std::filesystem::path> lf_keepCopyOf(const std::filesystem::path& path);

// Brings AUTO_RANGE's remembered LATERAL_RANGE back to the setting's value
// (start, tests).
void gf_resetRememberedRange();
