#include "foundation/settings.hpp"

#include "foundation/log.hpp"
#include "foundation/time.hpp"
#include "foundation/version.hpp"

#include <fmt/format.h>

using tzo::BoolParameter;
using tzo::BoolParameterCheckBox;
using tzo::FloatParameterField;
using tzo::IntParameter;
using tzo::IntParameterField;
using tzo::ParamButton;
using tzo::StringParameter;
using tzo::StringParameterField;

BoolParameter RANDOM{"RANDOM", true};

BoolParameterCheckBox AEROWINX{"AEROWINX", false, 32775, 203};
BoolParameterCheckBox COLLISION_USER_AIR{"COLLISION_USER_AIR", true, 32833, 287};
BoolParameterCheckBox COLLISION_USER_GND{"COLLISION_USER_GND", true, 32834, 287};
BoolParameterCheckBox COLLISION_LIVE_PARKED_GND{"COLLISION_LIVE_PARKED_GND", false, 32835, 287};
BoolParameterCheckBox SUPPRESS_STUB{"SUPPRESS_STUB", true, 32800, 147};
BoolParameterCheckBox LOG{"LOG", true, 32779, 147};
BoolParameterCheckBox ALWAYS_ON_TOP{"ALWAYS_ON_TOP", false, 32771, 147};
BoolParameterCheckBox SCAN_LIVERIES{"SCAN_LIVERIES", true, 32797, 147};
BoolParameterCheckBox LIG_AUTOMATIC{"LIG_AUTOMATIC", true, 32798, 147};
BoolParameterCheckBox LIG_PRIORITIZE{"LIG_PRIORITIZE", false, 32799, 147};
BoolParameterCheckBox SCAN_AIRPORTS{"SCAN_AIRPORTS", true, 32802, 175};
BoolParameterCheckBox AFG_AUTOMATIC{"AFG_AUTOMATIC", true, 32803, 175};
BoolParameterCheckBox LIGHT_AIRCRAFT{"LIGHT_AIRCRAFT", true, 32809, 203};
BoolParameterCheckBox HELICOPTERS{"HELICOPTERS", true, 32810, 203};
BoolParameterCheckBox HIGH_PERF_AIRCRAFT{"HIGH_PERF_AIRCRAFT", true, 32811, 203};
BoolParameterCheckBox NAV_LIGHTS_WHILE_PARKED{"NAV_LIGHTS_WHILE_PARKED", true, 32778, 175};
BoolParameterCheckBox AUTO_RANGE{"AUTO_RANGE", true, 32819, 231};
BoolParameterCheckBox LEARN_SOFT{"LEARN_SOFT", true, 32777, 175};
BoolParameterCheckBox PARK_SOFT{"PARK_SOFT", true, 32850, 343};
BoolParameterCheckBox PARK_FAKE{"PARK_FAKE", false, 32856, 343};
BoolParameterCheckBox WEEK{"WEEK", false, 32852, 343};
BoolParameterCheckBox INITIAL_LOAD_ONLY{"INITIAL_LOAD_ONLY", false, 32849, 343};
BoolParameterCheckBox GUID_CHANGES{"GUID_CHANGES", true, 32773, 203};

IntParameter CUSTOM_PARKING_PERCENTAGE{"CUSTOM_PARKING_PERCENTAGE", -1, -1, 100};
IntParameter MAIN_WINDOW_X{"MAIN_WINDOW_X", 400, -30000, 30000};
IntParameter MAIN_WINDOW_Y{"MAIN_WINDOW_Y", 20, -30000, 30000};
IntParameter LAST_EPOCH_TIME{"LAST_EPOCH_TIME", 0, 0, 2147483647};
IntParameter P3D_VERSION{"P3D_VERSION", 5, 5, 6};

IntParameterField MATCHING_DEPTH{"MATCHING_DEPTH", 4, 1, 4, 32808, 203};
IntParameterField LATERAL_RANGE{"LATERAL_RANGE", 40, 2, 100, 32818, 231};
IntParameterField MAX_FIT{"MAX_FIT", 47, 0, 47, 32851, 343};
IntParameterField MAX_LIVE{"MAX_LIVE", 300, 6, 300, 32820, 231};
IntParameterField AIRPORT_RANGE{"AIRPORT_RANGE", 20, 8, 30, 32839, 315};
IntParameterField AIRPORT_HEIGHT{"AIRPORT_HEIGHT", 18000, 2000, 45000, 32840, 315};

