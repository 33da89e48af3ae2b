#include "app/settings_into_controls.hpp"

#include "app/commands.hpp"
#include "app/controls.hpp"
#include "app/main_window.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"

using namespace tzo;

void gf_showStoredSettings()
{
    const ParameterLists& lists = gf_storedSettings();
    for (auto* box : lists.checkBoxes)
        box->setChecked(box->value());
    // MAX_FIT has no field of its own: MAX_FIT_FL shows it in hours.
    for (auto* field : lists.intFields)
        if (field != &MAX_FIT)
            field->show();
    for (auto* field : lists.stringFields)
        field->show();
}

void gf_loadSettingsIntoControls()
{
    gf_readSettings();
    gf_rangeFromSetting();
    // Set here, not only when the automatic range is switched on: switching
    // it off before that would otherwise give a range of 0 nm.
    manualRange.store(LATERAL_RANGE.value());

    gf_showStoredSettings();
    parking_percentage.show();
    MAX_FIT_FL.setValue(static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f);
    MAX_FIT_FL.show();

    for (ParameterControl* control :
         std::initializer_list<ParameterControl*>{&BLOCK_CALLSIGN, &MAX_LIVE, &CHECK_VERSION, &SIM_INSTALL_PATH,
                                                  &AIRPORT_RANGE, &AIRPORT_HEIGHT, &MAX_FIT_FL, &MATCHING_DEPTH})
        gf_enableControl(*control);
    if (AUTO_RANGE.value())
        gf_disableControl(LATERAL_RANGE);
    else
        gf_enableControl(LATERAL_RANGE);
    gf_disableControl(LEARN_SOFT);
    gf_disableControl(parking_percentage);
    gf_disableControl(FLUSH_STATIC);
    if (BLOCK_CALLSIGN.empty())
        gf_disableControl(UNBLOCK);
    else
        gf_enableControl(UNBLOCK);
    if (auto* window = currentWindow.load())
        window->setTopmost(ALWAYS_ON_TOP.value());
    gf_invalidateMainWindow(ui::Rect{0, 0, kMainWindowWidth, kMainWindowHeight});
}
