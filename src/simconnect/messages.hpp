#pragma once
// Reading the simulator's messages. Each reader checks that the message is at
// least as long as what it reads, never that it has one exact size: the
// simulator generations differ in trailing fields (EVENT, EVENT_OBJECT_ADDREMOVE
// and EVENT_FRAME carry a trailing flags word from this generation on).

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tzo {

// Offsets and the least sizes of the messages this client reads.
namespace recvlayout {
inline constexpr std::uint32_t kHeader = 12;          // size, version, id
inline constexpr std::uint32_t kException = 24;       // 12 exception, 16 send id, 20 index
inline constexpr std::uint32_t kOpen = 308;           // 12 name[256], 268.. eight u32 versions, two reserved
inline constexpr std::uint32_t kEvent = 24;           // 12 group id, 16 event id, 20 data
inline constexpr std::uint32_t kEventAddRemove = 28;  // event, 24 object type
inline constexpr std::uint32_t kEventFilename = 284;  // event, 24 file name[260]
inline constexpr std::uint32_t kEventFrame = 32;      // event, 24 frame rate f32, 28 sim speed f32
inline constexpr std::uint32_t kAssignedObjectId = 20; // 12 request id, 16 object id
inline constexpr std::uint32_t kSimObjectData = 40;   // 12 request, 16 object, 20 define, 24 flags,
                                                      // 28 entry, 32 out of, 36 define count, 40 data
inline constexpr std::uint32_t kNameField = 256;
inline constexpr std::uint32_t kPathField = 260;
} // namespace recvlayout

struct RecvHeader {
    std::uint32_t size = 0;
    std::uint32_t version = 0;
    std::uint32_t id = 0;
};

struct RecvException {
    std::uint32_t exception = 0;
    std::uint32_t sendId = 0;
    std::uint32_t index = 0;
};

struct RecvOpen {
    std::string applicationName;
    std::uint32_t applicationVersionMajor = 0;
    std::uint32_t applicationVersionMinor = 0;
    std::uint32_t applicationBuildMajor = 0;
    std::uint32_t applicationBuildMinor = 0;
    std::uint32_t simConnectVersionMajor = 0;
    std::uint32_t simConnectVersionMinor = 0;
    std::uint32_t simConnectBuildMajor = 0;
    std::uint32_t simConnectBuildMinor = 0;
};

struct RecvEvent {
    std::uint32_t groupId = 0;
    std::uint32_t eventId = 0;
    std::uint32_t data = 0;
};

struct RecvEventAddRemove {
    RecvEvent event;
    std::uint32_t objectType = 0;
};

struct RecvEventFilename {
    RecvEvent event;
    std::string fileName;
};

struct RecvEventFrame {
    RecvEvent event;
    float frameRate = 0.0f;
    float simSpeed = 0.0f;
};

// The answer to an AI creation: the request id it was sent with and the new
// object's id.
struct RecvAssignedObjectId {
    std::uint32_t requestId = 0;
    std::uint32_t objectId = 0;
};

struct RecvSimObjectData {
    std::uint32_t requestId = 0;
    std::uint32_t objectId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t flags = 0;
    std::uint32_t entryNumber = 0;
    std::uint32_t outOf = 0;
    std::uint32_t defineCount = 0;
    std::span<const std::uint8_t> data; // views the message
};

// Each answers nothing when the message is shorter than what it reads. The
// size is the one dispatch gives, which is the size the message declared.
std::optional<RecvHeader> gf_readRecvHeader(const void* message, std::uint32_t size);
std::optional<RecvException> gf_readRecvException(const void* message, std::uint32_t size);
std::optional<RecvOpen> gf_readRecvOpen(const void* message, std::uint32_t size);
std::optional<RecvEvent> gf_readRecvEvent(const void* message, std::uint32_t size);
std::optional<RecvEventAddRemove> gf_readRecvEventAddRemove(const void* message, std::uint32_t size);
std::optional<RecvEventFilename> gf_readRecvEventFilename(const void* message, std::uint32_t size);
std::optional<RecvEventFrame> gf_readRecvEventFrame(const void* message, std::uint32_t size);
std::optional<RecvAssignedObjectId> gf_readRecvAssignedObjectId(const void* message, std::uint32_t size);
// For SIMOBJECT_DATA and SIMOBJECT_DATA_BYTYPE alike.
std::optional<RecvSimObjectData> gf_readRecvSimObjectData(const void* message, std::uint32_t size);

} // namespace tzo
