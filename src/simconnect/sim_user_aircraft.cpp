// The user's aircraft as the simulator describes it: its state, title, model
// and wingspan, where it stands, and the simulator's time.

#include "simconnect/sim_user_aircraft.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/log_throttle.hpp"
#include "foundation/plausible.hpp"
#include "foundation/run_state.hpp"
#include "refdata/dbase.hpp"
#include "refdata/dbase_lookups.hpp"
#include "simconnect/byte_reader.hpp"
#include "simconnect/sim_hooks.hpp"
#include "simconnect/sim_queues.hpp"

#include <fmt/format.h>

#include <cmath>
#include <mutex>

using tzo::AircraftCategory;
using tzo::ByteReader;
using tzo::UserAircraftState;

std::atomic<bool> userOnGroundKnown{false};
std::atomic<std::int64_t> simTimeUnix{0};
std::atomic<bool> rtProfessional{false};

namespace {

constexpr std::size_t kTitleLimit = 48;
constexpr double kTeleportNm = 10.0;

// Texts and values about the user aircraft that other threads read.
std::mutex g_userInfoMutex;
std::string g_userTitle;
std::string g_userStandName;
std::optional<double> g_userHalfWingspanNm;
AircraftCategory g_userCategory = AircraftCategory::Light;

// The connection thread's alone.
tzo::LatLon g_lastUserPosition;
// A simulator (or whatever speaks for it) may send these every second.
tzo::LogThrottle g_brokenStateLog{1, std::chrono::minutes(1)};
tzo::LogThrottle g_teleportLog{1, std::chrono::minutes(1)};

bool lf_contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

// At most limit bytes, shortened further so that no UTF-8 character is split.
std::string lf_cutUtf8(std::string text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    std::size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    text.resize(n);
    return text;
}

// Days from 1970-01-01 to the given date of the Gregorian calendar.
std::int64_t lf_daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::string lf_standNameAt(double latitude, double longitude)
{
    const SimLayerHooks hooks = gf_simLayerHooks();
    return hooks.standNameAt ? hooks.standNameAt(latitude, longitude) : std::string();
}

} // namespace

void lf_onUserTitle(std::string title)
{
    if (title.empty()) {
        gf_logLine("! title of your ac is empty?");
        return;
    }
    title = lf_cutUtf8(std::move(title), kTitleLimit);
    {
        std::lock_guard lock(g_userInfoMutex);
        if (title == g_userTitle)
            return;
        g_userTitle = title;
    }
    const SimLayerHooks hooks = gf_simLayerHooks();
    if (hooks.userTitle)
        hooks.userTitle(title);
    gf_logLineIndented("SimConnect: User aircraft title: " + title);
}

