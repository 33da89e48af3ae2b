#include "simconnect/sim_dispatch.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/log_throttle.hpp"
#include "foundation/plausible.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "simconnect/byte_reader.hpp"
#include "simconnect/messages.hpp"
#include "simconnect/sim_creations.hpp"
#include "simconnect/sim_hooks.hpp"
#include "simconnect/sim_ids.hpp"
#include "simconnect/sim_queues.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using tzo::ByteReader;
using tzo::SimNotification;
using tzo::UserAircraftState;

std::vector<std::uint32_t> addedObjectIds;

namespace {

constexpr std::size_t kString32 = 32;
constexpr double kHighAboveGroundFt = 2500.0;
// Aircraft of other programs outside the traffic range never show up in the
// answers that take them out of the list; it keeps the newest this many.
constexpr std::size_t kMostAddedObjects = 1024;
constexpr float kHighestFrameRate = 1000.0f;

// The connection thread's alone.
std::int32_t g_frameCounter = 0;

// What the simulator sends may repeat without end; each kind of doubtful
// message costs one log line at once, then one a minute with the count.
struct DispatchLogs {
    tzo::LogThrottle tooShort{1, std::chrono::minutes(1)};
    tzo::LogThrottle unknownId{1, std::chrono::minutes(1)};
    tzo::LogThrottle notCreatedByUs{1, std::chrono::minutes(1)};
    tzo::LogThrottle implausible{1, std::chrono::minutes(1)};
    tzo::LogThrottle unrecognizedId{1, std::chrono::minutes(1)};
    tzo::LogThrottle exception19{1, std::chrono::minutes(1)};
    tzo::LogThrottle exception24{1, std::chrono::minutes(1)};
    tzo::LogThrottle flightPlanFailed{1, std::chrono::minutes(1)};
    tzo::LogThrottle otherException{1, std::chrono::minutes(1)};
    tzo::LogThrottle tooManyObjects{1, std::chrono::minutes(1)};

    void reset()
    {
        for (tzo::LogThrottle* t : {&tooShort, &unknownId, &notCreatedByUs, &implausible, &unrecognizedId,
                                    &exception19, &exception24, &flightPlanFailed, &otherException, &tooManyObjects})
            t->reset();
    }
};
DispatchLogs g_logs;

// A line of a throttled log as gf_logLineMarked writes it.
std::string lf_marked(std::string_view text)
{
    return std::string(g_logMarker).append(text);
}

void lf_tooShort(std::uint32_t id, std::uint32_t size)
{
    g_logs.tooShort.log(fmt::format("! SimConnect message {} of {} bytes is too short, ignored", id, size));
}

void lf_implausible(std::string_view what, std::uint32_t objectId)
{
    g_logs.implausible.log(fmt::format("! SimConnect {} of object {} holds a number no aircraft has, ignored", what,
                                       objectId));
}

void lf_push(std::uint32_t objectId, std::uint32_t info, std::uint32_t kind, double value1, double value2)
{
    tzo::gf_pushSimNotification(SimNotification{objectId, info, 0, kind, value1, value2});
}

// A zero-terminated text in at most limit bytes of data; what follows the
// zero, and anything past the data, is never looked at.
// Control characters become blanks: the texts go into log lines and the
// window, where a line feed would forge a line of its own.
std::string lf_boundedText(std::span<const std::uint8_t> data, std::size_t limit)
{
    const std::size_t n = std::min(limit, data.size());
    const char* p = reinterpret_cast<const char*>(data.data());
    const void* zero = n ? std::memchr(p, 0, n) : nullptr;
    std::string text(p, zero ? static_cast<const char*>(zero) - p : n);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return text;
}

// --- EXCEPTION

void lf_onException(const SimConnectRecv* message, std::uint32_t size)
{
    const auto e = tzo::gf_readRecvException(message, size);
    if (!e) {
        lf_tooShort(SIMCONNECT_RECV_ID_EXCEPTION, size);
        return;
    }
    switch (e->exception) {
    case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID: {
        // Before the user aircraft has a position, the simulator is still
        // settling and refuses ids by the dozen.
        const UserAircraftState s = gf_receivedUserState();
        if (!tzo::gf_isNearZero(s.latitude, s.longitude))
            g_logs.unrecognizedId.log(lf_marked("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"));
        break;
    }
    case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
        throw tzo::UserErrorException(95, fmt::format("Simconnect Version Mismatch, dwindex: {} ", e->index));
    case SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS:
        // Every creation past the limit brings one: the line keeps to its
        // budget, in the log and on the status line, like every repeated
        // exception.
        if (g_logs.tooManyObjects.log("SimConnect: too many objects (max 1000)"))
            gf_showStatus("SimConnect: too many objects (max 1000)", false);
        break;
    case 19:
        g_logs.exception19.log("SIMCON EXCEP 19");
        break;
    case SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED:
        if (const std::uint32_t recordId = lf_takePendingCreationBySendId(e->sendId); recordId != 0)
            lf_push(0, recordId, tzo::NOTIFY_CREATE_FAILED, 0.0, 0.0);
        break;
    case SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
        g_logs.flightPlanFailed.log(lf_marked("Simconnect Exception: load flight plan failed"));
        break;
    case 24:
        g_logs.exception24.log("SIMCON EXCEP 24");
        break;
    default:
        g_logs.otherException.log(lf_marked(fmt::format("SIMCON EXCEP {}", e->exception)));
        break;
    }
}

// --- OPEN

// The name with what the C locale's classes call neither a letter, a digit
// nor white space dropped. White space other than a blank (a line feed, a
// tab) becomes a blank: a name must never start a log line of its own.
std::string lf_cleanedName(std::string_view name)
{
    std::string cleaned;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ')
            cleaned.push_back(ch);
        else if (c >= '\t' && c <= '\r')
            cleaned.push_back(' ');
    }
    return cleaned;
}

