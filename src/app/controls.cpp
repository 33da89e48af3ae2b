#include "app/controls.hpp"

#include "airports/airport_scan.hpp"
#include "airports/airport_services.hpp"
#include "airports/park_airport_hooks.hpp"
#include "parking/hour_fit.hpp"
#include "parking/park_airports_file.hpp"
#include "parking/static_parking_driver.hpp"
#include "parking/static_parking_services.hpp"
#include "app/main_window.hpp"
#include "app/traffic_range.hpp"
#include "app/sim_window_hooks.hpp"
#include "app/status_line.hpp"
#include "app/window_state_lines.hpp"
#include "foundation/app_hooks.hpp"
#include "foundation/encoding.hpp"
#include "foundation/log.hpp"
#include "foundation/number_text.hpp"
#include "foundation/settings.hpp"
#include "liveries/livery_window.hpp"
#include "parking/static_parking_services.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/rt_messages.hpp"
#include "traffic/stand_search.hpp"
#include "traffic/new_aircraft.hpp"
#include "traffic/sim_events.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <forward_list>
#include <mutex>

namespace {

std::atomic<const EditCommitHandlers*> g_commitHandlers{nullptr};

const EditCommitHandlers* lf_commitHandlers()
{
    return g_commitHandlers.load(std::memory_order_acquire);
}

constexpr int kCheckBoxSize = 12;
constexpr int kEditHeight = 16;
constexpr int kWindowMargin = 5;
constexpr int kButtonHeight = 20;

int lf_row(const tzo::ParameterControl& control)
{
    return static_cast<int>(control.y());
}

// A setter reads the setting's value and writes it into the control as one
// step: otherwise two threads setting the same control may write their values
// in the other order than they set them, and the control keeps showing a value
// the setting no longer has. Window setters never wait for the window thread,
// so holding this is short.
std::mutex g_setterMutex;

// Sets a control's text as the Win32 setters do: the text must convert to
// UTF-16, or the control stays as it was and the failure is logged.
void lf_setControlText(std::uint16_t controlId, const std::string& text)
{
    try {
        (void)gf_utf8ToUtf16(text);
    } catch (const std::exception& e) {
        gf_logLine(e.what());
        return;
    }
    if (auto* window = currentWindow.load())
        window->setText(controlId, text);
}

void lf_hookSetChecked(tzo::BoolParameterCheckBox& box)
{
    std::lock_guard lock(g_setterMutex);
    if (auto* window = currentWindow.load())
        window->setChecked(box.controlId(), box.value());
}

void lf_hookShowIntField(tzo::IntParameterField& field)
{
    {
        std::lock_guard lock(g_setterMutex);
        lf_setControlText(field.controlId(), fmt::format("{}", field.value()));
    }
    gf_invalidateMainWindow(kControlsBand);
}

void lf_hookShowFloatField(tzo::FloatParameterField& field)
{
    {
        std::lock_guard lock(g_setterMutex);
        lf_setControlText(field.controlId(), gf_formatNumber(field.value()));
    }
    gf_invalidateMainWindow(kControlsBand);
}

void lf_hookShowStringField(tzo::StringParameterField& field)
{
    {
        std::lock_guard lock(g_setterMutex);
        lf_setControlText(field.controlId(), field.value());
    }
    gf_invalidateMainWindow(kControlsBand);
}

void lf_hookEnableControl(tzo::ParameterControl& control)
{
    if (auto* window = currentWindow.load())
        window->setEnabled(control.controlId(), true);
}

void lf_hookDisableControl(tzo::ParameterControl& control)
{
    if (auto* window = currentWindow.load())
        window->setEnabled(control.controlId(), false);
}

void lf_setStaticParkingControlsEnabled(bool enabled)
{
    auto* window = currentWindow.load();
    if (!window)
        return;
    for (auto* control : gf_staticParkingControls())
        window->setEnabled(control->controlId(), enabled);
}

} // namespace