namespace {

void lf_setUserWingspan(std::optional<double> halfSpanNm)
{
    std::lock_guard lock(g_userInfoMutex);
    g_userHalfWingspanNm = halfSpanNm;
}

void lf_onUserModelSteps(std::string model)
{
    if (model.empty())
        throw tzo::UserErrorException(71, "atc_model= in [General] section of your aircraft.cfg is empty or missing");
    const SimLayerHooks hooks = gf_simLayerHooks();

    // Some models name themselves by a texture file: "B738.0.text..." holds
    // the type code just before it.
    if (const std::size_t p = model.find(".0.text"); p != std::string::npos) {
        for (std::size_t n : {4u, 3u, 2u}) {
            // A type code cannot stand before the start of the text.
            if (n > p)
                continue;
            std::string candidate = model.substr(p - n, n);
            if (gf_wingspanOf(candidate) != 0.0) {
                model = std::move(candidate);
                break;
            }
        }
    }
    std::string logText = "SimConnect: User aircraft model: " + model;

    if (lf_contains(model, "camerapod") || lf_contains(model, "Crew Vessel")) {
        // A vehicle, not an aircraft: give it the room of a mid-size jet.
        if (hooks.wingspanKnown)
            hooks.wingspanKnown(true);
        lf_setUserWingspan(gf_wingspanOf("E190"));
        std::lock_guard lock(g_userInfoMutex);
        g_userCategory = AircraftCategory::Light;
        return;
    }

    double h = model.size() < 5 ? gf_wingspanOf(model) : g_largestHalfSpanNm;
    lf_setUserWingspan(h);
    bool known = true;
    if (h == g_largestHalfSpanNm) {
        known = false;
        const std::string title = gf_userTitle();
        std::string deduced;
        if (title.size() >= 13) {
            if (title.starts_with("Aerosoft A319"))
                deduced = "A319";
            else if (title.starts_with("Aerosoft A320"))
                deduced = "A320";
            else if (title.starts_with("Aerosoft A321"))
                deduced = "A321";
        }
        if (!deduced.empty()) {
            model = deduced;
            logText = "SimConnect: User aircraft model deduced from title: " + model;
            h = gf_wingspanOf(model);
            if (h != 0.0) {
                lf_setUserWingspan(h);
                known = true;
            } else {
                lf_setUserWingspan(g_largestHalfSpanNm);
            }
        }
    }
    if (known) {
        if (hooks.wingspanKnown)
            hooks.wingspanKnown(true);
        logText += fmt::format(", half wing span: {:.1F} meter", h * 1852.0);
    } else {
        if (hooks.wingspanKnown)
            hooks.wingspanKnown(false);
        gf_showStatus("User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
    }
    const AircraftCategory category = gf_modelCategory(model);
    {
        std::lock_guard lock(g_userInfoMutex);
        g_userCategory = category;
    }
    logText += ", category: " + gf_categoryName(category);
    gf_logLineIndented(logText);
}

} // namespace

void lf_onUserModel(std::string model)
{
    try {
        lf_onUserModelSteps(std::move(model));
    } catch (const tzo::UserErrorException&) {
        throw;
    } catch (...) {
        throw tzo::UserErrorException(73, "It looks like you have not selected an aircraft as user vehicle");
    }
}

namespace {

bool lf_readUserState(std::span<const std::uint8_t> data, UserAircraftState& s)
{
    ByteReader r(data.data(), data.size());
    return r.readF64(s.latitude) && r.readF64(s.longitude) && r.readF64(s.pitch) && r.readF64(s.bank) &&
           r.readF64(s.heading) && r.readF64(s.altitude) && r.readF64(s.altitudeAboveGround) &&
           r.readF64(s.groundSpeed) && r.readI64(s.zuluTime) && r.readI64(s.zuluDayOfYear) &&
           r.readI64(s.zuluYear) && r.readI64(s.lightStates);
}

// The user flies whatever the simulator lets him fly: a Concorde at Mach 2
// and 60,000 ft, a rocket plane. Only a number that is no number at all, or a
// position off the world, marks a broken answer. An unusual state refused
// would leave RealTraffic, the traffic range and the collision tests with a
// position the user has long left, and the jump when the state is taken
// again would look like a teleport.
bool lf_usableUserState(const UserAircraftState& s)
{
    return tzo::gf_plausiblePosition(s.latitude, s.longitude) && std::isfinite(s.altitude) &&
           std::isfinite(s.altitudeAboveGround) && std::isfinite(s.groundSpeed) && std::isfinite(s.pitch) &&
           std::isfinite(s.bank) && std::isfinite(s.heading);
}

} // namespace

bool lf_onUserState(std::span<const std::uint8_t> data, std::uint32_t objectId)
{
    UserAircraftState s;
    if (!lf_readUserState(data, s))
        return false;
    // The answer goes on to RealTraffic, the traffic reader and the
    // collision tests: a broken one is not taken.
    if (!lf_usableUserState(s)) {
        g_brokenStateLog.log(fmt::format("! user aircraft state {:.6g},{:.6g} at {:.6g} ft holds a number that is not "
                                         "finite or a position off the world, ignored",
                                         s.latitude, s.longitude, s.altitude));
        return true;
    }
    if (s.altitude < 0.0)
        s.altitude = 0.0;
    lf_storeReceivedUserState(s);

    const tzo::LatLon now{s.latitude, s.longitude};
    if (!tzo::gf_isNearZero(g_lastUserPosition.latitude, g_lastUserPosition.longitude)) {
        if (gf_greatCircleDistanceNm(g_lastUserPosition, now) > kTeleportNm) {
            g_teleportLog.log("Teleport");
            gf_requestExit(ExitReason::RESTART, 30);
        }
    }
    g_lastUserPosition = now;

    const std::string name = lf_standNameAt(s.latitude, s.longitude);
    std::string previous;
    {
        std::lock_guard lock(g_userInfoMutex);
        previous = g_userStandName;
        g_userStandName = name;
    }
    const SimLayerHooks hooks = gf_simLayerHooks();
    if (hooks.userStand && name != previous)
        hooks.userStand(name);

    // Out-of-range date fields would only make nonsense of the time (or
    // overflow the arithmetic); they leave the last good value.
    if (rtProfessional.load() && s.zuluYear >= 1970 && s.zuluYear <= 9999 && s.zuluDayOfYear >= 1 &&
        s.zuluDayOfYear <= 366 && s.zuluTime >= 0 && s.zuluTime <= 86400) {
        const std::int64_t days = lf_daysFromCivil(s.zuluYear, 1, 1) + s.zuluDayOfYear - 1;
        simTimeUnix.store(days * 86400 + s.zuluTime);
    }
    userObjectId.store(objectId);
    return true;
}

void lf_onUserOnGround(std::uint32_t onGround)
{
    // Before the user aircraft has a position its ground state means nothing;
    // the second counts all the same.
    const UserAircraftState s = gf_receivedUserState();
    if (!tzo::gf_isNearZero(s.latitude, s.longitude)) {
        userOnGround.store(onGround != 0);
        userOnGroundKnown.store(true);
    }
    secondTick.store(true);
}

std::string gf_userTitle()
{
    std::lock_guard lock(g_userInfoMutex);
    return g_userTitle;
}

std::string gf_userStandName()
{
    std::lock_guard lock(g_userInfoMutex);
    return g_userStandName;
}

std::optional<double> gf_userHalfWingspanNm()
{
    std::lock_guard lock(g_userInfoMutex);
    return g_userHalfWingspanNm;
}

void lf_rememberUserStand()
{
    if (!userOnGroundKnown.load())
        return;
    const UserAircraftState s = gf_receivedUserState();
    if (!(s.groundSpeed <= 2.0))
        return;
    const std::string name = lf_standNameAt(s.latitude, s.longitude);
    if (name.empty())
        return;
    const SimLayerHooks hooks = gf_simLayerHooks();
    if (hooks.rememberParkStand)
        hooks.rememberParkStand(name);
}

void lf_resetUserAircraft()
{
    g_lastUserPosition = {};
    g_brokenStateLog.reset();
    g_teleportLog.reset();
    userOnGroundKnown.store(false);
    userOnGround.store(false);
    std::lock_guard lock(g_userInfoMutex);
    g_userTitle.clear();
    g_userStandName.clear();
    g_userHalfWingspanNm.reset();
    g_userCategory = AircraftCategory::Light;
}
