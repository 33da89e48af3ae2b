// The stand-in's world: the user's aircraft and the AI aircraft a client
// creates, the data requests answered from the registered data definitions,
// and client events and data sets applied to the objects.

#include "sim_stub.hpp"
#include "stub_messages.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <fmt/format.h>

namespace simstub {

namespace {

constexpr std::uint32_t kRecvEventObjectAddRemove = 5;
constexpr std::uint32_t kRecvEventFilename = 6;
constexpr std::uint32_t kRecvSimObjectData = 8;
constexpr std::uint32_t kRecvSimObjectDataByType = 9;
constexpr std::uint32_t kRecvAssignedObjectId = 12;

constexpr std::uint32_t kExceptionSizeMismatch = 2;
constexpr std::uint32_t kExceptionUnrecognizedId = 3;
constexpr std::uint32_t kExceptionCreateObjectFailed = 22;
constexpr std::uint32_t kExceptionLoadFlightplanFailed = 23;

constexpr std::uint32_t kTypeInt32 = 1;
constexpr std::uint32_t kTypeInt64 = 2;
constexpr std::uint32_t kTypeFloat32 = 3;
constexpr std::uint32_t kTypeFloat64 = 4;
constexpr std::uint32_t kTypeString8 = 5;
constexpr std::uint32_t kTypeString32 = 6;
constexpr std::uint32_t kTypeString64 = 7;
constexpr std::uint32_t kTypeString128 = 8;
constexpr std::uint32_t kTypeString256 = 9;
constexpr std::uint32_t kTypeString260 = 10;
constexpr std::uint32_t kTypeStringV = 11;

constexpr std::uint32_t kPeriodNever = 0;
constexpr std::uint32_t kPeriodOnce = 1;
constexpr std::uint32_t kPeriodSecond = 4;

constexpr std::uint32_t kObjectTypeUser = 0;
constexpr std::uint32_t kObjectTypeAll = 1;
constexpr std::uint32_t kObjectTypeAircraft = 2;

struct PlanCodes {
    std::string type;
    std::string departure;
    std::string destination;
};

// The text between <tag> and </tag>, when both are there in that order.
std::optional<std::string> between(const std::string& text, const std::string& tag)
{
    const std::string open = "<" + tag + ">";
    const std::string close = "</" + tag + ">";
    const auto start = text.find(open);
    if (start == std::string::npos)
        return std::nullopt;
    const auto end = text.find(close, start + open.size());
    if (end == std::string::npos)
        return std::nullopt;
    return text.substr(start + open.size(), end - start - open.size());
}

// A flight plan as the simulator loads it: a FlightPlan.FlightPlan element
// with a type and both codes, each a plain code; anything else fails to load.
std::optional<PlanCodes> readPlan(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto body = between(text, "FlightPlan.FlightPlan");
    if (!body)
        return std::nullopt;
    PlanCodes plan;
    const auto type = between(*body, "FPType");
    const auto departure = between(*body, "DepartureID");
    const auto destination = between(*body, "DestinationID");
    if (!type || !departure || !destination || (*type != "IFR" && *type != "VFR"))
        return std::nullopt;
    for (const std::string* code : {&*departure, &*destination})
        if (code->empty() || !std::all_of(code->begin(), code->end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) != 0;
            }))
            return std::nullopt;
    return PlanCodes{*type, *departure, *destination};
}

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Bytes one datum of this type takes in a data message; 0 for the variable string.
std::uint32_t fixedSize(std::uint32_t type)
{
    switch (type) {
    case kTypeInt32:
    case kTypeFloat32:
        return 4;
    case kTypeInt64:
    case kTypeFloat64:
    case kTypeString8:
        return 8;
    case kTypeString32:
        return 32;
    case kTypeString64:
        return 64;
    case kTypeString128:
        return 128;
    case kTypeString256:
        return 256;
    case kTypeString260:
        return 260;
    default:
        return 0;
    }
}

