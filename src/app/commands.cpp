#include "app/commands.hpp"

#include "airports/airport_services.hpp"
#include "app/main_window.hpp"
#include "app/controls.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/version.hpp"
#include "parking/static_parking_services.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/live_traffic.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <mutex>
#include <thread>

using namespace tzo;

std::atomic<std::int32_t> manualRange{0};

namespace {

constexpr std::size_t kFieldTextLimit = 511;
constexpr std::size_t kInstallPathLimit = 2047;
constexpr std::size_t kCallsignMin = 4;
constexpr std::size_t kCallsignMax = 8;
constexpr std::int32_t kMaxFitLimit = 47;
constexpr std::uint32_t kParkedPhase = 6;

// --- the edit fields' text ----------------------------------------------------

// The field's text as the window holds it, cut as the Win32 buffer would cut
// it; none without a window.
std::optional<std::string> lf_fieldText(const ParameterControl& control, std::size_t limit)
{
    // A restart clears currentWindow until the window's next message; the
    // field is still the main window's, and reading it as empty would reset
    // the setting to its default.
    const ui::Window* window = currentWindow.load();
    if (window == nullptr)
        window = mainWindowObject.mainWindow.load();
    if (window == nullptr)
        return std::nullopt;
    std::string text = window->text(control.controlId());
    if (text.size() > limit) {
        // Never cut inside a UTF-8 sequence.
        std::size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.resize(cut);
    }
    return text;
}

enum class IntParse { ok, noDigits, outOfRange };

// A base-10 number at the start of the text: blanks skipped, a sign, digits;
// what follows is ignored (as the C library's conversion does).
IntParse lf_parseLeadingInt(std::string_view text, std::int32_t& value)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    const char* begin = text.data() + i;
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+' && end - begin > 1 && std::isdigit(static_cast<unsigned char>(begin[1])))
        ++begin; // from_chars takes no plus sign
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec == std::errc::result_out_of_range)
        return IntParse::outOfRange;
    if (ec != std::errc())
        return IntParse::noDigits;
    (void)ptr;
    return IntParse::ok;
}

enum class FloatParse { ok, noNumber, outOfRange };

FloatParse lf_parseLeadingFloat(std::string_view text, float& value)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    const char* begin = text.data() + i;
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && *begin == '-')
            return FloatParse::noNumber;
    }
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec == std::errc::result_out_of_range)
        return FloatParse::outOfRange;
    // "nan" and "inf" are words, not numbers of hours.
    if (ec != std::errc() || !std::isfinite(value))
        return FloatParse::noNumber;
    (void)ptr;
    return FloatParse::ok;
}

// --- check boxes ----------------------------------------------------------------

BoolParameterCheckBox* lf_findCheckBox(int controlId)
{
    for (auto* box : gf_storedSettings().checkBoxes)
        if (box->controlId() == controlId)
            return box;
    return nullptr;
}

void lf_statusWhen(bool condition, std::string_view text)
{
    if (condition)
        gf_showStatus(text);
    else
        gf_clearStatus();
}

void lf_autoRange(bool on)
{
    parkAirportChanged.store(true);
    if (on) {
        manualRange.store(LATERAL_RANGE.value());
        // The range follows the user aircraft, which the main loop owns.
        updateRangePending.store(true);
        gf_disableControl(LATERAL_RANGE);
        return;
    }
    gf_enableControl(LATERAL_RANGE);
    LATERAL_RANGE.setValue(manualRange.load());
    gf_storeRange(LATERAL_RANGE.value());
    LATERAL_RANGE.show();
    gf_clearStatus();
}

