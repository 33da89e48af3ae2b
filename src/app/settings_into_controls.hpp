#pragma once

// What each start-up does with the settings until operations start: reads
// "parameters.xml", derives the traffic range and the remembered manual
// range from LATERAL_RANGE, and brings every value into its control, with the
// controls enabled as a running program has them.
void gf_loadSettingsIntoControls();

// Every stored value into its control, as the window shows them at start.
void gf_showStoredSettings();