bool lf_contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

void lf_onOpen(const SimConnectRecv* message, std::uint32_t size)
{
    const auto open = tzo::gf_readRecvOpen(message, size);
    if (!open) {
        lf_tooShort(SIMCONNECT_RECV_ID_OPEN, size);
        return;
    }
    if (open->applicationName.empty()) {
        gf_logLine("! Simulator name empty?");
        return;
    }
    const SimLayerHooks hooks = gf_simLayerHooks();
    if (hooks.simConnected)
        hooks.simConnected(true);
    const std::string cleaned = lf_cleanedName(open->applicationName);
    if (cleaned == "KittyHawk")
        throw tzo::UserErrorException(78, cleaned + ", (MSFS 2020?) not being P3D connects ... ?");
    const std::string text =
        fmt::format("{} ({}.{}.{}.{})", cleaned, open->applicationVersionMajor, open->applicationVersionMinor,
                    open->applicationBuildMajor, open->applicationBuildMinor);
    gf_logProgressLine(text + " connected ");
    if (hooks.simulatorText)
        hooks.simulatorText(text);

    const std::string path = SIM_INSTALL_PATH.value();
    const std::int32_t version = P3D_VERSION.value();
    const bool accepted =
        (lf_contains(text, "v5") && (lf_contains(path, "v5") || lf_contains(path, "V5") || version == 5)) ||
        (lf_contains(text, "v6") && (lf_contains(path, "v6") || lf_contains(path, "V6") || version == 6));
    if (!accepted) {
        if (hooks.enableInstallPath)
            hooks.enableInstallPath();
        throw tzo::UserErrorException(78, fmt::format("wrong P3D version \"{}\" connects ... ?", text));
    }
    gf_clearStatus(); // takes the "Waiting for " line away
}

// --- EVENT

void lf_onEvent(const SimConnectRecv* message, std::uint32_t size)
{
    const auto e = tzo::gf_readRecvEvent(message, size);
    if (!e) {
        lf_tooShort(SIMCONNECT_RECV_ID_EVENT, size);
        return;
    }
    switch (e->eventId) {
    case tzo::EVENT_SIM: {
        const bool running = e->data == 1;
        flightRunning.store(running);
        const SimLayerHooks hooks = gf_simLayerHooks();
        if (hooks.flightRunning)
            hooks.flightRunning(running);
        break;
    }
    case tzo::EVENT_POSITION_CHANGED:
        gf_logLineMarked("User ac position changed");
        gf_requestExit(ExitReason::RESTART, 30);
        break;
    case tzo::EVENT_FLIGHT_LOADED:
        gf_logLineMarked("Flight loaded");
        lf_rememberUserStand();
        gf_requestExit(ExitReason::RESTART, 30);
        break;
    default:
        break;
    }
}