void lf_checkBoxFollowUp(ui::Window& window, BoolParameterCheckBox& box, bool on)
{
    const std::string name(kProgramName);
    if (&box == &SCAN_LIVERIES)
        lf_statusWhen(on, fmt::format("Your liveries will be scanned at the next start of {}, recommended after you "
                                      "have add/removed AI aircraft models/liveries",
                                      name));
    else if (&box == &SCAN_AIRPORTS)
        lf_statusWhen(on, fmt::format("Your airports will be scanned at the next start of {}, recommended after you "
                                      "have add/removed airports",
                                      name));
    else if (&box == &LIG_AUTOMATIC)
        lf_statusWhen(!on, "The liveries defined by your lfolder parameters will be scanned");
    else if (&box == &LIG_PRIORITIZE)
        lf_statusWhen(on, "Liveries in lower lfolders that are already available will be skipped");
    else if (&box == &AFG_AUTOMATIC)
        lf_statusWhen(!on, "The airports defined by your afolder parameters will be scanned");
    else if (&box == &SUPPRESS_STUB)
        lf_statusWhen(on, "Exclude FSLTL-liveries titles ending with _STUB from scan");
    else if (&box == &ALWAYS_ON_TOP) {
        lf_statusWhen(on, fmt::format("{}'s window will remain visible", name));
        window.setTopmost(on);
    } else if (&box == &AEROWINX)
        lf_statusWhen(on, fmt::format("Note: This mode is for Aerowinx PSX users only, please re-start {}", name));
    else if (&box == &GUID_CHANGES)
        lf_statusWhen(!on, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc..");
    else if (&box == &LEARN_SOFT) {
        if (parkAirportActive.load())
            parkAirportChanged.store(true);
    } else if (&box == &NAV_LIGHTS_WHILE_PARKED)
        navLightsPending.store(true);
    else if (&box == &AUTO_RANGE)
        lf_autoRange(on);
    else if (&box == &PARK_SOFT || &box == &PARK_FAKE || &box == &WEEK)
        gf_requestParkingRenewal();
    else if (&box == &INITIAL_LOAD_ONLY) {
        lf_statusWhen(on, "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes");
        if (parkAirportActive.load())
            parkAirportChanged.store(true);
    } else if (&box == &COLLISION_LIVE_PARKED_GND)
        lf_statusWhen(!on, "Be aware, no collision avoidance with live aircraft vs parked static on the ground");
    else if (&box == &COLLISION_USER_GND)
        lf_statusWhen(!on, "Be aware, no collision avoidance with user aircraft on the ground");
    else if (&box == &COLLISION_USER_AIR)
        lf_statusWhen(!on, "Be aware, no collision avoidance with user aircraft in the air");
}

// --- Check version ----------------------------------------------------------------

std::mutex g_updateCheckMutex;
UpdateCheck g_updateCheck;
std::atomic<int> g_updateChecksRunning{0};

UpdateCheck lf_updateCheck()
{
    std::lock_guard lock(g_updateCheckMutex);
    return g_updateCheck;
}

void lf_runUpdateCheck(UpdateCheck check)
{
    try {
        const std::optional<std::string> outdated = check ? check() : std::nullopt;
        // No version information at all is a failed check, never "up to date".
        if (!check)
            gf_showStatus("The update check is not available", true);
        else if (!outdated)
            gf_showStatus("version check failed?", true);
        else if (outdated->empty())
            gf_showStatus(fmt::format("{} is up to date", kProgramName));
        else {
            DATA_CHECKED_AT_DATE.setAndSave("");
            gf_showStatus(fmt::format("{}  ( exit {} and restart )", *outdated, kProgramName));
        }
    } catch (...) {
        gf_logException("checkVersion");
    }
    g_updateChecksRunning.fetch_sub(1);
}

void lf_checkVersion()
{
    // Once per run: the button stays disabled whatever the answer.
    gf_disableControl(CHECK_VERSION);
    g_updateChecksRunning.fetch_add(1);
    try {
        std::thread(lf_runUpdateCheck, lf_updateCheck()).detach();
    } catch (const std::exception& e) {
        g_updateChecksRunning.fetch_sub(1);
        gf_logLine(fmt::format("Check version: no thread: {}", e.what()));
    }
}

} // namespace

void gf_installUpdateCheck(UpdateCheck check)
{
    std::lock_guard lock(g_updateCheckMutex);
    g_updateCheck = std::move(check);
}

bool gf_updateCheckRunning()
{
    return g_updateChecksRunning.load() > 0;
}

void lf_onCommand(ui::Window& window, int controlId)
{
    if (auto* box = lf_findCheckBox(controlId)) {
        const bool on = !window.isChecked(box->controlId());
        box->setChecked(on);
        box->setAndSave();
        lf_checkBoxFollowUp(window, *box, on);
    } else if (controlId == UNBLOCK.controlId()) {
        if (!BLOCK_CALLSIGN.empty())
            lf_unblockCallsign();
        else
            gf_showStatus("Nothing to block or unblock...");
    } else if (controlId == CHECK_VERSION.controlId()) {
        lf_checkVersion();
    } else if (controlId == RE_READ.controlId()) {
        rereadPending.store(true);
        gf_disableControl(RE_READ);
    } else if (controlId == FLUSH_STATIC.controlId()) {
        gf_showStatus("All static parked aircraft will be removed ...");
        flushStaticPending.store(true);
        gf_disableControl(FLUSH_STATIC);
    }
    gf_invalidateMainWindow(kControlsBand);
}