bool isString(std::uint32_t type)
{
    return type >= kTypeString8 && type <= kTypeStringV;
}

class Bytes {
public:
    explicit Bytes(std::size_t size = 0) : m_bytes(size, 0) {}
    void u32(std::size_t at, std::uint32_t v) { writeU32At(m_bytes.data() + at, v); }
    void append(const void* p, std::size_t n)
    {
        const auto* b = static_cast<const std::uint8_t*>(p);
        m_bytes.insert(m_bytes.end(), b, b + n);
    }
    template <typename T>
    void appendValue(T v)
    {
        append(&v, sizeof v);
    }
    std::vector<std::uint8_t>& bytes() { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

double distanceMetres(double latA, double lonA, double latB, double lonB)
{
    constexpr double rad = 0.017453292519943295;
    const double lat1 = latA * rad;
    const double lat2 = latB * rad;
    const double dlat = lat2 - lat1;
    const double dlon = (lonB - lonA) * rad;
    const double h = std::sin(dlat / 2) * std::sin(dlat / 2) +
                     std::cos(lat1) * std::cos(lat2) * std::sin(dlon / 2) * std::sin(dlon / 2);
    return 2.0 * 6371000.0 * std::asin(std::sqrt(std::clamp(h, 0.0, 1.0)));
}

double distanceMetres(const SimObjectState& a, const SimObjectState& b)
{
    return distanceMetres(a.var("PLANE LATITUDE"), a.var("PLANE LONGITUDE"), b.var("PLANE LATITUDE"),
                          b.var("PLANE LONGITUDE"));
}

} // namespace

double SimObjectState::var(std::string_view name) const
{
    auto it = vars.find(upper(name));
    return it == vars.end() ? 0.0 : it->second;
}

std::uint32_t SimObjectState::event(std::string_view name) const
{
    auto it = events.find(upper(name));
    return it == events.end() ? 0 : it->second;
}

bool SimObjectState::hasEvent(std::string_view name) const
{
    return events.contains(upper(name));
}

double SimStub::groundAltitudeAt(double latitude, double longitude) const
{
    double ground = m_options.groundFt;
    double nearest = 0.0;
    bool inArea = false;
    for (const GroundArea& area : m_options.groundAreas) {
        const double d = distanceMetres(latitude, longitude, area.latitude, area.longitude);
        if (d <= area.radiusNm * 1852.0 && (!inArea || d < nearest)) {
            ground = area.feet;
            nearest = d;
            inArea = true;
        }
    }
    return ground;
}

std::uint32_t SimStub::takeObjectId()
{
    const std::uint64_t frame = m_frame.load();
    for (auto it = m_freedIds.begin(); it != m_freedIds.end() && frame - it->second >= m_reuseIdsAfterFrames; ++it) {
        const std::uint32_t id = it->first;
        if (std::none_of(m_heldCreationAnswers.begin(), m_heldCreationAnswers.end(),
                         [&](const HeldAnswer& a) { return a.objectId == id; })) {
            m_freedIds.erase(it);
            return id;
        }
    }
    return m_nextObjectId++;
}

void SimStub::initWorld()
{
    m_nextObjectId = m_options.firstAiObjectId;
    m_freedIds.clear();
    m_reuseIdsAfterFrames = 0;
    m_user = SimObjectState{};
    m_user.id = m_options.userObjectId;
    m_user.isUser = true;
    m_user.title = "Stand-in Boeing 737-800";
    m_user.atcModel = "B738";
    m_user.atcId = "N737SI";
    // On the ground at Zürich.
    constexpr double latitude = 47.4581;
    constexpr double longitude = 8.5555;
    const double ground = groundAltitudeAt(latitude, longitude);
    m_user.vars = {
        {"PLANE LATITUDE", latitude},
        {"PLANE LONGITUDE", longitude},
        {"PLANE ALTITUDE", ground},
        {"PLANE ALT ABOVE GROUND", 0.0},
        {"GROUND ALTITUDE", ground},
        {"GROUND VELOCITY", 0.0},
        {"SIM ON GROUND", 1.0},
        {"ZULU TIME", 36000.0},
        {"ZULU DAY OF YEAR", 100.0},
        {"ZULU YEAR", 2026.0},
    };
}

SimObjectState SimStub::user() const
{
    std::lock_guard lock(m_mutex);
    return m_user;
}

void SimStub::setUserVar(std::string_view name, double value)
{
    std::lock_guard lock(m_mutex);
    m_user.vars[upper(name)] = value;
}

void SimStub::setUserTitle(std::string title)
{
    std::lock_guard lock(m_mutex);
    m_user.title = std::move(title);
}

void SimStub::setUserModel(std::string model)
{
    std::lock_guard lock(m_mutex);
    m_user.atcModel = std::move(model);
}

std::vector<SimObjectState> SimStub::aiObjects() const
{
    std::lock_guard lock(m_mutex);
    std::vector<SimObjectState> result;
    for (const auto& [id, object] : m_objects)
        result.push_back(object);
    return result;
}

std::optional<SimObjectState> SimStub::object(std::uint32_t id) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_objects.find(id);
    if (it == m_objects.end())
        return std::nullopt;
    return it->second;
}

