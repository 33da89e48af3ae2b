#pragma once
// What the post-scan processing tells about the installed liveries: the
// models with a generic livery and, per aircraft category, the number of
// liveries and their models. A category of which nothing is installed is
// switched off where the user has a setting for it.

#include "refdata/aircraft_category.hpp"

namespace tzo {

// "No generic liveries", or the count and the models of the "ZZZ" airline.
void lf_reportGenericLiveries();

// The line of the category and its models (which fill the installed-model
// lists of Light, Buzjets and Rotorcraft); or "No livery found", with the
// Helicopters, High Perf or light aircraft setting switched off and saved and
// its check box disabled.
void lf_reportCategory(AircraftCategory category);

} // namespace tzo