// --- integer fields ------------------------------------------------------------------

void gf_saveParameter(IntParameter& parameter)
{
    // The user's own MAX_LIVE is what parameters.xml keeps; a save that writes
    // every setting asks for it (gf_installParkingSave).
    if (&parameter == &MAX_LIVE)
        savedMaxLive.store(static_cast<std::uint32_t>(parameter.value()));
    parameter.save();
}

bool procesTbInt(IntParameterField& field)
{
    const bool percentage = &field == &parking_percentage;
    // A MAX_LIVE typed at a park airport belongs to that airport: its file
    // keeps it, and parameters.xml keeps the user's own value, which comes
    // back when the airport is left.
    const bool airportOwn = &field == &MAX_LIVE && parkAirportActive.load();
    bool changed = false;
    const auto read = lf_fieldText(field, kFieldTextLimit);
    if (!read)
        return false;
    const std::string& text = *read;
    if (text.empty()) {
        // The percentage typed here lasts for this run only.
        if (percentage) {
            field.setValue(0);
        } else {
            field.setValue(field.defaultValue());
            if (!airportOwn)
                gf_saveParameter(field);
        }
        changed = true;
    } else {
        std::int32_t number = 0;
        switch (lf_parseLeadingInt(text, number)) {
        case IntParse::noDigits:
            gf_showStatus(fmt::format("invalid input: {}", text), true);
            break;
        case IntParse::outOfRange:
            gf_logLine(fmt::format("procesTbInt exception {}, h={} ", "stoi", text));
            break;
        case IntParse::ok:
            if (number == field.value()) {
                gf_showStatus(fmt::format("Same {} value {}, no changes made", field.name(), number), true);
            } else {
                field.setValue(number);
                if (!percentage && !airportOwn)
                    gf_saveParameter(field);
                changed = true;
            }
            break;
        }
    }
    if (changed)
        gf_showStatus(fmt::format("The new {} is {}", field.name(), field.value()));
    field.show();
    return changed;
}

void lf_commitIntField(IntParameterField& field)
{
    const std::int32_t before = field.value();
    if (!procesTbInt(field))
        return;
    if (&field == &parking_percentage) {
        gf_requestParkingRenewal();
    } else if (&field == &LATERAL_RANGE) {
        parkAirportChanged.store(true);
        gf_storeRange(field.value());
    } else if (&field == &MAX_LIVE) {
        // Saved as the user's own by procesTbInt, or the airport's.
        if (parkAirportActive.load())
            parkAirportChanged.store(true);
        // The live table belongs to the main loop: it trims it at its next tick.
        limitLiveCountPending.store(true);
    } else if (&field == &MATCHING_DEPTH) {
        if (field.value() > before)
            matchingChanged.store(true);
    }
}

// --- the fit field -----------------------------------------------------------------

bool procesTbFloat(FloatParameterField& field)
{
    bool changed = false;
    const auto read = lf_fieldText(field, kFieldTextLimit);
    if (!read)
        return false;
    const std::string& text = *read;
    if (text.empty()) {
        field.setValue(field.defaultValue());
        MAX_FIT.setValue(std::clamp(MAX_FIT.defaultValue(), 0, kMaxFitLimit));
        gf_saveParameter(MAX_FIT);
        changed = true;
    } else {
        float number = 0.0f;
        const FloatParse parsed = lf_parseLeadingFloat(text, number);
        if (parsed != FloatParse::ok) {
            gf_logLine(fmt::format("procesTbFloat exception {}, h={} ", "stof", text));
        } else if (number == field.value()) {
            gf_showStatus(fmt::format("Same {} value {}, no changes made", field.name(), number),
                          true);
        } else {
            const float hours = std::clamp(number, 0.5f, 24.0f);
            // Whole half hours: 1.3 becomes 1.5, which MAX_FIT carries as 2.
            const long steps = std::lround(2.0 * hours) - 1;
            MAX_FIT.setValue(static_cast<std::int32_t>(std::clamp<long>(steps, 0, kMaxFitLimit)));
            gf_saveParameter(MAX_FIT);
            field.setValue(static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f);
            changed = true;
        }
    }
    if (changed)
        gf_showStatus(fmt::format("The new {} is {:.1F}", field.name(), field.value()));
    field.show();
    return changed;
}