std::vector<SimObjectState> SimStub::removedObjects() const
{
    std::lock_guard lock(m_mutex);
    return m_removedObjects;
}

std::size_t SimStub::storedPositions() const
{
    std::lock_guard lock(m_mutex);
    std::size_t count = m_user.positions.size();
    for (const auto& [id, object] : m_objects)
        count += object.positions.size();
    for (const auto& object : m_removedObjects)
        count += object.positions.size();
    return count;
}

namespace {

// The simulator keeps the height above ground in step with the altitude of
// an airborne object and the ground below it.
// An AI object stands on its ground when its reference point is no higher
// than its static CG height (and a little slack) above it.
void updateOnGround(SimObjectState& o)
{
    const double lowest = o.var("GROUND ALTITUDE") + o.var("STATIC CG TO GROUND") + 0.5;
    o.vars["SIM ON GROUND"] = o.var("PLANE ALTITUDE") <= lowest ? 1.0 : 0.0;
}

void appendPosition(SimObjectState& o, std::uint64_t frame, bool keepHistory)
{
    if (!keepHistory)
        o.positions.clear();
    o.positions.push_back({frame, o.var("PLANE LATITUDE"), o.var("PLANE LONGITUDE"), o.var("PLANE ALTITUDE"),
                           o.var("PLANE PITCH DEGREES"), o.var("PLANE BANK DEGREES"),
                           o.var("PLANE HEADING DEGREES TRUE"), o.var("SIM ON GROUND") != 0.0,
                           o.var("PLANE ALT ABOVE GROUND")});
}

void updateHeightAboveGround(SimObjectState& o)
{
    if (o.var("SIM ON GROUND") != 0.0)
        o.vars["PLANE ALT ABOVE GROUND"] = 0.0;
    else
        o.vars["PLANE ALT ABOVE GROUND"] = std::max(0.0, o.var("PLANE ALTITUDE") - o.var("GROUND ALTITUDE"));
}

} // namespace

void SimStub::reuseIdsAfterFrames(std::uint64_t frames)
{
    std::lock_guard lock(m_mutex);
    m_reuseIdsAfterFrames = frames;
}

