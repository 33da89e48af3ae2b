#pragma once
// Every setting of the program, one global object each, named as in the
// settings file (for the push buttons: after their label).

#include "foundation/parameters.hpp"

#include <array>

// Stored in "parameters.xml". List B: plain booleans.
extern tzo::BoolParameter RANDOM;

// List C: check boxes, in the order of writing.
extern tzo::BoolParameterCheckBox AEROWINX;
extern tzo::BoolParameterCheckBox COLLISION_USER_AIR;
extern tzo::BoolParameterCheckBox COLLISION_USER_GND;
extern tzo::BoolParameterCheckBox COLLISION_LIVE_PARKED_GND;
extern tzo::BoolParameterCheckBox SUPPRESS_STUB;
extern tzo::BoolParameterCheckBox LOG;
extern tzo::BoolParameterCheckBox ALWAYS_ON_TOP;
extern tzo::BoolParameterCheckBox SCAN_LIVERIES;
extern tzo::BoolParameterCheckBox LIG_AUTOMATIC;
extern tzo::BoolParameterCheckBox LIG_PRIORITIZE;
extern tzo::BoolParameterCheckBox SCAN_AIRPORTS;
extern tzo::BoolParameterCheckBox AFG_AUTOMATIC;
extern tzo::BoolParameterCheckBox LIGHT_AIRCRAFT;
extern tzo::BoolParameterCheckBox HELICOPTERS;
extern tzo::BoolParameterCheckBox HIGH_PERF_AIRCRAFT;
extern tzo::BoolParameterCheckBox NAV_LIGHTS_WHILE_PARKED;
extern tzo::BoolParameterCheckBox AUTO_RANGE;
extern tzo::BoolParameterCheckBox LEARN_SOFT;
extern tzo::BoolParameterCheckBox PARK_SOFT;
extern tzo::BoolParameterCheckBox PARK_FAKE;
extern tzo::BoolParameterCheckBox WEEK;
extern tzo::BoolParameterCheckBox INITIAL_LOAD_ONLY;
extern tzo::BoolParameterCheckBox GUID_CHANGES;

// List I: plain integers.
extern tzo::IntParameter CUSTOM_PARKING_PERCENTAGE;
extern tzo::IntParameter MAIN_WINDOW_X;
extern tzo::IntParameter MAIN_WINDOW_Y;
extern tzo::IntParameter LAST_EPOCH_TIME;
extern tzo::IntParameter P3D_VERSION;

// List F: integer fields. MAX_FIT has no control of its own: the window edits
// it through MAX_FIT_FL, so its show() reaches the hook with a control id the
// window never creates.
extern tzo::IntParameterField MATCHING_DEPTH;
extern tzo::IntParameterField LATERAL_RANGE;
extern tzo::IntParameterField MAX_FIT;
extern tzo::IntParameterField MAX_LIVE;
extern tzo::IntParameterField AIRPORT_RANGE;
extern tzo::IntParameterField AIRPORT_HEIGHT;

// List S: plain strings.
extern tzo::StringParameter PROGRAM_VERSION;
extern tzo::StringParameter PORT_NUMBER;
extern tzo::StringParameter lfolder0;
extern tzo::StringParameter lfolder1;
extern tzo::StringParameter lfolder2;
extern tzo::StringParameter lfolder3;
extern tzo::StringParameter lfolder4;
extern tzo::StringParameter lfolder5;
extern tzo::StringParameter lfolder6;
extern tzo::StringParameter lfolder7;
extern tzo::StringParameter lfolder8;
extern tzo::StringParameter lfolder9;
extern tzo::StringParameter afolder0;
extern tzo::StringParameter afolder1;
extern tzo::StringParameter afolder2;
extern tzo::StringParameter afolder3;
extern tzo::StringParameter afolder4;
extern tzo::StringParameter afolder5;
extern tzo::StringParameter afolder6;
extern tzo::StringParameter afolder7;
extern tzo::StringParameter afolder8;
extern tzo::StringParameter afolder9;
extern tzo::StringParameter PROGRAM_INSTALL_PATH;
extern tzo::StringParameter ARCHIVE_VERSION;
extern tzo::StringParameter DBASE_VERSION;
extern tzo::StringParameter AIG_VERSION;
extern tzo::StringParameter DATA_CHECKED_AT_DATE;

// List T: string fields.
extern tzo::StringParameterField BLOCK_CALLSIGN;
extern tzo::StringParameterField SIM_INSTALL_PATH;

// Not stored in "parameters.xml".
extern tzo::FloatParameterField MAX_FIT_FL;
extern tzo::IntParameterField parking_percentage;
// The info items of data-file headers ("meta").
extern tzo::StringParameter author;
extern tzo::StringParameter date;
extern tzo::StringParameter version;
extern tzo::StringParameter copyright;
// Push buttons: "Flush static", "Check version", "Unblock", "Re-read".
extern tzo::ParamButton FLUSH_STATIC;
extern tzo::ParamButton CHECK_VERSION;
extern tzo::ParamButton UNBLOCK;
extern tzo::ParamButton RE_READ;

// lfolder0..lfolder9 and afolder0..afolder9, in order.
extern const std::array<tzo::StringParameter*, 10> g_liveryFolderSettings;
extern const std::array<tzo::StringParameter*, 10> g_addonFolderSettings;

// Names of settings of earlier versions, removed by the version update, in
// the order of removal.
extern const std::array<const char*, 7> g_obsoleteParameterNames;

// The program's copyright line, the default of `copyright`.
inline constexpr const char* kCopyrightText = "Copyright (c) Norvane_P3D. All rights reserved.";

// The six lists of the stored settings, in the order of reading and writing.
const tzo::ParameterLists& gf_storedSettings();

// gf_readParameters with the lists above: reads "parameters.xml" at start.
void gf_readSettings();

// Header of the program's XML data files: appends <meta> with the items
// "author", "version", "date" and "copyright" under node.
bool gf_writeMetaInfo(pugi::xml_node node);
// Loads "author", "date" and "version" from a data file's header into the
// settings of those names; false (and "meta data incorrect?") when one is missing.
bool gf_checkMetaInfo(const pugi::xml_node& doc);