void lf_commitFitField(FloatParameterField& field)
{
    if (procesTbFloat(field))
        gf_requestParkingRenewal();
}

void gf_requestParkingRenewal()
{
    if (!parkAirportActive.load())
        return;
    parkAirportChanged.store(true);
    if (INITIAL_LOAD_ONLY.value()) {
        gf_clearStatus();
        return;
    }
    const int s = secondsCounter.load();
    const int n = 15 * (s / 15 + 1) - s;
    gf_showStatus(fmt::format("{} will respond in {} second{} ...", kProgramName, n, n == 1 ? "" : "s"));
    renewalPending.store(true);
}

// --- install path and callsign ----------------------------------------------------------

void lf_readInstallPathField()
{
    gf_clearStatus();
    if (const auto text = lf_fieldText(SIM_INSTALL_PATH, kInstallPathLimit))
        lf_onInstallPathEdit(*text);
}

void lf_onInstallPathEdit(const std::string& text)
{
    gf_clearError();
    gf_clearStatus();
    if (text.empty()) {
        if (!SIM_INSTALL_PATH.empty())
            SIM_INSTALL_PATH.setAndSave("");
        return;
    }
    // Any failure of the test (no access, a name the system refuses) counts
    // as "not a folder".
    std::error_code error;
    if (std::filesystem::is_directory(std::filesystem::path(text), error)) {
        SIM_INSTALL_PATH.setAndSave(text);
        gf_showStatus("Install path exists, re-start", true);
        SIM_INSTALL_PATH.show();
        gf_requestExit(ExitReason::RESTART_IPP, 3);
        return;
    }
    gf_showStatus(fmt::format("This install path does not exist: {}", text), true);
    SIM_INSTALL_PATH.show();
}

void lf_onCallsignEdit()
{
    gf_clearStatus();
    const auto read = lf_fieldText(BLOCK_CALLSIGN, kFieldTextLimit);
    if (!read)
        return;
    std::string text = *read;
    if (text.empty()) {
        if (!BLOCK_CALLSIGN.empty())
            lf_unblockCallsign();
        return;
    }
    if (text.size() < kCallsignMin || text.size() > kCallsignMax) {
        gf_showStatus(fmt::format("callsign \"{}\" is not valid", text), true);
        BLOCK_CALLSIGN.show();
        return;
    }
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (text == BLOCK_CALLSIGN.value()) {
        gf_showStatus(fmt::format("This callsign ({}) was already set ...", text), true);
        BLOCK_CALLSIGN.show();
        return;
    }
    BLOCK_CALLSIGN.setAndSave(text);
    BLOCK_CALLSIGN.show();
    gf_enableControl(UNBLOCK);
    gf_showStatus(fmt::format("live aircraft with callsign \"{}\" will be blocked", text), true);
    blockCallsignPending.store(true);
}

void lf_unblockCallsign()
{
    if (BLOCK_CALLSIGN.empty())
        return;
    const std::string former = BLOCK_CALLSIGN.value();
    BLOCK_CALLSIGN.setAndSave("");
    BLOCK_CALLSIGN.show();
    gf_disableControl(UNBLOCK);
    gf_showStatus(fmt::format("no more blocking of live aircraft \"{}\"", former), true);
    blockCallsignPending.store(true);
}

void gf_installCommandHandlers()
{
    EditCommitHandlers handlers;
    handlers.intField = lf_commitIntField;
    handlers.fitField = lf_commitFitField;
    handlers.callsignField = lf_onCallsignEdit;
    handlers.installPathField = lf_readInstallPathField;
    gf_installEditCommitHandlers(handlers);
}

void gf_queueParkedNavLights()
{
    const std::uint32_t on = NAV_LIGHTS_WHILE_PARKED.value() ? 1 : 0;
    for (const auto& aircraft : staticAircraft)
        if (aircraft.state == AircraftState::InSimulator)
            gf_queueNavLights(aircraft.objectId, on);
    for (const auto& aircraft : liveAircraft)
        if (aircraft.state == AircraftState::InSimulator && aircraft.movementPhase == kParkedPhase)
            gf_queueNavLights(aircraft.objectId, on);
}