void lf_onObjectAddRemove(const SimConnectRecv* message, std::uint32_t size)
{
    const auto e = tzo::gf_readRecvEventAddRemove(message, size);
    if (!e) {
        lf_tooShort(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, size);
        return;
    }
    if (e->objectType != SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT)
        return;
    const std::uint32_t objectId = e->event.data;
    if (e->event.eventId == tzo::EVENT_OBJECT_ADDED) {
        // An object a creation of ours got is no stranger to be found out.
        if (objectId > userObjectId.load() && !lf_isCreatedObject(objectId)) {
            addedObjectIds.push_back(objectId);
            if (addedObjectIds.size() > kMostAddedObjects)
                addedObjectIds.erase(addedObjectIds.begin());
        }
    } else if (e->event.eventId == tzo::EVENT_OBJECT_REMOVED) {
        // An object gone before its data came must not wait in the list for
        // ever, nor be taken for a new one should its id be used again.
        std::erase(addedObjectIds, objectId);
        lf_onObjectGone(objectId);
        lf_push(objectId, 0, tzo::NOTIFY_REMOVED, 0.0, 0.0);
    }
}

void lf_onFilename(const SimConnectRecv* message, std::uint32_t size)
{
    if (!tzo::gf_readRecvEventFilename(message, size)) {
        lf_tooShort(SIMCONNECT_RECV_ID_EVENT_FILENAME, size);
        return;
    }
    gf_logLineMarked("New file loaded");
    lf_rememberUserStand();
    gf_requestExit(ExitReason::RESTART, 30);
}

void lf_onFrame(const SimConnectRecv* message, std::uint32_t size)
{
    const auto frame = tzo::gf_readRecvEventFrame(message, size);
    if (!frame) {
        lf_tooShort(SIMCONNECT_RECV_ID_EVENT_FRAME, size);
        return;
    }
    lf_expirePendingCreations();
    lf_flushSimQueues();
    if (++g_frameCounter >= 30) {
        g_frameCounter = 0;
        if (frame->frameRate >= 0.0f && frame->frameRate <= kHighestFrameRate)
            simFrameRate.store(frame->frameRate);
    }
}

// The data of definition 404 (the aircraft around the user, or one new
// object): height above ground, ground altitude, on ground, ATC id.
struct InRangeData {
    double aboveGround = 0.0;
    double groundAltitude = 0.0;
    std::int64_t onGround = 0;
    std::string atcId;
    bool plausible = false;
};

std::optional<InRangeData> lf_readInRangeData(std::span<const std::uint8_t> data)
{
    ByteReader r(data.data(), data.size());
    InRangeData d;
    if (!r.readF64(d.aboveGround) || !r.readF64(d.groundAltitude) || !r.readI64(d.onGround))
        return std::nullopt;
    d.atcId = lf_boundedText(data.subspan(r.position()), kString32);
    d.plausible = tzo::gf_plausibleAltitude(d.aboveGround) && tzo::gf_plausibleAltitude(d.groundAltitude);
    return d;
}

// --- SIMOBJECT_DATA

void lf_onSimObjectData(const SimConnectRecv* message, std::uint32_t size)
{
    const auto d = tzo::gf_readRecvSimObjectData(message, size);
    if (!d) {
        lf_tooShort(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, size);
        return;
    }
    switch (d->requestId) {
    case tzo::REQUEST_STATIC_CG: {
        ByteReader r(d->data.data(), d->data.size());
        double cg = 0.0;
        double pitch = 0.0;
        if (!r.readF64(cg) || !r.readF64(pitch)) {
            lf_tooShort(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, size);
            return;
        }
        // The main loop bounds both, but only a number can be bounded.
        if (!std::isfinite(cg) || !std::isfinite(pitch)) {
            lf_implausible("static CG", d->objectId);
            return;
        }
        lf_push(d->objectId, 0, tzo::NOTIFY_STATIC_CG, cg, pitch);
        break;
    }
    case tzo::REQUEST_NEW_OBJECT: {
        const auto data = lf_readInRangeData(d->data);
        if (!data) {
            lf_tooShort(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, size);
            return;
        }
        lf_onNewObjectData(d->objectId, data->aboveGround);
        break;
    }
    case tzo::REQUEST_USER_TITLE:
        lf_onUserTitle(lf_boundedText(d->data, d->data.size()));
        break;
    case tzo::REQUEST_USER_MODEL:
        lf_onUserModel(lf_boundedText(d->data, kString32));
        break;
    case tzo::REQUEST_USER_ON_GROUND: {
        ByteReader r(d->data.data(), d->data.size());
        std::uint32_t onGround = 0;
        if (!r.readU32(onGround)) {
            lf_tooShort(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, size);
            return;
        }
        lf_onUserOnGround(onGround);
        lf_countSimSecond();
        break;
    }
    case tzo::REQUEST_USER_STATE:
        if (!lf_onUserState(d->data, d->objectId))
            lf_tooShort(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, size);
        break;
    default:
        break;
    }
}

