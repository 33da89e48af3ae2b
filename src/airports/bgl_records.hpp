#pragma once
// Airports and their stands out of a BGL scenery file: the pre-check that a
// file holds an airport section, and the reading of every airport record
// (the older form and the one with the longer parking items) into an
// ApfAirport. Everything is read through BglReader, so a damaged file ends
// its reading instead of reading past the end.

#include "airports/airport_file.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tzo {

namespace bgl {
inline constexpr std::uint32_t kHeaderSize = 56;
inline constexpr std::uint32_t kSectionEntrySize = 20;
inline constexpr std::uint32_t kSectionAirport = 3;
inline constexpr std::uint32_t kSubsectionEntry20Flag = 0x10000; // 20-byte subsection entries: not read
inline constexpr std::uint32_t kSectionFlags = 4;              // section entry: flags
inline constexpr std::uint32_t kSectionSubsections = 8;        // section entry: number of subsections
inline constexpr std::uint32_t kSectionSubsectionTable = 12;   // section entry: file offset of the subsection table
inline constexpr std::uint32_t kSubsectionEntrySize = 16;
inline constexpr std::uint16_t kAirport = 0x003C;
inline constexpr std::uint16_t kAirportP3dV5 = 0x00AB;
inline constexpr std::uint16_t kName = 0x0019;
inline constexpr std::uint16_t kHelipad = 0x0026;
inline constexpr std::uint16_t kTaxiParking = 0x003D;
inline constexpr std::uint16_t kTaxiParkingP3dV5 = 0x00AD;
inline constexpr std::uint32_t kSubsectionRecords = 8;         // subsection entry: file offset of the records
inline constexpr std::uint32_t kSubsectionDataSize = 12;       // subsection entry: their size in bytes
inline constexpr std::uint32_t kRecordHeaderSize = 6;          // u16 id, u32 size
inline constexpr std::uint32_t kAirportAltitude = 20;
inline constexpr std::uint32_t kAirportIdent = 40;
inline constexpr std::uint32_t kAirportFirstSub = 56;
inline constexpr std::uint32_t kAirportFirstSubP3dV5 = 60;
inline constexpr std::uint32_t kHelipadSize = 36;              // up to the heading
inline constexpr std::uint32_t kParkingItemSize = 36;
inline constexpr std::uint32_t kParkingItemSizeP3dV5 = 40;
inline constexpr std::size_t kMaxNameBytes = 45;
} // namespace bgl

// One airport as read, with the number of helipads accepted.
struct BglAirport {
    ApfAirport airport;
    std::int32_t helipadCount = 0;
};

// What the reader does with each airport: `begin` gets the airport with code,
// path and publisher set before its sub-records are read (the time to link
// it); `end` gets it complete.
struct BglAirportSink {
    std::function<void(BglAirport&)> begin;
    std::function<void(BglAirport&)> end;
};

// Whether the bytes hold an airport section (the whole header and section
// table present); the header size itself is not tested.
bool lf_bglHasAirportSection(std::span<const std::uint8_t> bytes);
bool lf_bglHasAirportSection(const std::filesystem::path& path);

// Reads every usable airport of the bytes once, handing each to the sink, in
// time linear in the size of the bytes. Bytes that are no record (after the
// last one, or damage) end the reading with one line in the airport scan log
// that names the file and the offset; the airports handed over before stay.
// Never throws for the bytes' sake.
// Publisher lookups go through `publisherOf` (the path text in, a name out).
void lf_readBglAirports(std::span<const std::uint8_t> bytes, const std::string& pathText,
                        const std::function<std::string(const std::string&)>& publisherOf,
                        const BglAirportSink& sink);

// The whole file; false when it cannot be read.
bool lf_readWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes);

// Whole files read one after the other into storage kept between them: a
// fresh vector per file was zero-filled and mapped anew each time, which
// cost as much as the read itself.
class BglFileBytes {
public:
    // False when the file cannot be read; bytes() is then empty.
    bool read(const std::filesystem::path& path);
    std::span<const std::uint8_t> bytes() const { return {m_data.get(), m_size}; }
    std::size_t capacity() const { return m_capacity; }
    void release();

private:
    std::unique_ptr<std::uint8_t[]> m_data;
    std::size_t m_capacity = 0;
    std::size_t m_size = 0;
};

std::string lf_decodeIdentifierOrRegionCode(std::uint32_t packed, bool& usable);
std::string lf_parkingNameText(std::uint32_t code);
double lf_bglLatitude(std::uint32_t packed);
double lf_bglLongitude(std::uint32_t packed);
double lf_bglHeading(float degrees);
// Feet from millimetres; outside -20..10000 ft gives 0.
std::int32_t lf_bglAltitudeFeet(std::int32_t millimetres);
// 8-bit airport name bytes as UTF-8: read as Windows-1252, trailing zero bytes
// and control characters dropped, so generated files stay valid.
std::string lf_airportNameText(std::string_view bytes);
// Whether a position is usable: inside the world and not at or next to 0,0.
bool lf_bglPositionUsable(double latitude, double longitude);

void lf_renameRepeatedStands(ApfAirport& airport);

} // namespace tzo