void gf_createCheckBox(ui::Window& window, tzo::BoolParameterCheckBox& box, int x)
{
    const int y = lf_row(box) + 2;
    window.createCheckBox(box.controlId(), ui::Rect{x, y, x + kCheckBoxSize, y + kCheckBoxSize}, box.value());
}

namespace {

// A control as wide as asked, but never past the window's right edge, with
// the margin the left column keeps: what is typed into a field that runs out
// of sight cannot be read (the install path's field is asked for far wider).
int lf_rightEdge(int x, int width)
{
    return std::min(x + width, kMainWindowWidth - kWindowMargin);
}

} // namespace

void gf_createButton(ui::Window& window, tzo::ParamButton& button, int x, int width)
{
    const int y = lf_row(button);
    window.createButton(button.controlId(), button.name(), ui::Rect{x, y, lf_rightEdge(x, width), y + kButtonHeight},
                        false);
}

void gf_createEdit(ui::Window& window, tzo::ParameterControl& control, int x, int width,
                   ui::EditProcedure procedure)
{
    const int y = lf_row(control);
    window.createEdit(control.controlId(), ui::Rect{x, y, lf_rightEdge(x, width), y + kEditHeight}, false,
                      std::move(procedure));
}

void gf_installEditCommitHandlers(const EditCommitHandlers& handlers)
{
    // Every copy stays for the life of the process: the window thread may be
    // calling through a previous one. The list keeps them reachable.
    static std::mutex mutex;
    static auto* installed = new std::forward_list<EditCommitHandlers>;
    std::lock_guard lock(mutex);
    installed->push_front(handlers);
    g_commitHandlers.store(&installed->front(), std::memory_order_release);
}

bool lf_editSubclassProc(tzo::IntParameterField& field, char32_t key)
{
    if (key != U'\r')
        return false;
    gf_clearStatus();
    if (auto h = lf_commitHandlers(); h && h->intField)
        h->intField(field);
    return true;
}

bool lf_fitFieldProc(tzo::FloatParameterField& field, char32_t key)
{
    if (key != U'\r')
        return false;
    gf_clearStatus();
    // The fit belongs to the park airport: without one, Enter does nothing more.
    if (parkAirportActive.load())
        if (auto h = lf_commitHandlers(); h && h->fitField)
            h->fitField(field);
    return true;
}

bool lf_callsignFieldProc(char32_t key)
{
    if (key != U'\r')
        return false;
    gf_clearStatus();
    if (auto h = lf_commitHandlers(); h && h->callsignField)
        h->callsignField();
    return true;
}

bool lf_installPathFieldProc(char32_t key)
{
    if (key != U'\r')
        return false;
    gf_clearStatus();
    if (auto h = lf_commitHandlers(); h && h->installPathField)
        h->installPathField();
    return true;
}

namespace {

ui::EditProcedure lf_intFieldProcedure(tzo::IntParameterField& field)
{
    return [&field](ui::Window&, ui::ControlId, char32_t key) { return lf_editSubclassProc(field, key); };
}

} // namespace

