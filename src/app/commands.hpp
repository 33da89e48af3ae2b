#pragma once
// What the check boxes, buttons and edit fields of the main window do. Every
// change is saved into "parameters.xml" at once and acknowledged on the status
// line; work on the traffic tables is only requested (flags the main loop
// serves), so the window thread never waits for long.

#include "foundation/parameters.hpp"
#include "platform/ui/window.hpp"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The LATERAL_RANGE value remembered while the automatic range is on.
extern std::atomic<std::int32_t> manualRange;

// A click on a check box or button (the window's command message).
void lf_onCommand(ui::Window& window, int controlId);

// Enter in an integer field; true when the value changed. The caller does the
// field's follow-up (lf_commitIntField does both).
bool procesTbInt(tzo::IntParameterField& field);
void lf_commitIntField(tzo::IntParameterField& field);
// Enter in the fit field (MAX_FIT_FL); true when the value changed.
bool procesTbFloat(tzo::FloatParameterField& field);
void lf_commitFitField(tzo::FloatParameterField& field);

// Writes one integer setting into "parameters.xml".
void gf_saveParameter(tzo::IntParameter& parameter);

// A parking setting changed: while a park airport is active, the static
// parking is renewed at the next 15-second mark of the main loop.
void gf_requestParkingRenewal();

void lf_readInstallPathField();
void lf_onInstallPathEdit(const std::string& text);
void lf_onCallsignEdit();
void lf_unblockCallsign();

// Installs the commits above as what Enter in each edit field does.
void gf_installCommandHandlers();

// The update check behind "Check version". It runs on a worker thread and
// answers the text of what is out of date (empty: all is current), or nothing
// when no check could be made. The downloads install the real check; until
// then the default answers that no check is available.
using UpdateCheck = std::function<std::optional<std::string>()>;
void gf_installUpdateCheck(UpdateCheck check);
// True while a "Check version" worker runs (the entry must not tear the
// program down under it).
bool gf_updateCheckRunning();

// The navigation lights of every parked aircraft in the simulator set to
// NAV_LIGHTS_WHILE_PARKED; main loop only (it owns the traffic tables).
void gf_queueParkedNavLights();