void lf_onSimObjectDataByType(const SimConnectRecv* message, std::uint32_t size)
{
    const auto d = tzo::gf_readRecvSimObjectData(message, size);
    if (!d) {
        lf_tooShort(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, size);
        return;
    }
    if (d->requestId != tzo::REQUEST_IN_RANGE || d->defineId != tzo::DEFINITION_IN_RANGE ||
        d->objectId <= userObjectId.load())
        return;
    const auto data = lf_readInRangeData(d->data);
    if (!data) {
        lf_tooShort(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, size);
        return;
    }
    // A creation's object, answered already, whose own data has not come.
    if (lf_onNewObjectData(d->objectId, data->aboveGround))
        return;

    if (auto it = std::find(addedObjectIds.begin(), addedObjectIds.end(), d->objectId); it != addedObjectIds.end()) {
        *it = addedObjectIds.back();
        addedObjectIds.pop_back();
        // Only an object that no answer has named: the answer that names it
        // later for another creation takes it back.
        const std::uint32_t recordId = lf_takePendingCreation(data->atcId, d->objectId);
        if (recordId == 0) {
            g_logs.notCreatedByUs.log(lf_marked(fmt::format("just created, but not by {}, oid: {}, callsign \"{}\" unknown",
                                                              "Norvane_P3D", d->objectId, data->atcId)));
            return;
        }
        lf_releaseAndFreeze(d->objectId);
        const double aboveGround = data->plausible ? data->aboveGround : 0.0;
        if (recordId > 10000)
            lf_push(d->objectId, recordId, tzo::NOTIFY_LIVE_CREATED, 0.0, aboveGround);
        else
            lf_push(d->objectId, recordId, tzo::NOTIFY_STATIC_CREATED, 0.0, 0.0);
        return;
    }
    if (!data->plausible) {
        lf_implausible("data", d->objectId);
        return;
    }
    if (data->aboveGround <= kHighAboveGroundFt && !data->atcId.ends_with('*'))
        lf_push(d->objectId, data->onGround != 0 ? 1 : 0, tzo::NOTIFY_IN_RANGE_DATA, data->groundAltitude,
                data->aboveGround);
}

} // namespace

void lf_dispatch(SimConnectRecv* pData, std::uint32_t cbData, void* /*pContext*/)
{
    if (!pData)
        return;
    const auto header = tzo::gf_readRecvHeader(pData, cbData);
    if (!header) {
        lf_tooShort(0, cbData);
        return;
    }
    switch (header->id) {
    case SIMCONNECT_RECV_ID_EXCEPTION:
        lf_onException(pData, cbData);
        break;
    case SIMCONNECT_RECV_ID_OPEN:
        lf_onOpen(pData, cbData);
        break;
    case SIMCONNECT_RECV_ID_QUIT:
        flightRunning.store(false);
        break;
    case SIMCONNECT_RECV_ID_EVENT:
        lf_onEvent(pData, cbData);
        break;
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
        lf_onObjectAddRemove(pData, cbData);
        break;
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
        lf_onFilename(pData, cbData);
        break;
    case SIMCONNECT_RECV_ID_EVENT_FRAME:
        lf_onFrame(pData, cbData);
        break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        lf_onSimObjectData(pData, cbData);
        break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
        lf_onSimObjectDataByType(pData, cbData);
        break;
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID:
        if (const auto a = tzo::gf_readRecvAssignedObjectId(pData, cbData))
            lf_onAssignedObjectId(a->requestId, a->objectId);
        else
            lf_tooShort(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID, cbData);
        break;
    case SIMCONNECT_RECV_ID_CLIENT_DATA:
        break;
    default:
        g_logs.unknownId.log(fmt::format("! Unknown Dispatch dwID {}", header->id));
        break;
    }
}

void lf_reserveAddedObjects(std::size_t count)
{
    addedObjectIds.reserve(count);
}

void lf_resetDispatchState()
{
    addedObjectIds.clear();
    g_logs.reset();
    g_frameCounter = 0;
    flightRunning.store(false);
    lf_resetUserAircraft();
}