std::uint32_t SimStub::addOwnTrafficObject(double latitude, double longitude, double altitude)
{
    ObjectEvents events;
    std::uint32_t id = 0;
    {
        std::lock_guard lock(m_mutex);
        SimObjectState o;
        o.id = id = takeObjectId();
        o.atcModel = "AI";
        o.connection = std::numeric_limits<std::size_t>::max();
        const double ground = groundAltitudeAt(latitude, longitude);
        o.vars = {{"PLANE LATITUDE", latitude},  {"PLANE LONGITUDE", longitude},
                  {"PLANE ALTITUDE", altitude},  {"SIM ON GROUND", 0.0},
                  {"GROUND ALTITUDE", ground},   {"PLANE ALT ABOVE GROUND", std::max(0.0, altitude - ground)}};
        o.firstLatitude = latitude;
        o.firstLongitude = longitude;
        o.firstAltitude = altitude;
        o.createdFrame = m_frame.load();
        appendPosition(o, o.createdFrame, m_options.keepHistory);
        o.createdAt = std::chrono::steady_clock::now();
        m_objects.emplace(id, std::move(o));
        events.emplace_back("ObjectAdded", id);
    }
    sendObjectEvents(events);
    return id;
}

bool SimStub::setObjectVar(std::uint32_t id, std::string_view name, double value)
{
    std::lock_guard lock(m_mutex);
    SimObjectState* o = findObject(id);
    if (o == nullptr)
        return false;
    const std::string key = upper(std::string(name));
    o->vars[key] = value;
    if (!o->isUser && (key == "GROUND ALTITUDE" || key == "PLANE ALTITUDE" || key == "SIM ON GROUND"))
        updateHeightAboveGround(*o);
    return true;
}

std::vector<Packet> SimStub::misdirectedPackets() const
{
    std::lock_guard lock(m_mutex);
    return m_misdirected;
}

SimObjectState* SimStub::findObject(std::uint32_t id)
{
    if (id == 0 || id == m_user.id)
        return &m_user;
    auto it = m_objects.find(id);
    return it == m_objects.end() ? nullptr : &it->second;
}

std::vector<std::uint8_t> SimStub::dataMessage(std::uint32_t messageId, const Session& session,
                                               std::uint32_t requestId, std::uint32_t defineId,
                                               const SimObjectState& object, std::uint32_t entry,
                                               std::uint32_t outOf) const
{
    const ClientState& st = session.state;
    const auto& entries = st.dataDefinitions.at(defineId);
    Bytes b(40);
    for (const DataDefinitionEntry& e : entries) {
        const std::string name = upper(e.datumName);
        if (isString(e.datumType)) {
            std::string text;
            if (name == "TITLE")
                text = object.title;
            else if (name == "ATC ID")
                text = object.atcId;
            else if (name == "ATC MODEL")
                text = object.atcModel;
            const std::uint32_t size = fixedSize(e.datumType);
            if (size == 0) {
                // The variable string: its text and zero, padded to whole words.
                std::vector<std::uint8_t> field(text.begin(), text.end());
                field.push_back(0);
                while (field.size() % 4)
                    field.push_back(0);
                b.append(field.data(), field.size());
            } else {
                std::vector<std::uint8_t> field(size, 0);
                std::memcpy(field.data(), text.data(), std::min<std::size_t>(text.size(), size - 1));
                b.append(field.data(), field.size());
            }
            continue;
        }
        const double v = object.var(name);
        switch (e.datumType) {
        case kTypeInt32:
            b.appendValue(static_cast<std::int32_t>(std::llround(v)));
            break;
        case kTypeInt64:
            b.appendValue(static_cast<std::int64_t>(std::llround(v)));
            break;
        case kTypeFloat32:
            b.appendValue(static_cast<float>(v));
            break;
        default:
            b.appendValue(v);
            break;
        }
    }
    auto& bytes = b.bytes();
    const auto size = static_cast<std::uint32_t>(bytes.size());
    b.u32(0, size);
    b.u32(4, kProtocolVersion);
    b.u32(8, messageId);
    b.u32(12, requestId);
    b.u32(16, object.id);
    b.u32(20, defineId);
    b.u32(24, 0);
    b.u32(28, entry);
    b.u32(32, outOf);
    b.u32(36, static_cast<std::uint32_t>(entries.size()));
    return bytes;
}

