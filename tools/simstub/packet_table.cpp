#include "packet_table.hpp"

#include <cstring>
#include <fmt/format.h>

namespace simstub {

namespace {

using K = FieldKind;

std::vector<PacketSpec> buildSpecs()
{
    return {
        {0xF0000001, "Open", 296, false,
         {{"applicationName", 16, K::Text, 256},
          {"reserved", 272, K::U32, 4},
          {"tag", 276, K::Bytes, 4},
          {"versionMajor", 280, K::U32, 4},
          {"versionMinor", 284, K::U32, 4},
          {"buildMajor", 288, K::U32, 4},
          {"buildMinor", 292, K::U32, 4}}},
        {0xF0000004, "MapClientEventToSimEvent", 276, false,
         {{"eventId", 16, K::U32, 4}, {"eventName", 20, K::Text, 256}}},
        {0xF0000005, "TransmitClientEvent", 36, false,
         {{"objectId", 16, K::U32, 4},
          {"eventId", 20, K::U32, 4},
          {"data", 24, K::U32, 4},
          {"groupId", 28, K::U32, 4},
          {"flags", 32, K::U32, 4}}},
        {0xF0000007, "AddClientEventToNotificationGroup", 28, false,
         {{"groupId", 16, K::U32, 4}, {"eventId", 20, K::U32, 4}, {"maskable", 24, K::U32, 4}}},
        {0xF0000009, "SetNotificationGroupPriority", 24, false,
         {{"groupId", 16, K::U32, 4}, {"priority", 20, K::U32, 4}}},
        {0xF000000C, "AddToDataDefinition", 544, false,
         {{"defineId", 16, K::U32, 4},
          {"datumName", 20, K::Text, 256},
          {"unitsName", 276, K::Text, 256},
          {"datumType", 532, K::U32, 4},
          {"epsilon", 536, K::F32, 4},
          {"datumId", 540, K::U32, 4}}},
        {0xF000000D, "ClearDataDefinition", 20, false, {{"defineId", 16, K::U32, 4}}},
        {0xF000000E, "RequestDataOnSimObject", 48, false,
         {{"requestId", 16, K::U32, 4},
          {"defineId", 20, K::U32, 4},
          {"objectId", 24, K::U32, 4},
          {"period", 28, K::U32, 4},
          {"flags", 32, K::U32, 4},
          {"origin", 36, K::U32, 4},
          {"interval", 40, K::U32, 4},
          {"limit", 44, K::U32, 4}}},
        {0xF000000F, "RequestDataOnSimObjectType", 32, false,
         {{"requestId", 16, K::U32, 4},
          {"defineId", 20, K::U32, 4},
          {"radiusMeters", 24, K::U32, 4},
          {"objectType", 28, K::U32, 4}}},
        {0xF0000010, "SetDataOnSimObject", 36, true,
         {{"defineId", 16, K::U32, 4},
          {"objectId", 20, K::U32, 4},
          {"flags", 24, K::U32, 4},
          {"arrayCount", 28, K::U32, 4},
          {"unitSize", 32, K::U32, 4}}},
        {0xF0000017, "SubscribeToSystemEvent", 276, false,
         {{"eventId", 16, K::U32, 4}, {"eventName", 20, K::Text, 256}}},
        {0xF0000018, "UnsubscribeFromSystemEvent", 20, false, {{"eventId", 16, K::U32, 4}}},
        {0xF0000029, "AICreateNonATCAircraft", 344, false,
         {{"containerTitle", 16, K::Text, 256},
          {"tailNumber", 272, K::Text, 12},
          {"latitude", 284, K::F64, 8},
          {"longitude", 292, K::F64, 8},
          {"altitude", 300, K::F64, 8},
          {"pitch", 308, K::F64, 8},
          {"bank", 316, K::F64, 8},
          {"heading", 324, K::F64, 8},
          {"onGround", 332, K::U32, 4},
          {"airspeed", 336, K::U32, 4},
          {"requestId", 340, K::U32, 4}}},
        {0xF000002B, "AIReleaseControl", 24, false, {{"objectId", 16, K::U32, 4}, {"requestId", 20, K::U32, 4}}},
        {0xF000002C, "AIRemoveObject", 24, false, {{"objectId", 16, K::U32, 4}, {"requestId", 20, K::U32, 4}}},
        {0xF000002D, "AISetAircraftFlightPlan", 284, false,
         {{"objectId", 16, K::U32, 4}, {"flightPlanPath", 20, K::Text, 260}, {"requestId", 280, K::U32, 4}}},
    };
}

} // namespace

std::uint32_t readU32At(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void writeU32At(std::uint8_t* p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

const std::vector<PacketSpec>& packetSpecs()
{
    static const std::vector<PacketSpec> specs = buildSpecs();
    return specs;
}

const PacketSpec* findPacketSpec(std::uint32_t id)
{
    for (const auto& s : packetSpecs())
        if (s.id == id)
            return &s;
    return nullptr;
}

const PacketSpec* findPacketSpec(std::string_view name)
{
    for (const auto& s : packetSpecs())
        if (s.name == name)
            return &s;
    return nullptr;
}

DecodeResult decodePacket(const std::vector<std::uint8_t>& bytes)
{
    DecodeResult r;
    if (bytes.size() < kPacketHeaderSize) {
        r.error = fmt::format("packet of {} bytes is shorter than its header", bytes.size());
        return r;
    }
    const std::uint8_t* p = bytes.data();
    r.size = readU32At(p);
    r.version = readU32At(p + 4);
    r.id = readU32At(p + 8);
    r.sendId = readU32At(p + 12);
    if (r.size != bytes.size()) {
        r.error = fmt::format("declared size {} but {} bytes", r.size, bytes.size());
        return r;
    }
    if (r.version != kProtocolVersion) {
        r.error = fmt::format("protocol version {} instead of {}", r.version, kProtocolVersion);
        return r;
    }
    if (r.sendId == 0) {
        r.error = "send id 0";
        return r;
    }
    r.spec = findPacketSpec(r.id);
    if (!r.spec) {
        r.error = fmt::format("unknown packet id 0x{:08X}", r.id);
        return r;
    }
    if (r.spec->variableSize) {
        if (r.size < r.spec->size) {
            r.error = fmt::format("{}: size {} below {}", r.spec->name, r.size, r.spec->size);
            return r;
        }
    } else if (r.size != r.spec->size) {
        r.error = fmt::format("{}: size {} instead of {}", r.spec->name, r.size, r.spec->size);
        return r;
    }
    for (const auto& f : r.spec->fields) {
        const std::uint8_t* at = p + f.offset;
        switch (f.kind) {
        case FieldKind::U32:
            r.fields[std::string(f.name)] = readU32At(at);
            break;
        case FieldKind::F32: {
            float v;
            std::memcpy(&v, at, 4);
            r.fields[std::string(f.name)] = v;
            break;
        }
        case FieldKind::F64: {
            double v;
            std::memcpy(&v, at, 8);
            r.fields[std::string(f.name)] = v;
            break;
        }
        case FieldKind::Text: {
            const void* zero = std::memchr(at, 0, f.length);
            if (!zero) {
                r.error = fmt::format("{}: text field {} has no terminating zero", r.spec->name, f.name);
                return r;
            }
            r.fields[std::string(f.name)] =
                std::string(reinterpret_cast<const char*>(at), static_cast<const std::uint8_t*>(zero) - at);
            break;
        }
        case FieldKind::Bytes:
            r.fields[std::string(f.name)] = std::vector<std::uint8_t>(at, at + f.length);
            break;
        }
    }
    if (r.spec->variableSize) {
        const std::uint64_t count = std::get<std::uint32_t>(r.fields["arrayCount"]);
        const std::uint64_t unit = std::get<std::uint32_t>(r.fields["unitSize"]);
        if (count == 0) {
            r.error = fmt::format("{}: element count 0", r.spec->name);
            return r;
        }
        if (r.spec->size + count * unit != r.size) {
            r.error = fmt::format("{}: size {} does not hold {} x {} data bytes", r.spec->name, r.size, count, unit);
            return r;
        }
        r.fields["data"] = std::vector<std::uint8_t>(p + r.spec->size, p + r.size);
    }
    return r;
}

} // namespace simstub
