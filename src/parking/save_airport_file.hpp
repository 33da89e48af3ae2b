#pragma once
// Saving what was learned at the park airport into its learned airport file
// when the park airport is closed.

// Writes the park airport's stands as its learned file and reports it on the
// status line; afterwards the count of stand updates and the
// parameters-changed flag are 0 when the file was written. True then.
bool gf_saveAirportFile();
// Makes gf_saveAirportFile the save that closing the park airport calls.
void gf_installParkingSave();