void SimStub::handleWorldPacket(Session& session, const DecodeResult& d, Messages& answers,
                                ObjectEvents& objectEvents, bool& misdirected)
{
    ClientState& st = session.state;
    const std::string_view name = d.spec->name;
    auto u32 = [&](std::string_view f) { return std::get<std::uint32_t>(d.fields.find(f)->second); };
    auto f64 = [&](std::string_view f) { return std::get<double>(d.fields.find(f)->second); };
    auto text = [&](std::string_view f) { return std::get<std::string>(d.fields.find(f)->second); };
    auto refuse = [&](std::uint32_t code, std::uint32_t index) {
        answers.push_back(exceptionMessage(code, d.sendId, index));
    };
    // An AI object of the world, or null after recording the packet as aimed
    // at the user or at nothing.
    auto aiTarget = [&](std::uint32_t id) -> SimObjectState* {
        SimObjectState* o = findObject(id);
        if (!o || o->isUser) {
            misdirected = true;
            if (!o)
                refuse(kExceptionUnrecognizedId, 1);
            return nullptr;
        }
        return o;
    };

    if (name == "RequestDataOnSimObject") {
        ++m_requestCounts[u32("requestId")];
        const std::uint32_t define = u32("defineId");
        const std::uint32_t period = u32("period");
        if (period == kPeriodNever) {
            std::erase_if(m_periodic, [&](const Periodic& p) {
                return p.session == &session && p.requestId == u32("requestId");
            });
            return;
        }
        SimObjectState* o = findObject(u32("objectId"));
        if (!o) {
            misdirected = true;
            refuse(kExceptionUnrecognizedId, 3);
            return;
        }
        if (!st.dataDefinitions.contains(define)) {
            refuse(kExceptionUnrecognizedId, 2);
            return;
        }
        if (period == kPeriodOnce)
            answers.push_back(dataMessage(kRecvSimObjectData, session, u32("requestId"), define, *o, 1, 1));
        else
            m_periodic.push_back(Periodic{&session, u32("requestId"), define, o->id, period});
    } else if (name == "RequestDataOnSimObjectType") {
        const std::uint32_t define = u32("defineId");
        if (!st.dataDefinitions.contains(define)) {
            refuse(kExceptionUnrecognizedId, 2);
            return;
        }
        const std::uint32_t type = u32("objectType");
        const double radius = u32("radiusMeters");
        std::vector<const SimObjectState*> found;
        if (type == kObjectTypeUser || type == kObjectTypeAll || type == kObjectTypeAircraft)
            found.push_back(&m_user);
        if (radius > 0 && (type == kObjectTypeAll || type == kObjectTypeAircraft))
            for (const auto& [id, o] : m_objects)
                if (distanceMetres(m_user, o) <= radius)
                    found.push_back(&o);
        const auto n = static_cast<std::uint32_t>(found.size());
        for (std::uint32_t i = 0; i < n; ++i)
            answers.push_back(
                dataMessage(kRecvSimObjectDataByType, session, u32("requestId"), define, *found[i], i + 1, n));
    } else if (name == "AICreateNonATCAircraft") {
        const std::string title = text("containerTitle");
        if (std::find(m_options.refusedTitles.begin(), m_options.refusedTitles.end(), title) !=
            m_options.refusedTitles.end()) {
            refuse(kExceptionCreateObjectFailed, 1);
            return;
        }
        SimObjectState o;
        o.id = takeObjectId();
        m_createdCount.fetch_add(1);
        o.title = title;
        o.atcId = text("tailNumber");
        o.atcModel = "AI";
        o.createSendId = d.sendId;
        o.connection = session.index;
        const bool onGround = u32("onGround") != 0;
        const double groundAltitude = groundAltitudeAt(f64("latitude"), f64("longitude"));
        constexpr double kStaticCgToGround = 5.5;
        // The simulator sets an aircraft created on the ground down on its
        // ground, whatever altitude the request names.
        o.vars = {
            {"PLANE LATITUDE", f64("latitude")},
            {"PLANE LONGITUDE", f64("longitude")},
            {"PLANE ALTITUDE", onGround ? groundAltitude + kStaticCgToGround : f64("altitude")},
            {"PLANE PITCH DEGREES", f64("pitch")},
            {"PLANE BANK DEGREES", f64("bank")},
            {"PLANE HEADING DEGREES TRUE", f64("heading")},
            {"SIM ON GROUND", onGround ? 1.0 : 0.0},
            {"AIRSPEED TRUE", static_cast<double>(u32("airspeed"))},
            {"GROUND ALTITUDE", groundAltitude},
            {"PLANE ALT ABOVE GROUND", onGround ? 0.0 : std::max(0.0, f64("altitude") - groundAltitude)},
            {"STATIC CG TO GROUND", kStaticCgToGround},
            {"STATIC PITCH", 0.02},
        };
        o.firstLatitude = f64("latitude");
        o.firstLongitude = f64("longitude");
        o.firstAltitude = f64("altitude");
        o.createdFrame = m_frame.load();
        appendPosition(o, o.createdFrame, m_options.keepHistory);
        o.createdAt = std::chrono::steady_clock::now();
        const std::uint32_t id = o.id;
        m_objects.emplace(id, std::move(o));
        Bytes assigned(20);
        assigned.u32(0, 20);
        assigned.u32(4, kProtocolVersion);
        assigned.u32(8, kRecvAssignedObjectId);
        assigned.u32(12, u32("requestId"));
        assigned.u32(16, id);
        if (m_holdCreationAnswers)
            m_heldCreationAnswers.push_back({session.index, id, assigned.bytes()});
        else
            answers.push_back(assigned.bytes());
        objectEvents.emplace_back("ObjectAdded", id);
    } else if (name == "AIReleaseControl") {
        if (SimObjectState* o = aiTarget(u32("objectId"))) {
            o->aiControlled = false;
            ++o->releases;
        }
    } else if (name == "AIRemoveObject") {
        if (SimObjectState* o = aiTarget(u32("objectId"))) {
            if (m_holdRemovals) {
                o->removalHeld = true;
                m_heldRemovals.push_back(o->id);
            } else {
                removeObject(o->id, objectEvents);
            }
        }
    } else if (name == "AISetAircraftFlightPlan") {
        if (SimObjectState* o = aiTarget(u32("objectId"))) {
            // The simulator is given the path without its extension.
            const std::string path = text("flightPlanPath") + ".pln";
            const std::optional<PlanCodes> plan = readPlan(path);
            if (!plan) {
                refuse(kExceptionLoadFlightplanFailed, 2);
            } else {
                o->flightPlan = path;
                o->planType = plan->type;
                o->planDeparture = plan->departure;
                o->planDestination = plan->destination;
            }
        }
    } else if (name == "TransmitClientEvent") {
        auto mapped = st.clientEvents.find(u32("eventId"));
        if (mapped == st.clientEvents.end()) {
            refuse(kExceptionUnrecognizedId, 2);
            return;
        }
        if (SimObjectState* o = aiTarget(u32("objectId"))) {
            const std::string event = upper(mapped->second);
            o->events[event] = u32("data");
            if (m_options.keepHistory) {
                o->eventLog.emplace_back(event, u32("data"));
                o->changes.push_back({event, u32("data"), m_frame.load()});
            }
        }
    } else if (name == "SetDataOnSimObject") {
        auto def = st.dataDefinitions.find(u32("defineId"));
        if (def == st.dataDefinitions.end()) {
            refuse(kExceptionUnrecognizedId, 1);
            return;
        }
        const auto data = std::get<std::vector<std::uint8_t>>(d.fields.find("data")->second);
        std::size_t expected = 0;
        for (const auto& e : def->second)
            expected += fixedSize(e.datumType);
        if (data.size() != expected * u32("arrayCount") || expected == 0) {
            refuse(kExceptionSizeMismatch, 6);
            return;
        }
        SimObjectState* o = aiTarget(u32("objectId"));
        if (!o)
            return;
        std::size_t at = 0;
        bool moved = false;
        for (const auto& e : def->second) {
            const std::uint32_t size = fixedSize(e.datumType);
            double v = 0.0;
            if (e.datumType == kTypeFloat64) {
                std::memcpy(&v, data.data() + at, 8);
            } else if (e.datumType == kTypeInt64) {
                std::int64_t i;
                std::memcpy(&i, data.data() + at, 8);
                v = static_cast<double>(i);
            } else if (e.datumType == kTypeFloat32) {
                float f;
                std::memcpy(&f, data.data() + at, 4);
                v = f;
            } else if (e.datumType == kTypeInt32) {
                std::int32_t i;
                std::memcpy(&i, data.data() + at, 4);
                v = i;
            }
            if (!isString(e.datumType)) {
                const std::string key = upper(e.datumName);
                o->vars[key] = v;
                moved = moved || key == "PLANE LATITUDE" || key == "PLANE ALTITUDE";
            }
            at += size;
        }
        if (!o->isUser) {
            if (moved) {
                o->vars["GROUND ALTITUDE"] = groundAltitudeAt(o->var("PLANE LATITUDE"), o->var("PLANE LONGITUDE"));
                updateOnGround(*o);
            }
            updateHeightAboveGround(*o);
            if (moved)
                appendPosition(*o, m_frame.load(), m_options.keepHistory);
        }
        ++o->dataSets;
    }
}