StringParameter PROGRAM_VERSION{"PROGRAM_VERSION", ""};
StringParameter PORT_NUMBER{"PORT_NUMBER", "10747"};
StringParameter lfolder0{"lfolder0", ""};
StringParameter lfolder1{"lfolder1", ""};
StringParameter lfolder2{"lfolder2", ""};
StringParameter lfolder3{"lfolder3", ""};
StringParameter lfolder4{"lfolder4", ""};
StringParameter lfolder5{"lfolder5", ""};
StringParameter lfolder6{"lfolder6", ""};
StringParameter lfolder7{"lfolder7", ""};
StringParameter lfolder8{"lfolder8", ""};
StringParameter lfolder9{"lfolder9", ""};
StringParameter afolder0{"afolder0", ""};
StringParameter afolder1{"afolder1", ""};
StringParameter afolder2{"afolder2", ""};
StringParameter afolder3{"afolder3", ""};
StringParameter afolder4{"afolder4", ""};
StringParameter afolder5{"afolder5", ""};
StringParameter afolder6{"afolder6", ""};
StringParameter afolder7{"afolder7", ""};
StringParameter afolder8{"afolder8", ""};
StringParameter afolder9{"afolder9", ""};
StringParameter PROGRAM_INSTALL_PATH{"PROGRAM_INSTALL_PATH", ""};
StringParameter ARCHIVE_VERSION{"ARCHIVE_VERSION", ""};
StringParameter DBASE_VERSION{"DBASE_VERSION", ""};
StringParameter AIG_VERSION{"AIG_VERSION", ""};
StringParameter DATA_CHECKED_AT_DATE{"DATA_CHECKED_AT_DATE", ""};

StringParameterField BLOCK_CALLSIGN{"BLOCK_CALLSIGN", "", 32828, 259};
StringParameterField SIM_INSTALL_PATH{"SIM_INSTALL_PATH", "", 32788, 119};

FloatParameterField MAX_FIT_FL{"MAX_FIT_FL", 24.0f, 0.5f, 24.0f, 32853, 343};
IntParameterField parking_percentage{"parking_percentage", 30, 0, 100, 32848, 343};
StringParameter author{"author", ""};
StringParameter date{"date", ""};
StringParameter version{"version", ""};
StringParameter copyright{"copyright", kCopyrightText};
ParamButton FLUSH_STATIC{"Flush static", 32855, 341};
ParamButton CHECK_VERSION{"Check version", 32780, 229};
ParamButton UNBLOCK{"Unblock", 32829, 257};
ParamButton RE_READ{"Re-read", 32838, 341};

const std::array<StringParameter*, 10> g_liveryFolderSettings{&lfolder0, &lfolder1, &lfolder2, &lfolder3,
                                                              &lfolder4, &lfolder5, &lfolder6, &lfolder7,
                                                              &lfolder8, &lfolder9};
const std::array<StringParameter*, 10> g_addonFolderSettings{&afolder0, &afolder1, &afolder2, &afolder3,
                                                             &afolder4, &afolder5, &afolder6, &afolder7,
                                                             &afolder8, &afolder9};

const std::array<const char*, 7> g_obsoleteParameterNames{"TIME_COMPRESSION_CHECK", "SECONDS_DELAY",
                                                          "FLIGHTPLANS_FOLDER",     "CALLSIGN_OBJECTID",
                                                          "DESTINATION_AIRPORT",    "DESTINATION_GATE",
                                                          "MAX_FIT_WEEK"};

const tzo::ParameterLists& gf_storedSettings()
{
    // Never destroyed: detached threads may still save while the program ends.
    static const auto* lists = new tzo::ParameterLists{
        {&RANDOM},
        {&AEROWINX, &COLLISION_USER_AIR, &COLLISION_USER_GND, &COLLISION_LIVE_PARKED_GND, &SUPPRESS_STUB, &LOG,
         &ALWAYS_ON_TOP, &SCAN_LIVERIES, &LIG_AUTOMATIC, &LIG_PRIORITIZE, &SCAN_AIRPORTS, &AFG_AUTOMATIC,
         &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT, &NAV_LIGHTS_WHILE_PARKED, &AUTO_RANGE, &LEARN_SOFT,
         &PARK_SOFT, &PARK_FAKE, &WEEK, &INITIAL_LOAD_ONLY, &GUID_CHANGES},
        {&CUSTOM_PARKING_PERCENTAGE, &MAIN_WINDOW_X, &MAIN_WINDOW_Y, &LAST_EPOCH_TIME, &P3D_VERSION},
        {&MATCHING_DEPTH, &LATERAL_RANGE, &MAX_FIT, &MAX_LIVE, &AIRPORT_RANGE, &AIRPORT_HEIGHT},
        {&PROGRAM_VERSION, &PORT_NUMBER, &lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4, &lfolder5,
         &lfolder6, &lfolder7, &lfolder8, &lfolder9, &afolder0, &afolder1, &afolder2, &afolder3, &afolder4,
         &afolder5, &afolder6, &afolder7, &afolder8, &afolder9, &PROGRAM_INSTALL_PATH, &ARCHIVE_VERSION,
         &DBASE_VERSION, &AIG_VERSION, &DATA_CHECKED_AT_DATE},
        {&BLOCK_CALLSIGN, &SIM_INSTALL_PATH},
    };
    return *lists;
}

namespace {

// A save that finds no readable file writes every stored setting; the table
// makes itself known for that before the entry runs.
const bool lf_tableRegistered = (gf_setParameterLists(gf_storedSettings()), true);

} // namespace

void gf_readSettings()
{
    gf_readParameters(gf_storedSettings());
}
