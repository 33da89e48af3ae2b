#pragma once
// The child controls of the main window: their creation on the create
// message, the edit fields' own procedures, the setters that bring a
// setting's value into its control, and the switching of the static-parking
// controls while static parking works.

#include "foundation/parameters.hpp"
#include "platform/ui/window.hpp"

#include <array>
#include <string>
#include <string_view>

// Creation of one control for its setting, at the setting's control id and row.
// A check box: 12 by 12, 2 pixels below its row, checked from its value, enabled.
void gf_createCheckBox(ui::Window& window, tzo::BoolParameterCheckBox& box, int x);
// A push button labelled with the setting's name, width by 20, disabled.
void gf_createButton(ui::Window& window, tzo::ParamButton& button, int x, int width);
// An edit field, width by 16, empty and disabled, with its own procedure.
void gf_createEdit(ui::Window& window, tzo::ParameterControl& control, int x, int width,
                   ui::EditProcedure procedure);

// Creates every control of the main window in its place, then invalidates
// the controls band. Called by the window procedure on the create message.
void lf_onCreate(ui::Window& window);

// What Enter in an edit field commits. The commands of the window fill these
// in; an empty one commits nothing.
struct EditCommitHandlers {
    // MATCHING_DEPTH, LATERAL_RANGE, MAX_LIVE, AIRPORT_RANGE, AIRPORT_HEIGHT, parking_percentage.
    void (*intField)(tzo::IntParameterField& field) = nullptr;
    // MAX_FIT_FL, only while a park airport is active.
    void (*fitField)(tzo::FloatParameterField& field) = nullptr;
    void (*callsignField)() = nullptr;
    void (*installPathField)() = nullptr;
};
void gf_installEditCommitHandlers(const EditCommitHandlers& handlers);

// The edit fields' procedures: Enter clears the status line, commits the
// field and goes no further; every other key takes the field's own handling.
bool lf_editSubclassProc(tzo::IntParameterField& field, char32_t key);
bool lf_fitFieldProc(tzo::FloatParameterField& field, char32_t key);
bool lf_callsignFieldProc(char32_t key);
bool lf_installPathFieldProc(char32_t key);

// Setters, any thread; they find the control under currentWindow. Text that
// cannot be converted is logged and leaves the control as it was.
void gf_clearControlText(std::uint16_t controlId);
bool lf_setInstallPath(std::string_view text);

// Busy switching around each static-parking job: `busy`, then the eight
// static-parking controls disabled (enabled), the status line cleared and
// the controls band invalidated.
void gf_disableControls();
void gf_enableControls();

// Copies static parking's state (file read, reserved stand found, park
// airports okay, wanted number, soft fit, the airport's name) into the main
// window and repaints its parking rows; the repaint hook of static parking.
void lf_showStaticParkingState();

// The controls that busy switching disables, in order.
const std::array<tzo::ParameterControl*, 8>& gf_staticParkingControls();

// Installs the window's implementations: the control hooks of the settings
// and the status line, error line and exception reporter of app_hooks.hpp.
void gf_installMainWindowHooks();