void SimStub::removeObject(std::uint32_t id, ObjectEvents& objectEvents)
{
    const auto it = m_objects.find(id);
    if (it == m_objects.end())
        return;
    SimObjectState& o = it->second;
    o.removed = true;
    o.removedFrame = m_frame.load();
    o.removedAt = std::chrono::steady_clock::now();
    if (m_options.keepHistory)
        m_removedObjects.push_back(o);
    m_removedCount.fetch_add(1);
    if (m_reuseIdsAfterFrames != 0)
        m_freedIds.emplace_back(id, m_frame.load());
    m_objects.erase(it);
    std::erase_if(m_periodic, [&](const Periodic& p) { return p.objectId == id; });
    objectEvents.emplace_back("ObjectRemoved", id);
}

void SimStub::removeObjectsOf(const Session& session)
{
    std::lock_guard lock(m_mutex);
    ObjectEvents ignored; // the client that would hear of them is gone
    std::vector<std::uint32_t> ids;
    for (const auto& [id, o] : m_objects)
        if (o.connection == session.index)
            ids.push_back(id);
    for (const std::uint32_t id : ids)
        removeObject(id, ignored);
    std::erase_if(m_heldRemovals, [&](std::uint32_t id) { return !m_objects.contains(id); });
    // Answers are never handed to another client.
    std::erase_if(m_heldCreationAnswers, [&](const HeldAnswer& a) { return a.connection == session.index; });
}