void lf_onCreate(ui::Window& window)
{
    gf_createEdit(window, SIM_INSTALL_PATH, 126, 1200,
                  [](ui::Window&, ui::ControlId, char32_t key) { return lf_installPathFieldProc(key); });

    gf_createCheckBox(window, SCAN_LIVERIES, 5);
    gf_createCheckBox(window, LIG_AUTOMATIC, 217);
    gf_createCheckBox(window, LIG_PRIORITIZE, 323);
    gf_createCheckBox(window, SUPPRESS_STUB, 430);
    gf_createCheckBox(window, LOG, 652);
    gf_createCheckBox(window, ALWAYS_ON_TOP, 748);

    gf_createCheckBox(window, SCAN_AIRPORTS, 5);
    gf_createCheckBox(window, AFG_AUTOMATIC, 217);
    gf_createCheckBox(window, NAV_LIGHTS_WHILE_PARKED, 652);
    gf_createCheckBox(window, LEARN_SOFT, 748);

    gf_createEdit(window, MATCHING_DEPTH, 217, 24, lf_intFieldProcedure(MATCHING_DEPTH));

    gf_createCheckBox(window, LIGHT_AIRCRAFT, 323);
    gf_createCheckBox(window, HELICOPTERS, 430);
    gf_createCheckBox(window, HIGH_PERF_AIRCRAFT, 536);
    gf_createCheckBox(window, AEROWINX, 652);
    gf_createCheckBox(window, GUID_CHANGES, 748);

    gf_createEdit(window, LATERAL_RANGE, 217, 34, lf_intFieldProcedure(LATERAL_RANGE));
    gf_createCheckBox(window, AUTO_RANGE, 323);
    gf_createEdit(window, MAX_LIVE, 576, 34, lf_intFieldProcedure(MAX_LIVE));
    gf_createButton(window, CHECK_VERSION, 692, 120);

    gf_createCheckBox(window, COLLISION_USER_GND, 217);
    gf_createCheckBox(window, COLLISION_USER_AIR, 323);
    gf_createCheckBox(window, COLLISION_LIVE_PARKED_GND, 430);

    gf_createEdit(window, BLOCK_CALLSIGN, 217, 100,
                  [](ui::Window&, ui::ControlId, char32_t key) { return lf_callsignFieldProc(key); });
    gf_createButton(window, UNBLOCK, 323, 70);

    gf_createEdit(window, AIRPORT_RANGE, 343, 34, lf_intFieldProcedure(AIRPORT_RANGE));
    gf_createEdit(window, AIRPORT_HEIGHT, 586, 50, lf_intFieldProcedure(AIRPORT_HEIGHT));

    gf_createCheckBox(window, PARK_FAKE, 5);
    gf_createCheckBox(window, WEEK, 71);
    gf_createCheckBox(window, PARK_SOFT, 151);
    gf_createEdit(window, parking_percentage, 217, 34, lf_intFieldProcedure(parking_percentage));
    gf_createCheckBox(window, INITIAL_LOAD_ONLY, 323);
    gf_createEdit(window, MAX_FIT_FL, 460, 24,
                  [](ui::Window&, ui::ControlId, char32_t key) { return lf_fitFieldProc(MAX_FIT_FL, key); });
    gf_createButton(window, FLUSH_STATIC, 642, 90);
    gf_createButton(window, RE_READ, 758, 90);

    window.invalidate(kControlsBand);
}

void gf_clearControlText(std::uint16_t controlId)
{
    lf_setControlText(controlId, {});
}

bool lf_setInstallPath(std::string_view text)
{
    const bool saved = SIM_INSTALL_PATH.setAndSave(std::string(text));
    SIM_INSTALL_PATH.show();
    return saved;
}

const std::array<tzo::ParameterControl*, 8>& gf_staticParkingControls()
{
    static const std::array<tzo::ParameterControl*, 8> controls{
        &parking_percentage, &INITIAL_LOAD_ONLY, &PARK_FAKE, &PARK_SOFT, &MAX_FIT_FL, &WEEK, &FLUSH_STATIC, &RE_READ,
    };
    return controls;
}

void gf_disableControls()
{
    busy.store(true);
    lf_setStaticParkingControlsEnabled(false);
    gf_clearStatus();
    gf_invalidateMainWindow(kControlsBand);
}

void gf_enableControls()
{
    busy.store(false);
    lf_setStaticParkingControlsEnabled(true);
    gf_clearStatus();
    gf_invalidateMainWindow(kControlsBand);
}

