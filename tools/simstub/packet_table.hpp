#pragma once
// The stand-in's own table of the client's packets: offsets, sizes and kinds
// of every field, written down independently of the client so that a layout
// slip in the client shows up as a decoding error here.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace simstub {

enum class FieldKind { U32, F32, F64, Text, Bytes };

struct FieldSpec {
    std::string_view name;
    std::uint32_t offset;
    FieldKind kind;
    std::uint32_t length; // Text and Bytes: the field size; others: their natural size
};

struct PacketSpec {
    std::uint32_t id;          // full packet id, 0xF0000000 + function number
    std::string_view name;     // the function's name without "SimConnect_"
    std::uint32_t size;        // exact size; for SetDataOnSimObject the fixed part
    bool variableSize;         // SetDataOnSimObject: size + count x unit size
    std::vector<FieldSpec> fields;
};

inline constexpr std::uint32_t kPacketHeaderSize = 16;
inline constexpr std::uint32_t kProtocolVersion = 35;
inline constexpr std::uint32_t kPacketIdBase = 0xF0000000u;

const std::vector<PacketSpec>& packetSpecs();
const PacketSpec* findPacketSpec(std::uint32_t id);
const PacketSpec* findPacketSpec(std::string_view name);

using FieldValue = std::variant<std::uint32_t, float, double, std::string, std::vector<std::uint8_t>>;
using FieldMap = std::map<std::string, FieldValue, std::less<>>;

struct DecodeResult {
    const PacketSpec* spec = nullptr;
    std::uint32_t size = 0;
    std::uint32_t version = 0;
    std::uint32_t id = 0;
    std::uint32_t sendId = 0;
    FieldMap fields;
    std::string error; // empty when the packet is sound
};

// Decodes one whole packet (bytes holds exactly the declared size).
DecodeResult decodePacket(const std::vector<std::uint8_t>& bytes);

std::uint32_t readU32At(const std::uint8_t* p);
void writeU32At(std::uint8_t* p, std::uint32_t value);

} // namespace simstub