void SimStub::holdRemovals(bool hold)
{
    std::lock_guard lock(m_mutex);
    m_holdRemovals = hold;
}

void SimStub::releaseHeldRemovals()
{
    ObjectEvents events;
    {
        std::lock_guard lock(m_mutex);
        for (const std::uint32_t id : m_heldRemovals)
            removeObject(id, events);
        m_heldRemovals.clear();
    }
    sendObjectEvents(events);
}

std::uint64_t SimStub::requestsMade(std::uint32_t requestId) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_requestCounts.find(requestId);
    return it == m_requestCounts.end() ? 0 : it->second;
}

void SimStub::holdCreationAnswers(bool hold)
{
    std::lock_guard lock(m_mutex);
    m_holdCreationAnswers = hold;
}

std::vector<std::uint32_t> SimStub::releaseCreationAnswers(unsigned shuffleSeed, double neverShare, double goneShare)
{
    std::vector<std::uint32_t> never;
    std::vector<HeldAnswer> held;
    {
        std::lock_guard lock(m_mutex);
        held.swap(m_heldCreationAnswers);
    }
    std::mt19937 rng(shuffleSeed);
    std::uniform_real_distribution<double> share(0.0, 1.0);
    if (shuffleSeed != 0)
        std::shuffle(held.begin(), held.end(), rng);
    for (const HeldAnswer& answer : held) {
        if (share(rng) < neverShare) {
            never.push_back(answer.objectId);
            continue;
        }
        Session* session = nullptr;
        {
            std::lock_guard lock(m_mutex);
            if (answer.connection < m_sessions.size() && !m_sessions[answer.connection]->ended)
                session = m_sessions[answer.connection].get();
        }
        if (session == nullptr)
            continue;
        send(*session, answer.message);
        if (share(rng) < goneShare)
            removeObjectByItself(answer.objectId);
    }
    return never;
}

