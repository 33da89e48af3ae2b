#include "simconnect/messages.hpp"

#include "simconnect/byte_reader.hpp"

namespace tzo {

namespace {

// A reader placed after the 12-byte head, or none when the message is shorter
// than least.
std::optional<ByteReader> lf_body(const void* message, std::uint32_t size, std::uint32_t least)
{
    if (!message || size < least)
        return std::nullopt;
    ByteReader reader(message, size);
    reader.skip(recvlayout::kHeader);
    return reader;
}

bool lf_readEvent(ByteReader& r, RecvEvent& e)
{
    return r.readU32(e.groupId) && r.readU32(e.eventId) && r.readU32(e.data);
}

} // namespace

std::optional<RecvHeader> gf_readRecvHeader(const void* message, std::uint32_t size)
{
    if (!message || size < recvlayout::kHeader)
        return std::nullopt;
    ByteReader r(message, size);
    RecvHeader h;
    r.readU32(h.size);
    r.readU32(h.version);
    r.readU32(h.id);
    return h;
}

std::optional<RecvException> gf_readRecvException(const void* message, std::uint32_t size)
{
    auto r = lf_body(message, size, recvlayout::kException);
    RecvException e;
    if (!r || !r->readU32(e.exception) || !r->readU32(e.sendId) || !r->readU32(e.index))
        return std::nullopt;
    return e;
}

std::optional<RecvOpen> gf_readRecvOpen(const void* message, std::uint32_t size)
{
    auto r = lf_body(message, size, recvlayout::kOpen);
    RecvOpen o;
    if (!r || !r->readFixedString(recvlayout::kNameField, o.applicationName) ||
        !r->readU32(o.applicationVersionMajor) || !r->readU32(o.applicationVersionMinor) ||
        !r->readU32(o.applicationBuildMajor) || !r->readU32(o.applicationBuildMinor) ||
        !r->readU32(o.simConnectVersionMajor) || !r->readU32(o.simConnectVersionMinor) ||
        !r->readU32(o.simConnectBuildMajor) || !r->readU32(o.simConnectBuildMinor))
        return std::nullopt;
    return o;
}

std::optional<RecvEvent> gf_readRecvEvent(const void* message, std::uint32_t size)
{
    auto r = lf_body(message, size, recvlayout::kEvent);
    RecvEvent e;
    if (!r || !lf_readEvent(*r, e))
        return std::nullopt;
    return e;
}

std::optional<RecvEventAddRemove> gf_readRecvEventAddRemove(const void* message, std::uint32_t size)
{
    auto r = lf_body(message, size, recvlayout::kEventAddRemove);
    RecvEventAddRemove e;
    if (!r || !lf_readEvent(*r, e.event) || !r->readU32(e.objectType))
        return std::nullopt;
    return e;
}

std::optional<RecvEventFilename> gf_readRecvEventFilename(const void* message, std::uint32_t size)
{
    auto r = lf_body(message, size, recvlayout::kEventFilename);
    RecvEventFilename e;
    if (!r || !lf_readEvent(*r, e.event) || !r->readFixedString(recvlayout::kPathField, e.fileName))
        return std::nullopt;
    return e;
}

std::optional<RecvEventFrame> gf_readRecvEventFrame(const void* message, std::uint32_t size)
{
    auto r = lf_body(message, size, recvlayout::kEventFrame);
    RecvEventFrame e;
    if (!r || !lf_readEvent(*r, e.event) || !r->readF32(e.frameRate) || !r->readF32(e.simSpeed))
        return std::nullopt;
    return e;
}

std::optional<RecvAssignedObjectId> gf_readRecvAssignedObjectId(const void* message, std::uint32_t size)
{
    auto r = lf_body(message, size, recvlayout::kAssignedObjectId);
    RecvAssignedObjectId a;
    if (!r || !r->readU32(a.requestId) || !r->readU32(a.objectId))
        return std::nullopt;
    return a;
}

std::optional<RecvSimObjectData> gf_readRecvSimObjectData(const void* message, std::uint32_t size)
{
    auto r = lf_body(message, size, recvlayout::kSimObjectData);
    RecvSimObjectData d;
    if (!r || !r->readU32(d.requestId) || !r->readU32(d.objectId) || !r->readU32(d.defineId) ||
        !r->readU32(d.flags) || !r->readU32(d.entryNumber) || !r->readU32(d.outOf) || !r->readU32(d.defineCount))
        return std::nullopt;
    d.data = std::span<const std::uint8_t>(r->current(), r->remaining());
    return d;
}

} // namespace tzo