void lf_showStaticParkingState()
{
    // Static parking keeps its state on the main loop; the window paints
    // these copies on its own thread.
    auto& o = mainWindowObject;
    o.parkAirportShown.store(airportFileRead.load());
    o.reservedStandOk.store(reservedStandPresent.load());
    o.myParkAirportsOk.store(parkAirportsOkay.load());
    o.maxPark.store(static_cast<std::int32_t>(wantedParkedShown.load()));
    o.staticParkingShown.store(softFitShown.load());
    o.parkAirportText.set(airportBoxText.get());
    // The busy label beside the parking controls and the park-airport box.
    gf_invalidateMainWindow(ui::Rect{0, kControlsBand.top, kMainWindowWidth, kParkAirportBox.bottom});
}

void gf_installMainWindowHooks()
{
    StaticParkingHooks parkingHooks;
    parkingHooks.disableControls = gf_disableControls;
    parkingHooks.enableControls = gf_enableControls;
    parkingHooks.repaint = lf_showStaticParkingState;
    gf_installStaticParkingHooks(parkingHooks);
    gf_installAirportScanRepaint([] { gf_invalidateMainWindow(kStatisticsBand); });
    // The RealTraffic indicators and the qnh and live texts beside them.
    gf_installLinkHooks(LinkHooks{[] {
        gf_invalidateMainWindow(kHeaderAndStatistics);
        tzo::gf_reportWindowState();
    }});
    tzo::ParameterControlHooks controlHooks;
    controlHooks.setChecked = lf_hookSetChecked;
    controlHooks.showIntField = lf_hookShowIntField;
    controlHooks.showFloatField = lf_hookShowFloatField;
    controlHooks.showStringField = lf_hookShowStringField;
    controlHooks.enableControl = lf_hookEnableControl;
    controlHooks.disableControl = lf_hookDisableControl;
    gf_installParameterControlHooks(controlHooks);

    AppHooks hooks = gf_appHooks();
    gf_fillStatusLineHooks(hooks);
    gf_installAppHooks(hooks);
    tzo::gf_installSimWindowHooks();

    tzo::RealTrafficHooks realTrafficHooks = tzo::gf_realTrafficHooks();
    realTrafficHooks.showRealTrafficText = [](std::string_view text) {
        mainWindowObject.realTrafficText.set(text);
        gf_invalidateMainWindow(kHeaderAndStatistics);
    };
    tzo::gf_installRealTrafficHooks(realTrafficHooks);
    // RealTraffic going away drops the live traffic with the next tick; new
    // aircraft keep off the stand the user reserved.
    gf_installTrafficHooks();
    gf_setReservedStandSource([] { return reservedStand.get(); });

    tzo::LiveryWindowHooks liveryHooks = tzo::gf_liveryWindowHooks();
    liveryHooks.showLiveryCount = [](std::int64_t count) {
        mainWindowObject.liveryCount.store(count);
        gf_invalidateMainWindow(kStatisticsBand);
    };
    tzo::gf_installLiveryWindowHooks(liveryHooks);

    // Static parking installs its save of the park airport's file itself.
    tzo::ParkAirportHooks parkHooks = gf_parkAirportHooks();
    parkHooks.updateTrafficRange = [] { tzo::gf_updateTrafficRange(); };
    parkHooks.fitsStandRadius = gf_fitsStandRadius;
    parkHooks.showParkAirport = [](const tzo::ParkAirportShown& shown) {
        mainWindowObject.standCount.store(shown.standCount);
        mainWindowObject.parkPublisherText.set(shown.publisher);
        mainWindowObject.handmadeAirport.store(shown.handmade);
        mainWindowObject.parkQualityText.set(shown.qualityText);
        mainWindowObject.parkAirportText.set(shown.airportText);
        gf_invalidateMainWindow(ui::Rect{0, 0, kMainWindowWidth, kMainWindowHeight});
    };
    parkHooks.clearFieldText = [](tzo::ParameterControl& control) {
        {
            std::lock_guard lock(g_setterMutex);
            lf_setControlText(control.controlId(), "");
        }
        gf_invalidateMainWindow(kControlsBand);
    };
    gf_installParkAirportHooks(parkHooks);
}