bool SimStub::removeObjectByItself(std::uint32_t id)
{
    ObjectEvents events;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_objects.find(id);
        if (it == m_objects.end() || it->second.isUser)
            return false;
        removeObject(id, events);
        std::erase(m_heldRemovals, id);
    }
    sendObjectEvents(events);
    return true;
}

std::vector<std::uint32_t> SimStub::heldCreationObjects() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::uint32_t> ids;
    for (const auto& answer : m_heldCreationAnswers)
        ids.push_back(answer.objectId);
    return ids;
}

std::vector<SimStub::ObjectPosition> SimStub::objectPositions() const
{
    std::lock_guard lock(m_mutex);
    std::vector<ObjectPosition> out;
    for (const auto& [id, o] : m_objects)
        out.push_back({id, o.atcId, o.var("PLANE LATITUDE"), o.var("PLANE LONGITUDE"), o.removalHeld});
    return out;
}

void SimStub::sendObjectEvents(const ObjectEvents& events)
{
    for (const auto& [systemEvent, objectId] : events) {
        for (auto [session, eventId] : subscribers(systemEvent))
            send(*session, eventMessage(kRecvEventObjectAddRemove, eventId, objectId, kObjectTypeAircraft, true));
    }
}

void SimStub::sendFilenameEvent(std::string_view systemEventName, const std::string& fileName)
{
    for (auto [session, eventId] : subscribers(systemEventName)) {
        // 12 group, 16 event, 20 data, 24 file name[260], 284 flags.
        send(*session, MessageBuilder(288, kRecvEventFilename)
                           .u32(12, kNoGroup)
                           .u32(16, eventId)
                           .text(24, 260, fileName)
                           .bytes());
    }
}

void SimStub::answerPeriodic(bool second)
{
    std::vector<std::pair<Session*, std::vector<std::uint8_t>>> out;
    {
        std::lock_guard lock(m_mutex);
        for (const Periodic& p : m_periodic) {
            if (p.session->ended || (p.period == kPeriodSecond) != second)
                continue;
            const SimObjectState* o = findObject(p.objectId);
            if (!o || !p.session->state.dataDefinitions.contains(p.defineId))
                continue;
            out.emplace_back(p.session, dataMessage(kRecvSimObjectData, *p.session, p.requestId, p.defineId, *o, 1, 1));
        }
    }
    if (!m_options.answerOpen)
        return;
    for (auto& [session, message] : out)
        send(*session, message);
}

void SimStub::answerSeconds(int count)
{
    std::lock_guard lock(m_secondMutex);
    for (int i = 0; i < count; ++i) {
        answerPeriodic(true);
        ++m_seconds;
    }
}

void SimStub::secondLoop()
{
    auto next = std::chrono::steady_clock::now();
    while (!m_stopping) {
        next += m_options.secondInterval;
        // In slices, so that a stop never waits a whole simulated second.
        while (!m_stopping && std::chrono::steady_clock::now() < next)
            std::this_thread::sleep_until(
                std::min(next, std::chrono::steady_clock::now() + std::chrono::milliseconds(20)));
        if (m_stopping)
            break;
        answerSeconds(1);
    }
}

} // namespace simstub
